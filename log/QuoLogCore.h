// CQuoLog: the core object of the log library, one per process that opens it. It owns
// the raw log (writer only), the totalized logs and the writer's worker thread, knows
// the log directory, and offers the path operations every part of the library uses (and,
// from CQuoLogTime, the date operations).
//
// Lock order: the instance lock, then the raw log's buffer lock, then the file lock.
#pragma once

#include <windows.h>

#include <memory>

#include "CSVOperator.h"
#include "QuoLog.h"
#include "QuoLogEnv.h"
#include "QuoLogTime.h"
#include "ReadPositionStore.h"
#include "ScopedHandle.h"

class CTempLog;
class CTotalizeLog;
class CThread;

class CQuoLog : public CQuoLogTime {
public:
    static constexpr size_t kDirNameChars = 32;  // a "LogDir" component, terminator included
    static constexpr size_t kTimeTextChars = 24;  // "%04u/%02u/%02u,%02u:%02u:%02u.%03u" and terminator
    static constexpr size_t kDateTextChars = 11;  // "%04u/%02u/%02u" and terminator
    static constexpr DWORD kRecoveryAckTimeout = 5000;
    static constexpr DWORD kTimerPeriod = 60000;
    // Reads of the newest raw file at start-up that meet a passing fault (each waits up
    // to the file lock's time-out) before the start fails with it.
    static constexpr DWORD kRestoreAttempts = 5;

    explicit CQuoLog(const QuoLogEnvironment& env);
    ~CQuoLog();

    CQuoLog(const CQuoLog&) = delete;
    CQuoLog& operator=(const CQuoLog&) = delete;

    // Builds the instance: mode QUOLOG_MODE_READER or QUOLOG_MODE_WRITER. 0; 87 for
    // another mode; 5 when a writer exists; 3 without the common application data
    // folder; 8; or the error of a step. On failure the caller destroys the instance.
    DWORD mQUOLogInitialize(DWORD dwMode, DWORD dwInterval, DWORD bDelayWrite, DWORD dwDelayTime);

    // Appends the record, stamped with the local time (WriteAt: with stNow), when it is
    // strictly later than the last one; a record that is not gives 0 and is dropped.
    // 5 on a reader.
    DWORD Write(const QuoLogData* pRecord);
    DWORD WriteAt(const QuoLogData* pRecord, const SYSTEMTIME& stNow);

    // Answers a QUOLogRead question about the period of *lpTime, with today the local
    // date (ReadAt: stToday's date). pRows (dwCount records) and *pStatistics are zeroed
    // and filled. 0 answered; 2 nothing to show (the period lies after today, no file,
    // no line); 87 for a bad kind, too few rows or a *lpTime with a field out of range
    // (a day 1..31 the month lacks, such as 2012/02/30, is a question like any other:
    // its day has no file, its week is that of the day it carries into); or the error
    // of a file read.
    DWORD Read(DWORD dwKind, const SYSTEMTIME* lpTime, QuoLogRead* pRows, DWORD dwCount, QuoLogRead* pStatistics);
    DWORD ReadAt(DWORD dwKind, const SYSTEMTIME* lpTime, QuoLogRead* pRows, DWORD dwCount, QuoLogRead* pStatistics,
                 const SYSTEMTIME& stToday);

    // One totals line of a daily or yearly file (dwLine its number, for the trace):
    // columns 1 and 2 the time, 3 to 17 the figures. 0; 2 when a plan column is missing
    // (the record is then filled up to it); 13 when the time is no valid time; 87 for a
    // null record.
    static DWORD MapTotalsLine(LPCWSTR lpLine, size_t cchLine, DWORD dwLine, QuoLogRead* pRecord);
    // Adds rows 0..dwCount-1 into *pTotal: the times and energies are summed, the two
    // plans of the total are the two with the most time over all rows' plans. The
    // total's stTime is left as it is.
    static void SumRows(const QuoLogRead* pRows, DWORD dwCount, QuoLogRead* pTotal);

    // Cuts every log back to the local time (RecoveryAt: to stNow) when the newest
    // record is later. 5 on a reader; 170, 995 or the wait's error when the worker does
    // not answer; 3; 29 when the scratch folder cannot be removed; or the error of the
    // step that failed, after the cut files were restored from their backup.
    DWORD Recovery();
    DWORD RecoveryAt(const SYSTEMTIME& stNow);

    // Flushes the raw log, stops the worker and gives up the writer role. Repeatable.
    void Finalize();

    // Copies the peak-shift tool's settings into the library's key; needs no instance.
    // 0, also without the tool; 266 when a copy failed.
    static DWORD mQUOLogCopyPksReg(const QuoLogEnvironment& env);
    static DWORD CopyRegKeyVal(LPCWSTR lpSrcPath, LPCWSTR lpDstPath);
    static DWORD DeleteRegKey(LPCWSTR lpParentPath, LPCWSTR lpName);
    static BOOL IsTandoraInstalled(const QuoLogEnvironment& env);

    // The worker: the thread function and what it does on each wake. Both handlers take
    // the local time of the wake and the event that aborts file waits.
    static DWORD ThreadProc(LPVOID lpData);
    void OnTotalizeRequest(const SYSTEMTIME& stNow, HANDLE hAbort);
    void OnTimer(const SYSTEMTIME& stNow, HANDLE hAbort);

