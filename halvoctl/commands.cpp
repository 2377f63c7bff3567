#include "commands.h"

#include "libhalvo/remote/wire.h"
#include "values.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace halvoctl
{

namespace
{

using halvo::remote::toJson;

constexpr size_t kAny = SIZE_MAX;
// The agent carries at most 64 KiB of storage bytes in one call.
constexpr int32_t kMaxStorageBytes = 64 * 1024;
// The board API has no battery count; more than this is no battery pack.
constexpr int32_t kMaxBatteries = 8;

template <typename R> Json jsonList(const std::vector<R> &records)
{
    Json list = Json::array();
    for (const R &r : records)
        list.push_back(toJson(r));
    return list;
}

// A failure the board did not report but that has its class: what was asked
// lies outside what the board just said it has.
[[noreturn]] void refuse(int cls, const std::string &what)
{
    throw Failure{HALVO_MAKE_ERROR(cls, 0), what};
}

// ---- Reports: info, status, sensors -----------------------------------------------------------

// Batteries by index from 0 until the board refuses an index as out of range.
template <typename R>
std::vector<R> readBatteries(Context &c, int32_t (*call)(int32_t, int32_t, R *), const std::string &what)
{
    std::vector<R> records;
    for (int32_t i = 0; i < kMaxBatteries; ++i) {
        R r{};
        const int32_t status = call(c.handle, i, &r);
        if (i > 0 && HALVO_ERROR_CLASS(status) == HALVO_CLASS_ARGUMENT)
            break;
        c.check(status, what);
        records.push_back(r);
    }
    return records;
}

void showBoard(Context &c)
{
    BoardInfo b{};
    const bool board = c.part([&] { c.check(HalvoGetBoardInfo(c.handle, &b), "board information"); });
    int32_t boots = 0;
    const bool counted = c.part([&] { c.check(HalvoGetBootCounter(c.handle, &boots), "boot counter"); });
    c.doc["boardInfo"] = board ? toJson(b) : Json();
    c.doc["bootCounter"] = counted ? Json(boots) : Json();
    c.text.heading("Board");
    if (board) {
        c.text.row("Manufacturer", boardText(b.manufacturer));
        c.text.row("Board name", boardText(b.boardName));
        c.text.row("Version", boardText(b.version));
        c.text.row("Serial number", boardText(b.serialNumber));
        c.text.row("BIOS revision", boardText(b.biosRevision));
        c.text.row("BIOS date", boardText(b.biosDate));
    }
    c.text.row("Boot counter", counted ? std::to_string(boots) : "Not available");
}

void showCpu(Context &c)
{
    CpuInfo cpu{};
    if (!c.part([&] { c.check(HalvoGetCpuInfo(c.handle, &cpu), "CPU information"); }))
        return c.unavailable("cpuInfo", "CPU");
    c.doc["cpuInfo"] = toJson(cpu);
    c.text.heading("CPU");
    c.text.row("Name", boardText(cpu.cpuName));
    c.text.row("CPUs", std::to_string(cpu.cpuCount));
    c.text.row("Cores", std::to_string(cpu.coreCount));
    c.text.row("Threads", std::to_string(cpu.threadCount));
    c.text.row("Max. core speed", decimalText(cpu.maxCoreSpeed) + " MHz");
    c.text.row("FSB speed", std::to_string(cpu.fsbSpeed) + " MHz");
    c.text.row("L1 cache", std::to_string(cpu.l1Cache) + " kB");
    c.text.row("L2 cache", std::to_string(cpu.l2Cache) + " kB");
    c.text.row("L3 cache", std::to_string(cpu.l3Cache) + " kB");
}

void showMemory(Context &c)
{
    MemoryInfo m{};
    if (!c.part([&] { c.check(HalvoGetMemoryInfo(c.handle, &m), "memory information"); })) {
        c.unavailable("memoryInfo", "Memory");
    } else {
        c.doc["memoryInfo"] = toJson(m);
        c.text.heading("Memory");
        c.text.row("Total size", std::to_string(m.totalSize) + " MB");
        c.text.row("Free size", std::to_string(m.freeSize) + " MB");
        c.text.row("Speed", std::to_string(m.speed) + " MHz");
        c.text.row("Type", boardText(m.memoryType));
    }

    std::vector<MemoryModuleInfo> modules;
    const bool read = c.part([&] {
        int32_t count = 0;
        c.check(HalvoGetMemoryModuleCount(c.handle, &count), "memory modules");
        // Module indexes are signed bytes on the board API.
        for (int32_t i = 0; i < std::min(count, int32_t{INT8_MAX}); ++i) {
            MemoryModuleInfo module{};
            c.check(HalvoGetMemoryModuleInfo(c.handle, static_cast<int8_t>(i), &module),
                    "memory module " + std::to_string(i));
            modules.push_back(module);
        }
    });
    if (!read)
        return c.unavailable("memoryModules", "Memory modules");
    c.doc["memoryModules"] = jsonList(modules);
    for (size_t i = 0; i < modules.size(); ++i) {
        c.text.heading("Memory module " + std::to_string(i));
        c.text.row("Size", std::to_string(modules[i].size) + " MB");
        c.text.row("Manufacturer", boardText(modules[i].manufacturer));
        c.text.row("Part number", boardText(modules[i].partNumber));
        c.text.row("Serial number", boardText(modules[i].serialNumber));
    }
}

void showBatteryInfo(Context &c)
{
    std::vector<BatteryInfo> batteries;
    if (!c.part([&] { batteries = readBatteries(c, HalvoGetBatteryInfo, "battery information"); }))
        return c.unavailable("batteries", "Battery");
    c.doc["batteries"] = jsonList(batteries);
    for (size_t i = 0; i < batteries.size(); ++i) {
        const BatteryInfo &b = batteries[i];
        c.text.heading("Battery " + std::to_string(i));
        c.text.row("Name", boardText(b.name));
        c.text.row("Type", boardText(b.type));
        c.text.row("Serial number", boardText(b.serialNumber));
        c.text.row("Designed voltage", std::to_string(b.designedVoltage) + " mV");
        c.text.row("Designed capacity", std::to_string(b.designedCapacity) + " mAh");
        c.text.row("Full capacity", std::to_string(b.fullCapacity) + " mAh");
    }
}

void showNetwork(Context &c)
{
    std::vector<NetworkDeviceInfo> devices;
    if (!c.part(
            [&] { devices = readList(c, HalvoGetNetworkDeviceCount, HalvoGetNetworkDeviceList, "network devices"); }))
        return c.unavailable("networkDevices", "Network");
    c.doc["networkDevices"] = jsonList(devices);
    for (const NetworkDeviceInfo &d : devices) {
        c.text.heading("Network device " + boardText(d.name));
        c.text.row("IP address", boardText(d.ipAddress));
        c.text.row("MAC address", boardText(d.macAddress));
        c.text.row("Speed", std::to_string(d.speed) + " Mb");
    }
}

void showPci(Context &c)
{
    std::vector<PciDeviceInfo> devices;
    if (!c.part([&] { devices = readList(c, HalvoGetPciDeviceCount, HalvoGetPciDeviceList, "PCI devices"); }))
        return c.unavailable("pciDevices", "PCI devices");
    c.doc["pciDevices"] = jsonList(devices);
    c.text.heading("PCI devices");
    std::vector<std::vector<std::string>> rows = {{"Address", "Device", "Class", "Vendor"}};
    for (const PciDeviceInfo &d : devices) {
        char address[32], ids[24], cls[16];
        std::snprintf(address, sizeof address, "%04x:%02x:%02x.%x", static_cast<unsigned>(d.domain),
                      static_cast<unsigned>(d.bus), static_cast<unsigned>(d.device), static_cast<unsigned>(d.function));
        std::snprintf(ids, sizeof ids, " [%04x:%04x]", static_cast<unsigned>(d.value1),
                      static_cast<unsigned>(d.value3));
        std::snprintf(cls, sizeof cls, " [%06x]", static_cast<unsigned>(d.value2));
        rows.push_back({address, boardText(d.text3) + ids, boardText(d.text2) + cls, boardText(d.text1)});
    }
    c.text.table(std::move(rows));
}

void showInfo(Context &c, const std::string &)
{
    showBoard(c);
    showCpu(c);
    showMemory(c);
    showBatteryInfo(c);
    showNetwork(c);
    showPci(c);
}

const char *const kBatteryStates[] = {"Charging", "AC Power", "Discharging"};

std::string batteryStateText(int32_t state)
{
    return state >= 0 && state < 3 ? kBatteryStates[state] : "Unknown (" + std::to_string(state) + ")";
}

void showBatteryStates(Context &c)
{
    std::vector<BatteryState> states;
    if (!c.part([&] { states = readBatteries(c, HalvoGetBatteryState, "battery state"); })) {
        c.doc["batteryStates"] = nullptr;
        c.text.heading("Battery");
        c.text.line("  No battery");
        return;
    }
    c.doc["batteryStates"] = jsonList(states);
    for (size_t i = 0; i < states.size(); ++i) {
        const BatteryState &s = states[i];
        c.text.heading("Battery " + std::to_string(i));
        c.text.row("State", batteryStateText(s.state));
        c.text.row("Charge", std::to_string(s.chargePercent) + " %");
        c.text.row("Full battery time", batteryTimeText(s.fullBatteryTime));
        c.text.row("Remaining time", batteryTimeText(s.remainingTime));
        c.text.row("Remaining capacity", std::to_string(s.remainingCapacity) + " mAh");
        c.text.row("Voltage", std::to_string(s.voltage) + " mV");
        c.text.row(s.state == 2 ? "Discharge rate" : "Charge rate", std::to_string(s.rate) + " mA");
    }
}

void showStatus(Context &c, const std::string &)
{
    std::vector<DiskDriveInfo> drives;
    if (!c.part([&] { drives = readList(c, HalvoGetDiskDriveCount, HalvoGetDiskDriveList, "disk drives"); })) {
        c.unavailable("diskDrives", "Disk drives");
    } else {
        c.doc["diskDrives"] = jsonList(drives);
        c.text.heading("Disk drives");
        std::vector<std::vector<std::string>> rows = {{"Name", "Model", "Serial number", "Size"}};
        for (const DiskDriveInfo &d : drives)
            rows.push_back({boardText(d.name), boardText(d.model), boardText(d.serialNumber), sizeText(d.size)});
        c.text.table(std::move(rows));
    }

    std::vector<DiskPartitionInfo> partitions;
    if (!c.part([&] {
            partitions = readList(c, HalvoGetDiskDrivePartitionCount, HalvoGetDiskDrivePartitionList, "partitions");
        })) {
        c.unavailable("diskPartitions", "Partitions");
    } else {
        c.doc["diskPartitions"] = jsonList(partitions);
        c.text.heading("Partitions");
        std::vector<std::vector<std::string>> rows = {{"Name", "File system", "Size", "Free space"}};
        for (const DiskPartitionInfo &p : partitions)
            rows.push_back({boardText(p.name), boardText(p.fileSystem), sizeText(p.size), sizeText(p.freeSpace)});
        c.text.table(std::move(rows));
    }

    showBatteryStates(c);

    c.text.heading("System");
    int32_t upTime = 0, intruder = 0;
    const bool up = c.part([&] { c.check(HalvoSystemUpTime(c.handle, &upTime), "up-time"); });
    c.doc["upTime"] = up ? Json(upTime) : Json();
    c.text.row("Up-time", up ? upTimeText(upTime) : "Not available");
    const bool intrusion = c.part([&] { c.check(HalvoGetIntruderStatus(c.handle, &intruder), "intrusion"); });
    c.doc["intruderStatus"] = intrusion ? Json(intruder) : Json();
    c.text.row("Chassis", !intrusion ? "Not available" : intruder == 0 ? "OK" : "Case opened");

    // kHz on the board, MHz as the window shows them.
    static const struct {
        int32_t kind;
        const char *key, *label;
    } kinds[] = {{0, "minimum", "CPU minimum"}, {1, "maximum", "CPU maximum"}, {2, "current", "CPU current"}};
    Json &freq = c.doc["cpuFreq"] = Json::object();
    for (const auto &k : kinds) {
        int32_t khz = 0;
        const bool ok = c.part([&] { c.check(HalvoGetCpuFreq(c.handle, k.kind, &khz), "CPU frequency"); });
        freq[k.key] = ok ? Json(khz) : Json();
        c.text.row(k.label, ok ? std::to_string(khz / 1000) + " MHz" : "Not available");
    }
}

struct Sensors {
    std::vector<TempSensorInfo> temperatures;
    std::vector<VoltageSensorInfo> voltages;
    std::vector<FanInfo> fans;
};

Sensors readSensors(Context &c)
{
    Sensors s;
    s.temperatures = readList(c, HalvoGetTempSensorCount, HalvoGetTempSensorList, "temperatures");
    s.voltages = readList(c, HalvoGetVoltageSensorCount, HalvoGetVoltageSensorList, "voltages");
    s.fans = readList(c, HalvoGetFanCount, HalvoGetFanList, "fans");
    return s;
}

void showSensors(Context &c, const std::string &)
{
    const Sensors s = readSensors(c);
    c.doc["temperatures"] = jsonList(s.temperatures);
    c.doc["voltages"] = jsonList(s.voltages);
    c.doc["fans"] = jsonList(s.fans);
    c.text.heading("Temperatures");
    for (const TempSensorInfo &t : s.temperatures)
        c.text.row(boardText(t.name), celsiusText(t.value));
    c.text.heading("Voltages");
    for (const VoltageSensorInfo &v : s.voltages)
        c.text.row(boardText(v.name), voltsText(v.value));
    c.text.heading("Fans");
    for (const FanInfo &f : s.fans)
        c.text.row(boardText(f.name), std::to_string(f.speed) + " rpm");
}

// ---- watch ----------------------------------------------------------------------------------------

// One CSV row per sample: status values and sensors in the window's units.
void writeCsvRow(Context &c, double time, const Sensors &s, bool header)
{
    const Json &d = c.doc;
    const auto number = [](const Json &v) { return v.is_number() ? v.dump() : std::string(); };
    std::vector<std::string> names = {"time", "up-time s", "CPU MHz", "battery %", "intrusion"};
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%.3f", time);
    const Json &states = d["batteryStates"];
    const Json &current = d["cpuFreq"]["current"];
    std::vector<std::string> values = {
        stamp, number(d["upTime"]), current.is_number() ? std::to_string(current.get<int32_t>() / 1000) : "",
        states.is_array() && !states.empty() ? number(states[0]["chargePercent"]) : "", number(d["intruderStatus"])};
    char text[32];
    for (const TempSensorInfo &t : s.temperatures) {
        names.push_back(boardText(t.name) + " \u00b0C");
        std::snprintf(text, sizeof text, "%.3f", t.value / 1000.0);
        values.push_back(text);
    }
    for (const VoltageSensorInfo &v : s.voltages) {
        names.push_back(boardText(v.name) + " V");
        std::snprintf(text, sizeof text, "%.3f", v.value / 1000.0);
        values.push_back(text);
    }
    for (const FanInfo &f : s.fans) {
        names.push_back(boardText(f.name) + " rpm");
        values.push_back(std::to_string(f.speed));
    }
    const auto line = [](const std::vector<std::string> &fields) {
        std::string l;
        for (const std::string &f : fields)
            l += (l.empty() ? "" : ",") + csvField(f);
        return l + "\n";
    };
    if (header)
        c.out << line(names);
    c.out << line(values) << std::flush;
}

void watch(Context &c, int64_t intervalMs, int64_t samples)
{
    c.streamed = true;
    c.console.beginInterruptible();
    const auto interval = std::chrono::milliseconds(intervalMs);
    auto next = std::chrono::steady_clock::now();
    try {
        for (int64_t n = 0; samples == 0 || n < samples; ++n) {
            if (n > 0) {
                next += interval;
                const auto left = next - std::chrono::steady_clock::now();
                if (!c.console.wait(std::max(std::chrono::duration_cast<std::chrono::milliseconds>(left),
                                             std::chrono::milliseconds(0))))
                    break;
            }
            const double time = c.console.now();
            c.doc = Json::object();
            Layout unused;
            std::swap(unused, c.text);
            showStatus(c, "");
            const Sensors s = readSensors(c);
            if (c.json) {
                c.doc["time"] = std::round(time * 1000) / 1000;
                c.doc["temperatures"] = jsonList(s.temperatures);
                c.doc["voltages"] = jsonList(s.voltages);
                c.doc["fans"] = jsonList(s.fans);
                c.out << c.doc.dump(-1, ' ', false, Json::error_handler_t::replace) << "\n" << std::flush;
            } else {
                writeCsvRow(c, time, s, n == 0);
            }
        }
    } catch (...) {
        c.console.endInterruptible();
        throw;
    }
    c.console.endInterruptible();
}

Plan planWatch(const Args &a)
{
    const int64_t interval = parseInteger(a.option("--interval", "1000"), 50, 3600000, "--interval");
    const int64_t count = parseInteger(a.option("--count", "0"), 0, INT32_MAX, "--count");
    return {"", true, false, [=](Context &c, const std::string &) { watch(c, interval, count); }};
}

Plan planReport(void (*show)(Context &, const std::string &))
{
    return {"", true, false, show};
}

// ---- fan, perf, backlight -------------------------------------------------------------------------

// The CPU fan's index in the fan list, which the list calls "CPU-Fan".
int32_t cpuFanIndex(Context &c)
{
    const std::vector<FanInfo> fans = readList(c, HalvoGetFanCount, HalvoGetFanList, "fans");
    for (size_t i = 0; i < fans.size(); ++i)
        if (strcasecmp(boardText(fans[i].name).c_str(), "CPU-Fan") == 0)
            return static_cast<int32_t>(i);
    refuse(HALVO_CLASS_UNSUPPORTED, "CPU fan: no fan called CPU-Fan");
}

// The window's conversions: both truncate, so a duty read back may show one
// percent less than was set.
uint8_t fanPercentToByte(int64_t percent)
{
    return static_cast<uint8_t>(percent * 255 / 100);
}

void showFan(Context &c, const std::string &)
{
    const int32_t fan = cpuFanIndex(c);
    uint8_t mode = 0, duty = 0;
    int32_t rpm = 0;
    c.check(HalvoGetFanSpeed(c.handle, fan, &duty, &rpm), "CPU fan speed");
    const bool moded = c.part([&] { c.check(HalvoGetFanMode(c.handle, 1, &mode), "CPU fan mode"); });
    c.doc = {{"fan", fan}, {"mode", moded ? Json(mode) : Json()}, {"speed", duty}, {"value", rpm}};
    c.text.heading("CPU fan");
    c.text.row("Mode", !moded ? "Not available" : mode == 1 ? "Manual" : mode == 2 ? "Thermal Cruise" : "Unknown");
    c.text.row("Duty", std::to_string(duty * 100 / 255) + " % (" + std::to_string(duty) + " of 255)");
    c.text.row("Speed", std::to_string(rpm) + " rpm");
}

Plan planFanSet(const Args &a)
{
    const uint8_t speed = fanPercentToByte(parseInteger(a[0], 0, 100, "PERCENT"));
    return {"", true, false, [=](Context &c, const std::string &) {
                c.check(HalvoSetCpuFanSpeed(c.handle, speed), "setting the CPU fan");
                c.doc = {{"speed", speed}};
            }};
}

Plan planFanCruise(const Args &a)
{
    const int32_t target = parseThousandths(a[0], 0, 100000, "TARGET");
    const int32_t tolerance = parseThousandths(a[1], 0, 99000, "TOLERANCE");
    return {"", true, false, [=](Context &c, const std::string &) {
                const int32_t fan = cpuFanIndex(c);
                c.check(HalvoSetFanModeThermalCruise(c.handle, fan, target, tolerance), "setting Thermal Cruise");
                c.doc = {{"fan", fan}, {"target", target}, {"tolerance", tolerance}};
            }};
}

const std::vector<std::string> kPerfTypes = {"performance", "powersave", "ondemand", "conservative"};
const char *const kPerfTypeTexts[] = {"High performance", "Power save", "On demand", "Conservative"};
// The percentage the window sends with each type.
const int8_t kPerfTypePercent[] = {100, 50, 75, 50};

void showPerf(Context &c, const std::string &)
{
    int8_t type = 0, percent = 0;
    c.check(HalvoGetCpuPerformance(c.handle, &type, &percent), "CPU performance");
    c.doc = {{"type", type}, {"percent", percent}};
    // A board that offers a percentage reports it; one that offers types only reports 0.
    const std::string shown = percent != 0            ? std::to_string(percent) + " %"
                              : type >= 0 && type < 4 ? kPerfTypeTexts[type]
                                                      : "Unknown (" + std::to_string(type) + ")";
    c.text.heading("CPU performance");
    c.text.row("Setting", shown);
}

Plan planPerfSet(const Args &a)
{
    uint8_t type = 0;
    int8_t percent = 0;
    std::string value = a[0];
    if (!value.empty() && (std::isdigit(static_cast<unsigned char>(value[0])) || value[0] == '-')) {
        if (value.back() == '%')
            value.pop_back();
        percent = static_cast<int8_t>(parseInteger(value, 10, 100, "PERCENT"));
    } else {
        type = static_cast<uint8_t>(parseChoice(value, kPerfTypes, "TYPE"));
        percent = kPerfTypePercent[type];
    }
    return {"", true, false, [=](Context &c, const std::string &) {
                c.check(HalvoSetCpuPerformance(c.handle, type, percent), "setting CPU performance");
                c.doc = {{"type", type}, {"percent", percent}};
            }};
}

void showBacklight(Context &c, const std::string &)
{
    int32_t count = 0;
    c.check(HalvoGetDisplayCount(c.handle, &count), "displays");
    Json &displays = c.doc["displays"] = Json::array();
    c.text.heading("Backlight");
    if (count <= 0)
        c.text.line("  No display");
    for (int32_t d = 0; d < std::min(count, kMaxListCount); ++d) {
        int32_t value = 0;
        c.check(HalvoGetBacklightValue(c.handle, d, &value), "backlight of display " + std::to_string(d));
        displays.push_back({{"display", d}, {"value", value}});
        c.text.row("Display " + std::to_string(d), std::to_string(value) + " %");
    }
}

Plan planBacklightSet(const Args &a)
{
    const auto value = static_cast<int32_t>(parseInteger(a[0], 0, 100, "VALUE"));
    const auto display = static_cast<int32_t>(parseInteger(a.option("--display", "0"), 0, INT32_MAX, "--display"));
    return {"", true, false, [=](Context &c, const std::string &) {
                c.check(HalvoSetBacklightValue(c.handle, display, value), "setting the backlight");
                c.doc = {{"display", display}, {"value", value}};
            }};
}

// ---- watchdog -------------------------------------------------------------------------------------

// Seconds on the command line, milliseconds on the board.
constexpr int64_t kMaxWatchdogSeconds = INT32_MAX / 1000;

void showWatchdog(Context &c, const std::string &)
{
    int32_t armed = 0, timeoutMs = 0;
    c.check(HalvoWatchdogGetState(c.handle, &armed, &timeoutMs), "watchdog state");
    c.doc = {{"armed", armed}, {"timeoutMs", timeoutMs}};
    c.text.heading("Watchdog");
    c.text.row("State", armed ? "Armed" : "Stopped");
    c.text.row("Timeout", decimalText(timeoutMs / 1000.0) + " s");
}

Plan planWatchdogStart(const Args &a)
{
    const auto ms = static_cast<int32_t>(parseInteger(a[0], 1, kMaxWatchdogSeconds, "SECONDS") * 1000);
    return {"", true, false, [=](Context &c, const std::string &) {
                c.check(HalvoWatchdogEnable(c.handle, ms), "arming the watchdog");
                c.doc = {{"timeoutMs", ms}};
            }};
}

Plan planWatchdogCall(int32_t (*call)(int32_t), const char *what)
{
    return {"", true, false, [=](Context &c, const std::string &) { c.check(call(c.handle), what); }};
}

Plan planWatchdogTrigger(const Args &)
{
    return planWatchdogCall(HalvoWatchdogTrigger, "feeding the watchdog");
}

Plan planWatchdogStop(const Args &)
{
    return planWatchdogCall(HalvoWatchdogDisable, "stopping the watchdog");
}

// Arms the watchdog and feeds it twice per timeout until interrupted, then
// stops it; a failed feed stops it too, so the board is not restarted by a
// watchdog nobody feeds any more.
Plan planWatchdogKeep(const Args &a)
{
    const auto ms = static_cast<int32_t>(parseInteger(a[0], 1, kMaxWatchdogSeconds, "SECONDS") * 1000);
    return {"", true, false, [=](Context &c, const std::string &) {
                c.console.beginInterruptible();
                int64_t triggers = 0;
                try {
                    c.check(HalvoWatchdogEnable(c.handle, ms), "arming the watchdog");
                    if (c.console.interactive())
                        c.err << "halvoctl: watchdog armed for " << decimalText(ms / 1000.0)
                              << " s and fed until interrupted (Ctrl-C)\n";
                    while (c.console.wait(std::chrono::milliseconds(ms / 2))) {
                        c.check(HalvoWatchdogTrigger(c.handle), "feeding the watchdog");
                        ++triggers;
                    }
                } catch (const Failure &) {
                    HalvoWatchdogDisable(c.handle);
                    c.console.endInterruptible();
                    throw;
                }
                c.console.endInterruptible();
                c.check(HalvoWatchdogDisable(c.handle), "stopping the watchdog");
                c.doc = {{"timeoutMs", ms}, {"triggers", triggers}};
            }};
}

// ---- gpio -----------------------------------------------------------------------------------------

// Pins are checked against the board's count before any pin call.
int32_t pinCount(Context &c)
{
    int32_t count = 0;
    c.check(HalvoGpioGetCount(c.handle, &count), "GPIO pins");
    return count;
}

void checkPin(int32_t pin, int32_t count)
{
    if (pin >= count)
        refuse(HALVO_CLASS_ARGUMENT, "pin " + std::to_string(pin) + ": the board has " +
                                         (count > 0 ? "pins 0 to " + std::to_string(count - 1) : "no pins"));
}

int32_t parsePin(const std::string &text)
{
    return static_cast<int32_t>(parseInteger(text, 0, INT32_MAX, "PIN"));
}

void showGpio(Context &c, const std::string &)
{
    const int32_t count = pinCount(c);
    Json &pins = c.doc["pins"] = Json::array();
    std::vector<std::vector<std::string>> rows = {{"Pin", "Direction", "Level"}};
    for (int32_t pin = 0; pin < count; ++pin) {
        uint8_t direction = 0, level = 0;
        c.check(HalvoGpioGetDirection(c.handle, pin, &direction), "direction of pin " + std::to_string(pin));
        c.check(HalvoGpioGetLevel(c.handle, pin, &level), "level of pin " + std::to_string(pin));
        // Any non-zero direction is an output.
        const int out = direction != 0 ? 1 : 0;
        pins.push_back({{"pin", pin}, {"direction", out}, {"level", level}});
        rows.push_back({std::to_string(pin), out ? "out" : "in", std::to_string(level)});
    }
    c.text.heading("GPIO");
    c.text.table(std::move(rows));
}

Plan planGpioGet(const Args &a)
{
    std::vector<int32_t> pins;
    for (const std::string &p : a.positional)
        pins.push_back(parsePin(p));
    return {"", true, false, [=](Context &c, const std::string &) {
                const int32_t count = pinCount(c);
                for (int32_t pin : pins)
                    checkPin(pin, count);
                Json &levels = c.doc["pins"] = Json::array();
                std::string line;
                for (int32_t pin : pins) {
                    uint8_t level = 0;
                    c.check(HalvoGpioGetLevel(c.handle, pin, &level), "level of pin " + std::to_string(pin));
                    levels.push_back({{"pin", pin}, {"level", level}});
                    line += (line.empty() ? "" : " ") + std::to_string(level);
                }
                c.text.line(line);
            }};
}

Plan planGpioPin(const Args &a, int32_t (*call)(int32_t, int32_t, uint8_t), const char *key,
                 const std::vector<std::string> &values)
{
    const int32_t pin = parsePin(a[0]);
    const auto value = static_cast<uint8_t>(parseChoice(a[1], values, key == std::string("level") ? "LEVEL" : "DIR"));
    return {"", true, false, [=](Context &c, const std::string &) {
                checkPin(pin, pinCount(c));
                c.check(call(c.handle, pin, value),
                        std::string("setting the ") + key + " of pin " + std::to_string(pin));
                c.doc = {{"pin", pin}, {key, value}};
            }};
}

Plan planGpioSet(const Args &a)
{
    return planGpioPin(a, HalvoGpioSetLevel, "level", {"0", "1"});
}

Plan planGpioDir(const Args &a)
{
    return planGpioPin(a, HalvoGpioSetDirection, "direction", {"in", "out"});
}

// ---- eeprom ---------------------------------------------------------------------------------------

int32_t parseStorage(const std::string &text)
{
    return static_cast<int32_t>(parseInteger(text, 0, INT32_MAX, "STORAGE"));
}

// The storage's size; offset and length must lie within it.
int32_t checkWindow(Context &c, int32_t storage, int64_t offset, int64_t length)
{
    int32_t size = 0;
    c.check(HalvoGetStorageSize(c.handle, storage, &size), "size of storage " + std::to_string(storage));
    if (offset + length > size)
        refuse(HALVO_CLASS_ARGUMENT, "storage " + std::to_string(storage) + " holds " + std::to_string(size) +
                                         " bytes, " + std::to_string(length) + " at offset " + std::to_string(offset) +
                                         " do not fit");
    return size;
}

void showStorages(Context &c, const std::string &)
{
    int32_t count = 0;
    c.check(HalvoGetStorageCount(c.handle, &count), "storages");
    Json &list = c.doc["storages"] = Json::array();
    std::vector<std::vector<std::string>> rows = {{"Storage", "Size"}};
    for (int32_t s = 0; s < std::min(count, kMaxListCount); ++s) {
        int32_t size = 0;
        c.check(HalvoGetStorageSize(c.handle, s, &size), "size of storage " + std::to_string(s));
        list.push_back({{"storage", s}, {"size", size}});
        rows.push_back({std::to_string(s), std::to_string(size) + " bytes"});
    }
    c.text.heading("EEPROM storages");
    c.text.table(std::move(rows));
}

Plan planEepromRead(const Args &a)
{
    const int32_t storage = parseStorage(a[0]);
    const auto offset = static_cast<int32_t>(a.size() > 1 ? parseInteger(a[1], 0, INT32_MAX, "OFFSET") : 0);
    const int64_t length = a.size() > 2 ? parseInteger(a[2], 0, kMaxStorageBytes, "LENGTH") : -1;
    return {"", true, false, [=](Context &c, const std::string &) {
                int64_t n = length;
                if (n < 0) {
                    // To the end of the storage, at most what one call carries.
                    const int32_t size = checkWindow(c, storage, offset, 0);
                    n = std::min<int64_t>(size - offset, kMaxStorageBytes);
                } else {
                    checkWindow(c, storage, offset, n);
                }
                std::string bytes(static_cast<size_t>(n), '\0');
                if (n > 0)
                    c.check(HalvoStorageRead(c.handle, storage, offset, bytes.data(), static_cast<int32_t>(n)),
                            "reading storage " + std::to_string(storage));
                c.doc = {{"storage", storage}, {"offset", offset}, {"bytes", hexBytes(bytes)}};
                for (const std::string &row : hexDump(bytes, offset))
                    c.text.line(row);
            }};
}

Plan planEepromWrite(const Args &a)
{
    const int32_t storage = parseStorage(a[0]);
    const auto offset = static_cast<int32_t>(parseInteger(a[1], 0, INT32_MAX, "OFFSET"));
    const std::string bytes = parseData(a[2], kMaxStorageBytes, "DATA");
    const std::string what = "write " + std::to_string(bytes.size()) + " bytes at offset " + std::to_string(offset) +
                             " of EEPROM storage " + std::to_string(storage);
    return {what, true, false, [=](Context &c, const std::string &) {
                checkWindow(c, storage, offset, static_cast<int64_t>(bytes.size()));
                c.check(HalvoStorageWrite(c.handle, storage, offset, bytes.data(), static_cast<int32_t>(bytes.size())),
                        "writing storage " + std::to_string(storage));
                c.doc = {{"storage", storage}, {"offset", offset}, {"bytes", hexBytes(bytes)}};
            }};
}

// ---- smbus, i2c -----------------------------------------------------------------------------------

// Bus, 7-bit device address, and a register or command byte, as typed.
struct Target {
    uint8_t bus, address, command;
};

Target parseTarget(const Args &a, bool command)
{
    return {static_cast<uint8_t>(parseInteger(a[0], 0, 0xff, "BUS")),
            static_cast<uint8_t>(parseInteger(a[1], 0, 0x7f, "ADDRESS")),
            static_cast<uint8_t>(command ? parseInteger(a[2], 0, 0xff, "COMMAND") : 0)};
}

Json targetJson(const Target &t, bool command)
{
    Json j = {{"bus", t.bus}, {"address", t.address}};
    if (command)
        j["command"] = t.command;
    return j;
}

std::string onDevice(const Target &t, const char *kind)
{
    return "device " + hexText(t.address, 2) + " on " + kind + " bus " + std::to_string(t.bus);
}

void showBusCount(Context &c, int32_t (*call)(int32_t, uint8_t *), const char *what)
{
    uint8_t count = 0;
    c.check(call(c.handle, &count), what);
    c.doc = {{"count", count}};
    c.text.line(std::to_string(count));
}

void showSmbusCount(Context &c, const std::string &)
{
    showBusCount(c, HalvoGetSmbusCount, "SMBus buses");
}

void showI2cCount(Context &c, const std::string &)
{
    showBusCount(c, HalvoGetI2cBusCount, "I2C buses");
}

// A read of one value (byte or word), printed as i2cget prints it.
template <typename T, typename F> Plan planSmbusRead(const Args &a, bool command, int digits, F call)
{
    const Target t = parseTarget(a, command);
    return {"", true, false, [=](Context &c, const std::string &) {
                T data = 0;
                c.check(call(c.handle, t, &data), "SMBus read from " + onDevice(t, "SMBus"));
                c.doc = targetJson(t, command);
                c.doc["data"] = data;
                c.text.line(hexText(data, digits));
            }};
}

Plan planSmbusWrite(const std::string &what, std::function<int32_t(int32_t)> call, Json doc)
{
    return {what, true, false, [=](Context &c, const std::string &) {
                c.check(call(c.handle), "SMBus: " + what);
                c.doc = doc;
            }};
}

Plan planQuick(const Args &a)
{
    const Target t = parseTarget(a, false);
    // The board codes read as 0 and write as 1.
    const auto readWrite = static_cast<uint8_t>(parseChoice(a[2], {"read", "write"}, "READ|WRITE"));
    Json doc = targetJson(t, false);
    doc["readWrite"] = readWrite;
    return {readWrite ? "send a quick write to " + onDevice(t, "SMBus") : "", true, false,
            [=](Context &c, const std::string &) {
                c.check(HalvoSmbusQuickCommand(c.handle, t.bus, t.address, readWrite),
                        "quick command to " + onDevice(t, "SMBus"));
                c.doc = doc;
            }};
}

Plan planSendByte(const Args &a)
{
    const Target t = parseTarget(a, false);
    const auto data = static_cast<uint8_t>(parseInteger(a[2], 0, 0xff, "DATA"));
    Json doc = targetJson(t, false);
    doc["data"] = data;
    return planSmbusWrite(
        "send byte " + hexText(data, 2) + " to " + onDevice(t, "SMBus"),
        [=](int32_t h) { return HalvoSmbusSendByte(h, t.bus, t.address, data); }, doc);
}

Plan planReceiveByte(const Args &a)
{
    return planSmbusRead<uint8_t>(a, false, 2, [](int32_t h, const Target &t, uint8_t *d) {
        return HalvoSmbusReceiveByte(h, t.bus, t.address, d);
    });
}

Plan planWriteByte(const Args &a)
{
    const Target t = parseTarget(a, true);
    const auto data = static_cast<uint8_t>(parseInteger(a[3], 0, 0xff, "DATA"));
    Json doc = targetJson(t, true);
    doc["data"] = data;
    return planSmbusWrite(
        "write byte " + hexText(data, 2) + " to command " + hexText(t.command, 2) + " of " + onDevice(t, "SMBus"),
        [=](int32_t h) { return HalvoSmbusWriteByte(h, t.bus, t.address, t.command, data); }, doc);
}

Plan planReadByte(const Args &a)
{
    return planSmbusRead<uint8_t>(a, true, 2, [](int32_t h, const Target &t, uint8_t *d) {
        return HalvoSmbusReadByte(h, t.bus, t.address, t.command, d);
    });
}

Plan planWriteWord(const Args &a)
{
    const Target t = parseTarget(a, true);
    const auto data = static_cast<uint16_t>(parseInteger(a[3], 0, 0xffff, "WORD"));
    Json doc = targetJson(t, true);
    doc["data"] = data;
    return planSmbusWrite(
        "write word " + hexText(data, 4) + " to command " + hexText(t.command, 2) + " of " + onDevice(t, "SMBus"),
        [=](int32_t h) { return HalvoSmbusWriteWord(h, t.bus, t.address, t.command, data); }, doc);
}

Plan planReadWord(const Args &a)
{
    return planSmbusRead<uint16_t>(a, true, 4, [](int32_t h, const Target &t, uint16_t *d) {
        return HalvoSmbusReadWord(h, t.bus, t.address, t.command, d);
    });
}

Plan planWriteBlock(const Args &a)
{
    const Target t = parseTarget(a, true);
    const std::string bytes =
        parseByteList({a.positional.begin() + 3, a.positional.end()}, 1, HALVO_SMBUS_BLOCK_MAX, "BYTES");
    Json doc = targetJson(t, true);
    doc["data"] = hexBytes(bytes);
    return planSmbusWrite(
        "write a block of " + std::to_string(bytes.size()) + " bytes to command " + hexText(t.command, 2) + " of " +
            onDevice(t, "SMBus"),
        [=](int32_t h) {
            return HalvoSmbusWriteBlock(h, t.bus, t.address, t.command, reinterpret_cast<const uint8_t *>(bytes.data()),
                                        static_cast<uint8_t>(bytes.size()));
        },
        doc);
}

// Bytes read into a buffer of HALVO_BLOCK_BUFFER_SIZE, of which `count` came.
void showBytes(Context &c, const uint8_t *buffer, size_t count)
{
    const std::string bytes(reinterpret_cast<const char *>(buffer), std::min<size_t>(count, HALVO_BLOCK_BUFFER_SIZE));
    c.doc["data"] = hexBytes(bytes);
    c.text.line(hexByteList(bytes));
}

Plan planReadBlock(const Args &a)
{
    const Target t = parseTarget(a, true);
    return {"", true, false, [=](Context &c, const std::string &) {
                uint8_t buffer[HALVO_BLOCK_BUFFER_SIZE] = {};
                uint8_t count = 0;
                c.check(HalvoSmbusReadBlock(c.handle, t.bus, t.address, t.command, buffer, &count),
                        "SMBus block read from " + onDevice(t, "SMBus"));
                c.doc = targetJson(t, true);
                showBytes(c, buffer, count);
            }};
}

Plan planI2cRead(const Args &a)
{
    const Target t = parseTarget(a, false);
    const auto count = static_cast<uint32_t>(parseInteger(a[2], 1, HALVO_BLOCK_BUFFER_SIZE, "COUNT"));
    const std::string at = a.option("--at", "");
    const bool useRegister = !at.empty();
    const auto reg = static_cast<uint8_t>(useRegister ? parseInteger(at, 0, 0xff, "--at") : 0);
    return {"", true, false, [=](Context &c, const std::string &) {
                uint8_t buffer[HALVO_BLOCK_BUFFER_SIZE] = {};
                uint32_t n = count;
                c.check(HalvoI2cRead(c.handle, t.bus, t.address, reg, useRegister ? 1 : 0, buffer, &n),
                        "I2C read from " + onDevice(t, "I2C"));
                c.doc = targetJson(t, false);
                if (useRegister)
                    c.doc["memoryAddress"] = reg;
                showBytes(c, buffer, n);
            }};
}

Plan planI2cWrite(const Args &a)
{
    const Target t = parseTarget(a, false);
    const auto reg = static_cast<uint8_t>(parseInteger(a[2], 0, 0xff, "REG"));
    const std::string bytes =
        parseByteList({a.positional.begin() + 3, a.positional.end()}, 1, HALVO_I2C_WRITE_MAX, "BYTES");
    const std::string what =
        "write " + std::to_string(bytes.size()) + " bytes at register " + hexText(reg, 2) + " of " + onDevice(t, "I2C");
    return {what, true, false, [=](Context &c, const std::string &) {
                c.check(HalvoI2cWrite(c.handle, t.bus, t.address, reg, reinterpret_cast<const uint8_t *>(bytes.data()),
                                      static_cast<uint32_t>(bytes.size())),
                        "I2C write to " + onDevice(t, "I2C"));
                c.doc = targetJson(t, false);
                c.doc["memoryAddress"] = reg;
                c.doc["data"] = hexBytes(bytes);
            }};
}

// ---- power, amt -----------------------------------------------------------------------------------

Plan planPower(int32_t state, const char *what)
{
    return {what, true, false, [=](Context &c, const std::string &) {
                c.check(HalvoSetSystemState(c.handle, state), what);
                c.doc = {{"state", state}};
            }};
}

Plan planPowerOff(const Args &)
{
    return planPower(HALVO_SYSTEM_STATE_OFF, "turn the board off");
}

Plan planPowerHibernate(const Args &)
{
    return planPower(HALVO_SYSTEM_STATE_HIBERNATED, "hibernate the board");
}

Plan planPowerRestart(const Args &)
{
    return planPower(HALVO_SYSTEM_STATE_RESTART, "restart the board");
}

std::string checkedAmtText(const std::string &text, const char *what)
{
    if (text.empty() || text.size() > 255 || text.find_first_of(" \t\r\n") != std::string::npos)
        throw UsageError(std::string(what) + ": \"" + text.substr(0, 64) + "\" is not an address or name");
    return text;
}

const char *const kAmtStates[] = {"On", "Off", "Hibernated", "Restart", "Unknown"};

Plan planAmtState(const Args &a)
{
    const std::string address = checkedAmtText(a.leading, "ADDRESS");
    const std::string user = checkedAmtText(a.option("--user", "admin"), "--user");
    return {"", false, true, [=](Context &c, const std::string &password) {
                int32_t state = 0;
                c.check(HalvoGetSystemStateAmt(address.c_str(), user.c_str(), password.c_str(), &state),
                        "AMT power state of " + address);
                c.doc = {{"ipAddress", address}, {"state", state}};
                c.text.line(state >= 0 && state <= 4 ? kAmtStates[state] : "Unknown");
            }};
}

Plan planAmtSet(const Args &a, int32_t state, const char *verb)
{
    const std::string address = checkedAmtText(a.leading, "ADDRESS");
    const std::string user = checkedAmtText(a.option("--user", "admin"), "--user");
    // Turning a board on takes nothing away from anyone; the others do.
    const std::string what = state == HALVO_SYSTEM_STATE_ON ? "" : std::string(verb) + " the board at " + address;
    return {what, false, true, [=](Context &c, const std::string &password) {
                c.check(HalvoSetSystemStateAmt(address.c_str(), user.c_str(), password.c_str(), state),
                        std::string(verb) + " the board at " + address + " through AMT");
                c.doc = {{"ipAddress", address}, {"state", state}};
            }};
}

Plan planAmtOn(const Args &a)
{
    return planAmtSet(a, HALVO_SYSTEM_STATE_ON, "turn on");
}

Plan planAmtOff(const Args &a)
{
    return planAmtSet(a, HALVO_SYSTEM_STATE_OFF, "turn off");
}

Plan planAmtRestart(const Args &a)
{
    return planAmtSet(a, HALVO_SYSTEM_STATE_RESTART, "restart");
}

Plan planAmtHibernate(const Args &a)
{
    return planAmtSet(a, HALVO_SYSTEM_STATE_HIBERNATED, "hibernate");
}

// ---- The table ------------------------------------------------------------------------------------

Plan planInfo(const Args &)
{
    return planReport(showInfo);
}
Plan planStatus(const Args &)
{
    return planReport(showStatus);
}
Plan planSensors(const Args &)
{
    return planReport(showSensors);
}
Plan planFan(const Args &)
{
    return planReport(showFan);
}
Plan planPerf(const Args &)
{
    return planReport(showPerf);
}
Plan planBacklight(const Args &)
{
    return planReport(showBacklight);
}
Plan planWatchdog(const Args &)
{
    return planReport(showWatchdog);
}
Plan planGpio(const Args &)
{
    return planReport(showGpio);
}
Plan planEeprom(const Args &)
{
    return planReport(showStorages);
}
Plan planSmbus(const Args &)
{
    return planReport(showSmbusCount);
}
Plan planI2c(const Args &)
{
    return planReport(showI2cCount);
}

const Option kUser = {"--user", "NAME", "the AMT user (default admin)"};

} // namespace

const std::vector<Command> &commands()
{
    static const std::vector<Command> table = {
        {"info",
         nullptr,
         "board, BIOS, CPU, memory and modules, batteries, network, PCI, boot counter",
         {{"", "", "show what the board is", 0, 0, {}, planInfo}}},
        {"status",
         nullptr,
         "disks, partitions, battery state, up-time, intrusion, CPU frequencies",
         {{"", "", "show the board's state", 0, 0, {}, planStatus}}},
        {"sensors", nullptr, "temperatures, voltages and fans", {{"", "", "show every sensor", 0, 0, {}, planSensors}}},
        {"fan",
         nullptr,
         "the CPU fan",
         {{"", "", "show its mode, duty and speed", 0, 0, {}, planFan},
          {"set", "PERCENT", "manual control at PERCENT (0-100) duty", 1, 1, {}, planFanSet},
          {"cruise",
           "TARGET TOLERANCE",
           "Thermal Cruise at TARGET +- TOLERANCE degrees Celsius",
           2,
           2,
           {},
           planFanCruise}}},
        {"perf",
         nullptr,
         "CPU performance",
         {{"", "", "show the performance type or percentage", 0, 0, {}, planPerf},
          {"set",
           "TYPE|PERCENT",
           "performance, powersave, ondemand or conservative; or a percentage (10-100)",
           1,
           1,
           {},
           planPerfSet}}},
        {"backlight",
         nullptr,
         "display brightness",
         {{"", "", "show each display's backlight in percent", 0, 0, {}, planBacklight},
          {"set",
           "VALUE",
           "set the backlight to VALUE percent (0-100)",
           1,
           1,
           {{"--display", "N", "the display (default 0)"}},
           planBacklightSet}}},
        {"watchdog",
         nullptr,
         "the board's watchdog",
         {{"", "", "show whether it is armed and its timeout", 0, 0, {}, planWatchdog},
          {"start", "SECONDS", "arm it: the board restarts unless fed within SECONDS", 1, 1, {}, planWatchdogStart},
          {"trigger", "", "feed it back to its full timeout", 0, 0, {}, planWatchdogTrigger},
          {"stop", "", "disarm it", 0, 0, {}, planWatchdogStop},
          {"keep",
           "SECONDS",
           "arm it and feed it until interrupted (Ctrl-C), then disarm it",
           1,
           1,
           {},
           planWatchdogKeep}}},
        {"gpio",
         nullptr,
         "GPIO pins",
         {{"", "", "show every pin's direction and level", 0, 0, {}, planGpio},
          {"get", "PIN...", "the levels of the pins, in order", 1, kAny, {}, planGpioGet},
          {"set", "PIN 0|1", "drive the pin's level", 2, 2, {}, planGpioSet},
          {"dir", "PIN in|out", "make the pin an input or an output", 2, 2, {}, planGpioDir}}},
        {"eeprom",
         nullptr,
         "user EEPROM storages",
         {{"", "", "list the storages and their sizes", 0, 0, {}, planEeprom},
          {"read", "STORAGE [OFFSET [LENGTH]]", "dump bytes (to the end by default)", 1, 3, {}, planEepromRead},
          {"write",
           "STORAGE OFFSET DATA",
           "write DATA: text, or 0x and hex digits for bytes",
           3,
           3,
           {},
           planEepromWrite}}},
        {"smbus",
         nullptr,
         "SMBus transactions (ADDRESS in 7-bit form)",
         {{"", "", "show the number of SMBus buses", 0, 0, {}, planSmbus},
          {"quick", "BUS ADDRESS read|write", "quick command", 3, 3, {}, planQuick},
          {"send-byte", "BUS ADDRESS DATA", "send one byte", 3, 3, {}, planSendByte},
          {"receive-byte", "BUS ADDRESS", "receive one byte", 2, 2, {}, planReceiveByte},
          {"write-byte", "BUS ADDRESS COMMAND DATA", "write a byte to a command", 4, 4, {}, planWriteByte},
          {"read-byte", "BUS ADDRESS COMMAND", "read a byte from a command", 3, 3, {}, planReadByte},
          {"write-word", "BUS ADDRESS COMMAND WORD", "write a word to a command", 4, 4, {}, planWriteWord},
          {"read-word", "BUS ADDRESS COMMAND", "read a word from a command", 3, 3, {}, planReadWord},
          {"write-block",
           "BUS ADDRESS COMMAND BYTES...",
           "write a block of 1 to 32 bytes",
           4,
           3 + HALVO_SMBUS_BLOCK_MAX,
           {},
           planWriteBlock},
          {"read-block", "BUS ADDRESS COMMAND", "read a block", 3, 3, {}, planReadBlock}}},
        {"i2c",
         nullptr,
         "plain I2C transfers (ADDRESS in 7-bit form)",
         {{"", "", "show the number of I2C buses", 0, 0, {}, planI2c},
          {"read",
           "BUS ADDRESS COUNT",
           "read COUNT (1-128) bytes",
           3,
           3,
           {{"--at", "REG", "set the device's memory address to REG first"}},
           planI2cRead},
          {"write",
           "BUS ADDRESS REG BYTES...",
           "write bytes at memory address REG",
           4,
           3 + HALVO_I2C_WRITE_MAX,
           {},
           planI2cWrite}}},
        {"power",
         nullptr,
         "power state through the board's operating system",
         {{"off", "", "turn the board off", 0, 0, {}, planPowerOff},
          {"hibernate", "", "hibernate the board", 0, 0, {}, planPowerHibernate},
          {"restart", "", "restart the board", 0, 0, {}, planPowerRestart}}},
        {"amt",
         "ADDRESS",
         "power state through Intel AMT (password from HALVO_AMT_PASSWORD or asked)",
         {{"state", "", "show the power state", 0, 0, {kUser}, planAmtState},
          {"on", "", "turn the board on", 0, 0, {kUser}, planAmtOn},
          {"off", "", "turn the board off", 0, 0, {kUser}, planAmtOff},
          {"restart", "", "restart the board", 0, 0, {kUser}, planAmtRestart},
          {"hibernate", "", "hibernate the board", 0, 0, {kUser}, planAmtHibernate}}},
        {"watch",
         nullptr,
         "status and sensors as CSV rows (JSON lines with --json) until interrupted",
         {{"",
           "",
           "sample every --interval ms",
           0,
           0,
           {{"--interval", "MS", "milliseconds between samples (50-3600000, default 1000)"},
            {"--count", "N", "stop after N samples (default 0: until interrupted)"}},
           planWatch}}},
    };
    return table;
}

} // namespace halvoctl
