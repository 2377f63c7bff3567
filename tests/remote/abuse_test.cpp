// halvo-agent against peers without credentials that misbehave, on loopback
// only and bounded in count and time: slow connections while a client with a
// token is served, bodies and header floods sent before authentication,
// requests written to forge log lines, and the limits' answers. Strangers
// come from 127.0.0.2 and up, the client from 127.0.0.1, so that the limit
// per peer address does not hide the limit of the event loop.
#include "agent/exchange.h"
#include "loopback_agent.h"
#include "tests/lib/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string kControl = "cccccccccccccccccccc";
const std::string kMonitor = "mmmmmmmmmmmmmmmmmmmm";

// An agent knowing a control and a monitor token.
halvo::agent::Options withTokens()
{
    char path[] = "/tmp/halvo-tokens.XXXXXX";
    const int fd = mkstemp(path);
    const std::string text = "control " + kControl + " lab\nmonitor " + kMonitor + " watcher\n";
    EXPECT_EQ(write(fd, text.data(), text.size()), ssize_t(text.size()));
    close(fd);
    halvo::agent::Options options;
    options.tokensFile = path;
    return options;
}

struct Tokens {
    halvo::agent::Options options = withTokens();
    ~Tokens() { unlink(options.tokensFile.c_str()); }
};

// A non-blocking TCP connection from `source` to the agent.
int connectFrom(const std::string &source, int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    inet_pton(AF_INET, source.c_str(), &from.sin_addr);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    to.sin_port = htons(static_cast<uint16_t>(port));
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from) != 0 ||
        connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, O_NONBLOCK);
    return fd;
}

// Sends as much of `data` as the peer takes within `wait`; the bytes sent.
size_t sendFor(int fd, const std::string &data, milliseconds wait)
{
    const auto end = Clock::now() + wait;
    size_t sent = 0;
    while (sent < data.size() && Clock::now() < end) {
        const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += size_t(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 10);
        } else {
            break;
        }
    }
    return sent;
}

// What arrives until the peer closes, one whole answer has come (`one`), or
// `wait` passes.
std::string receive(int fd, milliseconds wait, bool one = false)
{
    const auto end = Clock::now() + wait;
    std::string got;
    char buffer[65536];
    while (Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, 5);
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN))
            break;
        if (n > 0)
            got.append(buffer, size_t(n));
        const size_t head = got.find("\r\n\r\n");
        const size_t length = got.find("Content-Length: ");
        if (one && head != std::string::npos && length < head &&
            got.size() >= head + 4 + std::stoul(got.substr(length + 16)))
            break;
    }
    return got;
}

bool closedWithin(int fd, milliseconds wait)
{
    const auto end = Clock::now() + wait;
    char byte;
    while (Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, 5);
        const ssize_t n = recv(fd, &byte, 1, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN))
            return true;
    }
    return false;
}

int status(const std::string &answer)
{
    return answer.compare(0, 9, "HTTP/1.1 ") == 0 ? std::atoi(answer.c_str() + 9) : 0;
}

// The process's peak resident memory since the last reset, in MiB.
double peakMiB()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024;
    return 0;
}

void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

std::string request(const std::string &method, const std::string &target, const std::string &token,
                    const std::string &extra = "", const std::string &body = "")
{
    return method + " " + target + " HTTP/1.1\r\nHost: board\r\n" +
           (token.empty() ? "" : "Authorization: Bearer " + token + "\r\n") + extra +
           (body.empty() ? "" : "Content-Length: " + std::to_string(body.size()) + "\r\n") + "\r\n" + body;
}

class AgentUnderAbuse : public SimTest
{
};

