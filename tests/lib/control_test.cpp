// The simulator controls: forced statuses, descriptions, the call log, threads,
// and what the library does with hostile input.
#include "test_support.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace
{

using Control = SimTest;

std::string nested(int depth, char open, char close)
{
    std::string text = R"({"board": {"_deep": )";
    for (int i = 0; i < depth; ++i)
        text += open == '{' ? std::string(R"({"a": )") : std::string(1, open);
    return text + "0" + std::string(depth, close) + "}}";
}

std::string stderrOfResetWithBoardFile(const std::string &path)
{
    ::setenv("HALVO_BOARD", path.c_str(), 1);
    ::testing::internal::CaptureStderr();
    halvo_sim_reset();
    ::setenv("HALVO_BOARD", "demo", 1);
    return ::testing::internal::GetCapturedStderr();
}

TEST_F(Control, ForcedStatusesFailTheNextCallsOrEveryCallUntilRemoved)
{
    const int32_t broken = HALVO_MAKE_ERROR(HALVO_CLASS_DEVICE, 9);
    ASSERT_EQ(halvo_sim_force_status("HalvoSystemUpTime", broken, 2), 0);
    int32_t seconds = -1;
    EXPECT_EQ(HalvoSystemUpTime(0, &seconds), broken);
    EXPECT_EQ(HalvoSystemUpTime(0, &seconds), broken);
    EXPECT_EQ(seconds, -1) << "a forced failure writes no output";
    EXPECT_EQ(HalvoSystemUpTime(0, &seconds), 0);
    EXPECT_EQ(seconds, 12300);

    const int32_t lost = HALVO_MAKE_ERROR(HALVO_CLASS_CONNECTION, 1);
    const int32_t remote = openRemote();
    ASSERT_EQ(halvo_sim_force_status("HalvoGetBootCounter", lost, -1), 0);
    int32_t counter;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(HalvoGetBootCounter(0, &counter), lost);
    EXPECT_EQ(HalvoGetBootCounter(remote, &counter), lost) << "on every handle";
    ASSERT_EQ(halvo_sim_force_status("HalvoGetBootCounter", 0, 0), 0);
    EXPECT_EQ(HalvoGetBootCounter(0, &counter), 0);

    EXPECT_EQ(errorClass(halvo_sim_force_status("HalvoGetNothing", 0x30000, -1)), HALVO_CLASS_ARGUMENT);
    EXPECT_STRNE(halvo_sim_last_error(), "");
    EXPECT_EQ(errorClass(halvo_sim_force_status(nullptr, 0x30000, -1)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(halvo_sim_force_status("HalvoLibInitialize", 0x10000, 1), 0);
}

TEST_F(Control, ForcedOrBoardSetSuccessStillDoesTheWorkAndBoardStatusesStayOnTheirBoard)
{
    ASSERT_EQ(halvo_sim_force_status("HalvoGetCpuInfo", HALVO_STATUS_PARTIAL, 1), 0);
    ASSERT_EQ(halvo_sim_force_status("HalvoSetBacklightValue", HALVO_STATUS_PARTIAL, 1), 0);
    CpuInfo cpu{};
    EXPECT_EQ(HalvoGetCpuInfo(0, &cpu), HALVO_STATUS_PARTIAL);
    EXPECT_EQ(cpu.coreCount, 2);
    EXPECT_EQ(HalvoSetBacklightValue(0, 0, 33), HALVO_STATUS_PARTIAL);
    EXPECT_EQ(read<int32_t>([](int32_t *v) { return HalvoGetBacklightValue(0, 0, v); }), 33);
    patch(R"({"callStatus": {"HalvoGetFanMode": "unsupported"}})");
    uint8_t mode;
    EXPECT_EQ(errorClass(HalvoGetFanMode(0, 1, &mode)), HALVO_CLASS_UNSUPPORTED);
    EXPECT_EQ(HalvoGetFanMode(openRemote(), 1, &mode), 0);
}

TEST_F(Control, LoadIsAMergePatchOverTheDemoAndTheLiveJsonRoundTrips)
{
    patch(R"({"boardInfo": {"boardName": "changed"}})");
    load("{}");
    EXPECT_EQ(boardName(), "HVB-1520") << "{} is the demo board";
    load(R"({"board": {"boardInfo": {"boardName": "MY-BOARD"}, "batteries": null,
                       "storages": [{"sizeBytes": 4, "contentHex": "00414243"}, {"sizeBytes": 8}]},
             "remoteBoards": [{"address": "10.1.1.1", "boardInfo": {"boardName": "FAR"}}]})");
    EXPECT_EQ(boardName(), "MY-BOARD");
    CpuInfo cpu{};
    EXPECT_EQ(HalvoGetCpuInfo(0, &cpu), 0) << "keys not given keep the demo's values";
    BatteryInfo battery;
    EXPECT_EQ(errorClass(HalvoGetBatteryInfo(0, 0, &battery)), HALVO_CLASS_UNSUPPORTED);
    char bytes[4];
    ASSERT_EQ(HalvoStorageRead(0, 0, 0, bytes, 4), 0);
    EXPECT_EQ(std::string(bytes, 4), std::string("\0ABC", 4));
    EXPECT_EQ(boardName(openRemote("10.1.1.1")), "FAR");
    int32_t handle;
    EXPECT_EQ(errorClass(HalvoLibInitialize("192.0.2.20", HALVO_LIBINIT_PORT, &handle, 0, 0)),
              HALVO_CLASS_CONNECTION);

    load("{}");
    ASSERT_EQ(HalvoSetCpuFanSpeed(0, 77), 0);
    ASSERT_EQ(HalvoGpioSetLevel(0, 0, 0), 0);
    ASSERT_EQ(HalvoStorageWrite(0, 1, 0, "\x7f", 1), 0);
    std::string json(halvo_sim_board_json(nullptr, nullptr, 0), '\0');
    halvo_sim_board_json(nullptr, json.data(), json.size() + 1);
    EXPECT_NE(json.find("\"duty\": 77"), std::string::npos);
    EXPECT_NE(json.find("\"contentHex\": \"7fc0ffee12345678\""), std::string::npos);
    patch(json);
    EXPECT_EQ(read<uint8_t>([](uint8_t *v) { return HalvoGpioGetLevel(0, 8, v); }), 0);
}

TEST_F(Control, DescriptionErrorsNameTheKeyAndKeepTheWorld)
{
    const struct {
        const char *json, *where;
    } cases[] = {
        {"{", "parse"},
        {R"({"board": {"fans": [{"name": "F", "duty": 256}]}})", "board.fans[0].duty"},
        {R"({"board": {"gpio": {"pinCount": 4, "loopback": [[0, 4]]}}})", "board.gpio.loopback[0][1]"},
        {R"({"board": {"storages": [{"sizeBytes": 2, "content": "abc"}]}})", "board.storages[0]"},
        {R"({"board": {"boardInfo": {"boardNmae": "typo"}}})", "board.boardInfo.boardNmae"},
        {R"({"board": {"boardInfo": {"boardName": "\u20ac"}}})", "board.boardInfo.boardName"},
        {R"({"board": {"callStatus": {"HalvoFly": 1}}})", "board.callStatus.HalvoFly"},
        {R"({"board": {"cpuPerformance": {"mode": "turbo"}}})", "board.cpuPerformance.mode"},
        {R"({"board": {"smbus": [{"devices": [{"address": "0x50", "type": "flux"}]}]}})", "board.smbus[0]"},
        {R"({"remoteBoards": [{"boardInfo": {}}]})", "remoteBoards[0].address"},
        // Numbers are checked against the field that holds them, and where they are used.
        {R"({"board": {"batteries": [{"designedVoltageMilliVolt": 2147483000}]}})",
         "board.batteries[0].designedVoltageMilliVolt"},
        {R"({"board": {"gpio": {"pinCount": 16, "loopback": [[4294967296, 1]]}}})", "board.gpio.loopback[0][0]"},
        {R"({"amtEndpoints": [{"ipAddress": "10.0.0.1", "powerState": 4294967296}]})", "amtEndpoints[0].powerState"},
        {R"({"board": {"cpu": {"cpuCount": -1}}})", "board.cpu.cpuCount"},
        {R"({"board": {"cpuPerformance": {"currentFrequencyKHz": 1e11}}})", "board.cpuPerformance.currentFrequencyKHz"},
        {R"({"board": {"callStatus": {"HalvoGetCpuInfo": 4294967296}}})", "board.callStatus.HalvoGetCpuInfo"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(errorClass(halvo_sim_load_board(c.json)), HALVO_CLASS_ARGUMENT) << c.json;
        EXPECT_NE(std::string(halvo_sim_last_error()).find(c.where), std::string::npos)
            << c.json << " gave: " << halvo_sim_last_error();
    }
    const std::string name(129, 'N');
    EXPECT_NE(halvo_sim_patch_board(nullptr, (R"({"boardInfo": {"boardName": ")" + name + R"("}})").c_str()), 0);
    EXPECT_NE(std::string(halvo_sim_last_error()).find("board.boardInfo.boardName"), std::string::npos);
    EXPECT_EQ(errorClass(halvo_sim_patch_board("10.0.0.99", "{}")), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(boardName(), "HVB-1520");
}

// The buffers end exactly at the heap block, so ASan sees any byte read past
// what a call accepted.
TEST_F(Control, CallLogShowsArgumentsButNoPasswordsNorBytesOfRefusedCalls)
{
    halvo_sim_clear_call_log();
    std::vector<char> storage(16, 'a');
    std::vector<uint8_t> block(32, 0x11);
    int32_t state;
    HalvoGetSystemStateAmt("192.0.2.20", "admin", "Pawtrel*5", &state);
    HalvoGetCpuInfo(0, nullptr);
    EXPECT_NE(HalvoStorageWrite(0, 0, 0, storage.data(), 101), 0);
    EXPECT_NE(HalvoStorageWrite(0, 0, 0, storage.data(), INT32_MAX), 0);
    EXPECT_NE(HalvoSmbusWriteBlock(0, 0, 0x0b, 0x20, block.data(), 33), 0);
    halvo_sim_force_status("HalvoStorageWrite", HALVO_MAKE_ERROR(HALVO_CLASS_DEVICE, 1), 1);
    EXPECT_NE(HalvoStorageWrite(0, 0, 0, storage.data(), 16), 0);
    EXPECT_EQ(HalvoStorageWrite(0, 0, 3, "AB\n", 3), 0);
    storage.assign(100, 'a');
    EXPECT_EQ(HalvoStorageWrite(0, 0, 0, storage.data(), 100), 0);
    std::string hex32;
    while (hex32.size() < 64)
        hex32 += "61";
    EXPECT_EQ(callLog(), "HalvoGetSystemStateAmt(\"192.0.2.20\", \"admin\", \"***\", *) -> 0\n"
                         "HalvoGetCpuInfo(0, NULL) -> 131073\n"
                         "HalvoStorageWrite(0, 0, 0, *, 101) -> 131074\n"
                         "HalvoStorageWrite(0, 0, 0, *, 2147483647) -> 131074\n"
                         "HalvoSmbusWriteBlock(0, 0, 11, 32, *, 33) -> 131074\n"
                         "HalvoStorageWrite(0, 0, 0, *, 16) -> 262145\n"
                         "HalvoStorageWrite(0, 0, 3, \"41420a\", 3) -> 0\n"
                         "HalvoStorageWrite(0, 0, 0, \"" +
                             hex32 + "...\", 100) -> 0\n");
}

TEST_F(Control, CallLogIsBoundedInBytesAndFollowsSnprintf)
{
    halvo_sim_clear_call_log();
    for (int i = 0; i < 40000; ++i)
        HalvoWatchdogTrigger(0);
    const std::string log = callLog();
    EXPECT_LE(log.size(), size_t(1) << 20);
    EXPECT_GT(log.size(), (size_t(1) << 20) - 64);
    char small[5];
    EXPECT_EQ(halvo_sim_call_log(small, sizeof small), log.size());
    EXPECT_STREQ(small, "Halv");
    halvo_sim_clear_call_log();
    EXPECT_EQ(halvo_sim_call_log(nullptr, 0), 0u);
    // Off, nothing is recorded.
    halvo_sim_record_calls(0);
    HalvoWatchdogTrigger(0);
    EXPECT_EQ(halvo_sim_call_log(nullptr, 0), 0u);
}

// Controls, opening and closing, and calls on a handle another thread closes,
// all at once: every call completes or reports the handle class.
TEST(Threads, ConcurrentCallsWithTheClockRunningStayConsistent)
{
    halvo_sim_reset();
    std::atomic<int> failures{0};
    std::atomic<int32_t> shared{-1};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &failures, &shared] {
            for (int i = 0; i < 300; ++i) {
                FanInfo fans[3];
                int32_t value, handle = t == 3 ? shared.load() : 0;
                uint8_t byte;
                const int32_t status = HalvoGetFanList(handle, fans, 3);
                if ((status != 0 && status != HALVO_STATUS_PARTIAL && errorClass(status) != HALVO_CLASS_HANDLE) ||
                    HalvoGetCpuTemp(0, 0, &value) != 0 || HalvoSmbusReadByte(0, 0, 0x50, uint8_t(i), &byte) != 0)
                    ++failures;
                if (t == 0 && i % 50 == 0)
                    halvo_sim_patch_board(nullptr, R"({"intruderStatus": 1})");
                if (t == 1 || t == 2) {
                    if (HalvoLibInitialize("192.0.2.20", HALVO_LIBINIT_PORT, &handle, 0, 0) != 0)
                        ++failures;
                    if (t == 1 ? HalvoLibUnInitialize(handle) != 0 : (shared = handle, false))
                        ++failures;
                }
                if (t == 3)
                    HalvoLibUnInitialize(handle);
            }
        });
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
    halvo_sim_reset();
}

TEST_F(Control, DeepOrHugeDescriptionsAndOddFilesAreRefusedWithTheDemoKept)
{
    for (const std::string &json : {nested(1000000, '[', ']'), nested(100000, '{', '}')}) {
        EXPECT_EQ(errorClass(halvo_sim_load_board(json.c_str())), HALVO_CLASS_ARGUMENT);
        EXPECT_NE(std::string(halvo_sim_last_error()).find("deeper than 64"), std::string::npos);
        EXPECT_EQ(errorClass(halvo_sim_patch_board(nullptr, json.c_str() + 10)), HALVO_CLASS_ARGUMENT);
    }
    load(nested(60, '[', ']'));
    const std::string fifo = ::testing::TempDir() + "halvo_board_fifo";
    const std::string big = ::testing::TempDir() + "halvo_board_big.json";
    std::ofstream(big) << R"({"board": {"boardInfo": {"boardName": "FROM-FILE"}}})";
    EXPECT_EQ(stderrOfResetWithBoardFile(big), "");
    EXPECT_EQ(boardName(), "FROM-FILE");
    std::ofstream(big) << R"({"board": )";
    EXPECT_NE(stderrOfResetWithBoardFile(big).find(big), std::string::npos);
    EXPECT_EQ(boardName(), "HVB-1520");
    std::remove(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_NE(stderrOfResetWithBoardFile(fifo).find("not a regular file"), std::string::npos);
    std::ofstream(big) << "{}";
    ASSERT_EQ(::truncate(big.c_str(), (16 << 20) + 1), 0);
    EXPECT_NE(stderrOfResetWithBoardFile(big).find("larger than 16 MiB"), std::string::npos);
    std::remove(fifo.c_str());
    std::remove(big.c_str());
}

// A thousand boards, each used once, then an idle hour: a call on the local
// board runs its own model only.
TEST_F(Control, IdleRemoteBoardsCostNothingAndCatchUpWhenUsed)
{
    std::string remote;
    std::vector<std::string> addresses;
    for (int i = 0; i < 1000; ++i) {
        addresses.push_back("10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250));
        remote += std::string(i ? "," : "") + R"({"address": ")" + addresses.back() + R"("})";
    }
    load(R"({"remoteBoards": [)" + remote + "]}");
    for (const std::string &address : addresses)
        HalvoLibUnInitialize(openRemote(address.c_str()));
    advanceSeconds(3600);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(upTime(), 12300 + 3600);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(upTime(openRemote("10.0.3.249")), 12300 + 3600);
}

TEST_F(Control, ControlErrorsArePerThreadAndTheClockSaturates)
{
    EXPECT_NE(halvo_sim_force_status("HalvoNothing", 0, 1), 0);
    const char *mine = halvo_sim_last_error();
    const std::string text = mine;
    std::thread([] { halvo_sim_load_board("{\"board\": {\"cpu\": {\"cpuCount\": -1}}}"); }).join();
    EXPECT_EQ(std::string(mine), text);
    halvo_sim_advance_clock(INT64_MAX);
    const int32_t seconds = upTime();
    halvo_sim_advance_clock(INT64_MAX);
    EXPECT_EQ(upTime(), seconds);
}

// Runs in its own process with $HALVO_SIM_LOG naming a file that does not
// exist yet (see CMakeLists.txt).
TEST(LogFile, IsCreatedPrivateAndNeverHoldsAPassword)
{
    const char *path = std::getenv("HALVO_SIM_LOG");
    if (!path)
        GTEST_SKIP() << "needs HALVO_SIM_LOG";
    int32_t state;
    HalvoGetSystemStateAmt("192.0.2.10", "admin", "Pawtrel*5", &state);
    struct stat st {
    };
    ASSERT_EQ(::stat(path, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(R"(HalvoGetSystemStateAmt("192.0.2.10", "admin", "***", *) -> 0)"), std::string::npos);
    EXPECT_EQ(text.find("Pawtrel"), std::string::npos);
}

} // namespace
