#include "CSeries.h"

#include <new>

#include "GdiHandle.h"
#include "Reg.h"
#include "Trace.h"

static const WCHAR REGENTRY_PENWIDTH[] = L"PenWidth";

CSeries::CSeries()
    : m_nMaxPoints(RTPLOT_DEFAULT_X_INTERVALS + 1), m_points(), m_nPenWidth(1)
{
}

void CSeries::ReadSettings(CReg* pReg)
{
    TRACE_ENTER(1);
    DWORD dwValue = 0;
    if (pReg != nullptr && pReg->QueryDWORDValue(REGENTRY_PENWIDTH, &dwValue) == ERROR_SUCCESS && dwValue != 0 &&
        dwValue <= RTPLOT_MAX_PEN_WIDTH) {
        m_nPenWidth = static_cast<int>(dwValue);
    }
    TRACE(1, L"nPenWidth:%d", m_nPenWidth);
    TRACE_LEAVE_VOID();
}

void CSeries::SetCapacity(size_t nMaxPoints)
{
    m_nMaxPoints = nMaxPoints;
    while (m_points.size() > m_nMaxPoints) {
        m_points.pop_front();
    }
}

void CSeries::AddPoint(double dValue, COLORREF crColor)
{
    RtPlotAppendPoint(m_points, m_nMaxPoints, RtPlotPoint{dValue, crColor});
}

void CSeries::DrawSeries(HDC hDC, const RECT& rcData, const RtPlotAxes& axes, double dScale) const
{
    std::vector<RtPlotPolyline> lines;
    try {
        lines = RtPlotBuildPolylines(m_points, rcData, axes.nXNum, axes.dMaxRange, dScale);
    } catch (const std::bad_alloc&) {
        TRACE_FUNCTION();
        TRACE(0, L"Fail to allocate pPointsForDraw.");
        return;
    }
    for (const RtPlotPolyline& line : lines) {
        CPenHandle pen(CreatePen(PS_SOLID, m_nPenWidth, line.crColor));
        if (!pen) {
            continue;
        }
        CSelectObject selectPen(hDC, pen.Get());
        Polyline(hDC, line.points.data(), static_cast<int>(line.points.size()));
    }
}
