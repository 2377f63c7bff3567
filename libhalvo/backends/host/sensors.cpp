#include "sensors.h"

#include "../../status.h"
#include "label_latin1.h"

#include <sensors/error.h>
#include <sensors/sensors.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <tuple>

namespace halvo::host
{

namespace
{

// libsensors keeps one state per process. Parts share it; the part that
// initialised it cleans it up when the last user goes. A state that was set
// up by someone else in the process (the application, or a second copy of
// this code as in the tests) is used as it is and left to its owner.
int gSessionUsers = 0;
bool gSessionOwned = false;

constexpr size_t kConfigLimit = 1024 * 1024;

int initWith(std::string text)
{
    // fmemopen refuses an empty buffer on older C libraries.
    if (text.empty())
        text = "\n";
    FILE *file = ::fmemopen(text.data(), text.size(), "r");
    if (!file)
        return -SENSORS_ERR_KERNEL;
    const int result = sensors_init(file);
    std::fclose(file);
    return result;
}

// The configuration as libsensors would read it below /etc: sensors3.conf,
// then the files of sensors.d in name order, hidden ones skipped.
std::string configText(const Root &root)
{
    std::string text;
    std::string part;
    if (root.read("/etc/sensors3.conf", part, kConfigLimit) == HALVO_STATUS_OK)
        text += part + "\n";
    for (const std::string &name : root.list("/etc/sensors.d")) {
        if (name[0] != '.' && root.read("/etc/sensors.d/" + name, part, kConfigLimit) == HALVO_STATUS_OK)
            text += part + "\n";
    }
    return text;
}

int32_t openSession(const Root &root)
{
    if (gSessionUsers > 0) {
        ++gSessionUsers;
        return HALVO_STATUS_OK;
    }
    int nr = 0;
    if (sensors_get_detected_chips(nullptr, &nr)) {
        gSessionOwned = false;
        ++gSessionUsers;
        return HALVO_STATUS_OK;
    }
    int result = root.root().empty() ? sensors_init(nullptr) : initWith(configText(root));
    if (result == -SENSORS_ERR_PARSE)
        result = initWith("");
    if (result != 0)
        return fail(HALVO_CLASS_DEVICE, kNoDevice);
    gSessionOwned = true;
    ++gSessionUsers;
    return HALVO_STATUS_OK;
}

void closeSession()
{
    if (--gSessionUsers == 0 && gSessionOwned) {
        sensors_cleanup();
        gSessionOwned = false;
    }
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

bool isNct6775Family(const char *prefix)
{
    static const char *const kinds[] = {"nct6775", "nct6776", "nct6779", "nct6791", "nct6792",
                                        "nct6793", "nct6795", "nct6796", "nct6797", "nct6798"};
    for (const char *kind : kinds)
        if (prefix && std::string(prefix) == kind)
            return true;
    return false;
}

// Reads one input; libsensors applies the configuration's compute line.
int32_t readValue(const Sensors::Input &input, double &value)
{
    if (sensors_get_value(input.chip, input.subfeature, &value) < 0 || !std::isfinite(value))
        return fail(HALVO_CLASS_DEVICE, kNoDevice);
    return HALVO_STATUS_OK;
}

int32_t scaled(double value, double factor)
{
    const double v = std::round(value * factor);
    return v >= INT32_MAX ? INT32_MAX : v <= INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}

// A fan cannot turn at a negative speed; such a reading is refused rather
// than passed on.
int32_t readRpm(const Sensors::Input &input, uint32_t &rpm)
{
    double v = 0;
    if (const int32_t status = readValue(input, v); status != HALVO_STATUS_OK)
        return status;
    v = std::round(v);
    if (v < 0)
        return fail(HALVO_CLASS_DEVICE, kBadValue);
    rpm = v >= UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v);
    return HALVO_STATUS_OK;
}

// Reads every input of a list before any record is written: a list with a
// sensor that gives no reading now fails as a whole, so that no value that
// was not read is reported (the caller keeps the values it had).
template <typename Item, typename Record, typename Field, typename Value>
int32_t readList(const std::vector<Item> &items, Record *list, int32_t count, Field Record::*field, Value value)
{
    std::vector<int64_t> values(std::min(items.size(), static_cast<size_t>(count)));
    for (size_t i = 0; i < values.size(); ++i)
        if (const int32_t status = value(items[i], values[i]); status != HALVO_STATUS_OK)
            return status;
    size_t i = 0;
    return fillList(items, list, count, [&](const Item &item, Record &r) {
        copyText(r.name, item.name);
        r.*field = static_cast<Field>(values[i++]);
    });
}

// One record of a list, reading its input alone.
template <typename Item, typename Record, typename Field, typename Value>
int32_t readOne(const std::vector<Item> &items, int32_t index, Record &record, Field Record::*field, Value value)
{
    if (index < 0 || static_cast<size_t>(index) >= items.size())
        return badArgument(kOutOfRange);
    const Item &item = items[static_cast<size_t>(index)];
    int64_t v = 0;
    if (const int32_t status = value(item, v); status != HALVO_STATUS_OK)
        return status;
    record = Record{};
    copyText(record.name, item.name);
    record.*field = static_cast<Field>(v);
    return HALVO_STATUS_OK;
}

int32_t readSpeed(const Sensors::Fan &fan, int64_t &speed)
{
    uint32_t v = 0;
    const int32_t status = readRpm(fan, v);
    speed = v;
    return status;
}

int32_t readMilli(const Sensors::Input &input, int64_t &milli)
{
    double v = 0;
    if (const int32_t status = readValue(input, v); status != HALVO_STATUS_OK)
        return status;
    milli = scaled(v, 1000);
    return HALVO_STATUS_OK;
}

// "nct6779-isa-0290/fan2" → chip and feature; false when malformed.
bool splitSetting(const std::string &setting, std::string &chip, std::string &feature)
{
    const size_t slash = setting.rfind('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == setting.size())
        return false;
    chip = setting.substr(0, slash);
    feature = setting.substr(slash + 1);
    return true;
}

template <typename Item> int findSetting(const std::vector<Item> &items, const std::string &setting)
{
    std::string chip, feature;
    if (!splitSetting(setting, chip, feature))
        return -1;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].chipName == chip && items[i].feature == feature)
            return static_cast<int>(i);
    return -1;
}

// A label shared within one list gets the chip name, on every occurrence, so
// that none of them looks like the only one; `keep` (the CPU fan) keeps its
// name.
template <typename Item> void disambiguate(std::vector<Item> &items, int keep = -1)
{
    std::map<std::string, int> seen;
    for (const Item &item : items)
        ++seen[lower(item.name)];
    for (size_t i = 0; i < items.size(); ++i)
        if (static_cast<int>(i) != keep && seen[lower(items[i].name)] > 1)
            items[i].name += " (" + items[i].chipName + ")";
}

} // namespace

