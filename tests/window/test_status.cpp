// The periodic status refresh and the connection-loss check that stops it.
#include "HStation.h"
#include "findwidget.h"
#include "messageboxes.h"
#include "resources.h"
#include "simboard.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QScrollArea>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <dlfcn.h>
#include <map>
#include <memory>
#include <optional>
#include <qwt_dial.h>

// Values the simulated board cannot be made to report: when set, the window
// sees these instead (a frequency of -1 fails its query).
static std::optional<BatteryState> fakeBatteryState;
static std::map<int32_t, int32_t> fakeCpuKhz;

extern "C" int32_t HalvoGetBatteryState(int32_t handle, int32_t battery, BatteryState *state)
{
    static const auto real =
        reinterpret_cast<int32_t (*)(int32_t, int32_t, BatteryState *)>(dlsym(RTLD_NEXT, "HalvoGetBatteryState"));
    if (!fakeBatteryState)
        return real(handle, battery, state);
    *state = *fakeBatteryState;
    return 0;
}

extern "C" int32_t HalvoGetCpuFreq(int32_t handle, int32_t kind, int32_t *khz)
{
    static const auto real =
        reinterpret_cast<int32_t (*)(int32_t, int32_t, int32_t *)>(dlsym(RTLD_NEXT, "HalvoGetCpuFreq"));
    if (!fakeCpuKhz.count(kind))
        return real(handle, kind, khz);
    if (fakeCpuKhz[kind] < 0)
        return 0x00030000;
    *khz = fakeCpuKhz[kind];
    return 0;
}

class StatusTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<HStation> window;
    std::unique_ptr<MessageBoxes> boxes;
    const QString lostMessage = QStringLiteral("Connection failed, please try to connect again...");

    void start(const QString &patch = QString())
    {
        if (!patch.isEmpty())
            SimBoard::patch(patch);
        window = std::make_unique<HStation>();
    }
    QString text(const char *label) const { return child<QLabel>(window.get(), label)->text(); }
    QStringList texts(std::initializer_list<const char *> labels) const
    {
        QStringList found;
        for (const char *label : labels)
            found << text(label);
        return found;
    }
    QProgressBar *bar(const char *name) const { return child<QProgressBar>(window.get(), name); }
    QStringList topItems(const char *name) const
    {
        QStringList items;
        for (int i = 0; i < child<QTreeWidget>(window.get(), name)->topLevelItemCount(); ++i)
            items << child<QTreeWidget>(window.get(), name)->topLevelItem(i)->text(0);
        return items;
    }
    QStringList sensorTexts(const char *scrollArea) const
    {
        QStringList found;
        for (const QLabel *label : child<QScrollArea>(window.get(), scrollArea)->widget()->findChildren<QLabel *>())
            found << label->text();
        return found;
    }
    bool anyTimerActive() const
    {
        return child<QTimer>(window.get(), "refreshTimer")->isActive() ||
               child<QTimer>(window.get(), "graphRefreshTimer")->isActive() ||
               child<QTimer>(window.get(), "gpioRefreshTimer")->isActive();
    }

