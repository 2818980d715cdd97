// The service's metrics file for fleet monitoring. When the REG_SZ value "MetricsDir"
// below the product's key names a folder, the service keeps the file quoviewer.prom
// there in the Prometheus text exposition format (version 0.0.4, UTF-8), which
// node_exporter's textfile collector and windows_exporter publish: the current power,
// battery and power plan, the logging state, the energy since the service started,
// today's totals of the log and the time of the last sample.
//
// The file is replaced whole at most once every kWritePeriodMs: written as a temporary
// file in the same folder, then renamed over the old one, so a reader never sees half
// of it. Nothing is written through a link: a folder on the way or a file that is a
// reparse point is refused. The folder must exist; its permissions are left as they are.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "QuoLog.h"

namespace metrics {

// What one sample told, as the file shows it.
struct Sample {
    bool bWattRead;          // the PC's power was read; a failed reading has no power
    DWORD dwPCWatt;          // mW
    DWORD dwMonWatt;         // mW, the external displays
    DWORD dwBatteryStatus;   // QUOLOG_BATTERY_*
    bool bBattery;           // the PC has batteries: dwBatteryPercent counts
    DWORD dwBatteryPercent;  // 0 to 100; anything above is unknown
    WCHAR szPowerPlan[QUOLOG_POWERPLAN_CHARS];
};

// Today's totals of the log: the half-hours it has totalled so far.
struct TodayTotals {
    ULONGLONG ullEnergyMWh;     // PC and displays
    DWORD dwRunningSeconds;
    ULONGLONG ullReductionMWh;  // saved in the reduction plans
};

// Everything one file tells.
struct Snapshot {
    bool bLogging;                  // measuring and recording are on
    bool bHasSample;                // sample holds the current values (none while logging is off)
    Sample sample;
    ULONGLONG ullEnergyMwMs;        // energy since the service started, mW x ms
    ULONGLONG ullLastSampleUnixMs;  // time of the last sample, ms since 1970 (UTC); 0: none yet
    bool bHasToday;                 // today holds the log's totals (they could not be read otherwise)
    TodayTotals today;
};

// The file's text for snapshot: UTF-8, LF line ends, every family with its # HELP and
// # TYPE lines, label values escaped. 0, or 8 when memory ran out (text then undefined).
DWORD Format(const Snapshot& snapshot, std::string& text);

// Result for a path that leads through a link or is not what it should be.
const DWORD kErrorLinkRefused = ERROR_CANT_ACCESS_FILE;

// Replaces the file lpDir\lpName with text as a whole (lpDir\lpName.tmp first, then a
// rename); lpDir is an absolute path without a trailing backslash below its root. 0;
// kErrorLinkRefused when a folder of lpDir or the file is a reparse point, or a file
// stands where a folder should or a folder where the file should; else the system's
// error (2 or 3 for a missing folder). The temporary file never outlives the call.
DWORD WriteWhole(LPCWSTR lpDir, LPCWSTR lpName, const std::string& text);

}  // namespace metrics

class CMetricsFile {
public:
    static const DWORD kWritePeriodMs = 15000;
    static const WCHAR kFileName[];
    static const WCHAR REGENTRY_METRICSDIR[];

    // QUOLogRead, or a stand-in with its contract.
    typedef DWORD(WINAPI* ReadLogFunc)(DWORD dwKind, const SYSTEMTIME* lpTime, QuoLogRead* pRows, DWORD dwCount,
                                       QuoLogRead* pStatistics);

    CMetricsFile();
    ~CMetricsFile();

    CMetricsFile(const CMetricsFile&) = delete;
    CMetricsFile& operator=(const CMetricsFile&) = delete;

    // Reads "MetricsDir" below HKEY_LOCAL_MACHINE\lpKeyPath. A missing key or value or an
    // empty one leaves the file off (0). A value that is no REG_SZ (13), no absolute
    // folder path (161) or too long (206) leaves it off too. dwIntervalMs is the sampling
    // period; pReadLog answers today's totals.
    DWORD Initialize(LPCWSTR lpKeyPath, DWORD dwIntervalMs, ReadLogFunc pReadLog);
    // Deletes the file written since Initialize (a stopped service has no current
    // values) and turns the file off; repeatable.
    void Finalize();
    bool IsEnabled() const { return m_bEnabled; }
    LPCWSTR GetDir() const { return m_szDir; }

    // One tick of the service at dwTickMs (GetTickCount): pSample is the sample just
    // taken, or null while logging is off. The sample's energy is counted; the file is
    // written when kWritePeriodMs have passed since the last attempt (at the first tick
    // at once). The result of the write, or 0 when none was due or the file is off.
    DWORD OnTick(const metrics::Sample* pSample, DWORD dwTickMs);

private:
    DWORD Write();
    void CountEnergy(const metrics::Sample& sample, DWORD dwTickMs);
    bool ReadToday(metrics::TodayTotals* pToday);

    bool m_bEnabled;
    WCHAR m_szDir[MAX_PATH];
    DWORD m_dwIntervalMs;
    ReadLogFunc m_pReadLog;
    std::vector<QuoLogRead> m_DayRows;
    metrics::Snapshot m_Snapshot;
    bool m_bCounted;             // a sample was counted: m_dwLastSampleTick holds
    DWORD m_dwLastSampleTick;
    bool m_bAttempted;           // a write was attempted: m_dwLastWriteTick holds
    DWORD m_dwLastWriteTick;
    bool m_bWritten;             // the file of this run exists
    DWORD m_dwLastResult;        // of the last write, so a lasting failure is traced once
};
