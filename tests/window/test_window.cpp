// The window as its constructor leaves it, the Settings tab, the Connect
// dialog and connection sequence, the connection-loss check, the pages that
// describe the board, the periodic status refresh and the EEPROM storage.
#include "windowtest.h"

#include <map>
#include <qwt_dial.h>

// Answers the simulated board cannot give (any battery state, any CPU
// frequency), and a look at the window while the old handle closes.
HALVO_FAKE(HalvoLibUnInitialize, (int32_t h), (h))
HALVO_FAKE(HalvoGetBatteryState, (int32_t h, int32_t battery, BatteryState *state), (h, battery, state))
HALVO_FAKE(HalvoGetCpuFreq, (int32_t h, int32_t kind, int32_t *khz), (h, kind, khz))

namespace
{

const QString Remote = QStringLiteral("192.0.2.20");
const QString RemoteTitle = QStringLiteral("HALVO-GUI 1.0: HVB-1210 - 192.0.2.20");
const QString LostTitle = QStringLiteral("HALVO-GUI 1.0: Not connected");
const QString LostMessage = QStringLiteral("Connection failed, please try to connect again...");

const char *const KnownBoard = R"({"bootCounter": 17,
  "boardInfo": {"manufacturer": "Halvo Systems", "boardName": "HVB-T1", "serialNumber": "SN-42",
                "biosRevision": "Caf\u00e9 \u00b5P", "biosDate": "2026-01-02"},
  "cpu": {"name": "Halvo@Dual\n  Core   @ 1.60GHz", "cpuCount": 1, "threadCount": 4, "maxCoreSpeedMHz": 1833.3333,
          "fsbSpeedMHz": 667, "l2CacheKB": 512},
  "memory": {"totalSizeMB": 3072, "freeSizeMB": 1500, "speedMHz": 800, "type": "DDR3"},
  "memoryModules": [{"sizeMB": 1024}, {"sizeMB": 2048, "manufacturer": "M2", "partNumber": "P2", "serialNumber": "S2"}],
  "networkDevices": [{"name": "eth0", "ipAddress": "10.1.2.3"},
                     {"name": "eth1", "ipAddress": "10.9.9.9", "macAddress": "00:11:22:33:44:66", "speedMbit": 100}],
  "pciDevices": [{"bus": 26, "device": 31, "function": 3, "classCode": 262912, "vendorName": "Halvo Corp.",
                  "className": "Audio device", "deviceName": "HD Audio"},
                 {"device": 2, "classCode": 196608, "vendorName": "V2", "className": "VGA", "deviceName": "Graphics"}],
  "batteries": [{"name": "BAT0", "fullCapacityMilliAmpHours": 2200}],
  "storages": [{"sizeBytes": 100, "content": "The quick brown fox jumps"}, {"sizeBytes": 8, "content": "eight by"}]
})";
const QString FullTitle = QStringLiteral("HALVO-GUI 1.0: HVB-T1 - 10.1.2.3");

QStringList treeLines(const QTreeWidget *tree)
{
    QStringList lines;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        lines << tree->topLevelItem(i)->text(0);
        for (int c = 0; c < tree->topLevelItem(i)->childCount(); ++c)
            lines << QStringLiteral("  ") + tree->topLevelItem(i)->child(c)->text(0);
    }
    return lines;
}

} // namespace

class WindowPagesTest : public WindowTest
{
    Q_OBJECT

    // "1" or "0" for the refresh, graph and GPIO timers, running or not.
    QString timers() const
    {
        QString running;
        for (const char *name : {"refreshTimer", "graphRefreshTimer", "gpioRefreshTimer"})
            running += get<QTimer>(name)->isActive() ? '1' : '0';
        return running;
    }

