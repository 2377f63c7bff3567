#include "board_json.h"

#include "../../instrument.h"
#include "../../text.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using nlohmann::json;

namespace halvo::sim
{

namespace
{

[[noreturn]] void error(const std::string &path, const std::string &what)
{
    throw DescriptionError(path + ": " + what);
}

template <typename Bytes> std::string toHex(const Bytes &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t byte : bytes) {
        s += digits[byte >> 4];
        s += digits[byte & 15];
    }
    return s;
}

// `value` as "0x..." with as many digits as `widest` has.
std::string hexText(unsigned value, unsigned widest)
{
    int digits = 1;
    while (widest >>= 4)
        ++digits;
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*x", digits, value);
    return text;
}

std::vector<uint8_t> unhex(const std::string &text, const std::string &path)
{
    auto nibble = [&](char c) {
        const int d = hexDigit(c);
        if (d < 0)
            error(path, "expected hexadecimal digits");
        return d;
    };
    if (text.size() % 2 != 0)
        error(path, "expected an even number of hexadecimal digits");
    std::vector<uint8_t> out;
    for (size_t i = 0; i < text.size(); i += 2)
        out.push_back(static_cast<uint8_t>(nibble(text[i]) * 16 + nibble(text[i + 1])));
    return out;
}

// Every integer of a description is read through here, as 64 bits and checked
// against the range of the field that will hold it, so that nothing is
// truncated or wraps later. The path is only made for the error message: a
// large world reads hundreds of thousands of numbers.
template <typename Path> int64_t integerAt(const json &v, const Path &path, int64_t min, int64_t max)
{
    int64_t value = 0;
    if (v.is_number_integer() && !v.is_number_unsigned()) {
        value = v.get<int64_t>();
    } else if (v.is_number_unsigned()) {
        value = v.get<uint64_t>() > uint64_t(INT64_MAX) ? INT64_MAX : int64_t(v.get<uint64_t>());
    } else if (v.is_string()) {
        // Register-like values (PCI ids, bus addresses) read better in hex.
        const std::string &s = v.get_ref<const std::string &>();
        size_t used = 0;
        try {
            value = std::stoll(s, &used, 0);
        } catch (...) {
            used = 0;
        }
        if (used == 0 || used != s.size())
            error(path(), "expected an integer or a \"0x...\" text");
    } else {
        error(path(), "expected an integer");
    }
    if (value < min || value > max)
        error(path(), "expected an integer in " + std::to_string(min) + ".." + std::to_string(max));
    return value;
}

int32_t statusValue(const json &v, const std::string &path)
{
    if (v.is_number())
        return static_cast<int32_t>(integerValue(v, path, INT32_MIN, INT32_MAX));
    if (v.is_string()) {
        static const std::map<std::string, int32_t> names = {
            {"ok", HALVO_STATUS_OK},
            {"partial", HALVO_STATUS_PARTIAL},
            {"connection", HALVO_MAKE_ERROR(HALVO_CLASS_CONNECTION, 0)},
            {"argument", HALVO_MAKE_ERROR(HALVO_CLASS_ARGUMENT, 0)},
            {"unsupported", HALVO_MAKE_ERROR(HALVO_CLASS_UNSUPPORTED, 0)},
            {"device", HALVO_MAKE_ERROR(HALVO_CLASS_DEVICE, 0)},
            {"handle", HALVO_MAKE_ERROR(HALVO_CLASS_HANDLE, 0)},
            {"access", HALVO_MAKE_ERROR(HALVO_CLASS_ACCESS, 0)},
        };
        auto it = names.find(v.get<std::string>());
        if (it != names.end())
            return it->second;
    }
    error(path, "expected a status number or one of ok, partial, connection, argument, unsupported, device, "
                "handle, access");
}

// Each record of the description is listed once, by a `fields` function with
// one row per key: key, member, range or names, default. The reader (In) and
// the writer (Out) both walk these lists, so a key is spelt once. Rows are
// read in order, so a default or a limit may use the members read before it;
// a key left out keeps the member's initial value unless its row says.

// The JSON name of one value of an enumerated (or bool) member.
struct Choice {
    template <typename V> constexpr Choice(const char *name, V value) : name(name), value(static_cast<int>(value)) {}
    const char *name;
    int value;
};

template <typename S, typename... Context>
S readRecord(const json &j, const std::string &path, S s, const Context &...context);
template <typename S> json writeRecord(const S &s);
std::unique_ptr<Device> readDevice(const json &j, const std::string &path);
json writeDevice(const Device &d);

// Reads one JSON object: its rows, with defaults and ranges, and a check at
// the end that no key went unread, so that a misspelt key is an error and not
// a silently ignored setting. Keys beginning with "_" are comments.
class In
{
public:
    static constexpr bool reading = true;

