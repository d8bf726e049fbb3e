#pragma once

#include <QString>

class QWidget;

namespace quillon {

// Every message box, confirmation and file dialog of the windows goes through this interface,
// so that tests can answer them. The program's implementation shows Qt's dialogs.
class IUserDialogs {
  public:
    virtual ~IUserDialogs() = default;

    // Plain message box with the application title and an OK button; returns once dismissed.
    virtual void ShowMessage(QWidget* parent, const QString& text) = 0;

    // Question box titled "Bestätigung" with the buttons "&Ja" and "&Nein"; Escape answers No.
    virtual bool Confirm(QWidget* parent, const QString& text) = 0;

    struct FileDialogOptions {
        QString title;          // empty: the system's default title
        QString filter;         // "Description|*.ext|Description|*.*" pairs
        QString defaultSuffix;  // without the dot
        QString fileName;       // proposed file name, may hold a folder
        bool confirmOverwrite = false;
    };
    // The chosen path, or empty text when the user cancelled.
    virtual QString GetOpenFileName(QWidget* parent, const FileDialogOptions& options) = 0;
    virtual QString GetSaveFileName(QWidget* parent, const FileDialogOptions& options) = 0;

    // From now on, a file dialog whose proposed file name holds no folder opens in the
    // current working folder (instead of the folder last visited).
    virtual void UseWorkingFolderByDefault() {}
};

}  // namespace quillon
