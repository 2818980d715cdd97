#include "TempLog.h"

#include <algorithm>

#include <strsafe.h>

#include "FolderTree.h"
#include "QuoLogCore.h"
#include "ReadPositionStore.h"
#include "Reg.h"
#include "ScopedHandle.h"
#include "StackLock.h"
#include "Trace.h"

namespace {

const WCHAR kRawPattern[] = L"%s\\QUOLogRaw*.csv";

// Copies at most cchCut characters of a fixed string field of cchField characters
// (which need not be terminated) and blanks its commas and control characters.
void CopyCell(LPWSTR lpOut, size_t cchOut, const WCHAR* lpField, size_t cchField, size_t cchCut)
{
    size_t cchMax = std::min(cchCut, cchField);
    size_t cch = 0;
    while (cch < cchMax && cch + 1 < cchOut && lpField[cch] != L'\0') {
        lpOut[cch] = lpField[cch];
        ++cch;
    }
    lpOut[cch] = L'\0';
    CTempLog::RepCommaWithSpace(lpOut);
}

}  // namespace

CTempLog::CTempLog(CQuoLog& owner)
    : m_Owner(owner),
      m_dwLastWriteLine(0),
      m_bDelayWrite(FALSE),
      m_szLastItemTime(),
      m_dwInterval(0),
      m_dwDelayTime(0),
      m_dwRawLogLeaveNum(kDefaultRawLogLeaveNum),
      m_dwMaxBufferedLines(kMaxBufferedLines),
      m_bWriteFailing(false),
      m_dwDropped(0)
{
    InitializeCriticalSection(&m_csBuffer);
}

CTempLog::~CTempLog()
{
    Finalize();
    DeleteCriticalSection(&m_csBuffer);
}

DWORD CTempLog::Initialize()
{
    TRACE_ENTER(2);
    const QuoLogEnvironment& env = m_Owner.GetEnvironment();
    CReadPositionStore& positions = m_Owner.PositionStore();
    // The read position is a day and a line of that day's raw file: without a day, a line
    // means nothing, and the position starts at today's first line.
    WCHAR szDay[ARRAYSIZE(m_szLastItemTime)] = L"";
    SYSTEMTIME stDay;
    DWORD dwValue = 0;
    if (positions.QueryString(REGENTRY_LASTWRITEDAY, szDay, ARRAYSIZE(szDay)) == ERROR_SUCCESS
        && CQuoLog::ConvertStrToDate(szDay, &stDay)) {
        CQuoLog::FormatDate(stDay, m_szLastItemTime, ARRAYSIZE(m_szLastItemTime));
        if (positions.QueryDword(REGENTRY_LASTWRITELINE, &dwValue) == ERROR_SUCCESS) {
            m_dwLastWriteLine = dwValue;
        } else {
            SetLastWriteLine(0);
        }
    } else {
        GetLocalTime(&stDay);
        SetLastItemTime(stDay);
        SetLastWriteLine(0);
    }
    TRACE(2, L"m_dwLastWriteLine:%u", m_dwLastWriteLine);
    TRACE(2, L"m_szLastItemTime:%s", m_szLastItemTime);

    CReg reg;
    if (reg.OpenKey(env.lpRegKeyPath, KEY_READ) == ERROR_SUCCESS
        && reg.QueryDWORDValue(REGENTRY_RAWLOGLEAVENUM, &dwValue) == ERROR_SUCCESS) {
        m_dwRawLogLeaveNum = dwValue;
    }
    TRACE(2, L"m_dwRawLogLeaveNum:%u", m_dwRawLogLeaveNum);
    reg.CloseKey();

    return TRACE_LEAVE(InitializeCSV(env.lpLockName, env.lpRecovery));
}

