// A TCP proxy on loopback that keeps every byte a client sends, so a test can
// count the HTTP requests (round trips) one halvoctl command makes of the
// agent behind it. Listens on and connects to 127.0.0.1 only.
#ifndef HALVO_COUNTING_PROXY_H
#define HALVO_COUNTING_PROXY_H

#include "tests/remote/loopback_proxy.h"

#include <sys/socket.h>

#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <vector>

class CountingProxy
{
public:
    explicit CountingProxy(int target) : target_(target)
    {
        listener_ = halvo::loopback::listenLoopback(port_);
        acceptor_ = std::thread([this] {
            for (;;) {
                const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (client < 0)
                    return;
                std::lock_guard<std::mutex> lock(mutex_);
                connections_.emplace_back([this, client] { forward(client); });
            }
        });
    }
    ~CountingProxy()
    {
        ::shutdown(listener_, SHUT_RDWR);
        acceptor_.join();
        for (std::thread &t : connections_)
            t.join();
        ::close(listener_);
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

    // The request lines ("GET /v1/snapshot HTTP/1.1") sent so far, but for
    // the session check every connection starts with.
    std::vector<std::string> requests()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> lines;
        for (size_t end = sent_.find(" HTTP/1.1\r\n"); end != std::string::npos;
             end = sent_.find(" HTTP/1.1\r\n", end + 1)) {
            const size_t start = sent_.rfind('\n', end);
            const std::string line = sent_.substr(start == std::string::npos ? 0 : start + 1,
                                                  end - (start == std::string::npos ? 0 : start + 1));
            if (line.find(" /v1/session") == std::string::npos)
                lines.push_back(line);
        }
        return lines;
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sent_.clear();
    }

private:
    // Until either side closes; the client closes when its handle does.
    void forward(int client)
    {
        const int server = halvo::loopback::connectLoopback(target_);
        pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        char buffer[65536];
        for (bool open = true; open && ::poll(fds, 2, 10000) > 0;) {
            for (int i = 0; i < 2 && open; ++i) {
                if (!fds[i].revents)
                    continue;
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n <= 0) {
                    open = false;
                    break;
                }
                if (i == 0) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    sent_.append(buffer, static_cast<size_t>(n));
                }
                open = halvo::loopback::sendAll(fds[1 - i].fd, buffer, static_cast<size_t>(n));
            }
        }
        ::close(client);
        ::close(server);
    }

    const int target_;
    int listener_ = -1;
    int port_ = 0;
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::thread> connections_;
    std::string sent_;
};

#endif