    // What one totalization does: with bRefreshPks the peak-shift settings are read
    // first; the raw lines up to stNow (or up to the oldest record the raw log still
    // holds in memory) go into the daily logs; with bFold, when that gave 0, the
    // finished days go into the yearly logs and the oldest raw files are dropped. The results of the two steps; dwTwo is 0xFFFFFFFF when it did not run.
    struct TotalizeResults {
        DWORD dwOne;
        DWORD dwTwo;
    };
    static constexpr DWORD kStepNotRun = 0xFFFFFFFF;
    TotalizeResults Totalize(const SYSTEMTIME& stNow, HANDLE hAbort, BOOL bFold, BOOL bRefreshPks);

    // Splits a "LogDir" value at chSeparator into the two directory components. A
    // component that is empty, longer than 31 characters, "." or "..", or holds a
    // character a folder name cannot hold, keeps both defaults. TRUE when taken.
    BOOL DivideString(LPCWSTR lpValue, WCHAR chSeparator);

    // Creates (writer) the folders of the log directory; 0, 3, or the error, among
    // them foldertree::kErrorLinkRefused for a folder that is a link.
    DWORD CreateLogDir();

    // The path of the log of kind dwKind (CCSVOperator::LogKind) for the date
    // *lpDate; with bCreateDir the year folder of a daily log is created first.
    // FALSE (last error set) for a null buffer or date, size 0, an unknown kind, a
    // path that does not fit or a year folder that cannot be made.
    BOOL GetLogFullPath(DWORD dwKind, const SYSTEMTIME* lpDate, LPWSTR lpPath, size_t cchPath, BOOL bCreateDir);

    // Deletes a folder tree / moves the scratch folder's contents back into the log
    // directory, merging folders and replacing files. TRUE on success.
    static BOOL DeleteDir(LPCWSTR lpDir);
    static BOOL RollBackFile(LPCWSTR lpSourceDir, LPCWSTR lpDestDir);

    LPCWSTR GetLogDir() const { return m_szLogDir; }
    LPCWSTR GetDirName1() const { return m_szDirName1; }
    LPCWSTR GetDirName2() const { return m_szDirName2; }
    LPCWSTR GetLastItemTime() const { return m_szLastItemTime; }
    CTempLog* GetTempLog() const { return m_pTempLog.get(); }
    CTotalizeLog* GetTotalizeLog() const { return m_pTotalizeLog.get(); }
    const QuoLogEnvironment& GetEnvironment() const { return m_Env; }
    CReadPositionStore& PositionStore()
    {
        return (m_Env.pPositionStore != nullptr) ? *m_Env.pPositionStore : m_RegistryPositions;
    }

private:
    DWORD ReadLogDirSetting();
    DWORD SetLogDirectory(DWORD dwMode);
    DWORD ReadDay(const SYSTEMTIME& stTime, QuoLogRead* pRows, DWORD dwCount, QuoLogRead* pStatistics,
                  const SYSTEMTIME& stToday);
    DWORD ReadWeek(const SYSTEMTIME& stTime, QuoLogRead* pRows, DWORD dwCount, QuoLogRead* pStatistics,
                   const SYSTEMTIME& stToday);
    DWORD ReadMonth(const SYSTEMTIME& stTime, QuoLogRead* pRows, DWORD dwCount, QuoLogRead* pStatistics,
                    const SYSTEMTIME& stToday);
    DWORD ReadYear(const SYSTEMTIME& stTime, QuoLogRead* pRows, DWORD dwCount, QuoLogRead* pStatistics,
                   const SYSTEMTIME& stToday);
    DWORD ReadDays(const SYSTEMTIME& stFirst, const SYSTEMTIME& stLast, QuoLogRead* pRows, DWORD dwRows,
                   DWORD* pdwHits);
    // The rows of consecutive days stStart..stLast (up to yesterday) and their total,
    // for a week or a month question about stTime.
    DWORD ReadDayRows(const SYSTEMTIME& stTime, const SYSTEMTIME& stStart, const SYSTEMTIME& stLast,
                      QuoLogRead* pRows, DWORD dwRows, QuoLogRead* pStatistics, const SYSTEMTIME& stToday);
    DWORD GetBaseFolder(LPWSTR lpFolder, size_t cchFolder, BOOL bCreate) const;
    DWORD InitializeWriter(DWORD dwInterval, DWORD bDelayWrite, DWORD dwDelayTime);
    DWORD RestoreLastItemTime();
    DWORD CreateEvents();
    DWORD StartWorker();
    void ReleaseWriterFlag();
    bool IsWorkerRunning() const;
    DWORD RunWorker();
    DWORD RecoverFiles(const SYSTEMTIME& stNow);
    DWORD MakeScratchFolder(LPWSTR lpScratch, size_t cchScratch);
    DWORD ResetReadPositions(const SYSTEMTIME& stNow);
    void DeletePksCopies();

    CRITICAL_SECTION m_csLock;
    DWORD m_dwMode;
    WCHAR m_szDirName1[kDirNameChars];
    WCHAR m_szDirName2[kDirNameChars];
    WCHAR m_szLogDir[MAX_PATH];
    CScopedKernelHandle m_hTotalizeEvent;
    CScopedKernelHandle m_hRecoveryEvent;
    CScopedKernelHandle m_hRecoveryAckEvent;
    BOOL m_bFirstWrite;
    WCHAR m_szLastItemTime[kTimeTextChars];
    std::unique_ptr<CThread> m_pThread;
    std::unique_ptr<CTempLog> m_pTempLog;
    std::unique_ptr<CTotalizeLog> m_pTotalizeLog;
    QuoLogEnvironment m_Env;
    BOOL m_bHoldsWriterFlag;  // this instance set the shared writer flag
    CScopedKernelHandle m_hWriterMark;
    CRegistryPositionStore m_RegistryPositions;
};
