// Test access to the simulated board behind the window.
#ifndef SIMBOARD_H
#define SIMBOARD_H

#include <QString>
#include <QStringList>
#include <cstdint>

namespace SimBoard
{

// Demo board, clean call log, no forced statuses, clock frozen so every value
// that depends on time is the same in every run.
void reset();

// Merge-patches the description of the local board (or the board at address).
void patch(const QString &json, const QString &address = QString());
// Replaces the whole world (boards and AMT endpoints), merged over the demo.
void load(const QString &json);

void forceStatus(const char *function, int32_t status, int32_t calls = -1);

// The calls received since the last reset or clearCalls(), one entry each.
QStringList calls();
// Only the calls of the named function.
QStringList calls(const QString &function);
// The arguments of each call of the named function, joined by '|'.
QString arguments(const QString &function);
void clearCalls();

} // namespace SimBoard

#endif // SIMBOARD_H
