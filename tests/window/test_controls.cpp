// What a (re)connection sets up on the Sensors and CPU tabs, the live graphs,
// what the CPU fan, performance, display, watchdog and GPIO controls send, the
// I2C/SMBus tab and the System Power State page.
#include "windowtest.h"

#include <algorithm>
#include <qwt_dial.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_thermo.h>

// Answers the simulated board cannot give: a watchdog timeout of 0 accepted,
// a direction code other than 0 and 1, block reads reporting more bytes than
// the buffer holds, and an unknown power state.
HALVO_FAKE(HalvoWatchdogEnable, (int32_t h, int32_t ms), (h, ms))
HALVO_FAKE(HalvoGpioGetDirection, (int32_t h, int32_t pin, uint8_t *direction), (h, pin, direction))
HALVO_FAKE(HalvoSmbusReadBlock, (int32_t h, uint8_t bus, uint8_t a, uint8_t c, uint8_t *buffer, uint8_t *count),
           (h, bus, a, c, buffer, count))
HALVO_FAKE(HalvoI2cRead, (int32_t h, uint8_t bus, uint8_t a, uint8_t m, uint8_t use, uint8_t *buffer, uint32_t *count),
           (h, bus, a, m, use, buffer, count))
HALVO_FAKE(HalvoGetSystemStateAmt, (const char *ip, const char *user, const char *password, int32_t *state),
           (ip, user, password, state))

namespace
{

const QString FanRefused = QStringLiteral("Fan mode setting not allowed");

const QString WrongAddress = "Wrong slave address, please use format 0xFF";
const QString WrongCommand = "Wrong command value, please use format 0xFF";
const QString WrongMemory = "Wrong memory address value, please use format 0xFF";
const QStringList AllButtons = {"pushButton_3",  "pushButton_11", "pushButton_12", "pushButton_18",
                                "pushButton_14", "pushButton_15", "pushButton_16", "pushButton_17",
                                "pushButton_19", "pushButton_20", "pushButton_21"};
using Answers = QList<QMessageBox::StandardButton>;

bool isI2c(const QString &button)
{
    return button == "pushButton_20" || button == "pushButton_21";
}

QStringList busCalls()
{
    return SimBoard::calls().filter(QRegularExpression("^Halvo(Smbus|I2c)"));
}

} // namespace

class ControlsTest : public WindowTest
{
    Q_OBJECT

    const QwtPlotCurve *curve(const char *plot) const
    {
        const QwtPlotItemList items = get<QwtPlot>(plot)->itemList(QwtPlotItem::Rtti_PlotCurve);
        return items.isEmpty() ? nullptr : static_cast<QwtPlotCurve *>(items.first());
    }
    int samples(const char *plot) const { return curve(plot) ? int(curve(plot)->dataSize()) : 0; }
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

