#include "text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halvo
{

bool parsePort(const std::string &text, int &port, bool zeroAllowed)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const long p = std::strtol(text.c_str(), nullptr, 10);
    if (p > 65535 || (p == 0 && !zeroAllowed))
        return false;
    port = static_cast<int>(p);
    return true;
}

std::optional<bool> parseSwitch(const std::string &text)
{
    if (text == "on" || text == "yes" || text == "true" || text == "1")
        return true;
    if (text == "off" || text == "no" || text == "false" || text == "0")
        return false;
    return std::nullopt;
}

PrivateFile readPrivateFile(const std::string &path, std::string &text, std::string &error)
{
    // Checked on the open file, so that what is checked is what is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return PrivateFile::Missing;
        error = path + ": cannot be read (" + std::strerror(errno) + ")";
        return PrivateFile::Refused;
    }
    struct stat st {
    };
    std::string why;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        why = "not a regular file";
    else if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        why = "other users may read or change it (chmod 600)";
    else if (st.st_uid != ::geteuid())
        why = "owned by another user (it must be the running user's own file)";
    else if (static_cast<size_t>(st.st_size) > kMaxPrivateFileBytes)
        why = "larger than 64 KiB";
    std::string read;
    char buffer[4096];
    ssize_t n = 0;
    while (why.empty() && (n = ::read(fd, buffer, sizeof buffer)) > 0 && read.size() <= kMaxPrivateFileBytes)
        read.append(buffer, static_cast<size_t>(n));
    if (why.empty() && n < 0)
        why = std::string("cannot be read (") + std::strerror(errno) + ")";
    else if (why.empty() && read.size() > kMaxPrivateFileBytes)
        why = "larger than 64 KiB"; // it grew while being read
    ::close(fd);
    if (!why.empty()) {
        error = path + ": " + why;
        return PrivateFile::Refused;
    }
    text = std::move(read);
    return PrivateFile::Read;
}

} // namespace halvo
