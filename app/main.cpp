#include <QApplication>
#include <string>
#include <vector>

#include "app/AppIcon.h"
#include "app/ApplicationTitle.h"
#include "app/MainForm.h"
#include "app/QtEventLoop.h"
#include "app/QtUserDialogs.h"
#include "app/StartupArguments.h"
#include "cli/QtLogSink.h"
#include "hid/HidPlatformFactory.h"
#include "hid/Log.h"

int main(int argc, char** argv) {
    // Before QApplication takes its own options out of argv.
    const std::vector<std::string> given = quillon::ParametersAsGiven(argc, argv);
    QApplication application(argc, argv);
    QApplication::setApplicationName(quillon::ApplicationTitle);
    QApplication::setWindowIcon(quillon::MakeApplicationIcon());
    // The HID layer's diagnostics go to Qt's logging categories, off unless switched on.
    quillon::SetLogSink(quillon::QtLogSink());

    quillon::QtUserDialogs dialogs;
    // The devices the system reports, with emulated adapters beside them when QUILLON_EMULATE
    // asks for some. Both the platform and the loop outlive the window and its controller.
    const std::unique_ptr<quillon::IHidPlatform> platform = quillon::CreateHidPlatform();
    quillon::QtEventLoop loop;
    QStringList parameters;
    for (const std::string& parameter : given) {
        parameters << QString::fromLocal8Bit(parameter);
    }
    quillon::TMainForm mainForm(dialogs, parameters, *platform, loop);
    mainForm.show();
    return application.exec();
}
