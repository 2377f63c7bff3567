#ifndef HALVO_HOST_GPIO_H
#define HALVO_HOST_GPIO_H

#include "parts.h"

namespace halvo::host
{

class Gpio
{
public:
    Gpio(const Root &root, const Settings &settings);
    ~Gpio();

    int32_t gpioGetCount(int32_t &count);
    int32_t gpioGetDirection(int32_t pin, uint8_t &direction);
    int32_t gpioSetDirection(int32_t pin, uint8_t direction);
    int32_t gpioGetLevel(int32_t pin, uint8_t &level);
    int32_t gpioSetLevel(int32_t pin, uint8_t level);

private:
    const Root &root_;
    const Settings &settings_;
};

} // namespace halvo::host

#endif
