// The I2C and watchdog parts against devices emulated by umockdev's ioctl
// handlers: root "/" is the testbed under the preload. An EEPROM-like chip
// answers at 0x50 on i2c-3 (a register file and an address pointer), a kernel
// driver owns 0x36, and the adapter lacks the SMBus quick command.
#include "libhalvo/backends/host/i2c.h"
#include "libhalvo/backends/host/watchdog.h"
#include "libhalvo/status.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <linux/watchdog.h>
#include <umockdev.h>

namespace halvo::test
{
namespace
{

struct {
    uint8_t reg[256], pointer;
    unsigned long address;
    unsigned messages; // in the last I2C_RDWR
} chip;

struct Dog {
    int timeout = 0, keepalives = 0, stops = 0;
    bool refuseStop = false;
    std::string written;
    bool noDisableCard = false; // a driver outside the watchdog core
} dog;

gboolean complete(UMockdevIoctlClient *client, long result, int error)
{
    umockdev_ioctl_client_complete(client, result, error);
    return TRUE;
}

template <typename T> T *resolve(UMockdevIoctlData *data, size_t offset, size_t length = sizeof(T))
{
    UMockdevIoctlData *d = umockdev_ioctl_data_resolve(data, offset, length, nullptr);
    return d ? reinterpret_cast<T *>(d->data) : nullptr;
}

gboolean onI2c(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer)
{
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    uint8_t *r = chip.reg;
    switch (umockdev_ioctl_client_get_request(client)) {
    case I2C_FUNCS:
        *resolve<unsigned long>(arg, 0) =
            I2C_FUNC_I2C | I2C_FUNC_SMBUS_READ_BLOCK_DATA | (I2C_FUNC_SMBUS_EMUL & ~I2C_FUNC_SMBUS_QUICK);
        return complete(client, 0, 0);
    case I2C_SLAVE:
        chip.address = *reinterpret_cast<unsigned long *>(arg->data);
        return complete(client, chip.address == 0x36 ? -1 : 0, chip.address == 0x36 ? EBUSY : 0);
    case I2C_SMBUS: {
        auto *io = resolve<i2c_smbus_ioctl_data>(arg, 0);
        auto *v = resolve<i2c_smbus_data>(umockdev_ioctl_data_resolve(arg, 0, sizeof *io, nullptr),
                                          offsetof(i2c_smbus_ioctl_data, data));
        const bool read = io->read_write == I2C_SMBUS_READ;
        const uint8_t c = io->command;
        if (chip.address != 0x50)
            return complete(client, -1, ENXIO);
        if (io->size == I2C_SMBUS_BYTE && read)
            v->byte = r[chip.pointer++];
        else if (io->size == I2C_SMBUS_BYTE)
            chip.pointer = c;
        else if (io->size == I2C_SMBUS_BYTE_DATA)
            read ? void(v->byte = r[c]) : void(r[c] = v->byte);
        else if (io->size == I2C_SMBUS_WORD_DATA && read)
            v->word = static_cast<uint16_t>(r[c] | r[uint8_t(c + 1)] << 8);
        else if (io->size == I2C_SMBUS_WORD_DATA)
            r[c] = v->word & 0xff, r[uint8_t(c + 1)] = v->word >> 8;
        else if (io->size == I2C_SMBUS_BLOCK_DATA && read)
            v->block[0] = 4, std::memcpy(v->block + 1, r + c, 4);
        else if (io->size == I2C_SMBUS_BLOCK_DATA)
            std::memcpy(r + c, v->block + 1, v->block[0]);
        return complete(client, 0, 0);
    }
    case I2C_RDWR: {
        UMockdevIoctlData *d = umockdev_ioctl_data_resolve(arg, 0, sizeof(i2c_rdwr_ioctl_data), nullptr);
        chip.messages = reinterpret_cast<i2c_rdwr_ioctl_data *>(d->data)->nmsgs;
        UMockdevIoctlData *m = umockdev_ioctl_data_resolve(d, 0, chip.messages * sizeof(i2c_msg), nullptr);
        for (unsigned i = 0; i < chip.messages; ++i) {
            const i2c_msg msg = reinterpret_cast<i2c_msg *>(m->data)[i];
            uint8_t *buf = resolve<uint8_t>(m, i * sizeof(i2c_msg) + offsetof(i2c_msg, buf), msg.len);
            if (msg.addr != 0x50)
                return complete(client, -1, ENXIO);
            for (unsigned j = 0; j < msg.len; ++j)
                (msg.flags & I2C_M_RD) ? void(buf[j] = r[chip.pointer++])
                                       : void(j == 0 ? chip.pointer = buf[0] : r[chip.pointer++] = buf[j]);
        }
        return complete(client, chip.messages, 0);
    }
    }
    return complete(client, -1, ENOTTY);
}

gboolean onWatchdog(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer)
{
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    switch (umockdev_ioctl_client_get_request(client)) {
    case WDIOC_SETTIMEOUT: {
        int *t = resolve<int>(arg, 0);
        // Two-second steps up to 60 s, as some drivers count.
        dog.timeout = *t = *t > 60 ? 60 : *t + *t % 2;
        return complete(client, 0, 0);
    }
    case WDIOC_KEEPALIVE:
        ++dog.keepalives;
        return complete(client, 0, 0);
    case WDIOC_SETOPTIONS:
        if (dog.noDisableCard)
            return complete(client, -1, ENOTTY);
        dog.stops += dog.refuseStop ? 0 : 1;
        return complete(client, dog.refuseStop ? -1 : 0, dog.refuseStop ? EBUSY : 0);
    }
    return complete(client, -1, ENOTTY);
}

gboolean onWrite(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer)
{
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    dog.written.append(reinterpret_cast<char *>(arg->data), static_cast<size_t>(arg->data_len));
    return complete(client, arg->data_len, 0);
}

class Ioctl : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        bed = umockdev_testbed_new();
        i2cHandler = UMOCKDEV_IOCTL_BASE(g_object_new(UMOCKDEV_TYPE_IOCTL_BASE, nullptr));
        dogHandler = UMOCKDEV_IOCTL_BASE(g_object_new(UMOCKDEV_TYPE_IOCTL_BASE, nullptr));
        g_signal_connect(i2cHandler, "handle-ioctl", G_CALLBACK(onI2c), nullptr);
        g_signal_connect(dogHandler, "handle-ioctl", G_CALLBACK(onWatchdog), nullptr);
        g_signal_connect(dogHandler, "handle-write", G_CALLBACK(onWrite), nullptr);
        ASSERT_TRUE(umockdev_testbed_attach_ioctl(bed, "/dev/i2c-3", i2cHandler, nullptr));
        ASSERT_TRUE(umockdev_testbed_attach_ioctl(bed, "/dev/watchdog0", dogHandler, nullptr));
        ASSERT_TRUE(umockdev_testbed_add_from_string(bed,
                                                     "P: /devices/platform/i2c_designware.0/i2c-3/i2c-dev/i2c-3\n"
                                                     "N: i2c-3\nE: SUBSYSTEM=i2c-dev\n\n"
                                                     "P: /devices/platform/iTCO_wdt/watchdog/watchdog0\n"
                                                     "N: watchdog0\nE: SUBSYSTEM=watchdog\nA: nowayout=0\n",
                                                     nullptr));
    }
    static void TearDownTestSuite()
    {
        g_object_unref(i2cHandler);
        g_object_unref(dogHandler);
        g_object_unref(bed);
    }
    static void attribute(const char *name, const char *value)
    {
        umockdev_testbed_set_attribute(bed, "/sys/devices/platform/iTCO_wdt/watchdog/watchdog0", name, value);
    }

