#include "base/LoopWaiter.h"

#include <windows.h>

#include <system_error>

namespace quillon {

// A manual-reset event: signalled while a wake-up is pending.
struct LoopWaiter::Channel {
    HANDLE wake = nullptr;
};

LoopWaiter::LoopWaiter() : channel_(std::make_unique<Channel>()) {
    channel_->wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (channel_->wake == nullptr) {
        throw std::system_error(int(GetLastError()), std::system_category(),
                                "event loop wake event");
    }
}

LoopWaiter::~LoopWaiter() {
    CloseHandle(channel_->wake);
}

void LoopWaiter::Wake() {
    SetEvent(channel_->wake);
}

void LoopWaiter::ClearWake() {
    ResetEvent(channel_->wake);
}

std::vector<size_t> LoopWaiter::Wait(const std::vector<WaitableHandle>& sources, int timeoutMs) {
    std::vector<HANDLE> handles{channel_->wake};
    handles.insert(handles.end(), sources.begin(), sources.end());
    if (handles.size() > MAXIMUM_WAIT_OBJECTS) {
        handles.resize(MAXIMUM_WAIT_OBJECTS);
    }
    const DWORD count = DWORD(handles.size());
    const DWORD first = WaitForMultipleObjects(count, handles.data(), FALSE,
                                               timeoutMs < 0 ? INFINITE : DWORD(timeoutMs));
    std::vector<size_t> ready;
    if (first >= WAIT_OBJECT_0 + count) {
        return ready;  // a time-out or a failure
    }
    // The wait names only the first signalled handle; the later ones are looked at without
    // waiting (which, as the wait itself does, resets an auto-reset event), so that a stream of
    // wake-ups cannot starve the sources.
    DWORD next = first - WAIT_OBJECT_0;
    if (next > 0) {
        ready.push_back(next - 1);
    }
    for (DWORD i = next + 1; i < count; ++i) {
        if (WaitForSingleObject(handles[i], 0) == WAIT_OBJECT_0) {
            ready.push_back(i - 1);
        }
    }
    return ready;
}

}  // namespace quillon
