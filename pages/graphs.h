// Qwt pieces shared by the live graphs, the CPU speed dial and the temperature
// bars.
#ifndef GRAPHS_H
#define GRAPHS_H

#include <QFont>
#include <QHash>
#include <QPixmap>
#include <QSizeF>
#include <QString>
#include <QtGlobal>
#include <qwt_plot_canvas.h>
#include <qwt_text.h>
#include <qwt_text_engine.h>
#include <vector>

class QStyle;

// Plain text whose measures are kept per font and text for the whole program.
// Every Qwt scale draw measures its labels itself, for every font it is
// given, and Qwt's plain engine looks the font's ascent up by QFont::key():
// with a bar per temperature sensor, measuring the same few numbers in the
// same font was most of building the Sensors tab. The sizes and margins are
// the plain engine's own, so the picture is the same.
class SharedPlainTextEngine : public QwtPlainTextEngine
{
public:
    // From the first call on, every QwtText made with QwtText::AutoText that is
    // not rich text uses this engine; texts made before keep Qwt's own.
    static void install();

    QSizeF textSize(const QFont &font, int flags, const QString &text) const override;
    void textMargins(const QFont &font, const QString &text, double &left, double &right, double &top,
                     double &bottom) const override;

private:
    struct Margins {
        double left, right, top, bottom;
    };
    struct FontMeasures {
        QFont font;
        QHash<QPair<int, QString>, QSizeF> sizes;
        QHash<QString, Margins> margins;
    };
    FontMeasures &measuresFor(const QFont &font) const;

    mutable std::vector<FontMeasures> fonts;
};

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