    static inline UMockdevTestbed *bed;
    static inline UMockdevIoctlBase *i2cHandler, *dogHandler;
    host::Root root{"/"};
    Settings settings;
};

TEST_F(Ioctl, SmbusTransactionsReachTheDevice)
{
    host::I2c i2c(root, settings);
    uint8_t count = 0, byte = 0, block[HALVO_BLOCK_BUFFER_SIZE] = {};
    uint16_t word = 0;
    ASSERT_EQ(i2c.getSmbusCount(count), 0);
    ASSERT_EQ(count, 1) << "bus 0 is i2c-3";
    EXPECT_EQ(i2c.smbusWriteByte(0, 0x50, 0x10, 0xab), 0);
    EXPECT_EQ(i2c.smbusReadByte(0, 0x50, 0x10, byte), 0);
    EXPECT_EQ(byte, 0xab);
    EXPECT_EQ(i2c.smbusWriteWord(0, 0x50, 0x20, 0x1234), 0);
    EXPECT_EQ(chip.reg[0x20], 0x34) << "low byte first";
    EXPECT_EQ(i2c.smbusReadWord(0, 0x50, 0x20, word), 0);
    EXPECT_EQ(word, 0x1234);
    EXPECT_EQ(i2c.smbusWriteBlock(0, 0x50, 0x30, reinterpret_cast<const uint8_t *>("wxyz"), 4), 0);
    EXPECT_EQ(i2c.smbusReadBlock(0, 0x50, 0x30, block, count), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(block), count), "wxyz");
    EXPECT_EQ(i2c.smbusSendByte(0, 0x50, 0x10), 0);
    EXPECT_EQ(i2c.smbusReceiveByte(0, 0x50, byte = 0), 0);
    EXPECT_EQ(byte, 0xab);
}

