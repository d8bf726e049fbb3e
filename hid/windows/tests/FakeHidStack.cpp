#include "hid/windows/tests/FakeHidStack.h"

#include <cstring>
#include <string>

namespace quillon::winhid::test {
namespace {

// Device handles are indices into Interfaces, offset so that they are never null or invalid.
constexpr uintptr_t kHandleBase = 0x1000;

FakeHidStack::Interface* InterfaceOf(HANDLE handle) {
    const uintptr_t index = reinterpret_cast<uintptr_t>(handle) - kHandleBase;
    auto& interfaces = FakeHidStack::current->Interfaces;
    return index < interfaces.size() ? &interfaces[index] : nullptr;
}

const GUID kHidClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
const HDEVINFO kList = reinterpret_cast<HDEVINFO>(uintptr_t(0x77));

void WINAPI GetHidGuid(LPGUID guid) {
    *guid = kHidClass;
}

HDEVINFO WINAPI GetClassDevs(const GUID*, PCWSTR, HWND, DWORD) {
    return kList;
}

BOOL WINAPI EnumInterfaces(HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD index,
                           PSP_DEVICE_INTERFACE_DATA data) {
    if (index >= FakeHidStack::current->Interfaces.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    data->Reserved = index;
    return TRUE;
}

BOOL WINAPI InterfaceDetail(HDEVINFO, PSP_DEVICE_INTERFACE_DATA data,
                            PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size, PDWORD needed,
                            PSP_DEVINFO_DATA device) {
    const auto& entry = FakeHidStack::current->Interfaces[data->Reserved];
    if (entry.Vanished) {
        SetLastError(ERROR_NO_SUCH_DEVINST);
        return FALSE;
    }
    const DWORD required = DWORD(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                 (entry.Path.size() + 1) * sizeof(wchar_t));
    if (needed != nullptr) {
        *needed = required;
    }
    if (detail == nullptr || size < required) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(detail->DevicePath, entry.Path.c_str(), (entry.Path.size() + 1) * sizeof(wchar_t));
    if (device != nullptr) {
        device->DevInst = entry.DevInst;
    }
    return TRUE;
}

BOOL WINAPI DestroyList(HDEVINFO) {
    return TRUE;
}

HDEVINFO WINAPI CreateList(const GUID*, HWND) {
    return reinterpret_cast<HDEVINFO>(uintptr_t(0x78));
}

// The location and parent of the device node with that DevInst, an interface's or a parent's.
bool NodeOf(DWORD devInst, std::wstring& location, std::wstring& parent) {
    FakeHidStack& stack = *FakeHidStack::current;
    for (const auto& entry : stack.Interfaces) {
        if (entry.DevInst == devInst) {
            location = entry.Location;
            parent = entry.ParentId;
            return true;
        }
    }
    for (const auto& node : stack.Parents) {
        if (node.DevInst == devInst) {
            location = node.Location;
            parent = node.ParentId;
            return true;
        }
    }
    return false;
}

// A text property as SetupAPI hands it out: UTF-16 with its terminator, if it fits.
BOOL CopyText(const std::wstring& text, PBYTE buffer, DWORD size) {
    const DWORD bytes = DWORD((text.size() + 1) * sizeof(wchar_t));
    if (size < bytes) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, text.c_str(), bytes);
    return TRUE;
}

BOOL WINAPI RegistryProperty(HDEVINFO, PSP_DEVINFO_DATA device, DWORD property, PDWORD type,
                             PBYTE buffer, DWORD size, PDWORD) {
    std::wstring location;
    std::wstring parent;
    if (property != SPDRP_LOCATION_INFORMATION || !NodeOf(device->DevInst, location, parent) ||
        location.empty()) {
        SetLastError(ERROR_INVALID_DATA);  // what SetupAPI answers for a value not set
        return FALSE;
    }
    *type = REG_SZ;
    return CopyText(location, buffer, size);
}

BOOL WINAPI DeviceProperty(HDEVINFO, PSP_DEVINFO_DATA device, const DEVPROPKEY* key,
                           DEVPROPTYPE* type, PBYTE buffer, DWORD size, PDWORD, DWORD) {
    // DEVPKEY_Device_Parent is the only key asked for.
    std::wstring location;
    std::wstring parent;
    if (key->pid != 8 || !NodeOf(device->DevInst, location, parent) || parent.empty()) {
        SetLastError(ERROR_NOT_FOUND);
        return FALSE;
    }
    *type = DEVPROP_TYPE_STRING;
    return CopyText(parent, buffer, size);
}

BOOL WINAPI OpenDeviceInfo(HDEVINFO, PCWSTR id, HWND, DWORD, PSP_DEVINFO_DATA device) {
    for (const auto& node : FakeHidStack::current->Parents) {
        if (node.InstanceId == id) {
            device->DevInst = node.DevInst;
            return TRUE;
        }
    }
    SetLastError(ERROR_NO_SUCH_DEVINST);
    return FALSE;
}

HANDLE WINAPI CreateFile(LPCWSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                         HANDLE) {
    auto& interfaces = FakeHidStack::current->Interfaces;
    for (size_t i = 0; i < interfaces.size(); ++i) {
        if (interfaces[i].Path == path) {
            if (interfaces[i].Vanished) {
                break;
            }
            if (interfaces[i].RefuseReadWrite && (access & GENERIC_WRITE) != 0) {
                SetLastError(ERROR_ACCESS_DENIED);
                return INVALID_HANDLE_VALUE;
            }
            return reinterpret_cast<HANDLE>(kHandleBase + i);
        }
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI CloseFile(HANDLE) {
    std::lock_guard lock(FakeHidStack::current->Mutex);
    FakeHidStack::current->Log.push_back("close");
    return TRUE;
}

BOOLEAN WINAPI GetAttributes(HANDLE handle, PHIDD_ATTRIBUTES attributes) {
    const auto* entry = InterfaceOf(handle);
    attributes->VendorID = 0x169B;
    attributes->ProductID = 0x0110;
    attributes->VersionNumber = USHORT(0x0100 + (entry->DevInst & 0xFF));
    return TRUE;
}

// The preparsed data is the interface itself.
BOOLEAN WINAPI GetPreparsedData(HANDLE handle, PHIDP_PREPARSED_DATA* data) {
    *data = reinterpret_cast<PHIDP_PREPARSED_DATA>(InterfaceOf(handle));
    return TRUE;
}

BOOLEAN WINAPI FreePreparsedData(PHIDP_PREPARSED_DATA) {
    return TRUE;
}

NTSTATUS WINAPI GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) {
    const auto* entry = reinterpret_cast<const FakeHidStack::Interface*>(data);
    caps->InputReportByteLength = entry->InputLength;
    caps->FeatureReportByteLength = entry->FeatureLength;
    return HIDP_STATUS_SUCCESS;
}

BOOLEAN WINAPI GetManufacturer(HANDLE, PVOID buffer, ULONG size) {
    const wchar_t text[] = L"Morvane \u00e9";
    if (size < sizeof text) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, text, sizeof text);
    return TRUE;
}

BOOLEAN WINAPI GetProduct(HANDLE, PVOID, ULONG) {
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
}

// Like Windows: only a buffer of exactly the feature length is taken. The interface, or null
// (with the last error set) when the length is refused.
FakeHidStack::Interface* FeatureTransfer(HANDLE handle, ULONG length) {
    auto* entry = InterfaceOf(handle);
    entry->LastFeatureRequestLength = length;
    if (length != entry->FeatureLength) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return entry;
}

BOOLEAN WINAPI GetFeature(HANDLE handle, PVOID buffer, ULONG length) {
    if (FeatureTransfer(handle, length) == nullptr) {
        return FALSE;
    }
    auto* bytes = static_cast<uint8_t*>(buffer);
    for (ULONG i = 1; i < length; ++i) {
        bytes[i] = uint8_t(i);
    }
    return TRUE;
}

BOOLEAN WINAPI SetFeature(HANDLE handle, PVOID buffer, ULONG length) {
    auto* entry = FeatureTransfer(handle, length);
    if (entry == nullptr) {
        return FALSE;
    }
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    entry->LastFeatureWritten.assign(bytes, bytes + length);
    return TRUE;
}

BOOL WINAPI ReadInput(HANDLE, LPVOID buffer, DWORD length, LPDWORD, LPOVERLAPPED request) {
    FakeHidStack& stack = *FakeHidStack::current;
    std::lock_guard lock(stack.Mutex);
    stack.Log.push_back("read");
    stack.Read = FakeHidStack::Pending{request, static_cast<uint8_t*>(buffer), length};
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

BOOL WINAPI OverlappedResult(HANDLE, LPOVERLAPPED request, LPDWORD count, BOOL wait) {
    FakeHidStack& stack = *FakeHidStack::current;
    if (wait) {
        WaitForSingleObject(request->hEvent, INFINITE);
    }
    std::lock_guard lock(stack.Mutex);
    if (!stack.Read.Done) {
        SetLastError(ERROR_IO_INCOMPLETE);
        return FALSE;
    }
    *count = stack.Read.Count;
    if (stack.Read.Error != 0) {
        SetLastError(stack.Read.Error);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI CancelIo(HANDLE, LPOVERLAPPED) {
    FakeHidStack& stack = *FakeHidStack::current;
    {
        std::lock_guard lock(stack.Mutex);
        stack.Log.push_back("cancel");
    }
    stack.Finish(ERROR_OPERATION_ABORTED, {});
    return TRUE;
}

}  // namespace

FakeHidStack* FakeHidStack::current = nullptr;

FakeHidStack::FakeHidStack() : functions_(std::make_shared<HidFunctions>()) {
    current = this;
    HidFunctions& f = *functions_;
    f.SetupDiGetClassDevsW = &GetClassDevs;
    f.SetupDiEnumDeviceInterfaces = &EnumInterfaces;
    f.SetupDiGetDeviceInterfaceDetailW = &InterfaceDetail;
    f.SetupDiDestroyDeviceInfoList = &DestroyList;
    f.SetupDiGetDeviceRegistryPropertyW = &RegistryProperty;
    f.SetupDiGetDevicePropertyW = &DeviceProperty;
    f.SetupDiCreateDeviceInfoList = &CreateList;
    f.SetupDiOpenDeviceInfoW = &OpenDeviceInfo;
    f.HidD_GetHidGuid = &GetHidGuid;
    f.HidD_GetAttributes = &GetAttributes;
    f.HidD_GetPreparsedData = &GetPreparsedData;
    f.HidD_FreePreparsedData = &FreePreparsedData;
    f.HidP_GetCaps = &GetCaps;
    f.HidD_GetManufacturerString = &GetManufacturer;
    f.HidD_GetProductString = &GetProduct;
    f.HidD_GetFeature = &GetFeature;
    f.HidD_SetFeature = &SetFeature;
    f.CreateFileW = &CreateFile;
    f.CloseHandle = &CloseFile;
    f.ReadFile = &ReadInput;
    f.GetOverlappedResult = &OverlappedResult;
    f.CancelIoEx = &CancelIo;
}

FakeHidStack::~FakeHidStack() {
    current = nullptr;
}

bool FakeHidStack::ReadPending() {
    std::lock_guard lock(Mutex);
    return Read.Request != nullptr && !Read.Done;
}

void FakeHidStack::Finish(DWORD error, const std::vector<uint8_t>& report) {
    std::lock_guard lock(Mutex);
    if (Read.Request == nullptr || Read.Done) {
        return;
    }
    const DWORD count = DWORD(std::min<size_t>(report.size(), Read.Length));
    std::memcpy(Read.Buffer, report.data(), count);
    Read.Done = true;
    Read.Error = error;
    Read.Count = count;
    SetEvent(Read.Request->hEvent);
}

void FakeHidStack::CompleteRead(const std::vector<uint8_t>& report) {
    Finish(0, report);
}

void FakeHidStack::FailRead(DWORD error) {
    Finish(error, {});
}

std::vector<std::string> FakeHidStack::Calls() {
    std::lock_guard lock(Mutex);
    return Log;
}

}  // namespace quillon::winhid::test
