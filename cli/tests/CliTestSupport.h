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
    ~CliHarness();

    // Adds an adapter (kept by the test, so its log and flash can be looked at afterwards).
    std::shared_ptr<emu::QuillonAdapter> AddAdapter(emu::PlugOptions options = {});
    // Adds a HID device that is no adapter.
    void AddOtherDevice();
    // Adds an adapter of the test's own making (one that reacts to its transfers, say).
    void AddAdapterModel(std::shared_ptr<emu::IDeviceModel> model);

    CliResult Run(const std::vector<std::string>& arguments);

    CliEnvironment Env;
    std::istringstream Input;
    std::atomic<bool> Interrupted{false};
    // The bus of the run in progress, for a test that plugs and pulls adapters meanwhile.
    std::atomic<emu::EmulatedBus*> Bus{nullptr};

  private:
    std::string recordsFolder_;  // the station's records of this harness's runs
    struct Plugged {
        std::shared_ptr<emu::IDeviceModel> Model;
        emu::PlugOptions Options;
        bool Adapter = true;
    };
    std::vector<Plugged> devices_;
};

}  // namespace quillon::cli::test
