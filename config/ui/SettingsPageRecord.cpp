#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "config/SettingsRules.h"
#include "config/ui/SettingsPage.h"
#include "ui/RadioGroup.h"

// The settings page bound to the settings record: collecting, showing, the Pavex coupling and
// the change reactions.

namespace quillon {

int TSettingsPage::EnterCtrlSelection() const {
    return rgEnterCtrl->findText(rgEnterCtrl->currentText(),
                                 Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void TSettingsPage::SetBaudText(const QString& text) {
    // The list's current item follows the text, or the list would pick the item matching the
    // text on its own when the field loses the focus, and report that as the user's choice.
    const int item = edBaud->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (item >= 0) {
        edBaud->setCurrentIndex(item);
    } else {
        edBaud->setEditText(text);
    }
}

SettingsControlValues TSettingsPage::SettingsFromControls() const {
    SettingsControlValues values;
    values.VersionText = edVersion->text().toStdString();
    values.UseAltKey = cbUsedAltKey->isChecked();
    values.BaudText = edBaud->currentText().toStdString();
    values.CharDelayMs = edCharDelay->value();
    values.LineDelayMs = edLineDelay->value();
    values.Pavex = cbPavex->isChecked();
    values.ClrStx = cbClrStx->isChecked();
    values.ClrEtx = cbClrEtx->isChecked();
    values.ClrMem = cbClrMem->isChecked();
    values.FlowCtrlIndex = rgFlowCtrl->ItemIndex();
    values.EnterCtrlIndex = EnterCtrlSelection();
    return values;
}

void TSettingsPage::CollectDeviceSettings() {
    EncodeSettings(SettingsFromControls(), Buffer);
}

void TSettingsPage::ShowDeviceSettings(bool enableApply) {
    // Each control is set in turn, so that each change runs its reaction (the confirmation of
    // cbClrMem included) in this order.
    if (const auto values = DecodeSettings(Buffer)) {
        edVersion->setText(QString::fromStdString(values->VersionText));
        cbUsedAltKey->setChecked(values->UseAltKey);
        SetBaudText(QString::fromStdString(values->BaudText));
        edCharDelay->setValue(values->CharDelayMs);
        edLineDelay->setValue(values->LineDelayMs);
        cbPavex->setChecked(values->Pavex);
        cbClrStx->setChecked(values->ClrStx);
        cbClrEtx->setChecked(values->ClrEtx);
        cbClrMem->setChecked(values->ClrMem);
        rgFlowCtrl->SetItemIndex(values->FlowCtrlIndex);
        rgEnterCtrl->setCurrentIndex(values->EnterCtrlIndex);
        KeepRecordMarkerCopy(Buffer);
        ApplyPavexMode(cbPavex->isChecked());
    }
    bnApply->setEnabled(enableApply);
}

void TSettingsPage::ApplyPavexMode(bool on) {
    if (on) {
        SetBaudText(QString::number(kDefaultBaudRate));
    } else {
        cbClrStx->setChecked(false);
        cbClrEtx->setChecked(false);
        cbClrMem->setChecked(false);
    }
    const EditableSettings editable = EditableInMode(on);
    for (QCheckBox* box : {cbClrStx, cbClrEtx, cbClrMem}) {
        box->setEnabled(editable.ClearOptions);
    }
    rgFlowCtrl->setEnabled(editable.FlowControl);
}

void TSettingsPage::cbUsedAltKeyClick() {
    if (SuppressModified) {
        return;
    }
    bnApply->setEnabled(true);
    SetStatusText("modified");
}

void TSettingsPage::cbPavexClick() {
    ApplyPavexMode(cbPavex->isChecked());
    cbUsedAltKeyClick();
}

void TSettingsPage::cbClrMemClick() {
    cbUsedAltKeyClick();
    // Unchecking here comes back through this handler, which then asks nothing.
    if (cbClrMem->isChecked() &&
        !Dialogs.Confirm(window(), QString::fromUtf8(kClearDataConfirmation.data(),
                                                     kClearDataConfirmation.size()))) {
        cbClrMem->setChecked(false);
    }
}

void TSettingsPage::SetStatusText(const QString& text) {
    emit StatusTextChanged(text);
}

void TSettingsPage::DisableApply() {
    bnApply->setEnabled(false);
}

}  // namespace quillon
