// Answers the window's modal message boxes during a test.
#ifndef MESSAGEBOXES_H
#define MESSAGEBOXES_H

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QStringList>

// Queue the answers first, then act. While it lives, a short repeating timer
// looks for the active modal box inside the box's own event loop, records its
// text and clicks the next queued button. A box with no queued answer is
// recorded as unexpected and rejected, so a test fails instead of hanging.
class MessageBoxes : public QObject
{
    Q_OBJECT

public:
    MessageBoxes() { startTimer(5); }

    // Answer the next box with `button` (OK by default).
    MessageBoxes &answer(QMessageBox::StandardButton button = QMessageBox::Ok)
    {
        return answers.enqueue(button), *this;
    }

    // Texts of every box seen, answered or not, in order.
    QStringList texts() const { return seen; }
    QStringList unexpectedTexts() const { return unexpected; }
    // Buttons offered by each box seen, in order.
    QList<QMessageBox::StandardButtons> buttons() const { return offered; }
    int pendingAnswers() const { return answers.size(); }

protected:
    void timerEvent(QTimerEvent *) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QQueue<QMessageBox::StandardButton> answers;
    QStringList seen;
    QStringList unexpected;
    QList<QMessageBox::StandardButtons> offered;
    // One box object may be shown several times; it counts as answered until
    // it hides.
    QPointer<QMessageBox> answered;
};

#endif // MESSAGEBOXES_H
