#pragma once

#include <QStringList>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliEnvironment.h"
#include "hid/emulated/EmulatedBus.h"
#include "hid/emulated/QuillonAdapter.h"

namespace quillon::cli::test {

struct CliResult {
    int Code = -1;
    std::string Out;
    std::string Err;
};

// Runs the tool in-process. Adapters of the test stand on the emulated bus that --emulate=N
// asks for (the first N of them, "emu:1" onwards); the other devices listed follow them.
class CliHarness {
  public:
    CliHarness();

    // Adds an adapter (kept by the test, so its log and flash can be looked at afterwards).
    std::shared_ptr<emu::QuillonAdapter> AddAdapter(emu::PlugOptions options = {});
    // Adds a HID device that is no adapter.
    void AddOtherDevice();

    CliResult Run(const std::vector<std::string>& arguments);

    CliEnvironment Env;
    std::istringstream Input;
    std::atomic<bool> Interrupted{false};

  private:
    struct Plugged {
        std::shared_ptr<emu::IDeviceModel> Model;
        emu::PlugOptions Options;
        bool Adapter = true;
    };
    std::vector<Plugged> devices_;
};

}  // namespace quillon::cli::test
