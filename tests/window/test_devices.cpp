// The watchdog count-down and the GPIO pins of the device controls.
#include "HStation.h"
#include "findwidget.h"
#include "messageboxes.h"
#include "resources.h"
#include "simboard.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <dlfcn.h>
#include <memory>

// Answers the simulated board cannot give: a watchdog timeout of 0 accepted,
// and pin 3 read as direction 2. The real functions still run and log.
static bool acceptZeroTimeout = false;
static bool pinThreeReadsTwo = false;

template <typename F> static F real(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

extern "C" int32_t HalvoWatchdogEnable(int32_t handle, int32_t ms)
{
    const int32_t status = real<int32_t (*)(int32_t, int32_t)>("HalvoWatchdogEnable")(handle, ms);
    return acceptZeroTimeout && ms == 0 ? 0 : status;
}

extern "C" int32_t HalvoGpioGetDirection(int32_t handle, int32_t pin, uint8_t *direction)
{
    const int32_t status =
        real<int32_t (*)(int32_t, int32_t, uint8_t *)>("HalvoGpioGetDirection")(handle, pin, direction);
    if (status == 0 && pinThreeReadsTwo && pin == 3)
        *direction = 2;
    return status;
}

class DevicesTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<HStation> window;
    std::unique_ptr<MessageBoxes> boxes;

    void start(const QString &patch = QString())
    {
        if (!patch.isEmpty())
            SimBoard::patch(patch);
        window = std::make_unique<HStation>();
        SimBoard::clearCalls();
    }

    QPushButton *button(const QString &name) const { return child<QPushButton>(window.get(), qPrintable(name)); }
    QString field() const { return child<QLineEdit>(window.get(), "lineEdit_17")->text(); }
    QString state() const { return child<QLabel>(window.get(), "label_156")->text(); }
    QList<bool> startTriggerStop() const
    {
        return {button("pushButton_5")->isEnabled(), button("pushButton_7")->isEnabled(),
                button("pushButton_8")->isEnabled()};
    }
    QList<QTimer *> countDownTimers() const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return window->findChildren<QTimer *>(QStringLiteral("wdTimer"));
    }

    // The test drives the count-down itself: the real timer must not add
    // ticks while a message box runs its event loop.
    void startWatchdog(const QString &timeout)
    {
        child<QLineEdit>(window.get(), "lineEdit_17")->setText(timeout);
        button("pushButton_5")->click();
        for (QTimer *timer : countDownTimers())
            timer->stop();
    }
    void tick(int times)
    {
        for (int i = 0; i < times; ++i)
            QVERIFY(QMetaObject::invokeMethod(window.get(), "wdTimer_timeout"));
    }
    QStringList buttonTexts(const QString &prefix) const
    {
        QStringList texts;
        for (int column = 0; column < 8; ++column)
            texts << button(prefix + QString::number(column))->text();
        return texts;
    }
    void chooseGroup(int index) { child<QComboBox>(window.get(), "comboBox_9")->setCurrentIndex(index); }

