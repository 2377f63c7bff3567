#include "adapt.h"

#include <algorithm>
#include <cstring>

namespace halvo::remote
{

namespace
{

// The names of a row's arguments, "(bus, address)".
std::vector<std::string> names(const std::string &arguments)
{
    std::vector<std::string> out;
    std::string name;
    for (const char c : arguments) {
        if (c == ',' || c == ')') {
            if (!name.empty())
                out.push_back(name);
            name.clear();
        } else if (c != '(' && c != ' ') {
            name += c;
        }
    }
    return out;
}

#define HALVO_REMOTE_ROW(F, method, params, args, verb, path) Row{#F, verb, path, names(#args)},
const std::vector<Row> kRows = {HALVO_CALLS(HALVO_REMOTE_ROW, &)};
#undef HALVO_REMOTE_ROW

enum Index : size_t {
#define HALVO_REMOTE_INDEX(F, ...) k##F,
    HALVO_CALLS(HALVO_REMOTE_INDEX, &)
#undef HALVO_REMOTE_INDEX
};

std::string hexOf(const Json &in, const char *name, size_t max)
{
    const Json &v = input(in, name);
    if (!v.is_string())
        throw WireError(std::string(name) + ": not a hex text");
    return bytesFromHex(v.get_ref<const std::string &>(), max);
}

// A reply's byte buffer of at most `max` bytes, or nothing when malformed.
bool replyBytes(const Json &out, const char *name, size_t max, std::string &bytes)
{
    try {
        bytes = bytesFromHex(out.at(name).get<std::string>(), max);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

const std::vector<Row> &rows()
{
    return kRows;
}

const Row *findRow(const std::string &name)
{
    for (const Row &r : kRows)
        if (name == r.name)
            return &r;
    return nullptr;
}

#define HALVO_REMOTE_ROW_OF(F, ...)                                                                                    \
    template <> const Row &rowOf<&F>()                                                                                 \
    {                                                                                                                  \
        return kRows[k##F];                                                                                            \
    }
HALVO_CALLS(HALVO_REMOTE_ROW_OF, &)
#undef HALVO_REMOTE_ROW_OF

const std::vector<PeriodicRead> &periodicReads()
{
    // What one status refresh and one graph sample read, in their order.
    static const std::vector<PeriodicRead> reads = {
        {"HalvoGetDiskDriveCount", {}},
        {"HalvoGetDiskDriveList", {}},
        {"HalvoGetDiskDrivePartitionCount", {}},
        {"HalvoGetDiskDrivePartitionList", {}},
        {"HalvoGetBatteryInfo", {{"battery", 0}}},
        {"HalvoGetBatteryState", {{"battery", 0}}},
        {"HalvoGetIntruderStatus", {}},
        {"HalvoSystemUpTime", {}},
        {"HalvoGetCpuFreq", {{"kind", 0}}},
        {"HalvoGetCpuFreq", {{"kind", 1}}},
        {"HalvoGetCpuFreq", {{"kind", 2}}},
        {"HalvoGetTempSensorCount", {}},
        {"HalvoGetTempSensorList", {}},
        {"HalvoGetVoltageSensorCount", {}},
        {"HalvoGetVoltageSensorList", {}},
        {"HalvoGetFanCount", {}},
        {"HalvoGetFanList", {}},
        {"HalvoGetCpuTemp", {{"sensor", 0}}},
        {"HalvoGetCpuFanSpeed", {}},
        {"HalvoGpioGetCount", {}},
        {"HalvoGpioGetDirection", {}, "pin", "HalvoGpioGetCount"},
        {"HalvoGpioGetLevel", {}, "pin", "HalvoGpioGetCount"},
        {"HalvoWatchdogGetState", {}},
    };
    return reads;
}

const std::vector<PeriodicRead> &descriptionReads()
{
    // What opening a board reads: the pages' set-up and the static
    // information, in that order.
    static const std::vector<PeriodicRead> reads = {
        {"HalvoGetCpuPerformance", {}},
        {"HalvoGetFanMode", {{"fan", 1}}},
        {"HalvoGetDisplayCount", {}},
        {"HalvoGetBacklightValue", {}, "display", "HalvoGetDisplayCount"},
        {"HalvoGetCpuInfo", {}},
        {"HalvoGetBoardInfo", {}},
        {"HalvoGetMemoryInfo", {}},
        {"HalvoGetMemoryModuleCount", {}},
        {"HalvoGetMemoryModuleInfo", {}, "index", "HalvoGetMemoryModuleCount"},
        {"HalvoGetNetworkDeviceCount", {}},
        {"HalvoGetNetworkDeviceList", {}},
        {"HalvoGetPciDeviceCount", {}},
        {"HalvoGetPciDeviceList", {}},
        {"HalvoGetBootCounter", {}},
        {"HalvoGetStorageCount", {}},
        {"HalvoGetStorageSize", {}, "storage", "HalvoGetStorageCount"},
        // The storage page asks the size of "no storage" while its list
        // fills, and shows the first 20 bytes of the one chosen.
        {"HalvoGetStorageSize", {{"storage", -1}}},
        {"HalvoStorageRead", {{"offset", 0}, {"length", 20}}, "storage", "HalvoGetStorageCount"},
        {"HalvoGetSmbusCount", {}},
        {"HalvoGetI2cBusCount", {}},
    };
    return reads;
}

const Json &input(const Json &in, const char *name)
{
    const auto it = in.find(name);
    if (it == in.end())
        throw WireError(std::string(name) + ": missing");
    return *it;
}

std::string requestTarget(const Row &row, const Json &in, std::string &body)
{
    Json rest = in;
    std::string target;
    const std::string t = row.path;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] != '{') {
            target += t[i];
            continue;
        }
        const size_t close = t.find('}', i);
        const std::string name = t.substr(i + 1, close - i - 1);
        target += rest.at(name).dump();
        rest.erase(name);
        i = close;
    }
    body.clear();
    if (row.role() == Role::Monitor) {
        char sep = '?';
        for (const auto &[name, value] : rest.items()) {
            target += sep + name + "=" + value.dump();
            sep = '&';
        }
    } else {
        body = rest.dump();
    }
    return target;
}

int32_t replyStatus(const Json &reply, Json &out)
{
    const auto status = reply.find("status");
    const auto outputs = reply.find("out");
    if (status == reply.end() || !status->is_number_integer() || outputs == reply.end() || !outputs->is_object())
        return fail(HALVO_CLASS_DEVICE, kProtocol);
    out = *outputs;
    try {
        return number<int32_t>(*status, "status");
    } catch (const WireError &) {
        return fail(HALVO_CLASS_DEVICE, kProtocol);
    }
}

// ---- Byte buffers -----------------------------------------------------------------------------

int32_t Adapter<&HalvoStorageRead>::serve(decltype(&HalvoStorageRead) f, const Row &, int32_t handle, const Json &in,
                                          Json &out)
{
    const auto storage = number<int32_t>(input(in, "storage"), "storage");
    const auto offset = number<int32_t>(input(in, "offset"), "offset");
    const auto length = number<int32_t>(input(in, "length"), "length");
    if (length < 0 || length > kMaxStorageBytes)
        throw WireError("length: out of range");
    std::string buffer(static_cast<size_t>(length), '\0');
    const int32_t status = f(handle, storage, offset, buffer.data(), length);
    if (succeeded(status))
        out["buffer"] = hexFromBytes(buffer.data(), buffer.size());
    return status;
}

int32_t Adapter<&HalvoStorageRead>::call(Exchange &x, const Row &row, int32_t storage, int32_t offset, char *buffer,
                                         int32_t length)
{
    if (length < 0 || length > kMaxStorageBytes)
        return badArgument(kOutOfRange);
    Json out;
    const int32_t status = x.exchange(row, {{"storage", storage}, {"offset", offset}, {"length", length}}, out);
    std::string bytes;
    if (!succeeded(status))
        return status;
    if (!replyBytes(out, "buffer", static_cast<size_t>(length), bytes) || bytes.size() != size_t(length))
        return fail(HALVO_CLASS_DEVICE, kProtocol);
    std::memcpy(buffer, bytes.data(), bytes.size());
    return status;
}

int32_t Adapter<&HalvoStorageWrite>::serve(decltype(&HalvoStorageWrite) f, const Row &, int32_t handle, const Json &in,
                                           Json &)
{
    const auto storage = number<int32_t>(input(in, "storage"), "storage");
    const auto offset = number<int32_t>(input(in, "offset"), "offset");
    const std::string bytes = hexOf(in, "bytes", kMaxStorageBytes);
    return f(handle, storage, offset, bytes.data(), static_cast<int32_t>(bytes.size()));
}

int32_t Adapter<&HalvoStorageWrite>::call(Exchange &x, const Row &row, int32_t storage, int32_t offset,
                                          const char *bytes, int32_t length)
{
    if (length < 0 || length > kMaxStorageBytes)
        return badArgument(kOutOfRange);
    Json out;
    return x.exchange(
        row, {{"storage", storage}, {"offset", offset}, {"bytes", hexFromBytes(bytes, static_cast<size_t>(length))}},
        out);
}

int32_t Adapter<&HalvoSmbusWriteBlock>::serve(decltype(&HalvoSmbusWriteBlock) f, const Row &, int32_t handle,
                                              const Json &in, Json &)
{
    const std::string data = hexOf(in, "data", HALVO_SMBUS_BLOCK_MAX);
    return f(handle, number<uint8_t>(input(in, "bus"), "bus"), number<uint8_t>(input(in, "address"), "address"),
             number<uint8_t>(input(in, "command"), "command"), reinterpret_cast<const uint8_t *>(data.data()),
             static_cast<uint8_t>(data.size()));
}

int32_t Adapter<&HalvoSmbusWriteBlock>::call(Exchange &x, const Row &row, uint8_t bus, uint8_t address, uint8_t command,
                                             const uint8_t *data, uint8_t count)
{
    if (count > HALVO_SMBUS_BLOCK_MAX)
        return badArgument(kOutOfRange);
    Json out;
    return x.exchange(
        row, {{"bus", bus}, {"address", address}, {"command", command}, {"data", hexFromBytes(data, count)}}, out);
}

int32_t Adapter<&HalvoSmbusReadBlock>::serve(decltype(&HalvoSmbusReadBlock) f, const Row &, int32_t handle,
                                             const Json &in, Json &out)
{
    uint8_t buffer[HALVO_BLOCK_BUFFER_SIZE] = {};
    uint8_t count = 0;
    const int32_t status =
        f(handle, number<uint8_t>(input(in, "bus"), "bus"), number<uint8_t>(input(in, "address"), "address"),
          number<uint8_t>(input(in, "command"), "command"), buffer, &count);
    if (succeeded(status)) {
        out["count"] = count;
        out["buffer"] = hexFromBytes(buffer, std::min<size_t>(count, HALVO_SMBUS_BLOCK_MAX));
    }
    return status;
}

int32_t Adapter<&HalvoSmbusReadBlock>::call(Exchange &x, const Row &row, uint8_t bus, uint8_t address, uint8_t command,
                                            uint8_t *buffer, uint8_t *count)
{
    Json out;
    const int32_t status = x.exchange(row, {{"bus", bus}, {"address", address}, {"command", command}}, out);
    if (!succeeded(status))
        return status;
    std::string bytes;
    uint8_t n = 0;
    try {
        n = number<uint8_t>(out.at("count"), "count");
    } catch (...) {
        return fail(HALVO_CLASS_DEVICE, kProtocol);
    }
    if (n > HALVO_SMBUS_BLOCK_MAX || !replyBytes(out, "buffer", n, bytes) || bytes.size() != n)
        return fail(HALVO_CLASS_DEVICE, kProtocol);
    std::memcpy(buffer, bytes.data(), bytes.size());
    *count = n;
    return status;
}

int32_t Adapter<&HalvoI2cRead>::serve(decltype(&HalvoI2cRead) f, const Row &, int32_t handle, const Json &in, Json &out)
{
    uint8_t buffer[HALVO_BLOCK_BUFFER_SIZE] = {};
    uint32_t count = number<uint32_t>(input(in, "count"), "count");
    const int32_t status =
        f(handle, number<uint8_t>(input(in, "bus"), "bus"), number<uint8_t>(input(in, "address"), "address"),
          number<uint8_t>(input(in, "memoryAddress"), "memoryAddress"),
          number<uint8_t>(input(in, "useMemoryAddress"), "useMemoryAddress"), buffer, &count);
    if (succeeded(status)) {
        const uint32_t n = std::min<uint32_t>(count, HALVO_BLOCK_BUFFER_SIZE);
        out["count"] = n;
        out["buffer"] = hexFromBytes(buffer, n);
    }
    return status;
}

int32_t Adapter<&HalvoI2cRead>::call(Exchange &x, const Row &row, uint8_t bus, uint8_t address, uint8_t memoryAddress,
                                     uint8_t useMemoryAddress, uint8_t *buffer, uint32_t *count)
{
    Json out;
    const int32_t status = x.exchange(row,
                                      {{"bus", bus},
                                       {"address", address},
                                       {"memoryAddress", memoryAddress},
                                       {"useMemoryAddress", useMemoryAddress},
                                       {"count", *count}},
                                      out);
    if (!succeeded(status))
        return status;
    std::string bytes;
    uint32_t n = 0;
    try {
        n = number<uint32_t>(out.at("count"), "count");
    } catch (...) {
        return fail(HALVO_CLASS_DEVICE, kProtocol);
    }
    if (n > HALVO_BLOCK_BUFFER_SIZE || !replyBytes(out, "buffer", n, bytes) || bytes.size() != n)
        return fail(HALVO_CLASS_DEVICE, kProtocol);
    std::memcpy(buffer, bytes.data(), bytes.size());
    *count = n;
    return status;
}

int32_t Adapter<&HalvoI2cWrite>::serve(decltype(&HalvoI2cWrite) f, const Row &, int32_t handle, const Json &in, Json &)
{
    const std::string data = hexOf(in, "data", HALVO_I2C_WRITE_MAX);
    return f(handle, number<uint8_t>(input(in, "bus"), "bus"), number<uint8_t>(input(in, "address"), "address"),
             number<uint8_t>(input(in, "memoryAddress"), "memoryAddress"),
             reinterpret_cast<const uint8_t *>(data.data()), static_cast<uint32_t>(data.size()));
}

int32_t Adapter<&HalvoI2cWrite>::call(Exchange &x, const Row &row, uint8_t bus, uint8_t address, uint8_t memoryAddress,
                                      const uint8_t *data, uint32_t count)
{
    if (count > HALVO_I2C_WRITE_MAX)
        return badArgument(kOutOfRange);
    Json out;
    return x.exchange(
        row,
        {{"bus", bus}, {"address", address}, {"memoryAddress", memoryAddress}, {"data", hexFromBytes(data, count)}},
        out);
}

} // namespace halvo::remote
