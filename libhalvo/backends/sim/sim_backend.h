// The Backend of a simulated board: the board functions of one board of the
// World, looked up by address on every call so that a board replaced by a
// patch or gone from a reloaded world is noticed.
#ifndef HALVO_SIM_BACKEND_H
#define HALVO_SIM_BACKEND_H

#include "../../backend.h"
#include "board.h"

#include <string>

namespace halvo::sim
{

class World;

class SimBackend : public Backend
{
public:
    SimBackend(World &world, std::string address) : world_(world), address_(std::move(address)) {}

    int32_t getCpuInfo(CpuInfo &info) override;
    int32_t getBoardInfo(BoardInfo &info) override;
    int32_t getMemoryInfo(MemoryInfo &info) override;
    int32_t getMemoryModuleCount(int32_t &count) override;
    int32_t getMemoryModuleInfo(int8_t index, MemoryModuleInfo &info) override;
    int32_t getBatteryInfo(int32_t battery, BatteryInfo &info) override;
    int32_t getBatteryState(int32_t battery, BatteryState &state) override;
    int32_t getNetworkDeviceCount(int32_t &count) override;
    int32_t getNetworkDeviceList(NetworkDeviceInfo *list, int32_t count) override;
    int32_t getPciDeviceCount(int32_t &count) override;
    int32_t getPciDeviceList(PciDeviceInfo *list, int32_t count) override;
    int32_t getDiskDriveCount(int32_t &count) override;
    int32_t getDiskDriveList(DiskDriveInfo *list, int32_t count) override;
    int32_t getDiskDrivePartitionCount(int32_t &count) override;
    int32_t getDiskDrivePartitionList(DiskPartitionInfo *list, int32_t count) override;
    int32_t getBootCounter(int32_t &counter) override;
    int32_t getIntruderStatus(int32_t &status) override;
    int32_t systemUpTime(int32_t &seconds) override;
    int32_t getCpuFreq(int32_t kind, int32_t &khz) override;
    int32_t getTempSensorCount(int32_t &count) override;
    int32_t getTempSensorList(TempSensorInfo *list, int32_t count) override;
    int32_t getVoltageSensorCount(int32_t &count) override;
    int32_t getVoltageSensorList(VoltageSensorInfo *list, int32_t count) override;
    int32_t getFanCount(int32_t &count) override;
    int32_t getFanList(FanInfo *list, int32_t count) override;
    int32_t getCpuTemp(int32_t sensor, int32_t &milliCelsius) override;
    int32_t getCpuFanSpeed(int32_t &rpm) override;
    int32_t getFanMode(int32_t fan, uint8_t &mode) override;
    int32_t getFanSpeed(int32_t fan, uint8_t &speed, int32_t &rpm) override;
    int32_t setCpuFanSpeed(uint8_t speed) override;
    int32_t setFanModeThermalCruise(int32_t fan, int32_t target, int32_t tolerance) override;
    int32_t getCpuPerformance(int8_t &type, int8_t &percent) override;
    int32_t setCpuPerformance(uint8_t type, int8_t percent) override;
    int32_t getDisplayCount(int32_t &count) override;
    int32_t getBacklightValue(int32_t display, int32_t &value) override;
    int32_t setBacklightValue(int32_t display, int32_t value) override;
    int32_t watchdogEnable(int32_t timeoutMs) override;
    int32_t watchdogTrigger() override;
    int32_t watchdogDisable() override;
    int32_t watchdogGetState(int32_t &armed, int32_t &timeoutMs) override;
    int32_t gpioGetCount(int32_t &count) override;
    int32_t gpioGetDirection(int32_t pin, uint8_t &direction) override;
    int32_t gpioSetDirection(int32_t pin, uint8_t direction) override;
    int32_t gpioGetLevel(int32_t pin, uint8_t &level) override;
    int32_t gpioSetLevel(int32_t pin, uint8_t level) override;
    int32_t getStorageCount(int32_t &count) override;
    int32_t getStorageSize(int32_t storage, int32_t &size) override;
    int32_t storageRead(int32_t storage, int32_t offset, char *buffer, int32_t length) override;
    int32_t storageWrite(int32_t storage, int32_t offset, const char *bytes, int32_t length) override;
    int32_t getSmbusCount(uint8_t &count) override;
    int32_t smbusQuickCommand(uint8_t bus, uint8_t address, uint8_t readWrite) override;
    int32_t smbusSendByte(uint8_t bus, uint8_t address, uint8_t data) override;
    int32_t smbusReceiveByte(uint8_t bus, uint8_t address, uint8_t &data) override;
    int32_t smbusWriteByte(uint8_t bus, uint8_t address, uint8_t command, uint8_t data) override;
    int32_t smbusReadByte(uint8_t bus, uint8_t address, uint8_t command, uint8_t &data) override;
    int32_t smbusWriteWord(uint8_t bus, uint8_t address, uint8_t command, uint16_t data) override;
    int32_t smbusReadWord(uint8_t bus, uint8_t address, uint8_t command, uint16_t &data) override;
    int32_t smbusWriteBlock(uint8_t bus, uint8_t address, uint8_t command, const uint8_t *data, uint8_t count) override;
    int32_t smbusReadBlock(uint8_t bus, uint8_t address, uint8_t command, uint8_t *buffer, uint8_t &count) override;
    int32_t getI2cBusCount(uint8_t &count) override;
    int32_t i2cRead(uint8_t bus, uint8_t address, uint8_t memoryAddress, uint8_t useMemoryAddress, uint8_t *buffer,
                    uint32_t &count) override;
    int32_t i2cWrite(uint8_t bus, uint8_t address, uint8_t memoryAddress, const uint8_t *data, uint32_t count) override;
    int32_t setSystemState(int32_t state) override;

private:
    template <typename F> int32_t run(const char *function, F &&body);

    World &world_;
    std::string address_;
};

} // namespace halvo::sim

#endif
