#include <span>

#include "cli/CliContext.h"
#include "device/HexText.h"
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
// report length).
struct RawAdapter {
    size_t Index = 0;
    size_t Length = 0;
};
AdapterResult<RawAdapter> SelectRawAdapter(CliContext& context, bool toWrite) {
    const auto index = context.SelectAdapter(true, toWrite);
    if (!index) {
        return index.Error();
    }
    const size_t length = context.Options.Length ? static_cast<size_t>(*context.Options.Length)
                                                 : context.Session().FeatureLength(*index);
    if (length == 0) {
        return AdapterFailure(AdapterError::NotAllowed,
                              "the adapter reports no feature report length: give --length");
    }
    return RawAdapter{*index, length};
}

int RawGet(CliContext& context, const std::vector<std::string>& words) {
    if (words.size() != 1) {
        return context.Refuse(ExitUsage, "raw get takes one argument, the report ID");
    }
    const auto reportId = ParseByteArgument(context, words[0], "report ID");
    if (!reportId) {
        return ExitUsage;
    }
    const auto adapter = SelectRawAdapter(context, false);
    if (!adapter) {
        return context.Report(adapter.Error());
    }
    const auto [index, length] = *adapter;
    ReportBuffer report{};
    report[0] = *reportId;
    if (auto read = context.Session().Service(index).ReadReport(std::span(report).first(length));
        !read) {
        return context.Report(read.Error());
    }
    context.Out << HistoryLine('R', *reportId, report.data() + 1, length - 1) << "\n";
    return ExitSuccess;
}

int RawSet(CliContext& context, const std::vector<std::string>& words) {
    if (words.empty()) {
        return context.Refuse(ExitUsage, "raw set takes a report ID and the bytes after it");
    }
    ReportBuffer buffer{};
    const auto reportId = ParseByteArgument(context, words[0], "report ID");
    if (!reportId) {
        return ExitUsage;
    }
    buffer[0] = *reportId;
    if (words.size() > kReportBufferSize) {
        return context.Refuse(
            ExitUsage, "at most " + std::to_string(kReportBufferSize - 1) + " bytes after the ID");
    }
    for (size_t i = 1; i < words.size(); ++i) {
        const auto value = ParseByteArgument(context, words[i], "byte");
        if (!value) {
            return ExitUsage;
        }
        buffer[i] = *value;
    }
    // As on the raw-report page, the whole feature report is sent; bytes not given are 0.
    const auto adapter = SelectRawAdapter(context, true);
    if (!adapter) {
        return context.Report(adapter.Error());
    }
    const auto [index, length] = *adapter;
    if (words.size() > length) {
        return context.Refuse(ExitUsage,
                              std::to_string(words.size() - 1) + " bytes do not fit a report of " +
                                  std::to_string(length) + " bytes (report ID included)");
    }
    if (auto sent = context.Session().Service(index).WriteReport(std::span(buffer).first(length));
        !sent) {
        return context.Report(sent.Error());
    }
    context.Out << HistoryLine('W', *reportId, buffer.data() + 1, length - 1) << "\n";
    return ExitSuccess;
}

}  // namespace

int RunRaw(CliContext& context) {
    const auto& words = context.Options.Arguments;
    if (words.empty() || (words[0] != "get" && words[0] != "set")) {
        return context.Refuse(ExitUsage, "raw needs get or set");
    }
    const std::vector<std::string> rest(words.begin() + 1, words.end());
    return words[0] == "get" ? RawGet(context, rest) : RawSet(context, rest);
}

int RunReset(CliContext& context) {
    if (!context.Options.Arguments.empty()) {
        return context.Refuse(ExitUsage, "reset takes no arguments");
    }
    const auto index = context.SelectAdapter(true, true);
    if (!index) {
        return context.Report(index.Error());
    }
    if (auto reset = context.Session().Service(*index).Reset(); !reset) {
        return context.Report(reset.Error());
    }
    return ExitSuccess;
}

}  // namespace quillon::cli
