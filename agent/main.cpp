// halvo-agent: this machine's board served to the network (see --help).
#include "agent.h"
#include "boot_count.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

const char kUsage[] =
    "Usage: halvo-agent [OPTION]...\n"
    "       halvo-agent --count-boot\n"
    "Serves this machine's board (libhalvo's handle 0) over HTTP/1.1 and JSON.\n"
    "\n"
    "  --bind ADDRESS             listen on ADDRESS (default 127.0.0.1); any other needs TLS and client "
    "authentication\n"
    "  --port N                   TCP port (default 7890; 0 for any free port, printed at start)\n"
    "  --tls-cert FILE            the agent's certificate chain, PEM (with --tls-key)\n"
    "  --tls-key FILE             the agent's private key, PEM\n"
    "  --client-ca FILE           accept client certificates this CA signed (required unless --tokens is given)\n"
    "  --certificate-role ROLE    monitor or control: the role of such a client (default control)\n"
    "  --tokens FILE              bearer tokens, \"control|monitor TOKEN [NAME]\" per line; the owner's alone\n"
    "  --count-boot               add one to the boot counter and exit\n"
    "  --help                     print this help and exit\n"
    "  --version                  print the version and exit\n";

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("halvo-agent %s\n", HALVO_VERSION);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--count-boot") == 0) {
        const char *root = std::getenv("HALVO_SYSROOT");
        int64_t count = 0;
        std::string error;
        if (!halvo::agent::advanceBootCount(root && *root ? root : "/", count, error)) {
            std::fprintf(stderr, "halvo-agent: %s\n", error.c_str());
            return 1;
        }
        std::printf("boot %lld\n", static_cast<long long>(count));
        return 0;
    }
    halvo::agent::Options options;
    std::string error;
    if (!halvo::agent::parseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "halvo-agent: %s\nTry 'halvo-agent --help'.\n", error.c_str());
        return 2;
    }
    return halvo::agent::run(options);
}
