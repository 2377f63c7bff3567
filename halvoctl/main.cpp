// halvoctl [--board ADDRESS] [--json] [-y] COMMAND ... (halvoctl --help)
#include "halvoctl.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace
{

// Questions go to standard error and answers come from standard input, as
// i2cset asks them, so that standard output stays the command's data.
class TerminalConsole final : public halvoctl::Console
{
public:
    bool interactive() override { return isatty(STDIN_FILENO) && isatty(STDERR_FILENO); }

    bool confirm(const std::string &question) override
    {
        std::fprintf(stderr, "%s [y/N] ", question.c_str());
        std::fflush(stderr);
        std::string answer;
        return readLine(answer) && (answer == "y" || answer == "Y" || answer == "yes");
    }

    bool readSecret(const std::string &prompt, std::string &secret) override
    {
        termios saved{};
        if (tcgetattr(STDIN_FILENO, &saved) != 0)
            return false;
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        std::fprintf(stderr, "%s", prompt.c_str());
        std::fflush(stderr);
        if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) != 0)
            return false;
        const bool read = readLine(secret);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        return read;
    }

    // SIGINT and SIGTERM are held while the program works and taken in
    // wait(), so an interruption never cuts a board call (or a CSV row) short.
    void beginInterruptible() override
    {
        sigemptyset(&stops_);
        sigaddset(&stops_, SIGINT);
        sigaddset(&stops_, SIGTERM);
        sigprocmask(SIG_BLOCK, &stops_, &saved_);
    }

    bool wait(std::chrono::milliseconds time) override
    {
        const auto ms = time.count();
        timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
        // EAGAIN: the time is up. EINTR (another signal): the time left is
        // not reported, so the wait ends early rather than late.
        const int signal = sigtimedwait(&stops_, nullptr, &left);
        return signal != SIGINT && signal != SIGTERM;
    }

    void endInterruptible() override { sigprocmask(SIG_SETMASK, &saved_, nullptr); }

    double now() override
    {
        timespec t{};
        clock_gettime(CLOCK_REALTIME, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
    }

private:
    static bool readLine(std::string &line)
    {
        line.clear();
        for (;;) {
            char c = 0;
            const ssize_t n = ::read(STDIN_FILENO, &c, 1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return !line.empty();
            if (c == '\n')
                return true;
            line += c;
        }
    }

    sigset_t stops_{}, saved_{};
};

} // namespace

int main(int argc, char **argv)
{
    // Output goes through std::cout only; no C stdio mixing on stdout.
    std::ios::sync_with_stdio(false);
    TerminalConsole console;
    return halvoctl::run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr, console);
}
