// halvo_vm_checks: libhalvo's host backend, and halvo-agent serving it,
// against real kernel drivers inside the throwaway VM of scripts/vm-test
// (tests/vm/init loads the drivers and makes the devices). Every check
// compares the library's answer with the kernel's own view: sysfs, raw
// ioctls, or the state file of cp2112-responder, the emulated USB bridge
// behind hid-cp2112. Never run it on a real machine: it drives the watchdog,
// the backlight and the EEPROM.
#include "board/halvo.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gpiod.h>
#include <grp.h>
#include <linux/gpio.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <linux/watchdog.h>
#include <map>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;

// The i2c-stub chips (tests/vm/init) and the bridge's register file.
constexpr uint8_t kStubChip = 0x20, kLm75 = 0x48, kAt24 = 0x50, kBridgeChip = 0x2c;
// Board pins are the bridge's lines 0-3 (gpio = gpiochipN:0-3).
constexpr int kDrivenPin = 0, kBusyPin = 1, kReadPin = 2, kAgentPin = 3;
constexpr uid_t kUser = 1000;
constexpr uint32_t kByte = I2C_SMBUS_BYTE_DATA, kWord = I2C_SMBUS_WORD_DATA;

struct Report {
    std::string group;
    int checks = 0, failed = 0;

    void expect(bool ok, const std::string &what, const std::string &detail = "")
    {
        ++checks;
        failed += ok ? 0 : 1;
        std::printf("%s %s: %s%s%s\n", ok ? "ok  " : "FAIL", group.c_str(), what.c_str(),
                    ok || detail.empty() ? "" : " -- ", ok ? "" : detail.c_str());
        std::fflush(stdout);
    }
};

std::string hex(long v)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%lx", v);
    return text;
}

std::string statusText(int32_t s)
{
    return "status " + hex(static_cast<uint32_t>(s)) + " (class " + std::to_string(HALVO_ERROR_CLASS(s)) + ")";
}

bool isClass(int32_t s, uint16_t cls)
{
    return s != HALVO_STATUS_OK && HALVO_ERROR_CLASS(s) == cls;
}

