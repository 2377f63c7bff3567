// Backlights of /sys/class/backlight, found at first use. Display numbers
// follow the kernel's advice on which interface to prefer: firmware before
// platform before raw (attribute `type`), unknown types last, then by name.
// Values are percent of max_brightness, rounded to the nearest.
#ifndef HALVO_HOST_BACKLIGHT_H
#define HALVO_HOST_BACKLIGHT_H

#include "parts.h"

namespace halvo::host
{

class Backlight
{
public:
    Backlight(const Root &root, const Settings &settings);
    ~Backlight();

    int32_t getDisplayCount(int32_t &count);
    int32_t getBacklightValue(int32_t display, int32_t &value);
    int32_t setBacklightValue(int32_t display, int32_t value);

private:
    const std::vector<std::string> &displays();
    int32_t find(int32_t display, std::string &dir);
    int32_t readMax(const std::string &dir, int64_t &max) const;

    const Root &root_;
    const Settings &settings_;
    bool found_ = false;
    std::vector<std::string> dirs_;
};

} // namespace halvo::host

#endif
