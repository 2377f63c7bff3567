#include "board_json.h"

#include "../../instrument.h"

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

std::string hex(const uint8_t *bytes, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    return s;
}

std::string hexAddress(int value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", value);
    return text;
}

std::vector<uint8_t> unhex(const std::string &text, const std::string &path)
{
    auto nibble = [&](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        error(path, "expected hexadecimal digits");
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

// One JSON object being read: typed getters with defaults and ranges, and a
// check at the end that no key went unread, so that a misspelt key is an error
// and not a silently ignored setting. Keys beginning with "_" are comments.
class Reader
{
public:
    Reader(const json &j, std::string path) : j_(j), path_(std::move(path))
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

    double number(const std::string &key, double fallback, double min = -1e12, double max = 1e12)
    {
        const json *v = find(key);
        if (!v)
            return fallback;
        if (!v->is_number())
            error(path(key), "expected a number");
        const double value = v->get<double>();
        if (!(value >= min && value <= max))
            error(path(key), "expected a number in " + std::to_string(min) + ".." + std::to_string(max));
        return value;
    }

    bool boolean(const std::string &key, bool fallback)
    {
        const json *v = find(key);
        if (!v)
            return fallback;
        if (!v->is_boolean())
            error(path(key), "expected true or false");
        return v->get<bool>();
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

    // A record text: Latin-1, at most HALVO_TEXT_SIZE bytes. A text of exactly
    // HALVO_TEXT_SIZE bytes reaches the program without a NUL.
    std::string text(const std::string &key, const std::string &fallback = "")
    {
        const json *v = find(key);
        if (!v)
            return fallback;
        if (!v->is_string())
            error(path(key), "expected a text");
        const std::string &utf8 = v->get_ref<const std::string &>();
        const bool ascii = std::all_of(utf8.begin(), utf8.end(), [](char c) { return c >= 0; });
        std::string s = ascii ? utf8 : latin1FromUtf8(utf8, path(key));
        if (s.size() > HALVO_TEXT_SIZE)
            error(path(key), "text longer than 128 bytes");
        return s;
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

    std::optional<Reader> object(const std::string &key)
    {
        const json *v = find(key);
        if (!v)
            return std::nullopt;
        return Reader(*v, path(key));
    }

    // Bytes given either as Latin-1 text ("content") or as hex ("contentHex").
    std::optional<std::vector<uint8_t>> bytes(const std::string &textKey, const std::string &hexKey)
    {
        const json *t = find(textKey);
        const json *h = find(hexKey);
        if (t && h)
            error(path_, "give either \"" + textKey + "\" or \"" + hexKey + "\", not both");
        if (t) {
            if (!t->is_string())
                error(path(textKey), "expected a text");
            const std::string s = latin1FromUtf8(t->get<std::string>(), path(textKey));
            return std::vector<uint8_t>(s.begin(), s.end());
        }
        if (h) {
            if (!h->is_string())
                error(path(hexKey), "expected a text of hexadecimal digits");
            return unhex(h->get<std::string>(), path(hexKey));
        }
        return std::nullopt;
    }

    void finish() const
    {
        for (const auto &item : j_.items())
            if (!used_.count(item.key()) && item.key().rfind('_', 0) != 0)
                error(path(item.key()), "unknown key");
    }

private:
    const json &j_;
    std::string path_;
    std::set<std::string> used_;
};

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

std::unique_ptr<Device> deviceFromJson(const json &j, const std::string &path)
{
    Reader r(j, path);
    if (!r.find("address"))
        error(r.path("address"), "a bus device needs an address");
    const auto address = static_cast<uint8_t>(r.integer("address", 0, 0, 0x7f));
    const std::string type = r.string("type", "");
    std::unique_ptr<Device> device;
    if (type == "eeprom") {
        auto e = std::make_unique<Eeprom>(address);
        e->bytes.fill(0xff); // erased cells
        if (auto content = r.bytes("content", "contentHex")) {
            if (content->size() > e->bytes.size())
                error(path, "content longer than the 256-byte EEPROM");
            std::copy(content->begin(), content->end(), e->bytes.begin());
        }
        e->pointer = static_cast<uint8_t>(r.integer("pointer", 0, 0, 255));
        e->writeProtected = r.boolean("writeProtected", false);
        device = std::move(e);
    } else if (type == "lm75") {
        auto s = std::make_unique<Lm75>(address);
        s->pointer = static_cast<uint8_t>(r.integer("pointer", 0, 0, 3));
        s->config = static_cast<uint8_t>(r.integer("config", 0, 0, 255));
        s->thyst = Lm75::toRegister(r.number("thystMilliCelsius", 75000, -55000, 125000));
        s->tos = Lm75::toRegister(r.number("tosMilliCelsius", 80000, -55000, 125000));
        s->offsetMilliCelsius = r.number("offsetMilliCelsius", 0, -200000, 200000);
        device = std::move(s);
    } else if (type == "smartBattery") {
        auto b = std::make_unique<SmartBattery>(address);
        auto blockText = [&](const char *key, const char *fallback) {
            std::string s = latin1FromUtf8(r.string(key, fallback), r.path(key));
            if (s.size() > 32)
                error(r.path(key), "SMBus blocks hold at most 32 bytes");
            return s;
        };
        b->manufacturerName = blockText("manufacturerName", "");
        b->deviceName = blockText("deviceName", "");
        b->chemistry = blockText("chemistry", "");
        b->serialNumber = static_cast<uint16_t>(r.integer("serialNumber", 0, 0, 0xffff));
        b->writableWords[0x01] = static_cast<uint16_t>(r.integer("remainingCapacityAlarm", 0, 0, 0xffff));
        b->writableWords[0x02] = static_cast<uint16_t>(r.integer("remainingTimeAlarm", 0, 0, 0xffff));
        b->writableWords[0x03] = static_cast<uint16_t>(r.integer("batteryMode", 0, 0, 0xffff));
        if (auto scratch = r.bytes("scratch", "scratchHex")) {
            if (scratch->size() > 32)
                error(path, "scratch holds at most 32 bytes");
            b->scratch = *scratch;
        }
        b->command = static_cast<uint8_t>(r.integer("command", 0, 0, 255));
        device = std::move(b);
    } else {
        error(r.path("type"), "expected one of eeprom, lm75, smartBattery");
    }
    r.finish();
    return device;
}

json deviceToJson(const Device &d)
{
    json j;
    j["address"] = hexAddress(d.address);
    if (auto e = dynamic_cast<const Eeprom *>(&d)) {
        j["type"] = "eeprom";
        j["contentHex"] = hex(e->bytes.data(), e->bytes.size());
        j["pointer"] = e->pointer;
        j["writeProtected"] = e->writeProtected;
    } else if (auto s = dynamic_cast<const Lm75 *>(&d)) {
        j["type"] = "lm75";
        j["pointer"] = s->pointer;
        j["config"] = s->config;
        j["thystMilliCelsius"] = Lm75::fromRegister(s->thyst);
        j["tosMilliCelsius"] = Lm75::fromRegister(s->tos);
        j["offsetMilliCelsius"] = s->offsetMilliCelsius;
    } else if (auto b = dynamic_cast<const SmartBattery *>(&d)) {
        j["type"] = "smartBattery";
        j["manufacturerName"] = utf8FromLatin1(b->manufacturerName);
        j["deviceName"] = utf8FromLatin1(b->deviceName);
        j["chemistry"] = utf8FromLatin1(b->chemistry);
        j["serialNumber"] = b->serialNumber;
        j["remainingCapacityAlarm"] = b->writableWords.at(0x01);
        j["remainingTimeAlarm"] = b->writableWords.at(0x02);
        j["batteryMode"] = b->writableWords.at(0x03);
        j["scratchHex"] = hex(b->scratch.data(), b->scratch.size());
        j["command"] = b->command;
    }
    return j;
}

std::vector<Bus> busesFromJson(Reader &r, const std::string &key)
{
    std::vector<Bus> buses;
    r.array(key, [&](const json &item, const std::string &path) {
        Reader br(item, path);
        Bus bus;
        std::set<int> seen;
        br.array("devices", [&](const json &d, const std::string &dpath) {
            auto device = deviceFromJson(d, dpath);
            if (!seen.insert(device->address).second)
                error(dpath, "two devices at address " + hexAddress(device->address));
            bus.devices.push_back(std::move(device));
        });
        br.finish();
        buses.push_back(std::move(bus));
    });
    if (buses.size() > 255)
        error(r.path(key), "at most 255 buses");
    return buses;
}

json busesToJson(const std::vector<Bus> &buses)
{
    json out = json::array();
    for (const Bus &bus : buses) {
        json devices = json::array();
        for (const auto &d : bus.devices)
            devices.push_back(deviceToJson(*d));
        out.push_back({{"devices", devices}});
    }
    return out;
}

const char *modeName(Performance::Mode mode)
{
    switch (mode) {
    case Performance::Mode::Types:
        return "types";
    case Performance::Mode::Percentage:
        return "percentage";
    default:
        return "none";
    }
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
    Board &b = *board;
    Reader r(j, path);

    if (remote) {
        b.address = latin1FromUtf8(r.string("address", ""), r.path("address"));
        if (b.address.empty())
            error(r.path("address"), "a remote board needs an address");
    }
    b.online = r.boolean("online", true);
    b.powerState = static_cast<int>(r.integer("powerState", 0, 0, 2));
    if (const json *cs = r.find("callStatus")) {
        if (!cs->is_object())
            error(r.path("callStatus"), "expected an object of function names");
        for (const auto &item : cs->items()) {
            const std::string where = r.path("callStatus") + "." + item.key();
            if (!Instrument::isBoardFunction(item.key()))
                error(where, "not a board function");
            if (!item.value().is_null())
                b.callStatus[item.key()] = statusValue(item.value(), where);
        }
    }

    if (auto o = r.object("boardInfo")) {
        BoardText t;
        t.manufacturer = o->text("manufacturer");
        t.boardName = o->text("boardName");
        t.version = o->text("version");
        t.serialNumber = o->text("serialNumber");
        t.biosRevision = o->text("biosRevision");
        t.biosDate = o->text("biosDate");
        o->finish();
        b.boardInfo = t;
    }

    if (auto o = r.object("cpu")) {
        Cpu c;
        c.name = o->text("name");
        c.cpuCount = static_cast<int32_t>(o->integer("cpuCount", 1, 0));
        c.coreCount = static_cast<int32_t>(o->integer("coreCount", 1, 0));
        c.threadCount = static_cast<int32_t>(o->integer("threadCount", 1, 0));
        c.maxCoreSpeedMHz = static_cast<float>(o->number("maxCoreSpeedMHz", 1000, 0, 1e6));
        c.fsbSpeedMHz = static_cast<int32_t>(o->integer("fsbSpeedMHz", 0, 0));
        c.l1CacheKB = static_cast<int32_t>(o->integer("l1CacheKB", 0, 0));
        c.l2CacheKB = static_cast<int32_t>(o->integer("l2CacheKB", 0, 0));
        c.l3CacheKB = static_cast<int32_t>(o->integer("l3CacheKB", 0, 0));
        c.maxFrequencyKHz = static_cast<int32_t>(o->integer("maxFrequencyKHz", 1000000, 0));
        c.minFrequencyKHz = static_cast<int32_t>(o->integer("minFrequencyKHz", c.maxFrequencyKHz, 0));
        c.loadPercent = o->number("loadPercent", 30, 0, 100);
        c.loadSwingPercent = o->number("loadSwingPercent", 0, 0, 100);
        c.loadPeriodSeconds = o->number("loadPeriodSeconds", 60, 0.1, 1e9);
        o->finish();
        if (c.minFrequencyKHz > c.maxFrequencyKHz)
            error(r.path("cpu"), "minFrequencyKHz above maxFrequencyKHz");
        b.cpu = c;
    }

    if (auto o = r.object("cpuPerformance")) {
        Performance &p = b.performance;
        const std::string mode = o->string("mode", "types");
        if (mode == "types")
            p.mode = Performance::Mode::Types;
        else if (mode == "percentage")
            p.mode = Performance::Mode::Percentage;
        else if (mode == "none")
            p.mode = Performance::Mode::None;
        else
            error(o->path("mode"), "expected types, percentage or none");
        p.acceptedTypes.clear();
        o->array("acceptedTypes", [&](const json &v, const std::string &tpath) {
            p.acceptedTypes.push_back(static_cast<int>(integerValue(v, tpath, 0, 3)));
        });
        p.type = static_cast<int>(o->integer("type", 0, 0, 3));
        p.percent = static_cast<int>(o->integer("percent", 100, 10, 100));
        p.percentStep = static_cast<int>(o->integer("percentStep", 1, 1, 90));
        p.currentKHz = o->number("currentFrequencyKHz", 0, 0, INT32_MAX);
        o->finish();
    }

    if (auto o = r.object("memory")) {
        Memory m;
        m.totalSizeMB = static_cast<int32_t>(o->integer("totalSizeMB", 0, 0));
        m.freeSizeMB = static_cast<int32_t>(o->integer("freeSizeMB", 0, 0));
        m.speedMHz = static_cast<int32_t>(o->integer("speedMHz", 0, 0));
        m.type = o->text("type");
        o->finish();
        b.memory = m;
    }

    r.array("memoryModules", [&](const json &item, const std::string &p) {
        Reader o(item, p);
        MemoryModule m;
        m.sizeMB = static_cast<int32_t>(o.integer("sizeMB", 0, 0));
        m.manufacturer = o.text("manufacturer");
        m.partNumber = o.text("partNumber");
        m.serialNumber = o.text("serialNumber");
        o.finish();
        b.memoryModules.push_back(m);
    });
    if (b.memoryModules.size() > 127)
        error(r.path("memoryModules"), "at most 127 modules (the index is a signed byte)");

    r.array("batteries", [&](const json &item, const std::string &p) {
        Reader o(item, p);
        Battery t;
        t.name = o.text("name");
        t.type = o.text("type");
        t.serialNumber = o.text("serialNumber");
        // Room for the terminal voltage: up to 8 % above nominal plus the charger's lift.
        t.designedVoltageMilliVolt =
            static_cast<int32_t>(o.integer("designedVoltageMilliVolt", 0, 0, Battery::kMaxDesignedMilliVolt));
        t.designedCapacityMilliAmpHours = static_cast<int32_t>(o.integer("designedCapacityMilliAmpHours", 0, 0));
        t.fullCapacityMilliAmpHours =
            static_cast<int32_t>(o.integer("fullCapacityMilliAmpHours", t.designedCapacityMilliAmpHours, 0));
        t.remainingMilliAmpHours =
            o.number("remainingCapacityMilliAmpHours", t.fullCapacityMilliAmpHours, 0, t.fullCapacityMilliAmpHours);
        t.state = static_cast<int>(o.integer("state", 1, 0, 2));
        t.chargeCurrentMilliAmps = static_cast<int32_t>(o.integer("chargeCurrentMilliAmps", 0, 0));
        t.dischargeCurrentMilliAmps = static_cast<int32_t>(o.integer("dischargeCurrentMilliAmps", 0, 0));
        t.cycle = o.boolean("cycle", false);
        t.acHoldSeconds = o.number("acHoldSeconds", 0, 0);
        t.lowPercent = static_cast<int>(o.integer("lowPercent", 20, 0, 100));
        t.secondsInState = o.number("secondsInState", 0, 0);
        o.finish();
        b.batteries.push_back(t);
    });

    r.array("networkDevices", [&](const json &item, const std::string &p) {
        Reader o(item, p);
        NetworkDevice d;
        d.name = o.text("name");
        d.ipAddress = o.text("ipAddress");
        d.macAddress = o.text("macAddress");
        d.speedMbit = static_cast<int32_t>(o.integer("speedMbit", 0, 0));
        o.finish();
        b.networkDevices.push_back(d);
    });

    r.array("pciDevices", [&](const json &item, const std::string &p) {
        Reader o(item, p);
        PciDevice d;
        d.domain = static_cast<int32_t>(o.integer("domain", 0, 0, 0xffff));
        d.bus = static_cast<int32_t>(o.integer("bus", 0, 0, 0xff));
        d.device = static_cast<int32_t>(o.integer("device", 0, 0, 0x1f));
        d.function = static_cast<int32_t>(o.integer("function", 0, 0, 7));
        d.vendorId = static_cast<int32_t>(o.integer("vendorId", 0, 0, 0xffff));
        d.classCode = static_cast<int32_t>(o.integer("classCode", 0, 0, 0xffffff));
        d.deviceId = static_cast<int32_t>(o.integer("deviceId", 0, 0, 0xffff));
        d.vendorName = o.text("vendorName");
        d.className = o.text("className");
        d.deviceName = o.text("deviceName");
        o.finish();
        b.pciDevices.push_back(d);
    });

    r.array("diskDrives", [&](const json &item, const std::string &p) {
        Reader o(item, p);
        DiskDrive d;
        d.name = o.text("name");
        d.model = o.text("model");
        d.serialNumber = o.text("serialNumber");
        d.sizeMB = static_cast<uint32_t>(o.integer("sizeMB", 0, 0, UINT32_MAX));
        o.finish();
        b.diskDrives.push_back(d);
    });

    r.array("diskPartitions", [&](const json &item, const std::string &p) {
        Reader o(item, p);
        DiskPartition d;
        d.name = o.text("name");
        d.fileSystem = o.text("fileSystem");
        d.sizeMB = static_cast<uint32_t>(o.integer("sizeMB", 0, 0, UINT32_MAX));
        d.freeSpaceMB = static_cast<uint32_t>(o.integer("freeSpaceMB", 0, 0, UINT32_MAX));
        o.finish();
        b.diskPartitions.push_back(d);
    });

    if (r.find("bootCounter"))
        b.bootCounter = static_cast<int32_t>(r.integer("bootCounter", 0, 0));
    if (r.find("intruderStatus"))
        b.intruderStatus = static_cast<int32_t>(r.integer("intruderStatus", 0, 0, 1));
    b.upTimeMs = std::llround(r.number("upTimeSeconds", 0, 0, INT32_MAX) * 1000.0);

    if (auto o = r.object("thermal")) {
        Thermal &t = b.thermal;
        t.ambientMilliCelsius = o->number("ambientMilliCelsius", t.ambientMilliCelsius, -40000, 100000);
        t.cpuMilliCelsius = o->number("cpuMilliCelsius", t.ambientMilliCelsius, -40000, 150000);
        t.cpuRiseAtFullPowerMilliCelsius =
            o->number("cpuRiseAtFullPowerMilliCelsius", t.cpuRiseAtFullPowerMilliCelsius, 0, 200000);
        t.fanCoolingFactor = o->number("fanCoolingFactor", t.fanCoolingFactor, 0, 100);
        t.timeConstantSeconds = o->number("timeConstantSeconds", t.timeConstantSeconds, 0.1, 100000);
        t.boardCoupling = o->number("boardCoupling", t.boardCoupling, 0, 1);
        o->finish();
    }

    r.array("temperatureSensors", [&](const json &item, const std::string &p) {
        Reader o(item, p);
        TempSensor s;
        s.name = o.text("name");
        const std::string role = o.string("role", "fixed");
        if (role == "cpu")
            s.role = TempSensor::Role::Cpu;
        else if (role == "board")
            s.role = TempSensor::Role::Board;
        else if (role != "fixed")
            error(o.path("role"), "expected cpu, board or fixed");
        s.valueMilliCelsius = static_cast<int32_t>(o.integer("valueMilliCelsius", 0));
        o.finish();
        b.temperatureSensors.push_back(s);
    });

    r.array("voltageSensors", [&](const json &item, const std::string &p) {
        Reader o(item, p);
        VoltageSensor s;
        s.name = o.text("name");
        s.valueMilliVolt = static_cast<int32_t>(o.integer("valueMilliVolt", 0));
        o.finish();
        b.voltageSensors.push_back(s);
    });

    r.array("fans", [&](const json &item, const std::string &p) {
        Reader o(item, p);
        Fan f;
        f.name = o.text("name");
        const std::string role = o.string("role", "fixed");
        if (role == "cpu") {
            if (b.cpuFanIndex() >= 0)
                error(o.path("role"), "only one fan can be the CPU fan");
            f.cpu = true;
        } else if (role != "fixed") {
            error(o.path("role"), "expected cpu or fixed");
        }
        f.maxRpm = static_cast<int32_t>(o.integer("maxRpm", 0, 0, 100000));
        f.duty = static_cast<int>(o.integer("duty", 0, 0, 255));
        f.rpm = o.number("rpm", f.maxRpm * f.duty / 255.0, 0, 100000);
        const std::string mode = o.string("mode", "manual");
        if (mode == "thermalCruise")
            f.thermalCruise = true;
        else if (mode != "manual")
            error(o.path("mode"), "expected manual or thermalCruise");
        if (f.thermalCruise && !f.cpu)
            error(o.path("mode"), "only the CPU fan runs Thermal Cruise");
        f.targetMilliCelsius = static_cast<int32_t>(o.integer("targetMilliCelsius", 45000, 0, 125000));
        f.toleranceMilliCelsius = static_cast<int32_t>(o.integer("toleranceMilliCelsius", 2000, 0, 99000));
        o.finish();
        b.fans.push_back(f);
    });

    r.array("displays", [&](const json &item, const std::string &p) {
        Reader o(item, p);
        b.displays.push_back(static_cast<int32_t>(o.integer("backlightPercent", 100, 0, 100)));
        o.finish();
    });

    if (auto o = r.object("watchdog")) {
        Watchdog w;
        w.maxTimeoutMs = o->integer("maxTimeoutMs", 255000, 1);
        w.armed = o->boolean("armed", false);
        w.timeoutMs = o->integer("timeoutMs", 0, 0, w.maxTimeoutMs);
        w.remainingMs = o->integer("remainingMs", w.timeoutMs, 0, w.maxTimeoutMs);
        o->finish();
        if (w.armed && w.timeoutMs == 0)
            error(r.path("watchdog"), "an armed watchdog needs timeoutMs");
        b.watchdog = w;
    }

    if (auto o = r.object("gpio")) {
        Gpio g;
        g.pinCount = static_cast<int32_t>(o->integer("pinCount", 0, 0, 1024));
        const auto n = static_cast<size_t>(g.pinCount);
        g.partner.assign(n, -1);
        g.direction.assign(n, 0);
        g.outputLevel.assign(n, 0);
        o->array("loopback", [&](const json &pair, const std::string &p) {
            if (!pair.is_array() || pair.size() != 2)
                error(p, "expected a pair of pin numbers");
            const auto a = static_cast<int>(integerValue(pair[0], p + "[0]", 0, g.pinCount - 1));
            const auto c = static_cast<int>(integerValue(pair[1], p + "[1]", 0, g.pinCount - 1));
            if (a == c)
                error(p, "a pin cannot be wired to itself");
            if (g.partner[a] >= 0 || g.partner[c] >= 0)
                error(p, "a pin can be wired to one other pin only");
            g.partner[a] = c;
            g.partner[c] = a;
        });
        auto bits = [&](const std::string &key, std::vector<uint8_t> &out) {
            size_t i = 0;
            o->array(key, [&](const json &v, const std::string &p) {
                if (i >= n)
                    error(p, "expected 0 or 1, one per pin");
                out[i++] = static_cast<uint8_t>(integerValue(v, p, 0, 1));
            });
        };
        bits("directions", g.direction);
        bits("outputLevels", g.outputLevel);
        o->finish();
        b.gpio = g;
    }

    r.array("storages", [&](const json &item, const std::string &p) {
        Reader o(item, p);
        const auto size = static_cast<size_t>(o.integer("sizeBytes", 0, 0, 65536));
        std::vector<uint8_t> bytes(size, 0);
        if (auto content = o.bytes("content", "contentHex")) {
            if (content->size() > size)
                error(p, "content longer than sizeBytes");
            std::copy(content->begin(), content->end(), bytes.begin());
        }
        o.finish();
        b.storages.push_back(std::move(bytes));
    });

    b.smbus = busesFromJson(r, "smbus");
    b.i2c = busesFromJson(r, "i2c");
    r.finish();
    b.settle();
    return board;
}

json boardToJson(const Board &b)
{
    json j;
    if (!b.address.empty())
        j["address"] = utf8FromLatin1(b.address);
    j["online"] = b.online;
    j["powerState"] = b.powerState;
    j["callStatus"] = json::object();
    for (const auto &[name, status] : b.callStatus)
        j["callStatus"][name] = status;
    if (b.boardInfo) {
        const BoardText &t = *b.boardInfo;
        j["boardInfo"] = {
            {"manufacturer", utf8FromLatin1(t.manufacturer)}, {"boardName", utf8FromLatin1(t.boardName)},
            {"version", utf8FromLatin1(t.version)},           {"serialNumber", utf8FromLatin1(t.serialNumber)},
            {"biosRevision", utf8FromLatin1(t.biosRevision)}, {"biosDate", utf8FromLatin1(t.biosDate)}};
    }
    if (b.cpu) {
        const Cpu &c = *b.cpu;
        j["cpu"] = {{"name", utf8FromLatin1(c.name)},
                    {"cpuCount", c.cpuCount},
                    {"coreCount", c.coreCount},
                    {"threadCount", c.threadCount},
                    {"maxCoreSpeedMHz", c.maxCoreSpeedMHz},
                    {"fsbSpeedMHz", c.fsbSpeedMHz},
                    {"l1CacheKB", c.l1CacheKB},
                    {"l2CacheKB", c.l2CacheKB},
                    {"l3CacheKB", c.l3CacheKB},
                    {"minFrequencyKHz", c.minFrequencyKHz},
                    {"maxFrequencyKHz", c.maxFrequencyKHz},
                    {"loadPercent", c.loadPercent},
                    {"loadSwingPercent", c.loadSwingPercent},
                    {"loadPeriodSeconds", c.loadPeriodSeconds}};
    }
    const Performance &p = b.performance;
    j["cpuPerformance"] = {
        {"mode", modeName(p.mode)}, {"acceptedTypes", p.acceptedTypes}, {"type", p.type},
        {"percent", p.percent},     {"percentStep", p.percentStep},     {"currentFrequencyKHz", p.currentKHz}};
    if (b.memory)
        j["memory"] = {{"totalSizeMB", b.memory->totalSizeMB},
                       {"freeSizeMB", b.memory->freeSizeMB},
                       {"speedMHz", b.memory->speedMHz},
                       {"type", utf8FromLatin1(b.memory->type)}};
    j["memoryModules"] = json::array();
    for (const MemoryModule &m : b.memoryModules)
        j["memoryModules"].push_back({{"sizeMB", m.sizeMB},
                                      {"manufacturer", utf8FromLatin1(m.manufacturer)},
                                      {"partNumber", utf8FromLatin1(m.partNumber)},
                                      {"serialNumber", utf8FromLatin1(m.serialNumber)}});
    j["batteries"] = json::array();
    for (const Battery &t : b.batteries)
        j["batteries"].push_back({{"name", utf8FromLatin1(t.name)},
                                  {"type", utf8FromLatin1(t.type)},
                                  {"serialNumber", utf8FromLatin1(t.serialNumber)},
                                  {"designedVoltageMilliVolt", t.designedVoltageMilliVolt},
                                  {"designedCapacityMilliAmpHours", t.designedCapacityMilliAmpHours},
                                  {"fullCapacityMilliAmpHours", t.fullCapacityMilliAmpHours},
                                  {"remainingCapacityMilliAmpHours", t.remainingMilliAmpHours},
                                  {"state", t.state},
                                  {"chargeCurrentMilliAmps", t.chargeCurrentMilliAmps},
                                  {"dischargeCurrentMilliAmps", t.dischargeCurrentMilliAmps},
                                  {"cycle", t.cycle},
                                  {"acHoldSeconds", t.acHoldSeconds},
                                  {"lowPercent", t.lowPercent},
                                  {"secondsInState", t.secondsInState}});
    j["networkDevices"] = json::array();
    for (const NetworkDevice &d : b.networkDevices)
        j["networkDevices"].push_back({{"name", utf8FromLatin1(d.name)},
                                       {"ipAddress", utf8FromLatin1(d.ipAddress)},
                                       {"macAddress", utf8FromLatin1(d.macAddress)},
                                       {"speedMbit", d.speedMbit}});
    j["pciDevices"] = json::array();
    for (const PciDevice &d : b.pciDevices) {
        char ids[3][16];
        std::snprintf(ids[0], sizeof ids[0], "0x%04x", static_cast<unsigned>(d.vendorId));
        std::snprintf(ids[1], sizeof ids[1], "0x%06x", static_cast<unsigned>(d.classCode));
        std::snprintf(ids[2], sizeof ids[2], "0x%04x", static_cast<unsigned>(d.deviceId));
        j["pciDevices"].push_back({{"domain", d.domain},
                                   {"bus", d.bus},
                                   {"device", d.device},
                                   {"function", d.function},
                                   {"vendorId", ids[0]},
                                   {"classCode", ids[1]},
                                   {"deviceId", ids[2]},
                                   {"vendorName", utf8FromLatin1(d.vendorName)},
                                   {"className", utf8FromLatin1(d.className)},
                                   {"deviceName", utf8FromLatin1(d.deviceName)}});
    }
    j["diskDrives"] = json::array();
    for (const DiskDrive &d : b.diskDrives)
        j["diskDrives"].push_back({{"name", utf8FromLatin1(d.name)},
                                   {"model", utf8FromLatin1(d.model)},
                                   {"serialNumber", utf8FromLatin1(d.serialNumber)},
                                   {"sizeMB", d.sizeMB}});
    j["diskPartitions"] = json::array();
    for (const DiskPartition &d : b.diskPartitions)
        j["diskPartitions"].push_back({{"name", utf8FromLatin1(d.name)},
                                       {"fileSystem", utf8FromLatin1(d.fileSystem)},
                                       {"sizeMB", d.sizeMB},
                                       {"freeSpaceMB", d.freeSpaceMB}});
    if (b.bootCounter)
        j["bootCounter"] = *b.bootCounter;
    if (b.intruderStatus)
        j["intruderStatus"] = *b.intruderStatus;
    j["upTimeSeconds"] = static_cast<double>(b.upTimeMs) / 1000.0;
    const Thermal &t = b.thermal;
    j["thermal"] = {{"ambientMilliCelsius", t.ambientMilliCelsius},
                    {"cpuMilliCelsius", t.cpuMilliCelsius},
                    {"cpuRiseAtFullPowerMilliCelsius", t.cpuRiseAtFullPowerMilliCelsius},
                    {"fanCoolingFactor", t.fanCoolingFactor},
                    {"timeConstantSeconds", t.timeConstantSeconds},
                    {"boardCoupling", t.boardCoupling}};
    j["temperatureSensors"] = json::array();
    for (const TempSensor &s : b.temperatureSensors) {
        json e = {{"name", utf8FromLatin1(s.name)}};
        if (s.role == TempSensor::Role::Cpu)
            e["role"] = "cpu";
        else if (s.role == TempSensor::Role::Board)
            e["role"] = "board";
        else
            e["valueMilliCelsius"] = s.valueMilliCelsius;
        j["temperatureSensors"].push_back(e);
    }
    j["voltageSensors"] = json::array();
    for (const VoltageSensor &s : b.voltageSensors)
        j["voltageSensors"].push_back({{"name", utf8FromLatin1(s.name)}, {"valueMilliVolt", s.valueMilliVolt}});
    j["fans"] = json::array();
    for (const Fan &f : b.fans) {
        json e = {{"name", utf8FromLatin1(f.name)}, {"maxRpm", f.maxRpm}, {"duty", f.duty}, {"rpm", f.rpm}};
        if (f.cpu) {
            e["role"] = "cpu";
            e["mode"] = f.thermalCruise ? "thermalCruise" : "manual";
            e["targetMilliCelsius"] = f.targetMilliCelsius;
            e["toleranceMilliCelsius"] = f.toleranceMilliCelsius;
        }
        j["fans"].push_back(e);
    }
    j["displays"] = json::array();
    for (int32_t backlight : b.displays)
        j["displays"].push_back({{"backlightPercent", backlight}});
    if (b.watchdog)
        j["watchdog"] = {{"armed", b.watchdog->armed},
                         {"timeoutMs", b.watchdog->timeoutMs},
                         {"remainingMs", b.watchdog->remainingMs},
                         {"maxTimeoutMs", b.watchdog->maxTimeoutMs}};
    if (b.gpio) {
        const Gpio &g = *b.gpio;
        json loopback = json::array();
        for (int pin = 0; pin < g.pinCount; ++pin)
            if (g.partner[pin] > pin)
                loopback.push_back({pin, g.partner[pin]});
        j["gpio"] = {{"pinCount", g.pinCount},
                     {"loopback", loopback},
                     {"directions", g.direction},
                     {"outputLevels", g.outputLevel}};
    }
    j["storages"] = json::array();
    for (const auto &bytes : b.storages)
        j["storages"].push_back({{"sizeBytes", bytes.size()}, {"contentHex", hex(bytes.data(), bytes.size())}});
    j["smbus"] = busesToJson(b.smbus);
    j["i2c"] = busesToJson(b.i2c);
    return j;
}

} // namespace halvo::sim