std::string readText(const std::string &path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

long readLong(const std::string &path)
{
    const std::string text = readText(path);
    return text.empty() ? -999999 : std::strtol(text.c_str(), nullptr, 10);
}

std::vector<std::string> entries(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = ::opendir(dir.c_str())) {
        while (const dirent *e = ::readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool waitFor(const std::function<bool()> &done, int ms)
{
    for (int waited = 0; !done(); waited += 50) {
        if (waited >= ms)
            return false;
        ::usleep(50 * 1000);
    }
    return true;
}

// Raw SMBus on /dev/i2c-N with I2C_SLAVE_FORCE, so that the checks can look
// behind the lm75 and at24 drivers that own their addresses.
class RawBus
{
public:
    explicit RawBus(int adapter) : fd_(::open(("/dev/i2c-" + std::to_string(adapter)).c_str(), O_RDWR | O_CLOEXEC)) {}
    ~RawBus()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    RawBus(const RawBus &) = delete;
    RawBus &operator=(const RawBus &) = delete;

    bool xfer(uint8_t address, uint8_t rw, uint8_t command, uint32_t size, i2c_smbus_data *data) const
    {
        i2c_smbus_ioctl_data args{rw, command, size, data};
        return fd_ >= 0 && ::ioctl(fd_, I2C_SLAVE_FORCE, static_cast<unsigned long>(address)) == 0 &&
               ::ioctl(fd_, I2C_SMBUS, &args) == 0;
    }
    unsigned long functions() const
    {
        unsigned long f = 0;
        return fd_ >= 0 && ::ioctl(fd_, I2C_FUNCS, &f) == 0 ? f : 0;
    }
    // Byte, word and plain byte (receive) reads; -1 when the transfer fails.
    long get(uint8_t a, uint8_t command, uint32_t size) const
    {
        i2c_smbus_data d{};
        return !xfer(a, I2C_SMBUS_READ, command, size, &d) ? -1 : size == I2C_SMBUS_WORD_DATA ? d.word : d.byte;
    }
    // Byte and word writes; quick and send byte take no value.
    bool put(uint8_t a, uint8_t command, uint32_t size, uint16_t value = 0) const
    {
        i2c_smbus_data d{};
        d.word = value;
        return xfer(a, I2C_SMBUS_WRITE, command, size, &d);
    }
    bool writeBlock(uint8_t a, uint8_t c, const Bytes &v) const
    {
        i2c_smbus_data d{};
        d.block[0] = static_cast<uint8_t>(v.size());
        std::copy(v.begin(), v.end(), d.block + 1);
        return xfer(a, I2C_SMBUS_WRITE, c, I2C_SMBUS_BLOCK_DATA, &d);
    }
    Bytes readBlock(uint8_t a, uint8_t c) const
    {
        i2c_smbus_data d{};
        return xfer(a, I2C_SMBUS_READ, c, I2C_SMBUS_BLOCK_DATA, &d) ? Bytes(d.block + 1, d.block + 1 + d.block[0])
                                                                    : Bytes{};
    }

private:
    int fd_;
};

// What cp2112-responder wrote last: the bridge's pins and register file.
struct Bridge {
    unsigned direction = 0, latch = 0, levels = 0, pointer = 0;
    Bytes regs;

    bool bit(unsigned mask, int pin) const { return (mask >> pin) & 1; }
};

Bridge readBridge(const std::string &path)
{
    Bridge b;
    std::ifstream in(path);
    std::map<std::string, unsigned *> fields = {
        {"direction", &b.direction}, {"latch", &b.latch}, {"levels", &b.levels}, {"pointer", &b.pointer}};
    for (std::string key; in >> key;) {
        if (key == "regs") {
            for (unsigned v; b.regs.size() < 256 && in >> std::hex >> v;)
                b.regs.push_back(static_cast<uint8_t>(v));
        } else if (fields.count(key)) {
            in >> std::hex >> *fields[key];
        }
    }
    return b;
}

struct Line {
    bool used = false, output = false;
    std::string consumer;
};

Line lineInfo(const std::string &chip, unsigned offset)
{
    Line line;
    const int fd = ::open(chip.c_str(), O_RDONLY | O_CLOEXEC);
    gpio_v2_line_info info{};
    info.offset = offset;
    if (fd >= 0 && ::ioctl(fd, GPIO_V2_GET_LINEINFO_IOCTL, &info) == 0) {
        line.used = info.flags & GPIO_V2_LINE_FLAG_USED;
        line.output = info.flags & GPIO_V2_LINE_FLAG_OUTPUT;
        line.consumer = info.consumer;
    }
    if (fd >= 0)
        ::close(fd);
    return line;
}

std::string describe(const Line &l)
{
    return std::string(l.used ? "used" : "free") + (l.output ? " output" : " input") + " consumer \"" + l.consumer +
           "\"";
}

// The devices as the kernel lists them.
struct Machine {
    int stubAdapter = -1, bridgeAdapter = -1; // N of /dev/i2c-N
    uint8_t stubBus = 0, bridgeBus = 0;       // the library's bus numbers
    std::string temp, chip, nvmem;
    std::string backlight = "/sys/class/backlight/acpi_video0";
    std::string watchdog = "/sys/class/watchdog/watchdog0";
    std::string state = "/run/cp2112.state";
};

Machine discover(const std::string &state)
{
    Machine m;
    m.state = state;
    std::vector<int> adapters;
    for (const std::string &e : entries("/sys/class/i2c-dev"))
        adapters.push_back(std::atoi(e.c_str() + 4));
    std::sort(adapters.begin(), adapters.end());
    for (size_t i = 0; i < adapters.size(); ++i) {
        const std::string name = readText("/sys/class/i2c-dev/i2c-" + std::to_string(adapters[i]) + "/name");
        if (name.rfind("SMBus stub driver", 0) == 0)
            m.stubAdapter = adapters[i], m.stubBus = static_cast<uint8_t>(i);
        if (name.rfind("CP2112 SMBus Bridge", 0) == 0)
            m.bridgeAdapter = adapters[i], m.bridgeBus = static_cast<uint8_t>(i);
    }
    for (const std::string &e : entries("/sys/class/hwmon"))
        if (readText("/sys/class/hwmon/" + e + "/name") == "lm75")
            m.temp = "/sys/class/hwmon/" + e + "/temp1_input";
    for (const std::string &e : entries("/dev")) {
        gpiochip_info info{};
        const int fd = e.rfind("gpiochip", 0) == 0 ? ::open(("/dev/" + e).c_str(), O_RDONLY | O_CLOEXEC) : -1;
        if (fd >= 0 && ::ioctl(fd, GPIO_GET_CHIPINFO_IOCTL, &info) == 0 && std::string(info.label) == "cp2112_gpio")
            m.chip = "/dev/" + e;
        if (fd >= 0)
            ::close(fd);
    }
    for (const std::string &e : entries("/sys/bus/nvmem/devices"))
        if (e.rfind(std::to_string(m.stubAdapter) + "-0050", 0) == 0)
            m.nvmem = "/sys/bus/nvmem/devices/" + e + "/nvmem";
    return m;
}

// Runs this program again with `args`, as `uid` when not 0; its exit code.
int runSelf(const std::vector<std::string> &args, uid_t uid)
{
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const gid_t gid = uid;
        if (uid && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0))
            ::_exit(126);
        std::vector<char *> argv = {const_cast<char *>("halvo_vm_checks")};
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        ::execv("/proc/self/exe", argv.data());
        ::_exit(127);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// lm75 sends its temperature register big-endian; SMBus words travel
// little-endian. 9-bit resolution: 0.5 °C steps in the top bits.
bool setLm75(const Machine &m, uint16_t reg)
{
    return RawBus(m.stubAdapter).put(kLm75, 0, kWord, static_cast<uint16_t>(reg << 8 | reg >> 8));
}

int32_t lm75Milli(uint16_t reg)
{
    return (static_cast<int16_t>(reg) >> 7) * 500;
}

void sensors(Report &r, const Machine &m)
{
    long kernelInputs = 0;
    for (const std::string &h : entries("/sys/class/hwmon"))
        for (const std::string &f : entries("/sys/class/hwmon/" + h))
            kernelInputs += f.rfind("temp", 0) == 0 && f.find("_input") != std::string::npos;
    int32_t count = 0;
    int32_t s = HalvoGetTempSensorCount(0, &count);
    r.expect(s == 0 && count == kernelInputs, "one temperature per hwmon input",
             statusText(s) + ", " + std::to_string(count) + " for " + std::to_string(kernelInputs));

    const uint16_t registers[] = {0x1980, 0xf380, 0x7d00, 0x0080};
    for (const uint16_t reg : registers) {
        const int32_t want = lm75Milli(reg);
        const std::string what = std::to_string(want) + " m°C";
        // The driver may answer from a recent reading for a while.
        const bool seen = setLm75(m, reg) && waitFor([&] { return readLong(m.temp) == want; }, 3000);
        r.expect(seen, what + ": the lm75 driver reports it", "sysfs says " + readText(m.temp));
        int32_t cpu = 0;
        s = HalvoGetCpuTemp(0, 0, &cpu);
        r.expect(s == 0 && cpu == readLong(m.temp), what + ": CPU temperature read fresh",
                 statusText(s) + ", " + std::to_string(cpu));
        std::vector<TempSensorInfo> list(static_cast<size_t>(std::max(count, 1)));
        s = HalvoGetTempSensorList(0, list.data(), static_cast<int32_t>(list.size()));
        r.expect(s == 0 && std::any_of(list.begin(), list.end(), [&](auto &t) { return t.value == want; }),
                 what + ": in the sensor list", statusText(s));
    }
}

// A child process holding a line as an output, as another program would.
class LineHolder
{
public:
    LineHolder(const std::string &chip, unsigned offset)
    {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            gpiod_chip *c = gpiod_chip_open(chip.c_str());
            gpiod_line *line = c ? gpiod_chip_get_line(c, offset) : nullptr;
            const char ok = line && gpiod_line_request_output(line, "vm-holder", 0) == 0;
            char dummy;
            if (::write(ready[1], &ok, 1) == 1)
                (void)!::read(release[0], &dummy, 1); // until the parent closes its end
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        release_ = release[1];
        char ok = 0;
        held_ = ::read(ready[0], &ok, 1) == 1 && ok;
        ::close(ready[0]);
    }
    ~LineHolder()
    {
        ::close(release_);
        if (pid_ > 0)
            ::waitpid(pid_, nullptr, 0);
    }
    bool held() const { return held_; }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool held_ = false;
};

void gpio(Report &r, const Machine &m)
{
    for (int pin = 0; pin < 4; ++pin) {
        uint8_t direction = 9;
        const int32_t s = HalvoGpioGetDirection(0, pin, &direction);
        const Line l = lineInfo(m.chip, static_cast<unsigned>(pin));
        r.expect(s == 0 && (direction != 0) == l.output, "pin " + std::to_string(pin) + " direction as the kernel's",
                 statusText(s) + ", kernel: " + describe(l));
    }

    const Bridge before = readBridge(m.state);
    int32_t s = HalvoGpioSetDirection(0, kDrivenPin, 1);
    Bridge b = readBridge(m.state);
    Line l = lineInfo(m.chip, kDrivenPin);
    r.expect(s == 0 && l.output && b.bit(b.direction, kDrivenPin), "output direction reaches the kernel and the chip",
             statusText(s) + ", kernel: " + describe(l) + ", chip direction " + hex(b.direction));
    r.expect(b.bit(b.latch, kDrivenPin) == before.bit(before.levels, kDrivenPin),
             "a pin turned output drives the level it read (no edge)", "latch " + hex(b.latch));
    for (const uint8_t level : {0, 1, 0}) {
        s = HalvoGpioSetLevel(0, kDrivenPin, level);
        b = readBridge(m.state);
        uint8_t read = 9;
        const int32_t g = HalvoGpioGetLevel(0, kDrivenPin, &read);
        r.expect(s == 0 && g == 0 && b.bit(b.latch, kDrivenPin) == level && read == level,
                 "level " + std::to_string(level) + " driven and read back",
                 statusText(s) + ", " + statusText(g) + ", chip latch " + hex(b.latch));
    }
    l = lineInfo(m.chip, kDrivenPin);
    r.expect(l.used && l.consumer == "halvo", "a driven output stays held", "kernel: " + describe(l));
    s = HalvoGpioSetDirection(0, kDrivenPin, 0);
    b = readBridge(m.state);
    l = lineInfo(m.chip, kDrivenPin);
    r.expect(s == 0 && !l.output && !b.bit(b.direction, kDrivenPin), "input direction reaches the kernel and the chip",
             statusText(s) + ", kernel: " + describe(l));
    r.expect(!l.used, "an input is not held", "kernel: " + describe(l));

    uint8_t level = 9;
    s = HalvoGpioGetLevel(0, kReadPin, &level);
    b = readBridge(m.state);
    r.expect(s == 0 && level == b.bit(b.levels, kReadPin), "an input's level as the chip's",
             statusText(s) + ", " + std::to_string(level) + ", chip levels " + hex(b.levels));
    l = lineInfo(m.chip, kReadPin);
    r.expect(!l.used, "a level read leaves the line free", "kernel: " + describe(l));

    LineHolder holder(m.chip, kBusyPin);
    r.expect(holder.held(), "another process holds pin " + std::to_string(kBusyPin));
    const std::pair<const char *, std::function<int32_t()>> busy[] = {
        {"set direction", [] { return HalvoGpioSetDirection(0, kBusyPin, 1); }},
        {"set level", [] { return HalvoGpioSetLevel(0, kBusyPin, 1); }},
        {"read level",
         [] {
             uint8_t v;
             return HalvoGpioGetLevel(0, kBusyPin, &v);
         }},
    };
    for (const auto &[what, call] : busy) {
        s = call();
        l = lineInfo(m.chip, kBusyPin);
        r.expect(isClass(s, HALVO_CLASS_DEVICE) && l.consumer == "vm-holder",
                 std::string(what) + " of a line held elsewhere is a device failure",
                 statusText(s) + ", kernel: " + describe(l));
    }
}

void smbus(Report &r, const Machine &m)
{
    const RawBus stub(m.stubAdapter);
    const uint8_t bus = m.stubBus, a = kStubChip;
    const Bytes block32 = [] {
        Bytes v(32);
        for (size_t i = 0; i < v.size(); ++i)
            v[i] = static_cast<uint8_t>(0xa0 + i);
        return v;
    }();
    // Each row: set the chip up through the kernel, run the library's
    // transaction, and check the result through the kernel again.
    struct Row {
        const char *what;
        std::function<bool()> setUp;
        std::function<int32_t()> call;
        std::function<bool()> check;
    };
    uint8_t byte = 0;
    uint16_t word = 0;
    uint8_t buffer[HALVO_BLOCK_BUFFER_SIZE] = {};
    uint8_t count = 0;
    const Row rows[] = {
        {"quick command to a present chip", [] { return true; }, [&] { return HalvoSmbusQuickCommand(0, bus, a, 1); },
         [&] { return stub.put(a, 0, I2C_SMBUS_QUICK); }},
        {"send byte sets the chip's pointer", [&] { return stub.put(a, 0x31, kByte, 0x5a); },
         [&] { return HalvoSmbusSendByte(0, bus, a, 0x31); }, [&] { return stub.get(a, 0, I2C_SMBUS_BYTE) == 0x5a; }},
        {"receive byte", [&] { return stub.put(a, 0x32, kByte, 0xa7) && stub.put(a, 0x32, I2C_SMBUS_BYTE); },
         [&] { return HalvoSmbusReceiveByte(0, bus, a, &byte); }, [&] { return byte == 0xa7; }},
        {"write byte", [] { return true; }, [&] { return HalvoSmbusWriteByte(0, bus, a, 0x40, 0x3c); },
         [&] { return stub.get(a, 0x40, kByte) == 0x3c; }},
        {"read byte", [&] { return stub.put(a, 0x41, kByte, 0xc3); },
         [&] { return HalvoSmbusReadByte(0, bus, a, 0x41, &byte); }, [&] { return byte == 0xc3; }},
        {"write word", [] { return true; }, [&] { return HalvoSmbusWriteWord(0, bus, a, 0x50, 0xbeef); },
         [&] { return stub.get(a, 0x50, kWord) == 0xbeef; }},
        {"read word", [&] { return stub.put(a, 0x51, kWord, 0x1234); },
         [&] { return HalvoSmbusReadWord(0, bus, a, 0x51, &word); }, [&] { return word == 0x1234; }},
        {"write block of 32", [] { return true; },
         [&] { return HalvoSmbusWriteBlock(0, bus, a, 0x60, block32.data(), 32); },
         [&] { return stub.readBlock(a, 0x60) == block32; }},
        {"read block",
         [&] {
             return stub.writeBlock(a, 0x61, {1, 2, 3, 0xfe, 0xff});
         },
         [&] { return HalvoSmbusReadBlock(0, bus, a, 0x61, buffer, &count); },
         [&] {
             return Bytes(buffer, buffer + count) == Bytes{1, 2, 3, 0xfe, 0xff};
         }},
    };
    for (const Row &row : rows) {
        const bool ready = row.setUp();
        const int32_t s = row.call();
        r.expect(ready && s == 0 && row.check(), row.what, ready ? statusText(s) : "set-up through the kernel failed");
    }
    int32_t s = HalvoSmbusQuickCommand(0, bus, kStubChip + 1, 1);
    r.expect(!stub.put(kStubChip + 1, 0, I2C_SMBUS_QUICK) && isClass(s, HALVO_CLASS_DEVICE),
             "an absent address is a device failure", statusText(s));

    // Kinds the adapter does not offer, by the kernel's I2C_FUNCS.
    const RawBus bridge(m.bridgeAdapter);
    uint32_t n = 4;
    const struct {
        const char *what;
        const RawBus &raw;
        unsigned long function;
        std::function<int32_t()> call;
    } refused[] = {
        {"quick command on the bridge", bridge, I2C_FUNC_SMBUS_QUICK,
         [&] { return HalvoSmbusQuickCommand(0, m.bridgeBus, kBridgeChip, 1); }},
        {"plain I2C read on the stub", stub, I2C_FUNC_I2C, [&] { return HalvoI2cRead(0, bus, a, 0, 1, buffer, &n); }},
        {"plain I2C write on the stub", stub, I2C_FUNC_I2C, [&] { return HalvoI2cWrite(0, bus, a, 0, buffer, 2); }},
    };
    for (const auto &row : refused) {
        s = row.call();
        r.expect(
            row.raw.functions() != 0 && !(row.raw.functions() & row.function) && isClass(s, HALVO_CLASS_UNSUPPORTED),
            std::string(row.what) + " is unsupported", statusText(s) + ", funcs " + hex(long(row.raw.functions())));
    }

    // Plain I2C on the bridge, against its register file.
    const Bytes written = {0xde, 0xad, 0xbe, 0xef, 0x00, 0x11, 0x22, 0x33};
    s = HalvoI2cWrite(0, m.bridgeBus, kBridgeChip, 0x10, written.data(), static_cast<uint32_t>(written.size()));
    Bridge b = readBridge(m.state);
    r.expect(s == 0 && b.regs.size() == 256 && Bytes(b.regs.begin() + 0x10, b.regs.begin() + 0x18) == written,
             "I2C write lands in the device's registers", statusText(s));
    // More than one read report's worth (61 bytes) of data.
    n = 100;
    s = HalvoI2cRead(0, m.bridgeBus, kBridgeChip, 0x80, 1, buffer, &n);
    r.expect(s == 0 && n == 100 && b.regs.size() == 256 &&
                 Bytes(buffer, buffer + 100) == Bytes(b.regs.begin() + 0x80, b.regs.begin() + 0xe4),
             "I2C read of 100 bytes from a memory address", statusText(s) + ", " + std::to_string(n) + " bytes");
    b = readBridge(m.state);
    n = 4;
    s = HalvoI2cRead(0, m.bridgeBus, kBridgeChip, 0, 0, buffer, &n);
    r.expect(s == 0 && n == 4 && b.pointer == 0xe4 && Bytes(buffer, buffer + 4) == Bytes(&b.regs[0xe4], &b.regs[0xe8]),
             "I2C read from where the device's pointer stands", statusText(s) + ", pointer " + hex(b.pointer));
    n = 1;
    s = HalvoI2cRead(0, m.bridgeBus, kBridgeChip + 1, 0, 1, buffer, &n);
    r.expect(isClass(s, HALVO_CLASS_DEVICE), "I2C read of an absent address is a device failure", statusText(s));
}

void watchdog(Report &r, const Machine &m)
{
    const std::string state = m.watchdog + "/state", timeout = m.watchdog + "/timeout";
    const struct {
        const char *what;
        std::function<int32_t()> call;
        bool active;
        long seconds;
    } steps[] = {
        {"enable for 5 s", [] { return HalvoWatchdogEnable(0, 5000); }, true, 5},
        {"enable again for 7.5 s, rounded up", [] { return HalvoWatchdogEnable(0, 7500); }, true, 8},
        {"trigger", [] { return HalvoWatchdogTrigger(0); }, true, 8},
        {"disable", [] { return HalvoWatchdogDisable(0); }, false, 8},
    };
    for (const auto &step : steps) {
        const int32_t s = step.call();
        int32_t armed = -1, ms = -1;
        const int32_t g = HalvoWatchdogGetState(0, &armed, &ms);
        const bool kernel =
            readText(state) == (step.active ? "active" : "inactive") && readLong(timeout) == step.seconds;
        r.expect(s == 0 && kernel && g == 0 && armed == step.active && ms == (step.active ? step.seconds * 1000 : 0),
                 step.what,
                 statusText(s) + ", kernel " + readText(state) + " " + readText(timeout) + " s, library armed " +
                     std::to_string(armed) + " " + std::to_string(ms) + " ms");
    }
    const int child = runSelf({"--arm-watchdog", "5000"}, 0);
    r.expect(child == 0 && readText(state) == "active", "armed by a program that exited without disabling: stays armed",
             "child exit " + std::to_string(child) + ", kernel " + readText(state));

    // Left armed by the child, nobody holds it: a trigger must feed it (this
    // process then holds the node, so the kernel refuses a second opener) and
    // a disable must stop it, not merely report so.
    const int32_t fed = HalvoWatchdogTrigger(0);
    int probe = ::open("/dev/watchdog0", O_WRONLY | O_CLOEXEC);
    const int busy = probe < 0 ? errno : 0;
    if (probe >= 0)
        ::close(probe);
    r.expect(fed == 0 && busy == EBUSY && readText(state) == "active", "trigger takes over a watchdog left armed",
             statusText(fed) + ", second opener errno " + std::to_string(busy) + ", kernel " + readText(state));
    const int32_t stopped = HalvoWatchdogDisable(0);
    r.expect(stopped == 0 && readText(state) == "inactive", "disable stops it",
             statusText(stopped) + ", kernel " + readText(state));
    if (readText(state) == "active") {
        // Stopped by hand so that it does not count down for the rest of the run.
        const int fd = ::open("/dev/watchdog0", O_WRONLY | O_CLOEXEC);
        int option = WDIOS_DISABLECARD;
        if (fd >= 0 && ::ioctl(fd, WDIOC_SETOPTIONS, &option) != 0 && ::write(fd, "V", 1) != 1)
            std::perror("watchdog");
        if (fd >= 0)
            ::close(fd);
    }
}

void backlight(Report &r, const Machine &m)
{
    int32_t count = 0;
    int32_t s = HalvoGetDisplayCount(0, &count);
    r.expect(s == 0 && count == static_cast<int32_t>(entries("/sys/class/backlight").size()),
             "one display per backlight device", statusText(s) + ", " + std::to_string(count));
    const long max = readLong(m.backlight + "/max_brightness");
    for (const int32_t percent : {100, 0, 54, 56, 30}) {
        const long level = (percent * max + 50) / 100; // nearest level
        s = HalvoSetBacklightValue(0, 0, percent);
        int32_t read = -1;
        const int32_t g = HalvoGetBacklightValue(0, 0, &read);
        // actual_brightness is the firmware's own answer (_BQC).
        const long brightness = readLong(m.backlight + "/brightness"),
                   actual = readLong(m.backlight + "/actual_brightness");
        r.expect(s == 0 && g == 0 && brightness == level && actual == level && read == (level * 100 + max / 2) / max,
                 std::to_string(percent) + "% set and read back",
                 statusText(s) + ", level " + std::to_string(brightness) + "/" + std::to_string(max) + ", firmware " +
                     std::to_string(actual) + ", read " + std::to_string(read) + "%");
    }
    std::ofstream(m.backlight + "/brightness") << max / 2;
    int32_t read = -1;
    s = HalvoGetBacklightValue(0, 0, &read);
    r.expect(s == 0 && read == (max / 2 * 100 + max / 2) / max, "a level set behind the library's back is read",
             statusText(s) + ", " + std::to_string(read) + "%");
}

Bytes readFile(const std::string &path, off_t offset, size_t length)
{
    Bytes bytes(length);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const ssize_t n = fd >= 0 ? ::pread(fd, bytes.data(), length, offset) : -1;
    if (fd >= 0)
        ::close(fd);
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return bytes;
}

void eeprom(Report &r, const Machine &m)
{
    int32_t size = 0;
    int32_t s = HalvoGetStorageSize(0, 0, &size);
    struct stat st {
    };
    r.expect(s == 0 && ::stat(m.nvmem.c_str(), &st) == 0 && size == st.st_size, "size as the nvmem file's",
             statusText(s) + ", " + std::to_string(size));
    const RawBus stub(m.stubAdapter);
    // Single byte, across the 24c02's 8-byte pages, up to the end.
    const struct {
        int32_t offset, length;
    } writes[] = {{0, 1}, {5, 20}, {250, 6}};
    for (const auto &w : writes) {
        std::string data;
        for (int32_t i = 0; i < w.length; ++i)
            data += static_cast<char>('A' + (w.offset + i * 3) % 26);
        const std::string what = std::to_string(w.length) + " bytes at " + std::to_string(w.offset);
        s = HalvoStorageWrite(0, 0, w.offset, data.data(), w.length);
        const Bytes want(data.begin(), data.end());
        Bytes onChip;
        for (int32_t i = 0; i < w.length; ++i)
            onChip.push_back(static_cast<uint8_t>(stub.get(kAt24, static_cast<uint8_t>(w.offset + i), kByte)));
        std::string back(static_cast<size_t>(w.length), '\0');
        const int32_t g = HalvoStorageRead(0, 0, w.offset, back.data(), w.length);
        r.expect(s == 0 && readFile(m.nvmem, w.offset, static_cast<size_t>(w.length)) == want && onChip == want &&
                     g == 0 && back == data,
                 what + " written, in the nvmem file and on the chip", statusText(s) + ", " + statusText(g));
    }
    const int fd = ::open(m.nvmem.c_str(), O_WRONLY | O_CLOEXEC);
    const bool put = fd >= 0 && ::pwrite(fd, "xyz", 3, 100) == 3;
    if (fd >= 0)
        ::close(fd);
    char back[3] = {};
    s = HalvoStorageRead(0, 0, 100, back, 3);
    r.expect(put && s == 0 && std::string(back, 3) == "xyz", "bytes written behind the library's back are read",
             statusText(s));
}

// What a refused change must leave as it was.
std::string snapshot(const Machine &m)
{
    const Bytes eeprom = readFile(m.nvmem, 0, 8);
    const Bridge b = readBridge(m.state);
    return readText(m.backlight + "/brightness") + " " + std::string(eeprom.begin(), eeprom.end()) + " " +
           std::to_string(RawBus(m.stubAdapter).get(kStubChip, 0x70, kByte)) + " " + readText(m.watchdog + "/state") +
           " " + hex(b.direction) + " " + hex(b.latch);
}

int asUser(uint8_t stubBus)
{
    Report r{"as uid 1000"};
    const std::pair<const char *, std::function<int32_t()>> writes[] = {
        {"GPIO direction", [] { return HalvoGpioSetDirection(0, kDrivenPin, 1); }},
        {"GPIO level", [] { return HalvoGpioSetLevel(0, kDrivenPin, 1); }},
        {"SMBus write", [&] { return HalvoSmbusWriteByte(0, stubBus, kStubChip, 0x70, 0x55); }},
        {"watchdog enable", [] { return HalvoWatchdogEnable(0, 5000); }},
        {"backlight", [] { return HalvoSetBacklightValue(0, 0, 90); }},
        {"EEPROM write", [] { return HalvoStorageWrite(0, 0, 0, "user", 4); }},
    };
    for (const auto &[what, call] : writes) {
        const int32_t s = call();
        r.expect(isClass(s, HALVO_CLASS_ACCESS), std::string(what) + " refused with the access class", statusText(s));
    }
    return std::min(r.failed, 100);
}

void user(Report &r, const Machine &m)
{
    RawBus(m.stubAdapter).put(kStubChip, 0x70, kByte, 0x11);
    const std::string before = snapshot(m);
    const int failed = runSelf({"--as-user", std::to_string(m.stubBus)}, kUser);
    r.expect(failed == 0, "every change refused with the access class (lines above)",
             failed < 0 ? "the child did not run" : std::to_string(failed) + " not refused so");
    const std::string after = snapshot(m);
    r.expect(after == before, "nothing changed on the devices", "before \"" + before + "\", after \"" + after + "\"");
}

void agent(Report &r, const Machine &m)
{
    int32_t handle = -1, s = -1;
    // The value changed behind the driver first: a remote board answers from
    // what it fetched on connecting.
    const uint16_t reg = 0x2a80;
    const bool seen = setLm75(m, reg) && waitFor([&] { return readLong(m.temp) == lm75Milli(reg); }, 3000);
    // halvo-agent was started with the machine; give it time to listen.
    waitFor([&] { return (s = HalvoLibInitialize("127.0.0.1", HALVO_LIBINIT_PORT, &handle, 0, 0)) == 0; }, 10000);
    r.expect(s == 0, "connects to halvo-agent on 127.0.0.1", statusText(s));
    if (s != 0)
        return;
    int32_t cpu = 0;
    s = HalvoGetCpuTemp(handle, 0, &cpu);
    r.expect(seen && s == 0 && cpu == readLong(m.temp), "CPU temperature through the agent",
             statusText(s) + ", " + std::to_string(cpu) + ", sysfs " + readText(m.temp));
    uint8_t level = 9;
    s = HalvoGpioGetLevel(handle, kAgentPin, &level);
    const Bridge b = readBridge(m.state);
    r.expect(s == 0 && level == b.bit(b.levels, kAgentPin), "GPIO level through the agent",
             statusText(s) + ", " + std::to_string(level) + ", chip levels " + hex(b.levels));
    HalvoLibUnInitialize(handle);
}

// halvoctl, as a test script runs it, on the same drivers: its standard
// output and exit status.
std::string halvoctl(const std::string &args, int &status)
{
    std::fflush(stdout);
    FILE *pipe = ::popen(("halvoctl " + args + " 2>&1").c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n;
    while (pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    const int raw = pipe ? ::pclose(pipe) : -1;
    status = raw >= 0 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

void ctl(Report &r, const Machine &m)
{
    int status = -1;
    const uint16_t reg = 0x1d00; // 58 °C
    const bool seen = setLm75(m, reg) && waitFor([&] { return readLong(m.temp) == lm75Milli(reg); }, 3000);
    const std::string sensors = halvoctl("--json sensors", status);
    const std::string value = "\"value\": " + std::to_string(lm75Milli(reg));
    r.expect(seen && status == 0 && sensors.find(value) != std::string::npos, "sensors: the lm75 as sysfs reads it",
             std::to_string(status) + ": " + sensors.substr(0, 200));

    const std::string bus = std::to_string(m.stubBus);
    const RawBus stub(m.stubAdapter);
    const std::string wrote = halvoctl("-y smbus write-byte " + bus + " 0x20 0x71 0x5a", status);
    r.expect(status == 0 && stub.get(kStubChip, 0x71, kByte) == 0x5a, "smbus write-byte reaches the chip",
             std::to_string(status) + ": " + wrote);
    stub.put(kStubChip, 0x72, kByte, 0xa5);
    const std::string read = halvoctl("smbus read-byte " + bus + " 0x20 0x72", status);
    r.expect(status == 0 && read == "0xa5\n", "smbus read-byte prints the chip's byte",
             std::to_string(status) + ": " + read);
    const std::string absent = halvoctl("smbus read-byte " + bus + " 0x33 0", status);
    r.expect(status == 4 && absent.find("device") != std::string::npos, "an absent address exits with the device class",
             std::to_string(status) + ": " + absent);

    const std::string eeprom = halvoctl("-y eeprom write 0 32 0x41424344", status);
    const Bytes want = {'A', 'B', 'C', 'D'};
    r.expect(status == 0 && readFile(m.nvmem, 32, 4) == want, "eeprom write lands in the nvmem file",
             std::to_string(status) + ": " + eeprom);

    const std::string set = halvoctl("gpio dir 0 out", status) + halvoctl("gpio set 0 1", status);
    Bridge b = readBridge(m.state);
    r.expect(status == 0 && b.bit(b.latch, kDrivenPin), "gpio set drives the chip's pin", set + hex(b.latch));

    const std::string local = halvoctl("--json sensors", status);
    const std::string remote = halvoctl("--board 127.0.0.1 --json sensors", status);
    r.expect(status == 0 && remote == local, "through halvo-agent as on the board", remote.substr(0, 200));
    const std::string unconfirmed = halvoctl("eeprom write 0 0 no </dev/null", status);
    r.expect(status == 65 && readFile(m.nvmem, 0, 2) != Bytes{'n', 'o'}, "no terminal and no -y: nothing written",
             std::to_string(status) + ": " + unconfirmed);
}

void usage(FILE *to)
{
    std::fprintf(to, "usage: halvo_vm_checks [--state FILE] [GROUP...]\n"
                     "\n"
                     "Checks libhalvo's host backend and halvo-agent against the kernel drivers\n"
                     "of the VM stage (scripts/vm-test boots it; tests/vm/init sets it up). Only\n"
                     "for that throwaway machine: it drives the watchdog, backlight and EEPROM.\n"
                     "Groups, all by default, in this order: sensors smbus eeprom backlight gpio\n"
                     "watchdog user agent halvoctl. Exit status 1 when a check fails.\n"
                     "\n"
                     "  --state FILE   cp2112-responder's state file (default /run/cp2112.state)\n"
                     "\n"
                     "Refuses to run unless HALVO_VM_STAGE is set (tests/vm/init sets it).\n"
                     "\n"
                     "Used by the checks themselves, in child processes:\n"
                     "  --as-user BUS         the changes a normal user must be refused\n"
                     "  --arm-watchdog MS     enable the watchdog and exit without disabling it\n");
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::pair<std::string, void (*)(Report &, const Machine &)>> groups = {
        {"sensors", sensors},   {"smbus", smbus}, {"eeprom", eeprom}, {"backlight", backlight}, {"gpio", gpio},
        {"watchdog", watchdog}, {"user", user},   {"agent", agent},   {"halvoctl", ctl},
    };
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
            usage(stdout);
            return 0;
        }
    // Set by tests/vm/init: anywhere else the checks would arm a real
    // watchdog and write a real EEPROM.
    if (!std::getenv("HALVO_VM_STAGE")) {
        std::fprintf(stderr, "halvo_vm_checks: runs only inside scripts/vm-test's VM (HALVO_VM_STAGE unset)\n");
        return 2;
    }
    std::string state = "/run/cp2112.state";
    std::vector<std::string> wanted;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 < argc && a == "--as-user")
            return asUser(static_cast<uint8_t>(std::atoi(argv[i + 1])));
        if (i + 1 < argc && a == "--arm-watchdog")
            return HalvoWatchdogEnable(0, std::atoi(argv[i + 1])) == HALVO_STATUS_OK ? 0 : 1;
        if (i + 1 < argc && a == "--state") {
            state = argv[++i];
        } else if (std::any_of(groups.begin(), groups.end(), [&](auto &g) { return g.first == a; })) {
            wanted.push_back(a);
        } else {
            usage(stderr);
            return 2;
        }
    }

    const Machine m = discover(state);
    Report total{"machine"};
    total.expect(m.stubAdapter >= 0 && m.bridgeAdapter >= 0, "i2c-stub and CP2112 adapters");
    total.expect(!m.temp.empty() && !m.chip.empty() && !m.nvmem.empty(), "lm75 hwmon, CP2112 gpiochip, at24 nvmem",
                 "\"" + m.temp + "\", \"" + m.chip + "\", \"" + m.nvmem + "\"");
    if (total.failed)
        return 1;
    for (const auto &[name, run] : groups) {
        if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), name) == wanted.end())
            continue;
        Report r{name};
        run(r, m);
        total.checks += r.checks;
        total.failed += r.failed;
    }
    std::printf("halvo_vm_checks: %d checks, %d failed\n", total.checks, total.failed);
    return total.failed ? 1 : 0;
}
