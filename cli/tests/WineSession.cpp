#include "cli/tests/WineSession.h"

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "hid/linux/tests/HidrawTestBed.h"

namespace quillon::cli::test {
namespace {

namespace fs = std::filesystem;

std::string Failure(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

std::string Bind(const std::string& from, const std::string& onto) {
    if (::mount(from.c_str(), onto.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) {
        return Failure("binding " + from + " over " + onto);
    }
    return {};
}

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (!folder.empty() && ::access((folder + "/" + program).c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

// What Wine and its services need of /dev, besides the HID nodes.
constexpr const char* kDevEntries[] = {"null", "zero", "full", "random", "urandom", "tty",
                                       "ptmx", "fuse", "shm",  "pts",    "mqueue",  "hugepages"};

std::string RegistryText(const std::string& prefix) {
    std::ifstream file(prefix + "/system.reg", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace

std::string ShowBedAsSystemDevices(const quillon::test::HidrawTestBed& bed) {
    for (const char* target : {"/sys/class/hidraw", "/sys/devices/pci0000:00"}) {
        if (!fs::is_directory(target)) {
            return std::string(target) + " is missing, so the bed cannot stand in for it";
        }
    }
    std::string problem = Bind(bed.SysfsRoot() + "/class/hidraw", "/sys/class/hidraw");
    if (problem.empty()) {
        problem = Bind(bed.SysfsRoot() + "/devices/pci0000:00", "/sys/devices/pci0000:00");
    }
    if (!problem.empty()) {
        return problem;
    }

    // The real /dev stays reachable beside the new one while its entries are bound back.
    const std::string oldDev = bed.SysfsRoot() + "/../old-dev";
    fs::create_directories(oldDev);
    if (!(problem = Bind("/dev", oldDev)).empty()) {
        return problem;
    }
    if (::mount("tmpfs", "/dev", "tmpfs", MS_NOSUID, "mode=755") != 0) {
        return Failure("mounting a tmpfs on /dev");
    }
    for (const char* entry : kDevEntries) {
        const fs::path from = fs::path(oldDev) / entry;
        const fs::path to = fs::path("/dev") / entry;
        std::error_code error;
        const fs::file_status status = fs::symlink_status(from, error);
        if (error || !fs::exists(status)) {
            continue;
        }
        if (fs::is_directory(status)) {
            fs::create_directory(to);
        } else {
            std::ofstream{to};
        }
        if (!(problem = Bind(from, to)).empty()) {
            return problem;
        }
    }
    fs::create_directory_symlink("/proc/self/fd", "/dev/fd");
    fs::create_symlink("/proc/self/fd/0", "/dev/stdin");
    fs::create_symlink("/proc/self/fd/1", "/dev/stdout");
    fs::create_symlink("/proc/self/fd/2", "/dev/stderr");
    ::umount2(oldDev.c_str(), MNT_DETACH);
    // libudev otherwise refuses a device tree that is not on a sysfs file system.
    ::setenv("SYSTEMD_DEVICE_VERIFY_SYSFS", "0", 1);
    return {};
}

void AddDevEntry(const quillon::test::HidrawTestBed& bed, const std::string& node) {
    fs::create_symlink(bed.NodePath(node), "/dev/" + node);
}

void RemoveDevEntry(const std::string& node) {
    std::error_code ignored;
    fs::remove("/dev/" + node, ignored);
}

WineSession::WineSession(std::string prefix) : prefix_(std::move(prefix)) {
    // The environment of every Wine program of the project (cmake/wine-env.sh), given at build
    // time as NAME=VALUE words.
    std::istringstream environment(QUILLON_WINE_ENVIRONMENT);
    for (std::string entry; environment >> entry;) {
        const std::size_t equals = entry.find('=');
        ::setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
    }
    ::setenv("WINEPREFIX", prefix_.c_str(), 1);
}

WineSession::~WineSession() {
    if (started_) {
        RunProgram({"wineserver", "-k"}, std::chrono::seconds(30));
        RunProgram({"wineserver", "-w"}, std::chrono::seconds(30));
    }
}

std::string WineSession::Missing() {
    for (const char* program : {"wine", "wineserver"}) {
        if (!OnPath(program)) {
            return std::string(program) + " is not installed";
        }
    }
    return {};
}

std::string WineSession::Start() {
    started_ = true;
    // A server of this prefix started elsewhere would run the bus driver in another
    // namespace, where the bed's devices do not exist.
    RunProgram({"wineserver", "-k"}, std::chrono::seconds(30));
    RunProgram({"wineserver", "-w"}, std::chrono::seconds(30));

    const std::string key = R"(HKLM\System\CurrentControlSet\Services\winebus)";
    const std::string registry = RegistryText(prefix_);
    // When SDL starts, the bus driver never starts its hidraw side; without a udev daemon only
    // its own watch of /dev sees removals. It reads both when it starts.
    if (registry.find("\"Enable SDL\"=dword:00000000") == std::string::npos ||
        registry.find("\"DisableUdevd\"=dword:00000001") == std::string::npos) {
        for (const auto& [name, value] : {std::pair{"Enable SDL", "0"}, {"DisableUdevd", "1"}}) {
            const ProgramResult set =
                Run({"reg", "add", key, "/v", name, "/t", "REG_DWORD", "/d", value, "/f"},
                    std::chrono::seconds(180));
            if (set.Code != 0) {
                return "wine reg add " + std::string(name) + " failed: " + set.Err;
            }
        }
        RunProgram({"wineserver", "-k"}, std::chrono::seconds(30));
        RunProgram({"wineserver", "-w"}, std::chrono::seconds(30));
    }
    // A server that stays up: the bus driver keeps its devices between the tool's runs.
    const ProgramResult server = RunProgram({"wineserver", "-p"}, std::chrono::seconds(30));
    if (server.Code != 0) {
        return "wineserver -p failed: " + server.Err;
    }
    return {};
}

ProgramResult WineSession::Run(const std::vector<std::string>& windowsCommand,
                               std::chrono::milliseconds limit) {
    std::vector<std::string> arguments{"wine"};
    arguments.insert(arguments.end(), windowsCommand.begin(), windowsCommand.end());
    return RunProgram(arguments, limit);
}

bool WineSession::Spawn(ChildProcess& child, const std::vector<std::string>& windowsCommand) {
    std::vector<std::string> arguments{"wine"};
    arguments.insert(arguments.end(), windowsCommand.begin(), windowsCommand.end());
    return child.Start(arguments);
}

}  // namespace quillon::cli::test
