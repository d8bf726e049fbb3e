#include "firmware/ui/FlasherForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include "firmware/UpdateRun.h"
#include "ui/UserDialogs.h"

namespace quillon {

namespace {
constexpr int kCloseDelayMs = 3000;
}

TFlasherForm::TFlasherForm(QWidget* parent, IUserDialogs& dialogs)
    : QDialog(parent), dialogs_(dialogs) {
    BuildControls();
    FormCreate();
}

void TFlasherForm::BuildControls() {
    setObjectName("Flasher");
    setWindowTitle("Flasher");
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(606, 148);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }

    Label1 = new QLabel("Update: ", this);
    Label1->setObjectName("Label1");
    Label1->move(32, 24);

    txUpdateFileName = new QLabel(this);
    txUpdateFileName->setObjectName("txUpdateFileName");
    txUpdateFileName->setGeometry(80, 24, 606 - 80 - 8, Label1->sizeHint().height());

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setGeometry(32, 56, 545, 17);
    ProgressBar1->setMinimum(0);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    bnClose = new QPushButton("please wait", this);
    bnClose->setObjectName("bnClose");
    bnClose->setGeometry(256, 104, 75, 25);
    connect(bnClose, &QPushButton::clicked, this, &TFlasherForm::bnCloseClick);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(kCloseDelayMs);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &TFlasherForm::Timer1Timer);
}

void TFlasherForm::FormCreate() {
    bnClose->setEnabled(false);
}

void TFlasherForm::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        QueueRun();
    }
}

void TFlasherForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Activation may never come (focus-stealing prevention, some compositors): being shown
    // is enough to start.
    QueueRun();
}

void TFlasherForm::QueueRun() {
    if (runQueued_ || started_) {
        return;
    }
    runQueued_ = true;
    // Run from the event loop rather than inside the event's own delivery, so the window is
    // fully shown before the first block.
    QMetaObject::invokeMethod(this, &TFlasherForm::FormActivate, Qt::QueuedConnection);
}

void TFlasherForm::FormActivate() {
    if (started_) {
        return;
    }
    started_ = true;
    running_ = true;
    txUpdateFileName->setText(FileName);

    // The run leaves the adapter's update mode after every run, also after a failure, and
    // before the outcome is shown: a finish command that does not reach the adapter fails it.
    const firmware::UpdateRunner run =
        RunUpdate ? RunUpdate : firmware::DirectUpdateRunner(nullptr);
    const firmware::UpdateOutcome outcome =
        run(QFile::encodeName(FileName).toStdString(), Image, [this](int block) {
            // Only a good start reaches the blocks; the bar's range is set then.
            if (block == 0) {
                ProgressBar1->setMaximum(firmware::kBlockCount - 1);
            }
            QCoreApplication::processEvents();
            ProgressBar1->setValue(block);
        });
    resultCode_ = outcome.WindowCode();
    if (!outcome.Succeeded()) {
        bnClose->setText("close");
        dialogs_.ShowMessage(this, QString::fromStdString(outcome.Message));
    } else {
        bnClose->setText("ready");
        Timer1->start();
    }
    bnClose->setEnabled(true);
    running_ = false;
    finished_ = true;
}

void TFlasherForm::closeEvent(QCloseEvent* event) {
    if (running_) {
        event->ignore();  // an update cut short could leave the adapter without firmware
        return;
    }
    QDialog::closeEvent(event);
}

void TFlasherForm::reject() {
    if (!running_) {
        QDialog::reject();
    }
}

void TFlasherForm::bnCloseClick() {
    close();
}

void TFlasherForm::Timer1Timer() {
    Timer1->stop();
    close();
}

}  // namespace quillon
