// The session's active power scheme on Windows XP, found through the power-scheme
// functions of the power-profile library.
#pragma once

#include <windows.h>

#include <powrprof.h>

class CPwrScheme {
public:
    static const size_t kPlanNameChars = 129;

    CPwrScheme();
    virtual ~CPwrScheme();

    // The active scheme's name into lpszPlanName (cch characters). 1168 when no scheme
    // has the active index, 266 when the name does not fit.
    DWORD GetActivePowPlanName(LPWSTR lpszPlanName, size_t cch);

private:
    static BOOLEAN CALLBACK PowSchemeEnumProc(UINT uiIndex, DWORD dwName, LPWSTR sName, DWORD dwDesc, LPWSTR sDesc,
                                              PPOWER_POLICY pp, LPARAM lParam);

    UINT m_uiActiveScheme;
    BYTE m_bFound;
    WCHAR m_szPlanName[kPlanNameChars];
};
