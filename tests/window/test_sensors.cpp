// Sensors tab, live graphs, CPU fan, CPU performance and display brightness:
// what a (re)connection sets up and what the controls send to the board.
#include "HStation.h"
#include "findwidget.h"
#include "messageboxes.h"
#include "resources.h"
#include "simboard.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimer>
#include <QtTest>
#include <dlfcn.h>
#include <memory>
#include <optional>
#include <qwt_dial.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_thermo.h>

// A voltage sensor count the simulated board cannot report: when set, the
// window's count queries see it instead of the board's answer.
static std::optional<int32_t> fakeVoltageCount;

extern "C" int32_t HalvoGetVoltageSensorCount(int32_t handle, int32_t *count)
{
    using Function = int32_t (*)(int32_t, int32_t *);
    static const auto real = reinterpret_cast<Function>(dlsym(RTLD_NEXT, "HalvoGetVoltageSensorCount"));
    if (!fakeVoltageCount)
        return real(handle, count);
    *count = *fakeVoltageCount;
    return 0;
}

namespace
{

const QString FanRefused = QStringLiteral("Fan mode setting not allowed");

QList<QwtPlotCurve *> curves(const QObject *window, const char *plot)
{
    QList<QwtPlotCurve *> found;
    for (QwtPlotItem *item : child<QwtPlot>(window, plot)->itemList(QwtPlotItem::Rtti_PlotCurve))
        found << static_cast<QwtPlotCurve *>(item);
    return found;
}

// The arguments of each call, without the function name and status.
QStringList arguments(const QStringList &calls)
{
    QStringList found;
    for (const QString &call : calls)
        found << call.section(QLatin1Char('('), 1).section(QLatin1Char(')'), 0, 0);
    return found;
}

QList<QRect> geometries(const QList<QWidget *> &widgets)
{
    QList<QRect> rects;
    for (const QWidget *widget : widgets)
        rects << widget->geometry();
    return rects;
}

} // namespace

class SensorsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<HStation> window;
    std::unique_ptr<MessageBoxes> boxes;

    void start(const QString &patch = QString())
    {
        if (!patch.isEmpty())
            SimBoard::patch(patch);
        window = std::make_unique<HStation>();
    }

    template <typename T> T *widget(const char *name) const { return child<T>(window.get(), name); }

    void sample() { QVERIFY(QMetaObject::invokeMethod(window.get(), "graphRefreshTimer_timeout")); }

    void clickApply()
    {
        widget<QSpinBox>("spinBox_4")->setValue(45);
        widget<QSpinBox>("spinBox_5")->setValue(3);
        SimBoard::clearCalls();
        widget<QPushButton>("pushButton")->click();
    }

    void drag(int to)
    {
        auto *slider = widget<QSlider>("horizontalSlider_4");
        slider->setSliderDown(true);
        slider->setValue(to);
        slider->setSliderDown(false);
    }

