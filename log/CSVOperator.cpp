#include "CSVOperator.h"

#include <algorithm>
#include <vector>

#include <strsafe.h>
#include <winternl.h>

#include "FolderTree.h"
#include "QuoLogCore.h"
#include "ScopedHandle.h"
#include "Trace.h"
#include "VistaFunctions.h"

namespace {

const BYTE kByteOrderMark[] = {0xFF, 0xFE};
const LONGLONG kMaxFileSize = 0xFFFFFFFFLL;  // files of 4 GiB or more are refused
const DWORD kTailChunkBytes = 2048;
// Another program (a virus scanner, a backup, an editor) may hold a log file open for a
// moment: an open that meets a sharing violation is tried again a few times.
const DWORD kOpenAttempts = 10;
const DWORD kOpenRetryDelay = 50;

DWORD SetPosition(HANDLE hFile, LONGLONG llPos)
{
    LARGE_INTEGER pos;
    pos.QuadPart = llPos;
    return SetFilePointerEx(hFile, pos, nullptr, FILE_BEGIN) ? ERROR_SUCCESS : GetLastError();
}

// Reads up to cbWanted bytes at llPos; *pcbRead gets what was read.
DWORD ReadAt(HANDLE hFile, LONGLONG llPos, LPVOID lpBuf, DWORD cbWanted, LPDWORD pcbRead)
{
    *pcbRead = 0;
    DWORD dwResult = SetPosition(hFile, llPos);
    if (dwResult != ERROR_SUCCESS) {
        return dwResult;
    }
    return ReadFile(hFile, lpBuf, cbWanted, pcbRead, nullptr) ? ERROR_SUCCESS : GetLastError();
}

// Searches [llFrom, llTo) backwards for a line feed; *pllFound gets the byte position of
// the line feed, or -1 when there is none. Positions are even (whole characters).
DWORD FindLineFeedBackwards(HANDLE hFile, LONGLONG llFrom, LONGLONG llTo, PLONGLONG pllFound)
{
    *pllFound = -1;
    WCHAR chunk[kTailChunkBytes / sizeof(WCHAR)];
    LONGLONG llEnd = llTo;
    while (llEnd > llFrom) {
        LONGLONG llStart = std::max(llFrom, llEnd - static_cast<LONGLONG>(kTailChunkBytes));
        DWORD cbRead = 0;
        DWORD dwResult = ReadAt(hFile, llStart, chunk, static_cast<DWORD>(llEnd - llStart), &cbRead);
        if (dwResult != ERROR_SUCCESS) {
            return dwResult;
        }
        for (DWORD i = cbRead / sizeof(WCHAR); i > 0; --i) {
            if (chunk[i - 1] == L'\n') {
                *pllFound = llStart + static_cast<LONGLONG>(i - 1) * sizeof(WCHAR);
                return ERROR_SUCCESS;
            }
        }
        llEnd = llStart;
    }
    return ERROR_SUCCESS;
}

// The end of the last whole line: just after the last line feed, or just after the
// byte-order mark when there is none.
DWORD FindEndOfWholeLines(HANDLE hFile, LONGLONG llSize, PLONGLONG pllEnd)
{
    LONGLONG llEven = 2 + ((llSize - 2) & ~1LL);
    LONGLONG llFeed = -1;
    DWORD dwResult = FindLineFeedBackwards(hFile, 2, llEven, &llFeed);
    if (dwResult == ERROR_SUCCESS) {
        *pllEnd = (llFeed < 0) ? 2 : llFeed + static_cast<LONGLONG>(sizeof(WCHAR));
    }
    return dwResult;
}

DWORD TruncateAt(HANDLE hFile, LONGLONG llPos)
{
    DWORD dwResult = SetPosition(hFile, llPos);
    if (dwResult == ERROR_SUCCESS && !SetEndOfFile(hFile)) {
        dwResult = GetLastError();
    }
    return dwResult;
}

// Brings a file opened for appending into shape: a byte-order mark at its start and
// nothing after its last whole line.
DWORD PrepareForAppend(HANDLE hFile, LONGLONG& llSize)
{
    TRACE_FUNCTION();
    if (llSize < static_cast<LONGLONG>(sizeof(kByteOrderMark))) {
        DWORD dwResult = TruncateAt(hFile, 0);
        DWORD cbWritten = 0;
        if (dwResult == ERROR_SUCCESS
            && !WriteFile(hFile, kByteOrderMark, sizeof(kByteOrderMark), &cbWritten, nullptr)) {
            dwResult = GetLastError();
        }
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"Error in writing the byte-order mark. code:%u", dwResult);
            return dwResult;
        }
        llSize = sizeof(kByteOrderMark);
        return ERROR_SUCCESS;
    }
    LONGLONG llEnd = llSize;
    DWORD dwResult = FindEndOfWholeLines(hFile, llSize, &llEnd);
    if (dwResult == ERROR_SUCCESS && llEnd != llSize) {
        TRACE(0, L"A torn last line is cut off: %I64d bytes.", llSize - llEnd);
        dwResult = TruncateAt(hFile, llEnd);
        if (dwResult == ERROR_SUCCESS) {
            llSize = llEnd;
        }
    }
    return dwResult;
}

}  // namespace

