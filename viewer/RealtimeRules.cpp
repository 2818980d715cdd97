#include "RealtimeRules.h"

#include <algorithm>
#include <cwctype>

// The AC text without its last two characters (the colon and the ideographic space).
static std::wstring ShortAC(const std::wstring& strAC)
{
    return (strAC.size() >= 2) ? strAC.substr(0, strAC.size() - 2) : std::wstring();
}

std::wstring RtPowerSourceText(DWORD dwPCType, BYTE bySource, DWORD dwPercent, const RtPowerSourceStrings& strings)
{
    if (dwPCType == 0) {
        return ShortAC(strings.strAC);
    }
    const std::wstring strPercent = std::to_wstring(static_cast<int>(dwPercent)) + L"%";
    switch (bySource) {
    case RT_POWER_SOURCE_AC:
        return (dwPercent == 0) ? ShortAC(strings.strAC) : strings.strAC + strPercent;
    case RT_POWER_SOURCE_BATTERY:
        return strings.strBattery + strPercent;
    case RT_POWER_SOURCE_CHARGING:
        return strings.strCharging + strPercent;
    default:
        return strings.strUnknown;
    }
}

bool RtLeafIsGreen(int nIndex, BYTE byLevel)
{
    return nIndex < static_cast<int>(byLevel);
}

std::wstring RtPlanText(LPCWSTR lpszPlan, const std::wstring& strUnknown)
{
    return (lpszPlan == nullptr || lpszPlan[0] == L'\0') ? strUnknown : std::wstring(lpszPlan);
}

static std::wstring Trim(const std::wstring& str)
{
    size_t nFirst = 0;
    size_t nEnd = str.size();
    while (nFirst < nEnd && std::iswspace(str[nFirst])) {
        ++nFirst;
    }
    while (nEnd > nFirst && std::iswspace(str[nEnd - 1])) {
        --nEnd;
    }
    return str.substr(nFirst, nEnd - nFirst);
}

bool RtParseLaunchPath(const std::wstring& strSetting, std::wstring& strPath, std::wstring& strArgs)
{
    strPath.clear();
    strArgs.clear();
    const std::wstring strTrimmed = Trim(strSetting);
    const size_t nSlash = strTrimmed.find(L'/');
    if (nSlash == std::wstring::npos) {
        return false;
    }
    strArgs = strTrimmed.substr(nSlash);
    strPath = (nSlash >= 1) ? strTrimmed.substr(0, nSlash - 1) : std::wstring();
    return true;
}

void RtLayoutLeaves(int nPaneWidth, int nSide, int nTop, RECT rcLeaves[RT_LEAF_COUNT])
{
    const int nLeft = (nPaneWidth - nSide * RT_LEAF_COUNT) / 2;
    for (int i = 0; i < RT_LEAF_COUNT; ++i) {
        rcLeaves[i] = RECT{nLeft + nSide * i, nTop, nLeft + nSide * (i + 1), nTop + nSide};
    }
}

int RtFittedPoints(int nPoints, int nTextWidth, int nControlWidth, int nMinPoints)
{
    if (nTextWidth <= nControlWidth || nTextWidth <= 0) {
        return nPoints;
    }
    const int nScaled = static_cast<int>(static_cast<long long>(nPoints) * std::max(0, nControlWidth) / nTextWidth);
    return std::max(nMinPoints, nScaled);
}

RECT RtCenterHorizontally(const RECT& rc, int nPaneWidth)
{
    const int nWidth = rc.right - rc.left;
    const int nLeft = (nPaneWidth - nWidth) / 2;
    return RECT{nLeft, rc.top, nLeft + nWidth, rc.bottom};
}
