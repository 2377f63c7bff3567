#ifndef HALVO_HOST_WATCHDOG_H
#define HALVO_HOST_WATCHDOG_H

#include "parts.h"

namespace halvo::host
{

class Watchdog
{
public:
    Watchdog(const Root &root, const Settings &settings);
    ~Watchdog();

    int32_t watchdogEnable(int32_t timeoutMs);
    int32_t watchdogTrigger();
    int32_t watchdogDisable();

private:
    const Root &root_;
    const Settings &settings_;
};

} // namespace halvo::host

#endif
