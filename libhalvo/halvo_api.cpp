// The C entry points of libhalvo.so.1. Each one only records its arguments for
// the call log, takes the library lock, applies a forced status, resolves the
// handle, refuses null pointers and hands over to the backend. No exception
// leaves this file.
#include "board/halvo.h"

#include "backend.h"
#include "library.h"
#include "status.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>
#include <stdexcept>
#include <string>

using namespace halvo;

namespace
{

// ---- Call log arguments ------------------------------------------------------

struct Out {
    const void *p;
};
struct Text {
    const char *p;
};
struct Hex {
    const void *p;
    int64_t n;
};

// I2C writes carry an arbitrary caller count; never dump more than the board
// would accept.
constexpr int64_t kMaxI2cWrite = 8192;

void put(std::string &s, long long v)
{
    s += std::to_string(v);
}
void put(std::string &s, Out o)
{
    s += o.p ? "*" : "NULL";
}

void put(std::string &s, Text t)
{
    if (!t.p) {
        s += "NULL";
        return;
    }
    s += '"';
    for (size_t i = 0; t.p[i] != '\0'; ++i) {
        if (i == 1024) {
            s += "...";
            break;
        }
        const unsigned char c = static_cast<unsigned char>(t.p[i]);
        if (c == '"' || c == '\\') {
            s += '\\';
            s += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02x", c);
            s += esc;
        } else {
            s += static_cast<char>(c);
        }
    }
    s += '"';
}

void put(std::string &s, Hex h)
{
    if (!h.p) {
        s += "NULL";
        return;
    }
    s += '"';
    const auto *bytes = static_cast<const unsigned char *>(h.p);
    static const char digits[] = "0123456789abcdef";
    for (int64_t i = 0; i < h.n; ++i) {
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    s += '"';
}

template <typename... A> std::string fmt(const A &...a) noexcept
{
    try {
        std::string s;
        bool first = true;
        ((s += first ? "" : ", ", first = false, put(s, a)), ...);
        return s;
    } catch (...) {
        return "?";
    }
}

// ---- Dispatch ------------------------------------------------------------------

int32_t fromException() noexcept
{
    try {
        throw;
    } catch (const std::invalid_argument &) {
        return badArgument(kBadValue);
    } catch (const std::out_of_range &) {
        return badArgument(kOutOfRange);
    } catch (...) {
        return fail(HALVO_CLASS_DEVICE, kInternal);
    }
}

template <typename Body> int32_t run(const char *name, const std::string &args, Body &&body) noexcept
{
    try {
        Library &lib = library();
        std::lock_guard<std::mutex> lock(lib.mutex);
        int32_t status;
        try {
            // A forced success still does the work, so outputs stay valid; a
            // failure of the work itself wins over a forced success.
            const std::optional<int32_t> forced = lib.instrument.takeForced(name);
            if (forced && !succeeded(*forced)) {
                status = *forced;
            } else {
                status = body(lib);
                if (forced && succeeded(status))
                    status = *forced;
            }
        } catch (...) {
            status = fromException();
        }
        try {
            lib.instrument.log(std::string(name) + "(" + args + ") -> " + std::to_string(status));
        } catch (...) {
        }
        return status;
    } catch (...) {
        return fromException();
    }
}

bool allSet(std::initializer_list<const void *> pointers)
{
    for (const void *p : pointers)
        if (!p)
            return false;
    return true;
}

template <typename Body>
int32_t boardCall(const char *name, const std::string &args, int32_t handle,
                  std::initializer_list<const void *> required, Body &&body) noexcept
{
    return run(name, args, [&](Library &lib) -> int32_t {
        Backend *backend = lib.handles.find(handle);
        if (!backend)
            return fail(HALVO_CLASS_HANDLE, kOutOfRange);
        if (!allSet(required))
            return badArgument(kNullPointer);
        return body(*backend);
    });
}

template <typename Record, typename Body>
int32_t listCall(const char *name, int32_t handle, Record *list, int32_t count, Body &&body) noexcept
{
    return boardCall(name, fmt(handle, Out{list}, count), handle, {list}, [&](Backend &b) -> int32_t {
        if (count <= 0)
            return badArgument(kOutOfRange);
        return body(b);
    });
}

} // namespace

extern "C" {

// ---- Connection ----------------------------------------------------------------

HALVO_API int32_t HalvoLibInitialize(const char *address, int32_t port, int32_t *handle, int32_t reserved1,
                                     int32_t reserved2)
{
    return run("HalvoLibInitialize", fmt(Text{address}, port, Out{handle}, reserved1, reserved2),
               [&](Library &lib) -> int32_t {
                   if (!address || !handle)
                       return badArgument(kNullPointer);
                   if (reserved1 != 0 || reserved2 != 0)
                       return badArgument(kBadValue);
                   return lib.handles.open(address, port, *handle);
               });
}

HALVO_API int32_t HalvoLibUnInitialize(int32_t handle)
{
    return run("HalvoLibUnInitialize", fmt(handle), [&](Library &lib) { return lib.handles.close(handle); });
}

// ---- Information -----------------------------------------------------------------

HALVO_API int32_t HalvoGetCpuInfo(int32_t handle, CpuInfo *info)
{
    return boardCall("HalvoGetCpuInfo", fmt(handle, Out{info}), handle, {info},
                     [&](Backend &b) { return b.getCpuInfo(*info); });
}

HALVO_API int32_t HalvoGetBoardInfo(int32_t handle, BoardInfo *info)
{
    return boardCall("HalvoGetBoardInfo", fmt(handle, Out{info}), handle, {info},
                     [&](Backend &b) { return b.getBoardInfo(*info); });
}

HALVO_API int32_t HalvoGetMemoryInfo(int32_t handle, MemoryInfo *info)
{
    return boardCall("HalvoGetMemoryInfo", fmt(handle, Out{info}), handle, {info},
                     [&](Backend &b) { return b.getMemoryInfo(*info); });
}

HALVO_API int32_t HalvoGetMemoryModuleCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetMemoryModuleCount", fmt(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getMemoryModuleCount(*count); });
}

HALVO_API int32_t HalvoGetMemoryModuleInfo(int32_t handle, int8_t index, MemoryModuleInfo *info)
{
    return boardCall("HalvoGetMemoryModuleInfo", fmt(handle, index, Out{info}), handle, {info},
                     [&](Backend &b) { return b.getMemoryModuleInfo(index, *info); });
}

HALVO_API int32_t HalvoGetBatteryInfo(int32_t handle, int32_t battery, BatteryInfo *info)
{
    return boardCall("HalvoGetBatteryInfo", fmt(handle, battery, Out{info}), handle, {info},
                     [&](Backend &b) { return b.getBatteryInfo(battery, *info); });
}

HALVO_API int32_t HalvoGetBatteryState(int32_t handle, int32_t battery, BatteryState *state)
{
    return boardCall("HalvoGetBatteryState", fmt(handle, battery, Out{state}), handle, {state},
                     [&](Backend &b) { return b.getBatteryState(battery, *state); });
}

HALVO_API int32_t HalvoGetNetworkDeviceCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetNetworkDeviceCount", fmt(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getNetworkDeviceCount(*count); });
}

