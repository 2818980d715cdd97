// What the log analysis pane shows for one period: the log library's answer for the
// day, week, month or year of a date, turned into bars (the day's half hours merged into
// hours) and the totals under the histogram.
#pragma once

#include <windows.h>

#include <vector>

#include "LogBars.h"
#include "LogGraphMath.h"

struct QVLogPeriodData {
    DWORD dwReadResult = 0;       // QUOLogRead's answer, 0 when it answered
    std::vector<QVLogBar> bars;   // 24, 7, 31 or 12
    QVLogTotals totals;
};

// The QUOLogRead kind and the rows the view asks for (a day's kind for an unknown mode).
DWORD LogReadKind(DWORD dwMode);
DWORD LogReadRows(DWORD dwMode);

// Reads the period of stDate from the log library (an instance must be open in this
// process) and builds its bars and totals into *pData. A failed read is traced and kept
// in dwReadResult; the rows then hold what the library left (zero energies), so the
// pane still draws. 87 for a null out, 8 when memory runs out.
DWORD UpdateLogData(DWORD dwMode, const SYSTEMTIME& stDate, const QVBarTexts& texts,
                    const QVPlanColorTable& planTable, const QVStateColorTable& stateTable, QVLogPeriodData* pData);
