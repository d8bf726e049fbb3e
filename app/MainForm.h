#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/UserDialogs.h"
#include "config/DeviceSettings.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDialog;
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

class IEventLoop;
class IHidPlatform;
class THidDevice;
class THidDeviceController;
class THistoryFollower;
class THistoryModel;
class TRadioGroup;

// The program's one long-lived window: device list, the welcome, settings and hidden raw-report
// pages, the menu and the status line. Its handlers are spread over the folders of the
// subsystems they serve (settings page in config/, device link in device/).
class TMainForm : public QMainWindow {
    Q_OBJECT

  public:
    // arguments: the command-line parameters, program name excluded.
    TMainForm(IUserDialogs& dialogs, const QStringList& arguments, QWidget* parent = nullptr);
    // The same with the HID device controller: the platform and the loop outlive the window.
    TMainForm(IUserDialogs& dialogs, const QStringList& arguments, IHidPlatform& platform,
              IEventLoop& loop, QWidget* parent = nullptr);
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
    // The device the last report operation addressed; forgotten at every device-list rebuild,
    // which destroys the device objects.
    THidDevice* CurrentDevice = nullptr;
    // Whether the last feature transfer of ReadDeviceReport or WriteDeviceReport succeeded.
    bool LastTransferOk = false;
    // Whether the last write was left out because another program is writing to the adapter.
    bool AdapterBusy = false;
    // What the window says then.
    static QString AdapterBusyMessage();

    // Absent in a window made without the HID layer.
    std::unique_ptr<THidDeviceController> HidCtl;

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
    THistoryModel* History = nullptr;
    THistoryFollower* HistoryFollower = nullptr;

    // Shown on the settings page, in place of the settings, while the adapter in use may not
    // be read and written.
    QLabel* lbAccessAdvice = nullptr;

    // --- Operations --------------------------------------------------------------------------
    // The remembered configuration-file path: the user's settings store, else the machine's.
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

    // The device of the selected list entry, or nullptr.
    THidDevice* SelectedDevice() const;
    // Its feature report length as far as ReportBuffer holds it (0 for no device).
    static size_t FeatureLength(THidDevice* device);
    // Report exchange through ReportBuffer with the selected device; LastTransferOk tells how
    // the transfer went. ReadDeviceReport is false and WriteDeviceReport 0 without a device.
    bool ReadDeviceReport(uint8_t reportId);
    int WriteDeviceReport(uint8_t reportId);
    bool DeviceGetFeature(THidDevice* device, uint8_t* buffer, size_t length);
    bool DeviceSetFeature(THidDevice* device, const uint8_t* buffer, size_t length);
    void AddHistoryLine(const QString& line);

    // Configuration files; LoadConfigFile is true when the file was read into ReportBuffer.
    bool LoadConfigFile(const QString& path);
    void SaveConfigFile(const QString& path);
    static QString ShortenPathForStatus(const QString& path);

    // Shows a child window modally. Its device must survive a device change while it is open,
    // so a rebuild of the device list is held back until the last such window has closed.
    int ShowChildModally(QDialog& child);
    bool DeviceListRebuildDeferred() const { return RebuildDeferred; }

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

    // Raw-report page.
    void ReadBtnClick();
    void WriteBtnClick();
    void edInhibitIDChange();

    // Events of HidCtl.
    void HidCtlDeviceChange(THidDeviceController* Sender);
    bool HidCtlEnumerate(THidDevice* HidDev, int Idx);
    void ShowRead(THidDevice* HidDev, uint8_t ReportID, const uint8_t* Data, uint16_t Size);
    void HidCtlDeviceDataError(THidDevice* HidDev, uint32_t Error);

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
    void CreateDeviceLink();
    void ConnectHidController();
    void RebuildDeviceList();
    void ReleaseListedDevices();
    void ReadSettingsAtListing();
    void ShowAccessProblem(THidDevice* device);
    void HideAccessProblem();
    // ShowChildModally in two steps, for a caller that holds the device while the child is open.
    int ExecChild(QDialog& child);
    void RunHeldBackRebuild();
    void BuildByteGrid();
    void CenterOnScreen();
    bool IsMenuShortcut(QEvent* event) const;
    bool PressDefaultButton(QEvent* event);

    SettingsControlValues SettingsFromControls() const;
    int EnterCtrlSelection() const;
    void SetBaudText(const QString& text);

    IUserDialogs& Dialogs;
    QGridLayout* ByteGrid = nullptr;
    // The entries of cbDevListBox own their checked-out devices (nullptr: check-out failed).
    std::vector<std::unique_ptr<THidDevice>> ListedDevices;
    // Child windows shown modally right now, and whether a device change waits for them.
    int ModalChildren = 0;
    bool RebuildDeferred = false;
};

}  // namespace quillon
