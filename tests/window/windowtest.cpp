#include "windowtest.h"

#include "libhalvo/backends/sim/halvo_sim.h"

namespace SimBoard
{

static void check(int32_t status, const char *refused)
{
    if (status != 0)
        qFatal("simulated board refused %s: %s", refused, halvo_sim_last_error());
}

void reset()
{
    halvo_sim_reset();
    halvo_sim_freeze_clock(1);
    halvo_sim_record_calls(1);
}

void patch(const QString &json, const QString &address)
{
    const QByteArray where = address.toLatin1();
    check(halvo_sim_patch_board(address.isEmpty() ? nullptr : where.constData(), json.toUtf8().constData()), "a patch");
}

void load(const QString &json)
{
    check(halvo_sim_load_board(json.toUtf8().constData()), "a world");
}

void forceStatus(const char *function, int32_t status, int32_t calls)
{
    check(halvo_sim_force_status(function, status, calls), "a forced status");
}

QStringList calls(const QString &function)
{
    QByteArray text(static_cast<int>(halvo_sim_call_log(nullptr, 0)) + 1, '\0');
    halvo_sim_call_log(text.data(), static_cast<size_t>(text.size()));
    const QStringList all = QString::fromLatin1(text.constData()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return function.isEmpty() ? all : all.filter(QRegularExpression(QLatin1Char('^') + function + "\\("));
}

QString arguments(const QString &function)
{
    QStringList found;
    for (const QString &call : calls(function))
        found << call.section(QLatin1Char('('), 1).section(QLatin1String(") -> "), 0, 0);
    return found.join(QLatin1Char('|'));
}

void clearCalls()
{
    halvo_sim_clear_call_log();
}

} // namespace SimBoard

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
    texts << box->text();
    buttons << box->standardButtons();
    if (QAbstractButton *button = answers.isEmpty() ? nullptr : box->button(answers.dequeue())) {
        button->click();
    } else {
        unexpected << box->text();
        box->reject();
    }
}

std::vector<std::function<void()>> &fakeResets()
{
    static std::vector<std::function<void()>> resets;
    return resets;
}

void WindowTest::start(const QString &patch)
{
    if (!patch.isEmpty())
        SimBoard::patch(patch);
    window = std::make_unique<HStation>();
}

ConnectionDlg *WindowTest::openDialog() const
{
    click("pushButton_10");
    return window->findChildren<ConnectionDlg *>().last();
}

ConnectionDlg *WindowTest::connectTo(const QString &address) const
{
    ConnectionDlg *dialog = openDialog();
    child<QLineEdit>(dialog, "lineEdit")->setText(address);
    child<QAbstractButton>(dialog, "pushButton")->click();
    return dialog;
}

QStringList WindowTest::texts(std::initializer_list<const char *> labels) const
{
    QStringList found;
    for (const char *label : labels)
        found << text(label);
    return found;
}

QString WindowTest::enabled(std::initializer_list<const char *> names) const
{
    QString states;
    for (const char *name : names)
        states += QLatin1Char(get(name)->isEnabled() ? '1' : '0');
    return states;
}

QStringList WindowTest::labelTexts(const char *scrollArea) const
{
    QStringList found;
    for (const QLabel *label : get<QScrollArea>(scrollArea)->widget()->findChildren<QLabel *>())
        found << label->text();
    return found;
}

QString WindowTest::items(const char *comboBox) const
{
    QStringList entries;
    for (int i = 0; i < get<QComboBox>(comboBox)->count(); ++i)
        entries << get<QComboBox>(comboBox)->itemText(i);
    return entries.join(QLatin1Char('|'));
}

void WindowTest::set(const char *name, const QString &value) const
{
    QWidget *widget = get(name);
    if (auto *line = qobject_cast<QLineEdit *>(widget))
        line->setText(value);
    else if (auto *edit = qobject_cast<QPlainTextEdit *>(widget))
        edit->setPlainText(value);
    else if (auto *box = qobject_cast<QCheckBox *>(widget))
        box->setChecked(value == QLatin1String("1"));
    else
        QVERIFY2(widget->setProperty("currentIndex", value.toInt()), name);
}

void WindowTest::init()
{
    SimBoard::reset();
    for (const auto &reset : fakeResets())
        reset();
    boxes = std::make_unique<MessageBoxes>();
}

void WindowTest::cleanup()
{
    window.reset();
    QVERIFY2(boxes->unexpected.isEmpty(), qPrintable("unexpected box: " + boxes->unexpected.join(" | ")));
}
