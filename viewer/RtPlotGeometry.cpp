#include "RtPlotGeometry.h"

#include <strsafe.h>

#include <algorithm>
#include <cmath>
#include <numeric>

RtPlotAxes RtPlotDefaultAxes()
{
    return RtPlotAxes{RTPLOT_DEFAULT_X_INTERVALS, RTPLOT_DEFAULT_MAX_WATT, RTPLOT_DEFAULT_VISIBLE_MAX_WATT};
}

bool RtPlotAcceptXIntervals(DWORD dwValue)
{
    return dwValue >= 1 && dwValue <= RTPLOT_MAX_X_INTERVALS;
}

bool RtPlotAcceptMaxWatt(DWORD dwValue)
{
    // Below 10 W there is not one 10 W division to draw.
    return dwValue >= 10 && dwValue <= RTPLOT_MAX_WATT_LIMIT;
}

bool RtPlotAcceptVisibleMaxWatt(DWORD dwValue)
{
    return dwValue >= 1 && dwValue <= RTPLOT_MAX_WATT_LIMIT;
}

int RtPlotYDivisions(double dMaxRange)
{
    return static_cast<int>(dMaxRange / 10.0);
}

void RtPlotMaxLabelText(double dMaxRange, LPWSTR lpBuf, size_t cchBuf)
{
    StringCchPrintfW(lpBuf, cchBuf, L"%.0f", std::floor(dMaxRange + 0.5));
}

int RtPlotLabelWidth(int nTextWidth)
{
    return nTextWidth + 2;
}

int RtPlotLabelFontHeight(int nLogPixelsY)
{
    return MulDiv(17, nLogPixelsY, 96);
}

int RtPlotVerticalStep(const RtPlotAxes& axes)
{
    const long long llSpan = static_cast<long long>(axes.nVisibleMaxWatt) * RtPlotYDivisions(axes.dMaxRange);
    const long long llMax = static_cast<long long>(axes.dMaxRange);
    if (llSpan <= 0) {
        return 1;
    }
    const long long llStep = llSpan / std::gcd(llMax, llSpan);
    return static_cast<int>(std::max(1LL, llStep));
}

SIZE RtPlotSnapExcess(int nClientWidth, int nClientHeight, int nLabelWidth, const RtPlotAxes& axes)
{
    SIZE excess = {0, 0};
    const int nDataWidth = nClientWidth - nLabelWidth;
    if (nDataWidth > 0 && axes.nXNum > 0) {
        excess.cx = nDataWidth % axes.nXNum;
    }
    if (nClientHeight > 0) {
        excess.cy = nClientHeight % RtPlotVerticalStep(axes);
    }
    return excess;
}

RECT RtPlotSnapWindow(const RECT& rcWindow, const RECT& rcClient, int nLabelWidth, const RtPlotAxes& axes)
{
    const SIZE excess = RtPlotSnapExcess(rcClient.right - rcClient.left, rcClient.bottom - rcClient.top,
                                         nLabelWidth, axes);
    RECT rc = rcWindow;
    rc.left += excess.cx / 2;
    rc.right -= excess.cx - excess.cx / 2;
    rc.top += excess.cy / 2;
    rc.bottom -= excess.cy - excess.cy / 2;
    return rc;
}

RECT RtPlotCanvas(const RECT& rcClient, const RtPlotAxes& axes)
{
    RECT rc = rcClient;
    const long long llHeight = rcClient.bottom - rcClient.top;
    const long long llMax = static_cast<long long>(axes.dMaxRange);
    const long long llVisible = std::max(1, axes.nVisibleMaxWatt);
    rc.bottom = rc.top + static_cast<LONG>(llHeight * llMax / llVisible + 2 * RTPLOT_DATA_MARGIN);
    return rc;
}

RECT RtPlotDataRect(const RECT& rcCanvas, int nLabelWidth)
{
    RECT rc = rcCanvas;
    rc.top += RTPLOT_DATA_MARGIN;
    rc.bottom -= RTPLOT_DATA_MARGIN;
    rc.left += nLabelWidth;
    return rc;
}

