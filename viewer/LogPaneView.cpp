// The texts and switches of the log analysis pane's controls.
#include "LogPaneView.h"

#include <stdio.h>

#include <new>
#include <strsafe.h>

#include "LogPeriod.h"
#include "Trace.h"

namespace {

// The format's text with the integers filled in; the format comes from our own string
// table and takes as many %d as given here.
std::wstring FormatInts(const std::wstring& strFormat, int a, int b = 0, int c = 0, int d = 0, int e = 0, int f = 0)
{
    WCHAR sz[128];
    StringCchPrintfW(sz, ARRAYSIZE(sz), strFormat.c_str(), a, b, c, d, e, f);  // a text that does not fit is cut
    return sz;
}

std::wstring FormatWh(double dWh)
{
    WCHAR sz[64];
    StringCchPrintfW(sz, ARRAYSIZE(sz), L"%.0f", RoundHalfUp(dWh));
    return sz;
}

std::wstring FormatUInt(DWORD dw)
{
    WCHAR sz[16];
    StringCchPrintfW(sz, ARRAYSIZE(sz), L"%u", dw);
    return sz;
}

const std::wstring& XUnit(DWORD dwMode, const QVLogPaneTexts& texts)
{
    switch (dwMode) {
    case QV_LOGMODE_WEEK:
    case QV_LOGMODE_MONTH:
        return texts.strDayUnit;
    case QV_LOGMODE_YEAR:
        return texts.strMonthUnit;
    default:
        return texts.strHourUnit;
    }
}

void Fill(DWORD dwMode, const QVPeriod& period, const SYSTEMTIME& stCurrent, const QVNavButtons& buttons,
          DWORD dwCnrType, const QVLogTotals& totals, double dCO2Factor, const QVLogPaneTexts& texts,
          QVLogPaneView* pView)
{
    const size_t nUnit = (dwMode >= QV_LOGMODE_DAY && dwMode <= QV_LOGMODE_YEAR) ? dwMode - 1 : 0;
    QVLogPaneView view;
    view.strPreviousButton = texts.strPrevious + texts.strUnit[nUnit];
    view.strFollowingButton = texts.strFollowing + texts.strUnit[nUnit];
    switch (dwMode) {
    case QV_LOGMODE_WEEK:
        view.strPeriod = FormatInts(texts.strWeekLabel, period.stFirst.wYear, period.stFirst.wMonth, period.stFirst.wDay,
                                    period.stLast.wYear, period.stLast.wMonth, period.stLast.wDay);
        break;
    case QV_LOGMODE_MONTH:
        view.strPeriod = FormatInts(texts.strMonthLabel, stCurrent.wYear, stCurrent.wMonth);
        break;
    case QV_LOGMODE_YEAR:
        view.strPeriod = FormatInts(texts.strYearLabel, stCurrent.wYear);
        break;
    default:
        view.strPeriod = FormatInts(texts.strDayLabel, stCurrent.wYear, stCurrent.wMonth, stCurrent.wDay);
        break;
    }
    view.bPreviousEnabled = buttons.bPrevious;
    view.bFollowingEnabled = buttons.bFollowing;

    view.strTotalWh = FormatWh(totals.dTotalWh);
    view.strRunHours = FormatUInt(totals.nRunHours);
    const DWORD dwAverage = TenthsHalfUp(totals.dAverageWh);
    view.strAverage = FormatUInt(dwAverage / 10);
    view.strAverageTenth = FormatUInt(dwAverage % 10);
    view.bQuoShown = dwCnrType == CNR_CONSUMER;
    if (view.bQuoShown) {
        view.strQuoWh = FormatWh(totals.dQuoWh);
        view.strQuoHours = FormatUInt(totals.nQuoHours);
    }
    view.bCO2Shown = IsCO2Shown(dwMode, dwCnrType);
    if (view.bCO2Shown) {
        const DWORD dwCO2 = CO2Tenths(totals.dQuoWh, dCO2Factor);
        view.strCO2 = FormatUInt(dwCO2 / 10);
        view.strCO2Tenth = FormatUInt(dwCO2 % 10);
    }
    view.strYUnit = texts.strOpen + texts.strWh + texts.strClose;
    view.strXUnit = texts.strOpen + XUnit(dwMode, texts) + texts.strClose;
    *pView = view;
}

}  // namespace

DWORD BuildLogPaneView(DWORD dwMode, const SYSTEMTIME& stCurrent, const SYSTEMTIME& stPastLimit,
                       const SYSTEMTIME& stToday, DWORD dwCnrType, const QVLogTotals& totals, double dCO2Factor,
                       const QVLogPaneTexts& texts, QVLogPaneView* pView)
{
    TRACE_ENTER(1);
    if (pView == nullptr) {
        return TRACE_NULL_ARGUMENT(pView);
    }
    QVPeriod period;
    const DWORD dwRet = GetLogPeriod(dwMode, stCurrent, &period);
    if (dwRet != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwRet);
    }
    try {
        Fill(dwMode, period, stCurrent, GetNavButtons(dwMode, stCurrent, stPastLimit, stToday), dwCnrType, totals,
             dCO2Factor, texts, pView);
    } catch (const std::bad_alloc&) {
        return TRACE_LEAVE(ERROR_NOT_ENOUGH_MEMORY);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}
