// Handles, remote boards, power state and AMT.
#include "test_support.h"

namespace
{

class Handles : public SimTest
{
};

TEST_F(Handles, UnknownAddressIsAConnectionFailureAndWritesNoHandle)
{
    int32_t handle = -7;
    EXPECT_EQ(errorClass(HalvoLibInitialize("10.9.9.9", HALVO_LIBINIT_PORT, &handle, 0, 0)), HALVO_CLASS_CONNECTION);
    EXPECT_EQ(errorClass(HalvoLibInitialize("192.168.1.20", 7891, &handle, 0, 0)), HALVO_CLASS_CONNECTION);
    EXPECT_EQ(handle, -7);
    EXPECT_EQ(errorClass(HalvoLibInitialize(nullptr, HALVO_LIBINIT_PORT, &handle, 0, 0)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoLibInitialize("192.168.1.20", HALVO_LIBINIT_PORT, nullptr, 0, 0)), HALVO_CLASS_ARGUMENT);
}

TEST_F(Handles, RemoteHandleSeesTheRemoteBoard)
{
    const int32_t remote = openRemote();
    EXPECT_GE(remote, 1);
    EXPECT_EQ(boardName(remote), "HVB-1210");
    EXPECT_EQ(boardName(0), "HVB-1520");

    BatteryInfo battery;
    EXPECT_EQ(errorClass(HalvoGetBatteryInfo(remote, 0, &battery)), HALVO_CLASS_UNSUPPORTED);
    BatteryState state;
    EXPECT_EQ(errorClass(HalvoGetBatteryState(remote, 0, &state)), HALVO_CLASS_UNSUPPORTED);
    int8_t type = -1, percent = -1;
    ASSERT_EQ(HalvoGetCpuPerformance(remote, &type, &percent), 0);
    EXPECT_EQ(percent, 80);
    int32_t count = 0;
    ASSERT_EQ(HalvoGetTempSensorCount(remote, &count), 0);
    EXPECT_EQ(count, 2);
}

TEST_F(Handles, EachInitializeGivesANewHandle)
{
    const int32_t first = openRemote();
    const int32_t second = openRemote();
    EXPECT_NE(first, second);
    EXPECT_EQ(HalvoLibUnInitialize(first), 0);
    EXPECT_EQ(boardName(second), "HVB-1210");
}

TEST_F(Handles, ClosedAndUnknownHandlesFailWithTheHandleClass)
{
    const int32_t remote = openRemote();
    ASSERT_EQ(HalvoLibUnInitialize(remote), 0);
    int32_t seconds;
    EXPECT_EQ(errorClass(HalvoSystemUpTime(remote, &seconds)), HALVO_CLASS_HANDLE);
    EXPECT_EQ(errorClass(HalvoLibUnInitialize(remote)), HALVO_CLASS_HANDLE);
    EXPECT_EQ(errorClass(HalvoSystemUpTime(-1, &seconds)), HALVO_CLASS_HANDLE);
    EXPECT_EQ(errorClass(HalvoSystemUpTime(99, &seconds)), HALVO_CLASS_HANDLE);
}

TEST_F(Handles, UnInitializeOfTheLocalBoardKeepsItUsable)
{
    EXPECT_EQ(HalvoLibUnInitialize(0), 0);
    EXPECT_EQ(boardName(0), "HVB-1520");
}

TEST_F(Handles, LocalBoardIsReachableThroughItsOwnAddress)
{
    const int32_t handle = openRemote("192.168.1.10");
    EXPECT_EQ(boardName(handle), "HVB-1520");
}

TEST_F(Handles, BoardGoingOfflineFailsWithTheConnectionClass)
{
    const int32_t remote = openRemote();
    patch(R"({"online": false})", "192.168.1.20");
    int32_t seconds;
    EXPECT_EQ(errorClass(HalvoSystemUpTime(remote, &seconds)), HALVO_CLASS_CONNECTION);
    int32_t handle;
    EXPECT_EQ(errorClass(HalvoLibInitialize("192.168.1.20", HALVO_LIBINIT_PORT, &handle, 0, 0)),
              HALVO_CLASS_CONNECTION);
    EXPECT_EQ(boardName(0), "HVB-1520");

    patch(R"({"online": true})", "192.168.1.20");
    EXPECT_EQ(HalvoSystemUpTime(remote, &seconds), 0);
}

TEST_F(Handles, ResetClosesRemoteHandles)
{
    const int32_t remote = openRemote();
    halvo_sim_reset();
    int32_t seconds;
    EXPECT_EQ(errorClass(HalvoSystemUpTime(remote, &seconds)), HALVO_CLASS_HANDLE);
}

class Power : public SimTest
{
};

TEST_F(Power, TurnedOffBoardAnswersEveryCallWithConnectionLoss)
{
    const int32_t remote = openRemote();
    ASSERT_EQ(HalvoSetSystemState(remote, 1), 0);
    int32_t seconds;
    EXPECT_EQ(errorClass(HalvoSystemUpTime(remote, &seconds)), HALVO_CLASS_CONNECTION);
    CpuInfo cpu;
    EXPECT_EQ(errorClass(HalvoGetCpuInfo(remote, &cpu)), HALVO_CLASS_CONNECTION);
    EXPECT_EQ(errorClass(HalvoSetSystemState(remote, 0)), HALVO_CLASS_CONNECTION);
    EXPECT_EQ(upTime(0), 12300) << "the local board is not affected";
}

TEST_F(Power, AmtTurnsAPoweredOffBoardBackOnWithANewBoot)
{
    const int32_t remote = openRemote();
    const int32_t boots = bootCounter(remote);
    ASSERT_EQ(HalvoSetSystemState(remote, 1), 0);

    int32_t state = -1;
    ASSERT_EQ(HalvoGetSystemStateAmt("192.168.1.20", "admin", "Pawtrel*5", &state), 0);
    EXPECT_EQ(state, 1);
    ASSERT_EQ(HalvoSetSystemStateAmt("192.168.1.20", "admin", "Pawtrel*5", 0), 0);
    ASSERT_EQ(HalvoGetSystemStateAmt("192.168.1.20", "admin", "Pawtrel*5", &state), 0);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(bootCounter(remote), boots + 1);
    EXPECT_EQ(upTime(remote), 0);
}

TEST_F(Power, AmtRestartOfARunningBoardRebootsIt)
{
    const int32_t boots = bootCounter();
    ASSERT_EQ(HalvoSetSystemStateAmt("192.168.1.10", "admin", "Pawtrel*5", 3), 0);
    EXPECT_EQ(bootCounter(), boots + 1);
    EXPECT_EQ(upTime(), 0);
}

TEST_F(Power, AmtTurnOffOfTheLocalBoardCutsHandleZero)
{
    ASSERT_EQ(HalvoSetSystemStateAmt("192.168.1.10", "admin", "Pawtrel*5", 1), 0);
    int32_t seconds;
    EXPECT_EQ(errorClass(HalvoSystemUpTime(0, &seconds)), HALVO_CLASS_CONNECTION);
}

TEST_F(Power, AmtRefusesWrongCredentialsAndUnknownAddresses)
{
    int32_t state = -1;
    EXPECT_EQ(errorClass(HalvoGetSystemStateAmt("192.168.1.10", "admin", "x", &state)), HALVO_CLASS_ACCESS);
    EXPECT_EQ(errorClass(HalvoGetSystemStateAmt("192.168.1.10", "root", "Pawtrel*5", &state)), HALVO_CLASS_ACCESS);
    EXPECT_EQ(errorClass(HalvoSetSystemStateAmt("192.168.1.10", "admin", "x", 1)), HALVO_CLASS_ACCESS);
    EXPECT_EQ(errorClass(HalvoGetSystemStateAmt("192.168.1.99", "admin", "Pawtrel*5", &state)), HALVO_CLASS_CONNECTION);
    EXPECT_EQ(errorClass(HalvoGetSystemStateAmt(nullptr, "admin", "Pawtrel*5", &state)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoSetSystemStateAmt("192.168.1.10", "admin", "Pawtrel*5", 4)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(state, -1);
}

TEST_F(Power, StandaloneAmtEndpointReportsItsOwnState)
{
    int32_t state = -1;
    ASSERT_EQ(HalvoGetSystemStateAmt("192.168.1.30", "admin", "Pawtrel*5", &state), 0);
    EXPECT_EQ(state, 2);
    ASSERT_EQ(HalvoSetSystemStateAmt("192.168.1.30", "admin", "Pawtrel*5", 3), 0);
    ASSERT_EQ(HalvoGetSystemStateAmt("192.168.1.30", "admin", "Pawtrel*5", &state), 0);
    EXPECT_EQ(state, 0);
}

} // namespace
