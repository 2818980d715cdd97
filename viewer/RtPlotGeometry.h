// The live plot's numbers without a window: how its size snaps to the grid, where the
// canvas, the data area and each point lie, how the line is cut into coloured polylines
// with gaps and clipping at the top edge, and where the view scrolls. CRtPlot only
// measures its label text, calls these and draws what they answer.
#pragma once

#include <windows.h>

#include <deque>
#include <vector>

// The axis settings the plot reads at creation.
struct RtPlotAxes {
    int nXNum;              // X intervals across the data area
    double dMaxRange;       // the Y range is 0 to this many watts
    int nVisibleMaxWatt;    // watts the visible window shows
};

const int RTPLOT_DEFAULT_X_INTERVALS = 60;
const double RTPLOT_DEFAULT_MAX_WATT = 200.0;
const int RTPLOT_DEFAULT_VISIBLE_MAX_WATT = 65;
// Registry values above these are refused: larger ones only ask for canvases and point
// queues no screen can use.
const DWORD RTPLOT_MAX_X_INTERVALS = 3600;
const DWORD RTPLOT_MAX_WATT_LIMIT = 10000;
// "PenWidth" above this is refused: a wider pen would hide the line's shape.
const DWORD RTPLOT_MAX_PEN_WIDTH = 32;
// Pixels between the canvas edge and the data area, above and below.
const int RTPLOT_DATA_MARGIN = 10;
// Pixels one line of scrolling moves.
const int RTPLOT_SCROLL_LINE = 10;

// The defaults: 60 intervals, 0 to 200 W, 65 W visible.
RtPlotAxes RtPlotDefaultAxes();

// Registry rules: each answers whether a DWORD read from the registry replaces the
// setting. Values that would divide by zero or overflow the geometry are refused.
bool RtPlotAcceptXIntervals(DWORD dwValue);
bool RtPlotAcceptMaxWatt(DWORD dwValue);
bool RtPlotAcceptVisibleMaxWatt(DWORD dwValue);

// Y divisions of 10 W: the integer part of dMaxRange / 10.
int RtPlotYDivisions(double dMaxRange);

// The widest Y label: dMaxRange rounded half up, formatted "%.0f".
void RtPlotMaxLabelText(double dMaxRange, LPWSTR lpBuf, size_t cchBuf);

// The label column: the measured width of the widest label plus 2 pixels.
int RtPlotLabelWidth(int nTextWidth);

// The height of the label font: 17 pixels at 96 DPI.
int RtPlotLabelFontHeight(int nLogPixelsY);

// The window rectangle shrunk so that the data width is a multiple of the X intervals
// and the client height fits the Y divisions: each excess is taken half from each side,
// the odd pixel from the right and the bottom. rcClient is the client area of rcWindow.
RECT RtPlotSnapWindow(const RECT& rcWindow, const RECT& rcClient, int nLabelWidth, const RtPlotAxes& axes);

// The excesses the snap removes: (client width - label width) mod X intervals, and the
// client height mod the vertical step (RtPlotVerticalStep).
SIZE RtPlotSnapExcess(int nClientWidth, int nClientHeight, int nLabelWidth, const RtPlotAxes& axes);

// The client-height step whose multiples give whole pixels per Y division:
// (visible × divisions) / gcd(integer part of max, visible × divisions); 1 when degenerate.
int RtPlotVerticalStep(const RtPlotAxes& axes);

// The canvas, the plot's full drawable height: the client rectangle with its height
// client height × max / visible + 20 (integer arithmetic).
RECT RtPlotCanvas(const RECT& rcClient, const RtPlotAxes& axes);

// The data area: the canvas less the margins above and below and the label column.
RECT RtPlotDataRect(const RECT& rcCanvas, int nLabelWidth);

// Pixels per watt of the data area.
double RtPlotScale(const RECT& rcData, double dMaxRange);

