// The line store of the log files and every low-level operation on them: opening,
// walking line by line, reading the last line, loading a file or a date range into a
// line table, reading cells, cutting a file at a time, and deleting every log after a
// time with a backup. Base class of the raw log (CTempLog) and the totalized logs
// (CTotalizeLog).
//
// File format: UTF-16LE with the byte-order mark FF FE, lines ended by CR LF, cells
// separated by commas. A last line without its line feed (left by a process that died
// while writing) is a torn line: readers skip it, and the next append cuts it off
// before writing, so the file always reads as whole lines.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "NamedMutex.h"
#include "ScopedHandle.h"

// Whole lines of log files as text, one after another, each with its terminator: what
// a reader that goes through many lines once keeps (the totalization), at a fraction of
// the cost of a table of cells.
class CLineStore {
public:
    void Clear()
    {
        m_Text.clear();
        m_Lines.clear();
    }
    void Append(LPCWSTR lpLine, size_t cchLine)
    {
        m_Lines.emplace_back(m_Text.size(), cchLine);
        m_Text.insert(m_Text.end(), lpLine, lpLine + cchLine);
        m_Text.push_back(L'\0');
    }
    // Keeps the first nLines lines.
    void Truncate(size_t nLines)
    {
        if (nLines < m_Lines.size()) {
            m_Text.resize(m_Lines[nLines].first);
            m_Lines.resize(nLines);
        }
    }
    size_t Count() const { return m_Lines.size(); }
    bool Empty() const { return m_Lines.empty(); }
    LPCWSTR Line(size_t i) const { return m_Text.data() + m_Lines[i].first; }
    size_t Length(size_t i) const { return m_Lines[i].second; }

private:
    std::vector<WCHAR> m_Text;
    std::vector<std::pair<size_t, size_t>> m_Lines;  // start in m_Text, length
};

// One cell of a line: its text, which the next comma or the line's terminator follows.
struct CellSpan {
    LPCWSTR lpText;
    size_t cch;
};

// Reads the lines of an open file through one buffer, in large reads; WalkLines' cursor.
class CLineCursor {
public:
    static constexpr size_t kBufferChars = 32768;

    CLineCursor(HANDLE hFile, LONGLONG llFrom, LONGLONG llSize);

    // The next whole line: its beginning (at most kMaxChars characters, cut at a null
    // character, without a final CR), terminated; *pllStart is the byte position where
    // it starts. ERROR_HANDLE_EOF when no line feed follows (*pllStart: where the
    // unread rest starts); or the read's error (*pllStart: the line's start).
    DWORD Next(LPCWSTR* ppLine, size_t* pcchLine, PLONGLONG pllStart);
    // The byte position after the last line given.
    LONGLONG Position() const { return m_llBegin; }

    static constexpr size_t kMaxChars = 1023;  // what a line buffer of 2048 bytes holds

private:
    DWORD Fill();
    LPCWSTR Finish(LPWSTR lpLine, size_t cchLine, size_t* pcchLine);

    HANDLE m_hFile;
    LONGLONG m_llSize;
    LONGLONG m_llRead;   // the byte position of the next read
    LONGLONG m_llBegin;  // the byte position of m_Buffer[m_nBegin]
    std::vector<WCHAR> m_Buffer;
    size_t m_nBegin;
    size_t m_nEnd;
    WCHAR m_szLong[kMaxChars + 1];  // the beginning of a line longer than the buffer holds
};

class CCSVOperator {
public:
    typedef std::map<DWORD, std::wstring> CellMap;    // 1-based column -> cell text
    typedef std::map<DWORD, CellMap> LineTable;       // 1-based line -> cells

    // The three kinds of log file (GetLogFullPath, RepeatDeleteFile).
    enum LogKind : DWORD { LOG_KIND_RAW = 1, LOG_KIND_DAILY = 2, LOG_KIND_YEARLY = 3 };

    // OpenLogFile modes: read an existing file; append, creating the file when
    // missing; or rewrite an existing file in place (cutting).
    enum OpenMode { OPEN_FOR_READ, OPEN_FOR_APPEND, OPEN_FOR_CUT };

    // What OpenLogFile learns of an open file.
    struct OpenFileFacts {
        LONGLONG llSize;
        ULONG nLinks;
        ULONG dwAttributes;
        LONGLONG llIndex;  // the file system's number for the file
    };

    static constexpr DWORD kLockTimeout = 3000;
    static constexpr DWORD kLineBufferBytes = 2048;
    static constexpr size_t kTimeTextChars = 23;  // "%04u/%02u/%02u,%02u:%02u:%02u.%03u"
    static constexpr size_t kDateTextChars = 10;  // "%04u/%02u/%02u"
    static constexpr size_t kMaxTreePathChars = 230;
    static constexpr WCHAR kRawPrefix[] = L"QUOLogRaw";
    static constexpr WCHAR kDailyPrefix[] = L"QuoLogDaily";
    static constexpr WCHAR kYearlyPrefix[] = L"QuoLogYearly";
    static constexpr WCHAR kCsvSuffix[] = L".csv";

