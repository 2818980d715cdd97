// The bars of the log analysis pane, made from the rows of a log answer: the day's
// half-hour rows merged into hours, each row's sleep state, power state and plan, the
// band colours, and the runs of equal band text that the day view draws as one segment.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "LogColorTables.h"
#include "QuoLog.h"

// One band cell under a bar of the day view.
struct QVBand {
    std::wstring strText;
    QVBandColors colors;
};

// One bar of the histogram.
struct QVLogBar {
    SYSTEMTIME stTime = {};
    double dEnergyWh = 0.0;
    double dQuoWh = 0.0;
    std::wstring strLabel;
    QVBand planBand;
    QVBand stateBand;
    std::wstring strSleepState;
};

// Sleep states of a row: the largest of its running, sleep and power-off times.
enum QVSleepState { QV_SLEEP_NONE = 0, QV_SLEEP_S0 = 1, QV_SLEEP_S3S4 = 2, QV_SLEEP_S5 = 3 };
// Power states: the largest of its AC, battery and charging times (indexes of the state
// colour table).
enum QVPowerState { QV_POWER_NONE = 0, QV_POWER_AC = 1, QV_POWER_DC = 2, QV_POWER_CHARGE = 3 };

// The state with the largest time, the first on ties, none when every time is 0.
QVSleepState DominantSleepState(const QuoLogRead& stRow);
QVPowerState DominantPowerState(const QuoLogRead& stRow);

// Merges rows that follow each other with the same hour into one (48 half-hour rows
// give 24 hours): times and energies are added, and the merged plan 1 is the name with
// the largest time over both rows' two plans (plan 2 the next). A row without a partner
// is kept alone. pDst gets at most dwCount rows; *pdwDstCount the rows written. 87 for a
// null pointer, 8 when the plan table cannot be allocated.
DWORD MergeLogDataArray(const QuoLogRead* pSrc, DWORD dwCount, QuoLogRead* pDst, DWORD* pdwDstCount);

// The texts the bars carry, loaded from the string table by the pane.
struct QVBarTexts {
    std::wstring sleep[4];   // none (empty), "S0", "S3/S4", "S5"
    std::wstring state[4];   // none (empty), on AC, on battery, charging
};

// One bar per row (day rows are expected merged into hours already): energies in Wh, the
// label (hour in the day view, else the day or month, empty for a row without a date),
// the sleep state, and, for a running row, its power state and plan with their colours.
// 87 for a null pointer, 8 when the bars cannot be allocated (*pBars is then empty).
DWORD BuildLogBars(DWORD dwMode, const QuoLogRead* pRows, size_t nRows, const QVBarTexts& texts,
                   const QVPlanColorTable& planTable, const QVStateColorTable& stateTable,
                   std::vector<QVLogBar>* pBars);

// The tallest bar (energy plus QUO energy) of the list, 0 for none.
double MaxBarWh(const std::vector<QVLogBar>& bars);

// Where the histogram draws each bar inside rcBars for a scale of dRange Wh: the energy
// part standing on the bottom and the QUO part on top, both one pixel narrower on each
// side than the bar's slot. A bar with nothing to show has bShown false.
struct QVBarRects {
    bool bShown = false;
    RECT rcSlot = {};    // the whole slot, for the tooltip
    RECT rcEnergy = {};
    RECT rcQuo = {};     // empty when the QUO part has no height
};
// 87 (traced "Invalid data count. uBarCount: %d.") for more than kQVMaxLogBars bars,
// 8 when the list cannot be allocated; *pRects is then empty.
DWORD LayoutHistogramBars(const RECT& rcBars, const std::vector<QVLogBar>& bars, double dRange,
                          std::vector<QVBarRects>* pRects);

// A run of bars [nFirst, nLast] whose band text is the same.
struct QVBandSegment {
    size_t nFirst = 0;
    size_t nLast = 0;
};
// The runs of one band, band being &QVLogBar::planBand or &QVLogBar::stateBand. 87 for
// a null argument, 8 when the list cannot be allocated.
DWORD CombineBandSegments(const std::vector<QVLogBar>& bars, QVBand QVLogBar::*band,
                          std::vector<QVBandSegment>* pSegments);
