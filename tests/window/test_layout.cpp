// The window's layout and look, run inside the program's own start-up so that
// the style and environment it sets up are the ones tested.
#include "HStation.h"
#include "application.h"
#include "findwidget.h"
#include "simboard.h"
#include "tools/picture.h"

#include <QtTest>
#include <QtWidgets>
#include <memory>
#include <qwt_dial.h>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_round_scale_draw.h>
#include <qwt_scale_draw.h>
#include <qwt_thermo.h>

static QByteArray userGlIntegration; // what a start-up left of the user's value

class LayoutTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<HStation> window;

    template <typename T> T *widget(const char *name) const { return child<T>(window.get(), name); }

private slots:
    void init()
    {
        SimBoard::reset();
        window = std::make_unique<HStation>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QLocale::setDefault(QLocale::system());
    }

    void openGlIsLoadedOnlyWhenTheUserAsks()
    {
        QCOMPARE(qgetenv("QT_XCB_GL_INTEGRATION"), QByteArray("none"));
        QCOMPARE(userGlIntegration, QByteArray("xcb_egl"));
    }

    // At the window's size the Memory Information page fits its tool box (one
    // scroll bar, the tree's, once it has laid out its items) and the tree
    // reaches the page's bottom; hiding the power page's credentials moves
    // nothing else.
    void pagesKeepTheirLayout()
    {
        widget<QToolBox>("toolBox")->setCurrentIndex(3);
        auto *page = widget<QWidget>("page_4");
        auto *tree = widget<QTreeWidget>("treeWidget_4");
        QTRY_VERIFY(page->isVisible() && tree->verticalScrollBar()->isVisible());
        QCoreApplication::processEvents();
        QCOMPARE(page->height(), page->parentWidget()->height());
        QCOMPARE(tree->geometry().bottom() + page->layout()->contentsMargins().bottom() + 1, page->height());
        widget<QToolBox>("toolBox_2")->setCurrentIndex(4);
        QCoreApplication::processEvents();
        auto *doIt = widget<QPushButton>("pushButton_2");
        const QRect where = doIt->geometry();
        widget<QRadioButton>("radioButton_23")->click();
        QCoreApplication::processEvents();
        QCOMPARE(doIt->geometry(), where);
    }

    void scaleNumbersArePlainWhateverTheLocale()
    {
        QList<const QwtAbstractScaleDraw *> draws = {
            widget<QwtDial>("Dial")->scaleDraw(),
            std::as_const(*widget<QScrollArea>("scrollArea")->widget()->findChild<QwtThermo *>()).scaleDraw()};
        for (const char *name : {"qwtPlot_6", "qwtPlot_7"})
            draws << widget<QwtPlot>(name)->axisScaleDraw(QwtPlot::xBottom)
                  << widget<QwtPlot>(name)->axisScaleDraw(QwtPlot::yLeft);
        QLocale::setDefault(QLocale(QLocale::German));
        for (const QwtAbstractScaleDraw *draw : draws) {
            QCOMPARE(draw->label(4800).text(), QStringLiteral("4800"));
            QCOMPARE(draw->label(0.5).text(), QStringLiteral("0.5"));
        }
    }

    // Sampled while their tab is hidden, the graphs show the pixels of a stock
    // Qwt canvas when the tab comes up, and again after a palette change.
    void graphsSampledOffScreenAreRightWhenShown()
    {
        auto *tabs = widget<QTabWidget>("tabWidget");
        tabs->setCurrentIndex(1);
        QTest::qWait(50);
        tabs->setCurrentIndex(0);
        for (int i = 0; i < 30; ++i)
            QMetaObject::invokeMethod(window.get(), "graphRefreshTimer_timeout");
        tabs->setCurrentIndex(1);
        for (const char *name : {"qwtPlot_6", "qwtPlot_7"}) {
            auto *plot = widget<QwtPlot>(name);
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
    qputenv("QT_XCB_GL_INTEGRATION", "xcb_egl");
    runHalvoGui(argc, argv, [](HStation &) {
        userGlIntegration = qgetenv("QT_XCB_GL_INTEGRATION");
        QCoreApplication::exit();
    });
    qunsetenv("QT_XCB_GL_INTEGRATION");
    return runHalvoGui(argc, argv, [&](HStation &started) {
        // The start-up window would sample the board while the tests run.
        started.suspendRefresh();
        LayoutTest test;
        QCoreApplication::exit(QTest::qExec(&test, argc, argv));
    });
}

#include "test_layout.moc"
