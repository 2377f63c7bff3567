// The C entry points of libhalvo.so.1. Each one only records its arguments for
// the call log, takes the library lock, applies a forced status, resolves the
// handle, refuses null pointers and hands over to the backend. No exception
// leaves this file.
#include "board/halvo.h"

#include "backend.h"
#include "backends/amt/wsman.h"
#include "backends/net/net_backend.h"
#include "library.h"
#include "settings.h"
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
//
// Arguments are kept as they came and formatted only when the log records,
// after the call: an input buffer is read only as far as the call accepted it.

struct Out {
    const void *p;
};
struct Text {
    const char *p;
};
// Shown as "***": the log may end up in a file or a bug report.
struct Secret {
    const char *p;
};
// `checked`: n is within a limit the entry point has already enforced, so the
// bytes are there even when the board then fails the call.
struct Hex {
    const void *p;
    int64_t n;
    bool checked = false;
};

// Enough to tell writes apart; a 64 KB write would otherwise cost a 128 KB line.
constexpr int64_t kMaxDumpBytes = 32;

// I2C writes carry an arbitrary caller count; the board accepts no more.
constexpr uint32_t kMaxI2cWrite = 8192;
// The SMBus block transfer limit.
constexpr uint8_t kMaxSmbusBlock = 32;

void put(std::string &s, long long v, bool)
{
    s += std::to_string(v);
}
void put(std::string &s, Out o, bool)
{
    s += o.p ? "*" : "NULL";
}
void put(std::string &s, Secret t, bool)
{
    s += t.p ? "\"***\"" : "NULL";
}

void put(std::string &s, Text t, bool)
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

