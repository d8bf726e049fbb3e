#include "cli/CommandRecords.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

#include "cli/ExitCodes.h"
#include "device/records/RecordStore.h"
#include "device/records/SqliteRecordStore.h"

namespace quillon::cli {
namespace {

using records::RecordError;
using records::RecordFilter;
using records::StationRecord;
using records::SummaryBy;
using records::SummaryRow;

const char* const kDescription =
    "Lists or sums up the provisioning records of this station or of a line's server.\n\n"
    "  quillon-cli records [--since T] [--until T] [--result pass|fail] [--port P]\n"
    "                      [--firmware-crc C] [--station S] [--json|--csv]\n"
    "  quillon-cli records summary [--by day|firmware|station|reason] [filters] [--json|--csv]\n\n"
    "Times are UTC: 2026-01-31, 2026-01-31T14:05 or 2026-01-31T14:05:09; --until takes in the\n"
    "whole day, minute or second it names.";

std::string Hex4(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

std::string Fixed(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

double Seconds(const StationRecord& record) {
    return static_cast<double>(record.Took.count()) / 1000;
}

// "2026-01-31T14:05:09Z", as the station's CSV log writes times.
std::string SecondText(records::Clock::time_point time) {
    const std::string text = records::UtcText(time);
    return text.substr(0, 19) + "Z";
}

// What a terminal is shown of a text that came from a file or a server: no control characters.
std::string Printable(const std::string& text) {
    std::string shown = text;
    std::replace_if(
        shown.begin(), shown.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; },
        ' ');
    return shown;
}

std::string CsvField(const std::string& text) {
    const bool quote = text.find_first_of(",\"\r\n") != std::string::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) {
        return text;
    }
    std::string field = "\"";
    for (const char c : text) {
        field += c;
        if (c == '"') {
            field += '"';
        }
    }
    return field + "\"";
}

// CR LF ends a record, as spreadsheets write them; on Windows the standard output's text mode
// makes it of a plain LF.
#ifdef _WIN32
const char* const kCsvLineEnd = "\n";
#else
const char* const kCsvLineEnd = "\r\n";
#endif

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        line += (i == 0 ? "" : ",") + CsvField(fields[i]);
    }
    return line + kCsvLineEnd;
}

// Columns padded to their widest cell, two blanks apart; the last one not padded.
void PrintTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows,
                const std::vector<bool>& rightAligned) {
    std::vector<size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    for (const auto& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            const std::string padding(widths[i] - row[i].size(), ' ');
            const bool last = i + 1 == row.size();
            if (i > 0) {
                line += "  ";
            }
            if (i < rightAligned.size() && rightAligned[i]) {
                line += padding + row[i];
            } else {
                line += row[i] + (last ? "" : padding);
            }
        }
        out << line << "\n";
    }
}

std::string StepWord(const records::StepRecord& step) {
    return step.Result;
}

// The columns of the station's CSV log, in its order, then what the records hold besides.
const std::vector<std::string> kCsvHeader = {
    "time",
    "node",
    "usb_port",
    "vendor",
    "product",
    "manufacturer_text",
    "product_text",
    "version_before",
    "version_after",
    "firmware_file",
    "firmware_crc32",
    "settings",
    "update",
    "settings_write",
    "verify",
    "result",
    "reason",
    "seconds",
    "station",
    "station_id",
    "sequence",
    "firmware_size",
    "settings_bytes",
    "update_detail",
    "settings_detail",
    "verify_detail",
    "program_version",
};

