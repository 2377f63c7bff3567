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
    const Root &root_;
    const Settings &settings_;
};

} // namespace halvo::host

#endif