CLineCursor::CLineCursor(HANDLE hFile, LONGLONG llFrom, LONGLONG llSize)
    : m_hFile(hFile),
      m_llSize(llSize),
      m_llRead(llFrom),
      m_llBegin(llFrom),
      m_Buffer(static_cast<size_t>(std::min<LONGLONG>(std::max<LONGLONG>(llSize - llFrom, 0) / 2 + 1, kBufferChars))
               + 1),
      m_nBegin(0),
      m_nEnd(0),
      m_szLong()
{
}

DWORD CLineCursor::Fill()
{
    if (m_nBegin > 0) {
        std::copy(m_Buffer.begin() + m_nBegin, m_Buffer.begin() + m_nEnd, m_Buffer.begin());
        m_nEnd -= m_nBegin;
        m_nBegin = 0;
    }
    if (m_llRead >= m_llSize) {
        return ERROR_HANDLE_EOF;
    }
    if (m_nEnd + 1 >= m_Buffer.size()) {
        m_Buffer.resize(std::max<size_t>(m_Buffer.size() * 2, kMaxChars + 2));
    }
    const LONGLONG llRoom = static_cast<LONGLONG>((m_Buffer.size() - 1 - m_nEnd) * sizeof(WCHAR));
    const DWORD cbWanted = static_cast<DWORD>(std::min(llRoom, m_llSize - m_llRead));
    DWORD cbRead = 0;
    DWORD dwResult = ReadAt(m_hFile, m_llRead, m_Buffer.data() + m_nEnd, cbWanted, &cbRead);
    if (dwResult != ERROR_SUCCESS) {
        return dwResult;
    }
    if (cbRead < sizeof(WCHAR)) {
        return ERROR_HANDLE_EOF;
    }
    m_llRead += cbRead;
    m_nEnd += cbRead / sizeof(WCHAR);
    return ERROR_SUCCESS;
}

LPCWSTR CLineCursor::Finish(LPWSTR lpLine, size_t cchLine, size_t* pcchLine)
{
    size_t cch = std::min(cchLine, kMaxChars);
    lpLine[cch] = L'\0';
    cch = wcslen(lpLine);
    if (cch > 0 && lpLine[cch - 1] == L'\r') {
        lpLine[--cch] = L'\0';
    }
    *pcchLine = cch;
    return lpLine;
}

DWORD CLineCursor::Next(LPCWSTR* ppLine, size_t* pcchLine, PLONGLONG pllStart)
{
    *pllStart = m_llBegin;
    size_t nScanned = 0;       // characters of the line in the buffer already searched
    size_t cchSkipped = 0;     // characters of a long line dropped from the buffer
    for (;;) {
        const WCHAR* lpFrom = m_Buffer.data() + m_nBegin + nScanned;
        const WCHAR* lpEnd = m_Buffer.data() + m_nEnd;
        const WCHAR* lpFeed = std::find(lpFrom, lpEnd, L'\n');
        if (lpFeed != lpEnd) {
            const size_t nFeed = static_cast<size_t>(lpFeed - m_Buffer.data());
            LPWSTR lpLine = m_Buffer.data() + m_nBegin;
            size_t cchLine = nFeed - m_nBegin;
            if (cchSkipped > 0) {
                lpLine = m_szLong;
                cchLine = kMaxChars;
            }
            m_llBegin += static_cast<LONGLONG>((nFeed + 1 - m_nBegin) * sizeof(WCHAR));
            m_nBegin = nFeed + 1;
            *ppLine = Finish(lpLine, cchLine, pcchLine);
            return ERROR_SUCCESS;
        }
        nScanned = m_nEnd - m_nBegin;
        if (cchSkipped == 0 && nScanned > kMaxChars) {
            // A line longer than any line buffer: its beginning is kept, the rest skipped.
            std::copy(m_Buffer.data() + m_nBegin, m_Buffer.data() + m_nBegin + kMaxChars, m_szLong);
        }
        if (cchSkipped > 0 || nScanned > kMaxChars) {
            cchSkipped += nScanned;
            m_llBegin += static_cast<LONGLONG>(nScanned * sizeof(WCHAR));
            m_nBegin = m_nEnd;
            nScanned = 0;
        }
        DWORD dwResult = Fill();
        if (dwResult != ERROR_SUCCESS) {
            // A torn last line (or the read's error) is not passed over.
            if (cchSkipped > 0) {
                m_llBegin = *pllStart;
            }
            return dwResult;
        }
    }
}

