// Every read call of handle 0 on a fixture machine, printed one value per
// line and compared with the machine's golden file. HALVO_UPDATE_GOLDEN=1
// rewrites the file instead; review the diff before committing it.
#include "board/halvo.h"
#include "host_test_support.h"
#include "libhalvo/backends/sim/halvo_sim.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iomanip>
#include <sstream>
#include <vector>

namespace
{

class Dump
{
public:
    void status(const char *call, int32_t status)
    {
        out_ << call << " -> " << status << " (class " << HALVO_ERROR_CLASS(status) << ")\n";
        ok_ = status == HALVO_STATUS_OK || status == HALVO_STATUS_PARTIAL;
    }
    bool ok() const { return ok_; }
    // Name, value, name, value...: shown only when the call before succeeded.
    void put() {}
    template <typename V, typename... Rest> void put(const char *name, const V &value, const Rest &...rest)
    {
        if (ok_)
            field(name, value);
        put(rest...);
    }
    std::string str() const { return out_.str(); }

private:
    template <size_t N> void field(const char *name, const char (&text)[N])
    {
        out_ << "  " << name << " = \"" << std::string(text, strnlen(text, N)) << "\"\n";
    }
    void field(const char *name, double v) { out_ << "  " << name << " = " << v << "\n"; }