std::string BytesHex(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (const uint8_t byte : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    return text;
}

std::vector<std::string> CsvFields(const StationRecord& r) {
    return {
        SecondText(r.Time),
        r.Node,
        r.UsbPort,
        Hex4(r.VendorId),
        Hex4(r.ProductId),
        r.Manufacturer,
        r.Product,
        Hex4(r.VersionBefore),
        r.VersionAfter ? Hex4(*r.VersionAfter) : "",
        r.FirmwareFile,
        r.FirmwareCrc,
        r.Settings,
        StepWord(r.Update),
        StepWord(r.SettingsWrite),
        StepWord(r.Verify),
        r.Passed ? "PASS" : "FAIL",
        r.Reason,
        Fixed(Seconds(r), 3),
        r.Station,
        r.StationId,
        std::to_string(r.Sequence),
        r.FirmwareFile.empty() ? "" : std::to_string(r.FirmwareSize),
        BytesHex(r.SettingsBytes),
        r.Update.Detail,
        r.SettingsWrite.Detail,
        r.Verify.Detail,
        r.ProgramVersion,
    };
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QJsonValue StepJson(const records::StepRecord& step) {
    return step.Result.empty() ? QJsonValue() : QJsonValue(Q(step.Result));
}

QJsonObject RecordJson(const StationRecord& r) {
    QJsonObject object;
    object["time"] = Q(records::UtcText(r.Time));
    object["station"] = Q(r.Station);
    object["station_id"] = Q(r.StationId);
    object["sequence"] = static_cast<qint64>(r.Sequence);
    object["node"] = Q(r.Node);
    object["usb_port"] = Q(r.UsbPort);
    object["vendor"] = Q(Hex4(r.VendorId));
    object["product"] = Q(Hex4(r.ProductId));
    object["manufacturer_text"] = Q(r.Manufacturer);
    object["product_text"] = Q(r.Product);
    object["version_before"] = Q(Hex4(r.VersionBefore));
    object["version_after"] = r.VersionAfter ? QJsonValue(Q(Hex4(*r.VersionAfter))) : QJsonValue();
    if (!r.FirmwareFile.empty()) {
        object["firmware_file"] = Q(r.FirmwareFile);
        object["firmware_size"] = static_cast<qint64>(r.FirmwareSize);
        object["firmware_crc32"] = Q(r.FirmwareCrc);
    }
    object["settings"] = Q(r.Settings);
    object["settings_bytes"] = Q(BytesHex(r.SettingsBytes));
    object["update"] = StepJson(r.Update);
    object["update_detail"] = Q(r.Update.Detail);
    object["settings_write"] = StepJson(r.SettingsWrite);
    object["settings_detail"] = Q(r.SettingsWrite.Detail);
    object["verify"] = StepJson(r.Verify);
    object["verify_detail"] = Q(r.Verify.Detail);
    object["result"] = r.Passed ? "PASS" : "FAIL";
    object["reason"] = Q(r.Reason);
    object["seconds"] = Seconds(r);
    object["program_version"] = Q(r.ProgramVersion);
    return object;
}

enum class Format { Text, Json, Csv };

void PrintRecords(std::ostream& out, const std::vector<StationRecord>& list, Format format) {
    if (format == Format::Json) {
        QJsonArray array;
        for (const StationRecord& record : list) {
            array.append(RecordJson(record));
        }
        out << QJsonDocument(array).toJson(QJsonDocument::Indented).toStdString();
        return;
    }
    if (format == Format::Csv) {
        out << CsvLine(kCsvHeader);
        for (const StationRecord& record : list) {
            out << CsvLine(CsvFields(record));
        }
        return;
    }
    if (list.empty()) {
        out << "no records\n";
        return;
    }
    std::vector<std::vector<std::string>> rows = {
        {"TIME", "STATION", "SEQ", "PORT", "NODE", "VERSION", "FIRMWARE", "SECONDS", "RESULT"}};
    size_t passed = 0;
    for (const StationRecord& r : list) {
        passed += r.Passed ? 1 : 0;
        rows.push_back({
            SecondText(r.Time),
            Printable(r.Station),
            std::to_string(r.Sequence),
            r.UsbPort.empty() ? "-" : Printable(r.UsbPort),
            Printable(r.Node),
            Hex4(r.VersionBefore) + " > " + (r.VersionAfter ? Hex4(*r.VersionAfter) : "-"),
            r.FirmwareFile.empty() ? "-" : Printable(r.FirmwareFile + " " + r.FirmwareCrc),
            Fixed(Seconds(r), 1),
            r.Passed ? "PASS" : "FAIL: " + Printable(r.Reason),
        });
    }
    PrintTable(out, rows, {false, false, true, false, false, false, false, true, false});
    out << list.size() << (list.size() == 1 ? " record: " : " records: ") << passed << " passed, "
        << list.size() - passed << " failed\n";
}

const std::map<std::string, SummaryBy> kSummaryKeys = {
    {"day", SummaryBy::Day},
    {"firmware", SummaryBy::Firmware},
    {"station", SummaryBy::Station},
    {"reason", SummaryBy::Reason},
};

// How an empty key reads: records without an update, passed ones (no reason).
std::string KeyText(SummaryBy by, const std::string& key) {
    if (!key.empty()) {
        return key;
    }
    switch (by) {
        case SummaryBy::Firmware:
            return "(no update)";
        case SummaryBy::Reason:
            return "(passed)";
        case SummaryBy::Station:
            return "(no name)";
        default:
            return key;
    }
}

SummaryRow Total(const std::vector<SummaryRow>& rows) {
    SummaryRow total;
    double seconds = 0;
    for (const SummaryRow& row : rows) {
        total.Count += row.Count;
        total.Passed += row.Passed;
        seconds += row.MeanSeconds * static_cast<double>(row.Count);
    }
    total.MeanSeconds = total.Count == 0 ? 0 : seconds / static_cast<double>(total.Count);
    return total;
}

std::string Percent(const SummaryRow& row) {
    return row.Count == 0 ? "-" : Fixed(row.Yield() * 100, 1) + "%";
}

void PrintSummary(std::ostream& out, const std::vector<SummaryRow>& rows, SummaryBy by,
                  const std::string& byName, Format format) {
    const SummaryRow total = Total(rows);
    if (format == Format::Json) {
        const auto object = [](const SummaryRow& row) {
            QJsonObject json;
            json["count"] = static_cast<qint64>(row.Count);
            json["passed"] = static_cast<qint64>(row.Passed);
            json["failed"] = static_cast<qint64>(row.Failed());
            json["yield"] = row.Yield();
            json["mean_seconds"] = row.MeanSeconds;
            return json;
        };
        QJsonObject document;
        if (by != SummaryBy::All) {
            QJsonArray array;
            for (const SummaryRow& row : rows) {
                QJsonObject json = object(row);
                json[Q(byName)] = Q(row.Key);
                array.append(json);
            }
            document["by"] = Q(byName);
            document["rows"] = array;
        }
        document["total"] = object(total);
        out << QJsonDocument(document).toJson(QJsonDocument::Indented).toStdString();
        return;
    }
    if (format == Format::Csv) {
        const std::string key = by == SummaryBy::All ? "all" : byName;
        out << CsvLine({key, "count", "passed", "failed", "yield", "mean_seconds"});
        for (const SummaryRow& row : by == SummaryBy::All ? std::vector<SummaryRow>{total} : rows) {
            out << CsvLine({by == SummaryBy::All ? "total" : row.Key, std::to_string(row.Count),
                            std::to_string(row.Passed), std::to_string(row.Failed()),
                            Fixed(row.Yield(), 4), Fixed(row.MeanSeconds, 3)});
        }
        return;
    }
    std::string heading = byName;
    std::transform(heading.begin(), heading.end(), heading.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    std::vector<std::vector<std::string>> table = {
        {by == SummaryBy::All ? "" : heading, "COUNT", "PASSED", "FAILED", "YIELD", "MEAN S"}};
    const auto line = [](const std::string& key, const SummaryRow& row) {
        return std::vector<std::string>{key,
                                        std::to_string(row.Count),
                                        std::to_string(row.Passed),
                                        std::to_string(row.Failed()),
                                        Percent(row),
                                        row.Count == 0 ? "-" : Fixed(row.MeanSeconds, 2)};
    };
    if (by != SummaryBy::All) {
        for (const SummaryRow& row : rows) {
            table.push_back(line(Printable(KeyText(by, row.Key)), row));
        }
    }
    table.push_back(line("total", total));
    PrintTable(out, table, {false, true, true, true, true, true});
}

int StoreExitCode(const std::string& location, RecordError error) {
    switch (error) {
        case RecordError::BadUrl:
            return ExitUsage;
        case RecordError::Unreachable:
            return ExitTransferFailed;
        default:
            return records::IsServerUrl(location) ? ExitTransferFailed : ExitFileRefused;
    }
}

}  // namespace

bool IsRecordsCommand(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--device") {
            ++i;  // its value
        } else if (!arguments[i].startsWith("-")) {
            return arguments[i] == "records";
        }
    }
    return false;
}

