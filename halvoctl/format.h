// Plain-text output: values in the units the window shows them, and a
// layout whose labels and table columns line up.
#ifndef HALVOCTL_FORMAT_H
#define HALVOCTL_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace halvoctl
{

// A board text (Latin-1, up to its first NUL or the end of its field) as UTF-8.
std::string boardText(const char *field, size_t size);
template <size_t N> std::string boardText(const char (&field)[N])
{
    return boardText(field, N);
}

// Columns a UTF-8 text takes on a terminal (every character one column).
size_t textWidth(const std::string &text);

std::string sizeText(uint32_t megabytes);          // "1.50 GB", "1024.00 MB"
std::string batteryTimeText(int32_t seconds);      // "1 h 2 min 5 s"
std::string upTimeText(int32_t seconds);           // "3 hours 25 min 0 sec"
std::string celsiusText(int32_t milliCelsius);     // "43.2 °C"
std::string voltsText(int32_t milliVolts);         // "3.312 V"
std::string decimalText(double value);             // at most 6 significant digits
std::string hexText(unsigned value, int digits);   // "0x05" for (5, 2)
std::string hexBytes(const std::string &bytes);    // "48656c6c6f"
std::string hexByteList(const std::string &bytes); // "0x48 0x65 0x6c"
// Rows of 16 bytes: offset, the bytes in hex, printable ASCII.
std::vector<std::string> hexDump(const std::string &bytes, int32_t firstOffset);
// A CSV field, quoted when it has to be.
std::string csvField(const std::string &text);

// Sections of aligned "label  value" rows, tables and plain lines. Labels
// line up across the whole output; each table's columns line up.
class Layout
{
public:
    void heading(const std::string &text);
    void row(const std::string &label, const std::string &value);
    // The first row holds the column titles.
    void table(std::vector<std::vector<std::string>> rows);
    void line(const std::string &text);
    std::string text() const;
    bool empty() const { return items_.empty(); }

private:
    struct Item {
        enum Kind { Heading, Row, Table, Line } kind;
        std::vector<std::vector<std::string>> cells;
    };
    std::vector<Item> items_;
};

} // namespace halvoctl

#endif
