// The Connect dialog, the connection sequence, and passes that a new
// connection interrupts.
#include "HStation.h"
#include "connection/ConnectionDlg.h"
#include "findwidget.h"
#include "messageboxes.h"
#include "resources.h"
#include "simboard.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <dlfcn.h>
#include <functional>
#include <memory>

// Runs once, from inside the next temperature list read of the local board:
// lets a test act while a refresh holds that board's readings.
static std::function<void()> duringLocalTempList;
// Whether the periodic timers still ran when the old handle was closed.
static bool timersRanAtUnInitialize = false;
static QWidget *watchedWindow = nullptr;

extern "C" int32_t HalvoGetTempSensorList(int32_t handle, TempSensorInfo *list, int32_t count)
{
    static const auto real =
        reinterpret_cast<int32_t (*)(int32_t, TempSensorInfo *, int32_t)>(dlsym(RTLD_NEXT, "HalvoGetTempSensorList"));
    const int32_t status = real(handle, list, count);
    if (handle == 0 && duringLocalTempList)
        std::exchange(duringLocalTempList, nullptr)();
    return status;
}

extern "C" int32_t HalvoLibUnInitialize(int32_t handle)
{
    static const auto real = reinterpret_cast<int32_t (*)(int32_t)>(dlsym(RTLD_NEXT, "HalvoLibUnInitialize"));
    if (watchedWindow) {
        timersRanAtUnInitialize = false;
        for (const char *name : {"refreshTimer", "graphRefreshTimer", "gpioRefreshTimer"})
            timersRanAtUnInitialize |= child<QTimer>(watchedWindow, name)->isActive();
    }
    return real(handle);
}

namespace
{

const QString Remote = QStringLiteral("192.168.1.20");
const QString RemoteTitle = QStringLiteral("HALVO-GUI 1.0: HVB-1210 - 192.168.1.20");

// Calls made on `handle`, by their first argument.
QStringList callsOn(const QStringList &calls, int handle)
{
    return calls.filter(QRegularExpression(QStringLiteral("^Halvo\\w+\\(%1[,)]").arg(handle)));
}

} // namespace

class ConnectionTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<HStation> window;
    std::unique_ptr<MessageBoxes> boxes;

    void start()
    {
        window = std::make_unique<HStation>();
        watchedWindow = window.get();
    }
    QString text(const char *label) const { return child<QLabel>(window.get(), label)->text(); }
    bool timerActive(const char *name) const { return child<QTimer>(window.get(), name)->isActive(); }
    ConnectionDlg *openDialog()
    {
        child<QPushButton>(window.get(), "pushButton_10")->click();
        QList<ConnectionDlg *> dialogs = window->findChildren<ConnectionDlg *>();
        return dialogs.isEmpty() ? nullptr : dialogs.last();
    }
    // Connects through a new dialog; the dialog is returned on its result page.
    ConnectionDlg *connectTo(const QString &address)
    {
        ConnectionDlg *dialog = openDialog();
        child<QLineEdit>(dialog, "lineEdit")->setText(address);
        child<QPushButton>(dialog, "pushButton")->click();
        return dialog;
    }
    static void destroyClosedDialogs() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

