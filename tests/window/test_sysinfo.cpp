// The pages that describe the board, loaded when the window starts, and the
// EEPROM storage group.
#include "HStation.h"
#include "findwidget.h"
#include "messageboxes.h"
#include "resources.h"
#include "simboard.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QTreeWidget>
#include <QtTest>
#include <dlfcn.h>
#include <memory>
#include <optional>

// A storage size the simulated board cannot report: when set, the window's
// size queries see it instead of the board's answer.
static std::optional<int32_t> fakeStorageSize;

extern "C" int32_t HalvoGetStorageSize(int32_t handle, int32_t storage, int32_t *size)
{
    using Function = int32_t (*)(int32_t, int32_t, int32_t *);
    static const auto real = reinterpret_cast<Function>(dlsym(RTLD_NEXT, "HalvoGetStorageSize"));
    if (!fakeStorageSize)
        return real(handle, storage, size);
    *size = *fakeStorageSize;
    return 0;
}

namespace
{

// A board whose every value on these pages is known to the tests.
const char *const KnownBoard = R"({
  "boardInfo": {"manufacturer": "Halvo Systems", "boardName": "HVB-T1", "version": "1.2",
                "serialNumber": "SN-42", "biosRevision": "R7", "biosDate": "2026-01-02"},
  "cpu": {"name": "Halvo  Dual Core   @ 1.60GHz", "cpuCount": 1, "coreCount": 2, "threadCount": 4,
          "maxCoreSpeedMHz": 1833.3333, "fsbSpeedMHz": 667, "l1CacheKB": 32, "l2CacheKB": 512, "l3CacheKB": 0},
  "memory": {"totalSizeMB": 3072, "freeSizeMB": 1500, "speedMHz": 800, "type": "DDR3"},
  "memoryModules": [{"sizeMB": 1024, "manufacturer": "M1", "partNumber": "P1", "serialNumber": "S1"},
                    {"sizeMB": 2048, "manufacturer": "M2", "partNumber": "P2", "serialNumber": "S2"}],
  "networkDevices": [{"name": "eth0", "ipAddress": "10.1.2.3", "macAddress": "00:11:22:33:44:55", "speedMbit": 1000},
                     {"name": "eth1", "ipAddress": "10.9.9.9", "macAddress": "00:11:22:33:44:66", "speedMbit": 100}],
  "pciDevices": [{"domain": 0, "bus": 26, "device": 31, "function": 3, "classCode": 262912,
                  "vendorName": "Halvo Corp.", "className": "Audio device", "deviceName": "HD Audio"},
                 {"domain": 0, "bus": 0, "device": 2, "function": 0, "classCode": 196608,
                  "vendorName": "V2", "className": "VGA", "deviceName": "Graphics"}],
  "bootCounter": 17,
  "storages": [{"sizeBytes": 100, "content": "The quick brown fox jumps over the lazy dog"},
               {"sizeBytes": 8, "content": "eight by"}]
})";

QString text(const QObject *root, const char *label)
{
    return child<QLabel>(root, label)->text();
}

QStringList items(const QComboBox *box)
{
    QStringList entries;
    for (int i = 0; i < box->count(); ++i)
        entries << box->itemText(i);
    return entries;
}

QStringList treeLines(const QTreeWidget *tree)
{
    QStringList lines;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = tree->topLevelItem(i);
        lines << item->text(0);
        for (int c = 0; c < item->childCount(); ++c)
            lines << QStringLiteral("  ") + item->child(c)->text(0);
    }
    return lines;
}

} // namespace

class SysInfoTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<HStation> window;
    std::unique_ptr<MessageBoxes> boxes;

    // The board is described first: the window loads it while being built.
    void start(const QString &patch = QString())
    {
        SimBoard::patch(QString::fromLatin1(KnownBoard));
        if (!patch.isEmpty())
            SimBoard::patch(patch);
        window = std::make_unique<HStation>();
    }

    QString contentTitle() const { return child<QGroupBox>(window.get(), "groupBox_17")->title(); }
    QString content() const { return child<QTextEdit>(window.get(), "textEdit_2")->toPlainText(); }

    void write(const QString &offset, const QString &data)
    {
        child<QLineEdit>(window.get(), "lineEdit_4")->setText(offset);
        child<QLineEdit>(window.get(), "lineEdit_14")->setText(data);
        child<QPushButton>(window.get(), "pushButton_4")->click();
    }