private slots:
    void initTestCase() { initHalvoResources(); }

    void init()
    {
        SimBoard::reset();
        acceptZeroTimeout = pinThreeReadsTwo = false;
        boxes = std::make_unique<MessageBoxes>();
    }

    void cleanup()
    {
        window.reset();
        QVERIFY2(boxes->unexpectedTexts().isEmpty(), qPrintable(boxes->unexpectedTexts().join(" | ")));
        boxes.reset();
    }

    void countDownIsFedByTriggerAndEndsInRestartThenStopped()
    {
        start();
        startWatchdog("010");
        QCOMPARE(SimBoard::calls("HalvoWatchdogEnable"), QStringList{"HalvoWatchdogEnable(0, 10000) -> 0"});
        QCOMPARE(field(), QStringLiteral("10"));
        QCOMPARE(state(), QStringLiteral("WatchDog is running"));
        QCOMPARE(child<QLabel>(window.get(), "label_108")->text(), QStringLiteral("Countdown:"));
        QCOMPARE(startTriggerStop(), QList<bool>({false, true, true}));
        tick(7);
        QCOMPARE(field(), QStringLiteral("3"));
        button("pushButton_7")->click();
        QCOMPARE(field(), QStringLiteral("10"));
        tick(9);
        QVERIFY(boxes->texts().isEmpty());
        boxes->answer();
        tick(1);
        QCOMPARE(boxes->texts(), QStringList{"Board was restarted"});
        QCOMPARE(SimBoard::calls("HalvoWatchdogDisable"), QStringList{"HalvoWatchdogDisable(0) -> 0"});
        QCOMPARE(field(), QStringLiteral("0"));
        QCOMPARE(state(), QStringLiteral("WatchDog is stopped"));
        QCOMPARE(startTriggerStop(), QList<bool>({true, false, false}));
        QVERIFY(countDownTimers().isEmpty());
    }

    void lettersSendZeroAndCountBelowZeroWithoutRestart()
    {
        acceptZeroTimeout = true;
        start();
        startWatchdog("abc");
        QVERIFY(SimBoard::calls("HalvoWatchdogEnable").value(0).startsWith("HalvoWatchdogEnable(0, 0) ->"));
        tick(2);
        QCOMPARE(field(), QStringLiteral("-2"));
        QVERIFY(boxes->texts().isEmpty());
    }

    void refusedStartSaysSoAndRefusedTriggerAndStopAreSilent()
    {
        start();
        SimBoard::forceStatus("HalvoWatchdogEnable", 0x00030000, 1);
        boxes->answer();
        startWatchdog("10");
        QCOMPARE(boxes->texts(), QStringList{"Watchdog not supported"});
        QCOMPARE(startTriggerStop(), QList<bool>({true, false, false}));
        startWatchdog("10");
        tick(5);
        SimBoard::forceStatus("HalvoWatchdogTrigger", 0x00030000);
        SimBoard::forceStatus("HalvoWatchdogDisable", 0x00030000);
        button("pushButton_7")->click();
        button("pushButton_8")->click();
        QCOMPARE(field(), QStringLiteral("5"));
        QCOMPARE(state(), QStringLiteral("WatchDog is running"));
        QCOMPARE(boxes->texts().size(), 1);
    }

    // Start is enabled again by a reconnection while a count-down runs.
    void secondStartReplacesTheRunningCountDown()
    {
        start();
        startWatchdog("10");
        window->initControls();
        startWatchdog("20");
        QCOMPARE(countDownTimers().size(), 1);
    }

    // Wrapped round, 3000000 s would arm the watchdog with a negative timeout.
    void timeoutBeyondThirtyTwoBitMillisecondsIsNotWrapped()
    {
        start();
        boxes->answer();
        startWatchdog("3000000");
        QVERIFY(SimBoard::calls("HalvoWatchdogEnable").value(0).startsWith("HalvoWatchdogEnable(0, 2147483647) ->"));
    }

    // Demo board: outputs 0..7 are wired to the inputs 8..15.
    void directionClickSetsThePinOfTheGroupAndRereadsTheGroup()
    {
        start(R"({"gpio": {"directions": [1,1,1,1,1,1,1,1, 0,1,0,0,0,0,0,0]}})");
        chooseGroup(1);
        QCOMPARE(child<QLabel>(window.get(), "label_gpio_pin_7")->text(), QStringLiteral("15"));
        QCOMPARE(buttonTexts("label_gpio_level_"), QStringList({"1", "0", "1", "1", "0", "0", "1", "0"}));
        SimBoard::clearCalls();
        button("label_gpio_dir_1")->click();
        QCOMPARE(SimBoard::calls("HalvoGpioSetDirection"), QStringList{"HalvoGpioSetDirection(0, 9, 0) -> 0"});
        QCOMPARE(buttonTexts("label_gpio_dir_"), QStringList(QVector<QString>(8, "IN").toList()));
        QCOMPARE(SimBoard::calls("HalvoGpioGetLevel").size(), 8);
    }

    void directionInIgnoringCaseTurnsOutputAndAnyOtherCodeInput()
    {
        pinThreeReadsTwo = true;
        start();
        QCOMPARE(button("label_gpio_dir_3")->text(), QStringLiteral("OUT"));
        button("label_gpio_dir_3")->click();
        button("label_gpio_dir_2")->setText("in");
        button("label_gpio_dir_2")->click();
        QCOMPARE(SimBoard::calls("HalvoGpioSetDirection"),
                 QStringList({"HalvoGpioSetDirection(0, 3, 0) -> 0", "HalvoGpioSetDirection(0, 2, 1) -> 0"}));
    }

    void levelClickFlipsWithoutRereadAndShowsOnTheWiredInput()
    {
        start();
        button("label_gpio_level_1")->click();
        button("label_gpio_level_0")->click();
        QCOMPARE(SimBoard::calls("HalvoGpioSetLevel"),
                 QStringList({"HalvoGpioSetLevel(0, 1, 1) -> 0", "HalvoGpioSetLevel(0, 0, 0) -> 0"}));
        QCOMPARE(buttonTexts("label_gpio_level_").mid(0, 2), QStringList({"0", "1"}));
        QVERIFY(SimBoard::calls("HalvoGpioGetLevel").isEmpty());
        chooseGroup(1);
        QCOMPARE(buttonTexts("label_gpio_level_").mid(0, 2), QStringList({"0", "1"}));
    }

    void refusedSettingsShowTheirMessageAndKeepTheButtonText()
    {
        start();
        SimBoard::forceStatus("HalvoGpioSetDirection", 0x00030000);
        SimBoard::forceStatus("HalvoGpioSetLevel", 0x00030000);
        boxes->answer().answer();
        button("label_gpio_dir_4")->click();
        button("label_gpio_level_4")->click();
        QCOMPARE(boxes->texts(), QStringList({"GPIO direction setting error!!!", "GPIO level setting error!!!"}));
        QCOMPARE(button("label_gpio_dir_4")->text() + button("label_gpio_level_4")->text(), QStringLiteral("OUT0"));
    }

    void emptyRangeListMakesTheButtonsDoNothing()
    {
        start();
        child<QComboBox>(window.get(), "comboBox_9")->clear();
        button("label_gpio_dir_1")->click();
        button("label_gpio_level_1")->click();
        QVERIFY(SimBoard::calls().filter("HalvoGpioSet").isEmpty());
    }

    void periodicRefreshStopsWhenANewConnectionWasMadeMeanwhile()
    {
        start();
        QTimer::singleShot(0, window.get(), [this] {
            window->initControls();
            SimBoard::clearCalls();
        });
        QVERIFY(QMetaObject::invokeMethod(window.get(), "gpioRefreshTimer_timeout"));
        QVERIFY(SimBoard::calls().filter("HalvoGpioGet").isEmpty());
    }
};

QTEST_MAIN(DevicesTest)
#include "test_devices.moc"
