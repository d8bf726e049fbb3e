#include "station/StationWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "config/SettingsAssignment.h"
#include "config/ui/SettingsPage.h"
#include "config/ui/SettingsTransfer.h"
#include "device/ProvisionJob.h"
#include "device/ProvisionLog.h"
#include "device/SettingsRecord.h"
#include "station/StationRunner.h"
#include "station/StationTile.h"
#include "ui/RadioGroup.h"

// The station window's construction, its plan and the run's beginning and end.

namespace quillon::station {
namespace {

// The order of the settings choices in rgSettings.
constexpr int kNoSettings = 0;
constexpr int kConfigFileSettings = 1;
constexpr int kEditedSettings = 2;

// The settings page reads and writes the adapter in use; as the plan's editor it has none.
class NoAdapter final : public ISettingsTransfer {
  public:
    TransferResult ReadSettings() override { return {}; }
    TransferResult WriteSettings() override { return {}; }
};

// The page asks before "Clear data after transmited" is switched on. In the plan that question
// is asked once, at Start, for the whole run, so the page's own is answered yes here.
class ConfirmedAtStart final : public IUserDialogs {
  public:
    explicit ConfirmedAtStart(IUserDialogs& dialogs) : dialogs_(dialogs) {}
    void ShowMessage(QWidget* parent, const QString& text) override {
        dialogs_.ShowMessage(parent, text);
    }
    bool Confirm(QWidget*, const QString&) override { return true; }
    QString GetOpenFileName(QWidget* parent, const FileDialogOptions& options) override {
        return dialogs_.GetOpenFileName(parent, options);
    }
    QString GetSaveFileName(QWidget* parent, const FileDialogOptions& options) override {
        return dialogs_.GetSaveFileName(parent, options);
    }

