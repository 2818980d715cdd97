// The service's use of the maker's level library QuoLevel.dll: start and callback
// registration, the active power-saving level and the external displays' power.
#pragma once

#include <windows.h>

#include "QuoLevel.h"

// The external displays: their estimated power and, for up to two, name and
// brightness in percent (10 to 100, 0 when unknown). An empty first name means none.
struct ExtDspInfo {
    DWORD dwMonWatt;
    WCHAR szMonitorName1[QUOMONITOR_NAME_CHARS];
    DWORD dwLCDLevel1;
    WCHAR szMonitorName2[QUOMONITOR_NAME_CHARS];
    DWORD dwLCDLevel2;
};

class CQuoLevel {
public:
    CQuoLevel();
    ~CQuoLevel();

    CQuoLevel(const CQuoLevel&) = delete;
    CQuoLevel& operator=(const CQuoLevel&) = delete;

    // Starts the library and registers pFunc with its context lpParam; 1 when the
    // library refuses either.
    DWORD Initialize(QUOLEVEL_CALLBACK pFunc, LPVOID lpParam);
    void Finalize();

    // The active level (1 to 5, 0 unknown); the library's failure answers as errors.
    DWORD GetQUOLevel(LPDWORD lpdwLevel);

    // The external displays, their power looked up under DspInfo by name and by the
    // level for dwDisplayStatus (the internal display's status: off or on).
    DWORD GetExtDspInfo(ExtDspInfo* pInfo, DWORD dwDisplayStatus);

private:
    bool m_bInitialized;
};

// The registry key whose sub-keys, named after display models, hold their power.
extern const WCHAR REGKEY_PATH_DSPINFO[];
