// How the user guide's pictures are written.
#ifndef PICTURE_H
#define PICTURE_H

class QPixmap;
class QString;

// Writes `picture` to `path` as a true-colour PNG, every pixel as grabbed.
bool savePicture(const QPixmap &picture, const QString &path);

#endif // PICTURE_H
