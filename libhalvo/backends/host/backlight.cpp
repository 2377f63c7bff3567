#include "backlight.h"

#include "../../status.h"

namespace halvo::host
{

Backlight::Backlight(const Root &root, const Settings &settings) : root_(root), settings_(settings)
{
    (void)root_;
    (void)settings_;
}

Backlight::~Backlight() = default;

int32_t Backlight::getDisplayCount(int32_t &/*count*/)
{
    return unsupported();
}

int32_t Backlight::getBacklightValue(int32_t /*display*/, int32_t &/*value*/)
{
    return unsupported();
}

int32_t Backlight::setBacklightValue(int32_t /*display*/, int32_t /*value*/)
{
    return unsupported();
}

} // namespace halvo::host
