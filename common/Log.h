// The trace log every module carries: one CLog per program or library, switched on by
// a registry key, appending UTF-16LE lines to one file in the common application data
// folder that all modules share, serialised across processes by a named mutex.
#pragma once

#include <windows.h>

#include "NamedMutex.h"

// Line forms of "logform".
enum : DWORD {
    TRACE_FORM_SHORT = 1,  // time stamp and message
    TRACE_FORM_LONG = 2,   // time stamp, process and thread ids, function, line, message
};

class CLog {
public:
    static const size_t kFileNameChars = MAX_PATH + 1;
    static const size_t kMessageChars = 1024;
    static const size_t kStampChars = 128;
    static const size_t kBodyChars = 1024;
    static const size_t kLineChars = 1024;
    static const DWORD kMutexTimeout = 3000;

    CLog();
    ~CLog();

    CLog(const CLog&) = delete;
    CLog& operator=(const CLog&) = delete;

    // Reads the configuration below HKEY_LOCAL_MACHINE\lpKeyPath (null: the built-in
    // defaults) and opens the trace mutex. Does nothing when already initialised.
    // Returns 0, or the error that left tracing off (the mutex could not be opened).
    DWORD Initialize(LPCWSTR lpKeyPath);

    // Writes one line (or nothing); never fails towards the caller.
    void Trace(DWORD dwLevel, LPCWSTR lpFunc, int nLine, LPCWSTR lpFormat, ...);
    void TraceV(DWORD dwLevel, LPCWSTR lpFunc, int nLine, LPCWSTR lpFormat, va_list args);

    void Finalize();

    // Whether a line of dwLevel would be written; lets callers skip costly arguments.
    bool IsEnabled(DWORD dwLevel) const;

    // The full path of the trace file; 0 or the error that left it unbuilt.
    DWORD GetFilePath(LPWSTR szPath, size_t cchPath) const;

private:
    void ReadConfiguration(LPCWSTR lpKeyPath);
    void AppendLine(LPCWSTR lpLine);

    BOOL m_bInit;
    DWORD m_dwLogForm;
    DWORD m_dwLogLevel;
    DWORD m_dwDbgPort;
    WCHAR m_szFileName[kFileNameChars];
    CNamedMutex m_Mutex;
    DWORD m_dwFileAttributes;
};

// The module's own trace log: each program and the library link their own copy.
extern CLog g_Log;
