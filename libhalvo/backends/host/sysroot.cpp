#include "sysroot.h"

#include "../../status.h"
#include "../../text.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace halvo::host
{

int32_t statusFromErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
    case EOPNOTSUPP:
        return fail(HALVO_CLASS_UNSUPPORTED, kNotProvided);
    case EACCES:
    case EPERM:
    case EROFS:
        return fail(HALVO_CLASS_ACCESS, kPermission);
    case EBUSY:
        return fail(HALVO_CLASS_DEVICE, kBusy);
    case EINVAL:
    case ERANGE:
        return fail(HALVO_CLASS_DEVICE, kBadValue);
    default:
        return fail(HALVO_CLASS_DEVICE, kNoDevice);
    }
}

int32_t clampInt32(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}

Root::Root(std::string root) : root_(std::move(root))
{
    while (root_.size() > 1 && root_.back() == '/')
        root_.pop_back();
    if (root_ == "/")
        root_.clear();
}

std::string Root::path(const std::string &path) const
{
    return root_ + path;
}

int32_t Root::read(const std::string &p, std::string &out, size_t limit) const
{
    // O_NONBLOCK: a FIFO planted in a fixture, or a device node, must not hang
    // a refresh.
    const int fd = ::open(path(p).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return statusFromErrno(errno);
    out.clear();
    char buffer[4096];
    int32_t status = HALVO_STATUS_OK;
    while (out.size() < limit) {
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, limit - out.size()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            status = statusFromErrno(errno);
            break;
        }
        if (n == 0)
            break;
        out.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return status;
}

int32_t Root::readLine(const std::string &p, std::string &out) const
{
    std::string text;
    const int32_t status = read(p, text, 4096);
    if (status != HALVO_STATUS_OK)
        return status;
    text = text.substr(0, text.find('\n'));
    out = trim(text);
    return HALVO_STATUS_OK;
}

int32_t Root::readInt(const std::string &p, int64_t &out) const
{
    std::string line;
    if (const int32_t status = readLine(p, line); status != HALVO_STATUS_OK)
        return status;
    if (line.empty())
        return fail(HALVO_CLASS_DEVICE, kBadValue);
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(line.c_str(), &end, 10);
    if (errno != 0 || *end != '\0')
        return fail(HALVO_CLASS_DEVICE, kBadValue);
    out = v;
    return HALVO_STATUS_OK;
}

std::string Root::text(const std::string &p, const std::string &fallback) const
{
    std::string line;
    return readLine(p, line) == HALVO_STATUS_OK ? line : fallback;
}

int32_t Root::write(const std::string &p, const std::string &text) const
{
    const int fd = ::open(path(p).c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_TRUNC);
    if (fd < 0)
        return statusFromErrno(errno);
    ssize_t n;
    do {
        n = ::write(fd, text.data(), text.size());
    } while (n < 0 && errno == EINTR);
    const int error = n < 0 ? errno : 0;
    // sysfs reports a refused value at write or at close.
    const bool closed = ::close(fd) == 0;
    if (n < 0)
        return statusFromErrno(error);
    if (!closed)
        return statusFromErrno(errno);
    return static_cast<size_t>(n) == text.size() ? HALVO_STATUS_OK : fail(HALVO_CLASS_DEVICE, kNoDevice);
}

bool Root::exists(const std::string &p) const
{
    return ::access(path(p).c_str(), F_OK) == 0;
}

std::vector<std::string> Root::list(const std::string &p) const
{
    std::vector<std::string> names;
    DIR *dir = ::opendir(path(p).c_str());
    if (!dir)
        return names;
    while (const dirent *e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string Root::linkName(const std::string &p) const
{
    char target[4096];
    const ssize_t n = ::readlink(path(p).c_str(), target, sizeof target - 1);
    if (n <= 0)
        return "";
    const std::string t(target, static_cast<size_t>(n));
    return t.substr(t.find_last_of('/') + 1);
}

} // namespace halvo::host
