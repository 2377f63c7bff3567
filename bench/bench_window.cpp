// The two passes of the window that run most often or take longest on a large
// board: one sample of both live graphs (and its floor), and initControls.
#include "benchwindow.h"

#include <QApplication>
#include <QMetaObject>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>

namespace
{

// Arg 0: the demo board; arg 1: the board with many sensors of every kind;
// arg 2: 200 temperature sensors.
void setUpBoard(const benchmark::State &state)
{
    const char *const patches[] = {nullptr, manySensorsPatch(), manyTemperaturesPatch()};
    resetBenchBoard(patches[state.range(0)]);
}

void takeSample(HStation &window, QTimer &timer)
{
    QMetaObject::invokeMethod(&window, "graphRefreshTimer_timeout");
    // Only the benchmark's samples: the armed timer would add its own.
    timer.stop();
}

// The graphs' tab on screen, with full histories.
std::unique_ptr<HStation> fullGraphsWindow(QTimer *&timer)
{
    auto window = shownWindow("qwtPlot_7");
    timer = window->findChild<QTimer *>(QStringLiteral("graphRefreshTimer"));
    for (int i = 0; i < 500; ++i)
        takeSample(*window, *timer);
    return window;
}

// With full histories every sample drops the oldest point and shifts the curve.
void BM_GraphSampleFullHistory(benchmark::State &state)
{
    setUpBoard(state);
    QTimer *timer = nullptr;
    const auto window = fullGraphsWindow(timer);
    for (auto _ : state)
        takeSample(*window, *timer);
}
BENCHMARK(BM_GraphSampleFullHistory)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The floor of a sample: a bare plot of the fan graph's size, axes and font
// with the fan graph's 500 points, replotted and painted once.
void BM_GraphFloor(benchmark::State &state)
{
    resetBenchBoard();
    QwtPlot plot;
    QVector<QPointF> points;
    {
        QTimer *timer = nullptr;
        const auto window = fullGraphsWindow(timer);
        const auto *fan = window->findChild<QwtPlot *>(QStringLiteral("qwtPlot_7"));
        const auto *fanCurve = static_cast<QwtPlotCurve *>(fan->itemList(QwtPlotItem::Rtti_PlotCurve).first());
        for (size_t i = 0; i < fanCurve->dataSize(); ++i)
            points.append(fanCurve->sample(static_cast<int>(i)));
        plot.resize(fan->size());
    }
    plot.setAxisScale(QwtPlot::xBottom, 0, 500, 100);
    plot.setAxisScale(QwtPlot::yLeft, 0, 5100, 800);
    for (int axis : {QwtPlot::xBottom, QwtPlot::yLeft})
        plot.setAxisFont(axis, QFont(QStringLiteral("Sans Serif"), 8));
    auto *curve = new QwtPlotCurve;
    curve->setSamples(points);
    curve->attach(&plot);
    plot.show();
    QApplication::processEvents();
    for (auto _ : state) {
        plot.replot();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_GraphFloor)->Unit(benchmark::kMillisecond);

// As on a Connect: the window has refreshed its pages for the board before
// (the dial shows the board's maximum speed), outside the timing.
void BM_InitControls(benchmark::State &state)
{
    setUpBoard(state);
    const auto window = shownWindow("scrollArea");
    for (auto _ : state) {
        window->initControls();
        state.PauseTiming();
        stopTimers(*window);
        window->refreshStatus();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_InitControls)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

} // namespace
