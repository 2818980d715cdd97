// CTotalizeLog: the daily and yearly logs. Every instance uses it for its file lock and
// line tables; the writer also keeps "LastWriteDay2", the first day whose daily file is
// not yet folded into the yearly file, and cuts the totalized logs back in a recovery.
//
// Daily file "<log directory>\<yyyy>\QuoLogDaily<yyyymmdd>.csv" (one line per
// half-hour slot), yearly file "<log directory>\QuoLogYearly<yyyy>.csv" (one line per
// day).
//
// Not built yet: the totalization itself (raw lines into half-hour slots, complete days
// into the yearly log) and the peak-shift settings it reads. TotalizeQuoLogOne,
// TotalizeQuoLogTwo and GetPksBattChrgPrvntInfo trace that at level 0 and answer 120,
// so the worker never takes a skipped run for a finished one.
#pragma once

#include <windows.h>

#include "CSVOperator.h"

class CQuoLog;

class CTotalizeLog : public CCSVOperator {
public:
    explicit CTotalizeLog(CQuoLog& owner);
    ~CTotalizeLog() override;

    // Opens the file lock; the writer (dwMode 2) also reads "LastWriteDay2", writing
    // today when it is missing or no date. 0 or the lock's error.
    DWORD Initialize(DWORD dwMode);
    void Finalize();

    // Stores the day as "LastWriteDay2"; 0 or the registry error.
    DWORD SetLastItemTime(const SYSTEMTIME& stDay);
    LPCWSTR GetLastItemTime() const { return m_szLastItemTime; }

    // Raw lines up to stNow into half-hour slots of the daily logs; complete days into
    // the yearly log; the peak-shift settings those runs account for.
    DWORD TotalizeQuoLogOne(const SYSTEMTIME& stNow, HANDLE hAbort);
    DWORD TotalizeQuoLogTwo(const SYSTEMTIME& stNow, HANDLE hAbort);
    DWORD GetPksBattChrgPrvntInfo();

    // Copies the folder lpSource into the folder lpDestParent. TRUE on success.
    static BOOL CopyLogDir(LPCWSTR lpSource, LPCWSTR lpDestParent);

    // Recovery: back up into lpBackupDir and delete or cut every daily log (year
    // folders after stStart's year copied and deleted whole) and every yearly log
    // after stStart. 0, 29 when a folder could not be backed up or deleted, 87, or the
    // error of the file that failed.
    DWORD DeleteIllegalDailyData(LPCWSTR lpLogDir, LPCWSTR lpBackupDir, const SYSTEMTIME& stStart);
    DWORD DeleteIllegalYearlyData(LPCWSTR lpLogDir, LPCWSTR lpBackupDir, const SYSTEMTIME& stStart);

private:
    CQuoLog& m_Owner;
    WCHAR m_szLastItemTime[24];
};
