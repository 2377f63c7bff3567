// The board calls made through a handle, one row each. The rows generate the
// C entry points (halvo_api.cpp), the Backend interface (backend.h), the names
// the call log accepts (instrument.cpp), the agent's routes and the network
// client (remote/) and the simulator's forwarding (backends/sim/sim_backend.h).
// What is left to write for a call is how each backend answers it.
//
// X(function, method, (parameters), (arguments), verb, path)
//   function    the C entry point of board/halvo.h, and the name the call log,
//               forced statuses and a simulated board's callStatus use
//   method      the Backend member that answers it
//   parameters  those after the handle; OUT marks an output, a pointer in the
//               C call and a reference in the Backend. Record arrays and byte
//               buffers are pointers on both sides: a list call writes `count`
//               records, a read buffer has room for HALVO_BLOCK_BUFFER_SIZE
//               bytes (an I2C read's count goes in and comes back), an input
//               buffer holds the count given after it.
//   arguments   their names, which are also the inputs' and outputs' names on
//               the wire
//   verb, path  the agent's route (see remote/calls.h)
//
// Expanded with OUT as `&` for the Backend side and `*` for the C side.
#ifndef HALVO_CALLS_H
#define HALVO_CALLS_H

#include "board/halvo.h"

// Every row: the calls a backend answers, then the records read alone.
#define HALVO_CALLS(X, OUT) HALVO_BOARD_CALLS(X, OUT) HALVO_RECORD_CALLS(X, OUT)

