// Renders the README's picture of the station window at the size of a 1366x768 screen: eight
// emulated adapters on two four-port hubs, some passed, some failed for the reasons a bench sees
// (pulled during the update, held by another program, a block refused), some still updating.
//
//   quillon-station-screenshot FOLDER      on Qt's offscreen platform, saved as
//                                          FOLDER/station-window.png
//   quillon-station-screenshot --on-screen on the system's own platform (Windows under Wine,
//                                          scripts/screenshots-windows.sh): prints "ready" once
//                                          the window shows the states, and stays until closed
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "hid/emulated/EmulatedBus.h"
#include "hid/emulated/QuillonAdapter.h"
#include "station/StationTile.h"
#include "station/StationWindow.h"
#include "tests/HexFiles.h"
#include "ui/AppIcon.h"
#include "ui/RadioGroup.h"

namespace {

using quillon::emu::QuillonAdapter;
using quillon::station::TStationTile;

// Answers every question yes and shows nothing.
class QuietDialogs final : public quillon::IUserDialogs {
  public:
    void ShowMessage(QWidget*, const QString& text) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    bool Confirm(QWidget*, const QString&) override { return true; }
    QString GetOpenFileName(QWidget*, const FileDialogOptions&) override { return {}; }
    QString GetSaveFileName(QWidget*, const FileDialogOptions&) override { return {}; }
};

// Runs the event loop until the condition holds, for at most a minute.
bool WaitFor(const std::function<bool()>& condition) {
    const QDeadlineTimer deadline(60000);
    while (!condition() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return condition();
}

}  // namespace

int main(int argc, char** argv) {
    const bool onScreen = argc > 1 && std::string(argv[1]) == "--on-screen";
    if (!onScreen) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quillon-Station");
    QApplication::setWindowIcon(quillon::MakeApplicationIcon());
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const quillon::testing::TempDir files;
    const std::string update = files.Write(
        "scanner-2.4.hex", quillon::testing::HexFileFor(quillon::testing::PatternImage()));

    quillon::emu::EmulatedBus bus;
    std::unique_ptr<quillon::IHidHandle> otherProgram;
    // What happens to the adapter at each port.
    enum class Fate { Pass, Pulled, Busy, Refused, Slow };
    const std::vector<std::pair<std::string, Fate>> bench = {
        {"3-1.1", Fate::Pass},    {"3-1.2", Fate::Pass}, {"3-1.3", Fate::Pulled},
        {"3-1.4", Fate::Slow},    {"3-2.1", Fate::Busy}, {"3-2.2", Fate::Pass},
        {"3-2.3", Fate::Refused}, {"3-2.4", Fate::Slow},
    };
    std::vector<std::shared_ptr<QuillonAdapter>> slow;
    for (const auto& [port, fate] : bench) {
        auto adapter = std::make_shared<QuillonAdapter>();
        // As long as a real adapter takes, give or take.
        adapter->SetTransferDelay(std::chrono::milliseconds(3));
        switch (fate) {
            case Fate::Pulled:
                adapter->UnplugAtTransfer(150);
                break;
            case Fate::Refused:
                adapter->AnswerStatus(0x01, 2, 12);
                break;
            case Fate::Slow:
                // On screen, slower still: the picture is taken from outside, a while later.
                adapter->SetTransferDelay(
                    std::chrono::milliseconds((slow.empty() ? 60 : 40) * (onScreen ? 3 : 1)));
                slow.push_back(adapter);
                break;
            default:
                break;
        }
        quillon::emu::PlugOptions options;
        options.Location = port;
        const std::string path = quillon::emu::EmulatedBus::PathOf(bus.Plug(adapter, options));
        if (fate == Fate::Busy) {
            if (auto opened = bus.Open(path, quillon::HidAccess::ReadWrite)) {
                otherProgram = std::move(*opened);
                (void)otherProgram->TryLockExclusive();
            }
        }
    }

    QuietDialogs dialogs;
    quillon::station::TStationWindow window(bus, dialogs);
    window.SetRecords({}, QString::fromStdString(files.PathOf("records.db")));
    window.resize(1366, 768);
    window.show();
    window.ChooseFirmwareFile(QString::fromStdString(update));
    window.findChild<quillon::TRadioGroup*>("rgSettings")->SetItemIndex(2);
    window.findChild<QComboBox*>("edBaud")->setCurrentText("9600");
    window.findChild<QComboBox*>("rgEnterCtrl")->setCurrentIndex(1);
    window.SetTakeAdaptersPresent(true);
    window.bnStartClick();

    // Six finished, the two slow ones part of the way through their update.
    const auto finished = [&] {
        int count = 0;
        for (const auto& [port, fate] : bench) {
            TStationTile* tile = window.Tile(QString::fromStdString(port));
            count += tile != nullptr && tile->CurrentState() != TStationTile::State::Running;
        }
        return count;
    };
    bool ok = WaitFor([&] { return finished() == 6 && slow[0]->TransferCount() > 60; });
    QCoreApplication::processEvents();
    if (onScreen) {
        std::printf("%s\n", ok ? "ready" : "the states were not reached");
        std::fflush(stdout);
        // Closing stops the slow ones at once; the program ends with the window.
        return ok ? QApplication::exec() : 1;
    }
    QDir().mkpath(folder);
    const QString path = folder + "/station-window.png";
    ok = window.grab().save(path) && ok;
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));

    window.close();
    WaitFor([&] { return !window.Running(); });
    return ok ? 0 : 1;
}
