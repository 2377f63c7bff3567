// The library's AMT client against the fake firmware on loopback, through
// the board API as the power page calls it.
#include "../remote/test_pki.h"
#include "fake_amt.h"

#include "board/halvo.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <thread>
#include <unistd.h>

namespace
{

using halvo::fake::FakeAmt;
using Clock = std::chrono::steady_clock;
namespace ns = halvo::fake::ns;
namespace action = halvo::fake::action;

int cls(int32_t status)
{
    return HALVO_ERROR_CLASS(status);
}

// The library's settings file for one test: the fake's port and limits.
class Conf
{
public:
    explicit Conf(const std::string &lines)
    {
        char name[] = "/tmp/halvo-amt-conf.XXXXXX";
        const int fd = mkstemp(name);
        path_ = name;
        const std::string text = "board = demo\n" + lines;
        if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            std::abort();
        close(fd);
        setenv("HALVO_CONF", path_.c_str(), 1);
    }
    ~Conf()
    {
        unsetenv("HALVO_CONF");
        unlink(path_.c_str());
    }

private:
    std::string path_;
};

std::string portLine(const FakeAmt &fake)
{
    return "amt_port = " + std::to_string(fake.port()) + "\n";
}

int32_t get(const char *password, int32_t &state, const char *ip = "127.0.0.1")
{
    return HalvoGetSystemStateAmt(ip, "admin", password, &state);
}

int32_t set(const char *password, int32_t state)
{
    return HalvoSetSystemStateAmt("127.0.0.1", "admin", password, state);
}

TEST(Amt, AQueryMapsThePowerStateAndAuthenticatesByDigestOnly)
{
    FakeAmt fake;
    Conf conf(portLine(fake));
    const std::pair<int, int32_t> cases[] = {
        {2, HALVO_SYSTEM_STATE_ON},          {6, HALVO_SYSTEM_STATE_OFF},     {8, HALVO_SYSTEM_STATE_OFF},
        {12, HALVO_SYSTEM_STATE_OFF},        {13, HALVO_SYSTEM_STATE_OFF},    {7, HALVO_SYSTEM_STATE_HIBERNATED},
        {3, HALVO_SYSTEM_STATE_UNKNOWN},     {4, HALVO_SYSTEM_STATE_UNKNOWN}, {5, HALVO_SYSTEM_STATE_UNKNOWN},
        {10, HALVO_SYSTEM_STATE_UNKNOWN},    {1, HALVO_SYSTEM_STATE_UNKNOWN}, {0, HALVO_SYSTEM_STATE_UNKNOWN},
        {65535, HALVO_SYSTEM_STATE_UNKNOWN},
    };
    for (const auto &[amt, board] : cases) {
        fake.setPowerState(amt);
        int32_t state = -1;
        ASSERT_EQ(get("Pawtrel*5", state), 0) << amt;
        EXPECT_EQ(state, board) << "PowerState " << amt;
    }

    const auto requests = fake.requests();
    ASSERT_EQ(requests.size(), 2 * std::size(cases)) << "one challenge and one answer per query";
    std::set<std::string> ids;
    for (size_t i = 0; i < requests.size(); ++i) {
        const std::string &authorization = requests[i].authorization;
        EXPECT_EQ(authorization.rfind("Basic", 0), std::string::npos);
        if (i % 2 == 0) {
            EXPECT_EQ(authorization, "") << "the password is offered only to a digest challenge";
            continue;
        }
        EXPECT_EQ(authorization.rfind("Digest ", 0), 0u);
        EXPECT_NE(authorization.find("qop=auth"), std::string::npos);
        EXPECT_EQ(authorization.find("response=\"\""), std::string::npos);
        EXPECT_EQ(authorization.find("Pawtrel"), std::string::npos);
        EXPECT_EQ(requests[i].contentType.rfind("application/soap+xml", 0), 0u);
        const auto envelope = halvo::fake::parseEnvelope(requests[i].body);
        ASSERT_TRUE(envelope.parsed);
        EXPECT_EQ(envelope.action, action::get);
        EXPECT_EQ(envelope.resourceUri, ns::associatedPowerManagementService);
        EXPECT_EQ(envelope.to, fake.url());
        EXPECT_EQ(envelope.replyTo, halvo::fake::anonymous);
        EXPECT_TRUE(envelope.selectors.empty());
        EXPECT_TRUE(ids.insert(envelope.messageId).second) << "a fresh MessageID each time";
    }
    EXPECT_EQ(fake.challenges(), static_cast<int>(std::size(cases)));
}

TEST(Amt, AChangeSendsItsPowerStateForTheManagedSystem)
{
    FakeAmt::Options off;
    off.powerState = 8;
    FakeAmt fake(off);
    Conf conf(portLine(fake));
    const std::pair<int32_t, int> cases[] = {{HALVO_SYSTEM_STATE_ON, 2},
                                             {HALVO_SYSTEM_STATE_OFF, 8},
                                             {HALVO_SYSTEM_STATE_RESTART, 10},
                                             {HALVO_SYSTEM_STATE_HIBERNATED, 7}};
    for (const auto &[board, amt] : cases) {
        ASSERT_EQ(set("Pawtrel*5", board), 0) << board;
        const std::string body = fake.requests().back().body;
        const auto envelope = halvo::fake::parseEnvelope(body);
        EXPECT_EQ(envelope.action, action::requestPowerStateChange);
        EXPECT_EQ(envelope.resourceUri, ns::powerManagementService);
        EXPECT_EQ(envelope.selectors.at("Name"), "Intel(r) AMT Power Management Service");
        EXPECT_EQ(envelope.selectors.at("CreationClassName"), "CIM_PowerManagementService");
        EXPECT_EQ(
            halvo::fake::bodyText(body, ns::powerManagementService, {"RequestPowerStateChange_INPUT", "PowerState"}),
            std::to_string(amt));
        const auto element = halvo::fake::managedElement(body);
        ASSERT_TRUE(element.found);
        EXPECT_EQ(element.resourceUri, ns::computerSystem);
        EXPECT_EQ(element.selectors.at("Name"), "ManagedSystem");
        EXPECT_EQ(element.selectors.at("CreationClassName"), "CIM_ComputerSystem");
    }
    EXPECT_EQ(fake.powerState(), 7);

    const size_t sent = fake.requests().size();
    for (const int32_t bad : {-1, 4, 99})
        EXPECT_EQ(cls(set("Pawtrel*5", bad)), HALVO_CLASS_ARGUMENT) << bad;
    EXPECT_EQ(fake.requests().size(), sent) << "a code that requests nothing sends nothing";
}

TEST(Amt, RefusalsFaultsAndOddRepliesHaveTheirClasses)
{
    FakeAmt fake;
    Conf conf(portLine(fake));
    int32_t state = -1;
    EXPECT_EQ(cls(get("wrong", state)), HALVO_CLASS_ACCESS);
    EXPECT_EQ(cls(set("wrong", HALVO_SYSTEM_STATE_OFF)), HALVO_CLASS_ACCESS);
    EXPECT_EQ(cls(get("", state)), HALVO_CLASS_ACCESS);
    EXPECT_EQ(state, -1) << "a failed query leaves the output alone";
    EXPECT_EQ(fake.powerState(), 2);

    // 4097 and 4099: the firmware's refusals of a change it cannot make now.
    for (const uint32_t value : {4097u, 4099u, 1u}) {
        fake.setReturnValue(value);
        EXPECT_EQ(cls(set("Pawtrel*5", HALVO_SYSTEM_STATE_OFF)), HALVO_CLASS_DEVICE) << value;
    }
    EXPECT_EQ(fake.powerState(), 2);
    fake.setReturnValue(0);

    for (const auto reply : {FakeAmt::Reply::MalformedXml, FakeAmt::Reply::SoapFault, FakeAmt::Reply::HttpError500}) {
        fake.setReply(reply);
        EXPECT_EQ(cls(get("Pawtrel*5", state)), HALVO_CLASS_DEVICE) << int(reply);
        EXPECT_EQ(cls(set("Pawtrel*5", HALVO_SYSTEM_STATE_ON)), HALVO_CLASS_DEVICE) << int(reply);
    }

    fake.setReply(FakeAmt::Reply::UnfamiliarPrefixes);
    fake.setPowerState(7);
    ASSERT_EQ(get("Pawtrel*5", state), 0);
    EXPECT_EQ(state, HALVO_SYSTEM_STATE_HIBERNATED);
    EXPECT_EQ(set("Pawtrel*5", HALVO_SYSTEM_STATE_ON), 0);
    EXPECT_EQ(fake.powerState(), 2);

    // A nonce the firmware let expire is answered by a fresh challenge.
    fake.setReply(FakeAmt::Reply::Normal);
    fake.expireNonces();
    EXPECT_EQ(get("Pawtrel*5", state), 0);
}

TEST(Amt, ASilentOrAbsentFirmwareIsAConnectionLossWithinTheLimits)
{
    FakeAmt fake;
    fake.setReply(FakeAmt::Reply::Silent);
    Conf conf(portLine(fake) + "amt_timeout_ms = 400\n");
    int32_t state = -1;
    auto start = Clock::now();
    // Meanwhile the boards' own calls go on: the exchange holds no lock of
    // theirs.
    std::thread query([&] { EXPECT_EQ(cls(get("Pawtrel*5", state)), HALVO_CLASS_CONNECTION); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto before = Clock::now();
    int32_t seconds = 0;
    EXPECT_EQ(HalvoSystemUpTime(0, &seconds), 0);
    EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(50));
    query.join();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(350));

    // Nothing listens on a port just given up.
    int closed = 0;
    {
        FakeAmt gone;
        closed = gone.port();
    }
    Conf other("amt_port = " + std::to_string(closed) + "\n");
    start = Clock::now();
    EXPECT_EQ(cls(get("Pawtrel*5", state)), HALVO_CLASS_CONNECTION);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
    // Not an address, and (tests reach loopback only) not this machine.
    for (const char *address : {"", "127.0.0.1/wsman?x", "user@127.0.0.1", "10.9.9.9", "[::2]"})
        EXPECT_EQ(cls(get("Pawtrel*5", state, address)), HALVO_CLASS_CONNECTION) << address;
    EXPECT_EQ(state, -1);
}

// With amt_tls the firmware's certificate must verify against amt_ca; one
// from another CA is refused as credentials are, not retried.
TEST(Amt, TlsTrustsOnlyTheConfiguredAuthority)
{
    TestPki pki;
    FakeAmt::Options options;
    options.certificate = pki.path("board.pem");
    options.key = pki.path("board.key");
    FakeAmt fake(options);
    int32_t state = -1;
    {
        Conf conf(portLine(fake) + "amt_tls = on\namt_ca = " + pki.path("ca.pem") + "\n");
        ASSERT_EQ(get("Pawtrel*5", state), 0);
        EXPECT_EQ(state, HALVO_SYSTEM_STATE_ON);
        EXPECT_EQ(halvo::fake::parseEnvelope(fake.requests().back().body).to, fake.url());
    }
    {
        Conf conf(portLine(fake) + "amt_tls = on\namt_ca = " + pki.path("other.pem") + "\n");
        EXPECT_EQ(cls(get("Pawtrel*5", state)), HALVO_CLASS_ACCESS);
    }
    Conf plain(portLine(fake));
    EXPECT_NE(get("Pawtrel*5", state), 0) << "plain HTTP to a TLS port";
}

TEST(Amt, TheDemoBoardsFirmwareStaysInProcess)
{
    FakeAmt fake;
    Conf conf(portLine(fake));
    int32_t state = -1;
    ASSERT_EQ(get("Pawtrel*5", state, "192.0.2.30"), 0);
    EXPECT_EQ(state, HALVO_SYSTEM_STATE_HIBERNATED);
    EXPECT_TRUE(fake.requests().empty());
}

} // namespace
