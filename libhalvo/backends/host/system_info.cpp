#include "system_info.h"

#include "../../status.h"
#include "../../text.h"
#include "label_latin1.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ifaddrs.h>
#include <iterator>
#include <map>
#include <netinet/in.h>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace halvo::host
{

namespace
{

const std::string kCpu = "/sys/devices/system/cpu";
const std::string kDmi = "/sys/class/dmi/id/";
const std::string kPowerSupply = "/sys/class/power_supply/";
const std::string kNet = "/sys/class/net/";
const std::string kBlock = "/sys/block/";
const char *const kGovernors[] = {"performance", "powersave", "ondemand", "conservative"};

int32_t outOfRange()
{
    return badArgument(kOutOfRange);
}

bool startsWith(const std::string &s, const std::string &prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

// "key: value" lines of /proc files, grouped into blank-line separated blocks.
std::vector<std::map<std::string, std::string>> blocks(const std::string &text)
{
    std::vector<std::map<std::string, std::string>> result(1);
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (trim(line).empty()) {
            if (!result.back().empty())
                result.emplace_back();
            continue;
        }
        const size_t colon = line.find(':');
        if (colon != std::string::npos)
            result.back()[trim(line.substr(0, colon))] = trim(line.substr(colon + 1));
    }
    if (result.back().empty())
        result.pop_back();
    return result;
}

// A leading decimal number of a text such as "16384 kB" or "2400.000".
std::optional<double> leadingNumber(const std::string &s)
{
    char *end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end == s.c_str() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

int32_t toInt32(double v)
{
    return v >= double(INT32_MAX) ? INT32_MAX : v <= double(INT32_MIN) ? INT32_MIN : static_cast<int32_t>(v);
}

uint32_t toUint32(double v)
{
    return v >= double(UINT32_MAX) ? UINT32_MAX : v <= 0 ? 0 : static_cast<uint32_t>(v);
}

// sysfs cache sizes: "32K", "8192K", "12M".
int64_t cacheKb(const std::string &size)
{
    const auto v = leadingNumber(size);
    if (!v || *v < 0)
        return 0;
    return static_cast<int64_t>(size.find('M') != std::string::npos ? *v * 1024 : *v);
}

} // namespace

std::string addressOf(const InterfaceAddresses &addresses, const std::string &name)
{
    std::string v6;
    for (const auto &[interface, address] : addresses) {
        if (interface != name)
            continue;
        if (address.find(':') == std::string::npos)
            return address;
        if (v6.empty())
            v6 = address;
    }
    return v6;
}

SystemInfo::SystemInfo(const Root &root, const Settings &settings) : root_(root), settings_(settings) {}

SystemInfo::~SystemInfo() = default;

// ---- CPU ------------------------------------------------------------------------------------

int32_t SystemInfo::getCpuInfo(CpuInfo &info)
{
    std::string text;
    if (const int32_t status = root_.read("/proc/cpuinfo", text, 4 << 20); status != HALVO_STATUS_OK)
        return status;
    const auto processors = blocks(text);
    if (processors.empty())
        return fail(HALVO_CLASS_DEVICE, kBadValue);
    std::set<std::string> packages;
    std::set<std::pair<std::string, std::string>> cores;
    double fastest = 0;
    for (const auto &p : processors) {
        const auto physical = p.find("physical id");
        const auto core = p.find("core id");
        const std::string package = physical == p.end() ? "0" : physical->second;
        packages.insert(package);
        // Without core ids (some VMs) every processor counts as a core.
        cores.insert({package, core == p.end() ? p.count("processor") ? p.at("processor") : "" : core->second});
        if (const auto mhz = p.find("cpu MHz"); mhz != p.end())
            fastest = std::max(fastest, leadingNumber(mhz->second).value_or(0));
    }
    CpuInfo out{};
    const auto name = processors.front().find("model name");
    copyText(out.cpuName, latin1FromUtf8(name == processors.front().end() ? "" : name->second));
    out.cpuCount = static_cast<int32_t>(packages.size());
    out.coreCount = static_cast<int32_t>(cores.size());
    out.threadCount = toInt32(double(processors.size()));
    int64_t maxKhz = 0;
    out.maxCoreSpeed = root_.readInt(kCpu + "/cpu0/cpufreq/cpuinfo_max_freq", maxKhz) == HALVO_STATUS_OK
                           ? static_cast<float>(maxKhz / 1000.0)
                           : static_cast<float>(fastest);
    // L1 is data and instruction together, as the cache is usually quoted
    // per core; the shared levels are counted once.
    const std::string caches = kCpu + "/cpu0/cache/";
    for (const std::string &index : root_.list(caches)) {
        if (!startsWith(index, "index"))
            continue;
        int64_t level = 0;
        if (root_.readInt(caches + index + "/level", level) != HALVO_STATUS_OK)
            continue;
        const int64_t kb = cacheKb(root_.text(caches + index + "/size"));
        int32_t *field = level == 1 ? &out.l1Cache : level == 2 ? &out.l2Cache : level == 3 ? &out.l3Cache : nullptr;
        if (field)
            *field = clampInt32(int64_t(*field) + kb);
    }
    info = out;
    return HALVO_STATUS_OK;
}

int32_t SystemInfo::getCpuFreq(int32_t kind, int32_t &khz)
{
    static const char *const files[] = {"cpuinfo_min_freq", "cpuinfo_max_freq", "scaling_cur_freq"};
    if (kind < 0 || kind > 2)
        return outOfRange();
    // No x86 processor runs at 10 GHz; drivers that cannot tell the current
    // frequency have been seen to give 0 or an unsigned -1 instead.
    constexpr int64_t kMaxKhz = 10'000'000;
    int64_t v = 0;
    if (const int32_t status = root_.readInt(kCpu + "/cpu0/cpufreq/" + files[kind], v); status != HALVO_STATUS_OK)
        return status;
    if (v <= 0 || v > kMaxKhz)
        return fail(HALVO_CLASS_DEVICE, kBadValue);
    khz = static_cast<int32_t>(v);
    return HALVO_STATUS_OK;
}

std::vector<std::string> SystemInfo::policies() const
{
    std::vector<std::string> found;
    for (const std::string &name : root_.list(kCpu + "/cpufreq")) {
        if (startsWith(name, "policy") && root_.exists(kCpu + "/cpufreq/" + name + "/scaling_governor"))
            found.push_back(kCpu + "/cpufreq/" + name + "/");
    }
    // Kernels before policy directories: one cpufreq directory per CPU.
    if (found.empty() && root_.exists(kCpu + "/cpu0/cpufreq/scaling_governor"))
        found.push_back(kCpu + "/cpu0/cpufreq/");
    return found;
}

int32_t SystemInfo::getCpuPerformance(int8_t &type, int8_t &percent)
{
    const auto all = policies();
    if (all.empty())
        return unsupported();
    std::string governor;
    if (const int32_t status = root_.readLine(all.front() + "scaling_governor", governor); status != HALVO_STATUS_OK)
        return status;
    const auto known = std::find(std::begin(kGovernors), std::end(kGovernors), governor);
    // Another governor (schedutil, userspace) is none of the board's types.
    if (known == std::end(kGovernors))
        return unsupported();
    int64_t pct = 0;
    if (root_.readInt(kCpu + "/intel_pstate/max_perf_pct", pct) != HALVO_STATUS_OK) {
        int64_t limit = 0, max = 0;
        if (const int32_t status = root_.readInt(all.front() + "scaling_max_freq", limit); status != HALVO_STATUS_OK)
            return status;
        if (const int32_t status = root_.readInt(all.front() + "cpuinfo_max_freq", max); status != HALVO_STATUS_OK)
            return status;
        if (max <= 0)
            return fail(HALVO_CLASS_DEVICE, kBadValue);
        pct = static_cast<int64_t>(std::lround(double(limit) * 100.0 / double(max)));
    }
    type = static_cast<int8_t>(known - std::begin(kGovernors));
    percent = static_cast<int8_t>(std::clamp<int64_t>(pct, 10, 100));
    return HALVO_STATUS_OK;
}

// The governor goes first and to every policy: a refused governor (the
// usual case for a user without permission) then leaves the limit alone.
int32_t SystemInfo::setCpuPerformance(uint8_t type, int8_t percent)
{
    const auto all = policies();
    if (all.empty())
        return unsupported();
    if (type > 3 || percent < 10 || percent > 100)
        return outOfRange();
    std::string available;
    root_.readLine(all.front() + "scaling_available_governors", available);
    std::istringstream words(available);
    const std::vector<std::string> offered{std::istream_iterator<std::string>(words), {}};
    if (std::find(offered.begin(), offered.end(), kGovernors[type]) == offered.end())
        return unsupported();
    for (const std::string &policy : all) {
        if (const int32_t status = root_.write(policy + "scaling_governor", kGovernors[type]);
            status != HALVO_STATUS_OK)
            return status;
    }
    const std::string pstate = kCpu + "/intel_pstate/max_perf_pct";
    if (root_.exists(pstate))
        return root_.write(pstate, std::to_string(percent));
    for (const std::string &policy : all) {
        int64_t max = 0;
        if (const int32_t status = root_.readInt(policy + "cpuinfo_max_freq", max); status != HALVO_STATUS_OK)
            return status;
        if (const int32_t status = root_.write(policy + "scaling_max_freq", std::to_string(max * percent / 100));
            status != HALVO_STATUS_OK)
            return status;
    }
    return HALVO_STATUS_OK;
}

// ---- Board and memory -----------------------------------------------------------------------

int32_t SystemInfo::getBoardInfo(BoardInfo &info)
{
    if (!root_.exists(kDmi))
        return unsupported();
    // Serial numbers are readable by root only; the others stay useful.
    const auto field = [&](const char *name) { return latin1FromUtf8(root_.text(kDmi + name)); };
    BoardInfo out{};
    copyText(out.manufacturer, field("board_vendor"));
    copyText(out.boardName, field("board_name"));
    copyText(out.version, field("board_version"));
    copyText(out.serialNumber, field("board_serial"));
    copyText(out.biosRevision, field("bios_version"));
    copyText(out.biosDate, field("bios_date"));
    info = out;
    return HALVO_STATUS_OK;
}

const std::vector<MemoryDevice> &SystemInfo::memoryDevices(int32_t &status)
{
    if (!memory_) {
        std::string table;
        // Root-only on most systems; absent without SMBIOS (and on kernels
        // before 4.2). Either way no module can be told, not "no module".
        memoryStatus_ = root_.read("/sys/firmware/dmi/tables/DMI", table, 1 << 20);
        memory_ = parseMemoryDevices(memoryStatus_ == HALVO_STATUS_OK ? table : std::string());
    }
    status = memoryStatus_;
    return *memory_;
}

int32_t SystemInfo::getMemoryInfo(MemoryInfo &info)
{
    std::string text;
    if (const int32_t status = root_.read("/proc/meminfo", text); status != HALVO_STATUS_OK)
        return status;
    const auto values = blocks(text);
    const auto kb = [&](const char *key) -> std::optional<double> {
        if (values.empty() || !values.front().count(key))
            return std::nullopt;
        return leadingNumber(values.front().at(key));
    };
    const auto total = kb("MemTotal");
    if (!total)
        return fail(HALVO_CLASS_DEVICE, kBadValue);
    // Kernels before 3.14 have no MemAvailable.
    const auto available = kb("MemAvailable") ? kb("MemAvailable") : kb("MemFree");
    MemoryInfo out{};
    out.totalSize = toInt32(*total / 1024);
    out.freeSize = toInt32(available.value_or(0) / 1024);
    int32_t tableStatus;
    const auto &modules = memoryDevices(tableStatus);
    if (!modules.empty()) {
        out.speed = modules.front().speedMHz;
        copyText(out.memoryType, modules.front().type);
    }
    info = out;
    return HALVO_STATUS_OK;
}

int32_t SystemInfo::getMemoryModuleCount(int32_t &count)
{
    int32_t status;
    const auto &modules = memoryDevices(status);
    if (status != HALVO_STATUS_OK)
        return status;
    count = static_cast<int32_t>(std::min<size_t>(modules.size(), INT8_MAX));
    return HALVO_STATUS_OK;
}

int32_t SystemInfo::getMemoryModuleInfo(int8_t index, MemoryModuleInfo &info)
{
    int32_t status;
    const auto &modules = memoryDevices(status);
    if (status != HALVO_STATUS_OK)
        return status;
    if (modules.empty())
        return unsupported();
    if (index < 0 || static_cast<size_t>(index) >= modules.size())
        return outOfRange();
    const MemoryDevice &m = modules[static_cast<size_t>(index)];
    MemoryModuleInfo out{};
    out.size = clampInt32(m.sizeMB);
    copyText(out.manufacturer, latin1FromUtf8(m.manufacturer));
    copyText(out.partNumber, latin1FromUtf8(m.partNumber));
    copyText(out.serialNumber, latin1FromUtf8(m.serialNumber));
    info = out;
    return HALVO_STATUS_OK;
}

// ---- Battery --------------------------------------------------------------------------------

std::vector<std::string> SystemInfo::batteries() const
{
    std::vector<std::string> found;
    for (const std::string &name : root_.list(kPowerSupply)) {
        if (root_.text(kPowerSupply + name + "/type") == "Battery")
            found.push_back(kPowerSupply + name + "/");
    }
    return found;
}

namespace
{

// One power supply folder's attribute files, each read at most once while a
// call lasts: the pack's voltages serve both the charges and the shown
// voltage, and a charge_* file that is missing is not looked for again.
class SupplyFiles
{
public:
    SupplyFiles(const Root &root, std::string dir) : root_(root), dir_(std::move(dir)) {}

    // The first line, trimmed, and the status of reading it.
    int32_t line(const std::string &name, std::string &out)
    {
        auto known = lines_.find(name);
        if (known == lines_.end()) {
            Line read;
            read.status = root_.readLine(dir_ + name, read.text);
            known = lines_.emplace(name, std::move(read)).first;
        }
        out = known->second.text;
        return known->second.status;
    }
    std::string text(const std::string &name)
    {
        std::string out;
        return line(name, out) == HALVO_STATUS_OK ? out : std::string();
    }
    // A decimal integer, on the terms of Root::readInt.
    std::optional<double> number(const std::string &name)
    {
        std::string out;
        if (line(name, out) != HALVO_STATUS_OK || out.empty())
            return std::nullopt;
        errno = 0;
        char *end = nullptr;
        const long long v = std::strtoll(out.c_str(), &end, 10);
        if (errno != 0 || *end != '\0')
            return std::nullopt;
        return double(int64_t(v));
    }

private:
    struct Line {
        int32_t status = HALVO_STATUS_OK;
        std::string text;
    };
    const Root &root_;
    const std::string dir_;
    std::map<std::string, Line> lines_;
};

// A battery's charge in mAh and currents in mA, from charge_* (µAh, µA) or
// from energy_* (µWh, µW) through a voltage: charges through the design
// voltage, as capacities are rated; the present current through the present
// voltage, since the pack's voltage falls as it empties.
struct Pack {
    SupplyFiles files;
    double ratedVolts = 0;
    double presentVolts = 0;

    Pack(const Root &root, const std::string &dir) : files(root, dir)
    {
        const auto design = files.number("voltage_min_design");
        const auto now = files.number("voltage_now");
        presentVolts = now.value_or(0) / 1e6;
        ratedVolts = design && *design > 0 ? *design / 1e6 : presentVolts;
    }

    std::optional<double> milliAmpHours(const std::string &which)
    {
        if (const auto charge = files.number("charge_" + which))
            return *charge / 1000;
        if (const auto energy = files.number("energy_" + which); energy && ratedVolts > 0)
            return *energy / 1000 / ratedVolts;
        return std::nullopt;
    }
    std::optional<double> milliAmps()
    {
        if (const auto current = files.number("current_now"))
            return std::abs(*current) / 1000;
        if (const auto power = files.number("power_now"); power && presentVolts > 0)
            return std::abs(*power) / 1000 / presentVolts;
        return std::nullopt;
    }
};

} // namespace

int32_t SystemInfo::getBatteryInfo(int32_t battery, BatteryInfo &info)
{
    const auto all = batteries();
    if (all.empty())
        return unsupported();
    if (battery < 0 || static_cast<size_t>(battery) >= all.size())
        return outOfRange();
    Pack p(root_, all[static_cast<size_t>(battery)]);
    BatteryInfo out{};
    copyText(out.name, latin1FromUtf8(p.files.text("model_name")));
    copyText(out.type, latin1FromUtf8(p.files.text("technology")));
    copyText(out.serialNumber, latin1FromUtf8(p.files.text("serial_number")));
    out.designedVoltage = toInt32(p.files.number("voltage_min_design").value_or(0) / 1000);
    out.designedCapacity = toInt32(std::round(p.milliAmpHours("full_design").value_or(0)));
    out.fullCapacity = toInt32(std::round(p.milliAmpHours("full").value_or(0)));
    info = out;
    return HALVO_STATUS_OK;
}

int32_t SystemInfo::getBatteryState(int32_t battery, BatteryState &state)
{
    const auto all = batteries();
    if (all.empty())
        return unsupported();
    if (battery < 0 || static_cast<size_t>(battery) >= all.size())
        return outOfRange();
    Pack p(root_, all[static_cast<size_t>(battery)]);
    std::string status;
    if (const int32_t s = p.files.line("status", status); s != HALVO_STATUS_OK)
        return s;
    BatteryState out{};
    // Full and "Not charging" (held by the charger) both mean on AC power.
    // "Unknown", an empty status or anything else tells nothing of the power
    // source.
    if (status == "Charging")
        out.state = 0;
    else if (status == "Discharging")
        out.state = 2;
    else if (status == "Full" || status == "Not charging")
        out.state = 1;
    else
        return fail(HALVO_CLASS_DEVICE, kBadValue);
    const auto percent = p.files.number("capacity");
    if (percent && (*percent < 0 || *percent > 100))
        return fail(HALVO_CLASS_DEVICE, kBadValue);
    const double remaining = p.milliAmpHours("now").value_or(0);
    const double rate = p.milliAmps().value_or(0);
    out.remainingCapacity = toInt32(std::round(remaining));
    out.voltage = toInt32(p.files.number("voltage_now").value_or(0) / 1000);
    out.rate = out.state == 1 ? 0 : toInt32(std::round(rate));
    out.chargePercent = toInt32(percent.value_or(0));
    // Run times on the present discharge current, as the records define them;
    // unknown (0) unless the pack is discharging.
    if (out.state == 2 && rate > 0) {
        out.fullBatteryTime = toInt32(p.milliAmpHours("full").value_or(0) * 3600 / rate);
        out.remainingTime = toInt32(remaining * 3600 / rate);
    }
    state = out;
    return HALVO_STATUS_OK;
}

// ---- Network --------------------------------------------------------------------------------

std::vector<std::string> SystemInfo::interfaces() const
{
    std::vector<std::string> found;
    for (const std::string &name : root_.list(kNet)) {
        // Interfaces are links to their device directories; the class also
        // holds files (bonding_masters) and may hold broken or looping links.
        const std::string path = root_.path(kNet + name);
        struct stat st {
        };
        if (name == "lo" || ::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode) || ::stat(path.c_str(), &st) != 0 ||
            !S_ISDIR(st.st_mode))
            continue;
        // Bridges, bonds, veth pairs and tunnels live under
        // /sys/devices/virtual: the page lists the board's own ports.
        char target[4096];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
        const std::string link = n > 0 ? std::string(target, static_cast<size_t>(n)) : "";
        if (link.find("/devices/virtual/") == std::string::npos)
            found.push_back(name);
    }
    return found;
}

int32_t SystemInfo::getNetworkDeviceCount(int32_t &count)
{
    count = static_cast<int32_t>(interfaces().size());
    return HALVO_STATUS_OK;
}

int32_t SystemInfo::getNetworkDeviceList(NetworkDeviceInfo *list, int32_t count)
{
    InterfaceAddresses addresses;
    // A fixture root must not show this machine's addresses.
    if (root_.root().empty()) {
        ifaddrs *all = nullptr;
        if (::getifaddrs(&all) == 0) {
            for (const ifaddrs *a = all; a; a = a->ifa_next) {
                char text[INET6_ADDRSTRLEN] = {};
                if (!a->ifa_addr || !a->ifa_name)
                    continue;
                if (a->ifa_addr->sa_family == AF_INET &&
                    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(a->ifa_addr)->sin_addr, text,
                                sizeof text))
                    addresses.emplace_back(a->ifa_name, text);
                // Link-local addresses exist on every interface and reach
                // no one beyond the link; only global ones are shown.
                const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(a->ifa_addr);
                if (a->ifa_addr->sa_family == AF_INET6 && !IN6_IS_ADDR_LINKLOCAL(&v6->sin6_addr) &&
                    !IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr) && !IN6_IS_ADDR_SITELOCAL(&v6->sin6_addr) &&
                    !IN6_IS_ADDR_MULTICAST(&v6->sin6_addr) && ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text))
                    addresses.emplace_back(a->ifa_name, text);
            }
            ::freeifaddrs(all);
        }
    }
    return fillList(interfaces(), list, count, [&](const std::string &name, NetworkDeviceInfo &out) {
        copyText(out.name, name);
        copyText(out.macAddress, root_.text(kNet + name + "/address"));
        copyText(out.ipAddress, addressOf(addresses, name));
        int64_t speed = 0;
        // The kernel refuses the read (EINVAL) or gives -1 while the link is down.
        out.speed =
            root_.readInt(kNet + name + "/speed", speed) == HALVO_STATUS_OK && speed > 0 ? clampInt32(speed) : 0;
    });
}

