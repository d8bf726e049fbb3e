#include "cli/tests/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace quillon::cli::test {

bool ChildProcess::Start(const std::vector<std::string>& arguments) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        Err_ = std::strerror(errno);
        return false;
    }
    if (::pipe2(err, O_CLOEXEC) != 0) {
        Err_ = std::strerror(errno);
        ::close(out[0]);
        ::close(out[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const int spawned = ::posix_spawnp(&Pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    OutPipe_ = out[0];
    ErrPipe_ = err[0];
    if (spawned != 0) {
        Pid_ = -1;
        ::close(OutPipe_);
        ::close(ErrPipe_);
        OutPipe_ = ErrPipe_ = -1;
        Err_ = arguments[0] + ": " + std::strerror(spawned);
        return false;
    }
    return true;
}

ChildProcess::~ChildProcess() {
    Kill();
}

void ChildProcess::Collect(std::chrono::milliseconds limit) {
    const auto drain = [](int& fd, short events, std::string& into) {
        if (fd < 0 || events == 0) {
            return false;
        }
        char buffer[4096];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            into.append(buffer, static_cast<size_t>(got));
            return true;
        }
        if (got == 0 || errno != EINTR) {
            ::close(fd);
            fd = -1;
        }
        return false;
    };
    const auto readReady = [&](int waitMs) {
        pollfd fds[2] = {{OutPipe_, POLLIN, 0}, {ErrPipe_, POLLIN, 0}};
        if (::poll(fds, 2, waitMs) <= 0) {
            return false;
        }
        const bool out = drain(OutPipe_, fds[0].revents, Out_);
        const bool err = drain(ErrPipe_, fds[1].revents, Err_);
        return out || err;
    };
    readReady(static_cast<int>(limit.count()));
    if (Pid_ <= 0) {
        return;
    }
    // The end is the child's exit, not the end of its output: a program may leave helpers
    // running (Wine's services) that keep the pipes open.
    int status = 0;
    if (::waitpid(Pid_, &status, WNOHANG) != Pid_) {
        return;
    }
    ExitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    Pid_ = -1;
    while (readReady(0)) {
    }
    for (int* fd : {&OutPipe_, &ErrPipe_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

bool ChildProcess::WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        if (Pid_ <= 0) {
            return done();  // nothing more will come
        }
        Collect(std::min(left, std::chrono::milliseconds(100)));
    }
    return true;
}

int ChildProcess::Wait(std::chrono::milliseconds limit) {
    if (!WaitUntil([this] { return Pid_ <= 0; }, limit)) {
        Kill();
        return -1;
    }
    return ExitCode_;
}

void ChildProcess::Kill() {
    if (Pid_ > 0) {
        ::kill(Pid_, SIGKILL);
        int status = 0;
        ::waitpid(Pid_, &status, 0);
        Pid_ = -1;
    }
    for (int* fd : {&OutPipe_, &ErrPipe_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

ProgramResult RunProgram(const std::vector<std::string>& arguments,
                         std::chrono::milliseconds limit) {
    ChildProcess child;
    ProgramResult result;
    if (child.Start(arguments)) {
        result.Code = child.Wait(limit);
    }
    result.Out = child.Out();
    result.Err = child.Err();
    return result;
}

}  // namespace quillon::cli::test
