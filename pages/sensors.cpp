// Sensors and CPU control: the pass that resets and probes every page for a
// new connection, the Sensors tab, the live graphs, CPU fan and CPU performance.
#include "HStation.h"
#include "board/boardtext.h"
#include "format.h"
#include "graphs.h"
#include "messagebox.h"
#include "ui_HStationMW.h"

#include <QCoreApplication>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPalette>
#include <QScrollArea>
#include <QTimer>
#include <initializer_list>
#include <qwt_dial.h>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_round_scale_draw.h>
#include <qwt_scale_draw.h>
#include <qwt_thermo.h>
#include <vector>

namespace
{

// A sensor or fan count the window builds widgets (or allocates records) for.
// Anything larger can only come from a misbehaving library and is treated like
// a failed count query.
bool usableSensorCount(int32_t count)
{
    return count <= 65535;
}

void setTexts(std::initializer_list<QLabel *> labels, const QString &text)
{
    for (QLabel *label : labels)
        label->setText(text);
}

void setAllEnabled(std::initializer_list<QWidget *> widgets, bool enabled)
{
    for (QWidget *widget : widgets)
        widget->setEnabled(enabled);
}

QFont sensorCaptionFont()
{
    return QFont(QStringLiteral("SansSerif"), 8, QFont::Bold);
}

// The Sensors tab's groups have no layout: their widgets sit at fixed places in
// a frame that the group's scroll area scrolls. The frame is made hidden inside
// the scroll area's viewport, where setWidget puts it later: made without a
// parent it would take the viewport's font and palette only then, and pass the
// change on to every bar and caption, each laying itself out again.
QFrame *newSensorFrame(QScrollArea *area)
{
    auto *frame = new QFrame(area->viewport());
    frame->setObjectName(QStringLiteral("sensorFrame"));
    return frame;
}

// The frame in place of the group's last one, which goes. Shown, every bar
// and caption asks to be painted on its own, and Qt checks each such request
// against all the siblings above it: with 200 sensors that was the longest
// part of the next paint. The frame's own request covers them all, so theirs
// are dropped.
void showSensorFrame(QScrollArea *area, QFrame *frame)
{
    area->setWidget(frame);
    for (QObject *child : frame->children())
        QCoreApplication::removePostedEvents(child, QEvent::UpdateLater);
}

QLabel *newNoSensorsLabel(QFrame *frame)
{
    auto *label = new QLabel(QStringLiteral("No sensors found"), frame);
    label->setGeometry(30, 10, 200, 50);
    return label;
}

QLabel *newSensorLabel(QFrame *frame, const QString &text, int x, int y, int width, int height)
{
    auto *label = new QLabel(text, frame);
    label->setFont(sensorCaptionFont());
    label->setGeometry(x, y, width, height);
    return label;
}

// One sample more for a graph: the history keeps the newest `maxLength`
// samples, and the axis numbers them 0..n-1 so the curve scrolls left once the
// history is full.
void appendGraphSample(QVector<double> &axis, QVector<double> &history, double value, int maxLength)
{
    history.append(value);
    if (history.size() > maxLength)
        history.removeFirst();
    else
        axis.append(history.size() - 1);
}

// The plot's single curve, made on the first sample after the plot was
// cleared. It is kept from sample to sample and only its points change: a
// replaced curve would look the same but cost an allocation per sample.
QwtPlotCurve *graphCurve(QwtPlot *plot, const QString &title)
{
    const QwtPlotItemList curves = plot->itemList(QwtPlotItem::Rtti_PlotCurve);
    if (!curves.isEmpty())
        return static_cast<QwtPlotCurve *>(curves.first());
    auto *curve = new QwtPlotCurve(title);
    curve->attach(plot);
    return curve;
}

void showGraph(QwtPlot *plot, const QString &title, const QVector<double> &axis, const QVector<double> &history)
{
    // The points are copied: the histories are emptied by a new connection
    // while the plot may still repaint the last curve.
    graphCurve(plot, title)->setSamples(axis, history);
    // The scales are fixed, so only the canvas is repainted, without laying
    // out the axes again; a plot off screen is painted when next shown.
    if (auto *canvas = qobject_cast<QwtPlotCanvas *>(plot->canvas()))
        canvas->replot();
    else
        plot->replot();
}

} // namespace