Sensors::Sensors(const Root &root, const Settings &settings) : root_(root), settings_(settings) {}

Sensors::~Sensors()
{
    if (session_)
        closeSession();
}

int32_t Sensors::ready()
{
    if (!tried_) {
        tried_ = true;
        status_ = openSession(root_);
        session_ = status_ == HALVO_STATUS_OK;
        if (session_)
            status_ = enumerate();
    }
    return status_;
}

int32_t Sensors::enumerate()
{
    struct Chip {
        std::string name;
        std::string device; // the hwmon directory with links resolved
        const sensors_chip_name *chip;
    };
    std::vector<Chip> chips;
    int nr = 0;
    while (const sensors_chip_name *chip = sensors_get_detected_chips(nullptr, &nr)) {
        char name[256];
        const int n = sensors_snprintf_chip_name(name, sizeof name, chip);
        if (n <= 0 || static_cast<size_t>(n) >= sizeof name)
            continue;
        char *real = chip->path ? ::realpath(root_.path(chip->path).c_str(), nullptr) : nullptr;
        chips.push_back({name, real ? real : "", chip});
        std::free(real);
    }
    // Detection follows readdir order of /sys/class/hwmon; chip names are
    // stable across boots and file systems, and so are device paths.
    std::sort(chips.begin(), chips.end(),
              [](const Chip &a, const Chip &b) { return std::tie(a.name, a.device) < std::tie(b.name, b.device); });
    // libsensors prints every virtual chip of one kind alike ("acpitz-virtual-0"
    // for each thermal zone); the second and later get "#2", "#3"... so that
    // names and settings can tell them apart.
    std::map<std::string, int> seen;
    for (Chip &c : chips)
        if (const int n = ++seen[c.name]; n > 1)
            c.name += "#" + std::to_string(n);

    for (const auto &[chipName, device, chip] : chips) {
        const std::string dir = chip->path ? chip->path : "";
        int f = 0;
        while (const sensors_feature *feature = sensors_get_features(chip, &f)) {
            sensors_subfeature_type type;
            switch (feature->type) {
            case SENSORS_FEATURE_TEMP:
                type = SENSORS_SUBFEATURE_TEMP_INPUT;
                break;
            case SENSORS_FEATURE_IN:
                type = SENSORS_SUBFEATURE_IN_INPUT;
                break;
            case SENSORS_FEATURE_FAN:
                type = SENSORS_SUBFEATURE_FAN_INPUT;
                break;
            case SENSORS_FEATURE_INTRUSION:
                type = SENSORS_SUBFEATURE_INTRUSION_ALARM;
                break;
            default:
                continue;
            }
            const sensors_subfeature *sub = sensors_get_subfeature(chip, feature, type);
            if (!sub || !(sub->flags & SENSORS_MODE_R) || !feature->name)
                continue;
            Input input;
            input.chip = chip;
            input.subfeature = sub->number;
            input.chipName = chipName;
            input.feature = feature->name;
            char *label = sensors_get_label(chip, feature);
            input.name = latin1FromUtf8(label ? label : feature->name);
            std::free(label);
            // An input the driver gives no reading for (a channel not wired,
            // a diode not fitted) is no sensor of this board.
            double probe = 0;
            if (readValue(input, probe) != HALVO_STATUS_OK)
                continue;

            if (feature->type == SENSORS_FEATURE_TEMP) {
                temps_.push_back(input);
            } else if (feature->type == SENSORS_FEATURE_IN) {
                volts_.push_back(input);
            } else if (feature->type == SENSORS_FEATURE_INTRUSION) {
                if (!intrusion_.chip)
                    intrusion_ = input;
            } else {
                Fan fan;
                static_cast<Input &>(fan) = input;
                fan.nct6775Family = isNct6775Family(chip->prefix);
                const std::string channel = input.feature.substr(3);
                // Only paths below /sys map onto the root; libsensors gives
                // nothing else, but its answer is not ours to trust.
                if (dir.rfind("/sys/", 0) == 0 && input.feature.rfind("fan", 0) == 0 && !channel.empty() &&
                    channel.size() < 4 &&
                    std::all_of(channel.begin(), channel.end(), [](unsigned char c) { return std::isdigit(c) != 0; }) &&
                    root_.exists(dir + "/pwm" + channel))
                    fan.pwm = dir + "/pwm" + channel;
                fans_.push_back(fan);
            }
        }
    }

    if (settings_.cpuTemp) {
        cpuTemp_ = findSetting(temps_, *settings_.cpuTemp);
    } else {
        // The kernel's own label, so that a relabelling configuration does
        // not hide the package sensor.
        // Kernels before 3.8 label coretemp's package sensor "Physical id".
        const char *const wanted[][2] = {
            {"coretemp", "Package id 0"}, {"coretemp", "Physical id 0"}, {"k10temp", "Tdie"}, {"k10temp", "Tctl"}};
        for (const auto &[prefix, label] : wanted) {
            for (size_t i = 0; cpuTemp_ < 0 && i < temps_.size(); ++i) {
                const Input &t = temps_[i];
                const std::string kernelLabel =
                    root_.text(std::string(t.chip->path ? t.chip->path : "") + "/" + t.feature + "_label", t.name);
                if (t.chip->prefix && std::string(t.chip->prefix) == prefix && kernelLabel == label)
                    cpuTemp_ = static_cast<int>(i);
            }
        }
    }
    if (settings_.cpuFan) {
        cpuFan_ = findSetting(fans_, *settings_.cpuFan);
    } else {
        for (size_t i = 0; cpuFan_ < 0 && i < fans_.size(); ++i)
            if (lower(fans_[i].name).find("cpu") != std::string::npos)
                cpuFan_ = static_cast<int>(i);
    }
    if (cpuFan_ >= 0)
        fans_[static_cast<size_t>(cpuFan_)].name = "CPU-Fan";
    disambiguate(temps_);
    disambiguate(volts_);
    disambiguate(fans_, cpuFan_);
    return HALVO_STATUS_OK;
}