#define HALVO_BOARD_CALLS(X, OUT)                                                                                      \
    X(HalvoGetCpuInfo, getCpuInfo, (CpuInfo OUT info), (info), "GET", "/v1/cpu")                                       \
    X(HalvoGetBoardInfo, getBoardInfo, (BoardInfo OUT info), (info), "GET", "/v1/board")                               \
    X(HalvoGetMemoryInfo, getMemoryInfo, (MemoryInfo OUT info), (info), "GET", "/v1/memory")                           \
    X(HalvoGetMemoryModuleCount, getMemoryModuleCount, (int32_t OUT count), (count), "GET",                            \
      "/v1/memory/modules/count")                                                                                      \
    X(HalvoGetMemoryModuleInfo, getMemoryModuleInfo, (int8_t index, MemoryModuleInfo OUT info), (index, info), "GET",  \
      "/v1/memory/modules/{index}")                                                                                    \
    X(HalvoGetBatteryInfo, getBatteryInfo, (int32_t battery, BatteryInfo OUT info), (battery, info), "GET",            \
      "/v1/batteries/{battery}/info")                                                                                  \
    X(HalvoGetBatteryState, getBatteryState, (int32_t battery, BatteryState OUT state), (battery, state), "GET",       \
      "/v1/batteries/{battery}/state")                                                                                 \
    X(HalvoGetNetworkDeviceCount, getNetworkDeviceCount, (int32_t OUT count), (count), "GET", "/v1/network/count")     \
    X(HalvoGetNetworkDeviceList, getNetworkDeviceList, (NetworkDeviceInfo * list, int32_t count), (list, count),       \
      "GET", "/v1/network")                                                                                            \
    X(HalvoGetPciDeviceCount, getPciDeviceCount, (int32_t OUT count), (count), "GET", "/v1/pci/count")                 \
    X(HalvoGetPciDeviceList, getPciDeviceList, (PciDeviceInfo * list, int32_t count), (list, count), "GET", "/v1/pci") \
    X(HalvoGetDiskDriveCount, getDiskDriveCount, (int32_t OUT count), (count), "GET", "/v1/disks/count")               \
    X(HalvoGetDiskDriveList, getDiskDriveList, (DiskDriveInfo * list, int32_t count), (list, count), "GET",            \
      "/v1/disks")                                                                                                     \
    X(HalvoGetDiskDrivePartitionCount, getDiskDrivePartitionCount, (int32_t OUT count), (count), "GET",                \
      "/v1/partitions/count")                                                                                          \
    X(HalvoGetDiskDrivePartitionList, getDiskDrivePartitionList, (DiskPartitionInfo * list, int32_t count),            \
      (list, count), "GET", "/v1/partitions")                                                                          \
    X(HalvoGetBootCounter, getBootCounter, (int32_t OUT counter), (counter), "GET", "/v1/boot-counter")                \
    X(HalvoGetIntruderStatus, getIntruderStatus, (int32_t OUT status), (status), "GET", "/v1/intrusion")               \
    X(HalvoSystemUpTime, systemUpTime, (int32_t OUT seconds), (seconds), "GET", "/v1/uptime")                          \
    X(HalvoGetCpuFreq, getCpuFreq, (int32_t kind, int32_t OUT khz), (kind, khz), "GET", "/v1/cpu/frequency/{kind}")    \
    X(HalvoGetTempSensorCount, getTempSensorCount, (int32_t OUT count), (count), "GET",                                \
      "/v1/sensors/temperatures/count")                                                                                \
    X(HalvoGetTempSensorList, getTempSensorList, (TempSensorInfo * list, int32_t count), (list, count), "GET",         \
      "/v1/sensors/temperatures")                                                                                      \
    X(HalvoGetVoltageSensorCount, getVoltageSensorCount, (int32_t OUT count), (count), "GET",                          \
      "/v1/sensors/voltages/count")                                                                                    \
    X(HalvoGetVoltageSensorList, getVoltageSensorList, (VoltageSensorInfo * list, int32_t count), (list, count),       \
      "GET", "/v1/sensors/voltages")                                                                                   \
    X(HalvoGetFanCount, getFanCount, (int32_t OUT count), (count), "GET", "/v1/fans/count")                            \
    X(HalvoGetFanList, getFanList, (FanInfo * list, int32_t count), (list, count), "GET", "/v1/fans")                  \
    X(HalvoGetCpuTemp, getCpuTemp, (int32_t sensor, int32_t OUT milliCelsius), (sensor, milliCelsius), "GET",          \
      "/v1/cpu/temperature/{sensor}")                                                                                  \
    X(HalvoGetCpuFanSpeed, getCpuFanSpeed, (int32_t OUT rpm), (rpm), "GET", "/v1/cpu/fan")                             \
    X(HalvoGetFanMode, getFanMode, (int32_t fan, uint8_t OUT mode), (fan, mode), "GET", "/v1/fans/{fan}/mode")         \
    X(HalvoGetFanSpeed, getFanSpeed, (int32_t fan, uint8_t OUT speed, int32_t OUT value), (fan, speed, value), "GET",  \
      "/v1/fans/{fan}/speed")                                                                                          \
    X(HalvoSetCpuFanSpeed, setCpuFanSpeed, (uint8_t speed), (speed), "PUT", "/v1/cpu/fan")                             \
    X(HalvoSetFanModeThermalCruise, setFanModeThermalCruise, (int32_t fan, int32_t target, int32_t tolerance),         \
      (fan, target, tolerance), "PUT", "/v1/fans/{fan}/thermal-cruise")                                                \
    X(HalvoGetCpuPerformance, getCpuPerformance, (int8_t OUT type, int8_t OUT percent), (type, percent), "GET",        \
      "/v1/cpu/performance")                                                                                           \
    X(HalvoSetCpuPerformance, setCpuPerformance, (uint8_t type, int8_t percent), (type, percent), "PUT",               \
      "/v1/cpu/performance")                                                                                           \
    X(HalvoGetDisplayCount, getDisplayCount, (int32_t OUT count), (count), "GET", "/v1/displays/count")                \
    X(HalvoGetBacklightValue, getBacklightValue, (int32_t display, int32_t OUT value), (display, value), "GET",        \
      "/v1/displays/{display}/backlight")                                                                              \
    X(HalvoSetBacklightValue, setBacklightValue, (int32_t display, int32_t value), (display, value), "PUT",            \
      "/v1/displays/{display}/backlight")                                                                              \
    X(HalvoWatchdogEnable, watchdogEnable, (int32_t timeoutMs), (timeoutMs), "POST", "/v1/watchdog/enable")            \
    X(HalvoWatchdogTrigger, watchdogTrigger, (), (), "POST", "/v1/watchdog/trigger")                                   \
    X(HalvoWatchdogDisable, watchdogDisable, (), (), "POST", "/v1/watchdog/disable")                                   \
    X(HalvoWatchdogGetState, watchdogGetState, (int32_t OUT armed, int32_t OUT timeoutMs), (armed, timeoutMs), "GET",  \
      "/v1/watchdog")                                                                                                  \
    X(HalvoGpioGetCount, gpioGetCount, (int32_t OUT count), (count), "GET", "/v1/gpio/count")                          \
    X(HalvoGpioGetDirection, gpioGetDirection, (int32_t pin, uint8_t OUT direction), (pin, direction), "GET",          \
      "/v1/gpio/{pin}/direction")                                                                                      \
    X(HalvoGpioSetDirection, gpioSetDirection, (int32_t pin, uint8_t direction), (pin, direction), "PUT",              \
      "/v1/gpio/{pin}/direction")                                                                                      \
    X(HalvoGpioGetLevel, gpioGetLevel, (int32_t pin, uint8_t OUT level), (pin, level), "GET", "/v1/gpio/{pin}/level")  \
    X(HalvoGpioSetLevel, gpioSetLevel, (int32_t pin, uint8_t level), (pin, level), "PUT", "/v1/gpio/{pin}/level")      \
    X(HalvoGetStorageCount, getStorageCount, (int32_t OUT count), (count), "GET", "/v1/storage/count")                 \
    X(HalvoGetStorageSize, getStorageSize, (int32_t storage, int32_t OUT size), (storage, size), "GET",                \
      "/v1/storage/{storage}/size")                                                                                    \
    X(HalvoStorageRead, storageRead, (int32_t storage, int32_t offset, char *buffer, int32_t length),                  \
      (storage, offset, buffer, length), "GET", "/v1/storage/{storage}/bytes")                                         \
    X(HalvoStorageWrite, storageWrite, (int32_t storage, int32_t offset, const char *bytes, int32_t length),           \
      (storage, offset, bytes, length), "PUT", "/v1/storage/{storage}/bytes")                                          \
    X(HalvoGetSmbusCount, getSmbusCount, (uint8_t OUT count), (count), "GET", "/v1/smbus/count")                       \
    X(HalvoSmbusQuickCommand, smbusQuickCommand, (uint8_t bus, uint8_t address, uint8_t readWrite),                    \
      (bus, address, readWrite), "POST", "/v1/smbus/{bus}/{address}/quick")                                            \
    X(HalvoSmbusSendByte, smbusSendByte, (uint8_t bus, uint8_t address, uint8_t data), (bus, address, data), "POST",   \
      "/v1/smbus/{bus}/{address}/send-byte")                                                                           \
    X(HalvoSmbusReceiveByte, smbusReceiveByte, (uint8_t bus, uint8_t address, uint8_t OUT data), (bus, address, data), \
      "POST", "/v1/smbus/{bus}/{address}/receive-byte")                                                                \
    X(HalvoSmbusWriteByte, smbusWriteByte, (uint8_t bus, uint8_t address, uint8_t command, uint8_t data),              \
      (bus, address, command, data), "POST", "/v1/smbus/{bus}/{address}/write-byte")                                   \
    X(HalvoSmbusReadByte, smbusReadByte, (uint8_t bus, uint8_t address, uint8_t command, uint8_t OUT data),            \
      (bus, address, command, data), "POST", "/v1/smbus/{bus}/{address}/read-byte")                                    \
    X(HalvoSmbusWriteWord, smbusWriteWord, (uint8_t bus, uint8_t address, uint8_t command, uint16_t data),             \
      (bus, address, command, data), "POST", "/v1/smbus/{bus}/{address}/write-word")                                   \
    X(HalvoSmbusReadWord, smbusReadWord, (uint8_t bus, uint8_t address, uint8_t command, uint16_t OUT data),           \
      (bus, address, command, data), "POST", "/v1/smbus/{bus}/{address}/read-word")                                    \
    X(HalvoSmbusWriteBlock, smbusWriteBlock,                                                                           \
      (uint8_t bus, uint8_t address, uint8_t command, const uint8_t *data, uint8_t count),                             \
      (bus, address, command, data, count), "POST", "/v1/smbus/{bus}/{address}/write-block")                           \
    X(HalvoSmbusReadBlock, smbusReadBlock,                                                                             \
      (uint8_t bus, uint8_t address, uint8_t command, uint8_t * buffer, uint8_t OUT count),                            \
      (bus, address, command, buffer, count), "POST", "/v1/smbus/{bus}/{address}/read-block")                          \
    X(HalvoGetI2cBusCount, getI2cBusCount, (uint8_t OUT count), (count), "GET", "/v1/i2c/count")                       \
    X(HalvoI2cRead, i2cRead,                                                                                           \
      (uint8_t bus, uint8_t address, uint8_t memoryAddress, uint8_t useMemoryAddress, uint8_t * buffer,                \
       uint32_t OUT count),                                                                                            \
      (bus, address, memoryAddress, useMemoryAddress, buffer, count), "POST", "/v1/i2c/{bus}/{address}/read")          \
    X(HalvoI2cWrite, i2cWrite,                                                                                         \
      (uint8_t bus, uint8_t address, uint8_t memoryAddress, const uint8_t *data, uint32_t count),                      \
      (bus, address, memoryAddress, data, count), "POST", "/v1/i2c/{bus}/{address}/write")                             \
    X(HalvoSetSystemState, setSystemState, (int32_t state), (state), "PUT", "/v1/power/state")

// One record of a list, read alone. For a backend that cannot read one record
// by itself Backend picks it from the list (getFan from getFanList, sized by
// getFanCount). A list fails whole when any of its sensors gives no reading,
// the record alone only when its own sensor does not.
#define HALVO_RECORD_CALLS(X, OUT)                                                                                     \
    X(HalvoGetTempSensor, getTempSensor, (int32_t index, TempSensorInfo OUT sensor), (index, sensor), "GET",           \
      "/v1/sensors/temperatures/{index}")                                                                              \
    X(HalvoGetVoltageSensor, getVoltageSensor, (int32_t index, VoltageSensorInfo OUT sensor), (index, sensor), "GET",  \
      "/v1/sensors/voltages/{index}")                                                                                  \
    X(HalvoGetFan, getFan, (int32_t index, FanInfo OUT fan), (index, fan), "GET", "/v1/fans/{index}")

// A row's parenthesised arguments without their parentheses.
#define HALVO_UNPAREN(...) __VA_ARGS__

#endif
