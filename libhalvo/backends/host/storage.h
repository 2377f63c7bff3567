#ifndef HALVO_HOST_STORAGE_H
#define HALVO_HOST_STORAGE_H

#include "parts.h"

#include <vector>

namespace halvo::host
{

// User EEPROM areas are windows into files the settings name, one per line:
//   storage = /sys/bus/nvmem/devices/1-00500/nvmem 0 256
// (path as on the machine, offset and size in bytes). Storage n is the n-th
// valid line; a line that does not parse or does not fit its file is left out
// with a note on stderr. The file is opened for each call.
class Storage
{
public:
    Storage(const Root &root, const Settings &settings);
    ~Storage();

    int32_t getStorageCount(int32_t &count);
    int32_t getStorageSize(int32_t storage, int32_t &size);
    int32_t storageRead(int32_t storage, int32_t offset, char *buffer, int32_t length);
    int32_t storageWrite(int32_t storage, int32_t offset, const char *bytes, int32_t length);

private:
    struct Window {
        std::string path;
        int64_t offset;
        int32_t size;
    };

    int32_t check(int32_t storage, int32_t offset, int32_t length) const;

    const Root &root_;
    std::vector<Window> windows_;
};

} // namespace halvo::host

#endif
