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

QString sizeText(quint32 megabytes)
{
    if (megabytes > 1024)
        return QString::number(megabytes / 1024.0, 'f', 2) + QStringLiteral(" GB");
    return QString::number(double(megabytes), 'f', 2) + QStringLiteral(" MB");
}

QString batteryTimeText(qint32 seconds)
{
    const qint32 hours = seconds / 3600;
    const qint32 minutes = (seconds - hours * 3600) / 60;
    const qint32 rest = seconds - hours * 3600 - minutes * 60;
    return QString::number(hours) + QStringLiteral(" h ") + QString::number(minutes) + QStringLiteral(" min ") +
           QString::number(rest) + QStringLiteral(" s");
}

QString upTimeText(qint32 seconds)
{
    const qint32 days = seconds / 86400;
    qint32 rest = seconds - days * 86400;
    const qint32 hours = rest / 3600;
    rest -= hours * 3600;
    const qint32 minutes = rest / 60;
    rest -= minutes * 60;

    QString text;
    if (days != 0)
        text += QString::number(days) + QStringLiteral(" days ");
    if (hours != 0)
        text += QString::number(hours) + QStringLiteral(" hours ");
    return text + QString::number(minutes) + QStringLiteral(" min ") + QString::number(rest) + QStringLiteral(" sec ");
}

uint8_t fanPercentToByte(int percent)
{
    return static_cast<uint8_t>(qBound(0, percent, 100) * 255 / 100);
}

int fanByteToPercent(uint8_t speed)
{
    return speed * 100 / 255;
}

QString voltageSensorText(const QString &name, qint32 millivolts)
{
    return name + QStringLiteral(":   \t") + QString::number(millivolts / 1000.0, 'f', 3) + QStringLiteral(" V\n");
}

QString fanSpeedText(const QString &name, quint32 rpm)
{
    return name + QStringLiteral(":   ") + QString::number(rpm) + QStringLiteral(" rpm");
}