    // "name=value|name=value": see set().
    void fill(const QString &assignments) const
    {
        for (const QString &assignment : assignments.split('|', Qt::SkipEmptyParts))
            set(qPrintable(assignment.section('=', 0, 0)), assignment.section('=', 1));
    }
    // Clicks the button answering exactly these boxes; their texts.
    QStringList press(const QString &button, const Answers &answers = {QMessageBox::Ok, QMessageBox::Ok})
    {
        const int seen = boxes->texts.size();
        for (QMessageBox::StandardButton answer : answers)
            boxes->answer(answer);
        click(qPrintable(button));
        [&] { QCOMPARE(boxes->answers.size(), 0); }();
        return boxes->texts.mid(seen);
    }
    QString shown(const QString &name) const
    {
        auto *box = window->findChild<QPlainTextEdit *>(name);
        return box ? box->toPlainText() : text(qPrintable(name));
    }
    // Chooses the button's protocol afresh, which refills the bus list.
    void selectProtocolOf(const QString &button) const
    {
        click(isI2c(button) ? "radioButton_16" : "radioButton_17");
        click(isI2c(button) ? "radioButton_17" : "radioButton_16");
        SimBoard::clearCalls();
    }
    // Runs a power command; the one message it shows.
    QString power(const char *radio, const QString &ip = QString())
    {
        if (!ip.isEmpty())
            set("lineEdit_8", ip);
        click(radio);
        return press("pushButton_2", {QMessageBox::Ok}).join('|');
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
        boxes->answer();
        get<QSpinBox>("spinBox_4")->setValue(45);
        get<QSpinBox>("spinBox_5")->setValue(3);
        SimBoard::clearCalls();
        click("pushButton");
        QCOMPARE(SimBoard::arguments("HalvoSetFanModeThermalCruise"), "0, " + cell("fan") + ", 45000, 3000");
        QCOMPARE(boxes->texts, found ? QStringList() : QStringList(FanRefused));
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
        QCOMPARE(get<QStackedWidget>("stackedWidget_2")->currentIndex() * 1000 +
                     get<QSlider>("verticalSlider")->value(),
                 1000 + cell("shown").toInt());
        click("radioButton_2");
        QCOMPARE(get<QStackedWidget>("stackedWidget_2")->currentIndex(), 0);
        QCOMPARE(SimBoard::arguments("HalvoSetCpuFanSpeed"), cell("sent"));
        QVERIFY(SimBoard::calls("HalvoSetFanModeThermalCruise").isEmpty()); // only Apply sends it
        // A refused speed disables the manual controls until a reconnection.
        SimBoard::forceStatus("HalvoSetCpuFanSpeed", 0x00050000);
        boxes->answer();
        get<QSpinBox>("spinBox_2")->setValue(70);
        QCOMPARE(boxes->texts, QStringList(FanRefused));
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
        QCOMPARE(SimBoard::arguments("HalvoSetCpuPerformance"), cell("sent"));
        QCOMPARE(get<QAbstractButton>("radioButton_5")->isChecked(), cell("sent").endsWith("0, 2, 75"));
    }

    void performanceSliderSendsWhileDraggedAndShowsWhatTheBoardApplied()
    {
        start(R"({"cpuPerformance": {"mode": "percentage", "acceptedTypes": [0], "percent": 100, "percentStep": 25}})");
        SimBoard::forceStatus("HalvoGetCpuPerformance", 0x00050000, 1);
        SimBoard::forceStatus("HalvoSetCpuPerformance", 0x00050000, 1);
        boxes->answer().answer();
        drag(70);
        QCOMPARE(boxes->texts, QStringList({"CPU performance change not allowed", "CPU performance read error"}));
        QCOMPARE(get<QSlider>("horizontalSlider_4")->value(), 70); // nothing read: the user's value stays
        SimBoard::clearCalls();
        drag(80);
        QCOMPARE(get<QSlider>("horizontalSlider_4")->value(), 75);
        drag(50); // the value read back was not sent, the next change is
        QCOMPARE(SimBoard::arguments("HalvoSetCpuPerformance"), "0, 0, 80|0, 0, 50");
    }

    // ---- Display

    // Display 0 is read and written back, which probes that it can be set;
    // the spin box then sets it and leaves the slider.
    void brightnessControlsAreUsableOnlyWhenTheBacklightIs_data()
    {
        columns({"patch", "enabled"});
        row("two displays", R"({"displays": [{"backlightPercent": 80}, {"backlightPercent": 20}]})", "111");
        row("no display", R"({"displays": []})", "000");
        row("count fails", R"({"callStatus": {"HalvoGetDisplayCount": "device"}})", "000");
        row("read fails", R"({"callStatus": {"HalvoGetBacklightValue": "device"}})", "000");
        row("write-back fails", R"({"callStatus": {"HalvoSetBacklightValue": "access"}})", "000");
    }
    void brightnessControlsAreUsableOnlyWhenTheBacklightIs()
    {
        start(cell("patch"));
        QCOMPARE(enabled({"label_102", "verticalSlider_3", "spinBox_3"}), cell("enabled"));
        if (cell("enabled") == "111") {
            get<QSpinBox>("spinBox_3")->setValue(30);
            QCOMPARE(SimBoard::arguments("HalvoSetBacklightValue"), "0, 0, 80|0, 0, 80|0, 0, 30");
            QCOMPARE(get<QSlider>("verticalSlider_3")->value(), 80);
        }
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
        QVERIFY(!temps && get<QScrollArea>("scrollArea_3")->widget() == fans &&
                !get<QScrollArea>("scrollArea")->widget()->findChild<QwtThermo *>());
        QCOMPARE(labelTexts("scrollArea"), QStringList("No sensors found"));
        QVERIFY(get<QwtDial>("Dial")->value() == 0 && get<QwtDial>("Dial")->upperBound() == 1000);
    }