double RtPlotScale(const RECT& rcData, double dMaxRange)
{
    if (dMaxRange <= 0.0) {
        return 0.0;
    }
    return (rcData.bottom - rcData.top) / dMaxRange;
}

int RtPlotMaxScrollPos(int nCanvasHeight, int nClientHeight)
{
    return std::max(0, nCanvasHeight - nClientHeight);
}

static RtPlotScroll ViewAt(RtPlotScroll view, int nPos, int nCanvasHeight)
{
    view.nPos = std::clamp(nPos, 0, RtPlotMaxScrollPos(nCanvasHeight, view.nPage));
    view.nOffset = nCanvasHeight - view.nPos;
    return view;
}

RtPlotScroll RtPlotInitialScroll(int nCanvasHeight, int nClientHeight, const RtPlotAxes& axes)
{
    RtPlotScroll view = {};
    view.nMax = std::max(0, nCanvasHeight - 1);
    view.nPage = nClientHeight;
    view.bEnabled = axes.nVisibleMaxWatt < axes.dMaxRange;
    if (view.bEnabled) {
        // Asked for the last row; the bar keeps the page inside the range, so the bottom shows.
        return ViewAt(view, nCanvasHeight - 1, nCanvasHeight);
    }
    view.nPos = (nCanvasHeight - nClientHeight) / 2;
    view.nOffset = nCanvasHeight - view.nPos;
    return view;
}

RtPlotScroll RtPlotScrollBy(const RtPlotScroll& view, int nCode, int nThumb, int nCanvasHeight)
{
    if (!view.bEnabled) {
        return view;
    }
    switch (nCode) {
    case SB_LINEUP:
        return ViewAt(view, view.nPos - RTPLOT_SCROLL_LINE, nCanvasHeight);
    case SB_LINEDOWN:
        return ViewAt(view, view.nPos + RTPLOT_SCROLL_LINE, nCanvasHeight);
    case SB_PAGEUP:
        return ViewAt(view, view.nPos - view.nPage, nCanvasHeight);
    case SB_PAGEDOWN:
        return ViewAt(view, view.nPos + view.nPage, nCanvasHeight);
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        return ViewAt(view, nThumb, nCanvasHeight);
    default:
        return view;
    }
}

RtPlotScroll RtPlotScrollToValue(const RtPlotScroll& view, double dValue, const RECT& rcCanvas, const RECT& rcData,
                                 double dScale)
{
    if (!view.bEnabled) {
        return view;
    }
    const int nCanvasHeight = rcCanvas.bottom - rcCanvas.top;
    const double dTop = rcData.bottom - dValue * dScale - view.nPage / 2;
    const double dLowest = std::max<double>(rcCanvas.top, rcCanvas.bottom - view.nPage);
    const int nTop = static_cast<int>(std::clamp<double>(dTop, rcCanvas.top, dLowest));
    return ViewAt(view, nTop - rcCanvas.top, nCanvasHeight);
}

void RtPlotAppendPoint(std::deque<RtPlotPoint>& points, size_t nCapacity, const RtPlotPoint& point)
{
    points.push_back(point);
    while (points.size() > nCapacity) {
        points.pop_front();
    }
}

POINT RtPlotPointPixel(size_t nIndex, size_t nCount, double dValue, const RECT& rcData, int nXNum, double dScale)
{
    const int nStep = (nXNum > 0) ? (rcData.right - rcData.left) / nXNum : 0;
    const long long llSlot = static_cast<long long>(nXNum) - static_cast<long long>(nCount) + 1 +
                             static_cast<long long>(nIndex);
    POINT pt;
    pt.x = static_cast<LONG>(rcData.left + nStep * llSlot);
    // Far above the top the height is cut where it could overflow; it is clipped anyway.
    const double dHeight = std::clamp(dValue * dScale, -1.0e6, 1.0e6);
    pt.y = rcData.bottom - static_cast<LONG>(dHeight);
    return pt;
}

