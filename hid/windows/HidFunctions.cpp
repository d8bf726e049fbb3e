#include "hid/windows/HidFunctions.h"

namespace quillon::winhid {
namespace {

// The table together with the libraries its entries point into.
struct BoundFunctions : HidFunctions {
    HMODULE SetupApi = nullptr;
    HMODULE Hid = nullptr;

    ~BoundFunctions() {
        if (Hid != nullptr) {
            FreeLibrary(Hid);
        }
        if (SetupApi != nullptr) {
            FreeLibrary(SetupApi);
        }
    }
};

template <typename Function>
bool Bind(HMODULE library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    return function != nullptr;
}

}  // namespace

std::shared_ptr<const HidFunctions> BindSystemHidFunctions() {
    auto table = std::make_shared<BoundFunctions>();
    // Only from the system folder: a DLL of that name beside the program must not be taken.
    table->SetupApi = LoadLibraryExW(L"setupapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (table->SetupApi == nullptr) {
        return nullptr;
    }
    table->Hid = LoadLibraryExW(L"hid.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (table->Hid == nullptr) {
        return nullptr;
    }
    const HMODULE setup = table->SetupApi;
    const HMODULE hid = table->Hid;
    const bool bound =
        Bind(setup, "SetupDiGetClassDevsW", table->SetupDiGetClassDevsW) &&
        Bind(setup, "SetupDiEnumDeviceInterfaces", table->SetupDiEnumDeviceInterfaces) &&
        Bind(setup, "SetupDiGetDeviceInterfaceDetailW", table->SetupDiGetDeviceInterfaceDetailW) &&
        Bind(setup, "SetupDiDestroyDeviceInfoList", table->SetupDiDestroyDeviceInfoList) &&
        Bind(hid, "HidD_GetHidGuid", table->HidD_GetHidGuid) &&
        Bind(hid, "HidD_GetAttributes", table->HidD_GetAttributes) &&
        Bind(hid, "HidD_GetPreparsedData", table->HidD_GetPreparsedData) &&
        Bind(hid, "HidD_FreePreparsedData", table->HidD_FreePreparsedData) &&
        Bind(hid, "HidP_GetCaps", table->HidP_GetCaps) &&
        Bind(hid, "HidD_GetManufacturerString", table->HidD_GetManufacturerString) &&
        Bind(hid, "HidD_GetProductString", table->HidD_GetProductString) &&
        Bind(hid, "HidD_GetFeature", table->HidD_GetFeature) &&
        Bind(hid, "HidD_SetFeature", table->HidD_SetFeature);
    if (!bound) {
        return nullptr;
    }
    // The location's functions may be missing (an old Wine): the devices are still listed.
    if (!Bind(setup, "SetupDiGetDeviceRegistryPropertyW",
              table->SetupDiGetDeviceRegistryPropertyW) ||
        !Bind(setup, "SetupDiGetDevicePropertyW", table->SetupDiGetDevicePropertyW) ||
        !Bind(setup, "SetupDiCreateDeviceInfoList", table->SetupDiCreateDeviceInfoList) ||
        !Bind(setup, "SetupDiOpenDeviceInfoW", table->SetupDiOpenDeviceInfoW)) {
        table->SetupDiGetDeviceRegistryPropertyW = nullptr;
    }
    table->CreateFileW = &::CreateFileW;
    table->CloseHandle = &::CloseHandle;
    table->ReadFile = &::ReadFile;
    table->GetOverlappedResult = &::GetOverlappedResult;
    table->CancelIoEx = &::CancelIoEx;
    return table;
}

}  // namespace quillon::winhid
