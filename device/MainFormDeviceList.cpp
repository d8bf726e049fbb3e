#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>

#include "app/MainForm.h"
#include "device/HistoryModel.h"
#include "device/ReportText.h"
#include "firmware/FlasherForm.h"
#include "hid/AccessAdvice.h"
#include "hid/HidDevice.h"
#include "hid/HidDeviceController.h"
#include "hid/HidExclusiveUse.h"
#include "info/InfoBox.h"

// Device discovery and selection: the device list rebuilt at every device change, the device
// in use, the page and menu states that follow from it, and the child windows that borrow it.

namespace quillon {

namespace {

QString Utf8(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

void TMainForm::CreateDeviceLink() {
    History = new THistoryModel(HistoryListBox);
    HistoryListBox->setModel(History);
    HistoryFollower = new THistoryFollower(HistoryListBox, History);

    connect(ReadBtn, &QToolButton::clicked, this, &TMainForm::ReadBtnClick);
    connect(WriteBtn, &QToolButton::clicked, this, &TMainForm::WriteBtnClick);
    connect(ResetBtn, &QPushButton::clicked, this, &TMainForm::ResetBtnClick);
    connect(edInhibitID, &QLineEdit::textChanged, this, &TMainForm::edInhibitIDChange);

    lbAccessAdvice = new QLabel(tsMain);
    lbAccessAdvice->setObjectName("lbAccessAdvice");
    lbAccessAdvice->setWordWrap(true);
    lbAccessAdvice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The install command is meant to be copied into a terminal.
    lbAccessAdvice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbAccessAdvice->hide();
    if (auto* grid = qobject_cast<QGridLayout*>(tsMain->layout())) {
        // In the settings' top row: they are hidden whenever the advice shows.
        grid->addWidget(lbAccessAdvice, 0, 0, 1, grid->columnCount());
    }
}

void TMainForm::ConnectHidController() {
    HidCtl->SetOnEnumerate(MakeHandler<&TMainForm::HidCtlEnumerate>(this));
    HidCtl->SetOnDeviceData(MakeHandler<&TMainForm::ShowRead>(this));
    HidCtl->SetOnDeviceDataError(MakeHandler<&TMainForm::HidCtlDeviceDataError>(this));
    HidCtl->SetOnDeviceChange(MakeHandler<&TMainForm::HidCtlDeviceChange>(this));
}

THidDevice* TMainForm::SelectedDevice() const {
    const int index = cbDevListBox->currentIndex();
    if (index < 0 || index >= static_cast<int>(ListedDevices.size())) {
        return nullptr;
    }
    return ListedDevices[static_cast<size_t>(index)].get();
}

size_t TMainForm::FeatureLength(THidDevice* device) {
    return device == nullptr ? 0
                             : LimitFeatureLength(device->Capabilities().FeatureReportByteLength);
}

void TMainForm::HidCtlDeviceChange(THidDeviceController*) {
    // A child window holds the selected device: rebuilding now would destroy it under the
    // window. The rebuild runs when the window has closed.
    if (ModalChildren > 0) {
        RebuildDeferred = true;
        return;
    }
    RebuildDeviceList();
}

void TMainForm::ReleaseListedDevices() {
    // The list is emptied first: a reader that hands over a last report while its device is
    // being released finds no selected device, and its report is ignored.
    std::vector<std::unique_ptr<THidDevice>> released;
    released.swap(ListedDevices);
    for (auto& device : released) {
        device.reset();
    }
}

void TMainForm::RebuildDeviceList() {
    RebuildDeferred = false;
    CurrentDevice = nullptr;
    ReleaseListedDevices();
    cbDevListBox->clear();
    History->Clear();
    HideAccessProblem();
    if (HidCtl != nullptr) {
        HidCtl->EnumerateDevices();
    }

    const bool listed = cbDevListBox->count() > 0;
    for (QAction* item : {miUpdate, miLoadConfig, miSaveConfig, miReadConfig}) {
        item->setEnabled(listed);
    }
    if (!listed) {
        PageControl->setCurrentWidget(tsWellcome);
        bnApply->setEnabled(false);
        return;
    }
    cbDevListBox->setCurrentIndex(0);
    DevListBox1Click();
    PageControl->setCurrentWidget(tsMain);
    ReadSettingsAtListing();
}

void TMainForm::ReadSettingsAtListing() {
    THidDevice* device = SelectedDevice();
    if (device != nullptr && !device->CanReadWrite()) {
        ShowAccessProblem(device);
        // Without the adapter's record there is nothing to save, load into or apply.
        for (QAction* item : {miUpdate, miLoadConfig, miSaveConfig, miReadConfig}) {
            item->setEnabled(false);
        }
        bnApply->setEnabled(false);
        SetStatusText(IsAccessRefusal(device->OpenError()) ? "No permission to use the adapter"
                                                           : "The adapter cannot be opened");
        return;
    }
    if (StartupConfigGiven) {
        // The adapter's own record first: Apply sends its version byte, which the file's
        // never replaces.
        ReadDeviceReport(SettingsReportId);
        const bool adapterRead = LastTransferOk;
        LoadConfigFile(StartupConfigPath);
        ShowDeviceSettings(adapterRead);
        if (!adapterRead) {
            SetStatusText("Device settings could not be read");
        }
        return;
    }
    OpenConfigDialog.fileName = ReadCfgPath();
    SaveConfigDialog.fileName = ReadCfgPath();
    ReadDeviceReport(SettingsReportId);
    if (LastTransferOk) {
        ShowDeviceSettings(false);
    } else {
        // What the buffer holds is not the adapter's record: the page keeps what it showed.
        bnApply->setEnabled(false);
        SetStatusText("Device settings could not be read");
    }
    SuppressModified = false;
}

bool TMainForm::HidCtlEnumerate(THidDevice* HidDev, int Idx) {
    if (HidDev->Identity.VendorID != SupportedVendorID ||
        HidDev->Identity.ProductID != SupportedProductID) {
        return true;
    }
    const QString product = QString::fromStdU16String(HidDev->ProductString());
    cbDevListBox->addItem(Utf8(DeviceEntryText(product.toStdString(), HidDev->Identity.VendorID,
                                               HidDev->Identity.ProductID)));
    if (!product.isEmpty()) {
        PageControl->setCurrentWidget(tsMain);
    }
    THidDevice* device = nullptr;
    HidCtl->CheckOutAt(device, Idx);
    ListedDevices.emplace_back(device);
    return true;
}

void TMainForm::DevListBox1Click() {
    History->Clear();
    if (ByteEdits.empty() || cbDevListBox->count() == 0 || cbDevListBox->currentIndex() < 0) {
        return;
    }
    for (QLineEdit* edit : ByteEdits) {
        edit->hide();
    }
    const size_t length = FeatureLength(SelectedDevice());
    for (size_t k = 0; k + 1 < length && k < ByteEdits.size(); ++k) {
        ByteEdits[k]->show();
    }
    WriteBtn->setEnabled(length != 0);
}

void TMainForm::ShowAccessProblem(THidDevice* device) {
    const std::string node = device->InterfacePath();
    QString text;
    if (IsAccessRefusal(device->OpenError())) {
        text =
            "This program may not read and write the adapter, so its settings cannot be "
            "shown or changed.\n\n" +
            Utf8(MissingAccessAdvice(node));
    } else {
        text = "The adapter at " + Utf8(node) +
               " cannot be opened for reading and writing: " + Utf8(device->OpenErrorMessage());
    }
    lbAccessAdvice->setText(text.trimmed());
    for (QWidget* control : tsMain->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (control != bnLoad && control != bnSave && control != bnRead) {
            control->setVisible(control == lbAccessAdvice);
        }
    }
}

void TMainForm::HideAccessProblem() {
    if (!lbAccessAdvice->isVisibleTo(tsMain)) {
        return;
    }
    for (QWidget* control : tsMain->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (control != bnLoad && control != bnSave && control != bnRead) {
            control->setVisible(control != lbAccessAdvice);
        }
    }
}

int TMainForm::ShowChildModally(QDialog& child) {
    const int result = ExecChild(child);
    RunHeldBackRebuild();
    return result;
}

int TMainForm::ExecChild(QDialog& child) {
    ++ModalChildren;
    const int result = child.exec();
    --ModalChildren;
    return result;
}

void TMainForm::RunHeldBackRebuild() {
    if (ModalChildren == 0 && RebuildDeferred) {
        // Through the controller, so that the held-back rebuild is guarded as every other one:
        // a change that comes in while it shows a message box waits for it to end.
        if (HidCtl != nullptr) {
            HidCtl->RepeatDeviceChange();
        } else {
            RebuildDeviceList();
        }
    }
}

void TMainForm::miInfoClick() {
    TInfoBox box(this, SelectedDevice());
    ShowChildModally(box);
}

void TMainForm::UpdateFirmwareFrom(const QString& fileName) {
    if (cbDevListBox->count() == 0 || cbDevListBox->currentIndex() < 0) {
        return;
    }
    {
        // The adapter is held for the whole update: another program writing to it in the
        // middle would leave it half written. One that is writing to it already keeps the
        // update out.
        const THidExclusiveUse exclusive(SelectedDevice());
        if (exclusive.Busy()) {
            SetStatusText(AdapterBusyMessage());
            Dialogs.ShowMessage(this, AdapterBusyMessage());
            return;
        }
        TFlasherForm flasher(this, Dialogs);
        flasher.Device = SelectedDevice();
        flasher.FileName = fileName;
        ExecChild(flasher);
    }
    // Given back before a held-back rebuild destroys the device.
    RunHeldBackRebuild();
}

}  // namespace quillon
