// halvo-agent [--bind ADDRESS] [--port N] [--tls-cert FILE --tls-key FILE]
//             [--client-ca FILE] [--certificate-role monitor|control]
//             [--tokens FILE]
// halvo-agent --count-boot
#include "agent.h"
#include "boot_count.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    halvo::agent::Options options;
    std::string error;
    if (argc == 2 && std::string(argv[1]) == "--count-boot") {
        const char *root = std::getenv("HALVO_SYSROOT");
        int64_t count = 0;
        if (!halvo::agent::advanceBootCount(root && *root ? root : "/", count, error)) {
            std::fprintf(stderr, "halvo-agent: %s\n", error.c_str());
            return 1;
        }
        std::printf("boot %lld\n", static_cast<long long>(count));
        return 0;
    }
    if (!halvo::agent::parseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "halvo-agent: %s\n", error.c_str());
        return 2;
    }
    return halvo::agent::run(options);
}
