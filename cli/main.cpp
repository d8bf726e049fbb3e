#include <QCoreApplication>
#include <atomic>
#include <csignal>
#include <iostream>

#include "cli/CliRunner.h"

namespace {

std::atomic<bool> interrupted{false};

// The first Ctrl+C ends the monitor cleanly; a second one ends the program at once.
void OnInterrupt(int) {
    if (interrupted.exchange(true)) {
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName("quillon-cli");
    QCoreApplication::setApplicationVersion(QUILLON_VERSION);
    std::signal(SIGINT, OnInterrupt);
    return quillon::cli::RunCli(QCoreApplication::arguments(), std::cout, std::cerr,
                                quillon::cli::ProcessEnvironment(&interrupted));
}
