#include "WinVer.h"

#include <cwchar>

#include "Trace.h"

namespace {

const WCHAR kEmulationVariable[] = L"QUO_EMULATE_WINVER";

// The emulated version, MAKELONG(minor, major), or kNotEmulated; read from the
// environment at the first comparison unless a test has set it before.
const LONG kNotEmulated = -1;
const LONG kUnread = -2;
volatile LONG g_lEmulatedVersion = kUnread;

LONG ReadEmulationVariable()
{
    WCHAR szValue[16];
    DWORD cch = GetEnvironmentVariableW(kEmulationVariable, szValue, ARRAYSIZE(szValue));
    if (cch == 0 || cch >= ARRAYSIZE(szValue)) {
        return kNotEmulated;
    }
    unsigned int uMajor = 0;
    unsigned int uMinor = 0;
    WCHAR chExtra = 0;
    if (swscanf(szValue, L"%u.%u%lc", &uMajor, &uMinor, &chExtra) != 2 || uMajor > 0xFF || uMinor > 0xFF) {
        return kNotEmulated;
    }
    return static_cast<LONG>(MAKELONG(uMinor, uMajor));
}

LONG EmulatedVersion()
{
    LONG lVersion = g_lEmulatedVersion;
    if (lVersion == kUnread) {
        InterlockedCompareExchange(&g_lEmulatedVersion, ReadEmulationVariable(), kUnread);
        lVersion = g_lEmulatedVersion;
    }
    return lVersion;
}

bool VersionHolds(DWORD dwMajor, DWORD dwMinor, BYTE byCondition)
{
    LONG lEmulated = EmulatedVersion();
    if (lEmulated != kNotEmulated) {
        DWORD dwRunning = (static_cast<DWORD>(HIWORD(lEmulated)) << 16) | LOWORD(lEmulated);
        DWORD dwAsked = (dwMajor << 16) | (dwMinor & 0xFFFF);
        switch (byCondition) {
        case VER_EQUAL:
            return dwRunning == dwAsked;
        case VER_LESS:
            return dwRunning < dwAsked;
        default:
            return dwRunning > dwAsked;
        }
    }
    OSVERSIONINFOEXW osvi = {};
    osvi.dwOSVersionInfoSize = sizeof(osvi);
    osvi.dwMajorVersion = dwMajor;
    osvi.dwMinorVersion = dwMinor;
    ULONGLONG ullMask = VerSetConditionMask(0, VER_MAJORVERSION, byCondition);
    ullMask = VerSetConditionMask(ullMask, VER_MINORVERSION, byCondition);
    return VerifyVersionInfoW(&osvi, VER_MAJORVERSION | VER_MINORVERSION, ullMask) != FALSE;
}

}  // namespace

DWORD CWinVer::CompareVersion(DWORD dwMajor, DWORD dwMinor)
{
    TRACE_ENTER(2);
    DWORD dwRelation = WINVER_UNKNOWN;
    if (VersionHolds(dwMajor, dwMinor, VER_EQUAL)) {
        dwRelation = WINVER_EQUAL;
    } else if (VersionHolds(dwMajor, dwMinor, VER_LESS)) {
        dwRelation = WINVER_OLDER;
    } else if (VersionHolds(dwMajor, dwMinor, VER_GREATER)) {
        dwRelation = WINVER_NEWER;
    }
    TRACE(2, L"%u.%u : relation %u", dwMajor, dwMinor, dwRelation);
    return TRACE_LEAVE_VALUE(dwRelation);
}

void CWinVer::SetEmulatedVersion(DWORD dwMajor, DWORD dwMinor)
{
    InterlockedExchange(&g_lEmulatedVersion, static_cast<LONG>(MAKELONG(dwMinor, dwMajor)));
}

void CWinVer::ClearEmulatedVersion()
{
    InterlockedExchange(&g_lEmulatedVersion, kNotEmulated);
}

bool CWinVer::IsEmulatingXPFamily()
{
    LONG lEmulated = EmulatedVersion();
    return lEmulated != kNotEmulated && HIWORD(lEmulated) < 6;
}
