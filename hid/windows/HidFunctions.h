#pragma once

// clang-format off
#include <windows.h>
#include <devpropdef.h>
#include <setupapi.h>
#include <hidsdi.h>
#include <hidpi.h>
// clang-format on

#include <memory>

namespace quillon::winhid {

// The system services the backend calls on a device, as a table of functions. The HID and
// device-setup services are bound by name when the backend starts (hid.dll and setupapi.dll
// are not always there: a stripped-down system, an old Wine), and the whole table is the seam
// through which tests put a fake HID stack under the backend.
struct HidFunctions {
    // setupapi.dll
    HDEVINFO(WINAPI* SetupDiGetClassDevsW)(const GUID*, PCWSTR, HWND, DWORD);
    BOOL(WINAPI* SetupDiEnumDeviceInterfaces)
    (HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD, PSP_DEVICE_INTERFACE_DATA);
    BOOL(WINAPI* SetupDiGetDeviceInterfaceDetailW)
    (HDEVINFO, PSP_DEVICE_INTERFACE_DATA, PSP_DEVICE_INTERFACE_DETAIL_DATA_W, DWORD, PDWORD,
     PSP_DEVINFO_DATA);
    BOOL(WINAPI* SetupDiDestroyDeviceInfoList)(HDEVINFO);
    // setupapi.dll, for where a device is plugged in only: nullptr where the system lacks them,
    // and the devices are then listed without their location.
    BOOL(WINAPI* SetupDiGetDeviceRegistryPropertyW)
    (HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD, PBYTE, DWORD, PDWORD);
    BOOL(WINAPI* SetupDiGetDevicePropertyW)
    (HDEVINFO, PSP_DEVINFO_DATA, const DEVPROPKEY*, DEVPROPTYPE*, PBYTE, DWORD, PDWORD, DWORD);
    HDEVINFO(WINAPI* SetupDiCreateDeviceInfoList)(const GUID*, HWND);
    BOOL(WINAPI* SetupDiOpenDeviceInfoW)(HDEVINFO, PCWSTR, HWND, DWORD, PSP_DEVINFO_DATA);

    // hid.dll
    void(WINAPI* HidD_GetHidGuid)(LPGUID);
    BOOLEAN(WINAPI* HidD_GetAttributes)(HANDLE, PHIDD_ATTRIBUTES);
    BOOLEAN(WINAPI* HidD_GetPreparsedData)(HANDLE, PHIDP_PREPARSED_DATA*);
    BOOLEAN(WINAPI* HidD_FreePreparsedData)(PHIDP_PREPARSED_DATA);
    NTSTATUS(WINAPI* HidP_GetCaps)(PHIDP_PREPARSED_DATA, PHIDP_CAPS);
    BOOLEAN(WINAPI* HidD_GetManufacturerString)(HANDLE, PVOID, ULONG);
    BOOLEAN(WINAPI* HidD_GetProductString)(HANDLE, PVOID, ULONG);
    BOOLEAN(WINAPI* HidD_GetFeature)(HANDLE, PVOID, ULONG);
    BOOLEAN(WINAPI* HidD_SetFeature)(HANDLE, PVOID, ULONG);

    // kernel32: the device's file handles and their overlapped reads
    HANDLE(WINAPI* CreateFileW)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL(WINAPI* CloseHandle)(HANDLE);
    BOOL(WINAPI* ReadFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* GetOverlappedResult)(HANDLE, LPOVERLAPPED, LPDWORD, BOOL);
    BOOL(WINAPI* CancelIoEx)(HANDLE, LPOVERLAPPED);
};

// The system's own services, bound by name; nullptr when hid.dll or setupapi.dll (or one of
// their functions) is missing. The libraries stay loaded as long as the table lives.
std::shared_ptr<const HidFunctions> BindSystemHidFunctions();

}  // namespace quillon::winhid
