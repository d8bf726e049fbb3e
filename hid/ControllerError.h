#pragma once

#include <stdexcept>
#include <string>

namespace quillon {

// A device object could not be created: "Device cannot be opened" or "Device cannot be
// identified". The controller's scan absorbs it.
class EControllerError : public std::runtime_error {
  public:
    explicit EControllerError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace quillon
