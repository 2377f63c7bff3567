#include "storage.h"

#include "../../status.h"

namespace halvo::host
{

Storage::Storage(const Root &root, const Settings &settings) : root_(root), settings_(settings)
{
    (void)root_;
    (void)settings_;
}

Storage::~Storage() = default;

int32_t Storage::getStorageCount(int32_t &/*count*/)
{
    return unsupported();
}

int32_t Storage::getStorageSize(int32_t /*storage*/, int32_t &/*size*/)
{
    return unsupported();
}

int32_t Storage::storageRead(int32_t /*storage*/, int32_t /*offset*/, char */*buffer*/, int32_t /*length*/)
{
    return unsupported();
}

int32_t Storage::storageWrite(int32_t /*storage*/, int32_t /*offset*/, const char */*bytes*/, int32_t /*length*/)
{
    return unsupported();
}

} // namespace halvo::host
