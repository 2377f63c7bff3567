#include "settings.h"

#include "text.h"

#include <algorithm>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace halvo
{

namespace
{

constexpr size_t kMaxSettingsBytes = 64 * 1024;

// The numeric keys, each with its range; the default is the struct's.
struct Number {
    const char *key;
    int64_t Settings::*field;
    int64_t min, max;
};
const Number kNumbers[] = {
    {"remote_connect_timeout_ms", &Settings::remoteConnectTimeoutMs, 0, 60000},
    {"remote_call_timeout_ms", &Settings::remoteCallTimeoutMs, 0, 60000},
    {"remote_snapshot_ms", &Settings::remoteSnapshotMs, 0, 10000},
    {"amt_connect_timeout_ms", &Settings::amtConnectTimeoutMs, 1, 600000},
    {"amt_timeout_ms", &Settings::amtTimeoutMs, 1, 600000},
};

std::string env(const char *name)
{
    const char *v = std::getenv(name);
    return v ? v : "";
}

// "" when the file is missing; a note when it exists but cannot be used,
// since a silently ignored settings file is hard to diagnose.
std::string readSettingsFile(const std::string &path, std::vector<std::string> &notes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT)
            notes.push_back(path + " not read (" + std::strerror(errno) + ")");
        return "";
    }
    std::string text;
    struct stat st {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<size_t>(st.st_size) > kMaxSettingsBytes) {
        notes.push_back(path + " not read (not a regular file of at most 64 KiB)");
    } else {
        char buffer[4096];
        ssize_t n;
        while (text.size() <= kMaxSettingsBytes && (n = ::read(fd, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<size_t>(n));
        if (text.size() > kMaxSettingsBytes)
            text.clear();
    }
    ::close(fd);
    return text;
}

void choose(Settings &s, const std::string &choice)
{
    s.boardFile.clear();
    if (choice == "host" || choice.empty()) {
        s.board = Settings::Board::Host;
    } else if (choice == "demo") {
        s.board = Settings::Board::Demo;
    } else {
        s.board = Settings::Board::File;
        s.boardFile = choice;
    }
}

// One line applied to `s`: false for a key the library does not know.
// `problem` says why a known key's value was not taken as given. An empty
// value gives the key its default back.
bool apply(Settings &s, const std::string &key, const std::string &value, std::string &problem)
{
    static const Settings defaults;
    for (const Number &n : kNumbers) {
        if (key != n.key)
            continue;
        int64_t &field = s.*n.field;
        field = defaults.*n.field;
        const std::string range = std::to_string(n.min) + " to " + std::to_string(n.max) + ", ";
        if (value.empty())
            return true;
        if (value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos) {
            problem = "not a whole number from " + range + std::to_string(field) + " used";
            return true;
        }
        const int64_t v = std::strtoll(value.c_str(), nullptr, 10);
        field = std::clamp(v, n.min, n.max);
        if (field != v)
            problem = "outside " + range + std::to_string(field) + " used";
        return true;
    }
    if (key == "board") {
        choose(s, value);
    } else if (key == "cpu_temp") {
        s.cpuTemp = value;
    } else if (key == "cpu_fan") {
        s.cpuFan = value;
    } else if (key == "gpio") {
        s.gpio.push_back(value);
    } else if (key == "storage") {
        s.storage.push_back(value);
    } else if (key == "watchdog") {
        s.watchdog = value;
    } else if (key == "amt_ca") {
        s.amtCa = value;
    } else if (key == "amt_tls") {
        const std::optional<bool> on = parseSwitch(value);
        s.amtTls = on.value_or(false);
        if (!on && !value.empty())
            problem = "not on or off, off used";
    } else if (key == "amt_port") {
        s.amtPort = 0;
        if (!value.empty() && !parsePort(value, s.amtPort)) {
            s.amtPort = -1;
            problem = "not a port from 1 to 65535, so no AMT call is made";
        }
    } else {
        return false;
    }
    return true;
}

// At most 64 characters of a key or value, for a note.
std::string shown(const std::string &text)
{
    return text.size() > 64 ? text.substr(0, 64) + "..." : text;
}

void report(const std::vector<std::string> &notes)
{
    static std::mutex mutex;
    static std::set<std::string> reported;
    std::lock_guard<std::mutex> lock(mutex);
    for (const std::string &note : notes)
        if (reported.insert(note).second)
            std::fprintf(stderr, "libhalvo: %s\n", note.c_str());
}

} // namespace

Settings parseSettings(const std::string &text, const std::string &file, std::vector<std::string> &notes)
{
    Settings s;
    size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        line = trim(line.substr(0, line.find('#')));
        if (line.empty())
            continue;
        const std::string where = " in " + file + " (line " + std::to_string(number) + ")";
        const size_t eq = line.find('=');
        const std::string key = trim(line.substr(0, eq));
        const std::string value = eq == std::string::npos ? "" : trim(line.substr(eq + 1));
        std::string problem;
        if (eq == std::string::npos || key.empty())
            notes.push_back("not a \"key = value\" line" + where + ", ignored");
        else if (!apply(s, key, value, problem))
            notes.push_back("unknown setting \"" + shown(key) + "\"" + where + " ignored");
        else if (!problem.empty())
            notes.push_back(key + " = \"" + shown(value) + "\"" + where + ": " + problem);
    }
    return s;
}

Settings loadSettings()
{
    std::string sysroot = "/";
    if (const std::string root = env("HALVO_SYSROOT"); !root.empty())
        sysroot = root;
    std::string path = env("HALVO_CONF");
    if (path.empty())
        path = (sysroot == "/" ? std::string() : sysroot) + "/etc/halvo/halvo.conf";
    std::vector<std::string> notes;
    const std::string text = readSettingsFile(path, notes);
    Settings s = parseSettings(text, path, notes);
    report(notes);
    s.sysroot = sysroot;
    if (!text.empty())
        s.file = path;

    if (const std::string board = env("HALVO_BOARD"); !board.empty())
        choose(s, board);
    else if (const std::string file = env("HALVO_SIM_BOARD"); !file.empty())
        choose(s, file);
    return s;
}

} // namespace halvo
