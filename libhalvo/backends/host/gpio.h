#ifndef HALVO_HOST_GPIO_H
#define HALVO_HOST_GPIO_H

#include "gpio_chip.h"
#include "parts.h"

#include <map>
#include <vector>

namespace halvo::host
{

// The board's pins are the GPIO lines the settings name, in their order:
//   gpio = gpiochip0:0-7 gpiochip1:3,5
// (one or more lines; each entry a chip and a list of offsets and ranges).
// An entry that does not parse, names a chip that cannot be opened or an
// offset beyond the chip is left out with a note on stderr.
//
// A line is requested at the first call that needs its value and then held
// while the library is loaded, because the kernel may let a released output
// float. Reads request "as is", which never changes a line.
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
    struct Pin {
        GpioChip *chip;
        unsigned offset;
        GpioChip::Request held = GpioChip::Request::None;
    };

    void addEntry(const Root &root, const std::string &entry);
    int32_t checkPin(int32_t pin) const;
    int32_t hold(Pin &pin);
    int32_t request(Pin &pin, GpioChip::Request how, int level);

    std::map<std::string, std::unique_ptr<GpioChip>> chips_;
    std::vector<Pin> pins_;
};

} // namespace halvo::host

#endif
