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

private slots:
    void startsOnTheLocalBoardAndShowsTheWindow()
    {
        SimBoard::reset();
        QString styleName;
        QString title;
        QSize size;
        bool visible = false;
        QPointer<HStation> shownWindow;

        char name[] = "halvo-gui";
        char *argv[] = {name, nullptr};
        int argc = 1;
        const int result = runHalvoGui(argc, argv, [&](HStation &window) {
            styleName = QApplication::style()->objectName();
            title = window.windowTitle();
            size = window.size();
            visible = window.isVisible();
            shownWindow = &window;
            QApplication::exit(7);
        });

        QCOMPARE(result, 7);
        const QStringList calls = SimBoard::calls();
        QVERIFY2(calls.size() >= 2, qPrintable(calls.join('\n')));
        QVERIFY2(calls.at(0).startsWith("HalvoGetBatteryState(0, 0, "), qPrintable(calls.at(0)));
        QVERIFY2(calls.at(1).startsWith("HalvoGetCpuInfo(0, "), qPrintable(calls.at(1)));
        QCOMPARE(styleName, QStringLiteral("plastique"));
        QVERIFY(visible);
        QCOMPARE(size, QSize(800, 405));
        // All three loading passes have run before the window is shown.
        QCOMPARE(title, QStringLiteral("HALVO-GUI 1.0: HVB-1520 - 192.168.1.10"));
        QVERIFY2(shownWindow.isNull(), "the window outlives the event loop");
    }

    void startsWhenTheLocalBoardDoesNotAnswer()
    {
        SimBoard::reset();
        // Only main's own two calls: a lost board in the window's first refresh
        // is announced with a message box before the window shows.
        SimBoard::forceStatus("HalvoGetBatteryState", 0x00010000, 1);
        SimBoard::forceStatus("HalvoGetCpuInfo", 0x00010000, 1);
        char name[] = "halvo-gui";
        char *argv[] = {name, nullptr};
        int argc = 1;
        bool shown = false;
        runHalvoGui(argc, argv, [&](HStation &window) {
            shown = window.isVisible();
            QApplication::quit();
        });
        QVERIFY(shown);
    }
};

QTEST_APPLESS_MAIN(StartupTest)
#include "test_startup.moc"
