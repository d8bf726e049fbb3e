#include "ui/QtUserDialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include "ui/DialogFilter.h"

namespace quillon {

void QtUserDialogs::ShowMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

bool QtUserDialogs::Confirm(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Bestätigung"), text,
                    QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&Nein"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    // Escape and the window's close box both answer No.
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

QString QtUserDialogs::GetOpenFileName(QWidget* parent, const FileDialogOptions& options) {
    return RunFileDialog(parent, options, QFileDialog::AcceptOpen);
}

QString QtUserDialogs::GetSaveFileName(QWidget* parent, const FileDialogOptions& options) {
    return RunFileDialog(parent, options, QFileDialog::AcceptSave);
}

void QtUserDialogs::UseWorkingFolderByDefault() {
    WorkingFolderByDefault = true;
}

QString QtUserDialogs::RunFileDialog(QWidget* parent, const FileDialogOptions& options,
                                     QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent, options.title);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setNameFilters(ToQtNameFilters(options.filter));
    // Each filter shows as its description alone, without the patterns Qt would append.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setDefaultSuffix(options.defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !options.confirmOverwrite);

    const QString proposed = QDir::fromNativeSeparators(options.fileName);
    const QFileInfo proposedFile(proposed);
    if (proposed.contains('/')) {
        dialog.setDirectory(proposedFile.absolutePath());
        dialog.selectFile(proposedFile.fileName());
    } else {
        if (WorkingFolderByDefault) {
            dialog.setDirectory(QDir::currentPath());
        }
        if (!proposed.isEmpty()) {
            dialog.selectFile(proposed);
        }
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

}  // namespace quillon
