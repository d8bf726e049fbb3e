#include "app/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/CfgPathStore.h"
#include "app/StartupArguments.h"
#include "hid/HidDevice.h"
#include "hid/HidDeviceController.h"

namespace quillon {

namespace {

constexpr int ClientWidth = 499;
constexpr int ClientHeight = 336;  // device panel, pages and status line, without the menu
// The design minimum of 440 x 394 is the outer size on the original desktop, whose frame
// took 16 px across and 38 px down (borders and caption); Qt's minimum excludes the frame.
constexpr int MinimumWidth = 440 - 16;
constexpr int MinimumHeight = 394 - 38;
constexpr int DevicePanelHeight = 41;

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

    Panel1 = new QWidget(client);
    Panel1->setObjectName("Panel1");
    Panel1->setFixedHeight(DevicePanelHeight);
    auto* panelLayout = new QHBoxLayout(Panel1);
    panelLayout->setContentsMargins(8, 8, 8, 8);
    cbDevListBox = new QComboBox(Panel1);
    cbDevListBox->setObjectName("cbDevListBox");
    cbDevListBox->setEnabled(false);
    // Nearly as wide as the window (481 of 499 px in the design), and narrower with it.
    cbDevListBox->setMinimumWidth(120);
    cbDevListBox->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    panelLayout->addWidget(cbDevListBox);
    clientLayout->addWidget(Panel1);

    PageControl = new QStackedWidget(client);
    PageControl->setObjectName("PageControl");
    PageControl->addWidget(CreateWelcomePage());
    PageControl->addWidget(CreateSettingsPage());
    PageControl->addWidget(CreateSpecialPage());
    PageControl->setCurrentWidget(tsMain);
    clientLayout->addWidget(PageControl, 1);
    setCentralWidget(client);

    CreateStatusBar();

    OpenDialog.filter = "Update File (intel)|*.hex|All|*.*";
    OpenConfigDialog.filter = "Config File *.cfg|*.cfg|All Files *.*|*.*";
    OpenConfigDialog.defaultSuffix = "cfg";
    SaveConfigDialog.title = "Save Config";
    SaveConfigDialog.filter = "Config Files *.cfg|*.cfg|All Files *.*|*.*";
    SaveConfigDialog.defaultSuffix = "cfg";
    SaveConfigDialog.confirmOverwrite = true;

    ConnectSettingsReactions();
    CreateDeviceLink();
    // Sees the presses on the pages and on the version label, and lets the menu's short-cuts
    // win over the edit fields' own keys (Ctrl+C closes the window even from an edit field).
    qApp->installEventFilter(this);

    resize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
    // Larger fonts than the design's may need more room than the design minimum.
    setMinimumSize(minimumSizeHint().expandedTo(QSize(MinimumWidth, MinimumHeight)));
    CenterOnScreen();

    FormCreate(arguments);
}

TMainForm::TMainForm(IUserDialogs& dialogs, const QStringList& arguments, IHidPlatform& platform,
                     IEventLoop& loop, QWidget* parent)
    : TMainForm(dialogs, arguments, parent) {
    HidCtl = std::make_unique<THidDeviceController>(platform, loop);
    ConnectHidController();
}

TMainForm::~TMainForm() {
    // The devices go back to the controller before it goes; their readers may still hand over
    // a report or two while they stop, which the emptied list then ignores.
    ReleaseListedDevices();
    HidCtl.reset();
    // Taking the children down makes some of them signal (an edit field losing the focus);
    // by then this window is no longer one to react.
    qApp->removeEventFilter(this);
    for (QObject* child : findChildren<QObject*>()) {
        disconnect(child, nullptr, this, nullptr);
    }
}

void TMainForm::CreateMenu() {
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
    connect(miLoadConfig, &QAction::triggered, this, &TMainForm::miLoadConfigClick);
    connect(miSaveConfig, &QAction::triggered, this, &TMainForm::miSaveConfigClick);
    connect(miReadConfig, &QAction::triggered, this, &TMainForm::miReadConfigClick);
    connect(Close1, &QAction::triggered, this, &TMainForm::Close1Click);
    connect(miInfo, &QAction::triggered, this, &TMainForm::miInfoClick);
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
    SuppressModified = true;
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

void TMainForm::FormActivate() {
    InhibitID = 0xFF;
    if (ByteEdits.empty()) {
        BuildByteGrid();
        DevListBox1Click();
    }
}

void TMainForm::FormCloseQuery() {
    ResetBtnClick();
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
    PageControl->setCurrentWidget(PageControl->currentWidget() == tsMain ? tsSpecial : tsMain);
}

void TMainForm::edVersionMouseDown(Qt::KeyboardModifiers modifiers) {
    if (ShiftAndAltHeld(modifiers)) {
        edVersion->setEnabled(true);
    }
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

// Apply is the settings page's default button: Enter that no control of the page wanted
// presses it while it is enabled, as a dialog's default button would be.
bool TMainForm::PressDefaultButton(QEvent* event) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    const auto modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (!enter || modifiers != Qt::NoModifier || !bnApply->isEnabled() || !bnApply->isVisible()) {
        return false;
    }
    bnApply->click();
    return true;
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this && IsMenuShortcut(event)) {
            event->ignore();
            return true;
        }
    } else if (event->type() == QEvent::KeyPress && watched == tsMain) {
        if (PressDefaultButton(event)) {
            return true;
        }
    } else if (event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        if (watched == Label5) {
            edVersionMouseDown(press->modifiers());
            return true;
        }
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
