// The board description in JSON: reading it into a Board and writing a Board
// (with the state the simulation has moved) back out. The schema is described
// in libhalvo/backends/sim/README.md and shown in full by demo-board.json.
#ifndef HALVO_SIM_BOARD_JSON_H
#define HALVO_SIM_BOARD_JSON_H

#include "board.h"

#include <nlohmann/json.hpp>
#include <stdexcept>

namespace halvo::sim
{

// A description that cannot be used; what() names the offending key by path,
// e.g. "board.fans[2].duty: expected an integer in 0..255".
struct DescriptionError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Descriptions nest a few levels; deeper input is refused while it is parsed,
// before anything walks it recursively.
constexpr int kMaxDescriptionDepth = 64;
// Parses a description or patch; throws DescriptionError or a JSON parse error.
nlohmann::json parseDescription(const std::string &text);

// Board files are a few KB; anything far larger is a mistake (or /dev/zero).
constexpr size_t kMaxDescriptionFileBytes = 16 << 20;
// The text of a board file: a regular file of at most kMaxDescriptionFileBytes.
// Throws DescriptionError saying why a file is refused.
std::string readDescriptionFile(const std::string &path);

// An integer (or "0x..." text) in min..max; throws DescriptionError naming
// `path` otherwise.
int64_t integerValue(const nlohmann::json &v, const std::string &path, int64_t min, int64_t max);

// `path` prefixes error messages; `remote` allows (and requires) "address".
std::unique_ptr<Board> boardFromJson(const nlohmann::json &j, const std::string &path, bool remote);
nlohmann::json boardToJson(const Board &board);

// Texts of the description are JSON strings whose characters are Latin-1
// bytes (U+0000..U+00FF).
std::string latin1FromUtf8(const std::string &utf8, const std::string &path);
std::string utf8FromLatin1(const std::string &latin1);

} // namespace halvo::sim

#endif