int32_t Sensors::getTempSensorCount(int32_t &count)
{
    return whenReady([&] {
        count = clampInt32(static_cast<int64_t>(temps_.size()));
        return HALVO_STATUS_OK;
    });
}

int32_t Sensors::getTempSensorList(TempSensorInfo *list, int32_t count)
{
    return whenReady([&] { return readList(temps_, list, count, &TempSensorInfo::value, readMilli); });
}

int32_t Sensors::getVoltageSensorCount(int32_t &count)
{
    return whenReady([&] {
        count = clampInt32(static_cast<int64_t>(volts_.size()));
        return HALVO_STATUS_OK;
    });
}

int32_t Sensors::getVoltageSensorList(VoltageSensorInfo *list, int32_t count)
{
    return whenReady([&] { return readList(volts_, list, count, &VoltageSensorInfo::value, readMilli); });
}

int32_t Sensors::getFanCount(int32_t &count)
{
    return whenReady([&] {
        count = clampInt32(static_cast<int64_t>(fans_.size()));
        return HALVO_STATUS_OK;
    });
}

int32_t Sensors::getFanList(FanInfo *list, int32_t count)
{
    return whenReady([&] { return readList(fans_, list, count, &FanInfo::speed, readSpeed); });
}

int32_t Sensors::getTempSensor(int32_t index, TempSensorInfo &sensor)
{
    return whenReady([&] { return readOne(temps_, index, sensor, &TempSensorInfo::value, readMilli); });
}

