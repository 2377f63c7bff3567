#include "format.h"

#include "libhalvo/remote/wire.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace halvoctl
{

std::string boardText(const char *field, size_t size)
{
    return halvo::remote::utf8FromLatin1(field, strnlen(field, size));
}

size_t textWidth(const std::string &text)
{
    return static_cast<size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xc0) != 0x80; }));
}

namespace
{

std::string format(const char *pattern, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string pad(const std::string &text, size_t width)
{
    const size_t w = textWidth(text);
    return w >= width ? text : text + std::string(width - w, ' ');
}

} // namespace

std::string sizeText(uint32_t megabytes)
{
    if (megabytes > 1024)
        return format("%.2f GB", megabytes / 1024.0);
    return format("%.2f MB", megabytes);
}

std::string batteryTimeText(int32_t seconds)
{
    const int32_t hours = seconds / 3600;
    const int32_t minutes = (seconds - hours * 3600) / 60;
    return std::to_string(hours) + " h " + std::to_string(minutes) + " min " +
           std::to_string(seconds - hours * 3600 - minutes * 60) + " s";
}

std::string upTimeText(int32_t seconds)
{
    const int32_t days = seconds / 86400;
    int32_t rest = seconds - days * 86400;
    const int32_t hours = rest / 3600;
    rest -= hours * 3600;
    const int32_t minutes = rest / 60;
    rest -= minutes * 60;
    std::string text;
    if (days != 0)
        text += std::to_string(days) + " days ";
    if (hours != 0)
        text += std::to_string(hours) + " hours ";
    return text + std::to_string(minutes) + " min " + std::to_string(rest) + " sec";
}

std::string celsiusText(int32_t milliCelsius)
{
    return format("%.1f \u00b0C", milliCelsius / 1000.0);
}

std::string voltsText(int32_t milliVolts)
{
    return format("%.3f V", milliVolts / 1000.0);
}

std::string decimalText(double value)
{
    return format("%.6g", value);
}

std::string hexText(unsigned value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*x", digits, value);
    return text;
}

std::string hexBytes(const std::string &bytes)
{
    return halvo::remote::hexFromBytes(bytes.data(), bytes.size());
}

std::string hexByteList(const std::string &bytes)
{
    std::string text;
    for (char c : bytes)
        text += (text.empty() ? "" : " ") + hexText(static_cast<unsigned char>(c), 2);
    return text;
}

std::vector<std::string> hexDump(const std::string &bytes, int32_t firstOffset)
{
    std::vector<std::string> rows;
    for (size_t start = 0; start < bytes.size(); start += 16) {
        char offset[16];
        std::snprintf(offset, sizeof offset, "%04x ", static_cast<unsigned>(firstOffset + start));
        std::string hex = offset, ascii;
        for (size_t i = start; i < start + 16; ++i) {
            if (i >= bytes.size()) {
                hex += "   ";
                continue;
            }
            const auto b = static_cast<unsigned char>(bytes[i]);
            char cell[4];
            std::snprintf(cell, sizeof cell, " %02x", b);
            hex += cell;
            ascii += b >= 0x20 && b < 0x7f ? static_cast<char>(b) : '.';
        }
        rows.push_back(hex + "  " + ascii);
    }
    return rows;
}

std::string csvField(const std::string &text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

void Layout::heading(const std::string &text)
{
    items_.push_back({Item::Heading, {{text}}});
}

void Layout::row(const std::string &label, const std::string &value)
{
    items_.push_back({Item::Row, {{label, value}}});
}

void Layout::table(std::vector<std::vector<std::string>> rows)
{
    items_.push_back({Item::Table, std::move(rows)});
}

void Layout::line(const std::string &text)
{
    items_.push_back({Item::Line, {{text}}});
}

std::string Layout::text() const
{
    size_t labelWidth = 0;
    for (const Item &item : items_)
        if (item.kind == Item::Row)
            labelWidth = std::max(labelWidth, textWidth(item.cells[0][0]));

    std::string out;
    for (const Item &item : items_) {
        switch (item.kind) {
        case Item::Heading:
        case Item::Line:
            out += item.cells[0][0] + "\n";
            break;
        case Item::Row:
            out += "  " + pad(item.cells[0][0], labelWidth) + "  " + item.cells[0][1] + "\n";
            break;
        case Item::Table: {
            std::vector<size_t> widths;
            for (const auto &cells : item.cells) {
                widths.resize(std::max(widths.size(), cells.size()));
                for (size_t c = 0; c < cells.size(); ++c)
                    widths[c] = std::max(widths[c], textWidth(cells[c]));
            }
            for (const auto &cells : item.cells) {
                std::string line = " ";
                for (size_t c = 0; c < cells.size(); ++c)
                    line += " " + (c + 1 == cells.size() ? cells[c] : pad(cells[c], widths[c]) + " ");
                while (!line.empty() && line.back() == ' ')
                    line.pop_back();
                out += line + "\n";
            }
            break;
        }
        }
    }
    return out;
}

} // namespace halvoctl
