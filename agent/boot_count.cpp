#include "boot_count.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace halvo::agent
{

std::string bootCountPath(const std::string &root)
{
    return (root == "/" ? std::string() : root) + "/var/lib/halvo/boot-count";
}

bool advanceBootCount(const std::string &root, int64_t &count, std::string &error)
{
    const std::string path = bootCountPath(root);
    const std::string dir = path.substr(0, path.rfind('/'));
    count = 0;
    if (FILE *file = std::fopen(path.c_str(), "re")) {
        char text[32] = {};
        const size_t n = std::fread(text, 1, sizeof text - 1, file);
        std::fclose(file);
        std::string value(text, n);
        while (!value.empty() && (value.back() == '\n' || value.back() == ' '))
            value.pop_back();
        if (value.empty() || value.size() > 18 || value.find_first_not_of("0123456789") != std::string::npos) {
            error = path + " does not hold a count";
            return false;
        }
        count = std::stoll(value);
    } else if (errno != ENOENT) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    ++count;

    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = temporary + ": " + std::strerror(errno);
        return false;
    }
    const std::string text = std::to_string(count) + "\n";
    // Every user's board library reads it, whatever the unit's umask.
    const bool written = ::fchmod(fd, 0644) == 0 &&
                         ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
    const int saved = errno;
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = path + ": " + std::strerror(written ? errno : saved);
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself must reach the disk before the boot goes on.
    if (const int d = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); d >= 0) {
        ::fsync(d);
        ::close(d);
    }
    return true;
}

} // namespace halvo::agent