// ---- Disks ----------------------------------------------------------------------------------

std::vector<SystemInfo::Disk> SystemInfo::disks() const
{
    // Drives are the block devices backed by a device (a `device` link);
    // md arrays, device mapper, nbd, loop, zram and ram disks have none.
    // Optical and floppy drives hold no partitions of the board's.
    static const char *const skipped[] = {"sr", "fd"};
    std::vector<Disk> found;
    for (const std::string &name : root_.list(kBlock)) {
        if (!root_.exists(kBlock + name + "/device") ||
            std::any_of(std::begin(skipped), std::end(skipped), [&](const char *p) { return startsWith(name, p); }))
            continue;
        // eMMC boot and RPMB areas are block devices of their own.
        if (name.find("boot") != std::string::npos || name.find("rpmb") != std::string::npos)
            continue;
        Disk disk{name, {}};
        for (const std::string &part : root_.list(kBlock + name)) {
            if (root_.exists(kBlock + name + "/" + part + "/partition"))
                disk.partitions.push_back(part);
        }
        found.push_back(disk);
    }
    return found;
}

namespace
{

// 512-byte sectors, whatever the device's block size.
uint32_t sectorsToMb(const Root &root, const std::string &file)
{
    int64_t sectors = 0;
    return root.readInt(file, sectors) == HALVO_STATUS_OK ? toUint32(double(sectors) / 2048) : 0;
}

} // namespace

