#include <QApplication>

#include "app/ApplicationTitle.h"
#include "app/MainForm.h"
#include "app/QtUserDialogs.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(quillon::ApplicationTitle);

    quillon::QtUserDialogs dialogs;
    // The HID device controller and the device cycle join the window here, once they exist:
    // created before the window, handed to it, and living as long as it does.
    QStringList parameters = QApplication::arguments();
    parameters.removeFirst();
    quillon::TMainForm mainForm(dialogs, parameters);
    mainForm.show();
    return application.exec();
}
