#include "app/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QStackedWidget>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/CfgPathStore.h"
#include "app/StartupArguments.h"
#include "config/ui/SettingsPage.h"
#include "device/ui/DeviceList.h"
#include "device/ui/RawReportPage.h"
#include "device/ui/ReportExchange.h"
#include "hid/HidDeviceController.h"

namespace quillon {

namespace {

constexpr int kClientWidth = 499;
constexpr int kClientHeight = 336;  // device panel, pages and status line, without the menu
// The design minimum of 440 x 394 is the outer size on the original desktop, whose frame
// took 16 px across and 38 px down (borders and caption); Qt's minimum excludes the frame.
constexpr int kMinimumWidth = 440 - 16;
constexpr int kMinimumHeight = 394 - 38;

bool ShiftAndAltHeld(Qt::KeyboardModifiers modifiers) {
    return modifiers.testFlag(Qt::ShiftModifier) && modifiers.testFlag(Qt::AltModifier);
}

}  // namespace

TMainForm::TMainForm(IUserDialogs& dialogs, const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent), Dialogs(dialogs) {
    setObjectName("MainForm");
    setWindowTitle("Morvane Quillon - Utility");
    QFont windowFont = font();
    windowFont.setPixelSize(13);
    setFont(windowFont);
    QPalette silver = palette();
    silver.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    // The styles' own grey for disabled text nearly vanishes on silver; the clear options of a
    // record without Pavex mode must stay legible while disabled.
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        silver.setColor(QPalette::Disabled, role, QColor(0x6D, 0x6D, 0x6D));
    }
    setPalette(silver);

    CreateMenu();

    auto* client = new QWidget(this);
    auto* clientLayout = new QVBoxLayout(client);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    clientLayout->setSpacing(0);

    Devices = new TDeviceList(client);
    clientLayout->addWidget(Devices);
    Exchange = std::make_unique<TReportExchange>(*Devices, ReportBuffer);

    PageControl = new QStackedWidget(client);
    PageControl->setObjectName("PageControl");
    PageControl->addWidget(CreateWelcomePage());
    tsMain = new TSettingsPage(ReportBuffer, *Exchange, Dialogs, PageControl);
    PageControl->addWidget(tsMain);
    tsSpecial = new TRawReportPage(*Devices, *Exchange, ReportBuffer, PageControl);
    PageControl->addWidget(tsSpecial);
    PageControl->setCurrentWidget(tsMain);
    clientLayout->addWidget(PageControl, 1);
    setCentralWidget(client);

    CreateStatusBar();

    OpenDialog.filter = "Update File (intel)|*.hex|All|*.*";

    ConnectPages();
    // Sees the presses on the pages, and lets the menu's short-cuts win over the edit fields'
    // own keys (Ctrl+C closes the window even from an edit field).
    qApp->installEventFilter(this);

    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    // Larger fonts than the design's may need more room than the design minimum.
    setMinimumSize(minimumSizeHint().expandedTo(QSize(kMinimumWidth, kMinimumHeight)));
    CenterOnScreen();

    FormCreate(arguments);
}

TMainForm::TMainForm(IUserDialogs& dialogs, const QStringList& arguments, IHidPlatform& platform,
                     IEventLoop& loop, QWidget* parent)
    : TMainForm(dialogs, arguments, parent) {
    Devices->AttachController(platform, loop);
    ConnectHidController();
}

TMainForm::~TMainForm() {
    // The devices go back to the controller before it goes; their readers may still hand over
    // a report or two while they stop, which the emptied list then ignores.
    Devices->DetachController();
    // Taking the children down makes some of them signal (an edit field losing the focus);
    // by then this window is no longer one to react.
    qApp->removeEventFilter(this);
    for (QObject* child : findChildren<QObject*>()) {
        disconnect(child, nullptr, this, nullptr);
    }
}

