/*
 * halvo.h - the board API (libhalvo.so.1) as halvo-gui and its tools see it.
 *
 * Status rule (one rule for every function below):
 *   - every function returns an int32_t status; 0 is success;
 *   - HALVO_STATUS_PARTIAL (16) is success too for the information and list
 *     reads that name it below; the outputs are then valid;
 *   - any other value is a failure: the upper 16 bits, read as an unsigned
 *     16-bit number, are the error class (HALVO_ERROR_CLASS), the lower 16 bits
 *     are not interpreted by callers;
 *   - class 1 (HALVO_CLASS_CONNECTION) means the connection to the board is
 *     lost;
 *   - on failure no out-parameter is written.
 *   No function throws, calls abort, or keeps a pointer it was given past its
 *   return.
 *
 * Handles: the first argument of nearly every function. Handle 0 is the local
 * board and needs no HalvoLibInitialize; HalvoLibInitialize returns a new
 * handle for a remote board and HalvoLibUnInitialize closes it.
 *
 * Buffers: every pointer argument is owned by the caller, for the length of the
 * call only. Lists follow one convention: a Count function writes the number of
 * items; the caller allocates that many records and passes the array and the
 * count to the List function, which writes exactly `count` records (records
 * beyond the board's items are zero-filled) and returns HALVO_STATUS_PARTIAL when
 * the count differs from the board's number of items. No list call is made with
 * a count of 0 or less.
 *
 * Threads: every function may be called from any thread, also at the same
 * time as other calls. Calls on one handle are carried out one at a time, each
 * as a whole, so a caller never sees a record half written by another call; a
 * call racing HalvoLibUnInitialize of its handle either completes first or
 * fails with HALVO_CLASS_HANDLE. The library starts no threads and calls back
 * into nothing. The caller must not change a buffer while a call that was
 * given it runs, and every call must have returned before the process exits.
 *
 * Records: little-endian, 4-byte integers, IEEE single floats, no padding.
 * Texts are 8-bit (Latin-1) in fixed 128-byte arrays; the library writes a NUL
 * when the text is shorter, but a 128-byte text fills the array without one, so
 * readers must bound their reads by the array (strnlen(text, HALVO_TEXT_SIZE),
 * never strlen).
 */
#ifndef HALVO_H
#define HALVO_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define HALVO_API __attribute__((visibility("default")))
#else
#define HALVO_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
    HALVO_STATUS_OK = 0,
    HALVO_STATUS_PARTIAL = 16,
    HALVO_TEXT_SIZE = 128,
    HALVO_BLOCK_BUFFER_SIZE = 128, /* room the caller gives block and I2C reads */
    HALVO_SMBUS_BLOCK_MAX = 32,    /* bytes of one SMBus block, read or written */
    HALVO_I2C_WRITE_MAX = 8192,    /* bytes of one I2C write */
    HALVO_LIBINIT_PORT = 7890,
};

/* Error classes (upper 16 bits of a failed status). */
enum {
    HALVO_CLASS_CONNECTION = 1,  /* board unreachable or connection lost */
    HALVO_CLASS_ARGUMENT = 2,    /* bad argument: null pointer, index out of range */
    HALVO_CLASS_UNSUPPORTED = 3, /* the board lacks the function or refuses it */
    HALVO_CLASS_DEVICE = 4,      /* a bus device did not answer, or an I/O error */
    HALVO_CLASS_HANDLE = 5,      /* unknown or closed handle */
    HALVO_CLASS_ACCESS = 6,      /* access refused: AMT credentials, or no
                                    permission on this machine */
};

#define HALVO_ERROR_CLASS(status) ((uint16_t)(((uint32_t)(status)) >> 16))
#define HALVO_MAKE_ERROR(cls, detail) ((int32_t)((((uint32_t)(cls)) << 16) | ((uint32_t)(detail)&0xffffu)))

/* ---- Records ------------------------------------------------------------ */

