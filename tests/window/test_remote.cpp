// The window on a board served by halvo-agent on loopback: the agent's server
// runs in this process and serves handle 0, the demo board, so the pages of
// the remote connection can be compared with the same board in-process.
#include "../remote/loopback_agent.h"
#include "../remote/loopback_proxy.h"
#include "windowtest.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <thread>

namespace
{

const QString LostMessage = QStringLiteral("Connection failed, please try to connect again...");

// The agent, with the address as the dialog takes it.
class Agent : public LoopbackAgent
{
public:
    using LoopbackAgent::LoopbackAgent;
    QString address() const { return QString::fromStdString(LoopbackAgent::address()); }
};

} // namespace

class RemoteTest : public WindowTest
{
    Q_OBJECT

    // The texts of the static pages, as loadStaticInfo leaves them.
    QStringList pages() const
    {
        QStringList all = texts({"label_2", "label_3", "label_6", "label_34", "label_51", "label_53", "label_57",
                                 "label_59", "label_14", "label_24", "label_22", "label_20"});
        all << get<QTextEdit>("textEdit")->toPlainText();
        for (const char *tree : {"treeWidget", "treeWidget_2", "treeWidget_3", "treeWidget_4"})
            all << QString::number(get<QTreeWidget>(tree)->topLevelItemCount());
        return all;
    }
    QString connected(const QString &address) const { return child<QLabel>(connectTo(address), "label_5")->text(); }

private slots:
    void pagesMatchTheBoardInProcessAndALossIsAnnouncedOnce()
    {
        start();
        const QStringList local = pages();
        auto agent = std::make_unique<Agent>();
        QCOMPARE(connected(agent->address()), "You are connected to " + agent->address());
        QCOMPARE(pages(), local);
        QVERIFY(window->windowTitle().endsWith(" - " + agent->address()));

        agent.reset();
        boxes->answer();
        // Past the snapshot age (1 s), within which the values fetched before
        // still answer the reads.
        QTest::qWait(1100);
        window->refreshStatus();
        window->refreshStatus();
        QCOMPARE(boxes->texts, QStringList(LostMessage));
        QCOMPARE(window->windowTitle(), QStringLiteral("HALVO-GUI 1.0: Not connected"));

        // A restarted agent (on another port) can be connected again.
        agent = std::make_unique<Agent>();
        QCOMPARE(connected(agent->address()), "You are connected to " + agent->address());
        QCOMPARE(pages(), local);
        window.reset();
    }

    // A monitor may read but not set the fan: the page's own failure message,
    // never a connection loss. A wrong token fails the connection.
    void aMonitorTokenCannotSetTheFan()
    {
        QTemporaryDir dir;
        auto privateFile = [&](const QString &name, const QString &text) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text.toLatin1()) == text.size());
            QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
        };
        privateFile("tokens", "monitor mmmmmmmmmmmmmmmmmmmm tester\n");
        halvo::agent::Options options;
        options.tokensFile = dir.filePath("tokens").toStdString();
        Agent agent(options);
        qputenv("HALVO_REMOTE_CONF", dir.filePath("remote.conf").toLocal8Bit());
        start();
        privateFile("remote.conf", "[" + agent.address() + "]\ntoken = wrong-token-wrong-token\n");
        QCOMPARE(connected(agent.address()), "Connection to " + agent.address() + " failed");
        privateFile("remote.conf", "[" + agent.address() + "]\ntoken = mmmmmmmmmmmmmmmmmmmm\n");
        QCOMPARE(connected(agent.address()), "You are connected to " + agent.address());
        boxes->answer();
        click("radioButton");
        get<QSpinBox>("spinBox_2")->setValue(70);
        QCOMPARE(boxes->texts, QStringList("Fan mode setting not allowed"));
        window->refreshStatus();
        QCOMPARE(boxes->texts.size(), 1);
        window.reset();
        qunsetenv("HALVO_REMOTE_CONF");
    }

    // An agent that freezes while answering a refresh (its sockets open, no
    // answer coming) holds the window up for one call limit, not one per read.
    void anAgentHangingMidRefreshBlocksNoLongerThanTheCallLimit()
    {
        QTemporaryFile conf;
        QVERIFY(conf.open());
        // Every read asks the agent, so that the hang meets a call.
        conf.write("board = demo\nremote_call_timeout_ms = 300\nremote_connect_timeout_ms = 300\n"
                   "remote_snapshot_ms = 0\n");
        conf.flush();
        qputenv("HALVO_CONF", conf.fileName().toLocal8Bit());
        Agent agent;
        halvo::loopback::DelayProxy proxy(agent.server.port(), std::chrono::milliseconds(0));
        const QString address = QString::fromStdString(proxy.address());
        start();
        QCOMPARE(connected(address), "You are connected to " + address);
        window->refreshStatus();
        QVERIFY(boxes->texts.isEmpty());

        proxy.hangAt("GET /v1/disks/count");
        boxes->answer();
        QTest::qWait(50);
        QElapsedTimer clock;
        clock.start();
        window->refreshStatus();
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(boxes->texts, QStringList(LostMessage));
        QCOMPARE(window->windowTitle(), QStringLiteral("HALVO-GUI 1.0: Not connected"));
        QVERIFY2(elapsed >= 250 && elapsed < 500, qPrintable(QString::number(elapsed) + " ms"));
        window.reset();
        qunsetenv("HALVO_CONF");
    }
};

QTEST_MAIN(RemoteTest)
#include "test_remote.moc"
