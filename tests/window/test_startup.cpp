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

    // Runs the whole program: what it showed once the window was on screen,
    // whether the window outlived the event loop, and the exit code.
    static QString run()
    {
        char name[] = "halvo-gui";
        char *argv[] = {name, nullptr};
        int argc = 1;
        QString seen;
        QPointer<HStation> shown;
        const int result = runHalvoGui(argc, argv, [&](HStation &window) {
            seen = QApplication::style()->objectName() + '|' + window.windowTitle() + '|' +
                   QString::number(window.isVisible());
            shown = &window;
            QApplication::exit(7);
        });
        return seen + '|' + QString::number(!shown.isNull()) + '|' + QString::number(result);
    }

private slots:
    // All three loading passes have run before the window is shown.
    void startsOnTheLocalBoardAndShowsTheLoadedWindow()
    {
        SimBoard::reset();
        QCOMPARE(run(), "plastique|HALVO-GUI 1.0: HVB-1520 - 192.168.1.10|1|0|7");
        const QStringList calls = SimBoard::calls();
        QVERIFY(calls.value(0).startsWith("HalvoGetBatteryState(0, 0, ") &&
                calls.value(1).startsWith("HalvoGetCpuInfo(0, "));
        // Only main's own two calls fail: the window still shows.
        SimBoard::forceStatus("HalvoGetBatteryState", 0x00010000, 1);
        SimBoard::forceStatus("HalvoGetCpuInfo", 0x00010000, 1);
        QVERIFY(run().endsWith("|1|0|7"));
    }
};

QTEST_APPLESS_MAIN(StartupTest)
#include "test_startup.moc"
