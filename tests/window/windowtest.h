// The fixture every window suite derives from: a clean demo board, the window
// built on the board a test describes, the message boxes it expects answered,
// and a failure for any other box once the test ends.
#ifndef WINDOWTEST_H
#define WINDOWTEST_H

#include "HStation.h"
#include "findwidget.h"
#include "messageboxes.h"
#include "resources.h"
#include "simboard.h"

#include <QtTest>
#include <QtWidgets>
#include <dlfcn.h>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

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
    // Sets a line edit, a plain text edit, a combo box's index or a check box.
    void set(const char *name, const QString &value) const;
    // Runs a slot, e.g. a timer's handler, as its signal would.
    void invoke(const char *slot) const { QVERIFY(QMetaObject::invokeMethod(window.get(), slot)); }

    // Tables of texts: columns() in a _data function and one row() per case;
    // the test reads the current row's text of a column with cell().
    static void columns(std::initializer_list<const char *> names);
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
