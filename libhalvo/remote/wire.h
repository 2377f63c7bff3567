// How board records and buffers travel between halvo-agent and the library:
// JSON fields named as in board/halvo.h. Texts are 8-bit Latin-1 on the board
// API and UTF-8 in JSON, so each byte becomes the code point of the same
// value; a text comes back byte for byte, and one that does not fit its field
// or holds a character above U+00FF is refused. Byte buffers are hex strings.
//
// Decoding never trusts the peer: every number is checked against its field's
// type and every length against its limit, and failures throw WireError,
// which the caller turns into a 4xx answer or a device-class status.
#ifndef HALVO_REMOTE_WIRE_H
#define HALVO_REMOTE_WIRE_H

#include "board/halvo.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace halvo::remote
{

using Json = nlohmann::json;

class WireError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Latin-1 bytes (up to the first NUL or `size`) as UTF-8, and back.
std::string utf8FromLatin1(const char *text, size_t size);
std::string latin1FromUtf8(const std::string &utf8);

std::string hexFromBytes(const void *bytes, size_t n);
// Throws unless `hex` is an even run of hex digits of at most `max` bytes.
std::string bytesFromHex(const std::string &hex, size_t max);

// An integer of type T from a JSON number, range-checked.
template <typename T> T number(const Json &j, const char *name)
{
    static_assert(std::is_arithmetic_v<T>);
    if constexpr (std::is_floating_point_v<T>) {
        if (!j.is_number())
            throw WireError(std::string(name) + ": not a number");
        return static_cast<T>(j.get<double>());
    } else {
        if (!j.is_number_integer())
            throw WireError(std::string(name) + ": not an integer");
        if (j.is_number_unsigned()) {
            const auto v = j.get<uint64_t>();
            if (v > static_cast<uint64_t>(std::numeric_limits<T>::max()))
                throw WireError(std::string(name) + ": out of range");
            return static_cast<T>(v);
        }
        const auto v = j.get<int64_t>();
        if (v < static_cast<int64_t>(std::numeric_limits<T>::min()) ||
            (v > 0 && static_cast<uint64_t>(v) > static_cast<uint64_t>(std::numeric_limits<T>::max())))
            throw WireError(std::string(name) + ": out of range");
        return static_cast<T>(v);
    }
}

// Records, field by field.
#define HALVO_WIRE_RECORDS(X)                                                                                          \
    X(CpuInfo)                                                                                                         \
    X(BoardInfo)                                                                                                       \
    X(MemoryInfo)                                                                                                      \
    X(MemoryModuleInfo)                                                                                                \
    X(BatteryInfo)                                                                                                     \
    X(BatteryState)                                                                                                    \
    X(NetworkDeviceInfo)                                                                                               \
    X(PciDeviceInfo)                                                                                                   \
    X(DiskDriveInfo)                                                                                                   \
    X(DiskPartitionInfo)                                                                                               \
    X(TempSensorInfo)                                                                                                  \
    X(VoltageSensorInfo)                                                                                               \
    X(FanInfo)
#define HALVO_WIRE_DECLARE(Record)                                                                                     \
    Json toJson(const Record &r);                                                                                      \
    void fromJson(const Json &j, Record &r);
HALVO_WIRE_RECORDS(HALVO_WIRE_DECLARE)
#undef HALVO_WIRE_DECLARE

// Plain numbers travel as themselves.
template <typename T, typename = std::enable_if_t<std::is_arithmetic_v<T>>> Json toJson(T v)
{
    return v;
}
template <typename T, typename = std::enable_if_t<std::is_arithmetic_v<T>>> void fromJson(const Json &j, T &v)
{
    v = number<T>(j, "value");
}

} // namespace halvo::remote

#endif
