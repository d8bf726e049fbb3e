#include <QPushButton>

#include "app/MainForm.h"

// The settings page's two commands that talk to the adapter: Apply and Read Config.

namespace quillon {

void TMainForm::bnApplyClick() {
    CollectDeviceSettings();
    WriteDeviceReport(SettingsReportId);
    if (LastTransferOk) {
        bnApply->setEnabled(false);
        SetStatusText("Device-Settings updated");
    } else {
        // The changes are still to be applied: Apply stays available for another try.
        bnApply->setEnabled(true);
        SetStatusText(AdapterBusy ? AdapterBusyMessage() : QString("Device-Settings not written"));
    }
}

void TMainForm::miReadConfigClick() {
    ReadDeviceReport(SettingsReportId);
    if (!LastTransferOk) {
        // The buffer holds no record of the adapter's; the page keeps what it showed.
        SetStatusText("Device settings could not be read");
        return;
    }
    ShowDeviceSettings(false);
    SetStatusText("Device settings");
}

}  // namespace quillon
