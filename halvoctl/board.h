// What a command's handler works with: the board's handle, the output being
// built (JSON document and text layout) and the person or shell at the other
// end. A failed board status becomes a Failure, which run() turns into the
// message and exit status of its error class.
#ifndef HALVOCTL_BOARD_H
#define HALVOCTL_BOARD_H

#include "board/halvo.h"
#include "format.h"
#include "halvoctl.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace halvoctl
{

using Json = nlohmann::json;

struct Failure {
    int32_t status;
    std::string what; // what was being done, for the message
};

// HALVO_STATUS_PARTIAL is success too: the outputs are valid.
inline bool succeeded(int32_t status)
{
    return status == HALVO_STATUS_OK || status == HALVO_STATUS_PARTIAL;
}

// The exit status and the words for a failed status.
int exitStatusOf(int32_t status);
std::string failureText(int32_t status);

struct Context {
    Context(std::ostream &o, std::ostream &e, Console &c, bool j) : out(o), err(e), console(c), json(j) {}

    std::ostream &out, &err;
    Console &console;
    const bool json;
    int32_t handle = 0;
    Json doc = Json::object();
    Layout text;
    bool streamed = false;              // the command wrote its own output as it went
    std::optional<Failure> partFailure; // the first part of a report that failed

    void check(int32_t status, const std::string &what) const
    {
        if (!succeeded(status))
            throw Failure{status, what};
    }

    // One part of a report (info, status): a failure other than a lost
    // connection is noted and the part left out, so that the rest is still
    // shown. A board that lacks the part is no failure. False when left out.
    template <typename F> bool part(F read)
    {
        try {
            read();
            return true;
        } catch (const Failure &failure) {
            const int cls = HALVO_ERROR_CLASS(failure.status);
            if (cls == HALVO_CLASS_CONNECTION || cls == HALVO_CLASS_HANDLE)
                throw;
            if (cls != HALVO_CLASS_UNSUPPORTED) {
                err << "halvoctl: " << failure.what << ": " << failureText(failure.status) << "\n";
                if (!partFailure)
                    partFailure = failure;
            }
            return false;
        }
    }

    // A part left out: null in JSON, "Not available" in text.
    void unavailable(const char *key, const std::string &heading)
    {
        doc[key] = nullptr;
        text.heading(heading);
        text.line("  Not available");
    }
};

// The most records a list read asks for: the board lists are far shorter,
// and the agent takes no more.
constexpr int32_t kMaxListCount = 4096;

// A Count/List pair read as the board API's list convention says.
template <typename R>
std::vector<R> readList(Context &c, int32_t (*count)(int32_t, int32_t *), int32_t (*list)(int32_t, R *, int32_t),
                        const std::string &what)
{
    int32_t n = 0;
    c.check(count(c.handle, &n), what);
    if (n <= 0)
        return {};
    std::vector<R> records(static_cast<size_t>(std::min(n, kMaxListCount)));
    c.check(list(c.handle, records.data(), static_cast<int32_t>(records.size())), what);
    return records;
}

} // namespace halvoctl

#endif
