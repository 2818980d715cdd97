// zavsimctl: the set-up steps of the simulated hardware that need the Windows API, run
// inside the prefix by tools/sim-hw.
//
//   zavsimctl battery-add SLOT      a root-enumerated battery device ROOT\ZAVBATT served
//                                   by the "zavbatt" driver, taking its values from slot
//                                   SLOT; the driver is started or asked to enumerate it
//   zavsimctl battery-remove-all    removes every ROOT\ZAVBATT device
//   zavsimctl show                  prints what the simulated machine answers: the
//                                   wattage devices, the batteries, the power status
//                                   and the active power scheme
//
// The exit code is 0 or the Win32 error of the step that failed, which is printed.
#include <windows.h>
#include <setupapi.h>
#include <batclass.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "DrvIoctl.h"
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

// Gives a registered device its driver and the slot whose values it answers.
DWORD ConfigureBattery(HDEVINFO set, SP_DEVINFO_DATA* pDevice, DWORD dwSlot)
{
    if (!SetupDiSetDeviceRegistryPropertyW(set, pDevice, SPDRP_SERVICE, reinterpret_cast<const BYTE*>(kServiceName),
                                           sizeof(kServiceName))) {
        return Fail(L"SetupDiSetDeviceRegistryPropertyW(SPDRP_SERVICE)", GetLastError());
    }
    HKEY hParams = SetupDiCreateDevRegKeyW(set, pDevice, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
    if (hParams == INVALID_HANDLE_VALUE) {
        return Fail(L"SetupDiCreateDevRegKeyW", GetLastError());
    }
    CScopedRegKey params(hParams);
    LSTATUS lResult = RegSetValueExW(params.Get(), L"Slot", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwSlot),
                                     sizeof(dwSlot));
    if (lResult != ERROR_SUCCESS) {
        return Fail(L"RegSetValueExW(Slot)", static_cast<DWORD>(lResult));
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
    DWORD dwResult = ConfigureBattery(set.Get(), &device, dwSlot);
    if (dwResult != 0) {
        // No half-made device stays behind.
        SetupDiRemoveDevice(set.Get(), &device);
        return dwResult;
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

// Prints a line in UTF-8, whatever the console's code page.
void Print(const wchar_t* lpFormat, ...)
{
    wchar_t szLine[1024];
    va_list args;
    va_start(args, lpFormat);
    _vsnwprintf(szLine, ARRAYSIZE(szLine) - 1, lpFormat, args);
    va_end(args);
    szLine[ARRAYSIZE(szLine) - 1] = L'\0';
    char szUtf8[4096];
    int cb = WideCharToMultiByte(CP_UTF8, 0, szLine, -1, szUtf8, sizeof(szUtf8), nullptr, nullptr);
    if (cb > 1) {
        fwrite(szUtf8, 1, static_cast<size_t>(cb - 1), stdout);
    }
    fputc('\n', stdout);
}

// One control request with optional input and a DWORD answer; 0 or the last error.
DWORD Ask(HANDLE hDevice, DWORD dwCode, const void* pIn, DWORD cbIn, DWORD* pdwAnswer)
{
    DWORD cbReturned = 0;
    if (!DeviceIoControl(hDevice, dwCode, const_cast<void*>(pIn), cbIn, pdwAnswer, sizeof(*pdwAnswer), &cbReturned,
                         nullptr)) {
        return GetLastError();
    }
    return 0;
}

CScopedFileHandle OpenDevice(const wchar_t* lpPath)
{
    return CScopedFileHandle(CreateFileW(lpPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
}

void ShowWattageDevice(const wchar_t* lpPath, bool bLinear11)
{
    CScopedFileHandle device = OpenDevice(lpPath);
    if (!device.IsValid()) {
        Print(L"%-16ls not present (error %lu)", lpPath, GetLastError());
        return;
    }
    DWORD dwSupport = 0, dwRaw = 0;
    DWORD dwPmcp = Ask(device.Get(), IOCTL_PMCP, nullptr, 0, &dwSupport);
    DWORD dwGwat = Ask(device.Get(), IOCTL_GWAT, nullptr, 0, &dwRaw);
    wchar_t szSupport[32], szReading[64];
    swprintf(szSupport, ARRAYSIZE(szSupport), dwPmcp == 0 ? L"0x%08lx" : L"error %lu", dwPmcp == 0 ? dwSupport : dwPmcp);
    if (dwGwat != 0) {
        swprintf(szReading, ARRAYSIZE(szReading), L"error %lu", dwGwat);
    } else if (bLinear11) {
        swprintf(szReading, ARRAYSIZE(szReading), L"0x%08lx (%.1f W)", dwRaw, (dwRaw & 0x7FF) * 0.5);
    } else {
        swprintf(szReading, ARRAYSIZE(szReading), L"%lu", dwRaw);
    }
    Print(L"%-16ls PMCP %ls  GWAT %ls", lpPath, szSupport, szReading);
}

void ShowBatteries()
{
    CScopedDevInfo set(SetupDiGetClassDevsW(&kBatteryClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set.IsValid()) {
        Print(L"batteries        none (error %lu)", GetLastError());
        return;
    }
    SP_DEVICE_INTERFACE_DATA iface = {};
    iface.cbSize = sizeof(iface);
    DWORD dwIndex = 0;
    for (; SetupDiEnumDeviceInterfaces(set.Get(), nullptr, &kBatteryClass, dwIndex, &iface); dwIndex++) {
        std::vector<BYTE> detail(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) + MAX_PATH * sizeof(wchar_t));
        auto* pDetail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detail.data());
        pDetail->cbSize = sizeof(*pDetail);
        if (!SetupDiGetDeviceInterfaceDetailW(set.Get(), &iface, pDetail, static_cast<DWORD>(detail.size()), nullptr,
                                              nullptr)) {
            Print(L"battery %lu        detail error %lu", dwIndex, GetLastError());
            continue;
        }
        CScopedFileHandle battery = OpenDevice(pDetail->DevicePath);
        DWORD dwWait = 0, dwTag = 0, dwPsts = 0;
        DWORD dwTagError = battery.IsValid() ? Ask(battery.Get(), IOCTL_BATTERY_QUERY_TAG, &dwWait, sizeof(dwWait), &dwTag)
                                             : GetLastError();
        if (dwTagError != 0) {
            Print(L"battery %lu        %ls  empty (error %lu)", dwIndex, pDetail->DevicePath, dwTagError);
            continue;
        }
        BATTERY_WAIT_STATUS wait = {dwTag, 0, 0, 0, 0};
        BATTERY_STATUS status = {};
        DWORD cbReturned = 0;
        wchar_t szStatus[64] = L"status error";
        if (DeviceIoControl(battery.Get(), IOCTL_BATTERY_QUERY_STATUS, &wait, sizeof(wait), &status, sizeof(status),
                            &cbReturned, nullptr)) {
            swprintf(szStatus, ARRAYSIZE(szStatus), L"state 0x%lx  capacity %lu mWh", status.PowerState, status.Capacity);
        }
        DWORD dwPstsError = Ask(battery.Get(), IOCTL_ASL_PSTS, nullptr, 0, &dwPsts);
        Print(L"battery %lu        %ls  tag %lu  %ls  PSTS %ls0x%08lx", dwIndex, pDetail->DevicePath, dwTag, szStatus,
              dwPstsError == 0 ? L"" : L"error ", dwPstsError == 0 ? dwPsts : dwPstsError);
    }
    if (dwIndex == 0) {
        Print(L"batteries        none");
    }
}

void ShowPowerScheme()
{
    HMODULE hPowrProf = LoadLibraryW(L"PowrProf.dll");
    if (hPowrProf == nullptr) {
        Print(L"power scheme     PowrProf.dll error %lu", GetLastError());
        return;
    }
    using GetActiveSchemeFn = DWORD(WINAPI*)(HKEY, GUID**);
    using ReadFriendlyNameFn = DWORD(WINAPI*)(HKEY, const GUID*, const GUID*, const GUID*, PUCHAR, LPDWORD);
    auto getActiveScheme = reinterpret_cast<GetActiveSchemeFn>(
        reinterpret_cast<void*>(GetProcAddress(hPowrProf, "PowerGetActiveScheme")));
    auto readFriendlyName = reinterpret_cast<ReadFriendlyNameFn>(
        reinterpret_cast<void*>(GetProcAddress(hPowrProf, "PowerReadFriendlyName")));
    GUID* pActive = nullptr;
    DWORD dwResult = (getActiveScheme != nullptr) ? getActiveScheme(nullptr, &pActive) : GetLastError();
    if (dwResult == 0) {
        CScopedLocalMem active(pActive);
        wchar_t szName[260] = L"";
        DWORD cbName = sizeof(szName) - sizeof(wchar_t);
        dwResult = (readFriendlyName != nullptr)
                       ? readFriendlyName(nullptr, pActive, nullptr, nullptr, reinterpret_cast<PUCHAR>(szName), &cbName)
                       : GetLastError();
        if (dwResult == 0) {
            Print(L"power scheme     %ls", szName);
        }
    }
    if (dwResult != 0) {
        Print(L"power scheme     error %lu", dwResult);
    }
    FreeLibrary(hPowrProf);
}

DWORD Show()
{
    ShowWattageDevice(L"\\\\.\\ZAVPSRD", true);
    ShowWattageDevice(L"\\\\.\\ZAVECFILTER", false);
    ShowBatteries();
    SYSTEM_POWER_STATUS power = {};
    if (GetSystemPowerStatus(&power)) {
        Print(L"power status     AC line %u  battery flag %u  %u %%", power.ACLineStatus, power.BatteryFlag,
              power.BatteryLifePercent);
    }
    ShowPowerScheme();
    return 0;
}

DWORD Usage()
{
    wprintf(L"usage: zavsimctl battery-add SLOT | battery-remove-all | show\n");
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
    if (argc == 2 && wcscmp(argv[1], L"show") == 0) {
        return static_cast<int>(Show());
    }
    return static_cast<int>(Usage());
}
