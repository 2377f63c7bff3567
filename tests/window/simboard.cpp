#include "simboard.h"

#include "libhalvo/sim/halvo_sim.h"

#include <QByteArray>
#include <QtTest>

namespace SimBoard
{

void reset()
{
    halvo_sim_reset();
    halvo_sim_freeze_clock(1);
    halvo_sim_record_calls(1);
}

void patch(const QString &json, const QString &address)
{
    const QByteArray where = address.toLatin1();
    const int32_t status =
        halvo_sim_patch_board(address.isEmpty() ? nullptr : where.constData(), json.toUtf8().constData());
    if (status != 0)
        qFatal("simulated board refused a patch: %s", halvo_sim_last_error());
}

void load(const QString &json)
{
    if (halvo_sim_load_board(json.toUtf8().constData()) != 0)
        qFatal("simulated board refused a world: %s", halvo_sim_last_error());
}

void forceStatus(const char *function, int32_t status, int32_t calls)
{
    if (halvo_sim_force_status(function, status, calls) != 0)
        qFatal("simulated board refused a forced status: %s", halvo_sim_last_error());
}

QStringList calls()
{
    QByteArray text(static_cast<int>(halvo_sim_call_log(nullptr, 0)) + 1, '\0');
    halvo_sim_call_log(text.data(), static_cast<size_t>(text.size()));
    return QString::fromLatin1(text.constData()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList calls(const QString &function)
{
    return calls().filter(QRegularExpression(QLatin1Char('^') + function + QLatin1String("\\(")));
}

QString arguments(const QString &function)
{
    QStringList found;
    for (const QString &call : calls(function))
        found << call.section(QLatin1Char('('), 1).section(QLatin1String(") -> "), 0, 0);
    return found.join(QLatin1Char('|'));
}

void clearCalls()
{
    halvo_sim_clear_call_log();
}

} // namespace SimBoard