int32_t SystemInfo::getDiskDriveCount(int32_t &count)
{
    count = static_cast<int32_t>(disks().size());
    return HALVO_STATUS_OK;
}

int32_t SystemInfo::getDiskDriveList(DiskDriveInfo *list, int32_t count)
{
    return fillList(disks(), list, count, [&](const Disk &disk, DiskDriveInfo &out) {
        const std::string device = kBlock + disk.dir + "/device/";
        copyText(out.name, "/dev/" + disk.dir);
        // SCSI and NVMe name the model; MMC cards give only a name.
        const std::string model = root_.text(device + "model");
        copyText(out.model, latin1FromUtf8(model.empty() ? root_.text(device + "name") : model));
        // virtio puts the serial beside the disk, SCSI and NVMe in the
        // device; SCSI disks that give none still have a world-wide id.
        std::string serial;
        for (const std::string &file :
             {kBlock + disk.dir + "/serial", device + "serial", kBlock + disk.dir + "/wwid", device + "wwid"})
            if (serial.empty())
                serial = root_.text(file);
        copyText(out.serialNumber, latin1FromUtf8(serial));
        out.size = sectorsToMb(root_, kBlock + disk.dir + "/size");
    });
}

int32_t SystemInfo::getDiskDrivePartitionCount(int32_t &count)
{
    size_t n = 0;
    for (const Disk &disk : disks())
        n += disk.partitions.size();
    count = static_cast<int32_t>(std::min<size_t>(n, INT32_MAX));
    return HALVO_STATUS_OK;
}

