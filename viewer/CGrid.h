// The live plot's grid: the data area's fill and frame, the vertical lines of the X
// intervals, the horizontal lines of the 10 W divisions and the Y labels beside them.
#pragma once
#include <windows.h>

#include <string>

#include "RtPlotGeometry.h"

class CGrid {
public:
    CGrid();

    // Reads "GridBgColor", "VertizGridColor", "HorizGridColor" and "GridYAxisNumFreq"
    // below the open MonitorAnalyze key (null when it could not be opened: the defaults
    // stay); lpszFontName is the face of the labels.
    void ReadSettings(class CReg* pReg, LPCWSTR lpszFontName);

    // Draws onto the canvas (in canvas coordinates) at nLogPixelsY dots per inch.
    void Draw(HDC hDC, const RECT& rcCanvas, const RECT& rcData, const RtPlotAxes& axes, int nLogPixelsY) const;

private:
    void DrawFrame(HDC hDC, const RECT& rcData) const;
    void DrawVerticalLines(HDC hDC, const RECT& rcData, const RtPlotAxes& axes) const;
    void DrawHorizontalLines(HDC hDC, const RECT& rcCanvas, const RECT& rcData, const RtPlotAxes& axes,
                             int nLogPixelsY) const;

    COLORREF m_bgColor;
    LOGPEN logHorizPen;
    LOGPEN logVertiPen;
    int m_nNumFreq;
    std::wstring m_strFontName;
};
