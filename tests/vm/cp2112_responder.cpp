// cp2112-responder: a USB-HID to SMBus bridge with 8 GPIO pins, emulated from
// user space through /dev/uhid so that the kernel's hid-cp2112 driver binds to
// it and registers a real gpiochip and I2C adapter (the VM stage's GPIO and
// plain-I2C hardware). It keeps the pins and one I2C device, a 256-byte
// register file, in memory and writes their state to a file after every change.
#include <linux/uhid.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

// Report ids of the bridge's interface as the driver uses them.
enum : uint8_t {
    kGpioConfig = 0x02,
    kGpioGet = 0x03,
    kGpioSet = 0x04,
    kVersion = 0x05,
    kSmbusConfig = 0x06,
    kReadRequest = 0x10,
    kWriteReadRequest = 0x11,
    kReadForceSend = 0x12,
    kReadResponse = 0x13,
    kWriteRequest = 0x14,
    kStatusRequest = 0x15,
    kStatusResponse = 0x16,
    kCancel = 0x17,
    kLockByte = 0x20,
    kUsbConfig = 0x21,
};

// Transfer status: status0 complete/error, status1 success/address NACK.
enum : uint8_t { kComplete = 0x02, kError = 0x03, kNack = 0x00, kSuccess = 0x05 };

// Payload bytes after the report id; read responses carry at most 61 data bytes.
constexpr uint8_t kReportPayload = 63;
constexpr size_t kReadChunk = 61;

struct Options {
    std::string state = "/run/cp2112.state";
    unsigned address = 0x2c;
    unsigned inputs = 0xad;
};

struct Bridge {
    Options options;
    uint8_t direction = 0; // 1 = output
    uint8_t pushPull = 0xff;
    uint8_t latch = 0;
    uint8_t regs[256];
    uint8_t pointer = 0;
    // The transfer in progress: its status and the bytes a read left to fetch.
    bool pending = false;
    bool acked = false;
    size_t transferred = 0;
    std::vector<uint8_t> readData;
    size_t readAt = 0;

    uint8_t levels() const { return static_cast<uint8_t>((latch & direction) | (options.inputs & ~direction)); }
};

volatile sig_atomic_t stopping = 0;

void stop(int)
{
    stopping = 1;
}

bool sendEvent(int fd, const uhid_event &event)
{
    ssize_t n;
    do {
        n = ::write(fd, &event, sizeof event);
    } while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(sizeof event)) {
        std::perror("cp2112-responder: write /dev/uhid");
        return false;
    }
    return true;
}

// The state file is replaced by rename, so a reader never sees half of it.
void saveState(const Bridge &b)
{
    const std::string tmp = b.options.state + ".tmp";
    FILE *f = std::fopen(tmp.c_str(), "w");
    if (!f) {
        std::perror("cp2112-responder: state file");
        return;
    }
    std::fprintf(f, "direction 0x%02x\nlatch 0x%02x\nlevels 0x%02x\npointer 0x%02x\nregs", b.direction, b.latch,
                 b.levels(), b.pointer);
    for (const uint8_t r : b.regs)
        std::fprintf(f, " %02x", r);
    std::fprintf(f, "\n");
    std::fclose(f);
    std::rename(tmp.c_str(), b.options.state.c_str());
}

// A descriptor declaring every report id the driver sends or expects, vendor
// usage page, 8-bit fields.
std::vector<uint8_t> reportDescriptor()
{
    std::vector<uint8_t> d = {0x06, 0x00, 0xff, 0x09, 0x01, 0xa1, 0x01, 0x15, 0x00, 0x26, 0xff, 0x00, 0x75, 0x08};
    struct Report {
        uint8_t id, count, item;
    };
    const Report reports[] = {
        {kGpioConfig, 4, 0xb1},     {kGpioGet, 1, 0xb1},       {kGpioSet, 2, 0xb1},
        {kVersion, 2, 0xb1},        {kSmbusConfig, 13, 0xb1},  {kLockByte, 1, 0xb1},
        {kUsbConfig, 9, 0xb1},      {kReadRequest, 63, 0x91},  {kWriteReadRequest, 63, 0x91},
        {kReadForceSend, 63, 0x91}, {kWriteRequest, 63, 0x91}, {kStatusRequest, 63, 0x91},
        {kCancel, 63, 0x91},        {kReadResponse, 63, 0x81}, {kStatusResponse, 63, 0x81},
    };
    for (const Report &r : reports)
        d.insert(d.end(), {0x85, r.id, 0x95, r.count, 0x09, 0x01, r.item, 0x02});
    d.push_back(0xc0);
    return d;
}

