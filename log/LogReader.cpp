// Reading the totalized logs for QUOLogRead: the half-hour slots of a day from its daily
// file, the days of a week or month and the months of a year from the yearly files, and
// the total of the answer. Days enter the yearly file only after midnight has folded
// them, so a period is read up to yesterday at most.
#include "QuoLogCore.h"

#include <string>
#include <vector>

#include <strsafe.h>

#include "StackLock.h"
#include "TotalizeLog.h"
#include "Trace.h"

namespace {

const DWORD kMonthsInYear = 12;
const DWORD kDaysInWeek = 7;
const DWORD kDaysInLeapYear = 366;
const size_t kTotalsColumns = 17;

// A question's time as the reading rules check it: year 1601..9999, month 1..12, day
// 1..31 (a day the month lacks, such as 2012/02/30, is asked about like any other),
// hour, minute, second and millisecond in range.
bool IsQuestionTime(const SYSTEMTIME& t)
{
    return t.wYear >= 1601 && t.wYear <= 9999 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 && t.wDay <= 31
        && t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 && t.wMilliseconds < 1000;
}

// The rows' own days: zeroed records with the dates stFirst, stFirst + 1, ...
void FillRowDates(QuoLogRead* pRows, DWORD dwRows, const SYSTEMTIME& stFirst)
{
    SYSTEMTIME stDay = CQuoLog::DateOf(stFirst);
    for (DWORD i = 0; i < dwRows; ++i) {
        pRows[i].stTime = stDay;
        if (!CQuoLog::OffsetDay(&stDay, &stDay, 1)) {
            break;
        }
    }
}

}  // namespace

DWORD CQuoLog::MapTotalsLine(LPCWSTR lpLine, size_t cchLine, DWORD dwLine, QuoLogRead* pRecord)
{
    TRACE_FUNCTION();
    if (pRecord == nullptr) {
        TRACE(0, L"%s is NULL.", L"pRecord");
        return ERROR_INVALID_PARAMETER;
    }
    CellSpan cells[kTotalsColumns];
    const size_t nCells = CCSVOperator::SplitSpans(lpLine, cchLine, cells, kTotalsColumns);
    if (nCells < 2) {
        return ERROR_INVALID_DATA;
    }
    QuoLogRead r = {};
    // Room for any cell: a line has at most CLineCursor::kMaxChars characters.
    WCHAR szDate[CLineCursor::kMaxChars + 1];
    WCHAR szTime[CLineCursor::kMaxChars + 1];
    CCSVOperator::SpanText(cells[0], szDate, ARRAYSIZE(szDate));
    CCSVOperator::SpanText(cells[1], szTime, ARRAYSIZE(szTime));
    WCHAR szStamp[kTimeTextChars + 8];
    if (FAILED(StringCchPrintfW(szStamp, ARRAYSIZE(szStamp), L"%s,%s", szDate, szTime))
        || !ConvertStrToSystime(szStamp, &r.stTime)) {
        TRACE(1, L"No valid time in line %u.", dwLine);
        return ERROR_INVALID_DATA;
    }
    // A column the line lacks leaves its figure 0.
    auto dword = [&](size_t nColumn, DWORD* pValue) {
        if (nColumn <= nCells) {
            *pValue = CCSVOperator::SpanDword(cells[nColumn - 1]);
        }
    };
    auto qword = [&](size_t nColumn, ULONGLONG* pValue) {
        if (nColumn <= nCells) {
            *pValue = CCSVOperator::SpanNumber(cells[nColumn - 1]);
        }
    };
    dword(3, &r.dwS0Time);
    dword(4, &r.dwS3S4Time);
    dword(5, &r.dwS5Time);
    qword(6, &r.ullPCEnergy);
    qword(7, &r.ullMonEnergy);
    dword(8, &r.dwACTime);
    dword(9, &r.dwDCTime);
    dword(10, &r.dwChargeTime);
    DWORD dwResult = ERROR_SUCCESS;
    if (nCells >= 11) {
        CCSVOperator::SpanText(cells[10], r.szPowerPlan1, ARRAYSIZE(r.szPowerPlan1));
    } else {
        dwResult = ERROR_FILE_NOT_FOUND;
    }
    dword(12, &r.dwPowerPlan1Time);
    if (nCells >= 13) {
        CCSVOperator::SpanText(cells[12], r.szPowerPlan2, ARRAYSIZE(r.szPowerPlan2));
    } else {
        dwResult = ERROR_FILE_NOT_FOUND;
    }
    dword(14, &r.dwPowerPlan2Time);
    qword(15, &r.ullIdleEnergy);
    qword(16, &r.ullReductPlanTime);
    qword(17, &r.ullReductEnergy);
    *pRecord = r;
    return dwResult;
}

