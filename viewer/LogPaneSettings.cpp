// The log analysis pane's settings from the registry.
#include "LogPaneSettings.h"

#include <stdio.h>
#include <strsafe.h>

#include "LogPeriod.h"
#include "QuoViewer_Common.h"
#include "Reg.h"
#include "Trace.h"

namespace {

// One minimum Y range in DevInfo and its field.
struct MaxWhValue {
    LPCWSTR lpName;
    LPCWSTR lpRegId;
    LPCWSTR lpField;
    double QVLogMinRanges::*pField;
};
const MaxWhValue kMaxWhValues[] = {
    {L"MaxWhDaily", L"REG_VALUE_DW_MAX_WH_DAILY", L"dMaxWhDaily", &QVLogMinRanges::dMaxWhDaily},
    {L"MaxWhWeekly", L"REG_VALUE_DW_MAX_WH_WEEKLY", L"dMaxWhWeekly", &QVLogMinRanges::dMaxWhWeekly},
    {L"MaxWhMonthly", L"REG_VALUE_DW_MAX_WH_MONTHLY", L"dMaxWhMonthly", &QVLogMinRanges::dMaxWhMonthly},
    {L"MaxWhYearly", L"REG_VALUE_DW_MAX_WH_YEARLY", L"dMaxWhYearly", &QVLogMinRanges::dMaxWhYearly},
};

// Builds lpRoot\lpSub into szPath; false when it does not fit.
bool JoinKey(WCHAR (&szPath)[CReg::kPathChars], LPCWSTR lpRoot, LPCWSTR lpSub)
{
    return SUCCEEDED(StringCchPrintfW(szPath, ARRAYSIZE(szPath), L"%s\\%s", lpRoot, lpSub));
}

void TraceColor(LPCWSTR lpFormat, COLORREF cr)
{
    TRACE_FUNCTION();
    TRACE(1, lpFormat, GetRValue(cr), GetGValue(cr), GetBValue(cr));
}

void ReadLogAnalyze(LPCWSTR lpLogAnalyzeKey, const SYSTEMTIME& stToday, QVLogPaneSettings* pSettings)
{
    TRACE_FUNCTION();
    CReg reg;
    DWORD dwRet = reg.OpenKey(lpLogAnalyzeKey, KEY_READ);
    if (dwRet != ERROR_SUCCESS) {
        TRACE(1, L"Error in OpenKey(REGKEY_PATH_LOGANALYZE). code:%u", dwRet);
        return;
    }
    DWORD dwValue = 0;
    if (reg.QueryDWORDValue(L"CO2Factor", &dwValue) == ERROR_SUCCESS) {
        pSettings->dCO2Factor = dwValue / 1000.0;
    }
    TRACE(1, L"m_dCO2Factor: %.4lf", pSettings->dCO2Factor);
    if (reg.QueryDWORDValue(L"QuoFgColor", &dwValue) == ERROR_SUCCESS) {
        pSettings->dwQuoFgColor = dwValue;
    }
    TraceColor(L"dwQuoFgColor:(%u,%u,%u)", pSettings->dwQuoFgColor);
    if (reg.QueryDWORDValue(L"FgColor", &dwValue) == ERROR_SUCCESS) {
        pSettings->dwFgColor = dwValue;
    }
    TraceColor(L"dwFgColor:(%u,%u,%u)", pSettings->dwFgColor);
    if (reg.QueryDWORDValue(L"BgColor", &dwValue) == ERROR_SUCCESS) {
        pSettings->dwBgColor = dwValue;
    }
    TraceColor(L"dwBgColor:(%u,%u,%u)", pSettings->dwBgColor);
    if (reg.QueryDWORDValue(L"PastLimitDateYear", &dwValue) == ERROR_SUCCESS) {
        pSettings->stPastLimitSysTime = PastLimitForYear(dwValue, stToday);
    }
    TRACE(1, L"stPastLimitSysTime.wYear: %u", pSettings->stPastLimitSysTime.wYear);
}

void ReadRefreshDelay(LPCWSTR lpRootKey, QVLogPaneSettings* pSettings)
{
    TRACE_FUNCTION();
    CReg reg;
    DWORD dwValue = 0;
    if (reg.OpenKey(lpRootKey, KEY_READ) == ERROR_SUCCESS &&
        reg.QueryDWORDValue(L"GraphRefreshDelay", &dwValue) == ERROR_SUCCESS) {
        pSettings->dwGraphRefreshDelay = dwValue;
    }
    TRACE(1, L"m_dwGraphRefreshDelay: %u", pSettings->dwGraphRefreshDelay);
}

void ReadDevInfo(LPCWSTR lpDevInfoKey, QVLogPaneSettings* pSettings)
{
    TRACE_FUNCTION();
    CReg reg;
    const DWORD dwRet = reg.OpenKey(lpDevInfoKey, KEY_READ);
    if (dwRet != ERROR_SUCCESS) {
        TRACE(0, L"Error in OpenKey(REGKEY_PATH_DEVINFO). code:%u", dwRet);
        return;
    }
    for (const MaxWhValue& value : kMaxWhValues) {
        DWORD dwValue = 0;
        const DWORD dwQuery = reg.QueryDWORDValue(value.lpName, &dwValue);
        if (dwQuery == ERROR_SUCCESS) {
            pSettings->minRanges.*value.pField = static_cast<double>(dwValue);
        } else {
            TRACE(1, L"QueryDWORDValue(%s) is failed. dwRet=%u", value.lpRegId, dwQuery);
        }
        TRACE(1, L"%s: %.1lf", value.lpField, pSettings->minRanges.*value.pField);
    }
}

}  // namespace

QVLogPaneSettings DefaultLogPaneSettings()
{
    QVLogPaneSettings settings;
    settings.stPastLimitSysTime = DefaultPastLimitDate();
    return settings;
}

DWORD ReadLogPaneSettings(LPCWSTR lpRootKey, const SYSTEMTIME& stToday,
                          const std::wstring (&stateNames)[kQVPowerStates], QVLogPaneSettings* pSettings,
                          QVPlanColorTable* pPlanTable, QVStateColorTable* pStateTable)
{
    TRACE_ENTER(1);
    if (lpRootKey == nullptr) {
        return TRACE_NULL_ARGUMENT(lpRootKey);
    }
    if (pSettings == nullptr) {
        return TRACE_NULL_ARGUMENT(pSettings);
    }
    if (pPlanTable == nullptr) {
        return TRACE_NULL_ARGUMENT(pPlanTable);
    }
    if (pStateTable == nullptr) {
        return TRACE_NULL_ARGUMENT(pStateTable);
    }
    WCHAR szLogAnalyze[CReg::kPathChars];
    WCHAR szDevInfo[CReg::kPathChars];
    if (!JoinKey(szLogAnalyze, lpRootKey, L"LogAnalyze") || !JoinKey(szDevInfo, lpRootKey, L"DevInfo")) {
        return TRACE_LEAVE(ERROR_FILENAME_EXCED_RANGE);
    }
    ReadLogAnalyze(szLogAnalyze, stToday, pSettings);
    ReadRefreshDelay(lpRootKey, pSettings);
    const DWORD dwRet = ReadColorOverrides(szLogAnalyze, stateNames, pPlanTable, pStateTable);
    if (dwRet != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwRet);
    }
    ReadDevInfo(szDevInfo, pSettings);
    return TRACE_LEAVE(ERROR_SUCCESS);
}