// The bytes of a refused call are not read: its length may exceed the buffer.
void put(std::string &s, Hex h, bool accepted)
{
    if (!h.p) {
        s += "NULL";
        return;
    }
    if (!accepted && !h.checked) {
        s += '*';
        return;
    }
    s += '"';
    const auto *bytes = static_cast<const unsigned char *>(h.p);
    static const char digits[] = "0123456789abcdef";
    for (int64_t i = 0; i < h.n && i < kMaxDumpBytes; ++i) {
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    if (h.n > kMaxDumpBytes)
        s += "...";
    s += '"';
}

// A deferred argument list: copying the arguments costs nothing worth noting,
// formatting them happens only when the log is on.
template <typename... A> auto args(A... a)
{
    return [=](bool accepted) noexcept -> std::string {
        try {
            std::string s;
            bool first = true;
            ((s += first ? "" : ", ", first = false, put(s, a, accepted)), ...);
            return s;
        } catch (...) {
            return "?";
        }
    };
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

// Runs `body(lib, lock)` with the library lock held in `lock`; a body may
// release it around work that must not hold up other handles.
template <typename Args, typename Body> int32_t run(const char *name, const Args &describe, Body &&body) noexcept
{
    try {
        Library &lib = library();
        std::unique_lock<std::mutex> lock(lib.mutex);
        int32_t status;
        bool accepted = false;
        try {
            // A forced success still does the work, so outputs stay valid; a
            // failure of the work itself wins over a forced success.
            const std::optional<int32_t> forced = lib.instrument.takeForced(name);
            if (forced && !succeeded(*forced)) {
                status = *forced;
            } else {
                status = body(lib, lock);
                accepted = succeeded(status);
                if (forced && accepted)
                    status = *forced;
            }
        } catch (...) {
            status = fromException();
            accepted = false;
        }
        if (!lock.owns_lock())
            lock.lock();
        if (lib.instrument.recording()) {
            try {
                lib.instrument.log(std::string(name) + "(" + describe(accepted) + ") -> " + std::to_string(status));
            } catch (...) {
            }
        }
        return status;
    } catch (...) {
        return fromException();
    }
}

// The library's one copy of a password, zeroed when the call is done.
struct WipedText {
    explicit WipedText(const char *p) : text(p) {}
    ~WipedText() { explicit_bzero(text.data(), text.size()); }
    WipedText(const WipedText &) = delete;
    WipedText &operator=(const WipedText &) = delete;
    std::string text;
};

bool allSet(std::initializer_list<const void *> pointers)
{
    for (const void *p : pointers)
        if (!p)
            return false;
    return true;
}

template <typename Args, typename Body>
int32_t boardCall(const char *name, const Args &describe, int32_t handle, std::initializer_list<const void *> required,
                  Body &&body) noexcept
{
    return run(name, describe, [&](Library &lib, std::unique_lock<std::mutex> &lock) -> int32_t {
        const HandleTable::Entry entry = lib.handles.find(handle);
        if (!entry.backend)
            return fail(HALVO_CLASS_HANDLE, kOutOfRange);
        if (!allSet(required))
            return badArgument(kNullPointer);
        if (!entry.lock)
            return body(*entry.backend);
        // A board with a lock of its own does not hold the library lock: a
        // slow remote board then stalls only its own handle.
        lock.unlock();
        std::lock_guard<std::mutex> own(*entry.lock);
        return body(*entry.backend);
    });
}

template <typename Record, typename Body>
int32_t listCall(const char *name, int32_t handle, Record *list, int32_t count, Body &&body) noexcept
{
    return boardCall(name, args(handle, Out{list}, count), handle, {list}, [&](Backend &b) -> int32_t {
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
    return run("HalvoLibInitialize", args(Text{address}, port, Out{handle}, reserved1, reserved2),
               [&](Library &lib, std::unique_lock<std::mutex> &lock) -> int32_t {
                   if (!address || !handle)
                       return badArgument(kNullPointer);
                   if (reserved1 != 0 || reserved2 != 0)
                       return badArgument(kBadValue);
                   const int32_t simulated = lib.handles.openSimulated(address, port, *handle);
                   if (simulated != fail(HALVO_CLASS_CONNECTION, kUnknownAddress))
                       return simulated;
                   // Any other address is an agent's; connecting takes up to the
                   // connect timeout, without the library lock.
                   lock.unlock();
                   std::unique_ptr<Backend> agent;
                   const int32_t status = net::connectAgent(address, port, loadSettings(), agent);
                   lock.lock();
                   return status == HALVO_STATUS_OK ? lib.handles.add(std::move(agent), *handle) : status;
               });
}

HALVO_API int32_t HalvoLibUnInitialize(int32_t handle)
{
    return run("HalvoLibUnInitialize", args(handle), [&](Library &lib, auto &) { return lib.handles.close(handle); });
}

// ---- Information -----------------------------------------------------------------

HALVO_API int32_t HalvoGetCpuInfo(int32_t handle, CpuInfo *info)
{
    return boardCall("HalvoGetCpuInfo", args(handle, Out{info}), handle, {info},
                     [&](Backend &b) { return b.getCpuInfo(*info); });
}

HALVO_API int32_t HalvoGetBoardInfo(int32_t handle, BoardInfo *info)
{
    return boardCall("HalvoGetBoardInfo", args(handle, Out{info}), handle, {info},
                     [&](Backend &b) { return b.getBoardInfo(*info); });
}

HALVO_API int32_t HalvoGetMemoryInfo(int32_t handle, MemoryInfo *info)
{
    return boardCall("HalvoGetMemoryInfo", args(handle, Out{info}), handle, {info},
                     [&](Backend &b) { return b.getMemoryInfo(*info); });
}

HALVO_API int32_t HalvoGetMemoryModuleCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetMemoryModuleCount", args(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getMemoryModuleCount(*count); });
}

HALVO_API int32_t HalvoGetMemoryModuleInfo(int32_t handle, int8_t index, MemoryModuleInfo *info)
{
    return boardCall("HalvoGetMemoryModuleInfo", args(handle, index, Out{info}), handle, {info},
                     [&](Backend &b) { return b.getMemoryModuleInfo(index, *info); });
}

HALVO_API int32_t HalvoGetBatteryInfo(int32_t handle, int32_t battery, BatteryInfo *info)
{
    return boardCall("HalvoGetBatteryInfo", args(handle, battery, Out{info}), handle, {info},
                     [&](Backend &b) { return b.getBatteryInfo(battery, *info); });
}

HALVO_API int32_t HalvoGetBatteryState(int32_t handle, int32_t battery, BatteryState *state)
{
    return boardCall("HalvoGetBatteryState", args(handle, battery, Out{state}), handle, {state},
                     [&](Backend &b) { return b.getBatteryState(battery, *state); });
}

HALVO_API int32_t HalvoGetNetworkDeviceCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetNetworkDeviceCount", args(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getNetworkDeviceCount(*count); });
}

HALVO_API int32_t HalvoGetNetworkDeviceList(int32_t handle, NetworkDeviceInfo *list, int32_t count)
{
    return listCall("HalvoGetNetworkDeviceList", handle, list, count,
                    [&](Backend &b) { return b.getNetworkDeviceList(list, count); });
}

HALVO_API int32_t HalvoGetPciDeviceCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetPciDeviceCount", args(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getPciDeviceCount(*count); });
}

HALVO_API int32_t HalvoGetPciDeviceList(int32_t handle, PciDeviceInfo *list, int32_t count)
{
    return listCall("HalvoGetPciDeviceList", handle, list, count,
                    [&](Backend &b) { return b.getPciDeviceList(list, count); });
}

HALVO_API int32_t HalvoGetDiskDriveCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetDiskDriveCount", args(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getDiskDriveCount(*count); });
}

