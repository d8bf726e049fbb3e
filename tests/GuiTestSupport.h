#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace quillon {

// Shows a window on the offscreen platform and makes it the active one, as a user's click on
// it would; false if that did not happen within 10 s.
inline bool ShowActive(QWidget& window) {
    QGuiApplication::setQuitOnLastWindowClosed(false);
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowExposed(&window) && QTest::qWaitForWindowActive(&window);
}

// A control of a window found by its object name, as a person finds it by sight; a name that
// is not there ends the test program at once, naming it.
template <typename Control>
Control* Child(const QObject& window, const char* name) {
    auto* found = window.findChild<Control*>(name);
    if (found == nullptr) {
        std::fprintf(stderr, "no control named %s\n", name);
        std::abort();
    }
    return found;
}

// Hands the next modal dialog to `answer` once it is open; the caller then runs the code that
// opens it. Gives up after 10 s, leaving the dialog to fail the test by hanging no longer.
inline void AnswerNextModal(std::function<void(QWidget*)> answer) {
    auto* timer = new QTimer;
    const QDeadlineTimer deadline(10000);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, answer = std::move(answer)] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog == nullptr && !deadline.hasExpired()) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        if (dialog != nullptr) {
            answer(dialog);
        }
    });
    timer->start(10);
}

// A click on a check box's indicator: its far end may be empty space that takes no clicks.
inline void ClickCheckBox(QWidget* box, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mouseClick(box, Qt::LeftButton, modifiers, QPoint(6, box->height() / 2));
}

}  // namespace quillon
