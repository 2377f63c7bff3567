// The command line: global options, the command and subcommand from the
// table, their arguments checked into a Plan; then the password and the
// confirmation a plan needs, and only then the board.
#include "board.h"
#include "commands.h"
#include "halvoctl.h"
#include "values.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <sstream>

#ifndef HALVOCTL_VERSION
#define HALVOCTL_VERSION "unknown"
#endif

namespace halvoctl
{

namespace
{

const char *const kClassNames[] = {"", "connection", "argument", "unsupported", "device", "handle", "access"};
const char *const kClassWords[] = {"",
                                   "the board is unreachable or the connection was lost",
                                   "the board refused an argument",
                                   "the board does not support this",
                                   "a device did not answer, or an I/O error",
                                   "the board handle is closed",
                                   "access refused"};

const char *const kExitStatuses = "Exit status:\n"
                                  "  0   success\n"
                                  "  1   connection: the board is unreachable or the connection was lost\n"
                                  "  2   argument: the board refused a value (a pin or storage it does not have)\n"
                                  "  3   unsupported: the board lacks the function\n"
                                  "  4   device: a bus device did not answer, or an I/O error\n"
                                  "  5   handle: the board's handle was closed\n"
                                  "  6   access: permission, AMT credentials or a remote token refused\n"
                                  "  64  bad command line; nothing was asked of the board\n"
                                  "  65  a hardware write was not confirmed; nothing was written\n"
                                  "  70  a status of no known class, or the output could not be written\n";

struct Global {
    std::string board;
    bool json = false, yes = false, help = false, version = false;
};

bool isOption(const std::string &arg)
{
    // "-1" is a (wrong) value, not an option, so it gets a range message.
    return arg.size() > 1 && arg[0] == '-' && !std::isdigit(static_cast<unsigned char>(arg[1]));
}

// What the command line names: command and subcommand from the table, the
// rest sorted into global options, the subcommand's options and positionals.
struct Line {
    Global global;
    const Command *command = nullptr;
    const Subcommand *sub = nullptr;
    Args args;
    std::vector<std::pair<std::string, std::string>> options; // not yet matched
};

// Fills `line` as far as it gets, so that a usage error can name the command.
void split(const std::vector<std::string> &argv, Line &line)
{
    std::vector<std::string> words;
    bool onlyWords = false;
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string &arg = argv[i];
        if (onlyWords || !isOption(arg)) {
            words.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyWords = true;
            continue;
        }
        const size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const auto value = [&]() -> std::string {
            if (eq != std::string::npos)
                return arg.substr(eq + 1);
            if (i + 1 >= argv.size())
                throw UsageError(name + " needs a value");
            return argv[++i];
        };
        Global &g = line.global;
        if (name == "-j" || name == "--json")
            g.json = true;
        else if (name == "-y" || name == "--yes")
            g.yes = true;
        else if (name == "-h" || name == "--help")
            g.help = true;
        else if (name == "-V" || name == "--version")
            g.version = true;
        else if (name == "-b" || name == "--board")
            g.board = value();
        else if (name.rfind("--", 0) == 0 && name.size() > 2)
            line.options.emplace_back(name, eq != std::string::npos || i + 1 < argv.size() ? value() : "");
        else
            throw UsageError("unknown option " + name);
    }