HALVO_API int32_t HalvoGetNetworkDeviceList(int32_t handle, NetworkDeviceInfo *list, int32_t count)
{
    return listCall("HalvoGetNetworkDeviceList", handle, list, count,
                    [&](Backend &b) { return b.getNetworkDeviceList(list, count); });
}

HALVO_API int32_t HalvoGetPciDeviceCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetPciDeviceCount", fmt(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getPciDeviceCount(*count); });
}

HALVO_API int32_t HalvoGetPciDeviceList(int32_t handle, PciDeviceInfo *list, int32_t count)
{
    return listCall("HalvoGetPciDeviceList", handle, list, count,
                    [&](Backend &b) { return b.getPciDeviceList(list, count); });
}

HALVO_API int32_t HalvoGetDiskDriveCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetDiskDriveCount", fmt(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getDiskDriveCount(*count); });
}

HALVO_API int32_t HalvoGetDiskDriveList(int32_t handle, DiskDriveInfo *list, int32_t count)
{
    return listCall("HalvoGetDiskDriveList", handle, list, count,
                    [&](Backend &b) { return b.getDiskDriveList(list, count); });
}

HALVO_API int32_t HalvoGetDiskDrivePartitionCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetDiskDrivePartitionCount", fmt(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getDiskDrivePartitionCount(*count); });
}

