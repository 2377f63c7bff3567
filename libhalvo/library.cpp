#include "library.h"

#include "backends/host/host_backend.h"
#include "backends/sim/world.h"
#include "settings.h"

namespace halvo
{

Library::Library() : platform(makePlatform()), handles(*platform) {}

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
