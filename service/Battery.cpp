#include "Battery.h"

#include <setupapi.h>
#include <strsafe.h>

#include "ScopedHandle.h"
#include "Trace.h"

const GUID kBatteryInterfaceClassGuid = {0x72631E54, 0x78A4, 0x11D0, {0xBC, 0xF7, 0x00, 0xAA, 0x00, 0xB7, 0xB3, 0x2A}};

namespace {

// Reads the path of battery interface dwIndex of the set into szPath. S_FALSE when the
// set has no interface at that index (the next index is tried), an error when the
// enumeration must end.
HRESULT ReadInterfacePath(HDEVINFO hDevInfo, DWORD dwIndex, LPWSTR szPath, size_t cchPath)
{
    SP_DEVICE_INTERFACE_DATA interfaceData = {};
    interfaceData.cbSize = sizeof(interfaceData);
    if (!SetupDiEnumDeviceInterfaces(hDevInfo, nullptr, &kBatteryInterfaceClassGuid, dwIndex, &interfaceData)) {
        return S_FALSE;
    }
    DWORD cbDetail = 0;
    if (SetupDiGetDeviceInterfaceDetailW(hDevInfo, &interfaceData, nullptr, 0, &cbDetail, nullptr)
        || GetLastError() != ERROR_INSUFFICIENT_BUFFER || cbDetail < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
        return E_FAIL;
    }
    HGLOBAL hDetail = GlobalAlloc(GPTR, cbDetail);
    if (hDetail == nullptr) {
        return E_OUTOFMEMORY;
    }
    auto* pDetail = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(hDetail);
    pDetail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    HRESULT hr = E_FAIL;
    if (SetupDiGetDeviceInterfaceDetailW(hDevInfo, &interfaceData, pDetail, cbDetail, nullptr, nullptr)) {
        StringCchCopyW(szPath, cchPath, pDetail->DevicePath);
        hr = S_OK;
    }
    GlobalFree(hDetail);
    return hr;
}

}  // namespace

CBattery::CBattery() : m_dwBatteryCount(0), m_bInitialized(FALSE), m_szDevicePath() {}

CBattery::~CBattery()
{
    Finalize();
}

