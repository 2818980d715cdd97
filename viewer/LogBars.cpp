// The bars of the log analysis pane.
#include "LogBars.h"

#include <stdio.h>

#include <algorithm>
#include <map>
#include <new>
#include <strsafe.h>

#include "LogGraphMath.h"
#include "QuoViewer_Common.h"
#include "Trace.h"

namespace {

// The bands of a row that did not run, or ran without a known state or plan.
const COLORREF kNoBandColor = RGB(240, 240, 240);

ULONGLONG AddSaturated(ULONGLONG a, ULONGLONG b)
{
    return (a > ~0ULL - b) ? ~0ULL : a + b;
}

DWORD AddSaturated(DWORD a, DWORD b)
{
    return (a > MAXDWORD - b) ? MAXDWORD : a + b;
}

void CopyPlanName(WCHAR (&szDst)[QUOLOG_POWERPLAN_CHARS], const std::wstring& strName)
{
    StringCchCopyW(szDst, ARRAYSIZE(szDst), strName.c_str());
}

// A plan name field of a row, also when the field lacks its terminator.
std::wstring PlanName(const WCHAR (&szPlan)[QUOLOG_POWERPLAN_CHARS])
{
    return std::wstring(szPlan, wcsnlen(szPlan, ARRAYSIZE(szPlan)));
}

// The row of both rows' sums; its plans the two with the largest summed time (walking
// the names in ascending order, a later name wins only with a strictly larger time).
DWORD MergeTwoRows(const QuoLogRead& a, const QuoLogRead& b, QuoLogRead* pOut)
{
    TRACE_FUNCTION();
    QuoLogRead merged = a;
    merged.dwS0Time = AddSaturated(a.dwS0Time, b.dwS0Time);
    merged.dwS3S4Time = AddSaturated(a.dwS3S4Time, b.dwS3S4Time);
    merged.dwS5Time = AddSaturated(a.dwS5Time, b.dwS5Time);
    merged.dwACTime = AddSaturated(a.dwACTime, b.dwACTime);
    merged.dwDCTime = AddSaturated(a.dwDCTime, b.dwDCTime);
    merged.dwChargeTime = AddSaturated(a.dwChargeTime, b.dwChargeTime);
    merged.ullReductPlanTime = AddSaturated(a.ullReductPlanTime, b.ullReductPlanTime);
    merged.ullPCEnergy = AddSaturated(a.ullPCEnergy, b.ullPCEnergy);
    merged.ullMonEnergy = AddSaturated(a.ullMonEnergy, b.ullMonEnergy);
    merged.ullIdleEnergy = AddSaturated(a.ullIdleEnergy, b.ullIdleEnergy);
    merged.ullReductEnergy = AddSaturated(a.ullReductEnergy, b.ullReductEnergy);

    std::map<std::wstring, DWORD> plans;
    for (const QuoLogRead* pRow : {&a, &b}) {
        DWORD dwRet = AddPairToMap(&plans, PlanName(pRow->szPowerPlan1).c_str(), pRow->dwPowerPlan1Time);
        if (dwRet != ERROR_SUCCESS) {
            TRACE(0, L"Fail to AddPairToMap(PowerPlan1). dwRet: %08x.", dwRet);
            return dwRet;
        }
        dwRet = AddPairToMap(&plans, PlanName(pRow->szPowerPlan2).c_str(), pRow->dwPowerPlan2Time);
        if (dwRet != ERROR_SUCCESS) {
            TRACE(0, L"Fail to AddPairToMap(PowerPlan2). dwRet: %08x.", dwRet);
            return dwRet;
        }
    }
    auto first = plans.begin();
    for (auto it = plans.begin(); it != plans.end(); ++it) {
        if (it->second > first->second) {
            first = it;
        }
    }
    auto second = plans.end();
    for (auto it = plans.begin(); it != plans.end(); ++it) {
        if (it != first && (second == plans.end() || it->second > second->second)) {
            second = it;
        }
    }
    CopyPlanName(merged.szPowerPlan1, first->first);
    merged.dwPowerPlan1Time = first->second;
    CopyPlanName(merged.szPowerPlan2, (second != plans.end()) ? second->first : std::wstring());
    merged.dwPowerPlan2Time = (second != plans.end()) ? second->second : 0;
    *pOut = merged;
    return ERROR_SUCCESS;
}

std::wstring NumberLabel(int nValue)
{
    WCHAR sz[16];
    StringCchPrintfW(sz, ARRAYSIZE(sz), L"%d", nValue);
    return sz;
}

// The axis label of a bar: the hour in the day view, else the day or the month; a row
// without a date has none.
std::wstring BarLabel(DWORD dwMode, const SYSTEMTIME& stTime)
{
    switch (dwMode) {
    case QV_LOGMODE_WEEK:
    case QV_LOGMODE_MONTH:
        return (stTime.wDay != 0) ? NumberLabel(stTime.wDay) : std::wstring();
    case QV_LOGMODE_YEAR:
        return (stTime.wMonth != 0) ? NumberLabel(stTime.wMonth) : std::wstring();
    default:
        return NumberLabel(stTime.wHour);
    }
}

}  // namespace