CCSVOperator::CCSVOperator() : m_Verified(), m_lpRecovery(nullptr) {}

bool CCSVOperator::DateDigitsOfName(LPCWSTR lpName, LPCWSTR lpPrefix, size_t cchDigits, std::wstring& digits)
{
    size_t cchPrefix = wcslen(lpPrefix);
    size_t cchSuffix = ARRAYSIZE(kCsvSuffix) - 1;
    size_t cchName = wcslen(lpName);
    if (cchName != cchPrefix + cchDigits + cchSuffix || _wcsnicmp(lpName, lpPrefix, cchPrefix) != 0
        || _wcsicmp(lpName + cchPrefix + cchDigits, kCsvSuffix) != 0) {
        return false;
    }
    for (size_t i = 0; i < cchDigits; ++i) {
        if (lpName[cchPrefix + i] < L'0' || lpName[cchPrefix + i] > L'9') {
            return false;
        }
    }
    digits.assign(lpName + cchPrefix, cchDigits);
    return true;
}

namespace {

// Size, links, attributes and file number of an open file, asked of the
// file system itself. GetFileInformationByHandle would also ask for the volume's serial
// number, which under Wine goes to the mount manager and looks at every drive letter:
// the service opens its raw file every second.
DWORD QueryOpenFile(HANDLE hFile, CCSVOperator::OpenFileFacts* pFacts)
{
    FILE_STANDARD_INFORMATION standard;
    FILE_BASIC_INFORMATION basic;
    FILE_INTERNAL_INFORMATION internal;
    const struct {
        PVOID pInfo;
        ULONG cbInfo;
        FILE_INFORMATION_CLASS infoClass;
    } kQueries[] = {
        {&standard, sizeof(standard), FileStandardInformation},
        {&basic, sizeof(basic), FileBasicInformation},
        {&internal, sizeof(internal), FileInternalInformation},
    };
    for (const auto& query : kQueries) {
        IO_STATUS_BLOCK io;
        NTSTATUS status = NtQueryInformationFile(hFile, &io, query.pInfo, query.cbInfo, query.infoClass);
        if (status < 0) {
            return RtlNtStatusToDosError(status);
        }
    }
    pFacts->llSize = standard.EndOfFile.QuadPart;
    pFacts->nLinks = standard.NumberOfLinks;
    pFacts->dwAttributes = basic.FileAttributes;
    pFacts->llIndex = internal.IndexNumber.QuadPart;
    return ERROR_SUCCESS;
}

// Whether an open file is the one its path names: a symbolic link or junction anywhere
// in the path makes the system's final path differ. Where the system cannot name the
// final path (Windows XP), no folder on the way may be a reparse point.
bool OpensWhatItNames(HANDLE hFile, LPCWSTR lpPath)
{
    WCHAR szFull[MAX_PATH];
    DWORD cchFull = GetFullPathNameW(lpPath, ARRAYSIZE(szFull), szFull, nullptr);
    if (cchFull == 0 || cchFull >= ARRAYSIZE(szFull)) {
        return true;  // the attribute checks made before the open stand
    }
    WCHAR szFinal[MAX_PATH + 8];
    if (!vista::FinalPathOf(hFile, szFinal, ARRAYSIZE(szFinal))) {
        return !vista::PathHasReparsePoint(szFull);
    }
    LPCWSTR lpFinal = szFinal;
    const WCHAR kLongPrefix[] = L"\\\\?\\";
    if (wcsncmp(lpFinal, kLongPrefix, ARRAYSIZE(kLongPrefix) - 1) == 0) {
        lpFinal += ARRAYSIZE(kLongPrefix) - 1;
    }
    return vista::EqualOrdinalIgnoreCase(lpFinal, szFull);
}

}  // namespace

bool CCSVOperator::IsVerifiedAppendTarget(LPCWSTR lpPath, const OpenFileFacts& facts) const
{
    return m_Verified.path == lpPath && m_Verified.llIndex == facts.llIndex;
}

CCSVOperator::~CCSVOperator()
{
    FinalizeCSV();
}

DWORD CCSVOperator::InitializeCSV(LPCWSTR lpLockName, volatile LONG* lpRecovery)
{
    TRACE_ENTER(2);
    if (lpLockName == nullptr) {
        return TRACE_NULL_ARGUMENT(lpLockName);
    }
    if (lpRecovery == nullptr) {
        return TRACE_NULL_ARGUMENT(lpRecovery);
    }
    DWORD dwResult = m_FileLock.Initialize(lpLockName, kLockTimeout);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in CNamedMutex::Initialize(%s). code:%u", lpLockName, dwResult);
        return TRACE_LEAVE(dwResult);
    }
    m_lpRecovery = lpRecovery;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CCSVOperator::FinalizeCSV()
{
    m_FileLock.Finalize();
    m_LineTable1.clear();
    m_LineTable3.clear();
}

