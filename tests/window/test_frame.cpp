// The window as its constructor leaves it, the Settings tab, the Connect
// dialog and connection sequence, and the connection-loss check.
#include "connection/ConnectionDlg.h"
#include "windowtest.h"

#include <QComboBox>
#include <QPointer>
#include <QScreen>
#include <QSlider>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>
#include <QToolBox>
#include <QTreeWidget>
#include <QtTest>

HALVO_FAKE(HalvoGetTempSensorList, (int32_t h, TempSensorInfo *list, int32_t count), (h, list, count))
HALVO_FAKE(HalvoLibUnInitialize, (int32_t h), (h))

namespace
{

const QString Remote = QStringLiteral("192.168.1.20");
const QString RemoteTitle = QStringLiteral("HALVO-GUI 1.0: HVB-1210 - 192.168.1.20");
const QString LostTitle = QStringLiteral("HALVO-GUI 1.0: Not connected");
const QString LostMessage = QStringLiteral("Connection failed, please try to connect again...");

// Calls made on `handle`, by their first argument.
QStringList callsOn(const QStringList &calls, int handle)
{
    return calls.filter(QRegularExpression(QStringLiteral("^Halvo\\w+\\(%1[,)]").arg(handle)));
}

QStringList warnings;

} // namespace

class FrameTest : public WindowTest
{
    Q_OBJECT

