// power_call STATE: asks the Power part for STATE and prints the status's
// class (0 for success); driven by logind-test on a private bus.
#include "libhalvo/backends/host/power.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    halvo::host::Root root;
    halvo::host::Power power(root, halvo::Settings{});
    std::printf("%u\n", HALVO_ERROR_CLASS(power.setSystemState(std::atoi(argv[1]))));
    return 0;
}