    void startKnown(const QString &patch = QString())
    {
        SimBoard::patch(QString::fromLatin1(KnownBoard));
        start(patch);
    }
    QString contentTitle() const { return get<QGroupBox>("groupBox_17")->title(); }
    QString content() const { return get<QTextEdit>("textEdit_2")->toPlainText(); }
    void write(const QString &offset, const QString &data)
    {
        set("lineEdit_4", offset);
        set("lineEdit_14", data);
        click("pushButton_4");
    }

private slots:
    // A language change re-applies the form's texts: the value label goes back
    // to "1000" whatever the slider shows, and the title is emptied.
    void opensCentredOnTheFirstPagesWithTimersRunningAndFollowsALanguageChange()
    {
        start();
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(window->geometry(),
                 QRect((area.left() + area.right()) / 2 - 400, (area.top() + area.bottom()) / 2 - 202, 800, 405));
        // The form is saved with other pages current, the I2C commands too.
        for (const char *pages : {"tabWidget", "toolBox", "toolBox_2", "stackedWidget", "stackedWidget_3"})
            QVERIFY2(get(pages)->property("currentIndex") == 0, pages);
        QVERIFY(!window->windowIcon().isNull() && !get<QLabel>("label_37")->pixmap(Qt::ReturnByValue).isNull());
        QCOMPARE(timers(), "111"); // the demo board's fan speed and GPIO pins can be read
        get<QSlider>("horizontalSlider")->setValue(50);
        set("comboBox_2", "1");
        set("lineEdit", "0x50");
        QEvent change(QEvent::LanguageChange);
        QApplication::sendEvent(window.get(), &change);
        QCOMPARE(QStringList({window->windowTitle(), text("label_77"), get<QTabWidget>("tabWidget")->tabText(8),
                              get<QComboBox>("comboBox_2")->currentText(), get<QLineEdit>("lineEdit")->text()}),
                 QStringList({"", "1000", "Settings", "Rd", "0x00"}));
        QCOMPARE(get<QSlider>("horizontalSlider")->value(), 50);
    }

    // A slider shows its value at once but the timer keeps its pending
    // countdown; the new interval applies from the next re-arming.
    void intervalSlidersApplyAtTheNextArming()
    {
        start();
        for (const QStringList &slider : {QStringList{"horizontalSlider", "label_77", "refreshTimer"},
                                          {"horizontalSlider_2", "label_86", "graphRefreshTimer"},
                                          {"horizontalSlider_3", "label_125", "gpioRefreshTimer"}}) {
            auto *armed = get<QTimer>(qPrintable(slider[2]));
            get<QSlider>(qPrintable(slider[0]))->setValue(50);
            QCOMPARE(text(qPrintable(slider[1])) + '|' + QString::number(armed->interval() == 50), "50|0");
            invoke(qPrintable(slider[2] + "_timeout"));
            QVERIFY2(armed->isActive() && armed->interval() == 50, qPrintable(slider[0]));
        }
    }

    // ---- Connection

    // Cancel calls nothing; a failed attempt changes nothing.
    void failedAttemptsChangeNothingAndLossesAreCounted()
    {
        start();
        const QString title = window->windowTitle();
        SimBoard::clearCalls();
        ConnectionDlg *dialog = openDialog();
        QVERIFY(dialog->isVisible() && dialog->windowModality() == Qt::WindowModal &&
                child<QStackedWidget>(dialog, "stackedWidget")->currentIndex() == 0);
        QCOMPARE(child<QLineEdit>(dialog, "lineEdit")->text(), Remote);
        child<QAbstractButton>(dialog, "pushButton_2")->click();
        QVERIFY(SimBoard::calls().isEmpty() && !dialog->isVisible());
        dialog = connectTo(QStringLiteral("10.99.99.99"));
        QCOMPARE(SimBoard::calls().size(), 1);
        QCOMPARE(child<QLabel>(dialog, "label_5")->text(), QStringLiteral("Connection to 10.99.99.99 failed"));
        QCOMPARE(window->windowTitle() + timers(), title + "111");
        // The connection class is the upper half, and the counter never goes
        // negative. An agent's refusal (access) is no loss.
        boxes->answer();
        QString seen;
        for (int status : {1, 0x00020000, 0x00010000, 0x0001ffff, 0x00060000, 0x00030000, 0}) {
            seen += window->checkConnectionError(status) ? '1' : '0';
            seen += QString::number(window->connectionErrors());
        }
        QCOMPARE(seen, "00001112010000");
        QCOMPARE(boxes->texts, QStringList({LostMessage}));
    }