typedef struct CpuInfo {
    char cpuName[128];
    int32_t cpuCount;
    int32_t coreCount;
    int32_t threadCount;
    float maxCoreSpeed; /* MHz */
    int32_t fsbSpeed;   /* MHz */
    int32_t l1Cache;    /* kB */
    int32_t l2Cache;    /* kB */
    int32_t l3Cache;    /* kB */
} CpuInfo;

typedef struct BoardInfo {
    char manufacturer[128];
    char boardName[128];
    char version[128];
    char serialNumber[128];
    char biosRevision[128];
    char biosDate[128];
} BoardInfo;

typedef struct MemoryInfo {
    int32_t totalSize; /* MB */
    int32_t freeSize;  /* MB */
    int32_t speed;     /* MHz */
    char memoryType[128];
} MemoryInfo;

typedef struct MemoryModuleInfo {
    int32_t size; /* MB */
    char manufacturer[128];
    char partNumber[128];
    char serialNumber[128];
} MemoryModuleInfo;

typedef struct BatteryInfo {
    char name[128];
    char type[128];
    char serialNumber[128];
    int32_t designedVoltage;  /* mV */
    int32_t designedCapacity; /* mAh */
    int32_t fullCapacity;     /* mAh */
    int32_t reserved;
} BatteryInfo;

typedef struct NetworkDeviceInfo {
    char ipAddress[128];
    char macAddress[128];
    int32_t speed; /* Mb */
    char name[128];
} NetworkDeviceInfo;

typedef struct PciDeviceInfo {
    int32_t bus;
    int32_t domain;
    int32_t device;
    int32_t function;
    int32_t value1;  /* vendor id */
    int32_t value2;  /* class code */
    int32_t value3;  /* device id */
    char text1[128]; /* vendor name */
    char text2[128]; /* class name */
    char text3[128]; /* device name */
} PciDeviceInfo;

typedef struct DiskDriveInfo {
    char name[128];
    char model[128];
    char serialNumber[128];
    uint32_t size; /* MB */
} DiskDriveInfo;

typedef struct DiskPartitionInfo {
    char name[128];
    char fileSystem[128];
    uint32_t size;      /* MB */
    uint32_t freeSpace; /* MB */
} DiskPartitionInfo;

typedef struct BatteryState {
    int32_t state;             /* 0 charging, 1 on AC power, 2 discharging */
    int32_t fullBatteryTime;   /* s */
    int32_t remainingTime;     /* s */
    int32_t remainingCapacity; /* mAh */
    int32_t voltage;           /* mV */
    int32_t rate;              /* mA */
    int32_t chargePercent;
    int32_t reserved;
} BatteryState;

typedef struct TempSensorInfo {
    char name[128];
    int32_t value; /* thousandths of a degree Celsius */
} TempSensorInfo;

typedef struct VoltageSensorInfo {
    char name[128];
    int32_t value; /* mV */
} VoltageSensorInfo;

typedef struct FanInfo {
    char name[128];
    uint32_t speed; /* rpm */
    int32_t reserved;
} FanInfo;

/* ---- Connection ----------------------------------------------------------- */

/* address: NUL-terminated text; port: HALVO_LIBINIT_PORT; reserved1/2: 0.
 * Writes the new handle to *handle on success. */
HALVO_API int32_t HalvoLibInitialize(const char *address, int32_t port, int32_t *handle, int32_t reserved1,
                                     int32_t reserved2);
/* Closes a handle from HalvoLibInitialize; closing handle 0 is accepted and
 * leaves the local board usable. */
HALVO_API int32_t HalvoLibUnInitialize(int32_t handle);

/* ---- Information (0 or HALVO_STATUS_PARTIAL on success) ------------------- */

