// The board through halvo-agent on loopback, read against the same board in
// process and against a bare TCP exchange of a request's size (the floor); the
// status refresh behind a 20 ms round trip with and without the library's
// status snapshot; the window running as in normal use behind that round trip,
// watched for how long its event loop stalls; and a Connect through it. Every
// agent, proxy and echo here listens on 127.0.0.1.
#include "benchwindow.h"
#include "board/halvo.h"
#include "tests/remote/loopback_agent.h"
#include "tests/remote/loopback_proxy.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <numeric>

namespace
{

using namespace halvo::loopback;

// One way of the proxied connection; twice this is the round trip.
constexpr auto kOneWay = std::chrono::milliseconds(10);
constexpr double kRoundTripUs = 20000;
// Between two timed refreshes: time for the window's other work and for the
// library's snapshot thread, which keeps the values younger than
// remote_snapshot_ms as long as reads keep coming.
constexpr auto kBetweenRefreshes = std::chrono::milliseconds(25);

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
// (µs) become counters. `between` runs after each pass, outside the timing.
// Returns the mean, µs.
template <typename Pass, typename Between>
double timeEach(benchmark::State &state, Pass pass, bool pauses, Between between)
{
    std::vector<double> us;
    us.reserve(static_cast<size_t>(state.max_iterations));
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        pass();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        if (pauses) {
            state.PauseTiming();
            between();
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
template <typename Pass> double timeEach(benchmark::State &state, Pass pass)
{
    return timeEach(state, pass, false, [] {});
}
template <typename Pass> double timeEach(benchmark::State &state, Pass pass, Clock::duration pause)
{
    return timeEach(state, pass, true, [pause] { std::this_thread::sleep_for(pause); });
}

// With the settings of the moment (BenchSettings).
int32_t open(const std::string &address)
{
    int32_t handle = -1;
    if (const int32_t status = HalvoLibInitialize(address.c_str(), HALVO_LIBINIT_PORT, &handle, 0, 0)) {
        std::fprintf(stderr, "connection to %s failed: status 0x%x\n", address.c_str(), unsigned(status));
        std::abort();
    }
    return handle;
}

// `settings` hold for this one connection only.
int32_t connect(const std::string &address, const char *settings)
{
    const BenchSettings conf(std::string("board = demo\n") + settings);
    return open(address);
}

// Behind the proxy: a call limit generous next to its 20 ms, so that a busy
// machine cannot fail the connection.
constexpr const char *kDelayedSettings = "remote_call_timeout_ms = 5000\n";

// Where a window's board is.
enum class Route { Local, Loopback, Delayed, DelayedNoSnapshot };

// A window on the demo board reset (which closes every remote handle, so
// nothing of this outlives one run) and reached by `route`. Its timers are
// stopped, unless `running`: then the refresh, graph and GPIO timers run as
// the Connect (or, on the local board, the window's opening) left them.
class RoutedWindow
{
public:
    explicit RoutedWindow(Route route, bool running = false)
    {
        resetBenchBoard();
        window = shownWindow("scrollArea");
        if (route != Route::Local) {
            if (route != Route::Loopback)
                proxy_ = std::make_unique<DelayProxy>(agent_.server.port(), kOneWay);
            const std::string address = proxy_ ? proxy_->address() : agent_.address();
            const std::string settings = route == Route::Loopback ? ""
                                         : route == Route::Delayed
                                             ? kDelayedSettings
                                             : kDelayedSettings + std::string("remote_snapshot_ms = 0\n");
            handle_ = connect(address, settings.c_str());
            window->connectTo(handle_, QString::fromStdString(address));
        }
        if (!running)
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
    // nullptr unless the route has the 20 ms round trip.
    DelayProxy *proxy() const { return proxy_.get(); }
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
// always does. Behind the proxy, round_trips is the requests it forwarded per
// refresh and time_in_rtts the mean time in 20 ms round trips.
void BM_RemoteRefreshStatus(benchmark::State &state, Route route)
{
    const RoutedWindow routed(route);
    HStation &window = *routed.window;
    const int32_t errors = window.connectionErrors();
    std::this_thread::sleep_for(kBetweenRefreshes);
    const uint64_t before = routed.proxy() ? routed.proxy()->requests() : 0;
    const double meanUs = timeEach(
        state, [&window] { window.refreshStatus(); }, kBetweenRefreshes);
    if (window.connectionErrors() != errors)
        state.SkipWithError("the connection failed");
    if (routed.proxy()) {
        state.counters["round_trips"] = double(routed.proxy()->requests() - before) /
                                        double(std::max<benchmark::IterationCount>(1, state.iterations()));
        state.counters["time_in_rtts"] = meanUs / kRoundTripUs;
    }
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

// Closes every message box the window opens (a lost connection waits in one
// for the user), so that a failing run ends; `opened` says whether one did.
class ModalGuard
{
public:
    ModalGuard()
    {
        timer_.setInterval(50);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            while (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                opened = true;
                dialog->done(QDialog::Rejected);
            }
        });
        timer_.start();
    }
    bool opened = false;

private:
    QTimer timer_;
};

// How long the event loop went without running, from the gaps between the
// ticks of a 1 ms timer (a gap includes that 1 ms).
struct Stalls {
    double longestMs = 0;
    int over100ms = 0;
    double over100msTotalMs = 0;
    // The whole run, s.
    double seconds = 0;

    void add(Clock::duration gap)
    {
        const double ms = std::chrono::duration<double, std::milli>(gap).count();
        longestMs = std::max(longestMs, ms);
        if (ms > 100) {
            ++over100ms;
            over100msTotalMs += ms;
        }
    }
};

// Runs the event loop for `duration` with the heartbeat. The window's handlers
// let events run in between their board calls, and the heartbeat ticks there
// too, as the user's input would be served.
Stalls runWatched(Clock::duration duration)
{
    Stalls stalls;
    const Clock::time_point start = Clock::now();
    Clock::time_point last = start;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(1);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        stalls.add(now - last);
        last = now;
    });
    QEventLoop loop;
    // Precise: a coarse timer of 20 s may fire a second early.
    QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(duration), Qt::PreciseTimer, &loop,
                       [&loop] { loop.quit(); });
    heartbeat.start();
    loop.exec();
    const Clock::time_point end = Clock::now();
    stalls.add(end - last);
    stalls.seconds = std::chrono::duration<double>(end - start).count();
    return stalls;
}

// The window as in normal use for `seconds`: the refresh (1 s), graph (0.5 s)
// and GPIO (1.5 s, whatever tab is shown) timers started as a Connect starts
// them, on the demo board. One iteration: the run's figures are counters.
// Behind the proxy, round_trips_per_s counts the HTTP requests it forwarded
// and snapshot_bytes is the size of one status snapshot's answer, headers
// included.
void BM_RemoteSteadyRunning(benchmark::State &state, Route route, int seconds)
{
    const RoutedWindow routed(route, true);
    HStation &window = *routed.window;
    DelayProxy *proxy = routed.proxy();
    const ModalGuard guard;
    Stalls stalls;
    for (auto _ : state) {
        if (proxy)
            proxy->clearTraffic();
        stalls = runWatched(std::chrono::seconds(seconds));
    }
    if (guard.opened || window.connectionErrors() != 0) {
        state.SkipWithError("the connection failed");
        return;
    }
    state.counters["longest_block_ms"] = stalls.longestMs;
    state.counters["blocked_over_100ms"] = stalls.over100ms;
    state.counters["blocked_over_100ms_pct"] = 100 * stalls.over100msTotalMs / (1000.0 * stalls.seconds);
    if (!proxy)
        return;
    state.counters["round_trips_per_s"] = double(proxy->requests()) / stalls.seconds;
    const auto traffic = proxy->traffic();
    if (const auto snapshot = traffic.find("/v1/snapshot"); snapshot != traffic.end() && snapshot->second.requests)
        state.counters["snapshot_bytes"] = double(snapshot->second.answerBytes) / double(snapshot->second.requests);
}
[[maybe_unused]] const bool steadyRegistered = [] {
    const struct {
        const char *name;
        Route route;
        int seconds;
    } runs[] = {{"local", Route::Local, 20},
                {"loopback", Route::Loopback, 20},
                {"rtt20ms", Route::Delayed, 20},
                {"rtt20ms_5s", Route::Delayed, 5}};
    for (const auto &run : runs)
        benchmark::RegisterBenchmark((std::string("BM_RemoteSteadyRunning/") + run.name).c_str(),
                                     BM_RemoteSteadyRunning, run.route, run.seconds)
            ->Iterations(1)
            ->UseRealTime()
            ->Unit(benchmark::kSecond);
    return true;
}();

// A Connect through the proxy: HalvoLibInitialize and connectTo (initControls,
// loadStaticInfo and the first refreshStatus), from a window on the local
// board, as the dialog makes it. round_trips is the requests the proxy
// forwarded per Connect, the session check included; time_in_rtts the mean
// time in 20 ms round trips. The proxy accepts at once, so TCP's handshake
// adds no round trip here.
void BM_RemoteConnectAndLoad(benchmark::State &state, const char *patch)
{
    resetBenchBoard(patch);
    const auto window = shownWindow("scrollArea");
    stopTimers(*window);
    LoopbackAgent agent;
    DelayProxy proxy(agent.server.port(), kOneWay);
    const std::string address = proxy.address();
    const BenchSettings conf(std::string("board = demo\n") + kDelayedSettings);
    const ModalGuard guard;
    uint64_t requests = 0;
    bool failed = false;
    const double meanUs = timeEach(
        state,
        [&] {
            const uint64_t before = proxy.requests();
            window->connectTo(open(address), QString::fromStdString(address));
            requests += proxy.requests() - before;
            failed = failed || window->connectionErrors() != 0;
        },
        true,
        [&window] {
            // Back on the local board (which closes the remote handle), at
            // rest.
            window->connectTo(0, QString());
            stopTimers(*window);
            QApplication::processEvents();
        });
    if (failed || guard.opened)
        state.SkipWithError("the connection failed");
    state.counters["round_trips"] =
        double(requests) / double(std::max<benchmark::IterationCount>(1, state.iterations()));
    state.counters["time_in_rtts"] = meanUs / kRoundTripUs;
}
BENCHMARK_CAPTURE(BM_RemoteConnectAndLoad, rtt20ms, nullptr)
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RemoteConnectAndLoad, rtt20ms_200temps, manyTemperaturesPatch())
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
