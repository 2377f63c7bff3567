#include "system_info.h"

#include "../../status.h"

namespace halvo::host
{

SystemInfo::SystemInfo(const Root &root, const Settings &settings) : root_(root), settings_(settings)
{
    (void)root_;
    (void)settings_;
}

SystemInfo::~SystemInfo() = default;

int32_t SystemInfo::getCpuInfo(CpuInfo &/*info*/)
{
    return unsupported();
}

int32_t SystemInfo::getBoardInfo(BoardInfo &/*info*/)
{
    return unsupported();
}

int32_t SystemInfo::getMemoryInfo(MemoryInfo &/*info*/)
{
    return unsupported();
}

int32_t SystemInfo::getMemoryModuleCount(int32_t &/*count*/)
{
    return unsupported();
}

int32_t SystemInfo::getMemoryModuleInfo(int8_t /*index*/, MemoryModuleInfo &/*info*/)
{
    return unsupported();
}

int32_t SystemInfo::getBatteryInfo(int32_t /*battery*/, BatteryInfo &/*info*/)
{
    return unsupported();
}

int32_t SystemInfo::getBatteryState(int32_t /*battery*/, BatteryState &/*state*/)
{
    return unsupported();
}

int32_t SystemInfo::getNetworkDeviceCount(int32_t &/*count*/)
{
    return unsupported();
}

int32_t SystemInfo::getNetworkDeviceList(NetworkDeviceInfo */*list*/, int32_t /*count*/)
{
    return unsupported();
}

int32_t SystemInfo::getDiskDriveCount(int32_t &/*count*/)
{
    return unsupported();
}

int32_t SystemInfo::getDiskDriveList(DiskDriveInfo */*list*/, int32_t /*count*/)
{
    return unsupported();
}

int32_t SystemInfo::getDiskDrivePartitionCount(int32_t &/*count*/)
{
    return unsupported();
}

int32_t SystemInfo::getDiskDrivePartitionList(DiskPartitionInfo */*list*/, int32_t /*count*/)
{
    return unsupported();
}

int32_t SystemInfo::getBootCounter(int32_t &/*counter*/)
{
    return unsupported();
}

int32_t SystemInfo::systemUpTime(int32_t &/*seconds*/)
{
    return unsupported();
}

int32_t SystemInfo::getCpuFreq(int32_t /*kind*/, int32_t &/*khz*/)
{
    return unsupported();
}

int32_t SystemInfo::getCpuPerformance(int8_t &/*type*/, int8_t &/*percent*/)
{
    return unsupported();
}

int32_t SystemInfo::setCpuPerformance(uint8_t /*type*/, int8_t /*percent*/)
{
    return unsupported();
}

} // namespace halvo::host
