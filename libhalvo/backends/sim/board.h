// One simulated board: its description, the state the simulation moves, and
// the board calls answered from them.
//
// Units follow the board API: temperatures in thousandths of a degree Celsius,
// voltages in mV, capacities in mAh, currents in mA, sizes in MB, CPU
// frequencies in kHz, times in milliseconds inside the model.
#ifndef HALVO_SIM_BOARD_H
#define HALVO_SIM_BOARD_H

#include "../../backend.h"
#include "bus_devices.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace halvo::sim
{

struct BoardText {
    std::string manufacturer, boardName, version, serialNumber, biosRevision, biosDate;
};

struct Cpu {
    std::string name;
    int32_t cpuCount = 1, coreCount = 1, threadCount = 1;
    float maxCoreSpeedMHz = 1000.0f;
    int32_t fsbSpeedMHz = 0, l1CacheKB = 0, l2CacheKB = 0, l3CacheKB = 0;
    int32_t minFrequencyKHz = 0, maxFrequencyKHz = 0;
    // Simulated workload: loadPercent ± loadSwingPercent, a sine over the period.
    double loadPercent = 30, loadSwingPercent = 0, loadPeriodSeconds = 60;
};

struct Performance {
    enum class Mode { None, Types, Percentage };
    Mode mode = Mode::None;
    std::vector<int> acceptedTypes;
    int type = 0;
    int percent = 100;
    // Percentage boards apply the percentage in steps of this size.
    int percentStep = 1;
    // Frequency the governor has settled on; "conservative" walks towards its
    // target instead of jumping.
    double currentKHz = 0;
};

struct Memory {
    int32_t totalSizeMB = 0, freeSizeMB = 0, speedMHz = 0;
    std::string type;
};

struct MemoryModule {
    int32_t sizeMB = 0;
    std::string manufacturer, partNumber, serialNumber;
};

struct Battery {
    // voltageMilliVolt() reaches 1.08 times this plus 150 mV.
    static constexpr int32_t kMaxDesignedMilliVolt = INT32_MAX / 2;

    std::string name, type, serialNumber;
    int32_t designedVoltageMilliVolt = 0, designedCapacityMilliAmpHours = 0, fullCapacityMilliAmpHours = 0;
    double remainingMilliAmpHours = 0;
    int state = 1; // 0 charging, 1 on AC, 2 discharging
    int32_t chargeCurrentMilliAmps = 0, dischargeCurrentMilliAmps = 0;
    // When cycling, the battery charges to full, stays on AC for acHold, then
    // runs down to lowPercent and is plugged in again.
    bool cycle = false;
    double acHoldSeconds = 0;
    int lowPercent = 20;
    double secondsInState = 0;

    int32_t percent() const;
    int32_t voltageMilliVolt() const;
    int32_t rateMilliAmps() const;
};

struct NetworkDevice {
    std::string name, ipAddress, macAddress;
    int32_t speedMbit = 0;
};

struct PciDevice {
    int32_t domain = 0, bus = 0, device = 0, function = 0;
    int32_t vendorId = 0, classCode = 0, deviceId = 0;
    std::string vendorName, className, deviceName;
};

struct DiskDrive {
    std::string name, model, serialNumber;
    uint32_t sizeMB = 0;
};

struct DiskPartition {
    std::string name, fileSystem;
    uint32_t sizeMB = 0, freeSpaceMB = 0;
};

struct Thermal {
    double ambientMilliCelsius = 30000;
    double cpuMilliCelsius = 40000;
    // Steady-state rise of the CPU over ambient at full power with the fan
    // stopped; a fan at full speed divides the cooling resistance by
    // (1 + fanCoolingFactor).
    double cpuRiseAtFullPowerMilliCelsius = 60000;
    double fanCoolingFactor = 4.0;
    // Thermal time constant with the fan stopped; the fan shortens it.
    double timeConstantSeconds = 40;
    // The board sensor (and the LM75 on the bus) sits between ambient and CPU.
    double boardCoupling = 0.35;

    double boardMilliCelsius() const;
};

struct TempSensor {
    enum class Role { Fixed, Cpu, Board };
    std::string name;
    Role role = Role::Fixed;
    int32_t valueMilliCelsius = 0;
};

struct VoltageSensor {
    std::string name;
    int32_t valueMilliVolt = 0;
};

struct Fan {
    std::string name;
    bool cpu = false;
    int32_t maxRpm = 0;
    int duty = 0; // 0..255
    double rpm = 0;
    // CPU fan only.
    bool thermalCruise = false;
    int32_t targetMilliCelsius = 45000, toleranceMilliCelsius = 2000;
    double controlDuty = 0;
    double lastErrorC = 0;
    bool haveLastError = false;
    int64_t sinceControlMs = 0;
};

struct Watchdog {
    bool armed = false;
    int64_t timeoutMs = 0, remainingMs = 0;
    int64_t maxTimeoutMs = 0;
};

struct Gpio {
    int32_t pinCount = 0;
    std::vector<int> partner; // -1: not wired to another pin
    std::vector<uint8_t> direction, outputLevel;

    uint8_t level(int pin) const;
};

class Board final : public Backend
{
public:
    Board() = default;
    Board(const Board &) = delete;
    Board &operator=(const Board &) = delete;

    // ---- description and state (see board_json.cpp for the JSON names) ----
    std::string address; // "" for the local board
    bool online = true;
    int powerState = 0; // 0 on, 1 off, 2 hibernated
    std::map<std::string, int32_t> callStatus;
    std::optional<BoardText> boardInfo;
    std::optional<Cpu> cpu;
    Performance performance;
    std::optional<Memory> memory;
    std::vector<MemoryModule> memoryModules;
    std::vector<Battery> batteries;
    std::vector<NetworkDevice> networkDevices;
    std::vector<PciDevice> pciDevices;
    std::vector<DiskDrive> diskDrives;
    std::vector<DiskPartition> diskPartitions;
    std::optional<int32_t> bootCounter;
    std::optional<int32_t> intruderStatus;
    int64_t upTimeMs = 0;
    Thermal thermal;
    std::vector<TempSensor> temperatureSensors;
    std::vector<VoltageSensor> voltageSensors;
    std::vector<Fan> fans;
    std::vector<int32_t> displays; // backlight percent per display
    std::optional<Watchdog> watchdog;
    std::optional<Gpio> gpio;
    std::vector<std::vector<uint8_t>> storages;
    std::vector<Bus> smbus;
    std::vector<Bus> i2c;

    // ---- simulation ----
    // Simulated time the model has been run up to (World keeps it).
    int64_t modelMs = 0;
    // Advances the model by dtMs of simulated time.
    void step(int64_t dtMs);
    // What a reset of the board does: up-time from 0, one more boot, watchdog off.
    void reboot();
    void powerOn();
    // Brings derived state (current clock, fan loop) in line with a freshly
    // loaded description.
    void settle();
    double loadFraction() const;
    int32_t currentFrequencyKHz() const;
    Fan *cpuFan();
    int cpuFanIndex() const;
    DeviceEnv deviceEnv() const;

    // ---- board calls; the records read alone are picked from the lists ----
    HALVO_BOARD_CALLS(HALVO_BACKEND_OVERRIDE, &)

private:
    int32_t checkPin(int32_t pin) const;
    void stepThermalCruise(Fan &fan, int64_t dtMs);
    void stepPerformance(double dtS);
    void stepBattery(Battery &battery, double dtS);
    int32_t findDevice(std::vector<Bus> &set, uint8_t bus, uint8_t address, Device *&device);
};

} // namespace halvo::sim

#endif
