// Device controls of the Misc tab: display backlight, watchdog and GPIO.
#include "HStation.h"
#include "messagebox.h"
#include "ui_HStationMW.h"

#include <QTimer>
#include <array>

// The backlight is set on display 0 only, whatever the number of displays. A
// refusal is silent: the board keeps its brightness and the widgets stay as
// they are.
void HStation::on_spinBox_3_valueChanged(int value)
{
    Q_UNUSED(value);
    HalvoSetBacklightValue(apiHandle, 0, ui->spinBox_3->value());
}

namespace
{

// The board takes the watchdog timeout in milliseconds as a 32-bit number; a
// typed timeout too large (or too negative) for that goes to the board as the
// nearest value it can carry, never wrapped round into another timeout.
int32_t watchdogMilliseconds(int32_t seconds)
{
    return static_cast<int32_t>(qBound<int64_t>(INT32_MIN, int64_t(seconds) * 1000, INT32_MAX));
}

// Deferred: Stop also runs inside the timer's own tick.
void releaseTimer(QTimer *&timer)
{
    if (!timer)
        return;
    timer->stop();
    timer->deleteLater();
    timer = nullptr;
}

void setLabelColour(QLabel *label, const QColor &colour)
{
    QPalette palette = label->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setBrush(group, QPalette::WindowText, QBrush(colour, Qt::SolidPattern));
    label->setPalette(palette);
}

constexpr int GpioColumns = 8;

std::array<QLabel *, GpioColumns> gpioPinLabels(const Ui_HStationMW *ui)
{
    return {ui->label_gpio_pin_0, ui->label_gpio_pin_1, ui->label_gpio_pin_2, ui->label_gpio_pin_3,
            ui->label_gpio_pin_4, ui->label_gpio_pin_5, ui->label_gpio_pin_6, ui->label_gpio_pin_7};
}

std::array<QPushButton *, GpioColumns> gpioDirectionButtons(const Ui_HStationMW *ui)
{
    return {ui->label_gpio_dir_0, ui->label_gpio_dir_1, ui->label_gpio_dir_2, ui->label_gpio_dir_3,
            ui->label_gpio_dir_4, ui->label_gpio_dir_5, ui->label_gpio_dir_6, ui->label_gpio_dir_7};
}

std::array<QPushButton *, GpioColumns> gpioLevelButtons(const Ui_HStationMW *ui)
{
    return {ui->label_gpio_level_0, ui->label_gpio_level_1, ui->label_gpio_level_2, ui->label_gpio_level_3,
            ui->label_gpio_level_4, ui->label_gpio_level_5, ui->label_gpio_level_6, ui->label_gpio_level_7};
}

// The column of the clicked button, found by its object name; -1 for a
// sender that is none of them.
int gpioColumnOf(const QObject *sender, const std::array<QPushButton *, GpioColumns> &buttons)
{
    if (!sender)
        return -1;
    for (int column = 0; column < GpioColumns; ++column)
        if (sender->objectName() == buttons[column]->objectName())
            return column;
    return -1;
}

int32_t gpioPin(int group, int column)
{
    return GpioColumns * group + column;
}

} // namespace

void HStation::on_pushButton_5_clicked()
{
    wdTimeout = ui->lineEdit_17->text().toInt(nullptr, 10);
    if (HalvoWatchdogEnable(apiHandle, watchdogMilliseconds(wdTimeout)) != HALVO_STATUS_OK) {
        showMessage(QStringLiteral("Watchdog not supported"));
        return;
    }
    ui->lineEdit_17->setText(QString::number(wdTimeout));
    wdRemaining = wdTimeout;
    // A count-down still running from before a reconnection is replaced, so
    // two timers never count the same seconds.
    releaseTimer(wdTimer);
    wdTimer = new QTimer(this);
    wdTimer->setObjectName(QStringLiteral("wdTimer"));
    connect(wdTimer, &QTimer::timeout, this, &HStation::wdTimer_timeout);
    wdTimer->start(1000);

    setLabelColour(ui->label_108, Qt::darkRed);
    ui->label_108->setText(QStringLiteral("Countdown:"));
    ui->label_156->setText(QStringLiteral("WatchDog is running"));
    ui->pushButton_5->setEnabled(false);
    ui->pushButton_7->setEnabled(true);
    ui->pushButton_8->setEnabled(true);
}