  private:
    IUserDialogs& dialogs_;
};

QString ToQString(const std::string& text) {
    return QString::fromStdString(text);
}

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

// A choice of the plan as checked, or why it was refused, in red.
void ShowChoice(QLabel* label, const QString& text) {
    label->setStyleSheet({});
    label->setText(text);
}
void ShowRefusal(QLabel* label, const QString& text) {
    label->setStyleSheet("color: #c62828");
    label->setText(text);
}

// The settings that the page's controls give, as the log names them.
QString SettingsWords(const SettingsControlValues& values) {
    return ToQString(SettingsText(values));
}

}  // namespace

QString TStationWindow::PortOf(const THidPnPInfo& info) {
    // The adapter's location (its USB port) where the system tells it, else the node.
    return ToQString(info.Location.empty() ? info.InterfacePath : info.Location);
}

TStationWindow::TStationWindow(IHidPlatform& platform, IUserDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent),
      dialogs_(dialogs),
      pageDialogs_(std::make_unique<ConfirmedAtStart>(dialogs)),
      noAdapter_(std::make_unique<NoAdapter>()),
      runner_(new TStationRunner(platform, this)) {
    setObjectName("StationWindow");
    setWindowTitle("Morvane Quillon - Station");

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* top = new QHBoxLayout;
    top->addWidget(CreatePlan(), 1);
    top->addLayout(CreateButtons());
    layout->addLayout(top);

    tilesArea_ = Named(new QScrollArea(central), "saTiles");
    tilesArea_->setWidgetResizable(true);
    auto* tiles = new QWidget(tilesArea_);
    tileGrid_ = new QGridLayout(tiles);
    tilesArea_->setWidget(tiles);
    tilesArea_->viewport()->installEventFilter(this);

    // Most of the width for the tiles: at 1366 pixels four of them side by side.
    auto* below = new QHBoxLayout;
    below->addWidget(tilesArea_, 5);
    below->addWidget(CreateShift(), 2);
    layout->addLayout(below, 1);
    setCentralWidget(central);

    countsTimer_ = new QTimer(this);
    countsTimer_->setInterval(1000);
    connect(countsTimer_, &QTimer::timeout, this, &TStationWindow::ShowCounts);
    ConnectRunner();
    ShowSettingsSource();
    ShowCounts();
    ShowStatus("Choose the plan, then Start (F5)");
}

TStationWindow::~TStationWindow() {
    // The runner ends its thread before the tiles it reports to go, and the tiles' area stops
    // reporting its size to a window that is being taken down.
    delete runner_;
    tilesArea_->viewport()->removeEventFilter(this);
}

QGroupBox* TStationWindow::CreatePlan() {
    planBox_ = Named(new QGroupBox("Plan", this), "gbPlan");
    auto* grid = new QGridLayout(planBox_);

    lbFirmware = Named(new QLabel(planBox_), "lbFirmware");
    lbFirmware->setTextFormat(Qt::PlainText);
    lbFirmware->setWordWrap(true);
    lbFirmware->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bnFirmware = Named(new QPushButton("&Firmware...", planBox_), "bnFirmware");
    bnNoFirmware = Named(new QPushButton("&No update", planBox_), "bnNoFirmware");
    grid->addWidget(new QLabel("Firmware:", planBox_), 0, 0);
    grid->addWidget(lbFirmware, 0, 1);
    grid->addWidget(bnFirmware, 0, 2);
    grid->addWidget(bnNoFirmware, 0, 3);

    rgSettings = Named(
        new TRadioGroup("Settings", {"keep the adapter's", "configuration file", "these settings"},
                        3, planBox_),
        "rgSettings");
    rgSettings->SetItemIndex(kNoSettings);
    lbConfigFile = Named(new QLabel(planBox_), "lbConfigFile");
    lbConfigFile->setTextFormat(Qt::PlainText);
    lbConfigFile->setWordWrap(true);
    lbConfigFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bnConfigFile = Named(new QPushButton("&Configuration file...", planBox_), "bnConfigFile");
    grid->addWidget(rgSettings, 1, 0, 1, 2);
    grid->addWidget(lbConfigFile, 2, 1);
    grid->addWidget(bnConfigFile, 1, 2, 1, 2, Qt::AlignBottom);

    // The settings page's own controls and rules; what they hold goes to every adapter.
    pageBuffer_[DeviceSettings::ReportId] = SettingsReportId;
    EncodeSettings(SettingsControlValues{}, pageBuffer_);
    tsSettings = new TSettingsPage(pageBuffer_, *noAdapter_, *pageDialogs_, planBox_);
    tsSettings->HideAdapterControls();
    tsSettings->ShowDeviceSettings(false);
    lbSettingsSummary = Named(new QLabel(planBox_), "lbSettingsSummary");
    lbSettingsSummary->setWordWrap(true);
    grid->addWidget(tsSettings, 3, 0, 1, 4);
    grid->addWidget(lbSettingsSummary, 4, 1, 1, 3);

    cbAllPresent =
        Named(new QCheckBox("Take the adapters already &plugged in", planBox_), "cbAllPresent");
    grid->addWidget(cbAllPresent, 5, 0, 1, 4);
    grid->setColumnStretch(1, 1);

    connect(bnFirmware, &QPushButton::clicked, this, &TStationWindow::bnFirmwareClick);
    connect(bnNoFirmware, &QPushButton::clicked, this, &TStationWindow::bnNoFirmwareClick);
    connect(bnConfigFile, &QPushButton::clicked, this, &TStationWindow::bnConfigFileClick);
    connect(rgSettings, &TRadioGroup::ItemIndexChanged, this, &TStationWindow::ShowSettingsSource);
    bnNoFirmwareClick();
    return planBox_;
}

// Outside the plan, which is locked while the station runs.
QLayout* TStationWindow::CreateButtons() {
    QFont large = font();
    large.setBold(true);
    large.setPointSizeF(font().pointSizeF() * 1.4);
    bnStart = Named(new QPushButton("&Start  (F5)", this), "bnStart");
    bnStart->setShortcut(QKeySequence(Qt::Key_F5));
    bnStop = Named(new QPushButton("S&top  (Esc)", this), "bnStop");
    bnStop->setShortcut(QKeySequence(Qt::Key_Escape));
    bnStop->setEnabled(false);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {bnStart, bnStop}) {
        button->setFont(large);
        button->setMinimumHeight(button->sizeHint().height() * 2);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    connect(bnStart, &QPushButton::clicked, this, &TStationWindow::bnStartClick);
    connect(bnStop, &QPushButton::clicked, this, &TStationWindow::bnStopClick);
    return buttons;
}

QWidget* TStationWindow::CreateShift() {
    auto* shift = Named(new QGroupBox("Shift since Start", this), "gbShift");
    auto* counts = new QGridLayout;
    QFont large = font();
    large.setBold(true);
    large.setPointSizeF(font().pointSizeF() * 1.6);
    const auto count = [&](const char* name, const QString& caption, int column) {
        auto* value = Named(new QLabel(shift), name);
        value->setFont(large);
        counts->addWidget(new QLabel(caption, shift), 0, column);
        counts->addWidget(value, 1, column);
        return value;
    };
    lbPassed = count("lbPassed", "Passed", 0);
    lbFailed = count("lbFailed", "Failed", 1);
    lbYield = count("lbYield", "Yield", 2);
    lbPerHour = count("lbPerHour", "Per hour", 3);

    recordList_ = Named(new QTreeWidget(shift), "twRecords");
    recordList_->setRootIsDecorated(false);
    recordList_->setUniformRowHeights(true);
    recordList_->setHeaderLabels({"Time", "Port", "Result", "Reason", "Seconds"});
    recordList_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    recordList_->header()->setStretchLastSection(false);
    recordList_->header()->setSectionResizeMode(3, QHeaderView::Stretch);
    bnSaveRecords = Named(new QPushButton("Sa&ve records as CSV...", shift), "bnSaveRecords");
    connect(bnSaveRecords, &QPushButton::clicked, this, &TStationWindow::bnSaveRecordsClick);

    auto* layout = new QVBoxLayout(shift);
    layout->addLayout(counts);
    layout->addWidget(recordList_, 1);
    layout->addWidget(bnSaveRecords, 0, Qt::AlignRight);
    return shift;
}

void TStationWindow::ConnectRunner() {
    connect(runner_, &TStationRunner::JobStarted, this, &TStationWindow::OnJobStarted);
    connect(runner_, &TStationRunner::JobsProgressed, this, &TStationWindow::OnJobsProgressed);
    connect(runner_, &TStationRunner::JobFinished, this, &TStationWindow::OnJobFinished);
    connect(runner_, &TStationRunner::Ended, this, &TStationWindow::OnEnded);
}

bool TStationWindow::Running() const {
    return runner_->Running();
}

void TStationWindow::ChooseFirmwareFile(const QString& path) {
    firmwarePath_ = path;
    lbFirmware->setToolTip(path);
    const auto facts = CheckFirmwareFile(path.toStdString());
    if (!facts) {
        ShowRefusal(lbFirmware, ToQString(facts.Error().Message));
        return;
    }
    ShowChoice(lbFirmware, QString("%1, %2 bytes, CRC-32 %3")
                               .arg(ToQString(facts->Name))
                               .arg(facts->Size)
                               .arg(ToQString(facts->Crc32)));
}

void TStationWindow::bnFirmwareClick() {
    IUserDialogs::FileDialogOptions options;
    options.filter = "Update File (intel)|*.hex|All|*.*";
    const QString path = dialogs_.GetOpenFileName(this, options);
    if (!path.isEmpty()) {
        ChooseFirmwareFile(path);
    }
}

void TStationWindow::bnNoFirmwareClick() {
    firmwarePath_.clear();
    ShowChoice(lbFirmware, "no update: the adapters keep their firmware");
    lbFirmware->setToolTip({});
}

void TStationWindow::ChooseConfigFile(const QString& path) {
    configPath_ = path;
    rgSettings->SetItemIndex(kConfigFileSettings);
    lbConfigFile->setToolTip(path);
    const auto file = CheckSettingsFile(path.toStdString());
    if (!file) {
        ShowRefusal(lbConfigFile, ToQString(file.Error().Message));
        return;
    }
    ReportBuffer record{};
    ShowChoice(lbConfigFile,
               QFileInfo(path).fileName() + ": " + SettingsWords(LaySettingsFile(*file, record)));
}

void TStationWindow::bnConfigFileClick() {
    IUserDialogs::FileDialogOptions options;
    options.filter = "Config File *.cfg|*.cfg|All Files *.*|*.*";
    options.defaultSuffix = "cfg";
    const QString path = dialogs_.GetOpenFileName(this, options);
    if (!path.isEmpty()) {
        ChooseConfigFile(path);
    }
}

void TStationWindow::SetTakeAdaptersPresent(bool take) {
    cbAllPresent->setChecked(take);
}

void TStationWindow::ShowSettingsSource() {
    const int source = rgSettings->ItemIndex();
    const bool locked = !planBox_->isEnabled();
    lbConfigFile->setVisible(source == kConfigFileSettings);
    bnConfigFile->setEnabled(source == kConfigFileSettings);
    if (source == kConfigFileSettings && configPath_.isEmpty()) {
        ShowChoice(lbConfigFile, "no configuration file chosen");
    }
    // While the plan is locked its settings are a line of text, which leaves the tiles room.
    tsSettings->setVisible(source == kEditedSettings && !locked);
    lbSettingsSummary->setVisible(source == kEditedSettings && locked);
}

PlanChoices TStationWindow::Choices() const {
    PlanChoices choices;
    choices.FirmwareFile = firmwarePath_.toStdString();
    switch (rgSettings->ItemIndex()) {
        case kConfigFileSettings:
            choices.Settings = SettingsSource::ConfigFile;
            choices.ConfigFile = configPath_.toStdString();
            break;
        case kEditedSettings:
            choices.Settings = SettingsSource::Edited;
            choices.Edited = tsSettings->SettingsFromControls();
            break;
        default:
            break;
    }
    return choices;
}

void TStationWindow::LockPlan(bool locked) {
    planBox_->setEnabled(!locked);
    bnStart->setEnabled(!locked);
    bnStop->setEnabled(locked);
    if (locked) {
        lbSettingsSummary->setText(SettingsWords(tsSettings->SettingsFromControls()));
    }
    ShowSettingsSource();
}

void TStationWindow::bnStartClick() {
    if (Running()) {
        return;
    }
    // Every input is checked before any adapter is touched; nothing starts on a refusal.
    auto checked = CheckStationPlan(Choices());
    if (!checked) {
        dialogs_.ShowMessage(this, ToQString(checked.Error().Message));
        return;
    }
    if (checked->SwitchesClearDataOn &&
        !dialogs_.Confirm(this, QString::fromUtf8(kClearDataConfirmation.data(),
                                                  kClearDataConfirmation.size()))) {
        return;
    }
    if (!OpenRecords()) {
        return;
    }
    if (!logPath_.isEmpty() && !log_.IsOpen()) {
        std::string error;
        if (!log_.Open(logPath_.toStdString(), error)) {
            dialogs_.ShowMessage(
                this, "unable to write the log file " + logPath_ + ": " + ToQString(error));
            return;
        }
    }
    plan_ = checked->Plan;
    closeWhenEnded_ = false;
    tally_.Begin(ShiftTally::Clock::now());
    ShowCounts();
    countsTimer_->start();
    LockPlan(true);
    programVersion_ = QCoreApplication::applicationVersion().toStdString();
    // The station's files are written on its own thread, which alone touches them while it
    // runs.
    runner_->Start(plan_, cbAllPresent->isChecked(),
                   [this](const ProvisionRecord& record) { return KeepRecord(record); });
    ShowStatus(cbAllPresent->isChecked() ? "Running: the adapters plugged in are provisioned"
                                         : "Running: waiting for adapters to be plugged in");
}

// The first Stop lets the jobs in progress finish; the next one, while they still run, asks
// and then ends them at once.
void TStationWindow::bnStopClick() {
    if (!Running()) {
        return;
    }
    if (!runner_->Stopping()) {
        runner_->Stop();
        ShowStatus(jobPorts_.empty()
                       ? "Stopping"
                       : QString("Stopping: the %1 adapter(s) in progress are finished first; "
                                 "Stop again to end them at once")
                             .arg(jobPorts_.size()));
        return;
    }
    if (!jobPorts_.empty() && AskToStopAtOnce()) {
        runner_->StopNow();
        ShowStatus("Stopping at once");
    }
}

bool TStationWindow::AskToStopAtOnce() {
    return dialogs_.Confirm(
        this, QString("%1 adapter(s) are still in progress. Stop them at once? Each of them "
                      "fails, and an adapter stopped during its update needs a new one.")
                  .arg(jobPorts_.size()));
}

void TStationWindow::closeEvent(QCloseEvent* event) {
    if (!Running()) {
        event->accept();
        return;
    }
    // The window goes only once the station's thread has ended, which a job in progress must
    // not be left running by.
    event->ignore();
    if (jobPorts_.empty()) {
        runner_->Stop();
    } else if (AskToStopAtOnce()) {
        runner_->StopNow();
    } else {
        return;
    }
    closeWhenEnded_ = true;
    ShowStatus("Closing once the station has stopped");
}

void TStationWindow::OnEnded() {
    countsTimer_->stop();
    ShowCounts();
    LockPlan(false);
    ShowStatus(QString("Stopped: %1 passed, %2 failed").arg(tally_.Passed()).arg(tally_.Failed()));
    if (closeWhenEnded_) {
        close();
    }
}

void TStationWindow::ShowStatus(const QString& text) {
    statusBar()->showMessage(text);
}

}  // namespace quillon::station