private slots:
    void initTestCase() { initHalvoResources(); }
    void init()
    {
        SimBoard::reset();
        duringLocalTempList = nullptr;
        boxes = std::make_unique<MessageBoxes>();
    }
    void cleanup()
    {
        watchedWindow = nullptr;
        window.reset();
        QVERIFY2(boxes->unexpectedTexts().isEmpty(), qPrintable(boxes->unexpectedTexts().join(" | ")));
    }

    void connectOpensTheAddressPageAndCancelCallsNothing()
    {
        start();
        SimBoard::clearCalls();
        QPointer<ConnectionDlg> dialog = openDialog();
        QVERIFY(dialog->isVisible() && dialog->windowModality() == Qt::WindowModal);
        QCOMPARE(child<QStackedWidget>(dialog, "stackedWidget")->currentIndex(), 0);
        QCOMPARE(child<QLineEdit>(dialog, "lineEdit")->text(), Remote);
        child<QPushButton>(dialog, "pushButton_2")->click();
        destroyClosedDialogs();
        QVERIFY(dialog.isNull());
        QVERIFY(SimBoard::calls().isEmpty());
    }

    // The remote board's own network list names another address: the title
    // shows the one the user typed.
    void successfulConnectionRunsTheSequenceInOrder()
    {
        SimBoard::patch(R"({"networkDevices": [{"name": "eth9", "ipAddress": "10.7.7.7"}]})", Remote);
        start();
        SimBoard::clearCalls();
        QPointer<ConnectionDlg> dialog = connectTo(Remote);
        const QStringList calls = SimBoard::calls();
        QCOMPARE(calls.mid(0, 3),
                 QStringList({"HalvoLibInitialize(\"192.168.1.20\", 7890, *, 0, 0) -> 0",
                              "HalvoLibUnInitialize(0) -> 0", "HalvoGetCpuPerformance(1, *, *) -> 0"}));
        QVERIFY(!timersRanAtUnInitialize);
        const auto first = [&](const char *function) {
            return calls.indexOf(QRegularExpression(QStringLiteral("%1\\(1, .*").arg(function)));
        };
        // initControls' last count, then loadStaticInfo, then refreshStatus.
        QVERIFY(first("HalvoGetFanCount") < first("HalvoGetCpuInfo"));
        QVERIFY(first("HalvoGetCpuInfo") < first("HalvoGetDiskDriveCount"));
        QCOMPARE(callsOn(calls.mid(2), 0), QStringList());
        QCOMPARE(window->windowTitle(), RemoteTitle);
        QCOMPARE(text("label_9") + "|" + text("label_169"), QStringLiteral("192.168.1.20|3 days 4 hours 0 min 0 sec "));
        QCOMPARE(child<QLabel>(dialog, "label_5")->text(), QStringLiteral("You are connected to 192.168.1.20"));
        child<QPushButton>(dialog, "pushButton_3")->click();
        destroyClosedDialogs();
        QVERIFY(window->findChildren<ConnectionDlg *>().isEmpty());
    }

    void failedConnectionLeavesEverythingAsItWas()
    {
        start();
        const QString title = window->windowTitle();
        SimBoard::clearCalls();
        ConnectionDlg *dialog = connectTo(QStringLiteral("10.99.99.99"));
        QCOMPARE(SimBoard::calls().size(), 1);
        QCOMPARE(child<QLabel>(dialog, "label_5")->text(), QStringLiteral("Connection to 10.99.99.99 failed"));
        QCOMPARE(window->windowTitle(), title);
        QVERIFY(timerActive("refreshTimer") && timerActive("gpioRefreshTimer"));
    }

    void connectionAfterALossRestartsThePeriodicWork()
    {
        start();
        boxes->answer().answer();
        connectTo(Remote);
        SimBoard::patch(R"({"online": false})", Remote);
        window->refreshStatus();
        QCOMPARE(window->windowTitle(), QStringLiteral("HALVO-GUI 1.0: Not connected"));
        SimBoard::patch(R"({"online": true})", Remote);
        connectTo(Remote);
        QCOMPARE(window->windowTitle(), RemoteTitle);
        QVERIFY(timerActive("refreshTimer") && timerActive("graphRefreshTimer"));
        SimBoard::patch(R"({"online": false})", Remote);
        window->refreshStatus(); // a new loss is announced again
        QCOMPARE(boxes->texts().size(), 2);
    }

    // Without the check after event processing, the interrupted pass would
    // write the old board's readings into the new board's widgets.
    void refreshStopsWhenAConnectionReplacesItsBoard()
    {
        SimBoard::patch(R"({"temperatureSensors": [{"name": "R-CPU", "role": "cpu"},
                                                  {"name": "R-Board", "valueMilliCelsius": 30000}]})",
                        Remote);
        start();
        ConnectionDlg *dialog = openDialog();
        duringLocalTempList = [dialog] {
            QTimer::singleShot(0, child<QPushButton>(dialog, "pushButton"), &QPushButton::click);
        };
        window->refreshStatus();
        QVERIFY(!duringLocalTempList);
        QStringList names;
        for (const QLabel *label : child<QScrollArea>(window.get(), "scrollArea")->widget()->findChildren<QLabel *>())
            names << label->text();
        QCOMPARE(names, QStringList({"R-CPU", "R-Board"}));
    }

    void staticLoadStopsWhenAConnectionReplacesItsBoard()
    {
        start();
        QTimer::singleShot(0, child<QPushButton>(openDialog(), "pushButton"), &QPushButton::click);
        SimBoard::clearCalls();
        window->loadStaticInfo();
        // The CPU read it was in, then only the closing of handle 0.
        QCOMPARE(callsOn(SimBoard::calls(), 0).size(), 2);
        QCOMPARE(window->windowTitle(), RemoteTitle);
        QCOMPARE(text("label_6"), QStringLiteral("Halvo Celeron(TM) CPU N2930 "));
        QCOMPARE(child<QTreeWidget>(window.get(), "treeWidget_4")->topLevelItemCount(), 1); // not loaded twice
    }

    // Closing deletes the dialog at the next event processing, here the one
    // before the library call: the attempt is then dropped.
    void closingTheDialogWhileItConnectsAbandonsTheAttempt()
    {
        start();
        QPointer<ConnectionDlg> dialog = openDialog();
        QTimer::singleShot(0, dialog, &QDialog::close);
        SimBoard::clearCalls();
        child<QPushButton>(dialog, "pushButton")->click();
        QVERIFY(dialog.isNull());
        QVERIFY(SimBoard::calls("HalvoLibInitialize").isEmpty());
    }
};

QTEST_MAIN(ConnectionTest)
#include "test_connection.moc"
