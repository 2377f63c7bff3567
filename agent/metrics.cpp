#include "metrics.h"

#include "board/halvo.h"
#include "libhalvo/remote/wire.h"

#include <cstdio>
#include <map>
#include <vector>

namespace halvo::agent
{

namespace
{

template <size_t N> std::string text(const char (&field)[N])
{
    return remote::utf8FromLatin1(field, N);
}

bool ok(int32_t status)
{
    return HALVO_ERROR_CLASS(status) == 0;
}

std::string number(double value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.10g", value);
    return buffer;
}

using Labels = std::vector<std::pair<std::string, std::string>>;

// The families in the order they are first given, each with its samples.
class Exposition
{
public:
    void add(const std::string &name, const char *type, const char *help, const Labels &labels, double value)
    {
        Family &f = families_[name];
        if (f.help.empty()) {
            order_.push_back(name);
            f.type = type;
            f.help = help;
        }
        std::string line = name;
        if (!labels.empty()) {
            line += '{';
            for (size_t i = 0; i < labels.size(); ++i)
                line += (i ? "," : "") + labels[i].first + "=\"" + escapeLabel(labels[i].second) + '"';
            line += '}';
        }
        f.samples.push_back(line + ' ' + number(value) + '\n');
    }
    void gauge(const std::string &name, const char *help, const Labels &labels, double value)
    {
        add(name, "gauge", help, labels, value);
    }
    // Whether one read (or group of reads) answered.
    bool read(const char *what, int32_t status)
    {
        gauge("halvo_read_success", "Whether the board answered the read (1) or refused it (0).", {{"read", what}},
              ok(status) ? 1 : 0);
        return ok(status);
    }
    std::string text() const
    {
        std::string out;
        for (const std::string &name : order_) {
            const Family &f = families_.at(name);
            out += "# HELP " + name + ' ' + f.help + "\n# TYPE " + name + ' ' + f.type + '\n';
            for (const std::string &s : f.samples)
                out += s;
        }
        return out;
    }

private:
    struct Family {
        std::string type, help;
        std::vector<std::string> samples;
    };
    std::map<std::string, Family> families_;
    std::vector<std::string> order_;
};

// A count read and then the list it sized, as the window reads them, each
// record with its index in the list (two sensors may share a name). A list
// fails whole when one of its sensors gives no reading; the sensors are then
// read alone, so that only those that failed are left out, each reported by
// its index.
template <typename Record>
bool list(Exposition &e, const char *what, int32_t handle, int32_t (*count)(int32_t, int32_t *),
          int32_t (*get)(int32_t, Record *, int32_t), int32_t (*one)(int32_t, int32_t, Record *),
          std::vector<std::pair<std::string, Record>> &out)
{
    int32_t n = 0;
    int32_t status = count(handle, &n);
    const bool counted = ok(status) && n >= 0 && n <= 4096;
    if (ok(status) && !counted)
        status = int32_t(HALVO_CLASS_DEVICE) << 16;
    std::vector<Record> records(counted ? static_cast<size_t>(n) : 0);
    if (counted && n > 0)
        status = get(handle, records.data(), n);
    out.clear();
    if (e.read(what, status)) {
        for (size_t i = 0; i < records.size(); ++i)
            out.emplace_back(std::to_string(i), records[i]);
        return true;
    }
    if (!counted || HALVO_ERROR_CLASS(status) != HALVO_CLASS_DEVICE)
        return false;
    for (int32_t i = 0; i < n; ++i) {
        Record r{};
        if (const int32_t s = one(handle, i, &r); ok(s))
            out.emplace_back(std::to_string(i), r);
        else
            e.gauge("halvo_read_success", "", {{"read", what}, {"index", std::to_string(i)}}, 0);
    }
    return true;
}

void board(Exposition &e, int32_t handle)
{
    BoardInfo b{};
    if (e.read("board", HalvoGetBoardInfo(handle, &b)))
        e.gauge("halvo_board_info", "The board's identity, as labels; always 1.",
                {{"manufacturer", text(b.manufacturer)},
                 {"board_name", text(b.boardName)},
                 {"version", text(b.version)},
                 {"serial_number", text(b.serialNumber)},
                 {"bios_revision", text(b.biosRevision)},
                 {"bios_date", text(b.biosDate)}},
                1);
    CpuInfo c{};
    if (e.read("cpu", HalvoGetCpuInfo(handle, &c))) {
        e.gauge("halvo_cpu_info", "The processor's name, as a label; always 1.", {{"name", text(c.cpuName)}}, 1);
        e.gauge("halvo_cpu_cores", "Processor cores.", {}, c.coreCount);
        e.gauge("halvo_cpu_threads", "Processor threads.", {}, c.threadCount);
    }
    MemoryInfo m{};
    if (e.read("memory", HalvoGetMemoryInfo(handle, &m))) {
        e.gauge("halvo_memory_size_bytes", "Memory installed.", {}, double(m.totalSize) * 1024 * 1024);
        e.gauge("halvo_memory_free_bytes", "Memory free.", {}, double(m.freeSize) * 1024 * 1024);
    }
}

void sensors(Exposition &e, int32_t handle)
{
    // The index tells apart sensors of one name (two thermal zones, two
    // sockets' "Core 0"), which would otherwise be one series twice.
    std::vector<std::pair<std::string, TempSensorInfo>> temps;
    if (list(e, "temperatures", handle, HalvoGetTempSensorCount, HalvoGetTempSensorList, HalvoGetTempSensor, temps))
        for (const auto &[index, t] : temps)
            e.gauge("halvo_temperature_celsius", "Temperature sensor reading.",
                    {{"sensor", text(t.name)}, {"index", index}}, t.value / 1000.0);
    std::vector<std::pair<std::string, VoltageSensorInfo>> volts;
    if (list(e, "voltages", handle, HalvoGetVoltageSensorCount, HalvoGetVoltageSensorList, HalvoGetVoltageSensor,
             volts))
        for (const auto &[index, v] : volts)
            e.gauge("halvo_voltage_volts", "Voltage sensor reading.", {{"sensor", text(v.name)}, {"index", index}},
                    v.value / 1000.0);
    std::vector<std::pair<std::string, FanInfo>> fans;
    if (list(e, "fans", handle, HalvoGetFanCount, HalvoGetFanList, HalvoGetFan, fans))
        for (const auto &[index, f] : fans)
            e.gauge("halvo_fan_rpm", "Fan speed in revolutions per minute.", {{"fan", text(f.name)}, {"index", index}},
                    f.speed);
    int32_t value = 0;
    if (e.read("cpu_temperature", HalvoGetCpuTemp(handle, 0, &value)))
        e.gauge("halvo_cpu_temperature_celsius", "The processor's temperature.", {}, value / 1000.0);
    if (e.read("cpu_fan", HalvoGetCpuFanSpeed(handle, &value)))
        e.gauge("halvo_cpu_fan_rpm", "The processor fan's speed in revolutions per minute.", {}, value);
    const char *const kinds[] = {"min", "max", "current"};
    for (int32_t kind = 0; kind < 3; ++kind) {
        const std::string what = std::string("cpu_frequency_") + kinds[kind];
        if (e.read(what.c_str(), HalvoGetCpuFreq(handle, kind, &value)))
            e.gauge(kind == 2 ? "halvo_cpu_frequency_hertz"
                              : std::string("halvo_cpu_frequency_") + kinds[kind] + "_hertz",
                    kind == 0   ? "The processor's lowest frequency."
                    : kind == 1 ? "The processor's highest frequency."
                                : "The processor's current frequency.",
                    {}, value * 1000.0);
    }
}

void batteries(Exposition &e, int32_t handle)
{
    // There is no battery count: batteries are numbered from 0 up to the
    // first the board refuses as out of range.
    for (int32_t i = 0; i < 8; ++i) {
        BatteryInfo info{};
        BatteryState s{};
        const int32_t status = HalvoGetBatteryInfo(handle, i, &info);
        if (HALVO_ERROR_CLASS(status) == HALVO_CLASS_ARGUMENT || (i > 0 && !ok(status)))
            break;
        const std::string battery = std::to_string(i);
        if (!e.read("battery", ok(status) ? HalvoGetBatteryState(handle, i, &s) : status))
            break;
        const Labels l = {{"battery", battery}};
        e.gauge("halvo_battery_info", "The battery's identity, as labels; always 1.",
                {{"battery", battery}, {"name", text(info.name)}, {"type", text(info.type)}}, 1);
        e.gauge("halvo_battery_charge_ratio", "Charge left, 0 to 1.", l, s.chargePercent / 100.0);
        // Charges in coulombs, the base unit: 1 mAh is 3.6 C.
        e.gauge("halvo_battery_charge_coulombs", "Charge left.", l, s.remainingCapacity * 3.6);
        e.gauge("halvo_battery_full_charge_coulombs", "Charge when full.", l, info.fullCapacity * 3.6);
        e.gauge("halvo_battery_voltage_volts", "Battery voltage.", l, s.voltage / 1000.0);
        e.gauge("halvo_battery_current_amperes", "Charge or discharge current.", l, s.rate / 1000.0);
        e.gauge("halvo_battery_time_to_empty_seconds", "Time left on battery power, as the board estimates it.", l,
                s.remainingTime);
        const char *const states[] = {"charging", "ac", "discharging"};
        for (int32_t k = 0; k < 3; ++k)
            e.gauge("halvo_battery_state", "1 for the battery's state: charging, on AC power or discharging.",
                    {{"battery", battery}, {"state", states[k]}}, s.state == k ? 1 : 0);
    }
}

void system(Exposition &e, int32_t handle)
{
    int32_t value = 0;
    if (e.read("uptime", HalvoSystemUpTime(handle, &value)))
        e.gauge("halvo_uptime_seconds", "Time since the board started.", {}, value);
    if (e.read("boot_counter", HalvoGetBootCounter(handle, &value)))
        e.add("halvo_boots_total", "counter", "Times the board has started.", {}, value);
    if (e.read("intrusion", HalvoGetIntruderStatus(handle, &value)))
        e.gauge("halvo_chassis_intrusion", "1 when the case has been opened, else 0.", {}, value ? 1 : 0);
    int32_t timeoutMs = 0;
    if (e.read("watchdog", HalvoWatchdogGetState(handle, &value, &timeoutMs))) {
        e.gauge("halvo_watchdog_armed", "1 while the watchdog counts down, else 0.", {}, value ? 1 : 0);
        e.gauge("halvo_watchdog_timeout_seconds", "The armed watchdog's timeout (0 while disarmed).", {},
                timeoutMs / 1000.0);
    }
}

} // namespace

std::string escapeLabel(const std::string &value)
{
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        if (c == '\\' || c == '"')
            out += '\\';
        if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string metricsText(int32_t handle)
{
    Exposition e;
    board(e, handle);
    sensors(e, handle);
    batteries(e, handle);
    system(e, handle);
    return e.text();
}

} // namespace halvo::agent
