// The seam between the C entry points and whatever answers them.
//
// A Backend is one board as seen through one handle. The entry points have
// already taken the library lock, applied any forced status, resolved the
// handle and checked what does not depend on the board: every out-pointer is
// non-null, every list call has a non-null array and a count above 0, an SMBus
// block write carries 1..HALVO_SMBUS_BLOCK_MAX bytes and an I2C write at most
// HALVO_I2C_WRITE_MAX. Range and value checks that depend on the board (pin
// numbers, bus numbers, sizes) are the backend's job. Statuses follow
// board/halvo.h; a backend may throw, the entry points turn that into a
// device-class status.
#ifndef HALVO_BACKEND_H
#define HALVO_BACKEND_H

#include "board/halvo.h"
#include "calls.h"
#include "status.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace halvo
{

class Backend
{
public:
    virtual ~Backend() = default;

    // One member per row of the call table (calls.h).
#define HALVO_BACKEND_CALL(F, method, params, ...) virtual int32_t method params = 0;
    HALVO_BOARD_CALLS(HALVO_BACKEND_CALL, &)
#undef HALVO_BACKEND_CALL
#define HALVO_BACKEND_RECORD(F, method, params, args, ...)                                                             \
    virtual int32_t method params                                                                                      \
    {                                                                                                                  \
        return recordOf(HALVO_UNPAREN args, &Backend::method##Count, &Backend::method##List);                          \
    }
    HALVO_RECORD_CALLS(HALVO_BACKEND_RECORD, &)
#undef HALVO_BACKEND_RECORD

private:
    template <typename Record>
    int32_t recordOf(int32_t index, Record &out, int32_t (Backend::*count)(int32_t &),
                     int32_t (Backend::*list)(Record *, int32_t))
    {
        // A board never lists more; the bound keeps a broken one from
        // growing memory.
        constexpr int32_t kMaxItems = 4096;
        int32_t n = 0;
        if (const int32_t status = (this->*count)(n); status != HALVO_STATUS_OK)
            return status;
        if (index < 0 || index >= n || n > kMaxItems)
            return badArgument(kOutOfRange);
        std::vector<Record> all(static_cast<size_t>(n));
        const int32_t status = (this->*list)(all.data(), n);
        if (status != HALVO_STATUS_OK && status != HALVO_STATUS_PARTIAL)
            return status;
        out = all[static_cast<size_t>(index)];
        return HALVO_STATUS_OK;
    }
};

// Where backends come from: the local board, remote boards by address, and the
// AMT firmware of boards reachable by IP address (which needs no handle).
class Platform
{
public:
    virtual ~Platform() = default;

    virtual Backend &localBoard() = 0;
    // On success stores a backend for the board at `address` in `out`.
    virtual int32_t connect(const std::string &address, int32_t port, std::unique_ptr<Backend> &out) = 0;
    virtual int32_t getSystemStateAmt(const std::string &ipAddress, const std::string &userName,
                                      const std::string &password, int32_t &state) = 0;
    virtual int32_t setSystemStateAmt(const std::string &ipAddress, const std::string &userName,
                                      const std::string &password, int32_t state) = 0;
};

// Copies a Latin-1 text into a fixed record array. A text of exactly the array
// size fills it without a NUL; readers bound their reads by the array.
template <size_t N> void copyText(char (&field)[N], const std::string &text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), text.size() < N ? text.size() : N);
}

// Declares the board calls in a class that answers them itself; the records
// read alone it may leave to Backend.
#define HALVO_BACKEND_OVERRIDE(F, method, params, ...) int32_t method params override;

// The list convention of board/halvo.h: exactly `count` records are written,
// those past the board's items zero-filled, and a count that differs from the
// number of items still succeeds, with HALVO_STATUS_PARTIAL.
template <typename Record, typename Item, typename Fill>
int32_t fillList(const std::vector<Item> &items, Record *list, int32_t count, Fill fill)
{
    std::memset(static_cast<void *>(list), 0, sizeof(Record) * static_cast<size_t>(count));
    const size_t n = items.size() < static_cast<size_t>(count) ? items.size() : static_cast<size_t>(count);
    for (size_t i = 0; i < n; ++i)
        fill(items[i], list[i]);
    return items.size() == static_cast<size_t>(count) ? HALVO_STATUS_OK : HALVO_STATUS_PARTIAL;
}

} // namespace halvo

#endif
