// The seam between the C entry points and whatever answers them.
//
// A Backend is one board as seen through one handle. The entry points have
// already taken the library lock, applied any forced status, resolved the
// handle and checked what does not depend on the board: every out-pointer is
// non-null, every list call has a non-null array and a count above 0, an SMBus
// block write carries 1..32 bytes and an I2C write at most 8192. Range and
// value checks that depend on the board (pin numbers, bus numbers, sizes) are
// the backend's job. Statuses follow board/halvo.h; a backend may throw, the
// entry points turn that into a device-class status.
#ifndef HALVO_BACKEND_H
#define HALVO_BACKEND_H

#include "board/halvo.h"
#include "status.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace halvo
{

class Backend
{
public:
    virtual ~Backend() = default;

    virtual int32_t getCpuInfo(CpuInfo &info) = 0;
    virtual int32_t getBoardInfo(BoardInfo &info) = 0;
    virtual int32_t getMemoryInfo(MemoryInfo &info) = 0;
    virtual int32_t getMemoryModuleCount(int32_t &count) = 0;
    virtual int32_t getMemoryModuleInfo(int8_t index, MemoryModuleInfo &info) = 0;
    virtual int32_t getBatteryInfo(int32_t battery, BatteryInfo &info) = 0;
    virtual int32_t getBatteryState(int32_t battery, BatteryState &state) = 0;
    virtual int32_t getNetworkDeviceCount(int32_t &count) = 0;
    virtual int32_t getNetworkDeviceList(NetworkDeviceInfo *list, int32_t count) = 0;
    virtual int32_t getPciDeviceCount(int32_t &count) = 0;
    virtual int32_t getPciDeviceList(PciDeviceInfo *list, int32_t count) = 0;
    virtual int32_t getDiskDriveCount(int32_t &count) = 0;
    virtual int32_t getDiskDriveList(DiskDriveInfo *list, int32_t count) = 0;
    virtual int32_t getDiskDrivePartitionCount(int32_t &count) = 0;
    virtual int32_t getDiskDrivePartitionList(DiskPartitionInfo *list, int32_t count) = 0;
    virtual int32_t getBootCounter(int32_t &counter) = 0;
    virtual int32_t getIntruderStatus(int32_t &status) = 0;
    virtual int32_t systemUpTime(int32_t &seconds) = 0;
    virtual int32_t getCpuFreq(int32_t kind, int32_t &khz) = 0;

    virtual int32_t getTempSensorCount(int32_t &count) = 0;
    virtual int32_t getTempSensorList(TempSensorInfo *list, int32_t count) = 0;
    virtual int32_t getVoltageSensorCount(int32_t &count) = 0;
    virtual int32_t getVoltageSensorList(VoltageSensorInfo *list, int32_t count) = 0;
    virtual int32_t getFanCount(int32_t &count) = 0;
    virtual int32_t getFanList(FanInfo *list, int32_t count) = 0;
    virtual int32_t getCpuTemp(int32_t sensor, int32_t &milliCelsius) = 0;
    virtual int32_t getCpuFanSpeed(int32_t &rpm) = 0;
    // One record of a list. By default the list is read and the record
    // picked, which fails with the list when any sensor gives no reading; a
    // backend that can read one sensor alone does so.
    virtual int32_t getTempSensor(int32_t index, TempSensorInfo &sensor)
    {
        return recordOf(index, sensor, &Backend::getTempSensorCount, &Backend::getTempSensorList);
    }
    virtual int32_t getVoltageSensor(int32_t index, VoltageSensorInfo &sensor)
    {
        return recordOf(index, sensor, &Backend::getVoltageSensorCount, &Backend::getVoltageSensorList);
    }
    virtual int32_t getFan(int32_t index, FanInfo &fan)
    {
        return recordOf(index, fan, &Backend::getFanCount, &Backend::getFanList);
    }

    virtual int32_t getFanMode(int32_t fan, uint8_t &mode) = 0;
    virtual int32_t getFanSpeed(int32_t fan, uint8_t &speed, int32_t &rpm) = 0;
    virtual int32_t setCpuFanSpeed(uint8_t speed) = 0;
    virtual int32_t setFanModeThermalCruise(int32_t fan, int32_t target, int32_t tolerance) = 0;
    virtual int32_t getCpuPerformance(int8_t &type, int8_t &percent) = 0;
    virtual int32_t setCpuPerformance(uint8_t type, int8_t percent) = 0;

    virtual int32_t getDisplayCount(int32_t &count) = 0;
    virtual int32_t getBacklightValue(int32_t display, int32_t &value) = 0;
    virtual int32_t setBacklightValue(int32_t display, int32_t value) = 0;
    virtual int32_t watchdogEnable(int32_t timeoutMs) = 0;
    virtual int32_t watchdogTrigger() = 0;
    virtual int32_t watchdogDisable() = 0;
    virtual int32_t watchdogGetState(int32_t &armed, int32_t &timeoutMs) = 0;
    virtual int32_t gpioGetCount(int32_t &count) = 0;
    virtual int32_t gpioGetDirection(int32_t pin, uint8_t &direction) = 0;
    virtual int32_t gpioSetDirection(int32_t pin, uint8_t direction) = 0;
    virtual int32_t gpioGetLevel(int32_t pin, uint8_t &level) = 0;
    virtual int32_t gpioSetLevel(int32_t pin, uint8_t level) = 0;
    virtual int32_t getStorageCount(int32_t &count) = 0;
    virtual int32_t getStorageSize(int32_t storage, int32_t &size) = 0;
    virtual int32_t storageRead(int32_t storage, int32_t offset, char *buffer, int32_t length) = 0;
    virtual int32_t storageWrite(int32_t storage, int32_t offset, const char *bytes, int32_t length) = 0;

    virtual int32_t getSmbusCount(uint8_t &count) = 0;
    virtual int32_t smbusQuickCommand(uint8_t bus, uint8_t address, uint8_t readWrite) = 0;
    virtual int32_t smbusSendByte(uint8_t bus, uint8_t address, uint8_t data) = 0;
    virtual int32_t smbusReceiveByte(uint8_t bus, uint8_t address, uint8_t &data) = 0;
    virtual int32_t smbusWriteByte(uint8_t bus, uint8_t address, uint8_t command, uint8_t data) = 0;
    virtual int32_t smbusReadByte(uint8_t bus, uint8_t address, uint8_t command, uint8_t &data) = 0;
    virtual int32_t smbusWriteWord(uint8_t bus, uint8_t address, uint8_t command, uint16_t data) = 0;
    virtual int32_t smbusReadWord(uint8_t bus, uint8_t address, uint8_t command, uint16_t &data) = 0;
    // data holds count bytes.
    virtual int32_t smbusWriteBlock(uint8_t bus, uint8_t address, uint8_t command, const uint8_t *data,
                                    uint8_t count) = 0;
    // buffer has room for HALVO_BLOCK_BUFFER_SIZE bytes.
    virtual int32_t smbusReadBlock(uint8_t bus, uint8_t address, uint8_t command, uint8_t *buffer, uint8_t &count) = 0;
    virtual int32_t getI2cBusCount(uint8_t &count) = 0;
    // buffer has room for HALVO_BLOCK_BUFFER_SIZE bytes; count is in/out.
    virtual int32_t i2cRead(uint8_t bus, uint8_t address, uint8_t memoryAddress, uint8_t useMemoryAddress,
                            uint8_t *buffer, uint32_t &count) = 0;
    virtual int32_t i2cWrite(uint8_t bus, uint8_t address, uint8_t memoryAddress, const uint8_t *data,
                             uint32_t count) = 0;

    virtual int32_t setSystemState(int32_t state) = 0;

private:
    template <typename Record>
    int32_t recordOf(int32_t index, Record &out, int32_t (Backend::*count)(int32_t &),
                     int32_t (Backend::*list)(Record *, int32_t))
    {
        // A board never lists more; the bound keeps a broken one from
        // growing memory.
        constexpr int32_t kMaxItems = 4096;
        int32_t n = 0;
        if (const int32_t status = (this->*count)(n); status != HALVO_STATUS_OK)
            return status;
        if (index < 0 || index >= n || n > kMaxItems)
            return badArgument(kOutOfRange);
        std::vector<Record> all(static_cast<size_t>(n));
        const int32_t status = (this->*list)(all.data(), n);
        if (status != HALVO_STATUS_OK && status != HALVO_STATUS_PARTIAL)
            return status;
        out = all[static_cast<size_t>(index)];
        return HALVO_STATUS_OK;
    }
};

// Where backends come from: the local board, remote boards by address, and the
// AMT firmware of boards reachable by IP address (which needs no handle).
class Platform
{
public:
    virtual ~Platform() = default;

    virtual Backend &localBoard() = 0;
    // On success stores a backend for the board at `address` in `out`.
    virtual int32_t connect(const std::string &address, int32_t port, std::unique_ptr<Backend> &out) = 0;
    virtual int32_t getSystemStateAmt(const std::string &ipAddress, const std::string &userName,
                                      const std::string &password, int32_t &state) = 0;
    virtual int32_t setSystemStateAmt(const std::string &ipAddress, const std::string &userName,
                                      const std::string &password, int32_t state) = 0;
};

// Copies a Latin-1 text into a fixed record array. A text of exactly the array
// size fills it without a NUL; readers bound their reads by the array.
template <size_t N> void copyText(char (&field)[N], const std::string &text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), text.size() < N ? text.size() : N);
}

// The list convention of board/halvo.h: exactly `count` records are written,
// those past the board's items zero-filled, and a count that differs from the
// number of items still succeeds, with HALVO_STATUS_PARTIAL.
template <typename Record, typename Item, typename Fill>
int32_t fillList(const std::vector<Item> &items, Record *list, int32_t count, Fill fill)
{
    std::memset(static_cast<void *>(list), 0, sizeof(Record) * static_cast<size_t>(count));
    const size_t n = items.size() < static_cast<size_t>(count) ? items.size() : static_cast<size_t>(count);
    for (size_t i = 0; i < n; ++i)
        fill(items[i], list[i]);
    return items.size() == static_cast<size_t>(count) ? HALVO_STATUS_OK : HALVO_STATUS_PARTIAL;
}

} // namespace halvo

#endif
