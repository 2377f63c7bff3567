// The program's start and the window's layout and look, run inside the
// program's own start-up so that the style and environment it sets up are the
// ones tested.
#include "application.h"
#include "tools/picture.h"
#include "windowtest.h"

#include <qwt_dial.h>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_round_scale_draw.h>
#include <qwt_scale_draw.h>
#include <qwt_thermo.h>

// What a first start on a board whose first two answers fail showed once its
// window was on screen, and what it asked the board first.
static QString firstStart;
static QStringList firstCalls;

class LayoutTest : public WindowTest
{
    Q_OBJECT

private slots:
    void init()
    {
        WindowTest::init();
        start();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QLocale::setDefault(QLocale::system());
    }

    // Only main's own two calls fail: the window still shows, with the loaded
    // board, and ends with the event loop. A user's OpenGL choice is kept; by
    // default none is loaded.
    void startsOnTheLocalBoardWithoutOpenGl()
    {
        QCOMPARE(firstStart, "xcb_egl|plastique|HALVO-GUI 1.0: HVB-1520 - 192.0.2.10|1|0|7");
        QVERIFY(firstCalls.value(0).startsWith("HalvoGetBatteryState(0, 0, ") &&
                firstCalls.value(1).startsWith("HalvoGetCpuInfo(0, "));
        QCOMPARE(qgetenv("QT_XCB_GL_INTEGRATION"), QByteArray("none"));
    }

    // At the window's size the Memory Information page fits its tool box (one
    // scroll bar, the tree's, once it has laid out its items) and the tree
    // reaches the page's bottom; hiding the power page's credentials moves
    // nothing else.
    void pagesKeepTheirLayout()
    {
        set("toolBox", "3");
        auto *page = get("page_4");
        auto *tree = get<QTreeWidget>("treeWidget_4");
        QTRY_VERIFY(page->isVisible() && tree->verticalScrollBar()->isVisible());
        QCoreApplication::processEvents();
        QCOMPARE(page->height(), page->parentWidget()->height());
        QCOMPARE(tree->geometry().bottom() + page->layout()->contentsMargins().bottom() + 1, page->height());
        set("toolBox_2", "4");
        QCoreApplication::processEvents();
        const QRect where = get("pushButton_2")->geometry();
        click("radioButton_23");
        QCoreApplication::processEvents();
        QCOMPARE(get("pushButton_2")->geometry(), where);
    }

    void scaleNumbersArePlainWhateverTheLocale()
    {
        QList<const QwtAbstractScaleDraw *> draws = {
            get<QwtDial>("Dial")->scaleDraw(),
            std::as_const(*get<QScrollArea>("scrollArea")->widget()->findChild<QwtThermo *>()).scaleDraw()};
        for (const char *name : {"qwtPlot_6", "qwtPlot_7"})
            draws << get<QwtPlot>(name)->axisScaleDraw(QwtPlot::xBottom)
                  << get<QwtPlot>(name)->axisScaleDraw(QwtPlot::yLeft);
        QLocale::setDefault(QLocale(QLocale::German));
        for (const QwtAbstractScaleDraw *draw : draws)
            QCOMPARE(draw->label(4800).text() + ' ' + draw->label(0.5).text(), QStringLiteral("4800 0.5"));
    }

    // The bars take their font and fill from their frame and their label
    // sizes from one shared text engine; each still draws as a bar set up on
    // its own with Qwt's plain text engine.
    void temperatureBarsDrawAsABarSetUpAlone()
    {
        struct QwtPlainLabels : QwtScaleDraw {
            QwtText label(double value) const override { return QwtText(QString::number(value), QwtText::PlainText); }
        };
        auto *bar = get<QScrollArea>("scrollArea")->widget()->findChild<QwtThermo *>();
        bar->setValue(57);
        QwtThermo alone(bar->parentWidget());
        alone.setScaleDraw(new QwtPlainLabels);
        alone.setOrientation(Qt::Horizontal);
        alone.setScalePosition(QwtThermo::LeadingScale);
        alone.setGeometry(bar->geometry());
        alone.setScale(0, 100);
        alone.setPipeWidth(3);
        alone.setFont(QFont(QStringLiteral("SansSerif"), 7, QFont::Normal));
        alone.setFillBrush(QColor(39, 126, 193));
        alone.setValue(57);
        QCOMPARE(bar->grab().toImage(), alone.grab().toImage());
    }

