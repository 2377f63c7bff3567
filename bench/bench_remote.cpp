// The board through halvo-agent on loopback, read against the same board in
// process and against a bare TCP exchange of a request's size (the floor), and
// the status refresh behind a 20 ms round trip with and without the library's
// status snapshot. Every agent, proxy and echo here listens on 127.0.0.1.
#include "benchwindow.h"
#include "board/halvo.h"
#include "tests/remote/loopback_agent.h"
#include "tests/remote/loopback_proxy.h"

#include <benchmark/benchmark.h>

#include <numeric>

namespace
{

using namespace halvo::loopback;

// One way of the proxied connection; twice this is the round trip.
constexpr auto kOneWay = std::chrono::milliseconds(10);
constexpr double kRoundTripUs = 20000;
// The library's default remote_snapshot_ms: a refresh that starts later than
// this after the last one fetches a new snapshot, as the program's one-second
// refreshes always do.
constexpr auto kSnapshotWindow = std::chrono::milliseconds(20);
constexpr auto kBetweenRefreshes = kSnapshotWindow + std::chrono::milliseconds(5);

bool receiveAll(int fd, char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::recv(fd, data, size, 0);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Times each pass of the loop on its own: the median and the 99th percentile
// (µs) become counters. Returns the mean, µs.
template <typename Pass> double timeEach(benchmark::State &state, Pass pass, Clock::duration pause = {})
{
    std::vector<double> us;
    us.reserve(static_cast<size_t>(state.max_iterations));
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        pass();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        if (pause != Clock::duration{}) {
            state.PauseTiming();
            std::this_thread::sleep_for(pause);
            state.ResumeTiming();
        }
    }
    if (us.empty())
        return 0;
    const double mean = std::accumulate(us.begin(), us.end(), 0.0) / double(us.size());
    std::sort(us.begin(), us.end());
    state.counters["p50_us"] = us[us.size() / 2];
    state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
    return mean;
}

// `settings` hold for this one connection only.
int32_t connect(const std::string &address, const char *settings)
{
    const BenchSettings conf(std::string("board = demo\n") + settings);
    int32_t handle = -1;
    if (const int32_t status = HalvoLibInitialize(address.c_str(), HALVO_LIBINIT_PORT, &handle, 0, 0)) {
        std::fprintf(stderr, "connection to %s failed: status 0x%x\n", address.c_str(), unsigned(status));
        std::abort();
    }
    return handle;
}

// Where a window's board is.
enum class Route { Local, Loopback, Delayed, DelayedNoSnapshot };

// A window with its timers stopped, on the demo board reset (which closes
// every remote handle, so nothing of this outlives one run) and reached by
// `route`.
class RoutedWindow
{
public:
    explicit RoutedWindow(Route route)
    {
        resetBenchBoard();
        window = shownWindow("scrollArea");
        if (route != Route::Local) {
            if (route != Route::Loopback)
                proxy_ = std::make_unique<DelayProxy>(agent_.server.port(), kOneWay);
            const std::string address = proxy_ ? "127.0.0.1:" + std::to_string(proxy_->port()) : agent_.address();
            // Generous next to the proxy's 20 ms, so that a busy machine
            // cannot fail the connection.
            const char *settings = route == Route::Loopback ? ""
                                   : route == Route::Delayed
                                       ? "remote_call_timeout_ms = 5000\n"
                                       : "remote_call_timeout_ms = 5000\nremote_snapshot_ms = 0\n";
            handle_ = connect(address, settings);
            window->connectTo(handle_, QString::fromStdString(address));
        }
        stopTimers(*window);
    }
    ~RoutedWindow()
    {
        window.reset();
        if (handle_ > 0)
            HalvoLibUnInitialize(handle_);
    }

private:
    LoopbackAgent agent_;
    std::unique_ptr<DelayProxy> proxy_;
    int32_t handle_ = 0;

public:
    std::unique_ptr<HStation> window;
};

// The floor: one exchange of 160 bytes each way over loopback TCP, about the
// size of a board call's request and of its answer.
void BM_TcpPingPong(benchmark::State &state)
{
    int port = 0;
    const int listener = listenLoopback(port);
    // Sends back whatever arrives on the one connection, until it is closed.
    std::thread echo([listener] {
        const int peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        char buffer[4096];
        ssize_t n = 0;
        if (peer >= 0)
            noDelay(peer);
        while (peer >= 0 && (n = ::recv(peer, buffer, sizeof buffer, 0)) > 0 && sendAll(peer, buffer, size_t(n))) {
        }
        ::close(peer);
    });
    const int fd = connectLoopback(port);
    char message[160] = {};
    timeEach(state, [&] {
        if (!sendAll(fd, message, sizeof message) || !receiveAll(fd, message, sizeof message))
            die("echo");
    });
    ::close(fd);
    echo.join();
    ::close(listener);
}
BENCHMARK(BM_TcpPingPong)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The boot counter is no periodic read, so the snapshot never answers it:
// every remote call is a round trip to the agent.
void readBootCounter(int32_t handle)
{
    int32_t counter = 0;
    if (const int32_t status = HalvoGetBootCounter(handle, &counter); status != HALVO_STATUS_OK) {
        std::fprintf(stderr, "HalvoGetBootCounter on handle %d: status 0x%x\n", handle, unsigned(status));
        std::abort();
    }
    benchmark::DoNotOptimize(counter);
}

void BM_LocalCall(benchmark::State &state)
{
    resetBenchBoard();
    timeEach(state, [] { readBootCounter(0); });
}
BENCHMARK(BM_LocalCall)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_RemoteCall(benchmark::State &state)
{
    resetBenchBoard();
    LoopbackAgent agent;
    const int32_t handle = connect(agent.address(), "");
    timeEach(state, [handle] { readBootCounter(handle); });
    HalvoLibUnInitialize(handle);
}
BENCHMARK(BM_RemoteCall)->UseRealTime()->Unit(benchmark::kMicrosecond);

// One refreshStatus, begun after the snapshot window as the one-second timer
// always does. Behind the proxy, round_trips is the mean time in 20 ms round
// trips.
void BM_RemoteRefreshStatus(benchmark::State &state, Route route)
{
    const RoutedWindow routed(route);
    HStation &window = *routed.window;
    const int32_t errors = window.connectionErrors();
    std::this_thread::sleep_for(kBetweenRefreshes);
    const double meanUs = timeEach(
        state, [&window] { window.refreshStatus(); }, kBetweenRefreshes);
    if (window.connectionErrors() != errors)
        state.SkipWithError("the connection failed");
    if (route == Route::Delayed || route == Route::DelayedNoSnapshot)
        state.counters["round_trips"] = meanUs / kRoundTripUs;
}
[[maybe_unused]] const bool refreshRegistered = [] {
    const struct {
        const char *name;
        Route route;
        int iterations;
        benchmark::TimeUnit unit;
    } runs[] = {{"local", Route::Local, 50, benchmark::kMicrosecond},
                {"loopback", Route::Loopback, 50, benchmark::kMicrosecond},
                {"rtt20ms", Route::Delayed, 20, benchmark::kMillisecond},
                {"rtt20ms_no_snapshot", Route::DelayedNoSnapshot, 10, benchmark::kMillisecond}};
    for (const auto &run : runs)
        benchmark::RegisterBenchmark((std::string("BM_RemoteRefreshStatus/") + run.name).c_str(),
                                     BM_RemoteRefreshStatus, run.route)
            ->Iterations(run.iterations)
            ->UseRealTime()
            ->Unit(run.unit);
    return true;
}();

} // namespace
