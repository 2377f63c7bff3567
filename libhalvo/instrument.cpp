#include "instrument.h"

#include "calls.h"

#include <cstdlib>
#include <fcntl.h>
#include <set>
#include <unistd.h>

namespace halvo
{

namespace
{

const std::set<std::string> &boardFunctions()
{
    static const std::set<std::string> names = {
#define HALVO_CALL_NAME(F, ...) #F,
        HALVO_CALLS(HALVO_CALL_NAME, &)
#undef HALVO_CALL_NAME
        // The calls that open and close handles, and those that need none.
        "HalvoLibInitialize",
        "HalvoLibUnInitialize",
        "HalvoGetSystemStateAmt",
        "HalvoSetSystemStateAmt",
    };
    return names;
}

} // namespace

Instrument::Instrument()
{
    // Opened once for the life of the process; lines are flushed one by one so
    // the file is complete even when the program under test crashes. A new
    // file is readable by its owner only: it shows what was written where.
    if (const char *path = std::getenv("HALVO_SIM_LOG"); path && *path) {
        const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0 && !(file_ = ::fdopen(fd, "a")))
            ::close(fd);
    }
}

Instrument::~Instrument()
{
    if (file_)
        std::fclose(file_);
}

bool Instrument::isBoardFunction(const std::string &name)
{
    return boardFunctions().count(name) != 0;
}

void Instrument::force(const std::string &function, int32_t status, int32_t calls)
{
    if (calls == 0)
        forced_.erase(function);
    else
        forced_[function] = Rule{status, calls};
}

void Instrument::clearForced()
{
    forced_.clear();
}

std::optional<int32_t> Instrument::takeForced(const char *function)
{
    auto it = forced_.find(function);
    if (it == forced_.end())
        return std::nullopt;
    const int32_t status = it->second.status;
    if (it->second.calls > 0 && --it->second.calls == 0)
        forced_.erase(it);
    return status;
}

void Instrument::log(std::string line)
{
    if (file_) {
        std::fputs(line.c_str(), file_);
        std::fputc('\n', file_);
        std::fflush(file_);
    }
    logBytes_ += line.size() + 1;
    lines_.push_back(std::move(line));
    while (logBytes_ > kMaxLogBytes) {
        logBytes_ -= lines_.front().size() + 1;
        lines_.pop_front();
    }
}

std::string Instrument::logText() const
{
    std::string text;
    text.reserve(logBytes_);
    for (const std::string &line : lines_) {
        text += line;
        text += '\n';
    }
    return text;
}

void Instrument::clearLog()
{
    lines_.clear();
    logBytes_ = 0;
}

} // namespace halvo
