// Both ends of one board call, derived from the C entry point's own
// signature and its row: serve<F> decodes a request's inputs, calls F on the
// served handle and encodes the outputs; call<F> is the client's side of the
// same exchange. Inputs are the by-value parameters, outputs the pointers.
// Lists (record array + count) and byte buffers have adapters of their own.
#ifndef HALVO_REMOTE_ADAPT_H
#define HALVO_REMOTE_ADAPT_H

#include "../status.h"
#include "calls.h"
#include "wire.h"

#include <memory>
#include <tuple>
#include <type_traits>
#include <vector>

namespace halvo::remote
{

// Carries one call to the board and back: `in` holds the inputs by name; on
// return `out` holds the reply's outputs. Returns the board's status, or the
// status of a failed exchange (connection class when the peer is gone).
class Exchange
{
public:
    virtual ~Exchange() = default;
    virtual int32_t exchange(const Row &row, const Json &in, Json &out) = 0;

    // The same, with `out` pointing at the outputs: by default exchanged into
    // `scratch`; an exchange that already holds the answer may point into it
    // instead, valid until its next call.
    virtual int32_t answer(const Row &row, const Json &in, Json &scratch, const Json *&out)
    {
        out = &scratch;
        return exchange(row, in, scratch);
    }
};

// The most records one list call may ask for; the board lists are far shorter.
constexpr int32_t kMaxListCount = 4096;
// The most bytes one storage read or write may carry.
constexpr int32_t kMaxStorageBytes = 64 * 1024;

const Json &input(const Json &in, const char *name);

// The request for a call with inputs `in`: the path with its braced inputs
// filled in and the query of the other inputs (GET), or the body holding them.
std::string requestTarget(const Row &row, const Json &in, std::string &body);
// The board status of a call's 200 answer, with its outputs in `out`; a
// device-class status when the answer is not shaped as one.
int32_t replyStatus(const Json &reply, Json &out);

template <typename T> constexpr bool isRecord = std::is_class_v<T>;

// ---- The general shape: inputs by value, outputs through pointers ----------------------------

template <typename P> using Slot = std::conditional_t<std::is_pointer_v<P>, std::remove_pointer_t<P>, P>;

template <typename Sig> struct Generic;
template <typename... P> struct Generic<int32_t (*)(int32_t, P...)> {
    using F = int32_t (*)(int32_t, P...);

    static int32_t serve(F f, const Row &row, int32_t handle, const Json &in, Json &out)
    {
        std::tuple<Slot<P>...> slots{};
        forEach(
            slots,
            [&](auto &slot, auto tag, const char *name) {
                if constexpr (!std::is_pointer_v<typename decltype(tag)::type>)
                    slot = number<std::decay_t<decltype(slot)>>(input(in, name), name);
            },
            row);
        const int32_t status = std::apply([&](auto &...s) { return f(handle, pass<P>(s)...); }, slots);
        if (succeeded(status))
            forEach(
                slots,
                [&](auto &slot, auto tag, const char *name) {
                    if constexpr (std::is_pointer_v<typename decltype(tag)::type>)
                        out[name] = toJson(slot);
                },
                row);
        return status;
    }

    template <typename... A> static int32_t call(Exchange &x, const Row &row, A... args)
    {
        static_assert(sizeof...(A) == sizeof...(P));
        Json in = Json::object(), scratch;
        size_t i = 0;
        ((std::is_pointer_v<P> ? void() : void(in[row.params[i]] = toJson(argValue(args))), ++i), ...);
        const Json *reply = nullptr;
        const int32_t status = x.answer(row, in, scratch, reply);
        if (!succeeded(status))
            return status;
        const Json &out = *reply;
        // Every output decoded before any is written.
        std::tuple<Slot<P>...> slots{};
        try {
            forEach(
                slots,
                [&](auto &slot, auto tag, const char *name) {
                    if constexpr (std::is_pointer_v<typename decltype(tag)::type>)
                        fromJson(out.at(name), slot);
                },
                row);
        } catch (...) {
            return fail(HALVO_CLASS_DEVICE, kProtocol);
        }
        std::tuple<A...> targets{args...};
        assign(targets, slots, std::index_sequence_for<P...>{});
        return status;
    }

private:
    template <typename T> struct Tag {
        using type = T;
    };
    template <typename Q, typename S> static auto pass(S &s)
    {
        if constexpr (std::is_pointer_v<Q>)
            return &s;
        else
            return s;
    }
    template <typename A> static auto argValue(A a)
    {
        if constexpr (std::is_pointer_v<A>)
            return 0;
        else
            return a;
    }
    template <typename Tuple, typename Fn> static void forEach(Tuple &slots, Fn &&fn, const Row &row)
    {
        size_t i = 0;
        std::apply([&](auto &...s) { (fn(s, Tag<P>{}, row.params[i++].c_str()), ...); }, slots);
    }
    template <typename Targets, typename Slots, size_t... I>
    static void assign(Targets &targets, Slots &slots, std::index_sequence<I...>)
    {
        (
            [&] {
                if constexpr (std::is_pointer_v<std::tuple_element_t<I, std::tuple<P...>>>)
                    *std::get<I>(targets) = std::get<I>(slots);
            }(),
            ...);
    }
};

// ---- Lists: exactly `count` records come back, as the C call wrote them ----------------------

template <typename Record> struct List {
    using F = int32_t (*)(int32_t, Record *, int32_t);

    static int32_t serve(F f, const Row &, int32_t handle, const Json &in, Json &out)
    {
        const auto count = number<int32_t>(input(in, "count"), "count");
        if (count <= 0 || count > kMaxListCount)
            throw WireError("count: out of range");
        std::vector<Record> list(static_cast<size_t>(count));
        const int32_t status = f(handle, list.data(), count);
        if (succeeded(status)) {
            Json &items = out["list"] = Json::array();
            for (const Record &r : list)
                items.push_back(toJson(r));
        }
        return status;
    }

    static int32_t call(Exchange &x, const Row &row, Record *list, int32_t count)
    {
        Json scratch;
        const Json *out = nullptr;
        const int32_t status = x.answer(row, Json{{"count", count}}, scratch, out);
        if (!succeeded(status))
            return status;
        try {
            const Json &items = out->at("list");
            if (!items.is_array() || items.size() != static_cast<size_t>(count))
                return fail(HALVO_CLASS_DEVICE, kProtocol);
            std::vector<Record> read(static_cast<size_t>(count));
            for (size_t i = 0; i < read.size(); ++i)
                fromJson(items[i], read[i]);
            std::copy(read.begin(), read.end(), list);
        } catch (...) {
            return fail(HALVO_CLASS_DEVICE, kProtocol);
        }
        return status;
    }
};

// A call's shape follows from its signature: (handle, Record *, int32_t) is a list.
template <typename Sig> struct Shape {
    using type = Generic<Sig>;
};
template <typename Record> struct Shape<int32_t (*)(int32_t, Record *, int32_t)> {
    static_assert(isRecord<Record>);
    using type = List<Record>;
};
template <auto F> struct Adapter : Shape<decltype(F)>::type {
};

// ---- Byte buffers -----------------------------------------------------------------------------
// Each one's serve and call are in adapt.cpp.

#define HALVO_REMOTE_BUFFER(F, ...)                                                                                    \
    template <> struct Adapter<&F> {                                                                                   \
        static int32_t serve(decltype(&F), const Row &row, int32_t handle, const Json &in, Json &out);                 \
        static int32_t call(Exchange &x, const Row &row, __VA_ARGS__);                                                 \
    };
HALVO_REMOTE_BUFFER(HalvoStorageRead, int32_t storage, int32_t offset, char *buffer, int32_t length)
HALVO_REMOTE_BUFFER(HalvoStorageWrite, int32_t storage, int32_t offset, const char *bytes, int32_t length)
HALVO_REMOTE_BUFFER(HalvoSmbusWriteBlock, uint8_t bus, uint8_t address, uint8_t command, const uint8_t *data,
                    uint8_t count)
HALVO_REMOTE_BUFFER(HalvoSmbusReadBlock, uint8_t bus, uint8_t address, uint8_t command, uint8_t *buffer, uint8_t *count)
HALVO_REMOTE_BUFFER(HalvoI2cRead, uint8_t bus, uint8_t address, uint8_t memoryAddress, uint8_t useMemoryAddress,
                    uint8_t *buffer, uint32_t *count)
HALVO_REMOTE_BUFFER(HalvoI2cWrite, uint8_t bus, uint8_t address, uint8_t memoryAddress, const uint8_t *data,
                    uint32_t count)
#undef HALVO_REMOTE_BUFFER

// The client's side of F, given the Backend member's arguments: an output
// the member takes by reference is the C call's pointer.
template <typename Sig> struct Client;
template <typename... P> struct Client<int32_t (*)(int32_t, P...)> {
    template <typename Q, typename A> static Q cArgument(A &a)
    {
        if constexpr (std::is_pointer_v<Q> && !std::is_pointer_v<A>)
            return &a;
        else
            return a;
    }
    template <auto F, typename... A> static int32_t call(Exchange &x, A &...args)
    {
        return Adapter<F>::call(x, rowOf<F>(), cArgument<P>(args)...);
    }
};
template <auto F, typename... A> int32_t call(Exchange &x, std::tuple<A &...> args)
{
    return std::apply([&](A &...a) { return Client<decltype(F)>::template call<F>(x, a...); }, args);
}

} // namespace halvo::remote

#endif