    CCSVOperator();
    virtual ~CCSVOperator();

    CCSVOperator(const CCSVOperator&) = delete;
    CCSVOperator& operator=(const CCSVOperator&) = delete;

    // Opens lpPath without sharing, hidden and written through. Read: an existing
    // file of at least 3 bytes (else 2). Append: opens or creates; writes the
    // byte-order mark into an empty file and cuts a torn last line; refuses a link
    // (foldertree::kErrorLinkRefused). Cut: an existing file, read and write. A file of
    // 4 GiB or more gives 110. On success *pSize is the size and the position is at the
    // end; on failure the result is INVALID_HANDLE_VALUE and *lpdwError the error.
    // The caller holds the file lock.
    HANDLE OpenLogFile(LPCWSTR lpPath, OpenMode mode, PLARGE_INTEGER pSize, LPDWORD lpdwError);

    // Reads the line that starts at *pPos into lpBuf (cbBuf bytes): its beginning, up
    // to cbBuf / 2 - 1 characters, the CR kept and the line feed cut off; *pPos then
    // points after the line feed. 0; 38 when no line feed follows *pPos (a torn last
    // line; *pPos unchanged); 87 for a null argument or a buffer under 4 bytes; or the
    // read error.
    static DWORD SeekCSVByLine(HANDLE hFile, LPWSTR lpBuf, DWORD cbBuf, PLARGE_INTEGER pPos);

    // The beginning of the last whole line of lpPath, at most cchOut - 1 characters
    // (empty when the file holds no whole line). 0; 2 for a missing or too short file;
    // else the lock's or the read's error.
    DWORD ReadLastLine(LPCWSTR lpPath, LPWSTR lpOut, size_t cchOut, HANDLE hAbort);

    // Loads the lines from dwFirstLine (1-based) on into table, renumbered from 1.
    // 87 when the file ends before that line; 995 when a recovery starts; the table is
    // empty after any failure.
    DWORD ReadCSV(LPCWSTR lpPath, DWORD dwFirstLine, LineTable& table, HANDLE hAbort);

    // The same as whole lines of text, appended to lines (left as it was on failure).
    DWORD ReadLines(LPCWSTR lpPath, DWORD dwFirstLine, CLineStore& lines, HANDLE hAbort);

    // Collects into lines the lines dated from stFirst to stLast (first 10 characters).
    // 2 when none matched; lines is empty after a failure.
    DWORD ReadLinesByDate(LPCWSTR lpPath, const SYSTEMTIME& stFirst, const SYSTEMTIME& stLast, CLineStore& lines,
                          HANDLE hAbort);

    // A cell of a table. GetString drops a leading double quote and the last
    // character; the numbers are unsigned decimals. False when the cell is missing.
    static bool GetString(const LineTable& table, DWORD dwLine, DWORD dwColumn, std::wstring& text);
    static bool GetDWORD(const LineTable& table, DWORD dwLine, DWORD dwColumn, LPDWORD lpdwValue);
    static bool GetQWORD(const LineTable& table, DWORD dwLine, DWORD dwColumn, PULONGLONG lpullValue);

    // The cells of a terminated line, split at every comma as a table's are, into at most
    // nMax spans; the number of cells the line has.
    static size_t SplitSpans(LPCWSTR lpLine, size_t cchLine, CellSpan* pCells, size_t nMax);
    // A cell's text and number as GetString and GetQWORD read them; the text is cut to
    // fit cchOut characters with the terminator.
    static void SpanText(const CellSpan& cell, LPWSTR lpOut, size_t cchOut);
    static ULONGLONG SpanNumber(const CellSpan& cell) { return wcstoull(cell.lpText, nullptr, 10); }
    static DWORD SpanDword(const CellSpan& cell)
    {
        ULONGLONG ullValue = SpanNumber(cell);
        return (ullValue > 0xFFFFFFFFULL) ? 0xFFFFFFFFUL : static_cast<DWORD>(ullValue);
    }

    // Cuts lpPath before its first line whose time (first 23 characters) is not before
    // stEnd; a torn last line goes too. A missing file gives 0.
    DWORD CutIllegalCSVByDate(LPCWSTR lpPath, const SYSTEMTIME& stEnd);

    // Backs up into lpBackupDir and deletes every log of kind dwKind in lpSourceDir
    // that is dated after stStart; the file of stStart's own day (year for the
    // yearly log) is backed up and cut at the start time instead. 87 for a bad kind or
    // a path over 230 characters; 29 when a backup or delete failed.
    DWORD RepeatDeleteFile(LPCWSTR lpSourceDir, LPCWSTR lpBackupDir, const SYSTEMTIME& stStart, DWORD dwKind);

    // Whether a read error is one that no later read of the file will escape: the
    // file is missing, holds no whole line (or none from the line wanted on) or is too
    // big. Other errors (the lock's time-out, another program holding the file) pass.
    static bool IsLastingReadFault(DWORD dwError)
    {
        return dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND
            || dwError == ERROR_INVALID_PARAMETER || dwError == ERROR_OPEN_FAILED;
    }