HALVO_API int32_t HalvoGetDiskDrivePartitionList(int32_t handle, DiskPartitionInfo *list, int32_t count)
{
    return listCall("HalvoGetDiskDrivePartitionList", handle, list, count,
                    [&](Backend &b) { return b.getDiskDrivePartitionList(list, count); });
}

HALVO_API int32_t HalvoGetBootCounter(int32_t handle, int32_t *counter)
{
    return boardCall("HalvoGetBootCounter", fmt(handle, Out{counter}), handle, {counter},
                     [&](Backend &b) { return b.getBootCounter(*counter); });
}

HALVO_API int32_t HalvoGetIntruderStatus(int32_t handle, int32_t *status)
{
    return boardCall("HalvoGetIntruderStatus", fmt(handle, Out{status}), handle, {status},
                     [&](Backend &b) { return b.getIntruderStatus(*status); });
}

HALVO_API int32_t HalvoSystemUpTime(int32_t handle, int32_t *seconds)
{
    return boardCall("HalvoSystemUpTime", fmt(handle, Out{seconds}), handle, {seconds},
                     [&](Backend &b) { return b.systemUpTime(*seconds); });
}

HALVO_API int32_t HalvoGetCpuFreq(int32_t handle, int32_t kind, int32_t *khz)
{
    return boardCall("HalvoGetCpuFreq", fmt(handle, kind, Out{khz}), handle, {khz},
                     [&](Backend &b) { return b.getCpuFreq(kind, *khz); });
}

// ---- Sensors ------------------------------------------------------------------------

HALVO_API int32_t HalvoGetTempSensorCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetTempSensorCount", fmt(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getTempSensorCount(*count); });
}

HALVO_API int32_t HalvoGetTempSensorList(int32_t handle, TempSensorInfo *list, int32_t count)
{
    return listCall("HalvoGetTempSensorList", handle, list, count,
                    [&](Backend &b) { return b.getTempSensorList(list, count); });
}

HALVO_API int32_t HalvoGetVoltageSensorCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetVoltageSensorCount", fmt(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getVoltageSensorCount(*count); });
}

HALVO_API int32_t HalvoGetVoltageSensorList(int32_t handle, VoltageSensorInfo *list, int32_t count)
{
    return listCall("HalvoGetVoltageSensorList", handle, list, count,
                    [&](Backend &b) { return b.getVoltageSensorList(list, count); });
}

HALVO_API int32_t HalvoGetFanCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetFanCount", fmt(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getFanCount(*count); });
}

HALVO_API int32_t HalvoGetFanList(int32_t handle, FanInfo *list, int32_t count)
{
    return listCall("HalvoGetFanList", handle, list, count, [&](Backend &b) { return b.getFanList(list, count); });
}

HALVO_API int32_t HalvoGetCpuTemp(int32_t handle, int32_t sensor, int32_t *milliCelsius)
{
    return boardCall("HalvoGetCpuTemp", fmt(handle, sensor, Out{milliCelsius}), handle, {milliCelsius},
                     [&](Backend &b) { return b.getCpuTemp(sensor, *milliCelsius); });
}

HALVO_API int32_t HalvoGetCpuFanSpeed(int32_t handle, int32_t *rpm)
{
    return boardCall("HalvoGetCpuFanSpeed", fmt(handle, Out{rpm}), handle, {rpm},
                     [&](Backend &b) { return b.getCpuFanSpeed(*rpm); });
}

// ---- CPU fan and performance -------------------------------------------------------

HALVO_API int32_t HalvoGetFanMode(int32_t handle, int32_t fan, uint8_t *mode)
{
    return boardCall("HalvoGetFanMode", fmt(handle, fan, Out{mode}), handle, {mode},
                     [&](Backend &b) { return b.getFanMode(fan, *mode); });
}

