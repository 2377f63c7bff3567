// The SMBIOS memory-device parser on hand-made tables, and CPU performance
// writes on the fixture copies.
#include "host_test_support.h"

#include "libhalvo/backends/host/smbios.h"
#include "libhalvo/backends/host/system_info.h"

#include <initializer_list>
#include <utility>

namespace halvo::test
{
namespace
{

// A type 17 structure of `length` bytes (0x22: SMBIOS 2.8) followed by its
// string set. Manufacturer, serial and part number take string indices 1..3.
struct Dimm {
    uint16_t size = 4096;
    uint32_t extendedSize = 0;
    uint16_t rated = 2400, configured = 0;
    uint8_t length = 0x22, type = 0x1A, partIndex = 3;
    std::string strings = std::string("Acme  \0SN-1\0PN-1\0\0", 18);
};

std::string structure(const Dimm &d)
{
    std::string s(d.length, '\0');
    auto put = [&](size_t at, uint32_t v, int bytes) {
        for (int i = 0; i < bytes && at + size_t(i) < s.size(); ++i)
            s[at + size_t(i)] = char(v >> (8 * i));
    };
    put(0, 17, 1);
    put(1, d.length, 1);
    put(0x0C, d.size, 2);
    put(0x12, d.type, 1);
    put(0x15, d.rated, 2);
    put(0x17, 1, 1);
    put(0x18, 2, 1);
    put(0x1A, d.partIndex, 1);
    put(0x1C, d.extendedSize, 4);
    put(0x20, d.configured, 2);
    return s + d.strings;
}

// A BIOS structure (type 0) with one string, as tables begin.
const std::string kBios = std::string("\x00\x04\x00\x00", 4) + std::string("R1\0\0", 4);
const std::string kEnd = std::string("\x7f\x04\xff\xff\0\0", 6);

std::string table(std::initializer_list<Dimm> dimms, const std::string &tail = kEnd)
{
    std::string t = kBios;
    for (const Dimm &d : dimms)
        t += structure(d);
    return t + tail;
}

TEST(AnySmbios, FieldsAreDecodedWithEveryEncodingOfSizeAndSpeed)
{
    Dimm extended, kilobytes, unknown, noStrings, old;
    extended.size = 0x7FFF, extended.extendedSize = 65536, extended.configured = 2133;
    kilobytes.size = 0x8000 | 2048, kilobytes.type = 0x02;
    unknown.size = 0xFFFF, unknown.configured = 0xFFFF, unknown.partIndex = 9;
    noStrings.strings = std::string("\0\0", 2);
    old.length = 0x15; // SMBIOS 2.1: no speed and no strings
    // Size MB, speed MHz, type, manufacturer (padding trimmed), serial, part:
    // the configured speed wins, "Unknown" is no type, a 2.8 structure has no
    // extended speed, and a string index beyond the set is "".
    std::vector<std::string> shown;
    for (const host::MemoryDevice &m :
         host::parseMemoryDevices(table({Dimm{}, extended, kilobytes, unknown, noStrings, old})))
        shown.push_back(std::to_string(m.sizeMB) + " " + std::to_string(m.speedMHz) + " " + m.type + "|" +
                        m.manufacturer + "|" + m.serialNumber + "|" + m.partNumber);
    EXPECT_EQ(shown, (std::vector<std::string>{"4096 2400 DDR4|Acme|SN-1|PN-1", "65536 2133 DDR4|Acme|SN-1|PN-1",
                                               "2 2400 |Acme|SN-1|PN-1", "0 0 DDR4|Acme|SN-1|", "4096 2400 DDR4|||",
                                               "4096 0 DDR4|||"}));
}

TEST(AnySmbios, DamagedTablesKeepWhatCameBeforeTheDamage)
{
    Dimm empty;
    empty.size = 0;
    EXPECT_EQ(host::parseMemoryDevices(table({Dimm{}, empty, Dimm{}})).size(), 2u) << "empty slots are left out";
    EXPECT_EQ(host::parseMemoryDevices(table({Dimm{}}, kEnd + structure(Dimm{}))).size(), 1u) << "after end-of-table";

    const std::string one = table({Dimm{}}, "");
    const std::string two = table({Dimm{}, Dimm{}}, "");
    for (size_t cut = one.size(); cut < two.size(); ++cut)
        EXPECT_EQ(host::parseMemoryDevices(two.substr(0, cut)).size(), 1u) << "cut at " << cut;

    Dimm tooShort;
    tooShort.length = 3;
    EXPECT_EQ(host::parseMemoryDevices(table({Dimm{}, tooShort, Dimm{}})).size(), 1u);
    for (const std::string &junk : {std::string(), std::string(3, '\x11'), std::string(4096, '\xff')})
        EXPECT_TRUE(host::parseMemoryDevices(junk).empty());
}

// ---- CPU performance ------------------------------------------------------------------------

const std::string kPolicy = "/sys/devices/system/cpu/cpufreq/policy";

std::string policyFile(int policy, const char *name)
{
    return fixtureFile(kPolicy + std::to_string(policy) + "/" + name);
}

// Fixture roots never show this machine's addresses, so the choice is
// tested on its own: IPv4 first, else the global IPv6 address getifaddrs gave.
TEST(AnyNetwork, AnInterfaceWithoutIpv4ShowsItsIpv6Address)
{
    const halvo::host::InterfaceAddresses addresses{
        {"eth0", "2001:db8::5"}, {"eth0", "192.0.2.7"}, {"eth1", "2001:db8::9"}, {"eth1", "2001:db8::10"}};
    EXPECT_EQ("192.0.2.7", halvo::host::addressOf(addresses, "eth0"));
    EXPECT_EQ("2001:db8::9", halvo::host::addressOf(addresses, "eth1"));
    EXPECT_EQ("", halvo::host::addressOf(addresses, "eth2"));
}

// What the kernel gives that no battery can be is refused, not shown: a
// status that tells nothing of the power source is not "on AC".
TEST(ServerBattery, UnknownStatusOrImpossiblePercentIsRefused)
{
    halvo::host::SystemInfo part(halvo::test::fixtureRoot(), halvo::test::fixtureSettings());
    const std::string dir = "/sys/class/power_supply/BAT1/";
    BatteryState state{};
    ASSERT_EQ(0, part.getBatteryState(1, state));
    EXPECT_EQ(429, state.rate) << "power_now over voltage_now";
    for (const auto &[file, text] : {std::pair{"status", ""}, {"status", "Unknown"}, {"capacity", "101"}}) {
        const std::string saved = halvo::test::fixtureFile(dir + file);
        ASSERT_EQ(0, halvo::test::fixtureRoot().write(dir + file, text));
        EXPECT_EQ(HALVO_CLASS_DEVICE, halvo::test::errorClass(part.getBatteryState(1, state))) << file << text;
        halvo::test::fixtureRoot().write(dir + file, saved);
    }
}

// Drivers that cannot tell the current frequency have been seen to give 0
// or an unsigned -1; neither is a speed to show on the dial.
TEST(EmbeddedCpuFrequency, ImpossibleFrequenciesAreRefused)
{
    halvo::host::SystemInfo part(halvo::test::fixtureRoot(), halvo::test::fixtureSettings());
    const std::string file = "/sys/devices/system/cpu/cpu0/cpufreq/scaling_cur_freq";
    const std::string saved = halvo::test::fixtureFile(file);
    for (const char *text : {"0", "4294967295", "-1"}) {
        ASSERT_EQ(0, halvo::test::fixtureRoot().write(file, text));
        int32_t khz = 0;
        EXPECT_EQ(HALVO_CLASS_DEVICE, halvo::test::errorClass(part.getCpuFreq(2, khz))) << text;
    }
    halvo::test::fixtureRoot().write(file, saved);
}

TEST(EmbeddedCpuPerformance, GovernorGoesToEveryPolicyAndTheLimitFollowsCpuinfoMax)
{
    host::SystemInfo info(fixtureRoot(), fixtureSettings());
    for (const auto &[type, percent] : {std::pair<uint8_t, int8_t>{4, 50}, {3, 9}, {3, 101}})
        EXPECT_EQ(HALVO_ERROR_CLASS(info.setCpuPerformance(type, percent)), HALVO_CLASS_ARGUMENT);
    EXPECT_EQ(policyFile(1, "scaling_governor"), "ondemand") << "refusals write nothing";

    ASSERT_EQ(info.setCpuPerformance(3, 50), 0);
    for (int policy : {0, 1}) {
        EXPECT_EQ(policyFile(policy, "scaling_governor"), "conservative");
        EXPECT_EQ(policyFile(policy, "scaling_max_freq"), "729500");
    }
    int8_t type = -1, percent = -1;
    ASSERT_EQ(info.getCpuPerformance(type, percent), 0);
    EXPECT_EQ(type, 3);
    EXPECT_EQ(percent, 50);
}

TEST(LaptopCpuPerformance, IntelPstateTakesThePercentAndLacksOndemand)
{
    host::SystemInfo info(fixtureRoot(), fixtureSettings());
    EXPECT_EQ(HALVO_ERROR_CLASS(info.setCpuPerformance(2, 60)), HALVO_CLASS_UNSUPPORTED);
    EXPECT_EQ(policyFile(0, "scaling_governor"), "powersave");

    ASSERT_EQ(info.setCpuPerformance(0, 60), 0);
    for (int policy = 0; policy < 8; ++policy)
        EXPECT_EQ(policyFile(policy, "scaling_governor"), "performance") << policy;
    EXPECT_EQ(fixtureFile("/sys/devices/system/cpu/intel_pstate/max_perf_pct"), "60");
    EXPECT_EQ(policyFile(0, "scaling_max_freq"), "4600000") << "intel_pstate keeps its own limit";
}

TEST(VmCpuPerformance, NoCpufreqMeansUnsupported)
{
    host::SystemInfo info(fixtureRoot(), fixtureSettings());
    EXPECT_EQ(HALVO_ERROR_CLASS(info.setCpuPerformance(0, 100)), HALVO_CLASS_UNSUPPORTED);
}

} // namespace
} // namespace halvo::test
