#include "host_backend.h"

#include "backlight.h"
#include "gpio.h"
#include "i2c.h"
#include "pci.h"
#include "power.h"
#include "sensors.h"
#include "storage.h"
#include "system_info.h"
#include "watchdog.h"

namespace halvo::host
{

namespace
{

class HostBackend : public Backend
{
public:
    explicit HostBackend(const Settings &settings) : settings_(settings), root_(settings.sysroot) {}

    int32_t getCpuInfo(CpuInfo &info) override { return system().getCpuInfo(info); }
    int32_t getBoardInfo(BoardInfo &info) override { return system().getBoardInfo(info); }
    int32_t getMemoryInfo(MemoryInfo &info) override { return system().getMemoryInfo(info); }
    int32_t getMemoryModuleCount(int32_t &count) override { return system().getMemoryModuleCount(count); }
    int32_t getMemoryModuleInfo(int8_t index, MemoryModuleInfo &info) override
    {
        return system().getMemoryModuleInfo(index, info);
    }
    int32_t getBatteryInfo(int32_t battery, BatteryInfo &info) override
    {
        return system().getBatteryInfo(battery, info);
    }
    int32_t getBatteryState(int32_t battery, BatteryState &state) override
    {
        return system().getBatteryState(battery, state);
    }
    int32_t getNetworkDeviceCount(int32_t &count) override { return system().getNetworkDeviceCount(count); }
    int32_t getNetworkDeviceList(NetworkDeviceInfo *list, int32_t count) override
    {
        return system().getNetworkDeviceList(list, count);
    }
    int32_t getDiskDriveCount(int32_t &count) override { return system().getDiskDriveCount(count); }
    int32_t getDiskDriveList(DiskDriveInfo *list, int32_t count) override
    {
        return system().getDiskDriveList(list, count);
    }
    int32_t getDiskDrivePartitionCount(int32_t &count) override { return system().getDiskDrivePartitionCount(count); }
    int32_t getDiskDrivePartitionList(DiskPartitionInfo *list, int32_t count) override
    {
        return system().getDiskDrivePartitionList(list, count);
    }
    int32_t getBootCounter(int32_t &counter) override { return system().getBootCounter(counter); }
    int32_t systemUpTime(int32_t &seconds) override { return system().systemUpTime(seconds); }
    int32_t getCpuFreq(int32_t kind, int32_t &khz) override { return system().getCpuFreq(kind, khz); }
    int32_t getCpuPerformance(int8_t &type, int8_t &percent) override
    {
        return system().getCpuPerformance(type, percent);
    }
    int32_t setCpuPerformance(uint8_t type, int8_t percent) override
    {
        return system().setCpuPerformance(type, percent);
    }
    int32_t getTempSensorCount(int32_t &count) override { return sensors().getTempSensorCount(count); }
    int32_t getTempSensorList(TempSensorInfo *list, int32_t count) override
    {
        return sensors().getTempSensorList(list, count);
    }
    int32_t getVoltageSensorCount(int32_t &count) override { return sensors().getVoltageSensorCount(count); }
    int32_t getVoltageSensorList(VoltageSensorInfo *list, int32_t count) override
    {
        return sensors().getVoltageSensorList(list, count);
    }
    int32_t getFanCount(int32_t &count) override { return sensors().getFanCount(count); }
    int32_t getFanList(FanInfo *list, int32_t count) override { return sensors().getFanList(list, count); }
    int32_t getCpuTemp(int32_t sensor, int32_t &milliCelsius) override
    {
        return sensors().getCpuTemp(sensor, milliCelsius);
    }
    int32_t getCpuFanSpeed(int32_t &rpm) override { return sensors().getCpuFanSpeed(rpm); }
    int32_t getTempSensor(int32_t index, TempSensorInfo &sensor) override
    {
        return sensors().getTempSensor(index, sensor);
    }
    int32_t getVoltageSensor(int32_t index, VoltageSensorInfo &sensor) override
    {
        return sensors().getVoltageSensor(index, sensor);
    }
    int32_t getFan(int32_t index, FanInfo &fan) override { return sensors().getFan(index, fan); }
    int32_t getIntruderStatus(int32_t &status) override { return sensors().getIntruderStatus(status); }
    int32_t getFanMode(int32_t fan, uint8_t &mode) override { return sensors().getFanMode(fan, mode); }
    int32_t getFanSpeed(int32_t fan, uint8_t &speed, int32_t &rpm) override
    {
        return sensors().getFanSpeed(fan, speed, rpm);
    }
    int32_t setCpuFanSpeed(uint8_t speed) override { return sensors().setCpuFanSpeed(speed); }
    int32_t setFanModeThermalCruise(int32_t fan, int32_t target, int32_t tolerance) override
    {
        return sensors().setFanModeThermalCruise(fan, target, tolerance);
    }
    int32_t getPciDeviceCount(int32_t &count) override { return pci().getPciDeviceCount(count); }
    int32_t getPciDeviceList(PciDeviceInfo *list, int32_t count) override
    {
        return pci().getPciDeviceList(list, count);
    }
    int32_t getDisplayCount(int32_t &count) override { return backlight().getDisplayCount(count); }
    int32_t getBacklightValue(int32_t display, int32_t &value) override
    {
        return backlight().getBacklightValue(display, value);
    }
    int32_t setBacklightValue(int32_t display, int32_t value) override
    {
        return backlight().setBacklightValue(display, value);
    }
    int32_t gpioGetCount(int32_t &count) override { return gpio().gpioGetCount(count); }
    int32_t gpioGetDirection(int32_t pin, uint8_t &direction) override
    {
        return gpio().gpioGetDirection(pin, direction);
    }
    int32_t gpioSetDirection(int32_t pin, uint8_t direction) override
    {
        return gpio().gpioSetDirection(pin, direction);
    }
    int32_t gpioGetLevel(int32_t pin, uint8_t &level) override { return gpio().gpioGetLevel(pin, level); }
    int32_t gpioSetLevel(int32_t pin, uint8_t level) override { return gpio().gpioSetLevel(pin, level); }
    int32_t getStorageCount(int32_t &count) override { return this->storage().getStorageCount(count); }
    int32_t getStorageSize(int32_t storage, int32_t &size) override
    {
        return this->storage().getStorageSize(storage, size);
    }
    int32_t storageRead(int32_t storage, int32_t offset, char *buffer, int32_t length) override
    {
        return this->storage().storageRead(storage, offset, buffer, length);
    }
    int32_t storageWrite(int32_t storage, int32_t offset, const char *bytes, int32_t length) override
    {
        return this->storage().storageWrite(storage, offset, bytes, length);
    }
    int32_t getSmbusCount(uint8_t &count) override { return i2c().getSmbusCount(count); }
    int32_t smbusQuickCommand(uint8_t bus, uint8_t address, uint8_t readWrite) override
    {
        return i2c().smbusQuickCommand(bus, address, readWrite);
    }
    int32_t smbusSendByte(uint8_t bus, uint8_t address, uint8_t data) override
    {
        return i2c().smbusSendByte(bus, address, data);
    }
    int32_t smbusReceiveByte(uint8_t bus, uint8_t address, uint8_t &data) override
    {
        return i2c().smbusReceiveByte(bus, address, data);
    }
    int32_t smbusWriteByte(uint8_t bus, uint8_t address, uint8_t command, uint8_t data) override
    {
        return i2c().smbusWriteByte(bus, address, command, data);
    }
    int32_t smbusReadByte(uint8_t bus, uint8_t address, uint8_t command, uint8_t &data) override
    {
        return i2c().smbusReadByte(bus, address, command, data);
    }
    int32_t smbusWriteWord(uint8_t bus, uint8_t address, uint8_t command, uint16_t data) override
    {
        return i2c().smbusWriteWord(bus, address, command, data);
    }
    int32_t smbusReadWord(uint8_t bus, uint8_t address, uint8_t command, uint16_t &data) override
    {
        return i2c().smbusReadWord(bus, address, command, data);
    }
    int32_t smbusWriteBlock(uint8_t bus, uint8_t address, uint8_t command, const uint8_t *data, uint8_t count) override
    {
        return i2c().smbusWriteBlock(bus, address, command, data, count);
    }
    int32_t smbusReadBlock(uint8_t bus, uint8_t address, uint8_t command, uint8_t *buffer, uint8_t &count) override
    {
        return i2c().smbusReadBlock(bus, address, command, buffer, count);
    }
    int32_t getI2cBusCount(uint8_t &count) override { return i2c().getI2cBusCount(count); }
    int32_t i2cRead(uint8_t bus, uint8_t address, uint8_t memoryAddress, uint8_t useMemoryAddress, uint8_t *buffer,
                    uint32_t &count) override
    {
        return i2c().i2cRead(bus, address, memoryAddress, useMemoryAddress, buffer, count);
    }
    int32_t i2cWrite(uint8_t bus, uint8_t address, uint8_t memoryAddress, const uint8_t *data, uint32_t count) override
    {
        return i2c().i2cWrite(bus, address, memoryAddress, data, count);
    }
    int32_t watchdogEnable(int32_t timeoutMs) override { return watchdog().watchdogEnable(timeoutMs); }
    int32_t watchdogTrigger() override { return watchdog().watchdogTrigger(); }
    int32_t watchdogDisable() override { return watchdog().watchdogDisable(); }
    int32_t watchdogGetState(int32_t &armed, int32_t &timeoutMs) override
    {
        return watchdog().watchdogGetState(armed, timeoutMs);
    }
    int32_t setSystemState(int32_t state) override { return power().setSystemState(state); }

private:
    SystemInfo &system()
    {
        if (!system_)
            system_ = std::make_unique<SystemInfo>(root_, settings_);
        return *system_;
    }
    Sensors &sensors()
    {
        if (!sensors_)
            sensors_ = std::make_unique<Sensors>(root_, settings_);
        return *sensors_;
    }
    Pci &pci()
    {
        if (!pci_)
            pci_ = std::make_unique<Pci>(root_, settings_);
        return *pci_;
    }
    Backlight &backlight()
    {
        if (!backlight_)
            backlight_ = std::make_unique<Backlight>(root_, settings_);
        return *backlight_;
    }
    Gpio &gpio()
    {
        if (!gpio_)
            gpio_ = std::make_unique<Gpio>(root_, settings_);
        return *gpio_;
    }
    Storage &storage()
    {
        if (!storage_)
            storage_ = std::make_unique<Storage>(root_, settings_);
        return *storage_;
    }
    I2c &i2c()
    {
        if (!i2c_)
            i2c_ = std::make_unique<I2c>(root_, settings_);
        return *i2c_;
    }
    Watchdog &watchdog()
    {
        if (!watchdog_)
            watchdog_ = std::make_unique<Watchdog>(root_, settings_);
        return *watchdog_;
    }
    Power &power()
    {
        if (!power_)
            power_ = std::make_unique<Power>(root_, settings_);
        return *power_;
    }

    const Settings settings_;
    const Root root_;
    std::unique_ptr<SystemInfo> system_;
    std::unique_ptr<Sensors> sensors_;
    std::unique_ptr<Pci> pci_;
    std::unique_ptr<Backlight> backlight_;
    std::unique_ptr<Gpio> gpio_;
    std::unique_ptr<Storage> storage_;
    std::unique_ptr<I2c> i2c_;
    std::unique_ptr<Watchdog> watchdog_;
    std::unique_ptr<Power> power_;
};

} // namespace

std::unique_ptr<Backend> makeHostBackend(const Settings &settings)
{
    return std::make_unique<HostBackend>(settings);
}

} // namespace halvo::host
