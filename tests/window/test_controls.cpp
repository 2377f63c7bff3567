// What a (re)connection sets up on the Sensors and CPU tabs, the live graphs,
// and what the CPU fan, performance, display, watchdog and GPIO controls send.
#include "windowtest.h"

#include <QComboBox>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimer>
#include <QtTest>
#include <qwt_dial.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_thermo.h>

// Answers the simulated board cannot give: an absurd sensor count, a watchdog
// timeout of 0 accepted, a direction code other than 0 and 1.
HALVO_FAKE(HalvoGetVoltageSensorCount, (int32_t h, int32_t *count), (h, count))
HALVO_FAKE(HalvoWatchdogEnable, (int32_t h, int32_t ms), (h, ms))
HALVO_FAKE(HalvoGpioGetDirection, (int32_t h, int32_t pin, uint8_t *direction), (h, pin, direction))

namespace
{

const QString FanRefused = QStringLiteral("Fan mode setting not allowed");

QwtPlotCurve *curve(const QwtPlot *plot)
{
    const QwtPlotItemList items = plot->itemList(QwtPlotItem::Rtti_PlotCurve);
    return items.isEmpty() ? nullptr : static_cast<QwtPlotCurve *>(items.first());
}

// The arguments of each call, without the function name and status.
QString arguments(const QStringList &calls)
{
    QStringList found;
    for (const QString &call : calls)
        found << call.section(QLatin1Char('('), 1).section(QLatin1Char(')'), 0, 0);
    return found.join(QLatin1Char('|'));
}

} // namespace

class ControlsTest : public WindowTest
{
    Q_OBJECT

    int samples(const char *plot) const
    {
        const QwtPlotCurve *found = curve(get<QwtPlot>(plot));
        return found ? int(found->dataSize()) : 0;
    }
    // One graph sample, and only the samples the test takes.
    void sample() const
    {
        invoke("graphRefreshTimer_timeout");
        get<QTimer>("graphRefreshTimer")->stop();
    }
    void drag(int to) const
    {
        auto *slider = get<QSlider>("horizontalSlider_4");
        slider->setSliderDown(true);
        slider->setValue(to);
        slider->setSliderDown(false);
    }
    // State line, count-down field and Start, Trigger, Stop enabled.
    QString watchdog() const
    {
        return text("label_156") + '|' + get<QLineEdit>("lineEdit_17")->text() + '|' +
               enabled({"pushButton_5", "pushButton_7", "pushButton_8"});
    }
    int countDownTimers() const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return window->findChildren<QTimer *>(QStringLiteral("wdTimer")).size();
    }
    // The test drives the count-down: the real timer must not add ticks while
    // a message box runs its event loop.
    void startWatchdog(const QString &timeout, int ticks = 0) const
    {
        set("lineEdit_17", timeout);
        click("pushButton_5");
        for (QTimer *timer : window->findChildren<QTimer *>(QStringLiteral("wdTimer")))
            timer->stop();
        tick(ticks);
    }
    void tick(int times) const
    {
        for (int i = 0; i < times; ++i)
            invoke("wdTimer_timeout");
    }
    QString buttonTexts(const QString &prefix) const
    {
        QString found;
        for (int column = 0; column < 8; ++column)
            found += get<QAbstractButton>(qPrintable(prefix + QString::number(column)))->text() + ' ';
        return found.trimmed();
    }

