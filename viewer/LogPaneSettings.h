// The log analysis pane's settings, read once from the registry when the pane starts:
// the CO2 factor, the histogram colours, the oldest year shown, the refresh minute,
// the smallest Y range of each view, and the band colour overrides.
#pragma once

#include <windows.h>

#include "LogColorTables.h"
#include "LogGraphMath.h"

struct QVLogPaneSettings {
    double dCO2Factor = DefaultCO2Factor();  // kg per kWh
    COLORREF dwQuoFgColor = RGB(158, 239, 59);
    COLORREF dwFgColor = RGB(250, 150, 0);
    COLORREF dwBgColor = RGB(0, 0, 0);
    COLORREF dwGridColor = RGB(0, 80, 0);
    COLORREF dwLabelColor = RGB(0, 0, 0);
    SYSTEMTIME stPastLimitSysTime = {};      // 1 January 2009 unless configured
    DWORD dwGraphRefreshDelay = 1;           // minutes past the half hour
    QVLogMinRanges minRanges;
};

// The defaults, with the past limit 1 January 2009.
QVLogPaneSettings DefaultLogPaneSettings();

// Reads the settings below lpRootKey (the viewer's key relative to HKEY_LOCAL_MACHINE,
// Software\ZAV\QUOViewer) into *pSettings: a missing or ill-typed value keeps
// what *pSettings held. The past limit year is never after stToday's year. Then the
// band colour overrides into the tables (states named by stateNames). 87 for a null
// argument, 8 when a table cannot grow, else 0.
DWORD ReadLogPaneSettings(LPCWSTR lpRootKey, const SYSTEMTIME& stToday,
                          const std::wstring (&stateNames)[kQVPowerStates], QVLogPaneSettings* pSettings,
                          QVPlanColorTable* pPlanTable, QVStateColorTable* pStateTable);
