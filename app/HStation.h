// The main window: owns the form, the board connection, the periodic timers
// and every slot through which clicks and timer ticks arrive.
#ifndef HSTATION_H
#define HSTATION_H

#include "board/halvo.h"

#include <QMainWindow>
#include <QString>
#include <QVector>
#include <cstdint>

class QFont;
class QLabel;
class QRadioButton;
class QTimer;
class QwtDialSimpleNeedle;
class QwtThermo;
class QTreeWidget;
class Ui_HStationMW;

class HStation : public QMainWindow
{
    Q_OBJECT

public:
    // Start of every window title; the board name and address follow it.
    static constexpr const char *ProductName = "HALVO-GUI 1.0";

    explicit HStation(QWidget *parent = nullptr);
    ~HStation() override;

    // The three passes that (re)load every page for the board behind apiHandle.
    void initControls();
    void loadStaticInfo();
    void refreshStatus();

    // A successful Connect: stops the periodic work, closes the old handle and
    // reloads every page for `handle`, the board the user typed as `address`.
    void connectTo(int32_t handle, const QString &address);
    // True when `status` says the board is gone. The first such status stops
    // the periodic work and tells the user; later ones only answer true.
    bool checkConnectionError(int status);
    void suspendRefresh();
    // Connection-class statuses not yet offset by other statuses.
    int32_t connectionErrors() const { return connErrorCount; }

    // The strict forms of the bus tools' hexadecimal fields: "0x" (or "0X")
    // and exactly two, or four, hexadecimal digits.
    static bool isHexByte(const QString &text);
    static bool isHexWord(const QString &text);

protected:
    void changeEvent(QEvent *event) override;

private slots:
    void on_pushButton_6_clicked();
    void on_pushButton_21_clicked();
    void on_pushButton_20_clicked();
    void on_horizontalSlider_4_valueChanged(int value);
    void on_horizontalSlider_4_sliderReleased();
    void on_pushButton_2_clicked();
    void system_power_state_change();
    void on_horizontalSlider_3_valueChanged(int value);
    void on_pushButton_19_clicked();
    void on_pushButton_17_clicked();
    void on_pushButton_16_clicked();
    void on_pushButton_15_clicked();
    void on_pushButton_14_clicked();
    void on_pushButton_18_clicked();
    void on_pushButton_12_clicked();
    void on_pushButton_11_clicked();
    void on_pushButton_3_clicked();
    void refreshTimer_timeout();
    void wdTimer_timeout();
    void graphRefreshTimer_timeout();
    void gpioRefreshTimer_timeout();
    void on_radioButton_6_toggled(bool checked);
    void on_radioButton_5_toggled(bool checked);
    void on_radioButton_4_toggled(bool checked);
    void on_radioButton_3_toggled(bool checked);
    void on_radioButton_16_toggled(bool checked);
    void on_radioButton_17_toggled(bool checked);
    void on_verticalSlider_valueChanged(int value);
    void on_spinBox_3_valueChanged(int value);
    void on_pushButton_clicked();
    void on_radioButton_2_clicked();
    void on_radioButton_clicked();
    void on_pushButton_8_clicked();
    void on_pushButton_7_clicked();
    void on_pushButton_5_clicked();
    void on_comboBox_9_currentIndexChanged(int index);
    void gpio_direction_change();
    void gpio_level_change();
    void on_comboBox_10_currentIndexChanged(int index);
    void on_pushButton_4_clicked();
    void on_pushButton_10_clicked();
    void on_horizontalSlider_valueChanged(int value);
    void on_horizontalSlider_2_valueChanged(int value);
    void smbus_command_change();
    void i2c_command_change();

private:
    // Lets pending events run. False when a new connection was made meanwhile
    // (initControls ran and rebuilt the pages): the calling pass must then stop
    // at once without touching page widgets or sensor arrays.
    bool letEventsRun(quint32 pass);