    // The tick stops where the loss shows and does not re-arm its timer. A
    // further loss is silent until a new connection, whose loss is announced.
    void firstLossIsAnnouncedOnceUntilANewConnection()
    {
        start();
        invoke("refreshTimer_timeout");
        QVERIFY(get<QTimer>("refreshTimer")->isActive());
        boxes->answer().answer();
        SimBoard::patch(R"({"online": false})");
        SimBoard::clearCalls();
        invoke("refreshTimer_timeout");
        QVERIFY(window->windowTitle() == LostTitle && timers() == "000" &&
                SimBoard::calls("HalvoGetBatteryInfo").isEmpty());
        window->refreshStatus();
        QCOMPARE(boxes->texts, QStringList({LostMessage}));
        connectTo(Remote);
        QCOMPARE(window->windowTitle() + timers().left(2), RemoteTitle + "11");
        SimBoard::patch(R"({"online": false})", Remote);
        window->refreshStatus();
        QCOMPARE(boxes->texts, QStringList({LostMessage, LostMessage}));
    }

    void showsTheBoardWithUnits()
    {
        // A text filling its whole 128-byte field has no NUL behind it.
        startKnown(QStringLiteral(R"({"boardInfo": {"serialNumber": "%1"}})").arg(QString(128, 'S')));
        QCOMPARE(window->windowTitle(), FullTitle);
        QCOMPARE(texts({"label_2", "label_3", "label_9", "label_6", "label_39", "label_34", "label_44", "label_48",
                        "label_42", "label_22", "label_20", "label_51", "label_54", "label_53", "label_57", "label_59",
                        "label_14", "label_24"}),
                 QStringList({"HVB-T1", "Halvo Systems", "10.1.2.3", "Halvo@Dual Core ", "Halvo@Dual Core ",
                              "1833.33 MHz", "667 MHz", "512 kB", "4", QString::fromUtf8("Café µP"), "2026-01-02",
                              "3072 MB", "1500 MB", "800 MHz", "DDR3", "3072 MB", "17", QString(128, 'S')}));
        QCOMPARE(treeLines(get<QTreeWidget>("treeWidget_4")).mid(5).join('|'),
                 "Module 1|  Module size: 2048 MB|  Manufacturer: M2|  Part number: P2|  Serial number: S2");
        auto *network = get<QTreeWidget>("treeWidget_2");
        QCOMPARE(treeLines(network).mid(4, 4), QStringList({"eth1", "  IP Address: 10.9.9.9",
                                                            "  MAC Address: 00:11:22:33:44:66", "  Speed: 100 Mb"}));
        QVERIFY(network->topLevelItem(1)->font(0).bold() && network->topLevelItem(1)->isExpanded() &&
                !network->topLevelItem(1)->child(0)->font(0).bold());
        auto *pci = get<QTextEdit>("textEdit");
        QCOMPARE(pci->toPlainText(), QStringLiteral("0:1a:1f.3 HD Audio\n  40300 Audio device\n  Halvo Corp.\n\n"
                                                    "0:0:2.0 Graphics\n  30000 VGA\n  V2\n"));
        QCOMPARE(pci->textCursor().position(), 0);
    }

    // Each read that fails leaves its own rows as they were and the load goes
    // on to its last step, the storage. 16 is success only for some reads.
    void failedReadLeavesItsRowsAndTheLoadGoesOn_data()
    {
        columns({"function", "status", "label", "shown", "title"});
        const QString noAddress = QStringLiteral("HALVO-GUI 1.0: HVB-T1 - ");
        row("board info fails", "HalvoGetBoardInfo", "device", "label_2", "Not available", "HALVO-GUI 1.0: 10.1.2.3");
        row("network list fails", "HalvoGetNetworkDeviceList", "device", "label_9", "Not available", noAddress);
        row("modules fail", "HalvoGetMemoryModuleInfo", "device", "label_59", "0 MB", FullTitle);
        row("cpu info 16", "HalvoGetCpuInfo", "partial", "label_32", "1", FullTitle);
        row("board info 16", "HalvoGetBoardInfo", "partial", "label_28", "HVB-T1", FullTitle);
        row("network list 16", "HalvoGetNetworkDeviceList", "partial", "label_9", "10.1.2.3", FullTitle);
        row("battery info 16", "HalvoGetBatteryInfo", "partial", "label_227", "2200 mAh", FullTitle);
        row("memory info 16", "HalvoGetMemoryInfo", "partial", "label_51", "Not available", FullTitle);
        row("module count 16", "HalvoGetMemoryModuleCount", "partial", "label_59", "Not available", FullTitle);
        row("network count 16", "HalvoGetNetworkDeviceCount", "partial", "label_9", "Not available", noAddress);
    }
    void failedReadLeavesItsRowsAndTheLoadGoesOn()
    {
        startKnown(QStringLiteral(R"({"callStatus": {"%1": "%2"}})").arg(cell("function"), cell("status")));
        QCOMPARE(text(qPrintable(cell("label"))) + '|' + window->windowTitle(), cell("shown") + '|' + cell("title"));
        QCOMPARE(contentTitle(), QStringLiteral("Content (100 bytes)"));
    }

