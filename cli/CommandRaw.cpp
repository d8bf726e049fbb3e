#include "cli/CliContext.h"
#include "cli/HexText.h"
#include "device/ReportText.h"

namespace quillon::cli {
namespace {

std::optional<uint8_t> ParseByteArgument(CliContext& context, const std::string& text,
                                         const char* what) {
    const auto value = ParseHexByteStrict(text);
    if (!value) {
        context.Fail("bad " + std::string(what) + " \"" + text +
                     "\": give hexadecimal digits (e.g. 03, FF)");
    }
    return value;
}

// The adapter that --device names and the length of its transfers (--length, or its feature
// report length), or the exit code of the failure.
int SelectRawAdapter(CliContext& context, size_t& index, size_t& length, bool toWrite) {
    if (const int code = context.SelectAdapter(index); code != kExitSuccess) {
        return code;
    }
    if (toWrite) {
        if (const int code = context.ClaimAdapter(index); code != kExitSuccess) {
            return code;
        }
    }
    length = context.Options.Length ? static_cast<size_t>(*context.Options.Length)
                                    : context.FeatureLength(index);
    if (length == 0) {
        context.Fail("the adapter reports no feature report length: give --length");
        return kExitUsage;
    }
    return kExitSuccess;
}

int RawGet(CliContext& context, const std::vector<std::string>& words) {
    if (words.size() != 1) {
        context.Fail("raw get takes one argument, the report ID");
        return kExitUsage;
    }
    const auto reportId = ParseByteArgument(context, words[0], "report ID");
    if (!reportId) {
        return kExitUsage;
    }
    size_t index = 0;
    size_t length = 0;
    if (const int code = SelectRawAdapter(context, index, length, false); code != kExitSuccess) {
        return code;
    }
    ReportBuffer buffer{};
    buffer[0] = *reportId;
    LoggingFeatureDevice& device = context.Transfers(index);
    if (!device.GetFeatureReport(buffer.data(), length)) {
        context.Fail("unable to read report " + FormatHexByte(*reportId) + ": " +
                     device.LastErrorMessage());
        return kExitTransferFailed;
    }
    context.Out << HistoryLine('R', *reportId, buffer.data() + 1, length - 1) << "\n";
    return kExitSuccess;
}

int RawSet(CliContext& context, const std::vector<std::string>& words) {
    if (words.empty()) {
        context.Fail("raw set takes a report ID and the bytes after it");
        return kExitUsage;
    }
    ReportBuffer buffer{};
    const auto reportId = ParseByteArgument(context, words[0], "report ID");
    if (!reportId) {
        return kExitUsage;
    }
    buffer[0] = *reportId;
    if (words.size() > ReportBufferSize) {
        context.Fail("at most " + std::to_string(ReportBufferSize - 1) + " bytes after the ID");
        return kExitUsage;
    }
    for (size_t i = 1; i < words.size(); ++i) {
        const auto value = ParseByteArgument(context, words[i], "byte");
        if (!value) {
            return kExitUsage;
        }
        buffer[i] = *value;
    }
    // As on the raw-report page, the whole feature report is sent; bytes not given are 0.
    size_t index = 0;
    size_t length = 0;
    if (const int code = SelectRawAdapter(context, index, length, true); code != kExitSuccess) {
        return code;
    }
    if (words.size() > length) {
        context.Fail(std::to_string(words.size() - 1) + " bytes do not fit a report of " +
                     std::to_string(length) + " bytes (report ID included)");
        return kExitUsage;
    }
    LoggingFeatureDevice& device = context.Transfers(index);
    if (!device.SetFeatureReport(buffer.data(), length)) {
        context.Fail("unable to write report " + FormatHexByte(*reportId) + ": " +
                     device.LastErrorMessage());
        return kExitTransferFailed;
    }
    context.Out << HistoryLine('W', *reportId, buffer.data() + 1, length - 1) << "\n";
    return kExitSuccess;
}

}  // namespace

int RunRaw(CliContext& context) {
    const auto& words = context.Options.Arguments;
    if (words.empty() || (words[0] != "get" && words[0] != "set")) {
        context.Fail("raw needs get or set");
        return kExitUsage;
    }
    const std::vector<std::string> rest(words.begin() + 1, words.end());
    return words[0] == "get" ? RawGet(context, rest) : RawSet(context, rest);
}

int RunReset(CliContext& context) {
    if (!context.Options.Arguments.empty()) {
        context.Fail("reset takes no arguments");
        return kExitUsage;
    }
    size_t index = 0;
    if (const int code = context.SelectAdapter(index); code != kExitSuccess) {
        return code;
    }
    if (const int code = context.ClaimAdapter(index); code != kExitSuccess) {
        return code;
    }
    LoggingFeatureDevice& device = context.Transfers(index);
    if (!device.SetFeatureReport(ResetReport, sizeof ResetReport)) {
        context.Fail("unable to send the reset report: " + device.LastErrorMessage());
        return kExitTransferFailed;
    }
    return kExitSuccess;
}

}  // namespace quillon::cli
