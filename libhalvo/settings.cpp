#include "settings.h"

#include <algorithm>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halvo
{

namespace
{

constexpr size_t kMaxSettingsBytes = 64 * 1024;

std::string trim(const std::string &s)
{
    const size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return "";
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

std::string env(const char *name)
{
    const char *v = std::getenv(name);
    return v ? v : "";
}

// "" when the file is missing; a note on stderr when it exists but cannot be
// used, since a silently ignored settings file is hard to diagnose.
std::string readSettingsFile(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT)
            std::fprintf(stderr, "libhalvo: %s not read (%s)\n", path.c_str(), std::strerror(errno));
        return "";
    }
    std::string text;
    struct stat st {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<size_t>(st.st_size) > kMaxSettingsBytes) {
        std::fprintf(stderr, "libhalvo: %s not read (not a regular file of at most 64 KiB)\n", path.c_str());
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
    if (choice == "host") {
        s.board = Settings::Board::Host;
    } else if (choice == "demo") {
        s.board = Settings::Board::Demo;
    } else {
        s.board = Settings::Board::File;
        s.boardFile = choice;
    }
}

} // namespace

std::string Settings::value(const std::string &key, const std::string &fallback) const
{
    const auto it = values.find(key);
    return it == values.end() || it->second.empty() ? fallback : it->second.back();
}

int64_t Settings::number(const std::string &key, int64_t fallback, int64_t min, int64_t max) const
{
    const std::string text = value(key);
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return fallback;
    return std::clamp<int64_t>(std::strtoll(text.c_str(), nullptr, 10), min, max);
}

const std::vector<std::string> &Settings::all(const std::string &key) const
{
    static const std::vector<std::string> none;
    const auto it = values.find(key);
    return it == values.end() ? none : it->second;
}

std::map<std::string, std::vector<std::string>> parseSettings(const std::string &text)
{
    std::map<std::string, std::vector<std::string>> values;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (const size_t hash = line.find('#'); hash != std::string::npos)
            line.resize(hash);
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = trim(line.substr(0, eq));
        if (!key.empty())
            values[key].push_back(trim(line.substr(eq + 1)));
    }
    return values;
}

Settings loadSettings()
{
    Settings s;
    if (const std::string root = env("HALVO_SYSROOT"); !root.empty())
        s.sysroot = root;
    std::string path = env("HALVO_CONF");
    if (path.empty())
        path = (s.sysroot == "/" ? std::string() : s.sysroot) + "/etc/halvo/halvo.conf";
    const std::string text = readSettingsFile(path);
    if (!text.empty())
        s.file = path;
    s.values = parseSettings(text);

    if (const std::string board = env("HALVO_BOARD"); !board.empty())
        choose(s, board);
    else if (const std::string file = env("HALVO_SIM_BOARD"); !file.empty())
        choose(s, file);
    else if (const std::string board = s.value("board"); !board.empty())
        choose(s, board);
    return s;
}

} // namespace halvo