HALVO_API int32_t HalvoGetCpuInfo(int32_t handle, CpuInfo *info);
HALVO_API int32_t HalvoGetBoardInfo(int32_t handle, BoardInfo *info);
HALVO_API int32_t HalvoGetMemoryInfo(int32_t handle, MemoryInfo *info);
HALVO_API int32_t HalvoGetMemoryModuleCount(int32_t handle, int32_t *count);
HALVO_API int32_t HalvoGetMemoryModuleInfo(int32_t handle, int8_t index, MemoryModuleInfo *info);
HALVO_API int32_t HalvoGetBatteryInfo(int32_t handle, int32_t battery, BatteryInfo *info);
HALVO_API int32_t HalvoGetBatteryState(int32_t handle, int32_t battery, BatteryState *state);
HALVO_API int32_t HalvoGetNetworkDeviceCount(int32_t handle, int32_t *count);
HALVO_API int32_t HalvoGetNetworkDeviceList(int32_t handle, NetworkDeviceInfo *list, int32_t count);
HALVO_API int32_t HalvoGetPciDeviceCount(int32_t handle, int32_t *count);
HALVO_API int32_t HalvoGetPciDeviceList(int32_t handle, PciDeviceInfo *list, int32_t count);
HALVO_API int32_t HalvoGetDiskDriveCount(int32_t handle, int32_t *count);
HALVO_API int32_t HalvoGetDiskDriveList(int32_t handle, DiskDriveInfo *list, int32_t count);
HALVO_API int32_t HalvoGetDiskDrivePartitionCount(int32_t handle, int32_t *count);
HALVO_API int32_t HalvoGetDiskDrivePartitionList(int32_t handle, DiskPartitionInfo *list, int32_t count);
HALVO_API int32_t HalvoGetBootCounter(int32_t handle, int32_t *counter);
HALVO_API int32_t HalvoGetIntruderStatus(int32_t handle, int32_t *status); /* 0 closed, 1 case opened */
HALVO_API int32_t HalvoSystemUpTime(int32_t handle, int32_t *seconds);
/* kind: 0 minimum, 1 maximum, 2 current; kHz. */
HALVO_API int32_t HalvoGetCpuFreq(int32_t handle, int32_t kind, int32_t *khz);

/* ---- Sensors ---------------------------------------------------------------- */

HALVO_API int32_t HalvoGetTempSensorCount(int32_t handle, int32_t *count);
HALVO_API int32_t HalvoGetTempSensorList(int32_t handle, TempSensorInfo *list, int32_t count);
HALVO_API int32_t HalvoGetVoltageSensorCount(int32_t handle, int32_t *count);
HALVO_API int32_t HalvoGetVoltageSensorList(int32_t handle, VoltageSensorInfo *list, int32_t count);
HALVO_API int32_t HalvoGetFanCount(int32_t handle, int32_t *count);
HALVO_API int32_t HalvoGetFanList(int32_t handle, FanInfo *list, int32_t count);
HALVO_API int32_t HalvoGetCpuTemp(int32_t handle, int32_t sensor, int32_t *milliCelsius);
HALVO_API int32_t HalvoGetCpuFanSpeed(int32_t handle, int32_t *rpm);
/* One record of a list above, read on its own (index 0 .. count - 1, as in the
 * list). A list call fails as a whole (HALVO_CLASS_DEVICE) when any of its
 * sensors gives no reading; these fail for that sensor only, so that a reader
 * such as a metrics exporter can keep the others. */
HALVO_API int32_t HalvoGetTempSensor(int32_t handle, int32_t index, TempSensorInfo *sensor);
HALVO_API int32_t HalvoGetVoltageSensor(int32_t handle, int32_t index, VoltageSensorInfo *sensor);
HALVO_API int32_t HalvoGetFan(int32_t handle, int32_t index, FanInfo *fan);

/* ---- CPU fan and performance ------------------------------------------------ */

