// The simulated board's behaviour over simulated time and its settable parts.
#include "test_support.h"

#include <algorithm>
#include <cstring>

namespace
{

class Clock : public SimTest
{
};

TEST_F(Clock, UpTimeStartsAtTheDemoValueAndFollowsTheFrozenClock)
{
    EXPECT_EQ(upTime(), 3 * 3600 + 25 * 60);
    advanceSeconds(90);
    EXPECT_EQ(upTime(), 3 * 3600 + 25 * 60 + 90);
}

TEST_F(Clock, FrozenClockDoesNotMoveOnItsOwn)
{
    const int32_t before = upTime();
    for (int i = 0; i < 1000; ++i)
        upTime();
    EXPECT_EQ(upTime(), before);
}

TEST_F(Clock, ResultsDoNotDependOnHowOftenTheBoardIsAsked)
{
    advanceSeconds(60);
    const int32_t oneJump = cpuTemp();
    halvo_sim_reset();
    halvo_sim_freeze_clock(1);
    for (int i = 0; i < 600; ++i) {
        halvo_sim_advance_clock(100);
        cpuTemp();
    }
    EXPECT_EQ(cpuTemp(), oneJump);
}

class Watchdog : public SimTest
{
};

TEST_F(Watchdog, ExpiryRestartsTheBoardAndTriggerPostponesIt)
{
    const int32_t boots = bootCounter();
    ASSERT_EQ(HalvoWatchdogEnable(0, 10000), 0);
    advanceSeconds(9.9);
    ASSERT_EQ(HalvoWatchdogTrigger(0), 0);
    advanceSeconds(9.9);
    ASSERT_EQ(HalvoWatchdogTrigger(0), 0);
    advanceSeconds(9.9);
    EXPECT_EQ(bootCounter(), boots) << "triggered in time, no restart";
    EXPECT_GT(upTime(), 12300);

    advanceSeconds(0.2);
    EXPECT_EQ(bootCounter(), boots + 1);
    EXPECT_LE(upTime(), 1);

    advanceSeconds(30);
    EXPECT_EQ(bootCounter(), boots + 1) << "the restart disarms the watchdog";
    EXPECT_EQ(upTime(), 30);
}

TEST_F(Watchdog, DisableStopsTheCountdown)
{
    ASSERT_EQ(HalvoWatchdogEnable(0, 2000), 0);
    ASSERT_EQ(HalvoWatchdogDisable(0), 0);
    advanceSeconds(10);
    EXPECT_EQ(bootCounter(), 117);
}

TEST_F(Watchdog, RefusesTimeoutsItCannotCount)
{
    EXPECT_EQ(errorClass(HalvoWatchdogEnable(0, 0)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoWatchdogEnable(0, -1000)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoWatchdogEnable(0, 65535001)), HALVO_CLASS_ARGUMENT);
}

class Fan : public SimTest
{
protected:
    static int cpuFanIndex()
    {
        FanInfo fans[3];
        EXPECT_EQ(HalvoGetFanList(0, fans, 3), 0);
        for (int i = 0; i < 3; ++i)
            if (std::string(fans[i].name) == "CPU-Fan")
                return i;
        return -1;
    }
};

TEST_F(Fan, ThermalCruiseHoldsTheTargetWithinToleranceOnceSettled)
{
    for (int target : {39000, 50000}) {
        ASSERT_EQ(HalvoSetFanModeThermalCruise(0, cpuFanIndex(), target, 2000), 0);
        uint8_t mode = 0;
        ASSERT_EQ(HalvoGetFanMode(0, 1, &mode), 0);
        EXPECT_EQ(mode, 2);
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

TEST_F(Fan, ManualSlowFanHeatsAndFastFanCools)
{
    const int32_t start = cpuTemp();
    ASSERT_EQ(HalvoSetCpuFanSpeed(0, 20), 0);
    advanceSeconds(120);
    const int32_t slow = cpuTemp();
    EXPECT_GT(slow, start + 3000);
    ASSERT_EQ(HalvoSetCpuFanSpeed(0, 255), 0);
    advanceSeconds(120);
    EXPECT_LT(cpuTemp(), slow - 5000);
    uint8_t mode = 0;
    ASSERT_EQ(HalvoGetFanMode(0, 1, &mode), 0);
    EXPECT_EQ(mode, 1);
}

TEST_F(Fan, CpuFanRpmFollowsTheDuty)
{
    ASSERT_EQ(HalvoSetCpuFanSpeed(0, 153), 0);
    advanceSeconds(5);
    uint8_t duty = 0;
    int32_t rpm = 0, cpuRpm = 0;
    ASSERT_EQ(HalvoGetFanSpeed(0, cpuFanIndex(), &duty, &rpm), 0);
    ASSERT_EQ(HalvoGetCpuFanSpeed(0, &cpuRpm), 0);
    EXPECT_EQ(duty, 153);
    EXPECT_EQ(rpm, 3000);
    EXPECT_EQ(cpuRpm, rpm);
}

TEST_F(Fan, ThermalCruiseNeedsTheCpuFan)
{
    EXPECT_EQ(errorClass(HalvoSetFanModeThermalCruise(0, -1, 39000, 2000)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoSetFanModeThermalCruise(0, 3, 39000, 2000)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoSetFanModeThermalCruise(0, 1, 39000, 2000)), HALVO_CLASS_UNSUPPORTED);
    EXPECT_EQ(errorClass(HalvoSetFanModeThermalCruise(0, 0, 39000, -1)), HALVO_CLASS_ARGUMENT);
    uint8_t mode;
    EXPECT_EQ(errorClass(HalvoGetFanMode(0, 0, &mode)), HALVO_CLASS_ARGUMENT);
}

class Performance : public SimTest
{
};

TEST_F(Performance, TypesBoardReportsPercentZeroAndDrivesTheClock)
{
    int8_t type = -1, percent = -1;
    ASSERT_EQ(HalvoGetCpuPerformance(0, &type, &percent), 0);
    EXPECT_EQ(percent, 0);
    int32_t khz = 0;
    ASSERT_EQ(HalvoSetCpuPerformance(0, 0, 100), 0);
    advanceSeconds(1);
    ASSERT_EQ(HalvoGetCpuFreq(0, 2, &khz), 0);
    EXPECT_EQ(khz, 1800000);
    ASSERT_EQ(HalvoSetCpuPerformance(0, 1, 50), 0);
    advanceSeconds(1);
    ASSERT_EQ(HalvoGetCpuFreq(0, 2, &khz), 0);
    EXPECT_EQ(khz, 600000);
    ASSERT_EQ(HalvoGetCpuPerformance(0, &type, &percent), 0);
    EXPECT_EQ(type, 1);
}

TEST_F(Performance, HigherPerformanceRunsHotter)
{
    ASSERT_EQ(HalvoSetCpuFanSpeed(0, 100), 0);
    ASSERT_EQ(HalvoSetCpuPerformance(0, 1, 50), 0);
    advanceSeconds(300);
    const int32_t powerSave = cpuTemp();
    ASSERT_EQ(HalvoSetCpuPerformance(0, 0, 100), 0);
    advanceSeconds(300);
    EXPECT_GT(cpuTemp(), powerSave + 2000);
}

TEST_F(Performance, RefusedTypesAreUnsupportedAndUnknownTypesAreArguments)
{
    patch(R"({"cpuPerformance": {"acceptedTypes": [0, 2]}})");
    EXPECT_EQ(HalvoSetCpuPerformance(0, 2, 75), 0);
    EXPECT_EQ(errorClass(HalvoSetCpuPerformance(0, 1, 50)), HALVO_CLASS_UNSUPPORTED);
    EXPECT_EQ(errorClass(HalvoSetCpuPerformance(0, 4, 50)), HALVO_CLASS_ARGUMENT);
}

TEST_F(Performance, PercentageBoardAppliesThePercentInItsSteps)
{
    patch(R"({"cpuPerformance": {"mode": "percentage", "percent": 100, "percentStep": 5}})");
    ASSERT_EQ(HalvoSetCpuPerformance(0, 0, 82), 0);
    int8_t type = -1, percent = -1;
    ASSERT_EQ(HalvoGetCpuPerformance(0, &type, &percent), 0);
    EXPECT_EQ(percent, 80);
    advanceSeconds(1);
    int32_t khz = 0;
    ASSERT_EQ(HalvoGetCpuFreq(0, 2, &khz), 0);
    EXPECT_EQ(khz, 1440000);
    EXPECT_EQ(errorClass(HalvoSetCpuPerformance(0, 0, 9)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoSetCpuPerformance(0, 0, 101)), HALVO_CLASS_ARGUMENT);
}

class Battery : public SimTest
{
protected:
    static BatteryState state()
    {
        BatteryState s{};
        EXPECT_EQ(HalvoGetBatteryState(0, 0, &s), 0);
        return s;
    }
};

TEST_F(Battery, ChargesToFullThenRunsOnAcThenDischarges)
{
    BatteryState s = state();
    EXPECT_EQ(s.state, 0);
    EXPECT_EQ(s.rate, 1500);
    EXPECT_EQ(s.remainingCapacity, 2900);
    EXPECT_EQ(s.fullBatteryTime, 4150 * 3600 / 900);

    advanceSeconds(600); // 1500 mA for 10 min = 250 mAh
    EXPECT_NEAR(state().remainingCapacity, 3150, 1);

    advanceSeconds(2400 + 60); // the last 1000 mAh, then a minute on AC
    s = state();
    EXPECT_EQ(s.state, 1);
    EXPECT_EQ(s.chargePercent, 100);
    EXPECT_EQ(s.rate, 0);

    advanceSeconds(70); // AC is held for 120 s before the demo unplugs
    s = state();
    EXPECT_EQ(s.state, 2);
    EXPECT_EQ(s.rate, 900);
    EXPECT_LT(s.remainingCapacity, 4150);
    EXPECT_NEAR(s.remainingTime, s.remainingCapacity * 3600 / 900, 4);
}

class Gpio : public SimTest
{
protected:
    static uint8_t level(int pin)
    {
        uint8_t value = 0xff;
        EXPECT_EQ(HalvoGpioGetLevel(0, pin, &value), 0);
        return value;
    }
};

TEST_F(Gpio, InputReadsTheOutputItIsWiredTo)
{
    ASSERT_EQ(HalvoGpioSetLevel(0, 3, 0), 0);
    EXPECT_EQ(level(11), 0);
    ASSERT_EQ(HalvoGpioSetLevel(0, 3, 1), 0);
    EXPECT_EQ(level(11), 1);

    ASSERT_EQ(HalvoGpioSetDirection(0, 3, 0), 0);
    ASSERT_EQ(HalvoGpioSetDirection(0, 11, 1), 0);
    ASSERT_EQ(HalvoGpioSetLevel(0, 11, 0), 0);
    EXPECT_EQ(level(3), 0) << "the wiring works both ways";
}

TEST_F(Gpio, UnconnectedInputsReadHigh)
{
    ASSERT_EQ(HalvoGpioSetLevel(0, 1, 0), 0);
    ASSERT_EQ(HalvoGpioSetDirection(0, 1, 0), 0);
    EXPECT_EQ(level(1), 1);
    EXPECT_EQ(level(9), 1);
}

TEST_F(Gpio, RefusesPinsAndValuesOutOfRange)
{
    int32_t count = 0;
    ASSERT_EQ(HalvoGpioGetCount(0, &count), 0);
    EXPECT_EQ(count, 16);
    uint8_t value;
    EXPECT_EQ(errorClass(HalvoGpioGetDirection(0, 16, &value)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoGpioGetLevel(0, -1, &value)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoGpioSetDirection(0, 0, 2)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoGpioSetLevel(0, 0, 2)), HALVO_CLASS_ARGUMENT);
}

class Storage : public SimTest
{
};

TEST_F(Storage, WriteThenReadBack)
{
    int32_t count = 0, size = 0;
    ASSERT_EQ(HalvoGetStorageCount(0, &count), 0);
    EXPECT_EQ(count, 2);
    ASSERT_EQ(HalvoGetStorageSize(0, 1, &size), 0);
    EXPECT_EQ(size, 8);

    char bytes[8];
    ASSERT_EQ(HalvoStorageRead(0, 1, 0, bytes, 8), 0);
    EXPECT_EQ(bytes[0], 0) << "demo content begins with a 0 byte";
    ASSERT_EQ(HalvoStorageWrite(0, 0, 98, "AB", 2), 0);
    ASSERT_EQ(HalvoStorageRead(0, 0, 97, bytes, 3), 0);
    EXPECT_EQ(std::string(bytes, 3), std::string("\0AB", 3));
}

TEST_F(Storage, RefusesAccessOutsideTheStorage)
{
    char bytes[32];
    EXPECT_EQ(errorClass(HalvoStorageRead(0, 0, 99, bytes, 2)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoStorageRead(0, 0, -1, bytes, 2)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoStorageRead(0, 0, 0, bytes, -1)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoStorageWrite(0, 1, 0, bytes, 9)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoStorageWrite(0, 0, INT32_MAX, bytes, 2)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoStorageWrite(0, 2, 0, bytes, 1)), HALVO_CLASS_ARGUMENT);
    int32_t size;
    EXPECT_EQ(errorClass(HalvoGetStorageSize(0, -1, &size)), HALVO_CLASS_ARGUMENT);
}

class Display : public SimTest
{
};

TEST_F(Display, BacklightAcceptsZeroToHundred)
{
    int32_t count = 0, value = -1;
    ASSERT_EQ(HalvoGetDisplayCount(0, &count), 0);
    EXPECT_EQ(count, 1);
    ASSERT_EQ(HalvoSetBacklightValue(0, 0, 0), 0);
    ASSERT_EQ(HalvoSetBacklightValue(0, 0, 100), 0);
    EXPECT_EQ(errorClass(HalvoSetBacklightValue(0, 0, 101)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoSetBacklightValue(0, 0, -1)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(HalvoSetBacklightValue(0, 1, 50)), HALVO_CLASS_ARGUMENT);
    ASSERT_EQ(HalvoGetBacklightValue(0, 0, &value), 0);
    EXPECT_EQ(value, 100);
}

} // namespace