    // Index of the fan named "CPU-Fan" (any case) in the board's fan list, -1
    // when there is none or the list cannot be read.
    int32_t findCpuFanIndex();
    // The CPU speed dial's range and scale for a board running up to maxMhz;
    // nothing to do when the dial already has that range.
    void setDialRange(int maxMhz);
    // initControls' Sensors tab groups; false when a new connection was made
    // meanwhile.
    bool buildTemperatureSensors(quint32 pass);
    bool buildVoltageSensors(quint32 pass);
    bool buildFanSensors(quint32 pass);
    void setPerformanceType(QRadioButton *button, uint8_t type, int8_t percent);

    void showBatteryInfo();
    // Groups of refreshStatus; false when the pass must stop because the
    // connection was lost or replaced meanwhile.
    template <typename Record, typename Describe>
    bool refreshCountedTree(quint32 pass, int32_t &seenCount, QTreeWidget *tree,
                            int32_t (*countCall)(int32_t, int32_t *), int32_t (*listCall)(int32_t, Record *, int32_t),
                            const QFont &boldItemFont, Describe describe);
    bool refreshDiskDrives(quint32 pass, const QFont &boldItemFont);
    bool refreshPartitions(quint32 pass, const QFont &boldItemFont);
    bool refreshBattery(quint32 pass);
    bool refreshCpuFrequency(quint32 pass);
    bool refreshSensors(quint32 pass);
    void showBatteryState();
    void showNoBatteryState();
    void refreshStorageContent(int32_t storage);
    void showStorageContent(int32_t storage, int32_t size);

    Ui_HStationMW *ui;

    int32_t apiHandle;
    QString remoteAddress;
    bool notConnected = false;
    int32_t connErrorCount = 0;
    // Counts initControls runs; a pass remembers it before letting events run.
    quint32 connectionGeneration = 0;

    QTimer *refreshTimer;
    QTimer *graphRefreshTimer;
    QTimer *gpioRefreshTimer;
    int32_t refreshInterval; // ms, each of the three
    int32_t graphInterval;
    int32_t gpioInterval;
    int32_t graphHistoryLength;

    // Sensors tab widgets; the widgets belong to the tab's frames. The counts
    // are the board's answers at the last initControls (0 when none or failed).
    int32_t tempSensorCount = 0;
    int32_t voltageSensorCount = 0;
    int32_t fanCount = 0;
    QVector<QwtThermo *> tempThermos;
    QVector<QLabel *> tempLabels;
    QVector<QLabel *> voltageLabels;
    QVector<QLabel *> fanLabels;

    // Record buffers of the single-record reads; refreshStatus reads the
    // battery characteristics into batteryInfo again.
    CpuInfo cpuInfo = {};
    BoardInfo boardInfo = {};
    MemoryInfo memoryInfo = {};
    MemoryModuleInfo moduleInfo = {};
    BatteryInfo batteryInfo = {};

    BatteryState batteryState = {};
    // CPU frequencies of the last refresh, kHz; 0 for a query that failed.
    int32_t cpuFreqMin = 0;
    int32_t cpuFreqMax = 0;
    int32_t cpuFreqCurrent = 0;
    // The maximum, MHz, the dial's scale was last set for; -1 before the first.
    int dialMaxMhz = -1;

    // Performance type and percentage reported at the last initControls.
    int8_t perfType = 0;
    int8_t perfPercent = 0;

    // Watchdog count-down, seconds; wdTimer exists only while one runs.
    int32_t wdTimeout = 0;
    int32_t wdRemaining = 0;
    QTimer *wdTimer = nullptr;

    int32_t diskCount;
    int32_t partitionCount;
    bool skipNextPerfChange;
    QwtDialSimpleNeedle *cpuSpeedNeedle; // owned by the dial

    QVector<double> fanSampleAxis;
    QVector<double> fanSpeedHistory;
    QVector<double> tempSampleAxis;
    QVector<double> tempHistory;
};

#endif // HSTATION_H
