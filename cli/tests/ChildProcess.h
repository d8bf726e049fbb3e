#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace quillon::cli::test {

// A program started with its output collected from pipes, so that a test can wait for what it
// prints, for its end, or for anything else, each with a deadline.
class ChildProcess {
  public:
    using Clock = std::chrono::steady_clock;

    // Starts the program (found on PATH); false with the reason in Err() when it cannot start.
    bool Start(const std::vector<std::string>& arguments);
    ~ChildProcess();
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Collects output until done() holds or the time is up; false on time-out.
    bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
    // Waits for the end; the exit code, or -1 when it did not end in time (it is then killed)
    // or was killed by a signal.
    int Wait(std::chrono::milliseconds limit);

    const std::string& Out() const { return out_; }
    const std::string& Err() const { return err_; }
    bool Running() const { return pid_ > 0; }

  private:
    // Reads whatever the pipes hold, waiting at most `limit` for some; reaps the child once
    // both pipes are closed.
    void Collect(std::chrono::milliseconds limit);
    void Kill();

    pid_t pid_ = -1;
    int outPipe_ = -1;
    int errPipe_ = -1;
    int exitCode_ = -1;
    std::string out_;
    std::string err_;
};

// Runs a program to its end (at most `limit`); the exit code as Wait gives it.
struct ProgramResult {
    int Code = -1;
    std::string Out;
    std::string Err;
};
ProgramResult RunProgram(const std::vector<std::string>& arguments,
                         std::chrono::milliseconds limit = std::chrono::seconds(120));

}  // namespace quillon::cli::test
