#ifndef HALVO_HOST_SENSORS_H
#define HALVO_HOST_SENSORS_H

#include "parts.h"

namespace halvo::host
{

class Sensors
{
public:
    Sensors(const Root &root, const Settings &settings);
    ~Sensors();

    int32_t getTempSensorCount(int32_t &count);
    int32_t getTempSensorList(TempSensorInfo *list, int32_t count);
    int32_t getVoltageSensorCount(int32_t &count);
    int32_t getVoltageSensorList(VoltageSensorInfo *list, int32_t count);
    int32_t getFanCount(int32_t &count);
    int32_t getFanList(FanInfo *list, int32_t count);
    int32_t getCpuTemp(int32_t sensor, int32_t &milliCelsius);
    int32_t getCpuFanSpeed(int32_t &rpm);
    int32_t getIntruderStatus(int32_t &status);
    int32_t getFanMode(int32_t fan, uint8_t &mode);
    int32_t getFanSpeed(int32_t fan, uint8_t &speed, int32_t &rpm);
    int32_t setCpuFanSpeed(uint8_t speed);
    int32_t setFanModeThermalCruise(int32_t fan, int32_t target, int32_t tolerance);

private:
    const Root &root_;
    const Settings &settings_;
};

} // namespace halvo::host

#endif
