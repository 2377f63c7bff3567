// The halvo_sim_* controls of the simulated board (libhalvo/backends/sim/halvo_sim.h).
#include "halvo_sim.h"

#include "../../library.h"
#include "../../status.h"
#include "world.h"

#include <cstring>
#include <exception>
#include <string>

using namespace halvo;

namespace
{

// Per thread, so that the pointer halvo_sim_last_error() hands out is not
// rewritten by another thread's control call.
thread_local std::string lastError;

size_t copyOut(const std::string &text, char *buffer, size_t size)
{
    if (buffer && size > 0) {
        const size_t n = text.size() < size - 1 ? text.size() : size - 1;
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
    return text.size();
}

// Runs a control with the lock held; any exception becomes an argument-class
// status with its message kept for halvo_sim_last_error(). The body gets the
// simulated world, null when handle 0 is the real machine: the call log and
// forced statuses work either way.
template <typename Body> int32_t control(Body &&body) noexcept
{
    try {
        Library &lib = library();
        std::lock_guard<std::mutex> lock(lib.mutex);
        lastError.clear();
        try {
            body(lib, dynamic_cast<sim::World *>(lib.platform.get()));
            return HALVO_STATUS_OK;
        } catch (const std::exception &e) {
            lastError = e.what();
        } catch (...) {
            lastError = "unexpected error";
        }
        return badArgument(kBadValue);
    } catch (...) {
        return fail(HALVO_CLASS_DEVICE, kInternal);
    }
}

std::string addressOf(const char *address)
{
    return address ? address : "";
}

struct ControlError : std::exception {
    explicit ControlError(const char *what) : what_(what) {}
    const char *what() const noexcept override { return what_; }
    const char *what_;
};

sim::World &simulated(sim::World *world)
{
    if (!world)
        throw ControlError("the simulated board is not in use (the board is the real machine)");
    return *world;
}

} // namespace

extern "C" {

HALVO_API void halvo_sim_reset(void)
{
    control([](Library &lib, sim::World *world) {
        if (world)
            world->reset();
        lib.handles.closeAll();
        lib.instrument.clearForced();
        lib.instrument.clearLog();
    });
}

HALVO_API int32_t halvo_sim_load_board(const char *json)
{
    return control([&](Library &, sim::World *world) {
        if (!json)
            throw ControlError("json is NULL");
        simulated(world).load(json);
    });
}

HALVO_API int32_t halvo_sim_patch_board(const char *address, const char *json)
{
    return control([&](Library &, sim::World *world) {
        if (!json)
            throw ControlError("json is NULL");
        simulated(world).patch(addressOf(address), json);
    });
}

HALVO_API size_t halvo_sim_board_json(const char *address, char *buffer, size_t size)
{
    std::string text;
    control([&](Library &, sim::World *world) { text = simulated(world).boardJson(addressOf(address)); });
    return copyOut(text, buffer, size);
}

HALVO_API int32_t halvo_sim_force_status(const char *function, int32_t status, int32_t calls)
{
    return control([&](Library &lib, sim::World *) {
        if (!function)
            throw ControlError("function is NULL");
        if (!Instrument::isBoardFunction(function))
            throw ControlError("not a board function");
        lib.instrument.force(function, status, calls);
    });
}

HALVO_API void halvo_sim_clear_forced(void)
{
    control([](Library &lib, sim::World *) { lib.instrument.clearForced(); });
}

HALVO_API void halvo_sim_freeze_clock(int frozen)
{
    control([&](Library &, sim::World *world) { simulated(world).freezeClock(frozen != 0); });
}

HALVO_API void halvo_sim_advance_clock(int64_t milliseconds)
{
    control([&](Library &, sim::World *world) { simulated(world).advanceClock(milliseconds); });
}

HALVO_API size_t halvo_sim_call_log(char *buffer, size_t size)
{
    std::string text;
    control([&](Library &lib, sim::World *) { text = lib.instrument.logText(); });
    return copyOut(text, buffer, size);
}

HALVO_API void halvo_sim_record_calls(int on)
{
    control([&](Library &lib, sim::World *) { lib.instrument.setRecording(on != 0); });
}

HALVO_API void halvo_sim_clear_call_log(void)
{
    control([](Library &lib, sim::World *) { lib.instrument.clearLog(); });
}

HALVO_API const char *halvo_sim_last_error(void)
{
    return lastError.c_str();
}

} // extern "C"
