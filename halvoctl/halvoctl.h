// halvoctl: every board call of libhalvo.so.1 from a shell. run() is the
// whole program but for the terminal (Console), so that tests can drive it in
// their own process, on the simulated board with its clock frozen and its
// call log recorded.
#ifndef HALVOCTL_H
#define HALVOCTL_H

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

namespace halvoctl
{

// Exit statuses. 1 to 6 are the error class of the failed board status
// (board/halvo.h), so a script can tell a lost board from a refused write.
enum Exit : int {
    ExitOk = 0,
    ExitConnection = 1,    // HALVO_CLASS_CONNECTION
    ExitArgument = 2,      // HALVO_CLASS_ARGUMENT: the board refused a value
    ExitUnsupported = 3,   // HALVO_CLASS_UNSUPPORTED
    ExitDevice = 4,        // HALVO_CLASS_DEVICE
    ExitHandle = 5,        // HALVO_CLASS_HANDLE (a closed handle: not expected)
    ExitAccess = 6,        // HALVO_CLASS_ACCESS
    ExitUsage = 64,        // bad command line; no board call was made
    ExitNotConfirmed = 65, // a hardware write not confirmed; nothing written
    ExitSoftware = 70,     // a status of no known class, or output failed
};

// What the program needs of the person or shell that started it.
class Console
{
public:
    virtual ~Console() = default;
    // Whether a person can answer questions (standard input and standard
    // error at a terminal).
    virtual bool interactive() = 0;
    // Asks a yes/no question; asked only when interactive().
    virtual bool confirm(const std::string &question) = 0;
    // Reads a line without echo; false when nothing could be read.
    virtual bool readSecret(const std::string &prompt, std::string &secret) = 0;
    // Between begin and end, wait() sleeps up to `time` and returns false
    // once the user interrupted (SIGINT or SIGTERM), at once if that happened
    // while the program was busy.
    virtual void beginInterruptible() = 0;
    virtual bool wait(std::chrono::milliseconds time) = 0;
    virtual void endInterruptible() = 0;
    // Seconds since the epoch, for the rows of `watch`.
    virtual double now() = 0;
};

// Runs one command line (without the program name); the exit status.
int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err, Console &console);

} // namespace halvoctl

#endif
