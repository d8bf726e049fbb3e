#include <QDateTime>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTreeWidget>

#include "config/FileAccess.h"
#include "device/ProvisionRecords.h"
#include "firmware/FirmwareImage.h"
#include "station/StationTile.h"
#include "station/StationWindow.h"

// The station window's side of the jobs: the tiles, the shift's counts and the records.

namespace quillon::station {
namespace {

// The bar's length for a plan: one unit per update block, two for writing and reading back.
int JobUnits(const ProvisionPlan& plan) {
    return (plan.FirmwareFile.empty() ? 0 : firmware::kBlockCount) +
           (plan.WritesSettings() ? 2 : 0);
}

QString SecondsText(std::chrono::milliseconds took) {
    return QString::number(static_cast<double>(took.count()) / 1000, 'f', 1);
}

}  // namespace

TStationTile* TStationWindow::Tile(const QString& port) const {
    const auto found = tiles_.find(port);
    return found == tiles_.end() ? nullptr : found->second;
}

TStationTile* TStationWindow::TileFor(const QString& port) {
    if (TStationTile* tile = Tile(port)) {
        return tile;
    }
    auto* tile = new TStationTile(port, tileGrid_->parentWidget());
    tiles_[port] = tile;
    tileOrder_.push_back(tile);
    tileColumns_ = 0;  // laid out anew
    LayoutTiles();
    return tile;
}

void TStationWindow::LayoutTiles() {
    // At least room for a port, the adapter's identity and a few words of a reason on each
    // line; the width left over is shared among the tiles of a row.
    const int least = fontMetrics().averageCharWidth() * 30;
    const int spacing = tileGrid_->spacing();
    const int width = tilesArea_->viewport()->width() - tileGrid_->contentsMargins().left() -
                      tileGrid_->contentsMargins().right();
    const int columns = std::max(1, (width + spacing) / (least + spacing));
    const int tileWidth = std::max(least, (width + spacing) / columns - spacing);
    if (columns == tileColumns_ && tileWidth == tileWidth_) {
        return;
    }
    tileColumns_ = columns;
    tileWidth_ = tileWidth;
    for (TStationTile* tile : tileOrder_) {
        tileGrid_->removeWidget(tile);
    }
    for (size_t i = 0; i < tileOrder_.size(); ++i) {
        TStationTile* tile = tileOrder_[i];
        tile->setFixedWidth(tileWidth);
        tileGrid_->addWidget(tile, static_cast<int>(i) / columns, static_cast<int>(i) % columns);
        tile->show();
    }
    // The room left over goes below and beside the tiles, not into them.
    const int rows = (static_cast<int>(tileOrder_.size()) + columns - 1) / columns;
    for (int row = 0; row < tileGrid_->rowCount(); ++row) {
        tileGrid_->setRowStretch(row, row == rows ? 1 : 0);
    }
    for (int column = 0; column < tileGrid_->columnCount(); ++column) {
        tileGrid_->setColumnStretch(column, column == columns ? 1 : 0);
    }
    tileGrid_->setRowStretch(rows, 1);
    tileGrid_->setColumnStretch(columns, 1);
}

bool TStationWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tilesArea_->viewport() && event->type() == QEvent::Resize) {
        LayoutTiles();
    }
    return QMainWindow::eventFilter(watched, event);
}

void TStationWindow::OnJobStarted(const THidPnPInfo& info, const HidIdentity& identity) {
    const QString port = PortOf(info);
    jobPorts_[info.InterfacePath] = port;
    TStationTile* tile = TileFor(port);
    tile->BeginJob(QString::fromStdString(info.InterfacePath), identity, JobUnits(plan_));
    tilesArea_->ensureWidgetVisible(tile);
}

void TStationWindow::OnJobsProgressed(const std::vector<LiveJob>& jobs) {
    const bool updates = !plan_.FirmwareFile.empty();
    for (const LiveJob& job : jobs) {
        if (const auto port = jobPorts_.find(job.Path); port != jobPorts_.end()) {
            TileFor(port->second)->ShowProgress(job, updates);
        }
    }
}

void TStationWindow::OnJobFinished(const ProvisionRecord& record, const QString& notKept) {
    QString port = QString::fromStdString(record.Path);
    if (const auto found = jobPorts_.find(record.Path); found != jobPorts_.end()) {
        port = found->second;
        jobPorts_.erase(found);
    }
    TileFor(port)->ShowResult(record);
    tally_.Count(record.Passed);
    finished_.push_back({record, plan_.FirmwareFile, plan_.FirmwareChecksum});
    ShowCounts();

    AddRecordLine(record.Started, port, record.Passed, QString::fromStdString(record.Reason),
                  record.Took);

    if (!notKept.isEmpty()) {
        ShowStatus(notKept);
    }
}

