#include "watchdog.h"

#include "../../status.h"

namespace halvo::host
{

Watchdog::Watchdog(const Root &root, const Settings &settings) : root_(root), settings_(settings)
{
    (void)root_;
    (void)settings_;
}

Watchdog::~Watchdog() = default;

int32_t Watchdog::watchdogEnable(int32_t /*timeoutMs*/)
{
    return unsupported();
}

int32_t Watchdog::watchdogTrigger()
{
    return unsupported();
}

int32_t Watchdog::watchdogDisable()
{
    return unsupported();
}

} // namespace halvo::host
