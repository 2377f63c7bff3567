#include "graphs.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

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
