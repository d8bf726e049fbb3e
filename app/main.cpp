#include <QApplication>

#include "app/AppIcon.h"
#include "app/ApplicationTitle.h"
#include "app/MainForm.h"
#include "app/QtEventLoop.h"
#include "app/QtUserDialogs.h"
#include "cli/QtLogSink.h"
#include "hid/HidPlatformFactory.h"
#include "hid/Log.h"

int main(int argc, char** argv) {
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
    QStringList parameters = QApplication::arguments();
    parameters.removeFirst();
    quillon::TMainForm mainForm(dialogs, parameters, *platform, loop);
    mainForm.show();
    return application.exec();
}
