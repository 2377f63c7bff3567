// The agent's normal load: N clients on loopback, each on one keep-alive
// connection, reading a path (the status snapshot by default) back to back
// for a few seconds. Prints the requests per second of all clients and the
// median and 99th percentile of one request. Against any halvo-agent on this
// machine, so that two builds can be compared side by side:
//
//   halvo_agent_load --port 7890 [--clients 4] [--seconds 5] [--path /v1/snapshot]
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

struct Client {
    std::vector<double> us;
    bool failed = false;
};

int connectLoopback(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<uint16_t>(port));
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval limit{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// One answer, framed by its Content-Length; false on anything else.
bool readAnswer(int fd, std::string &buffer)
{
    buffer.clear();
    char chunk[65536];
    size_t need = std::string::npos;
    while (buffer.size() < need) {
        const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        buffer.append(chunk, size_t(n));
        const size_t head = buffer.find("\r\n\r\n");
        const size_t length = buffer.find("Content-Length: ");
        if (need == std::string::npos && head != std::string::npos && length < head)
            need = head + 4 + std::strtoul(buffer.c_str() + length + 16, nullptr, 10);
    }
    return buffer.compare(0, 12, "HTTP/1.1 200") == 0;
}

void run(int port, const std::string &path, Clock::time_point end, Client &client)
{
    const int fd = connectLoopback(port);
    if (fd < 0) {
        client.failed = true;
        return;
    }
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: board\r\nX-Halvo-Protocol: 1\r\n\r\n";
    std::string answer;
    while (Clock::now() < end) {
        const auto start = Clock::now();
        if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size()) ||
            !readAnswer(fd, answer)) {
            client.failed = true;
            break;
        }
        client.us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    close(fd);
}

} // namespace

int main(int argc, char **argv)
{
    int port = 0, clients = 4;
    double seconds = 5;
    std::string path = "/v1/snapshot";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help") {
            std::puts("Usage: halvo_agent_load --port N [--clients N] [--seconds S] [--path PATH]\n"
                      "Reads PATH from the agent on 127.0.0.1:N with N clients for S seconds.");
            return 0;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "halvo_agent_load: %s needs a value\n", a.c_str());
            return 2;
        }
        const char *v = argv[++i];
        if (a == "--port")
            port = std::atoi(v);
        else if (a == "--clients")
            clients = std::atoi(v);
        else if (a == "--seconds")
            seconds = std::atof(v);
        else if (a == "--path")
            path = v;
        else {
            std::fprintf(stderr, "halvo_agent_load: unknown option %s\n", a.c_str());
            return 2;
        }
    }
    if (port <= 0 || port > 65535 || clients < 1 || clients > 64 || seconds <= 0 || seconds > 60 || path[0] != '/') {
        std::fprintf(stderr, "halvo_agent_load: --port 1-65535, --clients 1-64, --seconds up to 60, a path\n");
        return 2;
    }
    std::vector<Client> results(static_cast<size_t>(clients));
    std::vector<std::thread> threads;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    for (Client &c : results)
        threads.emplace_back(run, port, path, end, std::ref(c));
    for (std::thread &t : threads)
        t.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<double> all;
    bool failed = false;
    for (const Client &c : results) {
        all.insert(all.end(), c.us.begin(), c.us.end());
        failed = failed || c.failed;
    }
    if (all.empty()) {
        std::fprintf(stderr, "halvo_agent_load: no answer\n");
        return 1;
    }
    std::sort(all.begin(), all.end());
    std::printf("%zu requests, %.0f req/s, p50 %.3f ms, p99 %.3f ms%s\n", all.size(), all.size() / elapsed,
                all[all.size() / 2] / 1000, all[all.size() * 99 / 100] / 1000, failed ? " (a client failed)" : "");
    return failed ? 1 : 0;
}
