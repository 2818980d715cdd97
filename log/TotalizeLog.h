// CTotalizeLog: the daily and yearly logs. The writer's worker turns the raw lines into
// one totals line per half-hour slot in a daily file, and folds finished days into one
// line per day in a yearly file; readers use it for its file lock and line tables.
//
// Daily file "<log directory>\<yyyy>\QuoLogDaily<yyyymmdd>.csv" (one line per slot),
// yearly file "<log directory>\QuoLogYearly<yyyy>.csv" (one line per day). A totals
// line holds the 17 columns of QuoLogRead: date, time, S0, S3S4 and S5 time (s), PC and
// display energy (mWh), AC, DC and charging time (s), "plan 1", its time, "plan 2", its
// time, idle-run energy (mWh), reduction-plan time (s), reduction energy (mWh).
//
// Sleep and power-off energy is estimated from the battery's charge gain over the
// period, times "PCWatDiscount" / 1000, spread over the period's slots in proportion to
// their share of the period; the peak-shift tool's charge-prevention window, when in
// force, is left out of that spread. Sleep and off time count for the plan "".
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "CSVOperator.h"
#include "QuoLog.h"
#include "QuoLogTime.h"

class CQuoLog;
class CReg;

// A power plan and the time spent in it (ms within a slot, s in the daily fold).
struct PowerPlanInfo {
    WCHAR szName[QUOLOG_POWERPLAN_CHARS];
    DWORD dwTime;
};
typedef std::map<DWORD, PowerPlanInfo> PowerPlanTable;  // 1-based index, in order of first use

// The accumulator of the open slot.
struct TotalizeTemp {
    DWORD dwInterval;            // ms every S0 sample counts for
    ULONGLONG ullIdleTime;       // ms of the current idle run
    ULONGLONG ullIdleWattMs;     // sum over the run of (PC + display mW) x interval ms
    ULONGLONG ullPCWattSum;      // sums over the slot's S0 samples, mW
    ULONGLONG ullMonWattSum;
    ULONGLONG ullReductWattSum;
    PowerPlanTable plans;
};

class CTotalizeLog : public CCSVOperator, public CQuoLogTime {
public:
    static constexpr DWORD kDefaultCPUUsageThreshold = 30;  // %
    static constexpr DWORD kDefaultHDDUsageThreshold = 30;  // %
    static constexpr DWORD kDefaultIdleTimeThreshold = 15;  // minutes
    static constexpr double kDefaultPCWatDiscount = 1.5;
    static constexpr size_t kLineChars = 1024;  // a totals line, CR LF and terminator included
    static constexpr size_t kPksTextChars = 21;  // room for a peak-shift setting's text

    explicit CTotalizeLog(CQuoLog& owner);
    ~CTotalizeLog() override;

    // Opens the file lock; the writer (dwMode 2) first reads "LastWriteDay2" (writing
    // today when it is missing or no date) and its settings: "PCWatDiscount",
    // "CPUUsageThreshold", "HDDUsageThreshold", "IdleTimeThreshold", and the reduction
    // plan names ("ReductionWattPlanName", else the string "QUO";
    // "ReductionWattPlanName2", else empty). 0 or the lock's error.
    DWORD Initialize(DWORD dwMode);
    void Finalize();

    // Stores the day as "LastWriteDay2"; 0 or the store's error.
    DWORD SetLastItemTime(const SYSTEMTIME& stDay);
    LPCWSTR GetLastItemTime() const { return m_szLastItemTime; }

    // The raw lines after the read position up to stNow into half-hour slots of the
    // daily logs; the read position moves past what was written. 0 when it totalized;
    // the error of LoadTotalizeBuffer when there was nothing new, or when a raw file
    // could not be read for a passing reason (after the days before it); 995 when the newest
    // line is a TO_S3S4 or TO_S5 record (nothing is done until the record that ends the
    // period is written) or a recovery started; 21 without a raw log; 170 or 995 when a
    // slot line could not be written for a passing reason (the slot is read again next
    // time).
    DWORD TotalizeQuoLogOne(const SYSTEMTIME& stNow, HANDLE hAbort);

