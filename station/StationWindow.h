#pragma once

#include <QMainWindow>
#include <QString>
#include <chrono>
#include <map>
#include <memory>
#include <vector>

#include "config/DeviceSettings.h"
#include "device/ProvisionLog.h"
#include "device/ProvisionPlan.h"
#include "device/ProvisionStation.h"
#include "device/records/StationRecords.h"
#include "hid/HidPlatform.h"
#include "station/StationPlan.h"
#include "ui/UserDialogs.h"

class QGridLayout;
class QLayout;
class QScrollArea;
class QGroupBox;
class QLabel;
class QPushButton;
class QCheckBox;
class QTimer;
class QTreeWidget;

namespace quillon {
class TRadioGroup;
class TSettingsPage;
class ISettingsTransfer;
}  // namespace quillon

namespace quillon::station {

class TStationRunner;
class TStationTile;

// The provisioning station's window: the plan at the top (update file, settings, whether the
// adapters already plugged in count), one tile per USB port below it, the shift's counts and the
// finished records beside them. Start checks the plan once and locks it; the station then runs
// on threads of its own and this window only shows what it reports.
class TStationWindow : public QMainWindow {
    Q_OBJECT

  public:
    // What names a tile: the adapter's position on the bus, which stays when an adapter is
    // replaced by the next one.
    static QString PortOf(const THidPnPInfo& info);

    TStationWindow(IHidPlatform& platform, IUserDialogs& dialogs, QWidget* parent = nullptr);
    ~TStationWindow() override;

    // The plan as the command line gives it; each is checked and shown as a choice in the
    // window would be.
    void ChooseFirmwareFile(const QString& path);
    void ChooseConfigFile(const QString& path);
    void SetTakeAdaptersPresent(bool take);
    // A CSV file that each finished adapter's record is appended to, as the command-line
    // tool's --log does; opened at Start.
    void SetLogFile(const QString& path) { logPath_ = path; }
    // Where every adapter's record is kept, as the command-line tool's --records names it: the
    // station's file (empty: defaultFile, or the user's own when that is empty too), or a
    // line's server that the station's file forwards to. Opened at Start.
    void SetRecords(const QString& location, const QString& defaultFile = {});

    bool Running() const;
    TStationTile* Tile(const QString& port) const;
    int TileCount() const { return static_cast<int>(tiles_.size()); }

    // --- Handlers ----------------------------------------------------------------------------
    void bnFirmwareClick();
    void bnNoFirmwareClick();
    void bnConfigFileClick();
    void bnStartClick();
    void bnStopClick();
    void bnSaveRecordsClick();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // A finished adapter, with what its run's log line names besides the record.
    struct Finished {
        ProvisionRecord Record;
        std::string FirmwareFile;
        std::string FirmwareChecksum;
    };

    QGroupBox* CreatePlan();
    QLayout* CreateButtons();
    QWidget* CreateShift();
    // Places the tiles in their order, as many in a row as the area's width takes.
    void LayoutTiles();
    void ConnectRunner();
    void ShowSettingsSource();
    void LockPlan(bool locked);
    PlanChoices Choices() const;
    bool AskToStopAtOnce();
    void ShowCounts();
    void ShowStatus(const QString& text);
    bool OpenRecords();
    // On the station's thread: the record to the station's records and the log.
    std::string KeepRecord(const ProvisionRecord& record);

    void OnJobStarted(const THidPnPInfo& info, const HidIdentity& identity);
    void OnJobsProgressed(const std::vector<LiveJob>& jobs);
    void OnJobFinished(const ProvisionRecord& record, const QString& notKept);
    void AddRecordLine(std::chrono::system_clock::time_point started, const QString& port,
                       bool passed, const QString& reason, std::chrono::milliseconds took);
    void OnEnded();
    TStationTile* TileFor(const QString& port);

    IUserDialogs& dialogs_;
    std::unique_ptr<IUserDialogs> pageDialogs_;
    std::unique_ptr<ISettingsTransfer> noAdapter_;
    ReportBuffer pageBuffer_{};
    TStationRunner* runner_ = nullptr;

    QString firmwarePath_;
    QString configPath_;
    QString logPath_;
    ProvisionLog log_;
    QString recordsLocation_;
    QString recordsFile_;
    std::unique_ptr<records::StationRecords> records_;
    records::ForwarderStatus recordsStatus_;  // as last told
    ProvisionPlan plan_;                      // the plan of the run in progress or the last one
    std::string programVersion_;
    bool closeWhenEnded_ = false;

    std::map<QString, TStationTile*> tiles_;   // by port
    std::map<std::string, QString> jobPorts_;  // the port of each job's node
    std::vector<Finished> finished_;           // oldest first
    ShiftTally tally_;
    QTimer* countsTimer_ = nullptr;

    QGroupBox* planBox_ = nullptr;
    QLabel* lbFirmware = nullptr;
    QPushButton* bnFirmware = nullptr;
    QPushButton* bnNoFirmware = nullptr;
    TRadioGroup* rgSettings = nullptr;
    QLabel* lbConfigFile = nullptr;
    QPushButton* bnConfigFile = nullptr;
    TSettingsPage* tsSettings = nullptr;
    QLabel* lbSettingsSummary = nullptr;
    QCheckBox* cbAllPresent = nullptr;
    QPushButton* bnStart = nullptr;
    QPushButton* bnStop = nullptr;
    QScrollArea* tilesArea_ = nullptr;
    QGridLayout* tileGrid_ = nullptr;
    std::vector<TStationTile*> tileOrder_;  // as the ports were first used
    int tileColumns_ = 0;
    int tileWidth_ = 0;
    QLabel* lbPassed = nullptr;
    QLabel* lbFailed = nullptr;
    QLabel* lbYield = nullptr;
    QLabel* lbPerHour = nullptr;
    QTreeWidget* recordList_ = nullptr;
    QPushButton* bnSaveRecords = nullptr;
};

}  // namespace quillon::station
