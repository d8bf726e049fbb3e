#include "cli/CliContext.h"

#include <algorithm>
#include <cctype>
#include <istream>

namespace quillon::cli {

CliContext::CliContext(std::ostream& out, std::ostream& err, const CliEnvironment& env,
                       CliOptions options)
    : Out(out), Err(err), Env(env), Options(std::move(options)) {}

CliContext::~CliContext() {
    session_.reset();  // the adapters go back before the platform does
    platform_.reset();
}

void CliContext::Fail(const std::string& message) {
    Err << "quillon-cli: " << message << "\n";
}

int CliContext::Refuse(ExitCode code, const std::string& message) {
    Fail(message);
    return code;
}

int CliContext::Report(const Failure<AdapterError>& failure) {
    return Report(ToolFailure(failure));
}

int CliContext::Report(const Failure<ExitCode>& failure) {
    if (failure.Error == ExitNoPermission) {
        Err << failure.Message;  // the access advice, whole lines of its own
        return ExitNoPermission;
    }
    return Refuse(failure.Error, failure.Message);
}

int CliContext::Report(const Failure<SettingsError>& failure) {
    return Refuse(ExitUsage, failure.Message);
}

AdapterResult<> CliContext::StartSession() {
    platform_ = Env.CreatePlatform(Options.Emulate);
    // Only the monitor follows the adapter after the first look (to end when it is pulled).
    session_ = std::make_unique<AdapterSession>(*platform_, Options.Command == "monitor");
    return session_->Scan(Env.ScanLimit);
}

AdapterResult<size_t> CliContext::SelectAdapter(bool needWrite, bool take) {
    if (auto started = StartSession(); !started) {
        return started.Error();
    }
    if (session_->AdapterCount() == 0) {
        return AdapterFailure(AdapterError::NoAdapter, "no adapter found");
    }
    const auto index = session_->Find(Options.Device);
    if (!index) {
        return AdapterFailure(
            AdapterError::NoAdapter,
            "no adapter \"" + Options.Device + "\": give a path or an index from 0 to " +
                std::to_string(session_->AdapterCount() - 1) + " (see quillon-cli list)");
    }
    if (needWrite) {
        if (auto writable = session_->CheckWritable(*index); !writable) {
            return writable.Error();
        }
    }
    if (take) {
        if (auto claimed = session_->Service(*index).Claim(); !claimed) {
            return claimed.Error();
        }
    }
    return *index;
}

CliResult<> CliContext::ConfirmClearData() {
    if (Options.Yes) {
        return {};
    }
    if (!Env.InIsTerminal || Env.In == nullptr) {
        return Failure<ExitCode>{
            ExitUsage,
            "clear-data=on loses data and must be confirmed: run on a terminal or add --yes"};
    }
    Err << kClearDataConfirmation << " [j/N] " << std::flush;
    std::string answer;
    std::getline(*Env.In, answer);
    std::transform(answer.begin(), answer.end(), answer.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (answer == "j" || answer == "ja" || answer == "y" || answer == "yes") {
        return {};
    }
    return Failure<ExitCode>{ExitCancelled, "nothing written"};
}

Failure<ExitCode> ToolFailure(const Failure<AdapterError>& failure) {
    switch (failure.Error) {
        case AdapterError::NoAdapter:
            return {ExitNoAdapter, failure.Message};
        case AdapterError::NoPermission:
            return {ExitNoPermission, failure.Message};
        case AdapterError::TransferFailed:
            return {ExitTransferFailed, failure.Message};
        case AdapterError::FileRefused:
            return {ExitFileRefused, failure.Message};
        case AdapterError::Busy:
            return {ExitAdapterBusy, failure.Message};
        case AdapterError::NotAllowed:
            break;
    }
    return {ExitUsage, failure.Message};
}

}  // namespace quillon::cli