int RunRecords(const QStringList& arguments, std::ostream& out, std::ostream& err) {
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    const QCommandLineOption help({"h", "help"}, "Show this help.");
    const QCommandLineOption location(
        "records",
        "The record database: a file, or a server's postgresql:// URL (default: "
        "this station's file, " +
            Q(records::SqliteRecordStore::DefaultPath()) + ").",
        "PATH|URL");
    const QCommandLineOption since("since", "Records from this time on (UTC).", "T");
    const QCommandLineOption until("until", "Records up to this time (UTC).", "T");
    const QCommandLineOption result("result", "Only passed or only failed adapters.", "pass|fail");
    const QCommandLineOption port("port", "Adapters on this USB port (1-2.3) or node.", "P");
    const QCommandLineOption crc("firmware-crc", "Adapters updated with this firmware (CRC-32).",
                                 "C");
    const QCommandLineOption station("station", "Records of this station.", "S");
    const QCommandLineOption by("by", "summary: a line per day, firmware, station or reason.",
                                "day|firmware|station|reason");
    const QCommandLineOption json("json", "JSON output.");
    const QCommandLineOption csv("csv", "CSV output.");
    for (const auto* option :
         {&help, &location, &since, &until, &result, &port, &crc, &station, &by, &json, &csv}) {
        parser.addOption(*option);
    }
    const auto usageError = [&](const QString& message) {
        err << "quillon-cli: " << message.toStdString() << "\n"
            << "Try quillon-cli records --help.\n";
        return ExitUsage;
    };
    if (!parser.parse(arguments)) {
        return usageError(parser.errorText());
    }
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        text.replace(QRegularExpression("^Usage: \\S+"), "Usage: quillon-cli records");
        out << text.toStdString() << "\n";
        return ExitSuccess;
    }
    QStringList words = parser.positionalArguments();
    words.removeFirst();  // "records"
    const bool summary = !words.isEmpty() && words.first() == "summary";
    if (summary) {
        words.removeFirst();
    }
    if (!words.isEmpty()) {
        return usageError("records takes no \"" + words.first() + "\"; did you mean summary?");
    }
    if (parser.isSet(json) && parser.isSet(csv)) {
        return usageError("--json and --csv exclude each other");
    }
    if (parser.isSet(by) && !summary) {
        return usageError("--by applies to records summary");
    }

    RecordFilter filter;
    for (const auto& [option, name, bound] : {std::tuple{&since, "--since", &filter.Since},
                                              std::tuple{&until, "--until", &filter.Until}}) {
        if (!parser.isSet(*option)) {
            continue;
        }
        const auto span = records::ParseUtcTime(parser.value(*option).toStdString());
        if (!span) {
            return usageError(QString("%1 takes a UTC time: 2026-01-31, 2026-01-31T14:05 or "
                                      "2026-01-31T14:05:09")
                                  .arg(name));
        }
        *bound = option == &since ? span->Begin : span->End;
    }
    if (parser.isSet(result)) {
        const QString value = parser.value(result).toLower();
        if (value != "pass" && value != "fail") {
            return usageError("--result takes pass or fail");
        }
        filter.Passed = value == "pass";
    }
    filter.Port = parser.value(port).toStdString();
    filter.FirmwareCrc = parser.value(crc).toStdString();
    if (parser.isSet(crc)) {
        bool ok = false;
        parser.value(crc).toUInt(&ok, 16);
        if (!ok || filter.FirmwareCrc.size() != 8) {
            return usageError("--firmware-crc takes eight hexadecimal digits");
        }
    }
    filter.Station = parser.value(station).toStdString();
    SummaryBy summaryBy = SummaryBy::All;
    const std::string byName = parser.value(by).toLower().toStdString();
    if (parser.isSet(by)) {
        const auto found = kSummaryKeys.find(byName);
        if (found == kSummaryKeys.end()) {
            return usageError("--by takes day, firmware, station or reason");
        }
        summaryBy = found->second;
    }
    const Format format = parser.isSet(json)  ? Format::Json
                          : parser.isSet(csv) ? Format::Csv
                                              : Format::Text;

    // A query never makes a database: a file that is not there is said to be missing.
    std::string where = parser.value(location).toStdString();
    if (where.empty()) {
        where = records::SqliteRecordStore::DefaultPath();
    }
    std::error_code missing;
    if (!records::IsServerUrl(where) &&
        !std::filesystem::exists(std::u8string(where.begin(), where.end()), missing)) {
        err << "quillon-cli: there is no record database " << where
            << " (a station makes it with its first record)\n";
        return ExitFileRefused;
    }
    auto store = records::OpenRecordStore(where);
    if (!store) {
        err << "quillon-cli: " << store.Error().Message << "\n";
        return StoreExitCode(where, store.Error().Error);
    }
    if (summary) {
        auto rows = (*store)->Summary(filter, summaryBy);
        if (!rows) {
            err << "quillon-cli: " << rows.Error().Message << "\n";
            return StoreExitCode(where, rows.Error().Error);
        }
        PrintSummary(out, *rows, summaryBy, byName, format);
    } else {
        auto list = (*store)->Query(filter);
        if (!list) {
            err << "quillon-cli: " << list.Error().Message << "\n";
            return StoreExitCode(where, list.Error().Error);
        }
        PrintRecords(out, *list, format);
    }
    out << std::flush;
    return ExitSuccess;
}

}  // namespace quillon::cli