private slots:
    void initTestCase() { initHalvoResources(); }
    void init()
    {
        SimBoard::reset();
        fakeVoltageCount.reset();
        boxes = std::make_unique<MessageBoxes>();
    }
    void cleanup()
    {
        window.reset();
        QVERIFY2(boxes->unexpectedTexts().isEmpty(), qPrintable(boxes->unexpectedTexts().join(" | ")));
        boxes.reset();
    }

    // ---- CPU fan lookup, Apply and Manual

    void applySendsThermalCruiseInThousandthsToTheNamedFan_data()
    {
        QTest::addColumn<QString>("patch");
        QTest::addColumn<int>("index");
        QTest::newRow("second, lower case")
            << R"({"fans": [{"name": "Sys"}, {"name": "cpu-fan", "role": "cpu"}]})" << 1;
        QTest::newRow("absent") << R"({"fans": [{"name": "Sys"}, {"name": "CPU-Fan-2"}]})" << -1;
        QTest::newRow("list fails") << R"({"callStatus": {"HalvoGetFanList": "device"}})" << -1;
    }
    void applySendsThermalCruiseInThousandthsToTheNamedFan()
    {
        QFETCH(QString, patch);
        QFETCH(int, index);
        start(patch);
        if (index < 0)
            boxes->answer();
        clickApply();
        QCOMPARE(arguments(SimBoard::calls("HalvoSetFanModeThermalCruise")),
                 QStringList(QStringLiteral("0, %1, 45000, 3000").arg(index)));
        QCOMPARE(boxes->texts(), index < 0 ? QStringList(FanRefused) : QStringList());
        QCOMPARE(widget<QPushButton>("pushButton")->isEnabled(), index >= 0);
        QCOMPARE(widget<QSpinBox>("spinBox_4")->isEnabled(), index >= 0);
        QVERIFY(widget<QSlider>("verticalSlider")->isEnabled());
    }

    void manualShowsTheCurrentSpeedAndSendsOnlyAChange_data()
    {
        QTest::addColumn<int>("duty");
        QTest::addColumn<int>("shown");
        QTest::addColumn<QStringList>("sent");
        QTest::newRow("150 reads as 58 and goes back as 147")
            << 150 << 58 << QStringList("HalvoSetCpuFanSpeed(0, 147) -> 0");
        QTest::newRow("153 is the slider's 60: nothing sent") << 153 << 60 << QStringList();
    }
    void manualShowsTheCurrentSpeedAndSendsOnlyAChange()
    {
        QFETCH(int, duty);
        QFETCH(int, shown);
        QFETCH(QStringList, sent);
        start(QStringLiteral(R"({"fans": [{"name": "CPU-Fan", "role": "cpu", "duty": %1}]})").arg(duty));
        SimBoard::clearCalls();
        widget<QRadioButton>("radioButton")->click();
        QCOMPARE(widget<QStackedWidget>("stackedWidget_2")->currentIndex(), 1);
        QCOMPARE(widget<QSlider>("verticalSlider")->value(), shown);
        QCOMPARE(SimBoard::calls("HalvoSetCpuFanSpeed"), sent);

        widget<QRadioButton>("radioButton_2")->click();
        QCOMPARE(widget<QStackedWidget>("stackedWidget_2")->currentIndex(), 0);
        QCOMPARE(SimBoard::calls("HalvoSetCpuFanSpeed"), sent);
        QVERIFY(SimBoard::calls("HalvoSetFanModeThermalCruise").isEmpty());
    }

    void refusedManualSpeedDisablesOnlyTheManualControls()
    {
        start();
        SimBoard::forceStatus("HalvoSetCpuFanSpeed", 0x00050000);
        boxes->answer();
        widget<QSpinBox>("spinBox_2")->setValue(70);
        QCOMPARE(boxes->texts(), QStringList(FanRefused));
        QVERIFY(!widget<QSlider>("verticalSlider")->isEnabled());
        QVERIFY(!widget<QSpinBox>("spinBox_2")->isEnabled());
        clickApply();
        QCOMPARE(SimBoard::calls("HalvoSetFanModeThermalCruise").size(), 1);
        window->initControls();
        QVERIFY(widget<QSlider>("verticalSlider")->isEnabled());
    }

    // ---- CPU performance

    // Percentage boards get the slider; type boards keep exactly the types
    // they accept, and the reported type is checked (and sent) again.
    void performanceProbeOffersWhatTheBoardAccepts_data()
    {
        QTest::addColumn<QString>("performance");
        QTest::addColumn<QList<bool>>("enabled"); // groupBox_2, frame, radioButton_3..6
        QTest::addColumn<QStringList>("sent");
        QTest::newRow("percentage") << R"({"mode": "percentage", "acceptedTypes": [0], "percent": 80})"
                                    << QList<bool>{true, true, false, false, false, false} << QStringList("0, 0, 80");
        QTest::newRow("types") << R"({"mode": "types", "acceptedTypes": [0, 2], "type": 2})"
                               << QList<bool>{true, false, true, false, true, false}
                               << QStringList({"0, 0, 100", "0, 1, 50", "0, 2, 75", "0, 3, 50", "0, 2, 75"});
        QTest::newRow("unreadable") << R"({"mode": "none"})" << QList<bool>{false, false, false, false, false, false}
                                    << QStringList();
    }
    void performanceProbeOffersWhatTheBoardAccepts()
    {
        QFETCH(QString, performance);
        QFETCH(QList<bool>, enabled);
        QFETCH(QStringList, sent);
        start(QStringLiteral(R"({"cpuPerformance": %1})").arg(performance));
        QList<bool> shown;
        for (const char *name :
             {"groupBox_2", "frame", "radioButton_3", "radioButton_4", "radioButton_5", "radioButton_6"})
            shown << widget<QWidget>(name)->isEnabled();
        QCOMPARE(shown, enabled);
        QCOMPARE(arguments(SimBoard::calls("HalvoSetCpuPerformance")), sent);
        QCOMPARE(widget<QRadioButton>("radioButton_5")->isChecked(), performance.contains("types"));
    }

    void dragReadsBackWithoutSendingTheAppliedValue()
    {
        start(R"({"cpuPerformance": {"mode": "percentage", "acceptedTypes": [0], "percent": 100, "percentStep": 25}})");
        SimBoard::clearCalls();
        drag(80);
        QCOMPARE(widget<QSlider>("horizontalSlider_4")->value(), 75);
        QCOMPARE(SimBoard::calls("HalvoSetCpuPerformance"), QStringList("HalvoSetCpuPerformance(0, 0, 80) -> 0"));
        // 75 was the slider's change: the skip flag is consumed and the next
        // change is sent again.
        drag(50);
        QCOMPARE(SimBoard::calls("HalvoSetCpuPerformance").size(), 2);
    }

    void failedReadBackKeepsTheSliderAndSendsTheNextChange()
    {
        start(R"({"cpuPerformance": {"mode": "percentage", "acceptedTypes": [0], "percent": 100}})");
        SimBoard::forceStatus("HalvoGetCpuPerformance", 0x00050000, 1);
        SimBoard::forceStatus("HalvoSetCpuPerformance", 0x00050000, 1);
        boxes->answer().answer();
        SimBoard::clearCalls();
        drag(80);
        QCOMPARE(boxes->texts(), QStringList({"CPU performance change not allowed", "CPU performance read error"}));
        QCOMPARE(widget<QSlider>("horizontalSlider_4")->value(), 80);
        drag(60);
        QCOMPARE(SimBoard::calls("HalvoSetCpuPerformance").last(),
                 QStringLiteral("HalvoSetCpuPerformance(0, 0, 60) -> 0"));
    }

    // ---- Display

    void brightnessIsLoadedFromDisplayZeroAndWrittenBack()
    {
        start(R"({"displays": [{"backlightPercent": 80}, {"backlightPercent": 20}]})");
        QCOMPARE(widget<QSpinBox>("spinBox_3")->value(), 80);
        QCOMPARE(widget<QSlider>("verticalSlider_3")->value(), 80);
        QCOMPARE(SimBoard::calls("HalvoSetBacklightValue"),
                 QStringList({"HalvoSetBacklightValue(0, 0, 80) -> 0", "HalvoSetBacklightValue(0, 0, 80) -> 0"}));
        SimBoard::clearCalls();
        widget<QSpinBox>("spinBox_3")->setValue(30);
        QCOMPARE(SimBoard::calls("HalvoSetBacklightValue").last(),
                 QStringLiteral("HalvoSetBacklightValue(0, 0, 30) -> 0"));
        QCOMPARE(widget<QSlider>("verticalSlider_3")->value(), 80);
    }

    void unusableBacklightDisablesTheBrightnessControls_data()
    {
        QTest::addColumn<QString>("patch");
        QTest::newRow("no display") << R"({"displays": []})";
        QTest::newRow("count fails") << R"({"callStatus": {"HalvoGetDisplayCount": "device"}})";
        QTest::newRow("read fails") << R"({"callStatus": {"HalvoGetBacklightValue": "device"}})";
        QTest::newRow("write-back fails") << R"({"callStatus": {"HalvoSetBacklightValue": "access"}})";
    }
    void unusableBacklightDisablesTheBrightnessControls()
    {
        QFETCH(QString, patch);
        start(patch);
        for (const char *name : {"label_102", "verticalSlider_3", "spinBox_3"})
            QVERIFY2(!widget<QWidget>(name)->isEnabled(), name);
    }

    // ---- Sensors tab and dial

    void sensorsTabHasOneLinePerSensorAtFixedPlaces()
    {
        // Without the list the status refresh leaves the initial captions.
        SimBoard::forceStatus("HalvoGetTempSensorList", 0x00050000);
        start(R"({"temperatureSensors": [{"name": "A"}, {"name": "B"}], "voltageSensors": [],
                  "fans": [{"name": "CPU-Fan", "role": "cpu"}, {"name": "F2"}, {"name": "F3"}]})");
        auto *temps = widget<QScrollArea>("scrollArea")->widget();
        QCOMPARE(temps->size(), QSize(222, 170));
        QCOMPARE(geometries(temps->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)),
                 QList<QRect>({{10, 30, 200, 60}, {70, -5, 100, 50}, {10, 90, 200, 60}, {70, 55, 100, 50}}));
        auto *thermo = temps->findChild<QwtThermo *>();
        QCOMPARE(thermo->orientation(), Qt::Horizontal);
        QCOMPARE(thermo->upperBound(), 100.0);
        QCOMPARE(temps->findChild<QLabel *>()->text(), QStringLiteral("Core 0"));

        auto *volts = widget<QScrollArea>("scrollArea_2")->widget();
        QCOMPARE(volts->size(), QSize(222, 70));
        QCOMPARE(volts->findChild<QLabel *>()->text(), QStringLiteral("No sensors found"));
        QCOMPARE(volts->findChild<QLabel *>()->geometry(), QRect(30, 10, 200, 50));

        auto *fans = widget<QScrollArea>("scrollArea_3")->widget();
        QCOMPARE(fans->size(), QSize(222, 95));
        QCOMPARE(fans->findChildren<QLabel *>().last()->geometry(), QRect(25, 60, 300, 25));

        // A reconnection replaces the frames, and a failed count keeps the old one.
        const QPointer<QWidget> oldTemps = temps;
        SimBoard::patch(R"({"temperatureSensors": [], "callStatus": {"HalvoGetFanCount": "device"}})");
        window->initControls();
        QVERIFY(!oldTemps);
        QCOMPARE(widget<QScrollArea>("scrollArea")->widget()->findChild<QLabel *>()->text(),
                 QStringLiteral("No sensors found"));
        QVERIFY(!widget<QScrollArea>("scrollArea")->widget()->findChild<QwtThermo *>());
        QCOMPARE(widget<QScrollArea>("scrollArea_3")->widget(), fans);
    }

    // Building (and later refreshing) that many lines would stall the window.
    void absurdSensorCountIsTreatedAsAFailedQuery()
    {
        fakeVoltageCount = 100000000;
        start();
        QVERIFY(!widget<QScrollArea>("scrollArea_2")->widget());
        QVERIFY(SimBoard::calls("HalvoGetVoltageSensorList").isEmpty());
    }

    void dialStartsAtZeroOnAThousandMhzScale()
    {
        start();
        window->initControls(); // before the status refresh sets the board's MHz
        const auto *dial = widget<QwtDial>("Dial");
        QCOMPARE(QList<double>({dial->lowerBound(), dial->upperBound(), dial->value(), dial->scaleStepSize(),
                                double(dial->totalSteps()), double(dial->pageSteps())}),
                 QList<double>({0, 1000, 0, 500, 1000, 10}));
        QCOMPARE(QList<double>({dial->minScaleArc(), dial->maxScaleArc()}), QList<double>({120, 240}));
    }

    // ---- Graphs

    void historyKeepsTheNewestSamplesNumberedFromZero()
    {
        start();
        auto *timer = window->findChild<QTimer *>("graphRefreshTimer");
        for (int i = 1; i <= 501; ++i) {
            SimBoard::patch(QStringLiteral(R"({"thermal": {"cpuMilliCelsius": %1}})").arg(i * 100));
            sample();
            timer->stop(); // only the samples of this loop
        }
        const QList<QwtPlotCurve *> temps = curves(window.get(), "qwtPlot_6");
        QCOMPARE(temps.size(), 1);
        QCOMPARE(temps[0]->title().text(), QStringLiteral("T_CPU"));
        QCOMPARE(int(temps[0]->dataSize()), 500);
        QCOMPARE(temps[0]->sample(0), QPointF(0, 0.2));
        QCOMPARE(temps[0]->sample(499), QPointF(499, 50.1));
        QCOMPARE(curves(window.get(), "qwtPlot_7").value(0)->title().text(), QStringLiteral("Fan_CPU"));
        QCOMPARE(int(curves(window.get(), "qwtPlot_7").value(0)->dataSize()), 500);
        QCOMPARE(widget<QLabel>("label_99")->text(), QStringLiteral("50.1"));
    }

    void sampleShowsValuesAndSkipsAFailedRead()
    {
        start(R"({"thermal": {"cpuMilliCelsius": 45000}})");
        sample();
        QCOMPARE(widget<QLabel>("label_99")->text(), QStringLiteral("45"));
        QVERIFY(widget<QLabel>("label_201")->text().toInt() > 0);
        SimBoard::patch(R"({"thermal": {"cpuMilliCelsius": 45500}})");
        SimBoard::forceStatus("HalvoGetCpuFanSpeed", 0x00050000, 1);
        sample();
        QCOMPARE(widget<QLabel>("label_99")->text(), QStringLiteral("45.5"));
        QCOMPARE(int(curves(window.get(), "qwtPlot_7")[0]->dataSize()), 1);
        QCOMPARE(int(curves(window.get(), "qwtPlot_6")[0]->dataSize()), 2);
        QVERIFY(window->findChild<QTimer *>("graphRefreshTimer")->isActive());
    }

    void unreadableFanSpeedLeavesBothGraphsStoppedAndEmpty()
    {
        start(R"({"callStatus": {"HalvoGetCpuFanSpeed": "unsupported"}})");
        QCOMPARE(widget<QLabel>("label_99")->text(), QStringLiteral("---"));
        QCOMPARE(widget<QLabel>("label_201")->text(), QStringLiteral("---"));
        for (const char *plot : {"qwtPlot_6", "qwtPlot_7"}) {
            QVERIFY(!widget<QwtPlot>(plot)->isEnabled());
            QVERIFY(curves(window.get(), plot).isEmpty());
        }
        QVERIFY(!window->findChild<QTimer *>("graphRefreshTimer")->isActive());
    }

    void sampleInterruptedByAReconnectionAddsNothingToTheNewGraphs()
    {
        start();
        sample();
        QTimer::singleShot(0, window.get(), [this] { window->initControls(); });
        sample();
        sample();
        QCOMPARE(int(curves(window.get(), "qwtPlot_7")[0]->dataSize()), 1);
    }
};

QTEST_MAIN(SensorsTest)
#include "test_sensors.moc"
