#include "messageboxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>

bool MessageBoxes::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Hide && watched == answered)
        answered.clear();
    return false;
}

void MessageBoxes::timerEvent(QTimerEvent *)
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || box == answered)
        return;
    answered = box;
    box->installEventFilter(this);
    seen << box->text();
    offered << box->standardButtons();
    if (QAbstractButton *button = answers.isEmpty() ? nullptr : box->button(answers.dequeue())) {
        button->click();
    } else {
        unexpected << box->text();
        box->reject();
    }
}
