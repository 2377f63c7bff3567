// The main window: owns the form, the board connection, the periodic timers
// and every slot through which clicks and timer ticks arrive.
#ifndef HSTATION_H
#define HSTATION_H

#include <QMainWindow>
#include <QString>
#include <QVector>
#include <cstdint>

class QLabel;
class QTimer;
class QwtDialSimpleNeedle;
class QwtThermo;
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

protected:
    void changeEvent(QEvent *event) override;

private slots:
    void on_horizontalSlider_3_valueChanged(int value);
    void refreshTimer_timeout();
    void graphRefreshTimer_timeout();
    void gpioRefreshTimer_timeout();
    void on_horizontalSlider_valueChanged(int value);
    void on_horizontalSlider_2_valueChanged(int value);

private:
    Ui_HStationMW *ui;

    int32_t apiHandle;
    QString remoteAddress;
    bool notConnected = false;
    int32_t connErrorCount = 0;

    QTimer *refreshTimer;
    QTimer *graphRefreshTimer;
    QTimer *gpioRefreshTimer;
    int32_t refreshInterval; // ms, each of the three
    int32_t graphInterval;
    int32_t gpioInterval;
    int32_t graphHistoryLength;

    // Sensors tab widgets; the widgets belong to the tab's frames.
    QVector<QwtThermo *> tempThermos;
    QVector<QLabel *> tempLabels;
    QVector<QLabel *> voltageLabels;
    QVector<QLabel *> fanLabels;

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
