// Sensors, fan control, PCI and backlight parts on the fixture machines. The
// write tests run after the read tests of their machine (gtest keeps file
// order) and put back what they broke on purpose.
#include "agent/metrics.h"
#include "host_test_support.h"
#include "libhalvo/backends/host/backlight.h"
#include "libhalvo/backends/host/pci.h"
#include "libhalvo/backends/host/sensors.h"

#include <cstdio>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace
{

using halvo::host::Backlight;
using halvo::host::Pci;
using halvo::host::Sensors;
using halvo::test::errorClass;
using halvo::test::fixtureFile;
using halvo::test::fixtureRoot;
using halvo::test::fixtureSettings;

const std::string kNct = "/sys/devices/platform/nct6775.656/hwmon/hwmon1/";

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

// The lists, labels and values of every machine's sensors, fans, PCI
// devices and backlights are pinned by the golden files (golden_test.cpp):
// on the embedded machine cpu_temp names PECI Agent 0 rather than the
// package sensor, in1 and in4 go through their compute lines, in6 is ignored
// by the configuration, and a label's ± is kept and ≈ replaced in Latin-1;
// pwm2_enable 2 is Thermal Cruise on the nct6779, fan3 has no pwm3. On the
// laptop shared labels get chip names, the configuration labels the fan
// "CPU fan", coretemp's package is the CPU temperature, and pwm1_enable 2 is
// the embedded controller's automatic mode, not Thermal Cruise.
TEST(EmbeddedSensors, FanReadsRefuseFansOutsideTheList)
{
    Sensors part(fixtureRoot(), fixtureSettings());
    int32_t value = 0;
    uint8_t mode = 0, duty = 0;
    EXPECT_EQ(HALVO_CLASS_ARGUMENT, errorClass(part.getFanMode(2, mode)));
    EXPECT_EQ(HALVO_CLASS_ARGUMENT, errorClass(part.getFanSpeed(3, duty, value)));
}

// A reading the driver refuses now (EIO, ENODATA, a text that is no number)
// or a fan turning backwards fails the whole list without writing a record:
// the window keeps what it showed. Read alone, the other sensors still
// answer, and /metrics leaves out only the one that failed. The next list
// reads afresh.
TEST(EmbeddedSensors, AnUnreadableSensorFailsItsListButNotTheOthers)
{
    Sensors part(fixtureRoot(), fixtureSettings());
    int32_t temps = 0, fans = 0;
    ASSERT_EQ(0, part.getTempSensorCount(temps) | part.getFanCount(fans));
    std::vector<TempSensorInfo> t(static_cast<size_t>(temps), TempSensorInfo{"kept", 7});
    std::vector<FanInfo> f(static_cast<size_t>(fans), FanInfo{"kept", 7, 0});
    // The library's own sensors (handle 0, for the metrics) are enumerated
    // while every input reads.
    ASSERT_NE(std::string::npos,
              halvo::agent::metricsText(0).find("halvo_temperature_celsius{sensor=\"SYSTIN\",index=\"3\"} 36"));
    const std::string sensor = kNct + "temp1_input", fan = kNct + "fan1_input"; // SYSTIN, the fourth
    const std::string savedSensor = fixtureFile(sensor), savedFan = fixtureFile(fan);
    for (const auto &[file, text] : {std::pair{sensor, "invalid"}, {sensor, "nan"}, {fan, "-300"}}) {
        SCOPED_TRACE(text);
        ASSERT_EQ(0, fixtureRoot().write(file, text));
        if (file == sensor) {
            EXPECT_EQ(HALVO_CLASS_DEVICE, errorClass(part.getTempSensorList(t.data(), temps)));
            EXPECT_EQ(std::string("kept"), t[0].name);
            TempSensorInfo one{};
            EXPECT_EQ(HALVO_CLASS_DEVICE, errorClass(part.getTempSensor(3, one)));
            ASSERT_EQ(0, part.getTempSensor(2, one));
            EXPECT_EQ(std::make_pair(std::string("Core 1"), 51000), std::make_pair(std::string(one.name), one.value));
            const std::string metrics = halvo::agent::metricsText(0);
            for (const char *line : {"halvo_read_success{read=\"temperatures\"} 0\n",
                                     "halvo_read_success{read=\"temperatures\",index=\"3\"} 0\n",
                                     "halvo_temperature_celsius{sensor=\"Core 1\",index=\"2\"} 51\n"})
                EXPECT_NE(std::string::npos, metrics.find(line)) << line << metrics;
            EXPECT_EQ(std::string::npos, metrics.find("sensor=\"SYSTIN\"")) << metrics;
        } else {
            EXPECT_EQ(HALVO_CLASS_DEVICE, errorClass(part.getFanList(f.data(), fans)));
            EXPECT_EQ(7u, f[0].speed);
        }
        fixtureRoot().write(file, file == sensor ? savedSensor : savedFan);
    }
    ASSERT_EQ(0, fixtureRoot().write(sensor, "39250"));
    ASSERT_EQ(0, part.getTempSensorList(t.data(), temps));
    EXPECT_EQ(39250, t[3].value) << "the new value is read, not a cached one";
    fixtureRoot().write(sensor, savedSensor);
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
        EXPECT_EQ(c.cls, errorClass(part.setFanModeThermalCruise(c.fan, c.target, c.tolerance)))
            << c.fan << " " << c.target << " " << c.tolerance;
        EXPECT_EQ(before, pwmFiles());
    }
}

