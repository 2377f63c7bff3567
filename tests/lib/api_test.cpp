// The board API as a caller sees it: handles, power state and AMT, records and
// the list convention, and what every call refuses.
#include "test_support.h"

namespace
{

using Api = SimTest;

int32_t readInt32(const unsigned char *bytes)
{
    int32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

TEST_F(Api, EveryCallRefusesWhatItCannotDo)
{
    const int32_t closed = openRemote();
    ASSERT_EQ(HalvoLibUnInitialize(closed), 0);
    int32_t i = -7;
    int32_t *none = nullptr;
    uint8_t b = 0, buffer[HALVO_BLOCK_BUFFER_SIZE], data[64] = {};
    uint32_t n = 5;
    char bytes[32];
    FanInfo fan;
    MemoryModuleInfo module;
    BatteryInfo battery;
    expectRefused({
        {"unknown address", [&] { return HalvoLibInitialize("10.9.9.9", HALVO_LIBINIT_PORT, &i, 0, 0); }, 1},
        {"null address", [&] { return HalvoLibInitialize(nullptr, HALVO_LIBINIT_PORT, &i, 0, 0); }, 2},
        {"null handle", [&] { return HalvoLibInitialize("192.0.2.20", HALVO_LIBINIT_PORT, none, 0, 0); }, 2},
        {"closed handle", [&] { return HalvoSystemUpTime(closed, &i); }, 5},
        {"unopened handle", [&] { return HalvoSystemUpTime(99, &i); }, 5},
        {"null record", [&] { return HalvoGetCpuInfo(0, nullptr); }, 2},
        {"null storage buffer", [&] { return HalvoStorageRead(0, 0, 0, nullptr, 4); }, 2},
        {"null list", [&] { return HalvoGetFanList(0, nullptr, 3); }, 2},
        {"list of 0", [&] { return HalvoGetFanList(0, &fan, 0); }, 2},
        {"fan before the list", [&] { return HalvoGetFan(0, -1, &fan); }, 2},
        {"module 2 of 2", [&] { return HalvoGetMemoryModuleInfo(0, 2, &module); }, 2},
        {"battery 1 of 1", [&] { return HalvoGetBatteryInfo(0, 1, &battery); }, 2},
        {"frequency kind 3", [&] { return HalvoGetCpuFreq(0, 3, &i); }, 2},
        {"watchdog 0 ms", [&] { return HalvoWatchdogEnable(0, 0); }, 2},
        {"watchdog too long", [&] { return HalvoWatchdogEnable(0, 65535001); }, 2},
        {"cruise fan 3 of 3", [&] { return HalvoSetFanModeThermalCruise(0, 3, 39000, 2000); }, 2},
        {"cruise on a plain fan", [&] { return HalvoSetFanModeThermalCruise(0, 1, 39000, 2000); }, 3},
        {"cruise tolerance -1", [&] { return HalvoSetFanModeThermalCruise(0, 0, 39000, -1); }, 2},
        {"fan mode of fan 0", [&] { return HalvoGetFanMode(0, 0, &b); }, 2},
        {"performance type 4", [&] { return HalvoSetCpuPerformance(0, 4, 50); }, 2},
        {"pin 16 of 16", [&] { return HalvoGpioGetDirection(0, 16, &b); }, 2},
        {"direction 2", [&] { return HalvoGpioSetDirection(0, 0, 2); }, 2},
        {"level 2", [&] { return HalvoGpioSetLevel(0, 0, 2); }, 2},
        {"storage read past the end", [&] { return HalvoStorageRead(0, 0, 99, bytes, 2); }, 2},
        {"storage offset -1", [&] { return HalvoStorageRead(0, 0, -1, bytes, 2); }, 2},
        {"storage write of 9 into 8", [&] { return HalvoStorageWrite(0, 1, 0, bytes, 9); }, 2},
        {"storage offset overflows", [&] { return HalvoStorageWrite(0, 0, INT32_MAX, bytes, 2); }, 2},
        {"storage 2 of 2", [&] { return HalvoStorageWrite(0, 2, 0, bytes, 1); }, 2},
        {"backlight 101", [&] { return HalvoSetBacklightValue(0, 0, 101); }, 2},
        {"display 1 of 1", [&] { return HalvoSetBacklightValue(0, 1, 50); }, 2},
        {"block of 0", [&] { return HalvoSmbusWriteBlock(0, 0, 0x0b, 0x2f, data, 0); }, 2},
        {"block of 33", [&] { return HalvoSmbusWriteBlock(0, 0, 0x0b, 0x2f, data, 33); }, 2},
        {"read-only battery word", [&] { return HalvoSmbusWriteWord(0, 0, 0x0b, 0x0f, 1); }, 4},
        {"read from nobody", [&] { return HalvoSmbusReadByte(0, 0, 0x51, 0, &b); }, 4},
        {"no SMBus 2", [&] { return HalvoSmbusQuickCommand(0, 2, 0x50, 0); }, 2},
        {"8-bit address", [&] { return HalvoSmbusQuickCommand(0, 0, 0xa0, 0); }, 2},
        {"I2C read from nobody", [&] { return HalvoI2cRead(0, 0, 0x51, 0, 1, buffer, &n); }, 4},
        {"no I2C bus 1", [&] { return HalvoI2cRead(0, 1, 0x50, 0, 1, buffer, &n); }, 2},
        {"null I2C outputs", [&] { return HalvoI2cRead(0, 0, 0x50, 0, 0, nullptr, nullptr); }, 2},
        {"AMT wrong password", [&] { return HalvoGetSystemStateAmt("192.0.2.10", "admin", "x", &i); }, 6},
        {"AMT wrong user", [&] { return HalvoGetSystemStateAmt("192.0.2.10", "root", "Pawtrel*5", &i); }, 6},
        {"AMT nobody there", [&] { return HalvoGetSystemStateAmt("192.0.2.99", "admin", "Pawtrel*5", &i); }, 1},
        {"AMT state 4", [&] { return HalvoSetSystemStateAmt("192.0.2.10", "admin", "Pawtrel*5", 4); }, 2},
    });
    EXPECT_EQ(i, -7) << "a failed call writes no output";
    EXPECT_EQ(n, 5u);
    patch(R"({"cpuPerformance": {"acceptedTypes": [0, 2]}, "callStatus": {"HalvoGetMemoryInfo": "device"}})");
    EXPECT_EQ(HalvoSetCpuPerformance(0, 2, 75), 0);
    MemoryInfo info;
    std::memset(&info, 0xAB, sizeof info);
    expectRefused({{"type the board refuses", [&] { return HalvoSetCpuPerformance(0, 1, 50); }, 3},
                   {"board-set status", [&] { return HalvoGetMemoryInfo(0, &info); }, 4}});
    EXPECT_EQ(static_cast<unsigned char>(info.memoryType[0]), 0xAB);
}

TEST_F(Api, HandlesAreNewPerInitializeAndReachTheirOwnBoard)
{
    const int32_t first = openRemote(), second = openRemote();
    EXPECT_GE(first, 1);
    EXPECT_NE(first, second);
    EXPECT_EQ(boardName(first), "HVB-1210");
    EXPECT_EQ(boardName(0), "HVB-1520");
    EXPECT_EQ(HalvoLibUnInitialize(first), 0);
    EXPECT_EQ(boardName(second), "HVB-1210");
    int8_t type = -1, percent = -1;
    ASSERT_EQ(HalvoGetCpuPerformance(second, &type, &percent), 0);
    EXPECT_EQ(percent, 80);
    EXPECT_EQ(read<int32_t>([&](int32_t *v) { return HalvoGetTempSensorCount(second, v); }), 2);
    BatteryState state;
    EXPECT_EQ(errorClass(HalvoGetBatteryState(second, 0, &state)), HALVO_CLASS_UNSUPPORTED);

    EXPECT_EQ(HalvoLibUnInitialize(0), 0);
    EXPECT_EQ(boardName(0), "HVB-1520") << "closing handle 0 keeps the local board";
    EXPECT_EQ(boardName(openRemote("192.0.2.10")), "HVB-1520") << "the local board through its own address";
    halvo_sim_reset();
    int32_t seconds;
    EXPECT_EQ(errorClass(HalvoSystemUpTime(second, &seconds)), HALVO_CLASS_HANDLE) << "reset closes handles";
}

TEST_F(Api, OfflineOrTurnedOffBoardsAreConnectionLossesOfThatHandleOnly)
{
    const int32_t remote = openRemote();
    patch(R"({"online": false})", "192.0.2.20");
    int32_t seconds, handle;
    EXPECT_EQ(errorClass(HalvoSystemUpTime(remote, &seconds)), HALVO_CLASS_CONNECTION);
    EXPECT_EQ(errorClass(HalvoLibInitialize("192.0.2.20", HALVO_LIBINIT_PORT, &handle, 0, 0)),
              HALVO_CLASS_CONNECTION);
    patch(R"({"online": true})", "192.0.2.20");
    EXPECT_EQ(HalvoSystemUpTime(remote, &seconds), 0);

    ASSERT_EQ(HalvoSetSystemState(remote, 1), 0);
    CpuInfo cpu;
    EXPECT_EQ(errorClass(HalvoGetCpuInfo(remote, &cpu)), HALVO_CLASS_CONNECTION);
    EXPECT_EQ(errorClass(HalvoSetSystemState(remote, 0)), HALVO_CLASS_CONNECTION);
    EXPECT_EQ(upTime(0), 12300) << "the local board is not affected";
}

TEST_F(Api, AmtQueriesAndSwitchesBoardsAndStandaloneEndpoints)
{
    const int32_t remote = openRemote();
    const int32_t boots = bootCounter(remote);
    ASSERT_EQ(HalvoSetSystemState(remote, 1), 0);
    auto amtState = [](const char *ip) {
        return read<int32_t>([&](int32_t *v) { return HalvoGetSystemStateAmt(ip, "admin", "Pawtrel*5", v); });
    };
    EXPECT_EQ(amtState("192.0.2.20"), 1);
    ASSERT_EQ(HalvoSetSystemStateAmt("192.0.2.20", "admin", "Pawtrel*5", 0), 0);
    EXPECT_EQ(amtState("192.0.2.20"), 0);
    EXPECT_EQ(bootCounter(remote), boots + 1) << "turned on with a new boot";
    EXPECT_EQ(upTime(remote), 0);

    const int32_t localBoots = bootCounter();
    ASSERT_EQ(HalvoSetSystemStateAmt("192.0.2.10", "admin", "Pawtrel*5", 3), 0);
    EXPECT_EQ(bootCounter(), localBoots + 1) << "restart of a running board";
    EXPECT_EQ(upTime(), 0);
    ASSERT_EQ(HalvoSetSystemStateAmt("192.0.2.10", "admin", "Pawtrel*5", 1), 0);
    int32_t seconds;
    EXPECT_EQ(errorClass(HalvoSystemUpTime(0, &seconds)), HALVO_CLASS_CONNECTION);

    EXPECT_EQ(amtState("192.0.2.30"), 2);
    ASSERT_EQ(HalvoSetSystemStateAmt("192.0.2.30", "admin", "Pawtrel*5", 3), 0);
    EXPECT_EQ(amtState("192.0.2.30"), 0);
}

TEST_F(Api, RecordsHaveTheDocumentedLayoutTextsAndCountRule)
{
    patch(R"({"fans": [{"name": "CPU-Fan", "role": "cpu", "maxRpm": 5000, "duty": 0},
                      {"name": "System-Fan", "maxRpm": 2550, "duty": 255}, {"name": "Aux-Fan", "maxRpm": 0}]})");
    unsigned char raw[408 + 16];
    std::memset(raw, 0xAB, sizeof raw);
    ASSERT_EQ(HalvoGetFanList(0, reinterpret_cast<FanInfo *>(raw), 3), 0);
    EXPECT_STREQ(reinterpret_cast<const char *>(raw + 136), "System-Fan");
    EXPECT_EQ(readInt32(raw + 264), 2550);
    EXPECT_STREQ(reinterpret_cast<const char *>(raw + 272), "Aux-Fan");
    for (size_t i = 408; i < sizeof raw; ++i)
        ASSERT_EQ(raw[i], 0xAB) << "wrote past the third record at byte " << i;