HALVO_API int32_t HalvoGetFanSpeed(int32_t handle, int32_t fan, uint8_t *speed, int32_t *value)
{
    return boardCall("HalvoGetFanSpeed", fmt(handle, fan, Out{speed}, Out{value}), handle, {speed, value},
                     [&](Backend &b) { return b.getFanSpeed(fan, *speed, *value); });
}

HALVO_API int32_t HalvoSetCpuFanSpeed(int32_t handle, uint8_t speed)
{
    return boardCall("HalvoSetCpuFanSpeed", fmt(handle, speed), handle, {},
                     [&](Backend &b) { return b.setCpuFanSpeed(speed); });
}

HALVO_API int32_t HalvoSetFanModeThermalCruise(int32_t handle, int32_t fan, int32_t target, int32_t tolerance)
{
    return boardCall("HalvoSetFanModeThermalCruise", fmt(handle, fan, target, tolerance), handle, {},
                     [&](Backend &b) { return b.setFanModeThermalCruise(fan, target, tolerance); });
}

HALVO_API int32_t HalvoGetCpuPerformance(int32_t handle, int8_t *type, int8_t *percent)
{
    return boardCall("HalvoGetCpuPerformance", fmt(handle, Out{type}, Out{percent}), handle, {type, percent},
                     [&](Backend &b) { return b.getCpuPerformance(*type, *percent); });
}

HALVO_API int32_t HalvoSetCpuPerformance(int32_t handle, uint8_t type, int8_t percent)
{
    return boardCall("HalvoSetCpuPerformance", fmt(handle, type, percent), handle, {},
                     [&](Backend &b) { return b.setCpuPerformance(type, percent); });
}

// ---- Display, watchdog, GPIO, storage ----------------------------------------------

HALVO_API int32_t HalvoGetDisplayCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetDisplayCount", fmt(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getDisplayCount(*count); });
}

HALVO_API int32_t HalvoGetBacklightValue(int32_t handle, int32_t display, int32_t *value)
{
    return boardCall("HalvoGetBacklightValue", fmt(handle, display, Out{value}), handle, {value},
                     [&](Backend &b) { return b.getBacklightValue(display, *value); });
}

HALVO_API int32_t HalvoSetBacklightValue(int32_t handle, int32_t display, int32_t value)
{
    return boardCall("HalvoSetBacklightValue", fmt(handle, display, value), handle, {},
                     [&](Backend &b) { return b.setBacklightValue(display, value); });
}

HALVO_API int32_t HalvoWatchdogEnable(int32_t handle, int32_t timeoutMs)
{
    return boardCall("HalvoWatchdogEnable", fmt(handle, timeoutMs), handle, {},
                     [&](Backend &b) { return b.watchdogEnable(timeoutMs); });
}

HALVO_API int32_t HalvoWatchdogTrigger(int32_t handle)
{
    return boardCall("HalvoWatchdogTrigger", fmt(handle), handle, {}, [&](Backend &b) { return b.watchdogTrigger(); });
}

HALVO_API int32_t HalvoWatchdogDisable(int32_t handle)
{
    return boardCall("HalvoWatchdogDisable", fmt(handle), handle, {}, [&](Backend &b) { return b.watchdogDisable(); });
}

HALVO_API int32_t HalvoGpioGetCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGpioGetCount", fmt(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.gpioGetCount(*count); });
}

HALVO_API int32_t HalvoGpioGetDirection(int32_t handle, int32_t pin, uint8_t *direction)
{
    return boardCall("HalvoGpioGetDirection", fmt(handle, pin, Out{direction}), handle, {direction},
                     [&](Backend &b) { return b.gpioGetDirection(pin, *direction); });
}

HALVO_API int32_t HalvoGpioSetDirection(int32_t handle, int32_t pin, uint8_t direction)
{
    return boardCall("HalvoGpioSetDirection", fmt(handle, pin, direction), handle, {},
                     [&](Backend &b) { return b.gpioSetDirection(pin, direction); });
}

