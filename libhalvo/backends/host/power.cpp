#include "power.h"

#include "../../status.h"

namespace halvo::host
{

Power::Power(const Root &root, const Settings &settings) : root_(root), settings_(settings)
{
    (void)root_;
    (void)settings_;
}

Power::~Power() = default;

int32_t Power::setSystemState(int32_t /*state*/)
{
    return unsupported();
}

} // namespace halvo::host
