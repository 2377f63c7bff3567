// The Connect dialog: takes an address, connects to the board there and
// reloads the main window for it.
#ifndef CONNECTIONDLG_H
#define CONNECTIONDLG_H

#include <QDialog>

class Ui_ConnectionDlg;

class ConnectionDlg : public QDialog
{
    Q_OBJECT

public:
    // `parent` is the main window the new connection is made for.
    explicit ConnectionDlg(QWidget *parent = nullptr);
    ~ConnectionDlg() override;

protected:
    void changeEvent(QEvent *event) override;

private slots:
    void on_pushButton_clicked();

private:
    Ui_ConnectionDlg *ui;
};

#endif // CONNECTIONDLG_H
