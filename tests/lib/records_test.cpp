// Records as the library writes them into caller buffers, and the list
// convention of board/halvo.h.
#include "test_support.h"

#include <cstring>

namespace
{

class Records : public SimTest
{
};

int32_t readInt32(const unsigned char *bytes)
{
    int32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

TEST_F(Records, ThreeFansOccupy408BytesWithTheSecondNameAt136AndItsSpeedAt264)
{
    int32_t count = 0;
    ASSERT_EQ(HalvoGetFanCount(0, &count), 0);
    ASSERT_EQ(count, 3);
    patch(R"({"fans": [{"name": "CPU-Fan", "role": "cpu", "maxRpm": 5000, "duty": 0},
                      {"name": "System-Fan", "maxRpm": 2550, "duty": 255},
                      {"name": "Aux-Fan", "maxRpm": 0}]})");

    unsigned char raw[408 + 16];
    std::memset(raw, 0xAB, sizeof raw);
    ASSERT_EQ(HalvoGetFanList(0, reinterpret_cast<FanInfo *>(raw), 3), 0);
    EXPECT_STREQ(reinterpret_cast<const char *>(raw + 136), "System-Fan");
    EXPECT_EQ(readInt32(raw + 264), 2550);
    EXPECT_STREQ(reinterpret_cast<const char *>(raw + 272), "Aux-Fan");
    for (size_t i = 408; i < sizeof raw; ++i)
        ASSERT_EQ(raw[i], 0xAB) << "wrote past the third record at byte " << i;
}

TEST_F(Records, ShorterCountIsPartialAndWritesOnlyThatMany)
{
    TempSensorInfo list[3];
    std::memset(list, 0xAB, sizeof list);
    EXPECT_EQ(HalvoGetTempSensorList(0, list, 2), HALVO_STATUS_PARTIAL);
    EXPECT_STREQ(list[0].name, "CPU");
    EXPECT_STREQ(list[1].name, "Board");
    EXPECT_EQ(static_cast<unsigned char>(list[2].name[0]), 0xAB);
}

TEST_F(Records, LongerCountIsPartialAndZeroFillsTheRest)
{
    DiskPartitionInfo list[5];
    std::memset(list, 0xAB, sizeof list);
    EXPECT_EQ(HalvoGetDiskDrivePartitionList(0, list, 5), HALVO_STATUS_PARTIAL);
    EXPECT_STREQ(list[2].name, "/dev/sdb1");
    const DiskPartitionInfo zero{};
    EXPECT_EQ(std::memcmp(&list[3], &zero, sizeof zero), 0);
    EXPECT_EQ(std::memcmp(&list[4], &zero, sizeof zero), 0);
}

TEST_F(Records, ExactCountIsPlainSuccessForEveryList)
{
    int32_t n = 0;
    ASSERT_EQ(HalvoGetNetworkDeviceCount(0, &n), 0);
    std::vector<NetworkDeviceInfo> net(n);
    EXPECT_EQ(HalvoGetNetworkDeviceList(0, net.data(), n), 0);
    EXPECT_STREQ(net[0].ipAddress, "192.168.1.10");

    ASSERT_EQ(HalvoGetPciDeviceCount(0, &n), 0);
    std::vector<PciDeviceInfo> pci(n);
    EXPECT_EQ(HalvoGetPciDeviceList(0, pci.data(), n), 0);
    EXPECT_EQ(pci[0].value1, 0x8086);
    EXPECT_EQ(pci[1].value2, 0x030000);

    ASSERT_EQ(HalvoGetDiskDriveCount(0, &n), 0);
    std::vector<DiskDriveInfo> drives(n);
    EXPECT_EQ(HalvoGetDiskDriveList(0, drives.data(), n), 0);
    EXPECT_GT(drives[0].size, 1024u);

    ASSERT_EQ(HalvoGetVoltageSensorCount(0, &n), 0);
    EXPECT_EQ(n, 5);
    std::vector<VoltageSensorInfo> volts(n);
    EXPECT_EQ(HalvoGetVoltageSensorList(0, volts.data(), n), 0);
    EXPECT_EQ(volts[1].value, 3312);
}

TEST_F(Records, ListCallsRefuseNullArraysAndCountsBelowOne)
{
    FanInfo fan;
    EXPECT_EQ(errorClass(HalvoGetFanList(0, nullptr, 3)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoGetFanList(0, &fan, 0)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoGetFanList(0, &fan, -1)), HALVO_CLASS_ARGUMENT);
}