HALVO_API int32_t HalvoGetDiskDriveList(int32_t handle, DiskDriveInfo *list, int32_t count)
{
    return listCall("HalvoGetDiskDriveList", handle, list, count,
                    [&](Backend &b) { return b.getDiskDriveList(list, count); });
}

HALVO_API int32_t HalvoGetDiskDrivePartitionCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetDiskDrivePartitionCount", args(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getDiskDrivePartitionCount(*count); });
}

HALVO_API int32_t HalvoGetDiskDrivePartitionList(int32_t handle, DiskPartitionInfo *list, int32_t count)
{
    return listCall("HalvoGetDiskDrivePartitionList", handle, list, count,
                    [&](Backend &b) { return b.getDiskDrivePartitionList(list, count); });
}

HALVO_API int32_t HalvoGetBootCounter(int32_t handle, int32_t *counter)
{
    return boardCall("HalvoGetBootCounter", args(handle, Out{counter}), handle, {counter},
                     [&](Backend &b) { return b.getBootCounter(*counter); });
}

HALVO_API int32_t HalvoGetIntruderStatus(int32_t handle, int32_t *status)
{
    return boardCall("HalvoGetIntruderStatus", args(handle, Out{status}), handle, {status},
                     [&](Backend &b) { return b.getIntruderStatus(*status); });
}

HALVO_API int32_t HalvoSystemUpTime(int32_t handle, int32_t *seconds)
{
    return boardCall("HalvoSystemUpTime", args(handle, Out{seconds}), handle, {seconds},
                     [&](Backend &b) { return b.systemUpTime(*seconds); });
}

HALVO_API int32_t HalvoGetCpuFreq(int32_t handle, int32_t kind, int32_t *khz)
{
    return boardCall("HalvoGetCpuFreq", args(handle, kind, Out{khz}), handle, {khz},
                     [&](Backend &b) { return b.getCpuFreq(kind, *khz); });
}

// ---- Sensors ------------------------------------------------------------------------

HALVO_API int32_t HalvoGetTempSensorCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetTempSensorCount", args(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getTempSensorCount(*count); });
}

HALVO_API int32_t HalvoGetTempSensorList(int32_t handle, TempSensorInfo *list, int32_t count)
{
    return listCall("HalvoGetTempSensorList", handle, list, count,
                    [&](Backend &b) { return b.getTempSensorList(list, count); });
}

HALVO_API int32_t HalvoGetVoltageSensorCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetVoltageSensorCount", args(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getVoltageSensorCount(*count); });
}

