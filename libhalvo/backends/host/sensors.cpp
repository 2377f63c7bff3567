#include "sensors.h"

#include "../../status.h"

namespace halvo::host
{

Sensors::Sensors(const Root &root, const Settings &settings) : root_(root), settings_(settings)
{
    (void)root_;
    (void)settings_;
}

Sensors::~Sensors() = default;

int32_t Sensors::getTempSensorCount(int32_t &/*count*/)
{
    return unsupported();
}

int32_t Sensors::getTempSensorList(TempSensorInfo */*list*/, int32_t /*count*/)
{
    return unsupported();
}

int32_t Sensors::getVoltageSensorCount(int32_t &/*count*/)
{
    return unsupported();
}

int32_t Sensors::getVoltageSensorList(VoltageSensorInfo */*list*/, int32_t /*count*/)
{
    return unsupported();
}

int32_t Sensors::getFanCount(int32_t &/*count*/)
{
    return unsupported();
}

int32_t Sensors::getFanList(FanInfo */*list*/, int32_t /*count*/)
{
    return unsupported();
}

int32_t Sensors::getCpuTemp(int32_t /*sensor*/, int32_t &/*milliCelsius*/)
{
    return unsupported();
}

int32_t Sensors::getCpuFanSpeed(int32_t &/*rpm*/)
{
    return unsupported();
}

int32_t Sensors::getIntruderStatus(int32_t &/*status*/)
{
    return unsupported();
}

int32_t Sensors::getFanMode(int32_t /*fan*/, uint8_t &/*mode*/)
{
    return unsupported();
}

int32_t Sensors::getFanSpeed(int32_t /*fan*/, uint8_t &/*speed*/, int32_t &/*rpm*/)
{
    return unsupported();
}

int32_t Sensors::setCpuFanSpeed(uint8_t /*speed*/)
{
    return unsupported();
}

int32_t Sensors::setFanModeThermalCruise(int32_t /*fan*/, int32_t /*target*/, int32_t /*tolerance*/)
{
    return unsupported();
}

} // namespace halvo::host
