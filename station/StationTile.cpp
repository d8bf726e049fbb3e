#include "station/StationTile.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "device/HexText.h"
#include "device/ReportText.h"
#include "firmware/FirmwareImage.h"
#include "hid/AccessAdvice.h"

namespace quillon::station {
namespace {

QString IdentityText(const HidIdentity& identity) {
    return QString::fromStdString(FourHexDigits(identity.VendorID) + ":" +
                                  FourHexDigits(identity.ProductID) + " v" +
                                  FourHexDigits(identity.VersionNumber));
}

QString SecondsText(std::chrono::milliseconds took) {
    return QString::number(static_cast<double>(took.count()) / 1000, 'f', 1) + " s";
}

// The bar's position for a step: the update's blocks first, then writing and reading back.
int Position(const LiveJob& job, bool updates) {
    const int updateUnits = updates ? firmware::kBlockCount : 0;
    switch (job.Step) {
        case ProvisionProgress::Opening:
            return 0;
        case ProvisionProgress::Updating:
            return job.Block;
        case ProvisionProgress::WritingSettings:
            return updateUnits;
        default:
            return updateUnits + 1;
    }
}

QLabel* NewLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    return label;
}

}  // namespace

TStationTile::TStationTile(const QString& port, QWidget* parent) : QFrame(parent), port_(port) {
    setObjectName("tile:" + port);
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);

    lbPort = NewLabel(this, "lbPort");
    QFont bold = font();
    bold.setBold(true);
    lbPort->setFont(bold);
    lbPort->setText(port);
    lbPort->setToolTip(port);
    lbPort->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lbAdapter = NewLabel(this, "lbAdapter");
    lbAdapter->setWordWrap(true);
    lbStep = NewLabel(this, "lbStep");
    jobBar_ = new QProgressBar(this);
    jobBar_->setObjectName("pbJob");
    jobBar_->setTextVisible(false);
    lbSeconds = NewLabel(this, "lbSeconds");
    lbSeconds->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lbResult = NewLabel(this, "lbResult");
    // Read from across the bench: large, in proportion to the system's font.
    QFont large = font();
    large.setBold(true);
    large.setPointSizeF(font().pointSizeF() * 2.2);
    lbResult->setFont(large);
    lbResult->setAlignment(Qt::AlignCenter);
    lbReason = NewLabel(this, "lbReason");
    lbReason->setWordWrap(true);
    lbReason->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(3);
    layout->addWidget(lbPort);
    layout->addWidget(lbAdapter);
    layout->addWidget(lbStep);
    auto* progress = new QHBoxLayout;
    progress->addWidget(jobBar_, 1);
    progress->addWidget(lbSeconds);
    layout->addLayout(progress);
    layout->addWidget(lbResult);
    layout->addWidget(lbReason);
    layout->addStretch(1);
}

void TStationTile::BeginJob(const QString& node, const HidIdentity& identity, int units) {
    ++jobs_;
    lbAdapter->setText(IdentityText(identity));
    lbPort->setToolTip(port_ == node ? node : port_ + "\n" + node);
    lbStep->setText(QString::fromStdString(ProgressText(ProvisionProgress::Opening, 0)));
    jobBar_->setRange(0, std::max(units, 1));
    jobBar_->setValue(0);
    lbSeconds->setText(SecondsText(std::chrono::milliseconds(0)));
    lbResult->clear();
    lbReason->clear();
    SetState(State::Running);
}

void TStationTile::ShowProgress(const LiveJob& job, bool updates) {
    if (state_ != State::Running) {
        return;
    }
    lbSeconds->setText(SecondsText(job.Running));
    if (job.Step == ProvisionProgress::Done) {
        return;  // its result, on its way, tells how far it got
    }
    lbStep->setText(QString::fromStdString(ProgressText(job.Step, job.Block)));
    jobBar_->setValue(std::min(Position(job, updates), jobBar_->maximum()));
}

void TStationTile::ShowResult(const ProvisionRecord& record) {
    const QString texts = (QString::fromStdU16String(record.Manufacturer) + " " +
                           QString::fromStdU16String(record.Product))
                              .trimmed();
    lbAdapter->setText((texts.isEmpty() ? QString() : texts + "\n") +
                       IdentityText(record.Identity));
    lbSeconds->setText(SecondsText(record.Took));
    if (record.Passed) {
        lbStep->setText("done");
        jobBar_->setValue(jobBar_->maximum());
        lbResult->setText("PASS");
        SetState(State::Passed);
        return;
    }
    QString reason = QString::fromStdString(record.Reason);
    if (record.Pulled) {
        lbStep->setText("pulled during the job");
        reason = "The adapter was pulled during its job: " + reason;
    } else {
        lbStep->setText("failed");
    }
    if (record.FailureKind == AdapterError::NoPermission) {
        reason += "\n" + QString::fromStdString(MissingAccessAdvice(record.Path)).trimmed();
    }
    lbResult->setText("FAIL");
    lbReason->setText(reason);
    SetState(State::Failed);
}

// A node name where the system tells no port can be long (a device path on Windows): its middle
// gives way to the tile's width.
void TStationTile::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    const QMargins margins = layout()->contentsMargins();
    lbPort->setText(lbPort->fontMetrics().elidedText(
        port_, Qt::ElideMiddle, contentsRect().width() - margins.left() - margins.right()));
}

void TStationTile::SetState(State state) {
    state_ = state;
    QPalette colours = parentWidget() != nullptr ? parentWidget()->palette() : QPalette();
    if (state == State::Passed) {
        colours.setColor(QPalette::Window, QColor(0x2e, 0x9d, 0x3a));
        colours.setColor(QPalette::WindowText, Qt::white);
    } else if (state == State::Failed) {
        colours.setColor(QPalette::Window, QColor(0xc6, 0x28, 0x28));
        colours.setColor(QPalette::WindowText, Qt::white);
    }
    setPalette(colours);
}

QString TStationTile::ResultText() const {
    return lbResult->text();
}

QString TStationTile::StepText() const {
    return lbStep->text();
}

QString TStationTile::ReasonText() const {
    return lbReason->text();
}

}  // namespace quillon::station
