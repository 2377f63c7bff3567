// The window's message boxes: modal, without parent, title or icon, one text.
#ifndef MESSAGEBOX_H
#define MESSAGEBOX_H

#include <QMessageBox>
#include <QString>

// One text and the OK button; returns when the user has closed it.
void showMessage(const QString &text);

// One text with the buttons given; returns the button the user chose.
QMessageBox::StandardButton askUser(const QString &text, QMessageBox::StandardButtons buttons);

#endif // MESSAGEBOX_H