HALVO_API int32_t HalvoGpioGetLevel(int32_t handle, int32_t pin, uint8_t *level)
{
    return boardCall("HalvoGpioGetLevel", fmt(handle, pin, Out{level}), handle, {level},
                     [&](Backend &b) { return b.gpioGetLevel(pin, *level); });
}

HALVO_API int32_t HalvoGpioSetLevel(int32_t handle, int32_t pin, uint8_t level)
{
    return boardCall("HalvoGpioSetLevel", fmt(handle, pin, level), handle, {},
                     [&](Backend &b) { return b.gpioSetLevel(pin, level); });
}

HALVO_API int32_t HalvoGetStorageCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetStorageCount", fmt(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getStorageCount(*count); });
}

HALVO_API int32_t HalvoGetStorageSize(int32_t handle, int32_t storage, int32_t *size)
{
    return boardCall("HalvoGetStorageSize", fmt(handle, storage, Out{size}), handle, {size},
                     [&](Backend &b) { return b.getStorageSize(storage, *size); });
}

HALVO_API int32_t HalvoStorageRead(int32_t handle, int32_t storage, int32_t offset, char *buffer, int32_t length)
{
    return boardCall("HalvoStorageRead", fmt(handle, storage, offset, Out{buffer}, length), handle, {buffer},
                     [&](Backend &b) { return b.storageRead(storage, offset, buffer, length); });
}

HALVO_API int32_t HalvoStorageWrite(int32_t handle, int32_t storage, int32_t offset, const char *bytes, int32_t length)
{
    return boardCall("HalvoStorageWrite", fmt(handle, storage, offset, Hex{bytes, length > 0 ? length : 0}, length),
                     handle, {bytes}, [&](Backend &b) { return b.storageWrite(storage, offset, bytes, length); });
}

// ---- SMBus and I2C -------------------------------------------------------------------

HALVO_API int32_t HalvoGetSmbusCount(int32_t handle, uint8_t *count)
{
    return boardCall("HalvoGetSmbusCount", fmt(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getSmbusCount(*count); });
}

HALVO_API int32_t HalvoSmbusQuickCommand(int32_t handle, uint8_t bus, uint8_t address, uint8_t readWrite)
{
    return boardCall("HalvoSmbusQuickCommand", fmt(handle, bus, address, readWrite), handle, {},
                     [&](Backend &b) { return b.smbusQuickCommand(bus, address, readWrite); });
}

HALVO_API int32_t HalvoSmbusSendByte(int32_t handle, uint8_t bus, uint8_t address, uint8_t data)
{
    return boardCall("HalvoSmbusSendByte", fmt(handle, bus, address, data), handle, {},
                     [&](Backend &b) { return b.smbusSendByte(bus, address, data); });
}

HALVO_API int32_t HalvoSmbusReceiveByte(int32_t handle, uint8_t bus, uint8_t address, uint8_t *data)
{
    return boardCall("HalvoSmbusReceiveByte", fmt(handle, bus, address, Out{data}), handle, {data},
                     [&](Backend &b) { return b.smbusReceiveByte(bus, address, *data); });
}

HALVO_API int32_t HalvoSmbusWriteByte(int32_t handle, uint8_t bus, uint8_t address, uint8_t command, uint8_t data)
{
    return boardCall("HalvoSmbusWriteByte", fmt(handle, bus, address, command, data), handle, {},
                     [&](Backend &b) { return b.smbusWriteByte(bus, address, command, data); });
}

HALVO_API int32_t HalvoSmbusReadByte(int32_t handle, uint8_t bus, uint8_t address, uint8_t command, uint8_t *data)
{
    return boardCall("HalvoSmbusReadByte", fmt(handle, bus, address, command, Out{data}), handle, {data},
                     [&](Backend &b) { return b.smbusReadByte(bus, address, command, *data); });
}

HALVO_API int32_t HalvoSmbusWriteWord(int32_t handle, uint8_t bus, uint8_t address, uint8_t command, uint16_t data)
{
    return boardCall("HalvoSmbusWriteWord", fmt(handle, bus, address, command, data), handle, {},
                     [&](Backend &b) { return b.smbusWriteWord(bus, address, command, data); });
}

