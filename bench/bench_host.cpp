// The host backend on a fixture machine (run through tests/host/run-on-fixture,
// see README.md): the window's status refresh, and the sensor list reads next
// to a plain libsensors loop reading the same values.
//
// Registration order matters: the plain loop initialises and cleans up
// libsensors itself, so it runs before the library first initialises it.
#include "benchwindow.h"
#include "board/halvo.h"

#include <benchmark/benchmark.h>
#include <sensors/sensors.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{

// Every input subfeature of every chip, enumerated once as a well-written
// libsensors client would, then only read.
void BM_SensorsPlainLibsensors(benchmark::State &state)
{
    const char *root = std::getenv("HALVO_SYSROOT");
    const std::string config = std::string(root ? root : "") + "/etc/sensors3.conf";
    FILE *file = std::fopen(config.c_str(), "r");
    if (sensors_init(file) != 0) {
        state.SkipWithError("sensors_init failed");
        return;
    }
    if (file)
        std::fclose(file);
    struct Input {
        const sensors_chip_name *chip;
        int number;
    };
    std::vector<Input> inputs;
    int c = 0;
    while (const sensors_chip_name *chip = sensors_get_detected_chips(nullptr, &c)) {
        int f = 0;
        while (const sensors_feature *feature = sensors_get_features(chip, &f)) {
            const sensors_subfeature_type type = feature->type == SENSORS_FEATURE_TEMP  ? SENSORS_SUBFEATURE_TEMP_INPUT
                                                 : feature->type == SENSORS_FEATURE_IN  ? SENSORS_SUBFEATURE_IN_INPUT
                                                 : feature->type == SENSORS_FEATURE_FAN ? SENSORS_SUBFEATURE_FAN_INPUT
                                                                                        : SENSORS_SUBFEATURE_UNKNOWN;
            if (type == SENSORS_SUBFEATURE_UNKNOWN)
                continue;
            if (const sensors_subfeature *sub = sensors_get_subfeature(chip, feature, type))
                inputs.push_back({chip, sub->number});
        }
    }
    for (auto _ : state) {
        double sum = 0;
        for (const Input &in : inputs) {
            double v = 0;
            sensors_get_value(in.chip, in.number, &v);
            sum += v;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["values"] = double(inputs.size());
    sensors_cleanup();
}
BENCHMARK(BM_SensorsPlainLibsensors)->Unit(benchmark::kMicrosecond);

// The three lists the sensor page reads each refresh, count and list each.
void BM_SensorsLibhalvo(benchmark::State &state)
{
    std::vector<TempSensorInfo> temps(64);
    std::vector<VoltageSensorInfo> volts(64);
    std::vector<FanInfo> fans(64);
    int32_t values = 0;
    for (auto _ : state) {
        int32_t nt = 0, nv = 0, nf = 0;
        if (HalvoGetTempSensorCount(0, &nt) == 0 && nt > 0 && nt <= 64)
            HalvoGetTempSensorList(0, temps.data(), nt);
        if (HalvoGetVoltageSensorCount(0, &nv) == 0 && nv > 0 && nv <= 64)
            HalvoGetVoltageSensorList(0, volts.data(), nv);
        if (HalvoGetFanCount(0, &nf) == 0 && nf > 0 && nf <= 64)
            HalvoGetFanList(0, fans.data(), nf);
        values = nt + nv + nf;
        benchmark::DoNotOptimize(temps.data());
    }
    state.counters["values"] = double(values);
}
BENCHMARK(BM_SensorsLibhalvo)->Unit(benchmark::kMicrosecond);

void BM_HostRefreshStatus(benchmark::State &state)
{
    const auto window = shownWindow("scrollArea");
    stopTimers(*window);
    for (auto _ : state)
        window->refreshStatus();
}
BENCHMARK(BM_HostRefreshStatus)->Unit(benchmark::kMicrosecond);

} // namespace
