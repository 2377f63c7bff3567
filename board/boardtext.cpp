#include "boardtext.h"

#include <cstring>

QString boardText(const char *field, std::size_t fieldSize)
{
    const void *nul = std::memchr(field, '\0', fieldSize);
    const std::size_t length = nul ? static_cast<const char *>(nul) - field : fieldSize;
    return QString::fromLatin1(field, static_cast<int>(length));
}
