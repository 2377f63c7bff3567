// Sensors, fan control, PCI and backlight parts on the fixture machines. The
// write tests run after the read tests of their machine (gtest keeps file
// order) and put back what they broke on purpose.
#include "host_test_support.h"
#include "libhalvo/backends/host/backlight.h"
#include "libhalvo/backends/host/pci.h"
#include "libhalvo/backends/host/sensors.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace
{

using halvo::host::Backlight;
using halvo::host::Pci;
using halvo::host::Sensors;
using halvo::test::fixtureFile;
using halvo::test::fixtureRoot;
using halvo::test::fixtureSettings;
using Entries = std::vector<std::pair<std::string, int64_t>>;

const std::string kNct = "/sys/devices/platform/nct6775.656/hwmon/hwmon1/";

std::string text(const char (&field)[HALVO_TEXT_SIZE])
{
    return std::string(field, strnlen(field, sizeof field));
}
struct Value {
    static int64_t of(const TempSensorInfo &r) { return r.value; }
    static int64_t of(const VoltageSensorInfo &r) { return r.value; }
    static int64_t of(const FanInfo &r) { return r.speed; }
};

template <typename Record>
Entries entries(Sensors &part, int32_t (Sensors::*countOf)(int32_t &), int32_t (Sensors::*listOf)(Record *, int32_t))
{
    int32_t n = -1;
    EXPECT_EQ(HALVO_STATUS_OK, (part.*countOf)(n));
    Entries out;
    if (n <= 0)
        return out;
    std::vector<Record> records(static_cast<size_t>(n));
    EXPECT_EQ(HALVO_STATUS_OK, (part.*listOf)(records.data(), n));
    for (const Record &r : records)
        out.emplace_back(text(r.name), Value::of(r));
    return out;
}

uint16_t classOf(int32_t status)
{
    return HALVO_ERROR_CLASS(status);
}

// Puts a directory where the attribute was, so that writing it fails, for
// the life of the object.
class Unwritable
{
public:
    explicit Unwritable(const std::string &path) : path_(fixtureRoot().path(path))
    {
        EXPECT_EQ(0, std::rename(path_.c_str(), (path_ + ".saved").c_str()));
        EXPECT_EQ(0, ::mkdir(path_.c_str(), 0755));
    }
    ~Unwritable()
    {
        ::rmdir(path_.c_str());
        std::rename((path_ + ".saved").c_str(), path_.c_str());
    }

private:
    std::string path_;
};

std::vector<std::string> pwmFiles()
{
    std::vector<std::string> values;
    for (const char *name : {"pwm1", "pwm1_enable", "pwm1_target_temp", "pwm1_temp_tolerance", "pwm2", "pwm2_enable",
                             "pwm2_target_temp", "pwm2_temp_tolerance"})
        values.push_back(fixtureFile(kNct + name));
    return values;
}

} // namespace

TEST(EmbeddedSensors, ListsCarryConfiguredLabelsComputedValuesAndLatin1Names)
{
    Sensors part(fixtureRoot(), fixtureSettings());
    EXPECT_EQ((Entries{{"Package id 0", 52000},
                       {"Core 0", 50000},
                       {"Core 1", 51000},
                       {"SYSTIN", 36000},
                       {"CPUTIN", 41500},
                       {"PECI Agent 0", 48000}}),
              entries(part, &Sensors::getTempSensorCount, &Sensors::getTempSensorList));
    // in1 and in4 through their compute lines, in6 ignored by the
    // configuration, ± kept and ≈ replaced in Latin-1.
    EXPECT_EQ((Entries{{"Vcore", 1008},
                       {"+12V", 12000},
                       {"AVCC", 3344},
                       {"+3.3V", 3328},
                       {"+5V", 5080},
                       {"VTT \xb1"
                        "5% ?1V",
                        1056}}),
              entries(part, &Sensors::getVoltageSensorCount, &Sensors::getVoltageSensorList));
    EXPECT_EQ((Entries{{"SYSFAN", 812}, {"CPU-Fan", 1250}, {"fan3", 0}}),
              entries(part, &Sensors::getFanCount, &Sensors::getFanList));
}

TEST(EmbeddedSensors, CpuReadingsFanStateAndIntrusionFollowTheSettingsAndHwmon)
{
    Sensors part(fixtureRoot(), fixtureSettings());
    int32_t value = 0;
    uint8_t mode = 0, duty = 0;
    ASSERT_EQ(HALVO_STATUS_OK, part.getCpuTemp(0, value));
    EXPECT_EQ(48000, value) << "cpu_temp names PECI Agent 0, not the package sensor";
    EXPECT_EQ(HALVO_CLASS_ARGUMENT, classOf(part.getCpuTemp(1, value)));
    ASSERT_EQ(HALVO_STATUS_OK, part.getCpuFanSpeed(value));
    EXPECT_EQ(1250, value);
    ASSERT_EQ(HALVO_STATUS_OK, part.getIntruderStatus(value));
    EXPECT_EQ(1, value);
    ASSERT_EQ(HALVO_STATUS_OK, part.getFanMode(1, mode));
    EXPECT_EQ(2, mode) << "pwm2_enable 2 is Thermal Cruise on the nct6779";
    EXPECT_EQ(HALVO_CLASS_ARGUMENT, classOf(part.getFanMode(2, mode)));
    ASSERT_EQ(HALVO_STATUS_OK, part.getFanSpeed(1, duty, value));
    EXPECT_EQ(153, duty);
    EXPECT_EQ(1250, value);
    EXPECT_EQ(HALVO_CLASS_UNSUPPORTED, classOf(part.getFanSpeed(2, duty, value))) << "fan3 has no pwm3";
    EXPECT_EQ(HALVO_CLASS_ARGUMENT, classOf(part.getFanSpeed(3, duty, value)));
}