    size_t w = 0;
    if (w == words.size())
        return;
    for (const Command &c : commands())
        if (words[w] == c.name)
            line.command = &c;
    if (!line.command)
        throw UsageError("unknown command \"" + words[w] + "\"");
    ++w;
    if (line.command->leading) {
        if (w == words.size()) {
            if (line.global.help)
                return;
            throw UsageError(std::string(line.command->name) + ": " + line.command->leading + " missing");
        }
        line.args.leading = words[w++];
    }
    for (const Subcommand &s : line.command->subcommands)
        if (w < words.size() && *s.name && words[w] == s.name)
            line.sub = &s;
    if (line.sub) {
        ++w;
    } else {
        for (const Subcommand &s : line.command->subcommands)
            if (!*s.name)
                line.sub = &s;
        if (line.global.help)
            line.sub = nullptr; // help for the whole command
        else if (w < words.size() && (!line.sub || line.sub->maxArgs == 0))
            throw UsageError(std::string(line.command->name) + ": unknown subcommand \"" + words[w] + "\"");
        else if (!line.sub)
            throw UsageError(std::string(line.command->name) + ": subcommand missing");
    }
    line.args.positional.assign(words.begin() + static_cast<std::ptrdiff_t>(w), words.end());
}

std::string subUsage(const Command &c, const Subcommand &s)
{
    std::string usage = std::string("halvoctl [OPTIONS] ") + c.name;
    if (c.leading)
        usage += std::string(" ") + c.leading;
    if (*s.name)
        usage += std::string(" ") + s.name;
    for (const Option &o : s.options)
        usage += std::string(" [") + o.name + " " + o.value + "]";
    if (*s.usage)
        usage += std::string(" ") + s.usage;
    return usage;
}

const char *const kGlobalOptions = "Options:\n"
                                   "  -b, --board ADDRESS  a board served by halvo-agent: host, host:port or\n"
                                   "                       [v6]:port (TLS and tokens from remote.conf); without\n"
                                   "                       it the local board\n"
                                   "  -j, --json           one JSON document (watch: one per sample)\n"
                                   "  -y, --yes            write to hardware without asking\n"
                                   "  -h, --help           this help; COMMAND --help for a command's\n"
                                   "  -V, --version        the version\n";

std::string help(const Line &line)
{
    std::ostringstream h;
    if (!line.command) {
        h << "Usage: halvoctl [OPTIONS] COMMAND [SUBCOMMAND] [ARGUMENTS]\n\n"
             "Every board call of libhalvo.so.1 from a shell, on the local board or on a\n"
             "remote board served by halvo-agent.\n\n"
          << kGlobalOptions << "\nCommands:\n";
        for (const Command &c : commands()) {
            std::string name = c.name;
            name.resize(11, ' ');
            h << "  " << name << c.help << "\n";
        }
        h << "\nHardware writes (SMBus, I2C, EEPROM, power, AMT off, restart and\n"
             "hibernate) ask for confirmation at a terminal; without one they need -y.\n\n"
          << kExitStatuses;
        return h.str();
    }
    const Command &c = *line.command;
    const std::vector<const Subcommand *> subs = line.sub ? std::vector<const Subcommand *>{line.sub} : [&] {
        std::vector<const Subcommand *> all;
        for (const Subcommand &s : c.subcommands)
            all.push_back(&s);
        return all;
    }();
    h << "halvoctl " << c.name << ": " << c.help << "\n\nUsage:\n";
    for (const Subcommand *s : subs)
        h << "  " << subUsage(c, *s) << "\n      " << s->help << "\n";
    bool anyOptions = false;
    for (const Subcommand *s : subs)
        for (const Option &o : s->options) {
            if (!anyOptions)
                h << "\nCommand options:\n";
            anyOptions = true;
            std::string name = std::string(o.name) + " " + o.value;
            name.resize(16, ' ');
            h << "  " << name << " " << o.help << "\n";
        }
    h << "\n" << kGlobalOptions << "\n" << kExitStatuses;
    return h.str();
}

// The command line's plan; its subcommand's options and argument count checked.
Plan plan(Line &line)
{
    if (!line.command)
        throw UsageError("command missing (halvoctl --help lists them)");
    const Subcommand &s = *line.sub;
    for (const auto &[name, value] : line.options) {
        const bool known =
            std::any_of(s.options.begin(), s.options.end(), [&](const Option &o) { return name == o.name; });
        if (!known)
            throw UsageError(std::string(line.command->name) + (*s.name ? std::string(" ") + s.name : "") +
                             ": unknown option " + name);
        if (value.empty())
            throw UsageError(name + " needs a value");
        line.args.options[name] = value;
    }
    const size_t n = line.args.size();
    if (n < s.minArgs || n > s.maxArgs)
        throw UsageError(std::string(n < s.minArgs ? "arguments missing" : "too many arguments") +
                         "; usage: " + subUsage(*line.command, s));
    return s.parse(line.args);
}

void wipe(std::string &secret)
{
    volatile char *p = secret.data();
    for (size_t i = 0; i < secret.size(); ++i)
        p[i] = 0;
    secret.clear();
}

} // namespace

