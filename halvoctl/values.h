// Command-line values, checked before any board call: a value that is not
// what its argument takes throws UsageError naming the argument.
#ifndef HALVOCTL_VALUES_H
#define HALVOCTL_VALUES_H

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace halvoctl
{

class UsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A whole number written in decimal or as 0x hexadecimal, within min..max.
int64_t parseInteger(const std::string &text, int64_t min, int64_t max, const std::string &what);

// A decimal number of units ("41.5") in thousandths (41500), within
// min..max thousandths; at most three decimals.
int32_t parseThousandths(const std::string &text, int32_t min, int32_t max, const std::string &what);

// One of `words`; its index.
size_t parseChoice(const std::string &text, const std::vector<std::string> &words, const std::string &what);

// Bytes given one per argument (i2cset and i2ctransfer style: 0x12 or 18),
// from `min` to `max` of them.
std::string parseByteList(const std::vector<std::string> &texts, size_t min, size_t max, const std::string &what);

// Data for a storage: "0x" and an even number of hex digits for bytes,
// otherwise text, converted from UTF-8 to the board's Latin-1.
std::string parseData(const std::string &text, size_t max, const std::string &what);

} // namespace halvoctl

#endif
