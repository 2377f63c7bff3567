#include "handles.h"

#include "status.h"

namespace halvo
{

namespace
{

// The platform's local board belongs to it, not to the table.
struct NoDelete {
    void operator()(Backend *) const {}
};

} // namespace

HandleTable::Entry HandleTable::find(int32_t handle)
{
    if (handle == 0)
        return {std::shared_ptr<Backend>(&platform_.localBoard(), NoDelete{}), localLock_};
    auto it = remote_.find(handle);
    return it == remote_.end() ? Entry{} : it->second;
}

int32_t HandleTable::openSimulated(const std::string &address, int32_t port, int32_t &handle)
{
    if (next_ == INT32_MAX)
        return fail(HALVO_CLASS_HANDLE, kOutOfRange);
    std::unique_ptr<Backend> backend;
    const int32_t status = platform_.connect(address, port, backend);
    if (status != HALVO_STATUS_OK)
        return status;
    handle = next_++;
    remote_[handle] = Entry{std::move(backend), nullptr};
    return HALVO_STATUS_OK;
}

int32_t HandleTable::add(std::unique_ptr<Backend> backend, int32_t &handle)
{
    if (next_ == INT32_MAX)
        return fail(HALVO_CLASS_HANDLE, kOutOfRange);
    handle = next_++;
    remote_[handle] = Entry{std::move(backend), std::make_shared<std::mutex>()};
    return HALVO_STATUS_OK;
}

int32_t HandleTable::close(int32_t handle)
{
    // The program closes its old handle before using a new one, also when the
    // old one is the local board; the local board stays usable.
    if (handle == 0)
        return HALVO_STATUS_OK;
    if (remote_.erase(handle) == 0)
        return fail(HALVO_CLASS_HANDLE, kOutOfRange);
    return HALVO_STATUS_OK;
}

void HandleTable::closeAll()
{
    remote_.clear();
    next_ = 1;
}

} // namespace halvo
