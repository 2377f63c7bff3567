// The board calls as they travel between the library and halvo-agent: the
// rows of the call table (../calls.h), shared by the server, the client and
// the tests, so that a call cannot exist on one side only.
//
// A row names the C entry point, the HTTP method, the path and the names of
// the parameters after the handle. Path segments in braces carry inputs; the
// other inputs travel in the query (GET) or in a JSON object body (PUT, POST).
// GET calls are reads and need the monitor role; the others change the board
// (or run a bus transaction, which may) and need the control role.
//
// The reply to a call is 200 with {"status": s, "out": {...}}: the board's
// status, and the outputs by parameter name when the status is a success.
#ifndef HALVO_REMOTE_CALLS_H
#define HALVO_REMOTE_CALLS_H

#include "../calls.h"

#include <string>
#include <vector>

namespace halvo::remote
{

// Sent with every request and every answer; an agent refuses other versions.
constexpr const char *kProtocolHeader = "X-Halvo-Protocol";
constexpr int kProtocolVersion = 1;
// With the value "after" on a write: its answer brings the snapshot taken
// after it too (member "snapshot"), so that the reads that follow need no
// round trip of their own. Without it the answer is the call's alone.
constexpr const char *kSnapshotAfterHeader = "X-Halvo-Snapshot";

enum class Role { Monitor, Control };

struct Row {
    const char *name;   // "HalvoGetCpuInfo"
    const char *method; // "GET", "PUT" or "POST"
    const char *path;   // "/v1/batteries/{battery}/state"
    std::vector<std::string> params;

    Role role() const { return std::string(method) == "GET" ? Role::Monitor : Role::Control; }
};

// Every row, in table order.
const std::vector<Row> &rows();
// The row of `name`, or nullptr.
const Row *findRow(const std::string &name);

// The row of a C entry point; an entry point without a row does not compile.
template <auto F> const Row &rowOf();
#define HALVO_REMOTE_ROW_OF(F, ...) template <> const Row &rowOf<&F>();
HALVO_CALLS(HALVO_REMOTE_ROW_OF, &)
#undef HALVO_REMOTE_ROW_OF

// The reads the window makes again and again (status refresh, graph
// sample, GPIO poll), as the snapshot answers them: the call and its inputs
// by name. Lists are answered whole, whatever count is asked. A read with
// `each` set is made once for every index below the count the read named by
// `countOf` gave (every GPIO pin), with that index as input `each`.
struct PeriodicRead {
    const char *name;
    std::vector<std::pair<const char *, int>> inputs;
    const char *each = nullptr;
    const char *countOf = nullptr;
};
const std::vector<PeriodicRead> &periodicReads();

// What the window reads once when it opens a board, besides the periodic
// reads: records, lists, counts and settings that change only when a call
// changes them. The description answers them all at once.
const std::vector<PeriodicRead> &descriptionReads();

// The most indexes one `each` read covers.
constexpr int32_t kMaxEach = 256;

} // namespace halvo::remote

#endif
