#include "format.h"

#include "board/boardtext.h"
#include "board/halvo.h"

#include <QRegularExpression>
#include <QTextCursor>
#include <QTextEdit>
#include <QTreeWidget>

QString cleanCpuName(const QString &name)
{
    // Greedy, so the capture ends at the last "@".
    static const QRegularExpression beforeAt(QStringLiteral("(.*)@"), QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression whiteSpace(QStringLiteral("\\s+"));
    const QRegularExpressionMatch match = beforeAt.match(name);
    QString cleaned = match.hasMatch() ? match.captured(1) : name;
    return cleaned.replace(whiteSpace, QStringLiteral(" "));
}

QString generalNumber(double value)
{
    return QString::number(value, 'g', 6);
}

QStringList pciDeviceParagraphs(const PciDeviceInfo &device)
{
    const auto hex = [](int32_t value) { return QString::number(value, 16); };
    return {hex(device.domain) + QLatin1Char(':') + hex(device.bus) + QLatin1Char(':') + hex(device.device) +
                QLatin1Char('.') + QString::number(device.function) + QLatin1Char(' ') + boardText(device.text3),
            QStringLiteral("  ") + hex(device.value2) + QLatin1Char(' ') + boardText(device.text2),
            QStringLiteral("  ") + boardText(device.text1) + QLatin1Char('\n')};
}

void appendPlainParagraph(QTextEdit *edit, const QString &text)
{
    QTextCursor cursor(edit->document());
    cursor.movePosition(QTextCursor::End);
    if (!edit->document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(text);
}

void addInfoTreeItem(QTreeWidget *tree, const QString &title, const QFont &font, const QStringList &details)
{
    auto *item = new QTreeWidgetItem(tree, QStringList(title));
    item->setFont(0, font);
    for (const QString &detail : details)
        new QTreeWidgetItem(item, QStringList(detail));
    item->setExpanded(true);
}

QString busValueText(unsigned value)
{
    return QStringLiteral("0x") + QString::number(value, 16);
}
