#include "values.h"

#include "libhalvo/remote/wire.h"
#include "libhalvo/text.h"

#include <cstdio>

namespace halvoctl
{

namespace
{

// At most 64 characters of what was typed, for a message.
std::string shown(const std::string &text)
{
    return "\"" + (text.size() > 64 ? text.substr(0, 64) + "..." : text) + "\"";
}

bool isHexPrefix(const std::string &text)
{
    return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

} // namespace

int64_t parseInteger(const std::string &text, int64_t min, int64_t max, const std::string &what)
{
    const bool negative = !text.empty() && text[0] == '-';
    const std::string digits = negative ? text.substr(1) : text;
    const bool hex = isHexPrefix(digits);
    const std::string body = hex ? digits.substr(2) : digits;
    const int base = hex ? 16 : 10;
    // Twelve digits are far beyond any range here, and cannot overflow.
    bool ok = !body.empty() && body.size() <= 12;
    int64_t value = 0;
    for (char c : body) {
        const int d = halvo::hexDigit(c);
        if (d < 0 || d >= base) {
            ok = false;
            break;
        }
        value = value * base + d;
    }
    if (!ok)
        throw UsageError(what + ": " + shown(text) + " is not a number");
    if (negative)
        value = -value;
    if (value < min || value > max) {
        const bool asHex = hex && min >= 0;
        char range[64];
        std::snprintf(range, sizeof range, asHex ? "0x%llx to 0x%llx" : "%lld to %lld", static_cast<long long>(min),
                      static_cast<long long>(max));
        throw UsageError(what + ": " + shown(text) + " is outside " + range);
    }
    return value;
}

int32_t parseThousandths(const std::string &text, int32_t min, int32_t max, const std::string &what)
{
    const size_t dot = text.find('.');
    const std::string whole = text.substr(0, dot);
    const std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
    const bool digitsOnly = whole.find_first_not_of("0123456789") == std::string::npos &&
                            fraction.find_first_not_of("0123456789") == std::string::npos;
    if (whole.empty() || whole.size() > 7 || !digitsOnly || fraction.size() > 3 ||
        (dot != std::string::npos && fraction.empty()))
        throw UsageError(what + ": " + shown(text) + " is not a number with at most three decimals");
    int64_t value = std::stoll(whole) * 1000;
    int64_t scale = 100;
    for (char c : fraction) {
        value += (c - '0') * scale;
        scale /= 10;
    }
    if (value < min || value > max)
        throw UsageError(what + ": " + shown(text) + " is outside " + std::to_string(min / 1000) + " to " +
                         std::to_string(max / 1000));
    return static_cast<int32_t>(value);
}

size_t parseChoice(const std::string &text, const std::vector<std::string> &words, const std::string &what)
{
    std::string list;
    for (size_t i = 0; i < words.size(); ++i) {
        if (text == words[i])
            return i;
        list += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
    }
    throw UsageError(what + ": " + shown(text) + " is not " + list);
}

std::string parseByteList(const std::vector<std::string> &texts, size_t min, size_t max, const std::string &what)
{
    if (texts.size() < min || texts.size() > max)
        throw UsageError(what + ": " + std::to_string(min) + " to " + std::to_string(max) + " bytes, " +
                         std::to_string(texts.size()) + " given");
    std::string bytes;
    for (const std::string &text : texts)
        bytes += static_cast<char>(parseInteger(text, 0, 0xff, what));
    return bytes;
}

std::string parseData(const std::string &text, size_t max, const std::string &what)
{
    std::string bytes;
    if (isHexPrefix(text)) {
        const std::string hex = text.substr(2);
        if (hex.empty() || hex.size() % 2 != 0 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            throw UsageError(what + ": " + shown(text) + " is not 0x and an even number of hex digits");
        for (size_t i = 0; i < hex.size(); i += 2)
            bytes += static_cast<char>(halvo::hexDigit(hex[i]) << 4 | halvo::hexDigit(hex[i + 1]));
    } else {
        try {
            bytes = halvo::remote::latin1FromUtf8(text);
        } catch (const halvo::remote::WireError &) {
            throw UsageError(what + ": " + shown(text) + " has characters the board's Latin-1 cannot hold");
        }
    }
    if (bytes.empty() || bytes.size() > max)
        throw UsageError(what + ": 1 to " + std::to_string(max) + " bytes, " + std::to_string(bytes.size()) + " given");
    return bytes;
}

} // namespace halvoctl
