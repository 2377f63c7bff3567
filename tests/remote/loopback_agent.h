// halvo-agent's server on a free loopback port, serving handle 0 of this
// process's library from a thread of its own; stopped when destroyed.
#ifndef HALVO_LOOPBACK_AGENT_H
#define HALVO_LOOPBACK_AGENT_H

#include "agent/agent.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

class LoopbackAgent
{
public:
    explicit LoopbackAgent(halvo::agent::Options options = {})
    {
        options.port = 0;
        std::string error;
        if (!server.start(options, error)) {
            std::fprintf(stderr, "agent: %s\n", error.c_str());
            std::abort();
        }
        thread = std::thread([this] { server.serve(); });
    }
    ~LoopbackAgent() { stop(); }
    void stop()
    {
        server.stop();
        if (thread.joinable())
            thread.join();
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(server.port()); }

    halvo::agent::Server server;
    std::thread thread;
};

#endif
