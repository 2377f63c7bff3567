// One simulated board: its description, the state the simulation moves, and
// the board functions answered from them.
//
// Units follow the board API: temperatures in thousandths of a degree Celsius,
// voltages in mV, capacities in mAh, currents in mA, sizes in MB, CPU
// frequencies in kHz, times in milliseconds inside the model.
#ifndef HALVO_SIM_BOARD_H
#define HALVO_SIM_BOARD_H

#include "board/halvo.h"
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

class Board
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

    // ---- board functions ----
    int32_t getCpuInfo(CpuInfo &info);
    int32_t getBoardInfo(BoardInfo &info);
    int32_t getMemoryInfo(MemoryInfo &info);
    int32_t getMemoryModuleCount(int32_t &count);
    int32_t getMemoryModuleInfo(int8_t index, MemoryModuleInfo &info);
    int32_t getBatteryInfo(int32_t battery, BatteryInfo &info);
    int32_t getBatteryState(int32_t battery, BatteryState &state);
    int32_t getNetworkDeviceList(NetworkDeviceInfo *list, int32_t count);
    int32_t getPciDeviceList(PciDeviceInfo *list, int32_t count);
    int32_t getDiskDriveList(DiskDriveInfo *list, int32_t count);
    int32_t getDiskDrivePartitionList(DiskPartitionInfo *list, int32_t count);
    int32_t getBootCounter(int32_t &counter);
    int32_t getIntruderStatus(int32_t &status);
    int32_t systemUpTime(int32_t &seconds);
    int32_t getCpuFreq(int32_t kind, int32_t &khz);
    int32_t getTempSensorList(TempSensorInfo *list, int32_t count);
    int32_t getVoltageSensorList(VoltageSensorInfo *list, int32_t count);
    int32_t getFanList(FanInfo *list, int32_t count);
    int32_t getCpuTemp(int32_t sensor, int32_t &milliCelsius);
    int32_t getCpuFanSpeed(int32_t &rpm);
    int32_t getFanMode(int32_t fan, uint8_t &mode);
    int32_t getFanSpeed(int32_t fan, uint8_t &speed, int32_t &rpm);
    int32_t setCpuFanSpeed(uint8_t speed);
    int32_t setFanModeThermalCruise(int32_t fan, int32_t target, int32_t tolerance);
    int32_t getCpuPerformance(int8_t &type, int8_t &percent);
    int32_t setCpuPerformance(uint8_t type, int8_t percent);
    int32_t getBacklightValue(int32_t display, int32_t &value);
    int32_t setBacklightValue(int32_t display, int32_t value);
    int32_t watchdogEnable(int32_t timeoutMs);
    int32_t watchdogTrigger();
    int32_t watchdogDisable();
    int32_t watchdogGetState(int32_t &armed, int32_t &timeoutMs) const;
    int32_t gpioGetCount(int32_t &count);
    int32_t gpioGetDirection(int32_t pin, uint8_t &direction);
    int32_t gpioSetDirection(int32_t pin, uint8_t direction);
    int32_t gpioGetLevel(int32_t pin, uint8_t &level);
    int32_t gpioSetLevel(int32_t pin, uint8_t level);
    int32_t getStorageSize(int32_t storage, int32_t &size);
    int32_t storageRead(int32_t storage, int32_t offset, char *buffer, int32_t length);
    int32_t storageWrite(int32_t storage, int32_t offset, const char *bytes, int32_t length);
    int32_t smbusQuickCommand(uint8_t bus, uint8_t address, uint8_t readWrite);
    int32_t smbusSendByte(uint8_t bus, uint8_t address, uint8_t data);
    int32_t smbusReceiveByte(uint8_t bus, uint8_t address, uint8_t &data);
    int32_t smbusWriteByte(uint8_t bus, uint8_t address, uint8_t command, uint8_t data);
    int32_t smbusReadByte(uint8_t bus, uint8_t address, uint8_t command, uint8_t &data);
    int32_t smbusWriteWord(uint8_t bus, uint8_t address, uint8_t command, uint16_t data);
    int32_t smbusReadWord(uint8_t bus, uint8_t address, uint8_t command, uint16_t &data);
    int32_t smbusWriteBlock(uint8_t bus, uint8_t address, uint8_t command, const uint8_t *data, uint8_t count);
    int32_t smbusReadBlock(uint8_t bus, uint8_t address, uint8_t command, uint8_t *buffer, uint8_t &count);
    int32_t i2cRead(uint8_t bus, uint8_t address, uint8_t memoryAddress, uint8_t useMemoryAddress, uint8_t *buffer,
                    uint32_t &count);
    int32_t i2cWrite(uint8_t bus, uint8_t address, uint8_t memoryAddress, const uint8_t *data, uint32_t count);
    int32_t setSystemState(int32_t state);

private:
    int32_t checkPin(int32_t pin) const;
    void stepThermalCruise(Fan &fan, int64_t dtMs);
    void stepPerformance(double dtS);
    void stepBattery(Battery &battery, double dtS);
    int32_t findDevice(std::vector<Bus> &set, uint8_t bus, uint8_t address, Device *&device);
};

} // namespace halvo::sim

#endif
