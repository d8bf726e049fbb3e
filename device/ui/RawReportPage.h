#pragma once

#include <QWidget>
#include <cstdint>
#include <span>
#include <vector>

#include "config/DeviceSettings.h"
#include "hid/HidError.h"

class QGridLayout;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QToolButton;

namespace quillon {

class TDeviceList;
class THidDevice;
class THidDeviceController;
class THistoryFollower;
class THistoryModel;
class TReportExchange;

// The hidden raw-report page (tsSpecial): any feature report read and written byte by byte,
// the reset report, and the history of transfers, input reports and read errors.
class TRawReportPage : public QWidget {
    Q_OBJECT

  public:
    TRawReportPage(TDeviceList& devices, TReportExchange& exchange, ReportBuffer& buffer,
                   QWidget* parent = nullptr);
    ~TRawReportPage() override;

    // Each time the window becomes active: input reports of every ID are shown again; the
    // first time, the byte grid is built and fitted to the selected device.
    void WindowActivated();
    // The selection update: the byte edits and Write fitted to the selected device.
    void DevListBox1Click();
    void ClearHistory();

    // What a person sees on the page.
    const std::vector<QLineEdit*>& ByteEditCells() const { return ByteEdits; }
    THistoryModel* HistoryModel() const { return History; }
    THistoryFollower* Follower() const { return HistoryFollower; }
    uint8_t InhibitedReportID() const { return InhibitID; }

    // --- Handlers ----------------------------------------------------------------------------
    void ReadBtnClick();
    void WriteBtnClick();
    void ResetBtnClick();
    void edInhibitIDChange();
    // Events of the controller.
    void ShowRead(THidDevice* HidDev, uint8_t ReportID, std::span<const uint8_t> Data);
    void HidCtlDeviceDataError(THidDevice* HidDev, const HidFailure& Error);

  signals:
    void StatusTextChanged(const QString& text);

  private:
    void CreateControls();
    void BuildByteGrid();
    void AddHistoryLine(const QString& line);

    TDeviceList& Devices;
    TReportExchange& Exchange;
    ReportBuffer& Buffer;
    // Input reports with this report ID are not shown.
    uint8_t InhibitID = 0xFF;
    // Byte edits; empty until the window is first activated.
    std::vector<QLineEdit*> ByteEdits;

    QListView* HistoryListBox = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* ReportID = nullptr;
    QLineEdit* Edit1 = nullptr;
    QToolButton* ReadBtn = nullptr;
    QToolButton* WriteBtn = nullptr;
    QPushButton* ResetBtn = nullptr;
    QLineEdit* edInhibitID = nullptr;
    QLabel* Label2 = nullptr;
    QGridLayout* ByteGrid = nullptr;
    THistoryModel* History = nullptr;
    THistoryFollower* HistoryFollower = nullptr;
};

}  // namespace quillon
