// The main window as the constructor leaves it on the demo board, and the
// Settings tab.
#include "HStation.h"
#include "findwidget.h"
#include "resources.h"
#include "simboard.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>
#include <QToolBox>
#include <QtTest>
#include <memory>
#include <qwt_dial.h>
#include <qwt_plot.h>
#include <qwt_scale_div.h>

namespace
{

QStringList tabTitles(QTabWidget *tabs)
{
    QStringList titles;
    for (int i = 0; i < tabs->count(); ++i)
        titles << tabs->widget(i)->objectName() + QLatin1Char('=') + tabs->tabText(i);
    return titles;
}

// Qwt computes a plot's scale divisions when it next lays out its axes.
QPointF bounds(QwtPlot *plot, int axis)
{
    plot->updateAxes();
    const QwtScaleDiv &division = plot->axisScaleDiv(axis);
    return QPointF(division.lowerBound(), division.upperBound());
}

QStringList pageTitles(QToolBox *box)
{
    QStringList titles;
    for (int i = 0; i < box->count(); ++i)
        titles << box->widget(i)->objectName() + QLatin1Char('=') + box->itemText(i);
    return titles;
}

} // namespace

class WindowFrameTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<HStation> window;

private slots:
    void initTestCase() { initHalvoResources(); }

    void init()
    {
        SimBoard::reset();
        window = std::make_unique<HStation>();
    }

    void cleanup() { window.reset(); }

    void opensAt800x405CentredOnTheAvailableArea()
    {
        QCOMPARE(window->size(), QSize(800, 405));
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QPoint expected((area.left() + area.right()) / 2 - 400, (area.top() + area.bottom()) / 2 - 202);
        QCOMPARE(window->pos(), expected);
    }

    void opensOnFirstTabAndFirstPages()
    {
        QCOMPARE(child<QTabWidget>(window.get(), "tabWidget")->currentIndex(), 0);
        QCOMPARE(child<QToolBox>(window.get(), "toolBox")->currentIndex(), 0);
        QCOMPARE(child<QToolBox>(window.get(), "toolBox_2")->currentIndex(), 0);
        QCOMPARE(child<QStackedWidget>(window.get(), "stackedWidget_3")->currentIndex(), 0);
        QCOMPARE(child<QStackedWidget>(window.get(), "stackedWidget_2")->currentIndex(), 0);
        // The form leaves the I2C commands current; the window starts on SMBus.
        QCOMPARE(child<QStackedWidget>(window.get(), "stackedWidget")->currentIndex(), 0);
    }

    void tabsAndToolBoxPagesCarryTheirTitles()
    {
        QCOMPARE(tabTitles(child<QTabWidget>(window.get(), "tabWidget")),
                 QStringList({"tab=System Information", "tab_11=CPU Thermal Control", "tab_12=CPU Performance",
                              "tab_4=Battery", "tab_13=Sensors", "tab_6=I2C/SMBus", "tab_7=GPIO", "tab_8=Misc",
                              "tab_3=Settings"}));
        QCOMPARE(pageTitles(child<QToolBox>(window.get(), "toolBox")),
                 QStringList({"page=General Information", "page_2=Board Information", "page_3=CPU Information",
                              "page_4=Memory Information", "page_5=Battery Information"}));
        QCOMPARE(pageTitles(child<QToolBox>(window.get(), "toolBox_2")),
                 QStringList({"page_6=Disk Drives", "page_15=Partitions", "page_7=Network Devices",
                              "page_8=PCI Devices", "page_25=System Power State"}));
        QVERIFY(child<QTabWidget>(window.get(), "tabWidget")->isMovable());
    }

    void headerFooterAndIconShowTheEmbeddedImages()
    {
        for (const char *name : {"label_37", "label_76", "label_74", "label_79", "label_75", "label_38"}) {
            QVERIFY2(!child<QLabel>(window.get(), name)->pixmap(Qt::ReturnByValue).isNull(), name);
        }
        QVERIFY(!window->windowIcon().isNull());
        QCOMPARE(child<QPushButton>(window.get(), "pushButton_10")->text(), QStringLiteral("Connect"));
    }

    void groupTitlesAreBlueExceptOnTheSensorsTab()
    {
        const QString blue = QStringLiteral("QGroupBox::title {color: rgb(0, 99, 172);}");
        for (const char *name :
             {"groupBox",    "groupBox_2",  "groupBox_4",  "groupBox_5",  "groupBox_7",  "groupBox_8",  "groupBox_10",
              "groupBox_11", "groupBox_12", "groupBox_13", "groupBox_14", "groupBox_15", "groupBox_16", "groupBox_21",
              "groupBox_22", "groupBox_23", "groupBox_24", "groupBox_25", "groupBox_26", "groupBox_27", "groupBox_28",
              "groupBox_29", "groupBox_30", "groupBox_31", "groupBox_32", "groupBox_33"})
            QCOMPARE(child<QGroupBox>(window.get(), name)->styleSheet(), blue);
        QCOMPARE(child<QFrame>(window.get(), "frame_2")->styleSheet(), blue);
        for (const char *name : {"groupBox_3", "groupBox_6", "groupBox_9"})
            QVERIFY(child<QGroupBox>(window.get(), name)->styleSheet().isEmpty());
    }

    void graphsAndDialArePrepared()
    {
        auto *temperature = child<QwtPlot>(window.get(), "qwtPlot_6");
        auto *fan = child<QwtPlot>(window.get(), "qwtPlot_7");
        QCOMPARE(bounds(temperature, QwtPlot::xBottom), QPointF(0, 500));
        QCOMPARE(bounds(temperature, QwtPlot::yLeft), QPointF(20, 80));
        QCOMPARE(temperature->axisScaleDiv(QwtPlot::yLeft).ticks(QwtScaleDiv::MajorTick),
                 QList<double>({20, 40, 60, 80}));
        QCOMPARE(bounds(fan, QwtPlot::xBottom), QPointF(0, 500));
        QCOMPARE(bounds(fan, QwtPlot::yLeft), QPointF(0, 5100));
        QCOMPARE(fan->axisScaleDiv(QwtPlot::xBottom).ticks(QwtScaleDiv::MajorTick),
                 QList<double>({0, 100, 200, 300, 400, 500}));
        for (QwtPlot *plot : {temperature, fan}) {
            QCOMPARE(plot->axisFont(QwtPlot::xBottom).family(), QStringLiteral("Sans Serif"));
            QCOMPARE(plot->axisFont(QwtPlot::yLeft).pointSize(), 8);
        }

        auto *dial = child<QwtDial>(window.get(), "Dial");
        QVERIFY(dial->needle());
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            QCOMPARE(dial->palette().color(group, QPalette::WindowText), QColor(228, 229, 229));
    }

    // The demo board's CPU fan speed and GPIO pins can be read, so its graph
    // and GPIO sampling run too.
    void timersHaveTheirKindsAndTheDemoBoardStartsAllThree()
    {
        auto *refresh = child<QTimer>(window.get(), "refreshTimer");
        auto *graph = child<QTimer>(window.get(), "graphRefreshTimer");
        auto *gpio = child<QTimer>(window.get(), "gpioRefreshTimer");
        QVERIFY(refresh->isSingleShot());
        QVERIFY(graph->isSingleShot());
        QVERIFY(!gpio->isSingleShot());
        QVERIFY(refresh->isActive());
        QCOMPARE(refresh->interval(), 1000);
        QVERIFY(graph->isActive());
        QCOMPARE(graph->interval(), 500);
        QVERIFY(gpio->isActive());
        QCOMPARE(gpio->interval(), 1500);
    }

    void settingsSlidersStartAtTheDefaultIntervals()
    {
        QCOMPARE(child<QSlider>(window.get(), "horizontalSlider")->value(), 1000);
        QCOMPARE(child<QSlider>(window.get(), "horizontalSlider_2")->value(), 500);
        QCOMPARE(child<QSlider>(window.get(), "horizontalSlider_3")->value(), 1500);
        QCOMPARE(child<QLabel>(window.get(), "label_77")->text(), QStringLiteral("1000"));
        QCOMPARE(child<QLabel>(window.get(), "label_86")->text(), QStringLiteral("500"));
        QCOMPARE(child<QLabel>(window.get(), "label_125")->text(), QStringLiteral("1500"));
        for (const char *name : {"horizontalSlider", "horizontalSlider_2", "horizontalSlider_3"}) {
            auto *slider = child<QSlider>(window.get(), name);
            QCOMPARE(slider->minimum(), 50);
            QCOMPARE(slider->maximum(), 2000);
            QCOMPARE(slider->tickInterval(), 100);
            QCOMPARE(slider->tickPosition(), QSlider::TicksBelow);
        }
    }

    // A slider shows its value at once but the timer keeps its pending
    // countdown; the new interval applies from the next re-arming.
    void intervalSliderAppliesAtTheNextArming_data()
    {
        QTest::addColumn<QString>("slider");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("timer");
        QTest::addColumn<QString>("handler");
        QTest::newRow("overall") << "horizontalSlider"
                                 << "label_77"
                                 << "refreshTimer"
                                 << "refreshTimer_timeout";
        QTest::newRow("graphs") << "horizontalSlider_2"
                                << "label_86"
                                << "graphRefreshTimer"
                                << "graphRefreshTimer_timeout";
        QTest::newRow("gpio") << "horizontalSlider_3"
                              << "label_125"
                              << "gpioRefreshTimer"
                              << "gpioRefreshTimer_timeout";
    }

    void intervalSliderAppliesAtTheNextArming()
    {
        QFETCH(QString, slider);
        QFETCH(QString, label);
        QFETCH(QString, timer);
        QFETCH(QString, handler);
        auto *timerObject = window->findChild<QTimer *>(timer);
        const int before = timerObject->interval();

        window->findChild<QSlider *>(slider)->setValue(50);
        QCOMPARE(window->findChild<QLabel *>(label)->text(), QStringLiteral("50"));
        QCOMPARE(timerObject->interval(), before);

        QVERIFY(QMetaObject::invokeMethod(window.get(), handler.toLatin1().constData()));
        QVERIFY(timerObject->isActive());
        QCOMPARE(timerObject->interval(), 50);
    }

    void sliderCannotLeaveItsRange()
    {
        auto *slider = child<QSlider>(window.get(), "horizontalSlider");
        slider->setValue(10);
        QCOMPARE(child<QLabel>(window.get(), "label_77")->text(), QStringLiteral("50"));
        slider->setValue(5000);
        QCOMPARE(child<QLabel>(window.get(), "label_77")->text(), QStringLiteral("2000"));
    }

    void languageChangeReappliesFormTextsAndEmptiesTitle()
    {
        child<QSlider>(window.get(), "horizontalSlider")->setValue(50);
        child<QComboBox>(window.get(), "comboBox_2")->setCurrentIndex(1);
        child<QLineEdit>(window.get(), "lineEdit")->setText(QStringLiteral("0x50"));
        QEvent change(QEvent::LanguageChange);
        QApplication::sendEvent(window.get(), &change);
        QCOMPARE(window->windowTitle(), QString());
        // The value label goes back to the form's text whatever the slider shows.
        QCOMPARE(child<QLabel>(window.get(), "label_77")->text(), QStringLiteral("1000"));
        QCOMPARE(child<QSlider>(window.get(), "horizontalSlider")->value(), 50);
        QCOMPARE(child<QTabWidget>(window.get(), "tabWidget")->tabText(8), QStringLiteral("Settings"));
        QCOMPARE(child<QComboBox>(window.get(), "comboBox_2")->currentText(), QStringLiteral("Rd"));
        QCOMPARE(child<QLineEdit>(window.get(), "lineEdit")->text(), QStringLiteral("0x00"));
    }
};

QTEST_MAIN(WindowFrameTest)
#include "test_window_frame.moc"
