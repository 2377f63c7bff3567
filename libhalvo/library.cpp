#include "library.h"

#include "backends/host/host_backend.h"
#include "backends/sim/world.h"
#include "settings.h"

namespace halvo
{

Library::Library() : platform(makePlatform()), handles(*platform)
{
    // The real machine answers outside the simulated world's lock.
    if (auto *world = dynamic_cast<sim::World *>(platform.get()); world && world->hasLocalOverride())
        handles.setLocalLock(std::make_shared<std::mutex>());
}

Library &library()
{
    static Library instance;
    return instance;
}

// Remote boards and AMT endpoints of the simulated world stay reachable
// whichever board handle 0 is.
std::unique_ptr<Platform> makePlatform()
{
    auto world = std::make_unique<sim::World>();
    const Settings settings = loadSettings();
    if (settings.board == Settings::Board::Host)
        world->setLocalBoard(host::makeHostBackend(settings));
    return world;
}

} // namespace halvo