    // Folds each day from "LastWriteDay2" to the day before stNow that has a daily file
    // into one line of the yearly log, then stores the day it reached. A daily file that
    // holds no whole line or whose first line has no date is passed over; a read or write
    // that fails for a passing reason stores the day and gives its error, so that the day
    // is folded next time. 995 when a recovery started.
    DWORD TotalizeQuoLogTwo(const SYSTEMTIME& stNow, HANDLE hAbort);

    // One raw line (dwLine its number, for the trace) into *pElement, its time into
    // *lpSystemtime and its elapsed-time column into *lpdwInterval. 0; 13 for a line
    // with fewer than 23 columns or no valid time.
    static DWORD MapRawLine(LPCWSTR lpLine, size_t cchLine, DWORD dwLine, QuoLogData* pElement,
                            SYSTEMTIME* lpSystemtime, LPDWORD lpdwInterval);

    // Closes a slot: times to seconds, watt sums to energies, the two plans; queues the
    // line for the daily log (QueueTotalLine) and clears the slot and the sums (the idle
    // run goes on). The result of QueueTotalLine.
    DWORD WriteDailyLog(QuoLogRead* pQuoLogRead, TotalizeTemp* pTotalizeTemp);
    // Accounts one S0 sample into the open slot.
    void UpdateS0Info(QuoLogRead* pQuoLogRead, const QuoLogData& record, TotalizeTemp* pTotalizeTemp);

    // Adds dwTime to the plan named lpszPowerPlan (exact, case-sensitive), appending it
    // when new.
    static void UpdatePlanInfo(PowerPlanTable& table, LPCWSTR lpszPowerPlan, DWORD dwTime);
    // The two plans with the most time, in table order among equals; a missing one is
    // "" with 0. Plans with time 0 are never chosen.
    static void FindMaxPowerPlan(const PowerPlanTable& table, PowerPlanInfo pMaxPPI[2]);

    // The totals lines of a run go to their files a file at a time: QueueTotalLine
    // keeps the line of a record for the daily (kind 2) or yearly (kind 3) log of its
    // date, and FlushTotalLines appends the kept lines to that file together, under one
    // hold of the file lock and with one flush to disk, each only when it is later than
    // the file's last line (a slot or day already in the file is left alone). Callers
    // flush before queueing a line of another file (IsQueuedFile) and at the end of a
    // run, and move their read position back before the first kept line when the flush
    // fails. QueueTotalLine: 0, 122 when the line does not fit, 87 for another kind.
    // FlushTotalLines: 0, or the error of the path, the lock, the read or the write;
    // the queue is empty afterwards. A file that has refused its lines in
    // kMaxRefusedRuns flushes in a row (one a run, since a run stops at such a flush) is
    // given up: every line it refuses from then on is traced and skipped with 0, until
    // it takes lines again.
    DWORD QueueTotalLine(const QuoLogRead& record, DWORD dwKind);
    DWORD FlushTotalLines(HANDLE hAbort);
    void DropTotalLines() { m_Queue.clear(); }
    bool HasQueuedLines() const { return !m_Queue.empty(); }
    // Whether a line of the time t for a log of kind dwKind can join the queue: it is
    // empty or keeps lines of the same file.
    bool IsQueuedFile(const SYSTEMTIME& t, DWORD dwKind) const;
    static constexpr DWORD kMaxRefusedRuns = 8;
    // The totals line of a record, CR LF included. FALSE when it does not fit.
    static BOOL FormatTotalLine(const QuoLogRead& record, LPWSTR lpLine, size_t cchLine);

    // Below the CPU and disk thresholds, without user input.
    BOOL IsIdleSample(const QuoLogData& record) const;

