#include "QuoLevelWrapper.h"

#include <strsafe.h>

#include "Reg.h"
#include "SampleRules.h"
#include "Trace.h"

const WCHAR REGKEY_PATH_DSPINFO[] = L"Software\\ZAV\\QUOViewer\\DspInfo";

CQuoLevel::CQuoLevel() : m_bInitialized(false) {}

CQuoLevel::~CQuoLevel()
{
    Finalize();
}

DWORD CQuoLevel::Initialize(QUOLEVEL_CALLBACK pFunc, LPVOID lpParam)
{
    TRACE_ENTER(1);
    if (pFunc == nullptr) {
        return TRACE_NULL_ARGUMENT(pFunc);
    }
    if (lpParam == nullptr) {
        return TRACE_NULL_ARGUMENT(lpParam);
    }
    if (!QuoApiInitializeSrv()) {
        TRACE(0, L"Error in QuoApiInitializeSrv().");
        return TRACE_LEAVE(ERROR_INVALID_FUNCTION);
    }
    if (!QuoApiRegisterCallback(pFunc, lpParam)) {
        TRACE(0, L"Error in QuoApiRegisterCallback().");
        QuoApiFinalizeSrv();
        return TRACE_LEAVE(ERROR_INVALID_FUNCTION);
    }
    m_bInitialized = true;
    TRACE(1, L"CQuoLevel -- Initialized.");
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CQuoLevel::Finalize()
{
    TRACE_ENTER(1);
    if (m_bInitialized) {
        QuoApiFinalizeSrv();
        m_bInitialized = false;
    }
    TRACE_LEAVE_VOID();
}

DWORD CQuoLevel::GetQUOLevel(LPDWORD lpdwLevel)
{
    TRACE_ENTER(1);
    if (lpdwLevel == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwLevel);
    }
    DWORD dwAnswer = QuoApiGetActiveQuoLevel();
    DWORD dwResult = samplerules::QuoLevelResult(dwAnswer, lpdwLevel);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in QuoApiGetActiveQuoLevel(). answer:0x%04X", dwAnswer);
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CQuoLevel::GetExtDspInfo(ExtDspInfo* pInfo, DWORD dwDisplayStatus)
{
    TRACE_ENTER(1);
    if (pInfo == nullptr) {
        return TRACE_NULL_ARGUMENT(pInfo);
    }
    QuoMonitorInfo monitors = {};
    DWORD dwResult = QuoApiGetCurrentMonitorInfo(&monitors);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in QuoApiGetCurrentMonitorInfo(). code:%u", dwResult);
        return TRACE_LEAVE(dwResult);
    }
    ZeroMemory(pInfo, sizeof(*pInfo));
    // The library's names are untrusted: cut each at its field.
    for (auto& monitor : monitors.Monitor) {
        monitor.szMonitorName[QUOMONITOR_NAME_CHARS - 1] = L'\0';
    }
    if (monitors.Monitor[0].szMonitorName[0] == L'\0') {
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    DWORD nDisplays = (monitors.Monitor[1].szMonitorName[0] != L'\0') ? 2 : 1;
    for (DWORD i = 0; i < nDisplays; ++i) {
        LPCWSTR lpValueName = samplerules::ExtDisplayValueName(monitors.Monitor[i].dwLevel, dwDisplayStatus);
        if (lpValueName == nullptr) {
            continue;
        }
        CRegEx reg;
        DWORD dwWatt = 0;
        if (reg.FindSubKeyValue(monitors.Monitor[i].szMonitorName, REGKEY_PATH_DSPINFO, lpValueName, &dwWatt)
            == ERROR_SUCCESS) {
            pInfo->dwMonWatt += dwWatt;
        }
    }
    StringCchCopyW(pInfo->szMonitorName1, ARRAYSIZE(pInfo->szMonitorName1), monitors.Monitor[0].szMonitorName);
    pInfo->dwLCDLevel1 = samplerules::DisplayLevelPercent(monitors.Monitor[0].dwLevel);
    if (nDisplays == 2) {
        StringCchCopyW(pInfo->szMonitorName2, ARRAYSIZE(pInfo->szMonitorName2), monitors.Monitor[1].szMonitorName);
        pInfo->dwLCDLevel2 = samplerules::DisplayLevelPercent(monitors.Monitor[1].dwLevel);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}
