#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "app/UserDialogs.h"
#include "config/DeviceSettings.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QStatusBar;
class QToolButton;

namespace quillon {

class TRadioGroup;

// The program's one long-lived window: device list, the welcome, settings and hidden raw-report
// pages, the menu and the status line. Its handlers are spread over the folders of the
// subsystems they serve (settings page in config/, device link in device/).
class TMainForm : public QMainWindow {
    Q_OBJECT

  public:
    // arguments: the command-line parameters, program name excluded.
    TMainForm(IUserDialogs& dialogs, const QStringList& arguments, QWidget* parent = nullptr);
    ~TMainForm() override;

    // --- State -----------------------------------------------------------------------------
    // Keeps the settings page from marking itself modified until the device's settings have
    // been shown for the first time.
    bool SuppressModified = true;
    bool StartupConfigGiven = false;
    QString StartupConfigPath;
    quillon::ReportBuffer ReportBuffer{};
    // Input reports with this report ID are not shown on the raw-report page.
    uint8_t InhibitID = 0xFF;
    // Byte edits of the raw-report page; empty until the window is first activated.
    std::vector<QLineEdit*> ByteEdits;

    IUserDialogs::FileDialogOptions OpenDialog;
    IUserDialogs::FileDialogOptions OpenConfigDialog;
    IUserDialogs::FileDialogOptions SaveConfigDialog;

    // --- Window, menu and status line --------------------------------------------------------
    QWidget* Panel1 = nullptr;
    QComboBox* cbDevListBox = nullptr;
    QStackedWidget* PageControl = nullptr;
    QWidget* tsWellcome = nullptr;
    QWidget* tsMain = nullptr;
    QWidget* tsSpecial = nullptr;
    QStatusBar* StatusBar = nullptr;
    QLabel* StatusPanel = nullptr;
    QMenu* File1 = nullptr;
    QAction* miUpdate = nullptr;
    QAction* miLoadConfig = nullptr;
    QAction* miSaveConfig = nullptr;
    QAction* miReadConfig = nullptr;
    QAction* Close1 = nullptr;
    QAction* miInfo = nullptr;

    // --- Settings page (tsMain) --------------------------------------------------------------
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

    // --- Raw-report page (tsSpecial) ---------------------------------------------------------
    QListView* HistoryListBox = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* ReportID = nullptr;
    QLineEdit* Edit1 = nullptr;
    QToolButton* ReadBtn = nullptr;
    QToolButton* WriteBtn = nullptr;
    QPushButton* ResetBtn = nullptr;
    QLineEdit* edInhibitID = nullptr;
    QLabel* Label2 = nullptr;

    // --- Operations --------------------------------------------------------------------------
    // The remembered configuration-file path in the machine-wide settings store.
    QString ReadCfgPath() const;
    void WriteCfgPath(const QString& path);

    void SetStatusText(const QString& text);
    QString StatusText() const;

    // Controls -> bytes 1 to 12 of ReportBuffer.
    void CollectDeviceSettings();
    // ReportBuffer -> controls when it holds a settings record; then Apply enabled as asked.
    void ShowDeviceSettings(bool enableApply);
    // Couples the baud field, the clear options and flow control to the Pavex-mode state.
    void ApplyPavexMode(bool on);

    // --- Handlers ----------------------------------------------------------------------------
    void FormCreate(const QStringList& arguments);
    void FormActivate();
    void FormCloseQuery();
    void Close1Click();
    void miUpdateClick();
    void miInfoClick();
    void tsMainMouseDown(Qt::KeyboardModifiers modifiers);
    void edVersionMouseDown(Qt::KeyboardModifiers modifiers);

    // The shared change reaction of the settings controls, and the two with more to do.
    void cbUsedAltKeyClick();
    void cbPavexClick();
    void cbClrMemClick();

    // Device link, settings commands and configuration files.
    void DevListBox1Click();
    void ResetBtnClick();
    void bnApplyClick();
    void miReadConfigClick();
    void miLoadConfigClick();
    void miSaveConfigClick();
    // Hands the chosen update file to the firmware-update window for the selected device.
    void UpdateFirmwareFrom(const QString& fileName);

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateMenu();
    void CreateStatusBar();
    QWidget* CreateWelcomePage();
    QWidget* CreateSettingsPage();
    QWidget* CreateSpecialPage();
    void ConnectSettingsReactions();
    void BuildByteGrid();
    void CenterOnScreen();
    bool IsMenuShortcut(QEvent* event) const;
    bool PressDefaultButton(QEvent* event);

    SettingsControlValues SettingsFromControls() const;
    int EnterCtrlSelection() const;
    void SetBaudText(const QString& text);

    IUserDialogs& Dialogs;
    QGridLayout* ByteGrid = nullptr;
};

}  // namespace quillon
