// System information pages: what the board is (loaded once per connection) and
// the EEPROM storage group of the Misc tab.
#include "HStation.h"
#include "board/boardtext.h"
#include "format.h"
#include "messagebox.h"
#include "ui_HStationMW.h"

#include <QCoreApplication>
#include <QFont>
#include <vector>

namespace
{

// Information and list reads that may also answer 16 for success.
bool readSucceeded(int32_t status)
{
    return status == HALVO_STATUS_OK || status == HALVO_STATUS_PARTIAL;
}

// A list count the program will allocate records for. A count this large can
// only come from a misbehaving library, and allocating for it would take the
// program down.
bool usableListCount(int32_t count)
{
    return count > 0 && count <= 65535;
}

void processEvents()
{
    QCoreApplication::processEvents();
}

// Only the first bytes of a storage are ever shown or written.
constexpr int32_t StorageWindow = 20;

} // namespace

void HStation::loadStaticInfo()
{
    QFont boldItemFont;
    boldItemFont.setWeight(QFont::Bold);

    QString title = QString::fromLatin1(ProductName) + QStringLiteral(": ");
    setWindowTitle(title);

    if (readSucceeded(HalvoGetCpuInfo(apiHandle, &cpuInfo))) {
        processEvents();
        const QString name = cleanCpuName(boardText(cpuInfo.cpuName));
        ui->label_6->setText(name);
        ui->label_39->setText(name);
        ui->label_32->setNum(cpuInfo.cpuCount);
        ui->label_31->setNum(cpuInfo.coreCount);
        ui->label_42->setNum(cpuInfo.threadCount);
        ui->label_34->setText(generalNumber(cpuInfo.maxCoreSpeed) + QStringLiteral(" MHz"));
        ui->label_44->setText(QString::number(cpuInfo.fsbSpeed) + QStringLiteral(" MHz"));
        ui->label_46->setText(QString::number(cpuInfo.l1Cache) + QStringLiteral(" kB"));
        ui->label_48->setText(QString::number(cpuInfo.l2Cache) + QStringLiteral(" kB"));
        ui->label_49->setText(QString::number(cpuInfo.l3Cache) + QStringLiteral(" kB"));
    }

    if (readSucceeded(HalvoGetBoardInfo(apiHandle, &boardInfo))) {
        processEvents();
        ui->label_3->setText(boardText(boardInfo.manufacturer));
        ui->label_21->setText(boardText(boardInfo.manufacturer));
        ui->label_28->setText(boardText(boardInfo.boardName));
        ui->label_2->setText(boardText(boardInfo.boardName));
        ui->label_25->setText(boardText(boardInfo.version));
        ui->label_24->setText(boardText(boardInfo.serialNumber));
        ui->label_22->setText(boardText(boardInfo.biosRevision));
        ui->label_20->setText(boardText(boardInfo.biosDate));
        title += boardText(boardInfo.boardName) + QStringLiteral(" - ");
        setWindowTitle(title);
    }

    if (HalvoGetMemoryInfo(apiHandle, &memoryInfo) == HALVO_STATUS_OK) {
        processEvents();
        ui->label_51->setText(QString::number(memoryInfo.totalSize) + QStringLiteral(" MB"));
        ui->label_54->setText(QString::number(memoryInfo.freeSize) + QStringLiteral(" MB"));
        ui->label_53->setText(QString::number(memoryInfo.speed) + QStringLiteral(" MHz"));
        ui->label_57->setText(boardText(memoryInfo.memoryType));
    }

    int32_t moduleCount = 0;
    if (HalvoGetMemoryModuleCount(apiHandle, &moduleCount) == HALVO_STATUS_OK) {
        processEvents();
        int64_t totalSize = 0;
        // Module indexes are signed bytes on the board API.
        for (int32_t i = 0; i < moduleCount && i <= INT8_MAX; ++i) {
            processEvents();
            if (HalvoGetMemoryModuleInfo(apiHandle, static_cast<int8_t>(i), &moduleInfo) != HALVO_STATUS_OK)
                continue;
            processEvents();
            addInfoTreeItem(ui->treeWidget_4, QStringLiteral("Module ") + QString::number(i), boldItemFont,
                            {QStringLiteral("Module size: ") + QString::number(moduleInfo.size) + QStringLiteral(" MB"),
                             QStringLiteral("Manufacturer: ") + boardText(moduleInfo.manufacturer),
                             QStringLiteral("Part number: ") + boardText(moduleInfo.partNumber),
                             QStringLiteral("Serial number: ") + boardText(moduleInfo.serialNumber)});
            totalSize += moduleInfo.size;
        }
        ui->label_59->setText(QString::number(totalSize) + QStringLiteral(" MB"));
    }

    if (readSucceeded(HalvoGetBatteryInfo(apiHandle, 0, &batteryInfo))) {
        processEvents();
        showBatteryInfo();
    }

    int32_t networkCount = 0;
    if (HalvoGetNetworkDeviceCount(apiHandle, &networkCount) == HALVO_STATUS_OK) {
        processEvents();
        if (usableListCount(networkCount)) {
            std::vector<NetworkDeviceInfo> devices(networkCount);
            if (readSucceeded(HalvoGetNetworkDeviceList(apiHandle, devices.data(), networkCount))) {
                processEvents();
                // A remote board is known by the address the user connected to,
                // whatever its own device list says.
                const QString address = apiHandle == 0 ? boardText(devices.front().ipAddress) : remoteAddress;
                setWindowTitle(title + address);
                ui->label_9->setText(address);
                for (const NetworkDeviceInfo &device : devices) {
                    processEvents();
                    addInfoTreeItem(
                        ui->treeWidget_2, boardText(device.name), boldItemFont,
                        {QStringLiteral("IP Address: ") + boardText(device.ipAddress),
                         QStringLiteral("MAC Address: ") + boardText(device.macAddress),
                         QStringLiteral("Speed: ") + QString::number(device.speed) + QStringLiteral(" Mb")});
                }
            }
        }
    }

    int32_t pciCount = 0;
    if (HalvoGetPciDeviceCount(apiHandle, &pciCount) == HALVO_STATUS_OK) {
        processEvents();
        if (usableListCount(pciCount)) {
            std::vector<PciDeviceInfo> devices(pciCount);
            if (readSucceeded(HalvoGetPciDeviceList(apiHandle, devices.data(), pciCount))) {
                processEvents();
                for (const PciDeviceInfo &device : devices)
                    for (const QString &paragraph : pciDeviceParagraphs(device))
                        appendPlainParagraph(ui->textEdit, paragraph);
                ui->textEdit->moveCursor(QTextCursor::Start);
            }
        }
    }

    int32_t bootCounter = 0;
    if (HalvoGetBootCounter(apiHandle, &bootCounter) == HALVO_STATUS_OK) {
        processEvents();
        ui->label_14->setNum(bootCounter);
    }

    // One entry per group of eight pins; the last group may be partly used.
    ui->comboBox_9->clear();
    int32_t pinCount = 0;
    if (HalvoGpioGetCount(apiHandle, &pinCount) != HALVO_STATUS_OK) {
        ui->comboBox_9->addItem(QStringLiteral("---"));
    } else {
        processEvents();
        if (pinCount == 0)
            ui->comboBox_9->addItem(QStringLiteral("  ---"));
        for (int32_t first = 0; first < pinCount; first += 8)
            ui->comboBox_9->addItem(QString::number(first) + QStringLiteral(" - ") + QString::number(first + 7));
    }

    // Filling the list runs the content refresh for storage 0 (and emptying a
    // filled one for -1) before the read below.
    ui->comboBox_10->clear();
    int32_t storageCount = 0;
    if (HalvoGetStorageCount(apiHandle, &storageCount) != HALVO_STATUS_OK || storageCount <= 0) {
        ui->comboBox_10->addItem(QStringLiteral("---"));
        return;
    }
    processEvents();
    for (int32_t storage = 0; storage < storageCount; ++storage)
        ui->comboBox_10->addItem(QString::number(storage));
    int32_t size = 0;
    if (HalvoGetStorageSize(apiHandle, 0, &size) != HALVO_STATUS_OK)
        return;
    processEvents();
    showStorageContent(0, size);
}