    TempSensorInfo temps[3];
    std::memset(temps, 0xAB, sizeof temps);
    EXPECT_EQ(HalvoGetTempSensorList(0, temps, 2), HALVO_STATUS_PARTIAL);
    EXPECT_STREQ(temps[1].name, "Board");
    EXPECT_EQ(static_cast<unsigned char>(temps[2].name[0]), 0xAB);
    DiskPartitionInfo parts[5];
    std::memset(parts, 0xAB, sizeof parts);
    EXPECT_EQ(HalvoGetDiskDrivePartitionList(0, parts, 5), HALVO_STATUS_PARTIAL);
    EXPECT_STREQ(parts[2].name, "/dev/sdb1");
    const DiskPartitionInfo zero{};
    EXPECT_EQ(std::memcmp(&parts[3], &zero, sizeof zero), 0);
    EXPECT_EQ(std::memcmp(&parts[4], &zero, sizeof zero), 0);

    // Texts are Latin-1; one of 128 bytes fills its field without a NUL.
    const std::string name(128, 'N');
    patch(R"({"boardInfo": {"boardName": ")" + name + R"(", "version": "V"},
              "temperatureSensors": [{"name": "Gehäuse °C", "valueMilliCelsius": 45500}]})");
    BoardInfo info;
    std::memset(&info, 0xAB, sizeof info);
    ASSERT_EQ(HalvoGetBoardInfo(0, &info), 0);
    EXPECT_EQ(std::string(info.boardName, 128), name);
    EXPECT_STREQ(info.version, "V");
    EXPECT_EQ(info.serialNumber[127], 0) << "shorter texts are NUL-padded";
    TempSensorInfo sensor{};
    ASSERT_EQ(HalvoGetTempSensorList(0, &sensor, 1), 0);
    EXPECT_STREQ(sensor.name, "Geh\xe4use \xb0"
                              "C");
    EXPECT_EQ(sensor.value, 45500);
}

} // namespace
