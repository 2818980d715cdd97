// Where one library instance keeps its state: the registry key, the folder that holds
// the log directory, the name of the cross-process file lock and the flags that all
// processes share. The library itself uses the product's fixed places
// (ProductEnvironment); tests give places of their own.
#pragma once

#include <windows.h>

// Registry keys and values of the library, below HKEY_LOCAL_MACHINE.
#define REGKEY_PATH_QUOLOG L"Software\\ZAV\\QUOViewer\\QUOLog"
#define REGKEY_PATH_TANDORA_SOURCE L"Software\\ZAV\\Tandora"
#define REGENTRY_LOGDIR L"LogDir"
#define REGENTRY_LASTWRITELINE L"LastWriteLine"
#define REGENTRY_LASTWRITEDAY L"LastWriteDay"
#define REGENTRY_LASTWRITEDAY2 L"LastWriteDay2"
#define REGENTRY_RAWLOGLEAVENUM L"RawLogLeaveNum"

// The trace configuration of the library's own trace log.
#define REGKEY_PATH_QUOLOG_DBGLOG L"software\\zav\\QUOViewer\\DbgLog"

// Base name of the Global\ mutex that serialises every access to a log file.
#define QUOLOG_FILE_LOCK_NAME L"QuoLogFileAccess"

struct QuoLogEnvironment {
    LPCWSTR lpRegKeyPath;        // the library's key below HKEY_LOCAL_MACHINE
    LPCWSTR lpPksSourcePath;     // the peak-shift tool's key below HKEY_LOCAL_MACHINE
    LPCWSTR lpBaseFolder;        // null: the common application data folder
    LPCWSTR lpProgramFolder;     // null: the program files folder
    LPCWSTR lpLockName;          // base name of the file lock
    volatile LONG* lpRecovery;   // 1 while a recovery cuts the logs back
    volatile LONG* lpWriter;     // 1 while a writer instance exists
    BOOL bRunWorker;             // FALSE: tests drive the worker's handlers themselves
};