    void gpioRangesCoverEveryPinInGroupsOfEight_data()
    {
        columns({"gpio", "entries"});
        row("16 pins", R"({"pinCount": 16})", "0 - 7|8 - 15");
        row("17 pins", R"({"pinCount": 17})", "0 - 7|8 - 15|16 - 23");
        row("no pins", R"({"pinCount": 0})", "  ---");
        row("count fails", R"({}, "callStatus": {"HalvoGpioGetCount": "unsupported"})", "---");
    }
    void gpioRangesCoverEveryPinInGroupsOfEight()
    {
        SimBoard::patch(QStringLiteral(R"({"gpio": null})")); // a patch cannot shrink the pin arrays
        start(QStringLiteral(R"({"gpio": %1})").arg(cell("gpio")));
        QCOMPARE(items("comboBox_9"), cell("entries"));
    }

    // The first 20 bytes, as text up to the first 0 byte.
    void storageContentIsTextOfItsFirstBytes_data()
    {
        columns({"storage", "title", "shown"});
        row("100 bytes", R"({"sizeBytes": 100, "content": "The quick brown fox jumps"})", "Content (100 bytes)",
            "The quick brown fox ");
        row("empty", R"({"sizeBytes": 0})", "Content (0 bytes)", "");
        row("starts with 0", R"({"sizeBytes": 8, "contentHex": "0041424344"})", "Content (8 bytes)", "");
        row("0 inside", R"({"sizeBytes": 8, "contentHex": "4142004344"})", "Content (8 bytes)", "AB");
        row("markup stays text", R"({"sizeBytes": 8, "content": "<b>x</b>"})", "Content (8 bytes)", "<b>x</b>");
    }
    void storageContentIsTextOfItsFirstBytes()
    {
        start(QStringLiteral(R"({"storages": [%1]})").arg(cell("storage")));
        QCOMPARE(contentTitle() + '|' + content(), cell("title") + '|' + cell("shown"));
    }

    void storageChoiceAndRefreshRereadAndReportFailures()
    {
        startKnown();
        set("comboBox_10", "1");
        QCOMPARE(items("comboBox_10") + '|' + contentTitle() + content(),
                 QStringLiteral("0|1|Content (8 bytes)eight by"));
        QVERIFY(SimBoard::calls().contains("HalvoStorageRead(0, 1, 0, *, 8) -> 0"));
        SimBoard::patch(R"({"storages": [{"sizeBytes": 100}, {"sizeBytes": 8, "content": "changed"}]})");
        click("pushButton_6");
        QCOMPARE(content(), QStringLiteral("changed"));

        SimBoard::forceStatus("HalvoGetStorageSize", 0x00040000, 1);
        click("pushButton_6");
        QCOMPARE(contentTitle() + content(), QStringLiteral("Content - cannot access EEPROMchanged"));
        boxes->answer().answer();
        SimBoard::forceStatus("HalvoStorageRead", 0x00040000, 1);
        click("pushButton_6");
        QCOMPARE(contentTitle() + content(), QStringLiteral("Content (8 bytes)"));
        SimBoard::forceStatus("HalvoStorageWrite", 0x00040000, 1);
        SimBoard::clearCalls();
        write("0", "abc");
        QCOMPARE(boxes->texts, QStringList({"Cannot read from EEPROM storage", "Cannot write to EEPROM storage"}));
        QVERIFY(SimBoard::calls("HalvoGetStorageSize").isEmpty()); // not reread after a failed write
        // Filling the list shows storage 0, then the load reads it itself;
        // without storages the single "---" entry stands for storage 0.
        boxes->answer().answer().answer();
        SimBoard::forceStatus("HalvoStorageRead", 0x00040000, 2);
        start();
        QCOMPARE(boxes->texts.mid(2),
                 QStringList({"Cannot read from EEPROM storage", "Cannot read from EEPROM storage"}));
        SimBoard::clearCalls();
        start(R"({"callStatus": {"HalvoGetStorageCount": "unsupported"}})");
        write("0", "z");
        QCOMPARE(items("comboBox_10") + '|' + SimBoard::arguments("HalvoGetStorageSize").section('|', 0, 0) + '|' +
                     SimBoard::arguments("HalvoStorageWrite"),
                 R"(---|0, 0, *|0, 0, 0, "7a", 1)");
    }