void HStation::showBatteryInfo()
{
    const QString voltage = QString::number(batteryInfo.designedVoltage) + QStringLiteral(" mV");
    const QString designed = QString::number(batteryInfo.designedCapacity) + QStringLiteral(" mAh");
    const QString full = QString::number(batteryInfo.fullCapacity) + QStringLiteral(" mAh");
    ui->label_69->setText(boardText(batteryInfo.name));
    ui->label_91->setText(boardText(batteryInfo.name));
    ui->label_68->setText(boardText(batteryInfo.type));
    ui->label_97->setText(boardText(batteryInfo.type));
    ui->label_78->setText(boardText(batteryInfo.serialNumber));
    ui->label_101->setText(boardText(batteryInfo.serialNumber));
    ui->label_62->setText(voltage);
    ui->label_104->setText(voltage);
    ui->label_114->setText(designed);
    ui->label_164->setText(designed);
    ui->label_63->setText(full);
    ui->label_107->setText(full);
    // Completes the Battery tab's "<remaining> mAh of <full> mAh" row.
    ui->label_227->setText(full);
}

void HStation::on_comboBox_10_currentIndexChanged(int index)
{
    refreshStorageContent(index);
}

void HStation::on_pushButton_6_clicked()
{
    refreshStorageContent(ui->comboBox_10->currentIndex());
}

