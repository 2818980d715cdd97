// The numbers of the log analysis pane and its histogram.
#include "LogGraphMath.h"

#include <math.h>

#include <algorithm>

namespace {

// The label cell when the font measures nothing.
const LONG kDefaultLabelWidth = 24;
const LONG kDefaultLabelHeight = 18;

}  // namespace

double QVLogMinRanges::ForMode(DWORD dwMode) const
{
    switch (dwMode) {
    case QV_LOGMODE_WEEK:
        return dMaxWhWeekly;
    case QV_LOGMODE_MONTH:
        return dMaxWhMonthly;
    case QV_LOGMODE_YEAR:
        return dMaxWhYearly;
    default:
        return dMaxWhDaily;
    }
}

double LogGraphRange(double dMaxBarWh, double dMinRange)
{
    double dRange = 0.0;
    if (dMaxBarWh > 0.0) {
        const double p = pow(10.0, floor(log10(dMaxBarWh) + 1.0) - 2.0);
        const double q = floor(dMaxBarWh / p);
        dRange = (floor(q / 5.0) + 1.0) * 5.0 * p;
    }
    dRange = std::max(dRange, dMinRange);
    return (dRange == 0.0) ? 100.0 : dRange;
}

double LogGraphGridStep(double dRange)
{
    const double d = pow(10.0, floor(log10(dRange) + 1.0) - 1.0);
    const double r = dRange / d;
    double dStep = d;
    if (r <= 1.0) {
        dStep = d / 10.0;
    } else if (r <= 2.0) {
        dStep = 2.0 * d / 10.0;
    } else if (r <= 5.0) {
        dStep = 5.0 * d / 10.0;
    }
    return floor(dStep * 10.0) / 10.0;
}

QVLogYScale ComputeLogYScale(double dMaxBarWh, double dMinRange)
{
    QVLogYScale scale;
    scale.dRange = LogGraphRange(dMaxBarWh, dMinRange);
    scale.dStep = LogGraphGridStep(scale.dRange);
    // A range below 0.1 Wh has no step that one decimal can show: no grid then.
    scale.nLines = (scale.dStep > 0.0) ? static_cast<int>(scale.dRange / scale.dStep) : 0;
    return scale;
}

bool IsGridLineDrawn(int k, int nLines)
{
    return nLines <= 6 || k % 2 == 0;
}

int LogGraphValueY(int nBottom, int nHeight, double dValue, double dRange)
{
    return nBottom - static_cast<int>(dValue / dRange * nHeight);
}

QVSpan LogBarSpan(int nLeft, int nWidth, size_t i, size_t nCount)
{
    QVSpan span;
    if (nCount == 0) {
        return span;
    }
    span.nLeft = nLeft + static_cast<int>(static_cast<LONGLONG>(nWidth) * static_cast<LONGLONG>(i) / static_cast<LONGLONG>(nCount));
    span.nRight = nLeft + static_cast<int>(static_cast<LONGLONG>(nWidth) * static_cast<LONGLONG>(i + 1) / static_cast<LONGLONG>(nCount));
    return span;
}

QVBarHeights LogBarHeights(int nHeight, double dEnergyWh, double dQuoWh, double dRange)
{
    QVBarHeights heights;
    if (dEnergyWh + dQuoWh <= 0.0 || dRange <= 0.0) {
        return heights;
    }
    heights.nEnergy = std::max(static_cast<int>(nHeight * dEnergyWh / dRange), 2);
    heights.nQuo = std::max(static_cast<int>(nHeight * dQuoWh / dRange), 0);
    return heights;
}

size_t LogLabelStride(int nMaxLabelWidth, int nSlotWidth)
{
    const int nNeeded = nMaxLabelWidth + 2;  // a gap between neighbours
    if (nSlotWidth <= 0) {
        return 1;
    }
    return static_cast<size_t>(std::max(1, (nNeeded + nSlotWidth - 1) / nSlotWidth));
}

