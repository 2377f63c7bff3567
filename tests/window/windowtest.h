// The window tests' kit: access to the simulated board behind the window, an
// answering machine for its message boxes, and the fixture every window suite
// derives from (a clean demo board, the window built on the board a test
// describes, and a failure for any box the test did not expect).
#ifndef WINDOWTEST_H
#define WINDOWTEST_H

#include "HStation.h"
#include "connection/ConnectionDlg.h"
#include "resources.h"

#include <QtTest>
#include <QtWidgets>
#include <dlfcn.h>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

namespace SimBoard
{

// Demo board, clean call log, no forced statuses, clock frozen so every value
// that depends on time is the same in every run.
void reset();
// Merge-patches the description of the local board (or the board at address).
void patch(const QString &json, const QString &address = QString());
// Replaces the whole world (boards and AMT endpoints), merged over the demo.
void load(const QString &json);
void forceStatus(const char *function, int32_t status, int32_t calls = -1);
// The calls received since the last reset or clearCalls(), one entry each;
// with a function name, only its calls.
QStringList calls(const QString &function = QString());
// The arguments of each call of the named function, joined by '|'.
QString arguments(const QString &function);
void clearCalls();

} // namespace SimBoard

// The widget of class T named `name` below `root`; a missing one ends the test
// run at once with its name, rather than crashing on a null pointer later.
template <typename T> T *child(const QObject *root, const char *name)
{
    T *widget = root->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no %s named %s", T::staticMetaObject.className(), name);
    return widget;
}

// Answers the window's modal message boxes. Queue the answers first, then act.
// While it lives, a short repeating timer looks for the active modal box inside
// the box's own event loop, records its text and clicks the next queued button.
// A box with no queued answer is recorded as unexpected and rejected, so a test
// fails instead of hanging.
class MessageBoxes : public QObject
{
public:
    MessageBoxes() { startTimer(5); }
    // Answer the next box with `button` (OK by default).
    MessageBoxes &answer(QMessageBox::StandardButton button = QMessageBox::Ok)
    {
        return answers.enqueue(button), *this;
    }

    // Texts of every box seen, answered or not, and the buttons each offered.
    QStringList texts, unexpected;
    QList<QMessageBox::StandardButtons> buttons;
    QQueue<QMessageBox::StandardButton> answers;

protected:
    void timerEvent(QTimerEvent *) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // One box object may be shown several times; it counts as answered until
    // it hides.
    QPointer<QMessageBox> answered;
};

class WindowTest : public QObject
{
    Q_OBJECT

protected:
    // Patches the local board first (the window loads it while being built).
    void start(const QString &patch = QString());

    template <typename T = QWidget> T *get(const char *name) const { return child<T>(window.get(), name); }
    QString text(const char *label) const { return get<QLabel>(label)->text(); }
    QStringList texts(std::initializer_list<const char *> labels) const;
    // "1" or "0" for each widget, enabled or not.
    QString enabled(std::initializer_list<const char *> names) const;
    // The texts of the labels in a scroll area's frame.
    QStringList labelTexts(const char *scrollArea) const;
    // A combo box's entries, joined by '|'.
    QString items(const char *comboBox) const;
    void click(const char *button) const { get<QAbstractButton>(button)->click(); }
    // Sets a line edit, a plain text edit, a check box ("1" checks it), or the
    // current index of a combo box, tab or tool box.
    void set(const char *name, const QString &value) const;
    // The Connect dialog, opened anew; connectTo() also connects through it,
    // leaving it on its result page.
    ConnectionDlg *openDialog() const;
    ConnectionDlg *connectTo(const QString &address) const;
    // Runs a slot, e.g. a timer's handler, as its signal would.
    void invoke(const char *slot) const { QVERIFY(QMetaObject::invokeMethod(window.get(), slot)); }

    // Tables of texts: columns() in a _data function and one row() per case;
    // the test reads the current row's text of a column with cell().
    static void columns(std::initializer_list<const char *> names)
    {
        for (const char *name : names)
            QTest::addColumn<QString>(name);
    }
    template <typename... Cells> static void row(const char *name, const Cells &...cells)
    {
        (QTest::newRow(name) << ... << QString(cells));
    }
    static QString cell(const char *column)
    {
        return *static_cast<QString *>(QTest::qData(column, QMetaType::QString));
    }

    std::unique_ptr<HStation> window;
    std::unique_ptr<MessageBoxes> boxes;

protected slots:
    void initTestCase() { initHalvoResources(); }
    void init();
    void cleanup();
};

// Board functions a test answers itself. Declared once per test program:
//   HALVO_FAKE(HalvoGetCpuFreq, (int32_t h, int32_t kind, int32_t *khz), (h, kind, khz))
// While fakeHalvoGetCpuFreq is set it answers instead of the simulated board,
// which stays reachable as realHalvoGetCpuFreq. Every test starts without fakes.
std::vector<std::function<void()>> &fakeResets();
#define HALVO_FAKE(Name, Params, Args)                                                                                 \
    static std::function<decltype(Name)> fake##Name;                                                                   \
    static const auto real##Name = reinterpret_cast<decltype(&Name)>(dlsym(RTLD_NEXT, #Name));                         \
    [[maybe_unused]] static const bool reset##Name = (fakeResets().push_back([] { fake##Name = nullptr; }), true);     \
    extern "C" int32_t Name Params                                                                                     \
    {                                                                                                                  \
        return fake##Name ? fake##Name Args : real##Name Args;                                                         \
    }

#endif // WINDOWTEST_H
