#include "cli/tests/CliTestSupport.h"

#include "cli/CliRunner.h"
#include "hid/emulated/GenericDevice.h"
#include "tests/TempDirectory.h"

namespace quillon::cli::test {

CliHarness::CliHarness() {
    Env.CreatePlatform = [this](int emulatedAdapters) -> std::unique_ptr<IHidPlatform> {
        auto bus = std::make_unique<emu::EmulatedBus>();
        int adapters = 0;
        for (const Plugged& device : devices_) {
            if (device.Adapter && adapters++ >= emulatedAdapters) {
                continue;
            }
            bus->Plug(device.Model, device.Options);
        }
        Bus = bus.get();
        return bus;
    };
    Env.In = &Input;
    Env.Interrupted = &Interrupted;
    // A provisioning run keeps its records; the tests' go to a folder of their own, not to
    // the user's records.
    recordsFolder_ = quillon::test::MakeTempDirectory("quillon-cli-records-").string();
    Env.RecordsFile = recordsFolder_ + "/records.db";
}

CliHarness::~CliHarness() {
    std::error_code error;
    std::filesystem::remove_all(recordsFolder_, error);
}

std::shared_ptr<emu::QuillonAdapter> CliHarness::AddAdapter(emu::PlugOptions options) {
    auto adapter = std::make_shared<emu::QuillonAdapter>();
    devices_.push_back({adapter, options, true});
    return adapter;
}

void CliHarness::AddOtherDevice() {
    devices_.push_back({std::make_shared<emu::GenericDevice>(), {}, false});
}

void CliHarness::AddAdapterModel(std::shared_ptr<emu::IDeviceModel> model) {
    devices_.push_back({std::move(model), {}, true});
}

CliResult CliHarness::Run(const std::vector<std::string>& arguments) {
    QStringList list{"quillon-cli"};
    for (const std::string& argument : arguments) {
        list << QString::fromStdString(argument);
    }
    std::ostringstream out;
    std::ostringstream err;
    CliResult result;
    result.Code = RunCli(list, out, err, Env);
    result.Out = out.str();
    result.Err = err.str();
    return result;
}

}  // namespace quillon::cli::test
