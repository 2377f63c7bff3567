// Small parsers shared by the library, its backends and halvo-agent, so that a
// port, a switch or a private file means the same wherever it is written.
#ifndef HALVO_TEXT_H
#define HALVO_TEXT_H

#include <optional>
#include <string>

namespace halvo
{

// `s` without the leading and trailing characters of `blanks`. Inline, for
// the header-only readers the tests' fakes share.
inline std::string trim(const std::string &s, const char *blanks = " \t\r\n")
{
    const size_t b = s.find_first_not_of(blanks);
    return b == std::string::npos ? "" : s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

// The value of a hexadecimal digit, -1 for any other character. Inline, as
// trim.
inline int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A TCP port as decimal digits only: 1 to 65535, and 0 as well when
// `zeroAllowed` (the system then picks one).
bool parsePort(const std::string &text, int &port, bool zeroAllowed = false);

// on, yes, true or 1 is true; off, no, false or 0 is false; anything else is
// no switch value at all.
std::optional<bool> parseSwitch(const std::string &text);

// Files holding secrets (tokens, key paths) are read only when nobody but
// their owner, the running user, may read or change them.
constexpr size_t kMaxPrivateFileBytes = 64 * 1024;
enum class PrivateFile { Read, Missing, Refused };
// Missing when nothing is at `path`; Refused, with `error` saying why, when
// the file cannot be read, is not a regular file, is readable or writable by
// group or others, belongs to another user or is larger than
// kMaxPrivateFileBytes.
PrivateFile readPrivateFile(const std::string &path, std::string &text, std::string &error);

} // namespace halvo

#endif
