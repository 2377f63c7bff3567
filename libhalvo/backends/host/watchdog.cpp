#include "watchdog.h"

#include "../../status.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <linux/watchdog.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace halvo::host
{

namespace
{

bool isWatchdogName(const std::string &name)
{
    return name.size() > 8 && name.size() <= 12 && name.compare(0, 8, "watchdog") == 0 &&
           name.find_first_not_of("0123456789", 8) == std::string::npos;
}

} // namespace

Watchdog::Watchdog(const Root &root, const Settings &settings) : root_(root)
{
    std::string name;
    if (const std::string &path = settings.watchdog; !path.empty()) {
        name = path.compare(0, 5, "/dev/") == 0 ? path.substr(5) : "";
        // The legacy node /dev/watchdog is the first watchdog's.
        if (name == "watchdog")
            name = "watchdog0";
        if (!isWatchdogName(name)) {
            std::fprintf(stderr, "libhalvo: watchdog \"%s\" ignored (not /dev/watchdogN)\n", path.c_str());
            return;
        }
        device_ = path;
    } else {
        long lowest = LONG_MAX;
        for (const std::string &entry : root.list("/sys/class/watchdog"))
            if (isWatchdogName(entry) && std::atol(entry.c_str() + 8) < lowest) {
                lowest = std::atol(entry.c_str() + 8);
                name = entry;
            }
        if (name.empty())
            return;
        device_ = "/dev/" + name;
    }
    sysfs_ = "/sys/class/watchdog/" + name;
}

Watchdog::~Watchdog()
{
    if (fd_ >= 0)
        ::close(fd_);
}

int32_t Watchdog::present() const
{
    return !device_.empty() && root_.exists(device_) ? HALVO_STATUS_OK : unsupported();
}

bool Watchdog::noWayOut() const
{
    int64_t v = 0;
    return root_.readInt(sysfs_ + "/nowayout", v) == HALVO_STATUS_OK && v != 0;
}

void Watchdog::abandon()
{
    if (!noWayOut())
        stop();
}

int32_t Watchdog::stop()
{
    // WDIOS_DISABLECARD says for certain whether it stopped (EBUSY under
    // nowayout). After it the node is closed without the magic 'V': the core
    // only clears its "magic close seen" flag when it stops an active
    // watchdog at close, so a 'V' written to a stopped one would linger and
    // silently stop the next holder's armed watchdog when that one closes.
    // Drivers outside the watchdog core may not know the option and rely on
    // the magic close alone.
    int option = WDIOS_DISABLECARD;
    if (::ioctl(fd_, WDIOC_SETOPTIONS, &option) != 0) {
        if (errno == EBUSY)
            return unsupported();
        ssize_t n;
        do {
            n = ::write(fd_, "V", 1);
        } while (n < 0 && errno == EINTR);
        if (n != 1)
            return n < 0 ? statusFromErrno(errno) : fail(HALVO_CLASS_DEVICE, kNoDevice);
    }
    ::close(fd_);
    fd_ = -1;
    return HALVO_STATUS_OK;
}

int32_t Watchdog::watchdogEnable(int32_t timeoutMs)
{
    if (const int32_t status = present(); status != HALVO_STATUS_OK)
        return status;
    // A timeout of 0 would reset the board on the spot.
    if (timeoutMs <= 0)
        return badArgument(kOutOfRange);
    // The driver counts whole seconds; rounding up never resets the board
    // before the window's count-down ends.
    const int wanted = static_cast<int>((int64_t(timeoutMs) + 999) / 1000);
    const bool opened = fd_ < 0 && !armedElsewhere();
    if (const int32_t status = hold(); status != HALVO_STATUS_OK)
        return status;
    int timeout = wanted;
    int32_t status = HALVO_STATUS_OK;
    if (::ioctl(fd_, WDIOC_SETTIMEOUT, &timeout) != 0)
        status = errno == EINVAL ? badArgument(kOutOfRange) : statusFromErrno(errno);
    // The driver answers with the timeout it set. One rounded up to its step
    // only resets later than the window expects; one cut to the driver's
    // maximum would reset before the count-down ends, so it is refused.
    else if (timeout < wanted)
        status = badArgument(kOutOfRange);
    else if (::ioctl(fd_, WDIOC_KEEPALIVE, 0) != 0)
        status = statusFromErrno(errno);
    // A failed re-enable leaves the earlier arming running; a failed first
    // one must not leave the watchdog armed behind the window's back.
    if (status != HALVO_STATUS_OK && opened)
        abandon();
    return status;
}

int32_t Watchdog::watchdogTrigger()
{
    if (const int32_t status = present(); status != HALVO_STATUS_OK)
        return status;
    // Feeding a stopped watchdog is harmless, as in the simulator; opening
    // the node to feed it would arm it.
    if (fd_ < 0 && !armedElsewhere())
        return HALVO_STATUS_OK;
    if (const int32_t status = hold(); status != HALVO_STATUS_OK)
        return status;
    return ::ioctl(fd_, WDIOC_KEEPALIVE, 0) == 0 ? HALVO_STATUS_OK : statusFromErrno(errno);
}

bool Watchdog::armedElsewhere() const
{
    std::string state;
    return fd_ < 0 && root_.readLine(sysfs_ + "/state", state) == HALVO_STATUS_OK && state == "active";
}

int32_t Watchdog::hold()
{
    if (fd_ >= 0)
        return HALVO_STATUS_OK;
    // An armed watchdog that nobody holds (its program exited without
    // stopping it, or this library's last run did) counts down to a reset:
    // it is taken over rather than reported fed or stopped while it is not.
    // Opening an active watchdog leaves it running. EBUSY: another holder,
    // such as systemd's own watchdog handling.
    fd_ = ::open(root_.path(device_).c_str(), O_WRONLY | O_CLOEXEC);
    return fd_ >= 0 ? HALVO_STATUS_OK : statusFromErrno(errno);
}

int32_t Watchdog::watchdogDisable()
{
    if (const int32_t status = present(); status != HALVO_STATUS_OK)
        return status;
    if (fd_ < 0 && !armedElsewhere())
        return HALVO_STATUS_OK;
    // With nowayout the kernel ignores the magic close and only logs "did
    // not stop"; the node stays held so that the window can go on feeding.
    if (noWayOut())
        return unsupported();
    if (const int32_t status = hold(); status != HALVO_STATUS_OK)
        return status;
    return stop();
}

int32_t Watchdog::watchdogGetState(int32_t &armed, int32_t &timeoutMs) const
{
    if (const int32_t status = present(); status != HALVO_STATUS_OK)
        return status;
    std::string state;
    const bool active = root_.readLine(sysfs_ + "/state", state) == HALVO_STATUS_OK ? state == "active" : fd_ >= 0;
    int64_t seconds = 0;
    int timeout = 0;
    if (active && root_.readInt(sysfs_ + "/timeout", seconds) != HALVO_STATUS_OK && fd_ >= 0 &&
        ::ioctl(fd_, WDIOC_GETTIMEOUT, &timeout) == 0)
        seconds = timeout;
    armed = active ? 1 : 0;
    // The driver counts seconds; a value beyond the field is no timeout we can tell.
    timeoutMs = active && seconds > 0 && seconds <= INT32_MAX / 1000 ? static_cast<int32_t>(seconds * 1000) : 0;
    return HALVO_STATUS_OK;
}

} // namespace halvo::host
