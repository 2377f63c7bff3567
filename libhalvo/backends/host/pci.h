// The PCI list through libpci's sysfs method on <root>/sys/bus/pci, scanned
// once at first use and kept; libpci's own state is released right after.
//
// Names come from <root>/usr/share/misc/pci.ids when the root is not "/",
// else from the system's default list; never from the network, udev's hwdb
// or a user's ID cache, so they are the same on every run. An ID the list
// lacks gets libpci's numeric form ("Device a306").
//
// A machine without /sys/bus/pci/devices has no PCI bus to show: count 0.
// libpci reports trouble through callbacks that must not return; ours jump
// back out of the scan, which then fails with the device class.
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
    // value1 vendor id, value2 class code (base, sub-class, programming
    // interface: 0x0c0330), value3 device id; text1 vendor, text2 class,
    // text3 device name. Ordered by domain, bus, device, function.
    int32_t getPciDeviceList(PciDeviceInfo *list, int32_t count);

    struct Device {
        int32_t domain = 0, bus = 0, device = 0, function = 0;
        int32_t vendorId = 0, classCode = 0, deviceId = 0;
        std::string vendorName, className, deviceName;
    };

private:
    int32_t ready();

    const Root &root_;
    const Settings &settings_;
    bool tried_ = false;
    int32_t status_ = HALVO_STATUS_OK;
    std::vector<Device> devices_;
};

} // namespace halvo::host

#endif
