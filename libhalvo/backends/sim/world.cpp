#include "world.h"

#include "../../library.h"
#include "../../settings.h"
#include "../../status.h"
#include "board_json.h"
#include "sim_backend.h"

#include <cstdio>
#include <cstdlib>
#include <set>

using nlohmann::json;

namespace halvo::sim
{

namespace
{

// A program left idle for hours (or a test advancing the clock by days) would
// otherwise cost millions of 100 ms steps: beyond an hour the model runs in
// 10 s steps, and beyond 30 days the excess is dropped.
constexpr int64_t kFineWindowMs = 3600 * 1000;
constexpr int64_t kCoarseStepMs = 10 * 1000;
constexpr int64_t kMaxCatchUpMs = 30LL * 24 * 3600 * 1000;

// A test may advance the clock by INT64_MAX, more than once; time then stops
// at the end of the representable range.
int64_t saturatingAdd(int64_t a, int64_t b)
{
    int64_t sum;
    return __builtin_add_overflow(a, b, &sum) ? (b > 0 ? INT64_MAX : INT64_MIN) : sum;
}

} // namespace

World::World()
{
    reset();
}

World::Description World::build(const std::string &patchText)
{
    json description = json::parse(kDemoBoardJson);
    description.merge_patch(parseDescription(patchText));
    if (!description.is_object())
        throw DescriptionError("description: expected an object");
    for (const auto &item : description.items())
        if (item.key() != "board" && item.key() != "remoteBoards" && item.key() != "amtEndpoints" &&
            item.key().rfind('_', 0) != 0)
            throw DescriptionError(item.key() + ": unknown key");

    Description d;
    d.local = boardFromJson(description.value("board", json::object()), "board", false);

    // Each remote board is described by how it differs from the demo's local
    // board.
    std::set<std::string> addresses;
    const json remote = description.value("remoteBoards", json::array());
    if (!remote.is_array())
        throw DescriptionError("remoteBoards: expected an array");
    for (size_t i = 0; i < remote.size(); ++i) {
        const std::string path = "remoteBoards[" + std::to_string(i) + "]";
        const std::string address = remoteBoard(remote[i], path)->address;
        if (!addresses.insert(address).second)
            throw DescriptionError(path + ".address: two boards at " + address);
        d.remote.push_back(Remote{address, remote[i], nullptr, 0});
    }

    const json amt = description.value("amtEndpoints", json::array());
    if (!amt.is_array())
        throw DescriptionError("amtEndpoints: expected an array");
    for (size_t i = 0; i < amt.size(); ++i) {
        const std::string path = "amtEndpoints[" + std::to_string(i) + "]";
        const json &e = amt[i];
        if (!e.is_object())
            throw DescriptionError(path + ": expected an object");
        AmtEndpoint endpoint;
        for (const auto &item : e.items()) {
            const std::string &key = item.key();
            const json &v = item.value();
            if (key.rfind('_', 0) == 0)
                continue;
            if (key == "ipAddress" || key == "userName" || key == "password" || key == "board") {
                if (!v.is_string())
                    throw DescriptionError(path + "." + key + ": expected a text");
                const std::string text = latin1FromUtf8(v.get<std::string>(), path + "." + key);
                if (key == "ipAddress")
                    endpoint.ipAddress = text;
                else if (key == "userName")
                    endpoint.userName = text;
                else if (key == "password")
                    endpoint.password = text;
                else
                    endpoint.board = text == "local" ? std::string() : text;
            } else if (key == "powerState") {
                endpoint.powerState = static_cast<int>(integerValue(v, path + ".powerState", 0, 2));
            } else {
                throw DescriptionError(path + "." + key + ": unknown key");
            }
        }
        if (endpoint.ipAddress.empty())
            throw DescriptionError(path + ".ipAddress: missing");
        d.amt.push_back(endpoint);
    }
    return d;
}

std::unique_ptr<Board> World::remoteBoard(const json &patch, const std::string &path)
{
    static const json demoBoard = json::parse(kDemoBoardJson).at("board");
    if (!patch.is_object())
        throw DescriptionError(path + ": expected an object");
    json board = demoBoard;
    board.merge_patch(patch);
    return boardFromJson(board, path, true);
}

void World::reset()
{
    Description d;
    bool loaded = false;
    // Read again on every reset, so that a test may change the choice.
    if (const Settings s = loadSettings(); s.board == Settings::Board::File) {
        try {
            d = build(readDescriptionFile(s.boardFile));
            loaded = true;
        } catch (const std::exception &e) {
            std::fprintf(stderr, "libhalvo: board %s not used (%s); simulating the demo board\n", s.boardFile.c_str(),
                         e.what());
        }
    }
    if (!loaded)
        d = build("{}");
    world_ = std::move(d);
    localBackend_ = std::make_unique<SimBackend>(*this, "");
    frozen_ = false;
    offsetMs_ = 0;
    anchor_ = std::chrono::steady_clock::now();
    startAll();
}

void World::load(const std::string &json)
{
    world_ = build(json);
    startAll();
}

void World::patch(const std::string &address, const std::string &patchText)
{
    Board *old = board(address);
    if (!old)
        throw DescriptionError("no board at " + address);
    json description = boardToJson(*old);
    description.merge_patch(parseDescription(patchText));
    auto replacement = boardFromJson(description, address.empty() ? "board" : address, !address.empty());
    if (replacement->address != address && board(replacement->address))
        throw DescriptionError("address: there is already a board at " + replacement->address);
    replacement->modelMs = old->modelMs;
    if (address.empty()) {
        world_.local = std::move(replacement);
        return;
    }
    const size_t i = remoteIndex_.at(address);
    remoteIndex_.erase(address);
    remoteIndex_.emplace(replacement->address, i);
    world_.remote[i].address = replacement->address;
    world_.remote[i].board = std::move(replacement);
}

std::string World::boardJson(const std::string &address)
{
    Board *b = board(address);
    if (!b)
        throw DescriptionError("no board at " + address);
    return boardToJson(*b).dump(2);
}

int64_t World::now() const
{
    if (frozen_)
        return offsetMs_;
    const auto elapsed = std::chrono::steady_clock::now() - anchor_;
    return saturatingAdd(offsetMs_, std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void World::freezeClock(bool frozen)
{
    if (frozen == frozen_)
        return;
    if (frozen) {
        offsetMs_ = now();
    } else {
        anchor_ = std::chrono::steady_clock::now();
    }
    frozen_ = frozen;
}

void World::advanceClock(int64_t milliseconds)
{
    if (milliseconds > 0)
        offsetMs_ = saturatingAdd(offsetMs_, milliseconds);
}

void World::catchUp(Board &b, int64_t target)
{
    if (target - b.modelMs > kMaxCatchUpMs)
        b.modelMs = target - kMaxCatchUpMs;
    while (target - b.modelMs >= kStepMs) {
        const int64_t step = target - b.modelMs > kFineWindowMs ? kCoarseStepMs : kStepMs;
        b.step(step);
        b.modelMs += step;
    }
}

void World::startAll()
{
    const int64_t t = now();
    remoteIndex_.clear();
    world_.local->modelMs = t;
    for (size_t i = 0; i < world_.remote.size(); ++i) {
        world_.remote[i].startMs = t;
        remoteIndex_.emplace(world_.remote[i].address, i);
    }
}

Board *World::board(const std::string &address)
{
    Board *b = nullptr;
    if (address.empty()) {
        b = world_.local.get();
    } else if (auto it = remoteIndex_.find(address); it != remoteIndex_.end()) {
        Remote &r = world_.remote[it->second];
        if (!r.board) {
            r.board = remoteBoard(r.patch, address);
            r.board->modelMs = r.startMs;
        }
        b = r.board.get();
    }
    // Boards nobody asks about stand still; a large world costs nothing per
    // call that way.
    if (b)
        catchUp(*b, now());
    return b;
}

Backend &World::localBoard()
{
    return *localBackend_;
}

int32_t World::connect(const std::string &address, int32_t port, std::unique_ptr<Backend> &out)
{
    // Nothing listens on another port of the board agent.
    if (port != HALVO_LIBINIT_PORT)
        return fail(HALVO_CLASS_CONNECTION, kUnknownAddress);
    std::string key = address;
    Board *b = address.empty() ? nullptr : board(address);
    if (!b) {
        // The simulated local board can also be reached through its own
        // network addresses, as the world describes them; loopback is left
        // to a real agent on this machine.
        bool local = false;
        for (const NetworkDevice &d : world_.local->networkDevices)
            local = local || (!d.ipAddress.empty() && address == d.ipAddress);
        if (!local)
            return fail(HALVO_CLASS_CONNECTION, kUnknownAddress);
        key.clear();
        b = world_.local.get();
    }
    if (!b->online)
        return fail(HALVO_CLASS_CONNECTION, kBoardOffline);
    if (b->powerState != 0)
        return fail(HALVO_CLASS_CONNECTION, kBoardOff);
    out = std::make_unique<SimBackend>(*this, key);
    return HALVO_STATUS_OK;
}

int32_t World::findAmt(const std::string &ipAddress, const std::string &userName, const std::string &password,
                       AmtEndpoint *&endpoint, Board *&b)
{
    endpoint = nullptr;
    for (AmtEndpoint &e : world_.amt)
        if (e.ipAddress == ipAddress)
            endpoint = &e;
    if (!endpoint)
        return fail(HALVO_CLASS_CONNECTION, kUnknownAddress);
    b = nullptr;
    if (endpoint->board) {
        b = board(*endpoint->board);
        // Still this world's address: it must not be looked for on the
        // network.
        if (!b)
            return fail(HALVO_CLASS_CONNECTION, kBoardOffline);
        // The firmware runs on standby power, so a board that is off still
        // answers; one whose network is gone does not.
        if (!b->online)
            return fail(HALVO_CLASS_CONNECTION, kBoardOffline);
    }
    if (userName != endpoint->userName || password != endpoint->password)
        return fail(HALVO_CLASS_ACCESS, kBadValue);
    return HALVO_STATUS_OK;
}

int32_t World::getSystemStateAmt(const std::string &ipAddress, const std::string &userName, const std::string &password,
                                 int32_t &state)
{
    AmtEndpoint *endpoint;
    Board *b;
    if (int32_t status = findAmt(ipAddress, userName, password, endpoint, b))
        return status;
    state = b ? b->powerState : endpoint->powerState;
    return HALVO_STATUS_OK;
}

int32_t World::setSystemStateAmt(const std::string &ipAddress, const std::string &userName, const std::string &password,
                                 int32_t state)
{
    if (state < 0 || state > 3)
        return badArgument(kOutOfRange);
    AmtEndpoint *endpoint;
    Board *b;
    if (int32_t status = findAmt(ipAddress, userName, password, endpoint, b))
        return status;
    if (!b) {
        endpoint->powerState = state == 3 ? 0 : state;
        return HALVO_STATUS_OK;
    }
    switch (state) {
    case 0:
        if (b->powerState != 0)
            b->powerOn();
        break;
    case 3:
        if (b->powerState == 0)
            b->reboot();
        else
            b->powerOn();
        break;
    default:
        b->powerState = state;
        break;
    }
    return HALVO_STATUS_OK;
}

} // namespace halvo::sim
