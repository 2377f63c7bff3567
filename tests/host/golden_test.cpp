// Every read call of handle 0 on a fixture machine, printed one value per
// line and compared with the machine's golden file. HALVO_UPDATE_GOLDEN=1
// rewrites the file instead; review the diff before committing it.
#include "board/halvo.h"
#include "host_test_support.h"

#include <cstdio>
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
    template <size_t N> void text(const char *name, const char (&field)[N])
    {
        if (ok_)
            out_ << "  " << name << " = \"" << boundedText(field, N) << "\"\n";
    }
    void number(const char *name, double v)
    {
        if (ok_)
            out_ << "  " << name << " = " << v << "\n";
    }
    std::string str() const { return out_.str(); }

private:
    static std::string boundedText(const char *p, size_t n)
    {
        size_t len = 0;
        while (len < n && p[len] != '\0')
            ++len;
        return std::string(p, len);
    }
    std::ostringstream out_ = [] {
        std::ostringstream s;
        s << std::setprecision(12);
        return s;
    }();
    bool ok_ = false;
};

template <typename Record>
std::vector<Record> list(Dump &d, const char *countName, int32_t (*count)(int32_t, int32_t *), const char *listName,
                         int32_t (*get)(int32_t, Record *, int32_t))
{
    int32_t n = 0;
    d.status(countName, count(0, &n));
    d.number("count", n);
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
    d.status("HalvoGetCpuInfo", HalvoGetCpuInfo(0, &cpu));
    d.text("cpuName", cpu.cpuName);
    d.number("cpuCount", cpu.cpuCount);
    d.number("coreCount", cpu.coreCount);
    d.number("threadCount", cpu.threadCount);
    d.number("maxCoreSpeed", cpu.maxCoreSpeed);
    d.number("fsbSpeed", cpu.fsbSpeed);
    d.number("l1Cache", cpu.l1Cache);
    d.number("l2Cache", cpu.l2Cache);
    d.number("l3Cache", cpu.l3Cache);

    BoardInfo board{};
    d.status("HalvoGetBoardInfo", HalvoGetBoardInfo(0, &board));
    d.text("manufacturer", board.manufacturer);
    d.text("boardName", board.boardName);
    d.text("version", board.version);
    d.text("serialNumber", board.serialNumber);
    d.text("biosRevision", board.biosRevision);
    d.text("biosDate", board.biosDate);

    MemoryInfo memory{};
    d.status("HalvoGetMemoryInfo", HalvoGetMemoryInfo(0, &memory));
    d.number("totalSize", memory.totalSize);
    d.number("freeSize", memory.freeSize);
    d.number("speed", memory.speed);
    d.text("memoryType", memory.memoryType);
    int32_t modules = 0;
    d.status("HalvoGetMemoryModuleCount", HalvoGetMemoryModuleCount(0, &modules));
    d.number("count", modules);
    for (int32_t i = 0; d.ok() && i < modules && i < 64; ++i) {
        MemoryModuleInfo m{};
        d.status("HalvoGetMemoryModuleInfo", HalvoGetMemoryModuleInfo(0, static_cast<int8_t>(i), &m));
        d.number("size", m.size);
        d.text("manufacturer", m.manufacturer);
        d.text("partNumber", m.partNumber);
        d.text("serialNumber", m.serialNumber);
    }

    for (int32_t b = 0; b < 2; ++b) {
        BatteryInfo info{};
        d.status("HalvoGetBatteryInfo", HalvoGetBatteryInfo(0, b, &info));
        d.text("name", info.name);
        d.text("type", info.type);
        d.text("serialNumber", info.serialNumber);
        d.number("designedVoltage", info.designedVoltage);
        d.number("designedCapacity", info.designedCapacity);
        d.number("fullCapacity", info.fullCapacity);
        BatteryState state{};
        d.status("HalvoGetBatteryState", HalvoGetBatteryState(0, b, &state));
        d.number("state", state.state);
        d.number("fullBatteryTime", state.fullBatteryTime);
        d.number("remainingTime", state.remainingTime);
        d.number("remainingCapacity", state.remainingCapacity);
        d.number("voltage", state.voltage);
        d.number("rate", state.rate);
        d.number("chargePercent", state.chargePercent);
    }

    for (const auto &n : list<NetworkDeviceInfo>(d, "HalvoGetNetworkDeviceCount", HalvoGetNetworkDeviceCount,
                                                 "HalvoGetNetworkDeviceList", HalvoGetNetworkDeviceList)) {
        d.text("name", n.name);
        d.text("ipAddress", n.ipAddress);
        d.text("macAddress", n.macAddress);
        d.number("speed", n.speed);
    }
    for (const auto &p : list<PciDeviceInfo>(d, "HalvoGetPciDeviceCount", HalvoGetPciDeviceCount,
                                             "HalvoGetPciDeviceList", HalvoGetPciDeviceList)) {
        char where[64];
        std::snprintf(where, sizeof where, "%04x:%02x:%02x.%x %04x:%04x class %06x", p.domain, p.bus, p.device,
                      p.function, p.value1, p.value3, p.value2);
        d.number(where, 0);
        d.text("text1", p.text1);
        d.text("text2", p.text2);
        d.text("text3", p.text3);
    }
    for (const auto &k : list<DiskDriveInfo>(d, "HalvoGetDiskDriveCount", HalvoGetDiskDriveCount,
                                             "HalvoGetDiskDriveList", HalvoGetDiskDriveList)) {
        d.text("name", k.name);
        d.text("model", k.model);
        d.text("serialNumber", k.serialNumber);
        d.number("size", k.size);
    }
    for (const auto &p : list<DiskPartitionInfo>(d, "HalvoGetDiskDrivePartitionCount", HalvoGetDiskDrivePartitionCount,
                                                 "HalvoGetDiskDrivePartitionList", HalvoGetDiskDrivePartitionList)) {
        d.text("name", p.name);
        d.text("fileSystem", p.fileSystem);
        d.number("size", p.size);
        d.number("freeSpace", p.freeSpace);
    }

    int32_t value = 0;
    d.status("HalvoGetBootCounter", HalvoGetBootCounter(0, &value));
    d.number("counter", value);
    d.status("HalvoGetIntruderStatus", HalvoGetIntruderStatus(0, &value));
    d.number("status", value);
    int32_t timeoutMs = 0;
    d.status("HalvoWatchdogGetState", HalvoWatchdogGetState(0, &value, &timeoutMs));
    d.number("armed", value);
    d.number("timeoutMs", timeoutMs);
    d.status("HalvoSystemUpTime", HalvoSystemUpTime(0, &value));
    d.number("seconds", value);
    for (int32_t kind = 0; kind < 3; ++kind) {
        d.status("HalvoGetCpuFreq", HalvoGetCpuFreq(0, kind, &value));
        d.number("khz", value);
    }

    for (const auto &t : list<TempSensorInfo>(d, "HalvoGetTempSensorCount", HalvoGetTempSensorCount,
                                              "HalvoGetTempSensorList", HalvoGetTempSensorList)) {
        d.text("name", t.name);
        d.number("value", t.value);
    }
    for (const auto &v : list<VoltageSensorInfo>(d, "HalvoGetVoltageSensorCount", HalvoGetVoltageSensorCount,
                                                 "HalvoGetVoltageSensorList", HalvoGetVoltageSensorList)) {
        d.text("name", v.name);
        d.number("value", v.value);
    }
    const auto fans = list<FanInfo>(d, "HalvoGetFanCount", HalvoGetFanCount, "HalvoGetFanList", HalvoGetFanList);
    for (const auto &f : fans) {
        d.text("name", f.name);
        d.number("speed", f.speed);
    }
    for (int32_t sensor = 0; sensor < 2; ++sensor) {
        d.status("HalvoGetCpuTemp", HalvoGetCpuTemp(0, sensor, &value));
        d.number("milliCelsius", value);
    }
    d.status("HalvoGetCpuFanSpeed", HalvoGetCpuFanSpeed(0, &value));
    d.number("rpm", value);
    uint8_t mode = 0;
    d.status("HalvoGetFanMode", HalvoGetFanMode(0, 1, &mode));
    d.number("mode", mode);
    for (int32_t fan = 0; fan < static_cast<int32_t>(fans.size()); ++fan) {
        uint8_t speed = 0;
        d.status("HalvoGetFanSpeed", HalvoGetFanSpeed(0, fan, &speed, &value));
        d.number("speed", speed);
        d.number("rpm", value);
    }
    int8_t type = 0, percent = 0;
    d.status("HalvoGetCpuPerformance", HalvoGetCpuPerformance(0, &type, &percent));
    d.number("type", type);
    d.number("percent", percent);

    int32_t displays = 0;
    d.status("HalvoGetDisplayCount", HalvoGetDisplayCount(0, &displays));
    d.number("count", displays);
    for (int32_t i = 0; d.ok() && i < displays && i < 16; ++i) {
        d.status("HalvoGetBacklightValue", HalvoGetBacklightValue(0, i, &value));
        d.number("value", value);
    }
    int32_t pins = 0;
    d.status("HalvoGpioGetCount", HalvoGpioGetCount(0, &pins));
    d.number("count", pins);
    for (int32_t pin = 0; d.ok() && pin < pins && pin < 256; ++pin) {
        uint8_t direction = 0, level = 0;
        d.status("HalvoGpioGetDirection", HalvoGpioGetDirection(0, pin, &direction));
        d.number("direction", direction);
        d.status("HalvoGpioGetLevel", HalvoGpioGetLevel(0, pin, &level));
        d.number("level", level);
    }
    int32_t storages = 0;
    d.status("HalvoGetStorageCount", HalvoGetStorageCount(0, &storages));
    d.number("count", storages);
    for (int32_t s = 0; d.ok() && s < storages && s < 16; ++s) {
        int32_t size = 0;
        d.status("HalvoGetStorageSize", HalvoGetStorageSize(0, s, &size));
        d.number("size", size);
        char head[16] = {};
        d.status("HalvoStorageRead", HalvoStorageRead(0, s, 0, head, size < 16 ? size : 16));
        std::string hex;
        for (unsigned char c : head)
            hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
        d.number(("bytes " + hex).c_str(), 0);
    }
    uint8_t buses = 0;
    d.status("HalvoGetSmbusCount", HalvoGetSmbusCount(0, &buses));
    d.number("count", buses);
    d.status("HalvoGetI2cBusCount", HalvoGetI2cBusCount(0, &buses));
    d.number("count", buses);
    return d.str();
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
