// halvoctl run in this process on the demo board (clock frozen, calls
// recorded), so its output can be held against golden files and the call log
// shows exactly what each command line asked of the board. A few tests run
// the built program itself, for what only a process has: signals and a
// standard input that is no terminal.
//
// HALVO_UPDATE_GOLDEN=1 rewrites the golden files; review the diff.
#include "counting_proxy.h"
#include "halvoctl/halvoctl.h"
#include "tests/lib/test_support.h"
#include "tests/remote/loopback_agent.h"

#include <nlohmann/json.hpp>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

// However this binary is started, it sees the demo board and loopback only:
// the commands below write (power, watchdog, buses) with -y.
const bool environment = [] {
    setenv("HALVO_BOARD", "demo", 1);
    setenv("HALVO_REMOTE_ALLOW", "loopback", 1);
    setenv("HALVO_REMOTE_CONF", "/nonexistent", 1);
    unsetenv("HALVO_SIM_BOARD");
    unsetenv("HALVO_CONF");
    return true;
}();

class FakeConsole final : public halvoctl::Console
{
public:
    bool interactive() override { return atTerminal; }
    bool confirm(const std::string &question) override
    {
        questions.push_back(question);
        return answer;
    }
    bool readSecret(const std::string &prompt, std::string &out) override
    {
        questions.push_back(prompt);
        out = secret;
        return !secret.empty();
    }
    void beginInterruptible() override {}
    // Never sleeps: the board's clock is frozen anyway.
    bool wait(std::chrono::milliseconds) override { return waitsBeforeInterrupt-- > 0; }
    void endInterruptible() override {}
    double now() override { return clock += 0.25; }

    bool atTerminal = false;
    bool answer = false;
    std::string secret;
    int waitsBeforeInterrupt = 1000;
    double clock = 1300000000.0;
    std::vector<std::string> questions;
};

struct Result {
    int status;
    std::string out, err;
};

class Ctl : public SimTest
{
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        setenv("HALVO_AMT_PASSWORD", "Pawtrel*5", 1);
    }
    void TearDown() override
    {
        unsetenv("HALVO_AMT_PASSWORD");
        SimTest::TearDown();
    }
    Result ctl(const std::vector<std::string> &args)
    {
        std::ostringstream out, err;
        console.clock = 1300000000.0;
        const int status = halvoctl::run(args, out, err, console);
        return {status, out.str(), err.str()};
    }
    // The board calls made since the last look, one per line.
    static std::string takeCalls()
    {
        const std::string log = callLog();
        halvo_sim_clear_call_log();
        return log;
    }

    FakeConsole console;
};

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Golden {
    const char *name;
    std::vector<std::string> args;
};

// Every command that reads, as a script would run it.
const Golden kReads[] = {
    {"info", {"info"}},
    {"status", {"status"}},
    {"sensors", {"sensors"}},
    {"fan", {"fan"}},
    {"perf", {"perf"}},
    {"backlight", {"backlight"}},
    {"watchdog", {"watchdog"}},
    {"gpio", {"gpio"}},
    {"gpio-get", {"gpio", "get", "0", "8", "15"}},
    {"eeprom", {"eeprom"}},
    {"eeprom-read", {"eeprom", "read", "1"}},
    {"smbus-read-word", {"smbus", "read-word", "0", "0x48", "0"}},
    {"smbus-read-block", {"smbus", "read-block", "0", "0x0b", "0x20"}},
    {"i2c-read", {"i2c", "read", "0", "0x50", "16", "--at", "0"}},
    {"watch", {"watch", "--count", "2", "--interval", "50"}},
};

void expectGolden(const std::string &file, const std::string &actual)
{
    const std::string path = std::string(HALVOCTL_GOLDEN_DIR) + "/" + file;
    if (const char *update = std::getenv("HALVO_UPDATE_GOLDEN"); update && std::string(update) == "1") {
        std::ofstream(path) << actual;
        return;
    }
    std::ifstream in(path);
    std::stringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(actual, expected.str()) << "golden file " << path;
}