void CQuoLog::SumRows(const QuoLogRead* pRows, DWORD dwCount, QuoLogRead* pTotal)
{
    QuoLogRead& total = *pTotal;
    PowerPlanTable plans;
    for (DWORD i = 0; i < dwCount; ++i) {
        const QuoLogRead& row = pRows[i];
        total.dwS0Time += row.dwS0Time;
        total.dwS3S4Time += row.dwS3S4Time;
        total.dwS5Time += row.dwS5Time;
        total.ullPCEnergy += row.ullPCEnergy;
        total.ullMonEnergy += row.ullMonEnergy;
        total.dwACTime += row.dwACTime;
        total.dwDCTime += row.dwDCTime;
        total.dwChargeTime += row.dwChargeTime;
        total.ullIdleEnergy += row.ullIdleEnergy;
        total.ullReductPlanTime += row.ullReductPlanTime;
        total.ullReductEnergy += row.ullReductEnergy;
        CTotalizeLog::UpdatePlanInfo(plans, row.szPowerPlan1, row.dwPowerPlan1Time);
        CTotalizeLog::UpdatePlanInfo(plans, row.szPowerPlan2, row.dwPowerPlan2Time);
    }
    PowerPlanInfo top[2];
    CTotalizeLog::FindMaxPowerPlan(plans, top);
    StringCchCopyW(total.szPowerPlan1, ARRAYSIZE(total.szPowerPlan1), top[0].szName);
    total.dwPowerPlan1Time = top[0].dwTime;
    StringCchCopyW(total.szPowerPlan2, ARRAYSIZE(total.szPowerPlan2), top[1].szName);
    total.dwPowerPlan2Time = top[1].dwTime;
}

DWORD CQuoLog::Read(DWORD dwKind, const SYSTEMTIME* lpTime, QuoLogRead* pRows, DWORD dwCount, QuoLogRead* pStatistics)
{
    SYSTEMTIME stToday;
    GetLocalTime(&stToday);
    return ReadAt(dwKind, lpTime, pRows, dwCount, pStatistics, stToday);
}

