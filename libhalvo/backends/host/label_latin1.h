// Record texts are Latin-1; labels, names and file contents come as UTF-8.
#ifndef HALVO_HOST_LABEL_LATIN1_H
#define HALVO_HOST_LABEL_LATIN1_H

#include <string>

namespace halvo::host
{

// Characters up to U+00FF keep their value, everything else (and every byte
// that is not part of well-formed UTF-8) becomes '?'.
inline std::string latin1FromUtf8(const std::string &utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        size_t length = c < 0x80 ? 1 : (c & 0xe0) == 0xc0 ? 2 : (c & 0xf0) == 0xe0 ? 3 : (c & 0xf8) == 0xf0 ? 4 : 0;
        bool wellFormed = length > 0 && i + length <= utf8.size();
        unsigned code = length == 1 ? c : c & (0x7fu >> length);
        for (size_t k = 1; wellFormed && k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            wellFormed = (next & 0xc0) == 0x80;
            code = (code << 6) | (next & 0x3fu);
        }
        if (!wellFormed) {
            out += '?';
            ++i;
            continue;
        }
        // An overlong form of an ASCII character is no character at all.
        const bool fits = code <= 0xff && (length == 1 || code >= 0x80);
        out += fits ? static_cast<char>(code) : '?';
        i += length;
    }
    return out;
}

} // namespace halvo::host

#endif