void HStation::initControls()
{
    const quint32 pass = ++connectionGeneration;
    remoteAddress.clear();

    const QString notAvailable = QStringLiteral("Not available");
    const QString noData = QStringLiteral("---");
    setTexts({ui->label_6, ui->label_3, ui->label_2}, notAvailable);
    setTexts({ui->label_39, ui->label_32, ui->label_31, ui->label_42, ui->label_34, ui->label_44, ui->label_46,
              ui->label_48, ui->label_49},
             notAvailable);
    setTexts({ui->label_21, ui->label_28, ui->label_25, ui->label_24, ui->label_22, ui->label_20}, notAvailable);
    setTexts({ui->label_51, ui->label_54, ui->label_53, ui->label_57}, notAvailable);
    if (!letEventsRun(pass))
        return;
    ui->treeWidget_4->clear();
    setTexts({ui->label_69, ui->label_68, ui->label_78}, notAvailable);
    setTexts({ui->label_62, ui->label_114, ui->label_63}, noData);
    ui->label_91->setText(notAvailable);
    setTexts({ui->label_97, ui->label_101, ui->label_104, ui->label_164, ui->label_107, ui->label_227}, noData);

    // Zero counts make the next status refresh rebuild both trees.
    ui->treeWidget->clear();
    ui->treeWidget_3->clear();
    ui->treeWidget_2->clear();
    diskCount = 0;
    partitionCount = 0;
    ui->textEdit->setReadOnly(true);
    ui->textEdit->clear();
    ui->textEdit->moveCursor(QTextCursor::Start);

    // The old sensor widgets stay on screen, owned by their frames, until a
    // new frame replaces them.
    tempLabels.clear();
    tempThermos.clear();
    voltageLabels.clear();
    fanLabels.clear();
    ui->treeWidget->clear();
    ui->treeWidget_3->clear();

    ui->label_10->setText(QStringLiteral("No battery"));
    setTexts({ui->label_82, ui->label_175}, noData);
    ui->checkBox_57->setText(QStringLiteral("No battery"));
    ui->checkBox_57->setChecked(false);
    ui->label_221->setText(QStringLiteral("Charge Rate: "));
    ui->progressBar->setValue(0);
    ui->progressBar_2->setValue(0);
    setTexts({ui->label_231, ui->label_233, ui->label_224, ui->label_236, ui->label_222}, noData);

    setTexts({ui->label_14, ui->label_15, ui->label_169}, notAvailable);
    ui->label_80->setText(QStringLiteral("Current CPU speed: --- MHz"));
    ui->label_184->setText(QStringLiteral("--- %"));
    if (!letEventsRun(pass))
        return;

    QwtRoundScaleDraw *dialScale = ui->Dial->scaleDraw();
    dialScale->setSpacing(7);
    dialScale->setTickLength(QwtScaleDiv::MinorTick, 0);
    dialScale->setTickLength(QwtScaleDiv::MediumTick, 2);
    dialScale->setTickLength(QwtScaleDiv::MajorTick, 4);
    dialScale->setPenWidth(1);
    ui->Dial->setScaleArc(120, 240);
    setDialRange(1000);
    ui->Dial->setValue(0);

    perfPercent = 0;
    if (HalvoGetCpuPerformance(apiHandle, &perfType, &perfPercent) != HALVO_STATUS_OK) {
        ui->groupBox_2->setEnabled(false);
    } else {
        if (!letEventsRun(pass))
            return;
        ui->groupBox_2->setEnabled(true);
        if (perfPercent != 0) {
            ui->frame->setEnabled(true);
            setAllEnabled({ui->radioButton_3, ui->radioButton_4, ui->radioButton_5, ui->radioButton_6}, false);
            ui->horizontalSlider_4->setValue(perfPercent);
            if (pass != connectionGeneration)
                return;
        } else {
            // Checking a button sends its type, so this is also the probe of
            // which types the board accepts.
            ui->frame->setEnabled(false);
            for (QRadioButton *type : {ui->radioButton_3, ui->radioButton_4, ui->radioButton_5, ui->radioButton_6}) {
                type->setChecked(true);
                if (!letEventsRun(pass))
                    return;
            }
            const QVector<QRadioButton *> byType = {ui->radioButton_3, ui->radioButton_4, ui->radioButton_5,
                                                    ui->radioButton_6};
            if (perfType >= 0 && perfType < byType.size())
                byType[perfType]->setChecked(true);
            if (!letEventsRun(pass))
                return;
        }
    }

    uint8_t fanMode = 0;
    if (HalvoGetFanMode(apiHandle, 1, &fanMode) == HALVO_STATUS_OK) {
        if (!letEventsRun(pass))
            return;
        if (fanMode == 1)
            on_radioButton_clicked();
        else if (fanMode == 2)
            on_radioButton_2_clicked();
        if (pass != connectionGeneration)
            return;
    }
    setAllEnabled({ui->verticalSlider, ui->spinBox_2, ui->spinBox_4, ui->spinBox_5, ui->pushButton}, true);

    const std::initializer_list<QWidget *> brightness = {ui->label_102, ui->verticalSlider_3, ui->spinBox_3};
    setAllEnabled(brightness, true);
    int32_t displayCount = 0;
    const bool displayCounted = HalvoGetDisplayCount(apiHandle, &displayCount) == HALVO_STATUS_OK;
    if (!letEventsRun(pass))
        return;
    if (!displayCounted || displayCount == 0) {
        setAllEnabled(brightness, false);
    } else {
        int32_t backlight = 0;
        if (HalvoGetBacklightValue(apiHandle, 0, &backlight) != HALVO_STATUS_OK) {
            if (!letEventsRun(pass))
                return;
            setAllEnabled(brightness, false);
        } else {
            ui->spinBox_3->setValue(backlight);
            ui->verticalSlider_3->setValue(backlight);
            if (!letEventsRun(pass))
                return;
            // Writing the value back is the probe that the backlight can be set.
            if (HalvoSetBacklightValue(apiHandle, 0, backlight) != HALVO_STATUS_OK)
                setAllEnabled(brightness, false);
        }
    }
    ui->qwtPlot_6->setEnabled(true);
    ui->qwtPlot_7->setEnabled(true);

    fanSampleAxis.clear();
    fanSpeedHistory.clear();
    tempSampleAxis.clear();
    tempHistory.clear();
    if (!letEventsRun(pass))
        return;

    ui->pushButton_5->setEnabled(true);
    ui->pushButton_7->setEnabled(false);
    ui->pushButton_8->setEnabled(false);
    ui->lineEdit_17->setEnabled(true);
    ui->textEdit_2->setReadOnly(true);
    ui->textEdit_2->clear();
    ui->textEdit_2->moveCursor(QTextCursor::Start);

    // Both graphs run only when the CPU fan speed can be read, the temperature
    // graph included.
    int32_t rpm = 0;
    const bool fanSpeedRead = HalvoGetCpuFanSpeed(apiHandle, &rpm) == HALVO_STATUS_OK;
    if (!letEventsRun(pass))
        return;
    if (fanSpeedRead) {
        notConnected = false;
        graphRefreshTimer->start(graphInterval);
    } else {
        setTexts({ui->label_99, ui->label_201}, noData);
        for (QwtPlot *plot : {ui->qwtPlot_6, ui->qwtPlot_7}) {
            plot->detachItems(QwtPlotItem::Rtti_PlotCurve, true);
            plot->replot();
            plot->setEnabled(false);
        }
    }

    if (!buildTemperatureSensors(pass) || !buildVoltageSensors(pass) || !buildFanSensors(pass))
        return;

    // The form is saved with I2C pages current; every (re)connection starts
    // on SMBus. Checking alone would not refill the bus list when SMBus is
    // already the checked protocol, hence the direct call.
    ui->radioButton_16->setChecked(true);
    on_radioButton_16_toggled(true);
    if (!letEventsRun(pass))
        return;

    int32_t gpioCount = 0;
    if (HalvoGpioGetCount(apiHandle, &gpioCount) == HALVO_STATUS_OK) {
        if (!letEventsRun(pass))
            return;
        if (gpioCount != 0)
            gpioRefreshTimer->start(gpioInterval);
    }

    notConnected = false;
    refreshTimer->start(refreshInterval);
    connErrorCount = 0;
}

