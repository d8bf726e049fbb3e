#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QStackedWidget>

#include "app/MainForm.h"
#include "app/RadioGroup.h"

// The settings page of the main window: its controls at their initial values, and the wiring
// of their change reactions.

namespace quillon {

namespace {

QStringList ToQStrings(const auto& items) {
    QStringList list;
    for (std::string_view item : items) {
        list << QString::fromLatin1(item.data(), static_cast<qsizetype>(item.size()));
    }
    return list;
}

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

QCheckBox* NewCheckBox(QWidget* page, const char* name, const QString& caption) {
    return Named(new QCheckBox(caption, page), name);
}

QSpinBox* NewDelayField(QWidget* page, const char* name) {
    auto* field = Named(new QSpinBox(page), name);
    field->setRange(0, MaxDelayMs);
    field->setSingleStep(DelayUnitMs);
    field->setAlignment(Qt::AlignCenter);
    field->setValue(0);
    return field;
}

QComboBox* NewEditableList(QWidget* page, const char* name, const QStringList& items, int index) {
    auto* list = Named(new QComboBox(page), name);
    list->setEditable(true);
    // Typed text stays typed text; it never becomes an item of the list.
    list->setInsertPolicy(QComboBox::NoInsert);
    list->addItems(items);
    list->setCurrentIndex(index);
    return list;
}

QPushButton* NewButton(QWidget* page, const char* name, const QString& caption) {
    return Named(new QPushButton(caption, page), name);
}

}  // namespace

QWidget* TMainForm::CreateSettingsPage() {
    tsMain = Named(new QWidget(PageControl), "tsMain");
    tsMain->setWindowTitle("Main");

    edBaud = NewEditableList(tsMain, "edBaud", ToQStrings(BaudRateItems), 4);
    edCharDelay = NewDelayField(tsMain, "edCharDelay");
    edLineDelay = NewDelayField(tsMain, "edLineDelay");
    rgEnterCtrl = NewEditableList(tsMain, "rgEnterCtrl", ToQStrings(EnterControlNames), 0);
    rgFlowCtrl =
        Named(new TRadioGroup("Flow-Ctrl", ToQStrings(FlowControlNames), 2, tsMain), "rgFlowCtrl");
    rgFlowCtrl->SetItemIndex(0);

    cbUsedAltKey = NewCheckBox(tsMain, "cbUsedAltKey", "Use Alt-Key");
    cbPavex = NewCheckBox(tsMain, "cbPavex", "Pavex mode");
    cbClrMem = NewCheckBox(tsMain, "cbClrMem", "Clear data after transmited");
    cbClrStx = NewCheckBox(tsMain, "cbClrStx", "Clear STX Line");
    cbClrEtx = NewCheckBox(tsMain, "cbClrEtx", "Clear ETX Line");

    Label5 = Named(new QLabel("Version: ", tsMain), "Label5");
    edVersion = Named(new QLineEdit("000", tsMain), "edVersion");
    edVersion->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edVersion));
    edVersion->setFixedWidth(40);
    edVersion->setEnabled(false);

    bnApply = NewButton(tsMain, "bnApply", "Apply");
    bnApply->setDefault(true);
    bnApply->setEnabled(false);
    bnLoad = NewButton(tsMain, "bnLoad", "load");
    bnSave = NewButton(tsMain, "bnSave", "save");
    bnRead = NewButton(tsMain, "bnRead", "read");
    for (QPushButton* hidden : {bnLoad, bnSave, bnRead}) {
        hidden->hide();
    }

    const auto label = [this](const char* name, const QString& text) {
        return Named(new QLabel(text, tsMain), name);
    };
    auto* grid = new QGridLayout(tsMain);
    grid->setContentsMargins(12, 12, 12, 12);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    grid->addWidget(label("lbBaud", "Baud:"), 0, 0);
    grid->addWidget(edBaud, 0, 1);
    grid->addWidget(label("lbCharDelay", "Char delay:"), 1, 0);
    grid->addWidget(edCharDelay, 1, 1);
    grid->addWidget(label("lbCharDelayUnit", "msec"), 1, 2);
    grid->addWidget(label("lbLineDelay", "Line delay:"), 2, 0);
    grid->addWidget(edLineDelay, 2, 1);
    grid->addWidget(label("lbLineDelayUnit", "msec"), 2, 2);
    grid->addWidget(label("lbEnterCtrl", "Enter ctrl:"), 3, 0);
    grid->addWidget(rgEnterCtrl, 3, 1);
    grid->addWidget(rgFlowCtrl, 4, 0, 1, 3);
    grid->addWidget(cbUsedAltKey, 0, 4);
    grid->addWidget(cbPavex, 1, 4);
    grid->addWidget(cbClrMem, 2, 4);
    grid->addWidget(cbClrStx, 3, 4);
    grid->addWidget(cbClrEtx, 4, 4, Qt::AlignTop);
    grid->setRowStretch(5, 1);
    grid->addWidget(Label5, 6, 0);
    grid->addWidget(edVersion, 6, 1, Qt::AlignLeft);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* button : {bnLoad, bnSave, bnRead, bnApply}) {
        buttons->addWidget(button);
    }
    grid->addLayout(buttons, 6, 2, 1, 3);
    grid->setColumnStretch(3, 1);
    return tsMain;
}

void TMainForm::ConnectSettingsReactions() {
    // Check boxes, the flow group and the delay fields react to every real change of their
    // value, the program's own included; the two editable lists only to the user's edits.
    for (QCheckBox* box : {cbUsedAltKey, cbClrStx, cbClrEtx}) {
        connect(box, &QCheckBox::toggled, this, &TMainForm::cbUsedAltKeyClick);
    }
    connect(rgFlowCtrl, &TRadioGroup::ItemIndexChanged, this, &TMainForm::cbUsedAltKeyClick);
    connect(rgEnterCtrl, &QComboBox::activated, this, &TMainForm::cbUsedAltKeyClick);
    connect(edBaud, &QComboBox::activated, this, &TMainForm::cbUsedAltKeyClick);
    connect(edBaud->lineEdit(), &QLineEdit::textEdited, this, &TMainForm::cbUsedAltKeyClick);
    for (QSpinBox* field : {edCharDelay, edLineDelay}) {
        connect(field, &QSpinBox::valueChanged, this, &TMainForm::cbUsedAltKeyClick);
    }
    connect(cbPavex, &QCheckBox::toggled, this, &TMainForm::cbPavexClick);
    connect(cbClrMem, &QCheckBox::toggled, this, &TMainForm::cbClrMemClick);

    connect(bnApply, &QPushButton::clicked, this, &TMainForm::bnApplyClick);
    connect(bnLoad, &QPushButton::clicked, this, &TMainForm::miLoadConfigClick);
    connect(bnSave, &QPushButton::clicked, this, &TMainForm::miSaveConfigClick);
    connect(bnRead, &QPushButton::clicked, this, &TMainForm::miReadConfigClick);
}

}  // namespace quillon
