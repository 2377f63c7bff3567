// The small text formats the pages share.
#include "board/halvo.h"
#include "pages/format.h"

#include <QTextEdit>
#include <QTreeWidget>
#include <QtTest>
#include <cstring>

class FormatTest : public QObject
{
    Q_OBJECT

private slots:
    void cpuNameKeepsEverythingBeforeTheLastAt_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        QTest::newRow("clock dropped, blanks folded") << "Halvo  Atom(TM)   @ 1.80GHz"
                                                      << "Halvo Atom(TM) ";
        QTest::newRow("no at: whole name, blanks folded") << "Core\t i7   9700"
                                                          << "Core i7 9700";
        QTest::newRow("two ats: up to the second") << "A@B  @C"
                                                   << "A@B ";
        QTest::newRow("starts with at") << "@2GHz"
                                        << "";
        QTest::newRow("line breaks are white space") << "Dual\nCore @ 1GHz"
                                                     << "Dual Core ";
    }

    void cpuNameKeepsEverythingBeforeTheLastAt()
    {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        QCOMPARE(cleanCpuName(name), shown);
    }

    void generalNumberUsesSixSignificantDigits()
    {
        QCOMPARE(generalNumber(1800.0), QStringLiteral("1800"));
        QCOMPARE(generalNumber(1833.3333), QStringLiteral("1833.33"));
        QCOMPARE(generalNumber(45.5), QStringLiteral("45.5"));
        QCOMPARE(generalNumber(12345678.0), QStringLiteral("1.23457e+07"));
    }

    void pciDeviceGivesThreeParagraphsInLowercaseHex()
    {
        PciDeviceInfo device = {};
        device.domain = 0;
        device.bus = 0x1a;
        device.device = 0x1f;
        device.function = 3;
        device.value2 = 0x40300;
        std::strcpy(device.text1, "Halvo Corp.");
        std::strcpy(device.text2, "Audio device");
        std::strcpy(device.text3, "HD Audio");
        QCOMPARE(pciDeviceParagraphs(device),
                 QStringList({"0:1a:1f.3 HD Audio", "  40300 Audio device", "  Halvo Corp.\n"}));
    }

    void pciTextsFillingTheirFieldsStayInsideThem()
    {
        PciDeviceInfo device = {};
        std::memset(device.text1, 'v', sizeof device.text1);
        std::memset(device.text2, 'c', sizeof device.text2);
        std::memset(device.text3, 'd', sizeof device.text3);
        const QStringList paragraphs = pciDeviceParagraphs(device);
        QCOMPARE(paragraphs.at(0), QStringLiteral("0:0:0.0 ") + QString(128, 'd'));
        QCOMPARE(paragraphs.at(2), QStringLiteral("  ") + QString(128, 'v') + QLatin1Char('\n'));
    }

    void appendedParagraphsArePlainText()
    {
        QTextEdit edit;
        appendPlainParagraph(&edit, QStringLiteral("<b>bold?</b>"));
        appendPlainParagraph(&edit, QStringLiteral("second"));
        QCOMPARE(edit.toPlainText(), QStringLiteral("<b>bold?</b>\nsecond"));
        QCOMPARE(edit.document()->blockCount(), 2);
    }

    // Both directions truncate toward zero.
    void fanSpeedConvertsBetweenPercentAndByte_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<int>("speed");
        QTest::newRow("stopped") << 0 << 0;
        QTest::newRow("59 % truncates down") << 59 << 150;
        QTest::newRow("60 %") << 60 << 153;
        QTest::newRow("full") << 100 << 255;
    }

    void fanSpeedConvertsBetweenPercentAndByte()
    {
        QFETCH(int, percent);
        QFETCH(int, speed);
        QCOMPARE(int(fanPercentToByte(percent)), speed);
    }

    void fanByteReadsBackAsTruncatedPercent()
    {
        QCOMPARE(fanByteToPercent(0), 0);
        QCOMPARE(fanByteToPercent(128), 50);
        QCOMPARE(fanByteToPercent(150), 58);
        QCOMPARE(fanByteToPercent(255), 100);
    }

    // A percentage outside the page's range must not wrap around the byte.
    void fanPercentOutsideItsRangeIsClamped()
    {
        QCOMPARE(int(fanPercentToByte(101)), 255);
        QCOMPARE(int(fanPercentToByte(-1)), 0);
    }

    // Above 1024 MB in GB, 1024 itself in MB; zero hours and minutes of a
    // battery time are written, zero days and hours of an up-time are not.
    void statusSizesAndTimes()
    {
        QCOMPARE(QStringList({sizeText(512), sizeText(1024), sizeText(1536), sizeText(2048), sizeText(4294967295u)}),
                 QStringList({"512.00 MB", "1024.00 MB", "1.50 GB", "2.00 GB", "4194304.00 GB"}));
        QCOMPARE(QStringList({batteryTimeText(3725), batteryTimeText(59)}),
                 QStringList({"1 h 2 min 5 s", "0 h 0 min 59 s"}));
        QCOMPARE(QStringList({upTimeText(59), upTimeText(3600), upTimeText(86400), upTimeText(90061)}),
                 QStringList(
                     {"0 min 59 sec ", "1 hours 0 min 0 sec ", "1 days 0 min 0 sec ", "1 days 1 hours 1 min 1 sec "}));
        QCOMPARE(voltageSensorText("+3.3V", 3300) + fanSpeedText("F", 4294967295u),
                 QStringLiteral("+3.3V:   \t3.300 V\nF:   4294967295 rpm"));
    }

    void treeItemIsFontedExpandedWithDetails()
    {
        QTreeWidget tree;
        QFont bold;
        bold.setWeight(QFont::Bold);
        addInfoTreeItem(&tree, QStringLiteral("eth0"), bold, {QStringLiteral("IP Address: 1"), QStringLiteral("x")});
        QTreeWidgetItem *item = tree.topLevelItem(0);
        QCOMPARE(item->text(0), QStringLiteral("eth0"));
        QVERIFY(item->font(0).bold());
        QVERIFY(item->isExpanded());
        QCOMPARE(item->childCount(), 2);
        QCOMPARE(item->child(0)->text(0), QStringLiteral("IP Address: 1"));
        QVERIFY(!item->child(0)->font(0).bold());
    }
};

QTEST_MAIN(FormatTest)
#include "test_format.moc"
