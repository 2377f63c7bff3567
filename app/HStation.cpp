#include "HStation.h"

#include "connection/ConnectionDlg.h"
#include "messagebox.h"
#include "pages/graphs.h"
#include "ui_HStationMW.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <qwt_dial.h>
#include <qwt_dial_needle.h>
#include <qwt_plot.h>
#include <qwt_round_scale_draw.h>
#include <qwt_scale_draw.h>

namespace
{

void setAllGroupsBrush(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = widget->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setBrush(group, role, QBrush(colour, Qt::SolidPattern));
    widget->setPalette(palette);
}

} // namespace

HStation::HStation(QWidget *parent) : QMainWindow(parent), ui(new Ui_HStationMW)
{
    // Before any scale measures its labels: the thermometer bars of a large
    // board would otherwise each measure the same numbers again.
    SharedPlainTextEngine::install();
    ui->setupUi(this);
    apiHandle = 0;

    // The form is saved with other pages current; the window always opens on
    // the first ones.
    ui->tabWidget->setCurrentIndex(0);
    ui->toolBox->setCurrentIndex(0);
    ui->toolBox_2->setCurrentIndex(0);
    ui->stackedWidget_3->setCurrentIndex(0);

    setWindowTitle(QString::fromLatin1(ProductName) + QLatin1Char(' '));
    resize(800, 405);

    // A style sheet also reaches nested group boxes; the Sensors tab's groups
    // are left out on purpose and keep the default title colour.
    const QString blueTitle = QStringLiteral("QGroupBox::title {color: rgb(0, 99, 172);}");
    const std::initializer_list<QWidget *> blueTitled = {
        ui->groupBox,    ui->groupBox_2,  ui->groupBox_4,  ui->groupBox_5,  ui->groupBox_7,  ui->groupBox_8,
        ui->groupBox_10, ui->groupBox_11, ui->groupBox_12, ui->groupBox_13, ui->groupBox_14, ui->groupBox_15,
        ui->groupBox_16, ui->groupBox_21, ui->groupBox_22, ui->groupBox_23, ui->groupBox_24, ui->groupBox_25,
        ui->groupBox_26, ui->groupBox_27, ui->groupBox_28, ui->groupBox_29, ui->groupBox_30, ui->groupBox_31,
        ui->groupBox_32, ui->groupBox_33, ui->frame_2};
    for (QWidget *box : blueTitled)
        box->setStyleSheet(blueTitle);

    // Centre on the desktop area without panels; QRect::right() is inclusive,
    // which is what the centre point is computed from.
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    move((available.left() + available.right()) / 2 - width() / 2,
         (available.top() + available.bottom()) / 2 - height() / 2);

    graphHistoryLength = 500;

    const QFont axisFont(QStringLiteral("Sans Serif"), 8);
    ui->qwtPlot_6->setAxisScale(QwtPlot::xBottom, 0, 500, 100);
    ui->qwtPlot_6->setAxisScale(QwtPlot::yLeft, 20, 80, 20);
    ui->qwtPlot_7->setAxisScale(QwtPlot::xBottom, 0, graphHistoryLength, 100);
    ui->qwtPlot_7->setAxisScale(QwtPlot::yLeft, 0, 5100, 800);
    for (QwtPlot *plot : {ui->qwtPlot_6, ui->qwtPlot_7}) {
        plot->setCanvas(new GraphCanvas);
        for (int axis : {QwtPlot::xBottom, QwtPlot::yLeft}) {
            plot->setAxisScaleDraw(axis, new PlainScaleDraw<QwtScaleDraw>);
            plot->setAxisFont(axis, axisFont);
        }
    }

    // initControls sets up the dial's scale, on this scale draw.
    ui->Dial->setScaleDraw(new PlainScaleDraw<QwtRoundScaleDraw>);
    setAllGroupsBrush(ui->Dial, QPalette::WindowText, QColor(228, 229, 229));
    cpuSpeedNeedle =
        new QwtDialSimpleNeedle(QwtDialSimpleNeedle::Arrow, true, Qt::black, QColor(Qt::black).lighter(130));
    ui->Dial->setNeedle(cpuSpeedNeedle);

    diskCount = 0;
    partitionCount = 0;
    skipNextPerfChange = false;
    ui->stackedWidget_2->setCurrentIndex(0);

    // The refresh and graph timers are single-shot and re-armed by their
    // handlers, so a slow board never gets a second tick queued behind the
    // first; the GPIO timer repeats and its handler restarts it.
    refreshInterval = 1000;
    refreshTimer = new QTimer(this);
    refreshTimer->setObjectName(QStringLiteral("refreshTimer"));
    connect(refreshTimer, &QTimer::timeout, this, &HStation::refreshTimer_timeout);
    refreshTimer->setSingleShot(true);

    graphInterval = 500;
    graphRefreshTimer = new QTimer(this);
    graphRefreshTimer->setObjectName(QStringLiteral("graphRefreshTimer"));
    connect(graphRefreshTimer, &QTimer::timeout, this, &HStation::graphRefreshTimer_timeout);
    graphRefreshTimer->setSingleShot(true);

    gpioInterval = 1500;
    gpioRefreshTimer = new QTimer(this);
    gpioRefreshTimer->setObjectName(QStringLiteral("gpioRefreshTimer"));
    connect(gpioRefreshTimer, &QTimer::timeout, this, &HStation::gpioRefreshTimer_timeout);

    initControls();
    loadStaticInfo();
    refreshStatus();
}

