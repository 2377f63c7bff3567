// The System Power State page. Demo AMT endpoints: 192.168.1.10 is the local
// board, .20 the remote board, .30 a hibernated board of its own.
#include "HStation.h"
#include "findwidget.h"
#include "messageboxes.h"
#include "resources.h"
#include "simboard.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <dlfcn.h>
#include <memory>

// A state reply the simulated endpoints never give; -1 for the real one.
static int32_t fakeAmtState = -1;

extern "C" int32_t HalvoGetSystemStateAmt(const char *ip, const char *user, const char *password, int32_t *state)
{
    using Function = int32_t (*)(const char *, const char *, const char *, int32_t *);
    const int32_t status =
        reinterpret_cast<Function>(dlsym(RTLD_NEXT, "HalvoGetSystemStateAmt"))(ip, user, password, state);
    if (status == 0 && fakeAmtState >= 0)
        *state = fakeAmtState;
    return status;
}

class PowerTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<HStation> window;
    std::unique_ptr<MessageBoxes> boxes;

    QLineEdit *field(const char *name) const { return child<QLineEdit>(window.get(), name); }
    void doIt(const char *radio, const QString &ip = QString())
    {
        if (!ip.isEmpty())
            field("lineEdit_8")->setText(ip);
        child<QRadioButton>(window.get(), radio)->click();
        child<QPushButton>(window.get(), "pushButton_2")->click();
    }
    QString amtCall(const QString &function, const QString &ip, const QString &user = "admin",
                    const QString &password = "***") const
    {
        return function + "(\"" + ip + "\", \"" + user + "\", \"" + password + "\", ";
    }

private slots:
    void initTestCase() { initHalvoResources(); }

    void init()
    {
        SimBoard::reset();
        fakeAmtState = -1;
        boxes = std::make_unique<MessageBoxes>();
        window = std::make_unique<HStation>();
        SimBoard::clearCalls();
    }

    void cleanup()
    {
        window.reset();
        QVERIFY2(boxes->unexpectedTexts().isEmpty(), qPrintable(boxes->unexpectedTexts().join(" | ")));
        boxes.reset();
    }

    void osCallHidesTheCredentialRowsWhichKeepTheirTexts()
    {
        QCOMPARE(field("lineEdit_3")->echoMode(), QLineEdit::Password);
        QCOMPARE(field("lineEdit_3")->text(), QStringLiteral("Pawtrel*5"));
        child<QRadioButton>(window.get(), "radioButton_23")->click();
        for (const char *name : {"label_128", "label_129", "label_130", "lineEdit_2", "lineEdit_3", "lineEdit_8"})
            QVERIFY2(child<QWidget>(window.get(), name)->isHidden(), name);
        child<QRadioButton>(window.get(), "radioButton_21")->click();
        for (const char *name : {"label_128", "label_129", "label_130", "lineEdit_2", "lineEdit_3", "lineEdit_8"})
            QVERIFY2(!child<QWidget>(window.get(), name)->isHidden(), name);
        QCOMPARE(field("lineEdit_2")->text(), QStringLiteral("admin"));
    }

    void stateQueryNamesTheBoardAndItsState()
    {
        SimBoard::patch(R"({"powerState": 1})", "192.168.1.20");
        boxes->answer().answer().answer().answer();
        doIt("radioButton_24", "192.168.1.10");
        doIt("radioButton_24", "192.168.1.20");
        doIt("radioButton_24", "192.168.1.30");
        fakeAmtState = 7;
        doIt("radioButton_24", "192.168.1.10");
        QCOMPARE(boxes->texts(),
                 QStringList({"Board with IP 192.168.1.10 has POWER ON", "Board with IP 192.168.1.20 has POWER OFF",
                              "Board with IP 192.168.1.30 is HIBERNATED",
                              "Board with IP 192.168.1.10 is in unknown state"}));
        QVERIFY(SimBoard::calls().value(0).startsWith(amtCall("HalvoGetSystemStateAmt", "192.168.1.10") + "*) -> 0"));
    }

    void failedStateQueryPointsToTheAmtWebPage()
    {
        field("lineEdit_3")->setText("wrong");
        boxes->answer();
        doIt("radioButton_24", "192.168.1.20");
        QCOMPARE(boxes->texts(), QStringList{"Cannot get state from board with IP 192.168.1.20\n\n"
                                             "Are you sure that the board supports Intel AMT?\n"
                                             "Are the user name and password correct?\n"
                                             "You can test it using your Web browser.\n"
                                             "Type in address:\nhttp://192.168.1.20:16992"});
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
        QCOMPARE(boxes->texts(), QStringList({"Command successful", "Command successful", "Command successful"}));
        const QString call = amtCall("HalvoSetSystemStateAmt", "192.168.1.20");
        QCOMPARE(SimBoard::calls("HalvoSetSystemStateAmt"),
                 QStringList({call + "3) -> 0", call + "1) -> 0", call + "0) -> 0"}));
    }

    void credentialsAreCutTo127CharactersWhileMessagesShowTheWholeText()
    {
        const QString ip = "10." + QString(197, '1'), user(150, 'u'), password(128, 'p');
        field("lineEdit_2")->setText(user);
        field("lineEdit_3")->setText(password);
        boxes->answer().answer();
        doIt("radioButton_24", ip);
        doIt("radioButton_20");
        const QString cut = amtCall("", ip.left(127), user.left(127));
        QVERIFY(SimBoard::calls("HalvoGetSystemStateAmt").value(0).startsWith("HalvoGetSystemStateAmt" + cut + "*)"));
        QVERIFY(SimBoard::calls("HalvoSetSystemStateAmt").value(0).startsWith("HalvoSetSystemStateAmt" + cut + "0)"));
        QVERIFY(boxes->texts().value(0).endsWith("http://" + ip + ":16992"));
        QCOMPARE(boxes->texts().value(1), QStringLiteral("Command failed"));
    }
};

QTEST_MAIN(PowerTest)
#include "test_power.moc"