    std::ostringstream out_ = [] {
        std::ostringstream s;
        s << std::setprecision(12);
        return s;
    }();
    bool ok_ = false;
};

#define CALL(function, ...) d.status(#function, function(__VA_ARGS__))

// The count, then the list of `Name`s, as the window reads them.
#define LIST(Record, Name)                                                                                             \
    list<Record>(d, "HalvoGet" #Name "Count", HalvoGet##Name##Count, "HalvoGet" #Name "List", HalvoGet##Name##List)

template <typename Record>
std::vector<Record> list(Dump &d, const char *countName, int32_t (*count)(int32_t, int32_t *), const char *listName,
                         int32_t (*get)(int32_t, Record *, int32_t))
{
    int32_t n = 0;
    d.status(countName, count(0, &n));
    d.put("count", n);
    std::vector<Record> records;
    if (!d.ok() || n <= 0 || n > 4096)
        return records;
    records.resize(static_cast<size_t>(n));
    d.status(listName, get(0, records.data(), n));
    if (!d.ok())
        records.clear();
    return records;
}

std::string dumpBoard()
{
    Dump d;
    CpuInfo cpu{};
    CALL(HalvoGetCpuInfo, 0, &cpu);
    d.put("cpuName", cpu.cpuName, "cpuCount", cpu.cpuCount, "coreCount", cpu.coreCount, "threadCount", cpu.threadCount,
          "maxCoreSpeed", cpu.maxCoreSpeed, "fsbSpeed", cpu.fsbSpeed, "l1Cache", cpu.l1Cache, "l2Cache", cpu.l2Cache,
          "l3Cache", cpu.l3Cache);
    BoardInfo board{};
    CALL(HalvoGetBoardInfo, 0, &board);
    d.put("manufacturer", board.manufacturer, "boardName", board.boardName, "version", board.version, "serialNumber",
          board.serialNumber, "biosRevision", board.biosRevision, "biosDate", board.biosDate);
    MemoryInfo memory{};
    CALL(HalvoGetMemoryInfo, 0, &memory);
    d.put("totalSize", memory.totalSize, "freeSize", memory.freeSize, "speed", memory.speed, "memoryType",
          memory.memoryType);
    int32_t modules = 0;
    CALL(HalvoGetMemoryModuleCount, 0, &modules);
    d.put("count", modules);
    for (int32_t i = 0; d.ok() && i < modules && i < 64; ++i) {
        MemoryModuleInfo m{};
        CALL(HalvoGetMemoryModuleInfo, 0, static_cast<int8_t>(i), &m);
        d.put("size", m.size, "manufacturer", m.manufacturer, "partNumber", m.partNumber, "serialNumber",
              m.serialNumber);
    }

    for (int32_t b = 0; b < 2; ++b) {
        BatteryInfo info{};
        CALL(HalvoGetBatteryInfo, 0, b, &info);
        d.put("name", info.name, "type", info.type, "serialNumber", info.serialNumber, "designedVoltage",
              info.designedVoltage, "designedCapacity", info.designedCapacity, "fullCapacity", info.fullCapacity);
        BatteryState state{};
        CALL(HalvoGetBatteryState, 0, b, &state);
        d.put("state", state.state, "fullBatteryTime", state.fullBatteryTime, "remainingTime", state.remainingTime,
              "remainingCapacity", state.remainingCapacity, "voltage", state.voltage, "rate", state.rate,
              "chargePercent", state.chargePercent);
    }

    for (const auto &n : LIST(NetworkDeviceInfo, NetworkDevice))
        d.put("name", n.name, "ipAddress", n.ipAddress, "macAddress", n.macAddress, "speed", n.speed);
    for (const auto &p : LIST(PciDeviceInfo, PciDevice)) {
        char where[64];
        std::snprintf(where, sizeof where, "%04x:%02x:%02x.%x %04x:%04x class %06x", p.domain, p.bus, p.device,
                      p.function, p.value1, p.value3, p.value2);
        d.put(where, 0, "text1", p.text1, "text2", p.text2, "text3", p.text3);
    }
    for (const auto &k : LIST(DiskDriveInfo, DiskDrive))
        d.put("name", k.name, "model", k.model, "serialNumber", k.serialNumber, "size", k.size);
    for (const auto &p : LIST(DiskPartitionInfo, DiskDrivePartition))
        d.put("name", p.name, "fileSystem", p.fileSystem, "size", p.size, "freeSpace", p.freeSpace);

    int32_t value = 0, timeoutMs = 0;
    CALL(HalvoGetBootCounter, 0, &value);
    d.put("counter", value);
    CALL(HalvoGetIntruderStatus, 0, &value);
    d.put("status", value);
    CALL(HalvoWatchdogGetState, 0, &value, &timeoutMs);
    d.put("armed", value, "timeoutMs", timeoutMs);
    CALL(HalvoSystemUpTime, 0, &value);
    d.put("seconds", value);
    for (int32_t kind = 0; kind < 3; ++kind) {
        CALL(HalvoGetCpuFreq, 0, kind, &value);
        d.put("khz", value);
    }

    for (const auto &t : LIST(TempSensorInfo, TempSensor))
        d.put("name", t.name, "value", t.value);
    for (const auto &v : LIST(VoltageSensorInfo, VoltageSensor))
        d.put("name", v.name, "value", v.value);
    const auto fans = LIST(FanInfo, Fan);
    for (const auto &f : fans)
        d.put("name", f.name, "speed", f.speed);
    for (int32_t sensor = 0; sensor < 2; ++sensor) {
        CALL(HalvoGetCpuTemp, 0, sensor, &value);
        d.put("milliCelsius", value);
    }
    CALL(HalvoGetCpuFanSpeed, 0, &value);
    d.put("rpm", value);
    uint8_t mode = 0;
    CALL(HalvoGetFanMode, 0, 1, &mode);
    d.put("mode", mode);
    for (int32_t fan = 0; fan < static_cast<int32_t>(fans.size()); ++fan) {
        uint8_t speed = 0;
        CALL(HalvoGetFanSpeed, 0, fan, &speed, &value);
        d.put("speed", speed, "rpm", value);
    }
    int8_t type = 0, percent = 0;
    CALL(HalvoGetCpuPerformance, 0, &type, &percent);
    d.put("type", type, "percent", percent);

    int32_t displays = 0, pins = 0, storages = 0;
    CALL(HalvoGetDisplayCount, 0, &displays);
    d.put("count", displays);
    for (int32_t i = 0; d.ok() && i < displays && i < 16; ++i) {
        CALL(HalvoGetBacklightValue, 0, i, &value);
        d.put("value", value);
    }
    CALL(HalvoGpioGetCount, 0, &pins);
    d.put("count", pins);
    for (int32_t pin = 0; d.ok() && pin < pins && pin < 256; ++pin) {
        uint8_t direction = 0, level = 0;
        CALL(HalvoGpioGetDirection, 0, pin, &direction);
        d.put("direction", direction);
        CALL(HalvoGpioGetLevel, 0, pin, &level);
        d.put("level", level);
    }
    CALL(HalvoGetStorageCount, 0, &storages);
    d.put("count", storages);
    for (int32_t s = 0; d.ok() && s < storages && s < 16; ++s) {
        int32_t size = 0;
        CALL(HalvoGetStorageSize, 0, s, &size);
        d.put("size", size);
        char head[16] = {};
        CALL(HalvoStorageRead, 0, s, 0, head, size < 16 ? size : 16);
        std::string hex;
        for (unsigned char c : head)
            hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
        d.put(("bytes " + hex).c_str(), 0);
    }
    uint8_t buses = 0;
    CALL(HalvoGetSmbusCount, 0, &buses);
    d.put("count", buses);
    CALL(HalvoGetI2cBusCount, 0, &buses);
    d.put("count", buses);
    return d.str();
}

// With the real machine as handle 0 nothing is simulated: the demo's
// addresses, and the ones it used to have, go to the network (refused here,
// where only loopback may be reached) like any other, and so does AMT.
TEST(AnyMachine, NoAddressReachesASimulatedBoard)
{
    for (const char *address : {"192.0.2.10", "192.0.2.20", "192.168.1.20"}) {
        int32_t handle = -1;
        EXPECT_EQ(HALVO_CLASS_CONNECTION,
                  HALVO_ERROR_CLASS(HalvoLibInitialize(address, HALVO_LIBINIT_PORT, &handle, 0, 0)))
            << address;
        int32_t state = -1;
        EXPECT_EQ(HALVO_CLASS_CONNECTION,
                  HALVO_ERROR_CLASS(HalvoGetSystemStateAmt(address, "admin", "Pawtrel*5", &state)))
            << address;
    }
    EXPECT_EQ(HALVO_CLASS_ARGUMENT, HALVO_ERROR_CLASS(halvo_sim_patch_board(nullptr, "{}")));
    EXPECT_NE(std::string(halvo_sim_last_error()).find("not in use"), std::string::npos);
}

TEST(AnyMachine, EveryReadCallMatchesTheGoldenFile)
{
    const std::string machine = halvo::test::fixtureMachine();
    ASSERT_FALSE(machine.empty()) << "run through run-on-fixture";
    const char *dir = std::getenv("HALVO_GOLDEN_DIR");
    ASSERT_NE(dir, nullptr);
    const std::string path = std::string(dir) + "/" + machine + ".txt";
    const std::string actual = dumpBoard();
    if (const char *update = std::getenv("HALVO_UPDATE_GOLDEN"); update && std::string(update) == "1") {
        std::ofstream(path) << actual;
        GTEST_SKIP() << "rewrote " << path;
    }
    std::ifstream in(path);
    std::stringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(actual, expected.str()) << "golden file " << path;
}

} // namespace
