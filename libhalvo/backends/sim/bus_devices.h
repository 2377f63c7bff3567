// Devices on the simulated SMBus and I2C buses.
//
// Every SMBus and I2C call is played as the I2C transfers a real controller
// would put on the wire (see Board::smbus* in board.cpp), so a device only
// knows two things: a write transfer (bytes from the master) and a read
// transfer (bytes to the master, as many as the master clocks out). That makes
// the combinations behave as they would on hardware, e.g. an SMBus read word
// from an LM75 returns its register bytes in wire order.
#ifndef HALVO_SIM_BUS_DEVICES_H
#define HALVO_SIM_BUS_DEVICES_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace halvo::sim
{

struct Battery;

// What a device may observe of the board it sits on.
struct DeviceEnv {
    double boardMilliCelsius = 25000;
    const Battery *battery = nullptr;
};

class Device
{
public:
    explicit Device(uint8_t address) : address(address) {}
    virtual ~Device() = default;

    // One write transfer; false when the device does not acknowledge.
    virtual bool write(const uint8_t *data, size_t count, const DeviceEnv &env) = 0;
    // Start of a read transfer; false when the device does not acknowledge.
    virtual bool startRead(const DeviceEnv &env) = 0;
    virtual uint8_t readByte() = 0;

    uint8_t address;
};

// 24C02-style 256-byte EEPROM. The first byte of a write sets the address
// pointer, further bytes are stored at the pointer, which advances; reads
// start at the pointer and advance it. The pointer wraps at 256. Page
// boundaries are not modelled: a long write runs on through the whole array
// instead of wrapping inside its 8-byte page as the real part would.
class Eeprom : public Device
{
public:
    using Device::Device;
    bool write(const uint8_t *data, size_t count, const DeviceEnv &env) override;
    bool startRead(const DeviceEnv &) override { return true; }
    uint8_t readByte() override;

    std::array<uint8_t, 256> bytes{};
    uint8_t pointer = 0;
    // Like an SPD EEPROM with its WP pin tied high: writes are acknowledged
    // and ignored.
    bool writeProtected = false;
};

// LM75-style temperature sensor. Pointer register values: 0 temperature
// (read-only), 1 configuration (one byte), 2 T_hyst, 3 T_os. The 16-bit
// registers go over the wire most significant byte first and hold the
// temperature in 1/256 °C steps, of which the LM75 keeps 0.5 °C
// (register = half-degrees << 7; 25.5 °C is 0x1980).
class Lm75 : public Device
{
public:
    using Device::Device;
    bool write(const uint8_t *data, size_t count, const DeviceEnv &env) override;
    bool startRead(const DeviceEnv &env) override;
    uint8_t readByte() override;

    static uint16_t toRegister(double milliCelsius);
    static double fromRegister(uint16_t reg);

    uint8_t pointer = 0;
    uint8_t config = 0;
    uint16_t thyst = toRegister(75000);
    uint16_t tos = toRegister(80000);
    // Added to the board temperature the sensor sits in.
    double offsetMilliCelsius = 0;

private:
    uint16_t temperature_ = 0;
    size_t readIndex_ = 0;
};

// Smart-battery-like device (SMBus address 0x0B by convention). The first
// byte of a write selects a command; words travel least significant byte
// first as SMBus defines them, blocks as a count byte followed by the bytes.
// Readings come from the board's first battery when there is one.
//   word, read:  0x08 temperature (0.1 K), 0x09 voltage (mV), 0x0A current
//                (mA, negative while discharging), 0x0D relative charge (%),
//                0x0F remaining capacity (mAh), 0x10 full charge capacity,
//                0x12 average time to empty (min), 0x16 status, 0x18 design
//                capacity, 0x19 design voltage, 0x1C serial number
//   word, read/write: 0x01 remaining capacity alarm, 0x02 remaining time
//                alarm, 0x03 battery mode
//   block, read: 0x20 manufacturer name, 0x21 device name, 0x22 chemistry
//   block, read/write: 0x2F scratch area (1..32 bytes)
// Unknown commands and writes to read-only commands are not acknowledged.
class SmartBattery : public Device
{
public:
    using Device::Device;
    static constexpr uint8_t kScratch = 0x2F;

    bool write(const uint8_t *data, size_t count, const DeviceEnv &env) override;
    bool startRead(const DeviceEnv &env) override;
    uint8_t readByte() override;

    std::string manufacturerName, deviceName, chemistry;
    std::vector<uint8_t> scratch;
    std::map<uint8_t, uint16_t> writableWords{{0x01, 0}, {0x02, 0}, {0x03, 0}};
    uint16_t serialNumber = 0;
    uint8_t command = 0;

private:
    std::vector<uint8_t> response_;
    size_t readIndex_ = 0;
};

struct Bus {
    std::vector<std::unique_ptr<Device>> devices;

    Device *find(uint8_t address) const;
};

} // namespace halvo::sim

#endif
