#include "i2c.h"

#include "../../status.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

extern "C" {
#include <i2c/smbus.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
}

namespace halvo::host
{

namespace
{

// i2c-dev refuses longer messages; an I2C write spends one byte on the memory
// address, so the longest write here is one byte short of HALVO_I2C_WRITE_MAX.
constexpr uint32_t kMaxMessage = 8192;
// Block buffers below are sized by the kernel's limit, checks use the API's.
static_assert(I2C_SMBUS_BLOCK_MAX == HALVO_SMBUS_BLOCK_MAX, "SMBus block limits differ");

// The status of a failed transfer. Unlike a failed open, ENXIO here is a
// device that did not acknowledge its address (the i801 and most other
// drivers; some say EREMOTEIO or EIO).
int32_t transferError(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return fail(HALVO_CLASS_ACCESS, kPermission);
    case EBUSY:
        return fail(HALVO_CLASS_DEVICE, kBusy);
    case EOPNOTSUPP:
        return unsupported();
    case ENXIO:
    case EREMOTEIO:
    case EIO:
    case ETIMEDOUT:
        return fail(HALVO_CLASS_DEVICE, kNoDevice);
    default:
        return fail(HALVO_CLASS_DEVICE, kProtocol);
    }
}

// libi2c returns -errno or a value.
int32_t smbusResult(int32_t result)
{
    return result < 0 ? transferError(-result) : HALVO_STATUS_OK;
}

} // namespace

I2c::I2c(const Root &root, const Settings &) : root_(root) {}

I2c::~I2c() = default;