private slots:
    void initTestCase() { initHalvoResources(); }
    void init()
    {
        SimBoard::reset();
        fakeBatteryState.reset();
        fakeCpuKhz.clear();
        boxes = std::make_unique<MessageBoxes>();
    }
    void cleanup()
    {
        window.reset();
        QVERIFY2(boxes->unexpectedTexts().isEmpty(), qPrintable(boxes->unexpectedTexts().join(" | ")));
    }

    void driveTreeShowsSizesAndIsRebuiltOnlyWhenTheCountChanges()
    {
        start(R"({"diskDrives": [{"name": "A", "model": "M", "serialNumber": "S", "sizeMB": 2048}]})");
        const QTreeWidgetItem *drive = child<QTreeWidget>(window.get(), "treeWidget")->topLevelItem(0);
        QCOMPARE(drive->child(2)->text(0), QStringLiteral("Size: 2.00 GB"));
        QVERIFY(drive->font(0).bold() && drive->isExpanded());
        SimBoard::patch(R"({"diskDrives": [{"name": "B"}], "diskPartitions": []})");
        window->refreshStatus(); // same drive count, partitions dropped to 0
        QCOMPARE(topItems("treeWidget") + topItems("treeWidget_3"),
                 QStringList({"A", "/dev/sda1", "/dev/sda2", "/dev/sdb1"}));
        SimBoard::patch(R"({"diskDrives": [{"name": "B"}, {"name": "C"}]})");
        window->refreshStatus();
        QCOMPARE(topItems("treeWidget"), QStringList({"B", "C"}));
        SimBoard::patch(R"({"diskDrives": [{"name": "D"}]})");
        SimBoard::forceStatus("HalvoGetDiskDriveList", 0x00040000, 1);
        window->refreshStatus(); // a failed list keeps the new count: empty until it changes
        window->refreshStatus();
        QVERIFY(topItems("treeWidget").isEmpty());
    }

    void batteryTextsFollowKnownStatesAndFailures()
    {
        fakeBatteryState = BatteryState{2, 3725, 59, 2900, 11800, 1500, 70, 0};
        start();
        QCOMPARE(texts({"label_10", "label_175", "label_221", "label_231", "label_233", "label_224", "label_236",
                        "label_222"}),
                 QStringList({"Discharging", "Discharging", "Discharge Rate: ", "1 h 2 min 5 s", "0 h 0 min 59 s",
                              "2900 mAh of ", "11800 mV", "1500 mA"}));
        QCOMPARE(bar("progressBar_2")->palette().color(QPalette::Inactive, QPalette::Highlight), QColor(0, 99, 172));
        fakeBatteryState = BatteryState{3, 0, 0, 0, 10900, 0, 40, 0}; // no texts of its own, values still shown
        window->refreshStatus();
        QCOMPARE(texts({"label_10", "label_236"}), QStringList({"Discharging", "10900 mV"}));
        QCOMPARE(bar("progressBar")->value(), 40);
        fakeBatteryState = BatteryState{0, 0, 0, 0, 0, 0, 0, 0};
        window->refreshStatus();
        QCOMPARE(child<QCheckBox>(window.get(), "checkBox_57")->text(), QStringLiteral("Plugged in, charging"));
        fakeBatteryState.reset();
        SimBoard::forceStatus("HalvoGetBatteryInfo", 0x00030000);
        SimBoard::forceStatus("HalvoGetBatteryState", 0x00030000);
        window->refreshStatus();
        QCOMPARE(texts({"label_68", "label_97", "label_10", "label_175", "label_221", "label_231"}),
                 QStringList({"Not available", "---", "No battery", "---", "Charge Rate: ", "---"}));
        QVERIFY(bar("progressBar")->value() == 0 && !child<QCheckBox>(window.get(), "checkBox_57")->isChecked());
    }

    void intruderUpTimeAndCpuSpeedOnlyWhenCurrentAndMaximumArePositive()
    {
        fakeCpuKhz = {{1, 1800000}, {2, 900500}};
        start(R"({"intruderStatus": 1, "upTimeSeconds": 90061})");
        QCOMPARE(texts({"label_15", "label_169", "label_80", "label_184"}),
                 QStringList({"Case opened", "1 days 1 hours 1 min 1 sec ", "Current CPU speed: 900 MHz", "50 %"}));
        QVERIFY(child<QwtDial>(window.get(), "Dial")->upperBound() == 1800 &&
                child<QwtDial>(window.get(), "Dial")->value() == 900);
        for (const auto &frequencies : {std::map<int32_t, int32_t>{{1, -1}, {2, 600000}}, {{1, 900000}, {2, 0}}}) {
            fakeCpuKhz = frequencies;
            window->refreshStatus();
            QCOMPARE(texts({"label_80", "label_184"}), QStringList({"Current CPU speed: 900 MHz", "50 %"}));
        }
        fakeCpuKhz = {{1, 30000000}, {2, 30000000}}; // the load must not overflow
        window->refreshStatus();
        QCOMPARE(text("label_184"), QStringLiteral("100 %"));
    }

    void sensorReadingsFillTheTabAndAFailedListKeepsThem()
    {
        start(R"({"voltageSensors": [{"name": "+3.3V", "valueMilliVolt": 3300}], "fans": [{"name": "F", "duty": 0}]})");
        QCOMPARE(sensorTexts("scrollArea").mid(0, 2) + sensorTexts("scrollArea_2") + sensorTexts("scrollArea_3"),
                 QStringList({"CPU", "Board", "+3.3V:   \t3.300 V\n", "F:   0 rpm"}));
        SimBoard::patch(R"({"voltageSensors": [{"name": "+3.3V", "valueMilliVolt": 3000}]})");
        SimBoard::forceStatus("HalvoGetVoltageSensorList", 0x00040000, 1);
        window->refreshStatus();
        QCOMPARE(sensorTexts("scrollArea_2"), QStringList({"+3.3V:   \t3.300 V\n"}));
    }

    void connectionClassIsTheUpperHalfAndTheCounterNeverGoesNegative()
    {
        start();
        boxes->answer();
        QVERIFY(!window->checkConnectionError(1) && !window->checkConnectionError(0x00020000));
        QCOMPARE(window->connectionErrors(), 0);
        QVERIFY(window->checkConnectionError(0x00010000) && window->checkConnectionError(0x0001ffff));
        QCOMPARE(window->connectionErrors(), 2);
        QVERIFY(!window->checkConnectionError(0x00030000));
        QCOMPARE(window->connectionErrors(), 1);
        QCOMPARE(boxes->texts(), QStringList({lostMessage}));
    }

    void firstLossIsAnnouncedOnceAndStopsTheRefreshWhereItIs()
    {
        start();
        boxes->answer();
        SimBoard::forceStatus("HalvoGetDiskDrivePartitionCount", 0x00010000);
        SimBoard::clearCalls();
        window->refreshStatus();
        window->refreshStatus(); // a further loss is silent (an unexpected box fails cleanup)
        QCOMPARE(window->windowTitle(), QStringLiteral("HALVO-GUI 1.0: Not connected"));
        QVERIFY(SimBoard::calls("HalvoGetBatteryInfo").isEmpty());
        QVERIFY(!anyTimerActive());
    }

    void tickFinishesWithoutReArmingAfterALoss()
    {
        start();
        QVERIFY(QMetaObject::invokeMethod(window.get(), "refreshTimer_timeout"));
        QVERIFY(child<QTimer>(window.get(), "refreshTimer")->isActive());
        boxes->answer();
        SimBoard::patch(R"({"online": false})");
        QVERIFY(QMetaObject::invokeMethod(window.get(), "refreshTimer_timeout"));
        QVERIFY(!anyTimerActive());
        QTest::qWait(1100);
        QCOMPARE(boxes->texts(), QStringList({lostMessage}));
    }
};

QTEST_MAIN(StatusTest)
#include "test_status.moc"
