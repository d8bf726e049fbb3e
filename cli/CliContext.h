#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CliEnvironment.h"
#include "cli/ExitCodes.h"
#include "config/SettingsRules.h"
#include "device/AdapterSession.h"

namespace quillon::cli {

// A step of the tool's own that can end the run: the exit code and what to say.
template <class T = void>
using CliResult = Result<T, ExitCode>;

// The command line once parsed.
struct CliOptions {
    std::string Command;                 // "list", "show", ..., "raw"
    std::vector<std::string> Arguments;  // the words after the command
    std::string Device;                  // --device; empty: the first adapter
    bool Json = false;
    int Emulate = -1;  // --emulate=N; -1: the real devices
    bool Verbose = false;
    bool All = false;
    bool Yes = false;
    std::optional<int> Length;       // --length, 1 to 65
    std::optional<long> Count;       // --count
    std::optional<double> Duration;  // --duration, seconds
    // provision
    std::string Firmware;           // --firmware
    std::string Config;             // --config
    std::vector<std::string> Sets;  // --set, each KEY=VALUE
    std::string LogFile;            // --log
    bool AllPresent = false;        // --all-present
    std::string Records;            // --records: the station's file, or a line's server
};

// One run of a command: the streams, the options, and the adapters once scanned.
class CliContext {
  public:
    CliContext(std::ostream& out, std::ostream& err, const CliEnvironment& env, CliOptions options);
    ~CliContext();

    std::ostream& Out;
    std::ostream& Err;
    const CliEnvironment& Env;
    const CliOptions Options;

    // Creates the platform and runs the first scan.
    AdapterResult<> StartSession();
    AdapterSession& Session() { return *session_; }
    IHidPlatform& Platform() { return *platform_; }

    // Scans and picks the adapter that --device names; with needWrite it must be writable,
    // with take it is also held for this run's writes (taken before anything is read).
    AdapterResult<size_t> SelectAdapter(bool needWrite = true, bool take = false);

    // Asks the "Clear data after transmited" confirmation unless --yes.
    CliResult<> ConfirmClearData();

    // Prints why an operation failed and returns the exit code for it.
    int Report(const Failure<AdapterError>& failure);
    int Report(const Failure<SettingsError>& failure);
    int Report(const Failure<ExitCode>& failure);
    // Prints "quillon-cli: " and the message on the error stream.
    void Fail(const std::string& message);
    // Fail, then the exit code given.
    int Refuse(ExitCode code, const std::string& message);

  private:
    std::unique_ptr<IHidPlatform> platform_;
    std::unique_ptr<AdapterSession> session_;
};

// An adapter layer's failure as the tool's own, with the exit code that Report gives it.
Failure<ExitCode> ToolFailure(const Failure<AdapterError>& failure);

// The commands; each returns the exit code.
int RunList(CliContext& context);
int RunShow(CliContext& context);
int RunSet(CliContext& context);
int RunSave(CliContext& context);
int RunLoad(CliContext& context);
int RunFlash(CliContext& context);
int RunRaw(CliContext& context);
int RunMonitor(CliContext& context);
int RunReset(CliContext& context);
int RunProvision(CliContext& context);

}  // namespace quillon::cli