    void graphsKeepTheNewestSamplesAndSkipAFailedRead()
    {
        start(R"({"thermal": {"cpuMilliCelsius": 45000}})");
        sample();
        QVERIFY(text("label_99") == "45" && text("label_201").toInt() > 0);
        SimBoard::patch(R"({"thermal": {"cpuMilliCelsius": 45500}})");
        SimBoard::forceStatus("HalvoGetCpuFanSpeed", 0x00050000, 1);
        invoke("graphRefreshTimer_timeout");
        QVERIFY(get<QTimer>("graphRefreshTimer")->isActive() && text("label_99") == "45.5");
        QCOMPARE(samples("qwtPlot_7") * 10 + samples("qwtPlot_6"), 12);
        for (int i = 3; i <= 501; ++i) {
            SimBoard::patch(QStringLiteral(R"({"thermal": {"cpuMilliCelsius": %1}})").arg(i * 100));
            sample();
        }
        const QwtPlotCurve *temps = curve("qwtPlot_6");
        QCOMPARE(temps->title().text() + curve("qwtPlot_7")->title().text(), QStringLiteral("T_CPUFan_CPU"));
        QCOMPARE(samples("qwtPlot_6") + samples("qwtPlot_7"), 1000);
        QCOMPARE(temps->sample(0), QPointF(0, 45.5));
        QCOMPARE(temps->sample(499), QPointF(499, 50.1));
        // Without the fan speed neither graph runs, the temperature one included.
        SimBoard::patch(R"({"callStatus": {"HalvoGetCpuFanSpeed": "unsupported"}})");
        window->initControls();
        QCOMPARE(texts({"label_99", "label_201"}) << enabled({"qwtPlot_6", "qwtPlot_7"}),
                 QStringList({"---", "---", "00"}));
        QVERIFY(samples("qwtPlot_6") + samples("qwtPlot_7") == 0 && !get<QTimer>("graphRefreshTimer")->isActive());
    }

    // ---- Watchdog

    // A refused Start says so; a refused Trigger or Stop is silent.
    void countDownIsFedByTriggerAndEndsInRestartThenStopped()
    {
        start();
        SimBoard::forceStatus("HalvoWatchdogEnable", 0x00030000, 1);
        boxes->answer().answer();
        startWatchdog("10");
        QCOMPARE(watchdog(), "WatchDog is stopped|10|100");
        SimBoard::clearCalls();
        startWatchdog("010", 7);
        QCOMPARE(SimBoard::arguments("HalvoWatchdogEnable") + '|' + text("label_108") + '|' + watchdog(),
                 "0, 10000|Countdown:|WatchDog is running|3|011");
        click("pushButton_7");
        tick(9);
        QCOMPARE(watchdog(), "WatchDog is running|1|011");
        tick(1);
        QCOMPARE(boxes->texts, QStringList({"Watchdog not supported", "Board was restarted"}));
        QCOMPARE(SimBoard::arguments("HalvoWatchdogDisable"), "0");
        QCOMPARE(text("label_108") + '|' + watchdog(), "Timeout:|WatchDog is stopped|0|100");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(window->findChildren<QTimer *>("wdTimer").isEmpty());
        startWatchdog("10", 5);
        SimBoard::forceStatus("HalvoWatchdogTrigger", 0x00030000);
        SimBoard::forceStatus("HalvoWatchdogDisable", 0x00030000);
        click("pushButton_7");
        click("pushButton_8");
        QCOMPARE(watchdog(), "WatchDog is running|5|011");
        // Letters send 0; accepted, it counts on past 0 without a restart.
        fakeHalvoWatchdogEnable = [](int32_t h, int32_t ms) { return realHalvoWatchdogEnable(h, ms), 0; };
        start();
        startWatchdog("abc", 2);
        QVERIFY(SimBoard::arguments("HalvoWatchdogEnable").endsWith("|0, 0"));
        QCOMPARE(watchdog(), "WatchDog is running|-2|011");
    }

