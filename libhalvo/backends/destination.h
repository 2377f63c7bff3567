// Which network destinations the library may reach. Tests and benches set
// HALVO_REMOTE_ALLOW=loopback: an address they use for a board that does not
// exist must never leave this machine.
#ifndef HALVO_DESTINATION_H
#define HALVO_DESTINATION_H

#include <cstdio>
#include <cstdlib>
#include <string>

namespace halvo
{

// 127.0.0.0/8, ::1 and localhost, told from the text alone (no lookup).
inline bool isLoopback(const std::string &host)
{
    if (host == "localhost" || host == "::1")
        return true;
    unsigned a, b, c, d;
    char tail;
    return std::sscanf(host.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) == 4 && a == 127 && b < 256 && c < 256 &&
           d < 256;
}

inline bool destinationAllowed(const std::string &host)
{
    const char *allow = std::getenv("HALVO_REMOTE_ALLOW");
    return !allow || std::string(allow) != "loopback" || isLoopback(host);
}

} // namespace halvo

#endif
