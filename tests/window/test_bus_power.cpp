// The "I2C/SMBus" tab against the demo board's simulated buses (SMBus bus 0:
// EEPROM at 0x50, LM75 at 0x48, smart battery at 0x0b; bus 1 a second EEPROM;
// I2C bus 0 an EEPROM at 0x50), and the System Power State page (AMT
// endpoints 192.168.1.10 the local board, .20 the remote one, .30 a
// hibernated board of its own).
#include "pages/format.h"
#include "windowtest.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QtTest>
#include <algorithm>

// Answers the simulated board never gives: block reads reporting more bytes
// than the buffer holds, and an unknown power state.
HALVO_FAKE(HalvoSmbusReadBlock, (int32_t h, uint8_t bus, uint8_t a, uint8_t c, uint8_t *buffer, uint8_t *count),
           (h, bus, a, c, buffer, count))
HALVO_FAKE(HalvoI2cRead, (int32_t h, uint8_t bus, uint8_t a, uint8_t m, uint8_t use, uint8_t *buffer, uint32_t *count),
           (h, bus, a, m, use, buffer, count))
HALVO_FAKE(HalvoGetSystemStateAmt, (const char *ip, const char *user, const char *password, int32_t *state),
           (ip, user, password, state))

namespace
{

const QString SmbusAsk = "Sending improper information to SMBus can cause data loss... Are you sure?";
const QString WrongAddress = "Wrong slave address, please use format 0xFF";
const QString WrongCommand = "Wrong command value, please use format 0xFF";
const QString WrongMemory = "Wrong memory address value, please use format 0xFF";
const QString WrongByte = "Wrong byte value, please use format 0xFF";
const QString TooLong = "Block too long: SMBus blocks hold at most 32 bytes";
const QStringList AllButtons = {"pushButton_3",  "pushButton_11", "pushButton_12", "pushButton_18",
                                "pushButton_14", "pushButton_15", "pushButton_16", "pushButton_17",
                                "pushButton_19", "pushButton_20", "pushButton_21"};
using Answers = QList<QMessageBox::StandardButton>;
const Answers OkOk = {QMessageBox::Ok, QMessageBox::Ok};

bool isI2c(const QString &button)
{
    return button == "pushButton_20" || button == "pushButton_21";
}

QStringList busCalls()
{
    return SimBoard::calls().filter(QRegularExpression("^Halvo(Smbus|I2c)"));
}

} // namespace

class BusPowerTest : public WindowTest
{
    Q_OBJECT

