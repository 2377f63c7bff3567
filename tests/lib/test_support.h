// Shared fixture of the library tests: every test starts from the demo board
// with the simulated clock frozen and calls recorded, so time-dependent values
// are reproducible.
#ifndef HALVO_TEST_SUPPORT_H
#define HALVO_TEST_SUPPORT_H

#include "board/halvo.h"
#include "libhalvo/backends/sim/halvo_sim.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

inline int errorClass(int32_t status)
{
    return HALVO_ERROR_CLASS(status);
}

// One call and the error class it must fail with; tables of these cover the
// refusals of the API.
struct Refusal {
    const char *what;
    std::function<int32_t()> call;
    int errorClass;
};

class SimTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        halvo_sim_reset();
        halvo_sim_freeze_clock(1);
        halvo_sim_record_calls(1);
    }
    void TearDown() override { halvo_sim_reset(); }

    static void load(const std::string &json)
    {
        ASSERT_EQ(halvo_sim_load_board(json.c_str()), 0) << halvo_sim_last_error();
    }
    static void patch(const std::string &json, const char *address = nullptr)
    {
        ASSERT_EQ(halvo_sim_patch_board(address, json.c_str()), 0) << halvo_sim_last_error();
    }
    static std::string callLog()
    {
        std::string text(halvo_sim_call_log(nullptr, 0), '\0');
        halvo_sim_call_log(text.data(), text.size() + 1);
        return text;
    }
    static void advanceSeconds(double seconds) { halvo_sim_advance_clock(static_cast<int64_t>(seconds * 1000)); }
    static void expectRefused(const std::vector<Refusal> &table)
    {
        for (const Refusal &r : table)
            EXPECT_EQ(errorClass(r.call()), r.errorClass) << r.what;
    }

    // Readers of one value that must succeed.
    template <typename T, typename F> static T read(F call)
    {
        T value{};
        EXPECT_EQ(call(&value), 0);
        return value;
    }
    static int32_t cpuTemp(int32_t h = 0)
    {
        return read<int32_t>([&](int32_t *v) { return HalvoGetCpuTemp(h, 0, v); });
    }
    static int32_t upTime(int32_t h = 0)
    {
        return read<int32_t>([&](int32_t *v) { return HalvoSystemUpTime(h, v); });
    }
    static int32_t bootCounter(int32_t h = 0)
    {
        return read<int32_t>([&](int32_t *v) { return HalvoGetBootCounter(h, v); });
    }
    static std::string boardName(int32_t handle = 0)
    {
        BoardInfo info{};
        EXPECT_EQ(HalvoGetBoardInfo(handle, &info), 0);
        return std::string(info.boardName, strnlen(info.boardName, sizeof info.boardName));
    }
    static int32_t openRemote(const char *address = "192.0.2.20")
    {
        int32_t handle = -1;
        EXPECT_EQ(HalvoLibInitialize(address, HALVO_LIBINIT_PORT, &handle, 0, 0), 0);
        return handle;
    }
};

#endif