    // "1" or "0" for the refresh, graph and GPIO timers, running or not.
    QString timers() const
    {
        QString running;
        for (const char *name : {"refreshTimer", "graphRefreshTimer", "gpioRefreshTimer"})
            running += get<QTimer>(name)->isActive() ? '1' : '0';
        return running;
    }
    ConnectionDlg *openDialog() const
    {
        click("pushButton_10");
        return window->findChildren<ConnectionDlg *>().last();
    }
    // Connects through a new dialog, left on its result page.
    ConnectionDlg *connectTo(const QString &address) const
    {
        ConnectionDlg *dialog = openDialog();
        child<QLineEdit>(dialog, "lineEdit")->setText(address);
        child<QAbstractButton>(dialog, "pushButton")->click();
        return dialog;
    }
    static void clickLater(ConnectionDlg *dialog, const char *button)
    {
        QTimer::singleShot(0, child<QAbstractButton>(dialog, button), &QAbstractButton::click);
    }

private slots:
    // Form connections to a slot that does not exist warn as well as a
    // misspelt by-name slot.
    void opensCentredOnTheFirstPagesWithTimersRunningAndNoWarning()
    {
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &message) { warnings << message; });
        start();
        qInstallMessageHandler(previous);
        QCOMPARE(warnings.filter("connect", Qt::CaseInsensitive), QStringList());
        QCOMPARE(window->size(), QSize(800, 405));
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(window->pos(), QPoint((area.left() + area.right()) / 2 - 400, (area.top() + area.bottom()) / 2 - 202));
        // The form is saved with other pages current, the I2C commands too.
        QCOMPARE(get<QTabWidget>("tabWidget")->currentIndex() + get<QToolBox>("toolBox")->currentIndex() +
                     get<QToolBox>("toolBox_2")->currentIndex() + get<QStackedWidget>("stackedWidget")->currentIndex() +
                     get<QStackedWidget>("stackedWidget_3")->currentIndex(),
                 0);
        for (const char *name : {"label_37", "label_76", "label_74", "label_79", "label_75", "label_38"})
            QVERIFY2(!get<QLabel>(name)->pixmap(Qt::ReturnByValue).isNull(), name);
        QVERIFY(!window->windowIcon().isNull());
        QCOMPARE(timers(), "111"); // the demo board's fan speed and GPIO pins can be read
    }

    // A slider shows its value at once but the timer keeps its pending
    // countdown; the new interval applies from the next re-arming.
    void intervalSliderAppliesAtTheNextArming_data()
    {
        columns({"slider", "label", "timer"});
        row("overall", "horizontalSlider", "label_77", "refreshTimer");
        row("graphs", "horizontalSlider_2", "label_86", "graphRefreshTimer");
        row("gpio", "horizontalSlider_3", "label_125", "gpioRefreshTimer");
    }
    void intervalSliderAppliesAtTheNextArming()
    {
        start();
        auto *armed = get<QTimer>(qPrintable(cell("timer")));
        const int before = armed->interval();
        get<QSlider>(qPrintable(cell("slider")))->setValue(50);
        QCOMPARE(text(qPrintable(cell("label"))), QStringLiteral("50"));
        QCOMPARE(armed->interval(), before);
        invoke(qPrintable(cell("timer") + "_timeout"));
        QVERIFY(armed->isActive() && armed->interval() == 50);
    }

    void languageChangeReappliesFormTextsAndEmptiesTitle()
    {
        start();
        get<QSlider>("horizontalSlider")->setValue(50);
        set("comboBox_2", "1");
        set("lineEdit", "0x50");
        QEvent change(QEvent::LanguageChange);
        QApplication::sendEvent(window.get(), &change);
        QCOMPARE(window->windowTitle(), QString());
        // The value label goes back to the form's text whatever the slider shows.
        QCOMPARE(QStringList({text("label_77"), get<QTabWidget>("tabWidget")->tabText(8),
                              get<QComboBox>("comboBox_2")->currentText(), get<QLineEdit>("lineEdit")->text()}),
                 QStringList({"1000", "Settings", "Rd", "0x00"}));
        QCOMPARE(get<QSlider>("horizontalSlider")->value(), 50);
    }

    // ---- Connection

    // Cancel calls nothing; closing the dialog while it lets events run before
    // the library call drops the attempt; a failed attempt changes nothing.
    // Closed dialogs are deleted.
    void attemptsThatDoNotConnectLeaveEverythingAsItWas()
    {
        start();
        const QString title = window->windowTitle();
        SimBoard::clearCalls();
        QPointer<ConnectionDlg> dialog = openDialog();
        QVERIFY(dialog->isVisible() && dialog->windowModality() == Qt::WindowModal);
        QCOMPARE(child<QStackedWidget>(dialog, "stackedWidget")->currentIndex(), 0);
        QCOMPARE(child<QLineEdit>(dialog, "lineEdit")->text(), Remote);
        child<QAbstractButton>(dialog, "pushButton_2")->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(dialog.isNull());
        dialog = openDialog();
        QTimer::singleShot(0, dialog, &QDialog::close);
        child<QAbstractButton>(dialog, "pushButton")->click();
        QVERIFY(dialog.isNull());
        QVERIFY(SimBoard::calls().isEmpty());
        dialog = connectTo(QStringLiteral("10.99.99.99"));
        QCOMPARE(SimBoard::calls().size(), 1);
        QCOMPARE(child<QLabel>(dialog, "label_5")->text(), QStringLiteral("Connection to 10.99.99.99 failed"));
        QCOMPARE(window->windowTitle() + timers(), title + "111");
    }

    // The remote board's own network list names another address: the title
    // shows the one the user typed.
    void successfulConnectionRunsTheSequenceInOrder()
    {
        SimBoard::patch(R"({"networkDevices": [{"name": "eth9", "ipAddress": "10.7.7.7"}]})", Remote);
        start();
        QString timersAtClose;
        fakeHalvoLibUnInitialize = [&](int32_t h) { return timersAtClose = timers(), realHalvoLibUnInitialize(h); };
        SimBoard::clearCalls();
        QPointer<ConnectionDlg> dialog = connectTo(Remote);
        const QStringList calls = SimBoard::calls();
        QCOMPARE(calls.mid(0, 3),
                 QStringList({"HalvoLibInitialize(\"192.168.1.20\", 7890, *, 0, 0) -> 0",
                              "HalvoLibUnInitialize(0) -> 0", "HalvoGetCpuPerformance(1, *, *) -> 0"}));
        QCOMPARE(timersAtClose, "000");
        const auto first = [&](const char *function) {
            return calls.indexOf(QRegularExpression(QStringLiteral("%1\\(1, .*").arg(function)));
        };
        // initControls' last count, then loadStaticInfo, then refreshStatus.
        QVERIFY(first("HalvoGetFanCount") < first("HalvoGetCpuInfo"));
        QVERIFY(first("HalvoGetCpuInfo") < first("HalvoGetDiskDriveCount"));
        QCOMPARE(callsOn(calls.mid(2), 0), QStringList());
        QCOMPARE(
            QStringList(
                {window->windowTitle(), text("label_9"), text("label_169"), child<QLabel>(dialog, "label_5")->text()}),
            QStringList({RemoteTitle, Remote, "3 days 4 hours 0 min 0 sec ", "You are connected to 192.168.1.20"}));
        child<QAbstractButton>(dialog, "pushButton_3")->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(dialog.isNull());
    }

    // Without the checks after event processing, an interrupted pass would
    // write the old board's readings into the new board's widgets, or load
    // the new board twice.
    void passesStopWhenAConnectionReplacesTheirBoard()
    {
        SimBoard::patch(R"({"temperatureSensors": [{"name": "R-CPU", "role": "cpu"}, {"name": "R-Board"}]})", Remote);
        start();
        ConnectionDlg *dialog = openDialog();
        bool armed = true;
        fakeHalvoGetTempSensorList = [&](int32_t h, TempSensorInfo *list, int32_t count) {
            if (h == 0 && std::exchange(armed, false))
                clickLater(dialog, "pushButton");
            return realHalvoGetTempSensorList(h, list, count);
        };
        window->refreshStatus();
        QVERIFY(!armed);
        QCOMPARE(labelTexts("scrollArea"), QStringList({"R-CPU", "R-Board"}));

        start();
        clickLater(openDialog(), "pushButton");
        SimBoard::clearCalls();
        window->loadStaticInfo();
        QCOMPARE(callsOn(SimBoard::calls(), 0).size(), 2); // the CPU read it was in, then closing handle 0
        QCOMPARE(window->windowTitle(), RemoteTitle);
        QCOMPARE(text("label_6"), QStringLiteral("Halvo Celeron(TM) CPU N2930 "));
        QCOMPARE(get<QTreeWidget>("treeWidget_4")->topLevelItemCount(), 1);
    }

    // ---- Connection loss

    void connectionClassIsTheUpperHalfAndTheCounterNeverGoesNegative()
    {
        start();
        boxes->answer();
        QVERIFY(!window->checkConnectionError(1) && !window->checkConnectionError(0x00020000));
        QCOMPARE(window->connectionErrors(), 0);
        QVERIFY(window->checkConnectionError(0x00010000) && window->checkConnectionError(0x0001ffff));
        QCOMPARE(window->connectionErrors(), 2);
        QVERIFY(!window->checkConnectionError(0x00030000));
        QCOMPARE(window->connectionErrors(), 1);
        QCOMPARE(boxes->texts(), QStringList({LostMessage}));
    }

    // The tick stops where the loss shows and does not re-arm its timer; a
    // further loss is silent.
    void firstLossIsAnnouncedOnceAndStopsThePeriodicWork()
    {
        start();
        invoke("refreshTimer_timeout");
        QVERIFY(get<QTimer>("refreshTimer")->isActive());
        boxes->answer();
        SimBoard::patch(R"({"online": false})");
        SimBoard::clearCalls();
        invoke("refreshTimer_timeout");
        QCOMPARE(window->windowTitle() + timers(), LostTitle + "000");
        QVERIFY(SimBoard::calls("HalvoGetBatteryInfo").isEmpty());
        window->refreshStatus();
        QTest::qWait(1100);
        QCOMPARE(boxes->texts(), QStringList({LostMessage}));
    }

    void connectionAfterALossRestartsThePeriodicWork()
    {
        start();
        boxes->answer().answer();
        connectTo(Remote);
        SimBoard::patch(R"({"online": false})", Remote);
        window->refreshStatus();
        QCOMPARE(window->windowTitle(), LostTitle);
        SimBoard::patch(R"({"online": true})", Remote);
        connectTo(Remote);
        QCOMPARE(window->windowTitle(), RemoteTitle);
        QCOMPARE(timers().left(2), "11");
        SimBoard::patch(R"({"online": false})", Remote);
        window->refreshStatus(); // a new loss is announced again
        QCOMPARE(boxes->texts().size(), 2);
    }
};

QTEST_MAIN(FrameTest)
#include "test_frame.moc"
