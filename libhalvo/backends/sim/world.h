// The simulated world: the local board, remote boards reachable by address,
// AMT endpoints, and the simulated clock that drives them all.
#ifndef HALVO_SIM_WORLD_H
#define HALVO_SIM_WORLD_H

#include "../../backend.h"
#include "board.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace halvo::sim
{

// The built-in description, demo-board.json compiled into the library.
extern const char *const kDemoBoardJson;

class World : public Platform
{
public:
    // The model advances in fixed steps so that what a test sees does not
    // depend on how often it calls.
    static constexpr int64_t kStepMs = 100;

    World();

    // Back to the start description: the board file the settings name if
    // usable, otherwise the demo board; clock running from 0.
    void reset();
    // Replaces the world with the demo description merge-patched by `json`.
    // Throws DescriptionError or nlohmann::json::exception; the world is left
    // unchanged then.
    void load(const std::string &json);
    void patch(const std::string &address, const std::string &json);
    std::string boardJson(const std::string &address);

    void freezeClock(bool frozen);
    void advanceClock(int64_t milliseconds);

    // nullptr when there is no board at `address` ("" is the local board).
    // The board's model is first run up to the current simulated time.
    Board *board(const std::string &address);

    Backend &localBoard() override;
    int32_t connect(const std::string &address, int32_t port, std::unique_ptr<Backend> &out) override;
    int32_t getSystemStateAmt(const std::string &ipAddress, const std::string &userName, const std::string &password,
                              int32_t &state) override;
    int32_t setSystemStateAmt(const std::string &ipAddress, const std::string &userName, const std::string &password,
                              int32_t state) override;

private:
    struct AmtEndpoint {
        std::string ipAddress, userName, password;
        // Address of the simulated board behind it ("" the local board); an
        // endpoint whose board is not in the world is unreachable.
        std::optional<std::string> board;
        int powerState = 0; // for endpoints without a board
    };
    // A remote board is checked when the world is loaded but built only when
    // first used: a world may list thousands of boards and a test use two.
    struct Remote {
        std::string address;
        nlohmann::json patch; // over the demo's local board
        std::unique_ptr<Board> board;
        int64_t startMs = 0;
    };
    struct Description {
        std::unique_ptr<Board> local;
        std::vector<Remote> remote;
        std::vector<AmtEndpoint> amt;
    };

    static Description build(const std::string &patch);
    // The demo's local board patched with `patch`; throws when unusable.
    static std::unique_ptr<Board> remoteBoard(const nlohmann::json &patch, const std::string &path);
    int64_t now() const;
    static void catchUp(Board &board, int64_t target);
    // Every board's model starts at the current time; the address index is
    // rebuilt.
    void startAll();
    int32_t findAmt(const std::string &ipAddress, const std::string &userName, const std::string &password,
                    AmtEndpoint *&endpoint, Board *&board);

    Description world_;
    std::unordered_map<std::string, size_t> remoteIndex_;
    std::unique_ptr<Backend> localBackend_;
    bool frozen_ = false;
    int64_t offsetMs_ = 0;
    std::chrono::steady_clock::time_point anchor_;
};

} // namespace halvo::sim

#endif