// 256 strangers trickle header bytes while a client with a token reads the
// snapshot 200 times: every read answered, quickly, and the strangers' cost
// bounded; a 33rd connection from one address is closed at once.
TEST_F(AgentUnderAbuse, SlowStrangersDoNotHoldUpAClientWithAToken)
{
    const Tokens tokens;
    LoopbackAgent agent(tokens.options);
    const int port = agent.server.port();
    resetPeak();
    const double before = peakMiB();
    std::vector<int> slow;
    for (int peer = 2; peer < 10; ++peer)
        for (int i = 0; i < 32; ++i) {
            const int fd = connectFrom("127.0.0." + std::to_string(peer), port);
            ASSERT_GE(fd, 0);
            sendFor(fd, "GET /v1/snapshot HTTP/1.1\r\nX-Slow: ", milliseconds(100));
            slow.push_back(fd);
        }
    // What the strangers cost, before the client's answers add their own
    // (freed) memory to the peak.
    std::this_thread::sleep_for(milliseconds(100));
    const double grown = peakMiB() - before;
    const int extra = connectFrom("127.0.0.2", port);
    EXPECT_TRUE(closedWithin(extra, milliseconds(1000))) << "a 33rd connection from one address";
    close(extra);

    const int client = connectFrom("127.0.0.1", port);
    const std::string read = request("GET", "/v1/snapshot", kMonitor);
    std::vector<double> ms;
    int served = 0;
    for (int i = 0; i < 200; ++i) {
        if (i % 20 == 0)
            for (const int fd : slow)
                sendFor(fd, "x", milliseconds(10));
        const auto start = Clock::now();
        sendFor(client, read, milliseconds(1000));
        served += status(receive(client, milliseconds(2000), true)) == 200;
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    const double p99 = ms[ms.size() * 99 / 100];
    std::printf("256 slow strangers: %d/200 served, p50 %.2f ms, p99 %.2f ms; peak memory +%.1f MiB\n", served,
                ms[ms.size() / 2], p99, grown);
    EXPECT_EQ(served, 200);
    EXPECT_LT(p99, 100);
    EXPECT_LT(grown, 64) << "256 connections of a few KiB each";
    for (const int fd : slow)
        close(fd);
    close(client);
}

// A chunked body and a header flood without credentials: answered 401 and
// 431 after at most a header block's worth, the connection closed.
TEST_F(AgentUnderAbuse, BodiesAndHeaderFloodsOfStrangersAreNotRead)
{
    const Tokens tokens;
    LoopbackAgent agent(tokens.options);
    const int port = agent.server.port();
    const std::string chunk = "100000\r\n" + std::string(0x100000, 'x') + "\r\n";
    const std::string line = "X-Flood: " + std::string(4096, 'y') + "\r\n";
    struct Case {
        const char *what;
        std::string head, repeated;
        int times, want;
    };
    for (const Case &c : {
             Case{"a chunked body of 256 MiB", request("PUT", "/v1/cpu/fan", "", "Transfer-Encoding: chunked\r\n"),
                  chunk, 256, 401},
             Case{"20,000 header lines of 4 KiB", "GET /v1/snapshot HTTP/1.1\r\n", line, 20000, 431},
         }) {
        SCOPED_TRACE(c.what);
        resetPeak();
        const double before = peakMiB();
        const int fd = connectFrom("127.0.0.2", port);
        size_t sent = sendFor(fd, c.head, milliseconds(500));
        for (int i = 0; i < c.times && sent < (64u << 20); ++i) {
            const size_t n = sendFor(fd, c.repeated, milliseconds(300));
            sent += n;
            if (n < c.repeated.size())
                break;
        }
        const std::string answer = receive(fd, milliseconds(3000));
        const double grown = peakMiB() - before;
        std::printf("%s: answered %d after %.1f MiB taken by the socket; peak memory +%.1f MiB\n", c.what,
                    status(answer), sent / 1048576.0, grown);
        EXPECT_EQ(status(answer), c.want) << answer;
        EXPECT_LT(sent, 32u << 20) << "the agent stopped taking bytes";
        EXPECT_LT(grown, 16);
        close(fd);
    }
}

// However slowly the bytes come: the header block within its time, the
// whole request within its time, and an idle connection is closed.
TEST_F(AgentUnderAbuse, DeadlinesHoldHoweverSlowlyBytesCome)
{
    const Tokens tokens;
    halvo::agent::Options options = tokens.options;
    options.deadlines.header = milliseconds(400);
    options.deadlines.request = milliseconds(800);
    options.deadlines.idle = milliseconds(300);
    LoopbackAgent agent(options);
    const int port = agent.server.port();
    struct Case {
        const char *what;
        std::string start, trickle;
        int lowMs, highMs;
    };
    for (const Case &c : {
             Case{"header bytes every 50 ms", "GET /v1/snapshot HTTP/1.1\r\n", "X", 350, 700},
             Case{"body bytes every 50 ms", request("PUT", "/v1/cpu/fan", kControl, "Content-Length: 1000\r\n"), "1",
                  750, 1200},
             Case{"nothing after one answer", request("GET", "/v1/session", kMonitor), "", 250, 600},
         }) {
        SCOPED_TRACE(c.what);
        const int fd = connectFrom("127.0.0.2", port);
        const auto start = Clock::now();
        sendFor(fd, c.start, milliseconds(100));
        bool closed = false;
        while (!closed && Clock::now() - start < milliseconds(2000)) {
            if (!c.trickle.empty())
                sendFor(fd, c.trickle, milliseconds(10));
            closed = closedWithin(fd, milliseconds(50));
        }
        const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
        EXPECT_TRUE(closed);
        EXPECT_GE(took, c.lowMs);
        EXPECT_LE(took, c.highMs);
        close(fd);
    }
}

// The limits' answers and the finer points of HTTP, on the agent's request
// path without sockets.
TEST_F(AgentUnderAbuse, LimitsAndHttpDetailsAreAnsweredAsStated)
{
    const Tokens tokens;
    std::map<std::string, halvo::agent::Token> known;
    std::string error;
    ASSERT_TRUE(halvo::agent::readTokens(tokens.options, known, error)) << error;
    const halvo::agent::Agent agent(tokens.options, known);
    const std::string lines = [] {
        std::string s;
        // With Host and Authorization: 100 lines.
        for (int i = 0; i < 98; ++i)
            s += "X-Line: " + std::to_string(i) + "\r\n";
        return s;
    }();
    std::string chunked = "Transfer-Encoding: chunked\r\n\r\n";
    for (int i = 0; i < 5; ++i)
        chunked += "10000\r\n" + std::string(0x10000, ' ') + "\r\n";
    struct Case {
        const char *what;
        std::string bytes;
        std::vector<int> statuses;
        std::string contains;
        std::string lacks = {};
    };
    for (const Case &c : {
             Case{"header block over 16 KiB",
                  request("GET", "/v1/cpu", kMonitor, "X-Big: " + std::string(16384, 'b') + "\r\n"),
                  {431},
                  ""},
             Case{"101 header lines", request("GET", "/v1/cpu", kMonitor, lines + "X-Line: 98\r\n"), {431}, ""},
             Case{"100 header lines",
                  request("GET", "/v1/cpu", kMonitor, lines.substr(lines.find('\n') + 1)),
                  {200},
                  ""},
             Case{"a declared body over 256 KiB",
                  request("PUT", "/v1/cpu/fan", kControl, "Content-Length: 262145\r\n"),
                  {413},
                  ""},
             Case{"the same from a stranger",
                  request("PUT", "/v1/cpu/fan", "", "Content-Length: 262145\r\n"),
                  {401},
                  "WWW-Authenticate: Bearer"},
             Case{"a chunked body over 256 KiB",
                  "PUT /v1/cpu/fan HTTP/1.1\r\nAuthorization: Bearer " + kControl + "\r\n" + chunked,
                  {413},
                  ""},
             Case{"a gzip body",
                  request("PUT", "/v1/cpu/fan", kControl, "Content-Encoding: gzip\r\n", "xxxx"),
                  {415},
                  ""},
             Case{"a monitor's control call, body unsent",
                  request("PUT", "/v1/cpu/fan", kMonitor, "Content-Length: 100\r\n"),
                  {403},
                  "Connection: close"},
             Case{"the wrong method", request("DELETE", "/v1/cpu/fan", kControl), {405}, "Allow: GET, HEAD, PUT\r\n"},
             Case{"a write to a read", request("PUT", "/v1/snapshot", kControl), {405}, "Allow: GET, HEAD\r\n"},
             Case{"HEAD",
                  request("HEAD", "/v1/session", kMonitor),
                  {200},
                  "Content-Length: 31\r\nX-Halvo-Protocol: 1\r\nKeep-Alive: timeout=5\r\n\r\n"},
             Case{"the scheme in capitals",
                  request("GET", "/v1/session", "", "Authorization: BEARER  " + kMonitor + "\r\n"),
                  {200},
                  ""},
             Case{"another scheme",
                  request("GET", "/v1/session", "", "Authorization: Basic " + kMonitor + "\r\n"),
                  {401},
                  ""},
             Case{"a repeated JSON key",
                  request("PUT", "/v1/cpu/fan", kControl, "", R"({"speed": 10, "speed": 99})"),
                  {400},
                  ""},
             Case{"two protocol headers",
                  request("GET", "/v1/cpu", kMonitor, "X-Halvo-Protocol: 1\r\nX-Halvo-Protocol: 1\r\n"),
                  {400},
                  ""},
             Case{"a write bringing the snapshot after it",
                  request("PUT", "/v1/cpu/fan", kControl, "X-Halvo-Snapshot: after\r\n", R"({"speed": 10})"),
                  {200},
                  R"("snapshot":{"reads":[)"},
             Case{"a read asking for it too",
                  request("GET", "/v1/cpu", kMonitor, "X-Halvo-Snapshot: after\r\n"),
                  {200},
                  "",
                  "snapshot"},
             Case{"a write without it",
                  request("PUT", "/v1/cpu/fan", kControl, "", R"({"speed": 10})"),
                  {200},
                  "",
                  "snapshot"},
             Case{"pipelined, in order",
                  request("GET", "/v1/session", kMonitor) + request("GET", "/v1/nothing", kMonitor) +
                      request("GET", "/v1/session", kControl),
                  {200, 404},
                  "\"role\":\"monitor\""},
         }) {
        SCOPED_TRACE(c.what);
        std::vector<int> got;
        std::string out;
        for (const std::string &answer : halvo::agent::converse(agent, c.bytes)) {
            got.push_back(status(answer));
            out += answer;
        }
        EXPECT_EQ(got, c.statuses) << out;
        EXPECT_NE(out.find(c.contains), std::string::npos) << out;
        if (!c.lacks.empty()) {
            EXPECT_EQ(out.find(c.lacks), std::string::npos) << out;
        }
    }
}

// Request text in the log is escaped to one line per call; bodies and
// tokens never appear.
TEST_F(AgentUnderAbuse, ARequestCannotForgeLogLines)
{
    const Tokens tokens;
    std::map<std::string, halvo::agent::Token> known;
    std::string error;
    ASSERT_TRUE(halvo::agent::readTokens(tokens.options, known, error)) << error;
    known[kControl].name = "lab\x1b[2J";
    const halvo::agent::Agent agent(tokens.options, known);
    const std::string forged =
        "\nhalvo-agent: token root (control): HalvoSystemPowerOff /v1/power -> status 0\n\x1b[31m " + kControl + "\n";
    testing::internal::CaptureStderr();
    halvo::agent::converse(agent, request("PUT", "/v1/cpu/fan", kControl, "", "{\"speed\": \"" + forged + "\"}"));
    halvo::agent::converse(agent, request("PUT", "/v1/cpu/fan?%0ahalvo-agent:=%1b", kMonitor, "", forged));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    EXPECT_EQ(log.find('\x1b'), std::string::npos) << log;
    EXPECT_EQ(log.find("HalvoSystemPowerOff"), std::string::npos) << log;
    EXPECT_EQ(log.find(kControl), std::string::npos) << log;
    EXPECT_NE(log.find("token lab\\x1b[2J (control): HalvoSetCpuFanSpeed /v1/cpu/fan -> refused 400"),
              std::string::npos)
        << log;
}

} // namespace
