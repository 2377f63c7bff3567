// The library's settings: which board handle 0 is, how the host backend maps
// this machine onto the board API, and the limits of remote and AMT calls.
//
// Each key may be given in the settings file (key = value lines, '#' starts a
// comment); a key that may repeat collects every line in order, any other
// takes its last line. The board choice may also come from the environment,
// which wins over the file:
//   HALVO_BOARD       host, demo or the path of a JSON board description
//   HALVO_SIM_BOARD   older spelling of HALVO_BOARD=<path>
//   HALVO_SYSROOT     root of every sysfs, procfs, /dev, /etc and /var path
//                     the host backend uses (default /); tests point it at
//                     fixture trees
//   HALVO_CONF        the settings file (default <sysroot>/etc/halvo/halvo.conf)
#ifndef HALVO_SETTINGS_H
#define HALVO_SETTINGS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace halvo
{

struct Settings {
    enum class Board { Host, Demo, File };
    Board board = Board::Host; // board
    std::string boardFile;     // for Board::File
    std::string sysroot = "/"; // HALVO_SYSROOT only
    std::string file;          // the settings file read, "" when none

    // cpu_temp and cpu_fan as chip/feature; given, even empty, they replace
    // the search for the CPU's sensor and fan.
    std::optional<std::string> cpuTemp, cpuFan;
    std::vector<std::string> gpio, storage; // every line of each
    std::string watchdog;                   // "" for the lowest node

    int64_t remoteConnectTimeoutMs = 2000; // 0..60000
    int64_t remoteCallTimeoutMs = 2000;    // 0..60000
    int64_t remoteSnapshotMs = 1000;       // 0..10000

    bool amtTls = false;
    std::string amtCa; // "" for the system's CAs
    // 0 for 16992 (16993 with TLS); -1 when amt_port is not a port, so that
    // no AMT call goes to a port nobody asked for.
    int amtPort = 0;
    int64_t amtConnectTimeoutMs = 3000; // 1..600000
    int64_t amtTimeoutMs = 10000;       // 1..600000
};

// Settings from the text of a settings file. A line that cannot be used (no
// '=', an unknown key, a value out of its key's range) adds a note naming
// `file` and the line to `notes` and leaves the key at its default (a number
// out of range is clamped), so a damaged line never stops the library from
// starting.
Settings parseSettings(const std::string &text, const std::string &file, std::vector<std::string> &notes);

// Reads the environment and the settings file. Unreadable or oversized files
// count as empty. Notes go to stderr, each once per process, since the
// settings are read again at every remote and AMT connection.
Settings loadSettings();

} // namespace halvo

#endif
