// Renders the windows shown in the README on Qt's offscreen platform, against an emulated
// adapter, and saves them as PNG files into the folder named on the command line.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <memory>

#include "app/ApplicationTitle.h"
#include "app/MainForm.h"
#include "device/ui/DeviceList.h"
#include "hid/emulated/EmulatedBus.h"
#include "hid/emulated/QuillonAdapter.h"
#include "info/ui/InfoBox.h"
#include "ui/AppIcon.h"
#include "ui/QtEventLoop.h"
#include "ui/QtUserDialogs.h"

namespace {

bool Save(QWidget& window, const QString& path) {
    const bool saved = window.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

// Runs the event loop until the condition holds, for at most ten seconds.
bool WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000 && !condition(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return condition();
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(quillon::kApplicationTitle);
    QApplication::setWindowIcon(quillon::MakeApplicationIcon());
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);

    quillon::emu::EmulatedBus bus;
    auto adapter = std::make_shared<quillon::emu::QuillonAdapter>();
    bus.Plug(adapter);
    quillon::QtEventLoop loop;
    quillon::QtUserDialogs dialogs;
    quillon::TMainForm mainForm(dialogs, {}, bus, loop);
    mainForm.show();
    mainForm.activateWindow();
    if (!WaitFor([&] { return mainForm.findChild<QComboBox*>("cbDevListBox")->count() > 0; })) {
        std::fprintf(stderr, "the emulated adapter was not listed\n");
        return 1;
    }
    bool ok = Save(mainForm, folder + "/main-window.png");

    // The info window opens modally from the menu; here it is shown directly, with the
    // adapter the main window has selected.
    quillon::TInfoBox infoBox(
        &mainForm, mainForm.findChild<quillon::TDeviceList*>("Panel1")->SelectedDevice());
    infoBox.show();
    WaitFor([&] { return infoBox.isVisible(); });
    QCoreApplication::processEvents();
    ok = Save(infoBox, folder + "/info-window.png") && ok;
    infoBox.close();
    return ok ? 0 : 1;
}
