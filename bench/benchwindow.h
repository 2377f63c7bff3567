// What the window benchmarks share: the simulated board and a shown window.
#ifndef BENCHWINDOW_H
#define BENCHWINDOW_H

#include "HStation.h"

#include <QTemporaryDir>
#include <memory>
#include <string>

// Back to the demo board with its clock frozen, so every run sees the same
// values; a non-empty `patch` is merged into the local board.
void resetBenchBoard(const char *patch = nullptr);

// A 64 temperature, 64 voltage and 32 fan sensor board, as a merge patch.
const char *manySensorsPatch();
// The demo board with 200 temperature sensors (one thermometer bar each), as a
// merge patch.
const char *manyTemperaturesPatch();

// A window built for the current board, shown on the tab holding `widgetName`
// so that its repaints are part of what is measured.
std::unique_ptr<HStation> shownWindow(const char *widgetName);

// Stops the window's periodic timers, so that only the measured passes run.
void stopTimers(HStation &window);

// HALVO_CONF names a settings file holding `text` while this lives; the
// library reads it at each connection.
class BenchSettings
{
public:
    explicit BenchSettings(const std::string &text);
    ~BenchSettings();

private:
    QTemporaryDir dir_;
    const QByteArray previous_;
};

#endif // BENCHWINDOW_H
