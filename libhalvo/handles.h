// Handle table: 0 is the local board and is always open; HalvoLibInitialize
// hands out 1, 2, ... for remote boards, never reusing a number until the table
// is reset.
#ifndef HALVO_HANDLES_H
#define HALVO_HANDLES_H

#include "backend.h"

#include <map>
#include <memory>
#include <string>

namespace halvo
{

class HandleTable
{
public:
    explicit HandleTable(Platform &platform) : platform_(platform) {}

    // nullptr for an unknown or closed handle.
    Backend *find(int32_t handle);
    int32_t open(const std::string &address, int32_t port, int32_t &handle);
    int32_t close(int32_t handle);
    void closeAll();

private:
    Platform &platform_;
    std::map<int32_t, std::unique_ptr<Backend>> remote_;
    int32_t next_ = 1;
};

} // namespace halvo

#endif
