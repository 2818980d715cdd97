// Where one library instance keeps its state: the registry keys, the folder that holds
// the log directory, where the totalization keeps its read positions, the name of the
// cross-process file lock and the flags that all processes share. The library itself
// uses the product's fixed places (ProductEnvironment); tests and the administration
// tool give places of their own.
#pragma once

#include <windows.h>

// Registry keys and values of the library, below HKEY_LOCAL_MACHINE.
#define REGKEY_PATH_QUOVIEWER L"Software\\ZAV\\QUOViewer"
#define REGKEY_PATH_QUOLOG L"Software\\ZAV\\QUOViewer\\QUOLog"
#define REGKEY_PATH_TANDORA_SOURCE L"Software\\ZAV\\Tandora"
#define REGENTRY_LOGDIR L"LogDir"
#define REGENTRY_LASTWRITELINE L"LastWriteLine"
#define REGENTRY_LASTWRITEDAY L"LastWriteDay"
#define REGENTRY_LASTWRITEDAY2 L"LastWriteDay2"
#define REGENTRY_RAWLOGLEAVENUM L"RawLogLeaveNum"
#define REGENTRY_PCWATDISCOUNT L"PCWatDiscount"
#define REGENTRY_CPUUSAGETHRESHOLD L"CPUUsageThreshold"
#define REGENTRY_HDDUSAGETHRESHOLD L"HDDUsageThreshold"
#define REGENTRY_IDLETIMETHRESHOLD L"IdleTimeThreshold"
#define REGENTRY_REDUCTPLANNAME L"ReductionWattPlanName"
#define REGENTRY_REDUCTPLANNAME_TWO L"ReductionWattPlanName2"

// The peak-shift tool's keys, below its source key (REGKEY_PATH_TANDORA_SOURCE), and
// the library's copies of them, below the library's key.
#define REGKEY_SUB_TANDORA_COPY L"Tandora"
#define REGKEY_SUB_PKS_SETTING L"Setting"
#define REGKEY_SUB_PKS_PATTERN L"PeakShiftPattern"
#define REGKEY_SUB_PKS_FORECAST L"PeakShiftPattern\\Forecast"
#define REGKEY_SUB_PKS_RANDOM L"PeakShiftPattern\\Random"

// The trace configuration of the library's own trace log.
#define REGKEY_PATH_QUOLOG_DBGLOG L"software\\zav\\QUOViewer\\DbgLog"

// Base name of the Global\ mutex that serialises every access to a log file.
#define QUOLOG_FILE_LOCK_NAME L"QuoLogFileAccess"

// A named event that exists exactly while a writer instance of the library lives in some
// process: programs that must not work beside the writer (the administration tool) test
// for it.
#define QUOLOG_WRITER_MARK_NAME L"Global\\QuoLogWriter"

// The library's one string resource: the default first reduction plan name, "QUO".
#define IDS_POWERPLAN_QUO 101

class CReadPositionStore;

struct QuoLogEnvironment {
    LPCWSTR lpRegKeyPath;        // the library's key below HKEY_LOCAL_MACHINE
    LPCWSTR lpPksSourcePath;     // the peak-shift tool's key below HKEY_LOCAL_MACHINE
    LPCWSTR lpBaseFolder;        // null: the common application data folder
    LPCWSTR lpProgramFolder;     // null: the program files folder
    LPCWSTR lpLockName;          // base name of the file lock
    volatile LONG* lpRecovery;   // 1 while a recovery cuts the logs back
    volatile LONG* lpWriter;     // 1 while a writer instance exists
    BOOL bRunWorker;             // FALSE: tests drive the worker's handlers themselves
    LPCWSTR lpViewerKeyPath;     // key of the reduction plan names; null: their defaults
    LPCWSTR lpLogDir;            // null: base folder and "LogDir"; else the log directory itself
    CReadPositionStore* pPositionStore;  // null: the library's registry key
    HMODULE hStringModule;       // module holding IDS_POWERPLAN_QUO; null: the program's image
    LPCWSTR lpWriterMarkName;    // the writer's mark (QUOLOG_WRITER_MARK_NAME); null: none
};
