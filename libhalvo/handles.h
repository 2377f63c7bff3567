// Handle table: 0 is the local board and is always open; HalvoLibInitialize
// hands out 1, 2, ... for remote boards, never reusing a number until the table
// is reset.
//
// Each entry says which lock serialises its calls: none for boards of the
// simulated world, which the library lock already guards, or a lock of its
// own, so that a slow remote board never holds up the others.
#ifndef HALVO_HANDLES_H
#define HALVO_HANDLES_H

#include "backend.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace halvo
{

class HandleTable
{
public:
    struct Entry {
        std::shared_ptr<Backend> backend; // null for an unknown or closed handle
        std::shared_ptr<std::mutex> lock; // null: the library lock serialises it
    };

    explicit HandleTable(Platform &platform) : platform_(platform) {}

    // Handle 0 then takes its calls under `lock` instead of the library lock.
    void setLocalLock(std::shared_ptr<std::mutex> lock) { localLock_ = std::move(lock); }

    Entry find(int32_t handle);
    // A board of the simulated world; a connection-class status with detail
    // kUnknownAddress when the world has none at `address`.
    int32_t openSimulated(const std::string &address, int32_t port, int32_t &handle);
    // A board with a lock of its own.
    int32_t add(std::unique_ptr<Backend> backend, int32_t &handle);
    int32_t close(int32_t handle);
    void closeAll();

private:
    Platform &platform_;
    std::shared_ptr<std::mutex> localLock_;
    std::map<int32_t, Entry> remote_;
    int32_t next_ = 1;
};

} // namespace halvo

#endif
