#ifndef HALVO_HOST_I2C_H
#define HALVO_HOST_I2C_H

#include "parts.h"

#include <vector>

namespace halvo::host
{

// SMBus and I2C through i2c-dev. Both panels see the same buses: the adapters
// of /sys/class/i2c-dev, sorted by their number N, and a board bus number is
// an index into that list (the window numbers its list entries from 0), not N.
// Which protocols a bus offers is asked per transaction (I2C_FUNCS).
//
// Each transaction opens /dev/i2c-N, claims the address with I2C_SLAVE, never
// I2C_SLAVE_FORCE, so that an address a kernel driver owns is refused as busy,
// and closes the node again: nothing is held between calls.
class I2c
{
public:
    I2c(const Root &root, const Settings &settings);
    ~I2c();

    int32_t getSmbusCount(uint8_t &count);
    int32_t smbusQuickCommand(uint8_t bus, uint8_t address, uint8_t readWrite);
    int32_t smbusSendByte(uint8_t bus, uint8_t address, uint8_t data);
    int32_t smbusReceiveByte(uint8_t bus, uint8_t address, uint8_t &data);
    int32_t smbusWriteByte(uint8_t bus, uint8_t address, uint8_t command, uint8_t data);
    int32_t smbusReadByte(uint8_t bus, uint8_t address, uint8_t command, uint8_t &data);
    int32_t smbusWriteWord(uint8_t bus, uint8_t address, uint8_t command, uint16_t data);
    int32_t smbusReadWord(uint8_t bus, uint8_t address, uint8_t command, uint16_t &data);
    int32_t smbusWriteBlock(uint8_t bus, uint8_t address, uint8_t command, const uint8_t *data, uint8_t count);
    int32_t smbusReadBlock(uint8_t bus, uint8_t address, uint8_t command, uint8_t *buffer, uint8_t &count);
    int32_t getI2cBusCount(uint8_t &count);
    int32_t i2cRead(uint8_t bus, uint8_t address, uint8_t memoryAddress, uint8_t useMemoryAddress, uint8_t *buffer,
                    uint32_t &count);
    int32_t i2cWrite(uint8_t bus, uint8_t address, uint8_t memoryAddress, const uint8_t *data, uint32_t count);

private:
    // The adapter numbers N, ascending.
    std::vector<int> adapters() const;
    int32_t count(uint8_t &count) const;
    // Runs `body(fd)` on the claimed address when the adapter offers every
    // function of `functions`.
    template <typename Body> int32_t transact(uint8_t bus, uint8_t address, unsigned long functions, Body body);

    const Root &root_;
};

} // namespace halvo::host

#endif