    void writeChecksTheTwentyByteWindowAndShowsTheNewContent_data()
    {
        columns({"offset", "data", "message", "written", "content"});
        const QString refused = QStringLiteral("Only first 20 bytes are accessible in HALVO-GUI 1.0");
        const QString done = QStringLiteral("Data written to EEPROM storage");
        const QString before = QStringLiteral("The quick brown fox ");
        const QString x20 = QString(20, 'x');
        row("nothing to write", "0", "", "No data to write", "", before);
        row("20 at 0", "0", x20, done, "0, 0, 0, \"" + QString("78").repeated(20) + "\", 20", x20);
        row("20 at 1", "1", x20, refused, "", before);
        row("21 at 0", "0", x20 + 'x', refused, "", before);
        row("5 at 4", "4", "QUICK", done, R"(0, 0, 4, "515549434b", 5)", "The QUICK brown fox ");
        row("letters are 0, non-Latin-1 is ?", "abc", QString::fromUtf8("Ω1"), done, R"(0, 0, 0, "3f31", 2)",
            "?1e quick brown fox ");
    }
    void writeChecksTheTwentyByteWindowAndShowsTheNewContent()
    {
        startKnown();
        SimBoard::clearCalls();
        boxes->answer();
        write(cell("offset"), cell("data"));
        QCOMPARE(boxes->texts, QStringList(cell("message")));
        QCOMPARE(SimBoard::arguments("HalvoStorageWrite"), cell("written"));
        QCOMPARE(content(), cell("content"));
    }

    // ---- Status refresh