// The dial works in whole MHz from 0 to the board's maximum, with a labelled
// tick every 500 MHz; the minor ticks have no length and only align the value.
// Qwt divides the scale anew on every setScale call, up to a thousand minor
// ticks per 500 MHz, even when nothing changes; the refresh sets the same
// maximum every second, so the scale is only set when the maximum differs from
// the one it was last set for.
void HStation::setDialRange(int maxMhz)
{
    if (maxMhz == dialMaxMhz)
        return;
    dialMaxMhz = maxMhz;
    ui->Dial->setScale(0, maxMhz);
    ui->Dial->setTotalSteps(static_cast<uint>(qMax(maxMhz, 1)));
    ui->Dial->setSingleSteps(1);
    ui->Dial->setPageSteps(10);
    ui->Dial->setScaleStepSize(500);
    ui->Dial->setScaleMaxMinor(1000);
}

// A failed count leaves the group showing what it showed before, with a count
// of 0 so that the status refresh skips it.
bool HStation::buildTemperatureSensors(quint32 pass)
{
    if (HalvoGetTempSensorCount(apiHandle, &tempSensorCount) != HALVO_STATUS_OK ||
        !usableSensorCount(tempSensorCount)) {
        tempSensorCount = 0;
        return true;
    }
    if (!letEventsRun(pass))
        return false;
    QFrame *frame = newSensorFrame(ui->scrollArea);
    if (tempSensorCount <= 0) {
        tempLabels.append(newNoSensorsLabel(frame));
        frame->resize(222, 90);
    } else {
        // Every bar has the same font and fill colour. They are the frame's,
        // so that each bar has them from its construction on, instead of
        // every bar taking a font and a palette of its own and laying out its
        // scale again for each. The captions set their own font, and draw
        // with the window text colour, not the fill's button text.
        frame->setFont(QFont(QStringLiteral("SansSerif"), 7, QFont::Normal));
        QPalette fill = frame->palette();
        // What QwtThermo::setFillBrush sets.
        fill.setBrush(QPalette::ButtonText, QColor(39, 126, 193));
        frame->setPalette(fill);
        tempThermos.reserve(tempSensorCount);
        tempLabels.reserve(tempSensorCount);
        for (int32_t i = 0; i < tempSensorCount; ++i) {
            auto *thermo = new QwtThermo(frame);
            // Every setter lays the bar out again, measuring its end labels
            // each time; with the labels off until the last one, the bar is
            // measured once, in its final state.
            auto *draw = new PlainScaleDraw<QwtScaleDraw>;
            draw->enableComponent(QwtAbstractScaleDraw::Labels, false);
            thermo->setScaleDraw(draw);
            thermo->setOrientation(Qt::Horizontal);
            thermo->setScalePosition(QwtThermo::LeadingScale);
            thermo->setGeometry(10, 30 + 60 * i, 200, 60);
            thermo->setScale(0, 100);
            draw->enableComponent(QwtAbstractScaleDraw::Labels, true);
            thermo->setPipeWidth(3);
            tempThermos.append(thermo);
            // The status refresh replaces the caption with the sensor's name.
            tempLabels.append(newSensorLabel(frame, QStringLiteral("Core 0"), 70, -5 + 60 * i, 100, 50));
            if (!letEventsRun(pass)) {
                delete frame;
                return false;
            }
        }
        frame->resize(222, 60 * tempSensorCount + 50);
    }
    showSensorFrame(ui->scrollArea, frame);
    return true;
}

