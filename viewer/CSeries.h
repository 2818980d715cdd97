// The live plot's data series: the newest points with the colour of the plan active at
// each, and the pen they are drawn with.
#pragma once
#include <windows.h>

#include <deque>

#include "RtPlotGeometry.h"

class CSeries {
public:
    CSeries();

    // Reads "PenWidth" below the open MonitorAnalyze key (null when it could not be
    // opened: the width stays 1).
    void ReadSettings(class CReg* pReg);
    // How many points are kept: the X intervals + 1.
    void SetCapacity(size_t nMaxPoints);
    // Appends a point and drops the oldest beyond the capacity.
    void AddPoint(double dValue, COLORREF crColor);

    // Draws the points right-aligned in rcData: polylines in the points' colours, gaps
    // for negative values, cut at the top edge for values above the range.
    void DrawSeries(HDC hDC, const RECT& rcData, const RtPlotAxes& axes, double dScale) const;

private:
    size_t m_nMaxPoints;
    std::deque<RtPlotPoint> m_points;
    int m_nPenWidth;
};
