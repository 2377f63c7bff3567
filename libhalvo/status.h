// Status helpers shared by the entry points and the backends.
#ifndef HALVO_STATUS_H
#define HALVO_STATUS_H

#include "board/halvo.h"

namespace halvo
{

// Lower 16 bits of a failed status. Callers never interpret them, but they make
// a call log or a debugger session tell the cases of one class apart.
enum Detail : uint16_t {
    kNullPointer = 1,
    kOutOfRange = 2,
    kBadValue = 3,
    kUnknownAddress = 4,
    kBoardOff = 5,
    kBoardOffline = 6,
    kNoDevice = 7,
    kProtocol = 8,
    kNotProvided = 9,
    kInternal = 10,
    kPermission = 11,
    kBusy = 12,
    kTransport = 13,       // the network exchange with an agent failed or timed out
    kProtocolVersion = 14, // the agent speaks another protocol version
};

inline int32_t fail(uint16_t cls, uint16_t detail)
{
    return HALVO_MAKE_ERROR(cls, detail);
}
inline int32_t badArgument(uint16_t detail = kBadValue)
{
    return fail(HALVO_CLASS_ARGUMENT, detail);
}
inline int32_t unsupported()
{
    return fail(HALVO_CLASS_UNSUPPORTED, kNotProvided);
}
inline bool succeeded(int32_t status)
{
    return status == HALVO_STATUS_OK || status == HALVO_STATUS_PARTIAL;
}

} // namespace halvo

#endif
