// halvo-agent: serves the board behind handle 0 of libhalvo (the real
// machine unless the library's settings choose the demo or a JSON board) to
// the network, as HTTP/1.1 and JSON.
//
// Security: the agent listens on 127.0.0.1 unless told otherwise. Any other
// address needs TLS (certificate and key) and client authentication, mutual
// TLS (a client CA) or bearer tokens, or the agent refuses to start. Tokens
// come from a file only its owner may read, one per line:
//   control <token> [name]
//   monitor <token> [name]
// Without any client authentication (loopback only) every caller has the
// control role. Every control call is logged to stderr with who made it,
// what it was and its status; no token is ever logged.
#ifndef HALVO_AGENT_H
#define HALVO_AGENT_H

#include "libhalvo/remote/calls.h"

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace halvo::agent
{

struct Options {
    std::string bind = "127.0.0.1";
    int port = HALVO_LIBINIT_PORT;
    std::string tlsCert, tlsKey, clientCa, tokensFile;
    // The role of a client with a certificate the client CA signed.
    remote::Role certificateRole = remote::Role::Control;

    // How long a connection may take, however slowly its bytes come: from
    // its start to its first request's first byte and between requests
    // (idle), from a request's first byte to the end of its header block and
    // of its body, and for an answer to be taken. Fixed for the program;
    // tests shorten them.
    struct Deadlines {
        std::chrono::milliseconds idle{5000}, header{10000}, request{30000}, write{10000};
    } deadlines;
};

// Parses the command line; false with `error` set on anything unknown.
bool parseOptions(const std::vector<std::string> &args, Options &options, std::string &error);

struct Token {
    remote::Role role;
    std::string name;
};

// The tokens of a tokens file's text; false with `error` on a bad line.
bool parseTokens(const std::string &text, std::map<std::string, Token> &tokens, std::string &error);

// Whether the options are safe to start with; `error` says why not.
bool checkSecurity(const Options &options, std::string &error);

bool isLoopbackAddress(const std::string &address);

// The agent's HTTP server, also run inside tests and benches.
class Server
{
public:
    Server();
    ~Server();
    // Checks the options, reads the tokens and binds; false with `error`.
    bool start(const Options &options, std::string &error);
    // The bound port (the chosen one when the options said 0).
    int port() const;
    // Answers requests until stop(); false when it could not serve.
    bool serve();
    // From any thread.
    void stop();

    struct Impl; // the server's state, opaque

private:
    std::unique_ptr<Impl> impl_;
};

// Runs the agent until SIGINT or SIGTERM; the exit code.
int run(const Options &options);

} // namespace halvo::agent

#endif