    In(const json &j, std::string path) : j_(j), path_(std::move(path))
    {
        if (!j_.is_object())
            error(path_, "expected an object");
    }

    std::string path(const std::string &key) const { return path_ + "." + key; }

    const json *find(const std::string &key)
    {
        used_.insert(key);
        auto it = j_.find(key);
        return (it == j_.end() || it->is_null()) ? nullptr : &*it;
    }

    int64_t integer(const std::string &key, int64_t fallback, int64_t min = INT32_MIN, int64_t max = INT32_MAX)
    {
        const json *v = find(key);
        return v ? integerAt(
                       *v, [&] { return path(key); }, min, max)
                 : fallback;
    }

    std::string string(const std::string &key, const std::string &fallback)
    {
        const json *v = find(key);
        if (!v)
            return fallback;
        if (!v->is_string())
            error(path(key), "expected a text");
        return v->get<std::string>();
    }

    template <typename F> void array(const std::string &key, F each)
    {
        const json *v = find(key);
        if (!v)
            return;
        if (!v->is_array())
            error(path(key), "expected an array");
        for (size_t i = 0; i < v->size(); ++i)
            each((*v)[i], path(key) + "[" + std::to_string(i) + "]");
    }

    void finish() const
    {
        for (const auto &item : j_.items())
            if (!used_.count(item.key()) && item.key().rfind('_', 0) != 0)
                error(path(item.key()), "unknown key");
    }

    // A record text: Latin-1, at most HALVO_TEXT_SIZE bytes. A text of exactly
    // HALVO_TEXT_SIZE bytes reaches the program without a NUL.
    void operator()(const char *key, std::string &v)
    {
        if (const json *j = find(key)) {
            if (!j->is_string())
                error(path(key), "expected a text");
            const std::string &utf8 = j->get_ref<const std::string &>();
            const bool ascii = std::all_of(utf8.begin(), utf8.end(), [](char c) { return c >= 0; });
            v = ascii ? utf8 : latin1FromUtf8(utf8, path(key));
            if (v.size() > HALVO_TEXT_SIZE)
                error(path(key), "text longer than 128 bytes");
        }
    }

    void operator()(const char *key, bool &v)
    {
        if (const json *j = find(key)) {
            if (!j->is_boolean())
                error(path(key), "expected true or false");
            v = j->get<bool>();
        }
    }

    // An integer or a number in min..max; left out, `fallback` if there is one.
    template <typename V>
    void operator()(const char *key, V &v, double min = INT32_MIN, double max = INT32_MAX,
                    std::optional<double> fallback = {})
    {
        const json *j = find(key);
        if (!j) {
            v = static_cast<V>(fallback.value_or(v));
        } else if constexpr (std::is_integral_v<V>) {
            v = static_cast<V>(integerAt(
                *j, [&] { return path(key); }, static_cast<int64_t>(min), static_cast<int64_t>(max)));
        } else {
            if (!j->is_number())
                error(path(key), "expected a number");
            const double value = j->get<double>();
            if (!(value >= min && value <= max))
                error(path(key), "expected a number in " + std::to_string(min) + ".." + std::to_string(max));
            v = static_cast<V>(value);
        }
    }

    // Left out, the member stays empty.
    void operator()(const char *key, std::optional<int32_t> &v, double min, double max = INT32_MAX)
    {
        if (find(key))
            v = static_cast<int32_t>(integer(key, 0, static_cast<int64_t>(min), static_cast<int64_t>(max)));
    }

    void operator()(const char *key, std::vector<int> &v, int64_t min, int64_t max)
    {
        v.clear();
        array(key, [&](const json &item, const std::string &p) {
            v.push_back(static_cast<int>(integerValue(item, p, min, max)));
        });
    }

