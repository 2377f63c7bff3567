// One AMT power-state query against the fake firmware on loopback, with the
// digest challenge the firmware always sends and without it: the difference
// is what the challenge round costs every command.
#include "../tests/amt/fake_amt.h"
#include "board/halvo.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace
{

void BM_AmtGet(benchmark::State &state)
{
    halvo::fake::FakeAmt::Options options;
    options.requireAuth = state.range(0) != 0;
    halvo::fake::FakeAmt fake(options);
    char conf[] = "/tmp/halvo-bench-amt.XXXXXX";
    const int fd = mkstemp(conf);
    const std::string text = "board = demo\namt_port = " + std::to_string(fake.port()) + "\n";
    if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        state.SkipWithError("settings file");
        return;
    }
    close(fd);
    setenv("HALVO_CONF", conf, 1);
    for (auto _ : state) {
        int32_t power = -1;
        if (HalvoGetSystemStateAmt("127.0.0.1", "admin", "Pawtrel*5", &power) != 0 || power != 0) {
            state.SkipWithError("query failed");
            break;
        }
    }
    unsetenv("HALVO_CONF");
    unlink(conf);
    state.counters["challenges"] = fake.challenges();
}

} // namespace

BENCHMARK(BM_AmtGet)->ArgName("challenge")->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMicrosecond);
