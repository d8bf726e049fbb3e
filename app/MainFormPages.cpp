#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/MainForm.h"

// The welcome page and the raw-report page of the main window.

namespace quillon {

namespace {

constexpr int ByteGridColumns = 16;
constexpr int ByteGridRows = 4;
constexpr int ByteEditWidth = 25;
constexpr int ByteEditHeight = 24;
constexpr int ByteEditGap = 2;

QLineEdit* NewByteEdit(QWidget* page, const QString& name) {
    auto* edit = new QLineEdit(page);
    edit->setObjectName(name);
    edit->setFixedSize(ByteEditWidth, ByteEditHeight);
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

QWidget* TMainForm::CreateWelcomePage() {
    tsWellcome = new QWidget(PageControl);
    tsWellcome->setObjectName("tsWellcome");
    tsWellcome->setWindowTitle("Wellcome");
    auto* layout = new QVBoxLayout(tsWellcome);
    layout->setContentsMargins(8, 89, 8, 64);
    auto* text = new QLabel("Connect the USB device and press the config button.", tsWellcome);
    text->setObjectName("lbWellcome");
    QFont font("Arial");
    font.setPixelSize(27);
    text->setFont(font);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignCenter);
    layout->addWidget(text);
    return tsWellcome;
}

QWidget* TMainForm::CreateSpecialPage() {
    tsSpecial = new QWidget(PageControl);
    tsSpecial->setObjectName("tsSpecial");
    tsSpecial->setWindowTitle("Special");
    auto* page = new QVBoxLayout(tsSpecial);
    page->setContentsMargins(8, 4, 8, 8);
    page->setSpacing(0);

    HistoryListBox = new QListView(tsSpecial);
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
    Label1 = new QLabel("Report", tsSpecial);
    Label1->setObjectName("Label1");
    ReportID = new QLineEdit("03", tsSpecial);
    ReportID->setObjectName("ReportID");
    ReportID->setFixedWidth(25);
    Label2 = new QLabel("InhibitID", tsSpecial);
    Label2->setObjectName("Label2");
    Label2->hide();
    edInhibitID = new QLineEdit(tsSpecial);
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
    ByteGrid->setSpacing(ByteEditGap);
    Edit1 = NewByteEdit(tsSpecial, "Edit1");
    ByteGrid->addWidget(Edit1, 0, 0);
    gridRow->addLayout(ByteGrid);
    gridRow->addStretch(1);
    page->addLayout(gridRow);
    page->addSpacing(20);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(7);
    buttonRow->addSpacing(144 - 8);
    ReadBtn = NewReportButton<QToolButton>(tsSpecial, "ReadBtn", "Read");
    ReadBtn->setCheckable(true);
    WriteBtn = NewReportButton<QToolButton>(tsSpecial, "WriteBtn", "Write");
    ResetBtn = NewReportButton<QPushButton>(tsSpecial, "ResetBtn", "Reset");
    buttonRow->addWidget(ReadBtn);
    buttonRow->addWidget(WriteBtn);
    buttonRow->addWidget(ResetBtn);
    buttonRow->addStretch(1);
    page->addLayout(buttonRow);
    page->addStretch(1);
    return tsSpecial;
}

void TMainForm::BuildByteGrid() {
    ByteEdits.assign(1, Edit1);
    Edit1->clear();
    Edit1->hide();
    QWidget* previous = Edit1;
    for (int k = 1; k < ByteGridRows * ByteGridColumns; ++k) {
        QLineEdit* edit = NewByteEdit(tsSpecial, QString("ByteEdit%1").arg(k));
        ByteGrid->addWidget(edit, k / ByteGridColumns, k % ByteGridColumns);
        edit->hide();
        setTabOrder(previous, edit);
        previous = edit;
        ByteEdits.push_back(edit);
    }
}

}  // namespace quillon