HStation::~HStation()
{
    delete ui;
}

void HStation::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::LanguageChange)
        return;
    ui->retranslateUi(this);
    // Re-applying the texts refills the quick command's Rd/Wr choice, which
    // then stands on "Rd" again; Qt 5's generated code keeps the selection.
    ui->comboBox_2->setCurrentIndex(0);
}

bool HStation::letEventsRun(quint32 pass)
{
    QCoreApplication::processEvents();
    return pass == connectionGeneration;
}

// Timer handlers re-arm their timer at the end, and only while the connection
// is up, so a lost board stops the periodic work until the next connection.
void HStation::refreshTimer_timeout()
{
    // A connection made while events ran has armed the timer itself.
    const quint32 pass = connectionGeneration;
    if (!letEventsRun(pass))
        return;
    refreshStatus();
    if (!letEventsRun(pass))
        return;
    if (!notConnected)
        refreshTimer->start(refreshInterval);
}

// Only the class matters; the lower half is the library's own detail.
bool HStation::checkConnectionError(int status)
{
    if (HALVO_ERROR_CLASS(status) != HALVO_CLASS_CONNECTION) {
        if (connErrorCount > 0)
            --connErrorCount;
        return false;
    }
    if (connErrorCount < INT32_MAX)
        ++connErrorCount;
    // One connection-class status is taken for a loss.
    constexpr int32_t lossThreshold = 1;
    if (connErrorCount < lossThreshold || notConnected)
        return true;

    suspendRefresh();
    // The box waits in an event loop: a connection made from there owns the
    // title by the time it closes.
    const quint32 pass = connectionGeneration;
    showMessage(QStringLiteral("Connection failed, please try to connect again..."));
    if (pass == connectionGeneration)
        setWindowTitle(QString::fromLatin1(ProductName) + QStringLiteral(": Not connected"));
    return true;
}

// The watchdog count-down is left running: the user started it and stops it.
void HStation::suspendRefresh()
{
    notConnected = true;
    refreshTimer->stop();
    graphRefreshTimer->stop();
    gpioRefreshTimer->stop();
}

void HStation::connectTo(int32_t handle, const QString &address)
{
    suspendRefresh();
    // Handle 0 too: the library accepts closing the local board.
    HalvoLibUnInitialize(apiHandle);
    apiHandle = handle;
    const quint32 previous = connectionGeneration;
    initControls();
    // initControls lets events run; a connection made meanwhile replaced this
    // one and has loaded the pages for its own board.
    if (connectionGeneration != previous + 1)
        return;
    const quint32 pass = connectionGeneration;
    // After initControls, which empties it; the title and the IP address of
    // a remote board come from here.
    remoteAddress = address;
    loadStaticInfo();
    if (pass != connectionGeneration)
        return;
    refreshStatus();
}

// The dialog works on its own (window-modal, not waited for) and deletes
// itself when closed.
void HStation::on_pushButton_10_clicked()
{
    auto *dialog = new ConnectionDlg(this);
    dialog->show();
}

// The interval sliders take effect at the next re-arming; a running countdown
// is left alone.
void HStation::on_horizontalSlider_3_valueChanged(int value)
{
    ui->label_125->setNum(value);
    gpioInterval = value;
}

void HStation::on_horizontalSlider_valueChanged(int value)
{
    ui->label_77->setNum(value);
    refreshInterval = value;
}

void HStation::on_horizontalSlider_2_valueChanged(int value)
{
    ui->label_86->setNum(value);
    graphInterval = value;
}
