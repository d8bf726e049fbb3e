#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/EventLoop.h"
#include "hid/HidPlatform.h"

namespace quillon::linuxhid {

// Where the news of hidraw devices coming and going is taken from.
enum class ChangeSource {
    Udev,     // udev's monitor, filtered to the hidraw subsystem
    Inotify,  // a folder's entries being created and deleted (a test tree's class/hidraw)
};

// Calls onChange on the loop's thread a short while after the last of a burst of events
// (plugging in one USB device brings an event per HID interface), so that a burst costs one
// scan. With udev unavailable it falls back to watching the device folder.
std::unique_ptr<IHidPlatform::Watch> WatchHidrawChanges(IEventLoop& loop, ChangeSource source,
                                                        const std::string& folder,
                                                        std::function<void()> onChange);

}  // namespace quillon::linuxhid
