#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "cli/tests/ChildProcess.h"

namespace quillon::test {
class HidrawTestBed;
}

namespace quillon::cli::test {

// Makes the hidraw test bed's devices appear where Wine's HID bus driver and libudev look for
// them: the bed's sysfs tree over /sys/class/hidraw and /sys/devices/pci0000:00, and a /dev of
// our own (the ordinary nodes bound back in) where /dev/hidrawN leads to the bed's node. Only
// inside a mount namespace of this process's own. Empty on success, else the reason.
std::string ShowBedAsSystemDevices(const quillon::test::HidrawTestBed& bed);

// What the bus driver watches in /dev: the entry appearing is a plug-in, its removal an unplug.
void AddDevEntry(const quillon::test::HidrawTestBed& bed, const std::string& node);
void RemoveDevEntry(const std::string& node);

// A Wine prefix whose services run inside this mount namespace, its HID bus driver reading
// hidraw nodes through libudev (no SDL, no udev daemon: it watches /dev itself).
class WineSession {
  public:
    explicit WineSession(std::string prefix);
    ~WineSession();  // ends the prefix's server and every Wine process of it

    // Why Wine cannot be used here (not installed); empty when it can.
    static std::string Missing();
    // Empty when the session is up, else what failed.
    std::string Start();

    ProgramResult Run(const std::vector<std::string>& windowsCommand,
                      std::chrono::milliseconds limit = std::chrono::seconds(120));
    bool Spawn(ChildProcess& child, const std::vector<std::string>& windowsCommand);

  private:
    std::string prefix_;
    bool started_ = false;
};

}  // namespace quillon::cli::test
