#pragma once

#include <QDialog>
#include <QString>

#include "firmware/FirmwareImage.h"
#include "firmware/UpdateRun.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace quillon {

class IUserDialogs;

// The "Flasher" window: writes the update file named by FileName into the adapter once it is
// shown, showing the progress block by block, and reports the outcome on its button and,
// after a failure, in a message box. The update runs on the GUI thread and lets waiting
// events run once per block; the window cannot be closed until it has ended.
//
// What RunUpdate reaches is borrowed: the caller keeps it alive until the window has closed,
// whatever device changes arrive while the update lets events run.
class TFlasherForm : public QDialog {
    Q_OBJECT

  public:
    TFlasherForm(QWidget* parent, IUserDialogs& dialogs);

    // Set before the window is shown: the update on the adapter in use (empty: no adapter)
    // and the file.
    firmware::UpdateRunner RunUpdate;
    QString FileName;

    firmware::FirmwareImage Image{};

    QLabel* Label1;
    QLabel* txUpdateFileName;
    QProgressBar* ProgressBar1;
    QPushButton* bnClose;
    QTimer* Timer1;

    bool Running() const { return running_; }
    // True once the update has run, finish command included.
    bool Finished() const { return finished_; }
    int ResultCode() const { return resultCode_; }

    // Runs the update; does nothing after the first time. Runs by itself once the window has
    // been shown or has become active, whichever comes first.
    void FormActivate();

  protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    void BuildControls();
    void FormCreate();
    void bnCloseClick();
    void Timer1Timer();
    void QueueRun();

    IUserDialogs& dialogs_;
    bool runQueued_ = false;
    bool started_ = false;
    bool running_ = false;
    bool finished_ = false;
    int resultCode_ = 0;
};

}  // namespace quillon