HALVO_API int32_t HalvoGetVoltageSensorList(int32_t handle, VoltageSensorInfo *list, int32_t count)
{
    return listCall("HalvoGetVoltageSensorList", handle, list, count,
                    [&](Backend &b) { return b.getVoltageSensorList(list, count); });
}

HALVO_API int32_t HalvoGetFanCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetFanCount", args(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getFanCount(*count); });
}

HALVO_API int32_t HalvoGetFanList(int32_t handle, FanInfo *list, int32_t count)
{
    return listCall("HalvoGetFanList", handle, list, count, [&](Backend &b) { return b.getFanList(list, count); });
}

HALVO_API int32_t HalvoGetCpuTemp(int32_t handle, int32_t sensor, int32_t *milliCelsius)
{
    return boardCall("HalvoGetCpuTemp", args(handle, sensor, Out{milliCelsius}), handle, {milliCelsius},
                     [&](Backend &b) { return b.getCpuTemp(sensor, *milliCelsius); });
}

HALVO_API int32_t HalvoGetCpuFanSpeed(int32_t handle, int32_t *rpm)
{
    return boardCall("HalvoGetCpuFanSpeed", args(handle, Out{rpm}), handle, {rpm},
                     [&](Backend &b) { return b.getCpuFanSpeed(*rpm); });
}

HALVO_API int32_t HalvoGetTempSensor(int32_t handle, int32_t index, TempSensorInfo *sensor)
{
    return boardCall("HalvoGetTempSensor", args(handle, index, Out{sensor}), handle, {sensor},
                     [&](Backend &b) { return b.getTempSensor(index, *sensor); });
}

HALVO_API int32_t HalvoGetVoltageSensor(int32_t handle, int32_t index, VoltageSensorInfo *sensor)
{
    return boardCall("HalvoGetVoltageSensor", args(handle, index, Out{sensor}), handle, {sensor},
                     [&](Backend &b) { return b.getVoltageSensor(index, *sensor); });
}

HALVO_API int32_t HalvoGetFan(int32_t handle, int32_t index, FanInfo *fan)
{
    return boardCall("HalvoGetFan", args(handle, index, Out{fan}), handle, {fan},
                     [&](Backend &b) { return b.getFan(index, *fan); });
}

// ---- CPU fan and performance -------------------------------------------------------

HALVO_API int32_t HalvoGetFanMode(int32_t handle, int32_t fan, uint8_t *mode)
{
    return boardCall("HalvoGetFanMode", args(handle, fan, Out{mode}), handle, {mode},
                     [&](Backend &b) { return b.getFanMode(fan, *mode); });
}

HALVO_API int32_t HalvoGetFanSpeed(int32_t handle, int32_t fan, uint8_t *speed, int32_t *value)
{
    return boardCall("HalvoGetFanSpeed", args(handle, fan, Out{speed}, Out{value}), handle, {speed, value},
                     [&](Backend &b) { return b.getFanSpeed(fan, *speed, *value); });
}

HALVO_API int32_t HalvoSetCpuFanSpeed(int32_t handle, uint8_t speed)
{
    return boardCall("HalvoSetCpuFanSpeed", args(handle, speed), handle, {},
                     [&](Backend &b) { return b.setCpuFanSpeed(speed); });
}

HALVO_API int32_t HalvoSetFanModeThermalCruise(int32_t handle, int32_t fan, int32_t target, int32_t tolerance)
{
    return boardCall("HalvoSetFanModeThermalCruise", args(handle, fan, target, tolerance), handle, {},
                     [&](Backend &b) { return b.setFanModeThermalCruise(fan, target, tolerance); });
}

HALVO_API int32_t HalvoGetCpuPerformance(int32_t handle, int8_t *type, int8_t *percent)
{
    return boardCall("HalvoGetCpuPerformance", args(handle, Out{type}, Out{percent}), handle, {type, percent},
                     [&](Backend &b) { return b.getCpuPerformance(*type, *percent); });
}