TEST(EmbeddedFanControl, ManualSpeedSelectsManualModeBeforeTheDuty)
{
    Sensors part(fixtureRoot(), fixtureSettings());
    ASSERT_EQ(HALVO_STATUS_OK, part.setCpuFanSpeed(77));
    EXPECT_EQ("1", fixtureFile(kNct + "pwm2_enable"));
    EXPECT_EQ("77", fixtureFile(kNct + "pwm2"));
    {
        // The mode cannot be set: the duty must stay as it was.
        Unwritable enable(kNct + "pwm2_enable");
        EXPECT_NE(HALVO_STATUS_OK, part.setCpuFanSpeed(200));
    }
    EXPECT_EQ("77", fixtureFile(kNct + "pwm2"));
    EXPECT_EQ("100", fixtureFile(kNct + "pwm1")) << "the other fan is left alone";
}

TEST(EmbeddedFanControl, ThermalCruiseWritesTargetAndToleranceThenTheMode)
{
    Sensors part(fixtureRoot(), fixtureSettings());
    ASSERT_EQ(HALVO_STATUS_OK, fixtureRoot().write(kNct + "pwm2_enable", "1"));
    {
        // A refused tolerance leaves the fan in its mode.
        Unwritable tolerance(kNct + "pwm2_temp_tolerance");
        EXPECT_NE(HALVO_STATUS_OK, part.setFanModeThermalCruise(1, 41000, 2000));
        EXPECT_EQ("1", fixtureFile(kNct + "pwm2_enable"));
    }
    ASSERT_EQ(HALVO_STATUS_OK, part.setFanModeThermalCruise(1, 39000, 2000));
    EXPECT_EQ("39000", fixtureFile(kNct + "pwm2_target_temp"));
    EXPECT_EQ("2000", fixtureFile(kNct + "pwm2_temp_tolerance"));
    EXPECT_EQ("2", fixtureFile(kNct + "pwm2_enable"));
    uint8_t mode = 0;
    ASSERT_EQ(HALVO_STATUS_OK, part.getFanMode(1, mode));
    EXPECT_EQ(2, mode);
}

TEST(EmbeddedFanControl, RefusedThermalCruiseWritesNothing)
{
    Sensors part(fixtureRoot(), fixtureSettings());
    const struct {
        int32_t fan, target, tolerance;
        uint16_t cls;
    } cases[] = {
        {1, -1, 2000, HALVO_CLASS_ARGUMENT},       {1, 127001, 2000, HALVO_CLASS_ARGUMENT},
        {1, 40000, -1, HALVO_CLASS_ARGUMENT},      {1, 40000, 7001, HALVO_CLASS_ARGUMENT}, // 3-bit field on nct6779
        {-1, 40000, 2000, HALVO_CLASS_ARGUMENT},   {3, 40000, 2000, HALVO_CLASS_ARGUMENT},
        {2, 40000, 2000, HALVO_CLASS_UNSUPPORTED}, // fan3 has no pwm
    };
    const std::vector<std::string> before = pwmFiles();
    for (const auto &c : cases) {
        EXPECT_EQ(c.cls, classOf(part.setFanModeThermalCruise(c.fan, c.target, c.tolerance)))
            << c.fan << " " << c.target << " " << c.tolerance;
        EXPECT_EQ(before, pwmFiles());
    }
}

TEST(LaptopSensors, SharedLabelsGetChipNamesAndDefaultsFindPackageAndCpuFan)
{
    Sensors part(fixtureRoot(), fixtureSettings());
    const Entries temps = entries(part, &Sensors::getTempSensorCount, &Sensors::getTempSensorList);
    ASSERT_EQ(7u, temps.size());
    EXPECT_EQ("temp1 (acpitz-virtual-0)", temps[0].first);
    EXPECT_EQ("temp1 (thinkpad-isa-0000)", temps[6].first);
    EXPECT_EQ((Entries{{"CPU-Fan", 2650}}), entries(part, &Sensors::getFanCount, &Sensors::getFanList))
        << "the configuration labels it \"CPU fan\"";
    int32_t value = 0;
    uint8_t mode = 9;
    ASSERT_EQ(HALVO_STATUS_OK, part.getCpuTemp(0, value));
    EXPECT_EQ(45000, value) << "coretemp's Package id 0";
    ASSERT_EQ(HALVO_STATUS_OK, part.getFanMode(1, mode));
    EXPECT_EQ(0, mode) << "pwm1_enable 2 is the embedded controller's automatic mode, not Thermal Cruise";
    EXPECT_EQ(HALVO_CLASS_UNSUPPORTED, classOf(part.getIntruderStatus(value)));
    EXPECT_EQ(HALVO_CLASS_UNSUPPORTED, classOf(part.setFanModeThermalCruise(0, 40000, 2000)));
    EXPECT_EQ("2", fixtureFile("/sys/class/hwmon/hwmon2/pwm1_enable"));
}

