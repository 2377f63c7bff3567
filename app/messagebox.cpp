#include "messagebox.h"

void showMessage(const QString &text)
{
    askUser(text, QMessageBox::Ok);
}

QMessageBox::StandardButton askUser(const QString &text, QMessageBox::StandardButtons buttons)
{
    QMessageBox box;
    box.setText(text);
    box.setStandardButtons(buttons);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}
