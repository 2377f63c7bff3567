// One GPIO chip as the Gpio part sees it. Two implementations stand behind
// it: libgpiod 1.6 on the chip's character device, and an in-memory fake for
// fixture trees, where <root>/dev/gpiochipN is a text file.
//
// The fake's file holds one line per GPIO, "offset direction level [name]",
// direction "in" or "out", level 0 or 1; '#' starts a comment. Lines the file
// does not list are inputs at level 0. The fake writes its whole state back to
// the file after every change, so that a test sees what reached the chip; a
// line requested at that moment carries the comment "# held".
#ifndef HALVO_HOST_GPIO_CHIP_H
#define HALVO_HOST_GPIO_CHIP_H

#include "sysroot.h"

#include <cstdint>
#include <memory>
#include <string>

namespace halvo::host
{

class GpioChip
{
public:
    enum class Request { None, AsIs, Input, Output };

    virtual ~GpioChip() = default;

    virtual unsigned lineCount() const = 0;
    // Read from the line's info; needs no request.
    virtual int32_t isOutput(unsigned offset, bool &output) = 0;
    // Requests the line, giving up an earlier request of it first. `level` is
    // the initial level of an output. Request::None only gives it up.
    virtual int32_t request(unsigned offset, Request how, int level) = 0;
    // The line must be requested.
    virtual int32_t value(unsigned offset, int &level) = 0;
    virtual int32_t setValue(unsigned offset, int level) = 0;
};

// Opens the chip `name` ("gpiochip0"): libgpiod when <root>/dev/<name> is a
// character device, else the fake on that file. Null with `status` set when it
// cannot be opened.
std::unique_ptr<GpioChip> openGpioChip(const Root &root, const std::string &name, int32_t &status);

} // namespace halvo::host

#endif