TEST_F(Records, TextOf128BytesFillsTheArrayWithoutNulAndLeavesTheNextFieldIntact)
{
    const std::string name(128, 'N');
    patch(R"({"boardInfo": {"boardName": ")" + name + R"(", "version": "V"}})");
    BoardInfo info;
    std::memset(&info, 0xAB, sizeof info);
    ASSERT_EQ(HalvoGetBoardInfo(0, &info), 0);
    EXPECT_EQ(std::string(info.boardName, 128), name);
    EXPECT_STREQ(info.version, "V");
    EXPECT_EQ(info.serialNumber[127], 0) << "shorter texts are NUL-padded";
}

TEST_F(Records, TextLongerThan128BytesIsRefusedByTheDescription)
{
    const std::string name(129, 'N');
    EXPECT_NE(halvo_sim_patch_board(nullptr, (R"({"boardInfo": {"boardName": ")" + name + R"("}})").c_str()), 0);
    EXPECT_NE(std::string(halvo_sim_last_error()).find("board.boardInfo.boardName"), std::string::npos);
    EXPECT_EQ(boardName(), "HVB-1520");
}

TEST_F(Records, TextsAreLatin1Bytes)
{
    patch(R"({"temperatureSensors": [{"name": "Gehäuse °C", "valueMilliCelsius": 45500}]})");
    TempSensorInfo sensor{};
    ASSERT_EQ(HalvoGetTempSensorList(0, &sensor, 1), 0);
    EXPECT_STREQ(sensor.name, "Geh\xe4use \xb0"
                              "C");
    EXPECT_EQ(sensor.value, 45500);
    EXPECT_NE(halvo_sim_patch_board(nullptr, R"({"boardInfo": {"boardName": "\u20ac"}})"), 0);
}

TEST_F(Records, DemoCpuRecord)
{
    CpuInfo cpu{};
    ASSERT_EQ(HalvoGetCpuInfo(0, &cpu), 0);
    EXPECT_STREQ(cpu.cpuName, "Halvo  Atom(TM) CPU D525   @ 1.80GHz");
    EXPECT_EQ(cpu.coreCount, 2);
    EXPECT_FLOAT_EQ(cpu.maxCoreSpeed, 1800.0f);
    EXPECT_EQ(cpu.l2Cache, 1024);
}

TEST_F(Records, SingleRecordsAndOutputsRefuseNullPointers)
{
    EXPECT_EQ(errorClass(HalvoGetCpuInfo(0, nullptr)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoGetBatteryState(0, 0, nullptr)), HALVO_CLASS_ARGUMENT);
    uint8_t speed;
    EXPECT_EQ(errorClass(HalvoGetFanSpeed(0, 0, &speed, nullptr)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoStorageRead(0, 0, 0, nullptr, 4)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoI2cRead(0, 0, 0x50, 0, 0, nullptr, nullptr)), HALVO_CLASS_ARGUMENT);
}

TEST_F(Records, IndexesOutOfRangeAreArgumentErrors)
{
    MemoryModuleInfo module;
    EXPECT_EQ(HalvoGetMemoryModuleInfo(0, 1, &module), 0);
    EXPECT_EQ(errorClass(HalvoGetMemoryModuleInfo(0, 2, &module)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoGetMemoryModuleInfo(0, -1, &module)), HALVO_CLASS_ARGUMENT);
    BatteryInfo battery;
    EXPECT_EQ(errorClass(HalvoGetBatteryInfo(0, 1, &battery)), HALVO_CLASS_ARGUMENT);
    int32_t khz;
    EXPECT_EQ(errorClass(HalvoGetCpuFreq(0, 3, &khz)), HALVO_CLASS_ARGUMENT);
}

TEST_F(Records, FailedCallsLeaveOutputsUntouched)
{
    patch(R"({"callStatus": {"HalvoGetMemoryInfo": "device"}})");
    MemoryInfo info;
    std::memset(&info, 0xAB, sizeof info);
    EXPECT_EQ(errorClass(HalvoGetMemoryInfo(0, &info)), HALVO_CLASS_DEVICE);
    EXPECT_EQ(static_cast<unsigned char>(info.memoryType[0]), 0xAB);
}

} // namespace
