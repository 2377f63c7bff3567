// Text formats shared by the window's pages.
#ifndef FORMAT_H
#define FORMAT_H

#include <QString>
#include <QStringList>
#include <cstdint>

struct PciDeviceInfo;
class QTextEdit;

// The CPU name up to its last "@" (the clock rate follows it), with every run
// of white space reduced to one blank.
QString cleanCpuName(const QString &name);

// A number in general notation with at most 6 significant digits.
QString generalNumber(double value);

// The three paragraphs of one PCI device: address and device name, class code
// and class name, vendor name followed by an empty line.
QStringList pciDeviceParagraphs(const PciDeviceInfo &device);

// Appends `text` as a new paragraph of plain text: board texts are never
// interpreted as markup.
void appendPlainParagraph(QTextEdit *edit, const QString &text);

class QFont;
class QTreeWidget;

// A top-level tree item in `font`, expanded, with one child line per detail.
void addInfoTreeItem(QTreeWidget *tree, const QString &title, const QFont &font, const QStringList &details);

// A value read from a bus device: "0x" and lower-case hexadecimal digits
// without leading zeros (5 is 0x5, 256 is 0x100).
QString busValueText(unsigned value);

// A size in MB: above 1024 in GB, otherwise in MB, always with two decimals
// (1536 is "1.50 GB", 1024 is "1024.00 MB").
QString sizeText(quint32 megabytes);

// A battery time in seconds as hours, minutes and seconds, zero parts included
// (3725 is "1 h 2 min 5 s").
QString batteryTimeText(qint32 seconds);

// The board's up-time in seconds. Days and hours appear only when not 0; every
// part keeps its trailing blank (59 is "0 min 59 sec ").
QString upTimeText(qint32 seconds);

// The CPU fan page works in percent, the board in a speed byte 0..255; both
// ways truncate, so a byte read back may show one percent less than was set.
uint8_t fanPercentToByte(int percent);
int fanByteToPercent(uint8_t speed);

// One line of the Sensors tab's voltage group: the reading in mV shown in V
// with three decimals, tab-aligned, ending in a line feed.
QString voltageSensorText(const QString &name, qint32 millivolts);

// One line of the Sensors tab's fan group.
QString fanSpeedText(const QString &name, quint32 rpm);

#endif // FORMAT_H