    // A failed sensor list leaves its readings as they were.
    void driveTreeAndSensorsTabFollowTheBoard()
    {
        start(R"({"diskDrives": [{"name": "A", "model": "M", "serialNumber": "S", "sizeMB": 1024},
                                 {"name": "B", "sizeMB": 1025}],
                  "voltageSensors": [{"name": "+3.3V", "valueMilliVolt": 3300}], "fans": [{"name": "F", "duty": 0}]})");
        QCOMPARE(labelTexts("scrollArea").mid(0, 2) + labelTexts("scrollArea_2") + labelTexts("scrollArea_3"),
                 QStringList({"CPU", "Board", "+3.3V:   \t3.300 V\n", "F:   0 rpm"}));
        QCOMPARE(treeLines(get<QTreeWidget>("treeWidget")),
                 QStringList({"A", "  Model: M", "  Serial number: S", "  Size: 1024.00 MB", "B",
                              "  Model: ", "  Serial number: ", "  Size: 1.00 GB"}));
        SimBoard::patch(R"({"diskDrives": [{"name": "X"}, {"name": "Y"}], "diskPartitions": [],
                            "voltageSensors": [{"name": "+3.3V", "valueMilliVolt": 3000}]})");
        SimBoard::forceStatus("HalvoGetVoltageSensorList", 0x00040000, 1);
        window->refreshStatus(); // same drive count, partitions dropped to 0
        QCOMPARE(get<QTreeWidget>("treeWidget")->topLevelItem(0)->text(0) + labelTexts("scrollArea_2").value(0) +
                     QString::number(get<QTreeWidget>("treeWidget_3")->topLevelItemCount()),
                 "A+3.3V:   \t3.300 V\n3");
        SimBoard::patch(R"({"diskDrives": [{"name": "C"}]})");
        window->refreshStatus();
        QCOMPARE(treeLines(get<QTreeWidget>("treeWidget")).first(), QStringLiteral("C"));
        SimBoard::patch(R"({"diskDrives": [{"name": "D"}, {"name": "E"}]})");
        SimBoard::forceStatus("HalvoGetDiskDriveList", 0x00040000, 1);
        window->refreshStatus(); // a failed list keeps the new count: empty until it changes
        window->refreshStatus();
        QCOMPARE(get<QTreeWidget>("treeWidget")->topLevelItemCount(), 0);
    }

    // Battery states without texts of their own still show their values.
    void batteryTextsFollowKnownStatesAndFailures()
    {
        BatteryState state{2, 3725, 59, 2900, 11800, 1500, 70, 0};
        fakeHalvoGetBatteryState = [&state](int32_t, int32_t, BatteryState *out) { return *out = state, 0; };
        start();
        QCOMPARE(texts({"label_10", "label_175", "label_221", "label_231", "label_233", "label_224", "label_236",
                        "label_222"}),
                 QStringList({"Discharging", "Discharging", "Discharge Rate: ", "1 h 2 min 5 s", "0 h 0 min 59 s",
                              "2900 mAh of ", "11800 mV", "1500 mA"}));
        QCOMPARE(get<QProgressBar>("progressBar_2")->value(), 70);
        state = BatteryState{3, 0, 0, 0, 10900, 0, 40, 0};
        window->refreshStatus();
        QCOMPARE(texts({"label_10", "label_236"}) << QString::number(get<QProgressBar>("progressBar")->value()),
                 QStringList({"Discharging", "10900 mV", "40"}));
        state = BatteryState{0, 0, 0, 0, 0, 0, 0, 0};
        window->refreshStatus();
        QCOMPARE(get<QCheckBox>("checkBox_57")->text(), QStringLiteral("Plugged in, charging"));
        fakeHalvoGetBatteryState = nullptr;
        SimBoard::forceStatus("HalvoGetBatteryInfo", 0x00030000);
        SimBoard::forceStatus("HalvoGetBatteryState", 0x00030000);
        window->refreshStatus();
        QCOMPARE(texts({"label_68", "label_97", "label_10", "label_175", "label_221", "label_231"}),
                 QStringList({"Not available", "---", "No battery", "---", "Charge Rate: ", "---"}));
        QVERIFY(get<QProgressBar>("progressBar")->value() == 0 && !get<QCheckBox>("checkBox_57")->isChecked());
    }

    void intruderUpTimeAndCpuSpeedOnlyWhenCurrentAndMaximumArePositive()
    {
        std::map<int32_t, int32_t> khz = {{1, 1800000}, {2, 900500}}; // kind 1 maximum, 2 current; -1 fails
        fakeHalvoGetCpuFreq = [&khz](int32_t, int32_t kind, int32_t *out) {
            return khz[kind] < 0 ? 0x00030000 : (*out = khz[kind], 0);
        };
        start(R"({"intruderStatus": 1, "upTimeSeconds": 86461})");
        QCOMPARE(texts({"label_15", "label_169", "label_80", "label_184"}),
                 QStringList({"Case opened", "1 days 1 min 1 sec ", "Current CPU speed: 900 MHz", "50 %"}));
        QVERIFY(get<QwtDial>("Dial")->upperBound() == 1800 && get<QwtDial>("Dial")->value() == 900);
        // A board whose maximum changes gets a new scale; the same maximum
        // keeps it.
        for (int32_t maxKhz : {2400000, 2400000, 1800000}) {
            khz = {{1, maxKhz}, {2, 1200000}};
            window->refreshStatus();
            QVERIFY(get<QwtDial>("Dial")->upperBound() == maxKhz / 1000 && get<QwtDial>("Dial")->value() == 1200);
        }
        khz = {{1, 1800000}, {2, 900500}};
        window->refreshStatus();
        for (const auto &frequencies : {std::map<int32_t, int32_t>{{1, -1}, {2, 600000}}, {{1, 900000}, {2, 0}}}) {
            khz = frequencies;
            window->refreshStatus();
            QCOMPARE(texts({"label_80", "label_184"}), QStringList({"Current CPU speed: 900 MHz", "50 %"}));
        }
    }
};

QTEST_MAIN(WindowPagesTest)
#include "test_window.moc"
