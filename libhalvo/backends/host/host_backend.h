// The real machine as a board: each call goes to the part that knows the
// interface. Parts are made on first use, so a call that needs only /proc
// never initialises libsensors or scans PCI.
#ifndef HALVO_HOST_BACKEND_H
#define HALVO_HOST_BACKEND_H

#include "../../backend.h"
#include "../../settings.h"

#include <memory>

namespace halvo::host
{

std::unique_ptr<Backend> makeHostBackend(const Settings &settings);

} // namespace halvo::host

#endif
