#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include "info/FileVersionInfo.h"

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quillon {

class THidDevice;

// Where the info window takes its program data from.
struct TInfoBoxSources {
    QString ProgramPath;            // the executable whose version data is shown
    QStringList ReleaseNotesPaths;  // the first one that can be read fills the notes

    // This program, and "Release.txt" from the working directory, else beside the program
    // (../share/quillon-utility), else where it was installed.
    static TInfoBoxSources Default();
};

// The "Info" window: the program's name, version, legal lines and release notes, and the
// identity of the adapter it was given. The adapter is borrowed and read once, when the window
// is shown; the caller keeps it alive until the window is closed.
class TInfoBox : public QDialog {
    Q_OBJECT

  public:
    TInfoBox(QWidget* parent, THidDevice* device,
             const TInfoBoxSources& sources = TInfoBoxSources::Default());

    QFrame* Panel1;
    QLabel* ProgramIcon;
    QLabel* lbProductName;
    QLabel* lbVersion;
    QLabel* lbCopyright;
    QLabel* lbComments;
    QLabel* lbTrademark;
    QLabel* VendorName;
    QLabel* ProductName;
    QLabel* Vid;
    QLabel* Pid;
    QLabel* Vers;
    QPlainTextEdit* VersionsInfo;
    QPushButton* OKButton;

    // The program data as read at creation.
    const TFileVersionInfo& ProgramVersion() const { return version_; }

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildControls();
    void FormCreate(const TInfoBoxSources& sources);
    void FormShow();
    void lbVersionMouseDown(Qt::MouseButton button);
    void OKButtonClick();

    THidDevice* device_;
    TFileVersionInfo version_;
};

}  // namespace quillon
