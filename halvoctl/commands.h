// The command table: every command and subcommand of halvoctl with its
// arguments, options, help text and handler. Parsing a command line yields a
// Plan, fully checked, before anything reaches the board.
#ifndef HALVOCTL_COMMANDS_H
#define HALVOCTL_COMMANDS_H

#include "board.h"

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace halvoctl
{

struct Args {
    std::vector<std::string> positional; // after the command and subcommand
    std::map<std::string, std::string> options;
    std::string leading; // the argument before the subcommand (amt's ADDRESS)

    const std::string &operator[](size_t i) const { return positional[i]; }
    size_t size() const { return positional.size(); }
    std::string option(const std::string &name, const std::string &fallback) const
    {
        const auto it = options.find(name);
        return it == options.end() ? fallback : it->second;
    }
};

struct Plan {
    // What the command writes to hardware, asked before it is done
    // ("write 0x01 to ..."); empty for commands that need no confirmation.
    std::string write;
    bool board = true;        // false: needs no board handle (AMT)
    bool amtPassword = false; // reads the AMT password first
    std::function<void(Context &, const std::string &password)> run;
};

struct Option {
    const char *name;  // "--at"
    const char *value; // "REG"
    const char *help;
};

struct Subcommand {
    const char *name;  // "" for the command without a subcommand
    const char *usage; // its arguments, "PIN 0|1"
    const char *help;
    size_t minArgs, maxArgs;
    std::vector<Option> options;
    Plan (*parse)(const Args &);
};

struct Command {
    const char *name;
    const char *leading; // an argument before the subcommand, or nullptr
    const char *help;
    std::vector<Subcommand> subcommands;
};

const std::vector<Command> &commands();

} // namespace halvoctl

#endif
