#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "base/EventLoop.h"
#include "hid/HidPlatform.h"

namespace quillon::winhid {

// Calls onChange on the loop's thread a short while after the last of a burst of arrivals and
// removals of HID interfaces (one USB device brings one per interface), so that a burst costs
// one scan. The news comes to a hidden window of the watch's own, on a thread of its own,
// registered for the HID interface class: the broadcast of changed device nodes reaches only
// top-level windows, which a toolkit's message-only window is not.
//
// Not every system delivers those notices (Wine without a display does not): the watch also
// compares listPresent() once a second with what it gave last and reports a difference.
std::unique_ptr<IHidPlatform::Watch> WatchHidInterfaceChanges(
    IEventLoop& loop, const GUID& hidInterfaceClass, std::function<void()> onChange,
    std::function<std::vector<THidPnPInfo>()> listPresent);

}  // namespace quillon::winhid