TEST_F(Ioctl, I2cReadSetsTheMemoryAddressInTheSameTransferAndRefusalsAreTold)
{
    host::I2c i2c(root, settings);
    uint8_t buffer[HALVO_BLOCK_BUFFER_SIZE] = {};
    uint32_t n = 4;
    ASSERT_EQ(i2c.i2cWrite(0, 0x50, 0x40, reinterpret_cast<const uint8_t *>("hello"), 5), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(chip.reg + 0x40), 5), "hello");
    ASSERT_EQ(i2c.i2cRead(0, 0x50, 0x41, 1, buffer, n), 0);
    EXPECT_EQ(chip.messages, 2u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), n), "ello");
    ASSERT_EQ(i2c.i2cRead(0, 0x50, 0, 0, buffer, n = 300), 0);
    EXPECT_EQ(chip.messages, 1u);
    EXPECT_EQ(n, uint32_t(HALVO_BLOCK_BUFFER_SIZE));

    EXPECT_EQ(i2c.smbusReadByte(0, 0x36, 0, buffer[0]), fail(HALVO_CLASS_DEVICE, kBusy)) << "a kernel driver's";
    EXPECT_EQ(HALVO_ERROR_CLASS(i2c.smbusReadByte(0, 0x51, 0, buffer[0])), HALVO_CLASS_DEVICE) << "no acknowledge";
    EXPECT_EQ(i2c.smbusQuickCommand(0, 0x50, 0), unsupported());
}

// The magic 'V' goes only to a driver that cannot be stopped otherwise: one
// written after WDIOS_DISABLECARD stays pending in the kernel and disarms
// the next holder's watchdog when that one closes.
TEST_F(Ioctl, WatchdogEnableFeedAndStop)
{
    for (const bool noDisableCard : {false, true}) {
        SCOPED_TRACE(noDisableCard ? "magic close only" : "DISABLECARD");
        dog = {};
        dog.noDisableCard = noDisableCard;
        const std::string magic = noDisableCard ? "V" : "";
        {
            host::Watchdog watchdog(root, settings);
            ASSERT_EQ(watchdog.watchdogEnable(2500), 0);
            EXPECT_EQ(dog.timeout, 4) << "3 s asked, the driver's step taken";
            EXPECT_EQ(watchdog.watchdogTrigger(), 0);
            EXPECT_EQ(dog.keepalives, 2);
            EXPECT_EQ(watchdog.watchdogDisable(), 0);
            EXPECT_EQ(dog.written, magic);
            EXPECT_EQ(HALVO_ERROR_CLASS(watchdog.watchdogEnable(61000)), HALVO_CLASS_ARGUMENT) << "cut to 60 s";
            EXPECT_EQ(dog.written, magic + magic) << "a refused enable leaves the watchdog stopped";
            ASSERT_EQ(watchdog.watchdogEnable(1000), 0);
        }
        EXPECT_EQ(dog.written, magic + magic) << "unloading left the armed watchdog armed";
    }
}

TEST_F(Ioctl, NowayoutRefusesTheStopAndKeepsTheWatchdogFed)
{
    dog = {};
    host::Watchdog watchdog(root, settings);
    ASSERT_EQ(watchdog.watchdogEnable(10000), 0);
    for (const char *value : {"1", "0"}) {
        attribute("nowayout", value);
        dog.refuseStop = true;
        EXPECT_EQ(watchdog.watchdogDisable(), unsupported()) << value;
        EXPECT_EQ(watchdog.watchdogTrigger(), 0);
    }
    EXPECT_EQ(dog.keepalives, 3);
    EXPECT_EQ(dog.written, "");
    dog.refuseStop = false;
    EXPECT_EQ(watchdog.watchdogDisable(), 0);
}

// A watchdog its last holder left armed counts down to a reset: a trigger
// feeds it and a disable stops it, rather than either reporting success on
// a watchdog this process never held. A stopped one is left alone.
TEST_F(Ioctl, AWatchdogLeftArmedIsFedAndStoppedNotJustReportedSo)
{
    dog = {};
    attribute("state", "active");
    {
        host::Watchdog watchdog(root, settings);
        EXPECT_EQ(watchdog.watchdogTrigger(), 0);
        EXPECT_EQ(dog.keepalives, 1);
        EXPECT_EQ(watchdog.watchdogDisable(), 0);
        EXPECT_EQ(dog.stops, 1);
    }
    attribute("state", "inactive");
    host::Watchdog watchdog(root, settings);
    EXPECT_EQ(watchdog.watchdogTrigger() | watchdog.watchdogDisable(), 0);
    EXPECT_EQ(dog.keepalives + dog.stops, 2) << "a stopped watchdog was opened";
}

} // namespace
} // namespace halvo::test
