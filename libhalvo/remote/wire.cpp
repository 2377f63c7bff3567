#include "wire.h"

#include "../text.h"

#include <cstring>

namespace halvo::remote
{

std::string utf8FromLatin1(const char *text, size_t size)
{
    std::string out;
    for (size_t i = 0; i < size && text[i] != '\0'; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string latin1FromUtf8(const std::string &utf8)
{
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        // Only U+0080..U+00FF have a Latin-1 byte: lead bytes C2 and C3.
        if ((c != 0xC2 && c != 0xC3) || i + 1 >= utf8.size() ||
            (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) != 0x80)
            throw WireError("text: not Latin-1");
        out += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
    }
    return out;
}

std::string hexFromBytes(const void *bytes, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    const auto *p = static_cast<const unsigned char *>(bytes);
    std::string out;
    out.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

std::string bytesFromHex(const std::string &hex, size_t max)
{
    if (hex.size() % 2 != 0 || hex.size() / 2 > max)
        throw WireError("bytes: odd length or too long");
    auto digit = [](char c) {
        const int d = hexDigit(c);
        if (d < 0)
            throw WireError("bytes: not hex");
        return d;
    };
    std::string out(hex.size() / 2, '\0');
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char>(digit(hex[2 * i]) << 4 | digit(hex[2 * i + 1]));
    return out;
}

namespace
{

// fields() takes a record const for writing and non-const for reading.
template <typename R, typename T> using If = std::enable_if_t<std::is_same_v<std::remove_const_t<R>, T>>;

// One visitor writes a record to JSON, the other reads it back; each record
// lists its fields once, in fields().
struct Writer {
    Json &j;
    template <size_t N> void operator()(const char *name, const char (&text)[N]) { j[name] = utf8FromLatin1(text, N); }
    template <typename T> void operator()(const char *name, const T &v) { j[name] = v; }
};

struct Reader {
    const Json &j;
    const Json &at(const char *name)
    {
        const auto it = j.find(name);
        if (it == j.end())
            throw WireError(std::string(name) + ": missing");
        return *it;
    }
    template <size_t N> void operator()(const char *name, char (&text)[N])
    {
        const Json &v = at(name);
        if (!v.is_string())
            throw WireError(std::string(name) + ": not a text");
        const std::string bytes = latin1FromUtf8(v.get_ref<const std::string &>());
        // A text filling its whole field carries no NUL.
        if (bytes.size() > N || bytes.find('\0') != std::string::npos)
            throw WireError(std::string(name) + ": too long");
        std::memset(text, 0, N);
        std::memcpy(text, bytes.data(), bytes.size());
    }
    template <typename T> void operator()(const char *name, T &v) { v = number<T>(at(name), name); }
};

template <typename V, typename R> If<R, CpuInfo> fields(V &&v, R &c)
{
    v("cpuName", c.cpuName), v("cpuCount", c.cpuCount), v("coreCount", c.coreCount);
    v("threadCount", c.threadCount), v("maxCoreSpeed", c.maxCoreSpeed), v("fsbSpeed", c.fsbSpeed);
    v("l1Cache", c.l1Cache), v("l2Cache", c.l2Cache), v("l3Cache", c.l3Cache);
}
template <typename V, typename R> If<R, BoardInfo> fields(V &&v, R &b)
{
    v("manufacturer", b.manufacturer), v("boardName", b.boardName), v("version", b.version);
    v("serialNumber", b.serialNumber), v("biosRevision", b.biosRevision), v("biosDate", b.biosDate);
}
template <typename V, typename R> If<R, MemoryInfo> fields(V &&v, R &m)
{
    v("totalSize", m.totalSize), v("freeSize", m.freeSize), v("speed", m.speed), v("memoryType", m.memoryType);
}
template <typename V, typename R> If<R, MemoryModuleInfo> fields(V &&v, R &m)
{
    v("size", m.size), v("manufacturer", m.manufacturer), v("partNumber", m.partNumber);
    v("serialNumber", m.serialNumber);
}
template <typename V, typename R> If<R, BatteryInfo> fields(V &&v, R &b)
{
    v("name", b.name), v("type", b.type), v("serialNumber", b.serialNumber);
    v("designedVoltage", b.designedVoltage), v("designedCapacity", b.designedCapacity);
    v("fullCapacity", b.fullCapacity), v("reserved", b.reserved);
}
template <typename V, typename R> If<R, BatteryState> fields(V &&v, R &s)
{
    v("state", s.state), v("fullBatteryTime", s.fullBatteryTime), v("remainingTime", s.remainingTime);
    v("remainingCapacity", s.remainingCapacity), v("voltage", s.voltage), v("rate", s.rate);
    v("chargePercent", s.chargePercent), v("reserved", s.reserved);
}
template <typename V, typename R> If<R, NetworkDeviceInfo> fields(V &&v, R &n)
{
    v("ipAddress", n.ipAddress), v("macAddress", n.macAddress), v("speed", n.speed), v("name", n.name);
}
template <typename V, typename R> If<R, PciDeviceInfo> fields(V &&v, R &p)
{
    v("bus", p.bus), v("domain", p.domain), v("device", p.device), v("function", p.function);
    v("value1", p.value1), v("value2", p.value2), v("value3", p.value3);
    v("text1", p.text1), v("text2", p.text2), v("text3", p.text3);
}
template <typename V, typename R> If<R, DiskDriveInfo> fields(V &&v, R &d)
{
    v("name", d.name), v("model", d.model), v("serialNumber", d.serialNumber), v("size", d.size);
}
template <typename V, typename R> If<R, DiskPartitionInfo> fields(V &&v, R &d)
{
    v("name", d.name), v("fileSystem", d.fileSystem), v("size", d.size), v("freeSpace", d.freeSpace);
}
template <typename V, typename R> If<R, TempSensorInfo> fields(V &&v, R &t)
{
    v("name", t.name), v("value", t.value);
}
template <typename V, typename R> If<R, VoltageSensorInfo> fields(V &&v, R &t)
{
    v("name", t.name), v("value", t.value);
}
template <typename V, typename R> If<R, FanInfo> fields(V &&v, R &f)
{
    v("name", f.name), v("speed", f.speed), v("reserved", f.reserved);
}

template <typename Record> Json write(const Record &r)
{
    Json j = Json::object();
    fields(Writer{j}, r);
    return j;
}

template <typename Record> void read(const Json &j, Record &r)
{
    if (!j.is_object())
        throw WireError("record: not an object");
    // Read into a copy: the caller's record is written only whole.
    Record out{};
    fields(Reader{j}, out);
    r = out;
}

} // namespace

#define HALVO_WIRE_DEFINE(Record)                                                                                      \
    Json toJson(const Record &r)                                                                                       \
    {                                                                                                                  \
        return write(r);                                                                                               \
    }                                                                                                                  \
    void fromJson(const Json &j, Record &r)                                                                            \
    {                                                                                                                  \
        read(j, r);                                                                                                    \
    }
HALVO_WIRE_RECORDS(HALVO_WIRE_DEFINE)
#undef HALVO_WIRE_DEFINE

} // namespace halvo::remote
