#ifndef HALVO_HOST_SYSTEM_INFO_H
#define HALVO_HOST_SYSTEM_INFO_H

#include "parts.h"

namespace halvo::host
{

class SystemInfo
{
public:
    SystemInfo(const Root &root, const Settings &settings);
    ~SystemInfo();

    int32_t getCpuInfo(CpuInfo &info);
    int32_t getBoardInfo(BoardInfo &info);
    int32_t getMemoryInfo(MemoryInfo &info);
    int32_t getMemoryModuleCount(int32_t &count);
    int32_t getMemoryModuleInfo(int8_t index, MemoryModuleInfo &info);
    int32_t getBatteryInfo(int32_t battery, BatteryInfo &info);
    int32_t getBatteryState(int32_t battery, BatteryState &state);
    int32_t getNetworkDeviceCount(int32_t &count);
    int32_t getNetworkDeviceList(NetworkDeviceInfo *list, int32_t count);
    int32_t getDiskDriveCount(int32_t &count);
    int32_t getDiskDriveList(DiskDriveInfo *list, int32_t count);
    int32_t getDiskDrivePartitionCount(int32_t &count);
    int32_t getDiskDrivePartitionList(DiskPartitionInfo *list, int32_t count);
    int32_t getBootCounter(int32_t &counter);
    int32_t systemUpTime(int32_t &seconds);
    int32_t getCpuFreq(int32_t kind, int32_t &khz);
    int32_t getCpuPerformance(int8_t &type, int8_t &percent);
    int32_t setCpuPerformance(uint8_t type, int8_t percent);

private:
    const Root &root_;
    const Settings &settings_;
};

} // namespace halvo::host

#endif
