// The interface of QUOLog.dll, the system's store: the record the service writes, the
// totals record the viewer reads, the codes both carry, and the six exports. Programs
// bind the exports by ordinal through the library's import library.
//
// Results are Win32 error codes, 0 for success. The codes the library gives itself:
//   2 file missing or too short, 3 special folder not found, 5 writer-only call on a
//   reader or a second writer, 8 out of memory, 21 library not initialised, 29 scratch
//   directory could not be removed, 87 bad argument, 110 file of 4 GiB or more,
//   170 recovery in progress or file lock time-out, 266 a peak-shift settings copy
//   failed, 995 aborted by the terminate event or by recovery, 1247 already initialised
//   in this process. Any other code is passed on from the system.
#pragma once

#include <windows.h>

#include <stddef.h>

#ifdef QUOLOG_EXPORTS
#define QUOLOG_API
#else
#define QUOLOG_API __declspec(dllimport)
#endif

#ifdef __cplusplus
#define QUOLOG_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#define QUOLOG_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

// QUOLogInitialize dwMode.
#define QUOLOG_MODE_READER 1
#define QUOLOG_MODE_WRITER 2

// QuoLogData::dwPowerStatus.
#define QUOLOG_POWER_UNKNOWN 0
#define QUOLOG_POWER_S0 1         // running sample
#define QUOLOG_POWER_FROM_S3S4 2  // resumed from sleep or hibernation
#define QUOLOG_POWER_TO_S3S4 3    // going to sleep or hibernation
#define QUOLOG_POWER_TO_S5 4      // shutting down
#define QUOLOG_POWER_START 5      // service start
#define QUOLOG_POWER_END 6        // service end

// QuoLogData::dwBatteryStatus.
#define QUOLOG_BATTERY_UNKNOWN 0
#define QUOLOG_BATTERY_AC 1
#define QUOLOG_BATTERY_DC 2
#define QUOLOG_BATTERY_CHARGING 3

// dwInputStatus, dwSCRStatus, dwMonitorStatus1 and dwMonitorStatus2.
#define QUOLOG_STATE_UNKNOWN 0
#define QUOLOG_STATE_OFF 1
#define QUOLOG_STATE_ON 2

// QuoLogData::dwQUOLevel: 0 unknown, 1 to 5 Level1 to Level5.
#define QUOLOG_LEVEL_UNKNOWN 0
#define QUOLOG_LEVEL_MIN 1
#define QUOLOG_LEVEL_MAX 5

// QUOLogRead dwKind, and the rows each kind fills (the smallest dwCount it accepts;
// a month needs as many rows as it has days, at most 31).
#define QUOLOG_READ_DAY 2    // 48 half-hour slots of the day of lpTime
#define QUOLOG_READ_WEEK 3   // 7 days, Sunday to Saturday, of the week of lpTime
#define QUOLOG_READ_MONTH 4  // one row per day of the month of lpTime
#define QUOLOG_READ_YEAR 5   // 12 months of the year of lpTime
#define QUOLOG_DAY_ROWS 48
#define QUOLOG_WEEK_ROWS 7
#define QUOLOG_MONTH_ROWS 31
#define QUOLOG_YEAR_ROWS 12

// Sizes of the string fields in characters, the terminator included.
#define QUOLOG_POWERPLAN_CHARS 129
#define QUOLOG_MONITORNAME_CHARS 33
#define QUOLOG_USERNAME_CHARS 257

// One sample or power transition, handed to QUOLogWrite. Powers in mW, capacity in mWh,
// percentages 0 to 100; strings NUL-terminated. The library never changes it.
typedef struct QuoLogData {
    DWORD dwPowerStatus;         // QUOLOG_POWER_*
    DWORD dwPCWatt;              // whole-PC power, mW
    DWORD dwMonWatt;             // display power, mW
    DWORD dwBatteryStatus;       // QUOLOG_BATTERY_*
    DWORD dwBatteryLifePercent;  // %
    DWORD dwBatteryCapacity;     // mWh
    DWORD dwReductionWatt;       // power saved against the reference, mW
    WCHAR szPowerPlan[QUOLOG_POWERPLAN_CHARS];
    DWORD dwCPUUsage;            // %
    DWORD dwInputStatus;         // QUOLOG_STATE_*: user input seen
    DWORD dwHDDUsage;            // %
    DWORD dwSCRStatus;           // QUOLOG_STATE_*: screen saver
    WCHAR szMonitorName1[QUOLOG_MONITORNAME_CHARS];
    DWORD dwMonitorStatus1;      // QUOLOG_STATE_*
    DWORD dwLCDLevel1;           // brightness level
    WCHAR szMonitorName2[QUOLOG_MONITORNAME_CHARS];
    DWORD dwMonitorStatus2;      // QUOLOG_STATE_*
    DWORD dwLCDLevel2;           // brightness level
    DWORD dwQUOLevel;            // QUOLOG_LEVEL_*
    WCHAR szUserName[QUOLOG_USERNAME_CHARS];
} QuoLogData;

