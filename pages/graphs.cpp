#include "graphs.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace
{

// Bounds of the shared measures: the program uses a handful of fonts and
// scale numbers; anything beyond is measured again rather than kept.
constexpr size_t maxFonts = 16;
constexpr int maxTextsPerFont = 1024;

} // namespace

SharedPlainTextEngine::FontMeasures &SharedPlainTextEngine::measuresFor(const QFont &font) const
{
    // QFont::operator== is the equality QwtText's own layout cache uses.
    for (FontMeasures &measures : fonts) {
        if (measures.font == font)
            return measures;
    }
    if (fonts.size() >= maxFonts)
        fonts.erase(fonts.begin());
    fonts.push_back({font, {}, {}});
    return fonts.back();
}

QSizeF SharedPlainTextEngine::textSize(const QFont &font, int flags, const QString &text) const
{
    FontMeasures &measures = measuresFor(font);
    const QPair<int, QString> key(flags, text);
    const auto known = measures.sizes.constFind(key);
    if (known != measures.sizes.constEnd())
        return *known;
    if (measures.sizes.size() >= maxTextsPerFont)
        measures.sizes.clear();
    const QSizeF size = QwtPlainTextEngine::textSize(font, flags, text);
    measures.sizes.insert(key, size);
    return size;
}

void SharedPlainTextEngine::textMargins(const QFont &font, const QString &text, double &left, double &right,
                                        double &top, double &bottom) const
{
    FontMeasures &measures = measuresFor(font);
    auto known = measures.margins.constFind(text);
    if (known == measures.margins.constEnd()) {
        if (measures.margins.size() >= maxTextsPerFont)
            measures.margins.clear();
        Margins m{};
        QwtPlainTextEngine::textMargins(font, text, m.left, m.right, m.top, m.bottom);
        known = measures.margins.insert(text, m);
    }
    left = known->left;
    right = known->right;
    top = known->top;
    bottom = known->bottom;
}

void SharedPlainTextEngine::install()
{
    // QwtText::AutoText asks every engine but the plain one whether it might
    // render a text, rich text first, and falls back to the plain engine; this
    // one says yes, as the plain engine would, so it stands in for it. Qwt's
    // plain engine itself stays, for the texts that already hold it.
    static const bool installed = [] {
        QwtText::setTextEngine(QwtText::OtherFormat, new SharedPlainTextEngine);
        return true;
    }();
    Q_UNUSED(installed);
}

bool GraphCanvas::FrameKey::operator==(const FrameKey &other) const
{
    return size == other.size && pixelRatio == other.pixelRatio && style == other.style && state == other.state &&
           palette == other.palette && frameStyle == other.frameStyle && lineWidth == other.lineWidth &&
           midLineWidth == other.midLineWidth;
}

// Everything the style looks at when it draws the frame: the state decides the
// colour group (enabled, active window), the palette the colours.
GraphCanvas::FrameKey GraphCanvas::currentFrameKey() const
{
    QStyleOption option;
    option.initFrom(this);
    FrameKey key;
    key.size = size();
    key.pixelRatio = devicePixelRatioF();
    key.style = style();
    key.state = int(option.state);
    key.palette = option.palette.cacheKey();
    key.frameStyle = frameStyle();
    key.lineWidth = lineWidth();
    key.midLineWidth = midLineWidth();
    return key;
}

void GraphCanvas::drawBorder(QPainter *painter)
{
    // A rounded frame is clipped together with the contents; Qwt draws it.
    if (borderRadius() > 0) {
        QwtPlotCanvas::drawBorder(painter);
        return;
    }
    const FrameKey key = currentFrameKey();
    if (frame.isNull() || !(key == frameKey)) {
        frame = QPixmap(key.size * key.pixelRatio);
        frame.setDevicePixelRatio(key.pixelRatio);
        frame.fill(Qt::transparent);
        QPainter framePainter(&frame);
        QwtPlotCanvas::drawBorder(&framePainter);
        frameKey = key;
    }
    // Only the strips around the contents: inside, the pixmap is empty.
    const QRect outer = rect();
    const QRect inner = contentsRect();
    const QRect strips[] = {
        QRect(outer.topLeft(), QPoint(outer.right(), inner.top() - 1)),
        QRect(QPoint(outer.left(), inner.bottom() + 1), outer.bottomRight()),
        QRect(QPoint(outer.left(), inner.top()), QPoint(inner.left() - 1, inner.bottom())),
        QRect(QPoint(inner.right() + 1, inner.top()), QPoint(outer.right(), inner.bottom())),
    };
    for (const QRect &strip : strips) {
        if (!strip.isEmpty())
            painter->drawPixmap(QRectF(strip), frame,
                                QRectF(strip.topLeft() * key.pixelRatio, strip.size() * key.pixelRatio));
    }
}
