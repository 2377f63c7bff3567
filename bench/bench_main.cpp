// The benchmarks run inside one application object on the offscreen platform.
#include "resources.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cstdlib>

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The benchmarks measure the window on the simulated board.
    setenv("HALVO_BOARD", "demo", 0);
    // Only loopback agents: a bench never reaches out of this machine.
    setenv("HALVO_REMOTE_ALLOW", "loopback", 1);
    // The loopback agents take no credentials; a user's remote.conf must not
    // turn TLS or tokens on for them.
    setenv("HALVO_REMOTE_CONF", "/nonexistent", 1);
    QApplication app(argc, argv);
    initHalvoResources();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
