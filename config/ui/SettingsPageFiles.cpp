#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "config/ConfigFile.h"
#include "config/RecordValues.h"
#include "config/ui/SettingsPage.h"

// Configuration files: the Load and Save commands, and the status line's form of a path.

namespace quillon {

namespace {

QString FailureMessage(ConfigFileResult result, const QString& path) {
    return QString::fromStdString(ConfigFileMessage(result, {})) + path;
}

}  // namespace

QString TSettingsPage::ShortenPathForStatus(const QString& path) {
    constexpr int kLongestWhole = 60;
    constexpr int kHead = 23;
    constexpr int kTail = 31;
    if (path.size() <= kLongestWhole) {
        return path;
    }
    return path.left(kHead) + " ... " + path.right(kTail);
}

bool TSettingsPage::LoadConfigFile(const QString& path) {
    const QFileInfo file(path);
    if (!file.exists() || file.isDir()) {
        Dialogs.ShowMessage(window(), FailureMessage(ConfigFileResult::FileNotFound, path));
        return false;
    }
    // The working folder of a later run is another: a relative path would name another file.
    emit ConfigFileChosen(QDir::toNativeSeparators(file.absoluteFilePath()));
    SaveConfigDialog.fileName = path;
    // Keeps the connected adapter's version in byte 1 whatever the file holds there.
    const ConfigFileResult result =
        quillon::LoadConfigFile(QFile::encodeName(path).toStdString(), Buffer);
    if (result != ConfigFileResult::Ok) {
        Dialogs.ShowMessage(window(), FailureMessage(result, path));
        return false;
    }
    ShowDeviceSettings(true);
    // The controls cannot hold such a value: Apply would write what they show instead, so the
    // user is told before pressing it.
    UnshownFileValue.clear();
    if (Buffer[DeviceSettings::ReportId] == SettingsReportId) {
        if (const auto unshowable = FirstUnshowableValue(Buffer)) {
            UnshownFileValue = " - not shown as in the file: " +
                               QString::fromStdString(DescribeUnshowable(*unshowable));
        }
    }
    SetStatusText("Config-File settings (" + ShortenPathForStatus(path) + ")" + UnshownFileValue);
    return true;
}

bool TSettingsPage::SaveConfigFile(const QString& path) {
    CollectDeviceSettings();
    // The same safe save as the command-line tool's: links followed, devices left alone.
    const ConfigFileResult result =
        quillon::SaveConfigFile(QFile::encodeName(path).toStdString(), Buffer);
    if (result != ConfigFileResult::Ok) {
        Dialogs.ShowMessage(window(), FailureMessage(result, path));
        return false;
    }
    return true;
}

void TSettingsPage::miLoadConfigClick() {
    const QString path = Dialogs.GetOpenFileName(window(), OpenConfigDialog);
    if (path.isEmpty()) {
        return;
    }
    OpenConfigDialog.fileName = path;
    const bool loaded = LoadConfigFile(path);
    cbUsedAltKeyClick();
    if (loaded && !SuppressModified && !UnshownFileValue.isEmpty()) {
        SetStatusText("modified" + UnshownFileValue);
    }
}

void TSettingsPage::miSaveConfigClick() {
    const QString path = Dialogs.GetSaveFileName(window(), SaveConfigDialog);
    if (path.isEmpty()) {
        return;
    }
    SaveConfigDialog.fileName = path;
    SaveConfigFile(path);
}

}  // namespace quillon
