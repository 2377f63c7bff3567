// System information pages: what the board is (loaded once per connection) and
// the EEPROM storage group of the Misc tab.
#include "HStation.h"
#include "board/boardtext.h"
#include "format.h"
#include "messagebox.h"
#include "ui_HStationMW.h"

#include <QCoreApplication>
#include <QFont>
#include <QPalette>
#include <algorithm>
#include <array>
#include <qwt_thermo.h>
#include <utility>
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

void setHighlight(QWidget *widget, const QColor &colour)
{
    // Setting an equal palette would still repolish the widget every second.
    QPalette palette = widget->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setBrush(group, QPalette::Highlight, QBrush(colour, Qt::SolidPattern));
    if (palette != widget->palette())
        widget->setPalette(palette);
}

// Only the first bytes of a storage are ever shown or written.
constexpr int32_t StorageWindow = 20;

} // namespace

void HStation::loadStaticInfo()
{
    const quint32 pass = connectionGeneration;
    QFont boldItemFont;
    boldItemFont.setWeight(QFont::Bold);

    QString title = QString::fromLatin1(ProductName) + QStringLiteral(": ");
    setWindowTitle(title);

    if (readSucceeded(HalvoGetCpuInfo(apiHandle, &cpuInfo))) {
        if (!letEventsRun(pass))
            return;
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
        if (!letEventsRun(pass))
            return;
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
        if (!letEventsRun(pass))
            return;
        ui->label_51->setText(QString::number(memoryInfo.totalSize) + QStringLiteral(" MB"));
        ui->label_54->setText(QString::number(memoryInfo.freeSize) + QStringLiteral(" MB"));
        ui->label_53->setText(QString::number(memoryInfo.speed) + QStringLiteral(" MHz"));
        ui->label_57->setText(boardText(memoryInfo.memoryType));
    }

    int32_t moduleCount = 0;
    if (HalvoGetMemoryModuleCount(apiHandle, &moduleCount) == HALVO_STATUS_OK) {
        if (!letEventsRun(pass))
            return;
        int64_t totalSize = 0;
        // Module indexes are signed bytes on the board API.
        for (int32_t i = 0; i < moduleCount && i <= INT8_MAX; ++i) {
            if (!letEventsRun(pass))
                return;
            if (HalvoGetMemoryModuleInfo(apiHandle, static_cast<int8_t>(i), &moduleInfo) != HALVO_STATUS_OK)
                continue;
            if (!letEventsRun(pass))
                return;
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
        if (!letEventsRun(pass))
            return;
        showBatteryInfo();
    }

    int32_t networkCount = 0;
    if (HalvoGetNetworkDeviceCount(apiHandle, &networkCount) == HALVO_STATUS_OK) {
        if (!letEventsRun(pass))
            return;
        if (usableListCount(networkCount)) {
            std::vector<NetworkDeviceInfo> devices(networkCount);
            if (readSucceeded(HalvoGetNetworkDeviceList(apiHandle, devices.data(), networkCount))) {
                if (!letEventsRun(pass))
                    return;
                // A remote board is known by the address the user connected to,
                // whatever its own device list says.
                const QString address = apiHandle == 0 ? boardText(devices.front().ipAddress) : remoteAddress;
                setWindowTitle(title + address);
                ui->label_9->setText(address);
                for (const NetworkDeviceInfo &device : devices) {
                    if (!letEventsRun(pass))
                        return;
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
        if (!letEventsRun(pass))
            return;
        if (usableListCount(pciCount)) {
            std::vector<PciDeviceInfo> devices(pciCount);
            if (readSucceeded(HalvoGetPciDeviceList(apiHandle, devices.data(), pciCount))) {
                if (!letEventsRun(pass))
                    return;
                for (const PciDeviceInfo &device : devices)
                    for (const QString &paragraph : pciDeviceParagraphs(device))
                        appendPlainParagraph(ui->textEdit, paragraph);
                ui->textEdit->moveCursor(QTextCursor::Start);
            }
        }
    }

    int32_t bootCounter = 0;
    if (HalvoGetBootCounter(apiHandle, &bootCounter) == HALVO_STATUS_OK) {
        if (!letEventsRun(pass))
            return;
        ui->label_14->setNum(bootCounter);
    }

    // One entry per group of eight pins; the last group may be partly used.
    ui->comboBox_9->clear();
    int32_t pinCount = 0;
    if (HalvoGpioGetCount(apiHandle, &pinCount) != HALVO_STATUS_OK) {
        ui->comboBox_9->addItem(QStringLiteral("---"));
    } else {
        if (!letEventsRun(pass))
            return;
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
    if (!letEventsRun(pass))
        return;
    for (int32_t storage = 0; storage < storageCount; ++storage)
        ui->comboBox_10->addItem(QString::number(storage));
    int32_t size = 0;
    if (HalvoGetStorageSize(apiHandle, 0, &size) != HALVO_STATUS_OK)
        return;
    if (!letEventsRun(pass))
        return;
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

void HStation::refreshStatus()
{
    const quint32 pass = connectionGeneration;
    QFont boldItemFont;
    boldItemFont.setWeight(QFont::Bold);

    if (!refreshDiskDrives(pass, boldItemFont) || !refreshPartitions(pass, boldItemFont) || !refreshBattery(pass))
        return;

    int32_t intruder = 0;
    int32_t status = HalvoGetIntruderStatus(apiHandle, &intruder);
    if (!letEventsRun(pass))
        return;
    if (status == HALVO_STATUS_OK && intruder == 0)
        ui->label_15->setText(QStringLiteral("OK"));
    else if (status == HALVO_STATUS_OK && intruder == 1)
        ui->label_15->setText(QStringLiteral("Case opened"));
    if (checkConnectionError(status))
        return;

    int32_t upTime = 0;
    status = HalvoSystemUpTime(apiHandle, &upTime);
    if (!letEventsRun(pass))
        return;
    if (status == HALVO_STATUS_OK)
        ui->label_169->setText(upTimeText(upTime));
    if (checkConnectionError(status))
        return;

    if (refreshCpuFrequency(pass))
        refreshSensors(pass);
}

// A tree is rebuilt only when the board reports another number of entries; a
// drop to none leaves the last list in place.
template <typename Record, typename Describe>
bool HStation::refreshCountedTree(quint32 pass, int32_t &seenCount, QTreeWidget *tree,
                                  int32_t (*countCall)(int32_t, int32_t *),
                                  int32_t (*listCall)(int32_t, Record *, int32_t), const QFont &boldItemFont,
                                  Describe describe)
{
    int32_t count = 0;
    const int32_t countStatus = countCall(apiHandle, &count);
    if (!letEventsRun(pass))
        return false;
    if (checkConnectionError(countStatus))
        return false;
    if (countStatus != HALVO_STATUS_OK)
        return true;
    const bool changed = count != seenCount;
    // Kept even when the list fails below: the tree then stays empty until
    // the count changes again.
    seenCount = count;
    if (!changed || !usableListCount(count))
        return true;

    tree->clear();
    std::vector<Record> records(count);
    const int32_t listStatus = listCall(apiHandle, records.data(), count);
    if (readSucceeded(listStatus)) {
        if (!letEventsRun(pass))
            return false;
        for (const Record &record : records) {
            const QStringList lines = describe(record);
            addInfoTreeItem(tree, lines.first(), boldItemFont, lines.mid(1));
        }
    }
    return !checkConnectionError(listStatus);
}

bool HStation::refreshDiskDrives(quint32 pass, const QFont &boldItemFont)
{
    return refreshCountedTree(pass, diskCount, ui->treeWidget, HalvoGetDiskDriveCount, HalvoGetDiskDriveList,
                              boldItemFont, [](const DiskDriveInfo &drive) {
                                  return QStringList{boardText(drive.name),
                                                     QStringLiteral("Model: ") + boardText(drive.model),
                                                     QStringLiteral("Serial number: ") + boardText(drive.serialNumber),
                                                     QStringLiteral("Size: ") + sizeText(drive.size)};
                              });
}

bool HStation::refreshPartitions(quint32 pass, const QFont &boldItemFont)
{
    return refreshCountedTree(pass, partitionCount, ui->treeWidget_3, HalvoGetDiskDrivePartitionCount,
                              HalvoGetDiskDrivePartitionList, boldItemFont, [](const DiskPartitionInfo &partition) {
                                  return QStringList{boardText(partition.name),
                                                     QStringLiteral("Filesystem type: ") +
                                                         boardText(partition.fileSystem),
                                                     QStringLiteral("Partition size: ") + sizeText(partition.size),
                                                     QStringLiteral("Free space: ") + sizeText(partition.freeSpace)};
                              });
}

// The characteristics are read again on every refresh, since a battery can be
// swapped, but a failure there is not taken for a lost connection.
bool HStation::refreshBattery(quint32 pass)
{
    const int32_t infoStatus = HalvoGetBatteryInfo(apiHandle, 0, &batteryInfo);
    if (!letEventsRun(pass))
        return false;
    if (readSucceeded(infoStatus)) {
        showBatteryInfo();
    } else {
        const QString none = QStringLiteral("Not available");
        const QString dashes = QStringLiteral("---");
        for (QLabel *label : {ui->label_69, ui->label_91, ui->label_68, ui->label_78})
            label->setText(none);
        for (QLabel *label : {ui->label_97, ui->label_101, ui->label_62, ui->label_104, ui->label_114, ui->label_164,
                              ui->label_63, ui->label_107, ui->label_227})
            label->setText(dashes);
    }

    const int32_t stateStatus = HalvoGetBatteryState(apiHandle, 0, &batteryState);
    if (!letEventsRun(pass))
        return false;
    if (readSucceeded(stateStatus))
        showBatteryState();
    else
        showNoBatteryState();
    return !checkConnectionError(stateStatus);
}

void HStation::showBatteryState()
{
    struct PowerTexts {
        QString state;
        QString source;
        bool pluggedIn;
        QString rateCaption;
    };
    // Indexed by the board's state; other states have no texts of their own.
    static const std::array<PowerTexts, 3> powerTexts = {{
        {QStringLiteral("Charging"), QStringLiteral("Plugged in, charging"), true, QStringLiteral("Charge Rate: ")},
        {QStringLiteral("AC Power"), QStringLiteral("Plugged in"), true, QStringLiteral("Charge Rate: ")},
        {QStringLiteral("Discharging"), QStringLiteral("Running on battery"), false,
         QStringLiteral("Discharge Rate: ")},
    }};
    if (batteryState.state >= 0 && batteryState.state < int32_t(powerTexts.size())) {
        const PowerTexts &texts = powerTexts[batteryState.state];
        ui->label_10->setText(texts.state);
        ui->label_82->setText(texts.state);
        ui->label_175->setText(texts.state);
        ui->checkBox_57->setText(texts.source);
        ui->checkBox_57->setChecked(texts.pluggedIn);
        ui->label_221->setText(texts.rateCaption);
    }

    for (QProgressBar *bar : {ui->progressBar, ui->progressBar_2}) {
        bar->setValue(batteryState.chargePercent);
        setHighlight(bar, QColor(0, 99, 172));
    }
    ui->label_231->setText(batteryTimeText(batteryState.fullBatteryTime));
    ui->label_233->setText(batteryTimeText(batteryState.remainingTime));
    // Completed by label_227, the full capacity: "<remaining> mAh of <full> mAh".
    ui->label_224->setText(QString::number(batteryState.remainingCapacity) + QStringLiteral(" mAh of "));
    ui->label_236->setText(QString::number(batteryState.voltage) + QStringLiteral(" mV"));
    ui->label_222->setText(QString::number(batteryState.rate) + QStringLiteral(" mA"));
}

void HStation::showNoBatteryState()
{
    ui->label_10->setText(QStringLiteral("No battery"));
    ui->label_82->setText(QStringLiteral("---"));
    ui->label_175->setText(QStringLiteral("---"));
    ui->checkBox_57->setText(QStringLiteral("No battery"));
    ui->checkBox_57->setChecked(false);
    ui->label_221->setText(QStringLiteral("Charge Rate: "));
    ui->progressBar->setValue(0);
    ui->progressBar_2->setValue(0);
    for (QLabel *label : {ui->label_231, ui->label_233, ui->label_224, ui->label_236, ui->label_222})
        label->setText(QStringLiteral("---"));
}

// Frequencies come in kHz; the dial and the speed label work in MHz.
bool HStation::refreshCpuFrequency(quint32 pass)
{
    for (const auto &[kind, frequency] :
         {std::pair<int32_t, int32_t *>{1, &cpuFreqMax}, {0, &cpuFreqMin}, {2, &cpuFreqCurrent}}) {
        int32_t khz = 0;
        const int32_t status = HalvoGetCpuFreq(apiHandle, kind, &khz);
        *frequency = status == HALVO_STATUS_OK ? khz : 0;
        if (!letEventsRun(pass) || checkConnectionError(status))
            return false;
    }

    if (cpuFreqCurrent > 0 && cpuFreqMax > 0) {
        const int32_t maxMhz = cpuFreqMax / 1000;
        const int32_t currentMhz = cpuFreqCurrent / 1000;
        setDialRange(maxMhz);
        ui->Dial->setValue(currentMhz);
        ui->label_80->setText(QStringLiteral("Current CPU speed: ") + QString::number(currentMhz) +
                              QStringLiteral(" MHz"));
        // In 64 bits: a current frequency above 21 GHz would overflow the
        // product in 32.
        ui->label_184->setText(QString::number(int64_t(cpuFreqCurrent) * 100 / cpuFreqMax) + QStringLiteral(" %"));
    }
    return letEventsRun(pass);
}

// The counts and widgets are those initControls built; a list that fails
// leaves every reading of its kind as it was.
bool HStation::refreshSensors(quint32 pass)
{
    if (usableListCount(tempSensorCount)) {
        std::vector<TempSensorInfo> sensors(tempSensorCount);
        const int32_t status = HalvoGetTempSensorList(apiHandle, sensors.data(), tempSensorCount);
        if (status == HALVO_STATUS_OK) {
            if (!letEventsRun(pass))
                return false;
            const int shown = std::min({int(sensors.size()), tempThermos.size(), tempLabels.size()});
            for (int i = 0; i < shown; ++i) {
                // Whole degrees: the bars have no finer scale.
                tempThermos[i]->setValue(sensors[i].value / 1000);
                tempLabels[i]->setText(boardText(sensors[i].name));
            }
        }
        if (checkConnectionError(status))
            return false;
    }

    if (usableListCount(voltageSensorCount)) {
        std::vector<VoltageSensorInfo> sensors(voltageSensorCount);
        const int32_t status = HalvoGetVoltageSensorList(apiHandle, sensors.data(), voltageSensorCount);
        if (status == HALVO_STATUS_OK) {
            if (!letEventsRun(pass))
                return false;
            const int shown = std::min(int(sensors.size()), voltageLabels.size());
            for (int i = 0; i < shown; ++i)
                voltageLabels[i]->setText(voltageSensorText(boardText(sensors[i].name), sensors[i].value));
        }
        if (checkConnectionError(status))
            return false;
    }

    if (usableListCount(fanCount)) {
        std::vector<FanInfo> fans(fanCount);
        const int32_t status = HalvoGetFanList(apiHandle, fans.data(), fanCount);
        if (status == HALVO_STATUS_OK) {
            if (!letEventsRun(pass))
                return false;
            const int shown = std::min(int(fans.size()), fanLabels.size());
            for (int i = 0; i < shown; ++i)
                fanLabels[i]->setText(fanSpeedText(boardText(fans[i].name), fans[i].speed));
        }
        if (checkConnectionError(status))
            return false;
    }
    return true;
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
