// The host backend is made of parts, one per kind of interface, each built
// from the root and the settings and asked by HostBackend. A part reads or
// drives nothing in its constructor beyond what it needs to find its devices:
// nothing is written at load, during a refresh or at unload.
#ifndef HALVO_HOST_PARTS_H
#define HALVO_HOST_PARTS_H

#include "../../backend.h"
#include "../../settings.h"
#include "sysroot.h"

#include <memory>

namespace halvo::host
{

// CPU, board, memory, battery, network, disks, up-time, boot counter, CPU
// frequencies and performance: procfs, sysfs and the SMBIOS table.
class SystemInfo;
// Temperatures, voltages, fans, intrusion and fan control: libsensors and the
// hwmon pwm attributes.
class Sensors;
// The PCI list: libpci.
class Pci;
// Backlights: /sys/class/backlight.
class Backlight;
// GPIO pins the settings name: libgpiod 1.6 behind GpioChip.
class Gpio;
// User EEPROM windows the settings name: nvmem files.
class Storage;
// SMBus and I2C: libi2c on /dev/i2c-N.
class I2c;
// /dev/watchdogN.
class Watchdog;
// Power state through logind.
class Power;

} // namespace halvo::host

#endif
