#pragma once

#include <optional>
#include <string>
#include <utility>

namespace quillon {

// Why an operation failed: a code of the layer that failed, for callers that act on it, and
// the text that tells the user.
template <class Code>
struct Failure {
    Code Error{};
    std::string Message;
};

// The value of an operation, or its failure. Each Qt-free layer names one code type and uses
// this with it, so that a failure passes up unchanged (`return result.Error();`).
template <class T, class Code>
class [[nodiscard]] Result {
  public:
    Result(T value) : value_(std::move(value)) {}
    Result(Failure<Code> failure) : failure_(std::move(failure)) {}

    explicit operator bool() const { return value_.has_value(); }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    const Failure<Code>& Error() const { return failure_; }

  private:
    std::optional<T> value_;
    Failure<Code> failure_;
};

template <class Code>
class [[nodiscard]] Result<void, Code> {
  public:
    Result() = default;
    Result(Failure<Code> failure) : failure_(std::move(failure)), failed_(true) {}

    explicit operator bool() const { return !failed_; }
    const Failure<Code>& Error() const { return failure_; }

  private:
    Failure<Code> failure_;
    bool failed_ = false;
};

}  // namespace quillon
