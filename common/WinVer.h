// The running Windows version compared with a given one.
#pragma once

#include <windows.h>

// Relations returned by CWinVer::CompareVersion.
enum : DWORD {
    WINVER_EQUAL = 1,
    WINVER_NEWER = 2,   // the running Windows is later than the one asked about
    WINVER_OLDER = 4,   // the running Windows is earlier
    WINVER_UNKNOWN = 0xFFFFFFFF,
};

class CWinVer {
public:
    // The relation of the running version to dwMajor.dwMinor: equal, older or newer,
    // tested in that order; WINVER_UNKNOWN when no test succeeds.
    DWORD CompareVersion(DWORD dwMajor, DWORD dwMinor);

    DWORD IsWinXP() { return CompareVersion(5, 1); }
    // Whether a Windows of the XP family runs: major version 5, 32-bit XP (5.1) as well
    // as 64-bit XP and Server 2003 (5.2). Every XP path of the programs asks this.
    bool IsXPFamily() { return CompareVersion(6, 0) == WINVER_OLDER; }
    DWORD IsWinVS() { return CompareVersion(6, 0); }
    DWORD IsWin7() { return CompareVersion(6, 1); }

    // Makes every CompareVersion of this process answer as if Windows dwMajor.dwMinor
    // ran, so that code paths of Windows versions the test machine cannot run are
    // reachable; ClearEmulatedVersion returns to the real version. The environment
    // variable QUO_EMULATE_WINVER ("5.2") sets the same at the first comparison of a
    // process.
    static void SetEmulatedVersion(DWORD dwMajor, DWORD dwMinor);
    static void ClearEmulatedVersion();
    // Whether the process emulates a Windows of the XP family; asked without tracing, by
    // the run-time bindings of VistaFunctions.h.
    static bool IsEmulatingXPFamily();
};