    // A new board's sensor groups reach the screen: once painted, the window
    // shows of each group what the group draws, bars beyond the first
    // screenful included.
    void newSensorGroupsReachTheScreen()
    {
        QString temps, volts;
        for (int i = 0; i < 12; ++i) {
            temps += QStringLiteral(R"(%1{"name": "T%2", "valueMilliCelsius": %3})")
                         .arg(i ? "," : "")
                         .arg(i)
                         .arg(30000 + 5000 * i);
            volts += QStringLiteral(R"(%1{"name": "V%2", "valueMilliVolt": %3})")
                         .arg(i ? "," : "")
                         .arg(i)
                         .arg(1000 + 100 * i);
        }
        SimBoard::patch(QStringLiteral(R"({"temperatureSensors": [%1], "voltageSensors": [%2]})").arg(temps, volts));
        auto *tabs = get<QTabWidget>("tabWidget");
        for (int i = 0; i < tabs->count(); ++i) {
            if (tabs->widget(i)->isAncestorOf(get("scrollArea")))
                tabs->setCurrentIndex(i);
        }
        QTest::qWait(20);
        window->initControls();
        window->refreshStatus();
        for (const char *name : {"scrollArea", "scrollArea_2", "scrollArea_3"}) {
            auto *area = get<QScrollArea>(name);
            QVERIFY2(area->isVisible(), name);
            const auto shownMatchesDrawn = [&] {
                QCoreApplication::processEvents();
                const QRect where(area->viewport()->mapTo(window.get(), QPoint()), area->viewport()->size());
                const QImage shown =
                    window->screen()
                        ->grabWindow(window->winId(), where.x(), where.y(), where.width(), where.height())
                        .toImage()
                        .convertToFormat(QImage::Format_RGB32);
                return shown == area->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
            };
            QVERIFY2(shownMatchesDrawn(), name);
            area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
            QVERIFY2(shownMatchesDrawn(), name);
        }
    }

    // Sampled while their tab is hidden, the graphs show the pixels of a stock
    // Qwt canvas when the tab comes up, and again after a palette change.
    void graphsSampledOffScreenAreRightWhenShown()
    {
        set("tabWidget", "1");
        QTest::qWait(50);
        set("tabWidget", "0");
        for (int i = 0; i < 30; ++i)
            invoke("graphRefreshTimer_timeout");
        set("tabWidget", "1");
        for (const char *name : {"qwtPlot_6", "qwtPlot_7"}) {
            auto *plot = get<QwtPlot>(name);
            QwtPlotCanvas stock(plot);
            stock.setGeometry(plot->canvas()->geometry());
            QCOMPARE(plot->canvas()->grab().toImage(), stock.grab().toImage());
            for (QWidget *canvas : {plot->canvas(), static_cast<QWidget *>(&stock)})
                canvas->setPalette(QPalette(Qt::red));
            plot->replot();
            stock.replot();
            QCOMPARE(plot->canvas()->grab().toImage(), stock.grab().toImage());
        }
    }

    void picturesKeepEveryColour()
    {
        const QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("window.png"));
        const QImage shot = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(savePicture(QPixmap::fromImage(shot), path));
        QCOMPARE(QImage(path).convertToFormat(QImage::Format_RGB32), shot);
    }
};

int main(int argc, char **argv)
{
    SimBoard::reset();
    SimBoard::forceStatus("HalvoGetBatteryState", 0x00010000, 1);
    SimBoard::forceStatus("HalvoGetCpuInfo", 0x00010000, 1);
    qputenv("QT_XCB_GL_INTEGRATION", "xcb_egl");
    QPointer<HStation> shown;
    const int result = runHalvoGui(argc, argv, [&](HStation &window) {
        firstStart = qgetenv("QT_XCB_GL_INTEGRATION") + '|' + QApplication::style()->objectName() + '|' +
                     window.windowTitle() + '|' + QString::number(window.isVisible());
        shown = &window;
        QApplication::exit(7);
    });
    firstStart += '|' + QString::number(!shown.isNull()) + '|' + QString::number(result);
    firstCalls = SimBoard::calls();
    qunsetenv("QT_XCB_GL_INTEGRATION");
    return runHalvoGui(argc, argv, [&](HStation &started) {
        // The start-up window would sample the board while the tests run.
        started.suspendRefresh();
        LayoutTest test;
        QCoreApplication::exit(QTest::qExec(&test, argc, argv));
    });
}

#include "test_layout.moc"