bool HStation::buildVoltageSensors(quint32 pass)
{
    if (HalvoGetVoltageSensorCount(apiHandle, &voltageSensorCount) != HALVO_STATUS_OK ||
        !usableSensorCount(voltageSensorCount)) {
        voltageSensorCount = 0;
        return true;
    }
    QFrame *frame = newSensorFrame(ui->scrollArea_2);
    if (voltageSensorCount <= 0) {
        voltageLabels.append(newNoSensorsLabel(frame));
        frame->resize(222, 70);
    } else {
        voltageLabels.reserve(voltageSensorCount);
        for (int32_t i = 0; i < voltageSensorCount; ++i)
            voltageLabels.append(newSensorLabel(frame, QString(), 25, 18 + 25 * i, 300, 25));
        frame->resize(222, 25 * voltageSensorCount + 28);
    }
    showSensorFrame(ui->scrollArea_2, frame);
    return letEventsRun(pass);
}

bool HStation::buildFanSensors(quint32 pass)
{
    if (HalvoGetFanCount(apiHandle, &fanCount) != HALVO_STATUS_OK || !usableSensorCount(fanCount)) {
        fanCount = 0;
        return true;
    }
    QFrame *frame = newSensorFrame(ui->scrollArea_3);
    if (fanCount <= 0) {
        fanLabels.append(newNoSensorsLabel(frame));
        frame->resize(222, 90);
    } else {
        fanLabels.reserve(fanCount);
        for (int32_t i = 0; i < fanCount; ++i)
            fanLabels.append(newSensorLabel(frame, QString(), 25, 10 + 25 * i, 300, 25));
        frame->resize(222, 25 * fanCount + 20);
    }
    showSensorFrame(ui->scrollArea_3, frame);
    return letEventsRun(pass);
}

