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
        err_ = std::strerror(errno);
        return false;
    }
    if (::pipe2(err, O_CLOEXEC) != 0) {
        err_ = std::strerror(errno);
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
    const int spawned = ::posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    outPipe_ = out[0];
    errPipe_ = err[0];
    if (spawned != 0) {
        pid_ = -1;
        ::close(outPipe_);
        ::close(errPipe_);
        outPipe_ = errPipe_ = -1;
        err_ = arguments[0] + ": " + std::strerror(spawned);
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
        pollfd fds[2] = {{outPipe_, POLLIN, 0}, {errPipe_, POLLIN, 0}};
        if (::poll(fds, 2, waitMs) <= 0) {
            return false;
        }
        const bool out = drain(outPipe_, fds[0].revents, out_);
        const bool err = drain(errPipe_, fds[1].revents, err_);
        return out || err;
    };
    readReady(static_cast<int>(limit.count()));
    if (pid_ <= 0) {
        return;
    }
    // The end is the child's exit, not the end of its output: a program may leave helpers
    // running (Wine's services) that keep the pipes open.
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) {
        return;
    }
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
    while (readReady(0)) {
    }
    for (int* fd : {&outPipe_, &errPipe_}) {
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
        if (pid_ <= 0) {
            return done();  // nothing more will come
        }
        Collect(std::min(left, std::chrono::milliseconds(100)));
    }
    return true;
}

int ChildProcess::Wait(std::chrono::milliseconds limit) {
    if (!WaitUntil([this] { return pid_ <= 0; }, limit)) {
        Kill();
        return -1;
    }
    return exitCode_;
}

void ChildProcess::Kill() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    for (int* fd : {&outPipe_, &errPipe_}) {
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
