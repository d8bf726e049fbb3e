#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "config/DeviceSettings.h"
#include "ui/UserDialogs.h"

class QAction;
class QLabel;
class QMenu;
class QStackedWidget;
class QStatusBar;

namespace quillon {

class IEventLoop;
class IHidPlatform;
class TDeviceList;
class TReportExchange;
class TSettingsPage;
class TRawReportPage;

// The program's one long-lived window: it owns the device list, the welcome, settings and
// hidden raw-report pages, the menu and the status line, and wires them to one another. The
// pages keep their own controls and handlers in the folders of the subsystems they serve.
class TMainForm : public QMainWindow {
    Q_OBJECT

  public:
    // arguments: the command-line parameters, program name excluded.
    TMainForm(IUserDialogs& dialogs, const QStringList& arguments, QWidget* parent = nullptr);
    // The same with the HID device controller: the platform and the loop outlive the window.
    TMainForm(IUserDialogs& dialogs, const QStringList& arguments, IHidPlatform& platform,
              IEventLoop& loop, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The remembered configuration-file path: the user's settings store, else the machine's.
    QString ReadCfgPath() const;
    void WriteCfgPath(const QString& path);

    void SetStatusText(const QString& text);
    QString StatusText() const;

    // The configuration file named on the command line, if any.
    std::optional<QString> StartupConfigFile() const;

    // The window's one report buffer, which the settings page and the raw-report page share.
    quillon::ReportBuffer& SharedReportBuffer() { return ReportBuffer; }

    // --- Handlers ----------------------------------------------------------------------------
    void FormCreate(const QStringList& arguments);
    void FormActivate();
    void FormCloseQuery();
    void Close1Click();
    void miUpdateClick();
    void miInfoClick();
    void tsMainMouseDown(Qt::KeyboardModifiers modifiers);
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
    void ConnectPages();
    void ConnectHidController();
    void DeviceListEmptied();
    void DeviceListRebuilt();
    void EnableDeviceCommands(bool enabled);
    void CenterOnScreen();
    bool IsMenuShortcut(QEvent* event) const;

    IUserDialogs& Dialogs;
    quillon::ReportBuffer ReportBuffer{};
    // Set from the command line: the configuration file shown at every listing of an adapter.
    bool StartupConfigGiven = false;
    QString StartupConfigPath;
    IUserDialogs::FileDialogOptions OpenDialog;

    TDeviceList* Devices = nullptr;
    std::unique_ptr<TReportExchange> Exchange;
    QStackedWidget* PageControl = nullptr;
    QWidget* tsWellcome = nullptr;
    TSettingsPage* tsMain = nullptr;
    TRawReportPage* tsSpecial = nullptr;
    QStatusBar* StatusBar = nullptr;
    QLabel* StatusPanel = nullptr;
    QMenu* File1 = nullptr;
    QAction* miUpdate = nullptr;
    QAction* miLoadConfig = nullptr;
    QAction* miSaveConfig = nullptr;
    QAction* miReadConfig = nullptr;
    QAction* Close1 = nullptr;
    QAction* miInfo = nullptr;
};

}  // namespace quillon