DWORD CBattery::Initialize()
{
    TRACE_ENTER(2);
    EnumBatteries();
    m_bInitialized = TRUE;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CBattery::Finalize()
{
    TRACE_ENTER(2);
    m_bInitialized = FALSE;
    m_dwBatteryCount = 0;
    TRACE_LEAVE_VOID();
}

void CBattery::EnumBatteries()
{
    TRACE_ENTER(2);
    m_dwBatteryCount = 0;
    for (auto& szPath : m_szDevicePath) {
        szPath[0] = L'\0';
    }
    HDEVINFO hDevInfo = SetupDiGetClassDevsW(&kBatteryInterfaceClassGuid, nullptr, nullptr,
                                             DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (hDevInfo == INVALID_HANDLE_VALUE || hDevInfo == nullptr) {
        TRACE(2, L"Error in SetupDiGetClassDevs(). code:%u", GetLastError());
        TRACE_LEAVE_ERROR();
        return;
    }
    DWORD dwCount = 0;
    bool bComplete = true;
    for (DWORD dwIndex = 0; dwIndex < kMaxBatteries; ++dwIndex) {
        HRESULT hr = ReadInterfacePath(hDevInfo, dwIndex, m_szDevicePath[dwIndex], ARRAYSIZE(m_szDevicePath[dwIndex]));
        if (hr == S_FALSE) {
            continue;
        }
        if (FAILED(hr)) {
            TRACE(0, L"Battery enumeration ended at index %u. hr:%08x", dwIndex, hr);
            bComplete = false;
            break;
        }
        TRACE(2, L"Battery %u: %s", dwIndex, m_szDevicePath[dwIndex]);
        ++dwCount;
    }
    SetupDiDestroyDeviceInfoList(hDevInfo);
    if (bComplete) {
        m_dwBatteryCount = dwCount;
    }
    TRACE(2, L"m_dwBatteryCount:%u", m_dwBatteryCount);
    TRACE_LEAVE_VOID();
}

DWORD CBattery::GetAttachableBatteryCount(LPDWORD lpdwCount)
{
    TRACE_ENTER(2);
    if (lpdwCount == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwCount);
    }
    if (!m_bInitialized) {
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    *lpdwCount = m_dwBatteryCount;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CBattery::HaveBatteries(LPBOOL lpbFlag)
{
    TRACE_ENTER(2);
    if (lpbFlag == nullptr) {
        return TRACE_NULL_ARGUMENT(lpbFlag);
    }
    DWORD dwCount = 0;
    DWORD dwResult = GetAttachableBatteryCount(&dwCount);
    *lpbFlag = (dwResult == ERROR_SUCCESS && dwCount > 0) ? TRUE : FALSE;
    return TRACE_LEAVE(dwResult);
}

DWORD CBattery::GetSelectBatteryInfo(DWORD dwIndex, BatteryInfo* pBatteryInfo, DWORD dwFlags)
{
    TRACE_ENTER(2);
    if (pBatteryInfo == nullptr) {
        return TRACE_NULL_ARGUMENT(pBatteryInfo);
    }
    if (dwIndex >= m_dwBatteryCount) {
        return TRACE_LEAVE(ERROR_NO_MORE_ITEMS);
    }
    if (!m_bInitialized) {
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    ZeroMemory(pBatteryInfo, sizeof(*pBatteryInfo));
    CScopedFileHandle battery(CreateFileW(m_szDevicePath[dwIndex], GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!battery.IsValid()) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in CreateFile(). code:%u", dwError);
        return TRACE_LEAVE(dwError);
    }

    DWORD dwWait = kTagWaitMs;
    DWORD dwTag = 0;
    DWORD cbReturned = 0;
    if (!DeviceIoControl(battery.Get(), IOCTL_BATTERY_QUERY_TAG, &dwWait, sizeof(dwWait), &dwTag, sizeof(dwTag),
                         &cbReturned, nullptr)) {
        DWORD dwError = GetLastError();
        TRACE(2, L"Error in DeviceIoControl(IOCTL_BATTERY_QUERY_TAG). code:%u", dwError);
        return TRACE_LEAVE(dwError);
    }

    BATTERY_QUERY_INFORMATION query = {};
    query.BatteryTag = dwTag;
    if (dwFlags & BATTINFO_DEVICENAME) {
        WCHAR szName[MAX_PATH] = {};
        query.InformationLevel = BatteryDeviceName;
        if (!DeviceIoControl(battery.Get(), IOCTL_BATTERY_QUERY_INFORMATION, &query, sizeof(query), szName,
                             sizeof(szName), &cbReturned, nullptr)) {
            DWORD dwError = GetLastError();
            TRACE(0, L"Error in DeviceIoControl(BatteryDeviceName). code:%u", dwError);
            return TRACE_LEAVE(dwError);
        }
        szName[ARRAYSIZE(szName) - 1] = L'\0';
        StringCchCopyW(pBatteryInfo->szDeviceName, ARRAYSIZE(pBatteryInfo->szDeviceName), szName);
    }
    if (dwFlags & BATTINFO_INFORMATION) {
        query.InformationLevel = BatteryInformation;
        if (!DeviceIoControl(battery.Get(), IOCTL_BATTERY_QUERY_INFORMATION, &query, sizeof(query),
                             &pBatteryInfo->BatteryInformation, sizeof(pBatteryInfo->BatteryInformation),
                             &cbReturned, nullptr)) {
            DWORD dwError = GetLastError();
            TRACE(0, L"Error in DeviceIoControl(BatteryInformation). code:%u", dwError);
            return TRACE_LEAVE(dwError);
        }
    }
    if (dwFlags & BATTINFO_STATUS) {
        BATTERY_WAIT_STATUS waitStatus = {};
        waitStatus.BatteryTag = dwTag;
        if (!DeviceIoControl(battery.Get(), IOCTL_BATTERY_QUERY_STATUS, &waitStatus, sizeof(waitStatus),
                             &pBatteryInfo->BatteryStatus, sizeof(pBatteryInfo->BatteryStatus), &cbReturned,
                             nullptr)) {
            DWORD dwError = GetLastError();
            TRACE(0, L"Error in DeviceIoControl(IOCTL_BATTERY_QUERY_STATUS). code:%u", dwError);
            return TRACE_LEAVE(dwError);
        }
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CBattery::QueryAttachedBattery(DWORD dwIndex)
{
    TRACE_ENTER(2);
    BatteryInfo info;
    return TRACE_LEAVE(GetSelectBatteryInfo(dwIndex, &info, 0));
}

DWORD CBattery::GetAttachedBatteryCount(LPDWORD lpdwCount)
{
    TRACE_ENTER(2);
    if (lpdwCount == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwCount);
    }
    if (!m_bInitialized) {
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    DWORD dwAttached = 0;
    for (DWORD dwIndex = 0; dwIndex < m_dwBatteryCount; ++dwIndex) {
        if (QueryAttachedBattery(dwIndex) == ERROR_SUCCESS) {
            ++dwAttached;
        }
    }
    *lpdwCount = dwAttached;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CBattery::GetCurrentCapacity(DWORD dwIndex, LPDWORD lpdwCurrentCapacity)
{
    TRACE_ENTER(2);
    if (lpdwCurrentCapacity == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwCurrentCapacity);
    }
    BatteryInfo info;
    DWORD dwResult = GetSelectBatteryInfo(dwIndex, &info, BATTINFO_STATUS);
    if (dwResult == ERROR_SUCCESS) {
        *lpdwCurrentCapacity = info.BatteryStatus.Capacity;
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CBattery::GetSystemPowerStatus(LPSYSTEM_POWER_STATUS pStatus, DWORD dwRetry)
{
    TRACE_ENTER(2);
    if (pStatus == nullptr) {
        return TRACE_NULL_ARGUMENT(pStatus);
    }
    DWORD dwResult = ERROR_SUCCESS;
    for (DWORD dwAttempt = 0; dwAttempt <= dwRetry; ++dwAttempt) {
        if (dwAttempt > 0) {
            Sleep(kPowerStatusRetrySleepMs);
        }
        if (!::GetSystemPowerStatus(pStatus)) {
            dwResult = GetLastError();
            TRACE(0, L"Error in GetSystemPowerStatus(). code:%u", dwResult);
            continue;
        }
        TRACE(2, L"BatteryFlag:        %08x", pStatus->BatteryFlag);
        TRACE(2, L"ACLineStatus:       %08x", pStatus->ACLineStatus);
        TRACE(2, L"BatteryLifePercent: %08x", pStatus->BatteryLifePercent);
        TRACE(2, L"BatteryFullLifeTime:%08x", pStatus->BatteryFullLifeTime);
        TRACE(2, L"BatteryLifeTime:    %08x", pStatus->BatteryLifeTime);
        bool bBatteryKnown = m_dwBatteryCount == 0
            || ((pStatus->BatteryFlag & BATTERY_FLAG_NO_BATTERY) == 0 && pStatus->BatteryFlag != BATTERY_FLAG_UNKNOWN);
        if (bBatteryKnown && pStatus->ACLineStatus < AC_LINE_UNKNOWN) {
            break;
        }
    }
    return TRACE_LEAVE(dwResult);
}
