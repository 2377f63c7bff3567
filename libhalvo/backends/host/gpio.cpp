#include "gpio.h"

#include "../../status.h"

namespace halvo::host
{

Gpio::Gpio(const Root &root, const Settings &settings) : root_(root), settings_(settings)
{
    (void)root_;
    (void)settings_;
}

Gpio::~Gpio() = default;

int32_t Gpio::gpioGetCount(int32_t &/*count*/)
{
    return unsupported();
}

int32_t Gpio::gpioGetDirection(int32_t /*pin*/, uint8_t &/*direction*/)
{
    return unsupported();
}

int32_t Gpio::gpioSetDirection(int32_t /*pin*/, uint8_t /*direction*/)
{
    return unsupported();
}

int32_t Gpio::gpioGetLevel(int32_t /*pin*/, uint8_t &/*level*/)
{
    return unsupported();
}

int32_t Gpio::gpioSetLevel(int32_t /*pin*/, uint8_t /*level*/)
{
    return unsupported();
}

} // namespace halvo::host
