// The board calls as they travel between the library and halvo-agent: one
// row per call, shared by the server, the client and the tests, so that a
// call cannot exist on one side only.
//
// A row names the C entry point, the HTTP method, the path and the names of
// the parameters after the handle. Path segments in braces carry inputs; the
// other inputs travel in the query (GET) or in a JSON object body (PUT, POST).
// GET calls are reads and need the monitor role; the others change the board
// (or run a bus transaction, which may) and need the control role.
//
// The reply to a call is 200 with {"status": s, "out": {...}}: the board's
// status, and the outputs by parameter name when the status is a success.
#ifndef HALVO_REMOTE_CALLS_H
#define HALVO_REMOTE_CALLS_H

#include "board/halvo.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace halvo::remote
{

// Sent with every request and every answer; an agent refuses other versions.
constexpr const char *kProtocolHeader = "X-Halvo-Protocol";
constexpr int kProtocolVersion = 1;

enum class Role { Monitor, Control };

struct Row {
    const char *name;   // "HalvoGetCpuInfo"
    const char *method; // "GET", "PUT" or "POST"
    const char *path;   // "/v1/batteries/{battery}/state"
    std::vector<const char *> params;

    Role role() const { return std::string(method) == "GET" ? Role::Monitor : Role::Control; }
};

// X(function, method, path, parameter names...)
#define HALVO_REMOTE_CALLS(X)                                                                                          \
    X(HalvoGetCpuInfo, "GET", "/v1/cpu", "info")                                                                       \
    X(HalvoGetBoardInfo, "GET", "/v1/board", "info")                                                                   \
    X(HalvoGetMemoryInfo, "GET", "/v1/memory", "info")                                                                 \
    X(HalvoGetMemoryModuleCount, "GET", "/v1/memory/modules/count", "count")                                           \
    X(HalvoGetMemoryModuleInfo, "GET", "/v1/memory/modules/{index}", "index", "info")                                  \
    X(HalvoGetBatteryInfo, "GET", "/v1/batteries/{battery}/info", "battery", "info")                                   \
    X(HalvoGetBatteryState, "GET", "/v1/batteries/{battery}/state", "battery", "state")                                \
    X(HalvoGetNetworkDeviceCount, "GET", "/v1/network/count", "count")                                                 \
    X(HalvoGetNetworkDeviceList, "GET", "/v1/network", "list", "count")                                                \
    X(HalvoGetPciDeviceCount, "GET", "/v1/pci/count", "count")                                                         \
    X(HalvoGetPciDeviceList, "GET", "/v1/pci", "list", "count")                                                        \
    X(HalvoGetDiskDriveCount, "GET", "/v1/disks/count", "count")                                                       \
    X(HalvoGetDiskDriveList, "GET", "/v1/disks", "list", "count")                                                      \
    X(HalvoGetDiskDrivePartitionCount, "GET", "/v1/partitions/count", "count")                                         \
    X(HalvoGetDiskDrivePartitionList, "GET", "/v1/partitions", "list", "count")                                        \
    X(HalvoGetBootCounter, "GET", "/v1/boot-counter", "counter")                                                       \
    X(HalvoGetIntruderStatus, "GET", "/v1/intrusion", "status")                                                        \
    X(HalvoSystemUpTime, "GET", "/v1/uptime", "seconds")                                                               \
    X(HalvoGetCpuFreq, "GET", "/v1/cpu/frequency/{kind}", "kind", "khz")                                               \
    X(HalvoGetTempSensorCount, "GET", "/v1/sensors/temperatures/count", "count")                                       \
    X(HalvoGetTempSensorList, "GET", "/v1/sensors/temperatures", "list", "count")                                      \
    X(HalvoGetVoltageSensorCount, "GET", "/v1/sensors/voltages/count", "count")                                        \
    X(HalvoGetVoltageSensorList, "GET", "/v1/sensors/voltages", "list", "count")                                       \
    X(HalvoGetFanCount, "GET", "/v1/fans/count", "count")                                                              \
    X(HalvoGetFanList, "GET", "/v1/fans", "list", "count")                                                             \
    X(HalvoGetCpuTemp, "GET", "/v1/cpu/temperature/{sensor}", "sensor", "milliCelsius")                                \
    X(HalvoGetCpuFanSpeed, "GET", "/v1/cpu/fan", "rpm")                                                                \
    X(HalvoGetTempSensor, "GET", "/v1/sensors/temperatures/{index}", "index", "sensor")                                \
    X(HalvoGetVoltageSensor, "GET", "/v1/sensors/voltages/{index}", "index", "sensor")                                 \
    X(HalvoGetFan, "GET", "/v1/fans/{index}", "index", "fan")                                                          \
    X(HalvoGetFanMode, "GET", "/v1/fans/{fan}/mode", "fan", "mode")                                                    \
    X(HalvoGetFanSpeed, "GET", "/v1/fans/{fan}/speed", "fan", "speed", "value")                                        \
    X(HalvoSetCpuFanSpeed, "PUT", "/v1/cpu/fan", "speed")                                                              \
    X(HalvoSetFanModeThermalCruise, "PUT", "/v1/fans/{fan}/thermal-cruise", "fan", "target", "tolerance")              \
    X(HalvoGetCpuPerformance, "GET", "/v1/cpu/performance", "type", "percent")                                         \
    X(HalvoSetCpuPerformance, "PUT", "/v1/cpu/performance", "type", "percent")                                         \
    X(HalvoGetDisplayCount, "GET", "/v1/displays/count", "count")                                                      \
    X(HalvoGetBacklightValue, "GET", "/v1/displays/{display}/backlight", "display", "value")                           \
    X(HalvoSetBacklightValue, "PUT", "/v1/displays/{display}/backlight", "display", "value")                           \
    X(HalvoWatchdogEnable, "POST", "/v1/watchdog/enable", "timeoutMs")                                                 \
    X(HalvoWatchdogTrigger, "POST", "/v1/watchdog/trigger")                                                            \
    X(HalvoWatchdogDisable, "POST", "/v1/watchdog/disable")                                                            \
    X(HalvoWatchdogGetState, "GET", "/v1/watchdog", "armed", "timeoutMs")                                              \
    X(HalvoGpioGetCount, "GET", "/v1/gpio/count", "count")                                                             \
    X(HalvoGpioGetDirection, "GET", "/v1/gpio/{pin}/direction", "pin", "direction")                                    \
    X(HalvoGpioSetDirection, "PUT", "/v1/gpio/{pin}/direction", "pin", "direction")                                    \
    X(HalvoGpioGetLevel, "GET", "/v1/gpio/{pin}/level", "pin", "level")                                                \
    X(HalvoGpioSetLevel, "PUT", "/v1/gpio/{pin}/level", "pin", "level")                                                \
    X(HalvoGetStorageCount, "GET", "/v1/storage/count", "count")                                                       \
    X(HalvoGetStorageSize, "GET", "/v1/storage/{storage}/size", "storage", "size")                                     \
    X(HalvoStorageRead, "GET", "/v1/storage/{storage}/bytes", "storage", "offset", "buffer", "length")                 \
    X(HalvoStorageWrite, "PUT", "/v1/storage/{storage}/bytes", "storage", "offset", "bytes", "length")                 \
    X(HalvoGetSmbusCount, "GET", "/v1/smbus/count", "count")                                                           \
    X(HalvoSmbusQuickCommand, "POST", "/v1/smbus/{bus}/{address}/quick", "bus", "address", "readWrite")                \
    X(HalvoSmbusSendByte, "POST", "/v1/smbus/{bus}/{address}/send-byte", "bus", "address", "data")                     \
    X(HalvoSmbusReceiveByte, "POST", "/v1/smbus/{bus}/{address}/receive-byte", "bus", "address", "data")               \
    X(HalvoSmbusWriteByte, "POST", "/v1/smbus/{bus}/{address}/write-byte", "bus", "address", "command", "data")        \
    X(HalvoSmbusReadByte, "POST", "/v1/smbus/{bus}/{address}/read-byte", "bus", "address", "command", "data")          \
    X(HalvoSmbusWriteWord, "POST", "/v1/smbus/{bus}/{address}/write-word", "bus", "address", "command", "data")        \
    X(HalvoSmbusReadWord, "POST", "/v1/smbus/{bus}/{address}/read-word", "bus", "address", "command", "data")          \
    X(HalvoSmbusWriteBlock, "POST", "/v1/smbus/{bus}/{address}/write-block", "bus", "address", "command", "data",      \
      "count")                                                                                                         \
    X(HalvoSmbusReadBlock, "POST", "/v1/smbus/{bus}/{address}/read-block", "bus", "address", "command", "buffer",      \
      "count")                                                                                                         \
    X(HalvoGetI2cBusCount, "GET", "/v1/i2c/count", "count")                                                            \
    X(HalvoI2cRead, "POST", "/v1/i2c/{bus}/{address}/read", "bus", "address", "memoryAddress", "useMemoryAddress",     \
      "buffer", "count")                                                                                               \
    X(HalvoI2cWrite, "POST", "/v1/i2c/{bus}/{address}/write", "bus", "address", "memoryAddress", "data", "count")      \
    X(HalvoSetSystemState, "PUT", "/v1/power/state", "state")

// Every row, in table order.
const std::vector<Row> &rows();
// The row of `name`, or nullptr.
const Row *findRow(const std::string &name);

// The row of a C entry point; an entry point without a row does not compile.
template <auto F> const Row &rowOf();
#define HALVO_REMOTE_ROW_OF(F, ...) template <> const Row &rowOf<&F>();
HALVO_REMOTE_CALLS(HALVO_REMOTE_ROW_OF)
#undef HALVO_REMOTE_ROW_OF

// The reads a status refresh makes, as the snapshot answers them: the call
// and its inputs by name. Lists are answered whole, whatever count is asked.
struct PeriodicRead {
    const char *name;
    std::vector<std::pair<const char *, int>> inputs;
};
const std::vector<PeriodicRead> &periodicReads();

} // namespace halvo::remote

#endif
