#include "i2c.h"

#include "../../status.h"

namespace halvo::host
{

I2c::I2c(const Root &root, const Settings &settings) : root_(root), settings_(settings)
{
    (void)root_;
    (void)settings_;
}

I2c::~I2c() = default;

int32_t I2c::getSmbusCount(uint8_t &/*count*/)
{
    return unsupported();
}

int32_t I2c::smbusQuickCommand(uint8_t /*bus*/, uint8_t /*address*/, uint8_t /*readWrite*/)
{
    return unsupported();
}

int32_t I2c::smbusSendByte(uint8_t /*bus*/, uint8_t /*address*/, uint8_t /*data*/)
{
    return unsupported();
}

int32_t I2c::smbusReceiveByte(uint8_t /*bus*/, uint8_t /*address*/, uint8_t &/*data*/)
{
    return unsupported();
}

int32_t I2c::smbusWriteByte(uint8_t /*bus*/, uint8_t /*address*/, uint8_t /*command*/, uint8_t /*data*/)
{
    return unsupported();
}

int32_t I2c::smbusReadByte(uint8_t /*bus*/, uint8_t /*address*/, uint8_t /*command*/, uint8_t &/*data*/)
{
    return unsupported();
}

int32_t I2c::smbusWriteWord(uint8_t /*bus*/, uint8_t /*address*/, uint8_t /*command*/, uint16_t /*data*/)
{
    return unsupported();
}

int32_t I2c::smbusReadWord(uint8_t /*bus*/, uint8_t /*address*/, uint8_t /*command*/, uint16_t &/*data*/)
{
    return unsupported();
}

int32_t I2c::smbusWriteBlock(uint8_t /*bus*/, uint8_t /*address*/, uint8_t /*command*/, const uint8_t */*data*/, uint8_t /*count*/)
{
    return unsupported();
}

int32_t I2c::smbusReadBlock(uint8_t /*bus*/, uint8_t /*address*/, uint8_t /*command*/, uint8_t */*buffer*/, uint8_t &/*count*/)
{
    return unsupported();
}

int32_t I2c::getI2cBusCount(uint8_t &/*count*/)
{
    return unsupported();
}

int32_t I2c::i2cRead(uint8_t /*bus*/, uint8_t /*address*/, uint8_t /*memoryAddress*/, uint8_t /*useMemoryAddress*/, uint8_t */*buffer*/, uint32_t &/*count*/)
{
    return unsupported();
}

int32_t I2c::i2cWrite(uint8_t /*bus*/, uint8_t /*address*/, uint8_t /*memoryAddress*/, const uint8_t */*data*/, uint32_t /*count*/)
{
    return unsupported();
}

} // namespace halvo::host
