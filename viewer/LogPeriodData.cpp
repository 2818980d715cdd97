// What the log analysis pane shows for one period.
#include "LogPeriodData.h"

#include <new>

#include "QuoLog.h"
#include "Trace.h"

DWORD LogReadKind(DWORD dwMode)
{
    switch (dwMode) {
    case QV_LOGMODE_WEEK:
        return QUOLOG_READ_WEEK;
    case QV_LOGMODE_MONTH:
        return QUOLOG_READ_MONTH;
    case QV_LOGMODE_YEAR:
        return QUOLOG_READ_YEAR;
    default:
        return QUOLOG_READ_DAY;
    }
}

DWORD LogReadRows(DWORD dwMode)
{
    switch (dwMode) {
    case QV_LOGMODE_WEEK:
        return QUOLOG_WEEK_ROWS;
    case QV_LOGMODE_MONTH:
        return QUOLOG_MONTH_ROWS;
    case QV_LOGMODE_YEAR:
        return QUOLOG_YEAR_ROWS;
    default:
        return QUOLOG_DAY_ROWS;
    }
}

DWORD UpdateLogData(DWORD dwMode, const SYSTEMTIME& stDate, const QVBarTexts& texts,
                    const QVPlanColorTable& planTable, const QVStateColorTable& stateTable, QVLogPeriodData* pData)
{
    TRACE_ENTER(1);
    if (pData == nullptr) {
        return TRACE_NULL_ARGUMENT(pData);
    }
    const DWORD dwKind = LogReadKind(dwMode);
    const DWORD dwRows = LogReadRows(dwMode);
    std::vector<QuoLogRead> rows;
    std::vector<QuoLogRead> hours;
    try {
        rows.assign(dwRows, QuoLogRead());
        hours.assign(dwRows, QuoLogRead());
    } catch (const std::bad_alloc&) {
        return TRACE_LEAVE(ERROR_NOT_ENOUGH_MEMORY);
    }
    // A day's rows carry their slot times even when the library answers nothing, so
    // that every hour keeps its label.
    if (dwKind == QUOLOG_READ_DAY) {
        for (DWORD i = 0; i < dwRows; ++i) {
            rows[i].stTime = stDate;
            rows[i].stTime.wHour = static_cast<WORD>(i / 2);
            rows[i].stTime.wMinute = (i % 2) ? 30 : 0;
            rows[i].stTime.wSecond = 0;
            rows[i].stTime.wMilliseconds = 0;
        }
    }
    QuoLogRead stStatistics = {};
    pData->dwReadResult = QUOLogRead(dwKind, &stDate, rows.data(), dwRows, &stStatistics);
    if (pData->dwReadResult != ERROR_SUCCESS) {
        TRACE(1, L"Fail to QUOLogRead(). dwRet: %08x.", pData->dwReadResult);
    }

    const QuoLogRead* pBarRows = rows.data();
    DWORD dwBarRows = dwRows;
    if (dwKind == QUOLOG_READ_DAY) {
        const DWORD dwRet = MergeLogDataArray(rows.data(), dwRows, hours.data(), &dwBarRows);
        if (dwRet != ERROR_SUCCESS) {
            return TRACE_LEAVE(dwRet);
        }
        pBarRows = hours.data();
    }
    pData->totals = ComputeLogTotals(stStatistics);
    return TRACE_LEAVE(BuildLogBars(dwMode, pBarRows, dwBarRows, texts, planTable, stateTable, &pData->bars));
}
