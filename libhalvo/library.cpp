#include "library.h"

#include "backends/host/host_backend.h"
#include "backends/sim/world.h"
#include "settings.h"
#include "status.h"

namespace halvo
{

namespace
{

// The real machine as handle 0. Nothing here is simulated: every address to
// connect to and every AMT endpoint is left to the network, where the entry
// points take it (a real agent, real firmware).
class HostPlatform : public Platform
{
public:
    explicit HostPlatform(const Settings &settings) : local_(host::makeHostBackend(settings)) {}

    Backend &localBoard() override { return *local_; }
    int32_t connect(const std::string &, int32_t, std::unique_ptr<Backend> &) override { return elsewhere(); }
    int32_t getSystemStateAmt(const std::string &, const std::string &, const std::string &, int32_t &) override
    {
        return elsewhere();
    }
    int32_t setSystemStateAmt(const std::string &, const std::string &, const std::string &, int32_t) override
    {
        return elsewhere();
    }

private:
    static int32_t elsewhere() { return fail(HALVO_CLASS_CONNECTION, kUnknownAddress); }

    std::unique_ptr<Backend> local_;
};

} // namespace

Library::Library() : platform(makePlatform()), handles(*platform)
{
    // The real machine answers outside the library lock, which guards the
    // simulated world.
    if (!dynamic_cast<sim::World *>(platform.get()))
        handles.setLocalLock(std::make_shared<std::mutex>());
}

Library &library()
{
    static Library instance;
    return instance;
}

// Chosen once, at load: the real machine, or the simulated world (the demo
// board or a JSON board), never both.
std::unique_ptr<Platform> makePlatform()
{
    const Settings settings = loadSettings();
    if (settings.board == Settings::Board::Host)
        return std::make_unique<HostPlatform>(settings);
    return std::make_unique<sim::World>();
}

} // namespace halvo