    // "name=value|name=value": see set().
    void fill(const QString &assignments) const
    {
        for (const QString &assignment : assignments.split('|', Qt::SkipEmptyParts))
            set(qPrintable(assignment.section('=', 0, 0)), assignment.section('=', 1));
    }
    // Clicks the button answering exactly these boxes; their texts.
    QStringList press(const QString &button, const Answers &answers = OkOk)
    {
        const int seen = boxes->texts().size();
        for (QMessageBox::StandardButton answer : answers)
            boxes->answer(answer);
        click(qPrintable(button));
        [&] { QCOMPARE(boxes->pendingAnswers(), 0); }();
        return boxes->texts().mid(seen);
    }
    QString shown(const char *name) const
    {
        auto *box = window->findChild<QPlainTextEdit *>(name);
        return box ? box->toPlainText() : text(name);
    }
    // Chooses the button's protocol afresh, which refills the bus list.
    void selectProtocolOf(const QString &button) const
    {
        click(isI2c(button) ? "radioButton_16" : "radioButton_17");
        click(isI2c(button) ? "radioButton_17" : "radioButton_16");
        SimBoard::clearCalls();
    }
    void doIt(const char *radio, const QString &ip = QString()) const
    {
        if (!ip.isEmpty())
            set("lineEdit_8", ip);
        click(radio);
        click("pushButton_2");
    }

private slots:
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
            QVERIFY2(HStation::isHexByte(byte) && !HStation::isHexWord(byte), byte);
        for (const char *word : {"0xFFFF", "0X0aBc"})
            QVERIFY2(HStation::isHexWord(word) && !HStation::isHexByte(word), word);
        for (const char *bad : {"0x5", "5", "0x005", "0xG0", "0xg0", " 0x50", "0x50 ", "0x5a\n", "00x5", "0x", "",
                                "0x12345", "0x\u0663\u0664" /* Arabic-Indic digits */})
            QVERIFY2(!HStation::isHexByte(bad) && !HStation::isHexWord(bad), bad);
    }

    void protocolChoiceRefillsTheBusListAndReturnsToTheFirstCommand()
    {
        auto *pages = get<QStackedWidget>("stackedWidget_3");
        auto *buses = get<QComboBox>("comboBox");
        for (int page = 0; page < 9; ++page) {
            click(qPrintable(QString("radioButton_%1").arg(7 + page)));
            QCOMPARE(pages->currentIndex(), page);
        }
        click("radioButton_17");
        QCOMPARE(buses->itemText(0) + ' ' + QString::number(get<QStackedWidget>("stackedWidget")->currentIndex()) +
                     ' ' + QString::number(pages->currentIndex()),
                 "I2C - 0 1 9");
        click("radioButton_19");
        QCOMPARE(pages->currentIndex(), 10);
        SimBoard::patch(R"({"smbus": [{}, {}, {}], "i2c": []})");
        click("radioButton_16");
        QCOMPARE(buses->itemText(2) + ' ' + QString::number(get<QStackedWidget>("stackedWidget")->currentIndex()) +
                     ' ' + QString::number(pages->currentIndex()),
                 "SMBus - 2 0 0");
        QVERIFY(get<QAbstractButton>("radioButton_7")->isChecked() && buses->currentIndex() == 0);
        set("comboBox", "2");
        SimBoard::clearCalls();
        press("pushButton_3");
        QVERIFY(busCalls().value(0).startsWith("HalvoSmbusQuickCommand(0, 2, 0, 0)"));
        selectProtocolOf("pushButton_20");
        QCOMPARE(buses->currentText(), QStringLiteral("Not supported"));
        SimBoard::forceStatus("HalvoGetSmbusCount", 0x00030000);
        selectProtocolOf("pushButton_3");
        QCOMPARE(QString::number(buses->count()) + buses->currentText(), "1Not supported");
    }

    void noBusStopsEveryTransactionBeforeItsFields()
    {
        for (const QString &button : AllButtons) {
            SimBoard::forceStatus(isI2c(button) ? "HalvoGetI2cBusCount" : "HalvoGetSmbusCount", 0x00030000);
            selectProtocolOf(button);
            for (QLineEdit *field : get("tab_6")->findChildren<QLineEdit *>())
                field->setText("bad");
            fill("plainTextEdit_8=|plainTextEdit_12=");
            QCOMPARE(press(button, {QMessageBox::Ok}),
                     QStringList(isI2c(button) ? "No I2C bus found" : "No SMBus found"));
        }
        QCOMPARE(busCalls(), QStringList());
    }

    // Every field holds a valid value until the row changes some. The outcome
    // is either the call the board receives after OK, or the one message of
    // the first bad field, with nothing sent.
    void transactionChecksFieldsInOrderAndPassesTheirValues_data()
    {
        columns({"button", "fields", "outcome"});
        const auto row = [](const QString &button, const QString &fields, const QString &outcome) {
            WindowTest::row(qPrintable((button + ' ' + fields).left(50)), button, fields, outcome);
        };
        row("pushButton_3", "lineEdit=0x5", WrongAddress);
        row("pushButton_3", "lineEdit=0x50|comboBox_2=1", "HalvoSmbusQuickCommand(0, 0, 80, 1)");
        row("pushButton_11", "lineEdit_7=0xZZ", WrongByte);
        row("pushButton_11", "lineEdit_5=0x50|lineEdit_7=0x07", "HalvoSmbusSendByte(0, 0, 80, 7)");
        row("pushButton_12", "lineEdit_6=", WrongAddress);
        row("pushButton_18", "lineEdit_21=5|lineEdit_22=z", WrongAddress);
        row("pushButton_18", "lineEdit_22=0x1|lineEdit_9=1", WrongCommand);
        row("pushButton_18", "lineEdit_9=0x100", WrongByte);
        row("pushButton_18", "lineEdit_21=0X5a|lineEdit_22=0xfF", "HalvoSmbusWriteByte(0, 0, 90, 255, 0)");
        row("pushButton_14", "lineEdit_12=0x0", WrongCommand);
        row("pushButton_14", "comboBox=1|lineEdit_11=0x52", "HalvoSmbusReadByte(0, 1, 82, 0, *)");
        row("pushButton_15", "lineEdit_26=0x12", "Wrong word value, please use format 0xFFFF");
        row("pushButton_15", "lineEdit_26=0xFFFF", "HalvoSmbusWriteWord(0, 0, 0, 0, 65535)");
        row("pushButton_16", "lineEdit_18=12", WrongCommand);
        row("pushButton_17", "lineEdit_19=x|plainTextEdit_8=", WrongAddress);
        row("pushButton_17", "plainTextEdit_8=", "No data to write");
        row("pushButton_17", "plainTextEdit_8=" + QString(33, 'x'), TooLong);
        row("pushButton_17", "plainTextEdit_8=" + QString(300, 'x'), TooLong);
        row("pushButton_17", "plainTextEdit_8=\n", R"(HalvoSmbusWriteBlock(0, 0, 0, 0, "0a", 1))");
        row("pushButton_17", "plainTextEdit_8=" + QString(32, ' '),
            "HalvoSmbusWriteBlock(0, 0, 0, 0, \"" + QString("20").repeated(32) + "\", 32)");
        row("pushButton_19", "lineEdit_25=0x", WrongCommand);
        row("pushButton_20", "lineEdit_28=0x1", WrongMemory); // examined although "Use address" is off
        row("pushButton_20", "lineEdit_27=0x50|lineEdit_28=0x10", "HalvoI2cRead(0, 0, 80, 16, 0, *, *)");
        row("pushButton_20", "lineEdit_28=0x10|checkBox_3=1", "HalvoI2cRead(0, 0, 0, 16, 1, *, *)");
        row("pushButton_21", "lineEdit_30=0x1", WrongMemory);
        row("pushButton_21", "plainTextEdit_12=", "No data to write");
        row("pushButton_21", "lineEdit_29=0x50|lineEdit_30=0x10", R"(HalvoI2cWrite(0, 0, 80, 16, "4142", 2))");
    }
    void transactionChecksFieldsInOrderAndPassesTheirValues()
    {
        const QString button = cell("button"), outcome = cell("outcome");
        selectProtocolOf(button);
        fill(cell("fields"));
        const bool sent = outcome.startsWith("Halvo");
        const QStringList texts = press(button, sent ? OkOk : Answers{QMessageBox::Ok});
        QCOMPARE(busCalls().size(), sent ? 1 : 0);
        if (sent)
            QCOMPARE(busCalls().at(0).section(" -> ", 0, 0), outcome);
        else
            QCOMPARE(texts, QStringList(outcome));
    }

    void cancelSendsNothing()
    {
        for (const QString &button : AllButtons) {
            selectProtocolOf(button);
            const QStringList texts = press(button, {QMessageBox::Cancel});
            QCOMPARE(boxes->buttons().last(), QMessageBox::Ok | QMessageBox::Cancel);
            QCOMPARE(texts,
                     QStringList(button == "pushButton_20"   ? "Sending improper information to I2C bus can cause "
                                                               "data loss... Are you sure?"
                                 : button == "pushButton_21" ? "Sending improper information to I2C Bus can cause "
                                                               "data loss... Are you sure?"
                                                             : SmbusAsk));
        }
        QCOMPARE(busCalls(), QStringList());
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
            "lineEdit_5=0x50|lineEdit_7=0x42;pushButton_11;Byte was sent successfuly...;label_18; ---",
            "lineEdit_6=0x50;pushButton_12;Byte was received successfuly...;label_18;0x0",
            // 37.5 °C is 0x2580 in the LM75, which sends its high byte first.
            "lineEdit_11=0x48|lineEdit_12=0x00;pushButton_14;Byte was read successfuly...;label_88;0x25",
            "lineEdit_16=0x48|lineEdit_18=0x00;pushButton_16;Word was read successfuly...;label_89;0x8025",
            "lineEdit_11=0x51;pushButton_14;Reading byte failed...;label_88;0x25",
            "lineEdit_19=0x0b|lineEdit_20=0x2F|plainTextEdit_8=Hi there;pushButton_17;Data was written successfuly...;"
            "plainTextEdit_10;",
            "lineEdit_24=0x0b|lineEdit_25=0x2F;pushButton_19;Block was read successfuly...;plainTextEdit_10;Hi there",
            "lineEdit_24=0x51;pushButton_19;Reading block failed...;plainTextEdit_10;",
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
            QCOMPARE(press(part[1]).value(1), part[2]);
            QCOMPARE(shown(qPrintable(part[3])), part[4]);
        }
    }

    // The typed count up to 127; whatever count the library reports, the
    // display stops at 127 bytes and at the first zero byte.
    void blockReadsStayInsideTheBuffer()
    {
        SimBoard::patch(R"({"i2c": [{"devices": [{"address": "0x50", "type": "eeprom", "content": ")" +
                        QString(256, 'z') + R"("}]}]})");
        selectProtocolOf("pushButton_20");
        const QList<QPair<QString, int>> counts = {{"5", 5},         {"200", 127}, {"-1", 127},        {"12abc", 12},
                                                   {"no digits", 0}, {" +7", 7},   {"4294967296", 127}};
        for (const auto &count : counts) {
            fill("lineEdit_27=0x50|checkBox_3=1|lineEdit_31=" + count.first);
            press("pushButton_20");
            QCOMPARE(shown("plainTextEdit_11").size(), count.second);
        }

        const QByteArray full(HALVO_BLOCK_BUFFER_SIZE, 'x');
        const struct {
            const char *button;
            uint32_t count;
            QByteArray bytes;
            QString text;
        } reads[] = {{"pushButton_19", 255, full, QString(127, 'x')},
                     {"pushButton_19", 4, QByteArray("\0ABC", 4), ""},
                     {"pushButton_20", 300, full, QString(127, 'x')},
                     {"pushButton_20", 5, QByteArray("AB\0CD", 5), "AB"}};
        for (const auto &read : reads) {
            const auto deliver = [&read](uint8_t *buffer) {
                std::copy_n(read.bytes.constData(), std::min<int>(read.bytes.size(), HALVO_BLOCK_BUFFER_SIZE), buffer);
                return 0;
            };
            fakeHalvoSmbusReadBlock = [&](int32_t, uint8_t, uint8_t, uint8_t, uint8_t *buffer, uint8_t *count) {
                return *count = uint8_t(read.count), deliver(buffer);
            };
            fakeHalvoI2cRead = [&](int32_t, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t *buffer, uint32_t *count) {
                return *count = read.count, deliver(buffer);
            };
            selectProtocolOf(read.button);
            QCOMPARE(press(read.button).value(1), QStringLiteral("Block was read successfuly..."));
            QCOMPARE(shown(isI2c(read.button) ? "plainTextEdit_11" : "plainTextEdit_10"), read.text);
        }
        fakeHalvoSmbusReadBlock = nullptr;
        fakeHalvoI2cRead = nullptr;
    }

    // ---- System power state

    void osCallHidesTheCredentialRowsWhichKeepTheirTexts()
    {
        QCOMPARE(get<QLineEdit>("lineEdit_3")->echoMode(), QLineEdit::Password);
        set("lineEdit_2", "someone");
        click("radioButton_23");
        for (const char *name : {"label_128", "label_129", "label_130", "lineEdit_2", "lineEdit_3", "lineEdit_8"})
            QVERIFY2(get(name)->isHidden(), name);
        click("radioButton_21");
        for (const char *name : {"label_128", "label_129", "label_130", "lineEdit_2", "lineEdit_3", "lineEdit_8"})
            QVERIFY2(!get(name)->isHidden(), name);
        QCOMPARE(get<QLineEdit>("lineEdit_2")->text(), QStringLiteral("someone"));
    }

    void stateQueryNamesTheBoardAndItsStateOrPointsToTheAmtWebPage()
    {
        SimBoard::patch(R"({"powerState": 1})", "192.168.1.20");
        boxes->answer().answer().answer().answer().answer();
        doIt("radioButton_24", "192.168.1.10");
        doIt("radioButton_24", "192.168.1.20");
        doIt("radioButton_24", "192.168.1.30");
        fakeHalvoGetSystemStateAmt = [](const char *ip, const char *user, const char *password, int32_t *state) {
            return realHalvoGetSystemStateAmt(ip, user, password, state), *state = 7, 0;
        };
        doIt("radioButton_24", "192.168.1.10");
        fakeHalvoGetSystemStateAmt = nullptr;
        set("lineEdit_3", "wrong");
        doIt("radioButton_24", "192.168.1.20");
        QCOMPARE(
            boxes->texts(),
            QStringList({"Board with IP 192.168.1.10 has POWER ON", "Board with IP 192.168.1.20 has POWER OFF",
                         "Board with IP 192.168.1.30 is HIBERNATED", "Board with IP 192.168.1.10 is in unknown state",
                         "Cannot get state from board with IP 192.168.1.20\n\n"
                         "Are you sure that the board supports Intel AMT?\n"
                         "Are the user name and password correct?\n"
                         "You can test it using your Web browser.\n"
                         "Type in address:\nhttp://192.168.1.20:16992"}));
        QVERIFY(SimBoard::calls().value(0).startsWith(R"(HalvoGetSystemStateAmt("192.168.1.10", "admin", "***", *))"));
    }

    // Once off, the simulated board answers nothing, not even a second power-off.
    void osPowerOffCallsNothingOnNoAndTheCurrentBoardOnYes()
    {
        const QString question = "Are you sure you want to turn off the computer you are currently connected to?";
        boxes->answer(QMessageBox::No).answer(QMessageBox::Yes).answer().answer(QMessageBox::Yes).answer();
        doIt("radioButton_23");
        QVERIFY(SimBoard::calls().filter("SystemState").isEmpty());
        doIt("radioButton_23");
        doIt("radioButton_23");
        QCOMPARE(boxes->texts(), QStringList({question, question, "Command successful", question, "Command failed"}));
        QCOMPARE(boxes->buttons().value(0), QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(SimBoard::calls("HalvoSetSystemState").value(0), QStringLiteral("HalvoSetSystemState(0, 1) -> 0"));
    }

    void amtChangesSendTheirStateWithoutConfirmation()
    {
        boxes->answer().answer().answer();
        doIt("radioButton_21", "192.168.1.20");
        doIt("radioButton_22");
        doIt("radioButton_20");
        QCOMPARE(boxes->texts(), repeated(3, "Command successful"));
        const QString call = R"(HalvoSetSystemStateAmt("192.168.1.20", "admin", "***", )";
        QCOMPARE(SimBoard::calls("HalvoSetSystemStateAmt"),
                 QStringList({call + "3) -> 0", call + "1) -> 0", call + "0) -> 0"}));
    }

    // An endpoint whose address, user name and password are exactly 127
    // characters answers typed texts that are longer.
    void credentialsAreCutTo127CharactersWhileMessagesShowTheWholeText()
    {
        const QString ip = "10." + QString(197, '1'), user(150, 'u'), password(128, 'p');
        SimBoard::load(QStringLiteral(R"({"amtEndpoints": [{"ipAddress": "%1", "userName": "%2", "password": "%3",
                                          "powerState": 0}]})")
                           .arg(ip.left(127), user.left(127), password.left(127)));
        set("lineEdit_2", user);
        set("lineEdit_3", password);
        boxes->answer().answer();
        doIt("radioButton_24", ip);
        doIt("radioButton_22");
        QCOMPARE(boxes->texts(), QStringList({"Board with IP " + ip + " has POWER ON", "Command successful"}));
    }
};

QTEST_MAIN(BusPowerTest)
#include "test_bus_power.moc"