void TStationWindow::AddRecordLine(std::chrono::system_clock::time_point started,
                                   const QString& port, bool passed, const QString& reason,
                                   std::chrono::milliseconds took) {
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::milliseconds>(started.time_since_epoch()).count());
    auto* item = new QTreeWidgetItem(
        {at.toString("HH:mm:ss"), port, passed ? "PASS" : "FAIL", reason, SecondsText(took)});
    item->setForeground(2, passed ? QColor(0x1b, 0x6e, 0x26) : QColor(0xc6, 0x28, 0x28));
    item->setToolTip(3, reason);
    recordList_->insertTopLevelItem(0, item);
}

void TStationWindow::SetRecords(const QString& location, const QString& defaultFile) {
    recordsLocation_ = location;
    recordsFile_ = defaultFile;
    // The last records the station's file keeps, so that a station started again shows what
    // it did before; only looked at, the file is opened for writing at Start.
    const std::string local = records::IsServerUrl(location.toStdString())
                                  ? defaultFile.toStdString()
                                  : (location.isEmpty() ? defaultFile : location).toStdString();
    auto store = records::OpenRecordStore(local);
    if (!store) {
        return;  // told at Start, where it stops the station
    }
    records::RecordFilter last;
    last.Limit = 50;
    const auto kept = (*store)->Query(last);
    if (!kept) {
        return;
    }
    recordList_->clear();
    for (auto record = kept->rbegin(); record != kept->rend(); ++record) {
        AddRecordLine(
            record->Time,
            QString::fromStdString(record->UsbPort.empty() ? record->Node : record->UsbPort),
            record->Passed, QString::fromStdString(record->Reason), record->Took);
    }
}

// The records are opened once, at the first Start, and kept open while the window lives: a
// line's server then hears from this station for the whole shift.
bool TStationWindow::OpenRecords() {
    if (records_ != nullptr) {
        return true;
    }
    auto opened = OpenProvisionRecords(
        recordsLocation_.toStdString(), recordsFile_.toStdString(),
        [this](const records::ForwarderStatus& status) {
            // Heard on the forwarder's thread; told on the window's.
            QMetaObject::invokeMethod(
                this,
                [this, status] {
                    if (const auto notice = records::StatusNotice(recordsStatus_, status)) {
                        ShowStatus(QString::fromStdString(*notice));
                    }
                    recordsStatus_ = status;
                },
                Qt::QueuedConnection);
        });
    if (!opened) {
        dialogs_.ShowMessage(this, QString::fromStdString(opened.Error().Message));
        return false;
    }
    records_ = std::move(*opened);
    return true;
}

std::string TStationWindow::KeepRecord(const ProvisionRecord& record) {
    static const std::string station = records::DefaultStationName();
    std::string problems;
    if (auto kept = records_->Append(ToStationRecord(record, plan_, station, programVersion_));
        !kept) {
        problems = "the record of " + record.Path + " was not kept: " + kept.Error().Message;
    }
    std::string error;
    if (log_.IsOpen() && !log_.Append(record, plan_.FirmwareFile, plan_.FirmwareChecksum, error)) {
        problems += (problems.empty() ? "" : "; ") + std::string("unable to write the log file ") +
                    logPath_.toStdString() + ": " + error;
    }
    return problems;
}

void TStationWindow::ShowCounts() {
    lbPassed->setText(QString::number(tally_.Passed()));
    lbFailed->setText(QString::number(tally_.Failed()));
    const auto yield = tally_.YieldPercent();
    lbYield->setText(yield ? QString::number(*yield, 'f', 1) + " %" : QString("-"));
    const auto perHour = tally_.PerHour(ShiftTally::Clock::now());
    lbPerHour->setText(perHour ? QString::number(*perHour, 'f', 0) : QString("-"));
}

void TStationWindow::bnSaveRecordsClick() {
    IUserDialogs::FileDialogOptions options;
    options.title = "Save records";
    options.filter = "CSV File *.csv|*.csv|All Files *.*|*.*";
    options.defaultSuffix = "csv";
    options.confirmOverwrite = true;
    const QString path = dialogs_.GetSaveFileName(this, options);
    if (path.isEmpty()) {
        return;
    }
    // The command-line tool's log, oldest first, as one file.
    std::string text = ProvisionLog::HeaderLine();
    for (const Finished& done : finished_) {
        text += ProvisionLog::RecordLine(done.Record, done.FirmwareFile, done.FirmwareChecksum);
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    if (!file_access::WriteWholeFile(path.toStdString(), {bytes, text.size()})) {
        dialogs_.ShowMessage(this, "unable to create file: " + path);
        return;
    }
    ShowStatus(QString("%1 record(s) saved to %2").arg(finished_.size()).arg(path));
}

}  // namespace quillon::station