void HStation::graphRefreshTimer_timeout()
{
    const quint32 pass = connectionGeneration;
    if (!letEventsRun(pass))
        return;
    int32_t rpm = 0;
    const bool fanSpeedRead = HalvoGetCpuFanSpeed(apiHandle, &rpm) == HALVO_STATUS_OK;
    // A new connection meanwhile has emptied the histories and started its own
    // sampling; this sample belongs to the old board.
    if (!letEventsRun(pass))
        return;
    if (fanSpeedRead) {
        appendGraphSample(fanSampleAxis, fanSpeedHistory, rpm, graphHistoryLength);
        showGraph(ui->qwtPlot_7, QStringLiteral("Fan_CPU"), fanSampleAxis, fanSpeedHistory);
        ui->label_201->setNum(rpm);
    }

    int32_t milliCelsius = 0;
    if (HalvoGetCpuTemp(apiHandle, 0, &milliCelsius) == HALVO_STATUS_OK) {
        if (!letEventsRun(pass))
            return;
        const double celsius = milliCelsius / 1000.0;
        appendGraphSample(tempSampleAxis, tempHistory, celsius, graphHistoryLength);
        showGraph(ui->qwtPlot_6, QStringLiteral("T_CPU"), tempSampleAxis, tempHistory);
        ui->label_99->setNum(celsius);
    }

    if (!letEventsRun(pass))
        return;
    if (!notConnected)
        graphRefreshTimer->start(graphInterval);
}

