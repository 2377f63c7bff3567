// The library's settings: which board handle 0 is, and how the host backend
// maps this machine onto the board API.
//
// Each key may be given in the settings file (key = value lines, '#' starts a
// comment); a key that may repeat collects every line in order. The board
// choice may also come from the environment, which wins over the file:
//   HALVO_BOARD       host, demo or the path of a JSON board description
//   HALVO_SIM_BOARD   older spelling of HALVO_BOARD=<path>
//   HALVO_SYSROOT     root of every sysfs, procfs, /dev, /etc and /var path
//                     the host backend uses (default /); tests point it at
//                     fixture trees
//   HALVO_CONF        the settings file (default <sysroot>/etc/halvo/halvo.conf)
#ifndef HALVO_SETTINGS_H
#define HALVO_SETTINGS_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace halvo
{

struct Settings {
    enum class Board { Host, Demo, File };
    Board board = Board::Host;
    std::string boardFile; // for Board::File
    std::string sysroot = "/";
    std::string file; // the settings file read, "" when none
    // Every key of the file, values trimmed, in file order.
    std::map<std::string, std::vector<std::string>> values;

    // The last value of `key`, or `fallback`.
    std::string value(const std::string &key, const std::string &fallback = "") const;
    const std::vector<std::string> &all(const std::string &key) const;
    // The whole number `key` holds, within [min, max]; `fallback` when it is
    // unset or not a whole number.
    int64_t number(const std::string &key, int64_t fallback, int64_t min, int64_t max) const;
};

// Parses settings text. Lines without '=' and empty keys are ignored, so a
// damaged line never stops the library from starting.
std::map<std::string, std::vector<std::string>> parseSettings(const std::string &text);

// Reads the environment and the settings file. Unreadable or oversized files
// count as empty; a note goes to stderr.
Settings loadSettings();

} // namespace halvo

#endif
