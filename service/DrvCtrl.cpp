#include "DrvCtrl.h"

#include <strsafe.h>

#include "DrvIoctl.h"
#include "Reg.h"
#include "SampleRules.h"
#include "Trace.h"

const WCHAR REGKEY_PATH_DEVINFO[] = L"Software\\ZAV\\QUOViewer\\DevInfo";

namespace {

const WCHAR kPowerSensorDevice[] = L"\\\\.\\ZAVPSRD";
const WCHAR kEmbeddedControllerDevice[] = L"\\\\.\\ZAVECFILTER";
const WCHAR REGENTRY_GWATCOEFFICIENT[] = L"GwatCoefficient";

}  // namespace

CDrvCtrl::CDrvCtrl(LPCWSTR lpszDevName) : m_bInitialized(false), m_szDevName(), m_hDev(INVALID_HANDLE_VALUE)
{
    StringCchCopyW(m_szDevName, ARRAYSIZE(m_szDevName), lpszDevName);
}

CDrvCtrl::~CDrvCtrl()
{
    if (m_hDev != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hDev);
    }
}

DWORD CDrvCtrl::Initialize()
{
    TRACE_ENTER(1);
    if (m_bInitialized) {
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    TRACE(1, L"CDrvCtrl -- Initialized.");
    HANDLE hDev = CreateFileW(m_szDevName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (hDev == INVALID_HANDLE_VALUE) {
        DWORD dwError = GetLastError();
        TRACE(0, L"CreateFile(%s) failed. (code:%u)", m_szDevName, dwError);
        return TRACE_LEAVE(dwError);
    }
    m_hDev = hDev;
    m_bInitialized = true;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CDrvCtrl::Finalize()
{
    TRACE_ENTER(1);
    if (m_bInitialized) {
        CloseHandle(m_hDev);
        m_hDev = INVALID_HANDLE_VALUE;
        TRACE(1, L"CDrvCtrl -- Finalized.");
        m_bInitialized = false;
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CDrvCtrl::QueryWord(DWORD dwCode, LPDWORD lpdwWord, LPCWSTR lpszErrorFormat, LPCWSTR lpszValueFormat)
{
    TRACE_ENTER(1);
    if (lpdwWord == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwWord);
    }
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    DWORD dwWord = 0;
    DWORD cbReturned = 0;
    DWORD dwResult = ERROR_SUCCESS;
    if (!DeviceIoControl(m_hDev, dwCode, nullptr, 0, &dwWord, sizeof(dwWord), &cbReturned, nullptr)) {
        dwResult = GetLastError();
    } else if (cbReturned != sizeof(dwWord)) {
        // A driver that answers fewer bytes than a word has not answered.
        dwResult = ERROR_INVALID_DATA;
    }
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, lpszErrorFormat, dwResult);
        return TRACE_LEAVE(dwResult);
    }
    *lpdwWord = dwWord;
    TRACE(1, lpszValueFormat, dwWord);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CDrvCtrl::Gwat(LPDWORD lpdwRaw)
{
    return QueryWord(IOCTL_GWAT, lpdwRaw, L"GetWattage - Error in DeviceIoControl(). (code:%u)", L"GWAT,0x%08X");
}

DWORD CDrvCtrl::Pmcp(LPDWORD lpdwState)
{
    return QueryWord(IOCTL_PMCP, lpdwState, L"GetDevSupportState - Error in DeviceIoControl(). (code:%u)",
                     L"DevSupportState: 0x%08X");
}

DWORD CDrvCtrl::GetDevSupportState(bool* pbSupported)
{
    TRACE_ENTER(1);
    if (pbSupported == nullptr) {
        return TRACE_NULL_ARGUMENT(pbSupported);
    }
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    DWORD dwState = 0;
    DWORD dwResult = Pmcp(&dwState);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in Pmcp(). (code:%u)", dwResult);
        return TRACE_LEAVE(dwResult);
    }
    *pbSupported = (dwState & PMCP_GWAT_SUPPORTED) != 0;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

CQuoDrv::CQuoDrv() : CDrvCtrl(kPowerSensorDevice) {}

DWORD CQuoDrv::GetWattage(double* pdWatts)
{
    TRACE_ENTER(1);
    if (pdWatts == nullptr) {
        return TRACE_NULL_ARGUMENT(pdWatts);
    }
    if (!IsInitialized()) {
        return TRACE_NOT_READY();
    }
    DWORD dwRaw = 0;
    DWORD dwResult = Gwat(&dwRaw);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in Gwat(). (code:%u)", dwResult);
        return TRACE_LEAVE(dwResult);
    }
    dwResult = samplerules::DecodeLinear11(dwRaw, pdWatts);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"N is not -1.(code:%u)", dwResult);
    }
    return TRACE_LEAVE(dwResult);
}

CEmbDrv::CEmbDrv() : CDrvCtrl(kEmbeddedControllerDevice), m_dDevParam(1.0) {}

DWORD CEmbDrv::Initialize()
{
    TRACE_ENTER(1);
    CReg reg;
    if (reg.OpenKey(REGKEY_PATH_DEVINFO, KEY_READ) != ERROR_SUCCESS) {
        TRACE(0, L"cReg.OpenKey() : failed");
    } else {
        WCHAR szCoefficient[MAX_PATH] = L"";
        DWORD cch = ARRAYSIZE(szCoefficient);
        if (reg.QueryStringValue(REGENTRY_GWATCOEFFICIENT, szCoefficient, &cch) != ERROR_SUCCESS) {
            szCoefficient[0] = L'\0';
        }
        reg.CloseKey();
        samplerules::ParseGwatCoefficient(szCoefficient, &m_dDevParam);
    }
    TRACE(1, L"m_dDevParam : %f", m_dDevParam);
    TRACE(1, L"CEmbDrv -- Initialized.");
    return TRACE_LEAVE(CDrvCtrl::Initialize());
}

DWORD CEmbDrv::GetWattage(double* pdWatts)
{
    TRACE_ENTER(1);
    if (pdWatts == nullptr) {
        return TRACE_NULL_ARGUMENT(pdWatts);
    }
    if (!IsInitialized()) {
        return TRACE_NOT_READY();
    }
    DWORD dwRaw = 0;
    DWORD dwResult = Gwat(&dwRaw);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in Gwat(). (code:%u)", dwResult);
        return TRACE_LEAVE(dwResult);
    }
    *pdWatts = static_cast<double>(dwRaw) * m_dDevParam;
    return TRACE_LEAVE(ERROR_SUCCESS);
}
