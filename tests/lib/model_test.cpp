// The simulated board over simulated time, its settable parts and its bus
// devices. Demo bus map: SMBus 0 has a 24C02 EEPROM at 0x50, an LM75 at 0x48
// and a smart battery at 0x0B; SMBus 1 a write-protected SPD EEPROM at 0x52;
// I2C 0 an EEPROM at 0x50 and an LM75 at 0x49.
#include "test_support.h"

#include <algorithm>
#include <tuple>

namespace
{

class Model : public SimTest
{
protected:
    static uint8_t level(int pin)
    {
        return read<uint8_t>([&](uint8_t *v) { return HalvoGpioGetLevel(0, pin, v); });
    }
    static int32_t cpuFreq()
    {
        return read<int32_t>([](int32_t *v) { return HalvoGetCpuFreq(0, 2, v); });
    }
    static uint16_t word(uint8_t bus, uint8_t address, uint8_t command)
    {
        return read<uint16_t>([&](uint16_t *v) { return HalvoSmbusReadWord(0, bus, address, command, v); });
    }
    static uint8_t byte(uint8_t bus, uint8_t address, uint8_t command)
    {
        return read<uint8_t>([&](uint8_t *v) { return HalvoSmbusReadByte(0, bus, address, command, v); });
    }
};

TEST_F(Model, TheFrozenClockAloneMovesTimeAndResultsDoNotDependOnHowOftenOneAsks)
{
    EXPECT_EQ(upTime(), 12300);
    advanceSeconds(60);
    EXPECT_EQ(upTime(), 12360);
    const int32_t oneJump = cpuTemp();
    halvo_sim_reset();
    halvo_sim_freeze_clock(1);
    for (int i = 0; i < 600; ++i) {
        halvo_sim_advance_clock(100);
        cpuTemp();
    }
    EXPECT_EQ(cpuTemp(), oneJump);
}

TEST_F(Model, WatchdogExpiryRestartsTheBoardUnlessTriggeredOrDisabled)
{
    ASSERT_EQ(HalvoWatchdogEnable(0, 2000), 0);
    ASSERT_EQ(HalvoWatchdogDisable(0), 0);
    advanceSeconds(10);
    EXPECT_EQ(bootCounter(), 117);

    ASSERT_EQ(HalvoWatchdogEnable(0, 10000), 0);
    int32_t armed = 0, timeoutMs = 0;
    ASSERT_EQ(HalvoWatchdogGetState(0, &armed, &timeoutMs), 0);
    EXPECT_EQ(std::pair(armed, timeoutMs), std::pair(1, 10000));
    for (int i = 0; i < 3; ++i) {
        advanceSeconds(9.9);
        ASSERT_EQ(HalvoWatchdogTrigger(0), 0);
    }
    EXPECT_EQ(bootCounter(), 117) << "triggered in time, no restart";
    advanceSeconds(10.1);
    EXPECT_EQ(bootCounter(), 118);
    EXPECT_LE(upTime(), 1);
    advanceSeconds(30);
    EXPECT_EQ(bootCounter(), 118) << "the restart disarms the watchdog";
    EXPECT_EQ(upTime(), 30);
}

TEST_F(Model, ThermalCruiseHoldsTheTargetAndManualSpeedsHeatOrCool)
{
    ASSERT_EQ(HalvoSetCpuFanSpeed(0, 20), 0);
    EXPECT_EQ(read<uint8_t>([](uint8_t *v) { return HalvoGetFanMode(0, 1, v); }), 1);
    const int32_t start = cpuTemp();
    advanceSeconds(120);
    const int32_t slow = cpuTemp();
    EXPECT_GT(slow, start + 3000);
    ASSERT_EQ(HalvoSetCpuFanSpeed(0, 153), 0);
    advanceSeconds(120);
    EXPECT_LT(cpuTemp(), slow - 3000);
    uint8_t duty = 0;
    int32_t rpm = 0;
    ASSERT_EQ(HalvoGetFanSpeed(0, 0, &duty, &rpm), 0);
    EXPECT_EQ(std::pair(int(duty), rpm), std::pair(153, 3000));
    EXPECT_EQ(read<int32_t>([](int32_t *v) { return HalvoGetCpuFanSpeed(0, v); }), rpm);
    for (int target : {39000, 50000}) {
        ASSERT_EQ(HalvoSetFanModeThermalCruise(0, 0, target, 2000), 0);
        EXPECT_EQ(read<uint8_t>([](uint8_t *v) { return HalvoGetFanMode(0, 1, v); }), 2);
        advanceSeconds(120);
        int32_t low = INT32_MAX, high = INT32_MIN;
        for (int i = 0; i < 300; ++i) { // three periods of the workload swing
            advanceSeconds(1);
            low = std::min(low, cpuTemp());
            high = std::max(high, cpuTemp());
        }
        EXPECT_GE(low, target - 2000) << "target " << target;
        EXPECT_LE(high, target + 2000) << "target " << target;
    }
}

TEST_F(Model, PerformanceTypesAndPercentagesDriveTheClockAndTheHeat)
{
    int8_t type = -1, percent = -1;
    ASSERT_EQ(HalvoGetCpuPerformance(0, &type, &percent), 0);
    EXPECT_EQ(percent, 0) << "a types board reports percent 0";
    ASSERT_EQ(HalvoSetCpuFanSpeed(0, 100), 0);
    ASSERT_EQ(HalvoSetCpuPerformance(0, 1, 50), 0);
    advanceSeconds(300);
    EXPECT_EQ(cpuFreq(), 600000);
    const int32_t powerSave = cpuTemp();
    ASSERT_EQ(HalvoSetCpuPerformance(0, 0, 100), 0);
    advanceSeconds(300);
    EXPECT_EQ(cpuFreq(), 1800000);
    EXPECT_GT(cpuTemp(), powerSave + 2000);
    ASSERT_EQ(HalvoGetCpuPerformance(0, &type, &percent), 0);
    EXPECT_EQ(type, 0);

    patch(R"({"cpuPerformance": {"mode": "percentage", "percent": 100, "percentStep": 5}})");
    ASSERT_EQ(HalvoSetCpuPerformance(0, 0, 82), 0);
    ASSERT_EQ(HalvoGetCpuPerformance(0, &type, &percent), 0);
    EXPECT_EQ(percent, 80);
    advanceSeconds(1);
    EXPECT_EQ(cpuFreq(), 1440000);
    EXPECT_EQ(errorClass(HalvoSetCpuPerformance(0, 0, 9)), HALVO_CLASS_ARGUMENT);
}

TEST_F(Model, BatteryChargesToFullThenRunsOnAcThenDischarges)
{
    auto state = [] { return read<BatteryState>([](BatteryState *s) { return HalvoGetBatteryState(0, 0, s); }); };
    BatteryState s = state();
    EXPECT_EQ(std::tuple(s.state, s.rate, s.remainingCapacity, s.fullBatteryTime),
              std::tuple(0, 1500, 2900, 4150 * 3600 / 900));
    advanceSeconds(600); // 1500 mA for 10 min = 250 mAh
    EXPECT_NEAR(state().remainingCapacity, 3150, 1);
    advanceSeconds(2400 + 60); // the last 1000 mAh, then a minute on AC
    s = state();
    EXPECT_EQ(std::tuple(s.state, s.chargePercent, s.rate), std::tuple(1, 100, 0));
    advanceSeconds(70); // AC is held for 120 s before the demo unplugs
    s = state();
    EXPECT_EQ(std::tuple(s.state, s.rate), std::tuple(2, 900));
    EXPECT_LT(s.remainingCapacity, 4150);
    EXPECT_NEAR(s.remainingTime, s.remainingCapacity * 3600 / 900, 4);
    // A huge pack on a trickle lasts longer than an int32 of seconds.
    patch(R"({"batteries": [{"designedVoltageMilliVolt": 1073741823, "fullCapacityMilliAmpHours": 2000000000,
                             "state": 2, "dischargeCurrentMilliAmps": 1}]})");
    s = state();
    EXPECT_EQ(std::tuple(s.fullBatteryTime, s.remainingTime), std::tuple(INT32_MAX, INT32_MAX));
    EXPECT_GT(s.voltage, 1073741823);
}

