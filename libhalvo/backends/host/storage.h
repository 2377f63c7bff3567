#ifndef HALVO_HOST_STORAGE_H
#define HALVO_HOST_STORAGE_H

#include "parts.h"

namespace halvo::host
{

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
    const Root &root_;
    const Settings &settings_;
};

} // namespace halvo::host

#endif