private slots:
    void initTestCase() { initHalvoResources(); }

    void init()
    {
        SimBoard::reset();
        fakeStorageSize.reset();
        boxes = std::make_unique<MessageBoxes>();
    }

    void cleanup()
    {
        window.reset();
        QVERIFY2(boxes->unexpectedTexts().isEmpty(), qPrintable(boxes->unexpectedTexts().join(" | ")));
        boxes.reset();
    }

    void showsTheBoardWithUnits()
    {
        start();
        QCOMPARE(window->windowTitle(), QStringLiteral("HALVO-GUI 1.0: HVB-T1 - 10.1.2.3"));
        QCOMPARE(text(window.get(), "label_2"), QStringLiteral("HVB-T1"));
        QCOMPARE(text(window.get(), "label_3"), QStringLiteral("Halvo Systems"));
        QCOMPARE(text(window.get(), "label_9"), QStringLiteral("10.1.2.3"));
        QCOMPARE(text(window.get(), "label_6"), QStringLiteral("Halvo Dual Core "));
        QCOMPARE(text(window.get(), "label_39"), QStringLiteral("Halvo Dual Core "));
        QCOMPARE(text(window.get(), "label_34"), QStringLiteral("1833.33 MHz"));
        QCOMPARE(text(window.get(), "label_44"), QStringLiteral("667 MHz"));
        QCOMPARE(text(window.get(), "label_48"), QStringLiteral("512 kB"));
        QCOMPARE(text(window.get(), "label_42"), QStringLiteral("4"));
        QCOMPARE(text(window.get(), "label_24"), QStringLiteral("SN-42"));
        QCOMPARE(text(window.get(), "label_20"), QStringLiteral("2026-01-02"));
        QCOMPARE(text(window.get(), "label_51"), QStringLiteral("3072 MB"));
        QCOMPARE(text(window.get(), "label_53"), QStringLiteral("800 MHz"));
        QCOMPARE(text(window.get(), "label_57"), QStringLiteral("DDR3"));
        QCOMPARE(text(window.get(), "label_59"), QStringLiteral("3072 MB"));
        QCOMPARE(text(window.get(), "label_14"), QStringLiteral("17"));
    }

    void treesAndPciTextListTheDevices()
    {
        start();
        QCOMPARE(treeLines(child<QTreeWidget>(window.get(), "treeWidget_4")),
                 QStringList({"Module 0", "  Module size: 1024 MB", "  Manufacturer: M1", "  Part number: P1",
                              "  Serial number: S1", "Module 1", "  Module size: 2048 MB", "  Manufacturer: M2",
                              "  Part number: P2", "  Serial number: S2"}));
        auto *network = child<QTreeWidget>(window.get(), "treeWidget_2");
        QCOMPARE(treeLines(network).mid(0, 4), QStringList({"eth0", "  IP Address: 10.1.2.3",
                                                            "  MAC Address: 00:11:22:33:44:55", "  Speed: 1000 Mb"}));
        QVERIFY(network->topLevelItem(1)->font(0).bold());
        QVERIFY(network->topLevelItem(1)->isExpanded());

        auto *pci = child<QTextEdit>(window.get(), "textEdit");
        QCOMPARE(pci->toPlainText(), QStringLiteral("0:1a:1f.3 HD Audio\n  40300 Audio device\n  Halvo Corp.\n\n"
                                                    "0:0:2.0 Graphics\n  30000 VGA\n  V2\n"));
        QCOMPARE(pci->textCursor().position(), 0);
        QVERIFY(pci->isReadOnly());
    }

    void titleWithoutBoardInfoGoesStraightToTheAddress()
    {
        SimBoard::forceStatus("HalvoGetBoardInfo", 0x00030000);
        start();
        QCOMPARE(window->windowTitle(), QStringLiteral("HALVO-GUI 1.0: 10.1.2.3"));
        QCOMPARE(text(window.get(), "label_2"), QStringLiteral("Not available"));
    }

    void titleWithoutNetworkListEndsAfterTheBoardName()
    {
        SimBoard::forceStatus("HalvoGetNetworkDeviceList", 0x00030000);
        start();
        QCOMPARE(window->windowTitle(), QStringLiteral("HALVO-GUI 1.0: HVB-T1 - "));
        QCOMPARE(text(window.get(), "label_9"), QStringLiteral("Not available"));
        QCOMPARE(child<QTreeWidget>(window.get(), "treeWidget_2")->topLevelItemCount(), 0);
    }

    // 16 is success for the information and list reads that allow it, and a
    // failure for every other read of the load.
    void statusSixteenIsSuccessOnlyWhereAllowed_data()
    {
        QTest::addColumn<QString>("function");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("shownOnSixteen");
        QTest::newRow("cpu info") << "HalvoGetCpuInfo"
                                  << "label_32"
                                  << "1";
        QTest::newRow("board info") << "HalvoGetBoardInfo"
                                    << "label_28"
                                    << "HVB-T1";
        QTest::newRow("network list") << "HalvoGetNetworkDeviceList"
                                      << "label_9"
                                      << "10.1.2.3";
        QTest::newRow("memory info") << "HalvoGetMemoryInfo"
                                     << "label_51"
                                     << "Not available";
        QTest::newRow("module count") << "HalvoGetMemoryModuleCount"
                                      << "label_59"
                                      << "Not available";
        QTest::newRow("network count") << "HalvoGetNetworkDeviceCount"
                                       << "label_9"
                                       << "Not available";
        QTest::newRow("boot counter") << "HalvoGetBootCounter"
                                      << "label_14"
                                      << "Not available";
    }

    void statusSixteenIsSuccessOnlyWhereAllowed()
    {
        QFETCH(QString, function);
        QFETCH(QString, label);
        QFETCH(QString, shownOnSixteen);
        SimBoard::forceStatus(function.toLatin1().constData(), 16);
        start();
        QCOMPARE(text(window.get(), label.toLatin1().constData()), shownOnSixteen);
    }

    void sixteenOnPciAndBatteryListsStillShows()
    {
        SimBoard::forceStatus("HalvoGetPciDeviceList", 16);
        SimBoard::forceStatus("HalvoGetBatteryInfo", 16);
        start(R"({"batteries": [{"name": "BAT0", "fullCapacityMilliAmpHours": 2200}]})");
        QVERIFY(child<QTextEdit>(window.get(), "textEdit")->toPlainText().startsWith("0:1a:1f.3 HD Audio"));
        QCOMPARE(text(window.get(), "label_69"), QStringLiteral("BAT0"));
        QCOMPARE(text(window.get(), "label_227"), QStringLiteral("2200 mAh"));
    }

    void failedStepLeavesItsWidgetsAndLaterStepsStillRun()
    {
        SimBoard::forceStatus("HalvoGetCpuInfo", 0x00040000);
        SimBoard::forceStatus("HalvoGetMemoryInfo", 0x00040000);
        start();
        QCOMPARE(text(window.get(), "label_6"), QStringLiteral("Not available"));
        QCOMPARE(text(window.get(), "label_39"), QStringLiteral("Not available"));
        QCOMPARE(text(window.get(), "label_34"), QStringLiteral("Not available"));
        QCOMPARE(text(window.get(), "label_51"), QStringLiteral("Not available"));
        QCOMPARE(text(window.get(), "label_2"), QStringLiteral("HVB-T1"));
        QCOMPARE(text(window.get(), "label_14"), QStringLiteral("17"));
        QCOMPARE(contentTitle(), QStringLiteral("Content (100 bytes)"));
    }

    void moduleTotalCountsOnlyModulesThatAnswered()
    {
        SimBoard::forceStatus("HalvoGetMemoryModuleInfo", 0x00040000, 1);
        start();
        QCOMPARE(treeLines(child<QTreeWidget>(window.get(), "treeWidget_4")).first(), QStringLiteral("Module 1"));
        QCOMPARE(text(window.get(), "label_59"), QStringLiteral("2048 MB"));
    }

    void noModulesGiveZeroAndAFailedCountLeavesTheTotal()
    {
        start(R"({"memoryModules": []})");
        QCOMPARE(text(window.get(), "label_59"), QStringLiteral("0 MB"));
        QCOMPARE(child<QTreeWidget>(window.get(), "treeWidget_4")->topLevelItemCount(), 0);
        window.reset();

        SimBoard::forceStatus("HalvoGetMemoryModuleCount", 0x00040000);
        start();
        QCOMPARE(text(window.get(), "label_59"), QStringLiteral("Not available"));
        QVERIFY(SimBoard::calls("HalvoGetMemoryModuleInfo").isEmpty());
    }

    void textsFillingAll128BytesAreShownWhole()
    {
        const QString longName(128, QLatin1Char('N'));
        start(QStringLiteral(R"({"boardInfo": {"boardName": "%1", "manufacturer": "%2"}})")
                  .arg(longName, QString(128, QLatin1Char('M'))));
        QCOMPARE(text(window.get(), "label_2"), longName);
        QCOMPARE(text(window.get(), "label_3"), QString(128, QLatin1Char('M')));
    }

    void gpioRangesCoverEveryPinInGroupsOfEight_data()
    {
        QTest::addColumn<QString>("patch");
        QTest::addColumn<int>("pinCount");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("16 pins") << "" << 16 << QStringList({"0 - 7", "8 - 15"});
        QTest::newRow("12 pins") << "" << 12 << QStringList({"0 - 7", "8 - 15"});
        QTest::newRow("17 pins") << "" << 17 << QStringList({"0 - 7", "8 - 15", "16 - 23"});
        QTest::newRow("no pins") << "" << 0 << QStringList({"  ---"});
        QTest::newRow("count fails") << R"({"callStatus": {"HalvoGpioGetCount": "unsupported"}})" << 16
                                     << QStringList({"---"});
    }

    void gpioRangesCoverEveryPinInGroupsOfEight()
    {
        QFETCH(QString, patch);
        QFETCH(int, pinCount);
        QFETCH(QStringList, entries);
        // The pin set is replaced whole: null removes a key in a patch.
        SimBoard::patch(QStringLiteral(R"({"gpio": null})"));
        SimBoard::patch(QStringLiteral(R"({"gpio": {"pinCount": %1}})").arg(pinCount));
        start(patch);
        QCOMPARE(items(child<QComboBox>(window.get(), "comboBox_9")), entries);
    }

    void storageListAndFirstContent()
    {
        start();
        QCOMPARE(items(child<QComboBox>(window.get(), "comboBox_10")), QStringList({"0", "1"}));
        QCOMPARE(contentTitle(), QStringLiteral("Content (100 bytes)"));
        QCOMPARE(content(), QStringLiteral("The quick brown fox "));
        QVERIFY(child<QTextEdit>(window.get(), "textEdit_2")->isReadOnly());

        child<QComboBox>(window.get(), "comboBox_10")->setCurrentIndex(1);
        QCOMPARE(contentTitle(), QStringLiteral("Content (8 bytes)"));
        QCOMPARE(content(), QStringLiteral("eight by"));
        QVERIFY(SimBoard::calls().contains("HalvoStorageRead(0, 1, 0, *, 8) -> 0"));
    }

    void storageContentEdgeCases_data()
    {
        QTest::addColumn<QString>("storage");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty storage") << R"({"sizeBytes": 0})"
                                       << "Content (0 bytes)"
                                       << "";
        QTest::newRow("starts with 0 byte") << R"({"sizeBytes": 8, "contentHex": "0041424344"})"
                                            << "Content (8 bytes)"
                                            << "";
        QTest::newRow("0 byte inside") << R"({"sizeBytes": 8, "contentHex": "4142004344"})"
                                       << "Content (8 bytes)"
                                       << "AB";
        QTest::newRow("markup stays text") << R"({"sizeBytes": 8, "content": "<b>x</b>"})"
                                           << "Content (8 bytes)"
                                           << "<b>x</b>";
    }

    void storageContentEdgeCases()
    {
        QFETCH(QString, storage);
        QFETCH(QString, title);
        QFETCH(QString, shown);
        start(QStringLiteral(R"({"storages": [%1]})").arg(storage));
        QCOMPARE(contentTitle(), title);
        QCOMPARE(content(), shown);
    }

    void refreshRereadsTheChosenStorageAndReportsFailures()
    {
        start();
        SimBoard::patch(R"({"storages": [{"sizeBytes": 100, "content": "changed"}, {"sizeBytes": 8}]})");
        child<QPushButton>(window.get(), "pushButton_6")->click();
        QCOMPARE(content(), QStringLiteral("changed"));

        SimBoard::forceStatus("HalvoGetStorageSize", 0x00040000, 1);
        child<QPushButton>(window.get(), "pushButton_6")->click();
        QCOMPARE(contentTitle(), QStringLiteral("Content - cannot access EEPROM"));
        QCOMPARE(content(), QStringLiteral("changed"));

        boxes->answer();
        SimBoard::forceStatus("HalvoStorageRead", 0x00040000, 1);
        child<QPushButton>(window.get(), "pushButton_6")->click();
        QCOMPARE(boxes->texts(), QStringList({"Cannot read from EEPROM storage"}));
        QCOMPARE(contentTitle(), QStringLiteral("Content (100 bytes)"));
        QCOMPARE(content(), QString());
    }

    void readFailureWhileLoadingIsReported()
    {
        boxes->answer().answer();
        SimBoard::forceStatus("HalvoStorageRead", 0x00040000);
        start();
        // Filling the list refreshes storage 0, then the load reads it itself.
        QCOMPARE(boxes->texts(), QStringList({"Cannot read from EEPROM storage", "Cannot read from EEPROM storage"}));
    }

    void negativeSizeReadsNothingButIsShown()
    {
        fakeStorageSize = -5;
        start();
        QCOMPARE(contentTitle(), QStringLiteral("Content (-5 bytes)"));
        QVERIFY(SimBoard::calls("HalvoStorageRead").filter(", -").isEmpty());
        QVERIFY(SimBoard::calls().contains("HalvoStorageRead(0, 0, 0, *, 0) -> 0"));
    }

    void writeChecksTheTwentyByteWindow_data()
    {
        QTest::addColumn<QString>("offset");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing to write") << "0"
                                          << ""
                                          << "No data to write";
        QTest::newRow("20 at 0") << "0" << QString(20, 'x') << "Data written to EEPROM storage";
        QTest::newRow("20 at 1") << "1" << QString(20, 'x') << "Only first 20 bytes are accessible in HALVO-GUI 1.0";
        QTest::newRow("21 at 0") << "0" << QString(21, 'x') << "Only first 20 bytes are accessible in HALVO-GUI 1.0";
        QTest::newRow("huge offset") << "2147483647"
                                     << "x"
                                     << "Only first 20 bytes are accessible in HALVO-GUI 1.0";
    }

    void writeChecksTheTwentyByteWindow()
    {
        QFETCH(QString, offset);
        QFETCH(QString, data);
        QFETCH(QString, message);
        start();
        SimBoard::clearCalls();
        boxes->answer();
        write(offset, data);
        QCOMPARE(boxes->texts(), QStringList(message));
        QCOMPARE(SimBoard::calls("HalvoStorageWrite").size(), message.startsWith("Data written") ? 1 : 0);
    }

    void writtenTextShowsAtOnce()
    {
        start();
        boxes->answer();
        write("4", "QUICK");
        QVERIFY(SimBoard::calls().contains("HalvoStorageWrite(0, 0, 4, \"515549434b\", 5) -> 0"));
        QCOMPARE(content(), QStringLiteral("The QUICK brown fox "));
    }

    void offsetOfLettersWritesAtZeroAndNonLatin1BecomesQuestionMarks()
    {
        start();
        boxes->answer();
        write("abc", QString::fromUtf8("Ω1"));
        QVERIFY(SimBoard::calls().contains("HalvoStorageWrite(0, 0, 0, \"3f31\", 2) -> 0"));
        QCOMPARE(content(), QStringLiteral("?1e quick brown fox "));
    }

    void failedWriteIsReportedAndNotReread()
    {
        start();
        SimBoard::forceStatus("HalvoStorageWrite", 0x00040000);
        SimBoard::clearCalls();
        boxes->answer();
        write("0", "abc");
        QCOMPARE(boxes->texts(), QStringList({"Cannot write to EEPROM storage"}));
        QVERIFY(SimBoard::calls("HalvoGetStorageSize").isEmpty());
    }

    void withoutStoragesTheDashEntryUsesStorageZero()
    {
        start(R"({"callStatus": {"HalvoGetStorageCount": "unsupported"}})");
        QCOMPARE(items(child<QComboBox>(window.get(), "comboBox_10")), QStringList({"---"}));
        QVERIFY(SimBoard::calls("HalvoGetStorageSize").contains("HalvoGetStorageSize(0, 0, *) -> 0"));
        boxes->answer();
        write("0", "z");
        QVERIFY(SimBoard::calls("HalvoStorageWrite").first().startsWith("HalvoStorageWrite(0, 0, 0, "));
    }
};

QTEST_MAIN(SysInfoTest)
#include "test_sysinfo.moc"