TEST(LaptopBacklight, FirmwareComesBeforeRawAndValuesArePercentOfMax)
{
    Backlight part(fixtureRoot(), fixtureSettings());
    const std::string video = "/sys/class/backlight/acpi_video0/", raw = "/sys/class/backlight/intel_backlight/";
    int32_t value = 0;
    ASSERT_EQ(HALVO_STATUS_OK, part.getDisplayCount(value));
    EXPECT_EQ(2, value);
    ASSERT_EQ(HALVO_STATUS_OK, part.getBacklightValue(0, value));
    EXPECT_EQ(67, value) << "acpi_video0 at 10 of 15";
    ASSERT_EQ(HALVO_STATUS_OK, part.getBacklightValue(1, value));
    EXPECT_EQ(35, value) << "intel_backlight at 300 of 852";
    ASSERT_EQ(HALVO_STATUS_OK, part.setBacklightValue(0, 50));
    EXPECT_EQ("8", fixtureFile(video + "brightness")) << "7.5 rounds up";
    ASSERT_EQ(HALVO_STATUS_OK, part.setBacklightValue(1, 33));
    EXPECT_EQ("281", fixtureFile(raw + "brightness"));

    for (const auto &[display, level] : {std::pair{1, 101}, {1, -1}, {2, 50}, {-1, 50}})
        EXPECT_EQ(HALVO_CLASS_ARGUMENT, classOf(part.setBacklightValue(display, level))) << display << " " << level;
    EXPECT_EQ("281", fixtureFile(raw + "brightness"));

    ASSERT_EQ(HALVO_STATUS_OK, fixtureRoot().write(video + "max_brightness", "0"));
    EXPECT_EQ(HALVO_CLASS_DEVICE, classOf(part.getBacklightValue(0, value)));
    EXPECT_EQ(HALVO_CLASS_DEVICE, classOf(part.setBacklightValue(0, 20)));
    EXPECT_EQ("8", fixtureFile(video + "brightness"));
    fixtureRoot().write(video + "max_brightness", "15");
}

TEST(EmbeddedPci, ListIsOrderedByAddressWithNamesFromTheRootsIdList)
{
    Pci part(fixtureRoot(), fixtureSettings());
    int32_t n = 0;
    ASSERT_EQ(HALVO_STATUS_OK, part.getPciDeviceCount(n));
    ASSERT_EQ(5, n);
    std::vector<PciDeviceInfo> list(5);
    ASSERT_EQ(HALVO_STATUS_OK, part.getPciDeviceList(list.data(), n));
    const PciDeviceInfo &usb = list[2];
    EXPECT_EQ(
        (std::vector<int32_t>{0, 0, 0x14, 0, 0x8086, 0x0c0330, 0xa36d}),
        (std::vector<int32_t>{usb.domain, usb.bus, usb.device, usb.function, usb.value1, usb.value2, usb.value3}));
    EXPECT_EQ("Intel Corporation", text(usb.text1));
    EXPECT_EQ("USB controller", text(usb.text2));
    EXPECT_EQ("Cannon Lake PCH USB 3.1 xHCI Host Controller", text(usb.text3));
    // The fixture's list leaves the LPC bridge out; the system's would not.
    EXPECT_EQ(0x1f, list[3].device);
    EXPECT_EQ("ISA bridge", text(list[3].text2));
    EXPECT_EQ("Device a306", text(list[3].text3));
    EXPECT_EQ(4, list[4].function);
}

TEST(AnyPci, MissingOrMalformedSysfsNeverEndsTheProcess)
{
    int32_t n = -1;
    const halvo::host::Root nowhere(fixtureRoot().path("/no-such-root"));
    Pci none(nowhere, fixtureSettings());
    ASSERT_EQ(HALVO_STATUS_OK, none.getPciDeviceCount(n));
    EXPECT_EQ(0, n);

    // An entry libpci cannot parse, and a device without its vendor file
    // (libpci's error callback fires inside the scan).
    for (const char *entry : {"not-an-address", "0000:00:00.0"}) {
        const std::string broken = fixtureRoot().path(std::string("/broken-") + entry);
        for (const char *dir : {"", "/sys", "/sys/bus", "/sys/bus/pci", "/sys/bus/pci/devices"})
            ::mkdir((broken + dir).c_str(), 0755);
        ::mkdir((broken + "/sys/bus/pci/devices/" + entry).c_str(), 0755);
        const halvo::host::Root brokenRoot(broken);
        Pci bad(brokenRoot, fixtureSettings());
        EXPECT_EQ(HALVO_CLASS_DEVICE, classOf(bad.getPciDeviceCount(n))) << entry;
    }
}