void CTempLog::Finalize()
{
    CStackLock lock(&m_csBuffer);
    if (!m_Buffer.empty()) {
        TRACE_FUNCTION();
        TRACE(0, L"%u records could not be written and are lost, from %.23s on.", static_cast<DWORD>(m_Buffer.size()),
              m_Buffer.front().c_str());
        m_Buffer.clear();
    }
    FinalizeCSV();
}

DWORD CTempLog::SetLastItemTime(const SYSTEMTIME& stDay)
{
    TRACE_ENTER(2);
    CQuoLog::FormatDate(stDay, m_szLastItemTime, ARRAYSIZE(m_szLastItemTime));
    DWORD dwResult = m_Owner.PositionStore().SetString(REGENTRY_LASTWRITEDAY, m_szLastItemTime);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in writing %s. code:%u", REGENTRY_LASTWRITEDAY, dwResult);
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CTempLog::SetLastWriteLine(DWORD dwLines)
{
    TRACE_ENTER(2);
    m_dwLastWriteLine = dwLines;
    DWORD dwResult = m_Owner.PositionStore().SetDword(REGENTRY_LASTWRITELINE, dwLines);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in writing %s. code:%u", REGENTRY_LASTWRITELINE, dwResult);
    }
    return TRACE_LEAVE(dwResult);
}

void CTempLog::RepCommaWithSpace(LPWSTR lpText)
{
    if (lpText == nullptr) {
        return;
    }
    for (LPWSTR p = lpText; *p != L'\0'; ++p) {
        if (*p == L',' || *p < L' ' || *p == 0x7F) {
            *p = L' ';
        }
    }
}

