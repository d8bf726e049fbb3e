#include <QPushButton>

#include "config/SettingsRules.h"
#include "config/ui/SettingsPage.h"

// The settings page's commands that talk to the adapter: Apply, Read Config, and the reading
// at each listing of an adapter.

namespace quillon {

void TSettingsPage::bnApplyClick() {
    CollectDeviceSettings();
    const TransferResult written = Adapter.WriteSettings();
    if (written.Ok()) {
        bnApply->setEnabled(false);
        SetStatusText(QString::fromUtf8(kSettingsUpdatedText.data(), kSettingsUpdatedText.size()));
    } else {
        // The changes are still to be applied: Apply stays available for another try.
        bnApply->setEnabled(true);
        SetStatusText(written.Outcome == TransferOutcome::AdapterBusy
                          ? QString::fromStdString(written.Reason)
                          : QString("Device-Settings not written"));
    }
}

void TSettingsPage::miReadConfigClick() {
    if (!Adapter.ReadSettings().Ok()) {
        // The buffer holds no record of the adapter's; the page keeps what it showed.
        SetStatusText("Device settings could not be read");
        return;
    }
    ShowDeviceSettings(false);
    SetStatusText("Device settings");
}

void TSettingsPage::ReadSettingsAtListing(const std::optional<QString>& startupConfig,
                                          const QString& rememberedPath) {
    if (startupConfig) {
        // The adapter's own record first: Apply sends its version byte, which the file's
        // never replaces.
        const bool adapterRead = Adapter.ReadSettings().Ok();
        LoadConfigFile(*startupConfig);
        ShowDeviceSettings(adapterRead);
        if (!adapterRead) {
            SetStatusText("Device settings could not be read");
        }
        return;
    }
    OpenConfigDialog.fileName = rememberedPath;
    SaveConfigDialog.fileName = rememberedPath;
    if (Adapter.ReadSettings().Ok()) {
        ShowDeviceSettings(false);
    } else {
        // What the buffer holds is not the adapter's record: the page keeps what it showed.
        bnApply->setEnabled(false);
        SetStatusText("Device settings could not be read");
    }
    SuppressModified = false;
}

}  // namespace quillon
