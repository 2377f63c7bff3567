#ifndef HALVO_HOST_I2C_H
#define HALVO_HOST_I2C_H

#include "parts.h"

namespace halvo::host
{

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
    const Root &root_;
    const Settings &settings_;
};

} // namespace halvo::host

#endif