void TMainForm::CreateMenu() {
    menuBar()->setObjectName("MainMenu1");
    File1 = menuBar()->addMenu("&File");
    File1->setObjectName("File1");
    const auto addItem = [this](const char* name, const QString& caption, Qt::Key key) {
        auto* item = File1->addAction(caption);
        item->setObjectName(name);
        if (key != Qt::Key_unknown) {
            item->setShortcut(QKeySequence(Qt::CTRL | key));
        }
        return item;
    };
    miUpdate = addItem("miUpdate", "&Update Firmware", Qt::Key_U);
    miLoadConfig = addItem("miLoadConfig", "&Load Config", Qt::Key_L);
    miSaveConfig = addItem("miSaveConfig", "&Save Config", Qt::Key_S);
    miReadConfig = addItem("miReadConfig", "&Read Config", Qt::Key_R);
    Close1 = addItem("Close1", "&Close", Qt::Key_C);

    miInfo = menuBar()->addAction("&Info");
    miInfo->setObjectName("miInfo");

    connect(miUpdate, &QAction::triggered, this, &TMainForm::miUpdateClick);
    connect(Close1, &QAction::triggered, this, &TMainForm::Close1Click);
    connect(miInfo, &QAction::triggered, this, &TMainForm::miInfoClick);
}

QWidget* TMainForm::CreateWelcomePage() {
    tsWellcome = new QWidget(PageControl);
    tsWellcome->setObjectName("tsWellcome");
    tsWellcome->setWindowTitle("Wellcome");
    auto* layout = new QVBoxLayout(tsWellcome);
    layout->setContentsMargins(8, 89, 8, 64);
    auto* text = new QLabel("Connect the USB device and press the config button.", tsWellcome);
    text->setObjectName("lbWellcome");
    QFont font("Arial");
    font.setPixelSize(27);
    text->setFont(font);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignCenter);
    layout->addWidget(text);
    return tsWellcome;
}

void TMainForm::CreateStatusBar() {
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName("StatusBar");
    StatusPanel = new QLabel(StatusBar);
    StatusPanel->setObjectName("StatusPanel");
    StatusBar->addWidget(StatusPanel, 1);
    setStatusBar(StatusBar);
}

void TMainForm::CenterOnScreen() {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = geometry();
        area.moveCenter(screen->availableGeometry().center());
        move(area.topLeft());
    }
}

void TMainForm::SetStatusText(const QString& text) {
    StatusPanel->setText(text);
}

QString TMainForm::StatusText() const {
    return StatusPanel->text();
}

QString TMainForm::ReadCfgPath() const {
    return ReadStoredCfgPath();
}

void TMainForm::WriteCfgPath(const QString& path) {
    WriteStoredCfgPath(path);
}

void TMainForm::FormCreate(const QStringList& arguments) {
    StartupConfigGiven = false;
    std::vector<std::string> parameters;
    for (const QString& argument : arguments) {
        parameters.push_back(argument.toStdString());
    }
    const StartupConfig config = JoinStartupArguments(parameters);
    if (config.Given) {
        StartupConfigPath = QString::fromStdString(config.Path);
        StartupConfigGiven = true;
    }
}

std::optional<QString> TMainForm::StartupConfigFile() const {
    if (!StartupConfigGiven) {
        return std::nullopt;
    }
    return StartupConfigPath;
}

void TMainForm::FormActivate() {
    tsSpecial->WindowActivated();
}

void TMainForm::FormCloseQuery() {
    tsSpecial->ResetBtnClick();
}

void TMainForm::Close1Click() {
    close();
}

void TMainForm::miUpdateClick() {
    Dialogs.UseWorkingFolderByDefault();
    const QString fileName = Dialogs.GetOpenFileName(this, OpenDialog);
    if (fileName.isEmpty()) {
        return;
    }
    UpdateFirmwareFrom(fileName);
}

void TMainForm::tsMainMouseDown(Qt::KeyboardModifiers modifiers) {
    if (!ShiftAndAltHeld(modifiers)) {
        return;
    }
    QWidget* other = tsMain;
    if (PageControl->currentWidget() == tsMain) {
        other = tsSpecial;
    }
    PageControl->setCurrentWidget(other);
}

bool TMainForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        FormActivate();
    }
    return QMainWindow::event(event);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    FormCloseQuery();
    event->accept();
}

bool TMainForm::IsMenuShortcut(QEvent* event) const {
    const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
    for (const QAction* item : {miUpdate, miLoadConfig, miSaveConfig, miReadConfig, Close1}) {
        if (item->isEnabled() && item->shortcut() == pressed) {
            return true;
        }
    }
    return false;
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this && IsMenuShortcut(event)) {
            event->ignore();
            return true;
        }
    } else if (event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        // Only the page's own background counts: a press on any control of the page, labels
        // and group frames included, belongs to that control.
        if ((watched == tsMain || watched == tsSpecial) &&
            static_cast<QWidget*>(watched)->childAt(press->position().toPoint()) == nullptr) {
            tsMainMouseDown(press->modifiers());
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace quillon
