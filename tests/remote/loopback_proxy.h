// A TCP proxy on loopback for the network backend's tests and benches: an
// added round trip, and an agent that hangs mid-answer. Everything here
// listens on and connects to 127.0.0.1 only.
#ifndef HALVO_LOOPBACK_PROXY_H
#define HALVO_LOOPBACK_PROXY_H

#include <netinet/in.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace halvo::loopback
{

using Clock = std::chrono::steady_clock;

[[noreturn]] inline void die(const char *what)
{
    std::perror(what);
    std::abort();
}

inline void noDelay(int fd)
{
    const int on = 1;
    if (::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0)
        die("TCP_NODELAY");
}

inline sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A listening socket on a free 127.0.0.1 port.
inline int listenLoopback(int &port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        die("listen on 127.0.0.1");
    port = ntohs(address.sin_port);
    return fd;
}

inline int connectLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        die("connect to 127.0.0.1");
    noDelay(fd);
    return fd;
}

// MSG_NOSIGNAL: a peer that closed first must not end the bench by SIGPIPE.
inline bool sendAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// A loopback TCP proxy to `target` that sends every chunk it reads, either
// way, `delay` after it arrived, in order: a round trip of twice the delay.
// Chunks are never held back for one another.
//
// hangAt(mark) makes the agent behind it hang as a frozen machine would: from
// the first request holding `mark` on, requests still arrive and no answer
// leaves, on every connection, while the sockets stay open.
//
// traffic() counts the HTTP requests that went through by their request
// lines ("GET /v1/snapshot HTTP/1.1"), and the bytes that came back for them:
// everything the agent sent on that connection after the request line arrived
// and before the next one did, headers included. That holds for one request
// at a time per connection, which is how the library asks.
class DelayProxy
{
public:
    struct PathTraffic {
        uint64_t requests = 0;
        uint64_t answerBytes = 0;
    };

