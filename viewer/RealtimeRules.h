// The realtime pane's rules without a window: the power source and battery text, the
// leaves of the power-saving level, the plan text, the tool launcher's setting and the
// layout of the leaves.
#pragma once

#include <windows.h>

#include <string>

// Power source codes of the live record.
enum : BYTE {
    RT_POWER_SOURCE_AC = 1,
    RT_POWER_SOURCE_BATTERY = 2,
    RT_POWER_SOURCE_CHARGING = 3,
};

// The leaves of the power-saving level.
const int RT_LEAF_COUNT = 5;
// The smallest point size a heading is shrunk to so that it fits its control.
const int RT_MIN_FITTED_POINTS = 8;

// The texts the power source line is made of, as the string table holds them.
struct RtPowerSourceStrings {
    std::wstring strAC;        // "AC電源：\u3000"
    std::wstring strBattery;   // "バッテリ：残り\u3000"
    std::wstring strCharging;  // "AC電源：充電中\u3000"
    std::wstring strUnknown;   // "不明"
};

// The power source line: on a PC without battery (dwPCType 0) the AC text without its
// last two characters; else the source's text followed by the percentage "%d%%", except
// for AC at 0 % (the shortened AC text alone) and an unknown source (the unknown text
// alone).
std::wstring RtPowerSourceText(DWORD dwPCType, BYTE bySource, DWORD dwPercent, const RtPowerSourceStrings& strings);

// Whether leaf nIndex (0 to 4) is green at the given level: every leaf below the level.
bool RtLeafIsGreen(int nIndex, BYTE byLevel);

// The plan name, or the unknown text when it is empty.
std::wstring RtPlanText(LPCWSTR lpszPlan, const std::wstring& strUnknown);

// The launcher setting "LaunchPathPMC": trimmed; the arguments are the text from the
// first '/' to the end; the path is the text before it less the one character just
// before the '/'. false, with both empty, when there is no '/'.
bool RtParseLaunchPath(const std::wstring& strSetting, std::wstring& strPath, std::wstring& strArgs);

// The leaves' squares: side nSide, in one row centred in a pane nPaneWidth wide, at nTop.
void RtLayoutLeaves(int nPaneWidth, int nSide, int nTop, RECT rcLeaves[RT_LEAF_COUNT]);

// The point size of a one-line text that is nTextWidth pixels wide at nPoints in a
// control nControlWidth pixels wide: nPoints when it fits, else scaled down to fit, but
// not below nMinPoints.
int RtFittedPoints(int nPoints, int nTextWidth, int nControlWidth, int nMinPoints);

// rc moved horizontally so that it is centred in a pane nPaneWidth wide; same top and size.
RECT RtCenterHorizontally(const RECT& rc, int nPaneWidth);
