// The settings file, the board choice and the file rules every part relies on.
#include "host_test_support.h"
#include "libhalvo/status.h"

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

TEST(AnySettings, LinesKeepOrderIgnoreCommentsAndDamage)
{
    const auto v = parseSettings("# x\n gpio = gpiochip0:0-3 # first\nno equals sign\n = 5\ngpio=gpiochip1:2\r\n"
                                 "board = demo\nboard = host\n");
    EXPECT_EQ(v.at("gpio"), (std::vector<std::string>{"gpiochip0:0-3", "gpiochip1:2"}));
    EXPECT_EQ(v.at("board").back(), "host");
    EXPECT_EQ(v.size(), 2u);
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
