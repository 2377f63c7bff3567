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

    // Runs the whole program until `look` has seen the shown window.
    static int run(const std::function<void(HStation &)> &look)
    {
        char name[] = "halvo-gui";
        char *argv[] = {name, nullptr};
        int argc = 1;
        return runHalvoGui(argc, argv, look);
    }

private slots:
    void init() { SimBoard::reset(); }

    void startsOnTheLocalBoardAndShowsTheLoadedWindow()
    {
        QString style, title;
        bool visible = false;
        QPointer<HStation> shown;
        const int result = run([&](HStation &window) {
            style = QApplication::style()->objectName();
            title = window.windowTitle();
            visible = window.isVisible();
            shown = &window;
            QApplication::exit(7);
        });
        QCOMPARE(result, 7);
        const QStringList calls = SimBoard::calls();
        QVERIFY2(calls.value(0).startsWith("HalvoGetBatteryState(0, 0, ") &&
                     calls.value(1).startsWith("HalvoGetCpuInfo(0, "),
                 qPrintable(calls.mid(0, 2).join('\n')));
        QCOMPARE(style, QStringLiteral("plastique"));
        QVERIFY(visible);
        // All three loading passes have run before the window is shown.
        QCOMPARE(title, QStringLiteral("HALVO-GUI 1.0: HVB-1520 - 192.168.1.10"));
        QVERIFY2(shown.isNull(), "the window outlives the event loop");
    }

    // Only main's own two calls fail: the window still shows.
    void startsWhenTheLocalBoardDoesNotAnswerAtFirst()
    {
        SimBoard::forceStatus("HalvoGetBatteryState", 0x00010000, 1);
        SimBoard::forceStatus("HalvoGetCpuInfo", 0x00010000, 1);
        bool visible = false;
        run([&](HStation &window) {
            visible = window.isVisible();
            QApplication::quit();
        });
        QVERIFY(visible);
    }
};

QTEST_APPLESS_MAIN(StartupTest)
#include "test_startup.moc"