int32_t SystemInfo::getDiskDrivePartitionList(DiskPartitionInfo *list, int32_t count)
{
    std::vector<std::pair<std::string, std::string>> partitions; // name, sysfs dir
    for (const Disk &disk : disks()) {
        for (const std::string &part : disk.partitions)
            partitions.emplace_back(part, kBlock + disk.dir + "/" + part);
    }
    std::string mounts;
    root_.read("/proc/self/mounts", mounts, 1 << 20);
    return fillList(partitions, list, count, [&](const auto &partition, DiskPartitionInfo &out) {
        const std::string node = "/dev/" + partition.first;
        copyText(out.name, node);
        out.size = sectorsToMb(root_, partition.second + "/size");
        std::istringstream lines(mounts);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream fields(line);
            std::string source, target, type;
            if (!(fields >> source >> target >> type) || source != node)
                continue;
            copyText(out.fileSystem, type);
            struct statvfs fs {
            };
            // Free space only of this machine's own mounts.
            if (root_.root().empty() && ::statvfs(target.c_str(), &fs) == 0)
                out.freeSpace = toUint32(double(fs.f_bavail) * double(fs.f_frsize) / (1024.0 * 1024.0));
            break;
        }
    });
}

// ---- Counters -------------------------------------------------------------------------------

int32_t SystemInfo::getBootCounter(int32_t &counter)
{
    int64_t v = 0;
    if (const int32_t status = root_.readInt("/var/lib/halvo/boot-count", v); status != HALVO_STATUS_OK)
        return status;
    if (v < 0)
        return fail(HALVO_CLASS_DEVICE, kBadValue);
    counter = clampInt32(v);
    return HALVO_STATUS_OK;
}

int32_t SystemInfo::systemUpTime(int32_t &seconds)
{
    std::string line;
    if (const int32_t status = root_.readLine("/proc/uptime", line); status != HALVO_STATUS_OK)
        return status;
    const auto v = leadingNumber(line);
    if (!v || *v < 0)
        return fail(HALVO_CLASS_DEVICE, kBadValue);
    seconds = toInt32(*v);
    return HALVO_STATUS_OK;
}

} // namespace halvo::host
