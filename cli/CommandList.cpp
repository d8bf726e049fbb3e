#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include "cli/CliContext.h"
#include "device/HexText.h"
#include "device/ReportText.h"
#include "hid/AccessAdvice.h"

namespace quillon::cli {
namespace {

std::string Hex4(uint16_t value) {
    return FourHexDigits(value, HexLetters::Lower);
}

std::string AccessText(const HidDeviceSummary& device) {
    if (device.CanReadWrite) {
        return "writable";
    }
    return "not writable: " + (device.OpenErrorMessage.empty() ? std::string("unknown reason")
                                                               : device.OpenErrorMessage);
}

QJsonObject ToJson(const HidDeviceSummary& device) {
    QJsonObject object;
    object["index"] = device.AdapterIndex >= 0 ? QJsonValue(device.AdapterIndex) : QJsonValue();
    object["path"] = QString::fromStdString(device.Path);
    object["vendorId"] = QString::fromStdString(Hex4(device.Identity.VendorID));
    object["productId"] = QString::fromStdString(Hex4(device.Identity.ProductID));
    object["version"] = QString::fromStdString(Hex4(device.Identity.VersionNumber));
    object["manufacturer"] = QString::fromStdU16String(device.Manufacturer);
    object["product"] = QString::fromStdU16String(device.Product);
    object["writable"] = device.CanReadWrite;
    object["reason"] = device.CanReadWrite
                           ? QJsonValue()
                           : QJsonValue(QString::fromStdString(device.OpenErrorMessage));
    return object;
}

}  // namespace

int RunList(CliContext& context) {
    if (!context.Options.Arguments.empty()) {
        return context.Refuse(ExitUsage, "list takes no arguments");
    }
    if (auto started = context.StartSession(); !started) {
        return context.Report(started.Error());
    }
    std::vector<const HidDeviceSummary*> shown;
    for (const HidDeviceSummary& device : context.Session().Devices()) {
        if (context.Options.All || device.AdapterIndex >= 0) {
            shown.push_back(&device);
        }
    }

    if (context.Options.Json) {
        QJsonArray array;
        for (const HidDeviceSummary* device : shown) {
            array.append(ToJson(*device));
        }
        context.Out << QJsonDocument(array).toJson(QJsonDocument::Indented).toStdString();
    } else {
        for (const HidDeviceSummary* device : shown) {
            context.Out << (device->AdapterIndex >= 0 ? std::to_string(device->AdapterIndex) : "-")
                        << "  " << device->Path << "  " << Hex4(device->Identity.VendorID) << ":"
                        << Hex4(device->Identity.ProductID) << "  version "
                        << Hex4(device->Identity.VersionNumber) << "  \""
                        << Utf16ToUtf8(device->Manufacturer) << "\"  \""
                        << Utf16ToUtf8(device->Product) << "\"  " << AccessText(*device) << "\n";
        }
        if (context.Session().AdapterCount() == 0) {
            context.Fail("no adapter found");
        }
    }
    // The advice once, for the first adapter that the missing rule keeps out.
    for (size_t i = 0; i < context.Session().AdapterCount(); ++i) {
        const HidDeviceSummary& adapter = context.Session().AdapterSummary(i);
        if (!adapter.CanReadWrite && IsAccessRefusal(adapter.OpenError)) {
            context.Err << MissingAccessAdvice(adapter.Path);
            break;
        }
    }
    return ExitSuccess;
}

}  // namespace quillon::cli
