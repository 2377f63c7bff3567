#ifndef HALVO_HOST_POWER_H
#define HALVO_HOST_POWER_H

#include "parts.h"

namespace halvo::host
{

class Power
{
public:
    Power(const Root &root, const Settings &settings);
    ~Power();

    int32_t setSystemState(int32_t state);

private:
    const Root &root_;
    const Settings &settings_;
};

} // namespace halvo::host

#endif
