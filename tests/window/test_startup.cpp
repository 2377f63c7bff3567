// The program's start: what it asks the board before anything else, the
// style, the window it shows, and the window's end with the event loop.
#include "HStation.h"
#include "application.h"
#include "simboard.h"

#include <QApplication>
#include <QPointer>
#include <QStyle>
#include <QtTest>

class StartupTest : public QObject
{
    Q_OBJECT

    // Runs the whole program; what it showed once the window was on screen.
    static QString run(QPointer<HStation> &shown)
    {
        char name[] = "halvo-gui";
        char *argv[] = {name, nullptr};
        int argc = 1;
        QString seen;
        const int result = runHalvoGui(argc, argv, [&](HStation &window) {
            seen = QApplication::style()->objectName() + '|' + window.windowTitle() + '|' +
                   QString::number(window.isVisible());
            shown = &window;
            QApplication::exit(7);
        });
        return seen + '|' + QString::number(result);
    }

private slots:
    // All three loading passes have run before the window is shown.
    void startsOnTheLocalBoardAndShowsTheLoadedWindow()
    {
        SimBoard::reset();
        QPointer<HStation> shown;
        QCOMPARE(run(shown), "plastique|HALVO-GUI 1.0: HVB-1520 - 192.168.1.10|1|7");
        QVERIFY2(shown.isNull(), "the window outlives the event loop");
        const QStringList calls = SimBoard::calls();
        QVERIFY2(calls.value(0).startsWith("HalvoGetBatteryState(0, 0, ") &&
                     calls.value(1).startsWith("HalvoGetCpuInfo(0, "),
                 qPrintable(calls.mid(0, 2).join('\n')));
        // Only main's own two calls fail: the window still shows.
        SimBoard::forceStatus("HalvoGetBatteryState", 0x00010000, 1);
        SimBoard::forceStatus("HalvoGetCpuInfo", 0x00010000, 1);
        QVERIFY(run(shown).endsWith("|1|7"));
    }
};

QTEST_APPLESS_MAIN(StartupTest)
#include "test_startup.moc"
