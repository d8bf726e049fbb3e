#pragma once

#include <cstdint>
#include <span>
#include <utility>

#include "hid/HidError.h"

namespace quillon {

class THidDevice;
class THidDeviceController;

// A callable bound to its receiver: a code part (which function runs) and a data part (the
// object it runs on). Two handlers are equal when their code parts are equal, whatever object
// they are bound to; the controller relies on that to tell which devices still carry its own
// handler when a new one is assigned. An empty handler has no code part.
template <typename Signature>
class THidHandler;

template <typename R, typename... Args>
class THidHandler<R(Args...)> {
  public:
    using Code = R (*)(void* receiver, Args... args);

    constexpr THidHandler() = default;
    constexpr THidHandler(void* receiver, Code code) : receiver_(receiver), code_(code) {}

    explicit operator bool() const { return code_ != nullptr; }
    R operator()(Args... args) const { return code_(receiver_, std::forward<Args>(args)...); }

    bool operator==(const THidHandler& other) const { return code_ == other.code_; }

    void* Receiver() const { return receiver_; }
    Code CodePart() const { return code_; }

  private:
    void* receiver_ = nullptr;
    Code code_ = nullptr;
};

namespace detail {

// One trampoline per member function: its address is the code part of every handler bound to
// that member function, so handlers of the same method compare equal across receivers.
template <auto Method>
struct MethodTrampoline;

template <typename C, typename R, typename... Args, R (C::*Method)(Args...)>
struct MethodTrampoline<Method> {
    using Class = C;
    using Handler = THidHandler<R(Args...)>;
    static R Call(void* receiver, Args... args) {
        return (static_cast<C*>(receiver)->*Method)(std::forward<Args>(args)...);
    }
};

}  // namespace detail

// Binds a member function to an object: MakeHandler<&TMainForm::ShowRead>(this).
template <auto Method, typename C>
auto MakeHandler(C* receiver) {
    using Trampoline = detail::MethodTrampoline<Method>;
    using Class = typename Trampoline::Class;
    return typename Trampoline::Handler(static_cast<void*>(static_cast<Class*>(receiver)),
                                        &Trampoline::Call);
}

// The events of the HID layer.
using TNotifyEvent = THidHandler<void(THidDeviceController* Sender)>;
// Returns whether the enumeration goes on.
using THidEnumerateEvent = THidHandler<bool(THidDevice* HidDev, int Idx)>;
using THidPlugEvent = THidHandler<void(THidDevice* HidDev)>;
// Data holds the bytes after the report ID and is valid only during the call.
using THidDataEvent =
    THidHandler<void(THidDevice* HidDev, uint8_t ReportID, std::span<const uint8_t> Data)>;
// Error is the failure of the read that could not be started; its native code and the
// backend's text for it both come from the backend that failed.
using THidDataErrorEvent = THidHandler<void(THidDevice* HidDev, const HidFailure& Error)>;

}  // namespace quillon