int RtPlotCrossingX(int x1, int y1, int x2, int y2, int nTop)
{
    if (y1 == y2) {
        return x2;
    }
    return x2 + static_cast<int>(static_cast<long long>(x1 - x2) * (nTop - y2) / (y1 - y2));
}

namespace {

// Collects segments into polylines: a segment that starts where the open polyline ends
// and has its colour extends it; any other starts a new one.
class CPolylineBuilder {
public:
    void AddSegment(POINT from, POINT to, COLORREF crColor)
    {
        if (m_lines.empty() || !m_bOpen || m_lines.back().crColor != crColor ||
            m_lines.back().points.back().x != from.x || m_lines.back().points.back().y != from.y) {
            m_lines.push_back(RtPlotPolyline{crColor, {from}});
        }
        m_lines.back().points.push_back(to);
        m_bOpen = true;
    }
    // The next segment starts a polyline of its own.
    void Break() { m_bOpen = false; }
    std::vector<RtPlotPolyline> Take() { return std::move(m_lines); }

private:
    std::vector<RtPlotPolyline> m_lines;
    bool m_bOpen = false;
};

}  // namespace

std::vector<RtPlotPolyline> RtPlotBuildPolylines(const std::deque<RtPlotPoint>& points, const RECT& rcData, int nXNum,
                                                 double dMaxRange, double dScale)
{
    CPolylineBuilder builder;
    const size_t nCount = points.size();
    for (size_t i = 1; i < nCount; ++i) {
        const RtPlotPoint& older = points[i - 1];
        const RtPlotPoint& newer = points[i];
        const bool bOlderAbove = older.dValue > dMaxRange;
        const bool bNewerAbove = newer.dValue > dMaxRange;
        if (older.dValue < 0.0 || newer.dValue < 0.0 || (bOlderAbove && bNewerAbove)) {
            builder.Break();
            continue;
        }
        POINT from = RtPlotPointPixel(i - 1, nCount, older.dValue, rcData, nXNum, dScale);
        POINT to = RtPlotPointPixel(i, nCount, newer.dValue, rcData, nXNum, dScale);
        if (bOlderAbove) {
            from.x = RtPlotCrossingX(to.x, to.y, from.x, from.y, rcData.top);
            from.y = rcData.top;
            builder.Break();
        } else if (bNewerAbove) {
            to.x = RtPlotCrossingX(from.x, from.y, to.x, to.y, rcData.top);
            to.y = rcData.top;
        }
        builder.AddSegment(from, to, older.crColor);
        if (bNewerAbove) {
            builder.Break();
        }
    }
    return builder.Take();
}

std::vector<RtPlotGridLine> RtPlotHorizontalLines(int nDataHeight, const RtPlotAxes& axes, int nNumFreq)
{
    std::vector<RtPlotGridLine> lines;
    const int nDivisions = RtPlotYDivisions(axes.dMaxRange);
    if (nDivisions <= 0 || nDataHeight <= 0) {
        return lines;
    }
    const int nDivision = nDataHeight / nDivisions;
    if (nDivision <= 0) {
        return lines;
    }
    const long long llLabelStep = static_cast<long long>(nDivision) * std::max(1, nNumFreq);
    const int nWattPerDivision = static_cast<int>(axes.dMaxRange) / nDivisions;
    int k = 0;
    for (int y = 0; y <= nDataHeight; y += nDivision, ++k) {
        lines.push_back(RtPlotGridLine{y, (y % llLabelStep) == 0, k * nWattPerDivision});
    }
    return lines;
}

std::vector<int> RtPlotVerticalLines(int nDataWidth, int nXNum)
{
    std::vector<int> xs;
    const int nStep = (nXNum > 0) ? nDataWidth / nXNum : 0;
    if (nStep <= 0) {
        return xs;
    }
    for (int x = nStep; x < nDataWidth; x += nStep) {
        xs.push_back(x);
    }
    return xs;
}
