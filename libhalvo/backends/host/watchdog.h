#ifndef HALVO_HOST_WATCHDOG_H
#define HALVO_HOST_WATCHDOG_H

#include "parts.h"

namespace halvo::host
{

// The watchdog is the node the setting names (watchdog = /dev/watchdog0), by
// default the lowest-numbered entry of /sys/class/watchdog. Opening the node
// arms it, so it is opened only by an enable and then held until a disable.
//
// At unload the node is closed without the magic character: a watchdog the
// user armed stays armed and resets the board unless fed, which is what an
// armed watchdog is for when its feeder goes away. A watchdog left armed that
// way (the sysfs state says so and nobody holds it) is taken over by the next
// trigger, enable or disable, so that none of them reports success while the
// board still counts down.
class Watchdog
{
public:
    Watchdog(const Root &root, const Settings &settings);
    ~Watchdog();

    int32_t watchdogEnable(int32_t timeoutMs);
    int32_t watchdogTrigger();
    int32_t watchdogDisable();
    // From sysfs, so that a watchdog another program armed reads as armed;
    // without the sysfs attributes, what this process did.
    int32_t watchdogGetState(int32_t &armed, int32_t &timeoutMs) const;

private:
    int32_t present() const;
    bool noWayOut() const;
    // Stops the watchdog armed by a failed enable, unless it cannot be stopped.
    void abandon();
    // Stops the held watchdog and closes the node; unsupported when the
    // driver refuses to stop (nowayout).
    int32_t stop();
    // Armed, by the sysfs state, and not held by this library.
    bool armedElsewhere() const;
    // Opens the node unless it is held already.
    int32_t hold();

    const Root &root_;
    std::string device_; // "/dev/watchdogN", "" when the machine has none
    std::string sysfs_;  // "/sys/class/watchdog/watchdogN"
    int fd_ = -1;
};

} // namespace halvo::host

#endif
