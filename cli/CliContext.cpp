#include "cli/CliContext.h"

#include <QString>
#include <algorithm>
#include <cctype>
#include <istream>

#include "cli/SettingsAssignment.h"
#include "config/ConfigFile.h"
#include "device/ReportText.h"
#include "hid/AccessAdvice.h"

namespace quillon::cli {

std::string Utf8(const std::u16string& text) {
    return QString::fromStdU16String(text).toStdString();
}

CliContext::CliContext(std::ostream& out, std::ostream& err, const CliEnvironment& env,
                       CliOptions options)
    : Out(out), Err(err), Env(env), Options(std::move(options)) {}

CliContext::~CliContext() {
    transfers_.clear();
    claims_.clear();
    session_.reset();  // the adapters go back before the platform does
    platform_.reset();
}

void CliContext::Fail(const std::string& message) {
    Err << "quillon-cli: " << message << "\n";
}

int CliContext::StartSession() {
    platform_ = Env.CreatePlatform(Options.Emulate);
    // Only the monitor follows the adapter after the first look (to end when it is pulled).
    session_ = std::make_unique<AdapterSession>(*platform_, Options.Command == "monitor");
    if (!session_->Scan(Env.ScanLimit)) {
        Fail("the list of HID devices did not come in time");
        return kExitNoAdapter;
    }
    transfers_.resize(session_->AdapterCount());
    return kExitSuccess;
}

int CliContext::SelectAdapter(size_t& index, bool needWrite) {
    if (const int code = StartSession(); code != kExitSuccess) {
        return code;
    }
    if (session_->AdapterCount() == 0) {
        Fail("no adapter found");
        return kExitNoAdapter;
    }
    if (!session_->Select(Options.Device, index)) {
        Fail("no adapter \"" + Options.Device + "\": give a path or an index from 0 to " +
             std::to_string(session_->AdapterCount() - 1) + " (see quillon-cli list)");
        return kExitNoAdapter;
    }
    if (needWrite && !session_->Adapter(index).CanReadWrite()) {
        return RefuseUnwritable(index);
    }
    return kExitSuccess;
}

int CliContext::CheckSettingsFile(const std::string& path, ReportBuffer& probe) {
    if (const auto result = LoadConfigFile(path, probe); result != ConfigFileResult::Ok) {
        Fail(ConfigFileMessage(result, path));
        return kExitFileRefused;
    }
    if (probe[DeviceSettings::ReportId] != SettingsReportId) {
        Fail("not a settings file (its first byte is " + std::to_string(probe[0]) +
             ", not 3): " + path);
        return kExitFileRefused;
    }
    return kExitSuccess;
}

int CliContext::RefuseUnwritable(size_t index) {
    const HidDeviceSummary& summary = session_->AdapterSummary(index);
    if (IsAccessRefusal(summary.OpenError)) {
        Err << MissingAccessAdvice(summary.Path);
        return kExitNoPermission;
    }
    Fail(summary.Path + " cannot be opened for writing: " +
         (summary.OpenErrorMessage.empty() ? std::string("unknown error")
                                           : summary.OpenErrorMessage));
    return kExitTransferFailed;
}

int CliContext::ClaimAdapter(size_t index) {
    THidDevice& device = session_->Adapter(index);
    auto claim = std::make_unique<THidExclusiveUse>(&device);
    if (claim->Busy()) {
        Fail(std::string(AdapterBusyText) + " (" + device.InterfacePath() + ")");
        return kExitAdapterBusy;
    }
    claims_.push_back(std::move(claim));
    return kExitSuccess;
}

LoggingFeatureDevice& CliContext::Transfers(size_t index) {
    if (transfers_[index] == nullptr) {
        THidDevice& device = session_->Adapter(index);
        transfers_[index] =
            std::make_unique<LoggingFeatureDevice>(device, *platform_, device.InterfacePath());
    }
    return *transfers_[index];
}

size_t CliContext::FeatureLength(size_t index) {
    // A longer report would not fit the buffer; it is cut, as the window cuts it.
    return std::min<size_t>(session_->Adapter(index).Capabilities().FeatureReportByteLength,
                            MaxFeatureTransferLength);
}

bool CliContext::ReadSettings(size_t index, ReportBuffer& buffer) {
    const size_t length = FeatureLength(index);
    if (length == 0) {
        Fail(session_->Adapter(index).InterfacePath() + " reports no feature report length");
        return false;
    }
    buffer[0] = SettingsReportId;
    LoggingFeatureDevice& device = Transfers(index);
    if (!device.GetFeatureReport(buffer.data(), length)) {
        Fail("unable to read the settings: " + device.LastErrorMessage());
        return false;
    }
    if (buffer[0] != SettingsReportId) {
        Fail("the adapter answered report " + std::to_string(buffer[0]) +
             " instead of its settings record");
        return false;
    }
    return true;
}

int CliContext::WriteSettings(size_t index, const ReportBuffer& buffer) {
    const size_t length = FeatureLength(index);
    LoggingFeatureDevice& device = Transfers(index);
    if (!device.SetFeatureReport(buffer.data(), length)) {
        Fail("unable to write the settings: " + device.LastErrorMessage());
        return kExitTransferFailed;
    }
    ReportBuffer readBack{};
    if (!ReadSettings(index, readBack)) {
        return kExitTransferFailed;
    }
    // Bytes 1 to 12 are what the settings consist of; the rest belongs to the adapter.
    if (!std::equal(buffer.begin(), buffer.begin() + DeviceSettings::RecordMarker + 1,
                    readBack.begin())) {
        Fail("the adapter did not keep the settings written to it");
        return kExitTransferFailed;
    }
    return kExitSuccess;
}

int CliContext::ConfirmClearData() {
    if (Options.Yes) {
        return kExitSuccess;
    }
    if (!Env.InIsTerminal || Env.In == nullptr) {
        Fail("clear-data=on loses data and must be confirmed: run on a terminal or add --yes");
        return kExitUsage;
    }
    Err << kClearDataConfirmation << " [j/N] " << std::flush;
    std::string answer;
    std::getline(*Env.In, answer);
    std::transform(answer.begin(), answer.end(), answer.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (answer == "j" || answer == "ja" || answer == "y" || answer == "yes") {
        return kExitSuccess;
    }
    Fail("nothing written");
    return kExitCancelled;
}

}  // namespace quillon::cli
