// The C entry points of libhalvo.so.1. Each one only records its arguments for
// the call log, takes the library lock, applies a forced status, resolves the
// handle, refuses null pointers and hands over to the backend. No exception
// leaves this file.
#include "board/halvo.h"

#include "backend.h"
#include "backends/amt/wsman.h"
#include "backends/net/net_backend.h"
#include "library.h"
#include "settings.h"
#include "status.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>

using namespace halvo;

namespace
{

// ---- Call log arguments ------------------------------------------------------
//
// Arguments are kept as they came and formatted only when the log records,
// after the call: an input buffer is read only as far as the call accepted it.

struct Out {
    const void *p;
};
struct Text {
    const char *p;
};
// Shown as "***": the log may end up in a file or a bug report.
struct Secret {
    const char *p;
};
// `checked`: n is within a limit the entry point has already enforced, so the
// bytes are there even when the board then fails the call.
struct Hex {
    const void *p;
    int64_t n;
    bool checked = false;
};

// Enough to tell writes apart; a 64 KB write would otherwise cost a 128 KB line.
constexpr int64_t kMaxDumpBytes = 32;

void put(std::string &s, long long v, bool)
{
    s += std::to_string(v);
}
void put(std::string &s, Out o, bool)
{
    s += o.p ? "*" : "NULL";
}
void put(std::string &s, Secret t, bool)
{
    s += t.p ? "\"***\"" : "NULL";
}

void put(std::string &s, Text t, bool)
{
    if (!t.p) {
        s += "NULL";
        return;
    }
    s += '"';
    for (size_t i = 0; t.p[i] != '\0'; ++i) {
        if (i == 1024) {
            s += "...";
            break;
        }
        const unsigned char c = static_cast<unsigned char>(t.p[i]);
        if (c == '"' || c == '\\') {
            s += '\\';
            s += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02x", c);
            s += esc;
        } else {
            s += static_cast<char>(c);
        }
    }
    s += '"';
}

// The bytes of a refused call are not read: its length may exceed the buffer.
void put(std::string &s, Hex h, bool accepted)
{
    if (!h.p) {
        s += "NULL";
        return;
    }
    if (!accepted && !h.checked) {
        s += '*';
        return;
    }
    s += '"';
    const auto *bytes = static_cast<const unsigned char *>(h.p);
    static const char digits[] = "0123456789abcdef";
    for (int64_t i = 0; i < h.n && i < kMaxDumpBytes; ++i) {
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    if (h.n > kMaxDumpBytes)
        s += "...";
    s += '"';
}

// A deferred argument list: copying the arguments costs nothing worth noting,
// formatting them happens only when the log is on.
template <typename... A> auto args(A... a)
{
    return [=](bool accepted) noexcept -> std::string {
        try {
            std::string s;
            bool first = true;
            ((s += first ? "" : ", ", first = false, put(s, a, accepted)), ...);
            return s;
        } catch (...) {
            return "?";
        }
    };
}

// ---- Dispatch ------------------------------------------------------------------

int32_t fromException() noexcept
{
    try {
        throw;
    } catch (const std::invalid_argument &) {
        return badArgument(kBadValue);
    } catch (const std::out_of_range &) {
        return badArgument(kOutOfRange);
    } catch (...) {
        return fail(HALVO_CLASS_DEVICE, kInternal);
    }
}

// Runs `body(lib, lock)` with the library lock held in `lock`; a body may
// release it around work that must not hold up other handles.
template <typename Args, typename Body> int32_t run(const char *name, const Args &describe, Body &&body) noexcept
{
    try {
        Library &lib = library();
        std::unique_lock<std::mutex> lock(lib.mutex);
        int32_t status;
        bool accepted = false;
        try {
            // A forced success still does the work, so outputs stay valid; a
            // failure of the work itself wins over a forced success.
            const std::optional<int32_t> forced = lib.instrument.takeForced(name);
            if (forced && !succeeded(*forced)) {
                status = *forced;
            } else {
                status = body(lib, lock);
                accepted = succeeded(status);
                if (forced && accepted)
                    status = *forced;
            }
        } catch (...) {
            status = fromException();
            accepted = false;
        }
        if (!lock.owns_lock())
            lock.lock();
        if (lib.instrument.recording()) {
            try {
                lib.instrument.log(std::string(name) + "(" + describe(accepted) + ") -> " + std::to_string(status));
            } catch (...) {
            }
        }
        return status;
    } catch (...) {
        return fromException();
    }
}

// The library's one copy of a password, zeroed when the call is done.
struct WipedText {
    explicit WipedText(const char *p) : text(p) {}
    ~WipedText() { explicit_bzero(text.data(), text.size()); }
    WipedText(const WipedText &) = delete;
    WipedText &operator=(const WipedText &) = delete;
    std::string text;
};

bool allSet(std::initializer_list<const void *> pointers)
{
    for (const void *p : pointers)
        if (!p)
            return false;
    return true;
}

template <typename Args, typename Body>
int32_t boardCall(const char *name, const Args &describe, int32_t handle, bool pointersSet, Body &&body) noexcept
{
    return run(name, describe, [&](Library &lib, std::unique_lock<std::mutex> &lock) -> int32_t {
        const HandleTable::Entry entry = lib.handles.find(handle);
        if (!entry.backend)
            return fail(HALVO_CLASS_HANDLE, kOutOfRange);
        if (!pointersSet)
            return badArgument(kNullPointer);
        if (!entry.lock)
            return body(*entry.backend);
        // A board with a lock of its own does not hold the library lock: a
        // slow remote board then stalls only its own handle.
        lock.unlock();
        std::lock_guard<std::mutex> own(*entry.lock);
        return body(*entry.backend);
    });
}

// ---- Board calls ---------------------------------------------------------------------
//
// The entry point of a row of the call table hands the call to the row's
// Backend member M. Every pointer is required and logged only as set; an
// output pointer reaches M as the reference it takes. A list call also needs
// a count above 0.

template <typename T> auto logged(T v)
{
    if constexpr (std::is_pointer_v<T>)
        return Out{v};
    else
        return v;
}

template <typename T> bool present(T v)
{
    if constexpr (std::is_pointer_v<T>)
        return v != nullptr;
    else
        return true;
}

template <typename P, typename C> decltype(auto) backendArgument(C c)
{
    if constexpr (std::is_reference_v<P>)
        return *c;
    else
        return c;
}

template <typename... P, typename... C> int32_t invoke(Backend &b, int32_t (Backend::*method)(P...), C... c)
{
    return (b.*method)(backendArgument<P>(c)...);
}

template <typename M> constexpr bool kListCall = false;
template <typename R> constexpr bool kListCall<int32_t (Backend::*)(R *, int32_t)> = std::is_class_v<R>;

template <auto M> struct EntryPoint {
    template <typename... C> static int32_t call(const char *name, int32_t handle, C... c) noexcept
    {
        return boardCall(name, args(handle, logged(c)...), handle, (present(c) && ...), [&](Backend &b) -> int32_t {
            if constexpr (kListCall<decltype(M)>) {
                if (std::get<1>(std::tie(c...)) <= 0)
                    return badArgument(kOutOfRange);
            }
            return invoke(b, M, c...);
        });
    }
};

// An input buffer is logged as hex, read for that only as far as the call
// accepted it or a limit checked here vouches for its length.

template <> struct EntryPoint<&Backend::storageWrite> {
    static int32_t call(const char *name, int32_t handle, int32_t storage, int32_t offset, const char *bytes,
                        int32_t length) noexcept
    {
        return boardCall(name, args(handle, storage, offset, Hex{bytes, length}, length), handle, bytes != nullptr,
                         [&](Backend &b) { return b.storageWrite(storage, offset, bytes, length); });
    }
};

template <> struct EntryPoint<&Backend::smbusWriteBlock> {
    static int32_t call(const char *name, int32_t handle, uint8_t bus, uint8_t address, uint8_t command,
                        const uint8_t *data, uint8_t count) noexcept
    {
        const bool valid = count >= 1 && count <= HALVO_SMBUS_BLOCK_MAX;
        return boardCall(name, args(handle, bus, address, command, Hex{data, count, valid}, count), handle,
                         data != nullptr, [&](Backend &b) {
                             return valid ? b.smbusWriteBlock(bus, address, command, data, count)
                                          : badArgument(kOutOfRange);
                         });
    }
};

template <> struct EntryPoint<&Backend::i2cWrite> {
    static int32_t call(const char *name, int32_t handle, uint8_t bus, uint8_t address, uint8_t memoryAddress,
                        const uint8_t *data, uint32_t count) noexcept
    {
        const bool valid = count <= HALVO_I2C_WRITE_MAX;
        return boardCall(name, args(handle, bus, address, memoryAddress, Hex{data, count, valid}, count), handle,
                         data != nullptr, [&](Backend &b) {
                             return valid ? b.i2cWrite(bus, address, memoryAddress, data, count)
                                          : badArgument(kOutOfRange);
                         });
    }
};

} // namespace

extern "C" {

// ---- Connection ----------------------------------------------------------------

HALVO_API int32_t HalvoLibInitialize(const char *address, int32_t port, int32_t *handle, int32_t reserved1,
                                     int32_t reserved2)
{
    return run(__func__, args(Text{address}, port, Out{handle}, reserved1, reserved2),
               [&](Library &lib, std::unique_lock<std::mutex> &lock) -> int32_t {
                   if (!address || !handle)
                       return badArgument(kNullPointer);
                   if (reserved1 != 0 || reserved2 != 0)
                       return badArgument(kBadValue);
                   const int32_t simulated = lib.handles.openSimulated(address, port, *handle);
                   if (simulated != fail(HALVO_CLASS_CONNECTION, kUnknownAddress))
                       return simulated;
                   // Any other address is an agent's; connecting takes up to the
                   // connect timeout, without the library lock.
                   lock.unlock();
                   std::unique_ptr<Backend> agent;
                   const int32_t status = net::connectAgent(address, port, loadSettings(), agent);
                   lock.lock();
                   return status == HALVO_STATUS_OK ? lib.handles.add(std::move(agent), *handle) : status;
               });
}

HALVO_API int32_t HalvoLibUnInitialize(int32_t handle)
{
    return run(__func__, args(handle), [&](Library &lib, auto &) { return lib.handles.close(handle); });
}

// ---- Board calls ---------------------------------------------------------------------

#define HALVO_WITH_HANDLE(...) (int32_t handle, ##__VA_ARGS__)
#define HALVO_NAME_AND_HANDLE(...) (__func__, handle, ##__VA_ARGS__)
#define HALVO_ENTRY_POINT(F, method, params, args, ...)                                                                \
    HALVO_API int32_t F HALVO_WITH_HANDLE params                                                                       \
    {                                                                                                                  \
        return EntryPoint<&Backend::method>::call HALVO_NAME_AND_HANDLE args;                                          \
    }
HALVO_CALLS(HALVO_ENTRY_POINT, *)
#undef HALVO_ENTRY_POINT
#undef HALVO_NAME_AND_HANDLE
#undef HALVO_WITH_HANDLE

// ---- Power state -------------------------------------------------------------------

HALVO_API int32_t HalvoGetSystemStateAmt(const char *ipAddress, const char *userName, const char *password,
                                         int32_t *state)
{
    return run(__func__, args(Text{ipAddress}, Text{userName}, Secret{password}, Out{state}),
               [&](Library &lib, std::unique_lock<std::mutex> &lock) -> int32_t {
                   if (!allSet({ipAddress, userName, password, state}))
                       return badArgument(kNullPointer);
                   const WipedText secret(password);
                   const int32_t simulated = lib.platform->getSystemStateAmt(ipAddress, userName, secret.text, *state);
                   if (simulated != fail(HALVO_CLASS_CONNECTION, kUnknownAddress))
                       return simulated;
                   // Real firmware: an exchange of up to the AMT time limit,
                   // which must not hold up the boards' calls.
                   lock.unlock();
                   return amt::getSystemState(ipAddress, userName, secret.text, loadSettings(), *state);
               });
}

HALVO_API int32_t HalvoSetSystemStateAmt(const char *ipAddress, const char *userName, const char *password,
                                         int32_t state)
{
    return run(__func__, args(Text{ipAddress}, Text{userName}, Secret{password}, state),
               [&](Library &lib, std::unique_lock<std::mutex> &lock) -> int32_t {
                   if (!allSet({ipAddress, userName, password}))
                       return badArgument(kNullPointer);
                   const WipedText secret(password);
                   const int32_t simulated = lib.platform->setSystemStateAmt(ipAddress, userName, secret.text, state);
                   if (simulated != fail(HALVO_CLASS_CONNECTION, kUnknownAddress))
                       return simulated;
                   lock.unlock();
                   return amt::setSystemState(ipAddress, userName, secret.text, loadSettings(), state);
               });
}

} // extern "C"
