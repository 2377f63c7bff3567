// The agent's side of the board calls, without any transport: a request
// (method, path, query, body and the caller's role) in, an HTTP status and a
// JSON body out. halvo-agent puts it behind its HTTP server; tests and the
// fuzzer call it directly.
//
// A request that does not parse, names no call, carries unknown or
// ill-typed inputs or exceeds a bound gets a 4xx answer and reaches no board
// call. A monitor asking for a control call gets 403.
#ifndef HALVO_REMOTE_SERVICE_H
#define HALVO_REMOTE_SERVICE_H

#include "calls.h"
#include "wire.h"

#include <string>

namespace halvo::remote
{

// The largest request body the agent reads: an I2C write of 8192 bytes is
// about 16 KiB of hex, a storage write of 64 KiB about 128 KiB.
constexpr size_t kMaxBody = 256 * 1024;

struct Request {
    std::string method, path, query, body;
    Role role = Role::Monitor;
    bool snapshotAfter = false; // a write's answer brings the snapshot (kSnapshotAfterHeader)
};

// What a method and path name: a call with the path's inputs, or a known
// path asked with a method it does not take (`allow` lists those it takes,
// for a 405), or nothing (404). HEAD is routed as GET.
struct Route {
    const Row *row = nullptr;
    // /v1/snapshot: the periodic reads; /v1/description: those and the
    // description's reads.
    bool snapshot = false, description = false;
    std::string allow;
};

struct Reply {
    int http = 200;
    Json body;
    const Row *row = nullptr; // the call answered, if any
    int32_t status = 0;       // its board status
    std::string allow;        // with a 405: the methods the path takes
};

class Service
{
public:
    // Serves the board behind `handle` of this library (0: the board the
    // library's settings choose).
    explicit Service(int32_t handle = 0) : handle_(handle) {}

    // Never throws.
    Reply handle(const Request &request) const;

    // The call a request names, from its method and path alone, so that the
    // agent can refuse a caller before reading a body. `in` gets the path's
    // inputs.
    static Route route(const std::string &method, const std::string &path, Json *in = nullptr);

    // Every periodic read in one answer, and with `description` the reads of
    // opening the board before them.
    Json snapshot(bool description = false) const;

private:
    Reply call(const Row &row, const Json &in) const;

    int32_t handle_;
};

} // namespace halvo::remote

#endif