    // The peak-shift tool's charge prevention, from the library's copy of its settings.
    // 0 when the settings are in force (IsPksEnabled) or switched off; otherwise the
    // registry error, 13 for a missing or invalid text, 1627 for a malformed one, 1901
    // for an invalid time or an inverted window or date range.
    DWORD GetPksBattChrgPrvntInfo();
    BOOL IsPksEnabled() const { return m_bPksEnable; }
    void DisablePks() { m_bPksEnable = FALSE; }
    // "hh:mm[:ss]" and "yyyy/mm/dd" texts of the tool (first 10 characters).
    static DWORD ConvertPksTime(LPCWSTR lpText, SYSTEMTIME* lpTime);
    static DWORD ConvertPksDate(LPCWSTR lpText, SYSTEMTIME* lpTime);
    // dwTarget seconds of the period stStart..stEnd less the time of the charge
    // prevention window that falls in it (only the window of stStart's day); 0 when
    // the window covers more than dwTarget.
    DWORD CalculateBattChrgPrvntTime(const SYSTEMTIME& stStart, const SYSTEMTIME& stEnd, DWORD dwTarget) const;
    // Seconds between two times of day.
    static DWORD CalcSecCount(const SYSTEMTIME& a, const SYSTEMTIME& b);

    double GetPCWatDiscount() const { return m_dblPCWatDiscount; }
    LPCWSTR GetPowPlanQuo() const { return m_szPowPlanQuo; }

    // Copies the folder lpSource into the folder lpDestParent. TRUE on success.
    static BOOL CopyLogDir(LPCWSTR lpSource, LPCWSTR lpDestParent);

    // Recovery: back up into lpBackupDir and delete or cut every daily log (year
    // folders after stStart's year copied and deleted whole) and every yearly log
    // after stStart. 0, 29 when a folder could not be backed up or deleted, 87, or the
    // error of the file that failed.
    DWORD DeleteIllegalDailyData(LPCWSTR lpLogDir, LPCWSTR lpBackupDir, const SYSTEMTIME& stStart);
    DWORD DeleteIllegalYearlyData(LPCWSTR lpLogDir, LPCWSTR lpBackupDir, const SYSTEMTIME& stStart);

    // Whether a recovery is cutting the logs back: every loop ends with 995.
    bool IsRecoveryFlagSet() const { return IsRecovering(); }

private:
    void ReadSettings();
    DWORD ReadPksTime(CReg& key, LPCWSTR lpName, LPCWSTR lpTraceName, SYSTEMTIME* lpTime);
    // The totals of the day's daily file into *pDay; its stTime stays zero when the day
    // is passed over.
    DWORD FoldDay(const SYSTEMTIME& stDay, QuoLogRead* pDay, HANDLE hAbort);
    // Appends to lpPath, in one write, the queued lines later than the file's last line.
    DWORD AppendIfLater(LPCWSTR lpPath, HANDLE hAbort);

    CQuoLog& m_Owner;
    WCHAR m_szLastItemTime[24];
    DWORD m_dwCPUUsageThreshold;
    DWORD m_dwHDDUsageThreshold;
    DWORD m_dwIdleTimeThreshold;
    double m_dblPCWatDiscount;
    SYSTEMTIME m_stPksStartDate;
    SYSTEMTIME m_stPksEndDate;
    SYSTEMTIME m_stPksStartTime;
    SYSTEMTIME m_stPksEndTime;
    BOOL m_bPksEnable;
    WCHAR m_szPowPlanQuo[QUOLOG_POWERPLAN_CHARS];
    WCHAR m_szPowPlanSuperQuo[QUOLOG_POWERPLAN_CHARS];
    // The last plan name UpdateS0Info compared with the reduction plans, and the answer.
    WCHAR m_szLastPlan[QUOLOG_POWERPLAN_CHARS];
    bool m_bLastPlanIsReduction;
    DWORD m_dwQueueKind;
    SYSTEMTIME m_stQueueFile;          // the time of the first queued line
    std::vector<std::wstring> m_Queue;  // queued lines, CR LF included, in time order
    std::wstring m_RefusingFile;  // "kind:date" of the file whose line failed last, and in how many runs
    DWORD m_dwRefusals;
};
