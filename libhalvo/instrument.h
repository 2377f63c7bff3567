// Call log and forced statuses: what a test sees of the calls made, and how it
// breaks them on purpose. Independent of the backend in use.
#ifndef HALVO_INSTRUMENT_H
#define HALVO_INSTRUMENT_H

#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <optional>
#include <string>

namespace halvo
{

class Instrument
{
public:
    // Long-running programs call the board every few hundred milliseconds;
    // the oldest lines are dropped so the log stays within this many bytes.
    static constexpr size_t kMaxLogBytes = 1 << 20;

    Instrument();
    ~Instrument();
    Instrument(const Instrument &) = delete;
    Instrument &operator=(const Instrument &) = delete;

    static bool isBoardFunction(const std::string &name);

    // calls > 0: the next `calls` calls; calls < 0: every call; 0 removes.
    void force(const std::string &function, int32_t status, int32_t calls);
    void clearForced();
    // The status forced on this call of `function`, consuming one use.
    std::optional<int32_t> takeForced(const char *function);

    // Recording costs a formatted line per call, so it is off unless a test
    // asks for it or $HALVO_SIM_LOG names a file.
    bool recording() const { return recording_ || file_; }
    void setRecording(bool on) { recording_ = on; }
    void log(std::string line);
    std::string logText() const;
    void clearLog();

private:
    struct Rule {
        int32_t status;
        int32_t calls;
    };
    std::map<std::string, Rule> forced_;
    std::deque<std::string> lines_;
    size_t logBytes_ = 0;
    bool recording_ = false;
    std::FILE *file_ = nullptr;
};

} // namespace halvo

#endif
