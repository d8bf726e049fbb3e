#include "device/ParallelFlash.h"

#include "device/FirmwareUpdate.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace quillon {

std::vector<firmware::UpdateOutcome> FlashDevices(
    const std::vector<AdapterService*>& devices, const std::string& updateFile,
    const std::function<void(const FlashEvent&)>& onEvent) {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<FlashEvent> events;
    size_t finished = 0;
    std::vector<firmware::UpdateOutcome> outcomes(devices.size());

    const auto post = [&](FlashEvent event) {
        std::lock_guard lock(mutex);
        if (event.Block < 0) {
            outcomes[event.Device] = event.Outcome;
            ++finished;
        }
        events.push_back(std::move(event));
        changed.notify_one();
    };

    std::vector<std::thread> workers;
    workers.reserve(devices.size());
    for (size_t i = 0; i < devices.size(); ++i) {
        workers.emplace_back([&, i] {
            // Each worker reads the (already checked) file into an image of its own.
            auto image = std::make_unique<firmware::FirmwareImage>();
            const auto updated = devices[i]->Update(updateFile, *image, [&](int block) {
                post({i, block, {}});
            });
            firmware::UpdateOutcome outcome;
            if (updated) {
                outcome = *updated;
            } else {
                // Another program holds the adapter: nothing was sent.
                outcome.Result = firmware::UpdateResult::AccessError;
                outcome.Message = outcome.Words = updated.Error().Message;
            }
            post({i, -1, outcome});
        });
    }

    std::unique_lock lock(mutex);
    for (;;) {
        changed.wait(lock, [&] { return !events.empty() || finished == devices.size(); });
        if (events.empty()) {
            break;
        }
        std::deque<FlashEvent> batch;
        batch.swap(events);
        lock.unlock();
        if (onEvent) {
            for (const FlashEvent& event : batch) {
                onEvent(event);
            }
        }
        lock.lock();
    }
    lock.unlock();
    for (std::thread& worker : workers) {
        worker.join();
    }
    return outcomes;
}

}  // namespace quillon
