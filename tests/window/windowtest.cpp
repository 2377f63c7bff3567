#include "windowtest.h"

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
    else if (auto *list = qobject_cast<QComboBox *>(widget))
        list->setCurrentIndex(value.toInt());
    else
        child<QCheckBox>(window.get(), name)->setChecked(value == QLatin1String("1"));
}

void WindowTest::columns(std::initializer_list<const char *> names)
{
    for (const char *name : names)
        QTest::addColumn<QString>(name);
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
    QVERIFY2(boxes->unexpectedTexts().isEmpty(), qPrintable("unexpected box: " + boxes->unexpectedTexts().join(" | ")));
}
