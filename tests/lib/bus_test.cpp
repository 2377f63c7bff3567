// The simulated SMBus and I2C devices. Demo map: SMBus 0 has a 24C02 EEPROM
// at 0x50, an LM75 at 0x48 and a smart battery at 0x0B; SMBus 1 a
// write-protected SPD EEPROM at 0x52; I2C 0 an EEPROM at 0x50 and an LM75 at
// 0x49.
#include "test_support.h"

#include <cstring>

namespace
{

class Smbus : public SimTest
{
};

TEST_F(Smbus, BusCountsOfTheDemoBoard)
{
    uint8_t smbus = 0, i2c = 0;
    ASSERT_EQ(HalvoGetSmbusCount(0, &smbus), 0);
    ASSERT_EQ(HalvoGetI2cBusCount(0, &i2c), 0);
    EXPECT_EQ(smbus, 2);
    EXPECT_EQ(i2c, 1);
}

TEST_F(Smbus, EepromByteOpsShareOneAddressPointer)
{
    ASSERT_EQ(HalvoSmbusWriteByte(0, 0, 0x50, 0x10, 'A'), 0);
    ASSERT_EQ(HalvoSmbusWriteByte(0, 0, 0x50, 0x11, 'B'), 0);
    uint8_t data = 0;
    ASSERT_EQ(HalvoSmbusReadByte(0, 0, 0x50, 0x10, &data), 0);
    EXPECT_EQ(data, 'A');
    ASSERT_EQ(HalvoSmbusReceiveByte(0, 0, 0x50, &data), 0);
    EXPECT_EQ(data, 'B') << "receive byte reads on from where the read byte left the pointer";

    ASSERT_EQ(HalvoSmbusSendByte(0, 0, 0x50, 0x00), 0);
    ASSERT_EQ(HalvoSmbusReceiveByte(0, 0, 0x50, &data), 0);
    EXPECT_EQ(data, 'H') << "send byte moves the pointer to the demo content";
}

TEST_F(Smbus, EepromWordIsLowByteFirst)
{
    ASSERT_EQ(HalvoSmbusWriteWord(0, 0, 0x50, 0x20, 0x1234), 0);
    uint8_t data = 0;
    ASSERT_EQ(HalvoSmbusReadByte(0, 0, 0x50, 0x20, &data), 0);
    EXPECT_EQ(data, 0x34);
    uint16_t word = 0;
    ASSERT_EQ(HalvoSmbusReadWord(0, 0, 0x50, 0x20, &word), 0);
    EXPECT_EQ(word, 0x1234);
}

TEST_F(Smbus, Lm75WordCarriesTheRegisterBytesInWireOrder)
{
    patch(R"({"thermal": {"ambientMilliCelsius": 25500, "cpuMilliCelsius": 25500}})");
    uint16_t word = 0;
    ASSERT_EQ(HalvoSmbusReadWord(0, 0, 0x48, 0, &word), 0);
    EXPECT_EQ(word, 0x8019) << "25.5 degrees is register 0x1980, MSB received first";
    ASSERT_EQ(HalvoSmbusReadWord(0, 0, 0x48, 3, &word), 0);
    EXPECT_EQ(word, 0x0050) << "T_os of 80 degrees";
    ASSERT_EQ(HalvoSmbusWriteWord(0, 0, 0x48, 2, 0x8046), 0);
    ASSERT_EQ(HalvoSmbusReadWord(0, 0, 0x48, 2, &word), 0);
    EXPECT_EQ(word, 0x8046) << "T_hyst 70.5 degrees written and read back";
}

TEST_F(Smbus, Lm75FollowsTheBoardTemperature)
{
    uint16_t before = 0, after = 0;
    ASSERT_EQ(HalvoSmbusReadWord(0, 0, 0x48, 0, &before), 0);
    ASSERT_EQ(HalvoSetCpuFanSpeed(0, 0), 0);
    halvo_sim_advance_clock(300000);
    ASSERT_EQ(HalvoSmbusReadWord(0, 0, 0x48, 0, &after), 0);
    EXPECT_GT(after & 0xff, before & 0xff);
}

TEST_F(Smbus, BlockReadDeliversTheCountAndTheBytes)
{
    uint8_t buffer[HALVO_BLOCK_BUFFER_SIZE];
    std::memset(buffer, 0xAB, sizeof buffer);
    uint8_t count = 0;
    ASSERT_EQ(HalvoSmbusReadBlock(0, 0, 0x0b, 0x20, buffer, &count), 0);
    EXPECT_EQ(count, 13);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), count), "Selvaro Power");
    EXPECT_EQ(buffer[count], 0xAB);
}

TEST_F(Smbus, BlockWriteToTheScratchAreaReadsBack)
{
    const uint8_t data[32] = {1, 2, 3};
    ASSERT_EQ(HalvoSmbusWriteBlock(0, 0, 0x0b, 0x2f, data, 32), 0);
    uint8_t buffer[HALVO_BLOCK_BUFFER_SIZE] = {};
    uint8_t count = 0;
    ASSERT_EQ(HalvoSmbusReadBlock(0, 0, 0x0b, 0x2f, buffer, &count), 0);
    EXPECT_EQ(count, 32);
    EXPECT_EQ(std::memcmp(buffer, data, 32), 0);
}