HALVO_API int32_t HalvoSetCpuPerformance(int32_t handle, uint8_t type, int8_t percent)
{
    return boardCall("HalvoSetCpuPerformance", args(handle, type, percent), handle, {},
                     [&](Backend &b) { return b.setCpuPerformance(type, percent); });
}

// ---- Display, watchdog, GPIO, storage ----------------------------------------------

HALVO_API int32_t HalvoGetDisplayCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetDisplayCount", args(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getDisplayCount(*count); });
}

HALVO_API int32_t HalvoGetBacklightValue(int32_t handle, int32_t display, int32_t *value)
{
    return boardCall("HalvoGetBacklightValue", args(handle, display, Out{value}), handle, {value},
                     [&](Backend &b) { return b.getBacklightValue(display, *value); });
}

HALVO_API int32_t HalvoSetBacklightValue(int32_t handle, int32_t display, int32_t value)
{
    return boardCall("HalvoSetBacklightValue", args(handle, display, value), handle, {},
                     [&](Backend &b) { return b.setBacklightValue(display, value); });
}

HALVO_API int32_t HalvoWatchdogEnable(int32_t handle, int32_t timeoutMs)
{
    return boardCall("HalvoWatchdogEnable", args(handle, timeoutMs), handle, {},
                     [&](Backend &b) { return b.watchdogEnable(timeoutMs); });
}

HALVO_API int32_t HalvoWatchdogTrigger(int32_t handle)
{
    return boardCall("HalvoWatchdogTrigger", args(handle), handle, {}, [&](Backend &b) { return b.watchdogTrigger(); });
}

HALVO_API int32_t HalvoWatchdogDisable(int32_t handle)
{
    return boardCall("HalvoWatchdogDisable", args(handle), handle, {}, [&](Backend &b) { return b.watchdogDisable(); });
}

HALVO_API int32_t HalvoWatchdogGetState(int32_t handle, int32_t *armed, int32_t *timeoutMs)
{
    return boardCall("HalvoWatchdogGetState", args(handle, Out{armed}, Out{timeoutMs}), handle, {armed, timeoutMs},
                     [&](Backend &b) { return b.watchdogGetState(*armed, *timeoutMs); });
}

HALVO_API int32_t HalvoGpioGetCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGpioGetCount", args(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.gpioGetCount(*count); });
}

HALVO_API int32_t HalvoGpioGetDirection(int32_t handle, int32_t pin, uint8_t *direction)
{
    return boardCall("HalvoGpioGetDirection", args(handle, pin, Out{direction}), handle, {direction},
                     [&](Backend &b) { return b.gpioGetDirection(pin, *direction); });
}

HALVO_API int32_t HalvoGpioSetDirection(int32_t handle, int32_t pin, uint8_t direction)
{
    return boardCall("HalvoGpioSetDirection", args(handle, pin, direction), handle, {},
                     [&](Backend &b) { return b.gpioSetDirection(pin, direction); });
}

HALVO_API int32_t HalvoGpioGetLevel(int32_t handle, int32_t pin, uint8_t *level)
{
    return boardCall("HalvoGpioGetLevel", args(handle, pin, Out{level}), handle, {level},
                     [&](Backend &b) { return b.gpioGetLevel(pin, *level); });
}

HALVO_API int32_t HalvoGpioSetLevel(int32_t handle, int32_t pin, uint8_t level)
{
    return boardCall("HalvoGpioSetLevel", args(handle, pin, level), handle, {},
                     [&](Backend &b) { return b.gpioSetLevel(pin, level); });
}

HALVO_API int32_t HalvoGetStorageCount(int32_t handle, int32_t *count)
{
    return boardCall("HalvoGetStorageCount", args(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getStorageCount(*count); });
}

HALVO_API int32_t HalvoGetStorageSize(int32_t handle, int32_t storage, int32_t *size)
{
    return boardCall("HalvoGetStorageSize", args(handle, storage, Out{size}), handle, {size},
                     [&](Backend &b) { return b.getStorageSize(storage, *size); });
}