    template <typename V, size_t N>
    void operator()(const char *key, V &v, const Choice (&choices)[N], std::optional<std::decay_t<V>> fallback = {})
    {
        const json *j = find(key);
        if (!j) {
            v = fallback.value_or(v);
            return;
        }
        if (!j->is_string())
            error(path(key), "expected a text");
        std::string names;
        for (size_t i = 0; i < N; ++i) {
            if (*j == choices[i].name) {
                v = static_cast<V>(choices[i].value);
                return;
            }
            names += (i == 0 ? "" : i + 1 == N ? " or " : ", ") + std::string(choices[i].name);
        }
        error(path(key), "expected " + names);
    }

    void operator()(const char *key, std::map<std::string, int32_t> &statuses)
    {
        const json *j = find(key);
        if (!j)
            return;
        if (!j->is_object())
            error(path(key), "expected an object of function names");
        for (const auto &item : j->items()) {
            const std::string where = path(key) + "." + item.key();
            if (!Instrument::isBoardFunction(item.key()))
                error(where, "not a board function");
            if (!item.value().is_null())
                statuses[item.key()] = statusValue(item.value(), where);
        }
    }

    void hex(const char *key, int32_t &v, int64_t min, int64_t max)
    {
        v = static_cast<int32_t>(integer(key, v, min, max));
    }

    // SMBus block reads carry at most 32 bytes.
    void block(const char *key, std::string &v)
    {
        v = latin1FromUtf8(string(key, ""), path(key));
        if (v.size() > HALVO_SMBUS_BLOCK_MAX)
            error(path(key), "SMBus blocks hold at most 32 bytes");
    }

    // Bytes as Latin-1 text (`key`) or hex (`key`Hex), from the start of `into`.
    template <typename Bytes> void bytes(const char *key, Bytes &into, const char *tooLong)
    {
        if (auto content = this->content(key)) {
            if (content->size() > into.size())
                error(path_, tooLong);
            std::copy(content->begin(), content->end(), into.begin());
        }
    }

    // Bytes that replace `v`.
    void bytes(const char *key, std::vector<uint8_t> &v, size_t most, const char *tooLong)
    {
        if (auto content = this->content(key)) {
            if (content->size() > most)
                error(path_, tooLong);
            v = *content;
        }
    }

    void loopback(const char *key, std::vector<int> &partner)
    {
        const auto last = static_cast<int64_t>(partner.size()) - 1;
        array(key, [&](const json &pair, const std::string &p) {
            if (!pair.is_array() || pair.size() != 2)
                error(p, "expected a pair of pin numbers");
            const auto a = static_cast<int>(integerValue(pair[0], p + "[0]", 0, last));
            const auto c = static_cast<int>(integerValue(pair[1], p + "[1]", 0, last));
            if (a == c)
                error(p, "a pin cannot be wired to itself");
            if (partner[a] >= 0 || partner[c] >= 0)
                error(p, "a pin can be wired to one other pin only");
            partner[a] = c;
            partner[c] = a;
        });
    }

    // 0 or 1 per pin, from pin 0 on.
    void pins(const char *key, std::vector<uint8_t> &bits)
    {
        size_t i = 0;
        array(key, [&](const json &v, const std::string &p) {
            if (i >= bits.size())
                error(p, "expected 0 or 1, one per pin");
            bits[i++] = static_cast<uint8_t>(integerValue(v, p, 0, 1));
        });
    }

    void devices(const char *key, Bus &bus)
    {
        array(key, [&](const json &item, const std::string &p) {
            auto device = readDevice(item, p);
            if (bus.find(device->address))
                error(p, "two devices at address " + hexText(device->address, 0x7f));
            bus.devices.push_back(std::move(device));
        });
    }

    // A record in place: the keys it leaves out keep the member's values.
    template <typename S> void record(const char *key, S &s)
    {
        if (const json *j = find(key))
            s = readRecord(*j, path(key), s);
    }

    template <typename S> void record(const char *key, std::optional<S> &s)
    {
        if (const json *j = find(key))
            s = readRecord(*j, path(key), S());
    }

    // Each record of the array from the record's initial values.
    template <typename S, typename... Context>
    void record(const char *key, std::vector<S> &s, const Context &...context)
    {
        array(key, [&](const json &item, const std::string &p) { s.push_back(readRecord(item, p, S(), context...)); });
    }