DWORD CQuoLog::ReadAt(DWORD dwKind, const SYSTEMTIME* lpTime, QuoLogRead* pRows, DWORD dwCount,
                      QuoLogRead* pStatistics, const SYSTEMTIME& stToday)
{
    TRACE_ENTER(1);
    if (lpTime == nullptr) {
        return TRACE_NULL_ARGUMENT(lpTime);
    }
    if (pRows == nullptr) {
        return TRACE_NULL_ARGUMENT(pRows);
    }
    if (pStatistics == nullptr) {
        return TRACE_NULL_ARGUMENT(pStatistics);
    }
    CStackLock lock(&m_csLock);
    if (!IsQuestionTime(*lpTime)) {
        TRACE(0, L"Invalid time.");
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    if (m_pTotalizeLog == nullptr) {
        TRACE(0, L"%s is NULL.", L"m_pTotalizeLog");
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    const SYSTEMTIME stDate = DateOf(*lpTime);
    const SYSTEMTIME& stTime = *lpTime;
    DWORD dwResult = ERROR_INVALID_PARAMETER;
    switch (dwKind) {
    case QUOLOG_READ_DAY:
        if (dwCount >= QUOLOG_DAY_ROWS) {
            dwResult = ReadDay(stTime, pRows, dwCount, pStatistics, stToday);
        }
        break;
    case QUOLOG_READ_WEEK:
        if (dwCount >= QUOLOG_WEEK_ROWS) {
            dwResult = ReadWeek(stTime, pRows, dwCount, pStatistics, stToday);
        }
        break;
    case QUOLOG_READ_MONTH:
        if (dwCount >= MonthDaysFromYMD(&stDate)) {
            dwResult = ReadMonth(stTime, pRows, dwCount, pStatistics, stToday);
        }
        break;
    case QUOLOG_READ_YEAR:
        if (dwCount >= QUOLOG_YEAR_ROWS) {
            dwResult = ReadYear(stTime, pRows, dwCount, pStatistics, stToday);
        }
        break;
    default:
        break;
    }
    if (dwResult == ERROR_INVALID_PARAMETER) {
        TRACE(0, L"Invalid kind %u or too few rows (%u).", dwKind, dwCount);
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CQuoLog::ReadDay(const SYSTEMTIME& stTime, QuoLogRead* pRows, DWORD dwCount, QuoLogRead* pStatistics,
                       const SYSTEMTIME& stToday)
{
    TRACE_ENTER(2);
    const SYSTEMTIME stDate = DateOf(stTime);
    ZeroMemory(pStatistics, sizeof(*pStatistics));
    ZeroMemory(pRows, sizeof(QuoLogRead) * dwCount);
    for (DWORD i = 0; i < QUOLOG_DAY_ROWS; ++i) {
        pRows[i].stTime = stDate;
        pRows[i].stTime.wHour = static_cast<WORD>(i / 2);
        pRows[i].stTime.wMinute = (i % 2 != 0) ? 30 : 0;
    }
    if (CompareDate(stToday, stDate) < 0) {
        return TRACE_LEAVE(ERROR_FILE_NOT_FOUND);
    }
    WCHAR szPath[MAX_PATH];
    if (!GetLogFullPath(CCSVOperator::LOG_KIND_DAILY, &stDate, szPath, ARRAYSIZE(szPath), FALSE)
        || GetFileAttributesW(szPath) == INVALID_FILE_ATTRIBUTES) {
        return TRACE_LEAVE(ERROR_FILE_NOT_FOUND);
    }
    CLineStore lines;
    DWORD dwResult = m_pTotalizeLog->ReadLines(szPath, 1, lines, nullptr);
    if (dwResult == ERROR_INVALID_PARAMETER) {
        dwResult = ERROR_FILE_NOT_FOUND;  // no whole line in the file
    }
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    // The answer is that of the last line that filled a row: 0, or 2 when its plan
    // columns are missing; 2 when no line had a valid time.
    dwResult = ERROR_FILE_NOT_FOUND;
    for (size_t i = 0; i < lines.Count(); ++i) {
        QuoLogRead record;
        DWORD dwParse = MapTotalsLine(lines.Line(i), lines.Length(i), static_cast<DWORD>(i) + 1, &record);
        if (dwParse != ERROR_SUCCESS && dwParse != ERROR_FILE_NOT_FOUND) {
            continue;  // no valid time: no slot to fill
        }
        // The row comes from the line's own time, which was checked to be a valid one,
        // so it is one of the 48 rows.
        DWORD dwRow = record.stTime.wHour * 2u + (record.stTime.wMinute != 0 ? 1u : 0u);
        if (dwRow < QUOLOG_DAY_ROWS) {
            pRows[dwRow] = record;
            dwResult = dwParse;
        }
    }
    pStatistics->stTime = stTime;
    SumRows(pRows, dwCount, pStatistics);
    return TRACE_LEAVE(dwResult);
}

DWORD CQuoLog::ReadDays(const SYSTEMTIME& stFirst, const SYSTEMTIME& stLast, QuoLogRead* pRows, DWORD dwRows,
                        DWORD* pdwHits)
{
    TRACE_ENTER(2);
    // Row k is the day stFirst + k and takes the first line of that date. A range may
    // cross into a new year, and so into another yearly file.
    std::vector<bool> filled(dwRows, false);
    DWORD dwError = ERROR_SUCCESS;
    for (WORD wYear = stFirst.wYear; wYear <= stLast.wYear; ++wYear) {
        const SYSTEMTIME stFrom = (wYear == stFirst.wYear) ? DateOf(stFirst) : MakeDate(wYear, 1, 1);
        const SYSTEMTIME stTo = (wYear == stLast.wYear) ? DateOf(stLast) : MakeDate(wYear, 12, 31);
        WCHAR szPath[MAX_PATH];
        if (!GetLogFullPath(CCSVOperator::LOG_KIND_YEARLY, &stFrom, szPath, ARRAYSIZE(szPath), FALSE)
            || GetFileAttributesW(szPath) == INVALID_FILE_ATTRIBUTES) {
            continue;
        }
        CLineStore lines;
        DWORD dwResult = m_pTotalizeLog->ReadLinesByDate(szPath, stFrom, stTo, lines, nullptr);
        if (dwResult != ERROR_SUCCESS && dwResult != ERROR_FILE_NOT_FOUND) {
            TRACE(0, L"Error in reading %s. code:%u", szPath, dwResult);
            dwError = dwResult;
        }
        for (size_t i = 0; i < lines.Count(); ++i) {
            QuoLogRead record;
            if (MapTotalsLine(lines.Line(i), lines.Length(i), static_cast<DWORD>(i) + 1, &record) != ERROR_SUCCESS
                || CompareDate(record.stTime, stFirst) < 0) {
                continue;
            }
            ULONGLONG ullRow = DaysBetween(stFirst, record.stTime);
            if (ullRow < dwRows && !filled[static_cast<size_t>(ullRow)]) {
                filled[static_cast<size_t>(ullRow)] = true;
                pRows[ullRow] = record;
                ++*pdwHits;
            }
        }
    }
    return TRACE_LEAVE(dwError);
}

DWORD CQuoLog::ReadDayRows(const SYSTEMTIME& stTime, const SYSTEMTIME& stStart, const SYSTEMTIME& stLast,
                           QuoLogRead* pRows, DWORD dwRows, QuoLogRead* pStatistics, const SYSTEMTIME& stToday)
{
    TRACE_ENTER(2);
    FillRowDates(pRows, dwRows, stStart);
    // Days from today on have no totals yet.
    SYSTEMTIME stEnd = stLast;
    if (CompareDate(stToday, stEnd) <= 0 && !OffsetDay(&stToday, &stEnd, -1)) {
        return TRACE_LEAVE(ERROR_FILE_NOT_FOUND);
    }
    if (CompareDate(stEnd, stStart) < 0) {
        return TRACE_LEAVE(ERROR_FILE_NOT_FOUND);
    }
    DWORD dwHits = 0;
    DWORD dwError = ReadDays(stStart, stEnd, pRows, dwRows, &dwHits);
    if (dwHits == 0) {
        return TRACE_LEAVE(dwError != ERROR_SUCCESS ? dwError : ERROR_FILE_NOT_FOUND);
    }
    pStatistics->stTime = stTime;
    SumRows(pRows, dwRows, pStatistics);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQuoLog::ReadWeek(const SYSTEMTIME& stTime, QuoLogRead* pRows, DWORD dwCount, QuoLogRead* pStatistics,
                        const SYSTEMTIME& stToday)
{
    TRACE_ENTER(2);
    const SYSTEMTIME stDate = CarryDate(stTime);
    SYSTEMTIME stStart;
    SYSTEMTIME stEnd;
    ZeroMemory(pRows, sizeof(QuoLogRead) * dwCount);
    ZeroMemory(pStatistics, sizeof(*pStatistics));
    if (!OffsetDay(&stDate, &stStart, -static_cast<LONG>(GetDayOfWeek(&stDate)))
        || !OffsetDay(&stStart, &stEnd, kDaysInWeek - 1)) {
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    return TRACE_LEAVE(ReadDayRows(stTime, stStart, stEnd, pRows, kDaysInWeek, pStatistics, stToday));
}

DWORD CQuoLog::ReadMonth(const SYSTEMTIME& stTime, QuoLogRead* pRows, DWORD dwCount, QuoLogRead* pStatistics,
                         const SYSTEMTIME& stToday)
{
    TRACE_ENTER(2);
    const SYSTEMTIME stDate = DateOf(stTime);
    const WORD wDays = MonthDaysFromYMD(&stDate);
    const SYSTEMTIME stStart = MakeDate(stDate.wYear, stDate.wMonth, 1);
    const SYSTEMTIME stEnd = MakeDate(stDate.wYear, stDate.wMonth, wDays);
    ZeroMemory(pStatistics, sizeof(*pStatistics));
    ZeroMemory(pRows, sizeof(QuoLogRead) * dwCount);
    return TRACE_LEAVE(ReadDayRows(stTime, stStart, stEnd, pRows, wDays, pStatistics, stToday));
}

DWORD CQuoLog::ReadYear(const SYSTEMTIME& stTime, QuoLogRead* pRows, DWORD dwCount, QuoLogRead* pStatistics,
                        const SYSTEMTIME& stToday)
{
    TRACE_ENTER(2);
    const SYSTEMTIME stDate = DateOf(stTime);
    ZeroMemory(pStatistics, sizeof(*pStatistics));
    ZeroMemory(pRows, sizeof(QuoLogRead) * dwCount);
    for (DWORD m = 0; m < kMonthsInYear; ++m) {
        pRows[m].stTime = MakeDate(stDate.wYear, static_cast<WORD>(m + 1), 1);
    }
    if (stToday.wYear < stDate.wYear) {
        return TRACE_LEAVE(ERROR_FILE_NOT_FOUND);
    }
    // The days of the year up to yesterday, read in one pass over the yearly file, then
    // summed month by month (a month without a line adds nothing).
    const SYSTEMTIME stFirst = pRows[0].stTime;
    SYSTEMTIME stLast = MakeDate(stDate.wYear, 12, 31);
    if (CompareDate(stToday, stLast) <= 0 && !OffsetDay(&stToday, &stLast, -1)) {
        return TRACE_LEAVE(ERROR_FILE_NOT_FOUND);
    }
    if (CompareDate(stLast, stFirst) < 0) {
        return TRACE_LEAVE(ERROR_FILE_NOT_FOUND);
    }
    std::vector<QuoLogRead> days(kDaysInLeapYear, QuoLogRead());
    DWORD dwHits = 0;
    DWORD dwError = ReadDays(stFirst, stLast, days.data(), kDaysInLeapYear, &dwHits);
    DWORD dwDay = 0;
    for (DWORD m = 0; m < kMonthsInYear; ++m) {
        const DWORD dwDays = MonthDaysFromYMD(&pRows[m].stTime);
        SumRows(days.data() + dwDay, dwDays, &pRows[m]);
        dwDay += dwDays;
    }
    if (dwHits == 0) {
        return TRACE_LEAVE(dwError != ERROR_SUCCESS ? dwError : ERROR_FILE_NOT_FOUND);
    }
    pStatistics->stTime = stTime;
    SumRows(pRows, dwCount, pStatistics);
    return TRACE_LEAVE(ERROR_SUCCESS);
}
