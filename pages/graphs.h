// Qwt pieces shared by the live graphs, the CPU speed dial and the temperature
// bars.
#ifndef GRAPHS_H
#define GRAPHS_H

#include <QPixmap>
#include <QString>
#include <QtGlobal>
#include <qwt_plot_canvas.h>
#include <qwt_text.h>

class QStyle;

// Qwt 6 writes scale numbers in the user's locale, so 4800 rpm reads "4,800"
// or "4.800". The scales show plain numbers whatever the locale, as they did
// with Qwt 5. Base is QwtScaleDraw or QwtRoundScaleDraw.
template <typename Base> class PlainScaleDraw : public Base
{
public:
    QwtText label(double value) const override
    {
        // Rounding noise of a computed tick at 0 would print as 1e-15.
        if (qFuzzyCompare(value + 1.0, 1.0))
            value = 0.0;
        return QString::number(value);
    }
};

// The canvas of a graph whose scales never change, so that a new sample costs
// little more than its curve. Every repaint of a Qwt canvas draws its frame
// again, and Qt's raster engine draws such lines pixel by pixel, which made
// the frame most of the cost of a sample. Here it is drawn once and copied,
// and drawn again only when something it depends on (size, style, palette,
// state) has changed.
class GraphCanvas : public QwtPlotCanvas
{
public:
    explicit GraphCanvas(QwtPlot *plot = nullptr) : QwtPlotCanvas(plot)
    {
        // The name Qwt gives the canvas it makes itself.
        setObjectName(QStringLiteral("QwtPlotCanvas"));
    }

protected:
    void drawBorder(QPainter *painter) override;

private:
    struct FrameKey {
        QSize size;
        qreal pixelRatio = 0;
        const QStyle *style = nullptr;
        int state = 0;
        qint64 palette = 0;
        int frameStyle = 0;
        int lineWidth = 0;
        int midLineWidth = 0;
        bool operator==(const FrameKey &other) const;
    };
    FrameKey currentFrameKey() const;

    QPixmap frame; // the frame alone, transparent inside
    FrameKey frameKey;
};

#endif // GRAPHS_H