/* fan: 1 is the CPU fan; *mode: 1 manual, 2 Thermal Cruise. */
HALVO_API int32_t HalvoGetFanMode(int32_t handle, int32_t fan, uint8_t *mode);
/* fan: index in the fan list; *speed: duty 0..255; *value: rpm. */
HALVO_API int32_t HalvoGetFanSpeed(int32_t handle, int32_t fan, uint8_t *speed, int32_t *value);
/* Puts the CPU fan under manual control at duty speed 0..255. */
HALVO_API int32_t HalvoSetCpuFanSpeed(int32_t handle, uint8_t speed);
/* fan: index in the fan list; target and tolerance in thousandths of a degree. */
HALVO_API int32_t HalvoSetFanModeThermalCruise(int32_t handle, int32_t fan, int32_t target, int32_t tolerance);
/* type: 0 high performance, 1 power save, 2 on demand, 3 conservative;
 * percent: 10..100, or 0 when the board offers types only. */
HALVO_API int32_t HalvoGetCpuPerformance(int32_t handle, int8_t *type, int8_t *percent);
HALVO_API int32_t HalvoSetCpuPerformance(int32_t handle, uint8_t type, int8_t percent);

/* ---- Display, watchdog, GPIO, storage ------------------------------------- */

HALVO_API int32_t HalvoGetDisplayCount(int32_t handle, int32_t *count);
HALVO_API int32_t HalvoGetBacklightValue(int32_t handle, int32_t display, int32_t *value); /* 0..100 */
HALVO_API int32_t HalvoSetBacklightValue(int32_t handle, int32_t display, int32_t value);
HALVO_API int32_t HalvoWatchdogEnable(int32_t handle, int32_t timeoutMs);
HALVO_API int32_t HalvoWatchdogTrigger(int32_t handle);
HALVO_API int32_t HalvoWatchdogDisable(int32_t handle);
/* armed: 1 while the watchdog counts down, else 0; timeoutMs: the timeout it
 * counts (0 while disarmed). A watchdog another program armed reads as armed
 * when the board can tell. */
HALVO_API int32_t HalvoWatchdogGetState(int32_t handle, int32_t *armed, int32_t *timeoutMs);
HALVO_API int32_t HalvoGpioGetCount(int32_t handle, int32_t *count);
/* direction: 0 input, 1 output (a read may report any non-zero for output). */
HALVO_API int32_t HalvoGpioGetDirection(int32_t handle, int32_t pin, uint8_t *direction);
HALVO_API int32_t HalvoGpioSetDirection(int32_t handle, int32_t pin, uint8_t direction);
HALVO_API int32_t HalvoGpioGetLevel(int32_t handle, int32_t pin, uint8_t *level);
HALVO_API int32_t HalvoGpioSetLevel(int32_t handle, int32_t pin, uint8_t level);
HALVO_API int32_t HalvoGetStorageCount(int32_t handle, int32_t *count);
HALVO_API int32_t HalvoGetStorageSize(int32_t handle, int32_t storage, int32_t *size);
/* Reads `length` bytes at `offset` into buffer (no NUL is added). */
HALVO_API int32_t HalvoStorageRead(int32_t handle, int32_t storage, int32_t offset, char *buffer, int32_t length);
HALVO_API int32_t HalvoStorageWrite(int32_t handle, int32_t storage, int32_t offset, const char *bytes, int32_t length);

/* ---- SMBus and I2C ------------------------------------------------------------
 * Slave addresses are passed as typed (7-bit form). */

