// zavsimctl: the set-up steps of the simulated hardware that need the Windows API, run
// inside the prefix by tools/sim-hw.
//
//   zavsimctl battery-add SLOT      a root-enumerated battery device ROOT\ZAVBATT served
//                                   by the "zavbatt" driver, taking its values from slot
//                                   SLOT; the driver is started or asked to enumerate it
//   zavsimctl battery-remove-all    removes every ROOT\ZAVBATT device
//
// The exit code is 0 or the Win32 error of the step that failed, which is printed.
#include <windows.h>
#include <setupapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "ScopedHandle.h"

namespace {

const GUID kBatteryClass = {0x72631e54, 0x78a4, 0x11d0, {0xbc, 0xf7, 0x00, 0xaa, 0x00, 0xb7, 0xb3, 0x2a}};
const wchar_t kHardwareId[] = L"ROOT\\ZAVBATT";
const wchar_t kServiceName[] = L"zavbatt";
// The control with which Wine's driver host enumerates a driver's root devices again.
const DWORD kControlReenumerateRootDevices = 128;

struct CDevInfoTraits {
    using Handle = HDEVINFO;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { SetupDiDestroyDeviceInfoList(h); }
};
using CScopedDevInfo = CScopedHandle<CDevInfoTraits>;

DWORD Fail(const wchar_t* lpStep, DWORD dwError)
{
    wprintf(L"zavsimctl: %ls failed (error %lu)\n", lpStep, dwError);
    return dwError;
}

// Starts the driver, which enumerates its root devices, or has the running driver
// enumerate them again.
DWORD StartOrReenumerate()
{
    CScopedScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager.IsValid()) {
        return Fail(L"OpenSCManagerW", GetLastError());
    }
    CScopedScHandle service(OpenServiceW(manager.Get(), kServiceName,
                                         SERVICE_START | SERVICE_QUERY_STATUS | SERVICE_USER_DEFINED_CONTROL));
    if (!service.IsValid()) {
        return Fail(L"OpenServiceW(zavbatt)", GetLastError());
    }
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(service.Get(), &status)) {
        return Fail(L"QueryServiceStatus", GetLastError());
    }
    if (status.dwCurrentState == SERVICE_RUNNING) {
        if (!ControlService(service.Get(), kControlReenumerateRootDevices, &status)) {
            return Fail(L"ControlService(reenumerate)", GetLastError());
        }
        return 0;
    }
    if (!StartServiceW(service.Get(), 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
        return Fail(L"StartServiceW(zavbatt)", GetLastError());
    }
    return 0;
}

DWORD AddBattery(DWORD dwSlot)
{
    CScopedDevInfo set(SetupDiCreateDeviceInfoList(&kBatteryClass, nullptr));
    if (!set.IsValid()) {
        return Fail(L"SetupDiCreateDeviceInfoList", GetLastError());
    }
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    if (!SetupDiCreateDeviceInfoW(set.Get(), L"ZAVBATT", &kBatteryClass, L"ZAV simulated battery", nullptr,
                                  DICD_GENERATE_ID, &device)) {
        return Fail(L"SetupDiCreateDeviceInfoW", GetLastError());
    }
    // A multi-string: the id and an empty string.
    const wchar_t szIds[] = L"ROOT\\ZAVBATT\0";
    if (!SetupDiSetDeviceRegistryPropertyW(set.Get(), &device, SPDRP_HARDWAREID,
                                           reinterpret_cast<const BYTE*>(szIds), sizeof(szIds))) {
        return Fail(L"SetupDiSetDeviceRegistryPropertyW(SPDRP_HARDWAREID)", GetLastError());
    }
    if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set.Get(), &device)) {
        return Fail(L"SetupDiCallClassInstaller(DIF_REGISTERDEVICE)", GetLastError());
    }
    if (!SetupDiSetDeviceRegistryPropertyW(set.Get(), &device, SPDRP_SERVICE,
                                           reinterpret_cast<const BYTE*>(kServiceName), sizeof(kServiceName))) {
        return Fail(L"SetupDiSetDeviceRegistryPropertyW(SPDRP_SERVICE)", GetLastError());
    }
    CScopedRegKey params(SetupDiCreateDevRegKeyW(set.Get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr));
    if (params.Get() == INVALID_HANDLE_VALUE) {
        params.Release();
        return Fail(L"SetupDiCreateDevRegKeyW", GetLastError());
    }
    LSTATUS lResult = RegSetValueExW(params.Get(), L"Slot", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwSlot),
                                     sizeof(dwSlot));
    if (lResult != ERROR_SUCCESS) {
        return Fail(L"RegSetValueExW(Slot)", static_cast<DWORD>(lResult));
    }
    wchar_t szInstance[MAX_PATH] = L"";
    if (SetupDiGetDeviceInstanceIdW(set.Get(), &device, szInstance, ARRAYSIZE(szInstance), nullptr)) {
        wprintf(L"%ls slot %lu\n", szInstance, dwSlot);
    }
    return StartOrReenumerate();
}

// True when the device's hardware ids name the simulated battery.
bool IsSimulatedBattery(HDEVINFO set, SP_DEVINFO_DATA* pDevice)
{
    wchar_t szIds[512] = L"";
    if (!SetupDiGetDeviceRegistryPropertyW(set, pDevice, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(szIds),
                                           sizeof(szIds) - 2 * sizeof(wchar_t), nullptr)) {
        return false;
    }
    for (const wchar_t* p = szIds; *p != L'\0'; p += wcslen(p) + 1) {
        if (_wcsicmp(p, kHardwareId) == 0) {
            return true;
        }
    }
    return false;
}

DWORD RemoveBatteries()
{
    CScopedDevInfo set(SetupDiGetClassDevsW(nullptr, L"ROOT", nullptr, DIGCF_ALLCLASSES));
    if (!set.IsValid()) {
        return Fail(L"SetupDiGetClassDevsW", GetLastError());
    }
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set.Get(), i, &device); i++) {
        if (!IsSimulatedBattery(set.Get(), &device)) {
            continue;
        }
        if (!SetupDiRemoveDevice(set.Get(), &device)) {
            return Fail(L"SetupDiRemoveDevice", GetLastError());
        }
    }
    return 0;
}

DWORD Usage()
{
    wprintf(L"usage: zavsimctl battery-add SLOT | battery-remove-all\n");
    return ERROR_BAD_ARGUMENTS;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 3 && wcscmp(argv[1], L"battery-add") == 0) {
        wchar_t* lpEnd = nullptr;
        unsigned long ulSlot = wcstoul(argv[2], &lpEnd, 10);
        if (lpEnd == argv[2] || *lpEnd != L'\0' || ulSlot > 1) {
            return static_cast<int>(Usage());
        }
        return static_cast<int>(AddBattery(ulSlot));
    }
    if (argc == 2 && wcscmp(argv[1], L"battery-remove-all") == 0) {
        return static_cast<int>(RemoveBatteries());
    }
    return static_cast<int>(Usage());
}
