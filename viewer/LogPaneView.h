// The texts and switches of the log analysis pane's controls for one period: the
// navigation buttons and period label, the totals under the histogram and the units.
// Built from the string table's texts, so that the dialog only sets what this gives.
#pragma once

#include <windows.h>

#include <string>

#include "LogGraphMath.h"

// The string table's texts the pane shows (formats with %d where the period needs them).
struct QVLogPaneTexts {
    std::wstring strPrevious;         // "前"
    std::wstring strFollowing;        // "翌"
    std::wstring strUnit[4];          // "日", "週", "月", "年": the step of each view
    std::wstring strDayLabel;         // "%d 年 %d 月 %d 日"
    std::wstring strWeekLabel;        // "%d年%d月%d日～%d年%d月%d日"
    std::wstring strMonthLabel;       // "%d年%d月"
    std::wstring strYearLabel;        // "%d年"
    std::wstring strHourUnit;         // "時": the X unit of the day view
    std::wstring strDayUnit;          // "日": the X unit of the week and month views
    std::wstring strMonthUnit;        // "月": the X unit of the year view
    std::wstring strOpen;             // "("
    std::wstring strClose;            // ")"
    std::wstring strWh;               // "Wh"
};

struct QVLogPaneView {
    std::wstring strPreviousButton;   // 1004
    std::wstring strFollowingButton;  // 1005
    std::wstring strPeriod;           // 1006
    bool bPreviousEnabled = false;
    bool bFollowingEnabled = false;
    std::wstring strTotalWh;          // 1027
    std::wstring strRunHours;         // 1040
    std::wstring strAverage;          // 1031
    std::wstring strAverageTenth;     // 1041
    bool bQuoShown = false;           // consumer models
    std::wstring strQuoWh;            // 1025
    std::wstring strQuoHours;         // 1034
    bool bCO2Shown = false;           // 1023, 1044, 1035
    std::wstring strCO2;              // 1036
    std::wstring strCO2Tenth;         // 1045
    std::wstring strYUnit;            // 1038
    std::wstring strXUnit;            // 1039
};

// The view of the period of stCurrent. 1359 when stCurrent is no date.
DWORD BuildLogPaneView(DWORD dwMode, const SYSTEMTIME& stCurrent, const SYSTEMTIME& stPastLimit,
                       const SYSTEMTIME& stToday, DWORD dwCnrType, const QVLogTotals& totals, double dCO2Factor,
                       const QVLogPaneTexts& texts, QVLogPaneView* pView);
