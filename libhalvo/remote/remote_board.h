// A board reached through an Exchange: every Backend call becomes the
// board call of the same row on the far side. The network backend runs it
// over HTTP; tests run it straight into a Service.
#ifndef HALVO_REMOTE_BOARD_H
#define HALVO_REMOTE_BOARD_H

#include "../backend.h"
#include "adapt.h"

namespace halvo::remote
{

class RemoteBoard : public Backend
{
public:
    explicit RemoteBoard(Exchange &x) : x_(x) {}

#define HALVO_REMOTE_CALL(F, method, params, args, ...)                                                                \
    int32_t method params override                                                                                     \
    {                                                                                                                  \
        return call<&F>(x_, std::tie args);                                                                            \
    }
    HALVO_CALLS(HALVO_REMOTE_CALL, &)
#undef HALVO_REMOTE_CALL

private:
    Exchange &x_;
};

} // namespace halvo::remote

#endif
