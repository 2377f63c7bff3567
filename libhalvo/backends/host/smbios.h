// Memory devices (SMBIOS structure type 17) from the raw table the kernel
// exposes as /sys/firmware/dmi/tables/DMI. No Debian library parses it, so
// this does, trusting no length or string index in the table.
#ifndef HALVO_HOST_SMBIOS_H
#define HALVO_HOST_SMBIOS_H

#include <cstdint>
#include <string>
#include <vector>

namespace halvo::host
{

struct MemoryDevice {
    int64_t sizeMB = 0; // 0 when the table says unknown
    int32_t speedMHz = 0; // configured speed if given, else the rated one; 0 unknown
    std::string type;     // "DDR4", ... ; "" when unknown
    std::string manufacturer, partNumber, serialNumber;
};

// Installed modules in table order; empty slots are left out. A structure cut
// short by the end of the table ends the walk; what came before it is kept.
std::vector<MemoryDevice> parseMemoryDevices(const std::string &table);

} // namespace halvo::host

#endif
