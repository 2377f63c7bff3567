// The "I2C/SMBus" tab driven as a user would, against the demo board's
// simulated buses: SMBus bus 0 holds an EEPROM at 0x50, an LM75 at 0x48 and a
// smart battery at 0x0b, bus 1 a second EEPROM; I2C bus 0 an EEPROM at 0x50.
#include "HStation.h"
#include "messageboxes.h"
#include "pages/format.h"
#include "resources.h"
#include "simboard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QtTest>
#include <algorithm>
#include <dlfcn.h>
#include <memory>

namespace
{

const QString smbusAsk = "Sending improper information to SMBus can cause data loss... Are you sure?";
const QString wrongAddress = "Wrong slave address, please use format 0xFF";
const QString wrongCommand = "Wrong command value, please use format 0xFF";
const QString wrongMemory = "Wrong memory address value, please use format 0xFF";
const QStringList allButtons = {"pushButton_3",  "pushButton_11", "pushButton_12", "pushButton_18",
                                "pushButton_14", "pushButton_15", "pushButton_16", "pushButton_17",
                                "pushButton_19", "pushButton_20", "pushButton_21"};

// The simulated library never reports more bytes than the buffer holds; a
// real one might. While fakeCount is set, both block reads succeed with
// fakeBytes and report that count.
uint32_t fakeCount = 0;
QByteArray fakeBytes;

int32_t fakeRead(uint8_t *buffer)
{
    std::copy_n(fakeBytes.constData(), std::min<int>(fakeBytes.size(), HALVO_BLOCK_BUFFER_SIZE), buffer);
    return 0;
}

template <typename Function> Function *library(const char *name)
{
    return reinterpret_cast<Function *>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int32_t HalvoSmbusReadBlock(int32_t handle, uint8_t bus, uint8_t address, uint8_t command, uint8_t *buffer,
                                       uint8_t *count)
{
    if (fakeCount == 0)
        return library<decltype(HalvoSmbusReadBlock)>("HalvoSmbusReadBlock")(handle, bus, address, command, buffer,
                                                                             count);
    *count = static_cast<uint8_t>(fakeCount);
    return fakeRead(buffer);
}

extern "C" int32_t HalvoI2cRead(int32_t handle, uint8_t bus, uint8_t address, uint8_t memoryAddress,
                                uint8_t useMemoryAddress, uint8_t *buffer, uint32_t *count)
{
    if (fakeCount == 0)
        return library<decltype(HalvoI2cRead)>("HalvoI2cRead")(handle, bus, address, memoryAddress, useMemoryAddress,
                                                               buffer, count);
    *count = fakeCount;
    return fakeRead(buffer);
}

class BusToolsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<HStation> window;

    template <typename T = QWidget> T *get(const QString &name)
    {
        T *widget = window->findChild<T *>(name);
        if (!widget)
            qFatal("no %s named %s", T::staticMetaObject.className(), qPrintable(name));
        return widget;
    }

    // "name=value|name=value": a field's text, a combo box's index, a check box.
    void set(const QString &assignments)
    {
        for (const QString &assignment : assignments.split('|', Qt::SkipEmptyParts)) {
            QWidget *widget = get(assignment.section('=', 0, 0));
            const QString value = assignment.section('=', 1);
            if (auto *line = qobject_cast<QLineEdit *>(widget))
                line->setText(value);
            else if (auto *box = qobject_cast<QPlainTextEdit *>(widget))
                box->setPlainText(value);
            else if (auto *list = qobject_cast<QComboBox *>(widget))
                list->setCurrentIndex(value.toInt());
            else
                qobject_cast<QCheckBox *>(widget)->setChecked(value == "1");
        }
    }

    // Clicks the button, answers its boxes in order; the texts of all boxes seen.
    QStringList press(const QString &button,
                      QList<QMessageBox::StandardButton> answers = {QMessageBox::Ok, QMessageBox::Ok})
    {
        MessageBoxes boxes;
        for (QMessageBox::StandardButton answer : answers)
            boxes.answer(answer);
        get<QPushButton>(button)->click();
        return boxes.texts();
    }

    QString shown(const QString &name)
    {
        auto *box = window->findChild<QPlainTextEdit *>(name);
        return box ? box->toPlainText() : get<QLabel>(name)->text();
    }

    static bool isI2c(const QString &button) { return button == "pushButton_20" || button == "pushButton_21"; }

    // Chooses the button's protocol afresh, which refills the bus list.
    void selectProtocolOf(const QString &button)
    {
        get<QRadioButton>(isI2c(button) ? "radioButton_16" : "radioButton_17")->click();
        get<QRadioButton>(isI2c(button) ? "radioButton_17" : "radioButton_16")->click();
        SimBoard::clearCalls();
    }

    static QStringList busCalls() { return SimBoard::calls().filter(QRegularExpression("^Halvo(Smbus|I2c)")); }

private slots:
    void initTestCase() { initHalvoResources(); }

    void init()
    {
        SimBoard::reset();
        // The LM75 sits at the board's temperature, fixed here at 37.6 °C.
        SimBoard::patch(R"({"thermal": {"ambientMilliCelsius": 37600, "boardCoupling": 0}})");
        window = std::make_unique<HStation>();
        set("plainTextEdit_8=AB|plainTextEdit_12=AB");
        SimBoard::clearCalls();
    }

    void cleanup()
    {
        fakeCount = 0;
        window.reset();
    }

    void hexFieldsAcceptOnlyTheStrictForms()
    {
        for (const char *byte : {"0x00", "0X5a", "0xfF"})
            QVERIFY2(HStation::isHexByte(byte) && !HStation::isHexWord(byte), byte);
        for (const char *word : {"0xFFFF", "0X0aBc"})
            QVERIFY2(HStation::isHexWord(word) && !HStation::isHexByte(word), word);
        for (const char *bad : {"0x5", "5", "0x005", "0xG0", " 0x50", "0x50 ", "0x5a\n", "00x5", "0x", "", "0x12345",
                                "0x\u0663\u0664" /* Arabic-Indic digits */})
            QVERIFY2(!HStation::isHexByte(bad) && !HStation::isHexWord(bad), bad);
    }

    void readValuesShowAsLowerCaseHexWithoutLeadingZeros()
    {
        QCOMPARE(busValueText(0), QStringLiteral("0x0"));
        QCOMPARE(busValueText(0xAB), QStringLiteral("0xab"));
        QCOMPARE(busValueText(256), QStringLiteral("0x100"));
    }

    void protocolChoiceRefillsTheBusListAndReturnsToTheFirstCommand()
    {
        auto *commands = get<QStackedWidget>("stackedWidget");
        auto *pages = get<QStackedWidget>("stackedWidget_3");
        QCOMPARE(commands->currentIndex(), 0); // SMBus chosen at start-up
        for (int page = 0; page < 9; ++page) {
            get<QRadioButton>(QString("radioButton_%1").arg(7 + page))->click();
            QCOMPARE(pages->currentIndex(), page);
        }
        get<QRadioButton>("radioButton_17")->click();
        QCOMPARE(get<QComboBox>("comboBox")->itemText(0), QStringLiteral("I2C - 0"));
        QCOMPARE(commands->currentIndex(), 1);
        QCOMPARE(pages->currentIndex(), 9);
        get<QRadioButton>("radioButton_19")->click();
        QCOMPARE(pages->currentIndex(), 10);

        get<QRadioButton>("radioButton_16")->click();
        QCOMPARE(get<QComboBox>("comboBox")->count(), 2);
        QCOMPARE(get<QComboBox>("comboBox")->currentText(), QStringLiteral("SMBus - 0"));
        QCOMPARE(commands->currentIndex(), 0);
        QCOMPARE(pages->currentIndex(), 0);
        QVERIFY(get<QRadioButton>("radioButton_7")->isChecked());
    }

    void busListNamesEachBusOrNotSupported()
    {
        SimBoard::patch(R"({"smbus": [{}, {}, {}], "i2c": []})");
        selectProtocolOf("pushButton_3");
        QCOMPARE(get<QComboBox>("comboBox")->itemText(2), QStringLiteral("SMBus - 2"));
        set("comboBox=2");
        press("pushButton_3");
        QVERIFY(busCalls().value(0).startsWith("HalvoSmbusQuickCommand(0, 2, 0, 0)"));

        selectProtocolOf("pushButton_20");
        QCOMPARE(get<QComboBox>("comboBox")->currentText(), QStringLiteral("Not supported"));
        SimBoard::forceStatus("HalvoGetSmbusCount", 0x00030000);
        selectProtocolOf("pushButton_3");
        QCOMPARE(get<QComboBox>("comboBox")->count(), 1);
        QCOMPARE(get<QComboBox>("comboBox")->currentText(), QStringLiteral("Not supported"));
    }

    void noBusStopsEveryTransactionBeforeItsFields()
    {
        for (const QString &button : allButtons) {
            SimBoard::forceStatus(isI2c(button) ? "HalvoGetI2cBusCount" : "HalvoGetSmbusCount", 0x00030000);
            selectProtocolOf(button);
            for (QLineEdit *field : get("tab_6")->findChildren<QLineEdit *>())
                field->setText("bad");
            set("plainTextEdit_8=|plainTextEdit_12=");
            QCOMPARE(press(button, {QMessageBox::Ok}),
                     QStringList{isI2c(button) ? "No I2C bus found" : "No SMBus found"});
        }
        QCOMPARE(busCalls(), QStringList());
    }

    // Every field holds a valid value until the row changes some. The outcome
    // is either the call the board receives after OK, or the one message of
    // the first bad field, with nothing sent.
    void transactionChecksFieldsInOrderAndPassesTheirValues_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const QString &button, const QString &fields, const QString &outcome) {
            QTest::newRow(qPrintable((button + ' ' + fields).left(50))) << button << fields << outcome;
        };
        row("pushButton_3", "lineEdit=0x5", wrongAddress);
        row("pushButton_3", "lineEdit=0x50", "HalvoSmbusQuickCommand(0, 0, 80, 0)");
        row("pushButton_3", "lineEdit=0x50|comboBox_2=1", "HalvoSmbusQuickCommand(0, 0, 80, 1)");
        row("pushButton_11", "lineEdit_7=0xZZ", "Wrong byte value, please use format 0xFF");
        row("pushButton_11", "lineEdit_5=0x50|lineEdit_7=0x07", "HalvoSmbusSendByte(0, 0, 80, 7)");
        row("pushButton_12", "lineEdit_6=", wrongAddress);
        row("pushButton_18", "lineEdit_21=5|lineEdit_22=z", wrongAddress);
        row("pushButton_18", "lineEdit_22=0x1|lineEdit_9=1", wrongCommand);
        row("pushButton_18", "lineEdit_9=0x100", "Wrong byte value, please use format 0xFF");
        row("pushButton_18", "lineEdit_21=0X5a|lineEdit_22=0xfF", "HalvoSmbusWriteByte(0, 0, 90, 255, 0)");
        row("pushButton_14", "lineEdit_12=0x0", wrongCommand);
        row("pushButton_14", "comboBox=1|lineEdit_11=0x52", "HalvoSmbusReadByte(0, 1, 82, 0, *)");
        row("pushButton_15", "lineEdit_26=0x12", "Wrong word value, please use format 0xFFFF");
        row("pushButton_15", "lineEdit_26=0xFFFF", "HalvoSmbusWriteWord(0, 0, 0, 0, 65535)");
        row("pushButton_16", "lineEdit_18=12", wrongCommand);
        row("pushButton_17", "lineEdit_19=x|plainTextEdit_8=", wrongAddress);
        row("pushButton_17", "plainTextEdit_8=", "No data to write");
        row("pushButton_17", "plainTextEdit_8=" + QString(33, 'x'),
            "Block too long: SMBus blocks hold at most 32 bytes");
        row("pushButton_17", "plainTextEdit_8=" + QString(300, 'x'),
            "Block too long: SMBus blocks hold at most 32 bytes");
        row("pushButton_17", "", R"(HalvoSmbusWriteBlock(0, 0, 0, 0, "4142", 2))");
        row("pushButton_17", "plainTextEdit_8=\n", R"(HalvoSmbusWriteBlock(0, 0, 0, 0, "0a", 1))");
        row("pushButton_17", "plainTextEdit_8=" + QString(32, ' '),
            "HalvoSmbusWriteBlock(0, 0, 0, 0, \"" + QString("20").repeated(32) + "\", 32)");
        row("pushButton_19", "lineEdit_25=0x", wrongCommand);
        row("pushButton_20", "lineEdit_28=0x1", wrongMemory); // examined although "Use address" is off
        row("pushButton_20", "lineEdit_27=0x50|lineEdit_28=0x10", "HalvoI2cRead(0, 0, 80, 16, 0, *, *)");
        row("pushButton_20", "lineEdit_28=0x10|checkBox_3=1", "HalvoI2cRead(0, 0, 0, 16, 1, *, *)");
        row("pushButton_21", "lineEdit_30=0x1", wrongMemory);
        row("pushButton_21", "plainTextEdit_12=", "No data to write");
        row("pushButton_21", "lineEdit_29=0x50|lineEdit_30=0x10", R"(HalvoI2cWrite(0, 0, 80, 16, "4142", 2))");
    }

    void transactionChecksFieldsInOrderAndPassesTheirValues()
    {
        QFETCH(QString, button);
        QFETCH(QString, fields);
        QFETCH(QString, outcome);
        selectProtocolOf(button);
        set(fields);
        if (outcome.startsWith("Halvo")) {
            QCOMPARE(press(button).size(), 2);
            QCOMPARE(busCalls().size(), 1);
            QCOMPARE(busCalls().at(0).section(" -> ", 0, 0), outcome);
        } else {
            QCOMPARE(press(button, {QMessageBox::Ok}), QStringList{outcome});
            QCOMPARE(busCalls(), QStringList());
        }
    }

    void cancelSendsNothing()
    {
        for (const QString &button : allButtons) {
            selectProtocolOf(button);
            MessageBoxes boxes;
            boxes.answer(QMessageBox::Cancel);
            get<QPushButton>(button)->click();
            QCOMPARE(boxes.buttons(), QList<QMessageBox::StandardButtons>{QMessageBox::Ok | QMessageBox::Cancel});
            QCOMPARE(boxes.texts(),
                     QStringList{button == "pushButton_20"   ? "Sending improper information to I2C bus can cause "
                                                               "data loss... Are you sure?"
                                 : button == "pushButton_21" ? "Sending improper information to I2C Bus can cause "
                                                               "data loss... Are you sure?"
                                                             : smbusAsk});
        }
        QCOMPARE(busCalls(), QStringList());
    }

    // Each step: fields, button, its result message, then the display and
    // what it shows (a failure leaves a label as it was, empties a box).
    void readsShowWhatTheSimulatedDevicesHold()
    {
        const struct {
            const char *fields, *button, *message, *display, *text;
        } steps[] = {
            {"lineEdit_6=0x51", "pushButton_12", "Receiving byte failed...", "label_18", " ---"},
            {"lineEdit_21=0x50|lineEdit_22=0x40|lineEdit_9=0xAB", "pushButton_18", "Byte was written successfuly...",
             "label_18", " ---"},
            {"lineEdit_11=0x50|lineEdit_12=0x40", "pushButton_14", "Byte was read successfuly...", "label_88", "0xab"},
            // Words travel low byte first: 0x0100 is stored as 00 01.
            {"lineEdit_13=0x50|lineEdit_15=0x42|lineEdit_26=0x0100", "pushButton_15", "Word was written successfuly...",
             "label_89", " ---"},
            {"lineEdit_16=0x50|lineEdit_18=0x42", "pushButton_16", "Word was read successfuly...", "label_89", "0x100"},
            {"lineEdit_5=0x50|lineEdit_7=0x42", "pushButton_11", "Byte was sent successfuly...", "label_18", " ---"},
            {"lineEdit_6=0x50", "pushButton_12", "Byte was received successfuly...", "label_18", "0x0"},
            // 37.5 °C is 0x2580 in the LM75, which sends its high byte first.
            {"lineEdit_11=0x48|lineEdit_12=0x00", "pushButton_14", "Byte was read successfuly...", "label_88", "0x25"},
            {"lineEdit_16=0x48|lineEdit_18=0x00", "pushButton_16", "Word was read successfuly...", "label_89",
             "0x8025"},
            {"lineEdit_11=0x51", "pushButton_14", "Reading byte failed...", "label_88", "0x25"},
            {"lineEdit_19=0x0b|lineEdit_20=0x2F|plainTextEdit_8=Hi there", "pushButton_17",
             "Data was written successfuly...", "plainTextEdit_10", ""},
            {"lineEdit_24=0x0b|lineEdit_25=0x2F", "pushButton_19", "Block was read successfuly...", "plainTextEdit_10",
             "Hi there"},
            {"lineEdit_24=0x51", "pushButton_19", "Reading block failed...", "plainTextEdit_10", ""},
            {"lineEdit_29=0x50|lineEdit_30=0x20|plainTextEdit_12=Hello", "pushButton_21",
             "Data was written successfuly...", "plainTextEdit_11", ""},
            {"lineEdit_27=0x50|checkBox_3=1|lineEdit_28=0x20|lineEdit_31=2", "pushButton_20",
             "Block was read successfuly...", "plainTextEdit_11", "He"},
            // Without the memory address the EEPROM reads on where it stands.
            {"checkBox_3=0|lineEdit_31=3", "pushButton_20", "Block was read successfuly...", "plainTextEdit_11", "llo"},
            {"lineEdit_27=0x51", "pushButton_20", "Reading data from I2C failed...", "plainTextEdit_11", ""},
        };
        for (const auto &step : steps) {
            if (isI2c(step.button) && get<QRadioButton>("radioButton_16")->isChecked())
                selectProtocolOf(step.button);
            set(step.fields);
            QCOMPARE(press(step.button).value(1), QString(step.message));
            QCOMPARE(shown(step.display), QString(step.text));
        }
    }

    void i2cReadAsksForTheTypedCountUpTo127()
    {
        SimBoard::patch(R"({"i2c": [{"devices": [{"address": "0x50", "type": "eeprom", "content": ")" +
                        QString(256, 'z') + R"("}]}]})");
        selectProtocolOf("pushButton_20");
        const QList<QPair<QString, int>> counts = {{"5", 5},         {"200", 127}, {"-1", 127},        {"12abc", 12},
                                                   {"no digits", 0}, {" +7", 7},   {"4294967296", 127}};
        for (const auto &count : counts) {
            set("lineEdit_27=0x50|checkBox_3=1|lineEdit_31=" + count.first);
            press("pushButton_20");
            QCOMPARE(shown("plainTextEdit_11").size(), count.second);
        }
    }

    // Whatever count the library reports, the display stops at 127 bytes and
    // at the first zero byte, and nothing past the buffer is read.
    void blockDisplaysStayInsideTheBuffer()
    {
        const QByteArray full(HALVO_BLOCK_BUFFER_SIZE, 'x');
        const struct {
            const char *button;
            uint32_t count;
            QByteArray bytes;
            QString text;
        } reads[] = {{"pushButton_19", 200, full, QString(127, 'x')},
                     {"pushButton_19", 255, full, QString(127, 'x')},
                     {"pushButton_19", 4, QByteArray("\0ABC", 4), ""},
                     {"pushButton_20", 300, full, QString(127, 'x')},
                     {"pushButton_20", 5, QByteArray("AB\0CD", 5), "AB"}};
        for (const auto &read : reads) {
            selectProtocolOf(read.button);
            fakeCount = read.count;
            fakeBytes = read.bytes;
            QCOMPARE(press(read.button).value(1), QStringLiteral("Block was read successfuly..."));
            QCOMPARE(shown(isI2c(read.button) ? "plainTextEdit_11" : "plainTextEdit_10"), read.text);
        }
    }
};

QTEST_MAIN(BusToolsTest)
#include "test_bustools.moc"
