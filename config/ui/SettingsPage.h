#pragma once

#include <QString>
#include <QWidget>
#include <optional>

#include "config/DeviceSettings.h"
#include "config/ui/SettingsTransfer.h"
#include "ui/UserDialogs.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace quillon {

class TRadioGroup;

// The settings page (tsMain): the adapter's settings record shown in controls, Apply and Read
// Config through the adapter exchange it is given, and the configuration files. The record
// lives in the window's report buffer, which the raw-report page shares.
class TSettingsPage : public QWidget {
    Q_OBJECT

  public:
    TSettingsPage(ReportBuffer& buffer, ISettingsTransfer& adapter, IUserDialogs& dialogs,
                  QWidget* parent = nullptr);
    ~TSettingsPage() override;

    // Controls -> bytes 1 to 12 of the buffer.
    void CollectDeviceSettings();
    // The buffer -> controls when it holds a settings record; then Apply enabled as asked.
    void ShowDeviceSettings(bool enableApply);
    // Couples the baud field, the clear options and flow control to the Pavex-mode state.
    void ApplyPavexMode(bool on);

    // True when the file was read into the buffer and shown.
    bool LoadConfigFile(const QString& path);
    // True when the file was written whole.
    bool SaveConfigFile(const QString& path);
    static QString ShortenPathForStatus(const QString& path);

    // What the page shows each time the device list has been rebuilt with an adapter that may
    // be read and written: the command-line file over the adapter's record when one was given,
    // else the adapter's record, with the remembered path proposed by the file dialogs.
    void ReadSettingsAtListing(const std::optional<QString>& startupConfig,
                               const QString& rememberedPath);
    // In place of the settings while the adapter in use may not be read and written.
    void ShowAccessProblem(const QString& text);
    void HideAccessProblem();
    // Nothing to apply: no adapter, or none that may be written.
    void DisableApply();
    // The page as an editor of the settings that other adapters are to get: no Apply and no
    // version field, since the adapter's own version stays.
    void HideAdapterControls();
    // What the controls hold now.
    SettingsControlValues SettingsFromControls() const;

    // Changes do not mark the page modified until the adapter's record has first been shown.
    bool ModifiedSuppressed() const { return SuppressModified; }
    void StopSuppressingModified() { SuppressModified = false; }

    // --- Handlers ----------------------------------------------------------------------------
    // The shared change reaction of the settings controls, and the two with more to do.
    void cbUsedAltKeyClick();
    void cbPavexClick();
    void cbClrMemClick();
    void bnApplyClick();
    void miReadConfigClick();
    void miLoadConfigClick();
    void miSaveConfigClick();
    // The version unlock: a press on the "Version: " label (Label5), not on the field itself,
    // which is disabled and so takes no presses.
    void edVersionMouseDown(Qt::KeyboardModifiers modifiers);

  signals:
    void StatusTextChanged(const QString& text);
    // A configuration file is about to be loaded: its full path is to be remembered.
    void ConfigFileChosen(const QString& absolutePath);

  protected:
    // Apply is the page's default button.
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateControls();
    void ConnectReactions();
    void SetStatusText(const QString& text);
    int EnterCtrlSelection() const;
    void SetBaudText(const QString& text);

    ReportBuffer& Buffer;
    ISettingsTransfer& Adapter;
    IUserDialogs& Dialogs;
    bool SuppressModified = true;
    // What the last loaded file holds that the controls could not show; empty when nothing.
    QString UnshownFileValue;
    IUserDialogs::FileDialogOptions OpenConfigDialog;
    IUserDialogs::FileDialogOptions SaveConfigDialog;

    QLabel* Label5 = nullptr;
    QLineEdit* edVersion = nullptr;
    QCheckBox* cbUsedAltKey = nullptr;
    QComboBox* edBaud = nullptr;
    QSpinBox* edCharDelay = nullptr;
    QSpinBox* edLineDelay = nullptr;
    QCheckBox* cbPavex = nullptr;
    QCheckBox* cbClrMem = nullptr;
    QCheckBox* cbClrStx = nullptr;
    QCheckBox* cbClrEtx = nullptr;
    TRadioGroup* rgFlowCtrl = nullptr;
    QComboBox* rgEnterCtrl = nullptr;
    QPushButton* bnApply = nullptr;
    QPushButton* bnLoad = nullptr;
    QPushButton* bnSave = nullptr;
    QPushButton* bnRead = nullptr;
    QLabel* lbAccessAdvice = nullptr;
};

}  // namespace quillon