    void refuse(const char *key, const char *what) { error(path(key), what); }

private:
    // Bytes given either as Latin-1 text (`key`) or as hex (`key`Hex).
    std::optional<std::vector<uint8_t>> content(const std::string &key)
    {
        const std::string hexKey = key + "Hex";
        const json *t = find(key);
        const json *h = find(hexKey);
        if (t && h)
            error(path_, "give either \"" + key + "\" or \"" + hexKey + "\", not both");
        if (t) {
            if (!t->is_string())
                error(path(key), "expected a text");
            const std::string s = latin1FromUtf8(t->get<std::string>(), path(key));
            return std::vector<uint8_t>(s.begin(), s.end());
        }
        if (h) {
            if (!h->is_string())
                error(path(hexKey), "expected a text of hexadecimal digits");
            return unhex(h->get<std::string>(), path(hexKey));
        }
        return std::nullopt;
    }

    const json &j_;
    std::string path_;
    std::set<std::string> used_;
};

// Writes the rows of a record into its JSON object.
struct Out {
    static constexpr bool reading = false;
    json &j;

    void operator()(const char *key, const std::string &v) { j[key] = utf8FromLatin1(v); }
    template <typename V>
    void operator()(const char *key, const V &v, double = 0, double = 0, std::optional<double> = {})
    {
        j[key] = v;
    }
    void operator()(const char *key, const std::optional<int32_t> &v, double, double = 0)
    {
        if (v)
            j[key] = *v;
    }
    template <typename V, size_t N>
    void operator()(const char *key, const V &v, const Choice (&choices)[N], std::optional<std::decay_t<V>> = {})
    {
        for (const Choice &c : choices)
            if (c.value == static_cast<int>(v))
                j[key] = c.name;
    }
    // Register-like values read better in hex, with as many digits as max has.
    void hex(const char *key, int32_t v, int64_t, int64_t max)
    {
        j[key] = hexText(static_cast<unsigned>(v), static_cast<unsigned>(max));
    }
    void block(const char *key, const std::string &v) { (*this)(key, v); }
    // In hex, which holds any byte.
    template <typename Bytes, typename... Rest> void bytes(const char *key, const Bytes &b, Rest...)
    {
        j[std::string(key) + "Hex"] = toHex(b);
    }
    void loopback(const char *key, const std::vector<int> &partner)
    {
        j[key] = json::array();
        for (int pin = 0; pin < static_cast<int>(partner.size()); ++pin)
            if (partner[pin] > pin)
                j[key].push_back({pin, partner[pin]});
    }
    void pins(const char *key, const std::vector<uint8_t> &bits) { j[key] = bits; }
    void devices(const char *key, const Bus &bus)
    {
        j[key] = json::array();
        for (const auto &d : bus.devices)
            j[key].push_back(writeDevice(*d));
    }
    template <typename S> void record(const char *key, const S &s) { j[key] = writeRecord(s); }
    template <typename S> void record(const char *key, const std::optional<S> &s)
    {
        if (s)
            j[key] = writeRecord(*s);
    }
    template <typename S, typename... Context> void record(const char *key, const std::vector<S> &s, Context...)
    {
        j[key] = json::array();
        for (const S &item : s)
            j[key].push_back(writeRecord(item));
    }
    // What the board has come to was checked when it was read.
    void refuse(const char *, const char *) {}
};

template <typename S, typename... Context>
S readRecord(const json &j, const std::string &path, S s, const Context &...context)
{
    In in(j, path);
    fields(in, s, context...);
    in.finish();
    return s;
}

// The lists take their record by reference for the reader; the writer only
// reads it.
template <typename S> json writeRecord(const S &s)
{
    json j = json::object();
    Out out{j};
    fields(out, const_cast<S &>(s));
    return j;
}

template <typename F> void fields(F &f, Eeprom &e)
{
    if (f.reading)
        e.bytes.fill(0xff); // erased cells
    f.bytes("content", e.bytes, "content longer than the 256-byte EEPROM");
    f("pointer", e.pointer, 0, 255);
    f("writeProtected", e.writeProtected);
}

template <typename F> void fields(F &f, Lm75 &s)
{
    f("pointer", s.pointer, 0, 3);
    f("config", s.config, 0, 255);
    // The limits are kept as the registers the sensor holds.
    double thyst = Lm75::fromRegister(s.thyst), tos = Lm75::fromRegister(s.tos);
    f("thystMilliCelsius", thyst, -55000, 125000);
    f("tosMilliCelsius", tos, -55000, 125000);
    if (f.reading) {
        s.thyst = Lm75::toRegister(thyst);
        s.tos = Lm75::toRegister(tos);
    }
    f("offsetMilliCelsius", s.offsetMilliCelsius, -200000, 200000);
}

template <typename F> void fields(F &f, SmartBattery &b)
{
    f.block("manufacturerName", b.manufacturerName);
    f.block("deviceName", b.deviceName);
    f.block("chemistry", b.chemistry);
    f("serialNumber", b.serialNumber, 0, 0xffff);
    f("remainingCapacityAlarm", b.writableWords.at(0x01), 0, 0xffff);
    f("remainingTimeAlarm", b.writableWords.at(0x02), 0, 0xffff);
    f("batteryMode", b.writableWords.at(0x03), 0, 0xffff);
    f.bytes("scratch", b.scratch, HALVO_SMBUS_BLOCK_MAX, "scratch holds at most 32 bytes");
    f("command", b.command, 0, 255);
}

std::unique_ptr<Device> readDevice(const json &j, const std::string &path)
{
    In in(j, path);
    if (!in.find("address"))
        error(in.path("address"), "a bus device needs an address");
    const auto address = static_cast<uint8_t>(in.integer("address", 0, 0, 0x7f));
    const std::string type = in.string("type", "");
    const auto read = [&](auto device) -> std::unique_ptr<Device> {
        fields(in, *device);
        return device;
    };
    std::unique_ptr<Device> device;
    if (type == "eeprom")
        device = read(std::make_unique<Eeprom>(address));
    else if (type == "lm75")
        device = read(std::make_unique<Lm75>(address));
    else if (type == "smartBattery")
        device = read(std::make_unique<SmartBattery>(address));
    else
        error(in.path("type"), "expected one of eeprom, lm75, smartBattery");
    in.finish();
    return device;
}

json writeDevice(const Device &d)
{
    json j;
    if (auto e = dynamic_cast<const Eeprom *>(&d)) {
        j = writeRecord(*e);
        j["type"] = "eeprom";
    } else if (auto s = dynamic_cast<const Lm75 *>(&d)) {
        j = writeRecord(*s);
        j["type"] = "lm75";
    } else if (auto b = dynamic_cast<const SmartBattery *>(&d)) {
        j = writeRecord(*b);
        j["type"] = "smartBattery";
    }
    j["address"] = hexText(d.address, 0x7f);
    return j;
}

template <typename F> void fields(F &f, Bus &bus)
{
    f.devices("devices", bus);
}

template <typename F> void fields(F &f, BoardText &t)
{
    f("manufacturer", t.manufacturer);
    f("boardName", t.boardName);
    f("version", t.version);
    f("serialNumber", t.serialNumber);
    f("biosRevision", t.biosRevision);
    f("biosDate", t.biosDate);
}

template <typename F> void fields(F &f, Cpu &c)
{
    f("name", c.name);
    f("cpuCount", c.cpuCount, 0);
    f("coreCount", c.coreCount, 0);
    f("threadCount", c.threadCount, 0);
    f("maxCoreSpeedMHz", c.maxCoreSpeedMHz, 0, 1e6);
    f("fsbSpeedMHz", c.fsbSpeedMHz, 0);
    f("l1CacheKB", c.l1CacheKB, 0);
    f("l2CacheKB", c.l2CacheKB, 0);
    f("l3CacheKB", c.l3CacheKB, 0);
    f("maxFrequencyKHz", c.maxFrequencyKHz, 0, INT32_MAX, 1000000);
    f("minFrequencyKHz", c.minFrequencyKHz, 0, INT32_MAX, c.maxFrequencyKHz);
    f("loadPercent", c.loadPercent, 0, 100);
    f("loadSwingPercent", c.loadSwingPercent, 0, 100);
    f("loadPeriodSeconds", c.loadPeriodSeconds, 0.1, 1e9);
}

constexpr Choice kPerformanceModes[] = {{"types", Performance::Mode::Types},
                                        {"percentage", Performance::Mode::Percentage},
                                        {"none", Performance::Mode::None}};

template <typename F> void fields(F &f, Performance &p)
{
    // A board that describes its performance control has the four types unless told otherwise.
    f("mode", p.mode, kPerformanceModes, Performance::Mode::Types);
    f("acceptedTypes", p.acceptedTypes, 0, 3);
    f("type", p.type, 0, 3);
    f("percent", p.percent, 10, 100);
    f("percentStep", p.percentStep, 1, 90);
    f("currentFrequencyKHz", p.currentKHz, 0, INT32_MAX);
}

template <typename F> void fields(F &f, Memory &m)
{
    f("totalSizeMB", m.totalSizeMB, 0);
    f("freeSizeMB", m.freeSizeMB, 0);
    f("speedMHz", m.speedMHz, 0);
    f("type", m.type);
}

template <typename F> void fields(F &f, MemoryModule &m)
{
    f("sizeMB", m.sizeMB, 0);
    f("manufacturer", m.manufacturer);
    f("partNumber", m.partNumber);
    f("serialNumber", m.serialNumber);
}

template <typename F> void fields(F &f, Battery &t)
{
    f("name", t.name);
    f("type", t.type);
    f("serialNumber", t.serialNumber);
    // Room for the terminal voltage: up to 8 % above nominal plus the charger's lift.
    f("designedVoltageMilliVolt", t.designedVoltageMilliVolt, 0, Battery::kMaxDesignedMilliVolt);
    f("designedCapacityMilliAmpHours", t.designedCapacityMilliAmpHours, 0);
    f("fullCapacityMilliAmpHours", t.fullCapacityMilliAmpHours, 0, INT32_MAX, t.designedCapacityMilliAmpHours);
    f("remainingCapacityMilliAmpHours", t.remainingMilliAmpHours, 0, t.fullCapacityMilliAmpHours,
      t.fullCapacityMilliAmpHours);
    f("state", t.state, 0, 2);
    f("chargeCurrentMilliAmps", t.chargeCurrentMilliAmps, 0);
    f("dischargeCurrentMilliAmps", t.dischargeCurrentMilliAmps, 0);
    f("cycle", t.cycle);
    f("acHoldSeconds", t.acHoldSeconds, 0, 1e12);
    f("lowPercent", t.lowPercent, 0, 100);
    f("secondsInState", t.secondsInState, 0, 1e12);
}

template <typename F> void fields(F &f, NetworkDevice &d)
{
    f("name", d.name);
    f("ipAddress", d.ipAddress);
    f("macAddress", d.macAddress);
    f("speedMbit", d.speedMbit, 0);
}

template <typename F> void fields(F &f, PciDevice &d)
{
    f("domain", d.domain, 0, 0xffff);
    f("bus", d.bus, 0, 0xff);
    f("device", d.device, 0, 0x1f);
    f("function", d.function, 0, 7);
    f.hex("vendorId", d.vendorId, 0, 0xffff);
    f.hex("classCode", d.classCode, 0, 0xffffff);
    f.hex("deviceId", d.deviceId, 0, 0xffff);
    f("vendorName", d.vendorName);
    f("className", d.className);
    f("deviceName", d.deviceName);
}

template <typename F> void fields(F &f, DiskDrive &d)
{
    f("name", d.name);
    f("model", d.model);
    f("serialNumber", d.serialNumber);
    f("sizeMB", d.sizeMB, 0, UINT32_MAX);
}

template <typename F> void fields(F &f, DiskPartition &d)
{
    f("name", d.name);
    f("fileSystem", d.fileSystem);
    f("sizeMB", d.sizeMB, 0, UINT32_MAX);
    f("freeSpaceMB", d.freeSpaceMB, 0, UINT32_MAX);
}

template <typename F> void fields(F &f, Thermal &t)
{
    f("ambientMilliCelsius", t.ambientMilliCelsius, -40000, 100000);
    f("cpuMilliCelsius", t.cpuMilliCelsius, -40000, 150000, t.ambientMilliCelsius);
    f("cpuRiseAtFullPowerMilliCelsius", t.cpuRiseAtFullPowerMilliCelsius, 0, 200000);
    f("fanCoolingFactor", t.fanCoolingFactor, 0, 100);
    f("timeConstantSeconds", t.timeConstantSeconds, 0.1, 100000);
    f("boardCoupling", t.boardCoupling, 0, 1);
}

constexpr Choice kSensorRoles[] = {
    {"cpu", TempSensor::Role::Cpu}, {"board", TempSensor::Role::Board}, {"fixed", TempSensor::Role::Fixed}};

template <typename F> void fields(F &f, TempSensor &s)
{
    f("name", s.name);
    // A sensor that follows the model has no value of its own.
    if (f.reading || s.role != TempSensor::Role::Fixed)
        f("role", s.role, kSensorRoles);
    if (f.reading || s.role == TempSensor::Role::Fixed)
        f("valueMilliCelsius", s.valueMilliCelsius);
}

template <typename F> void fields(F &f, VoltageSensor &s)
{
    f("name", s.name);
    f("valueMilliVolt", s.valueMilliVolt);
}

constexpr Choice kFanRoles[] = {{"cpu", true}, {"fixed", false}};
constexpr Choice kFanModes[] = {{"manual", false}, {"thermalCruise", true}};

// Read, `board` holds the fans before this one: a second CPU fan is refused
// at its "role", before the keys after it.
template <typename F> void fields(F &f, Fan &fan, const Board *board = nullptr)
{
    // The CPU fan alone has a mode and a Thermal Cruise target.
    const bool cpuOnly = f.reading || fan.cpu;
    f("name", fan.name);
    if (cpuOnly)
        f("role", fan.cpu, kFanRoles);
    if (fan.cpu && board && board->cpuFanIndex() >= 0)
        f.refuse("role", "only one fan can be the CPU fan");
    f("maxRpm", fan.maxRpm, 0, 100000);
    f("duty", fan.duty, 0, 255);
    f("rpm", fan.rpm, 0, 100000, fan.maxRpm * fan.duty / 255.0);
    if (cpuOnly)
        f("mode", fan.thermalCruise, kFanModes);
    if (fan.thermalCruise && !fan.cpu)
        f.refuse("mode", "only the CPU fan runs Thermal Cruise");
    if (cpuOnly)
        f("targetMilliCelsius", fan.targetMilliCelsius, 0, 125000);
    if (cpuOnly)
        f("toleranceMilliCelsius", fan.toleranceMilliCelsius, 0, 99000);
}

// A display is its backlight percentage.
template <typename F> void fields(F &f, int32_t &backlightPercent)
{
    f("backlightPercent", backlightPercent, 0, 100, 100);
}

template <typename F> void fields(F &f, Watchdog &w)
{
    f("maxTimeoutMs", w.maxTimeoutMs, 1, INT32_MAX, 255000);
    f("armed", w.armed);
    f("timeoutMs", w.timeoutMs, 0, w.maxTimeoutMs);
    f("remainingMs", w.remainingMs, 0, w.maxTimeoutMs, w.timeoutMs);
}

template <typename F> void fields(F &f, Gpio &g)
{
    f("pinCount", g.pinCount, 0, 1024);
    if (f.reading) {
        const auto n = static_cast<size_t>(g.pinCount);
        g.partner.assign(n, -1);
        g.direction.assign(n, 0);
        g.outputLevel.assign(n, 0);
    }
    f.loopback("loopback", g.partner);
    f.pins("directions", g.direction);
    f.pins("outputLevels", g.outputLevel);
}

// A storage area is its bytes; those its content leaves out are 0.
template <typename F> void fields(F &f, std::vector<uint8_t> &bytes)
{
    size_t size = bytes.size();
    f("sizeBytes", size, 0, 65536);
    if (f.reading)
        bytes.resize(size);
    f.bytes("content", bytes, "content longer than sizeBytes");
}

// A remote board's "address" is read apart: the local board has none.
template <typename F> void fields(F &f, Board &b)
{
    f("online", b.online);
    f("powerState", b.powerState, 0, 2);
    f("callStatus", b.callStatus);
    f.record("boardInfo", b.boardInfo);
    f.record("cpu", b.cpu);
    if (b.cpu && b.cpu->minFrequencyKHz > b.cpu->maxFrequencyKHz)
        f.refuse("cpu", "minFrequencyKHz above maxFrequencyKHz");
    f.record("cpuPerformance", b.performance);
    f.record("memory", b.memory);
    f.record("memoryModules", b.memoryModules);
    if (b.memoryModules.size() > 127)
        f.refuse("memoryModules", "at most 127 modules (the index is a signed byte)");
    f.record("batteries", b.batteries);
    f.record("networkDevices", b.networkDevices);
    f.record("pciDevices", b.pciDevices);
    f.record("diskDrives", b.diskDrives);
    f.record("diskPartitions", b.diskPartitions);
    f("bootCounter", b.bootCounter, 0);
    f("intruderStatus", b.intruderStatus, 0, 1);
    double upTimeSeconds = static_cast<double>(b.upTimeMs) / 1000.0;
    f("upTimeSeconds", upTimeSeconds, 0, INT32_MAX);
    if (f.reading)
        b.upTimeMs = std::llround(upTimeSeconds * 1000.0);
    f.record("thermal", b.thermal);
    f.record("temperatureSensors", b.temperatureSensors);
    f.record("voltageSensors", b.voltageSensors);
    f.record("fans", b.fans, &b);
    f.record("displays", b.displays);
    f.record("watchdog", b.watchdog);
    if (b.watchdog && b.watchdog->armed && b.watchdog->timeoutMs == 0)
        f.refuse("watchdog", "an armed watchdog needs timeoutMs");
    f.record("gpio", b.gpio);
    f.record("storages", b.storages);
    f.record("smbus", b.smbus);
    if (b.smbus.size() > 255)
        f.refuse("smbus", "at most 255 buses");
    f.record("i2c", b.i2c);
    if (b.i2c.size() > 255)
        f.refuse("i2c", "at most 255 buses");
}

} // namespace

