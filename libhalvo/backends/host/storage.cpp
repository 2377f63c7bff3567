#include "storage.h"

#include "../../status.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace halvo::host
{

namespace
{

// The largest serial EEPROMs hold 256 KiB; 16 MiB leaves room for a flash
// part and keeps every sum below in range.
constexpr int64_t kMaxBytes = 16 * 1024 * 1024;

bool parseBytes(const std::string &text, int64_t &out)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::strtoll(text.c_str(), nullptr, 10);
    return out <= kMaxBytes;
}

void note(const std::string &line, const char *why)
{
    std::fprintf(stderr, "libhalvo: storage \"%s\" ignored (%s)\n", line.c_str(), why);
}

// sysfs hands binary attributes such as nvmem over one page at a time, so a
// transfer may take several calls; a 0 before the end is a short transfer.
template <typename Io> int32_t transfer(int fd, int64_t at, size_t length, Io io)
{
    size_t done = 0;
    while (done < length) {
        const ssize_t n = io(fd, done, length - done, static_cast<off_t>(at + static_cast<int64_t>(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return statusFromErrno(errno);
        if (n == 0)
            return fail(HALVO_CLASS_DEVICE, kNoDevice);
        done += static_cast<size_t>(n);
    }
    return HALVO_STATUS_OK;
}

} // namespace

Storage::Storage(const Root &root, const Settings &settings) : root_(root)
{
    for (const std::string &line : settings.storage) {
        std::istringstream fields(line);
        std::string path, offset, size, extra;
        Window w;
        int64_t bytes = 0;
        if (!(fields >> path >> offset >> size) || (fields >> extra) || path.front() != '/' ||
            path.find("..") != std::string::npos || !parseBytes(offset, w.offset) || !parseBytes(size, bytes) ||
            w.offset + bytes > kMaxBytes) {
            note(line, "not \"path offset size\"");
            continue;
        }
        w.path = path;
        w.size = static_cast<int32_t>(bytes);
        // Device nodes and some attributes report no size; nvmem files report
        // the EEPROM's.
        struct stat st {
        };
        if (::stat(root.path(path).c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
            w.offset + w.size > st.st_size) {
            note(line, "beyond the end of the file");
            continue;
        }
        windows_.push_back(w);
    }
}

Storage::~Storage() = default;

int32_t Storage::check(int32_t storage, int32_t offset, int32_t length) const
{
    if (windows_.empty())
        return unsupported();
    if (storage < 0 || static_cast<size_t>(storage) >= windows_.size())
        return badArgument(kOutOfRange);
    const Window &w = windows_[static_cast<size_t>(storage)];
    if (offset < 0 || length < 0 || int64_t(offset) + length > w.size)
        return badArgument(kOutOfRange);
    return HALVO_STATUS_OK;
}

int32_t Storage::getStorageCount(int32_t &count)
{
    count = static_cast<int32_t>(windows_.size());
    return HALVO_STATUS_OK;
}

int32_t Storage::getStorageSize(int32_t storage, int32_t &size)
{
    if (const int32_t status = check(storage, 0, 0); status != HALVO_STATUS_OK)
        return status;
    size = windows_[static_cast<size_t>(storage)].size;
    return HALVO_STATUS_OK;
}

int32_t Storage::storageRead(int32_t storage, int32_t offset, char *buffer, int32_t length)
{
    if (const int32_t status = check(storage, offset, length); status != HALVO_STATUS_OK)
        return status;
    const Window &w = windows_[static_cast<size_t>(storage)];
    const int fd = ::open(root_.path(w.path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return statusFromErrno(errno);
    const int32_t status =
        transfer(fd, w.offset + offset, static_cast<size_t>(length),
                 [buffer](int f, size_t done, size_t n, off_t at) { return ::pread(f, buffer + done, n, at); });
    ::close(fd);
    return status;
}

int32_t Storage::storageWrite(int32_t storage, int32_t offset, const char *bytes, int32_t length)
{
    if (const int32_t status = check(storage, offset, length); status != HALVO_STATUS_OK)
        return status;
    const Window &w = windows_[static_cast<size_t>(storage)];
    const int fd = ::open(root_.path(w.path).c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return statusFromErrno(errno);
    int32_t status =
        transfer(fd, w.offset + offset, static_cast<size_t>(length),
                 [bytes](int f, size_t done, size_t n, off_t at) { return ::pwrite(f, bytes + done, n, at); });
    // A file system may report a deferred write error only at close.
    if (::close(fd) != 0 && status == HALVO_STATUS_OK)
        status = statusFromErrno(errno);
    return status;
}

} // namespace halvo::host
