#ifndef HALVO_HOST_SYSTEM_INFO_H
#define HALVO_HOST_SYSTEM_INFO_H

#include "parts.h"
#include "smbios.h"

#include <optional>
#include <utility>

namespace halvo::host
{

// An interface name and one of its addresses (IPv4, or global IPv6), as
// getifaddrs lists them.
using InterfaceAddresses = std::vector<std::pair<std::string, std::string>>;
// The first IPv4 address of `name`, else its first IPv6 address, "" when it
// has neither.
std::string addressOf(const InterfaceAddresses &addresses, const std::string &name);

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
    struct Disk {
        std::string dir; // below /sys/block
        std::vector<std::string> partitions;
    };
    // The SMBIOS table is read once: it does not change while the machine
    // runs. `status` tells whether it could be read.
    const std::vector<MemoryDevice> &memoryDevices(int32_t &status);
    std::vector<std::string> batteries() const;
    std::vector<std::string> interfaces() const;
    std::vector<Disk> disks() const;
    // cpufreq policy directories, each holding scaling_governor.
    std::vector<std::string> policies() const;

    const Root &root_;
    const Settings &settings_;
    std::optional<std::vector<MemoryDevice>> memory_;
    int32_t memoryStatus_ = HALVO_STATUS_OK;
};

} // namespace halvo::host

#endif
