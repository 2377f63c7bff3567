// Text formats shared by the window's pages.
#ifndef FORMAT_H
#define FORMAT_H

#include <QString>
#include <QStringList>

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

#endif // FORMAT_H