int32_t HStation::findCpuFanIndex()
{
    const quint32 pass = connectionGeneration;
    int32_t count = 0;
    if (HalvoGetFanCount(apiHandle, &count) != HALVO_STATUS_OK || count < 1 || !usableSensorCount(count))
        return -1;
    std::vector<FanInfo> fans(static_cast<size_t>(count));
    if (HalvoGetFanList(apiHandle, fans.data(), count) != HALVO_STATUS_OK)
        return -1;
    if (!letEventsRun(pass))
        return -1;
    for (int32_t i = 0; i < count; ++i) {
        if (boardText(fans[static_cast<size_t>(i)].name).compare(QLatin1String("CPU-Fan"), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

// Manual: the slider first shows the fan's current speed, so switching to
// manual control keeps the fan where it is.
void HStation::on_radioButton_clicked()
{
    if (!ui->radioButton->isChecked())
        return;
    ui->stackedWidget_2->setCurrentIndex(1);
    const quint32 pass = connectionGeneration;
    const int32_t fan = findCpuFanIndex();
    if (pass != connectionGeneration)
        return;
    uint8_t speed = 0;
    int32_t unused = 0;
    if (HalvoGetFanSpeed(apiHandle, fan, &speed, &unused) != HALVO_STATUS_OK)
        return;
    ui->verticalSlider->setValue(fanByteToPercent(speed));
}

void HStation::on_verticalSlider_valueChanged(int value)
{
    if (!ui->verticalSlider->isEnabled())
        return;
    if (HalvoSetCpuFanSpeed(apiHandle, fanPercentToByte(value)) == HALVO_STATUS_OK)
        return;
    ui->verticalSlider->setEnabled(false);
    ui->spinBox_2->setEnabled(false);
    showMessage(QStringLiteral("Fan mode setting not allowed"));
}

// Thermal Cruise takes effect only with Apply.
void HStation::on_radioButton_2_clicked()
{
    if (ui->radioButton_2->isChecked())
        ui->stackedWidget_2->setCurrentIndex(0);
}

// Apply: the board takes both temperatures in thousandths of a degree.
void HStation::on_pushButton_clicked()
{
    const int32_t tolerance = ui->spinBox_5->value() * 1000;
    const int32_t target = ui->spinBox_4->value() * 1000;
    const quint32 pass = connectionGeneration;
    const int32_t fan = findCpuFanIndex();
    if (pass != connectionGeneration)
        return;
    if (HalvoSetFanModeThermalCruise(apiHandle, fan, target, tolerance) == HALVO_STATUS_OK)
        return;
    setAllEnabled({ui->spinBox_4, ui->spinBox_5, ui->pushButton}, false);
    showMessage(QStringLiteral("Fan mode setting not allowed"));
}

// A performance type is sent with the percentage the board expects with it. A
// refused type is disabled silently: initControls relies on this to probe the
// types the board offers.
void HStation::setPerformanceType(QRadioButton *button, uint8_t type, int8_t percent)
{
    button->setEnabled(HalvoSetCpuPerformance(apiHandle, type, percent) == HALVO_STATUS_OK);
}

void HStation::on_radioButton_6_toggled(bool checked)
{
    if (checked)
        setPerformanceType(ui->radioButton_6, 3, 50);
}

void HStation::on_radioButton_5_toggled(bool checked)
{
    if (checked)
        setPerformanceType(ui->radioButton_5, 2, 75);
}

void HStation::on_radioButton_4_toggled(bool checked)
{
    if (checked)
        setPerformanceType(ui->radioButton_4, 1, 50);
}

void HStation::on_radioButton_3_toggled(bool checked)
{
    if (checked)
        setPerformanceType(ui->radioButton_3, 0, 100);
}

// The percentage always goes with type 0. While the slider is dragged every
// value it passes is sent.
void HStation::on_horizontalSlider_4_valueChanged(int value)
{
    if (skipNextPerfChange) {
        skipNextPerfChange = false;
        return;
    }
    if (HalvoSetCpuPerformance(apiHandle, 0, static_cast<int8_t>(value)) != HALVO_STATUS_OK)
        showMessage(QStringLiteral("CPU performance change not allowed"));
}

// After a drag the slider shows what the board really applied, without
// sending that value again. When the value read equals the slider's, the flag
// stays set and swallows the first change of the next drag.
void HStation::on_horizontalSlider_4_sliderReleased()
{
    int8_t type = 0;
    int8_t percent = 0;
    if (HalvoGetCpuPerformance(apiHandle, &type, &percent) != HALVO_STATUS_OK) {
        // Nothing was read: the slider keeps the value the user chose.
        showMessage(QStringLiteral("CPU performance read error"));
        return;
    }
    skipNextPerfChange = true;
    ui->horizontalSlider_4->setValue(percent);
}