    DelayProxy(int target, Clock::duration delay) : target_(target), delay_(delay)
    {
        listener_ = listenLoopback(port_);
        stop_ = ::eventfd(0, EFD_CLOEXEC);
        if (stop_ < 0)
            die("eventfd");
        acceptor_ = std::thread([this] { acceptLoop(); });
    }
    ~DelayProxy()
    {
        const uint64_t one = 1;
        if (::write(stop_, &one, sizeof one) != sizeof one)
            die("eventfd write");
        // The accept thread adds forwarding threads; it is joined first.
        acceptor_.join();
        for (std::thread &thread : threads_)
            thread.join();
        for (const int fd : sockets_)
            ::close(fd);
        ::close(listener_);
        ::close(stop_);
    }
    int port() const { return port_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    void hangAt(const std::string &mark)
    {
        std::lock_guard<std::mutex> lock(markMutex_);
        hangMark_ = mark;
    }
    // By request path (the target without its query), since construction or
    // the last clearTraffic().
    std::map<std::string, PathTraffic> traffic() const
    {
        std::lock_guard<std::mutex> lock(trafficMutex_);
        return traffic_;
    }
    uint64_t requests() const
    {
        std::lock_guard<std::mutex> lock(trafficMutex_);
        uint64_t sum = 0;
        for (const auto &entry : traffic_)
            sum += entry.second.requests;
        return sum;
    }
    void clearTraffic()
    {
        std::lock_guard<std::mutex> lock(trafficMutex_);
        traffic_.clear();
    }

private:
    struct Chunk {
        Clock::time_point due;
        std::string bytes;
    };

    // What the two ways of one connection share for the counting.
    struct Link {
        // The client's bytes after its last line end: a request line may
        // arrive in pieces.
        std::string partialLine;
        // The path of the request being answered; "" before the first.
        std::string path;
    };

    // Waits for `fd` (or only the deadline when fd < 0); false once stopped.
    bool wait(int fd, const Clock::time_point *deadline, bool &readable) const
    {
        pollfd fds[2] = {{stop_, POLLIN, 0}, {fd, POLLIN, 0}};
        timespec timeout{};
        if (deadline) {
            const auto left = std::max(Clock::duration{}, *deadline - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        }
        // ppoll: poll's whole milliseconds would add up to 1 ms each way.
        const int ready = ::ppoll(fds, 2, deadline ? &timeout : nullptr, nullptr);
        if (ready < 0 && errno != EINTR)
            die("ppoll");
        readable = ready > 0 && fds[1].revents != 0;
        return ready <= 0 || fds[0].revents == 0;
    }

    void acceptLoop()
    {
        bool readable = false;
        while (wait(listener_, nullptr, readable)) {
            if (!readable)
                continue;
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            noDelay(client);
            const int server = connectLoopback(target_);
            sockets_.push_back(client);
            sockets_.push_back(server);
            const auto link = std::make_shared<Link>();
            threads_.emplace_back([this, client, server, link] { forward(client, server, false, *link); });
            threads_.emplace_back([this, client, server, link] { forward(server, client, true, *link); });
        }
    }

    // One way of one connection. An end of stream is passed on (as a
    // half-close) once the chunks before it have been sent.
    void forward(int from, int to, bool answers, Link &link)
    {
        std::deque<Chunk> queue;
        bool open = true;
        char buffer[64 * 1024];
        for (;;) {
            if (!open && queue.empty()) {
                ::shutdown(to, SHUT_WR);
                return;
            }
            bool readable = false;
            if (!wait(open ? from : -1, queue.empty() ? nullptr : &queue.front().due, readable))
                return;
            if (readable) {
                const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
                if (n > 0)
                    count(link, answers, buffer, static_cast<size_t>(n));
                if (n > 0 && !answers)
                    watchForHang(buffer, static_cast<size_t>(n));
                if (n > 0 && !(answers && hung_))
                    queue.push_back({Clock::now() + delay_, std::string(buffer, static_cast<size_t>(n))});
                else if (n <= 0)
                    open = false;
            }
            while (!queue.empty() && queue.front().due <= Clock::now()) {
                if (!sendAll(to, queue.front().bytes.data(), queue.front().bytes.size())) {
                    ::shutdown(from, SHUT_RD);
                    return;
                }
                queue.pop_front();
            }
        }
    }

    void count(Link &link, bool answers, const char *bytes, size_t size)
    {
        std::lock_guard<std::mutex> lock(trafficMutex_);
        if (answers) {
            traffic_[link.path].answerBytes += size;
            return;
        }
        // Request lines end in " HTTP/1.x"; header lines hold a colon before
        // any space, and JSON bodies escape their line ends.
        link.partialLine.append(bytes, size);
        size_t start = 0;
        for (size_t end; (end = link.partialLine.find("\r\n", start)) != std::string::npos; start = end + 2) {
            const std::string line = link.partialLine.substr(start, end - start);
            const size_t version = line.rfind(" HTTP/1.");
            const size_t target = line.find(' ');
            if (version == std::string::npos || version + 9 != line.size() || target == version)
                continue;
            link.path = line.substr(target + 1, version - target - 1);
            link.path = link.path.substr(0, link.path.find('?'));
            ++traffic_[link.path].requests;
        }
        // Only the unfinished line is kept, and of it no more than a request
        // line can be.
        constexpr size_t longestLine = 8192;
        const size_t kept = std::min(link.partialLine.size() - start, longestLine);
        link.partialLine.erase(0, link.partialLine.size() - kept);
    }

    void watchForHang(const char *bytes, size_t size)
    {
        std::lock_guard<std::mutex> lock(markMutex_);
        if (!hangMark_.empty() && std::string(bytes, size).find(hangMark_) != std::string::npos)
            hung_ = true;
    }

    const int target_;
    const Clock::duration delay_;
    int listener_ = -1;
    int port_ = 0;
    int stop_ = -1;
    std::thread acceptor_;
    // Only the accept thread adds to these until the destructor runs.
    std::vector<std::thread> threads_;
    std::vector<int> sockets_;
    std::mutex markMutex_;
    std::string hangMark_;
    std::atomic<bool> hung_{false};
    mutable std::mutex trafficMutex_;
    std::map<std::string, PathTraffic> traffic_;
};

} // namespace halvo::loopback

#endif
