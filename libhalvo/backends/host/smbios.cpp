#include "smbios.h"

#include "../../text.h"

namespace halvo::host
{

namespace
{

constexpr uint8_t kMemoryDevice = 17;
constexpr uint8_t kEndOfTable = 127;

uint16_t word(const std::string &t, size_t at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(t[at]) | static_cast<uint8_t>(t[at + 1]) << 8);
}

uint32_t dword(const std::string &t, size_t at)
{
    return word(t, at) | static_cast<uint32_t>(word(t, at + 2)) << 16;
}

// SMBIOS 3.x, memory type codes of structure type 17 at offset 12h.
std::string typeName(uint8_t code)
{
    static const char *const names[] = {
        nullptr, "Other", "Unknown", "DRAM",   "EDRAM",        "VRAM",   "SRAM",   "RAM",
        "ROM",   "Flash", "EEPROM",  "FEPROM", "EPROM",        "CDRAM",  "3DRAM",  "SDRAM",
        "SGRAM", "RDRAM", "DDR",     "DDR2",   "DDR2 FB-DIMM", nullptr,  nullptr,  nullptr,
        "DDR3",  "FBD2",  "DDR4",    "LPDDR",  "LPDDR2",       "LPDDR3", "LPDDR4", "Logical non-volatile device",
        "HBM",   "HBM2",  "DDR5",    "LPDDR5", "HBM3"};
    const char *name = code < sizeof names / sizeof *names ? names[code] : nullptr;
    return name && code != 2 ? name : "";
}

} // namespace

std::vector<MemoryDevice> parseMemoryDevices(const std::string &t)
{
    std::vector<MemoryDevice> devices;
    size_t at = 0;
    while (at + 4 <= t.size()) {
        const uint8_t type = static_cast<uint8_t>(t[at]);
        const size_t length = static_cast<uint8_t>(t[at + 1]);
        if (length < 4 || at + length > t.size())
            break;
        // The string set follows the formatted part and ends with two NULs.
        const size_t strings = at + length;
        const size_t end = t.find(std::string("\0\0", 2), strings);
        if (end == std::string::npos)
            break;
        std::vector<std::string> set;
        for (size_t s = strings; s < end + 1;) {
            const size_t nul = t.find('\0', s);
            if (nul == s)
                break;
            set.push_back(t.substr(s, nul - s));
            s = nul + 1;
        }
        auto text = [&](size_t offset) {
            if (offset >= length)
                return std::string();
            const uint8_t index = static_cast<uint8_t>(t[at + offset]);
            return index >= 1 && index <= set.size() ? trim(set[index - 1], " ") : std::string();
        };
        if (type == kEndOfTable)
            break;
        if (type == kMemoryDevice && length >= 0x15) {
            const uint16_t size = word(t, at + 0x0C);
            if (size != 0) {
                MemoryDevice d;
                if (size == 0x7FFF && length >= 0x20)
                    d.sizeMB = dword(t, at + 0x1C) & 0x7FFFFFFF;
                else if (size != 0xFFFF && size != 0x7FFF)
                    // Bit 15 set: the size is in kB.
                    d.sizeMB = size & 0x8000 ? (size & 0x7FFF) / 1024 : size;
                d.type = typeName(static_cast<uint8_t>(t[at + 0x12]));
                const uint16_t rated = length >= 0x17 ? word(t, at + 0x15) : 0;
                const uint16_t configured = length >= 0x22 ? word(t, at + 0x20) : 0;
                // 0xFFFF: the speed is in the 32-bit extended field (SMBIOS 3.3).
                auto speed = [&](uint16_t v, size_t extended) -> int32_t {
                    if (v != 0xFFFF)
                        return v;
                    return length >= extended + 4 ? static_cast<int32_t>(dword(t, at + extended) & 0x7FFFFFFF) : 0;
                };
                d.speedMHz = configured ? speed(configured, 0x58) : speed(rated, 0x54);
                d.manufacturer = text(0x17);
                d.serialNumber = text(0x18);
                d.partNumber = text(0x1A);
                devices.push_back(d);
            }
        }
        at = end + 2;
    }
    return devices;
}

} // namespace halvo::host
