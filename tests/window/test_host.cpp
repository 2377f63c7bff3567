// The window on the host backend, run on a copy of the embedded fixture
// machine (run-on-fixture embedded): its pages show the fixture's data, and
// the controls reach the fixture's files.
#include "windowtest.h"

namespace
{

// A file of the fixture copy, as the backend left it.
QString fixtureFile(const QString &path)
{
    QFile file(QString::fromLocal8Bit(qgetenv("HALVO_SYSROOT")) + path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QStringLiteral("(missing)");
}

const QString Hwmon = QStringLiteral("/sys/devices/platform/nct6775.656/hwmon/hwmon1/");

QStringList treeTops(const QTreeWidget *tree)
{
    QStringList tops;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        tops << tree->topLevelItem(i)->text(0);
    return tops;
}

} // namespace

class HostTest : public WindowTest
{
    Q_OBJECT

private slots:
    void pagesShowTheMachine()
    {
        start();
        QCOMPARE(texts({"label_28", "label_3", "label_24", "label_22", "label_51", "label_53", "label_57", "label_59",
                        "label_14", "label_32", "label_31"}),
                 QStringList({"HB-E3826", "Halvo Embedded", "HB1234567", "R1.05", "3850 MB", "1333 MHz", "DDR3",
                              "4096 MB", "1234", "1", "2"}));
        QVERIFY2(text("label_6").contains("E3826"), qPrintable(text("label_6")));
        QCOMPARE(treeTops(get<QTreeWidget>("treeWidget_2")), QStringList({"enp1s0", "enp2s0"}));
        QCOMPARE(treeTops(get<QTreeWidget>("treeWidget")), QStringList({"/dev/mmcblk0", "/dev/sda"}));
        QVERIFY(get<QTextEdit>("textEdit")->toPlainText().contains("Cannon Lake PCH SMBus Controller"));
        QCOMPARE(labelTexts("scrollArea_3"),
                 QStringList({"SYSFAN:   812 rpm", "CPU-Fan:   1250 rpm", "fan3:   0 rpm"}));
        QVERIFY2(labelTexts("scrollArea_2").value(0).startsWith("Vcore:"),
                 qPrintable(labelTexts("scrollArea_2").join('|')));
        QCOMPARE(items("comboBox_9"), "0 - 7");
        // Nothing written while loading.
        QCOMPARE(fixtureFile(Hwmon + "pwm2"), "153\n");
    }

    // Manual mode first, then the duty cycle.
    void aFanChangeWritesPwm()
    {
        start();
        click("radioButton");
        QCOMPARE(get<QSlider>("verticalSlider")->value(), 60);
        get<QSpinBox>("spinBox_2")->setValue(70);
        QCOMPARE(fixtureFile(Hwmon + "pwm2_enable"), "1");
        QCOMPARE(fixtureFile(Hwmon + "pwm2"), "178");
        QVERIFY(boxes->texts.isEmpty());
    }

    void aGpioFlipReachesTheChip()
    {
        start();
        set("comboBox_9", "0");
        QCOMPARE(get<QAbstractButton>("label_gpio_level_4")->text() + get<QAbstractButton>("label_gpio_dir_4")->text(),
                 "0OUT");
        click("label_gpio_level_4");
        QVERIFY2(fixtureFile("/dev/gpiochip0").contains("\n4 out 1 DO0 # held\n"),
                 qPrintable(fixtureFile("/dev/gpiochip0")));
        click("label_gpio_dir_0");
        QVERIFY(fixtureFile("/dev/gpiochip0").contains("\n0 out 1 DI0 # held\n"));
        QCOMPARE(get<QAbstractButton>("label_gpio_dir_0")->text(), "OUT");
    }
};

QTEST_MAIN(HostTest)
#include "test_host.moc"
