// The status refresh, which runs every second for as long as the program
// does: one pass, and a long run of timer ticks watched for memory growth.
#include "benchwindow.h"
#include "libhalvo/backends/sim/halvo_sim.h"

#include <QMetaObject>
#include <benchmark/benchmark.h>
#include <fstream>
#include <unistd.h>

namespace
{

// Resident set size of this process, kB.
long residentKb()
{
    long pages = 0;
    long resident = 0;
    std::ifstream statm("/proc/self/statm");
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Arg 0: the demo board; arg 1: 64 temperature, 64 voltage and 32 fan sensors.
void BM_RefreshStatus(benchmark::State &state)
{
    resetBenchBoard(state.range(0) ? manySensorsPatch() : nullptr);
    const auto window = shownWindow("scrollArea");
    // Only the measured passes: the timers would add refreshes and samples.
    stopTimers(*window);
    for (auto _ : state)
        window->refreshStatus();
}
BENCHMARK(BM_RefreshStatus)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// 20,000 ticks of the refresh timer with the board's clock moving one second
// per tick (battery cycling, temperatures, up-time) and a drive coming and
// going every 50 ticks, so the trees are rebuilt too. The graph and GPIO
// timers run as they would.
void BM_RefreshSoak(benchmark::State &state)
{
    constexpr int ticks = 20000;
    resetBenchBoard();
    const auto window = shownWindow("treeWidget");
    const char *const twoDrives = R"({"diskDrives": [{"name": "/dev/sda", "sizeMB": 30533},
                                                     {"name": "/dev/sdb", "sizeMB": 1024}]})";
    const char *const threeDrives = R"({"diskDrives": [{"name": "/dev/sda", "sizeMB": 30533},
                                                       {"name": "/dev/sdb", "sizeMB": 1024},
                                                       {"name": "/dev/sdc", "sizeMB": 512}]})";
    const auto tick = [&](int i) {
        halvo_sim_advance_clock(1000);
        if (i % 50 == 0)
            halvo_sim_patch_board(nullptr, (i / 50) % 2 ? threeDrives : twoDrives);
        QMetaObject::invokeMethod(window.get(), "refreshTimer_timeout");
    };
    // Caches of fonts, styles and the like fill on the first passes.
    for (int i = 0; i < 500; ++i)
        tick(i);

    const long before = residentKb();
    for (auto _ : state) {
        for (int i = 0; i < ticks; ++i)
            tick(i);
    }
    const long after = residentKb();
    state.counters["rss_before_kB"] = double(before);
    state.counters["rss_after_kB"] = double(after);
    state.counters["rss_growth_kB"] = double(after - before);
}
BENCHMARK(BM_RefreshSoak)->Iterations(1)->Repetitions(1)->Unit(benchmark::kSecond);

} // namespace