HALVO_API int32_t HalvoGetSmbusCount(int32_t handle, uint8_t *count);
HALVO_API int32_t HalvoSmbusQuickCommand(int32_t handle, uint8_t bus, uint8_t address, uint8_t readWrite);
HALVO_API int32_t HalvoSmbusSendByte(int32_t handle, uint8_t bus, uint8_t address, uint8_t data);
HALVO_API int32_t HalvoSmbusReceiveByte(int32_t handle, uint8_t bus, uint8_t address, uint8_t *data);
HALVO_API int32_t HalvoSmbusWriteByte(int32_t handle, uint8_t bus, uint8_t address, uint8_t command, uint8_t data);
HALVO_API int32_t HalvoSmbusReadByte(int32_t handle, uint8_t bus, uint8_t address, uint8_t command, uint8_t *data);
HALVO_API int32_t HalvoSmbusWriteWord(int32_t handle, uint8_t bus, uint8_t address, uint8_t command, uint16_t data);
HALVO_API int32_t HalvoSmbusReadWord(int32_t handle, uint8_t bus, uint8_t address, uint8_t command, uint16_t *data);
/* count: 1..HALVO_SMBUS_BLOCK_MAX bytes. */
HALVO_API int32_t HalvoSmbusWriteBlock(int32_t handle, uint8_t bus, uint8_t address, uint8_t command,
                                       const uint8_t *data, uint8_t count);
/* buffer: HALVO_BLOCK_BUFFER_SIZE bytes; at most HALVO_SMBUS_BLOCK_MAX are
 * written; *count receives their number. */
HALVO_API int32_t HalvoSmbusReadBlock(int32_t handle, uint8_t bus, uint8_t address, uint8_t command, uint8_t *buffer,
                                      uint8_t *count);
HALVO_API int32_t HalvoGetI2cBusCount(int32_t handle, uint8_t *count);
/* buffer: HALVO_BLOCK_BUFFER_SIZE bytes; *count: in, bytes wanted; out, bytes
 * delivered, never more than HALVO_BLOCK_BUFFER_SIZE. useMemoryAddress: 1 to
 * set the device's memory address first, 0 to read from where it stands. */
HALVO_API int32_t HalvoI2cRead(int32_t handle, uint8_t bus, uint8_t address, uint8_t memoryAddress,
                               uint8_t useMemoryAddress, uint8_t *buffer, uint32_t *count);
/* count: at most HALVO_I2C_WRITE_MAX bytes. */
HALVO_API int32_t HalvoI2cWrite(int32_t handle, uint8_t bus, uint8_t address, uint8_t memoryAddress,
                                const uint8_t *data, uint32_t count);

/* ---- Power state -------------------------------------------------------------
 * The AMT functions name the board by IP address and credentials,
 * NUL-terminated; the password is never logged. */

enum {
    HALVO_SYSTEM_STATE_ON = 0,
    HALVO_SYSTEM_STATE_OFF = 1,
    HALVO_SYSTEM_STATE_HIBERNATED = 2,
    HALVO_SYSTEM_STATE_RESTART = 3, /* request only */
    HALVO_SYSTEM_STATE_UNKNOWN = 4, /* reply only: sleeping, power cycling, or
                                       a state this library has no code for */
};

HALVO_API int32_t HalvoGetSystemStateAmt(const char *ipAddress, const char *userName, const char *password,
                                         int32_t *state);
HALVO_API int32_t HalvoSetSystemStateAmt(const char *ipAddress, const char *userName, const char *password,
                                         int32_t state);
HALVO_API int32_t HalvoSetSystemState(int32_t handle, int32_t state);

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(CpuInfo) == 160, "CpuInfo size");
static_assert(offsetof(CpuInfo, cpuCount) == 128 && offsetof(CpuInfo, coreCount) == 132 &&
                  offsetof(CpuInfo, threadCount) == 136 && offsetof(CpuInfo, maxCoreSpeed) == 140 &&
                  offsetof(CpuInfo, fsbSpeed) == 144 && offsetof(CpuInfo, l1Cache) == 148 &&
                  offsetof(CpuInfo, l2Cache) == 152 && offsetof(CpuInfo, l3Cache) == 156,
              "CpuInfo layout");
static_assert(sizeof(BoardInfo) == 768, "BoardInfo size");
static_assert(offsetof(BoardInfo, boardName) == 128 && offsetof(BoardInfo, version) == 256 &&
                  offsetof(BoardInfo, serialNumber) == 384 && offsetof(BoardInfo, biosRevision) == 512 &&
                  offsetof(BoardInfo, biosDate) == 640,
              "BoardInfo layout");
