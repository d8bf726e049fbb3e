#include "base/SyncHandover.h"

namespace quillon {

std::shared_ptr<TSyncHandover> TSyncHandover::Create(IEventLoop& loop) {
    return std::shared_ptr<TSyncHandover>(new TSyncHandover(loop));
}

void TSyncHandover::Run(std::function<void()> call) {
    Item item{std::move(call)};
    {
        std::lock_guard lock(mutex_);
        pending_.push_back(&item);
    }
    changed_.notify_all();
    // The posted task keeps this object alive even if the worker is gone when it runs.
    loop_.Post([self = shared_from_this()] { self->Drain(); });

    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return item.done; });
}

void TSyncHandover::Drain() {
    for (;;) {
        Item* item = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (pending_.empty()) {
                return;
            }
            item = pending_.front();
            pending_.pop_front();
        }
        // The worker stays blocked until done is set, so the item (on its stack) is alive. It is
        // released even if the call throws, so the worker never hangs on a failed call.
        struct Release {
            TSyncHandover* self;
            Item* item;
            ~Release() {
                {
                    std::lock_guard lock(self->mutex_);
                    item->done = true;
                }
                self->changed_.notify_all();
            }
        } release{this, item};
        item->call();
    }
}

void TSyncHandover::MarkFinished() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
}

void TSyncHandover::ServeUntilFinished() {
    std::unique_lock lock(mutex_);
    while (!finished_) {
        if (!pending_.empty()) {
            lock.unlock();
            Drain();
            lock.lock();
            continue;
        }
        changed_.wait(lock, [&] { return finished_ || !pending_.empty(); });
    }
}

}  // namespace quillon