QVSleepState DominantSleepState(const QuoLogRead& stRow)
{
    QVSleepState state = QV_SLEEP_S0;
    DWORD dwMax = stRow.dwS0Time;
    if (stRow.dwS3S4Time > dwMax) {
        state = QV_SLEEP_S3S4;
        dwMax = stRow.dwS3S4Time;
    }
    if (stRow.dwS5Time > dwMax) {
        state = QV_SLEEP_S5;
        dwMax = stRow.dwS5Time;
    }
    return (dwMax == 0) ? QV_SLEEP_NONE : state;
}

QVPowerState DominantPowerState(const QuoLogRead& stRow)
{
    QVPowerState state = QV_POWER_AC;
    DWORD dwMax = stRow.dwACTime;
    if (stRow.dwDCTime > dwMax) {
        state = QV_POWER_DC;
        dwMax = stRow.dwDCTime;
    }
    if (stRow.dwChargeTime > dwMax) {
        state = QV_POWER_CHARGE;
        dwMax = stRow.dwChargeTime;
    }
    return (dwMax == 0) ? QV_POWER_NONE : state;
}

DWORD MergeLogDataArray(const QuoLogRead* pSrc, DWORD dwCount, QuoLogRead* pDst, DWORD* pdwDstCount)
{
    TRACE_ENTER(1);
    if (pSrc == nullptr) {
        return TRACE_NULL_ARGUMENT(pSrc);
    }
    if (pDst == nullptr) {
        return TRACE_NULL_ARGUMENT(pDst);
    }
    if (pdwDstCount == nullptr) {
        return TRACE_NULL_ARGUMENT(pdwDstCount);
    }
    DWORD dwOut = 0;
    DWORD i = 0;
    while (i < dwCount) {
        if (i + 1 < dwCount && pSrc[i].stTime.wHour == pSrc[i + 1].stTime.wHour) {
            QuoLogRead merged;
            DWORD dwRet = ERROR_SUCCESS;
            try {
                dwRet = MergeTwoRows(pSrc[i], pSrc[i + 1], &merged);
            } catch (const std::bad_alloc&) {
                dwRet = ERROR_NOT_ENOUGH_MEMORY;
            }
            if (dwRet != ERROR_SUCCESS) {
                *pdwDstCount = dwOut;
                return TRACE_LEAVE(dwRet);
            }
            pDst[dwOut++] = merged;
            i += 2;
        } else {
            pDst[dwOut++] = pSrc[i];
            i += 1;
        }
    }
    *pdwDstCount = dwOut;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

namespace {

std::vector<QVLogBar> MakeBars(DWORD dwMode, const QuoLogRead* pRows, size_t nRows, const QVBarTexts& texts,
                               const QVPlanColorTable& planTable, const QVStateColorTable& stateTable)
{
    std::vector<QVLogBar> bars;
    bars.reserve(nRows);
    for (size_t i = 0; i < nRows; ++i) {
        const QuoLogRead& row = pRows[i];
        QVLogBar bar;
        bar.stTime = row.stTime;
        bar.dEnergyWh = row.ullMonEnergy / 1000.0 + row.ullPCEnergy / 1000.0;
        bar.dQuoWh = row.ullReductEnergy / 1000.0;
        bar.strLabel = BarLabel(dwMode, row.stTime);
        const QVSleepState sleep = DominantSleepState(row);
        bar.strSleepState = texts.sleep[sleep];
        bar.planBand.colors.crFg = kNoBandColor;
        bar.stateBand.colors.crFg = kNoBandColor;
        if (sleep == QV_SLEEP_S0) {
            const QVPowerState power = DominantPowerState(row);
            bar.stateBand.strText = texts.state[power];
            bar.stateBand.colors = stateTable.states[power];
            bar.planBand.strText = PlanName(row.szPowerPlan1);
            const auto it = planTable.find(bar.planBand.strText);
            if (it != planTable.end() && !bar.planBand.strText.empty()) {
                bar.planBand.colors = it->second;
            }
        }
        bars.push_back(bar);
    }
    return bars;
}

std::vector<QVBandSegment> MakeSegments(const std::vector<QVLogBar>& bars, QVBand QVLogBar::*band)
{
    std::vector<QVBandSegment> segments;
    for (size_t i = 0; i < bars.size(); ++i) {
        if (!segments.empty() && (bars[i].*band).strText == (bars[segments.back().nLast].*band).strText) {
            segments.back().nLast = i;
        } else {
            QVBandSegment segment;
            segment.nFirst = i;
            segment.nLast = i;
            segments.push_back(segment);
        }
    }
    return segments;
}

}  // namespace

DWORD BuildLogBars(DWORD dwMode, const QuoLogRead* pRows, size_t nRows, const QVBarTexts& texts,
                   const QVPlanColorTable& planTable, const QVStateColorTable& stateTable,
                   std::vector<QVLogBar>* pBars)
{
    TRACE_ENTER(1);
    if (pRows == nullptr) {
        return TRACE_NULL_ARGUMENT(pRows);
    }
    if (pBars == nullptr) {
        return TRACE_NULL_ARGUMENT(pBars);
    }
    try {
        *pBars = MakeBars(dwMode, pRows, nRows, texts, planTable, stateTable);
    } catch (const std::bad_alloc&) {
        pBars->clear();
        return TRACE_LEAVE(ERROR_NOT_ENOUGH_MEMORY);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CombineBandSegments(const std::vector<QVLogBar>& bars, QVBand QVLogBar::*band,
                          std::vector<QVBandSegment>* pSegments)
{
    TRACE_ENTER(2);
    if (band == nullptr) {
        return TRACE_NULL_ARGUMENT(band);
    }
    if (pSegments == nullptr) {
        return TRACE_NULL_ARGUMENT(pSegments);
    }
    try {
        *pSegments = MakeSegments(bars, band);
    } catch (const std::bad_alloc&) {
        pSegments->clear();
        return TRACE_LEAVE(ERROR_NOT_ENOUGH_MEMORY);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

double MaxBarWh(const std::vector<QVLogBar>& bars)
{
    double dMax = 0.0;
    for (const QVLogBar& bar : bars) {
        dMax = std::max(dMax, bar.dEnergyWh + bar.dQuoWh);
    }
    return dMax;
}

DWORD LayoutHistogramBars(const RECT& rcBars, const std::vector<QVLogBar>& bars, double dRange,
                          std::vector<QVBarRects>* pRects)
{
    TRACE_ENTER(2);
    if (pRects == nullptr) {
        return TRACE_NULL_ARGUMENT(pRects);
    }
    pRects->clear();
    if (bars.size() > kQVMaxLogBars) {
        TRACE(0, L"Invalid data count. uBarCount: %d.", static_cast<int>(bars.size()));
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    const int nWidth = rcBars.right - rcBars.left;
    const int nHeight = rcBars.bottom - rcBars.top;
    try {
        pRects->resize(bars.size());
    } catch (const std::bad_alloc&) {
        return TRACE_LEAVE(ERROR_NOT_ENOUGH_MEMORY);
    }
    for (size_t i = 0; i < bars.size(); ++i) {
        QVBarRects& rects = (*pRects)[i];
        const QVSpan span = LogBarSpan(rcBars.left, nWidth, i, bars.size());
        rects.rcSlot = {span.nLeft, rcBars.top, span.nRight, rcBars.bottom};
        const QVBarHeights heights = LogBarHeights(nHeight, bars[i].dEnergyWh, bars[i].dQuoWh, dRange);
        if (heights.nEnergy == 0) {
            continue;
        }
        rects.bShown = true;
        const LONG nEnergyTop = rcBars.bottom - heights.nEnergy;
        rects.rcEnergy = {span.nLeft + 1, nEnergyTop, span.nRight - 1, rcBars.bottom};
        if (heights.nQuo > 0) {
            rects.rcQuo = {span.nLeft + 1, nEnergyTop - heights.nQuo, span.nRight - 1, nEnergyTop};
        }
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}
