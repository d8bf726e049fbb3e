#include <QApplication>
#include <string>
#include <vector>
#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#endif

#include "app/ApplicationTitle.h"
#include "app/MainForm.h"
#include "app/StartupArguments.h"
#include "base/Log.h"
#include "hid/HidPlatformFactory.h"
#include "ui/AppIcon.h"
#include "ui/QtEventLoop.h"
#include "ui/QtLogSink.h"
#include "ui/QtUserDialogs.h"

int main(int argc, char** argv) {
#ifndef _WIN32
    // Before QApplication takes its own options out of argv.
    const std::vector<std::string> given = quillon::ParametersAsGiven(argc, argv);
#endif
    QApplication application(argc, argv);
    QApplication::setApplicationName(quillon::kApplicationTitle);
    QApplication::setWindowIcon(quillon::MakeApplicationIcon());
    // The HID layer's diagnostics go to Qt's logging categories, off unless switched on.
    quillon::SetLogSink(quillon::QtLogSink());

    quillon::QtUserDialogs dialogs;
    // The devices the system reports, with emulated adapters beside them when QUILLON_EMULATE
    // asks for some. Both the platform and the loop outlive the window and its controller.
    const std::unique_ptr<quillon::IHidPlatform> platform = quillon::CreateHidPlatform();
    quillon::QtEventLoop loop;
    QStringList parameters;
#ifdef _WIN32
    // argv holds the command line in the ANSI code page, which loses every character it cannot
    // spell; the wide command line, which Qt leaves alone, has the file name as typed.
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) {
            parameters << QString::fromWCharArray(wide[i]);
        }
        LocalFree(wide);
    }
#else
    for (const std::string& parameter : given) {
        parameters << QString::fromLocal8Bit(parameter);
    }
#endif
    quillon::TMainForm mainForm(dialogs, parameters, *platform, loop);
    mainForm.show();
    return application.exec();
}
