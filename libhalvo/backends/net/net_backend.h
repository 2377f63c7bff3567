// Remote boards served by halvo-agent: the library's network backend.
//
// HalvoLibInitialize gives every address the simulated world does not know to
// connectAgent. The address is "host", "host:port", "[v6addr]" or
// "[v6addr]:port"; the port argument is the default. Waits are bounded by the
// settings remote_connect_timeout_ms and remote_call_timeout_ms (2000 each);
// a call that cannot reach the agent fails with a connection-class status.
//
// Credentials for an address come from the remote configuration file
// (HALVO_REMOTE_CONF, else ~/.config/halvo/remote.conf, else
// /etc/halvo/remote.conf), in a section named by the address as typed or by
// its host:
//   [192.0.2.10]
//   tls = on
//   ca = /etc/halvo/lab-ca.pem
//   token = ...            (bearer token) and/or
//   cert = ...  key = ...  (client certificate for mutual TLS)
// A file that other users may read or write, that is not the running user's
// own or that is larger than 64 KiB is refused, and so is every connection
// while it stays so.
#ifndef HALVO_NET_BACKEND_H
#define HALVO_NET_BACKEND_H

#include "../../backend.h"
#include "../../settings.h"

#include <memory>
#include <string>

namespace halvo::net
{

struct Endpoint {
    std::string host;
    int port = 0;
};

// False when the address is empty, malformed or names port 0 or above 65535.
bool parseAddress(const std::string &address, int32_t defaultPort, Endpoint &out);

struct Credentials {
    bool tls = false;
    std::string ca, cert, key, token;
};

// The section for `address` of the remote configuration text.
Credentials credentialsFor(const std::string &text, const std::string &address, const std::string &host);

// Connects to the agent at `address` and checks its protocol version and the
// credentials; on success `out` is the board's backend.
int32_t connectAgent(const std::string &address, int32_t port, const Settings &settings, std::unique_ptr<Backend> &out);

} // namespace halvo::net

#endif
