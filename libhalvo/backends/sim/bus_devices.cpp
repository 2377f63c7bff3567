#include "bus_devices.h"

#include "board.h"

#include <algorithm>
#include <cmath>

namespace halvo::sim
{

// ---- EEPROM -----------------------------------------------------------------------

bool Eeprom::write(const uint8_t *data, size_t count, const DeviceEnv &)
{
    if (count == 0)
        return true;
    pointer = data[0];
    for (size_t i = 1; i < count; ++i) {
        if (!writeProtected)
            bytes[pointer] = data[i];
        pointer = static_cast<uint8_t>(pointer + 1);
    }
    return true;
}

uint8_t Eeprom::readByte()
{
    const uint8_t value = bytes[pointer];
    pointer = static_cast<uint8_t>(pointer + 1);
    return value;
}

// ---- LM75 -------------------------------------------------------------------------

uint16_t Lm75::toRegister(double milliCelsius)
{
    // The part truncates towards minus infinity in 0.5 °C steps and clips at
    // its range of -55..125 °C.
    const double halfDegrees = std::floor(std::clamp(milliCelsius, -55000.0, 125000.0) / 500.0);
    return static_cast<uint16_t>(static_cast<int16_t>(halfDegrees) * 128);
}

double Lm75::fromRegister(uint16_t reg)
{
    return static_cast<int16_t>(reg & 0xff80) / 128 * 500.0;
}

bool Lm75::write(const uint8_t *data, size_t count, const DeviceEnv &)
{
    if (count == 0)
        return true;
    pointer = data[0] & 3;
    if (count == 1)
        return true;
    switch (pointer) {
    case 1:
        config = data[1];
        break;
    case 2:
    case 3: {
        uint16_t &reg = pointer == 2 ? thyst : tos;
        // A one-byte write changes only the upper byte, as on the real part.
        reg = static_cast<uint16_t>((data[1] << 8) | (count > 2 ? data[2] & 0x80 : reg & 0xff));
        break;
    }
    default:
        break; // the temperature register is read-only
    }
    return true;
}

bool Lm75::startRead(const DeviceEnv &env)
{
    temperature_ = toRegister(env.boardMilliCelsius + offsetMilliCelsius);
    readIndex_ = 0;
    return true;
}

uint8_t Lm75::readByte()
{
    const size_t i = readIndex_++;
    if (pointer == 1)
        return config;
    const uint16_t reg = pointer == 0 ? temperature_ : pointer == 2 ? thyst : tos;
    return (i % 2 == 0) ? static_cast<uint8_t>(reg >> 8) : static_cast<uint8_t>(reg & 0xff);
}

// ---- Smart battery ----------------------------------------------------------------

namespace
{

bool isBlockCommand(uint8_t command)
{
    return command >= 0x20 && command <= 0x22;
}

std::vector<uint8_t> block(const std::string &text)
{
    std::vector<uint8_t> out;
    const size_t n = std::min<size_t>(text.size(), HALVO_SMBUS_BLOCK_MAX);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
    return out;
}

} // namespace

bool SmartBattery::write(const uint8_t *data, size_t count, const DeviceEnv &)
{
    if (count == 0)
        return true;
    command = data[0];
    if (count == 1)
        return true;
    if (command == kScratch) {
        const size_t n = data[1];
        if (n == 0 || n > HALVO_SMBUS_BLOCK_MAX || count < 2 + n)
            return false;
        scratch.assign(data + 2, data + 2 + n);
        return true;
    }
    auto it = writableWords.find(command);
    if (it == writableWords.end() || count != 3)
        return false;
    it->second = static_cast<uint16_t>(data[1] | (data[2] << 8));
    return true;
}

bool SmartBattery::startRead(const DeviceEnv &env)
{
    readIndex_ = 0;
    response_.clear();
    if (command == kScratch) {
        response_.push_back(static_cast<uint8_t>(scratch.size()));
        response_.insert(response_.end(), scratch.begin(), scratch.end());
        return true;
    }
    if (isBlockCommand(command)) {
        response_ = block(command == 0x20 ? manufacturerName : command == 0x21 ? deviceName : chemistry);
        return true;
    }
    const Battery *b = env.battery;
    int32_t word;
    if (auto it = writableWords.find(command); it != writableWords.end()) {
        word = it->second;
    } else {
        switch (command) {
        case 0x08: // 0.1 K
            word = static_cast<int32_t>(std::lround(env.boardMilliCelsius / 100.0 + 2731.5));
            break;
        case 0x09:
            word = b ? b->voltageMilliVolt() : 0;
            break;
        case 0x0A:
            word = b ? (b->state == 2 ? -b->rateMilliAmps() : b->rateMilliAmps()) : 0;
            break;
        case 0x0D:
            word = b ? b->percent() : 0;
            break;
        case 0x0F:
            word = b ? static_cast<int32_t>(b->remainingMilliAmpHours) : 0;
            break;
        case 0x10:
            word = b ? b->fullCapacityMilliAmpHours : 0;
            break;
        case 0x12: // minutes; 65535 means "not discharging"
            word = (b && b->state == 2 && b->dischargeCurrentMilliAmps > 0)
                       ? static_cast<int32_t>(b->remainingMilliAmpHours * 60 / b->dischargeCurrentMilliAmps)
                       : 65535;
            break;
        case 0x16: // status: bit 6 discharging, bit 5 fully charged
            word = b ? ((b->state == 2 ? 0x40 : 0) | (b->percent() >= 100 ? 0x20 : 0)) : 0;
            break;
        case 0x18:
            word = b ? b->designedCapacityMilliAmpHours : 0;
            break;
        case 0x19:
            word = b ? b->designedVoltageMilliVolt : 0;
            break;
        case 0x1C:
            word = serialNumber;
            break;
        default:
            return false;
        }
    }
    response_.push_back(static_cast<uint8_t>(word & 0xff));
    response_.push_back(static_cast<uint8_t>((word >> 8) & 0xff));
    return true;
}

uint8_t SmartBattery::readByte()
{
    // Clocking past the end of a reply reads an idle (high) bus.
    return readIndex_ < response_.size() ? response_[readIndex_++] : 0xff;
}

Device *Bus::find(uint8_t address) const
{
    for (const auto &device : devices)
        if (device->address == address)
            return device.get();
    return nullptr;
}

} // namespace halvo::sim
