#pragma once

#include <QFileDialog>

#include "ui/UserDialogs.h"

namespace quillon {

// The program's dialogs, shown with Qt's message boxes and file dialogs.
class QtUserDialogs : public IUserDialogs {
  public:
    void ShowMessage(QWidget* parent, const QString& text) override;
    bool Confirm(QWidget* parent, const QString& text) override;
    QString GetOpenFileName(QWidget* parent, const FileDialogOptions& options) override;
    QString GetSaveFileName(QWidget* parent, const FileDialogOptions& options) override;
    void UseWorkingFolderByDefault() override;

  private:
    QString RunFileDialog(QWidget* parent, const FileDialogOptions& options,
                          QFileDialog::AcceptMode mode);

    bool WorkingFolderByDefault = false;
};

}  // namespace quillon