TEST_F(Ctl, EachReadMatchesItsGoldenFilesAsTextAndJson)
{
    // Latin-1 beyond ASCII, and a text filling its whole field without a NUL.
    patch(R"({"boardInfo": {"boardName": "Caf\u00e9 \u00b5P", "serialNumber": ")" + std::string(128, 'S') + R"("}})");
    for (const Golden &g : kReads) {
        for (const bool json : {false, true}) {
            const Result r = ctl(json ? concat({"--json"}, g.args) : g.args);
            EXPECT_EQ(r.status, 0) << g.name << ": " << r.err;
            EXPECT_EQ(r.err, "") << g.name;
            expectGolden(std::string(g.name) + (json ? ".json" : ".txt"), r.out);
        }
    }
    EXPECT_EQ(takeCalls().find("Set"), std::string::npos) << "reads only";
}

TEST_F(Ctl, ARemoteBoardAnswersAsTheLocalOneInAtMostTwoRoundTrips)
{
    LoopbackAgent agent;
    CountingProxy proxy(agent.server.port());
    // The round trips each command may cost: the board's description and
    // snapshot answer the static information, the sensors and every GPIO
    // pin, so two at most (watch: two samples).
    const std::map<std::string, size_t> budget = {{"watch", 4}};
    for (const Golden &g : kReads) {
        for (const bool json : {false, true}) {
            const std::vector<std::string> args = json ? concat({"--json"}, g.args) : g.args;
            const Result local = ctl(args);
            proxy.clear();
            const Result remote = ctl(concat({"--board", proxy.address()}, args));
            EXPECT_EQ(remote.status, 0) << g.name << ": " << remote.err;
            EXPECT_EQ(remote.out, local.out) << g.name;
            const auto it = budget.find(g.name);
            const std::vector<std::string> requests = proxy.requests();
            EXPECT_LE(requests.size(), it == budget.end() ? 2 : it->second) << g.name;
            if (!json)
                std::printf("round trips: %-17s %zu\n", g.name, requests.size());
        }
    }
}

struct Write {
    std::vector<std::string> args;
    const char *call; // the board call it must make, as the call log writes it
};

// Each command line that changes the board, and the call it makes: units,
// scales and codes converted once, on the way in.
const Write kWrites[] = {
    {{"fan", "set", "50"}, "HalvoSetCpuFanSpeed(0, 127)"},
    {{"fan", "cruise", "45.5", "2"}, "HalvoSetFanModeThermalCruise(0, 0, 45500, 2000)"},
    {{"perf", "set", "powersave"}, "HalvoSetCpuPerformance(0, 1, 50)"},
    {{"perf", "set", "80%"}, "HalvoSetCpuPerformance(0, 0, 80)"},
    {{"backlight", "set", "30", "--display=0"}, "HalvoSetBacklightValue(0, 0, 30)"},
    {{"watchdog", "start", "10"}, "HalvoWatchdogEnable(0, 10000)"},
    {{"watchdog", "trigger"}, "HalvoWatchdogTrigger(0)"},
    {{"watchdog", "stop"}, "HalvoWatchdogDisable(0)"},
    {{"gpio", "set", "3", "0"}, "HalvoGpioSetLevel(0, 3, 0)"},
    {{"gpio", "dir", "9", "out"}, "HalvoGpioSetDirection(0, 9, 1)"},
    {{"eeprom", "write", "0", "5", "Caf\xc3\xa9"}, "HalvoStorageWrite(0, 0, 5, \"436166e9\", 4)"},
    {{"eeprom", "write", "1", "0", "0x00fF"}, "HalvoStorageWrite(0, 1, 0, \"00ff\", 2)"},
    {{"smbus", "quick", "0", "0x50", "write"}, "HalvoSmbusQuickCommand(0, 0, 80, 1)"},
    {{"smbus", "send-byte", "0", "0x50", "0x10"}, "HalvoSmbusSendByte(0, 0, 80, 16)"},
    {{"smbus", "write-byte", "0", "0x50", "0x10", "255"}, "HalvoSmbusWriteByte(0, 0, 80, 16, 255)"},
    {{"smbus", "write-word", "0", "0x48", "2", "0x4b00"}, "HalvoSmbusWriteWord(0, 0, 72, 2, 19200)"},
    {{"smbus", "write-block", "0", "0x0b", "0x2f", "1", "0x02"}, "HalvoSmbusWriteBlock(0, 0, 11, 47, \"0102\", 2)"},
    {{"i2c", "write", "0", "0x50", "0x10", "0xab", "0xcd"}, "HalvoI2cWrite(0, 0, 80, 16, \"abcd\", 2)"},
    {{"amt", "192.0.2.30", "off", "--user", "admin"}, "HalvoSetSystemStateAmt(\"192.0.2.30\", \"admin\", \"***\", 1)"},
    {{"power", "restart"}, "HalvoSetSystemState(0, 3)"},
};