int32_t Sensors::getVoltageSensor(int32_t index, VoltageSensorInfo &sensor)
{
    return whenReady([&] { return readOne(volts_, index, sensor, &VoltageSensorInfo::value, readMilli); });
}

int32_t Sensors::getFan(int32_t index, FanInfo &fan)
{
    return whenReady([&] { return readOne(fans_, index, fan, &FanInfo::speed, readSpeed); });
}

int32_t Sensors::getCpuTemp(int32_t sensor, int32_t &milliCelsius)
{
    if (const int32_t status = ready(); status != HALVO_STATUS_OK)
        return status;
    if (sensor != 0)
        return badArgument(kOutOfRange);
    if (cpuTemp_ < 0)
        return unsupported();
    double v = 0;
    if (const int32_t status = readValue(temps_[static_cast<size_t>(cpuTemp_)], v); status != HALVO_STATUS_OK)
        return status;
    milliCelsius = scaled(v, 1000);
    return HALVO_STATUS_OK;
}

int32_t Sensors::getCpuFanSpeed(int32_t &value)
{
    if (const int32_t status = ready(); status != HALVO_STATUS_OK)
        return status;
    if (cpuFan_ < 0)
        return unsupported();
    uint32_t v = 0;
    if (const int32_t status = readRpm(fans_[static_cast<size_t>(cpuFan_)], v); status != HALVO_STATUS_OK)
        return status;
    value = clampInt32(v);
    return HALVO_STATUS_OK;
}

int32_t Sensors::getIntruderStatus(int32_t &status)
{
    if (const int32_t s = ready(); s != HALVO_STATUS_OK)
        return s;
    if (!intrusion_.chip)
        return unsupported();
    double v = 0;
    if (const int32_t s = readValue(intrusion_, v); s != HALVO_STATUS_OK)
        return s;
    status = v != 0 ? 1 : 0;
    return HALVO_STATUS_OK;
}