HALVO_API int32_t HalvoStorageRead(int32_t handle, int32_t storage, int32_t offset, char *buffer, int32_t length)
{
    return boardCall("HalvoStorageRead", args(handle, storage, offset, Out{buffer}, length), handle, {buffer},
                     [&](Backend &b) { return b.storageRead(storage, offset, buffer, length); });
}

HALVO_API int32_t HalvoStorageWrite(int32_t handle, int32_t storage, int32_t offset, const char *bytes, int32_t length)
{
    return boardCall("HalvoStorageWrite", args(handle, storage, offset, Hex{bytes, length}, length), handle, {bytes},
                     [&](Backend &b) { return b.storageWrite(storage, offset, bytes, length); });
}

// ---- SMBus and I2C -------------------------------------------------------------------

HALVO_API int32_t HalvoGetSmbusCount(int32_t handle, uint8_t *count)
{
    return boardCall("HalvoGetSmbusCount", args(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getSmbusCount(*count); });
}

HALVO_API int32_t HalvoSmbusQuickCommand(int32_t handle, uint8_t bus, uint8_t address, uint8_t readWrite)
{
    return boardCall("HalvoSmbusQuickCommand", args(handle, bus, address, readWrite), handle, {},
                     [&](Backend &b) { return b.smbusQuickCommand(bus, address, readWrite); });
}

HALVO_API int32_t HalvoSmbusSendByte(int32_t handle, uint8_t bus, uint8_t address, uint8_t data)
{
    return boardCall("HalvoSmbusSendByte", args(handle, bus, address, data), handle, {},
                     [&](Backend &b) { return b.smbusSendByte(bus, address, data); });
}

HALVO_API int32_t HalvoSmbusReceiveByte(int32_t handle, uint8_t bus, uint8_t address, uint8_t *data)
{
    return boardCall("HalvoSmbusReceiveByte", args(handle, bus, address, Out{data}), handle, {data},
                     [&](Backend &b) { return b.smbusReceiveByte(bus, address, *data); });
}

HALVO_API int32_t HalvoSmbusWriteByte(int32_t handle, uint8_t bus, uint8_t address, uint8_t command, uint8_t data)
{
    return boardCall("HalvoSmbusWriteByte", args(handle, bus, address, command, data), handle, {},
                     [&](Backend &b) { return b.smbusWriteByte(bus, address, command, data); });
}

HALVO_API int32_t HalvoSmbusReadByte(int32_t handle, uint8_t bus, uint8_t address, uint8_t command, uint8_t *data)
{
    return boardCall("HalvoSmbusReadByte", args(handle, bus, address, command, Out{data}), handle, {data},
                     [&](Backend &b) { return b.smbusReadByte(bus, address, command, *data); });
}

HALVO_API int32_t HalvoSmbusWriteWord(int32_t handle, uint8_t bus, uint8_t address, uint8_t command, uint16_t data)
{
    return boardCall("HalvoSmbusWriteWord", args(handle, bus, address, command, data), handle, {},
                     [&](Backend &b) { return b.smbusWriteWord(bus, address, command, data); });
}

HALVO_API int32_t HalvoSmbusReadWord(int32_t handle, uint8_t bus, uint8_t address, uint8_t command, uint16_t *data)
{
    return boardCall("HalvoSmbusReadWord", args(handle, bus, address, command, Out{data}), handle, {data},
                     [&](Backend &b) { return b.smbusReadWord(bus, address, command, *data); });
}

HALVO_API int32_t HalvoSmbusWriteBlock(int32_t handle, uint8_t bus, uint8_t address, uint8_t command,
                                       const uint8_t *data, uint8_t count)
{
    const bool valid = count >= 1 && count <= kMaxSmbusBlock;
    return boardCall("HalvoSmbusWriteBlock", args(handle, bus, address, command, Hex{data, count, valid}, count),
                     handle, {data}, [&](Backend &b) {
                         return valid ? b.smbusWriteBlock(bus, address, command, data, count)
                                      : badArgument(kOutOfRange);
                     });
}