static_assert(sizeof(MemoryInfo) == 140, "MemoryInfo size");
static_assert(offsetof(MemoryInfo, freeSize) == 4 && offsetof(MemoryInfo, speed) == 8 &&
                  offsetof(MemoryInfo, memoryType) == 12,
              "MemoryInfo layout");
static_assert(sizeof(MemoryModuleInfo) == 388, "MemoryModuleInfo size");
static_assert(offsetof(MemoryModuleInfo, manufacturer) == 4 && offsetof(MemoryModuleInfo, partNumber) == 132 &&
                  offsetof(MemoryModuleInfo, serialNumber) == 260,
              "MemoryModuleInfo layout");
static_assert(sizeof(BatteryInfo) == 400, "BatteryInfo size");
static_assert(offsetof(BatteryInfo, type) == 128 && offsetof(BatteryInfo, serialNumber) == 256 &&
                  offsetof(BatteryInfo, designedVoltage) == 384 && offsetof(BatteryInfo, designedCapacity) == 388 &&
                  offsetof(BatteryInfo, fullCapacity) == 392,
              "BatteryInfo layout");
static_assert(sizeof(NetworkDeviceInfo) == 388, "NetworkDeviceInfo size");
static_assert(offsetof(NetworkDeviceInfo, macAddress) == 128 && offsetof(NetworkDeviceInfo, speed) == 256 &&
                  offsetof(NetworkDeviceInfo, name) == 260,
              "NetworkDeviceInfo layout");
static_assert(sizeof(PciDeviceInfo) == 412, "PciDeviceInfo size");
static_assert(offsetof(PciDeviceInfo, domain) == 4 && offsetof(PciDeviceInfo, device) == 8 &&
                  offsetof(PciDeviceInfo, function) == 12 && offsetof(PciDeviceInfo, value1) == 16 &&
                  offsetof(PciDeviceInfo, value2) == 20 && offsetof(PciDeviceInfo, value3) == 24 &&
                  offsetof(PciDeviceInfo, text1) == 28 && offsetof(PciDeviceInfo, text2) == 156 &&
                  offsetof(PciDeviceInfo, text3) == 284,
              "PciDeviceInfo layout");
static_assert(sizeof(DiskDriveInfo) == 388, "DiskDriveInfo size");
static_assert(offsetof(DiskDriveInfo, model) == 128 && offsetof(DiskDriveInfo, serialNumber) == 256 &&
                  offsetof(DiskDriveInfo, size) == 384,
              "DiskDriveInfo layout");
static_assert(sizeof(DiskPartitionInfo) == 264, "DiskPartitionInfo size");
static_assert(offsetof(DiskPartitionInfo, fileSystem) == 128 && offsetof(DiskPartitionInfo, size) == 256 &&
                  offsetof(DiskPartitionInfo, freeSpace) == 260,
              "DiskPartitionInfo layout");
static_assert(sizeof(BatteryState) == 32, "BatteryState size");
static_assert(offsetof(BatteryState, fullBatteryTime) == 4 && offsetof(BatteryState, remainingTime) == 8 &&
                  offsetof(BatteryState, remainingCapacity) == 12 && offsetof(BatteryState, voltage) == 16 &&
                  offsetof(BatteryState, rate) == 20 && offsetof(BatteryState, chargePercent) == 24,
              "BatteryState layout");
static_assert(sizeof(TempSensorInfo) == 132 && offsetof(TempSensorInfo, value) == 128, "TempSensorInfo layout");
static_assert(sizeof(VoltageSensorInfo) == 132 && offsetof(VoltageSensorInfo, value) == 128,
              "VoltageSensorInfo layout");
static_assert(sizeof(FanInfo) == 136 && offsetof(FanInfo, speed) == 128, "FanInfo layout");
#endif /* __cplusplus */

#endif /* HALVO_H */
