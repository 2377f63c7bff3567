// The settings file, the board choice and the file rules every part relies on.
#include "host_test_support.h"
#include "libhalvo/status.h"
#include "libhalvo/text.h"

#include <cerrno>
#include <fstream>
#include <sys/stat.h>

using namespace halvo;
using halvo::test::fixtureRoot;

namespace
{

// Sets an environment variable for the scope of one case.
struct Env {
    Env(const char *name, const char *value) : name_(name)
    {
        if (const char *old = std::getenv(name))
            old_ = old, had_ = true;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~Env() { had_ ? ::setenv(name_, old_.c_str(), 1) : ::unsetenv(name_); }
    const char *name_;
    std::string old_;
    bool had_ = false;
};

TEST(AnySettings, LinesKeepOrderAndEveryDamagedLineIsNamed)
{
    std::vector<std::string> notes;
    const Settings s = parseSettings("# x\n gpio = gpiochip0:0-3 # first\nno equals sign\n = 5\ngpio=gpiochip1:2\r\n"
                                     "board = demo\nboard = host\ncolour = blue\nremote_call_timeout_ms = 90000\n"
                                     "remote_snapshot_ms = 5x\namt_port = 0\namt_tls = on\ncpu_fan =\n",
                                     "/etc/halvo/halvo.conf", notes);
    EXPECT_EQ(s.gpio, (std::vector<std::string>{"gpiochip0:0-3", "gpiochip1:2"}));
    EXPECT_EQ(s.board, Settings::Board::Host);
    EXPECT_EQ(s.remoteCallTimeoutMs, 60000) << "clamped";
    EXPECT_EQ(s.remoteSnapshotMs, 1000) << "the default";
    EXPECT_EQ(s.amtPort, -1);
    EXPECT_TRUE(s.amtTls);
    EXPECT_EQ(s.cpuFan, "") << "given empty: no CPU fan";
    EXPECT_FALSE(s.cpuTemp);
    const std::vector<std::string> expected = {
        "not a \"key = value\" line in /etc/halvo/halvo.conf (line 3), ignored",
        "not a \"key = value\" line in /etc/halvo/halvo.conf (line 4), ignored",
        "unknown setting \"colour\" in /etc/halvo/halvo.conf (line 8) ignored",
        "remote_call_timeout_ms = \"90000\" in /etc/halvo/halvo.conf (line 9): outside 0 to 60000, 60000 used",
        "remote_snapshot_ms = \"5x\" in /etc/halvo/halvo.conf (line 10): not a whole number from 0 to 10000, 1000 used",
        "amt_port = \"0\" in /etc/halvo/halvo.conf (line 11): not a port from 1 to 65535, so no AMT call is made",
    };
    EXPECT_EQ(notes, expected);
}

TEST(AnySettings, EnvironmentWinsOverTheFileAndHostIsTheDefault)
{
    const std::string conf = fixtureRoot().path("/etc/halvo/choice.conf");
    std::ofstream(conf) << "board = /boards/from-file.json\n";
    Env c("HALVO_CONF", conf.c_str());
    struct Case {
        const char *board, *simBoard;
        Settings::Board expected;
        const char *file;
    } cases[] = {
        {nullptr, nullptr, Settings::Board::File, "/boards/from-file.json"},
        {"demo", "/x.json", Settings::Board::Demo, ""},
        {"host", nullptr, Settings::Board::Host, ""},
        {nullptr, "/older.json", Settings::Board::File, "/older.json"},
        {"/mine.json", nullptr, Settings::Board::File, "/mine.json"},
    };
    for (const Case &k : cases) {
        Env b("HALVO_BOARD", k.board), s("HALVO_SIM_BOARD", k.simBoard);
        const Settings got = loadSettings();
        EXPECT_EQ(got.board, k.expected) << (k.board ? k.board : "-");
        EXPECT_EQ(got.boardFile, k.file);
    }
    std::ofstream(conf) << "# nothing chosen\n";
    Env b("HALVO_BOARD", nullptr), s("HALVO_SIM_BOARD", nullptr);
    EXPECT_EQ(loadSettings().board, Settings::Board::Host);
}

TEST(AnyText, PortsSwitchesAndPrivateFiles)
{
    const struct {
        const char *text;
        bool zeroAllowed;
        int port; // -1: refused
    } ports[] = {{"7890", false, 7890}, {"65535", false, 65535}, {"65536", false, -1}, {"0", false, -1},
                 {"0", true, 0},        {"", true, -1},          {"+80", false, -1},   {"000080", false, -1}};
    for (const auto &p : ports) {
        int port = -1;
        EXPECT_EQ(parsePort(p.text, port, p.zeroAllowed), p.port >= 0) << p.text;
        EXPECT_EQ(port, p.port) << p.text;
    }
    EXPECT_EQ(parseSwitch("yes"), true);
    EXPECT_EQ(parseSwitch("0"), false);
    EXPECT_EQ(parseSwitch("On"), std::nullopt);

    const std::string path = fixtureRoot().path("/etc/halvo/private");
    std::string text, error;
    EXPECT_EQ(readPrivateFile(path, text, error), PrivateFile::Missing);
    const struct {
        size_t bytes;
        mode_t mode;
        PrivateFile expected;
    } files[] = {{10, 0600, PrivateFile::Read},
                 {10, 0604, PrivateFile::Refused},
                 {kMaxPrivateFileBytes + 1, 0600, PrivateFile::Refused}};
    for (const auto &f : files) {
        std::ofstream(path) << std::string(f.bytes, 'x');
        ASSERT_EQ(::chmod(path.c_str(), f.mode), 0);
        EXPECT_EQ(readPrivateFile(path, text, error), f.expected) << f.bytes << " " << f.mode << " " << error;
    }
    EXPECT_EQ(text, std::string(10, 'x'));
}

TEST(AnyRoot, FailuresFallIntoTheirClasses)
{
    const host::Root &root = fixtureRoot();
    std::string text;
    EXPECT_EQ(HALVO_ERROR_CLASS(root.read("/no/such/file", text)), HALVO_CLASS_UNSUPPORTED);
    EXPECT_EQ(HALVO_ERROR_CLASS(root.write("/no/such/attribute", "1")), HALVO_CLASS_UNSUPPORTED);
    EXPECT_FALSE(root.exists("/no/such/attribute")) << "a write must never create a file";
    EXPECT_EQ(HALVO_ERROR_CLASS(host::statusFromErrno(EACCES)), HALVO_CLASS_ACCESS);
    EXPECT_EQ(HALVO_ERROR_CLASS(host::statusFromErrno(EPERM)), HALVO_CLASS_ACCESS);
    EXPECT_EQ(HALVO_ERROR_CLASS(host::statusFromErrno(EIO)), HALVO_CLASS_DEVICE);

    // Numbers: garbage and overflow are device errors, never a wrong value.
    const std::string dir = "/etc/halvo";
    for (const char *bad : {"", "12abc", "99999999999999999999", " \n"}) {
        std::ofstream(root.path(dir + "/n")) << bad;
        int64_t v = 7;
        EXPECT_EQ(HALVO_ERROR_CLASS(root.readInt(dir + "/n", v)), HALVO_CLASS_DEVICE) << bad;
        EXPECT_EQ(v, 7);
    }
    // A FIFO (or a device node) never blocks a read.
    ASSERT_EQ(::mkfifo(root.path(dir + "/fifo").c_str(), 0600), 0);
    EXPECT_EQ(root.read(dir + "/fifo", text), HALVO_STATUS_OK);
    EXPECT_EQ(text, "");
}

} // namespace