HALVO_API int32_t HalvoSmbusReadBlock(int32_t handle, uint8_t bus, uint8_t address, uint8_t command, uint8_t *buffer,
                                      uint8_t *count)
{
    return boardCall("HalvoSmbusReadBlock", args(handle, bus, address, command, Out{buffer}, Out{count}), handle,
                     {buffer, count},
                     [&](Backend &b) { return b.smbusReadBlock(bus, address, command, buffer, *count); });
}

HALVO_API int32_t HalvoGetI2cBusCount(int32_t handle, uint8_t *count)
{
    return boardCall("HalvoGetI2cBusCount", args(handle, Out{count}), handle, {count},
                     [&](Backend &b) { return b.getI2cBusCount(*count); });
}

HALVO_API int32_t HalvoI2cRead(int32_t handle, uint8_t bus, uint8_t address, uint8_t memoryAddress,
                               uint8_t useMemoryAddress, uint8_t *buffer, uint32_t *count)
{
    return boardCall(
        "HalvoI2cRead", args(handle, bus, address, memoryAddress, useMemoryAddress, Out{buffer}, Out{count}), handle,
        {buffer, count},
        [&](Backend &b) { return b.i2cRead(bus, address, memoryAddress, useMemoryAddress, buffer, *count); });
}

HALVO_API int32_t HalvoI2cWrite(int32_t handle, uint8_t bus, uint8_t address, uint8_t memoryAddress,
                                const uint8_t *data, uint32_t count)
{
    return boardCall("HalvoI2cWrite",
                     args(handle, bus, address, memoryAddress, Hex{data, count, count <= kMaxI2cWrite}, count), handle,
                     {data}, [&](Backend &b) -> int32_t {
                         if (count > kMaxI2cWrite)
                             return badArgument(kOutOfRange);
                         return b.i2cWrite(bus, address, memoryAddress, data, count);
                     });
}

// ---- Power state -------------------------------------------------------------------

HALVO_API int32_t HalvoGetSystemStateAmt(const char *ipAddress, const char *userName, const char *password,
                                         int32_t *state)
{
    return run("HalvoGetSystemStateAmt", args(Text{ipAddress}, Text{userName}, Secret{password}, Out{state}),
               [&](Library &lib, std::unique_lock<std::mutex> &lock) -> int32_t {
                   if (!allSet({ipAddress, userName, password, state}))
                       return badArgument(kNullPointer);
                   const WipedText secret(password);
                   const int32_t simulated = lib.platform->getSystemStateAmt(ipAddress, userName, secret.text, *state);
                   if (simulated != fail(HALVO_CLASS_CONNECTION, kUnknownAddress))
                       return simulated;
                   // Real firmware: an exchange of up to the AMT time limit,
                   // which must not hold up the boards' calls.
                   lock.unlock();
                   return amt::getSystemState(ipAddress, userName, secret.text, loadSettings(), *state);
               });
}

HALVO_API int32_t HalvoSetSystemStateAmt(const char *ipAddress, const char *userName, const char *password,
                                         int32_t state)
{
    return run("HalvoSetSystemStateAmt", args(Text{ipAddress}, Text{userName}, Secret{password}, state),
               [&](Library &lib, std::unique_lock<std::mutex> &lock) -> int32_t {
                   if (!allSet({ipAddress, userName, password}))
                       return badArgument(kNullPointer);
                   const WipedText secret(password);
                   const int32_t simulated = lib.platform->setSystemStateAmt(ipAddress, userName, secret.text, state);
                   if (simulated != fail(HALVO_CLASS_CONNECTION, kUnknownAddress))
                       return simulated;
                   lock.unlock();
                   return amt::setSystemState(ipAddress, userName, secret.text, loadSettings(), state);
               });
}

HALVO_API int32_t HalvoSetSystemState(int32_t handle, int32_t state)
{
    return boardCall("HalvoSetSystemState", args(handle, state), handle, {},
                     [&](Backend &b) { return b.setSystemState(state); });
}

} // extern "C"
