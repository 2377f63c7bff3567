// Reading the fixed-size text fields of board records.
#ifndef BOARDTEXT_H
#define BOARDTEXT_H

#include <QString>
#include <cstddef>

// A record text runs up to its first NUL, but a library may fill the whole
// field without one: never read past the field.
QString boardText(const char *field, std::size_t fieldSize);

template <std::size_t N> QString boardText(const char (&field)[N])
{
    return boardText(field, N);
}

#endif // BOARDTEXT_H
