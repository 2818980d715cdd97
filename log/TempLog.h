// CTempLog: the raw log. One CSV line per record in one file a day, written through a
// bounded buffer (at once, or after a delay) that keeps the lines the file refuses until
// it takes them, the oldest files dropped; it remembers in the registry up to which day
// and line the totalization has read it, and hands the totalization the lines it has
// not read. Exists only in the writer instance.
//
// Raw file "<log directory>\QUOLogRaw<yyyymmdd>.csv", 23 columns:
//   date, time, elapsed ms (the interval for S0 records, else 0), dwPowerStatus,
//   dwPCWatt, dwMonWatt, dwBatteryStatus, dwBatteryLifePercent, dwBatteryCapacity,
//   dwReductionWatt, "szPowerPlan", dwCPUUsage, dwInputStatus, dwHDDUsage,
//   dwSCRStatus, "szMonitorName1", dwMonitorStatus1, dwLCDLevel1, "szMonitorName2",
//   dwMonitorStatus2, dwLCDLevel2, dwQUOLevel, "szUserName"
// Strings are cut to 128 characters (the user name to 256); commas and control
// characters in them become blanks, so that a string never splits a cell or a line.
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "CSVOperator.h"
#include "QuoLog.h"

class CQuoLog;

class CTempLog : public CCSVOperator {
public:
    static constexpr DWORD kDefaultRawLogLeaveNum = 2;
    // The buffer never holds more lines than this, whatever the delay time says or how
    // long the raw file refuses its lines: beyond it the oldest line is dropped.
    static constexpr DWORD kMaxBufferedLines = 4096;
    static constexpr size_t kLineChars = 1024;  // a line, CR LF and terminator included
    static constexpr size_t kStringCutChars = 128;
    static constexpr size_t kUserNameCutChars = 256;

    explicit CTempLog(CQuoLog& owner);
    ~CTempLog() override;

    // Reads the read position and "RawLogLeaveNum" from the owner's key (writing the
    // defaults of a missing position) and opens the file lock. 0 or the lock's error.
    DWORD Initialize();
    void Finalize();

    void SetInterval(DWORD dwInterval) { m_dwInterval = dwInterval; }
    void SetDelayWrite(BOOL bDelayWrite) { m_bDelayWrite = bDelayWrite; }
    void SetDelayTime(DWORD dwDelayTime) { m_dwDelayTime = dwDelayTime; }
    // A smaller bound of the buffer (tests); 0 restores kMaxBufferedLines.
    void SetMaxBufferedLines(DWORD dwLines) { m_dwMaxBufferedLines = (dwLines != 0) ? dwLines : kMaxBufferedLines; }
    DWORD GetInterval() const { return m_dwInterval; }
    BOOL GetDelayWrite() const { return m_bDelayWrite; }
    DWORD GetLastWriteLine() const { return m_dwLastWriteLine; }
    LPCWSTR GetLastItemTime() const { return m_szLastItemTime; }
    DWORD GetRawLogLeaveNum() const { return m_dwRawLogLeaveNum; }

    // The single entry for writing: appends the record stamped *lpTime to the buffer
    // and writes the buffer out, at once or, with delayed writing, when it holds delay
    // time / interval lines, on a TO_S3S4 or END record, and before a line of another
    // day; without a record it writes the buffer out. Lines leave the buffer only once
    // they are in their day's file, in order and each once, so a record whose append
    // fails is kept and goes out before the next one when the file takes lines again;
    // a full buffer drops its oldest line. 0 or the error of the folder, the lock (170,
    // 995 on hAbort) or the file (the record is kept); 87 for a null time, 122 for a
    // line that does not fit (both with nothing kept).
    DWORD WriteLog(const QuoLogData* pRecord, const SYSTEMTIME* lpTime, HANDLE hAbort);

    // Drops the buffered lines (a recovery cuts them away anyway).
    void DiscardBuffer();
    // The time of the oldest line still in the buffer; false when it is empty.
    bool GetOldestBufferedTime(SYSTEMTIME* lpTime);
    DWORD GetBufferedLineCount();

    // The raw line of a record, CR LF included, into lpLine of cchLine characters.
    // 0; 87 for a null argument; 122 when it does not fit.
    DWORD FormatQuoLog(const QuoLogData* pRecord, const SYSTEMTIME* lpTime, LPWSTR lpLine, size_t cchLine) const;
    // Turns commas and control characters into blanks.
    static void RepCommaWithSpace(LPWSTR lpText);

    // Store the read position in memory and in the registry; 0 or the registry error.
    DWORD SetLastItemTime(const SYSTEMTIME& stDay);
    DWORD SetLastWriteLine(DWORD dwLines);

    // Collects into lines every raw line after the read position up to stEnd (to the
    // millisecond), across days. 0 with lines; 2 without a raw file or a line; 87 when
    // the end day's file has no line after the read position; 995 when a recovery
    // starts (no lines then). A file that cannot be read for a passing reason (the lock,
    // another program holding it) ends the collection before its day: the result is
    // that error, with the lines of the days before it collected.
    DWORD LoadTotalizeLines(const SYSTEMTIME& stEnd, CLineStore& lines, HANDLE hAbort);
    // The same split into line table 1, keyed 1, 2, 3... across days.
    DWORD LoadTotalizeBuffer(const SYSTEMTIME& stEnd, HANDLE hAbort);

    // Counts the lines of lpPath before the first whose time (first 23 characters) is
    // not before lpTimeText. 0 or the error.
    DWORD GetLineAccordTime(LPCWSTR lpPath, LPCWSTR lpTimeText, LPDWORD lpdwLines);

    // Deletes the oldest raw files of lpLogDir until "RawLogLeaveNum" (at least 1)
    // remain; a file of the read position's day or later (lines not yet totalized) is
    // never deleted.
    void DeleteLogFile(LPCWSTR lpLogDir, HANDLE hAbort);

    // Backs up and deletes the raw files after stStart, and cuts that day's file.
    DWORD DeleteIllegalLogData(LPCWSTR lpSourceDir, LPCWSTR lpBackupDir, const SYSTEMTIME& stStart);

    // The names of the raw files of lpLogDir, oldest first.
    static std::vector<std::wstring> ListRawFiles(LPCWSTR lpLogDir);

private:
    // Appends a line to the buffer, dropping the oldest one when it is full.
    void AppendOneLine(LPCWSTR lpLine);
    bool IsFlushDue(const QuoLogData& record) const;
    // Writes the buffered lines into their days' files, oldest first, and takes out
    // those written; stops at the first file that refuses its lines.
    DWORD FlushBuffer(HANDLE hAbort);
    DWORD AppendToRawFile(const SYSTEMTIME& stDay, const std::wstring& text, HANDLE hAbort);
    void AppendTable3To1();

    CQuoLog& m_Owner;
    DWORD m_dwLastWriteLine;
    BOOL m_bDelayWrite;
    WCHAR m_szLastItemTime[24];
    DWORD m_dwInterval;
    DWORD m_dwDelayTime;
    DWORD m_dwRawLogLeaveNum;
    CRITICAL_SECTION m_csBuffer;
    std::deque<std::wstring> m_Buffer;  // lines not yet in their file, oldest first
    DWORD m_dwMaxBufferedLines;
    bool m_bWriteFailing;  // the last flush failed: lines are kept until one succeeds
    DWORD m_dwDropped;     // lines dropped from the full buffer since the failure began
};
