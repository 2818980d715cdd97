// The numbers of the log analysis pane and its histogram, free of windows: the Y range
// and grid, bar geometry, the histogram layout, the rounding of the totals shown, the
// CO2 estimate and the shading of a bar. The pane and the image only call these and draw.
#pragma once

#include <windows.h>

#include <vector>

#include "QVRootConfig.h"
#include "QuoLog.h"

// The pane's views; any other value is drawn as a day.
enum QVLogMode : DWORD {
    QV_LOGMODE_DAY = 1,
    QV_LOGMODE_WEEK = 2,
    QV_LOGMODE_MONTH = 3,
    QV_LOGMODE_YEAR = 4,
};

// The histogram draws at most this many bars; more draws nothing.
const size_t kQVMaxLogBars = 48;

// The smallest Y range of each view, in Wh per bar.
struct QVLogMinRanges {
    double dMaxWhDaily = 100.0;
    double dMaxWhWeekly = 1200.0;
    double dMaxWhMonthly = 1200.0;
    double dMaxWhYearly = 24000.0;

    // The minimum of the view; a day's for an unknown mode.
    double ForMode(DWORD dwMode) const;
};

// The vertical scale: range in Wh, the grid step in Wh and the number of grid steps.
struct QVLogYScale {
    double dRange = 0.0;
    double dStep = 0.0;
    int nLines = 0;
};

// The top of the scale for the tallest bar dMaxBarWh (energy plus QUO energy): the next
// multiple of 5 units of its second digit strictly above it, at least dMinRange, and
// 100 when that gives 0.
double LogGraphRange(double dMaxBarWh, double dMinRange);
// A 1, 2 or 5 step a tenth of the range's decade, cut to one decimal.
double LogGraphGridStep(double dRange);
QVLogYScale ComputeLogYScale(double dMaxBarWh, double dMinRange);
// Only every second grid line is drawn when there are more than six.
bool IsGridLineDrawn(int k, int nLines);
// The y of value dValue in a plot from nBottom up over nHeight pixels.
int LogGraphValueY(int nBottom, int nHeight, double dValue, double dRange);

// The columns [left, right) of bar i of nCount over nWidth pixels from nLeft.
struct QVSpan {
    int nLeft = 0;
    int nRight = 0;
};
QVSpan LogBarSpan(int nLeft, int nWidth, size_t i, size_t nCount);

// The pixel heights of a bar's energy part and of the QUO part stacked on it. A bar with
// anything to show has an energy part of at least 2 pixels.
struct QVBarHeights {
    int nEnergy = 0;
    int nQuo = 0;
};
QVBarHeights LogBarHeights(int nHeight, double dEnergyWh, double dQuoWh, double dRange);

// Every how many bars an X label is drawn so that labels nMaxLabelWidth pixels wide do
// not touch in slots nSlotWidth pixels wide: 1 when they fit, else 2, 3, ...
size_t LogLabelStride(int nMaxLabelWidth, int nSlotWidth);

// The histogram's rectangles inside the control's client area, for a label cell of
// cx × cy pixels and the view.
struct QVLogGraphLayout {
    RECT rcYLabels = {};   // Y label column
    RECT rcBars = {};      // bars and grid
    RECT rcXLabels = {};   // X label strip
    RECT rcPlanBand = {};  // day view only: power plan band
    RECT rcStateBand = {}; // day view only: power state band
};
QVLogGraphLayout ComputeLogGraphLayout(const RECT& rcArea, SIZE szLabel, DWORD dwMode);

// x rounded half up: the integer part of (x·10 + 5) / 10.
double RoundHalfUp(double x);
// x in tenths rounded half up: the integer part of (x·100 + 5) / 10.
DWORD TenthsHalfUp(double x);
// Seconds to whole hours, rounded half up.
UINT HoursFromSeconds(ULONGLONG ullSeconds);

// The totals under the histogram, from the statistics record of an answer.
struct QVLogTotals {
    double dTotalWh = 0.0;
    double dQuoWh = 0.0;
    UINT nQuoHours = 0;
    UINT nRunHours = 0;
    double dAverageWh = 0.0;
};
QVLogTotals ComputeLogTotals(const QuoLogRead& stStatistics);

// The CO2 saved is shown only on the month and year views and not on commercial models.
bool IsCO2Shown(DWORD dwMode, DWORD dwCnrType);
// CO2 saved in tenths of a kg, rounded half up: QUO energy in Wh, factor in kg per kWh.
DWORD CO2Tenths(double dQuoWh, double dCO2Factor);
// The CO2 factor when the registry holds none: 0.41 kg per kWh in single precision.
double DefaultCO2Factor();

// The colour of each column of a bar nWidth pixels wide, brightest at nPeak percent of
// its width and shaded by up to nStrength percent towards both edges (darker or, with
// bDarken false, lighter).
std::vector<COLORREF> GradationColumns(int nWidth, COLORREF crColor, int nPeak, int nStrength, bool bDarken);

// The pixel height of a font of nSize points at the screen's dpi factor.
int WorkFontHeight(int nSize, double dDpiFactor);