    // ---- GPIO. Demo board: outputs 0..7 are wired to the inputs 8..15.

    // A direction click turns "IN" (any case) to output and anything else to
    // input, then rereads the group; a code other than 0 reads as output.
    void gpioButtonsSetThePinsOfTheChosenGroup()
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
        QCOMPARE(buttonTexts("label_gpio_dir_"), QString("IN ").repeated(8).trimmed());
        QCOMPARE(SimBoard::calls("HalvoGpioGetLevel").size(), 8);
        set("comboBox_9", "0");
        QCOMPARE(get<QAbstractButton>("label_gpio_dir_3")->text(), QStringLiteral("OUT"));
        click("label_gpio_dir_3");
        get<QAbstractButton>("label_gpio_dir_2")->setText("in");
        click("label_gpio_dir_2");
        QCOMPARE(SimBoard::arguments("HalvoGpioSetDirection"), "0, 9, 0|0, 3, 0|0, 2, 1");
        // A level click is not reread: the wired input shows it. A refused
        // setting keeps the text; without a group the buttons do nothing.
        SimBoard::clearCalls();
        click("label_gpio_level_1");
        click("label_gpio_level_0");
        QCOMPARE(SimBoard::arguments("HalvoGpioSetLevel"), "0, 1, 1|0, 0, 0");
        QVERIFY(buttonTexts("label_gpio_level_").startsWith("0 1 ") && SimBoard::calls("HalvoGpioGetLevel").isEmpty());
        set("comboBox_9", "1");
        QVERIFY(buttonTexts("label_gpio_level_").startsWith("0 1 "));
        SimBoard::forceStatus("HalvoGpioSetDirection", 0x00030000);
        SimBoard::forceStatus("HalvoGpioSetLevel", 0x00030000);
        boxes->answer().answer();
        click("label_gpio_dir_4");
        click("label_gpio_level_4");
        QCOMPARE(boxes->texts, QStringList({"GPIO direction setting error!!!", "GPIO level setting error!!!"}));
        QCOMPARE(buttonTexts("label_gpio_dir_").section(' ', 4, 4) +
                     buttonTexts("label_gpio_level_").section(' ', 4, 4),
                 QStringLiteral("IN0"));
        SimBoard::clearCalls();
        get<QComboBox>("comboBox_9")->clear();
        click("label_gpio_dir_1");
        click("label_gpio_level_1");
        QVERIFY(SimBoard::calls().filter("HalvoGpioSet").isEmpty());
    }

    void init()
    {
        WindowTest::init();
        // The LM75 sits at the board's temperature, fixed here at 37.6 °C.
        start(R"({"thermal": {"ambientMilliCelsius": 37600, "boardCoupling": 0}})");
        fill("plainTextEdit_8=AB|plainTextEdit_12=AB");
        SimBoard::clearCalls();
    }

    void hexFieldsAcceptOnlyTheStrictForms()
    {
        for (const char *byte : {"0x00", "0X5a", "0xfF", "0x9A"})
            QVERIFY2(HStation::isHexByte(byte) && !HStation::isHexWord(byte) &&
                         HStation::isHexWord(byte + QString("a0")),
                     byte);
        for (const char *bad : {"0x5", "5", "0x005", "0xG0", "0xg0", " 0x50", "0x50 ", "0x5a\n", "00x5", "0x", "",
                                "0x12345", "0x\u0663\u0664" /* Arabic-Indic digits */})
            QVERIFY2(!HStation::isHexByte(bad) && !HStation::isHexWord(bad), bad);
    }

    void protocolChoiceRefillsTheBusListAndReturnsToTheFirstCommand()
    {
        const auto pages = [this] {
            return QString::number(get<QStackedWidget>("stackedWidget")->currentIndex()) + ' ' +
                   QString::number(get<QStackedWidget>("stackedWidget_3")->currentIndex());
        };
        for (int page = 0; page < 9; ++page) {
            click(qPrintable(QString("radioButton_%1").arg(7 + page)));
            QCOMPARE(pages(), "0 " + QString::number(page));
        }
        click("radioButton_17");
        QCOMPARE(items("comboBox") + ' ' + pages(), "I2C - 0 1 9");
        click("radioButton_19");
        QCOMPARE(pages(), "1 10");
        SimBoard::patch(R"({"smbus": [{}, {}, {}], "i2c": []})");
        click("radioButton_16");
        QCOMPARE(items("comboBox") + ' ' + pages(), "SMBus - 0|SMBus - 1|SMBus - 2 0 0");
        QVERIFY(get<QAbstractButton>("radioButton_7")->isChecked() && get<QComboBox>("comboBox")->currentIndex() == 0);
        selectProtocolOf("pushButton_20");
        QCOMPARE(items("comboBox"), "Not supported");
        SimBoard::forceStatus("HalvoGetSmbusCount", 0x00030000);
        selectProtocolOf("pushButton_3");
        QCOMPARE(items("comboBox"), "Not supported");
    }

    // Without a bus every transaction stops before its fields; with one, it
    // asks first, and Cancel sends nothing.
    void everyTransactionNeedsABusAndConfirmation()
    {
        for (const QString &button : AllButtons) {
            SimBoard::forceStatus(isI2c(button) ? "HalvoGetI2cBusCount" : "HalvoGetSmbusCount", 0x00030000, 1);
            selectProtocolOf(button);
            for (QLineEdit *field : get("tab_6")->findChildren<QLineEdit *>())
                field->setText("bad");
            QCOMPARE(press(button, {QMessageBox::Ok}),
                     QStringList(isI2c(button) ? "No I2C bus found" : "No SMBus found"));
        }
        start(); // all fields valid again
        fill("plainTextEdit_8=AB|plainTextEdit_12=AB");
        for (const QString &button : AllButtons) {
            selectProtocolOf(button);
            const QString bus = button == "pushButton_20" ? "I2C bus" : isI2c(button) ? "I2C Bus" : "SMBus";
            QCOMPARE(press(button, {QMessageBox::Cancel}),
                     QStringList("Sending improper information to " + bus + " can cause data loss... Are you sure?"));
            QCOMPARE(boxes->buttons.last(), QMessageBox::Ok | QMessageBox::Cancel);
        }
        QCOMPARE(busCalls(), QStringList());
    }

    // Every field holds a valid value until the row changes some. The outcome
    // is either the call the board receives after OK, or the one message of
    // the first bad field, with nothing sent.
    void transactionChecksFieldsInOrderAndPassesTheirValues_data()
    {
        columns({"button", "fields", "outcome"});
        const auto add = [](const QString &button, const QString &fields, const QString &outcome) {
            row(qPrintable((button + ' ' + fields).left(50)), button, fields, outcome);
        };
        add("pushButton_3", "lineEdit=0x50|comboBox_2=1", "HalvoSmbusQuickCommand(0, 0, 80, 1)");
        add("pushButton_11", "lineEdit_7=0xZZ", "Wrong byte value, please use format 0xFF");
        add("pushButton_11", "lineEdit_5=0x50|lineEdit_7=0x07", "HalvoSmbusSendByte(0, 0, 80, 7)");
        add("pushButton_12", "lineEdit_6=", WrongAddress);
        add("pushButton_18", "lineEdit_21=5|lineEdit_22=z", WrongAddress);
        add("pushButton_18", "lineEdit_22=0x1|lineEdit_9=1", WrongCommand);
        add("pushButton_18", "lineEdit_9=0x100", "Wrong byte value, please use format 0xFF");
        add("pushButton_18", "lineEdit_21=0X5a|lineEdit_22=0xfF", "HalvoSmbusWriteByte(0, 0, 90, 255, 0)");
        add("pushButton_14", "lineEdit_12=0x0", WrongCommand);
        add("pushButton_14", "comboBox=1|lineEdit_11=0x52", "HalvoSmbusReadByte(0, 1, 82, 0, *)");
        add("pushButton_15", "lineEdit_26=0x12", "Wrong word value, please use format 0xFFFF");
        add("pushButton_15", "lineEdit_26=0xFFFF", "HalvoSmbusWriteWord(0, 0, 0, 0, 65535)");
        add("pushButton_17", "lineEdit_19=x|plainTextEdit_8=", WrongAddress);
        add("pushButton_17", "plainTextEdit_8=", "No data to write");
        add("pushButton_17", "plainTextEdit_8=" + QString(33, 'x'),
            "Block too long: SMBus blocks hold at most 32 bytes");
        add("pushButton_17", "plainTextEdit_8=\n" + QString(31, ' '),
            "HalvoSmbusWriteBlock(0, 0, 0, 0, \"0a" + QString("20").repeated(31) + "\", 32)");
        add("pushButton_20", "lineEdit_28=0x1", WrongMemory); // examined although "Use address" is off
        add("pushButton_20", "lineEdit_27=0x50|lineEdit_28=0x10", "HalvoI2cRead(0, 0, 80, 16, 0, *, *)");
        add("pushButton_20", "lineEdit_28=0x10|checkBox_3=1", "HalvoI2cRead(0, 0, 0, 16, 1, *, *)");
        add("pushButton_21", "lineEdit_30=0x1", WrongMemory);
        add("pushButton_21", "plainTextEdit_12=", "No data to write");
        add("pushButton_21", "lineEdit_29=0x50|lineEdit_30=0x10", R"(HalvoI2cWrite(0, 0, 80, 16, "4142", 2))");
    }
    void transactionChecksFieldsInOrderAndPassesTheirValues()
    {
        const QString button = cell("button"), outcome = cell("outcome");
        const bool sent = outcome.startsWith("Halvo");
        selectProtocolOf(button);
        fill(cell("fields"));
        const QStringList texts =
            press(button, sent ? Answers{QMessageBox::Ok, QMessageBox::Ok} : Answers{QMessageBox::Ok});
        QCOMPARE(sent ? busCalls().value(0).section(" -> ", 0, 0) : texts.value(0), outcome);
        QCOMPARE(busCalls().size(), sent ? 1 : 0);
    }

    // Each step: fields; button; its result message; then the display and
    // what it shows (a failure leaves a label as it was, empties a box).
    void readsShowWhatTheSimulatedDevicesHold()
    {
        const QStringList steps = {
            "lineEdit_6=0x51;pushButton_12;Receiving byte failed...;label_18; ---",
            "lineEdit_21=0x50|lineEdit_22=0x40|lineEdit_9=0xAB;pushButton_18;Byte was written successfuly...;label_18; "
            "---",
            "lineEdit_11=0x50|lineEdit_12=0x40;pushButton_14;Byte was read successfuly...;label_88;0xab",
            // Words travel low byte first: 0x0100 is stored as 00 01.
            "lineEdit_13=0x50|lineEdit_15=0x42|lineEdit_26=0x0100;pushButton_15;Word was written "
            "successfuly...;label_89; ---",
            "lineEdit_16=0x50|lineEdit_18=0x42;pushButton_16;Word was read successfuly...;label_89;0x100",
            "lineEdit_6=0x50;pushButton_12;Byte was received successfuly...;label_18;0xff",
            // 37.5 °C is 0x2580 in the LM75, which sends its high byte first.
            "lineEdit_16=0x48|lineEdit_18=0x00;pushButton_16;Word was read successfuly...;label_89;0x8025",
            "lineEdit_19=0x0b|lineEdit_20=0x2F|plainTextEdit_8=Hi there;pushButton_17;Data was written successfuly...;"
            "plainTextEdit_10;",
            "lineEdit_24=0x0b|lineEdit_25=0x2F;pushButton_19;Block was read successfuly...;plainTextEdit_10;Hi there",
            "lineEdit_29=0x50|lineEdit_30=0x20|plainTextEdit_12=Hello;pushButton_21;Data was written successfuly...;"
            "plainTextEdit_11;",
            "lineEdit_27=0x50|checkBox_3=1|lineEdit_28=0x20|lineEdit_31=2;pushButton_20;Block was read successfuly...;"
            "plainTextEdit_11;He",
            // Without the memory address the EEPROM reads on where it stands.
            "checkBox_3=0|lineEdit_31=3;pushButton_20;Block was read successfuly...;plainTextEdit_11;llo",
            "lineEdit_27=0x51;pushButton_20;Reading data from I2C failed...;plainTextEdit_11;",
        };
        for (const QString &step : steps) {
            const QStringList part = step.split(';');
            if (isI2c(part[1]) && get<QAbstractButton>("radioButton_16")->isChecked())
                selectProtocolOf(part[1]);
            fill(part[0]);
            const QString message = press(part[1]).value(1);
            QCOMPARE(message + '|' + shown(part[3]), part[2] + '|' + part[4]);
        }
    }

    // The typed count up to 127; whatever count the library reports, a block
    // shows at most 127 bytes and stops at the first zero byte.
    void blockReadsStayInsideTheBuffer()
    {
        SimBoard::patch(R"({"i2c": [{"devices": [{"address": "0x50", "type": "eeprom", "content": ")" +
                        QString(256, 'z') + R"("}]}]})");
        selectProtocolOf("pushButton_20");
        for (const QString typed : {"5=5", "200=127", "-1=127", "12abc=12", "no digits=0", " +7=7", "4294967296=127"}) {
            fill("lineEdit_27=0x50|checkBox_3=1|lineEdit_31=" + typed);
            press("pushButton_20");
            QCOMPARE(QString::number(shown("plainTextEdit_11").size()), typed.section('=', 1));
        }
        uint32_t count = 0;
        QByteArray bytes;
        fakeHalvoSmbusReadBlock = [&](int32_t, uint8_t, uint8_t, uint8_t, uint8_t *buffer, uint8_t *reported) {
            return *reported = uint8_t(count), std::copy(bytes.begin(), bytes.end(), buffer), 0;
        };
        fakeHalvoI2cRead = [&](int32_t, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t *buffer, uint32_t *reported) {
            return *reported = count, std::copy(bytes.begin(), bytes.end(), buffer), 0;
        };
        for (const QString button : {"pushButton_19", "pushButton_20"}) {
            const QString display = isI2c(button) ? "plainTextEdit_11" : "plainTextEdit_10";
            selectProtocolOf(button);
            count = 255;
            bytes = QByteArray(HALVO_BLOCK_BUFFER_SIZE, 'x');
            press(button);
            QCOMPARE(shown(display), QString(127, 'x'));
            count = 5;
            bytes = QByteArray("AB\0CD", 5);
            press(button);
            QCOMPARE(shown(display), QStringLiteral("AB"));
        }
    }

    // ---- System power state

    // A query names the board and its state, or points to the AMT web page;
    // changes go without confirmation. Texts are cut to 127 characters for
    // the call, as an endpoint with 127-character credentials shows, but are
    // shown whole.
    void amtCommandsNameAnyBoardByAddressAndCredentials()
    {
        SimBoard::patch(R"({"powerState": 1})", "192.0.2.20");
        QCOMPARE(power("radioButton_24", "192.0.2.10"), "Board with IP 192.0.2.10 has POWER ON");
        QCOMPARE(power("radioButton_24", "192.0.2.20"), "Board with IP 192.0.2.20 has POWER OFF");
        QCOMPARE(power("radioButton_24", "192.0.2.30"), "Board with IP 192.0.2.30 is HIBERNATED");
        fakeHalvoGetSystemStateAmt = [](const char *ip, const char *user, const char *password, int32_t *state) {
            return realHalvoGetSystemStateAmt(ip, user, password, state), *state = 7, 0;
        };
        QCOMPARE(power("radioButton_24", "192.0.2.10"), "Board with IP 192.0.2.10 is in unknown state");
        fakeHalvoGetSystemStateAmt = nullptr;
        QVERIFY(SimBoard::calls().value(0).startsWith(R"(HalvoGetSystemStateAmt("192.0.2.10", "admin", "***", *))"));
        for (const char *command : {"radioButton_21", "radioButton_22", "radioButton_20"})
            QCOMPARE(power(command, "192.0.2.20"), "Command successful");
        const QString call = R"("192.0.2.20", "admin", "***", )";
        QCOMPARE(SimBoard::arguments("HalvoSetSystemStateAmt"), call + "3|" + call + "1|" + call + "0");
        set("lineEdit_3", "wrong");
        QCOMPARE(power("radioButton_24"), "Cannot get state from board with IP 192.0.2.20\n\nAre you sure that the "
                                          "board supports Intel AMT?\nAre the user name and password correct?\nYou "
                                          "can test it using your Web browser.\nType in address:\n"
                                          "http://192.0.2.20:16992");
        const QString ip = "10." + QString(197, '1'), user(150, 'u'), password(128, 'p');
        SimBoard::load(QStringLiteral(R"({"amtEndpoints": [{"ipAddress": "%1", "userName": "%2", "password": "%3",
                                          "powerState": 0}]})")
                           .arg(ip.left(127), user.left(127), password.left(127)));
        set("lineEdit_2", user);
        set("lineEdit_3", password);
        QCOMPARE(power("radioButton_24", ip), "Board with IP " + ip + " has POWER ON");
        QCOMPARE(power("radioButton_22"), "Command successful");
    }

    // The OS call hides the credential rows, which keep their texts. Once off,
    // the simulated board answers nothing, not even a second power-off.
    void osPowerOffAsksAndCallsTheCurrentBoardOnlyOnYes()
    {
        set("lineEdit_2", "someone");
        for (const char *command : {"radioButton_23", "radioButton_21", "radioButton_23"}) {
            click(command);
            for (const char *name : {"label_128", "label_129", "label_130", "lineEdit_2", "lineEdit_3", "lineEdit_8"})
                QVERIFY2(get(name)->isHidden() == (command == QLatin1String("radioButton_23")), name);
        }
        QVERIFY(get<QLineEdit>("lineEdit_2")->text() == "someone" &&
                get<QLineEdit>("lineEdit_3")->echoMode() == QLineEdit::Password);
        const QString question = "Are you sure you want to turn off the computer you are currently connected to?";
        boxes->answer(QMessageBox::No).answer(QMessageBox::Yes).answer().answer(QMessageBox::Yes).answer();
        click("pushButton_2");
        QVERIFY(SimBoard::calls().filter("SystemState").isEmpty());
        click("pushButton_2");
        click("pushButton_2");
        QCOMPARE(boxes->texts, QStringList({question, question, "Command successful", question, "Command failed"}));
        QCOMPARE(boxes->buttons.value(0), QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(SimBoard::arguments("HalvoSetSystemState"), "0, 1|0, 1");
    }
};

QTEST_MAIN(ControlsTest)
#include "test_controls.moc"
