// halvo-agent [--bind ADDRESS] [--port N] [--tls-cert FILE --tls-key FILE]
//             [--client-ca FILE] [--certificate-role monitor|control]
//             [--tokens FILE]
#include "agent.h"

#include <cstdio>

int main(int argc, char **argv)
{
    halvo::agent::Options options;
    std::string error;
    if (!halvo::agent::parseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "halvo-agent: %s\n", error.c_str());
        return 2;
    }
    return halvo::agent::run(options);
}