TEST_F(Model, GpioInputsReadTheOutputTheyAreWiredToOrTheirPullUp)
{
    EXPECT_EQ(read<int32_t>([](int32_t *v) { return HalvoGpioGetCount(0, v); }), 16);
    // An input following its wired output is asserted through the window's
    // GPIO page (test_controls); here the other way round, and the pull-up.
    ASSERT_EQ(HalvoGpioSetDirection(0, 3, 0), 0);
    ASSERT_EQ(HalvoGpioSetDirection(0, 11, 1), 0);
    ASSERT_EQ(HalvoGpioSetLevel(0, 11, 0), 0);
    EXPECT_EQ(level(3), 0) << "the wiring works both ways";
    ASSERT_EQ(HalvoGpioSetLevel(0, 1, 0), 0);
    ASSERT_EQ(HalvoGpioSetDirection(0, 1, 0), 0);
    EXPECT_EQ(level(1), 1);
    EXPECT_EQ(level(9), 1);
}

TEST_F(Model, SmbusEepromSharesOnePointerAndStoresWordsLowByteFirst)
{
    ASSERT_EQ(HalvoSmbusWriteByte(0, 0, 0x50, 0x10, 'A'), 0);
    ASSERT_EQ(HalvoSmbusWriteByte(0, 0, 0x50, 0x11, 'B'), 0);
    EXPECT_EQ(byte(0, 0x50, 0x10), 'A');
    EXPECT_EQ(read<uint8_t>([](uint8_t *v) { return HalvoSmbusReceiveByte(0, 0, 0x50, v); }), 'B')
        << "receive byte reads on from where the read byte left the pointer";
    ASSERT_EQ(HalvoSmbusSendByte(0, 0, 0x50, 0x00), 0);
    EXPECT_EQ(read<uint8_t>([](uint8_t *v) { return HalvoSmbusReceiveByte(0, 0, 0x50, v); }), 'H');
    ASSERT_EQ(HalvoSmbusWriteWord(0, 0, 0x50, 0x20, 0x1234), 0);
    EXPECT_EQ(byte(0, 0x50, 0x20), 0x34);
    EXPECT_EQ(word(0, 0x50, 0x20), 0x1234);
    const uint8_t before = byte(1, 0x52, 2);
    ASSERT_EQ(HalvoSmbusWriteByte(0, 1, 0x52, 2, before ^ 0xff), 0) << "write-protected parts acknowledge";
    EXPECT_EQ(byte(1, 0x52, 2), before);
    EXPECT_EQ(HalvoSmbusQuickCommand(0, 1, 0x52, 0), 0);
}

