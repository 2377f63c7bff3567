#ifndef HALVO_HOST_PCI_H
#define HALVO_HOST_PCI_H

#include "parts.h"

namespace halvo::host
{

class Pci
{
public:
    Pci(const Root &root, const Settings &settings);
    ~Pci();

    int32_t getPciDeviceCount(int32_t &count);
    int32_t getPciDeviceList(PciDeviceInfo *list, int32_t count);

private:
    const Root &root_;
    const Settings &settings_;
};

} // namespace halvo::host

#endif
