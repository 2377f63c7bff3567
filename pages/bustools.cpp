// The "I2C/SMBus" tab: single SMBus and I2C transactions typed in by the user.
#include "HStation.h"
#include "messagebox.h"
#include "pages/format.h"

#include "ui_HStationMW.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace
{

const QString notSupported = QStringLiteral("Not supported");

const char *const wrongAddress = "Wrong slave address, please use format 0xFF";
const char *const wrongCommand = "Wrong command value, please use format 0xFF";
const char *const wrongByte = "Wrong byte value, please use format 0xFF";
const char *const wrongWord = "Wrong word value, please use format 0xFFFF";
const char *const wrongMemoryAddress = "Wrong memory address value, please use format 0xFF";
const char *const noData = "No data to write";

// The count argument is 8 bits wide, so a text longer than a block would also
// reach the board with a wrapped count.
constexpr int smbusBlockLimit = HALVO_SMBUS_BLOCK_MAX;

// A read shows at most this many bytes: the last byte of the 128-byte buffer
// is kept for the zero that ends the text.
constexpr uint32_t shownBytesLimit = HALVO_BLOCK_BUFFER_SIZE - 1;

using BlockBuffer = std::array<uint8_t, HALVO_BLOCK_BUFFER_SIZE>;

bool isHexNumber(const QString &text, int digits)
{
    if (text.size() != 2 + digits || text.at(0) != QLatin1Char('0') ||
        (text.at(1) != QLatin1Char('x') && text.at(1) != QLatin1Char('X')))
        return false;
    // Spelled out rather than QChar::isDigit and friends, which would also
    // take digits of other scripts.
    return std::all_of(text.begin() + 2, text.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
    });
}

// Only called on texts isHexByte or isHexWord accepted.
unsigned long hexFieldValue(const QString &text)
{
    return std::strtoul(text.toLatin1().constData(), nullptr, 16);
}

// The leading decimal number of the text, as strtol reads it (blanks and a
// sign first, digits up to the first other character, none gives 0). Read as
// an unsigned count a negative number is huge, so it asks for 127 like any
// other number above 127; a 64-bit long must not wrap 2^32 round to 0.
uint32_t requestedByteCount(const QString &text)
{
    const long count = std::strtol(text.toLatin1().constData(), nullptr, 10);
    return (count < 0 || count > static_cast<long>(shownBytesLimit)) ? shownBytesLimit : static_cast<uint32_t>(count);
}

// The delivered bytes up to the first zero byte, at most 127 of them whatever
// count the library reports.
QString blockText(const BlockBuffer &buffer, uint32_t count)
{
    const auto *text = reinterpret_cast<const char *>(buffer.data());
    return QString::fromLatin1(text, static_cast<int>(strnlen(text, std::min(count, shownBytesLimit))));
}

void fillBusList(QComboBox *busList, int32_t handle, int32_t (*busCount)(int32_t, uint8_t *), const QString &prefix)
{
    busList->clear();
    uint8_t count = 0;
    if (busCount(handle, &count) != 0) {
        busList->addItem(notSupported);
        return;
    }
    QCoreApplication::processEvents();
    if (count == 0) {
        busList->addItem(notSupported);
        return;
    }
    for (int bus = 0; bus < count; ++bus)
        busList->addItem(prefix + QString::number(bus));
}

// Shows the transaction page of the command button that sent the click; the
// buttons' order in `commands` is the order of their pages from `firstPage`.
void showCommandPage(QObject *sender, QStackedWidget *pages, const QStringList &commands, int firstPage)
{
    const auto *button = qobject_cast<const QAbstractButton *>(sender);
    if (!button || !button->isChecked())
        return;
    const int index = commands.indexOf(button->objectName());
    if (index >= 0)
        pages->setCurrentIndex(firstPage + index);
}

// Everything a transaction of the tab does before its board call: the bus
// check, then the field checks in the order they are made (the first one that
// fails is the one the user hears about; later fields are still converted but
// nothing is sent), then the warning the user must accept. Values converted
// from rejected fields are never used.
class Transaction
{
public:
    Transaction(const QComboBox *busList, const char *noBus, const char *warning)
        : warning(QString::fromLatin1(warning)), busNumber(static_cast<uint8_t>(busList->currentIndex()))
    {
        if (busList->currentText() == notSupported)
            stopMessage = QString::fromLatin1(noBus);
    }

    uint8_t hexByte(const QLineEdit *field, const char *message)
    {
        require(HStation::isHexByte(field->text()), message);
        return static_cast<uint8_t>(hexFieldValue(field->text()));
    }

    uint16_t hexWord(const QLineEdit *field, const char *message)
    {
        require(HStation::isHexWord(field->text()), message);
        return static_cast<uint16_t>(hexFieldValue(field->text()));
    }

    void require(bool valid, const char *message)
    {
        if (!valid && stopMessage.isEmpty())
            stopMessage = QString::fromLatin1(message);
    }

