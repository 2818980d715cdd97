#include "AslBattery.h"

#include <setupapi.h>
#include <strsafe.h>

#include "DrvIoctl.h"
#include "ScopedHandle.h"
#include "StackLock.h"
#include "Trace.h"

namespace {

const WCHAR kBatteryDriverService[] = L"zavbatt";

// Whether device dwIndex of the set is served by the maker's battery driver.
bool IsServedByBatteryDriver(HDEVINFO hDevInfo, SP_DEVINFO_DATA* pDevInfoData)
{
    TRACE_FUNCTION();
    DWORD cbBuffer = 0;
    LPBYTE lpBuffer = nullptr;
    bool bServed = false;
    for (;;) {
        DWORD cbNeeded = 0;
        if (SetupDiGetDeviceRegistryPropertyW(hDevInfo, pDevInfoData, SPDRP_SERVICE, nullptr, lpBuffer, cbBuffer,
                                              &cbNeeded)) {
            WCHAR szService[MAX_PATH] = L"";
            size_t cchHeld = cbBuffer / sizeof(WCHAR);
            StringCchCopyNW(szService, ARRAYSIZE(szService), reinterpret_cast<LPCWSTR>(lpBuffer), cchHeld);
            bServed = lstrcmpiW(szService, kBatteryDriverService) == 0;
            break;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || cbNeeded <= cbBuffer) {
            break;
        }
        LocalFree(lpBuffer);
        lpBuffer = static_cast<LPBYTE>(LocalAlloc(LPTR, cbNeeded));
        if (lpBuffer == nullptr) {
            TRACE(0, L"Fail to LocalAlloc(). dwRet: %08x.", GetLastError());
            break;
        }
        cbBuffer = cbNeeded;
    }
    LocalFree(lpBuffer);
    return bServed;
}

}  // namespace

CAslBattery::CAslBattery() : m_csDriver()
{
    InitializeCriticalSection(&m_csDriver);
}

CAslBattery::~CAslBattery()
{
    DeleteCriticalSection(&m_csDriver);
}

BOOL CAslBattery::IsValidDriver()
{
    TRACE_ENTER(1);
    CStackLock lock(&m_csDriver);
    HDEVINFO hDevInfo = SetupDiGetClassDevsW(&kBatteryInterfaceClassGuid, nullptr, nullptr,
                                             DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (hDevInfo == INVALID_HANDLE_VALUE || hDevInfo == nullptr) {
        return TRACE_LEAVE_VALUE(FALSE);
    }
    BOOL bValid = FALSE;
    SP_DEVINFO_DATA devInfoData = {};
    devInfoData.cbSize = sizeof(devInfoData);
    for (DWORD dwIndex = 0; !bValid && SetupDiEnumDeviceInfo(hDevInfo, dwIndex, &devInfoData); ++dwIndex) {
        bValid = IsServedByBatteryDriver(hDevInfo, &devInfoData) ? TRUE : FALSE;
    }
    SetupDiDestroyDeviceInfoList(hDevInfo);
    return TRACE_LEAVE_VALUE(bValid);
}

HRESULT CAslBattery::AslMethodPSTS(DWORD dwIndex, LPDWORD lpdwPwrState)
{
    TRACE_ENTER(1);
    if (lpdwPwrState == nullptr) {
        TRACE(0, L"%s is NULL.", L"lpdwPwrState");
        return TRACE_LEAVE(static_cast<DWORD>(E_POINTER));
    }
    CStackLock lock(&m_csDriver);
    LPCWSTR lpPath = (dwIndex < kMaxBatteries) ? DevicePath(dwIndex) : L"";
    CScopedFileHandle battery(CreateFileW(lpPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
    if (!battery.IsValid()) {
        TRACE(0, L"Fail to CreateFile(). dwErr: %08x.", GetLastError());
        return TRACE_LEAVE(static_cast<DWORD>(E_FAIL));
    }
    DWORD dwPwrState = 0;
    DWORD cbReturned = 0;
    if (!DeviceIoControl(battery.Get(), IOCTL_ASL_PSTS, nullptr, 0, &dwPwrState, sizeof(dwPwrState), &cbReturned,
                         nullptr)
        || cbReturned != sizeof(dwPwrState)) {
        TRACE(0, L"Fail to DeviceIoControl().");
        return TRACE_LEAVE(static_cast<DWORD>(E_FAIL));
    }
    *lpdwPwrState = dwPwrState;
    TRACE(1, L"dwPwrState: HIWORD: %04x, LOWORD %04x.", HIWORD(dwPwrState), LOWORD(dwPwrState));
    return TRACE_LEAVE(static_cast<DWORD>(S_OK));
}
