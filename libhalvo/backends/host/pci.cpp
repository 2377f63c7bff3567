#include "pci.h"

#include "../../status.h"
#include "label_latin1.h"

extern "C" {
#include <pci/pci.h>
}

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <tuple>

namespace halvo::host
{

namespace
{

// Where libpci's error callback returns to. libpci declares the callback
// noreturn and stops checking after it, so returning is no option and its
// default exit()s the process; jumping back out of the C code is the way.
thread_local std::jmp_buf *tEscape = nullptr;

__attribute__((noreturn)) void onError(char *format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::fputs("libhalvo: libpci: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
    std::longjmp(*tEscape, 1);
}

// Warnings (an unreadable ID list, a missing attribute) only cost names.
void onQuiet(char *, ...) {}

// Runs `work`, which calls libpci and keeps no C++ object alive across those
// calls (the jump would skip its destructor). False when libpci failed.
template <typename Work> [[gnu::noinline]] bool guarded(Work &&work)
{
    std::jmp_buf escape;
    std::jmp_buf *const outer = tEscape;
    tEscape = &escape;
    if (setjmp(escape) != 0) {
        tEscape = outer;
        return false;
    }
    work();
    tEscape = outer;
    return true;
}

void copyName(char (&out)[256], const char *name)
{
    std::snprintf(out, sizeof out, "%s", name ? name : "");
}

} // namespace

Pci::Pci(const Root &root, const Settings &settings) : root_(root), settings_(settings)
{
    (void)settings_;
}

Pci::~Pci() = default;

int32_t Pci::ready()
{
    if (tried_)
        return status_;
    tried_ = true;
    if (!root_.exists("/sys/bus/pci/devices"))
        return status_ = HALVO_STATUS_OK;

    // libpci's own scan abandons the whole list at the first entry it cannot
    // parse or read. Each well-named entry is filled on its own instead, so
    // that a damaged one costs that device only.
    struct Address {
        unsigned domain, bus, device;
        int function;
    };
    std::vector<Address> addresses;
    for (const std::string &name : root_.list("/sys/bus/pci/devices")) {
        Address a{};
        int end = 0;
        if (std::sscanf(name.c_str(), "%x:%x:%x.%d%n", &a.domain, &a.bus, &a.device, &a.function, &end) == 4 &&
            static_cast<size_t>(end) == name.size() && a.domain <= INT32_MAX && a.bus <= 0xff && a.device <= 0x1f &&
            a.function >= 0 && a.function <= 7)
            addresses.push_back(a);
        else if (name[0] != '.')
            std::fprintf(stderr, "libhalvo: PCI entry \"%s\" left out (not a device address)\n", name.c_str());
    }

    std::string sysfs = root_.path("/sys/bus/pci");
    // libpci keeps this pointer (not a copy) until pci_cleanup.
    std::string ids = root_.path("/usr/share/misc/pci.ids");
    pci_access *access = pci_alloc();
    if (!access)
        return status_ = fail(HALVO_CLASS_DEVICE, kNoDevice);
    access->error = onError;
    access->warning = onQuiet;
    access->debug = onQuiet;
    access->method = PCI_ACCESS_SYS_BUS_PCI;
    // Replaces the default PCI_LOOKUP_CACHE, which reads ~/.pciids-cache.
    access->id_lookup_mode = PCI_LOOKUP_NO_HWDB;
    pci_set_param(access, const_cast<char *>("sysfs.path"), sysfs.data());
    if (!root_.root().empty())
        pci_set_name_list_path(access, ids.data(), 0);

    std::vector<Device> found;
    if (!guarded([&] { pci_init(access); })) {
        guarded([&] { pci_cleanup(access); });
        return status_ = fail(HALVO_CLASS_DEVICE, kNoDevice);
    }
    for (const Address &a : addresses) {
        pci_dev *d = nullptr;
        Device entry;
        const bool filled = guarded([&] {
            d = pci_get_dev(access, static_cast<int>(a.domain), static_cast<int>(a.bus), static_cast<int>(a.device),
                            a.function);
            const int known = pci_fill_info(d, PCI_FILL_IDENT | PCI_FILL_CLASS | PCI_FILL_CLASS_EXT);
            char vendor[256], cls[256], device[256], buffer[256];
            const int flags = PCI_LOOKUP_NO_HWDB;
            copyName(vendor, pci_lookup_name(access, buffer, sizeof buffer, PCI_LOOKUP_VENDOR | flags, d->vendor_id));
            copyName(device, pci_lookup_name(access, buffer, sizeof buffer, PCI_LOOKUP_DEVICE | flags, d->vendor_id,
                                             d->device_id));
            copyName(cls, pci_lookup_name(access, buffer, sizeof buffer, PCI_LOOKUP_CLASS | flags, d->device_class));
            const unsigned progIf = (known & PCI_FILL_CLASS_EXT) ? d->prog_if : 0;
            entry.domain = d->domain;
            entry.bus = d->bus;
            entry.device = d->dev;
            entry.function = d->func;
            entry.vendorId = d->vendor_id;
            entry.deviceId = d->device_id;
            entry.classCode = static_cast<int32_t>((static_cast<unsigned>(d->device_class) << 8) | progIf);
            // Names are copied before the C++ strings grow: the jump must
            // not skip a destructor, and after the lookups nothing can jump.
            entry.vendorName = vendor;
            entry.className = cls;
            entry.deviceName = device;
        });
        if (d)
            guarded([&] { pci_free_dev(d); });
        if (!filled) {
            std::fprintf(stderr, "libhalvo: PCI device %04x:%02x:%02x.%d left out (unreadable)\n", a.domain, a.bus,
                         a.device, a.function);
            continue;
        }
        entry.vendorName = latin1FromUtf8(entry.vendorName);
        entry.className = latin1FromUtf8(entry.className);
        entry.deviceName = latin1FromUtf8(entry.deviceName);
        found.push_back(std::move(entry));
    }
    // If even the cleanup fails, its memory is left rather than risked.
    guarded([&] { pci_cleanup(access); });

    std::sort(found.begin(), found.end(), [](const Device &a, const Device &b) {
        return std::tie(a.domain, a.bus, a.device, a.function) < std::tie(b.domain, b.bus, b.device, b.function);
    });
    devices_ = std::move(found);
    return status_ = HALVO_STATUS_OK;
}

int32_t Pci::getPciDeviceCount(int32_t &count)
{
    if (const int32_t status = ready(); status != HALVO_STATUS_OK)
        return status;
    count = clampInt32(static_cast<int64_t>(devices_.size()));
    return HALVO_STATUS_OK;
}

int32_t Pci::getPciDeviceList(PciDeviceInfo *list, int32_t count)
{
    if (const int32_t status = ready(); status != HALVO_STATUS_OK)
        return status;
    return fillList(devices_, list, count, [](const Device &d, PciDeviceInfo &r) {
        r.bus = d.bus;
        r.domain = d.domain;
        r.device = d.device;
        r.function = d.function;
        r.value1 = d.vendorId;
        r.value2 = d.classCode;
        r.value3 = d.deviceId;
        copyText(r.text1, d.vendorName);
        copyText(r.text2, d.className);
        copyText(r.text3, d.deviceName);
    });
}

} // namespace halvo::host