TEST(LaptopSensors, ThermalCruiseIsUnsupportedAndLeavesTheFanAlone)
{
    Sensors part(fixtureRoot(), fixtureSettings());
    EXPECT_EQ(HALVO_CLASS_UNSUPPORTED, errorClass(part.setFanModeThermalCruise(0, 40000, 2000)));
    EXPECT_EQ("2", fixtureFile("/sys/class/hwmon/hwmon2/pwm1_enable"));
}

TEST(LaptopBacklight, FirmwareComesBeforeRawAndValuesArePercentOfMax)
{
    Backlight part(fixtureRoot(), fixtureSettings());
    const std::string video = "/sys/class/backlight/acpi_video0/", raw = "/sys/class/backlight/intel_backlight/";
    // Read, acpi_video0 at 10 of 15 is 67 % and intel_backlight at 300 of
    // 852 is 35 % (the golden file).
    int32_t value = 0;
    ASSERT_EQ(HALVO_STATUS_OK, part.setBacklightValue(0, 50));
    EXPECT_EQ("8", fixtureFile(video + "brightness")) << "7.5 rounds up";
    ASSERT_EQ(HALVO_STATUS_OK, part.setBacklightValue(1, 33));
    EXPECT_EQ("281", fixtureFile(raw + "brightness"));

    for (const auto &[display, level] : {std::pair{1, 101}, {1, -1}, {2, 50}, {-1, 50}})
        EXPECT_EQ(HALVO_CLASS_ARGUMENT, errorClass(part.setBacklightValue(display, level))) << display << " " << level;
    EXPECT_EQ("281", fixtureFile(raw + "brightness"));

    ASSERT_EQ(HALVO_STATUS_OK, fixtureRoot().write(video + "max_brightness", "0"));
    EXPECT_EQ(HALVO_CLASS_DEVICE, errorClass(part.getBacklightValue(0, value)));
    EXPECT_EQ(HALVO_CLASS_DEVICE, errorClass(part.setBacklightValue(0, 20)));
    EXPECT_EQ("8", fixtureFile(video + "brightness"));
    fixtureRoot().write(video + "max_brightness", "15");
}

TEST(AnyPci, MissingOrMalformedEntriesCostThoseEntriesOnly)
{
    int32_t n = -1;
    const halvo::host::Root nowhere(fixtureRoot().path("/no-such-root"));
    Pci none(nowhere, fixtureSettings());
    ASSERT_EQ(HALVO_STATUS_OK, none.getPciDeviceCount(n));
    EXPECT_EQ(0, n);

    // An entry libpci cannot parse, and a device without its vendor file
    // (libpci's error callback fires inside the fill); the server machine's
    // golden file shows such entries beside sound ones.
    const std::string broken = fixtureRoot().path("/broken");
    for (const char *dir : {"", "/sys", "/sys/bus", "/sys/bus/pci", "/sys/bus/pci/devices"})
        ::mkdir((broken + dir).c_str(), 0755);
    for (const char *entry : {"not-an-address", "0000:00:00.0"})
        ::mkdir((broken + "/sys/bus/pci/devices/" + entry).c_str(), 0755);
    const halvo::host::Root brokenRoot(broken);
    Pci bad(brokenRoot, fixtureSettings());
    EXPECT_EQ(HALVO_STATUS_OK, bad.getPciDeviceCount(n));
    EXPECT_EQ(0, n);
}
