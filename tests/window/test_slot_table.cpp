// The window's slots: the by-name connections depend on their exact names and
// signatures, and the form connects to the others by signature.
#include "HStation.h"
#include "resources.h"
#include "simboard.h"

#include <QMetaMethod>
#include <QtTest>

namespace
{

QStringList warnings;

void recordWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        warnings << message;
}

} // namespace

class SlotTableTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initHalvoResources(); }

    void windowDeclaresExactlyTheSlotTableInOrder()
    {
        const QMetaObject &meta = HStation::staticMetaObject;
        QStringList declared;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
            if (meta.method(i).methodType() == QMetaMethod::Slot)
                declared << QString::fromLatin1(meta.method(i).methodSignature());

        const QStringList expected =
            QStringLiteral(
                "on_pushButton_6_clicked() on_pushButton_21_clicked() on_pushButton_20_clicked() "
                "on_horizontalSlider_4_valueChanged(int) on_horizontalSlider_4_sliderReleased() "
                "on_pushButton_2_clicked() "
                "system_power_state_change() on_horizontalSlider_3_valueChanged(int) on_pushButton_19_clicked() "
                "on_pushButton_17_clicked() on_pushButton_16_clicked() on_pushButton_15_clicked() "
                "on_pushButton_14_clicked() on_pushButton_18_clicked() on_pushButton_12_clicked() "
                "on_pushButton_11_clicked() on_pushButton_3_clicked() refreshTimer_timeout() wdTimer_timeout() "
                "graphRefreshTimer_timeout() gpioRefreshTimer_timeout() on_radioButton_6_toggled(bool) "
                "on_radioButton_5_toggled(bool) on_radioButton_4_toggled(bool) on_radioButton_3_toggled(bool) "
                "on_radioButton_16_toggled(bool) on_radioButton_17_toggled(bool) on_verticalSlider_valueChanged(int) "
                "on_spinBox_3_valueChanged(int) on_pushButton_clicked() on_radioButton_2_clicked() "
                "on_radioButton_clicked() on_pushButton_8_clicked() on_pushButton_7_clicked() "
                "on_pushButton_5_clicked() "
                "on_comboBox_9_currentIndexChanged(int) gpio_direction_change() gpio_level_change() "
                "on_comboBox_10_currentIndexChanged(int) on_pushButton_4_clicked() on_pushButton_10_clicked() "
                "on_horizontalSlider_valueChanged(int) on_horizontalSlider_2_valueChanged(int) smbus_command_change() "
                "i2c_command_change()")
                .split(QLatin1Char(' '));
        QCOMPARE(declared, expected);
    }

    // connectSlotsByName only warns about a slot it cannot connect; the form's
    // own connections warn about a slot signature that does not exist.
    void buildingTheWindowConnectsEverySlotWithoutWarning()
    {
        SimBoard::reset();
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(recordWarnings);
        {
            HStation window;
        }
        qInstallMessageHandler(previous);
        QCOMPARE(warnings.filter("connect", Qt::CaseInsensitive), QStringList());
    }
};

QTEST_MAIN(SlotTableTest)
#include "test_slot_table.moc"
