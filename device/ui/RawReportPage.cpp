#include "device/ui/RawReportPage.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "device/ReportText.h"
#include "device/ui/DeviceList.h"
#include "device/ui/HistoryModel.h"
#include "device/ui/ReportExchange.h"
#include "hid/HidDevice.h"
#include "hid/HidDeviceController.h"

// The raw-report page: report exchange through the shared buffer byte by byte, the reset
// report and the display of input reports.

namespace quillon {

namespace {

constexpr int kByteGridColumns = 16;
constexpr int kByteGridRows = 4;
constexpr int kByteEditWidth = 25;
constexpr int kByteEditHeight = 24;
constexpr int kByteEditGap = 2;

QString FromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

QLineEdit* NewByteEdit(QWidget* page, const QString& name) {
    auto* edit = new QLineEdit(page);
    edit->setObjectName(name);
    edit->setFixedSize(kByteEditWidth, kByteEditHeight);
    // Hidden edits keep their cell, so the visible ones never move.
    QSizePolicy policy = edit->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    edit->setSizePolicy(policy);
    return edit;
}

template <typename Button>
Button* NewReportButton(QWidget* page, const char* name, const QString& caption) {
    auto* button = new Button(page);
    button->setObjectName(name);
    button->setText(caption);
    button->setFixedSize(81, 22);
    return button;
}

}  // namespace

TRawReportPage::TRawReportPage(TDeviceList& devices, TReportExchange& exchange,
                               ReportBuffer& buffer, QWidget* parent)
    : QWidget(parent), Devices(devices), Exchange(exchange), Buffer(buffer) {
    setObjectName("tsSpecial");
    setWindowTitle("Special");
    CreateControls();
    History = new THistoryModel(HistoryListBox);
    HistoryListBox->setModel(History);
    HistoryFollower = new THistoryFollower(HistoryListBox, History);

    connect(ReadBtn, &QToolButton::clicked, this, &TRawReportPage::ReadBtnClick);
    connect(WriteBtn, &QToolButton::clicked, this, &TRawReportPage::WriteBtnClick);
    connect(ResetBtn, &QPushButton::clicked, this, &TRawReportPage::ResetBtnClick);
    connect(edInhibitID, &QLineEdit::textChanged, this, &TRawReportPage::edInhibitIDChange);
}

TRawReportPage::~TRawReportPage() {
    // Taking the controls down makes some of them signal (an edit field losing the focus);
    // by then this page is no longer one to react.
    for (QObject* child : findChildren<QObject*>()) {
        disconnect(child, nullptr, this, nullptr);
    }
}

void TRawReportPage::CreateControls() {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(8, 4, 8, 8);
    page->setSpacing(0);

    HistoryListBox = new QListView(this);
    HistoryListBox->setObjectName("HistoryListBox");
    HistoryListBox->setFixedHeight(31);
    QFont courier("Courier New");
    courier.setPixelSize(11);
    courier.setStyleHint(QFont::Monospace);
    HistoryListBox->setFont(courier);
    // Input reports may arrive by the thousand per second: every line has the same height.
    HistoryListBox->setUniformItemSizes(true);
    HistoryListBox->setEditTriggers(QAbstractItemView::NoEditTriggers);
    page->addWidget(HistoryListBox);
    page->addSpacing(8);

    auto* reportRow = new QHBoxLayout;
    reportRow->addSpacing(48 - 8);
    Label1 = new QLabel("Report", this);
    Label1->setObjectName("Label1");
    ReportID = new QLineEdit("03", this);
    ReportID->setObjectName("ReportID");
    ReportID->setFixedWidth(25);
    Label2 = new QLabel("InhibitID", this);
    Label2->setObjectName("Label2");
    Label2->hide();
    edInhibitID = new QLineEdit(this);
    edInhibitID->setObjectName("edInhibitID");
    edInhibitID->setFixedWidth(25);
    edInhibitID->hide();
    reportRow->addWidget(Label1);
    reportRow->addSpacing(4);
    reportRow->addWidget(ReportID);
    reportRow->addSpacing(16);
    reportRow->addWidget(Label2);
    reportRow->addWidget(edInhibitID);
    reportRow->addStretch(1);
    page->addLayout(reportRow);
    page->addSpacing(10);

    auto* gridRow = new QHBoxLayout;
    gridRow->addSpacing(56 - 8);
    ByteGrid = new QGridLayout;
    ByteGrid->setSpacing(kByteEditGap);
    Edit1 = NewByteEdit(this, "Edit1");
    ByteGrid->addWidget(Edit1, 0, 0);
    gridRow->addLayout(ByteGrid);
    gridRow->addStretch(1);
    page->addLayout(gridRow);
    page->addSpacing(20);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(7);
    buttonRow->addSpacing(144 - 8);
    ReadBtn = NewReportButton<QToolButton>(this, "ReadBtn", "Read");
    ReadBtn->setCheckable(true);
    WriteBtn = NewReportButton<QToolButton>(this, "WriteBtn", "Write");
    ResetBtn = NewReportButton<QPushButton>(this, "ResetBtn", "Reset");
    buttonRow->addWidget(ReadBtn);
    buttonRow->addWidget(WriteBtn);
    buttonRow->addWidget(ResetBtn);
    buttonRow->addStretch(1);
    page->addLayout(buttonRow);
    page->addStretch(1);
}

void TRawReportPage::BuildByteGrid() {
    ByteEdits.assign(1, Edit1);
    Edit1->clear();
    Edit1->hide();
    QWidget* previous = Edit1;
    for (int k = 1; k < kByteGridRows * kByteGridColumns; ++k) {
        QLineEdit* edit = NewByteEdit(this, QString("ByteEdit%1").arg(k));
        ByteGrid->addWidget(edit, k / kByteGridColumns, k % kByteGridColumns);
        edit->hide();
        setTabOrder(previous, edit);
        previous = edit;
        ByteEdits.push_back(edit);
    }
}

void TRawReportPage::WindowActivated() {
    InhibitID = 0xFF;
    if (ByteEdits.empty()) {
        BuildByteGrid();
        DevListBox1Click();
    }
}

void TRawReportPage::DevListBox1Click() {
    History->Clear();
    if (ByteEdits.empty() || !Devices.HasSelection()) {
        return;
    }
    for (QLineEdit* edit : ByteEdits) {
        edit->hide();
    }
    const size_t length = FeatureLength(Devices.SelectedDevice());
    for (size_t k = 0; k + 1 < length && k < ByteEdits.size(); ++k) {
        ByteEdits[k]->show();
    }
    WriteBtn->setEnabled(length != 0);
}

void TRawReportPage::ClearHistory() {
    History->Clear();
}

void TRawReportPage::AddHistoryLine(const QString& line) {
    History->Append(line);
}

void TRawReportPage::ReadBtnClick() {
    const uint8_t id = ParseHexByte(ReportID->text().toStdString(), 0);
    const TransferResult read = Exchange.ReadDeviceReport(id);
    if (read.Outcome != TransferOutcome::NoDevice) {
        Buffer[0] = id;
        if (read.Ok()) {
            const size_t length = FeatureLength(Exchange.AddressedDevice());
            for (size_t p = 1; p < length && p <= ByteEdits.size(); ++p) {
                ByteEdits[p - 1]->setText(FromUtf8(FormatHexByte(Buffer[p])));
            }
            const size_t dataBytes = length > 0 ? length - 1 : 0;
            AddHistoryLine(FromUtf8(HistoryLine('R', id, Buffer.data() + 1, dataBytes)));
        } else {
            // The buffer holds no report: the edits keep what they showed.
            AddHistoryLine(FromUtf8(FailedTransferLine('R', id, read.Reason)));
        }
    }
    ReadBtn->setChecked(false);
}

void TRawReportPage::WriteBtnClick() {
    THidDevice* device = Exchange.AddressedDevice();
    if (device == nullptr) {
        return;
    }
    Buffer[0] = ParseHexByte(ReportID->text().toStdString(), 0);
    ReportID->setText(FromUtf8(FormatHexByte(Buffer[0])));
    const size_t length = FeatureLength(device);
    for (size_t p = 1; p < length && p <= ByteEdits.size(); ++p) {
        QLineEdit* edit = ByteEdits[p - 1];
        Buffer[p] = ParseHexByte(edit->text().toStdString(), 0);
        edit->setText(FromUtf8(FormatHexByte(Buffer[p])));
    }
    const TransferResult written = Exchange.WriteToCurrentDevice(length);
    const size_t dataBytes = length > 0 ? length - 1 : 0;
    AddHistoryLine(FromUtf8(written.Ok() ? HistoryLine('W', Buffer[0], Buffer.data() + 1, dataBytes)
                                         : FailedTransferLine('W', Buffer[0], written.Reason)));
}

void TRawReportPage::ResetBtnClick() {
    const TransferResult reset = Exchange.SendReset();
    if (reset.Outcome == TransferOutcome::AdapterBusy) {
        emit StatusTextChanged(FromUtf8(reset.Reason));
    }
}

void TRawReportPage::edInhibitIDChange() {
    InhibitID = ParseHexByte(edInhibitID->text().toStdString(), 0xFF);
}

void TRawReportPage::ShowRead(THidDevice* HidDev, uint8_t ReportID, std::span<const uint8_t> Data) {
    if (HidDev == nullptr || HidDev != Devices.SelectedDevice() || ReportID == InhibitID) {
        return;
    }
    AddHistoryLine(FromUtf8(HistoryLine('R', ReportID, Data.data(), Data.size())));
}

void TRawReportPage::HidCtlDeviceDataError(THidDevice*, const HidFailure& Error) {
    AddHistoryLine("READ ERROR: " + FromUtf8(CleanSystemMessage(Error.Message)));
}

}  // namespace quillon
