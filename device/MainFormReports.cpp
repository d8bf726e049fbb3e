#include <QComboBox>
#include <QLineEdit>
#include <QToolButton>

#include "app/MainForm.h"
#include "device/HistoryModel.h"
#include "device/ReportText.h"
#include "hid/HidDevice.h"
#include "hid/HidDeviceController.h"
#include "hid/HidExclusiveUse.h"

// Report exchange with the adapter in use through ReportBuffer, the raw-report page, the
// reset report and the display of input reports.

namespace quillon {

namespace {

QString Utf8(const std::string& text) {
    return QString::fromStdString(text);
}

// Why the feature transfer that just failed on this thread failed, in the system's words.
std::string TransferFailure(THidDevice* device, bool busy = false) {
    if (device == nullptr) {
        return "no device";
    }
    if (busy) {
        return std::string(AdapterBusyText);
    }
    IHidPlatform& platform = device->Platform();
    return CleanSystemMessage(platform.ErrorMessage(platform.LastError()));
}

}  // namespace

QString TMainForm::AdapterBusyMessage() {
    return QString::fromUtf8(AdapterBusyText.data(),
                             static_cast<qsizetype>(AdapterBusyText.size()));
}

bool TMainForm::DeviceGetFeature(THidDevice* device, uint8_t* buffer, size_t length) {
    return device != nullptr && device->GetFeatureReport(buffer, length);
}

bool TMainForm::DeviceSetFeature(THidDevice* device, const uint8_t* buffer, size_t length) {
    AdapterBusy = false;
    if (device == nullptr) {
        return false;
    }
    // Held for this write only, so that another program may still read the adapter while the
    // window is open; one that is writing to it keeps this write out.
    const THidExclusiveUse exclusive(device);
    if (exclusive.Busy()) {
        AdapterBusy = true;
        return false;
    }
    return device->SetFeatureReport(buffer, length);
}

bool TMainForm::ReadDeviceReport(uint8_t reportId) {
    CurrentDevice = nullptr;
    LastTransferOk = false;
    if (cbDevListBox->count() == 0 || cbDevListBox->currentIndex() < 0) {
        return false;
    }
    CurrentDevice = SelectedDevice();
    ReportBuffer[0] = reportId;
    LastTransferOk =
        DeviceGetFeature(CurrentDevice, ReportBuffer.data(), FeatureLength(CurrentDevice));
    return true;
}

int TMainForm::WriteDeviceReport(uint8_t reportId) {
    CurrentDevice = nullptr;
    LastTransferOk = false;
    if (cbDevListBox->count() == 0 || cbDevListBox->currentIndex() < 0) {
        return 0;
    }
    CurrentDevice = SelectedDevice();
    ReportBuffer[0] = reportId;
    const size_t length = FeatureLength(CurrentDevice);
    LastTransferOk = DeviceSetFeature(CurrentDevice, ReportBuffer.data(), length);
    return static_cast<int>(length);
}

void TMainForm::AddHistoryLine(const QString& line) {
    History->Append(line);
}

void TMainForm::ReadBtnClick() {
    const uint8_t id = ParseHexByte(ReportID->text().toStdString(), 0);
    if (ReadDeviceReport(id)) {
        ReportBuffer[0] = id;
        if (LastTransferOk) {
            const size_t length = FeatureLength(CurrentDevice);
            for (size_t p = 1; p < length && p <= ByteEdits.size(); ++p) {
                ByteEdits[p - 1]->setText(Utf8(FormatHexByte(ReportBuffer[p])));
            }
            const size_t dataBytes = length > 0 ? length - 1 : 0;
            AddHistoryLine(Utf8(HistoryLine('R', id, ReportBuffer.data() + 1, dataBytes)));
        } else {
            // The buffer holds no report: the edits keep what they showed.
            AddHistoryLine(Utf8(FailedTransferLine('R', id, TransferFailure(CurrentDevice))));
        }
    }
    ReadBtn->setChecked(false);
}

void TMainForm::WriteBtnClick() {
    if (CurrentDevice == nullptr) {
        return;
    }
    ReportBuffer[0] = ParseHexByte(ReportID->text().toStdString(), 0);
    ReportID->setText(Utf8(FormatHexByte(ReportBuffer[0])));
    const size_t length = FeatureLength(CurrentDevice);
    for (size_t p = 1; p < length && p <= ByteEdits.size(); ++p) {
        QLineEdit* edit = ByteEdits[p - 1];
        ReportBuffer[p] = ParseHexByte(edit->text().toStdString(), 0);
        edit->setText(Utf8(FormatHexByte(ReportBuffer[p])));
    }
    const bool ok = DeviceSetFeature(CurrentDevice, ReportBuffer.data(), length);
    const size_t dataBytes = length > 0 ? length - 1 : 0;
    AddHistoryLine(Utf8(ok ? HistoryLine('W', ReportBuffer[0], ReportBuffer.data() + 1, dataBytes)
                           : FailedTransferLine('W', ReportBuffer[0],
                                                TransferFailure(CurrentDevice, AdapterBusy))));
}

void TMainForm::ResetBtnClick() {
    if (cbDevListBox->count() == 0 || cbDevListBox->currentIndex() < 0) {
        return;
    }
    CurrentDevice = SelectedDevice();
    DeviceSetFeature(CurrentDevice, ResetReport, sizeof ResetReport);
    if (AdapterBusy) {
        SetStatusText(AdapterBusyMessage());
    }
}

void TMainForm::edInhibitIDChange() {
    InhibitID = ParseHexByte(edInhibitID->text().toStdString(), 0xFF);
}

void TMainForm::ShowRead(THidDevice* HidDev, uint8_t ReportID, const uint8_t* Data, uint16_t Size) {
    if (HidDev == nullptr || HidDev != SelectedDevice() || ReportID == InhibitID) {
        return;
    }
    AddHistoryLine(Utf8(HistoryLine('R', ReportID, Data, Size)));
}

void TMainForm::HidCtlDeviceDataError(THidDevice*, uint32_t Error) {
    const std::string message =
        HidCtl != nullptr ? HidCtl->Platform().ErrorMessage(Error) : std::string();
    AddHistoryLine("READ ERROR: " + Utf8(CleanSystemMessage(message)));
}

}  // namespace quillon
