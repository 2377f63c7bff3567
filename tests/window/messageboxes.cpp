#include "messageboxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>

MessageBoxes::MessageBoxes()
{
    connect(&timer, &QTimer::timeout, this, &MessageBoxes::poll);
    timer.start(5);
}

MessageBoxes &MessageBoxes::answer(QMessageBox::StandardButton button)
{
    answers.enqueue(button);
    return *this;
}

bool MessageBoxes::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Hide && watched == answered)
        answered.clear();
    return false;
}

void MessageBoxes::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || box == answered)
        return;
    answered = box;
    box->installEventFilter(this);
    seen << box->text();
    offered << box->standardButtons();

    QAbstractButton *button = answers.isEmpty() ? nullptr : box->button(answers.dequeue());
    if (button) {
        button->click();
    } else {
        unexpected << box->text();
        box->reject();
    }
}
