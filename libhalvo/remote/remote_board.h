// A board reached through an Exchange: every Backend call becomes the
// board call of the same name on the far side. The network backend runs it
// over HTTP; tests run it straight into a Service.
#ifndef HALVO_REMOTE_BOARD_H
#define HALVO_REMOTE_BOARD_H

#include "../backend.h"
#include "adapt.h"

namespace halvo::remote
{

class RemoteBoard : public Backend
{
public:
    explicit RemoteBoard(Exchange &x) : x_(x) {}

#define HALVO_REMOTE_CALL(method, F, params, ...)                                                                      \
    int32_t method params override                                                                                     \
    {                                                                                                                  \
        return call<&F>(x_, ##__VA_ARGS__);                                                                            \
    }
    HALVO_REMOTE_CALL(getCpuInfo, HalvoGetCpuInfo, (CpuInfo & i), &i)
    HALVO_REMOTE_CALL(getBoardInfo, HalvoGetBoardInfo, (BoardInfo & i), &i)
    HALVO_REMOTE_CALL(getMemoryInfo, HalvoGetMemoryInfo, (MemoryInfo & i), &i)
    HALVO_REMOTE_CALL(getMemoryModuleCount, HalvoGetMemoryModuleCount, (int32_t & c), &c)
    HALVO_REMOTE_CALL(getMemoryModuleInfo, HalvoGetMemoryModuleInfo, (int8_t n, MemoryModuleInfo &i), n, &i)
    HALVO_REMOTE_CALL(getBatteryInfo, HalvoGetBatteryInfo, (int32_t b, BatteryInfo &i), b, &i)
    HALVO_REMOTE_CALL(getBatteryState, HalvoGetBatteryState, (int32_t b, BatteryState &s), b, &s)
    HALVO_REMOTE_CALL(getNetworkDeviceCount, HalvoGetNetworkDeviceCount, (int32_t & c), &c)
    HALVO_REMOTE_CALL(getNetworkDeviceList, HalvoGetNetworkDeviceList, (NetworkDeviceInfo * l, int32_t c), l, c)
    HALVO_REMOTE_CALL(getPciDeviceCount, HalvoGetPciDeviceCount, (int32_t & c), &c)
    HALVO_REMOTE_CALL(getPciDeviceList, HalvoGetPciDeviceList, (PciDeviceInfo * l, int32_t c), l, c)
    HALVO_REMOTE_CALL(getDiskDriveCount, HalvoGetDiskDriveCount, (int32_t & c), &c)
    HALVO_REMOTE_CALL(getDiskDriveList, HalvoGetDiskDriveList, (DiskDriveInfo * l, int32_t c), l, c)
    HALVO_REMOTE_CALL(getDiskDrivePartitionCount, HalvoGetDiskDrivePartitionCount, (int32_t & c), &c)
    HALVO_REMOTE_CALL(getDiskDrivePartitionList, HalvoGetDiskDrivePartitionList, (DiskPartitionInfo * l, int32_t c), l,
                      c)
    HALVO_REMOTE_CALL(getBootCounter, HalvoGetBootCounter, (int32_t & c), &c)
    HALVO_REMOTE_CALL(getIntruderStatus, HalvoGetIntruderStatus, (int32_t & s), &s)
    HALVO_REMOTE_CALL(systemUpTime, HalvoSystemUpTime, (int32_t & s), &s)
    HALVO_REMOTE_CALL(getCpuFreq, HalvoGetCpuFreq, (int32_t k, int32_t &f), k, &f)
    HALVO_REMOTE_CALL(getTempSensorCount, HalvoGetTempSensorCount, (int32_t & c), &c)
    HALVO_REMOTE_CALL(getTempSensorList, HalvoGetTempSensorList, (TempSensorInfo * l, int32_t c), l, c)
    HALVO_REMOTE_CALL(getVoltageSensorCount, HalvoGetVoltageSensorCount, (int32_t & c), &c)
    HALVO_REMOTE_CALL(getVoltageSensorList, HalvoGetVoltageSensorList, (VoltageSensorInfo * l, int32_t c), l, c)
    HALVO_REMOTE_CALL(getFanCount, HalvoGetFanCount, (int32_t & c), &c)
    HALVO_REMOTE_CALL(getFanList, HalvoGetFanList, (FanInfo * l, int32_t c), l, c)
    HALVO_REMOTE_CALL(getCpuTemp, HalvoGetCpuTemp, (int32_t s, int32_t &t), s, &t)
    HALVO_REMOTE_CALL(getCpuFanSpeed, HalvoGetCpuFanSpeed, (int32_t & r), &r)
    HALVO_REMOTE_CALL(getTempSensor, HalvoGetTempSensor, (int32_t i, TempSensorInfo &s), i, &s)
    HALVO_REMOTE_CALL(getVoltageSensor, HalvoGetVoltageSensor, (int32_t i, VoltageSensorInfo &s), i, &s)
    HALVO_REMOTE_CALL(getFan, HalvoGetFan, (int32_t i, FanInfo &f), i, &f)
    HALVO_REMOTE_CALL(getFanMode, HalvoGetFanMode, (int32_t f, uint8_t &m), f, &m)
    HALVO_REMOTE_CALL(getFanSpeed, HalvoGetFanSpeed, (int32_t f, uint8_t &s, int32_t &r), f, &s, &r)
    HALVO_REMOTE_CALL(setCpuFanSpeed, HalvoSetCpuFanSpeed, (uint8_t s), s)
    HALVO_REMOTE_CALL(setFanModeThermalCruise, HalvoSetFanModeThermalCruise, (int32_t f, int32_t t, int32_t d), f, t, d)
    HALVO_REMOTE_CALL(getCpuPerformance, HalvoGetCpuPerformance, (int8_t & t, int8_t &p), &t, &p)
    HALVO_REMOTE_CALL(setCpuPerformance, HalvoSetCpuPerformance, (uint8_t t, int8_t p), t, p)
    HALVO_REMOTE_CALL(getDisplayCount, HalvoGetDisplayCount, (int32_t & c), &c)
    HALVO_REMOTE_CALL(getBacklightValue, HalvoGetBacklightValue, (int32_t d, int32_t &v), d, &v)
    HALVO_REMOTE_CALL(setBacklightValue, HalvoSetBacklightValue, (int32_t d, int32_t v), d, v)
    HALVO_REMOTE_CALL(watchdogEnable, HalvoWatchdogEnable, (int32_t ms), ms)
    HALVO_REMOTE_CALL(watchdogTrigger, HalvoWatchdogTrigger, ())
    HALVO_REMOTE_CALL(watchdogDisable, HalvoWatchdogDisable, ())
    HALVO_REMOTE_CALL(watchdogGetState, HalvoWatchdogGetState, (int32_t & armed, int32_t &ms), &armed, &ms)
    HALVO_REMOTE_CALL(gpioGetCount, HalvoGpioGetCount, (int32_t & c), &c)
    HALVO_REMOTE_CALL(gpioGetDirection, HalvoGpioGetDirection, (int32_t p, uint8_t &d), p, &d)
    HALVO_REMOTE_CALL(gpioSetDirection, HalvoGpioSetDirection, (int32_t p, uint8_t d), p, d)
    HALVO_REMOTE_CALL(gpioGetLevel, HalvoGpioGetLevel, (int32_t p, uint8_t &l), p, &l)
    HALVO_REMOTE_CALL(gpioSetLevel, HalvoGpioSetLevel, (int32_t p, uint8_t l), p, l)
    HALVO_REMOTE_CALL(getStorageCount, HalvoGetStorageCount, (int32_t & c), &c)
    HALVO_REMOTE_CALL(getStorageSize, HalvoGetStorageSize, (int32_t s, int32_t &n), s, &n)
    HALVO_REMOTE_CALL(storageRead, HalvoStorageRead, (int32_t s, int32_t o, char *b, int32_t n), s, o, b, n)
    HALVO_REMOTE_CALL(storageWrite, HalvoStorageWrite, (int32_t s, int32_t o, const char *b, int32_t n), s, o, b, n)
    HALVO_REMOTE_CALL(getSmbusCount, HalvoGetSmbusCount, (uint8_t & c), &c)
    HALVO_REMOTE_CALL(smbusQuickCommand, HalvoSmbusQuickCommand, (uint8_t b, uint8_t a, uint8_t rw), b, a, rw)
    HALVO_REMOTE_CALL(smbusSendByte, HalvoSmbusSendByte, (uint8_t b, uint8_t a, uint8_t d), b, a, d)
    HALVO_REMOTE_CALL(smbusReceiveByte, HalvoSmbusReceiveByte, (uint8_t b, uint8_t a, uint8_t &d), b, a, &d)
    HALVO_REMOTE_CALL(smbusWriteByte, HalvoSmbusWriteByte, (uint8_t b, uint8_t a, uint8_t c, uint8_t d), b, a, c, d)
    HALVO_REMOTE_CALL(smbusReadByte, HalvoSmbusReadByte, (uint8_t b, uint8_t a, uint8_t c, uint8_t &d), b, a, c, &d)
    HALVO_REMOTE_CALL(smbusWriteWord, HalvoSmbusWriteWord, (uint8_t b, uint8_t a, uint8_t c, uint16_t d), b, a, c, d)
    HALVO_REMOTE_CALL(smbusReadWord, HalvoSmbusReadWord, (uint8_t b, uint8_t a, uint8_t c, uint16_t &d), b, a, c, &d)
    HALVO_REMOTE_CALL(smbusWriteBlock, HalvoSmbusWriteBlock,
                      (uint8_t b, uint8_t a, uint8_t c, const uint8_t *d, uint8_t n), b, a, c, d, n)
    HALVO_REMOTE_CALL(smbusReadBlock, HalvoSmbusReadBlock, (uint8_t b, uint8_t a, uint8_t c, uint8_t *d, uint8_t &n), b,
                      a, c, d, &n)
    HALVO_REMOTE_CALL(getI2cBusCount, HalvoGetI2cBusCount, (uint8_t & c), &c)
    HALVO_REMOTE_CALL(i2cRead, HalvoI2cRead, (uint8_t b, uint8_t a, uint8_t m, uint8_t u, uint8_t *d, uint32_t &n), b,
                      a, m, u, d, &n)
    HALVO_REMOTE_CALL(i2cWrite, HalvoI2cWrite, (uint8_t b, uint8_t a, uint8_t m, const uint8_t *d, uint32_t n), b, a, m,
                      d, n)
    HALVO_REMOTE_CALL(setSystemState, HalvoSetSystemState, (int32_t s), s)
#undef HALVO_REMOTE_CALL

private:
    Exchange &x_;
};

} // namespace halvo::remote

#endif
