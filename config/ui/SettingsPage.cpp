#include "config/ui/SettingsPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>

#include "ui/RadioGroup.h"

// The settings page: its controls at their initial values, the wiring of their change
// reactions, the version unlock, the default button and the access advice.

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
    field->setRange(0, kMaxDelayMs);
    field->setSingleStep(kDelayUnitMs);
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

bool ShiftAndAltHeld(Qt::KeyboardModifiers modifiers) {
    return modifiers.testFlag(Qt::ShiftModifier) && modifiers.testFlag(Qt::AltModifier);
}

}  // namespace

TSettingsPage::TSettingsPage(ReportBuffer& buffer, ISettingsTransfer& adapter,
                             IUserDialogs& dialogs, QWidget* parent)
    : QWidget(parent), Buffer(buffer), Adapter(adapter), Dialogs(dialogs) {
    setObjectName("tsMain");
    setWindowTitle("Main");
    OpenConfigDialog.filter = "Config File *.cfg|*.cfg|All Files *.*|*.*";
    OpenConfigDialog.defaultSuffix = "cfg";
    SaveConfigDialog.title = "Save Config";
    SaveConfigDialog.filter = "Config Files *.cfg|*.cfg|All Files *.*|*.*";
    SaveConfigDialog.defaultSuffix = "cfg";
    SaveConfigDialog.confirmOverwrite = true;
    CreateControls();
    ConnectReactions();
}

TSettingsPage::~TSettingsPage() {
    // Taking the controls down makes some of them signal (an edit field losing the focus);
    // by then this page is no longer one to react.
    Label5->removeEventFilter(this);
    for (QObject* child : findChildren<QObject*>()) {
        disconnect(child, nullptr, this, nullptr);
    }
}

void TSettingsPage::CreateControls() {
    edBaud = NewEditableList(this, "edBaud", ToQStrings(kBaudRateItems), 4);
    edCharDelay = NewDelayField(this, "edCharDelay");
    edLineDelay = NewDelayField(this, "edLineDelay");
    rgEnterCtrl = NewEditableList(this, "rgEnterCtrl", ToQStrings(kEnterControlNames), 0);
    rgFlowCtrl =
        Named(new TRadioGroup("Flow-Ctrl", ToQStrings(kFlowControlNames), 2, this), "rgFlowCtrl");
    rgFlowCtrl->SetItemIndex(0);

    cbUsedAltKey = NewCheckBox(this, "cbUsedAltKey", "Use Alt-Key");
    cbPavex = NewCheckBox(this, "cbPavex", "Pavex mode");
    cbClrMem = NewCheckBox(this, "cbClrMem", "Clear data after transmited");
    cbClrStx = NewCheckBox(this, "cbClrStx", "Clear STX Line");
    cbClrEtx = NewCheckBox(this, "cbClrEtx", "Clear ETX Line");

    Label5 = Named(new QLabel("Version: ", this), "Label5");
    edVersion = Named(new QLineEdit("000", this), "edVersion");
    edVersion->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edVersion));
    edVersion->setFixedWidth(40);
    edVersion->setEnabled(false);

    bnApply = NewButton(this, "bnApply", "Apply");
    bnApply->setDefault(true);
    bnApply->setEnabled(false);
    bnLoad = NewButton(this, "bnLoad", "load");
    bnSave = NewButton(this, "bnSave", "save");
    bnRead = NewButton(this, "bnRead", "read");
    for (QPushButton* hidden : {bnLoad, bnSave, bnRead}) {
        hidden->hide();
    }

    const auto label = [this](const char* name, const QString& text) {
        return Named(new QLabel(text, this), name);
    };
    auto* grid = new QGridLayout(this);
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

    lbAccessAdvice = Named(new QLabel(this), "lbAccessAdvice");
    lbAccessAdvice->setWordWrap(true);
    lbAccessAdvice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The install command is meant to be copied into a terminal.
    lbAccessAdvice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbAccessAdvice->hide();
    // In the settings' top row: they are hidden whenever the advice shows.
    grid->addWidget(lbAccessAdvice, 0, 0, 1, grid->columnCount());
}

void TSettingsPage::ConnectReactions() {
    // Check boxes, the flow group and the delay fields react to every real change of their
    // value, the program's own included; the two editable lists only to the user's edits.
    for (QCheckBox* box : {cbUsedAltKey, cbClrStx, cbClrEtx}) {
        connect(box, &QCheckBox::toggled, this, &TSettingsPage::cbUsedAltKeyClick);
    }
    connect(rgFlowCtrl, &TRadioGroup::ItemIndexChanged, this, &TSettingsPage::cbUsedAltKeyClick);
    connect(rgEnterCtrl, &QComboBox::activated, this, &TSettingsPage::cbUsedAltKeyClick);
    connect(edBaud, &QComboBox::activated, this, &TSettingsPage::cbUsedAltKeyClick);
    connect(edBaud->lineEdit(), &QLineEdit::textEdited, this, &TSettingsPage::cbUsedAltKeyClick);
    for (QSpinBox* field : {edCharDelay, edLineDelay}) {
        connect(field, &QSpinBox::valueChanged, this, &TSettingsPage::cbUsedAltKeyClick);
    }
    connect(cbPavex, &QCheckBox::toggled, this, &TSettingsPage::cbPavexClick);
    connect(cbClrMem, &QCheckBox::toggled, this, &TSettingsPage::cbClrMemClick);

    connect(bnApply, &QPushButton::clicked, this, &TSettingsPage::bnApplyClick);
    connect(bnLoad, &QPushButton::clicked, this, &TSettingsPage::miLoadConfigClick);
    connect(bnSave, &QPushButton::clicked, this, &TSettingsPage::miSaveConfigClick);
    connect(bnRead, &QPushButton::clicked, this, &TSettingsPage::miReadConfigClick);
    Label5->installEventFilter(this);
}

void TSettingsPage::edVersionMouseDown(Qt::KeyboardModifiers modifiers) {
    if (ShiftAndAltHeld(modifiers)) {
        edVersion->setEnabled(true);
    }
}

bool TSettingsPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label5 && event->type() == QEvent::MouseButtonPress) {
        edVersionMouseDown(static_cast<QMouseEvent*>(event)->modifiers());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// Enter that no control of the page wanted presses Apply while it is enabled, as a dialog's
// default button would be.
void TSettingsPage::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (enter && modifiers == Qt::NoModifier && bnApply->isEnabled() && bnApply->isVisible()) {
        bnApply->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TSettingsPage::ShowAccessProblem(const QString& text) {
    lbAccessAdvice->setText(text.trimmed());
    for (QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (control != bnLoad && control != bnSave && control != bnRead) {
            control->setVisible(control == lbAccessAdvice);
        }
    }
}

void TSettingsPage::HideAccessProblem() {
    if (!lbAccessAdvice->isVisibleTo(this)) {
        return;
    }
    for (QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (control != bnLoad && control != bnSave && control != bnRead) {
            control->setVisible(control != lbAccessAdvice);
        }
    }
}

void TSettingsPage::HideAdapterControls() {
    bnApply->hide();
    Label5->hide();
    edVersion->hide();
}

}  // namespace quillon