int32_t Sensors::pwmMode(const Fan &fan, uint8_t &mode) const
{
    const std::string enable = fan.pwm + "_enable";
    if (!root_.exists(enable)) {
        mode = 1;
        return HALVO_STATUS_OK;
    }
    int64_t v = 0;
    if (const int32_t status = root_.readInt(enable, v); status != HALVO_STATUS_OK)
        return status;
    mode = v == 1 ? 1 : v == 2 && fan.nct6775Family ? 2 : 0;
    return HALVO_STATUS_OK;
}

int32_t Sensors::getFanMode(int32_t fan, uint8_t &mode)
{
    if (const int32_t status = ready(); status != HALVO_STATUS_OK)
        return status;
    if (cpuFan_ < 0)
        return unsupported();
    if (fan != 1)
        return badArgument(kOutOfRange);
    const Fan &cpu = fans_[static_cast<size_t>(cpuFan_)];
    if (cpu.pwm.empty())
        return unsupported();
    return pwmMode(cpu, mode);
}

int32_t Sensors::getFanSpeed(int32_t fan, uint8_t &speed, int32_t &value)
{
    if (const int32_t status = ready(); status != HALVO_STATUS_OK)
        return status;
    if (fans_.empty())
        return unsupported();
    if (fan < 0 || static_cast<size_t>(fan) >= fans_.size())
        return badArgument(kOutOfRange);
    const Fan &f = fans_[static_cast<size_t>(fan)];
    if (f.pwm.empty())
        return unsupported();
    int64_t duty = 0;
    if (const int32_t status = root_.readInt(f.pwm, duty); status != HALVO_STATUS_OK)
        return status;
    uint32_t v = 0;
    if (const int32_t status = readRpm(f, v); status != HALVO_STATUS_OK)
        return status;
    speed = static_cast<uint8_t>(std::clamp<int64_t>(duty, 0, 255));
    value = clampInt32(v);
    return HALVO_STATUS_OK;
}

int32_t Sensors::setCpuFanSpeed(uint8_t speed)
{
    if (const int32_t status = ready(); status != HALVO_STATUS_OK)
        return status;
    if (cpuFan_ < 0)
        return unsupported();
    const Fan &fan = fans_[static_cast<size_t>(cpuFan_)];
    if (fan.pwm.empty())
        return unsupported();
    // Manual first: in an automatic mode the chip overwrites the duty with
    // its own at the next step.
    const std::string enable = fan.pwm + "_enable";
    if (root_.exists(enable))
        if (const int32_t status = root_.write(enable, "1"); status != HALVO_STATUS_OK)
            return status;
    return root_.write(fan.pwm, std::to_string(speed));
}

int32_t Sensors::setFanModeThermalCruise(int32_t fan, int32_t target, int32_t tolerance)
{
    if (const int32_t status = ready(); status != HALVO_STATUS_OK)
        return status;
    if (fans_.empty())
        return unsupported();
    if (fan < 0 || static_cast<size_t>(fan) >= fans_.size())
        return badArgument(kOutOfRange);
    const Fan &f = fans_[static_cast<size_t>(fan)];
    if (f.pwm.empty() || !f.nct6775Family)
        return unsupported();
    // The tolerance field is 4 bits wide on the nct6775, 3 on its successors.
    const int32_t maxTolerance = std::string(f.chip->prefix) == "nct6775" ? 15000 : 7000;
    if (target < 0 || target > 127000 || tolerance < 0 || tolerance > maxTolerance)
        return badArgument(kOutOfRange);
    const std::string targetFile = f.pwm + "_target_temp";
    const std::string toleranceFile = f.pwm + "_temp_tolerance";
    const std::string enableFile = f.pwm + "_enable";
    // Channels past the ones the chip regulates lack the attributes.
    if (!root_.exists(targetFile) || !root_.exists(toleranceFile) || !root_.exists(enableFile))
        return unsupported();
    // Both m°C, as the driver takes them. The mode goes last: switched on
    // first, the chip would regulate toward the old target until the new
    // one arrives, and a refused value would leave it cruising on stale ones.
    if (const int32_t status = root_.write(targetFile, std::to_string(target)); status != HALVO_STATUS_OK)
        return status;
    if (const int32_t status = root_.write(toleranceFile, std::to_string(tolerance)); status != HALVO_STATUS_OK)
        return status;
    return root_.write(enableFile, "2");
}

} // namespace halvo::host
