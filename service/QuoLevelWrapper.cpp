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
    TRACE_CHECK_NULL(pFunc);
    TRACE_CHECK_NULL(lpParam);
    if (!QuoApiInitializeSrv()) {
        TRACE(0, L"Error in QuoApiInitializeSrv().");
        TRACE_RETURN(ERROR_INVALID_FUNCTION);
    }
    if (!QuoApiRegisterCallback(pFunc, lpParam)) {
        TRACE(0, L"Error in QuoApiRegisterCallback().");
        QuoApiFinalizeSrv();
        TRACE_RETURN(ERROR_INVALID_FUNCTION);
    }
    m_bInitialized = true;
    TRACE(1, L"CQuoLevel -- Initialized.");
    TRACE_RETURN(ERROR_SUCCESS);
}

void CQuoLevel::Finalize()
{
    TRACE_ENTER(1);
    if (m_bInitialized) {
        QuoApiFinalizeSrv();
        m_bInitialized = false;
    }
    TRACE_EXIT();
}

DWORD CQuoLevel::GetQUOLevel(LPDWORD lpdwLevel)
{
    TRACE_ENTER(1);
    TRACE_CHECK_NULL(lpdwLevel);
    DWORD dwAnswer = QuoApiGetActiveQuoLevel();
    DWORD dwResult = samplerules::QuoLevelResult(dwAnswer, lpdwLevel);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in QuoApiGetActiveQuoLevel(). answer:0x%04X", dwAnswer);
    }
    TRACE_RETURN(dwResult);
}

DWORD CQuoLevel::GetExtDspInfo(ExtDspInfo* pInfo, DWORD dwDisplayStatus)
{
    TRACE_ENTER(1);
    TRACE_CHECK_NULL(pInfo);
    QuoMonitorInfo monitors = {};
    DWORD dwResult = QuoApiGetCurrentMonitorInfo(&monitors);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in QuoApiGetCurrentMonitorInfo(). code:%u", dwResult);
        TRACE_RETURN(dwResult);
    }
    ZeroMemory(pInfo, sizeof(*pInfo));
    // The library's names are untrusted: cut each at its field.
    for (auto& monitor : monitors.Monitor) {
        monitor.szMonitorName[QUOMONITOR_NAME_CHARS - 1] = L'\0';
    }
    if (monitors.Monitor[0].szMonitorName[0] == L'\0') {
        TRACE_RETURN(ERROR_SUCCESS);
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
    TRACE_RETURN(ERROR_SUCCESS);
}
