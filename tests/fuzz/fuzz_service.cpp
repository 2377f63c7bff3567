// The agent's request decoding under libFuzzer. An input is readable text:
//
//   PUT control          method (verbatim), then the role: control if the
//   /v1/cpu/fan          word starts with 'c', monitor otherwise
//   count=3              the raw query
//   {"speed": 10}        the body: everything after the third newline
//
// Whatever the input, the service answers one of the statuses halvo-agent
// sends on purpose, never lets a monitor change the board and gives a body
// the agent can always serialise.
#include "libhalvo/backends/sim/halvo_sim.h"
#include "libhalvo/remote/service.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{

using halvo::remote::Json;
using halvo::remote::Role;

std::string line(const std::string &text, size_t &at)
{
    if (at >= text.size())
        return "";
    const size_t end = std::min(text.find('\n', at), text.size());
    std::string l = text.substr(at, end - at);
    at = end + 1;
    return l;
}

void require(bool holds)
{
    if (!holds)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Whatever the caller's environment: the host board would let an input
    // write to buses or power the machine off, and a call log would grow for
    // every input.
    setenv("HALVO_BOARD", "demo", 1);
    setenv("HALVO_SIM_BOARD", "", 1);
    setenv("HALVO_REMOTE_ALLOW", "loopback", 1);
    setenv("HALVO_REMOTE_CONF", "/nonexistent", 1);
    unsetenv("HALVO_SIM_LOG");
    halvo_sim_reset();
    halvo_sim_record_calls(1);
    // Up-time and other clocked reads answer the same for the same input.
    halvo_sim_freeze_clock(1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    size_t at = 0;
    const std::string first = line(text, at);
    const size_t space = first.find(' ');
    halvo::remote::Request request;
    request.method = first.substr(0, space);
    request.role = space != std::string::npos && first.compare(space + 1, 1, "c") == 0 ? Role::Control : Role::Monitor;
    request.path = line(text, at);
    request.query = line(text, at);
    request.body = at < text.size() ? text.substr(at) : "";

    halvo_sim_clear_call_log();
    const halvo::remote::Reply reply = halvo::remote::Service().handle(request);
    const Json &body = reply.body;

    // 500 is the service's last resort for an exception it did not expect.
    require(reply.http == 200 || reply.http == 400 || reply.http == 403 || reply.http == 404 || reply.http == 413);
    if (reply.http == 200 && request.role == Role::Monitor)
        require(request.method == "GET" && (!reply.row || reply.row->role() == Role::Monitor));
    if (reply.http == 200 && reply.row)
        require(body.contains("status") && body.contains("out") && body.at("out").is_object());
    // A refused request reaches no board call.
    if (reply.http != 200)
        require(body.contains("error") && body.at("error").is_string() && halvo_sim_call_log(nullptr, 0) == 0);
    // Error texts quote the request's own bytes, which need not be UTF-8.
    try {
        body.dump(-1, ' ', false, Json::error_handler_t::replace);
    } catch (...) {
        std::abort();
    }

    // A control call may have changed the board; the next input starts from
    // the demo board again, so a crash replays from its own input alone.
    if (reply.row && reply.row->role() == Role::Control) {
        halvo_sim_reset();
        halvo_sim_freeze_clock(1);
    }
    return 0;
}
