#ifndef HALVO_HOST_POWER_H
#define HALVO_HOST_POWER_H

#include "parts.h"

namespace halvo::host
{

// Power state changes through logind on the system bus (PowerOff, Hibernate,
// Reboot, none of them interactive). A connection is opened for each call.
class Power
{
public:
    Power(const Root &root, const Settings &settings);
    ~Power();

    int32_t setSystemState(int32_t state);
};

} // namespace halvo::host

#endif