private slots:
    // ---- CPU fan

    void applySendsThermalCruiseInThousandthsToTheNamedFan_data()
    {
        columns({"patch", "fan"});
        row("second, lower case", R"({"fans": [{"name": "Sys"}, {"name": "cpu-fan", "role": "cpu"}]})", "1");
        row("absent", R"({"fans": [{"name": "Sys"}, {"name": "CPU-Fan-2"}]})", "-1");
        row("list fails", R"({"callStatus": {"HalvoGetFanList": "device"}})", "-1");
    }
    void applySendsThermalCruiseInThousandthsToTheNamedFan()
    {
        const bool found = cell("fan") != "-1";
        start(cell("patch"));
        if (!found)
            boxes->answer();
        get<QSpinBox>("spinBox_4")->setValue(45);
        get<QSpinBox>("spinBox_5")->setValue(3);
        SimBoard::clearCalls();
        click("pushButton");
        QCOMPARE(arguments(SimBoard::calls("HalvoSetFanModeThermalCruise")), "0, " + cell("fan") + ", 45000, 3000");
        QCOMPARE(boxes->texts(), found ? QStringList() : QStringList(FanRefused));
        QCOMPARE(enabled({"pushButton", "spinBox_4", "spinBox_5", "verticalSlider"}), found ? "1111" : "0001");
    }

    // A speed byte read back shows truncated; only a change goes back.
    void manualShowsTheCurrentSpeedAndSendsOnlyAChange_data()
    {
        columns({"duty", "shown", "sent"});
        row("150 reads as 58, goes back as 147", "150", "58", "0, 147");
        row("153 is the slider's 60: nothing sent", "153", "60", "");
    }
    void manualShowsTheCurrentSpeedAndSendsOnlyAChange()
    {
        start(QStringLiteral(R"({"fans": [{"name": "CPU-Fan", "role": "cpu", "duty": %1}]})").arg(cell("duty")));
        SimBoard::clearCalls();
        click("radioButton");
        QCOMPARE(get<QStackedWidget>("stackedWidget_2")->currentIndex(), 1);
        QCOMPARE(QString::number(get<QSlider>("verticalSlider")->value()), cell("shown"));
        click("radioButton_2");
        QCOMPARE(get<QStackedWidget>("stackedWidget_2")->currentIndex(), 0);
        QCOMPARE(arguments(SimBoard::calls("HalvoSetCpuFanSpeed")), cell("sent"));
        QVERIFY(SimBoard::calls("HalvoSetFanModeThermalCruise").isEmpty()); // only Apply sends it
    }

    void refusedManualSpeedDisablesOnlyTheManualControlsUntilReconnection()
    {
        start();
        SimBoard::forceStatus("HalvoSetCpuFanSpeed", 0x00050000);
        boxes->answer();
        get<QSpinBox>("spinBox_2")->setValue(70);
        QCOMPARE(boxes->texts(), QStringList(FanRefused));
        QCOMPARE(enabled({"verticalSlider", "spinBox_2", "pushButton"}), "001");
        window->initControls();
        QCOMPARE(enabled({"verticalSlider", "spinBox_2"}), "11");
    }

    // ---- CPU performance

    // Percentage boards get the slider; type boards keep exactly the types
    // they accept, and the reported type is checked (and sent) again.
    void performanceProbeOffersWhatTheBoardAccepts_data()
    {
        columns({"performance", "enabled", "sent"});
        row("percentage", R"({"mode": "percentage", "acceptedTypes": [0], "percent": 80})", "110000", "0, 0, 80");
        row("types", R"({"mode": "types", "acceptedTypes": [0, 2], "type": 2})", "101010",
            "0, 0, 100|0, 1, 50|0, 2, 75|0, 3, 50|0, 2, 75");
        row("unreadable", R"({"mode": "none"})", "000000", "");
    }
    void performanceProbeOffersWhatTheBoardAccepts()
    {
        start(QStringLiteral(R"({"cpuPerformance": %1})").arg(cell("performance")));
        QCOMPARE(enabled({"groupBox_2", "frame", "radioButton_3", "radioButton_4", "radioButton_5", "radioButton_6"}),
                 cell("enabled"));
        QCOMPARE(arguments(SimBoard::calls("HalvoSetCpuPerformance")), cell("sent"));
        QCOMPARE(get<QAbstractButton>("radioButton_5")->isChecked(), cell("sent").endsWith("0, 2, 75"));
    }

    void performanceSliderSendsWhileDraggedAndShowsWhatTheBoardApplied()
    {
        start(R"({"cpuPerformance": {"mode": "percentage", "acceptedTypes": [0], "percent": 100, "percentStep": 25}})");
        SimBoard::forceStatus("HalvoGetCpuPerformance", 0x00050000, 1);
        SimBoard::forceStatus("HalvoSetCpuPerformance", 0x00050000, 1);
        boxes->answer().answer();
        drag(70);
        QCOMPARE(boxes->texts(), QStringList({"CPU performance change not allowed", "CPU performance read error"}));
        QCOMPARE(get<QSlider>("horizontalSlider_4")->value(), 70); // nothing read: the user's value stays
        SimBoard::clearCalls();
        drag(80);
        QCOMPARE(get<QSlider>("horizontalSlider_4")->value(), 75);
        drag(50); // the value read back was not sent, the next change is
        QCOMPARE(arguments(SimBoard::calls("HalvoSetCpuPerformance")), "0, 0, 80|0, 0, 50");
    }

    // ---- Display

    void brightnessOfDisplayZeroIsLoadedWrittenBackAndSet()
    {
        start(R"({"displays": [{"backlightPercent": 80}, {"backlightPercent": 20}]})");
        QCOMPARE(get<QSpinBox>("spinBox_3")->value() + get<QSlider>("verticalSlider_3")->value(), 160);
        get<QSpinBox>("spinBox_3")->setValue(30);
        QCOMPARE(arguments(SimBoard::calls("HalvoSetBacklightValue")), "0, 0, 80|0, 0, 80|0, 0, 30");
        QCOMPARE(get<QSlider>("verticalSlider_3")->value(), 80);
    }

    void unusableBacklightDisablesTheBrightnessControls_data()
    {
        columns({"patch"});
        row("no display", R"({"displays": []})");
        row("count fails", R"({"callStatus": {"HalvoGetDisplayCount": "device"}})");
        row("read fails", R"({"callStatus": {"HalvoGetBacklightValue": "device"}})");
        row("write-back fails", R"({"callStatus": {"HalvoSetBacklightValue": "access"}})");
    }
    void unusableBacklightDisablesTheBrightnessControls()
    {
        start(cell("patch"));
        QCOMPARE(enabled({"label_102", "verticalSlider_3", "spinBox_3"}), "000");
    }

    // ---- Sensors tab, dial and graphs

    void sensorsTabHasOneLinePerSensorAndIsRebuiltOnReconnection()
    {
        SimBoard::forceStatus("HalvoGetTempSensorList", 0x00050000); // the initial captions stay
        start(R"({"temperatureSensors": [{"name": "A"}, {"name": "B"}], "voltageSensors": [],
                  "fans": [{"name": "CPU-Fan", "role": "cpu"}, {"name": "F2"}, {"name": "F3"}]})");
        const QPointer<QWidget> temps = get<QScrollArea>("scrollArea")->widget();
        QWidget *fans = get<QScrollArea>("scrollArea_3")->widget();
        QCOMPARE(temps->findChildren<QwtThermo *>().size(), 2);
        QCOMPARE(labelTexts("scrollArea") + labelTexts("scrollArea_2")
                     << QString::number(labelTexts("scrollArea_3").size()),
                 QStringList({"Core 0", "Core 0", "No sensors found", "3"}));

        // A reconnection replaces the frames, a failed count keeps the old one,
        // and the dial waits for the next refresh at 0 of 1000 MHz.
        SimBoard::patch(R"({"temperatureSensors": [], "callStatus": {"HalvoGetFanCount": "device"}})");
        window->initControls();
        QVERIFY(!temps && get<QScrollArea>("scrollArea_3")->widget() == fans);
        QCOMPARE(labelTexts("scrollArea"), QStringList("No sensors found"));
        QVERIFY(!get<QScrollArea>("scrollArea")->widget()->findChild<QwtThermo *>());
        QVERIFY(get<QwtDial>("Dial")->value() == 0 && get<QwtDial>("Dial")->upperBound() == 1000);

        // Building (and refreshing) that many lines would stall the window.
        fakeHalvoGetVoltageSensorCount = [](int32_t, int32_t *count) { return *count = 100000000, 0; };
        SimBoard::clearCalls();
        start();
        QVERIFY(!get<QScrollArea>("scrollArea_2")->widget());
        QVERIFY(SimBoard::calls("HalvoGetVoltageSensorList").isEmpty());
    }

    void graphsKeepTheNewestSamplesAndSkipAFailedRead()
    {
        start(R"({"thermal": {"cpuMilliCelsius": 45000}})");
        sample();
        QCOMPARE(text("label_99"), QStringLiteral("45"));
        QVERIFY(text("label_201").toInt() > 0);
        SimBoard::patch(R"({"thermal": {"cpuMilliCelsius": 45500}})");
        SimBoard::forceStatus("HalvoGetCpuFanSpeed", 0x00050000, 1);
        invoke("graphRefreshTimer_timeout");
        QVERIFY(get<QTimer>("graphRefreshTimer")->isActive());
        QCOMPARE(text("label_99"), QStringLiteral("45.5"));
        QCOMPARE(samples("qwtPlot_7") * 10 + samples("qwtPlot_6"), 12);
        for (int i = 3; i <= 501; ++i) {
            SimBoard::patch(QStringLiteral(R"({"thermal": {"cpuMilliCelsius": %1}})").arg(i * 100));
            sample();
        }
        const QwtPlotCurve *temps = curve(get<QwtPlot>("qwtPlot_6"));
        QCOMPARE(temps->title().text() + curve(get<QwtPlot>("qwtPlot_7"))->title().text(),
                 QStringLiteral("T_CPUFan_CPU"));
        QCOMPARE(samples("qwtPlot_6") + samples("qwtPlot_7"), 1000);
        QCOMPARE(temps->sample(0), QPointF(0, 45.5));
        QCOMPARE(temps->sample(499), QPointF(499, 50.1));
    }

    void unreadableFanSpeedLeavesBothGraphsStoppedAndEmpty()
    {
        start(R"({"callStatus": {"HalvoGetCpuFanSpeed": "unsupported"}})");
        QCOMPARE(texts({"label_99", "label_201"}), QStringList({"---", "---"}));
        QCOMPARE(enabled({"qwtPlot_6", "qwtPlot_7"}) + QString::number(samples("qwtPlot_6") + samples("qwtPlot_7")),
                 "000");
        QVERIFY(!get<QTimer>("graphRefreshTimer")->isActive());
    }

    // A reconnection while a sample waits for events: the sample belongs to
    // the old board, and so does an interrupted GPIO refresh.
    void periodicWorkInterruptedByAReconnectionAddsNothing()
    {
        start();
        sample();
        QTimer::singleShot(0, window.get(), [this] { window->initControls(); });
        invoke("graphRefreshTimer_timeout");
        invoke("graphRefreshTimer_timeout");
        QCOMPARE(samples("qwtPlot_7"), 1);
        QTimer::singleShot(0, window.get(), [this] {
            window->initControls();
            SimBoard::clearCalls();
        });
        invoke("gpioRefreshTimer_timeout");
        QVERIFY(SimBoard::calls().filter("HalvoGpioGet").isEmpty());
    }

    // ---- Watchdog

    void countDownIsFedByTriggerAndEndsInRestartThenStopped()
    {
        start();
        SimBoard::clearCalls();
        startWatchdog("010", 7);
        QCOMPARE(arguments(SimBoard::calls("HalvoWatchdogEnable")), "0, 10000");
        QCOMPARE(text("label_108") + '|' + watchdog(), "Countdown:|WatchDog is running|3|011");
        click("pushButton_7");
        tick(9);
        QCOMPARE(watchdog(), "WatchDog is running|1|011");
        boxes->answer();
        tick(1);
        QCOMPARE(boxes->texts(), QStringList{"Board was restarted"});
        QCOMPARE(arguments(SimBoard::calls("HalvoWatchdogDisable")), "0");
        QCOMPARE(text("label_108") + '|' + watchdog(), "Timeout:|WatchDog is stopped|0|100");
        QCOMPARE(countDownTimers(), 0);
    }

    // Letters send 0; a timeout too large for 32-bit milliseconds is not
    // wrapped round. Accepted, either one counts on past 0 without a restart.
    void startSendsTheTypedTimeoutInMilliseconds_data()
    {
        columns({"typed", "sent", "afterTwoTicks"});
        row("letters", "abc", "0, 0", "-2");
        row("beyond 32 bits", "3000000", "0, 2147483647", "2999998");
    }
    void startSendsTheTypedTimeoutInMilliseconds()
    {
        fakeHalvoWatchdogEnable = [](int32_t h, int32_t ms) { return realHalvoWatchdogEnable(h, ms), 0; };
        start();
        SimBoard::clearCalls();
        startWatchdog(cell("typed"), 2);
        QCOMPARE(arguments(SimBoard::calls("HalvoWatchdogEnable")), cell("sent"));
        QCOMPARE(watchdog(), "WatchDog is running|" + cell("afterTwoTicks") + "|011");
    }

    void refusedStartSaysSoAndRefusedTriggerAndStopAreSilent()
    {
        start();
        SimBoard::forceStatus("HalvoWatchdogEnable", 0x00030000, 1);
        boxes->answer();
        startWatchdog("10");
        QCOMPARE(boxes->texts(), QStringList{"Watchdog not supported"});
        QCOMPARE(watchdog(), "WatchDog is stopped|10|100");
        startWatchdog("10", 5);
        SimBoard::forceStatus("HalvoWatchdogTrigger", 0x00030000);
        SimBoard::forceStatus("HalvoWatchdogDisable", 0x00030000);
        click("pushButton_7");
        click("pushButton_8");
        QCOMPARE(watchdog(), "WatchDog is running|5|011");
        window->initControls(); // enables Start again while a count-down runs
        startWatchdog("20");
        QCOMPARE(countDownTimers(), 1);
    }

    // ---- GPIO. Demo board: outputs 0..7 are wired to the inputs 8..15.

    // A direction click turns "IN" (any case) to output and anything else to
    // input, then rereads the group; a code other than 0 reads as output.
    void directionClickSetsThePinOfTheGroupAndRereadsTheGroup()
    {
        fakeHalvoGpioGetDirection = [](int32_t h, int32_t pin, uint8_t *direction) {
            const int32_t status = realHalvoGpioGetDirection(h, pin, direction);
            *direction = pin == 3 ? 2 : *direction;
            return status;
        };
        start(R"({"gpio": {"directions": [1,1,1,1,1,1,1,1, 0,1,0,0,0,0,0,0]}})");
        set("comboBox_9", "1");
        QCOMPARE(text("label_gpio_pin_7") + ' ' + buttonTexts("label_gpio_level_"), "15 1 0 1 1 0 0 1 0");
        SimBoard::clearCalls();
        click("label_gpio_dir_1");
        QCOMPARE(buttonTexts("label_gpio_dir_"), repeated(8, "IN").join(' '));
        QCOMPARE(SimBoard::calls("HalvoGpioGetLevel").size(), 8);
        set("comboBox_9", "0");
        QCOMPARE(get<QAbstractButton>("label_gpio_dir_3")->text(), QStringLiteral("OUT"));
        click("label_gpio_dir_3");
        get<QAbstractButton>("label_gpio_dir_2")->setText("in");
        click("label_gpio_dir_2");
        QCOMPARE(arguments(SimBoard::calls("HalvoGpioSetDirection")), "0, 9, 0|0, 3, 0|0, 2, 1");
    }

    void levelClickFlipsWithoutRereadAndShowsOnTheWiredInput()
    {
        start();
        SimBoard::clearCalls();
        click("label_gpio_level_1");
        click("label_gpio_level_0");
        QCOMPARE(arguments(SimBoard::calls("HalvoGpioSetLevel")), "0, 1, 1|0, 0, 0");
        QVERIFY(buttonTexts("label_gpio_level_").startsWith("0 1 "));
        QVERIFY(SimBoard::calls("HalvoGpioGetLevel").isEmpty());
        set("comboBox_9", "1");
        QVERIFY(buttonTexts("label_gpio_level_").startsWith("0 1 "));
    }

    void refusedOrImpossibleSettingsChangeNothing()
    {
        start();
        SimBoard::forceStatus("HalvoGpioSetDirection", 0x00030000);
        SimBoard::forceStatus("HalvoGpioSetLevel", 0x00030000);
        boxes->answer().answer();
        click("label_gpio_dir_4");
        click("label_gpio_level_4");
        QCOMPARE(boxes->texts(), QStringList({"GPIO direction setting error!!!", "GPIO level setting error!!!"}));
        QCOMPARE(buttonTexts("label_gpio_dir_").section(' ', 4, 4) +
                     buttonTexts("label_gpio_level_").section(' ', 4, 4),
                 QStringLiteral("OUT0"));
        SimBoard::clearCalls();
        get<QComboBox>("comboBox_9")->clear();
        click("label_gpio_dir_1");
        click("label_gpio_level_1");
        QVERIFY(SimBoard::calls().filter("HalvoGpioSet").isEmpty());
    }
};

QTEST_MAIN(ControlsTest)
#include "test_controls.moc"
