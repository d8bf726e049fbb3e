#include <QAction>
#include <QStackedWidget>
#include <optional>

#include "app/MainForm.h"
#include "config/ui/SettingsPage.h"
#include "device/FirmwareUpdate.h"
#include "device/ListedAdapter.h"
#include "device/ReportText.h"
#include "device/ui/DeviceList.h"
#include "device/ui/RawReportPage.h"
#include "device/ui/ReportExchange.h"
#include "firmware/ui/FlasherForm.h"
#include "hid/HidDevice.h"
#include "hid/HidDeviceController.h"
#include "info/ui/InfoBox.h"

// The window's wiring: the menu and the status line to the pages, the pages to the device
// list, and the state of the window after each rebuild of the list; the child windows that
// borrow the selected device.

namespace quillon {

namespace {

QString AdapterBusyMessage() {
    return QString::fromUtf8(kAdapterBusyText.data(),
                             static_cast<qsizetype>(kAdapterBusyText.size()));
}

}  // namespace

void TMainForm::ConnectPages() {
    connect(miLoadConfig, &QAction::triggered, tsMain, &TSettingsPage::miLoadConfigClick);
    connect(miSaveConfig, &QAction::triggered, tsMain, &TSettingsPage::miSaveConfigClick);
    connect(miReadConfig, &QAction::triggered, tsMain, &TSettingsPage::miReadConfigClick);
    connect(tsMain, &TSettingsPage::StatusTextChanged, this, &TMainForm::SetStatusText);
    connect(tsMain, &TSettingsPage::ConfigFileChosen, this, &TMainForm::WriteCfgPath);
    connect(tsSpecial, &TRawReportPage::StatusTextChanged, this, &TMainForm::SetStatusText);
    connect(Devices, &TDeviceList::ListEmptied, this, &TMainForm::DeviceListEmptied);
    connect(Devices, &TDeviceList::ListRebuilt, this, &TMainForm::DeviceListRebuilt);
}

void TMainForm::ConnectHidController() {
    THidDeviceController* controller = Devices->Controller();
    controller->SetOnDeviceData(MakeHandler<&TRawReportPage::ShowRead>(tsSpecial));
    controller->SetOnDeviceDataError(
        MakeHandler<&TRawReportPage::HidCtlDeviceDataError>(tsSpecial));
}

void TMainForm::DeviceListEmptied() {
    Exchange->ForgetCurrentDevice();
    tsSpecial->ClearHistory();
    tsMain->HideAccessProblem();
}

void TMainForm::EnableDeviceCommands(bool enabled) {
    for (QAction* item : {miUpdate, miLoadConfig, miSaveConfig, miReadConfig}) {
        item->setEnabled(enabled);
    }
}

void TMainForm::DeviceListRebuilt() {
    const bool listed = Devices->Count() > 0;
    EnableDeviceCommands(listed);
    if (!listed) {
        PageControl->setCurrentWidget(tsWellcome);
        tsMain->DisableApply();
        return;
    }
    tsSpecial->DevListBox1Click();
    PageControl->setCurrentWidget(tsMain);

    THidDevice* device = Devices->SelectedDevice();
    if (device != nullptr && !device->CanReadWrite()) {
        tsMain->ShowAccessProblem(QString::fromStdString(AccessProblemText(*device)));
        // Without the adapter's record there is nothing to save, load into or apply.
        EnableDeviceCommands(false);
        tsMain->DisableApply();
        SetStatusText(QString::fromStdString(AccessProblemSummary(*device)));
        return;
    }
    tsMain->ReadSettingsAtListing(StartupConfigFile(),
                                  StartupConfigGiven ? QString() : ReadCfgPath());
}

void TMainForm::miInfoClick() {
    TInfoBox box(this, Devices->SelectedDevice());
    Devices->ShowChildModally(box);
}

void TMainForm::UpdateFirmwareFrom(const QString& fileName) {
    if (!Devices->HasSelection()) {
        return;
    }
    {
        // The adapter is held for the whole update: another program writing to it in the
        // middle would leave it half written. One that is writing to it already keeps the
        // update out.
        THidDevice* device = Devices->SelectedDevice();
        std::optional<ListedAdapter> adapter;
        if (device != nullptr) {
            adapter.emplace(*device);
            if (!(*adapter)->Claim()) {
                SetStatusText(AdapterBusyMessage());
                Dialogs.ShowMessage(this, AdapterBusyMessage());
                return;
            }
        }
        TFlasherForm flasher(this, Dialogs);
        if (adapter) {
            flasher.RunUpdate = UpdateRunnerFor(**adapter);
        }
        flasher.FileName = fileName;
        Devices->ExecChild(flasher);
    }
    // Given back before a held-back rebuild destroys the device.
    Devices->RunHeldBackRebuild();
}

}  // namespace quillon