HANDLE CCSVOperator::OpenLogFile(LPCWSTR lpPath, OpenMode mode, PLARGE_INTEGER pSize, LPDWORD lpdwError)
{
    TRACE_ENTER(2);
    if (lpPath == nullptr || pSize == nullptr || lpdwError == nullptr) {
        TRACE(0, L"%s is NULL.", L"lpPath");
        if (lpdwError != nullptr) {
            *lpdwError = ERROR_INVALID_PARAMETER;
        }
        return INVALID_HANDLE_VALUE;
    }
    *lpdwError = ERROR_SUCCESS;
    if (mode == OPEN_FOR_APPEND) {
        DWORD dwCheck = foldertree::CheckPlainFile(lpPath);
        if (dwCheck != ERROR_SUCCESS) {
            TRACE(0, L"Refused to write %s. code:%u", lpPath, dwCheck);
            *lpdwError = dwCheck;
            return INVALID_HANDLE_VALUE;
        }
    }
    DWORD dwAccess = (mode == OPEN_FOR_READ) ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE);
    DWORD dwDisposition = (mode == OPEN_FOR_APPEND) ? OPEN_ALWAYS : OPEN_EXISTING;
    CScopedFileHandle file;
    for (DWORD dwAttempt = 1;; ++dwAttempt) {
        file.Reset(CreateFileW(lpPath, dwAccess, 0 /* no sharing */, nullptr, dwDisposition,
                               FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_WRITE_THROUGH, nullptr));
        if (file.IsValid()) {
            break;
        }
        *lpdwError = GetLastError();
        if (dwAttempt == kOpenAttempts
            || (*lpdwError != ERROR_SHARING_VIOLATION && *lpdwError != ERROR_LOCK_VIOLATION)) {
            TRACE(2, L"Error in CreateFile(%s). code:%u", lpPath, *lpdwError);
            return INVALID_HANDLE_VALUE;
        }
        Sleep(kOpenRetryDelay);
    }
    OpenFileFacts facts;
    *lpdwError = QueryOpenFile(file.Get(), &facts);
    if (*lpdwError != ERROR_SUCCESS) {
        return INVALID_HANDLE_VALUE;
    }
    if (mode != OPEN_FOR_READ) {
        if (facts.nLinks > 1 || (facts.dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0
            || (!IsVerifiedAppendTarget(lpPath, facts) && !OpensWhatItNames(file.Get(), lpPath))) {
            TRACE(0, L"Refused to write %s: it is a link.", lpPath);
            *lpdwError = foldertree::kErrorLinkRefused;
            return INVALID_HANDLE_VALUE;
        }
        m_Verified.path = lpPath;
        m_Verified.llIndex = facts.llIndex;
    }
    LONGLONG llSize = facts.llSize;
    if (llSize >= kMaxFileSize) {
        TRACE(0, L"File too large: %s.", lpPath);
        *lpdwError = ERROR_OPEN_FAILED;
        return INVALID_HANDLE_VALUE;
    }
    if (mode == OPEN_FOR_READ && llSize < 3) {
        *lpdwError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    if (mode == OPEN_FOR_APPEND) {
        DWORD dwResult = PrepareForAppend(file.Get(), llSize);
        if (dwResult != ERROR_SUCCESS) {
            *lpdwError = dwResult;
            return INVALID_HANDLE_VALUE;
        }
    }
    DWORD dwResult = SetPosition(file.Get(), llSize);
    if (dwResult != ERROR_SUCCESS) {
        *lpdwError = dwResult;
        return INVALID_HANDLE_VALUE;
    }
    pSize->QuadPart = llSize;
    return file.Release();
}

DWORD CCSVOperator::SeekCSVByLine(HANDLE hFile, LPWSTR lpBuf, DWORD cbBuf, PLARGE_INTEGER pPos)
{
    if (lpBuf == nullptr || pPos == nullptr || cbBuf < 2 * sizeof(WCHAR)) {
        return ERROR_INVALID_PARAMETER;
    }
    const DWORD cchBuf = cbBuf / sizeof(WCHAR);
    ZeroMemory(lpBuf, cchBuf * sizeof(WCHAR));
    const DWORD cbWanted = (cchBuf - 1) * sizeof(WCHAR);
    DWORD cbRead = 0;
    DWORD dwResult = ReadAt(hFile, pPos->QuadPart, lpBuf, cbWanted, &cbRead);
    if (dwResult != ERROR_SUCCESS) {
        return dwResult;
    }
    DWORD cchRead = cbRead / sizeof(WCHAR);
    for (DWORD i = 0; i < cchRead; ++i) {
        if (lpBuf[i] == L'\n') {
            lpBuf[i] = L'\0';
            pPos->QuadPart += static_cast<LONGLONG>(i + 1) * sizeof(WCHAR);
            return ERROR_SUCCESS;
        }
    }
    lpBuf[cchRead] = L'\0';
    if (cbRead < cbWanted) {
        return ERROR_HANDLE_EOF;
    }
    // A line longer than the buffer: its beginning stays, the rest is skipped.
    WCHAR chunk[kTailChunkBytes / sizeof(WCHAR)];
    LONGLONG llPos = pPos->QuadPart + cbRead;
    for (;;) {
        DWORD cbChunk = 0;
        dwResult = ReadFile(hFile, chunk, sizeof(chunk), &cbChunk, nullptr) ? ERROR_SUCCESS : GetLastError();
        if (dwResult != ERROR_SUCCESS) {
            return dwResult;
        }
        DWORD cchChunk = cbChunk / sizeof(WCHAR);
        for (DWORD i = 0; i < cchChunk; ++i) {
            if (chunk[i] == L'\n') {
                pPos->QuadPart = llPos + static_cast<LONGLONG>(i + 1) * sizeof(WCHAR);
                return ERROR_SUCCESS;
            }
        }
        if (cbChunk < sizeof(chunk)) {
            return ERROR_HANDLE_EOF;
        }
        llPos += cbChunk;
    }
}

DWORD CCSVOperator::ReadLastLine(LPCWSTR lpPath, LPWSTR lpOut, size_t cchOut, HANDLE hAbort)
{
    TRACE_ENTER(2);
    if (lpPath == nullptr) {
        return TRACE_NULL_ARGUMENT(lpPath);
    }
    if (lpOut == nullptr) {
        return TRACE_NULL_ARGUMENT(lpOut);
    }
    if (cchOut == 0) {
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    lpOut[0] = L'\0';
    CLockedLogFile file(*this, lpPath, OPEN_FOR_READ, hAbort);
    if (file.Result() != ERROR_SUCCESS) {
        return TRACE_LEAVE(file.Result());
    }
    LONGLONG llEnd = 2;
    DWORD dwResult = FindEndOfWholeLines(file.Get(), file.Size(), &llEnd);
    if (dwResult != ERROR_SUCCESS || llEnd <= 2) {
        return TRACE_LEAVE(dwResult);
    }
    LONGLONG llFeed = -1;
    dwResult = FindLineFeedBackwards(file.Get(), 2, llEnd - static_cast<LONGLONG>(sizeof(WCHAR)), &llFeed);
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    LONGLONG llStart = (llFeed < 0) ? 2 : llFeed + static_cast<LONGLONG>(sizeof(WCHAR));
    LONGLONG cchLine = (llEnd - llStart) / static_cast<LONGLONG>(sizeof(WCHAR)) - 1;  // without the line feed
    DWORD cchWanted = static_cast<DWORD>(std::min<LONGLONG>(cchLine, static_cast<LONGLONG>(cchOut - 1)));
    DWORD cbRead = 0;
    dwResult = ReadAt(file.Get(), llStart, lpOut, cchWanted * sizeof(WCHAR), &cbRead);
    if (dwResult != ERROR_SUCCESS) {
        lpOut[0] = L'\0';
        return TRACE_LEAVE(dwResult);
    }
    DWORD cchRead = cbRead / sizeof(WCHAR);
    lpOut[cchRead] = L'\0';
    if (cchRead > 0 && lpOut[cchRead - 1] == L'\r') {
        lpOut[cchRead - 1] = L'\0';
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CCSVOperator::AppendLines(LPCWSTR lpPath, const std::wstring& text, HANDLE hAbort)
{
    TRACE_ENTER(2);
    if (lpPath == nullptr) {
        return TRACE_NULL_ARGUMENT(lpPath);
    }
    CLockedLogFile file(*this, lpPath, OPEN_FOR_APPEND, hAbort);
    DWORD dwResult = file.Result();
    if (file.LockResult() != ERROR_SUCCESS) {
        TRACE(0, L"Error in locking the log files. code:%u", dwResult);
        return TRACE_LEAVE(dwResult);
    }
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in opening %s. code:%u", lpPath, dwResult);
        return TRACE_LEAVE(dwResult);
    }
    const DWORD cbText = static_cast<DWORD>(text.size() * sizeof(WCHAR));
    DWORD cbWritten = 0;
    if (!WriteFile(file.Get(), text.data(), cbText, &cbWritten, nullptr) || cbWritten != cbText) {
        dwResult = GetLastError();
        if (dwResult == ERROR_SUCCESS) {
            dwResult = ERROR_WRITE_FAULT;
        }
        TRACE(0, L"Error in WriteFile(%s). code:%u", lpPath, dwResult);
        TruncateAt(file.Get(), file.Size());
        return TRACE_LEAVE(dwResult);
    }
    // The lines are in the file; a failed flush is only traced, since writing them again
    // would double them.
    if (!FlushFileBuffers(file.Get())) {
        TRACE(0, L"Error in FlushFileBuffers(%s). code:%u", lpPath, GetLastError());
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CCSVOperator::SplitCells(LPCWSTR lpLine, size_t cchLine, CellMap& cells)
{
    cells.clear();
    DWORD dwColumn = 1;
    size_t nStart = 0;
    for (size_t i = 0; i <= cchLine; ++i) {
        if (i == cchLine || lpLine[i] == L',') {
            cells[dwColumn++].assign(lpLine + nStart, i - nStart);
            nStart = i + 1;
        }
    }
}

DWORD CCSVOperator::ReadLines(LPCWSTR lpPath, DWORD dwFirstLine, CLineStore& lines, HANDLE hAbort)
{
    TRACE_ENTER(2);
    if (lpPath == nullptr) {
        return TRACE_NULL_ARGUMENT(lpPath);
    }
    if (IsRecovering()) {
        return TRACE_LEAVE(ERROR_OPERATION_ABORTED);
    }
    CLockedLogFile file(*this, lpPath, OPEN_FOR_READ, hAbort);
    DWORD dwResult = file.Result();
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    const size_t nBefore = lines.Count();
    DWORD dwLine = 0;
    bool bAborted = false;
    dwResult = WalkLines(file.Get(), file.Size(), [&](LPCWSTR lpLine, size_t cchLine, LONGLONG) {
        if (IsRecovering()) {
            bAborted = true;
            return false;
        }
        if (++dwLine >= dwFirstLine) {
            lines.Append(lpLine, cchLine);
        }
        return true;
    });
    if (bAborted) {
        dwResult = ERROR_OPERATION_ABORTED;
    } else if (dwResult == ERROR_SUCCESS && lines.Count() == nBefore) {
        dwResult = ERROR_INVALID_PARAMETER;  // the file ends before the first line wanted
    }
    if (dwResult != ERROR_SUCCESS) {
        lines.Truncate(nBefore);
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CCSVOperator::ReadCSV(LPCWSTR lpPath, DWORD dwFirstLine, LineTable& table, HANDLE hAbort)
{
    TRACE_ENTER(2);
    table.clear();
    CLineStore lines;
    DWORD dwResult = ReadLines(lpPath, dwFirstLine, lines, hAbort);
    if (dwResult == ERROR_SUCCESS) {
        for (size_t i = 0; i < lines.Count(); ++i) {
            SplitCells(lines.Line(i), lines.Length(i), table[static_cast<DWORD>(i) + 1]);
        }
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CCSVOperator::ReadLinesByDate(LPCWSTR lpPath, const SYSTEMTIME& stFirst, const SYSTEMTIME& stLast,
                                    CLineStore& lines, HANDLE hAbort)
{
    TRACE_ENTER(2);
    lines.Clear();
    if (lpPath == nullptr) {
        return TRACE_NULL_ARGUMENT(lpPath);
    }
    WCHAR szFirst[CQuoLog::kDateTextChars];
    WCHAR szLast[CQuoLog::kDateTextChars];
    CQuoLog::FormatDate(stFirst, szFirst, ARRAYSIZE(szFirst));
    CQuoLog::FormatDate(stLast, szLast, ARRAYSIZE(szLast));
    CLockedLogFile file(*this, lpPath, OPEN_FOR_READ, hAbort);
    DWORD dwResult = file.Result();
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    dwResult = WalkLines(file.Get(), file.Size(), [&](LPCWSTR lpLine, size_t cchLine, LONGLONG) {
        if (wcsncmp(lpLine, szFirst, kDateTextChars) < 0) {
            return true;
        }
        if (wcsncmp(lpLine, szLast, kDateTextChars) > 0) {
            return false;
        }
        lines.Append(lpLine, cchLine);
        return true;
    });
    if (dwResult != ERROR_SUCCESS) {
        lines.Clear();
        return TRACE_LEAVE(dwResult);
    }
    return TRACE_LEAVE(lines.Empty() ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS);
}

bool CCSVOperator::GetString(const LineTable& table, DWORD dwLine, DWORD dwColumn, std::wstring& text)
{
    auto line = table.find(dwLine);
    if (line == table.end()) {
        return false;
    }
    auto cell = line->second.find(dwColumn);
    if (cell == line->second.end()) {
        return false;
    }
    const std::wstring& value = cell->second;
    if (!value.empty() && value[0] == L'"') {
        text = (value.size() >= 2) ? value.substr(1, value.size() - 2) : std::wstring();
    } else {
        text = value;
    }
    return true;
}

bool CCSVOperator::GetDWORD(const LineTable& table, DWORD dwLine, DWORD dwColumn, LPDWORD lpdwValue)
{
    ULONGLONG ullValue = 0;
    if (lpdwValue == nullptr || !GetQWORD(table, dwLine, dwColumn, &ullValue)) {
        return false;
    }
    *lpdwValue = static_cast<DWORD>(std::min<ULONGLONG>(ullValue, 0xFFFFFFFFULL));
    return true;
}

bool CCSVOperator::GetQWORD(const LineTable& table, DWORD dwLine, DWORD dwColumn, PULONGLONG lpullValue)
{
    auto line = table.find(dwLine);
    if (lpullValue == nullptr || line == table.end()) {
        return false;
    }
    auto cell = line->second.find(dwColumn);
    if (cell == line->second.end()) {
        return false;
    }
    *lpullValue = wcstoull(cell->second.c_str(), nullptr, 10);
    return true;
}

size_t CCSVOperator::SplitSpans(LPCWSTR lpLine, size_t cchLine, CellSpan* pCells, size_t nMax)
{
    size_t nCells = 0;
    size_t nStart = 0;
    for (size_t i = 0; i <= cchLine; ++i) {
        if (i == cchLine || lpLine[i] == L',') {
            if (nCells < nMax) {
                pCells[nCells] = CellSpan{lpLine + nStart, i - nStart};
            }
            ++nCells;
            nStart = i + 1;
        }
    }
    return nCells;
}

void CCSVOperator::SpanText(const CellSpan& cell, LPWSTR lpOut, size_t cchOut)
{
    LPCWSTR lpText = cell.lpText;
    size_t cch = cell.cch;
    if (cch > 0 && lpText[0] == L'"') {
        ++lpText;
        cch = (cch >= 2) ? cch - 2 : 0;
    }
    StringCchCopyNW(lpOut, cchOut, lpText, cch);
}

DWORD CCSVOperator::CutIllegalCSVByDate(LPCWSTR lpPath, const SYSTEMTIME& stEnd)
{
    TRACE_ENTER(2);
    if (lpPath == nullptr) {
        return TRACE_NULL_ARGUMENT(lpPath);
    }
    CLockedLogFile file(*this, lpPath, OPEN_FOR_CUT, nullptr);
    DWORD dwResult = file.Result();
    if (file.LockResult() != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE((dwResult == ERROR_FILE_NOT_FOUND || dwResult == ERROR_PATH_NOT_FOUND) ? ERROR_SUCCESS : dwResult);
    }
    if (file.Size() <= 2) {
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    WCHAR szEnd[CQuoLog::kTimeTextChars];
    CQuoLog::FormatLongTime(stEnd, szEnd, ARRAYSIZE(szEnd));
    LONGLONG llCut = file.Size();
    dwResult = WalkLines(
        file.Get(), file.Size(),
        [&](LPCWSTR lpLine, size_t, LONGLONG) { return wcsncmp(lpLine, szEnd, kTimeTextChars) < 0; }, &llCut);
    if (dwResult == ERROR_SUCCESS && llCut < file.Size()) {
        TRACE(2, L"Cut %s at byte %I64d.", lpPath, llCut);
        dwResult = TruncateAt(file.Get(), llCut);
    }
    return TRACE_LEAVE(dwResult);
}

namespace {

// The log files of one kind: their name prefix and the date digits after it.
struct LogFileKind {
    DWORD dwKind;
    LPCWSTR lpPrefix;
    size_t cchDigits;  // yyyymmdd or yyyy
};

const LogFileKind kLogFileKinds[] = {
    {CCSVOperator::LOG_KIND_RAW, CCSVOperator::kRawPrefix, 8},
    {CCSVOperator::LOG_KIND_DAILY, CCSVOperator::kDailyPrefix, 8},
    {CCSVOperator::LOG_KIND_YEARLY, CCSVOperator::kYearlyPrefix, 4},
};

const LogFileKind* FindLogFileKind(DWORD dwKind)
{
    for (const LogFileKind& kind : kLogFileKinds) {
        if (kind.dwKind == dwKind) {
            return &kind;
        }
    }
    return nullptr;
}

// The start of the record of a file of dwKind that holds stTime: the raw log's own
// second, the daily log's half hour, the yearly log's day.
SYSTEMTIME StartOfRecord(DWORD dwKind, const SYSTEMTIME& stTime)
{
    if (dwKind == CCSVOperator::LOG_KIND_DAILY) {
        return CQuoLogTime::SlotOf(stTime);
    }
    return (dwKind == CCSVOperator::LOG_KIND_YEARLY) ? CQuoLogTime::DateOf(stTime) : stTime;
}

// A log file's date digits and name.
typedef std::pair<std::wstring, std::wstring> DatedFile;

// The files of kind in lpDir named after a date at or after lpThreshold (digits of the
// same length), oldest first.
std::vector<DatedFile> DatedFilesFrom(LPCWSTR lpDir, const LogFileKind& kind, LPCWSTR lpThreshold)
{
    WCHAR szPattern[MAX_PATH];
    StringCchPrintfW(szPattern, ARRAYSIZE(szPattern), L"%s\\%s*%s", lpDir, kind.lpPrefix, CCSVOperator::kCsvSuffix);
    std::vector<DatedFile> files;
    WIN32_FIND_DATAW fd;
    CScopedFindHandle find(FindFirstFileW(szPattern, &fd));
    if (!find.IsValid()) {
        return files;
    }
    do {
        std::wstring digits;
        if ((fd.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0
            && CCSVOperator::DateDigitsOfName(fd.cFileName, kind.lpPrefix, kind.cchDigits, digits)
            && digits >= lpThreshold) {
            files.emplace_back(digits, fd.cFileName);
        }
    } while (FindNextFileW(find.Get(), &fd));
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

DWORD CCSVOperator::RepeatDeleteFile(LPCWSTR lpSourceDir, LPCWSTR lpBackupDir, const SYSTEMTIME& stStart, DWORD dwKind)
{
    TRACE_ENTER(2);
    if (lpSourceDir == nullptr) {
        return TRACE_NULL_ARGUMENT(lpSourceDir);
    }
    if (lpBackupDir == nullptr) {
        return TRACE_NULL_ARGUMENT(lpBackupDir);
    }
    if (wcslen(lpSourceDir) > kMaxTreePathChars || wcslen(lpBackupDir) > kMaxTreePathChars) {
        TRACE(0, L"Path too long.");
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    const LogFileKind* pKind = FindLogFileKind(dwKind);
    if (pKind == nullptr) {
        TRACE(0, L"Invalid kind: %u.", dwKind);
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    if (dwKind == LOG_KIND_DAILY) {
        DWORD dwResult = foldertree::CreateProtectedFolder(lpBackupDir);
        if (dwResult != ERROR_SUCCESS) {
            return TRACE_LEAVE(dwResult);
        }
    }
    const SYSTEMTIME stCut = StartOfRecord(dwKind, stStart);
    WCHAR szThreshold[16];
    if (pKind->cchDigits == 8) {
        StringCchPrintfW(szThreshold, ARRAYSIZE(szThreshold), L"%04u%02u%02u", stStart.wYear, stStart.wMonth,
                         stStart.wDay);
    } else {
        StringCchPrintfW(szThreshold, ARRAYSIZE(szThreshold), L"%04u", stStart.wYear);
    }
    const std::vector<DatedFile> files = DatedFilesFrom(lpSourceDir, *pKind, szThreshold);

    for (const auto& entry : files) {
        LPCWSTR lpName = entry.second.c_str();
        WCHAR szSource[MAX_PATH];
        WCHAR szBackup[MAX_PATH];
        StringCchPrintfW(szSource, ARRAYSIZE(szSource), L"%s\\%s", lpSourceDir, lpName);
        StringCchPrintfW(szBackup, ARRAYSIZE(szBackup), L"%s\\%s", lpBackupDir, lpName);
        TRACE(1, L"DeleteLogFile: Find file name is %s", szSource);
        {
            CNamedMutexLock lock(m_FileLock, nullptr);
            if (lock.Result() != ERROR_SUCCESS) {
                return TRACE_LEAVE(lock.Result());
            }
            if (!CopyFileW(szSource, szBackup, FALSE /* replace */)) {
                DWORD dwError = GetLastError();
                TRACE(0, L"BackupLogFile:Faild name is %s.Error: 0x%x.", szSource, dwError);
                return TRACE_LEAVE(ERROR_WRITE_FAULT);
            }
        }
        if (entry.first == szThreshold) {
            TRACE(1, L"DeleteLogFileContext:Find file name is %s", szSource);
            DWORD dwError = CutIllegalCSVByDate(szSource, stCut);
            if (dwError != ERROR_SUCCESS) {
                TRACE(0, L"DeleteFileContext Failed name is %s.Error: 0x%x.", szSource, dwError);
                return TRACE_LEAVE(dwError);
            }
            continue;
        }
        CNamedMutexLock lock(m_FileLock, nullptr);
        if (lock.Result() != ERROR_SUCCESS) {
            return TRACE_LEAVE(lock.Result());
        }
        if (!DeleteFileW(szSource)) {
            DWORD dwError = GetLastError();
            TRACE(0, L"DeleteLogFile Failed name is %s.Error: 0x%x.", szSource, dwError);
            return TRACE_LEAVE(ERROR_WRITE_FAULT);
        }
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}