HALVO_API int32_t HalvoSmbusReadWord(int32_t handle, uint8_t bus, uint8_t address, uint8_t command, uint16_t *data)
{
    return boardCall("HalvoSmbusReadWord", fmt(handle, bus, address, command, Out{data}), handle, {data},
                     [&](Backend &b) { return b.smbusReadWord(bus, address, command, *data); });
}

HALVO_API int32_t HalvoSmbusWriteBlock(int32_t handle, uint8_t bus, uint8_t address, uint8_t command,
                                       const uint8_t *data, uint8_t count)
{
    return boardCall("HalvoSmbusWriteBlock", fmt(handle, bus, address, command, Hex{data, count}, count), handle,
                     {data}, [&](Backend &b) { return b.smbusWriteBlock(bus, address, command, data, count); });
}

HALVO_API int32_t HalvoSmbusReadBlock(int32_t handle, uint8_t bus, uint8_t address, uint8_t command, uint8_t *buffer,
                                      uint8_t *count)
{
    return boardCall("HalvoSmbusReadBlock", fmt(handle, bus, address, command, Out{buffer}, Out{count}), handle,
                     {buffer, count},
                     [&](Backend &b) { return b.smbusReadBlock(bus, address, command, buffer, *count); });
}

HALVO_API int32_t HalvoGetI2cBusCount(int32_t handle, uint8_t *count)
{
    return boardCall("HalvoGetI2cBusCount", fmt(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getI2cBusCount(*count); });
}

HALVO_API int32_t HalvoI2cRead(int32_t handle, uint8_t bus, uint8_t address, uint8_t memoryAddress,
                               uint8_t useMemoryAddress, uint8_t *buffer, uint32_t *count)
{
    return boardCall(
        "HalvoI2cRead", fmt(handle, bus, address, memoryAddress, useMemoryAddress, Out{buffer}, Out{count}), handle,
        {buffer, count},
        [&](Backend &b) { return b.i2cRead(bus, address, memoryAddress, useMemoryAddress, buffer, *count); });
}

HALVO_API int32_t HalvoI2cWrite(int32_t handle, uint8_t bus, uint8_t address, uint8_t memoryAddress,
                                const uint8_t *data, uint32_t count)
{
    const Hex shown{count <= kMaxI2cWrite ? data : nullptr, count <= kMaxI2cWrite ? int64_t(count) : 0};
    return boardCall("HalvoI2cWrite", fmt(handle, bus, address, memoryAddress, shown, count), handle, {data},
                     [&](Backend &b) -> int32_t {
                         if (count > kMaxI2cWrite)
                             return badArgument(kOutOfRange);
                         return b.i2cWrite(bus, address, memoryAddress, data, count);
                     });
}

// ---- Power state -------------------------------------------------------------------

HALVO_API int32_t HalvoGetSystemStateAmt(const char *ipAddress, const char *userName, const char *password,
                                         int32_t *state)
{
    return run("HalvoGetSystemStateAmt", fmt(Text{ipAddress}, Text{userName}, Text{password}, Out{state}),
               [&](Library &lib) -> int32_t {
                   if (!allSet({ipAddress, userName, password, state}))
                       return badArgument(kNullPointer);
                   return lib.platform->getSystemStateAmt(ipAddress, userName, password, *state);
               });
}

HALVO_API int32_t HalvoSetSystemStateAmt(const char *ipAddress, const char *userName, const char *password,
                                         int32_t state)
{
    return run("HalvoSetSystemStateAmt", fmt(Text{ipAddress}, Text{userName}, Text{password}, state),
               [&](Library &lib) -> int32_t {
                   if (!allSet({ipAddress, userName, password}))
                       return badArgument(kNullPointer);
                   return lib.platform->setSystemStateAmt(ipAddress, userName, password, state);
               });
}

HALVO_API int32_t HalvoSetSystemState(int32_t handle, int32_t state)
{
    return boardCall("HalvoSetSystemState", fmt(handle, state), handle, {},
                     [&](Backend &b) { return b.setSystemState(state); });
}

} // extern "C"