// The count-down is the window's own estimate; the board is never asked for
// the time left.
void HStation::wdTimer_timeout()
{
    --wdRemaining;
    ui->lineEdit_17->setText(QString::number(wdRemaining));
    if (wdRemaining != 0)
        return;
    if (wdTimer)
        wdTimer->stop();
    showMessage(QStringLiteral("Board was restarted"));
    on_pushButton_8_clicked();
}

void HStation::on_pushButton_7_clicked()
{
    if (HalvoWatchdogTrigger(apiHandle) != HALVO_STATUS_OK)
        return;
    wdRemaining = wdTimeout;
    ui->lineEdit_17->setText(QString::number(wdTimeout));
}

// The field keeps the last count shown.
void HStation::on_pushButton_8_clicked()
{
    if (HalvoWatchdogDisable(apiHandle) != HALVO_STATUS_OK)
        return;
    releaseTimer(wdTimer);
    setLabelColour(ui->label_108, Qt::black);
    ui->label_108->setText(QStringLiteral("Timeout:"));
    ui->label_156->setText(QStringLiteral("WatchDog is stopped"));
    ui->pushButton_5->setEnabled(true);
    ui->pushButton_7->setEnabled(false);
    ui->pushButton_8->setEnabled(false);
}

// Failed reads are silent and keep the texts: in a partly used last group the
// missing pins show what they showed before.
void HStation::on_comboBox_9_currentIndexChanged(int index)
{
    if (index < 0)
        return;
    const auto pinLabels = gpioPinLabels(ui);
    for (int column = 0; column < GpioColumns; ++column)
        pinLabels[column]->setNum(gpioPin(index, column));

    const auto directionButtons = gpioDirectionButtons(ui);
    for (int column = 0; column < GpioColumns; ++column) {
        uint8_t direction = 0;
        if (HalvoGpioGetDirection(apiHandle, gpioPin(index, column), &direction) == HALVO_STATUS_OK)
            directionButtons[column]->setText(direction == 0 ? QStringLiteral("IN") : QStringLiteral("OUT"));
    }

    const auto levelButtons = gpioLevelButtons(ui);
    for (int column = 0; column < GpioColumns; ++column) {
        uint8_t level = 0;
        if (HalvoGpioGetLevel(apiHandle, gpioPin(index, column), &level) == HALVO_STATUS_OK)
            levelButtons[column]->setText(QString::number(unsigned(level)));
    }
}

void HStation::gpioRefreshTimer_timeout()
{
    const quint32 pass = connectionGeneration;
    if (!letEventsRun(pass))
        return;
    on_comboBox_9_currentIndexChanged(ui->comboBox_9->currentIndex());
    if (!letEventsRun(pass))
        return;
    if (!notConnected)
        gpioRefreshTimer->start(gpioInterval);
}

// Direction codes: 0 input, anything else output.
void HStation::gpio_direction_change()
{
    const int group = ui->comboBox_9->currentIndex();
    if (group < 0)
        return;
    const auto buttons = gpioDirectionButtons(ui);
    const int column = gpioColumnOf(sender(), buttons);
    if (column < 0)
        return;
    QPushButton *button = buttons[column];
    const bool toOutput = button->text().compare(QLatin1String("IN"), Qt::CaseInsensitive) == 0;
    if (HalvoGpioSetDirection(apiHandle, gpioPin(group, column), toOutput ? 1 : 0) != HALVO_STATUS_OK) {
        showMessage(QStringLiteral("GPIO direction setting error!!!"));
        return;
    }
    button->setText(toOutput ? QStringLiteral("OUT") : QStringLiteral("IN"));
    // A changed direction can change what the whole group reads (loopback).
    on_comboBox_9_currentIndexChanged(ui->comboBox_9->currentIndex());
}

// Not re-read: the next periodic refresh shows what the board made of it.
void HStation::gpio_level_change()
{
    const int group = ui->comboBox_9->currentIndex();
    if (group < 0)
        return;
    const auto buttons = gpioLevelButtons(ui);
    const int column = gpioColumnOf(sender(), buttons);
    if (column < 0)
        return;
    QPushButton *button = buttons[column];
    const bool toHigh = button->text() == QLatin1String("0");
    if (HalvoGpioSetLevel(apiHandle, gpioPin(group, column), toHigh ? 1 : 0) != HALVO_STATUS_OK) {
        showMessage(QStringLiteral("GPIO level setting error!!!"));
        return;
    }
    button->setText(toHigh ? QStringLiteral("1") : QStringLiteral("0"));
}