// The totals of one half-hour slot, one day, one result row or a whole answer of
// QUOLogRead. Times in seconds, energies in mWh.
typedef struct QuoLogRead {
    SYSTEMTIME stTime;           // start of the slot (minute 0 or 30) or of the day
    DWORD dwS0Time;              // running time
    DWORD dwS3S4Time;            // sleep or hibernation time
    DWORD dwS5Time;              // power-off time
    ULONGLONG ullPCEnergy;       // PC energy
    ULONGLONG ullMonEnergy;      // display energy
    DWORD dwACTime;              // running time on AC
    DWORD dwDCTime;              // running time on battery
    DWORD dwChargeTime;          // running time while charging
    WCHAR szPowerPlan1[QUOLOG_POWERPLAN_CHARS];  // plan with the most time
    DWORD dwPowerPlan1Time;
    WCHAR szPowerPlan2[QUOLOG_POWERPLAN_CHARS];  // plan with the second most time
    DWORD dwPowerPlan2Time;
    ULONGLONG ullIdleEnergy;     // idle-run figure
    ULONGLONG ullReductPlanTime; // running time in a reduction plan
    ULONGLONG ullReductEnergy;   // reduction energy
} QuoLogRead;

// Both records cross between modules built apart: their layout is fixed.
QUOLOG_STATIC_ASSERT(offsetof(QuoLogData, szPowerPlan) == 28, "QuoLogData layout");
QUOLOG_STATIC_ASSERT(offsetof(QuoLogData, dwCPUUsage) == 288, "QuoLogData layout");
QUOLOG_STATIC_ASSERT(offsetof(QuoLogData, szMonitorName1) == 304, "QuoLogData layout");
QUOLOG_STATIC_ASSERT(offsetof(QuoLogData, dwMonitorStatus1) == 372, "QuoLogData layout");
QUOLOG_STATIC_ASSERT(offsetof(QuoLogData, szMonitorName2) == 380, "QuoLogData layout");
QUOLOG_STATIC_ASSERT(offsetof(QuoLogData, dwMonitorStatus2) == 448, "QuoLogData layout");
QUOLOG_STATIC_ASSERT(offsetof(QuoLogData, dwQUOLevel) == 456, "QuoLogData layout");
QUOLOG_STATIC_ASSERT(offsetof(QuoLogData, szUserName) == 460, "QuoLogData layout");
QUOLOG_STATIC_ASSERT(sizeof(QuoLogData) == 976, "QuoLogData layout");

QUOLOG_STATIC_ASSERT(offsetof(QuoLogRead, dwS0Time) == 16, "QuoLogRead layout");
QUOLOG_STATIC_ASSERT(offsetof(QuoLogRead, ullPCEnergy) == 32, "QuoLogRead layout");
QUOLOG_STATIC_ASSERT(offsetof(QuoLogRead, dwACTime) == 48, "QuoLogRead layout");
QUOLOG_STATIC_ASSERT(offsetof(QuoLogRead, szPowerPlan1) == 60, "QuoLogRead layout");
QUOLOG_STATIC_ASSERT(offsetof(QuoLogRead, dwPowerPlan1Time) == 320, "QuoLogRead layout");
QUOLOG_STATIC_ASSERT(offsetof(QuoLogRead, szPowerPlan2) == 324, "QuoLogRead layout");
QUOLOG_STATIC_ASSERT(offsetof(QuoLogRead, dwPowerPlan2Time) == 584, "QuoLogRead layout");
QUOLOG_STATIC_ASSERT(offsetof(QuoLogRead, ullIdleEnergy) == 592, "QuoLogRead layout");
QUOLOG_STATIC_ASSERT(offsetof(QuoLogRead, ullReductEnergy) == 608, "QuoLogRead layout");
QUOLOG_STATIC_ASSERT(sizeof(QuoLogRead) == 616, "QuoLogRead layout");

// Ordinal 1. Opens this process's instance: mode QUOLOG_MODE_READER or
// QUOLOG_MODE_WRITER (one writer in the whole system), the sampling interval in ms,
// delayed writing on or off, and the span in ms the write buffer may cover.
// 87 for interval 0, for delayed writing with delay time 0, or for another mode;
// 1247 when this process already has an instance; 5 for a second writer; 8, 3 or a
// system error when the instance cannot be built.
QUOLOG_API DWORD WINAPI QUOLogInitialize(DWORD dwMode, DWORD dwInterval, DWORD bDelayWrite, DWORD dwDelayTime);

// Ordinal 2. Appends the record, stamped with the local time, to the raw log. A record
// not strictly later than the last one is dropped and gives 0. 21 without an instance,
// 87 for a null record, 170 during a recovery, 5 on a reader.
QUOLOG_API DWORD WINAPI QUOLogWrite(const QuoLogData* pQuoLog);

// Ordinal 3. Answers a question of kind QUOLOG_READ_* about the period that holds
// *lpTime: pQuoLog (dwCount records) gets the rows, *pStatistics their total. Both are
// zeroed first. 0 answered; 2 nothing to show; 87 bad kind, too small dwCount or invalid
// time; 21 without an instance; 170 during a recovery or on a file lock time-out.
QUOLOG_API DWORD WINAPI QUOLogRead(DWORD dwKind, const SYSTEMTIME* lpTime, QuoLogRead* pQuoLog, DWORD dwCount,
                                   QuoLogRead* pStatistics);

// Ordinal 4. Flushes and closes this process's instance; without one it does nothing.
QUOLOG_API void WINAPI QUOLogFinalize(void);

// Ordinal 5. After the clock was set back, cuts every log back to the present time.
// 0 also when nothing needed cutting; 21 without an instance; 5 on a reader.
QUOLOG_API DWORD WINAPI QUOLogRecovery(void);

// Ordinal 6. Copies the peak-shift tool's settings into the library's own key; needs
// no instance. 0, also when the tool is not installed; 266 when a copy failed.
QUOLOG_API DWORD WINAPI QUOLogCopyPksReg(void);

#ifdef __cplusplus
}
#endif
