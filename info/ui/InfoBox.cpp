#include "info/ui/InfoBox.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include "hid/HidDevice.h"
#include "info/FileTypeName.h"

namespace quillon {

namespace {

// Release notes are a page or two; a larger file is shown only up to here.
constexpr qint64 kMaxReleaseNotesBytes = 1 << 20;

QString HexWord(uint16_t value) {
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), text.size());
}

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

void Enlarge(QLabel* label) {
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 1.6);
    font.setBold(true);
    label->setFont(font);
}

}  // namespace

TInfoBoxSources TInfoBoxSources::Default() {
    TInfoBoxSources sources;
    sources.ProgramPath = QCoreApplication::applicationFilePath();
    sources.ReleaseNotesPaths = {
        QStringLiteral("Release.txt"),
        QCoreApplication::applicationDirPath() +
            QStringLiteral("/../share/quillon-utility/Release.txt"),
#ifdef _WIN32
        // A Windows installation keeps everything in the program's own folder.
        QCoreApplication::applicationDirPath() + QStringLiteral("/Release.txt"),
#else
        QStringLiteral(QUILLON_INSTALLED_RELEASE_NOTES),
#endif
    };
    return sources;
}

TInfoBox::TInfoBox(QWidget* parent, THidDevice* device, const TInfoBoxSources& sources)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      device_(device) {
    setObjectName(QStringLiteral("InfoBox"));
    setWindowTitle(QStringLiteral("Info"));
    BuildControls();
    FormCreate(sources);

    // Fixed at the size the contents ask for, centred on the screen rather than the caller.
    adjustSize();
    setFixedSize(size());
    QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void TInfoBox::BuildControls() {
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);

    ProgramIcon = AddLabel(Panel1, "ProgramIcon", QString());
    lbProductName = AddLabel(Panel1, "lbProductName", QStringLiteral("Software-Title"));
    lbVersion = AddLabel(Panel1, "lbVersion", QStringLiteral("x.xx.xx"));
    Enlarge(lbProductName);
    Enlarge(lbVersion);
    lbVersion->installEventFilter(this);

    lbCopyright = AddLabel(Panel1, "lbCopyright", QString());
    lbComments = AddLabel(Panel1, "lbComments", QString());
    lbTrademark = AddLabel(Panel1, "lbTrademark", QString());
    for (QLabel* label : {lbCopyright, lbComments, lbTrademark}) {
        label->setAlignment(Qt::AlignCenter);
    }
    QPalette navy = lbComments->palette();
    navy.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0x80));
    lbComments->setPalette(navy);
    lbTrademark->setWordWrap(true);

    auto* titleColumn = new QVBoxLayout;
    titleColumn->addWidget(lbProductName);
    titleColumn->addWidget(lbVersion);
    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(ProgramIcon, 0, Qt::AlignTop);
    titleRow->addSpacing(12);
    titleRow->addLayout(titleColumn, 1);

    auto* adapter = new QFormLayout;
    auto addAdapterRow = [&](const char* caption, const char* name) {
        QLabel* value = AddLabel(Panel1, name, QStringLiteral("-"));
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        adapter->addRow(QString::fromLatin1(caption), value);
        return value;
    };
    VendorName = addAdapterRow("Vendor name:", "VendorName");
    ProductName = addAdapterRow("Product name:", "ProductName");
    Vid = addAdapterRow("VID:", "Vid");
    Pid = addAdapterRow("PID:", "Pid");
    Vers = addAdapterRow("Version:", "Vers");

    auto* separator = new QFrame(Panel1);
    separator->setFrameStyle(QFrame::HLine | QFrame::Sunken);

    auto* panelLayout = new QVBoxLayout(Panel1);
    panelLayout->addLayout(titleRow);
    panelLayout->addSpacing(8);
    panelLayout->addWidget(lbCopyright);
    panelLayout->addWidget(lbComments);
    panelLayout->addWidget(lbTrademark);
    panelLayout->addWidget(separator);
    panelLayout->addLayout(adapter);

    // Not in the layout: when shown it lies over everything else on the panel.
    VersionsInfo = new QPlainTextEdit(Panel1);
    VersionsInfo->setObjectName(QStringLiteral("VersionsInfo"));
    VersionsInfo->setReadOnly(true);
    VersionsInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    VersionsInfo->hide();

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &TInfoBox::OKButtonClick);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Panel1);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);
    Panel1->setMinimumWidth(300);
}

void TInfoBox::FormCreate(const TInfoBoxSources& sources) {
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull()) {
        ProgramIcon->setPixmap(icon.pixmap(48, 48));
    }

    version_ = ReadFileVersionInfo(sources.ProgramPath.toStdString(), FileTypeName);
    lbProductName->setText(FromUtf8(version_.ProductName));
    lbVersion->setText(FromUtf8(ShortVersion(version_.FileVersion)));
    lbCopyright->setText(FromUtf8(version_.LegalCopyright));
    lbComments->setText(FromUtf8(version_.Comments));
    lbTrademark->setText(FromUtf8(version_.LegalTrademarks));

    for (const QString& path : sources.ReleaseNotesPaths) {
        // Only a plain file: opening a named pipe would block the window until someone writes.
        if (!QFileInfo(path).isFile()) {
            continue;
        }
        QFile file(path);
        if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            VersionsInfo->setPlainText(QString::fromUtf8(file.read(kMaxReleaseNotesBytes)));
            break;
        }
    }
}

void TInfoBox::FormShow() {
    if (layout() != nullptr) {
        layout()->activate();
    }
    VersionsInfo->hide();
    VersionsInfo->setGeometry(Panel1->rect());
    if (device_ == nullptr) {
        return;
    }
    VendorName->setText(QString::fromStdU16String(device_->ManufacturerString()));
    ProductName->setText(QString::fromStdU16String(device_->ProductString()));
    Vid->setText(HexWord(device_->Identity.VendorID));
    Pid->setText(HexWord(device_->Identity.ProductID));
    Vers->setText(HexWord(device_->Identity.VersionNumber));
}

void TInfoBox::lbVersionMouseDown(Qt::MouseButton button) {
    if (button != Qt::RightButton) {
        return;
    }
    VersionsInfo->show();
    VersionsInfo->raise();
}

void TInfoBox::OKButtonClick() {
    accept();
}

void TInfoBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The window manager's own re-showings (restoring from minimised) change nothing.
    if (!event->spontaneous()) {
        FormShow();
    }
}

bool TInfoBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lbVersion && event->type() == QEvent::MouseButtonPress) {
        lbVersionMouseDown(static_cast<QMouseEvent*>(event)->button());
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace quillon
