#include "ui/QtEventLoop.h"

#include <QMetaObject>
#ifdef _WIN32
#include <QWinEventNotifier>
#else
#include <QSocketNotifier>
#endif

namespace quillon {

QtEventLoop::QtEventLoop() : Context(std::make_unique<QObject>()) {}

QtEventLoop::~QtEventLoop() = default;

void QtEventLoop::Post(Task task) {
    QMetaObject::invokeMethod(Context.get(), std::move(task), Qt::QueuedConnection);
}

int QtEventLoop::WatchReadable(WaitableHandle fd, Task onReadable) {
    const int id = NextWatchId++;
#ifdef _WIN32
    // Fires whenever the object is signalled; its wait resets an auto-reset event.
    auto* notifier = new QWinEventNotifier(fd, Context.get());
#else
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, Context.get());
#endif
    QObject::connect(notifier, &Notifier::activated, Context.get(),
                     [task = std::move(onReadable)] { task(); });
    Watches.emplace(id, notifier);
    return id;
}

void QtEventLoop::Unwatch(int watchId) {
    const auto watch = Watches.find(watchId);
    if (watch == Watches.end()) {
        return;
    }
    // The task being run may be the one that unwatches: the notifier goes once it returns.
    watch->second->setEnabled(false);
    watch->second->deleteLater();
    Watches.erase(watch);
}

}  // namespace quillon