std::vector<int> I2c::adapters() const
{
    std::vector<int> numbers;
    for (const std::string &name : root_.list("/sys/class/i2c-dev")) {
        if (name.size() < 5 || name.size() > 9 || name.compare(0, 4, "i2c-") != 0 ||
            name.find_first_not_of("0123456789", 4) != std::string::npos)
            continue;
        numbers.push_back(std::atoi(name.c_str() + 4));
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

int32_t I2c::count(uint8_t &count) const
{
    count = static_cast<uint8_t>(std::min<size_t>(adapters().size(), 255));
    return HALVO_STATUS_OK;
}

template <typename Body> int32_t I2c::transact(uint8_t bus, uint8_t address, unsigned long functions, Body body)
{
    const std::vector<int> numbers = adapters();
    if (numbers.empty())
        return unsupported();
    // Addresses come in 7-bit form; I2C_SLAVE would take 0x80 and above only
    // as ten-bit addresses.
    if (bus >= numbers.size() || address > 0x7f)
        return badArgument(kOutOfRange);
    const int fd = ::open(root_.path("/dev/i2c-" + std::to_string(numbers[bus])).c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return statusFromErrno(errno);
    unsigned long offered = 0;
    int32_t status;
    if (::ioctl(fd, I2C_FUNCS, &offered) != 0)
        status = transferError(errno);
    else if ((offered & functions) != functions)
        status = unsupported();
    else if (::ioctl(fd, I2C_SLAVE, static_cast<unsigned long>(address)) != 0)
        status = transferError(errno);
    else
        status = body(fd);
    ::close(fd);
    return status;
}

int32_t I2c::getSmbusCount(uint8_t &n)
{
    return count(n);
}

int32_t I2c::getI2cBusCount(uint8_t &n)
{
    return count(n);
}

int32_t I2c::smbusQuickCommand(uint8_t bus, uint8_t address, uint8_t readWrite)
{
    if (readWrite > 1)
        return badArgument(kOutOfRange);
    // The board codes read as 0 and write as 1; on the wire (and in libi2c)
    // the R/W bit is 1 for a read.
    const uint8_t bit = readWrite ? I2C_SMBUS_WRITE : I2C_SMBUS_READ;
    return transact(bus, address, I2C_FUNC_SMBUS_QUICK,
                    [&](int fd) -> int32_t { return smbusResult(i2c_smbus_write_quick(fd, bit)); });
}

int32_t I2c::smbusSendByte(uint8_t bus, uint8_t address, uint8_t data)
{
    return transact(bus, address, I2C_FUNC_SMBUS_WRITE_BYTE,
                    [&](int fd) -> int32_t { return smbusResult(i2c_smbus_write_byte(fd, data)); });
}

int32_t I2c::smbusReceiveByte(uint8_t bus, uint8_t address, uint8_t &data)
{
    return transact(bus, address, I2C_FUNC_SMBUS_READ_BYTE, [&](int fd) -> int32_t {
        const int32_t v = i2c_smbus_read_byte(fd);
        if (v >= 0)
            data = static_cast<uint8_t>(v);
        return smbusResult(v);
    });
}

int32_t I2c::smbusWriteByte(uint8_t bus, uint8_t address, uint8_t command, uint8_t data)
{
    return transact(bus, address, I2C_FUNC_SMBUS_WRITE_BYTE_DATA,
                    [&](int fd) -> int32_t { return smbusResult(i2c_smbus_write_byte_data(fd, command, data)); });
}

int32_t I2c::smbusReadByte(uint8_t bus, uint8_t address, uint8_t command, uint8_t &data)
{
    return transact(bus, address, I2C_FUNC_SMBUS_READ_BYTE_DATA, [&](int fd) -> int32_t {
        const int32_t v = i2c_smbus_read_byte_data(fd, command);
        if (v >= 0)
            data = static_cast<uint8_t>(v);
        return smbusResult(v);
    });
}

int32_t I2c::smbusWriteWord(uint8_t bus, uint8_t address, uint8_t command, uint16_t data)
{
    return transact(bus, address, I2C_FUNC_SMBUS_WRITE_WORD_DATA,
                    [&](int fd) -> int32_t { return smbusResult(i2c_smbus_write_word_data(fd, command, data)); });
}

int32_t I2c::smbusReadWord(uint8_t bus, uint8_t address, uint8_t command, uint16_t &data)
{
    return transact(bus, address, I2C_FUNC_SMBUS_READ_WORD_DATA, [&](int fd) -> int32_t {
        const int32_t v = i2c_smbus_read_word_data(fd, command);
        if (v >= 0)
            data = static_cast<uint16_t>(v);
        return smbusResult(v);
    });
}

int32_t I2c::smbusWriteBlock(uint8_t bus, uint8_t address, uint8_t command, const uint8_t *data, uint8_t count)
{
    if (count == 0 || count > HALVO_SMBUS_BLOCK_MAX)
        return badArgument(kOutOfRange);
    return transact(bus, address, I2C_FUNC_SMBUS_WRITE_BLOCK_DATA, [&](int fd) -> int32_t {
        return smbusResult(i2c_smbus_write_block_data(fd, command, count, data));
    });
}

int32_t I2c::smbusReadBlock(uint8_t bus, uint8_t address, uint8_t command, uint8_t *buffer, uint8_t &count)
{
    return transact(bus, address, I2C_FUNC_SMBUS_READ_BLOCK_DATA, [&](int fd) -> int32_t {
        // libi2c copies up to I2C_SMBUS_BLOCK_MAX bytes, whatever the count
        // byte the device sent; the kernel has refused larger counts.
        uint8_t block[I2C_SMBUS_BLOCK_MAX + 2] = {};
        const int32_t n = i2c_smbus_read_block_data(fd, command, block);
        if (n < 0)
            return transferError(-n);
        if (n == 0 || n > HALVO_SMBUS_BLOCK_MAX)
            return fail(HALVO_CLASS_DEVICE, kProtocol);
        std::memcpy(buffer, block, static_cast<size_t>(n));
        count = static_cast<uint8_t>(n);
        return HALVO_STATUS_OK;
    });
}

int32_t I2c::i2cRead(uint8_t bus, uint8_t address, uint8_t memoryAddress, uint8_t useMemoryAddress, uint8_t *buffer,
                     uint32_t &count)
{
    if (useMemoryAddress > 1)
        return badArgument(kOutOfRange);
    // The caller's buffer holds HALVO_BLOCK_BUFFER_SIZE bytes, whatever it asks for.
    const uint32_t n = std::min<uint32_t>(count, HALVO_BLOCK_BUFFER_SIZE);
    // Many adapters cannot send a zero-length read (I2C_AQ_NO_ZERO_LEN_READ);
    // with nothing to read and no address to set there is nothing to do.
    if (n == 0 && !useMemoryAddress)
        return badArgument(kOutOfRange);
    return transact(bus, address, I2C_FUNC_I2C, [&](int fd) -> int32_t {
        uint8_t bytes[HALVO_BLOCK_BUFFER_SIZE];
        i2c_msg messages[2] = {};
        unsigned used = 0;
        if (useMemoryAddress)
            messages[used++] = {address, 0, 1, &memoryAddress};
        if (n > 0)
            messages[used++] = {address, I2C_M_RD, static_cast<uint16_t>(n), bytes};
        // One I2C_RDWR: a repeated start between the address write and the
        // read, so that no other master moves the device's pointer between.
        i2c_rdwr_ioctl_data transfer{messages, used};
        if (::ioctl(fd, I2C_RDWR, &transfer) < 0)
            return transferError(errno);
        std::memcpy(buffer, bytes, n);
        count = n;
        return HALVO_STATUS_OK;
    });
}

int32_t I2c::i2cWrite(uint8_t bus, uint8_t address, uint8_t memoryAddress, const uint8_t *data, uint32_t count)
{
    if (count >= kMaxMessage)
        return badArgument(kOutOfRange);
    std::vector<uint8_t> wire{memoryAddress};
    wire.insert(wire.end(), data, data + count);
    return transact(bus, address, I2C_FUNC_I2C, [&](int fd) -> int32_t {
        i2c_msg message{address, 0, static_cast<uint16_t>(wire.size()), wire.data()};
        i2c_rdwr_ioctl_data transfer{&message, 1};
        return ::ioctl(fd, I2C_RDWR, &transfer) < 0 ? transferError(errno) : HALVO_STATUS_OK;
    });
}

} // namespace halvo::host
