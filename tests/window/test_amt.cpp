// The power page against the fake AMT firmware on loopback: the library's
// real client, reached through the port setting.
#include "../amt/fake_amt.h"
#include "windowtest.h"

#include <QTemporaryFile>

using halvo::fake::FakeAmt;

class AmtTest : public WindowTest
{
    Q_OBJECT

    QString command(const char *radio)
    {
        const int seen = boxes->texts.size();
        boxes->answer();
        click(radio);
        click("pushButton_2");
        return boxes->texts.mid(seen).join('|');
    }

private slots:
    void theAmtCommandsDriveTheFirmwareAtTheAddressTyped()
    {
        FakeAmt fake;
        QTemporaryFile conf;
        QVERIFY(conf.open());
        conf.write(QStringLiteral("board = demo\namt_port = %1\n").arg(fake.port()).toLatin1());
        conf.flush();
        qputenv("HALVO_CONF", conf.fileName().toLocal8Bit());
        start();
        set("lineEdit_8", "127.0.0.1");

        QCOMPARE(command("radioButton_24"), "Board with IP 127.0.0.1 has POWER ON");
        QCOMPARE(command("radioButton_22"), "Command successful");
        QCOMPARE(halvo::fake::bodyText(fake.requests().back().body, halvo::fake::ns::powerManagementService,
                                       {"RequestPowerStateChange_INPUT", "PowerState"}),
                 "8");
        QCOMPARE(command("radioButton_24"), "Board with IP 127.0.0.1 has POWER OFF");

        set("lineEdit_3", "wrong");
        QCOMPARE(command("radioButton_24"), "Cannot get state from board with IP 127.0.0.1\n\nAre you sure that the "
                                            "board supports Intel AMT?\nAre the user name and password correct?\nYou "
                                            "can test it using your Web browser.\nType in address:\n"
                                            "http://127.0.0.1:16992");
        QCOMPARE(command("radioButton_20"), "Command failed");
        QCOMPARE(fake.powerState(), 8);
        window.reset();
        qunsetenv("HALVO_CONF");
    }
};

QTEST_MAIN(AmtTest)
#include "test_amt.moc"