int exitStatusOf(int32_t status)
{
    const int cls = HALVO_ERROR_CLASS(status);
    return cls >= HALVO_CLASS_CONNECTION && cls <= HALVO_CLASS_ACCESS ? cls : ExitSoftware;
}

std::string failureText(int32_t status)
{
    const int cls = HALVO_ERROR_CLASS(status);
    if (cls < HALVO_CLASS_CONNECTION || cls > HALVO_CLASS_ACCESS) {
        char text[64];
        std::snprintf(text, sizeof text, "status 0x%08x of no known error class", static_cast<uint32_t>(status));
        return text;
    }
    return std::string(kClassWords[cls]) + " (error class " + std::to_string(cls) + ", " + kClassNames[cls] + ")";
}

int run(const std::vector<std::string> &argv, std::ostream &out, std::ostream &err, Console &console)
{
    Line line;
    Plan p;
    try {
        split(argv, line);
        if (line.global.version) {
            out << "halvoctl " HALVOCTL_VERSION "\n";
            return ExitOk;
        }
        if (line.global.help) {
            out << help(line);
            return ExitOk;
        }
        p = plan(line);
        if (!p.board && !line.global.board.empty())
            throw UsageError(std::string(line.command->name) + " names its board by address; --board does not apply");
    } catch (const UsageError &e) {
        err << "halvoctl: " << e.what() << "\n";
        if (line.command)
            err << "Try: halvoctl " << line.command->name << " --help\n";
        else
            err << "Try: halvoctl --help\n";
        return ExitUsage;
    }

    const std::string boardName = line.global.board.empty() ? "the local board" : "board " + line.global.board;
    std::string password;
    if (p.amtPassword) {
        // Never from the command line, where every user of the machine can read it.
        if (const char *env = std::getenv("HALVO_AMT_PASSWORD")) {
            password = env;
        } else if (!console.interactive() ||
                   !console.readSecret("AMT password for " + line.args.option("--user", "admin") + " at " +
                                           line.args.leading + ": ",
                                       password)) {
            err << "halvoctl: no AMT password: set HALVO_AMT_PASSWORD or run at a terminal\n";
            return ExitUsage;
        }
    }
    if (!p.write.empty() && !line.global.yes) {
        const std::string target = p.board ? " on " + boardName : "";
        if (!console.interactive()) {
            err << "halvoctl: refusing to " << p.write << target
                << " without confirmation: no terminal to ask at (-y writes without asking)\n";
            wipe(password);
            return ExitNotConfirmed;
        }
        if (!console.confirm("halvoctl: " + p.write + target + "?")) {
            err << "halvoctl: not confirmed; nothing written\n";
            wipe(password);
            return ExitNotConfirmed;
        }
    }

    Context c(out, err, console, line.global.json);
    int status = ExitOk;
    try {
        if (p.board && !line.global.board.empty()) {
            int32_t handle = 0;
            c.check(HalvoLibInitialize(line.global.board.c_str(), HALVO_LIBINIT_PORT, &handle, 0, 0),
                    "connecting to " + line.global.board);
            c.handle = handle;
        }
        p.run(c, password);
        if (c.partFailure)
            status = exitStatusOf(c.partFailure->status);
    } catch (const Failure &f) {
        err << "halvoctl: " << f.what << ": " << failureText(f.status) << "\n";
        status = exitStatusOf(f.status);
        c.streamed = true; // nothing half-read is printed
    }
    wipe(password);
    if (c.handle != 0)
        HalvoLibUnInitialize(c.handle);

    if (!c.streamed) {
        if (c.json)
            out << c.doc.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
        else
            out << c.text.text();
    }
    out.flush();
    if (!out) {
        err << "halvoctl: the output could not be written\n";
        return ExitSoftware;
    }
    return status;
}

} // namespace halvoctl