DWORD CTempLog::FormatQuoLog(const QuoLogData* pRecord, const SYSTEMTIME* lpTime, LPWSTR lpLine, size_t cchLine) const
{
    TRACE_ENTER(2);
    if (pRecord == nullptr) {
        return TRACE_NULL_ARGUMENT(pRecord);
    }
    if (lpTime == nullptr) {
        return TRACE_NULL_ARGUMENT(lpTime);
    }
    if (lpLine == nullptr) {
        return TRACE_NULL_ARGUMENT(lpLine);
    }
    const QuoLogData& r = *pRecord;
    WCHAR szPlan[kStringCutChars + 1];
    WCHAR szMonitor1[kStringCutChars + 1];
    WCHAR szMonitor2[kStringCutChars + 1];
    WCHAR szUser[kUserNameCutChars + 1];
    CopyCell(szPlan, ARRAYSIZE(szPlan), r.szPowerPlan, ARRAYSIZE(r.szPowerPlan), kStringCutChars);
    CopyCell(szMonitor1, ARRAYSIZE(szMonitor1), r.szMonitorName1, ARRAYSIZE(r.szMonitorName1), kStringCutChars);
    CopyCell(szMonitor2, ARRAYSIZE(szMonitor2), r.szMonitorName2, ARRAYSIZE(r.szMonitorName2), kStringCutChars);
    CopyCell(szUser, ARRAYSIZE(szUser), r.szUserName, ARRAYSIZE(r.szUserName), kUserNameCutChars);
    DWORD dwElapsed = (r.dwPowerStatus == QUOLOG_POWER_S0) ? m_dwInterval : 0;

    WCHAR szLine[kLineChars - 1];  // at most 1023 characters with the terminator
    WCHAR szPiece[kLineChars];
    szLine[0] = L'\0';
    bool bFits = true;
    auto append = [&](HRESULT hrFormat) {
        bFits = bFits && SUCCEEDED(hrFormat) && SUCCEEDED(StringCchCatW(szLine, ARRAYSIZE(szLine), szPiece));
    };
    append(StringCchPrintfW(szPiece, ARRAYSIZE(szPiece),
                            L"%04u/%02u/%02u,%02u:%02u:%02u.%03u,%0u,%0u,%0u,%0u,%0u,%0u,%0u,%0u,", lpTime->wYear,
                            lpTime->wMonth, lpTime->wDay, lpTime->wHour, lpTime->wMinute, lpTime->wSecond,
                            lpTime->wMilliseconds, dwElapsed, r.dwPowerStatus, r.dwPCWatt, r.dwMonWatt,
                            r.dwBatteryStatus, r.dwBatteryLifePercent, r.dwBatteryCapacity, r.dwReductionWatt));
    append(StringCchPrintfW(szPiece, ARRAYSIZE(szPiece), L"\"%s\",", szPlan));
    append(StringCchPrintfW(szPiece, ARRAYSIZE(szPiece), L"%0u,%0u,%0u,%0u,", r.dwCPUUsage, r.dwInputStatus,
                            r.dwHDDUsage, r.dwSCRStatus));
    append(StringCchPrintfW(szPiece, ARRAYSIZE(szPiece), L"\"%s\",", szMonitor1));
    append(StringCchPrintfW(szPiece, ARRAYSIZE(szPiece), L"%0u,%0u,", r.dwMonitorStatus1, r.dwLCDLevel1));
    append(StringCchPrintfW(szPiece, ARRAYSIZE(szPiece), L"\"%s\",", szMonitor2));
    append(StringCchPrintfW(szPiece, ARRAYSIZE(szPiece), L"%0u,%0u,%0u,", r.dwMonitorStatus2, r.dwLCDLevel2,
                            r.dwQUOLevel));
    append(StringCchPrintfW(szPiece, ARRAYSIZE(szPiece), L"\"%s\"\r\n", szUser));
    // A cut line would lose its line end and merge with the next one.
    if (!bFits || FAILED(StringCchCopyW(lpLine, cchLine, szLine))) {
        TRACE(0, L"The line does not fit.");
        return TRACE_LEAVE(ERROR_INSUFFICIENT_BUFFER);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CTempLog::AppendOneLine(LPCWSTR lpLine)
{
    if (m_Buffer.size() >= m_dwMaxBufferedLines) {
        if (m_dwDropped == 0) {
            TRACE_FUNCTION();
            TRACE(0, L"The write buffer is full (%u lines): its oldest lines are dropped, from %.23s on.",
                  static_cast<DWORD>(m_Buffer.size()), m_Buffer.front().c_str());
        }
        m_Buffer.pop_front();
        ++m_dwDropped;
    }
    m_Buffer.emplace_back(lpLine);
}

DWORD CTempLog::AppendToRawFile(const SYSTEMTIME& stDay, const std::wstring& text, HANDLE hAbort)
{
    TRACE_ENTER(2);
    WCHAR szPath[MAX_PATH];
    if (!m_Owner.GetLogFullPath(LOG_KIND_RAW, &stDay, szPath, ARRAYSIZE(szPath), FALSE)) {
        DWORD dwResult = GetLastError();
        return TRACE_LEAVE(dwResult != ERROR_SUCCESS ? dwResult : ERROR_INVALID_PARAMETER);
    }
    // The log folders exist from the start on; they are made again only when they have
    // gone (looking for them at every record would cost more than writing it). The
    // open refuses a path through a link either way.
    DWORD dwResult = AppendLines(szPath, text, hAbort);
    if (dwResult == ERROR_PATH_NOT_FOUND) {
        dwResult = m_Owner.CreateLogDir();
        if (dwResult == ERROR_SUCCESS) {
            dwResult = AppendLines(szPath, text, hAbort);
        }
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CTempLog::FlushBuffer(HANDLE hAbort)
{
    TRACE_ENTER(2);
    DWORD dwResult = ERROR_SUCCESS;
    size_t nWritten = 0;
    while (nWritten < m_Buffer.size()) {
        // The lines of one day go into that day's file in one append, all or none.
        const std::wstring& first = m_Buffer[nWritten];
        size_t nEnd = nWritten;
        std::wstring text;
        while (nEnd < m_Buffer.size() && m_Buffer[nEnd].compare(0, kDateTextChars, first, 0, kDateTextChars) == 0) {
            text += m_Buffer[nEnd++];
        }
        SYSTEMTIME stDay;
        CQuoLog::ConvertStrToDate(first.substr(0, kDateTextChars).c_str(), &stDay);
        dwResult = AppendToRawFile(stDay, text, hAbort);
        if (dwResult != ERROR_SUCCESS) {
            break;
        }
        nWritten = nEnd;
    }
    m_Buffer.erase(m_Buffer.begin(), m_Buffer.begin() + static_cast<std::ptrdiff_t>(nWritten));
    if (dwResult != ERROR_SUCCESS) {
        // Said once when writing starts to fail, not at every record.
        if (!m_bWriteFailing) {
            TRACE(0, L"The raw log cannot be written (code:%u): records are kept in memory, in order, until it can.",
                  dwResult);
            m_bWriteFailing = true;
        }
        return TRACE_LEAVE(dwResult);
    }
    if (m_bWriteFailing) {
        TRACE(0, L"The raw log is written again; %u kept records were dropped from the full buffer.", m_dwDropped);
        m_bWriteFailing = false;
        m_dwDropped = 0;
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

bool CTempLog::IsFlushDue(const QuoLogData& record) const
{
    if (!m_bDelayWrite || m_dwInterval == 0 || record.dwPowerStatus == QUOLOG_POWER_TO_S3S4
        || record.dwPowerStatus == QUOLOG_POWER_END) {
        return true;
    }
    DWORD dwLines = std::min(m_dwDelayTime / m_dwInterval, m_dwMaxBufferedLines);
    return m_Buffer.size() >= dwLines;
}

DWORD CTempLog::WriteLog(const QuoLogData* pRecord, const SYSTEMTIME* lpTime, HANDLE hAbort)
{
    TRACE_ENTER(2);
    CStackLock lock(&m_csBuffer);
    if (pRecord == nullptr) {
        return TRACE_LEAVE(FlushBuffer(hAbort));
    }
    WCHAR szLine[kLineChars];
    DWORD dwResult = FormatQuoLog(pRecord, lpTime, szLine, ARRAYSIZE(szLine));
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    // A raw file only ever receives lines of its own day: buffered lines of an earlier
    // day go out before the record joins the buffer. Whether they could or not, the
    // record is kept.
    if (m_bDelayWrite && !m_Buffer.empty() && m_Buffer.front().compare(0, kDateTextChars, szLine, kDateTextChars) != 0) {
        dwResult = FlushBuffer(hAbort);
    }
    AppendOneLine(szLine);
    if (!IsFlushDue(*pRecord)) {
        return TRACE_LEAVE(dwResult);
    }
    DWORD dwFlush = FlushBuffer(hAbort);
    return TRACE_LEAVE(dwResult != ERROR_SUCCESS ? dwResult : dwFlush);
}

void CTempLog::DiscardBuffer()
{
    CStackLock lock(&m_csBuffer);
    m_Buffer.clear();
}

bool CTempLog::GetOldestBufferedTime(SYSTEMTIME* lpTime)
{
    CStackLock lock(&m_csBuffer);
    return !m_Buffer.empty() && CQuoLog::ConvertStrToSystime(m_Buffer.front().substr(0, kTimeTextChars).c_str(), lpTime);
}

DWORD CTempLog::GetBufferedLineCount()
{
    CStackLock lock(&m_csBuffer);
    return static_cast<DWORD>(m_Buffer.size());
}

std::vector<std::wstring> CTempLog::ListRawFiles(LPCWSTR lpLogDir)
{
    std::vector<std::wstring> names;
    WCHAR szPattern[MAX_PATH];
    if (lpLogDir == nullptr || FAILED(StringCchPrintfW(szPattern, ARRAYSIZE(szPattern), kRawPattern, lpLogDir))) {
        return names;
    }
    WIN32_FIND_DATAW fd;
    CScopedFindHandle find(FindFirstFileW(szPattern, &fd));
    if (!find.IsValid()) {
        return names;
    }
    std::wstring digits;
    do {
        if ((fd.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0
            && DateDigitsOfName(fd.cFileName, kRawPrefix, 8, digits)) {
            names.emplace_back(fd.cFileName);
        }
    } while (FindNextFileW(find.Get(), &fd));
    // The names differ only in their date digits: sorted by name is sorted by date.
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        return _wcsicmp(a.c_str(), b.c_str()) < 0;
    });
    return names;
}

void CTempLog::AppendTable3To1()
{
    for (auto& line : m_LineTable3) {
        m_LineTable1[static_cast<DWORD>(m_LineTable1.size()) + 1] = std::move(line.second);
    }
    m_LineTable3.clear();
}

DWORD CTempLog::LoadTotalizeLines(const SYSTEMTIME& stEnd, CLineStore& lines, HANDLE hAbort)
{
    TRACE_ENTER(2);
    lines.Clear();
    SYSTEMTIME stStart;
    CQuoLog::ConvertStrToDate(m_szLastItemTime, &stStart);
    SYSTEMTIME stDay = stStart;
    DWORD dwResult = ERROR_SUCCESS;
    while (CQuoLog::CompareDate(stDay, stEnd) <= 0 && !IsRecovering()) {
        WCHAR szPath[MAX_PATH];
        if (!m_Owner.GetLogFullPath(LOG_KIND_RAW, &stDay, szPath, ARRAYSIZE(szPath), FALSE)) {
            break;
        }
        bool bExists = true;
        if (GetFileAttributesW(szPath) == INVALID_FILE_ATTRIBUTES) {
            DWORD dwError = GetLastError();
            bExists = !IsLastingReadFault(dwError);
        }
        const bool bEndDay = CQuoLog::CompareDate(stDay, stEnd) == 0;
        const DWORD dwFirstLine = (CQuoLog::CompareDate(stDay, stStart) == 0) ? m_dwLastWriteLine + 1 : 1;
        const size_t nDayStart = lines.Count();
        dwResult = bExists ? ReadLines(szPath, dwFirstLine, lines, hAbort) : ERROR_FILE_NOT_FOUND;
        if (dwResult != ERROR_SUCCESS && !IsLastingReadFault(dwResult)) {
            // The day's lines are read next time: the lines before it are totalized,
            // and the read position never passes it.
            TRACE(0, L"Error in reading %s (code:%u): the totalization stops before it.", szPath, dwResult);
            return TRACE_LEAVE(dwResult);
        }
        if (bEndDay) {
            // The end day's lines stop at the first one later than the end time.
            for (size_t i = nDayStart; i < lines.Count(); ++i) {
                CellSpan cells[2] = {{L"", 0}, {L"", 0}};
                SplitSpans(lines.Line(i), lines.Length(i), cells, ARRAYSIZE(cells));
                SYSTEMTIME stLine;
                CQuoLog::ConvertStampToSystime(cells[0], cells[1], &stLine);
                if (CQuoLog::CompareTime(stLine, stEnd) > 0) {
                    lines.Truncate(i);
                    break;
                }
            }
        }
        if (!CQuoLog::OffsetDay(&stDay, &stDay, 1)) {
            break;
        }
    }
    if (IsRecovering()) {
        lines.Clear();
        return TRACE_LEAVE(ERROR_OPERATION_ABORTED);
    }
    if (!lines.Empty()) {
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    // Nothing new: 87 when the end day's file has no line after the read position.
    return TRACE_LEAVE(dwResult == ERROR_INVALID_PARAMETER ? dwResult : ERROR_FILE_NOT_FOUND);
}

DWORD CTempLog::LoadTotalizeBuffer(const SYSTEMTIME& stEnd, HANDLE hAbort)
{
    TRACE_ENTER(2);
    m_LineTable1.clear();
    CLineStore lines;
    DWORD dwResult = LoadTotalizeLines(stEnd, lines, hAbort);
    for (size_t i = 0; i < lines.Count(); ++i) {
        SplitCells(lines.Line(i), lines.Length(i), m_LineTable1[static_cast<DWORD>(i) + 1]);
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CTempLog::GetLineAccordTime(LPCWSTR lpPath, LPCWSTR lpTimeText, LPDWORD lpdwLines)
{
    TRACE_ENTER(2);
    if (lpPath == nullptr) {
        return TRACE_NULL_ARGUMENT(lpPath);
    }
    if (lpTimeText == nullptr) {
        return TRACE_NULL_ARGUMENT(lpTimeText);
    }
    if (lpdwLines == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwLines);
    }
    CLockedLogFile file(*this, lpPath, OPEN_FOR_READ, nullptr);
    DWORD dwResult = file.Result();
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    DWORD dwLines = 0;
    dwResult = WalkLines(file.Get(), file.Size(), [&](LPCWSTR lpLine, size_t, LONGLONG) {
        if (wcsncmp(lpLine, lpTimeText, kTimeTextChars) >= 0) {
            return false;
        }
        ++dwLines;
        return true;
    });
    if (dwResult == ERROR_SUCCESS) {
        *lpdwLines = dwLines;
    }
    return TRACE_LEAVE(dwResult);
}

void CTempLog::DeleteLogFile(LPCWSTR lpLogDir, HANDLE hAbort)
{
    TRACE_ENTER(2);
    if (lpLogDir == nullptr) {
        TRACE_NULL_ARGUMENT_VOID(lpLogDir);
        return;
    }
    std::vector<std::wstring> names = ListRawFiles(lpLogDir);
    if (names.empty()) {
        TRACE(1, L"DeleteLogFile:FindFirstFile failed.dwFileCnt: %u", 0u);
        TRACE_LEAVE_VOID();
        return;
    }
    // The newest file is the one being written: it is always kept, and so is every
    // file from the read position's day on, whose lines are not all totalized yet.
    const size_t nKeep = std::max<DWORD>(m_dwRawLogLeaveNum, 1);
    SYSTEMTIME stPosition;
    CQuoLog::ConvertStrToDate(m_szLastItemTime, &stPosition);
    WCHAR szFirstKept[16];
    StringCchPrintfW(szFirstKept, ARRAYSIZE(szFirstKept), L"%04u%02u%02u", stPosition.wYear, stPosition.wMonth,
                     stPosition.wDay);
    for (size_t i = 0; i + nKeep < names.size(); ++i) {
        std::wstring digits;
        if (DateDigitsOfName(names[i].c_str(), kRawPrefix, 8, digits) && digits >= szFirstKept) {
            TRACE(1, L"DeleteLogFile: %s and later files are not totalized yet.", names[i].c_str());
            break;
        }
        WCHAR szPath[MAX_PATH];
        StringCchPrintfW(szPath, ARRAYSIZE(szPath), L"%s\\%s", lpLogDir, names[i].c_str());
        TRACE(1, L"DeleteLogFile:Find file name is %s", szPath);
        CNamedMutexLock lock(m_FileLock, hAbort);
        if (lock.Result() != ERROR_SUCCESS) {
            TRACE_LEAVE_ERROR();
            return;
        }
        if (!DeleteFileW(szPath)) {
            TRACE(0, L"DeleteFile Failed name is %s.Error: 0x%x.", szPath, GetLastError());
            TRACE_LEAVE_ERROR();
            return;
        }
    }
    TRACE_LEAVE_VOID();
}

DWORD CTempLog::DeleteIllegalLogData(LPCWSTR lpSourceDir, LPCWSTR lpBackupDir, const SYSTEMTIME& stStart)
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(RepeatDeleteFile(lpSourceDir, lpBackupDir, stStart, LOG_KIND_RAW));
}
