#include "app/QtEventLoop.h"

#include <QMetaObject>
#include <QSocketNotifier>

namespace quillon {

QtEventLoop::QtEventLoop() : Context(std::make_unique<QObject>()) {}

QtEventLoop::~QtEventLoop() = default;

void QtEventLoop::Post(Task task) {
    QMetaObject::invokeMethod(Context.get(), std::move(task), Qt::QueuedConnection);
}

int QtEventLoop::WatchReadable(WaitableHandle fd, Task onReadable) {
    const int id = NextWatchId++;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, Context.get());
    QObject::connect(notifier, &QSocketNotifier::activated, Context.get(),
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
