// The Backend of a simulated board: every call goes to the board of the World
// at this address, looked up anew so that a board replaced by a patch or gone
// from a reloaded world is noticed, and run up to the current simulated time.
#ifndef HALVO_SIM_BACKEND_H
#define HALVO_SIM_BACKEND_H

#include "../../backend.h"
#include "board.h"

#include <string>

namespace halvo::sim
{

class World;

class SimBackend : public Backend
{
public:
    SimBackend(World &world, std::string address) : world_(world), address_(std::move(address)) {}

    // The records read alone are left to Backend, which picks them from this
    // board's lists: a status the description sets for a list holds for them.
#define HALVO_SIM_CALL(F, method, params, args, ...)                                                                   \
    int32_t method params override                                                                                     \
    {                                                                                                                  \
        return run(#F, [&](Board &b) { return b.method args; });                                                       \
    }
    HALVO_BOARD_CALLS(HALVO_SIM_CALL, &)
#undef HALVO_SIM_CALL

private:
    // The board that answers, or the status of a board that does not.
    int32_t find(Board *&board);

    template <typename Body> int32_t run(const char *function, Body &&body)
    {
        Board *board;
        if (const int32_t status = find(board))
            return status;
        // A status the description sets for this function behaves like a
        // forced status: a success still does the work, a failure returns at
        // once.
        const auto rule = board->callStatus.find(function);
        if (rule == board->callStatus.end())
            return body(*board);
        if (!succeeded(rule->second))
            return rule->second;
        const int32_t status = body(*board);
        return succeeded(status) ? rule->second : status;
    }

    World &world_;
    std::string address_;
};

} // namespace halvo::sim

#endif
