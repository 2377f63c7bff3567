// What halvo-agent makes of one HTTP request, apart from the connection it
// came on: first from its request line and header fields alone (who is
// asking, for which call, with what framing), so that a stranger is refused
// before a byte of its body is read; then, on a worker thread, the answer to
// the whole request.
#ifndef HALVO_AGENT_EXCHANGE_H
#define HALVO_AGENT_EXCHANGE_H

#include "agent.h"
#include "libhalvo/remote/service.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace halvo::agent
{

// Limits on every request, whatever its framing.
constexpr size_t kMaxHeaderBytes = 16 * 1024;
constexpr size_t kMaxHeaderLines = 100;
constexpr size_t kMaxBodyBytes = remote::kMaxBody;

using Fields = std::vector<std::pair<std::string, std::string>>;

// A request's line and header fields as they arrived.
struct Head {
    std::string method, target;
    Fields fields;
    std::string peer;        // the peer's address
    std::string certificate; // the common name of its verified certificate, if any
};

struct Answer {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    Fields headers; // besides the framing and the protocol version
    bool close = false;
};

struct Caller {
    remote::Role role = remote::Role::Monitor;
    std::string who;
};

// A request the header allowed: the body may be read.
struct Admitted {
    Caller caller;
    std::string method, path, query; // HEAD asked as GET
    bool head = false;               // answer without the body
    bool expectContinue = false;
    bool snapshotAfter = false; // kSnapshotAfterHeader: "after"
};

class Agent
{
public:
    Agent(const Options &options, std::map<std::string, Token> tokens);

    // The refusal the head alone earns (the connection then closes), or the
    // admitted request.
    std::optional<Answer> admit(const Head &head, Admitted &admitted) const;

    // The answer to an admitted request and its body. Never throws.
    Answer respond(const Admitted &admitted, std::string body) const;

private:
    std::optional<Caller> authenticate(const Head &head) const;
    void log(const Caller &caller, const Admitted &request, const char *call, int http, int32_t status) const;

    Options options_;
    std::map<std::string, Token> tokens_;
    remote::Service service_;
};

// The tokens of options.tokensFile (none without one); false with `error`
// when the file is unsafe, unreadable, malformed or empty.
bool readTokens(const Options &options, std::map<std::string, Token> &tokens, std::string &error);

// The value of the header field `name` (case-insensitive); nullptr when
// absent, and `count` how often it is given.
const std::string *field(const Fields &fields, const char *name, size_t *count = nullptr);

// Request text as one line of printable ASCII: other bytes as \xHH.
std::string escapeForLog(const std::string &text);

// What the agent writes on a connection whose peer sent `bytes` and then
// waited: every answer (an interim 100 included) in order, up to the one
// after which the agent closes. For tests and the fuzzer.
std::vector<std::string> converse(const Agent &agent, const std::string &bytes, const std::string &peer = "127.0.0.1");

} // namespace halvo::agent

#endif
