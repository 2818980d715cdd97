#include "MonitorRules.h"

#include "Trace.h"

MonPlanColors MonDefaultPlanColors()
{
    MonPlanColors colors;
    colors.crCnr1 = RGB(63, 209, 255);
    colors.crCnr2 = RGB(166, 255, 59);
    colors.crCnr0 = RGB(255, 174, 201);
    colors.crCml1 = RGB(43, 52, 237);
    colors.crCml2 = RGB(63, 209, 255);
    colors.crCml3 = RGB(166, 255, 59);
    colors.crCml0 = RGB(163, 73, 164);
    return colors;
}

COLORREF MonPlanColor(DWORD dwCnrType, LPCWSTR lpszPlan, const MonPlanColors& colors, const MonPlanNames& names)
{
    const std::wstring strPlan = (lpszPlan != nullptr) ? lpszPlan : L"";
    if (dwCnrType == MON_CNR_CONSUMER) {
        if (strPlan == names.strCnr2Fst || strPlan == names.strCnr2Snd) {
            return colors.crCnr2;
        }
        if (strPlan == names.strCnr1Fst || strPlan == names.strCnr1Snd) {
            return colors.crCnr1;
        }
        return colors.crCnr0;
    }
    if (strPlan == names.strCml1) {
        return colors.crCml1;
    }
    if (strPlan == names.strCml2) {
        return colors.crCml2;
    }
    if (strPlan == names.strCml3) {
        return colors.crCml3;
    }
    return colors.crCml0;
}

std::wstring MonConsumerLegend(const std::wstring& strCaption, const std::wstring& strFst,
                               const std::wstring& strSeparator, const std::wstring& strSnd)
{
    std::wstring strLegend = strCaption + strFst;
    if (!strSnd.empty()) {
        strLegend += strSeparator + strSnd;
    }
    return strLegend;
}

double MonTickValue(DWORD dwLoggingState, double dWatt)
{
    return (dwLoggingState == 0) ? MON_GAP_VALUE : dWatt;
}

UINT MonTimerInterval(DWORD dwReadResult, DWORD dwValue)
{
    return (dwReadResult == ERROR_SUCCESS && dwValue != 0) ? dwValue : MON_DEFAULT_INTERVAL_MS;
}

RECT MonPlotRect(const RECT& rcClient, int nLegendTop, int nUnitLabelHeight)
{
    RECT rc = rcClient;
    rc.bottom = nLegendTop - 4;
    const int nDx = (rc.right - rc.left) / 70;
    const int nDy = (rc.bottom - rc.top) / 70;
    rc.left += nDx;
    rc.right -= nDx;
    rc.top += nDy;
    rc.bottom -= nDy;
    rc.top += nUnitLabelHeight;
    return rc;
}

BOOL SplitMultiStrToTwoStr(LPCWSTR lpszMultiStr, DWORD cchMultiStr, std::wstring& strFirst, std::wstring& strSecond)
{
    TRACE_ENTER(1);
    if (lpszMultiStr == nullptr) {
        TRACE(0, L"%s is NULL.", L"lpszMultiStr");
        return TRACE_LEAVE_VALUE(FALSE);
    }
    if (cchMultiStr == 0) {
        TRACE(0, L"Buffer too small.");
        return TRACE_LEAVE_VALUE(FALSE);
    }
    DWORD dwDouble = 0;
    while (dwDouble + 1 < cchMultiStr && !(lpszMultiStr[dwDouble] == L'\0' && lpszMultiStr[dwDouble + 1] == L'\0')) {
        ++dwDouble;
    }
    if (dwDouble + 1 >= cchMultiStr) {
        TRACE(0, L"Invalid format.");
        return TRACE_LEAVE_VALUE(FALSE);
    }
    // Both strings end at or before the double terminator found above.
    strFirst = lpszMultiStr;
    const LPCWSTR lpszSecond = lpszMultiStr + strFirst.size() + 1;
    if (lpszSecond[0] != L'\0') {
        strSecond = lpszSecond;
    }
    return TRACE_LEAVE_VALUE(TRUE);
}
