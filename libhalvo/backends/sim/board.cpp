#include "board.h"

#include "../../status.h"

#include <algorithm>
#include <cmath>

namespace halvo::sim
{

namespace
{

constexpr double kPi = 3.14159265358979323846;
// A fan needs about half a second to follow a new duty.
constexpr double kFanSpinUpSeconds = 0.5;
// Thermal Cruise re-evaluates the fan duty once per second, like the
// controllers in the board's super-I/O chips.
constexpr int64_t kControlPeriodMs = 1000;
// PI gains of the Thermal Cruise loop, in duty steps per °C of error; tuned to
// hold ±0.5 °C against the demo workload swing.
constexpr double kCruiseProportional = 25.0;
constexpr double kCruiseIntegral = 4.0;
// "Conservative" moves the clock by at most 10 % of its maximum per second.
constexpr double kConservativeSlewPerSecond = 0.10;

int32_t argumentOutOfRange()
{
    return badArgument(kOutOfRange);
}

int32_t deviceError(uint16_t detail)
{
    return fail(HALVO_CLASS_DEVICE, detail);
}

template <typename T> bool inRange(int64_t index, const std::vector<T> &items)
{
    return index >= 0 && index < static_cast<int64_t>(items.size());
}

} // namespace

// ---- Battery ------------------------------------------------------------------------

int32_t Battery::percent() const
{
    if (fullCapacityMilliAmpHours <= 0)
        return 0;
    const double p = remainingMilliAmpHours * 100.0 / fullCapacityMilliAmpHours;
    return static_cast<int32_t>(std::clamp(std::lround(p), 0L, 100L));
}

int32_t Battery::voltageMilliVolt() const
{
    // Li-ion packs sit about 8 % below nominal when empty and 8 % above when
    // full; the charger lifts the terminal voltage a little more.
    const double v = designedVoltageMilliVolt * (0.92 + 0.16 * percent() / 100.0);
    return static_cast<int32_t>(std::lround(v)) + (state == 0 ? 150 : 0);
}

int32_t Battery::rateMilliAmps() const
{
    switch (state) {
    case 0:
        return chargeCurrentMilliAmps;
    case 2:
        return dischargeCurrentMilliAmps;
    default:
        return 0;
    }
}

double Thermal::boardMilliCelsius() const
{
    return ambientMilliCelsius + boardCoupling * (cpuMilliCelsius - ambientMilliCelsius);
}

uint8_t Gpio::level(int pin) const
{
    if (direction[pin] != 0)
        return outputLevel[pin];
    const int other = partner[pin];
    if (other >= 0 && direction[other] != 0)
        return outputLevel[other];
    return 1; // pull-up on every input
}

// ---- Simulation ---------------------------------------------------------------------

double Board::loadFraction() const
{
    if (!cpu)
        return 0.3;
    const double t = upTimeMs / 1000.0;
    const double period = cpu->loadPeriodSeconds > 0 ? cpu->loadPeriodSeconds : 60;
    const double load = cpu->loadPercent + cpu->loadSwingPercent * std::sin(2 * kPi * t / period);
    return std::clamp(load / 100.0, 0.0, 1.0);
}

int32_t Board::currentFrequencyKHz() const
{
    return static_cast<int32_t>(std::lround(performance.currentKHz));
}

Fan *Board::cpuFan()
{
    const int index = cpuFanIndex();
    return index < 0 ? nullptr : &fans[static_cast<size_t>(index)];
}

int Board::cpuFanIndex() const
{
    for (size_t i = 0; i < fans.size(); ++i)
        if (fans[i].cpu)
            return static_cast<int>(i);
    return -1;
}

DeviceEnv Board::deviceEnv() const
{
    DeviceEnv env;
    env.boardMilliCelsius = thermal.boardMilliCelsius();
    env.battery = batteries.empty() ? nullptr : &batteries.front();
    return env;
}

void Board::stepPerformance(double dtS)
{
    if (!cpu)
        return;
    const double minK = cpu->minFrequencyKHz, maxK = cpu->maxFrequencyKHz;
    const double load = loadFraction();
    // The on-demand governor runs at full clock above 80 % load and scales
    // down linearly below.
    const double onDemand = load >= 0.8 ? maxK : minK + (maxK - minK) * load / 0.8;
    double target = onDemand;
    bool slew = false;
    if (performance.mode == Performance::Mode::Percentage) {
        target = maxK * performance.percent / 100.0;
    } else if (performance.mode == Performance::Mode::Types) {
        switch (performance.type) {
        case 0:
            target = maxK;
            break;
        case 1:
            target = minK;
            break;
        case 3:
            slew = true;
            break;
        default:
            break;
        }
    }
    target = std::round(target / 1000.0) * 1000.0; // governors pick whole MHz
    if (slew && performance.currentKHz > 0) {
        const double maxMove = maxK * kConservativeSlewPerSecond * dtS;
        performance.currentKHz += std::clamp(target - performance.currentKHz, -maxMove, maxMove);
    } else {
        performance.currentKHz = target;
    }
}

void Board::stepThermalCruise(Fan &fan, int64_t dtMs)
{
    fan.sinceControlMs += dtMs;
    if (fan.sinceControlMs < kControlPeriodMs)
        return;
    fan.sinceControlMs -= kControlPeriodMs;
    const double error = (thermal.cpuMilliCelsius - fan.targetMilliCelsius) / 1000.0;
    if (!fan.haveLastError) {
        fan.lastErrorC = error;
        fan.haveLastError = true;
    }
    // Velocity form: the duty itself is the integrator, so clamping it at 0 or
    // 255 cannot wind up.
    fan.controlDuty += kCruiseProportional * (error - fan.lastErrorC) + kCruiseIntegral * error;
    fan.controlDuty = std::clamp(fan.controlDuty, 0.0, 255.0);
    fan.lastErrorC = error;
    fan.duty = static_cast<int>(std::lround(fan.controlDuty));
}

void Board::stepBattery(Battery &b, double dtS)
{
    b.secondsInState += dtS;
    const double full = b.fullCapacityMilliAmpHours;
    switch (b.state) {
    case 0:
        b.remainingMilliAmpHours += b.chargeCurrentMilliAmps * dtS / 3600.0;
        if (b.remainingMilliAmpHours >= full) {
            b.remainingMilliAmpHours = full;
            b.state = 1; // charger done, running from the mains
            b.secondsInState = 0;
        }
        break;
    case 1:
        if (b.cycle && b.secondsInState >= b.acHoldSeconds) {
            b.state = 2; // unplugged
            b.secondsInState = 0;
        }
        break;
    case 2:
        b.remainingMilliAmpHours = std::max(0.0, b.remainingMilliAmpHours - b.dischargeCurrentMilliAmps * dtS / 3600.0);
        if (b.cycle && b.percent() <= b.lowPercent) {
            b.state = 0; // plugged in again
            b.secondsInState = 0;
        }
        break;
    default:
        break;
    }
}

void Board::step(int64_t dtMs)
{
    if (powerState != 0)
        return;
    const double dtS = dtMs / 1000.0;
    upTimeMs += dtMs;
    stepPerformance(dtS);

    for (Fan &fan : fans) {
        if (fan.cpu && fan.thermalCruise)
            stepThermalCruise(fan, dtMs);
        const double target = fan.maxRpm * fan.duty / 255.0;
        fan.rpm += (target - fan.rpm) * (1 - std::exp(-dtS / kFanSpinUpSeconds));
    }

    // First-order model, solved exactly over the step so that large steps stay
    // stable: heat from load x clock, cooling through a resistance the fan
    // lowers.
    double power = 0.2 + 0.8 * loadFraction();
    if (cpu && cpu->maxFrequencyKHz > 0)
        power = 0.2 + 0.8 * loadFraction() * performance.currentKHz / cpu->maxFrequencyKHz;
    const Fan *fan = cpuFan();
    const double airflow = (fan && fan->maxRpm > 0) ? std::clamp(fan->rpm / fan->maxRpm, 0.0, 1.0) : 0.0;
    const double cooling = 1 + thermal.fanCoolingFactor * airflow;
    const double equilibrium = thermal.ambientMilliCelsius + thermal.cpuRiseAtFullPowerMilliCelsius * power / cooling;
    const double tau = std::max(0.1, thermal.timeConstantSeconds / cooling);
    thermal.cpuMilliCelsius = equilibrium + (thermal.cpuMilliCelsius - equilibrium) * std::exp(-dtS / tau);

    for (Battery &battery : batteries)
        stepBattery(battery, dtS);

    if (watchdog && watchdog->armed) {
        watchdog->remainingMs -= dtMs;
        if (watchdog->remainingMs <= 0)
            reboot();
    }
}

void Board::reboot()
{
    upTimeMs = 0;
    if (bootCounter)
        ++*bootCounter;
    if (watchdog) {
        watchdog->armed = false;
        watchdog->remainingMs = 0;
    }
}

void Board::settle()
{
    stepPerformance(0);
    for (Fan &fan : fans)
        fan.controlDuty = fan.duty;
}

void Board::powerOn()
{
    if (powerState == 1)
        thermal.cpuMilliCelsius = thermal.ambientMilliCelsius; // cooled down while off
    const bool wasHibernated = powerState == 2;
    powerState = 0;
    if (!wasHibernated)
        reboot();
}

// ---- Counts of what the description lists -------------------------------------------------

#define SIM_COUNT(method, Count, items)                                                                                \
    int32_t Board::method(Count &count)                                                                                \
    {                                                                                                                  \
        count = static_cast<Count>(items.size());                                                                      \
        return HALVO_STATUS_OK;                                                                                        \
    }
SIM_COUNT(getMemoryModuleCount, int32_t, memoryModules)
SIM_COUNT(getNetworkDeviceCount, int32_t, networkDevices)
SIM_COUNT(getPciDeviceCount, int32_t, pciDevices)
SIM_COUNT(getDiskDriveCount, int32_t, diskDrives)
SIM_COUNT(getDiskDrivePartitionCount, int32_t, diskPartitions)
SIM_COUNT(getTempSensorCount, int32_t, temperatureSensors)
SIM_COUNT(getVoltageSensorCount, int32_t, voltageSensors)
SIM_COUNT(getFanCount, int32_t, fans)
SIM_COUNT(getDisplayCount, int32_t, displays)
SIM_COUNT(getStorageCount, int32_t, storages)
SIM_COUNT(getSmbusCount, uint8_t, smbus)
SIM_COUNT(getI2cBusCount, uint8_t, i2c)
#undef SIM_COUNT

// ---- Information ------------------------------------------------------------------------

int32_t Board::getCpuInfo(CpuInfo &info)
{
    if (!cpu)
        return unsupported();
    copyText(info.cpuName, cpu->name);
    info.cpuCount = cpu->cpuCount;
    info.coreCount = cpu->coreCount;
    info.threadCount = cpu->threadCount;
    info.maxCoreSpeed = cpu->maxCoreSpeedMHz;
    info.fsbSpeed = cpu->fsbSpeedMHz;
    info.l1Cache = cpu->l1CacheKB;
    info.l2Cache = cpu->l2CacheKB;
    info.l3Cache = cpu->l3CacheKB;
    return HALVO_STATUS_OK;
}

int32_t Board::getBoardInfo(BoardInfo &info)
{
    if (!boardInfo)
        return unsupported();
    copyText(info.manufacturer, boardInfo->manufacturer);
    copyText(info.boardName, boardInfo->boardName);
    copyText(info.version, boardInfo->version);
    copyText(info.serialNumber, boardInfo->serialNumber);
    copyText(info.biosRevision, boardInfo->biosRevision);
    copyText(info.biosDate, boardInfo->biosDate);
    return HALVO_STATUS_OK;
}

int32_t Board::getMemoryInfo(MemoryInfo &info)
{
    if (!memory)
        return unsupported();
    info.totalSize = memory->totalSizeMB;
    info.freeSize = memory->freeSizeMB;
    info.speed = memory->speedMHz;
    copyText(info.memoryType, memory->type);
    return HALVO_STATUS_OK;
}

int32_t Board::getMemoryModuleInfo(int8_t index, MemoryModuleInfo &info)
{
    if (memoryModules.empty())
        return unsupported();
    if (!inRange(index, memoryModules))
        return argumentOutOfRange();
    const MemoryModule &m = memoryModules[static_cast<size_t>(index)];
    info.size = m.sizeMB;
    copyText(info.manufacturer, m.manufacturer);
    copyText(info.partNumber, m.partNumber);
    copyText(info.serialNumber, m.serialNumber);
    return HALVO_STATUS_OK;
}

int32_t Board::getBatteryInfo(int32_t battery, BatteryInfo &info)
{
    if (batteries.empty())
        return unsupported();
    if (!inRange(battery, batteries))
        return argumentOutOfRange();
    const Battery &b = batteries[static_cast<size_t>(battery)];
    copyText(info.name, b.name);
    copyText(info.type, b.type);
    copyText(info.serialNumber, b.serialNumber);
    info.designedVoltage = b.designedVoltageMilliVolt;
    info.designedCapacity = b.designedCapacityMilliAmpHours;
    info.fullCapacity = b.fullCapacityMilliAmpHours;
    info.reserved = 0;
    return HALVO_STATUS_OK;
}

int32_t Board::getBatteryState(int32_t battery, BatteryState &state)
{
    if (batteries.empty())
        return unsupported();
    if (!inRange(battery, batteries))
        return argumentOutOfRange();
    const Battery &b = batteries[static_cast<size_t>(battery)];
    const double discharge = b.dischargeCurrentMilliAmps;
    // A large pack on a small current lasts longer than an int32 of seconds.
    auto seconds = [&](double milliAmpHours) {
        return discharge > 0 ? static_cast<int32_t>(std::min(milliAmpHours * 3600.0 / discharge, double(INT32_MAX)))
                             : 0;
    };
    state.state = b.state;
    state.fullBatteryTime = seconds(b.fullCapacityMilliAmpHours);
    state.remainingTime = seconds(b.remainingMilliAmpHours);
    state.remainingCapacity = static_cast<int32_t>(b.remainingMilliAmpHours);
    state.voltage = b.voltageMilliVolt();
    state.rate = b.rateMilliAmps();
    state.chargePercent = b.percent();
    state.reserved = 0;
    return HALVO_STATUS_OK;
}

int32_t Board::getNetworkDeviceList(NetworkDeviceInfo *list, int32_t count)
{
    return fillList(networkDevices, list, count, [](const NetworkDevice &d, NetworkDeviceInfo &r) {
        copyText(r.ipAddress, d.ipAddress);
        copyText(r.macAddress, d.macAddress);
        r.speed = d.speedMbit;
        copyText(r.name, d.name);
    });
}

int32_t Board::getPciDeviceList(PciDeviceInfo *list, int32_t count)
{
    return fillList(pciDevices, list, count, [](const PciDevice &d, PciDeviceInfo &r) {
        r.bus = d.bus;
        r.domain = d.domain;
        r.device = d.device;
        r.function = d.function;
        r.value1 = d.vendorId;
        r.value2 = d.classCode;
        r.value3 = d.deviceId;
        copyText(r.text1, d.vendorName);
        copyText(r.text2, d.className);
        copyText(r.text3, d.deviceName);
    });
}

int32_t Board::getDiskDriveList(DiskDriveInfo *list, int32_t count)
{
    return fillList(diskDrives, list, count, [](const DiskDrive &d, DiskDriveInfo &r) {
        copyText(r.name, d.name);
        copyText(r.model, d.model);
        copyText(r.serialNumber, d.serialNumber);
        r.size = d.sizeMB;
    });
}

int32_t Board::getDiskDrivePartitionList(DiskPartitionInfo *list, int32_t count)
{
    return fillList(diskPartitions, list, count, [](const DiskPartition &p, DiskPartitionInfo &r) {
        copyText(r.name, p.name);
        copyText(r.fileSystem, p.fileSystem);
        r.size = p.sizeMB;
        r.freeSpace = p.freeSpaceMB;
    });
}

int32_t Board::getBootCounter(int32_t &counter)
{
    if (!bootCounter)
        return unsupported();
    counter = *bootCounter;
    return HALVO_STATUS_OK;
}

int32_t Board::getIntruderStatus(int32_t &status)
{
    if (!intruderStatus)
        return unsupported();
    status = *intruderStatus;
    return HALVO_STATUS_OK;
}

int32_t Board::systemUpTime(int32_t &seconds)
{
    seconds = static_cast<int32_t>(std::min<int64_t>(upTimeMs / 1000, INT32_MAX));
    return HALVO_STATUS_OK;
}

int32_t Board::getCpuFreq(int32_t kind, int32_t &khz)
{
    if (!cpu)
        return unsupported();
    switch (kind) {
    case 0:
        khz = cpu->minFrequencyKHz;
        return HALVO_STATUS_OK;
    case 1:
        khz = cpu->maxFrequencyKHz;
        return HALVO_STATUS_OK;
    case 2:
        khz = currentFrequencyKHz();
        return HALVO_STATUS_OK;
    default:
        return argumentOutOfRange();
    }
}

// ---- Sensors ----------------------------------------------------------------------------

int32_t Board::getTempSensorList(TempSensorInfo *list, int32_t count)
{
    return fillList(temperatureSensors, list, count, [this](const TempSensor &s, TempSensorInfo &r) {
        copyText(r.name, s.name);
        switch (s.role) {
        case TempSensor::Role::Cpu:
            r.value = static_cast<int32_t>(std::lround(thermal.cpuMilliCelsius));
            break;
        case TempSensor::Role::Board:
            r.value = static_cast<int32_t>(std::lround(thermal.boardMilliCelsius()));
            break;
        default:
            r.value = s.valueMilliCelsius;
        }
    });
}

int32_t Board::getVoltageSensorList(VoltageSensorInfo *list, int32_t count)
{
    return fillList(voltageSensors, list, count, [](const VoltageSensor &s, VoltageSensorInfo &r) {
        copyText(r.name, s.name);
        r.value = s.valueMilliVolt;
    });
}

int32_t Board::getFanList(FanInfo *list, int32_t count)
{
    return fillList(fans, list, count, [](const Fan &f, FanInfo &r) {
        copyText(r.name, f.name);
        r.speed = static_cast<uint32_t>(std::lround(std::max(0.0, f.rpm)));
        r.reserved = 0;
    });
}

int32_t Board::getCpuTemp(int32_t sensor, int32_t &milliCelsius)
{
    if (sensor != 0)
        return argumentOutOfRange();
    milliCelsius = static_cast<int32_t>(std::lround(thermal.cpuMilliCelsius));
    return HALVO_STATUS_OK;
}

int32_t Board::getCpuFanSpeed(int32_t &rpm)
{
    const Fan *fan = cpuFan();
    if (!fan)
        return unsupported();
    rpm = static_cast<int32_t>(std::lround(std::max(0.0, fan->rpm)));
    return HALVO_STATUS_OK;
}

// ---- CPU fan and performance --------------------------------------------------------------

int32_t Board::getFanMode(int32_t fan, uint8_t &mode)
{
    const Fan *f = cpuFan();
    if (!f)
        return unsupported();
    if (fan != 1) // the board numbers its controllable fans from 1; only the CPU fan has a mode
        return argumentOutOfRange();
    mode = f->thermalCruise ? 2 : 1;
    return HALVO_STATUS_OK;
}

int32_t Board::getFanSpeed(int32_t fan, uint8_t &speed, int32_t &rpm)
{
    if (fans.empty())
        return unsupported();
    if (!inRange(fan, fans))
        return argumentOutOfRange();
    const Fan &f = fans[static_cast<size_t>(fan)];
    speed = static_cast<uint8_t>(f.duty);
    rpm = static_cast<int32_t>(std::lround(std::max(0.0, f.rpm)));
    return HALVO_STATUS_OK;
}

int32_t Board::setCpuFanSpeed(uint8_t speed)
{
    Fan *f = cpuFan();
    if (!f)
        return unsupported();
    f->thermalCruise = false;
    f->duty = speed;
    return HALVO_STATUS_OK;
}

int32_t Board::setFanModeThermalCruise(int32_t fan, int32_t target, int32_t tolerance)
{
    if (fans.empty())
        return unsupported();
    if (!inRange(fan, fans))
        return argumentOutOfRange();
    Fan &f = fans[static_cast<size_t>(fan)];
    if (!f.cpu)
        return unsupported();
    if (target < 0 || target > 125000 || tolerance < 0 || tolerance > 99000)
        return argumentOutOfRange();
    // Bumpless: the loop starts from the duty the fan runs at now.
    if (!f.thermalCruise)
        f.controlDuty = f.duty;
    f.thermalCruise = true;
    f.targetMilliCelsius = target;
    f.toleranceMilliCelsius = tolerance;
    f.haveLastError = false;
    f.sinceControlMs = 0;
    return HALVO_STATUS_OK;
}

int32_t Board::getCpuPerformance(int8_t &type, int8_t &percent)
{
    switch (performance.mode) {
    case Performance::Mode::Types:
        type = static_cast<int8_t>(performance.type);
        percent = 0; // tells the program this board offers types only
        return HALVO_STATUS_OK;
    case Performance::Mode::Percentage:
        type = static_cast<int8_t>(performance.type);
        percent = static_cast<int8_t>(performance.percent);
        return HALVO_STATUS_OK;
    default:
        return unsupported();
    }
}

int32_t Board::setCpuPerformance(uint8_t type, int8_t percent)
{
    if (performance.mode == Performance::Mode::None)
        return unsupported();
    if (type > 3)
        return argumentOutOfRange();
    const auto &accepted = performance.acceptedTypes;
    if (std::find(accepted.begin(), accepted.end(), type) == accepted.end())
        return unsupported();
    if (performance.mode == Performance::Mode::Percentage) {
        if (percent < 10 || percent > 100)
            return argumentOutOfRange();
        const int step = std::max(1, performance.percentStep);
        performance.percent = std::max(10, percent / step * step);
    }
    // Types boards ignore the percentage the program sends along.
    performance.type = type;
    return HALVO_STATUS_OK;
}

// ---- Display, watchdog, GPIO, storage -------------------------------------------------------

int32_t Board::getBacklightValue(int32_t display, int32_t &value)
{
    if (displays.empty())
        return unsupported();
    if (!inRange(display, displays))
        return argumentOutOfRange();
    value = displays[static_cast<size_t>(display)];
    return HALVO_STATUS_OK;
}

int32_t Board::setBacklightValue(int32_t display, int32_t value)
{
    if (displays.empty())
        return unsupported();
    if (!inRange(display, displays) || value < 0 || value > 100)
        return argumentOutOfRange();
    displays[static_cast<size_t>(display)] = value;
    return HALVO_STATUS_OK;
}

int32_t Board::watchdogEnable(int32_t timeoutMs)
{
    if (!watchdog)
        return unsupported();
    // A timeout of 0 would reset the board on the spot; the program sends 0
    // when the field holds no number, so it is refused like any other value
    // the hardware cannot count.
    if (timeoutMs <= 0 || timeoutMs > watchdog->maxTimeoutMs)
        return argumentOutOfRange();
    watchdog->armed = true;
    watchdog->timeoutMs = timeoutMs;
    watchdog->remainingMs = timeoutMs;
    return HALVO_STATUS_OK;
}

int32_t Board::watchdogTrigger()
{
    if (!watchdog)
        return unsupported();
    // Feeding a stopped watchdog is harmless on the hardware and so it is here.
    if (watchdog->armed)
        watchdog->remainingMs = watchdog->timeoutMs;
    return HALVO_STATUS_OK;
}

int32_t Board::watchdogDisable()
{
    if (!watchdog)
        return unsupported();
    watchdog->armed = false;
    watchdog->remainingMs = 0;
    return HALVO_STATUS_OK;
}

int32_t Board::watchdogGetState(int32_t &armed, int32_t &timeoutMs)
{
    if (!watchdog)
        return unsupported();
    armed = watchdog->armed ? 1 : 0;
    timeoutMs = watchdog->armed ? static_cast<int32_t>(watchdog->timeoutMs) : 0;
    return HALVO_STATUS_OK;
}

int32_t Board::gpioGetCount(int32_t &count)
{
    if (!gpio)
        return unsupported();
    count = gpio->pinCount;
    return HALVO_STATUS_OK;
}

// A board without pins refuses every pin call; a pin it lacks is a bad
// argument.
int32_t Board::checkPin(int32_t pin) const
{
    if (!gpio || gpio->pinCount == 0)
        return unsupported();
    if (pin < 0 || pin >= gpio->pinCount)
        return argumentOutOfRange();
    return HALVO_STATUS_OK;
}

int32_t Board::gpioGetDirection(int32_t pin, uint8_t &direction)
{
    if (const int32_t status = checkPin(pin); status != HALVO_STATUS_OK)
        return status;
    direction = gpio->direction[static_cast<size_t>(pin)];
    return HALVO_STATUS_OK;
}

int32_t Board::gpioSetDirection(int32_t pin, uint8_t direction)
{
    if (const int32_t status = checkPin(pin); status != HALVO_STATUS_OK)
        return status;
    if (direction > 1)
        return argumentOutOfRange();
    gpio->direction[static_cast<size_t>(pin)] = direction;
    return HALVO_STATUS_OK;
}

int32_t Board::gpioGetLevel(int32_t pin, uint8_t &level)
{
    if (const int32_t status = checkPin(pin); status != HALVO_STATUS_OK)
        return status;
    level = gpio->level(pin);
    return HALVO_STATUS_OK;
}

int32_t Board::gpioSetLevel(int32_t pin, uint8_t level)
{
    if (const int32_t status = checkPin(pin); status != HALVO_STATUS_OK)
        return status;
    if (level > 1)
        return argumentOutOfRange();
    // Writes the output latch, also on an input pin: it drives the pin as soon
    // as the pin becomes an output, as on the board's GPIO controller.
    gpio->outputLevel[static_cast<size_t>(pin)] = level;
    return HALVO_STATUS_OK;
}

int32_t Board::getStorageSize(int32_t storage, int32_t &size)
{
    if (storages.empty())
        return unsupported();
    if (!inRange(storage, storages))
        return argumentOutOfRange();
    size = static_cast<int32_t>(storages[static_cast<size_t>(storage)].size());
    return HALVO_STATUS_OK;
}

int32_t Board::storageRead(int32_t storage, int32_t offset, char *buffer, int32_t length)
{
    if (storages.empty())
        return unsupported();
    if (!inRange(storage, storages))
        return argumentOutOfRange();
    const auto &bytes = storages[static_cast<size_t>(storage)];
    if (offset < 0 || length < 0 || int64_t(offset) + length > static_cast<int64_t>(bytes.size()))
        return argumentOutOfRange();
    std::copy_n(bytes.begin() + offset, length, buffer);
    return HALVO_STATUS_OK;
}

int32_t Board::storageWrite(int32_t storage, int32_t offset, const char *data, int32_t length)
{
    if (storages.empty())
        return unsupported();
    if (!inRange(storage, storages))
        return argumentOutOfRange();
    auto &bytes = storages[static_cast<size_t>(storage)];
    if (offset < 0 || length < 0 || int64_t(offset) + length > static_cast<int64_t>(bytes.size()))
        return argumentOutOfRange();
    std::copy_n(data, length, bytes.begin() + offset);
    return HALVO_STATUS_OK;
}

// ---- SMBus and I2C ------------------------------------------------------------------------------
// Each transaction is replayed as the I2C transfers the controller makes:
//   quick command      address only
//   send byte          W[data]
//   receive byte       R[1]
//   write byte / word  W[command, data...] (word: low byte first)
//   read byte / word   W[command] R[1 or 2] (word = first | second << 8)
//   write block        W[command, count, data...]
//   read block         W[command] R[count, data...]
//   I2C write          W[memoryAddress, data...]
//   I2C read           W[memoryAddress] (only with useMemoryAddress) R[n]

int32_t Board::findDevice(std::vector<Bus> &set, uint8_t bus, uint8_t address, Device *&device)
{
    if (set.empty())
        return unsupported();
    if (bus >= set.size() || address > 0x7f) // addresses come in 7-bit form
        return argumentOutOfRange();
    device = set[bus].find(address);
    if (!device)
        return deviceError(kNoDevice); // nobody acknowledged the address
    return HALVO_STATUS_OK;
}

int32_t Board::smbusQuickCommand(uint8_t bus, uint8_t address, uint8_t readWrite)
{
    if (readWrite > 1)
        return argumentOutOfRange();
    Device *device;
    return findDevice(smbus, bus, address, device);
}

int32_t Board::smbusSendByte(uint8_t bus, uint8_t address, uint8_t data)
{
    Device *device;
    if (int32_t status = findDevice(smbus, bus, address, device))
        return status;
    return device->write(&data, 1, deviceEnv()) ? HALVO_STATUS_OK : deviceError(kProtocol);
}

int32_t Board::smbusReceiveByte(uint8_t bus, uint8_t address, uint8_t &data)
{
    Device *device;
    if (int32_t status = findDevice(smbus, bus, address, device))
        return status;
    if (!device->startRead(deviceEnv()))
        return deviceError(kProtocol);
    data = device->readByte();
    return HALVO_STATUS_OK;
}

int32_t Board::smbusWriteByte(uint8_t bus, uint8_t address, uint8_t command, uint8_t data)
{
    Device *device;
    if (int32_t status = findDevice(smbus, bus, address, device))
        return status;
    const uint8_t wire[] = {command, data};
    return device->write(wire, 2, deviceEnv()) ? HALVO_STATUS_OK : deviceError(kProtocol);
}

int32_t Board::smbusReadByte(uint8_t bus, uint8_t address, uint8_t command, uint8_t &data)
{
    Device *device;
    if (int32_t status = findDevice(smbus, bus, address, device))
        return status;
    const DeviceEnv env = deviceEnv();
    if (!device->write(&command, 1, env) || !device->startRead(env))
        return deviceError(kProtocol);
    data = device->readByte();
    return HALVO_STATUS_OK;
}

int32_t Board::smbusWriteWord(uint8_t bus, uint8_t address, uint8_t command, uint16_t data)
{
    Device *device;
    if (int32_t status = findDevice(smbus, bus, address, device))
        return status;
    const uint8_t wire[] = {command, static_cast<uint8_t>(data & 0xff), static_cast<uint8_t>(data >> 8)};
    return device->write(wire, 3, deviceEnv()) ? HALVO_STATUS_OK : deviceError(kProtocol);
}

int32_t Board::smbusReadWord(uint8_t bus, uint8_t address, uint8_t command, uint16_t &data)
{
    Device *device;
    if (int32_t status = findDevice(smbus, bus, address, device))
        return status;
    const DeviceEnv env = deviceEnv();
    if (!device->write(&command, 1, env) || !device->startRead(env))
        return deviceError(kProtocol);
    const uint8_t low = device->readByte();
    const uint8_t high = device->readByte();
    data = static_cast<uint16_t>(low | (high << 8));
    return HALVO_STATUS_OK;
}

int32_t Board::smbusWriteBlock(uint8_t bus, uint8_t address, uint8_t command, const uint8_t *data, uint8_t count)
{
    // The entry point has checked count against the SMBus block limit.
    Device *device;
    if (int32_t status = findDevice(smbus, bus, address, device))
        return status;
    std::vector<uint8_t> wire{command, count};
    wire.insert(wire.end(), data, data + count);
    return device->write(wire.data(), wire.size(), deviceEnv()) ? HALVO_STATUS_OK : deviceError(kProtocol);
}

int32_t Board::smbusReadBlock(uint8_t bus, uint8_t address, uint8_t command, uint8_t *buffer, uint8_t &count)
{
    Device *device;
    if (int32_t status = findDevice(smbus, bus, address, device))
        return status;
    const DeviceEnv env = deviceEnv();
    if (!device->write(&command, 1, env) || !device->startRead(env))
        return deviceError(kProtocol);
    const uint8_t n = device->readByte();
    // Controllers abort a block read whose count byte is 0 or above the block limit.
    if (n == 0 || n > HALVO_SMBUS_BLOCK_MAX)
        return deviceError(kProtocol);
    uint8_t block[HALVO_SMBUS_BLOCK_MAX];
    for (uint8_t i = 0; i < n; ++i)
        block[i] = device->readByte();
    std::copy_n(block, n, buffer);
    count = n;
    return HALVO_STATUS_OK;
}

int32_t Board::i2cRead(uint8_t bus, uint8_t address, uint8_t memoryAddress, uint8_t useMemoryAddress, uint8_t *buffer,
                       uint32_t &count)
{
    if (useMemoryAddress > 1)
        return argumentOutOfRange();
    Device *device;
    if (int32_t status = findDevice(i2c, bus, address, device))
        return status;
    const DeviceEnv env = deviceEnv();
    if (useMemoryAddress && !device->write(&memoryAddress, 1, env))
        return deviceError(kProtocol);
    if (!device->startRead(env))
        return deviceError(kProtocol);
    // The caller's buffer holds HALVO_BLOCK_BUFFER_SIZE bytes, whatever it asks for.
    const uint32_t n = std::min<uint32_t>(count, HALVO_BLOCK_BUFFER_SIZE);
    uint8_t bytes[HALVO_BLOCK_BUFFER_SIZE];
    for (uint32_t i = 0; i < n; ++i)
        bytes[i] = device->readByte();
    std::copy_n(bytes, n, buffer);
    count = n;
    return HALVO_STATUS_OK;
}

int32_t Board::i2cWrite(uint8_t bus, uint8_t address, uint8_t memoryAddress, const uint8_t *data, uint32_t count)
{
    Device *device;
    if (int32_t status = findDevice(i2c, bus, address, device))
        return status;
    std::vector<uint8_t> wire{memoryAddress};
    wire.insert(wire.end(), data, data + count);
    return device->write(wire.data(), wire.size(), deviceEnv()) ? HALVO_STATUS_OK : deviceError(kProtocol);
}

int32_t Board::setSystemState(int32_t state)
{
    switch (state) {
    case 0:
        return HALVO_STATUS_OK; // answering at all means it is on
    case 1:
    case 2:
        powerState = state;
        return HALVO_STATUS_OK;
    case 3:
        reboot();
        return HALVO_STATUS_OK;
    default:
        return argumentOutOfRange();
    }
}

} // namespace halvo::sim