int64_t integerValue(const json &v, const std::string &path, int64_t min, int64_t max)
{
    return integerAt(
        v, [&] { return path; }, min, max);
}

json parseDescription(const std::string &text)
{
    return json::parse(text, [](int depth, json::parse_event_t, json &) {
        if (depth > kMaxDescriptionDepth)
            throw DescriptionError("description nested deeper than " + std::to_string(kMaxDescriptionDepth) +
                                   " levels");
        return true;
    });
}

std::string readDescriptionFile(const std::string &path)
{
    // O_NONBLOCK: opening a FIFO without a writer must not hang start-up; the
    // type check below refuses it anyway.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw DescriptionError(std::string("cannot open the file: ") + std::strerror(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st;
    if (::fstat(fd, &st) != 0)
        throw DescriptionError(std::string("cannot read the file: ") + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        throw DescriptionError("not a regular file");
    if (st.st_size > static_cast<off_t>(kMaxDescriptionFileBytes))
        throw DescriptionError("file larger than " + std::to_string(kMaxDescriptionFileBytes >> 20) + " MiB");
    // The size is read again: the file may grow between fstat and read.
    std::string text;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw DescriptionError(std::string("cannot read the file: ") + std::strerror(errno));
        if (n == 0)
            return text;
        if (text.size() + static_cast<size_t>(n) > kMaxDescriptionFileBytes)
            throw DescriptionError("file larger than " + std::to_string(kMaxDescriptionFileBytes >> 20) + " MiB");
        text.append(chunk, static_cast<size_t>(n));
    }
}

std::string latin1FromUtf8(const std::string &utf8, const std::string &path)
{
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            i += 1;
        } else if ((c & 0xe0) == 0xc0 && i + 1 < utf8.size()) {
            const unsigned cp = ((c & 0x1fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3fu);
            if (cp > 0xff)
                error(path, "character outside Latin-1");
            out += static_cast<char>(cp);
            i += 2;
        } else {
            error(path, "character outside Latin-1");
        }
    }
    return out;
}

std::string utf8FromLatin1(const std::string &latin1)
{
    std::string out;
    for (char ch : latin1) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xc0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return out;
}

std::unique_ptr<Board> boardFromJson(const json &j, const std::string &path, bool remote)
{
    auto board = std::make_unique<Board>();
    In in(j, path);
    if (remote) {
        board->address = latin1FromUtf8(in.string("address", ""), in.path("address"));
        if (board->address.empty())
            error(in.path("address"), "a remote board needs an address");
    }
    fields(in, *board);
    in.finish();
    board->settle();
    return board;
}

json boardToJson(const Board &b)
{
    json j = writeRecord(b);
    if (!b.address.empty())
        j["address"] = utf8FromLatin1(b.address);
    return j;
}

} // namespace halvo::sim
