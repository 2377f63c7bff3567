#include "power.h"

#include "../../status.h"

#include <cerrno>
#include <cstring>
#include <systemd/sd-bus.h>

namespace halvo::host
{

namespace
{

// logind answers at once; only a hung bus takes longer.
constexpr uint64_t kCallTimeoutUs = 5 * 1000 * 1000;

bool named(const sd_bus_error &error, const char *name)
{
    return error.name && std::strcmp(error.name, name) == 0;
}

// No bus or no logind means this machine cannot do it, never a lost
// connection: the window would announce one for the local board.
int32_t statusFromBus(int result, const sd_bus_error &error)
{
    if (named(error, SD_BUS_ERROR_ACCESS_DENIED) || named(error, SD_BUS_ERROR_INTERACTIVE_AUTHORIZATION_REQUIRED) ||
        result == -EACCES || result == -EPERM)
        return fail(HALVO_CLASS_ACCESS, kPermission);
    if (named(error, SD_BUS_ERROR_SERVICE_UNKNOWN) || named(error, SD_BUS_ERROR_NAME_HAS_NO_OWNER) ||
        named(error, SD_BUS_ERROR_UNKNOWN_METHOD) || named(error, SD_BUS_ERROR_UNKNOWN_OBJECT) ||
        named(error, SD_BUS_ERROR_UNKNOWN_INTERFACE) || named(error, SD_BUS_ERROR_NOT_SUPPORTED))
        return unsupported();
    if (!error.name && (result == -ENOENT || result == -ECONNREFUSED || result == -ECONNRESET || result == -ENOTCONN ||
                        result == -ENXIO))
        return unsupported();
    return fail(HALVO_CLASS_DEVICE, result == -EBUSY ? kBusy : kNoDevice);
}

} // namespace

Power::Power(const Root &, const Settings &) {}

Power::~Power() = default;

int32_t Power::setSystemState(int32_t state)
{
    const char *method = nullptr;
    switch (state) {
    case 0:
        // The window never asks for it; a machine that runs this code is on.
        return HALVO_STATUS_OK;
    case 1:
        method = "PowerOff";
        break;
    case 2:
        method = "Hibernate";
        break;
    case 3:
        method = "Reboot";
        break;
    default:
        return badArgument(kOutOfRange);
    }
    sd_bus *bus = nullptr;
    // Honours DBUS_SYSTEM_BUS_ADDRESS.
    int r = sd_bus_open_system(&bus);
    if (r < 0)
        return unsupported();
    sd_bus_set_method_call_timeout(bus, kCallTimeoutUs);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message *reply = nullptr;
    r = sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                           method, &error, &reply, "b", 0);
    const int32_t status = r < 0 ? statusFromBus(r, error) : HALVO_STATUS_OK;
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return status;
}

} // namespace halvo::host
