#include "sim_backend.h"

#include "../../status.h"
#include "world.h"

namespace halvo::sim
{

int32_t SimBackend::find(Board *&board)
{
    board = world_.board(address_);
    if (!board)
        return fail(HALVO_CLASS_CONNECTION, kUnknownAddress);
    if (!board->online)
        return fail(HALVO_CLASS_CONNECTION, kBoardOffline);
    if (board->powerState != 0)
        return fail(HALVO_CLASS_CONNECTION, kBoardOff);
    return HALVO_STATUS_OK;
}

} // namespace halvo::sim
