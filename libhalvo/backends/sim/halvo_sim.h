/*
 * halvo_sim.h - controls of the simulated board, for tests and tools.
 *
 * The simulated board answers every Halvo* function of board/halvo.h. These
 * functions are not part of the board API: they let a test put the simulated
 * world into a known state, break it on purpose and see what the program asked
 * of it. They share the library's lock, so they may be called from any thread.
 *
 * When handle 0 is the real machine (HALVO_BOARD=host) no simulated world
 * exists: the controls of the world fail (or do nothing), while the call log,
 * forced statuses and the reset of handles still work.
 *
 * Status rule: functions returning int32_t return 0 on success and a board-API
 * style error (HALVO_CLASS_ARGUMENT) otherwise; halvo_sim_last_error() then
 * describes the problem. Text outputs follow snprintf: they write at most
 * `size` bytes including the NUL and return the length the full text needs.
 * All pointers are owned by the caller.
 */
#ifndef HALVO_SIM_H
#define HALVO_SIM_H

#include "../../../board/halvo.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Back to the demo board (or the board file HALVO_BOARD names): remote
 * handles closed, forced statuses and call log cleared, clock running. */
HALVO_API void halvo_sim_reset(void);

/* Replaces the whole simulated world (local board, remote boards, AMT
 * endpoints) with the description in `json`. Missing keys keep the demo
 * board's values, so {} is the demo board. */
HALVO_API int32_t halvo_sim_load_board(const char *json);

/* Applies `json` as a JSON merge patch (RFC 7396) to the live description of
 * the board at `address` (NULL or "" for the local board). Arrays are replaced
 * whole. */
HALVO_API int32_t halvo_sim_patch_board(const char *address, const char *json);

/* The live description of the board at `address` (NULL for the local board)
 * as JSON, including the state the simulation has moved (fan duty, GPIO
 * levels, storage bytes, watchdog, up-time...). */
HALVO_API size_t halvo_sim_board_json(const char *address, char *buffer, size_t size);

/* Makes `function` (a Halvo* name) return `status`: for the next `calls` calls
 * when calls > 0, on every call when calls < 0; calls == 0 removes the rule.
 * A forced 0 or 16 still does the function's work; any other status returns at
 * once without writing outputs. */
HALVO_API int32_t halvo_sim_force_status(const char *function, int32_t status, int32_t calls);
HALVO_API void halvo_sim_clear_forced(void);

/* Simulated time. A frozen clock moves only through halvo_sim_advance_clock,
 * so values that depend on time are deterministic. */
HALVO_API void halvo_sim_freeze_clock(int frozen);
HALVO_API void halvo_sim_advance_clock(int64_t milliseconds);

/* Recording of calls is off by default (it costs a formatted line per call);
 * on turns it on for the life of the process, reset leaves it as it is.
 * Setting $HALVO_SIM_LOG=path turns it on too and appends each line to that
 * file as the call is made (a new file is created readable by its owner
 * only). */
HALVO_API void halvo_sim_record_calls(int on);

/* The calls recorded since the last clear, one line each:
 *   Name(arg, arg, ...) -> status
 * integers in decimal, text arguments in double quotes, passwords as "***",
 * input byte buffers as lowercase hex in double quotes (the first 32 bytes,
 * then ... when longer; '*' when the call refused them), out-parameters and
 * record buffers as '*', counts as given. The oldest lines are dropped beyond
 * 1 MiB. */
HALVO_API size_t halvo_sim_call_log(char *buffer, size_t size);
HALVO_API void halvo_sim_clear_call_log(void);

/* Description of the calling thread's last control error, "" when none.
 * Valid until that thread's next control call. */
HALVO_API const char *halvo_sim_last_error(void);

#ifdef __cplusplus
}
#endif

#endif /* HALVO_SIM_H */
