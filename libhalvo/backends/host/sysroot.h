// Files of the machine, all reached below one root so that tests can stand a
// fixture tree in for /sys, /proc, /dev, /etc and /var.
//
// Status rule for this file and the host backend: a file or directory that does
// not exist means the machine lacks the function (unsupported class);
// permission refused is the access class; any other failure, or content that
// does not parse, is the device class.
#ifndef HALVO_HOST_SYSROOT_H
#define HALVO_HOST_SYSROOT_H

#include <cstdint>
#include <string>
#include <vector>

namespace halvo::host
{

// The status for a failed system call's errno.
int32_t statusFromErrno(int error);

class Root
{
public:
    explicit Root(std::string root = "/");

    // `path` is absolute as on the machine ("/sys/class/..."); the result is
    // that path below the root.
    std::string path(const std::string &path) const;
    const std::string &root() const { return root_; }

    // Reads at most `limit` bytes. sysfs attributes are a page at most; the
    // limit keeps a fixture or a misbehaving driver from growing memory.
    int32_t read(const std::string &path, std::string &out, size_t limit = 64 * 1024) const;
    // The first line, trimmed of surrounding white space.
    int32_t readLine(const std::string &path, std::string &out) const;
    // A decimal integer (the whole first line); device class when it is not
    // one or does not fit.
    int32_t readInt(const std::string &path, int64_t &out) const;
    // The line, or `fallback` when it cannot be read.
    std::string text(const std::string &path, const std::string &fallback = "") const;
    // Writes `text` in one write(2), as sysfs attributes expect. The file must
    // exist: the host backend never creates files.
    int32_t write(const std::string &path, const std::string &text) const;

    bool exists(const std::string &path) const;
    // Entry names of a directory, sorted, without "." and ".."; empty when it
    // cannot be read.
    std::vector<std::string> list(const std::string &path) const;
    // The last component of the symbolic link's target, "" if not a link.
    std::string linkName(const std::string &path) const;

private:
    std::string root_;
};

// Saturating conversions into the records' int32 fields.
int32_t clampInt32(int64_t v);

} // namespace halvo::host

#endif
