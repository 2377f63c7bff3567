// System Power State page: the AMT commands, which name any board by IP address
// and credentials, and the power-off of the connected board through its OS.
#include "HStation.h"
#include "ui_HStationMW.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>
#include <array>
#include <cstring>

namespace
{

// The AMT functions take NUL-terminated texts; longer texts are cut to what
// fits a board-API text field, never passed past it.
using CredentialText = std::array<char, HALVO_TEXT_SIZE>;

CredentialText credentialText(const QString &text)
{
    CredentialText buffer{};
    const QByteArray bytes = text.toLatin1();
    std::memcpy(buffer.data(), bytes.constData(), qMin<size_t>(bytes.size(), buffer.size() - 1));
    return buffer;
}

// Power-state codes of the board API: 0 on, 1 off, 2 hibernated; 3 is a
// restart request and never a reply.
QString powerStateSuffix(int32_t state)
{
    switch (state) {
    case 0:
        return QStringLiteral(" has POWER ON");
    case 1:
        return QStringLiteral(" has POWER OFF");
    case 2:
        return QStringLiteral(" is HIBERNATED");
    default:
        return QStringLiteral(" is in unknown state");
    }
}

// 16992 is the port of the AMT firmware's own web pages.
QString amtStateFailureText(const QString &address)
{
    return QStringLiteral("Cannot get state from board with IP ") + address + QStringLiteral("\n\n") +
           QStringLiteral("Are you sure that the board supports Intel AMT?\n") +
           QStringLiteral("Are the user name and password correct?\n") +
           QStringLiteral("You can test it using your Web browser.\n") + QStringLiteral("Type in address:\n") +
           QStringLiteral("http://") + address + QStringLiteral(":16992");
}

} // namespace

void HStation::system_power_state_change()
{
    const auto *button = qobject_cast<const QAbstractButton *>(sender());
    if (!button || !button->isChecked())
        return;
    // The OS call needs no credentials: it goes to the connected board.
    const bool credentialsUsed = button->objectName() != QLatin1String("radioButton_23");
    for (QWidget *widget : std::initializer_list<QWidget *>{ui->label_128, ui->label_129, ui->label_130, ui->lineEdit_2,
                                                            ui->lineEdit_3, ui->lineEdit_8}) {
        // Hidden rows keep their room, so "Do it!" stays where it is.
        QSizePolicy policy = widget->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        widget->setSizePolicy(policy);
        widget->setVisible(credentialsUsed);
    }
}

void HStation::on_pushButton_2_clicked()
{
    // One box serves the question and the outcome of a click.
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Ok);

    int32_t status = 0;
    if (ui->radioButton_24->isChecked()) {
        const QString address = ui->lineEdit_8->text();
        const CredentialText ip = credentialText(address);
        const CredentialText user = credentialText(ui->lineEdit_2->text());
        const CredentialText password = credentialText(ui->lineEdit_3->text());
        int32_t state = 0;
        if (HalvoGetSystemStateAmt(ip.data(), user.data(), password.data(), &state) == HALVO_STATUS_OK)
            box.setText(QStringLiteral("Board with IP ") + address + powerStateSuffix(state));
        else
            box.setText(amtStateFailureText(address));
        box.exec();
        return;
    }

    if (ui->radioButton_23->isChecked()) {
        box.setText(QStringLiteral("Are you sure you want to turn off the computer you are currently connected to?"));
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        if (box.exec() != QMessageBox::Yes)
            return;
        status = HalvoSetSystemState(apiHandle, 1);
    } else {
        const CredentialText ip = credentialText(ui->lineEdit_8->text());
        const CredentialText user = credentialText(ui->lineEdit_2->text());
        const CredentialText password = credentialText(ui->lineEdit_3->text());
        int32_t state = 0;
        if (ui->radioButton_20->isChecked())
            state = 0;
        if (ui->radioButton_21->isChecked())
            state = 3;
        if (ui->radioButton_22->isChecked())
            state = 1;
        status = HalvoSetSystemStateAmt(ip.data(), user.data(), password.data(), state);
    }

    // Only the local box is used from here on, so a reconnection while events
    // run does not matter to this click.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    box.setText(status == HALVO_STATUS_OK ? QStringLiteral("Command successful") : QStringLiteral("Command failed"));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}
