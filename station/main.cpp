#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <memory>

#include "hid/HidPlatformFactory.h"
#include "station/StationWindow.h"
#include "ui/AppIcon.h"
#include "ui/QtUserDialogs.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quillon-Station");
    QApplication::setApplicationVersion(QUILLON_VERSION);
    QApplication::setWindowIcon(quillon::MakeApplicationIcon());

    // A shortcut on the bench's desktop can carry a product's whole plan.
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "The provisioning station: every Quillon adapter plugged in is updated, configured, "
        "checked and counted, one tile per USB port.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption firmware("firmware", "The update file every adapter gets.",
                                      "FILE.hex");
    const QCommandLineOption config("config", "The configuration file every adapter gets.",
                                    "FILE.cfg");
    const QCommandLineOption allPresent("all-present",
                                        "Take the adapters already plugged in as well.");
    const QCommandLineOption log("log", "Append each adapter's record to this CSV file.",
                                 "FILE.csv");
    const QCommandLineOption recordsOption(
        "records", "Keep the records in this station file, or forward them to a line's server.",
        "PATH|URL");
    const QCommandLineOption start("start", "Start at once, as the Start button does.");
    parser.addOptions({firmware, config, allPresent, log, recordsOption, start});
    parser.process(application);

    quillon::QtUserDialogs dialogs;
    // The devices the system reports, with emulated adapters beside them when QUILLON_EMULATE
    // asks for some. The platform outlives the window and the station's threads.
    const std::unique_ptr<quillon::IHidPlatform> platform = quillon::CreateHidPlatform();
    quillon::station::TStationWindow window(*platform, dialogs);
    if (parser.isSet(firmware)) {
        window.ChooseFirmwareFile(parser.value(firmware));
    }
    if (parser.isSet(config)) {
        window.ChooseConfigFile(parser.value(config));
    }
    window.SetTakeAdaptersPresent(parser.isSet(allPresent));
    window.SetLogFile(parser.value(log));
    window.SetRecords(parser.value(recordsOption));
    window.show();
    if (parser.isSet(start)) {
        QTimer::singleShot(0, &window, &quillon::station::TStationWindow::bnStartClick);
    }
    return application.exec();
}