// A write to the register file: the first byte sets the pointer, the rest are
// stored from there on, wrapping at 256 like a small EEPROM's address counter.
void writeRegisters(Bridge &b, const uint8_t *data, size_t n)
{
    if (n == 0)
        return;
    b.pointer = data[0];
    for (size_t i = 1; i < n; ++i)
        b.regs[b.pointer++] = data[i];
}

void startRead(Bridge &b, size_t n)
{
    b.readData.clear();
    b.readAt = 0;
    for (size_t i = 0; i < n; ++i)
        b.readData.push_back(b.regs[b.pointer++]);
}

void beginTransfer(Bridge &b, uint8_t slaveByte)
{
    b.pending = true;
    b.acked = (slaveByte >> 1) == b.options.address;
    b.transferred = 0;
    b.readData.clear();
    b.readAt = 0;
}

bool sendInput(int fd, const std::vector<uint8_t> &report)
{
    uhid_event ev{};
    ev.type = UHID_INPUT2;
    // Input reports are sent at their declared size.
    ev.u.input2.size = kReportPayload + 1;
    std::memcpy(ev.u.input2.data, report.data(), report.size());
    return sendEvent(fd, ev);
}

bool onOutput(int fd, Bridge &b, const uint8_t *data, size_t size)
{
    if (size == 0)
        return true;
    const auto be16 = [&](size_t at) { return at + 1 < size ? size_t(data[at] << 8 | data[at + 1]) : 0; };
    switch (data[0]) {
    case kReadRequest:
        beginTransfer(b, size > 1 ? data[1] : 0);
        if (b.acked)
            startRead(b, be16(2));
        b.transferred = b.readData.size();
        return true;
    case kWriteReadRequest: {
        beginTransfer(b, size > 1 ? data[1] : 0);
        const size_t targetLength = size > 4 ? std::min<size_t>(data[4], size - 5) : 0;
        if (b.acked) {
            writeRegisters(b, data + 5, targetLength);
            startRead(b, be16(2));
            saveState(b);
        }
        b.transferred = b.readData.size();
        return true;
    }
    case kWriteRequest: {
        beginTransfer(b, size > 1 ? data[1] : 0);
        const size_t length = size > 2 ? std::min<size_t>(data[2], size - 3) : 0;
        if (b.acked) {
            writeRegisters(b, data + 3, length);
            saveState(b);
        }
        b.transferred = length;
        return true;
    }
    case kStatusRequest: {
        const bool ok = b.pending && b.acked;
        const size_t n = b.transferred;
        return sendInput(fd, {kStatusResponse, ok ? kComplete : kError, ok ? kSuccess : kNack, 0, 0,
                              static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    }
    case kReadForceSend: {
        const size_t n = std::min({be16(1), kReadChunk, b.readData.size() - b.readAt});
        std::vector<uint8_t> report = {kReadResponse, kComplete, static_cast<uint8_t>(n)};
        report.insert(report.end(), b.readData.begin() + long(b.readAt), b.readData.begin() + long(b.readAt + n));
        b.readAt += n;
        return sendInput(fd, report);
    }
    case kCancel:
        b.pending = false;
        return true;
    default:
        std::fprintf(stderr, "cp2112-responder: output report 0x%02x ignored\n", data[0]);
        return true;
    }
}

bool onGetReport(int fd, Bridge &b, const uhid_get_report_req &req)
{
    uhid_event ev{};
    ev.type = UHID_GET_REPORT_REPLY;
    ev.u.get_report_reply.id = req.id;
    std::vector<uint8_t> r;
    switch (req.rnum) {
    case kGpioConfig:
        r = {kGpioConfig, b.direction, b.pushPull, 0, 0};
        break;
    case kGpioGet:
        r = {kGpioGet, b.levels()};
        break;
    case kVersion:
        // Part number 0x0c; version 2 does repeated starts (write-read).
        r = {kVersion, 0x0c, 0x02};
        break;
    case kSmbusConfig:
        // 100 kHz, no timeouts, big-endian fields.
        r = {kSmbusConfig, 0x00, 0x01, 0x86, 0xa0, 0x02, 0, 0, 0, 0, 0, 0, 0, 0};
        break;
    case kLockByte:
        r = {kLockByte, 0xff};
        break;
    case kUsbConfig:
        r = {kUsbConfig, 0xc4, 0x10, 0x90, 0xea, 50, 0, 1, 0, 0};
        break;
    default:
        ev.u.get_report_reply.err = EIO;
        break;
    }
    ev.u.get_report_reply.size = static_cast<uint16_t>(r.size());
    std::memcpy(ev.u.get_report_reply.data, r.data(), r.size());
    return sendEvent(fd, ev);
}

bool onSetReport(int fd, Bridge &b, const uhid_set_report_req &req)
{
    const uint8_t *d = req.data;
    if (req.rnum == kGpioConfig && req.size >= 3) {
        b.direction = d[1];
        b.pushPull = d[2];
        saveState(b);
    } else if (req.rnum == kGpioSet && req.size >= 3) {
        b.latch = static_cast<uint8_t>((b.latch & ~d[2]) | (d[1] & d[2]));
        saveState(b);
    }
    uhid_event ev{};
    ev.type = UHID_SET_REPORT_REPLY;
    ev.u.set_report_reply.id = req.id;
    ev.u.set_report_reply.err =
        req.rnum == kGpioConfig || req.rnum == kGpioSet || req.rnum == kSmbusConfig || req.rnum == kUsbConfig ? 0 : EIO;
    return sendEvent(fd, ev);
}

bool parseNumber(const char *text, unsigned max, unsigned &out)
{
    char *end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(text, &end, 0);
    if (errno || !*text || *end || v > max)
        return false;
    out = static_cast<unsigned>(v);
    return true;
}

void usage(FILE *to)
{
    std::fprintf(to, "usage: cp2112-responder [--state FILE] [--address ADDR] [--inputs MASK]\n"
                     "\n"
                     "Creates a CP2112-like USB-HID SMBus bridge through /dev/uhid (module uhid)\n"
                     "for the kernel's hid-cp2112 driver and answers it until SIGTERM or SIGINT.\n"
                     "\n"
                     "  --state FILE    where the pins and registers are written after each\n"
                     "                  change (default /run/cp2112.state)\n"
                     "  --address ADDR  the 7-bit address of the 256-byte register file (0x2c)\n"
                     "  --inputs MASK   levels the pins read while they are inputs (0xad)\n");
}

} // namespace

int main(int argc, char **argv)
{
    Bridge b;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        } else if (a == "--state" && hasValue) {
            b.options.state = argv[++i];
        } else if (a == "--address" && hasValue && parseNumber(argv[++i], 0x7f, b.options.address)) {
        } else if (a == "--inputs" && hasValue && parseNumber(argv[++i], 0xff, b.options.inputs)) {
        } else {
            usage(stderr);
            return 2;
        }
    }
    for (unsigned i = 0; i < 256; ++i)
        b.regs[i] = static_cast<uint8_t>(i * 7 + 3);
    saveState(b);

    const int fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        std::perror("cp2112-responder: /dev/uhid");
        return 1;
    }
    struct sigaction sa {
    };
    sa.sa_handler = stop;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);

    uhid_event ev{};
    ev.type = UHID_CREATE2;
    std::snprintf(reinterpret_cast<char *>(ev.u.create2.name), sizeof ev.u.create2.name, "halvo vm cp2112");
    const std::vector<uint8_t> rd = reportDescriptor();
    std::memcpy(ev.u.create2.rd_data, rd.data(), rd.size());
    ev.u.create2.rd_size = static_cast<uint16_t>(rd.size());
    ev.u.create2.bus = 0x03; // BUS_USB: the driver's id table matches USB devices only
    ev.u.create2.vendor = 0x10c4;
    ev.u.create2.product = 0xea90;
    if (!sendEvent(fd, ev))
        return 1;
    std::fprintf(stderr, "cp2112-responder: device created, register file at 0x%02x\n", b.options.address);

    bool ok = true;
    while (ok && !stopping) {
        uhid_event in{};
        const ssize_t n = ::read(fd, &in, sizeof in);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            std::perror("cp2112-responder: read /dev/uhid");
            break;
        }
        switch (in.type) {
        case UHID_OUTPUT:
            ok = onOutput(fd, b, in.u.output.data, std::min<size_t>(in.u.output.size, UHID_DATA_MAX));
            break;
        case UHID_GET_REPORT:
            ok = onGetReport(fd, b, in.u.get_report);
            break;
        case UHID_SET_REPORT:
            ok = onSetReport(fd, b, in.u.set_report);
            break;
        default: // start, stop, open, close
            break;
        }
    }
    uhid_event destroy{};
    destroy.type = UHID_DESTROY;
    sendEvent(fd, destroy);
    ::close(fd);
    return ok ? 0 : 1;
}