QVLogGraphLayout ComputeLogGraphLayout(const RECT& rcArea, SIZE szLabel, DWORD dwMode)
{
    const LONG cx = (szLabel.cx > 0) ? szLabel.cx : kDefaultLabelWidth;
    const LONG cy = (szLabel.cy > 0) ? szLabel.cy : kDefaultLabelHeight;
    const LONG u = (rcArea.bottom - rcArea.top) / 10;
    const LONG top = rcArea.top + cy / 2 + 4;

    QVLogGraphLayout layout;
    RECT rcPlot = rcArea;
    rcPlot.left = rcArea.left + cx + 4;
    rcPlot.top = top;
    rcPlot.bottom = rcArea.bottom - (cy + 4);

    layout.rcXLabels = {rcPlot.left, rcPlot.bottom, rcPlot.right, rcArea.bottom};
    layout.rcBars = rcPlot;
    if (dwMode == QV_LOGMODE_DAY || dwMode > QV_LOGMODE_YEAR) {
        layout.rcBars.bottom = rcPlot.bottom - (u / 10 + 2 * u);
        layout.rcPlanBand = {rcPlot.left, rcPlot.bottom - 2 * u, rcPlot.right, rcPlot.bottom - u};
        layout.rcStateBand = {rcPlot.left, rcPlot.bottom - u, rcPlot.right, rcPlot.bottom};
    }
    layout.rcYLabels = {rcArea.left, top, rcPlot.left, layout.rcBars.bottom};
    return layout;
}

double RoundHalfUp(double x)
{
    return floor((x * 10.0 + 5.0) / 10.0);
}

DWORD TenthsHalfUp(double x)
{
    const double dTenths = floor((x * 100.0 + 5.0) / 10.0);
    if (dTenths <= 0.0) {
        return 0;
    }
    return (dTenths >= 4294967295.0) ? MAXDWORD : static_cast<DWORD>(dTenths);
}

UINT HoursFromSeconds(ULONGLONG ullSeconds)
{
    return static_cast<UINT>(static_cast<double>(ullSeconds) / 3600.0 + 0.5);
}

QVLogTotals ComputeLogTotals(const QuoLogRead& stStatistics)
{
    QVLogTotals totals;
    totals.dTotalWh = stStatistics.ullPCEnergy / 1000.0 + stStatistics.ullMonEnergy / 1000.0;
    totals.dQuoWh = stStatistics.ullReductEnergy / 1000.0;
    totals.nQuoHours = HoursFromSeconds(stStatistics.ullReductPlanTime);
    totals.nRunHours = HoursFromSeconds(stStatistics.dwS0Time);
    totals.dAverageWh = (totals.nRunHours != 0) ? totals.dTotalWh / totals.nRunHours : 0.0;
    return totals;
}

bool IsCO2Shown(DWORD dwMode, DWORD dwCnrType)
{
    return dwCnrType != CNR_COMMERCIAL && (dwMode == QV_LOGMODE_MONTH || dwMode == QV_LOGMODE_YEAR);
}

DWORD CO2Tenths(double dQuoWh, double dCO2Factor)
{
    return TenthsHalfUp(dQuoWh * dCO2Factor / 1000.0);
}

double DefaultCO2Factor()
{
    return static_cast<double>(0.41f);
}

std::vector<COLORREF> GradationColumns(int nWidth, COLORREF crColor, int nPeak, int nStrength, bool bDarken)
{
    std::vector<COLORREF> columns;
    if (nWidth <= 0) {
        return columns;
    }
    columns.resize(static_cast<size_t>(nWidth), crColor);
    const int p = std::min(std::max(nPeak, 0), 100);
    const int q = (p <= 50) ? 100 - p : p;
    const int s = std::min(std::max(nStrength, 0), 100);
    const int cmax = std::max({GetRValue(crColor), GetGValue(crColor), GetBValue(crColor)});
    const int nSpread = nWidth * q / 100;
    // A bar too narrow to spread the shade over keeps its plain colour.
    const int delta = (nSpread > 0) ? cmax / nSpread * s / 100 : 0;

    auto step = [&](COLORREF cr) {
        int c[3] = {GetRValue(cr), GetGValue(cr), GetBValue(cr)};
        for (int& v : c) {
            if (bDarken && v >= delta) {
                v -= delta;
            } else if (!bDarken && v + delta < 256) {
                v += delta;
            }
        }
        return RGB(c[0], c[1], c[2]);
    };
    const int split = std::min(nWidth * p / 100, nWidth - 1);
    COLORREF cr = crColor;
    for (int x = split; x >= 0; --x) {
        columns[static_cast<size_t>(x)] = cr;
        cr = step(cr);
    }
    cr = crColor;
    for (int x = split + 1; x < nWidth; ++x) {
        columns[static_cast<size_t>(x)] = cr;
        cr = step(cr);
    }
    return columns;
}

int WorkFontHeight(int nSize, double dDpiFactor)
{
    return static_cast<int>(floor((nSize * dDpiFactor * 10.0 + 5.0) / 10.0));
}