    // The date digits (8 for a day, 4 for a year) of a log file name
    // "<lpPrefix><digits>.csv", prefix and suffix in any case; false for another name.
    static bool DateDigitsOfName(LPCWSTR lpName, LPCWSTR lpPrefix, size_t cchDigits, std::wstring& digits);

    LineTable& GetLineTable1() { return m_LineTable1; }
    CNamedMutex& GetFileLock() { return m_FileLock; }
    LineTable& GetLineTable3() { return m_LineTable3; }

protected:
    // Opens the file lock lpLockName; lpRecovery (never null) is polled by the reads.
    DWORD InitializeCSV(LPCWSTR lpLockName, volatile LONG* lpRecovery);
    void FinalizeCSV();

    bool IsRecovering() const { return m_lpRecovery != nullptr && *m_lpRecovery != 0; }

    // Calls visit(line without CR, its length, byte position of its start) for every
    // whole line of an open file, from just after the byte-order mark, until visit
    // returns false. A torn last line ends the walk without error; *pllEnd (optional)
    // gets the byte position where the walk stopped.
    template <typename Visit>
    DWORD WalkLines(HANDLE hFile, LONGLONG llSize, Visit visit, PLONGLONG pllEnd = nullptr);

    static void SplitCells(LPCWSTR lpLine, size_t cchLine, CellMap& cells);

    // Appends whole lines (each ended by CR LF) to lpPath under the file lock, creating
    // the file when missing, and flushes them to disk. After a failed write the file is
    // cut back to its old end, so that it holds all of the text or none of it.
    DWORD AppendLines(LPCWSTR lpPath, const std::wstring& text, HANDLE hAbort);

    // Whether an append's open file is the one verified last time for the same path: the
    // same file number (on NTFS it carries a sequence number that changes when a number is
    // given to a new file).
    bool IsVerifiedAppendTarget(LPCWSTR lpPath, const OpenFileFacts& facts) const;

    LineTable m_LineTable1;
    CNamedMutex m_FileLock;
    // The last file an append found to be what its path names. While the same path opens
    // the same file again, its final path is not asked again: under Wine that question
    // looks at every drive letter, and the service appends every second. A link put in
    // its place is another file and is checked again.
    struct VerifiedFile {
        std::wstring path;
        LONGLONG llIndex;
    } m_Verified;
    LineTable m_LineTable3;
    volatile LONG* m_lpRecovery;
};

// A log file opened under the file lock; both are held while the object lives.
// Result() is 0 when Get() is the open file, else the lock's error (LockResult()) or
// the open's.
class CLockedLogFile {
public:
    CLockedLogFile(CCSVOperator& owner, LPCWSTR lpPath, CCSVOperator::OpenMode mode, HANDLE hAbort)
        : m_Lock(owner.GetFileLock(), hAbort), m_File(), m_Size(), m_dwResult(m_Lock.Result())
    {
        if (m_dwResult == ERROR_SUCCESS) {
            DWORD dwOpenError = ERROR_SUCCESS;
            m_File.Reset(owner.OpenLogFile(lpPath, mode, &m_Size, &dwOpenError));
            // A retried open leaves its earlier error behind even when it succeeds.
            m_dwResult = m_File.IsValid() ? ERROR_SUCCESS : dwOpenError;
        }
    }
    CLockedLogFile(const CLockedLogFile&) = delete;
    CLockedLogFile& operator=(const CLockedLogFile&) = delete;

    DWORD Result() const { return m_dwResult; }
    DWORD LockResult() const { return m_Lock.Result(); }
    HANDLE Get() const { return m_File.Get(); }
    LONGLONG Size() const { return m_Size.QuadPart; }

private:
    CNamedMutexLock m_Lock;
    CScopedFileHandle m_File;
    LARGE_INTEGER m_Size;
    DWORD m_dwResult;
};

template <typename Visit>
DWORD CCSVOperator::WalkLines(HANDLE hFile, LONGLONG llSize, Visit visit, PLONGLONG pllEnd)
{
    CLineCursor cursor(hFile, 2, llSize);
    LONGLONG llEnd = 2;
    DWORD dwResult = ERROR_SUCCESS;
    for (;;) {
        LPCWSTR lpLine = nullptr;
        size_t cchLine = 0;
        LONGLONG llStart = 0;
        dwResult = cursor.Next(&lpLine, &cchLine, &llStart);
        if (dwResult != ERROR_SUCCESS || !visit(lpLine, cchLine, llStart)) {
            llEnd = llStart;
            break;
        }
        llEnd = cursor.Position();
    }
    if (dwResult == ERROR_HANDLE_EOF) {
        dwResult = ERROR_SUCCESS;
    }
    if (pllEnd != nullptr) {
        *pllEnd = llEnd;
    }
    return dwResult;
}