// The vertical scroll bar and the view: the bar's range is 0 to canvas height - 1, its
// page the client height; the position is the canvas row shown at the client's top,
// the offset the distance of that row from the canvas bottom (canvas height - position).
struct RtPlotScroll {
    bool bEnabled;     // false when the whole range fits: the bar is disabled
    int nMax;          // canvas height - 1
    int nPage;         // client height
    int nPos;          // the canvas row at the client's top
    int nOffset;       // canvas height - nPos
};

// The view at creation: with "VisibleMaxWatt" below "MaxWatt" the bottom (0 W) is in
// view and the bar is enabled; otherwise the bar is disabled and the canvas is centred
// in the client area, which shows the whole range.
RtPlotScroll RtPlotInitialScroll(int nCanvasHeight, int nClientHeight, const RtPlotAxes& axes);

// The highest position the bar allows: canvas height - client height, at least 0.
int RtPlotMaxScrollPos(int nCanvasHeight, int nClientHeight);

// The view after a WM_VSCROLL request (SB_LINEUP, SB_LINEDOWN, SB_PAGEUP, SB_PAGEDOWN,
// SB_THUMBPOSITION, SB_THUMBTRACK with nThumb; anything else leaves it). Positions stay
// within 0 and RtPlotMaxScrollPos. A disabled view never moves.
RtPlotScroll RtPlotScrollBy(const RtPlotScroll& view, int nCode, int nThumb, int nCanvasHeight);

// The view that the first point added in the process brings into sight: that point's
// height in the middle of the client area, clamped to the canvas.
RtPlotScroll RtPlotScrollToValue(const RtPlotScroll& view, double dValue, const RECT& rcCanvas, const RECT& rcData,
                                 double dScale);

// A point of the series: watts (negative means no value) and the plan's colour.
struct RtPlotPoint {
    double dValue;
    COLORREF crColor;
};

// One stretch of the line in one colour.
struct RtPlotPolyline {
    COLORREF crColor;
    std::vector<POINT> points;
};

// The series' queue: appends and drops the oldest beyond nCapacity points.
void RtPlotAppendPoint(std::deque<RtPlotPoint>& points, size_t nCapacity, const RtPlotPoint& point);

// The pixel of a stored point: the newest at the data area's right edge, one X step per
// point to the left. nIndex counts from the oldest of nCount points.
POINT RtPlotPointPixel(size_t nIndex, size_t nCount, double dValue, const RECT& rcData, int nXNum, double dScale);

// The x where the line from (x1, y1) inside to (x2, y2) above the top crosses nTop,
// by integer linear interpolation.
int RtPlotCrossingX(int x1, int y1, int x2, int y2, int nTop);

// The series as polylines to draw, oldest first. Consecutive points with values are
// joined; the segment between two points takes the colour of the older one and a new
// polyline starts where the colour changes. A negative value is a gap: nothing is
// drawn to or from it. A value above dMaxRange is cut at the top edge: the line goes to
// the interpolated crossing and resumes at the crossing where it comes back in.
std::vector<RtPlotPolyline> RtPlotBuildPolylines(const std::deque<RtPlotPoint>& points, const RECT& rcData, int nXNum,
                                                 double dMaxRange, double dScale);

// One Y grid line: its height above the data bottom, whether it carries a label and the
// label's watts. Lines run from 0 to the data height in steps of one division.
struct RtPlotGridLine {
    int nY;
    bool bLabel;
    int nWatt;
};

// The horizontal grid: division = data height / divisions; a label every nNumFreq
// divisions, k × (integer part of max / divisions) watts at the k-th line.
std::vector<RtPlotGridLine> RtPlotHorizontalLines(int nDataHeight, const RtPlotAxes& axes, int nNumFreq);

// The x offsets (from the data left) of the vertical grid lines: every data width / X
// intervals, below the data width.
std::vector<int> RtPlotVerticalLines(int nDataWidth, int nXNum);
