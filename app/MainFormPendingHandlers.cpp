#include "app/MainForm.h"

// Handlers whose work belongs to subsystems not yet built: the device link (selection update,
// reset report), the settings commands, the configuration files and the two child windows.
// Each is already wired to its menu item, button or window event; the subsystem that brings
// its work takes its definition out of this file.

namespace quillon {

void TMainForm::DevListBox1Click() {}

void TMainForm::ResetBtnClick() {}

void TMainForm::bnApplyClick() {}

void TMainForm::miReadConfigClick() {}

void TMainForm::miLoadConfigClick() {}

void TMainForm::miSaveConfigClick() {}

void TMainForm::miInfoClick() {}

void TMainForm::UpdateFirmwareFrom(const QString& fileName) {
    Q_UNUSED(fileName);
}

}  // namespace quillon