    // Tells the user why the transaction stops, or asks; true to send.
    bool confirmed() const
    {
        if (!stopMessage.isEmpty()) {
            showMessage(stopMessage);
            return false;
        }
        return askUser(warning, QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Cancel;
    }

    uint8_t bus() const { return busNumber; }

private:
    QString stopMessage;
    const QString warning;
    const uint8_t busNumber;
};

Transaction smbusTransaction(const QComboBox *busList)
{
    return Transaction(busList, "No SMBus found",
                       "Sending improper information to SMBus can cause data loss... Are you sure?");
}

void report(int32_t status, const char *success, const char *failure)
{
    showMessage(QString::fromLatin1(status == 0 ? success : failure));
}

} // namespace

bool HStation::isHexByte(const QString &text)
{
    return isHexNumber(text, 2);
}

bool HStation::isHexWord(const QString &text)
{
    return isHexNumber(text, 4);
}

// ---- SMBus ------------------------------------------------------------------

void HStation::on_radioButton_16_toggled(bool checked)
{
    if (!checked)
        return;
    fillBusList(ui->comboBox, apiHandle, HalvoGetSmbusCount, QStringLiteral("SMBus - "));
    ui->stackedWidget->setCurrentIndex(0);
    ui->radioButton_7->click();
}

void HStation::smbus_command_change()
{
    static const QStringList commands = {
        QStringLiteral("radioButton_7"),  QStringLiteral("radioButton_8"),  QStringLiteral("radioButton_9"),
        QStringLiteral("radioButton_10"), QStringLiteral("radioButton_11"), QStringLiteral("radioButton_12"),
        QStringLiteral("radioButton_13"), QStringLiteral("radioButton_14"), QStringLiteral("radioButton_15")};
    showCommandPage(sender(), ui->stackedWidget_3, commands, 0);
}

// Quick command
void HStation::on_pushButton_3_clicked()
{
    Transaction transaction = smbusTransaction(ui->comboBox);
    const uint8_t address = transaction.hexByte(ui->lineEdit, wrongAddress);
    const uint8_t readWrite = ui->comboBox_2->currentIndex() != 0 ? 1 : 0;
    if (!transaction.confirmed())
        return;
    report(HalvoSmbusQuickCommand(apiHandle, transaction.bus(), address, readWrite),
           "Quick command was sent successfuly...", "Sending Quick command failed...");
}

// Send byte
void HStation::on_pushButton_11_clicked()
{
    Transaction transaction = smbusTransaction(ui->comboBox);
    const uint8_t address = transaction.hexByte(ui->lineEdit_5, wrongAddress);
    const uint8_t data = transaction.hexByte(ui->lineEdit_7, wrongByte);
    if (!transaction.confirmed())
        return;
    report(HalvoSmbusSendByte(apiHandle, transaction.bus(), address, data), "Byte was sent successfuly...",
           "Sending byte failed...");
}

// Receive byte
void HStation::on_pushButton_12_clicked()
{
    Transaction transaction = smbusTransaction(ui->comboBox);
    const uint8_t address = transaction.hexByte(ui->lineEdit_6, wrongAddress);
    if (!transaction.confirmed())
        return;
    uint8_t data = 0;
    const int32_t status = HalvoSmbusReceiveByte(apiHandle, transaction.bus(), address, &data);
    if (status == 0)
        ui->label_18->setText(busValueText(data));
    report(status, "Byte was received successfuly...", "Receiving byte failed...");
}

// Write byte
void HStation::on_pushButton_18_clicked()
{
    Transaction transaction = smbusTransaction(ui->comboBox);
    const uint8_t address = transaction.hexByte(ui->lineEdit_21, wrongAddress);
    const uint8_t command = transaction.hexByte(ui->lineEdit_22, wrongCommand);
    const uint8_t data = transaction.hexByte(ui->lineEdit_9, wrongByte);
    if (!transaction.confirmed())
        return;
    report(HalvoSmbusWriteByte(apiHandle, transaction.bus(), address, command, data), "Byte was written successfuly...",
           "Writing byte failed...");
}

// Read byte
void HStation::on_pushButton_14_clicked()
{
    Transaction transaction = smbusTransaction(ui->comboBox);
    const uint8_t address = transaction.hexByte(ui->lineEdit_11, wrongAddress);
    const uint8_t command = transaction.hexByte(ui->lineEdit_12, wrongCommand);
    if (!transaction.confirmed())
        return;
    uint8_t data = 0;
    const int32_t status = HalvoSmbusReadByte(apiHandle, transaction.bus(), address, command, &data);
    if (status == 0)
        ui->label_88->setText(busValueText(data));
    report(status, "Byte was read successfuly...", "Reading byte failed...");
}

// Write word
void HStation::on_pushButton_15_clicked()
{
    Transaction transaction = smbusTransaction(ui->comboBox);
    const uint8_t address = transaction.hexByte(ui->lineEdit_13, wrongAddress);
    const uint8_t command = transaction.hexByte(ui->lineEdit_15, wrongCommand);
    const uint16_t data = transaction.hexWord(ui->lineEdit_26, wrongWord);
    if (!transaction.confirmed())
        return;
    report(HalvoSmbusWriteWord(apiHandle, transaction.bus(), address, command, data), "Word was written successfuly...",
           "Writing word failed...");
}