TEST_F(Ctl, EachWriteMakesItsCallWithValuesConverted)
{
    for (const Write &w : kWrites) {
        halvo_sim_reset();
        halvo_sim_record_calls(1);
        const Result r = ctl(concat({"-y"}, w.args));
        EXPECT_EQ(r.status, 0) << w.call << ": " << r.err;
        EXPECT_EQ(r.out, "") << "writes are silent as text";
        EXPECT_NE(takeCalls().find(std::string(w.call) + " -> 0"), std::string::npos) << w.call;
    }
    // The write lands: pin 3 drives pin 11 on the demo's loopback wiring.
    ASSERT_EQ(ctl({"gpio", "set", "3", "0"}).status, 0);
    EXPECT_EQ(ctl({"gpio", "get", "11"}).out, "0\n");
}

TEST_F(Ctl, HardwareWritesNeedAYesAtATerminalOrMinusY)
{
    const Write kConfirmed[] = {kWrites[10], kWrites[13], kWrites[16], kWrites[17], kWrites[18], kWrites[19]};
    for (const Write &w : kConfirmed) {
        halvo_sim_reset();
        halvo_sim_record_calls(1);
        console.atTerminal = false;
        Result r = ctl(w.args);
        EXPECT_EQ(r.status, 65) << w.call;
        EXPECT_NE(r.err.find("no terminal"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("-y"), std::string::npos) << r.err;
        console.atTerminal = true;
        console.answer = false;
        EXPECT_EQ(ctl(w.args).status, 65) << w.call;
        EXPECT_EQ(takeCalls().find(w.call), std::string::npos) << "refused, yet called: " << w.call;
        console.answer = true;
        EXPECT_EQ(ctl(w.args).status, 0) << w.call;
        EXPECT_NE(takeCalls().find(w.call), std::string::npos) << w.call;
    }
    // Reads, and changes that are settings rather than bus or power writes, never ask.
    halvo_sim_reset();
    console.questions.clear();
    console.atTerminal = false;
    for (const auto &args : std::vector<std::vector<std::string>>{
             {"smbus", "quick", "0", "0x50", "read"}, {"gpio", "set", "3", "1"}, {"amt", "192.0.2.30", "on"}})
        EXPECT_EQ(ctl(args).status, 0) << args[0];
    EXPECT_TRUE(console.questions.empty());
}

TEST_F(Ctl, TheAmtPasswordComesFromTheEnvironmentOrANoEchoPrompt)
{
    unsetenv("HALVO_AMT_PASSWORD");
    EXPECT_EQ(ctl({"amt", "192.0.2.30", "state"}).status, 64) << "no terminal to ask at";
    EXPECT_EQ(takeCalls(), "");
    console.atTerminal = true;
    console.secret = "wrong";
    Result r = ctl({"amt", "192.0.2.30", "state"});
    EXPECT_EQ(r.status, 6) << "wrong credentials are the access class";
    EXPECT_NE(r.err.find("access"), std::string::npos) << r.err;
    console.secret = "Pawtrel*5";
    r = ctl({"--json", "amt", "192.0.2.30", "state", "--user", "admin"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\n  \"ipAddress\": \"192.0.2.30\",\n  \"state\": 2\n}\n") << "hibernated";
    EXPECT_EQ(console.questions.back(), "AMT password for admin at 192.0.2.30: ");
    EXPECT_EQ(callLog().find("Pawtrel"), std::string::npos);
}

TEST_F(Ctl, EveryErrorClassHasItsExitStatusAndIsNamed)
{
    const struct {
        int cls;
        const char *name;
        int exit;
    } kClasses[] = {{1, "connection", 1}, {2, "argument", 2}, {3, "unsupported", 3}, {4, "device", 4},
                    {5, "handle", 5},     {6, "access", 6},   {9, "0x00090007", 70}};
    for (const auto &c : kClasses) {
        halvo_sim_force_status("HalvoGetTempSensorCount", HALVO_MAKE_ERROR(c.cls, 7), 1);
        const Result r = ctl({"sensors"});
        EXPECT_EQ(r.status, c.exit) << c.name;
        EXPECT_NE(r.err.find(c.name), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << "nothing half-read is printed";
    }
    // A report shows the parts it could read and fails with the class of the
    // first it could not; a part the board lacks is no failure.
    halvo_sim_force_status("HalvoGetMemoryModuleCount", HALVO_MAKE_ERROR(HALVO_CLASS_ACCESS, 1), 1);
    halvo_sim_force_status("HalvoGetBootCounter", HALVO_MAKE_ERROR(HALVO_CLASS_UNSUPPORTED, 1), 1);
    Result r = ctl({"--json", "info"});
    EXPECT_EQ(r.status, 6) << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    EXPECT_TRUE(doc["memoryModules"].is_null());
    EXPECT_TRUE(doc["bootCounter"].is_null());
    EXPECT_EQ(doc["boardInfo"]["boardName"], "HVB-1520");
    EXPECT_NE(r.err.find("memory modules"), std::string::npos);
    EXPECT_EQ(r.err.find("boot"), std::string::npos) << r.err;
    // A board that went away mid-report is a lost connection.
    patch(R"({"online": false})");
    EXPECT_EQ(ctl({"status"}).status, 1);
    EXPECT_EQ(ctl({"--board", "127.0.0.1:1", "sensors"}).status, 1) << "nobody listens there";
}

TEST_F(Ctl, BadCommandLinesAreRefusedBeforeAnyBoardCall)
{
    const std::vector<std::vector<std::string>> kBad = {
        {},
        {"frobnicate"},
        {"gpio", "frob"},
        {"power"},
        {"sensors", "extra"},
        {"--board"},
        {"--colour", "sensors"},
        {"gpio", "set", "-1", "1"},
        {"gpio", "set", "3", "2"},
        {"gpio", "get", "99999999999999"},
        {"smbus", "read-byte", "x", "0x48", "0"},
        {"smbus", "read-byte", "0", "0x1G", "0"},
        {"smbus", "read-byte", "256", "0x48", "0"},
        {"smbus", "write-byte", "0", "0x80", "0", "1"},
        {"smbus", "write-word", "0", "0x48", "0", "0x10000"},
        {"smbus", "write-block", "0", "0x0b", "0x2f"},
        {"smbus", "read-word", "0", "0x48"},
        {"i2c", "read", "0", "0x50", "129"},
        {"i2c", "read", "0", "0x50", "1", "--at", "0x100"},
        {"i2c", "read", "0", "0x50", "1", "--to", "1"},
        {"fan", "set", "101"},
        {"fan", "cruise", "45.5555", "2"},
        {"perf", "set", "9"},
        {"perf", "set", "turbo"},
        {"backlight", "set", "50", "--display"},
        {"watchdog", "start", "0"},
        {"eeprom", "write", "0", "0", "0x1"},
        {"eeprom", "write", "0", "0", "\xe2\x82\xac"},
        {"eeprom", "read", "0", "0", "65537"},
        {"amt", "192.0.2.30", "reboot"},
        {"amt", "192.0.2.30", "state", "--user", "a b"},
        {"--board", "192.0.2.20", "amt", "192.0.2.30", "state"},
        {"watch", "--interval", "10"},
    };
    for (const auto &args : kBad) {
        const Result r = ctl(concat({"-y"}, args));
        std::string line;
        for (const std::string &a : args)
            line += " " + a;
        EXPECT_EQ(r.status, 64) << line;
        EXPECT_EQ(r.out, "") << line;
        EXPECT_NE(r.err.find("halvoctl: "), std::string::npos) << line;
    }
    EXPECT_EQ(takeCalls(), "");
    // What only the board knows is checked with a read before any change.
    const Result r = ctl({"-y", "gpio", "set", "16", "1"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("pins 0 to 15"), std::string::npos) << r.err;
    EXPECT_EQ(takeCalls(), "HalvoGpioGetCount(0, *) -> 0\n");
    EXPECT_EQ(ctl({"-y", "eeprom", "write", "1", "6", "abc"}).status, 2) << "8 bytes hold no 3 at offset 6";
    EXPECT_EQ(takeCalls(), "HalvoGetStorageSize(0, 1, *) -> 0\n");
}

TEST_F(Ctl, EveryCommandAndSubcommandHasHelp)
{
    const Result top = ctl({"--help"});
    EXPECT_EQ(top.status, 0);
    EXPECT_NE(top.out.find("65  a hardware write was not confirmed"), std::string::npos);
    for (const char *command : {"info", "status", "sensors", "fan", "perf", "backlight", "watchdog", "gpio", "eeprom",
                                "smbus", "i2c", "power", "amt", "watch"}) {
        EXPECT_NE(top.out.find(std::string("  ") + command + " "), std::string::npos) << command;
        const Result r = ctl({command, "--help"});
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_NE(r.out.find(std::string("halvoctl [OPTIONS] ") + command), std::string::npos) << command;
    }
    const Result sub = ctl({"i2c", "read", "--help"});
    EXPECT_NE(sub.out.find("halvoctl [OPTIONS] i2c read [--at REG] BUS ADDRESS COUNT"), std::string::npos) << sub.out;
    EXPECT_EQ(sub.out.find("i2c write"), std::string::npos);
    EXPECT_EQ(ctl({"--version"}).out.rfind("halvoctl ", 0), 0u);
    EXPECT_EQ(takeCalls(), "");
}

TEST_F(Ctl, WatchdogKeepFeedsUntilInterruptedThenStops)
{
    console.waitsBeforeInterrupt = 3;
    const Result r = ctl({"--json", "watchdog", "keep", "4"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\n  \"timeoutMs\": 4000,\n  \"triggers\": 3\n}\n");
    EXPECT_EQ(takeCalls(),
              "HalvoWatchdogEnable(0, 4000) -> 0\nHalvoWatchdogTrigger(0) -> 0\n"
              "HalvoWatchdogTrigger(0) -> 0\nHalvoWatchdogTrigger(0) -> 0\nHalvoWatchdogDisable(0) -> 0\n");
    // A feed that fails disarms the watchdog before reporting.
    halvo_sim_force_status("HalvoWatchdogTrigger", HALVO_MAKE_ERROR(HALVO_CLASS_DEVICE, 1), 1);
    console.waitsBeforeInterrupt = 3;
    EXPECT_EQ(ctl({"watchdog", "keep", "4"}).status, 4);
    const std::string calls = takeCalls();
    EXPECT_EQ(calls.substr(calls.rfind("Halvo")), "HalvoWatchdogDisable(0) -> 0\n");
}

// ---- The program itself -------------------------------------------------------------------------

struct Process {
    pid_t pid;
    int out; // read end of its standard output
};

// halvoctl with standard input from /dev/null (no terminal) and its calls
// appended to `log`.
Process start(const std::vector<std::string> &args, const std::string &log)
{
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        std::abort();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, STDIN_FILENO);
        setenv("HALVO_SIM_LOG", log.c_str(), 1);
        std::vector<char *> argv = {const_cast<char *>(HALVOCTL_PROGRAM)};
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    return {pid, pipeFds[0]};
}

std::string readLines(int fd, size_t lines)
{
    std::string text;
    char c;
    while (std::count(text.begin(), text.end(), '\n') < static_cast<long>(lines) && read(fd, &c, 1) == 1)
        text += c;
    return text;
}

int finish(Process &p, std::string &rest)
{
    char buffer[4096];
    ssize_t n;
    while ((n = read(p.out, buffer, sizeof buffer)) > 0)
        rest.append(buffer, static_cast<size_t>(n));
    close(p.out);
    int status = 0;
    waitpid(p.pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string slurp(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(Program, InterruptEndsWatchAndKeepCleanly)
{
    char log[] = "/tmp/halvoctl-test.XXXXXX";
    close(mkstemp(log));
    Process watch = start({"watch", "--interval", "50"}, log);
    const std::string head = readLines(watch.out, 3); // header and two rows
    kill(watch.pid, SIGINT);
    std::string rest;
    EXPECT_EQ(finish(watch, rest), 0);
    const std::string all = head + rest;
    EXPECT_EQ(all.back(), '\n') << "no row cut short";
    EXPECT_EQ(all.rfind("time,", 0), 0u);

    Process keep = start({"watchdog", "keep", "1"}, log);
    usleep(1200 * 1000); // two feeds at half the timeout
    kill(keep.pid, SIGTERM);
    EXPECT_EQ(finish(keep, rest), 0);
    const std::string calls = slurp(log);
    EXPECT_NE(calls.find("HalvoWatchdogTrigger(0) -> 0"), std::string::npos) << calls;
    EXPECT_EQ(calls.substr(calls.rfind("Halvo")), "HalvoWatchdogDisable(0) -> 0\n") << calls;

    // Standard input from /dev/null is no terminal: a write is refused.
    Process power = start({"power", "off"}, log);
    EXPECT_EQ(finish(power, rest), 65);
    EXPECT_EQ(slurp(log).find("HalvoSetSystemState"), std::string::npos);
    unlink(log);
}

} // namespace
