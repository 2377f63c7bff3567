#include "sim_backend.h"

#include "../../status.h"
#include "world.h"

namespace halvo::sim
{

namespace
{

template <typename T> int32_t countOf(const std::vector<T> &items, int32_t &count)
{
    count = static_cast<int32_t>(items.size());
    return HALVO_STATUS_OK;
}

} // namespace

template <typename F> int32_t SimBackend::run(const char *function, F &&body)
{
    Board *board = world_.board(address_);
    if (!board)
        return fail(HALVO_CLASS_CONNECTION, kUnknownAddress);
    if (!board->online)
        return fail(HALVO_CLASS_CONNECTION, kBoardOffline);
    if (board->powerState != 0)
        return fail(HALVO_CLASS_CONNECTION, kBoardOff);
    // A status the description sets for this function behaves like a forced
    // status: a success still does the work, a failure returns at once.
    auto rule = board->callStatus.find(function);
    if (rule == board->callStatus.end())
        return body(*board);
    if (!succeeded(rule->second))
        return rule->second;
    const int32_t status = body(*board);
    return succeeded(status) ? rule->second : status;
}

#define SIM_CALL(NAME, EXPR) return run(NAME, [&](Board &b) -> int32_t { return EXPR; })

int32_t SimBackend::getCpuInfo(CpuInfo &info)
{
    SIM_CALL("HalvoGetCpuInfo", b.getCpuInfo(info));
}
int32_t SimBackend::getBoardInfo(BoardInfo &info)
{
    SIM_CALL("HalvoGetBoardInfo", b.getBoardInfo(info));
}
int32_t SimBackend::getMemoryInfo(MemoryInfo &info)
{
    SIM_CALL("HalvoGetMemoryInfo", b.getMemoryInfo(info));
}
int32_t SimBackend::getMemoryModuleCount(int32_t &count)
{
    SIM_CALL("HalvoGetMemoryModuleCount", b.getMemoryModuleCount(count));
}
int32_t SimBackend::getMemoryModuleInfo(int8_t index, MemoryModuleInfo &info)
{
    SIM_CALL("HalvoGetMemoryModuleInfo", b.getMemoryModuleInfo(index, info));
}
int32_t SimBackend::getBatteryInfo(int32_t battery, BatteryInfo &info)
{
    SIM_CALL("HalvoGetBatteryInfo", b.getBatteryInfo(battery, info));
}
int32_t SimBackend::getBatteryState(int32_t battery, BatteryState &state)
{
    SIM_CALL("HalvoGetBatteryState", b.getBatteryState(battery, state));
}
int32_t SimBackend::getNetworkDeviceCount(int32_t &count)
{
    SIM_CALL("HalvoGetNetworkDeviceCount", countOf(b.networkDevices, count));
}
int32_t SimBackend::getNetworkDeviceList(NetworkDeviceInfo *list, int32_t count)
{
    SIM_CALL("HalvoGetNetworkDeviceList", b.getNetworkDeviceList(list, count));
}
int32_t SimBackend::getPciDeviceCount(int32_t &count)
{
    SIM_CALL("HalvoGetPciDeviceCount", countOf(b.pciDevices, count));
}
int32_t SimBackend::getPciDeviceList(PciDeviceInfo *list, int32_t count)
{
    SIM_CALL("HalvoGetPciDeviceList", b.getPciDeviceList(list, count));
}
int32_t SimBackend::getDiskDriveCount(int32_t &count)
{
    SIM_CALL("HalvoGetDiskDriveCount", countOf(b.diskDrives, count));
}
int32_t SimBackend::getDiskDriveList(DiskDriveInfo *list, int32_t count)
{
    SIM_CALL("HalvoGetDiskDriveList", b.getDiskDriveList(list, count));
}
int32_t SimBackend::getDiskDrivePartitionCount(int32_t &count)
{
    SIM_CALL("HalvoGetDiskDrivePartitionCount", countOf(b.diskPartitions, count));
}
int32_t SimBackend::getDiskDrivePartitionList(DiskPartitionInfo *list, int32_t count)
{
    SIM_CALL("HalvoGetDiskDrivePartitionList", b.getDiskDrivePartitionList(list, count));
}
int32_t SimBackend::getBootCounter(int32_t &counter)
{
    SIM_CALL("HalvoGetBootCounter", b.getBootCounter(counter));
}
int32_t SimBackend::getIntruderStatus(int32_t &status)
{
    SIM_CALL("HalvoGetIntruderStatus", b.getIntruderStatus(status));
}
int32_t SimBackend::systemUpTime(int32_t &seconds)
{
    SIM_CALL("HalvoSystemUpTime", b.systemUpTime(seconds));
}
int32_t SimBackend::getCpuFreq(int32_t kind, int32_t &khz)
{
    SIM_CALL("HalvoGetCpuFreq", b.getCpuFreq(kind, khz));
}
int32_t SimBackend::getTempSensorCount(int32_t &count)
{
    SIM_CALL("HalvoGetTempSensorCount", countOf(b.temperatureSensors, count));
}
int32_t SimBackend::getTempSensorList(TempSensorInfo *list, int32_t count)
{
    SIM_CALL("HalvoGetTempSensorList", b.getTempSensorList(list, count));
}
int32_t SimBackend::getVoltageSensorCount(int32_t &count)
{
    SIM_CALL("HalvoGetVoltageSensorCount", countOf(b.voltageSensors, count));
}
int32_t SimBackend::getVoltageSensorList(VoltageSensorInfo *list, int32_t count)
{
    SIM_CALL("HalvoGetVoltageSensorList", b.getVoltageSensorList(list, count));
}
int32_t SimBackend::getFanCount(int32_t &count)
{
    SIM_CALL("HalvoGetFanCount", countOf(b.fans, count));
}
int32_t SimBackend::getFanList(FanInfo *list, int32_t count)
{
    SIM_CALL("HalvoGetFanList", b.getFanList(list, count));
}
int32_t SimBackend::getCpuTemp(int32_t sensor, int32_t &milliCelsius)
{
    SIM_CALL("HalvoGetCpuTemp", b.getCpuTemp(sensor, milliCelsius));
}
int32_t SimBackend::getCpuFanSpeed(int32_t &rpm)
{
    SIM_CALL("HalvoGetCpuFanSpeed", b.getCpuFanSpeed(rpm));
}
int32_t SimBackend::getFanMode(int32_t fan, uint8_t &mode)
{
    SIM_CALL("HalvoGetFanMode", b.getFanMode(fan, mode));
}
int32_t SimBackend::getFanSpeed(int32_t fan, uint8_t &speed, int32_t &rpm)
{
    SIM_CALL("HalvoGetFanSpeed", b.getFanSpeed(fan, speed, rpm));
}
int32_t SimBackend::setCpuFanSpeed(uint8_t speed)
{
    SIM_CALL("HalvoSetCpuFanSpeed", b.setCpuFanSpeed(speed));
}
int32_t SimBackend::setFanModeThermalCruise(int32_t fan, int32_t target, int32_t tolerance)
{
    SIM_CALL("HalvoSetFanModeThermalCruise", b.setFanModeThermalCruise(fan, target, tolerance));
}
int32_t SimBackend::getCpuPerformance(int8_t &type, int8_t &percent)
{
    SIM_CALL("HalvoGetCpuPerformance", b.getCpuPerformance(type, percent));
}
int32_t SimBackend::setCpuPerformance(uint8_t type, int8_t percent)
{
    SIM_CALL("HalvoSetCpuPerformance", b.setCpuPerformance(type, percent));
}
int32_t SimBackend::getDisplayCount(int32_t &count)
{
    SIM_CALL("HalvoGetDisplayCount", countOf(b.displays, count));
}
int32_t SimBackend::getBacklightValue(int32_t display, int32_t &value)
{
    SIM_CALL("HalvoGetBacklightValue", b.getBacklightValue(display, value));
}
int32_t SimBackend::setBacklightValue(int32_t display, int32_t value)
{
    SIM_CALL("HalvoSetBacklightValue", b.setBacklightValue(display, value));
}
int32_t SimBackend::watchdogEnable(int32_t timeoutMs)
{
    SIM_CALL("HalvoWatchdogEnable", b.watchdogEnable(timeoutMs));
}
int32_t SimBackend::watchdogTrigger()
{
    SIM_CALL("HalvoWatchdogTrigger", b.watchdogTrigger());
}
int32_t SimBackend::watchdogDisable()
{
    SIM_CALL("HalvoWatchdogDisable", b.watchdogDisable());
}
int32_t SimBackend::watchdogGetState(int32_t &armed, int32_t &timeoutMs)
{
    SIM_CALL("HalvoWatchdogGetState", b.watchdogGetState(armed, timeoutMs));
}
int32_t SimBackend::gpioGetCount(int32_t &count)
{
    SIM_CALL("HalvoGpioGetCount", b.gpioGetCount(count));
}
int32_t SimBackend::gpioGetDirection(int32_t pin, uint8_t &direction)
{
    SIM_CALL("HalvoGpioGetDirection", b.gpioGetDirection(pin, direction));
}
int32_t SimBackend::gpioSetDirection(int32_t pin, uint8_t direction)
{
    SIM_CALL("HalvoGpioSetDirection", b.gpioSetDirection(pin, direction));
}
int32_t SimBackend::gpioGetLevel(int32_t pin, uint8_t &level)
{
    SIM_CALL("HalvoGpioGetLevel", b.gpioGetLevel(pin, level));
}
int32_t SimBackend::gpioSetLevel(int32_t pin, uint8_t level)
{
    SIM_CALL("HalvoGpioSetLevel", b.gpioSetLevel(pin, level));
}
int32_t SimBackend::getStorageCount(int32_t &count)
{
    SIM_CALL("HalvoGetStorageCount", countOf(b.storages, count));
}
int32_t SimBackend::getStorageSize(int32_t storage, int32_t &size)
{
    SIM_CALL("HalvoGetStorageSize", b.getStorageSize(storage, size));
}
int32_t SimBackend::storageRead(int32_t storage, int32_t offset, char *buffer, int32_t length)
{
    SIM_CALL("HalvoStorageRead", b.storageRead(storage, offset, buffer, length));
}
int32_t SimBackend::storageWrite(int32_t storage, int32_t offset, const char *bytes, int32_t length)
{
    SIM_CALL("HalvoStorageWrite", b.storageWrite(storage, offset, bytes, length));
}
int32_t SimBackend::getSmbusCount(uint8_t &count)
{
    SIM_CALL("HalvoGetSmbusCount", (count = static_cast<uint8_t>(b.smbus.size()), HALVO_STATUS_OK));
}
int32_t SimBackend::smbusQuickCommand(uint8_t bus, uint8_t address, uint8_t readWrite)
{
    SIM_CALL("HalvoSmbusQuickCommand", b.smbusQuickCommand(bus, address, readWrite));
}
int32_t SimBackend::smbusSendByte(uint8_t bus, uint8_t address, uint8_t data)
{
    SIM_CALL("HalvoSmbusSendByte", b.smbusSendByte(bus, address, data));
}
int32_t SimBackend::smbusReceiveByte(uint8_t bus, uint8_t address, uint8_t &data)
{
    SIM_CALL("HalvoSmbusReceiveByte", b.smbusReceiveByte(bus, address, data));
}
int32_t SimBackend::smbusWriteByte(uint8_t bus, uint8_t address, uint8_t command, uint8_t data)
{
    SIM_CALL("HalvoSmbusWriteByte", b.smbusWriteByte(bus, address, command, data));
}
int32_t SimBackend::smbusReadByte(uint8_t bus, uint8_t address, uint8_t command, uint8_t &data)
{
    SIM_CALL("HalvoSmbusReadByte", b.smbusReadByte(bus, address, command, data));
}
int32_t SimBackend::smbusWriteWord(uint8_t bus, uint8_t address, uint8_t command, uint16_t data)
{
    SIM_CALL("HalvoSmbusWriteWord", b.smbusWriteWord(bus, address, command, data));
}
int32_t SimBackend::smbusReadWord(uint8_t bus, uint8_t address, uint8_t command, uint16_t &data)
{
    SIM_CALL("HalvoSmbusReadWord", b.smbusReadWord(bus, address, command, data));
}
int32_t SimBackend::smbusWriteBlock(uint8_t bus, uint8_t address, uint8_t command, const uint8_t *data, uint8_t count)
{
    SIM_CALL("HalvoSmbusWriteBlock", b.smbusWriteBlock(bus, address, command, data, count));
}
int32_t SimBackend::smbusReadBlock(uint8_t bus, uint8_t address, uint8_t command, uint8_t *buffer, uint8_t &count)
{
    SIM_CALL("HalvoSmbusReadBlock", b.smbusReadBlock(bus, address, command, buffer, count));
}
int32_t SimBackend::getI2cBusCount(uint8_t &count)
{
    SIM_CALL("HalvoGetI2cBusCount", (count = static_cast<uint8_t>(b.i2c.size()), HALVO_STATUS_OK));
}
int32_t SimBackend::i2cRead(uint8_t bus, uint8_t address, uint8_t memoryAddress, uint8_t useMemoryAddress,
                            uint8_t *buffer, uint32_t &count)
{
    SIM_CALL("HalvoI2cRead", b.i2cRead(bus, address, memoryAddress, useMemoryAddress, buffer, count));
}
int32_t SimBackend::i2cWrite(uint8_t bus, uint8_t address, uint8_t memoryAddress, const uint8_t *data, uint32_t count)
{
    SIM_CALL("HalvoI2cWrite", b.i2cWrite(bus, address, memoryAddress, data, count));
}
int32_t SimBackend::setSystemState(int32_t state)
{
    SIM_CALL("HalvoSetSystemState", b.setSystemState(state));
}

#undef SIM_CALL

} // namespace halvo::sim