// Read word
void HStation::on_pushButton_16_clicked()
{
    Transaction transaction = smbusTransaction(ui->comboBox);
    const uint8_t address = transaction.hexByte(ui->lineEdit_16, wrongAddress);
    const uint8_t command = transaction.hexByte(ui->lineEdit_18, wrongCommand);
    if (!transaction.confirmed())
        return;
    uint16_t data = 0;
    const int32_t status = HalvoSmbusReadWord(apiHandle, transaction.bus(), address, command, &data);
    if (status == 0)
        ui->label_89->setText(busValueText(data));
    report(status, "Word was read successfuly...", "Reading word failed...");
}

// Write block: the editor's text byte for byte, line breaks included.
void HStation::on_pushButton_17_clicked()
{
    Transaction transaction = smbusTransaction(ui->comboBox);
    const uint8_t address = transaction.hexByte(ui->lineEdit_19, wrongAddress);
    const uint8_t command = transaction.hexByte(ui->lineEdit_20, wrongCommand);
    const QByteArray data = ui->plainTextEdit_8->toPlainText().toLatin1();
    transaction.require(!data.isEmpty(), noData);
    transaction.require(data.size() <= smbusBlockLimit, "Block too long: SMBus blocks hold at most 32 bytes");
    if (!transaction.confirmed())
        return;
    report(HalvoSmbusWriteBlock(apiHandle, transaction.bus(), address, command,
                                reinterpret_cast<const uint8_t *>(data.constData()), static_cast<uint8_t>(data.size())),
           "Data was written successfuly...", "Writing block failed...");
}

// Read block
void HStation::on_pushButton_19_clicked()
{
    Transaction transaction = smbusTransaction(ui->comboBox);
    const uint8_t address = transaction.hexByte(ui->lineEdit_24, wrongAddress);
    const uint8_t command = transaction.hexByte(ui->lineEdit_25, wrongCommand);
    if (!transaction.confirmed())
        return;
    BlockBuffer buffer{};
    uint8_t count = 0;
    const int32_t status = HalvoSmbusReadBlock(apiHandle, transaction.bus(), address, command, buffer.data(), &count);
    ui->plainTextEdit_10->clear();
    if (status == 0)
        ui->plainTextEdit_10->setPlainText(blockText(buffer, count));
    report(status, "Block was read successfuly...", "Reading block failed...");
}

// ---- I2C --------------------------------------------------------------------

void HStation::on_radioButton_17_toggled(bool checked)
{
    if (!checked)
        return;
    fillBusList(ui->comboBox, apiHandle, HalvoGetI2cBusCount, QStringLiteral("I2C - "));
    ui->stackedWidget->setCurrentIndex(1);
    ui->radioButton_18->click();
}

void HStation::i2c_command_change()
{
    static const QStringList commands = {QStringLiteral("radioButton_18"), QStringLiteral("radioButton_19")};
    showCommandPage(sender(), ui->stackedWidget_3, commands, 9);
}

// I2C read. The memory address must be well formed even while "Use address"
// is off; it is passed along in any case.
void HStation::on_pushButton_20_clicked()
{
    Transaction transaction(ui->comboBox, "No I2C bus found",
                            "Sending improper information to I2C bus can cause data loss... Are you sure?");
    const uint8_t address = transaction.hexByte(ui->lineEdit_27, wrongAddress);
    const uint8_t memoryAddress = transaction.hexByte(ui->lineEdit_28, wrongMemoryAddress);
    uint32_t count = requestedByteCount(ui->lineEdit_31->text());
    if (!transaction.confirmed())
        return;
    BlockBuffer buffer{};
    const uint8_t useMemoryAddress = ui->lineEdit_28->isEnabled() ? 1 : 0;
    const int32_t status =
        HalvoI2cRead(apiHandle, transaction.bus(), address, memoryAddress, useMemoryAddress, buffer.data(), &count);
    ui->plainTextEdit_11->clear();
    if (status == 0) {
        ui->plainTextEdit_11->setPlainText(blockText(buffer, count));
        showMessage(QStringLiteral("Block was read successfuly..."));
    } else {
        showMessage(QStringLiteral("Reading data from I2C failed..."));
    }
}

// I2C write: the editor's text byte for byte at the memory address.
void HStation::on_pushButton_21_clicked()
{
    Transaction transaction(ui->comboBox, "No I2C bus found",
                            "Sending improper information to I2C Bus can cause data loss... Are you sure?");
    const uint8_t address = transaction.hexByte(ui->lineEdit_29, wrongAddress);
    const uint8_t memoryAddress = transaction.hexByte(ui->lineEdit_30, wrongMemoryAddress);
    const QByteArray data = ui->plainTextEdit_12->toPlainText().toLatin1();
    transaction.require(!data.isEmpty(), noData);
    if (!transaction.confirmed())
        return;
    report(HalvoI2cWrite(apiHandle, transaction.bus(), address, memoryAddress,
                         reinterpret_cast<const uint8_t *>(data.constData()), static_cast<uint32_t>(data.size())),
           "Data was written successfuly...", "Writing data failed...");
}
