#include "pci.h"

#include "../../status.h"

namespace halvo::host
{

Pci::Pci(const Root &root, const Settings &settings) : root_(root), settings_(settings)
{
    (void)root_;
    (void)settings_;
}

Pci::~Pci() = default;

int32_t Pci::getPciDeviceCount(int32_t &/*count*/)
{
    return unsupported();
}

int32_t Pci::getPciDeviceList(PciDeviceInfo */*list*/, int32_t /*count*/)
{
    return unsupported();
}

} // namespace halvo::host
