// GPIO, storage, bus and watchdog parts on the fixture copy; what needs ioctls
// is in ioctl_test.cpp.
#include "host_test_support.h"

#include "libhalvo/backends/host/gpio.h"
#include "libhalvo/backends/host/i2c.h"
#include "libhalvo/backends/host/power.h"
#include "libhalvo/backends/host/storage.h"
#include "libhalvo/backends/host/watchdog.h"

#include <climits>
#include <vector>

namespace halvo::test
{
namespace
{

Settings settingsFrom(const std::string &text)
{
    std::vector<std::string> notes;
    return parseSettings(text, "test.conf", notes);
}

std::string contents(const std::string &path)
{
    std::string all;
    fixtureRoot().read(path, all);
    return all;
}

const char *kChip = "/dev/gpiochip0";
const char *kEeprom = "/sys/bus/nvmem/devices/1-00500/nvmem";

TEST(EmbeddedGpio, PinsFollowTheSettingsOrderAndBadEntriesAreLeftOut)
{
    const std::string before = contents(kChip);
    host::Gpio gpio(fixtureRoot(), settingsFrom("gpio = gpiochip0:5,1-2 gpiochip0 gpiochip0:3-1 gpiochip0:9-12\n"
                                                "gpio = gpiochip7:0 gpiochip0:2 gpiochip0:x, ../gpiochip0:1 "
                                                "gpiochip0:8\n"));
    int32_t count = 0;
    ASSERT_EQ(gpio.gpioGetCount(count), 0);
    const std::vector<std::pair<uint8_t, uint8_t>> expected{{1, 1}, {0, 0}, {0, 1}, {0, 0}}; // lines 5, 1, 2, 8
    ASSERT_EQ(count, int32_t(expected.size()));
    for (int pin = 0; pin < count; ++pin) {
        uint8_t direction = 9, level = 9;
        EXPECT_EQ(gpio.gpioGetDirection(pin, direction) | gpio.gpioGetLevel(pin, level), 0);
        EXPECT_EQ(std::make_pair(direction, level), expected[static_cast<size_t>(pin)]) << pin;
    }
    EXPECT_EQ(contents(kChip), before) << "reads changed the chip or kept lines held";
}

TEST(EmbeddedGpio, ChangesReachTheChipAndRefusalsDoNot)
{
    host::Gpio gpio(fixtureRoot(), fixtureSettings());
    ASSERT_EQ(gpio.gpioSetDirection(0, 1), 0);
    EXPECT_NE(contents(kChip).find("\n0 out 1 DI0 # held\n"), std::string::npos) << "a new output keeps its level";
    ASSERT_EQ(gpio.gpioSetLevel(0, 0) | gpio.gpioSetDirection(5, 0) | gpio.gpioSetLevel(4, 1), 0);
    const std::string text = contents(kChip);
    EXPECT_NE(text.find("\n0 out 0 DI0 # held\n"), std::string::npos);
    EXPECT_NE(text.find("\n5 in 1 DO1\n"), std::string::npos) << "an input is not held";
    EXPECT_NE(text.find("\n4 out 1 DO0 # held\n"), std::string::npos) << "an output set at boot, now driven";

    EXPECT_EQ(errorClass(gpio.gpioSetLevel(1, 1)), HALVO_CLASS_UNSUPPORTED) << "Linux keeps no latch for an input";
    uint8_t v;
    for (const int32_t status :
         {gpio.gpioSetLevel(0, 2), gpio.gpioSetDirection(0, 2), gpio.gpioGetLevel(8, v), gpio.gpioGetDirection(-1, v)})
        EXPECT_EQ(errorClass(status), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(contents(kChip), text);
}

TEST(EmbeddedStorage, WindowsMapOntoTheFileAndRefusalsWriteNothing)
{
    // Counts, sizes and the first bytes of each window: the golden file.
    host::Storage storage(fixtureRoot(), fixtureSettings());
    char buffer[256] = {};
    ASSERT_EQ(storage.storageWrite(1, 62, "ab", 2), 0);
    const std::string written = contents(kEeprom);
    EXPECT_EQ(written.substr(253), "\xfd"
                                   "ab");

    struct Case {
        int32_t storage, offset, length;
    } cases[] = {{2, 0, 1}, {-1, 0, 1}, {1, 60, 5}, {1, -1, 1}, {0, INT32_MAX, 2}, {0, 0, -1}, {0, 0, 129}};
    for (const Case &c : cases) {
        EXPECT_EQ(errorClass(storage.storageWrite(c.storage, c.offset, buffer, c.length)), HALVO_CLASS_ARGUMENT)
            << c.storage << " " << c.offset << " " << c.length;
        EXPECT_EQ(errorClass(storage.storageRead(c.storage, c.offset, buffer, c.length)), HALVO_CLASS_ARGUMENT);
    }
    EXPECT_EQ(contents(kEeprom), written);
}

TEST(EmbeddedStorage, BadLinesAreLeftOutAndMissingFilesAreUnsupported)
{
    host::Storage storage(fixtureRoot(), settingsFrom("storage = nvmem 0 1\nstorage = /p -1 4\nstorage = /p 0\n"
                                                      "storage = /p 0 1 2\nstorage = /p 0 99999999999\n"
                                                      "storage = /sys/../etc/passwd 0 1\n"
                                                      "storage = /sys/bus/nvmem/devices/1-00500/nvmem 200 57\n"
                                                      "storage = /sys/bus/nvmem/devices/1-00500/nvmem 250 6\n"
                                                      "storage = /sys/bus/nvmem/devices/9-00500/nvmem 0 8\n"));
    int32_t count = 0, size = 0;
    char buffer[6];
    ASSERT_EQ(storage.getStorageCount(count) | storage.getStorageSize(0, size), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(size, 6);
    EXPECT_EQ(errorClass(storage.storageRead(1, 0, buffer, 6)), HALVO_CLASS_UNSUPPORTED);
}

TEST(EmbeddedI2c, BusesAreTheAdaptersInNumberOrderAndBadArgumentsStopBeforeTheBus)
{
    host::I2c i2c(fixtureRoot(), fixtureSettings());
    uint8_t buffer[HALVO_BLOCK_BUFFER_SIZE];
    // Four buses of each kind (the golden file). Bus 2 is i2c-2, whose stand-in is a plain file; bus 3 is i2c-10, which
    // has no node.
    EXPECT_EQ(errorClass(i2c.smbusReadByte(2, 0x50, 0, buffer[0])), HALVO_CLASS_DEVICE);
    EXPECT_EQ(errorClass(i2c.smbusReadByte(3, 0x50, 0, buffer[0])), HALVO_CLASS_UNSUPPORTED);

    uint32_t four = 4, none = 0;
    std::vector<uint8_t> big(8192);
    for (const int32_t status : {i2c.smbusSendByte(4, 0x50, 0), i2c.smbusSendByte(0, 0x80, 0),
                                 i2c.smbusQuickCommand(0, 0x50, 2), i2c.i2cRead(0, 0x50, 0, 2, buffer, four),
                                 i2c.i2cRead(0, 0x50, 0, 0, buffer, none), i2c.i2cWrite(0, 0x50, 0, big.data(), 8192)})
        EXPECT_EQ(errorClass(status), HALVO_CLASS_ARGUMENT);
}

TEST(EmbeddedWatchdog, RefusalsAndIdleCallsLeaveTheNodeAlone)
{
    host::Watchdog watchdog(fixtureRoot(), fixtureSettings());
    EXPECT_EQ(errorClass(watchdog.watchdogEnable(0)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(errorClass(watchdog.watchdogEnable(-1000)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(watchdog.watchdogTrigger() | watchdog.watchdogDisable(), 0) << "a stopped watchdog needs nothing";
    EXPECT_EQ(contents("/dev/watchdog0"), "");
    // The kernel's view, whoever armed it; stopped at first (the golden file).
    int32_t armed = -1, timeoutMs = -1;
    ASSERT_EQ(fixtureRoot().write("/sys/class/watchdog/watchdog0/state", "active\n"), 0);
    ASSERT_EQ(watchdog.watchdogGetState(armed, timeoutMs), 0);
    EXPECT_EQ(armed, 1);
    EXPECT_EQ(timeoutMs, 30000);
    ASSERT_EQ(fixtureRoot().write("/sys/class/watchdog/watchdog0/state", "inactive\n"), 0);
    for (const char *setting : {"watchdog = /dev/watchdog3", "watchdog = /etc/halvo/halvo.conf"}) {
        host::Watchdog other(fixtureRoot(), settingsFrom(setting));
        EXPECT_EQ(errorClass(other.watchdogEnable(1000)), HALVO_CLASS_UNSUPPORTED) << setting;
    }
}

TEST(AnyDevices, NothingConfiguredOrFoundMeansNoDevices)
{
    const host::Root empty(fixtureRoot().path("/nonexistent"));
    host::Gpio gpio(empty, Settings{});
    host::I2c i2c(empty, Settings{});
    host::Power power(empty, Settings{});
    int32_t pins = -1;
    uint8_t buses = 9, v;
    EXPECT_EQ(gpio.gpioGetCount(pins) | i2c.getSmbusCount(buses), 0);
    EXPECT_EQ(pins + buses, 0);
    EXPECT_EQ(errorClass(gpio.gpioGetLevel(0, v)), HALVO_CLASS_UNSUPPORTED);
    EXPECT_EQ(errorClass(i2c.smbusSendByte(0, 0x50, 0)), HALVO_CLASS_UNSUPPORTED);
    // States that need no bus.
    EXPECT_EQ(power.setSystemState(0), 0);
    EXPECT_EQ(errorClass(power.setSystemState(4)), HALVO_CLASS_ARGUMENT);
}

} // namespace
} // namespace halvo::test
