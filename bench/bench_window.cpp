// The two passes of the window that run most often or take longest on a large
// board: one sample of both live graphs, and initControls.
#include "benchwindow.h"

#include <QMetaObject>
#include <QTimer>
#include <benchmark/benchmark.h>

namespace
{

// Arg 0: the demo board; arg 1: the board with many sensors.
void setUpBoard(const benchmark::State &state)
{
    resetBenchBoard(state.range(0) ? manySensorsPatch() : nullptr);
}

void takeSample(HStation &window, QTimer &timer)
{
    QMetaObject::invokeMethod(&window, "graphRefreshTimer_timeout");
    // Only the benchmark's samples: the armed timer would add its own.
    timer.stop();
}

// With full histories every sample drops the oldest point and shifts the curve.
void BM_GraphSampleFullHistory(benchmark::State &state)
{
    setUpBoard(state);
    const auto window = shownWindow("qwtPlot_7");
    auto *timer = window->findChild<QTimer *>(QStringLiteral("graphRefreshTimer"));
    for (int i = 0; i < 500; ++i)
        takeSample(*window, *timer);
    for (auto _ : state)
        takeSample(*window, *timer);
}
BENCHMARK(BM_GraphSampleFullHistory)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_InitControls(benchmark::State &state)
{
    setUpBoard(state);
    const auto window = shownWindow("scrollArea");
    for (auto _ : state)
        window->initControls();
}
BENCHMARK(BM_InitControls)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
