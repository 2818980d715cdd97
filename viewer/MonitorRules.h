// The live wattage pane's rules without a window: the colour of a point by power plan,
// the legend texts, the value plotted per tick, the timer interval, the plot's place,
// and the split of a two-name multi-string setting.
#pragma once

#include <windows.h>

#include <string>

// The keys of the plot's and the pane's settings below HKEY_LOCAL_MACHINE.
static constexpr WCHAR REGKEY_PATH_DEVINFO[] = L"Software\\ZAV\\QUOViewer\\DevInfo";
static constexpr WCHAR REGKEY_PATH_MONITORANALYZE[] = L"Software\\ZAV\\QUOViewer\\MonitorAnalyze";

// Models by "CnrFlag".
enum : DWORD {
    MON_CNR_CONSUMER = 1,
    MON_CNR_COMMERCIAL = 2,
};

const DWORD MON_DEFAULT_INTERVAL_MS = 5000;
const double MON_GAP_VALUE = -1.0;

// The colours of the points: two named plans and the others on consumer models, three
// named plans and the others on commercial models.
struct MonPlanColors {
    COLORREF crCnr1, crCnr2, crCnr0;
    COLORREF crCml1, crCml2, crCml3, crCml0;
};

// The defaults of the plan colours.
MonPlanColors MonDefaultPlanColors();

// The named plans: a consumer plan matches either of its two names.
struct MonPlanNames {
    std::wstring strCnr1Fst, strCnr1Snd;
    std::wstring strCnr2Fst, strCnr2Snd;
    std::wstring strCml1, strCml2, strCml3;
};

// The colour of a point for the active plan. Consumer models (cnrType consumer): plan 2
// first, then plan 1, else the others' colour. Any other cnrType is commercial: plans 1,
// 2, 3 in order, else the others' colour. Names compare exactly and whole.
COLORREF MonPlanColor(DWORD dwCnrType, LPCWSTR lpszPlan, const MonPlanColors& colors, const MonPlanNames& names);

// A consumer legend line: the caption followed by the first name, and by the separator
// and the second name when the second name is not empty.
std::wstring MonConsumerLegend(const std::wstring& strCaption, const std::wstring& strFst,
                               const std::wstring& strSeparator, const std::wstring& strSnd);

// The value a tick plots: the record's watts, or a gap while logging is off.
double MonTickValue(DWORD dwLoggingState, double dWatt);

// The timer interval from "Interval": the value read when the read succeeded and it is
// not 0, else 5000 ms.
UINT MonTimerInterval(DWORD dwReadResult, DWORD dwValue);

// The plot's place in the pane: the client area down to 4 pixels above the legend's
// first box, shrunk by width / 70 and height / 70 on each side, its top then moved down
// by the height of the "(W)" label.
RECT MonPlotRect(const RECT& rcClient, int nLegendTop, int nUnitLabelHeight);

// Splits a multi-string of cchMultiStr characters into its first two strings. false
// (traced "Buffer too small." or "Invalid format.") when the size is 0 or no double
// terminator lies within the size less one; else the first string, and the second when
// one follows (otherwise strSecond keeps its value). A null buffer is traced and false.
BOOL SplitMultiStrToTwoStr(LPCWSTR lpszMultiStr, DWORD cchMultiStr, std::wstring& strFirst, std::wstring& strSecond);
