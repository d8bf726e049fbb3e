#pragma once

#include <QStringList>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/AdapterSession.h"
#include "cli/CliEnvironment.h"
#include "cli/ExitCodes.h"
#include "cli/LoggingFeatureDevice.h"
#include "config/DeviceSettings.h"
#include "hid/HidExclusiveUse.h"

namespace quillon::cli {

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

    // Creates the platform and runs the first scan. kExitSuccess, or the code to exit with
    // (the reason printed).
    int StartSession();
    AdapterSession& Session() { return *session_; }
    IHidPlatform& Platform() { return *platform_; }

    // Scans and picks the adapter that --device names; with needWrite it must be writable.
    // On failure prints why and returns the exit code.
    int SelectAdapter(size_t& index, bool needWrite = true);
    // Prints why the adapter may not be used and returns the exit code for it.
    int RefuseUnwritable(size_t index);
    // Takes the adapter for this run's writes, until the run ends: kExitSuccess, or
    // kExitAdapterBusy (the reason printed) when another program is writing to it.
    int ClaimAdapter(size_t index);

    // The adapter's feature transfers, logged.
    LoggingFeatureDevice& Transfers(size_t index);
    // The adapter's feature report length, at most the report buffer's; 0 when unknown.
    size_t FeatureLength(size_t index);

    // Reads the settings record into the buffer; prints the failure and returns false.
    bool ReadSettings(size_t index, ReportBuffer& buffer);
    // Writes the record, reads it back and checks that the adapter kept it. Exit code.
    int WriteSettings(size_t index, const ReportBuffer& buffer);

    // Reads a configuration file into probe and checks that it holds a settings record; prints
    // why not and returns the exit code.
    int CheckSettingsFile(const std::string& path, ReportBuffer& probe);

    // Asks the "Clear data after transmited" confirmation unless --yes; exit code, 0 to go on.
    int ConfirmClearData();

    // Prints "quillon-cli: " and the message on the error stream.
    void Fail(const std::string& message);

  private:
    std::unique_ptr<IHidPlatform> platform_;
    std::unique_ptr<AdapterSession> session_;
    std::vector<std::unique_ptr<LoggingFeatureDevice>> transfers_;
    std::vector<std::unique_ptr<THidExclusiveUse>> claims_;
};

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

// Reads the update file in full and prints why when it is refused.
bool CheckUpdateFile(CliContext& context, const std::string& path);

std::string Utf8(const std::u16string& text);

}  // namespace quillon::cli
