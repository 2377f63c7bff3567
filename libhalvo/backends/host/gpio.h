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
// An entry that does not parse, names a chip that does not exist or an offset
// beyond the chip is left out with a note on stderr. A chip that exists but
// cannot be opened (no permission) keeps its pins: every call on them gives
// the reason, and the chip is tried again at the next call.
//
// A line is held only while this library drives it as an output: a released
// output reverts (libgpiod 1.6 and several drivers let it float), and any
// other request would keep other programs from the line while the window
// merely looks at it. Reads request "as is", which never changes a line, and
// give the line up again; a line another program holds reads as busy.
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
    struct Chip {
        std::unique_ptr<GpioChip> open; // null while it cannot be opened
    };
    struct Pin {
        std::string chip; // key of chips_
        unsigned offset;
        bool driving = false; // held as an output
    };

    void addEntry(const std::string &entry);
    // The pin's chip, opened if it is not yet; null with `status` set when it
    // cannot be opened or `pin` is no pin.
    GpioChip *chipOf(int32_t pin, int32_t &status);
    // Reads the level of a line this library does not hold.
    static int32_t peek(GpioChip &chip, unsigned offset, int &level);

    const Root &root_;
    std::map<std::string, Chip> chips_;
    std::vector<Pin> pins_;
};

} // namespace halvo::host

#endif
