#include "ConnectionDlg.h"

#include "HStation.h"
#include "board/halvo.h"
#include "ui_ConnectionDlg.h"

#include <QCoreApplication>
#include <QPointer>

namespace
{

enum Page { AddressPage = 0, ProgressPage = 1, ResultPage = 2 };

} // namespace

ConnectionDlg::ConnectionDlg(QWidget *parent) : QDialog(parent), ui(new Ui_ConnectionDlg)
{
    ui->setupUi(this);
    ui->stackedWidget->setCurrentIndex(AddressPage);
    // A dialog serves one attempt; closed ones would pile up as hidden
    // children of the main window.
    setAttribute(Qt::WA_DeleteOnClose);
}

ConnectionDlg::~ConnectionDlg()
{
    delete ui;
}

void ConnectionDlg::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}

// The address goes to the library as typed; it alone judges it. The dialog
// may be closed, and so deleted, whenever events run, hence the guard.
void ConnectionDlg::on_pushButton_clicked()
{
    const QPointer<ConnectionDlg> alive(this);
    ui->stackedWidget->setCurrentIndex(ProgressPage);
    ui->label_2->setText(QStringLiteral("Connecting to ") + ui->lineEdit->text() + QStringLiteral("..."));
    // Twice, so that the progress page is laid out and then painted before
    // the library blocks.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    if (!alive)
        return;

    auto *window = qobject_cast<HStation *>(parentWidget());
    const QByteArray address = ui->lineEdit->text().toLatin1();
    int32_t handle = 0;
    if (!window || HalvoLibInitialize(address.constData(), HALVO_LIBINIT_PORT, &handle, 0, 0) != HALVO_STATUS_OK) {
        ui->label_5->setText(QStringLiteral("Connection to ") + ui->lineEdit->text() + QStringLiteral(" failed"));
        ui->stackedWidget->setCurrentIndex(ResultPage);
        return;
    }

    window->connectTo(handle, ui->lineEdit->text());
    if (!alive)
        return;
    ui->label_5->setText(QStringLiteral("You are connected to ") + ui->lineEdit->text());
    ui->stackedWidget->setCurrentIndex(ResultPage);
}
