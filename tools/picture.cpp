#include "picture.h"

#include <QImage>
#include <QPixmap>
#include <QString>

// A palette image would round the window's greys and drop its thin frame
// lines; the window is opaque, so RGB without alpha is all the picture needs.
bool savePicture(const QPixmap &picture, const QString &path)
{
    const QImage image = picture.toImage().convertToFormat(QImage::Format_RGB32);
    // Quality 0: the slowest and smallest compression, still lossless.
    return image.save(path, "PNG", 0);
}
