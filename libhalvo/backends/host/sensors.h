// Temperatures, voltages and fans through libsensors; fan control through the
// chip's hwmon pwm attributes.
//
// libsensors keeps one process-wide state. The first part to need it calls
// sensors_init, with the root's etc/sensors3.conf followed by the files of
// etc/sensors.d in name order (libsensors' own order for /etc), or with
// libsensors' defaults when the root is "/"; a configuration that does not
// parse is dropped for an empty one, so a typo costs labels, not sensors.
// Chips and features are enumerated once, at first use; a list read then
// costs one sensors_get_value per item. libsensors always reads the process's
// /sys, so a root other than "/" only matches it under umockdev, with
// UMOCKDEV_DIR equal to the root (the tests).
//
// Lists: chips in chip-name order, features in libsensors' order; temperatures
// in m°C, voltages in mV (compute lines applied), fans in rpm. A name is the
// libsensors label; a label that occurs more than once in one list gets
// " (<chip name>)" appended on every occurrence. The CPU fan is always named
// "CPU-Fan". An input that gives no reading when the chips are enumerated is
// not listed; a list call whose inputs cannot all be read now fails with the
// device class and writes nothing, so that no value that was not read is
// reported. A negative fan speed is such a failed reading.
//
// Chip names are libsensors' ("nct6779-isa-0290"); libsensors prints every
// virtual chip of one kind alike ("acpitz-virtual-0"), so chips of the same
// name are ordered by their device path and the second and later get "#2",
// "#3"... ("acpitz-virtual-0#2"), in names and in the settings below.
//
// CPU fan: the setting cpu_fan = <chip>/<feature> (nct6779-isa-0290/fan2),
// else the first fan whose label contains "CPU" in any case. CPU temperature:
// cpu_temp = <chip>/<feature>, else coretemp's "Package id 0" (or "Physical
// id 0" of older kernels), else k10temp's Tdie, else its Tctl (Tctl carries a
// fan-control offset on some parts).
//
// Fan control: fanN is driven by pwmN of the same chip directory. Fan modes:
// pwmN_enable 1 is manual (1); 2 is Thermal Cruise (2) on the nct6775 family;
// every other value (0 full speed, the other automatic modes, 2 on other
// chips) is reported as 0, "neither". A pwm without pwmN_enable is manual.
#ifndef HALVO_HOST_SENSORS_H
#define HALVO_HOST_SENSORS_H

#include "parts.h"

struct sensors_chip_name;

namespace halvo::host
{

class Sensors
{
public:
    Sensors(const Root &root, const Settings &settings);
    ~Sensors();
    Sensors(const Sensors &) = delete;
    Sensors &operator=(const Sensors &) = delete;

    int32_t getTempSensorCount(int32_t &count);
    int32_t getTempSensorList(TempSensorInfo *list, int32_t count);
    int32_t getVoltageSensorCount(int32_t &count);
    int32_t getVoltageSensorList(VoltageSensorInfo *list, int32_t count);
    int32_t getFanCount(int32_t &count);
    int32_t getFanList(FanInfo *list, int32_t count);
    // sensor: 0, the CPU temperature.
    int32_t getCpuTemp(int32_t sensor, int32_t &milliCelsius);
    int32_t getCpuFanSpeed(int32_t &rpm);
    // One list record, reading only that input.
    int32_t getTempSensor(int32_t index, TempSensorInfo &sensor);
    int32_t getVoltageSensor(int32_t index, VoltageSensorInfo &sensor);
    int32_t getFan(int32_t index, FanInfo &fan);
    int32_t getIntruderStatus(int32_t &status);
    // fan: 1, the CPU fan.
    int32_t getFanMode(int32_t fan, uint8_t &mode);
    // fan: index in the fan list.
    int32_t getFanSpeed(int32_t fan, uint8_t &speed, int32_t &rpm);
    int32_t setCpuFanSpeed(uint8_t speed);
    // fan: index in the fan list; nct6775 family only. target 0..127000 m°C;
    // tolerance 0..15000 m°C on the nct6775, 0..7000 on later chips (the
    // width of the chip's tolerance field; the driver would clamp silently).
    int32_t setFanModeThermalCruise(int32_t fan, int32_t target, int32_t tolerance);

    struct Input {
        const sensors_chip_name *chip = nullptr;
        int subfeature = -1;
        std::string chipName;
        std::string feature; // "temp1", "fan2"
        std::string name;
    };
    struct Fan : Input {
        std::string pwm; // "/sys/.../pwmN", "" when the fan has no pwm
        bool nct6775Family = false;
    };

private:
    int32_t ready();
    // `body()` once the chips are enumerated, else why they are not.
    template <typename Body> int32_t whenReady(Body &&body)
    {
        const int32_t status = ready();
        return status == HALVO_STATUS_OK ? static_cast<int32_t>(body()) : status;
    }
    int32_t enumerate();
    int32_t pwmMode(const Fan &fan, uint8_t &mode) const;

    const Root &root_;
    const Settings &settings_;
    bool tried_ = false;
    int32_t status_ = HALVO_STATUS_OK;
    bool session_ = false;
    std::vector<Input> temps_;
    std::vector<Input> volts_;
    std::vector<Fan> fans_;
    Input intrusion_;
    int cpuFan_ = -1;  // index in fans_
    int cpuTemp_ = -1; // index in temps_
};

} // namespace halvo::host

#endif