TEST_F(Model, Lm75AndSmartBatteryAnswerLikeTheParts)
{
    EXPECT_EQ(word(0, 0x0b, 0x0f), 2900) << "remaining capacity of the battery";
    patch(R"({"thermal": {"ambientMilliCelsius": 25500, "cpuMilliCelsius": 25500}})");
    EXPECT_EQ(word(0, 0x48, 0), 0x8019) << "25.5 degrees is register 0x1980, MSB received first";
    EXPECT_EQ(word(0, 0x48, 3), 0x0050) << "T_os of 80 degrees";
    ASSERT_EQ(HalvoSmbusWriteWord(0, 0, 0x48, 2, 0x8046), 0);
    EXPECT_EQ(word(0, 0x48, 2), 0x8046);
    ASSERT_EQ(HalvoSetCpuFanSpeed(0, 0), 0);
    advanceSeconds(300);
    EXPECT_GT(word(0, 0x48, 0) & 0xff, 0x19) << "follows the board temperature";

    uint8_t buffer[HALVO_BLOCK_BUFFER_SIZE];
    std::memset(buffer, 0xAB, sizeof buffer);
    uint8_t count = 0;
    ASSERT_EQ(HalvoSmbusReadBlock(0, 0, 0x0b, 0x20, buffer, &count), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), count), "Selvaro Power");
    EXPECT_EQ(buffer[count], 0xAB);
    const uint8_t data[32] = {1, 2, 3};
    ASSERT_EQ(HalvoSmbusWriteBlock(0, 0, 0x0b, 0x2f, data, 32), 0);
    ASSERT_EQ(HalvoSmbusReadBlock(0, 0, 0x0b, 0x2f, buffer, &count), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), count),
              std::string(reinterpret_cast<const char *>(data), 32));
}

TEST_F(Model, I2cEepromWritesSequentiallyWrapsAt256AndReadsAreCapped)
{
    // Sequential writes and reads going on from the pointer without the
    // memory address are asserted through the window's I2C page
    // (test_controls, readsShowWhatTheSimulatedDevicesHold).
    const uint8_t data[] = {'x', 'y', 'z'};
    uint8_t buffer[HALVO_BLOCK_BUFFER_SIZE + 16];
    uint32_t count = 1;
    ASSERT_EQ(HalvoI2cWrite(0, 0, 0x50, 0xfe, data, 3), 0);
    ASSERT_EQ(HalvoI2cRead(0, 0, 0x50, 0x00, 1, buffer, &count), 0);
    EXPECT_EQ(buffer[0], 'z');
    std::memset(buffer, 0xAB, sizeof buffer);
    count = 300;
    ASSERT_EQ(HalvoI2cRead(0, 0, 0x50, 0, 1, buffer, &count), 0);
    EXPECT_EQ(count, 128u);
    for (size_t i = HALVO_BLOCK_BUFFER_SIZE; i < sizeof buffer; ++i)
        ASSERT_EQ(buffer[i], 0xAB) << "wrote past the 128-byte buffer";
}

} // namespace