void HStation::refreshStorageContent(int32_t storage)
{
    int32_t size = 0;
    if (HalvoGetStorageSize(apiHandle, storage, &size) != HALVO_STATUS_OK) {
        ui->groupBox_17->setTitle(QStringLiteral("Content - cannot access EEPROM"));
        return;
    }
    showStorageContent(storage, size);
}

void HStation::showStorageContent(int32_t storage, int32_t size)
{
    ui->groupBox_17->setTitle(QStringLiteral("Content (") + QString::number(size) + QStringLiteral(" bytes)"));
    ui->textEdit_2->clear();

    // A negative size from the board reads nothing rather than a negative length.
    const int32_t length = qBound(0, size, StorageWindow);
    std::vector<char> buffer(length + 1, '\0');
    if (HalvoStorageRead(apiHandle, storage, 0, buffer.data(), length) == HALVO_STATUS_OK) {
        buffer[length] = '\0';
        // The content is text up to its first 0 byte.
        appendPlainParagraph(ui->textEdit_2, QString::fromLatin1(buffer.data()));
        ui->textEdit_2->moveCursor(QTextCursor::Start);
    } else {
        processEvents();
        showMessage(QStringLiteral("Cannot read from EEPROM storage"));
        processEvents();
    }
}

void HStation::on_pushButton_4_clicked()
{
    const int32_t offset = ui->lineEdit_4->text().toInt();
    const QString data = ui->lineEdit_14->text();
    const int32_t length = data.length();
    if (length == 0) {
        showMessage(QStringLiteral("No data to write"));
        return;
    }
    // In 64 bits: a huge typed offset must not wrap round below the limit.
    if (int64_t(offset) + length > StorageWindow) {
        showMessage(QStringLiteral("Only first 20 bytes are accessible in ") + QString::fromLatin1(ProductName));
        return;
    }
    const QByteArray bytes = data.toLatin1();
    if (HalvoStorageWrite(apiHandle, ui->comboBox_10->currentIndex(), offset, bytes.constData(), length) !=
        HALVO_STATUS_OK) {
        showMessage(QStringLiteral("Cannot write to EEPROM storage"));
        return;
    }
    showMessage(QStringLiteral("Data written to EEPROM storage"));
    refreshStorageContent(ui->comboBox_10->currentIndex());
}