TEST_F(Smbus, BlockWritesOutsideOneTo32BytesAreRefused)
{
    uint8_t data[64] = {};
    EXPECT_EQ(errorClass(HalvoSmbusWriteBlock(0, 0, 0x0b, 0x2f, data, 0)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoSmbusWriteBlock(0, 0, 0x0b, 0x2f, data, 33)), HALVO_CLASS_ARGUMENT);
}

TEST_F(Smbus, SmartBatteryWordsFollowTheBattery)
{
    uint16_t word = 0;
    ASSERT_EQ(HalvoSmbusReadWord(0, 0, 0x0b, 0x0f, &word), 0);
    EXPECT_EQ(word, 2900);
    EXPECT_EQ(errorClass(HalvoSmbusWriteWord(0, 0, 0x0b, 0x0f, 1)), HALVO_CLASS_DEVICE) << "read-only";
}

TEST_F(Smbus, AbsentAddressesFailLikeANack)
{
    uint8_t data;
    EXPECT_EQ(errorClass(HalvoSmbusQuickCommand(0, 0, 0x51, 0)), HALVO_CLASS_DEVICE);
    EXPECT_EQ(errorClass(HalvoSmbusReadByte(0, 0, 0x51, 0, &data)), HALVO_CLASS_DEVICE);
    EXPECT_EQ(errorClass(HalvoSmbusReadByte(0, 1, 0x50, 0, &data)), HALVO_CLASS_DEVICE);
    EXPECT_EQ(HalvoSmbusQuickCommand(0, 0, 0x50, 1), 0);
    EXPECT_EQ(HalvoSmbusQuickCommand(0, 1, 0x52, 0), 0);
    EXPECT_EQ(errorClass(HalvoSmbusQuickCommand(0, 2, 0x50, 0)), HALVO_CLASS_ARGUMENT) << "no bus 2";
    EXPECT_EQ(errorClass(HalvoSmbusQuickCommand(0, 0, 0xa0, 0)), HALVO_CLASS_ARGUMENT) << "not a 7-bit address";
}

TEST_F(Smbus, WriteProtectedEepromAcknowledgesAndKeepsItsContent)
{
    uint8_t before = 0, after = 0;
    ASSERT_EQ(HalvoSmbusReadByte(0, 1, 0x52, 2, &before), 0);
    ASSERT_EQ(HalvoSmbusWriteByte(0, 1, 0x52, 2, before ^ 0xff), 0);
    ASSERT_EQ(HalvoSmbusReadByte(0, 1, 0x52, 2, &after), 0);
    EXPECT_EQ(after, before);
}

class I2c : public SimTest
{
};

TEST_F(I2c, WriteAtMemoryAddressThenReadWithAndWithoutIt)
{
    const uint8_t data[] = {'x', 'y', 'z'};
    ASSERT_EQ(HalvoI2cWrite(0, 0, 0x50, 0x40, data, 3), 0);

    uint8_t buffer[HALVO_BLOCK_BUFFER_SIZE] = {};
    uint32_t count = 2;
    ASSERT_EQ(HalvoI2cRead(0, 0, 0x50, 0x40, 1, buffer, &count), 0);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), 2), "xy");

    count = 1;
    ASSERT_EQ(HalvoI2cRead(0, 0, 0x50, 0x00, 0, buffer, &count), 0);
    EXPECT_EQ(buffer[0], 'z') << "without the memory address the read goes on from the pointer";
}

TEST_F(I2c, SequentialWriteWrapsAt256)
{
    const uint8_t data[] = {1, 2, 3};
    ASSERT_EQ(HalvoI2cWrite(0, 0, 0x50, 0xfe, data, 3), 0);
    uint8_t buffer[HALVO_BLOCK_BUFFER_SIZE] = {};
    uint32_t count = 1;
    ASSERT_EQ(HalvoI2cRead(0, 0, 0x50, 0x00, 1, buffer, &count), 0);
    EXPECT_EQ(buffer[0], 3);
}

TEST_F(I2c, ReadsAreCappedAtTheBufferSize)
{
    uint8_t buffer[HALVO_BLOCK_BUFFER_SIZE + 16];
    std::memset(buffer, 0xAB, sizeof buffer);
    uint32_t count = 300;
    ASSERT_EQ(HalvoI2cRead(0, 0, 0x50, 0, 1, buffer, &count), 0);
    EXPECT_EQ(count, 128u);
    for (size_t i = HALVO_BLOCK_BUFFER_SIZE; i < sizeof buffer; ++i)
        ASSERT_EQ(buffer[i], 0xAB) << "wrote past the 128-byte buffer";
}

TEST_F(I2c, AbsentDeviceFailsAndLeavesTheCount)
{
    uint8_t buffer[HALVO_BLOCK_BUFFER_SIZE];
    uint32_t count = 5;
    EXPECT_EQ(errorClass(HalvoI2cRead(0, 0, 0x51, 0, 1, buffer, &count)), HALVO_CLASS_DEVICE);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(errorClass(HalvoI2cRead(0, 1, 0x50, 0, 1, buffer, &count)), HALVO_CLASS_ARGUMENT);
}

} // namespace
