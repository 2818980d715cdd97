#include "PowMan.h"

#include <strsafe.h>

#include "Trace.h"
#include "WinVer.h"

namespace {

typedef HPOWERNOTIFY(WINAPI* RegisterPowerSettingNotificationFunc)(HANDLE, LPCGUID, DWORD);
typedef BOOL(WINAPI* UnregisterPowerSettingNotificationFunc)(HPOWERNOTIFY);
typedef DWORD(WINAPI* PowerGetActiveSchemeFunc)(HKEY, GUID**);
typedef DWORD(WINAPI* PowerReadFriendlyNameFunc)(HKEY, const GUID*, const GUID*, const GUID*, PUCHAR, LPDWORD);

// A procedure of a loaded module as the function type it really has.
template <typename Func>
Func ProcAs(FARPROC pProc)
{
    return reinterpret_cast<Func>(reinterpret_cast<void (*)()>(pProc));
}

}  // namespace

CPowMan::CPowMan() : m_bInitialized(false), m_hUser32(nullptr), m_hPowrProf(nullptr), m_bIsVistaOrLater(false) {}

CPowMan::~CPowMan()
{
    Finalize();
}

DWORD CPowMan::Initialize()
{
    TRACE_ENTER(1);
    m_bIsVistaOrLater = !CWinVer().IsXPFamily();
    HMODULE hUser32 = LoadLibraryW(L"User32.dll");
    if (hUser32 == nullptr) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in LoadLibrary(USER32DLL). code:%u", dwError);
        return TRACE_LEAVE(dwError);
    }
    HMODULE hPowrProf = LoadLibraryW(L"PowrProf.dll");
    if (hPowrProf == nullptr) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in LoadLibrary(POWRPROFDLL). code:%u", dwError);
        FreeLibrary(hUser32);
        return TRACE_LEAVE(dwError);
    }
    Finalize();
    m_hUser32 = hUser32;
    m_hPowrProf = hPowrProf;
    m_bInitialized = true;
    TRACE(1, L"CPowMan -- Initialized.");
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CPowMan::Finalize()
{
    TRACE_ENTER(1);
    if (m_hPowrProf != nullptr) {
        FreeLibrary(m_hPowrProf);
        m_hPowrProf = nullptr;
    }
    if (m_hUser32 != nullptr) {
        FreeLibrary(m_hUser32);
        m_hUser32 = nullptr;
    }
    if (m_bInitialized) {
        TRACE(1, L"CPowMan -- Finalized.");
    }
    m_bInitialized = false;
    TRACE_LEAVE_VOID();
}

FARPROC CPowMan::GetProc(HMODULE hModule, LPCSTR lpName)
{
    TRACE_FUNCTION();
    FARPROC pProc = (hModule != nullptr) ? GetProcAddress(hModule, lpName) : nullptr;
    if (pProc == nullptr) {
        TRACE(0, L"Error in GetProcAddress(). code:%u", GetLastError());
    }
    return pProc;
}

DWORD CPowMan::VistaFunctionsReady() const
{
    TRACE_FUNCTION();
    if (!m_bInitialized) {
        TRACE(0, L"Not initialized.");
        return ERROR_NOT_READY;
    }
    if (!m_bIsVistaOrLater) {
        TRACE(0, L"Error! This method supports Windows Vista or later.");
        return ERROR_OLD_WIN_VERSION;
    }
    return ERROR_SUCCESS;
}

DWORD CPowMan::RegisterPowerEvent(HPOWERNOTIFY* phNotify, HANDLE hRecipient, LPCGUID pSetting, DWORD dwFlags)
{
    TRACE_ENTER(1);
    if (phNotify == nullptr) {
        return TRACE_NULL_ARGUMENT(phNotify);
    }
    if (pSetting == nullptr) {
        return TRACE_NULL_ARGUMENT(pSetting);
    }
    DWORD dwReady = VistaFunctionsReady();
    if (dwReady != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwReady);
    }
    auto pRegister = ProcAs<RegisterPowerSettingNotificationFunc>(
        GetProc(m_hUser32, "RegisterPowerSettingNotification"));
    if (pRegister == nullptr) {
        return TRACE_LEAVE(ERROR_PROC_NOT_FOUND);
    }
    *phNotify = pRegister(hRecipient, pSetting, dwFlags);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CPowMan::UnregisterPowerEvent(HPOWERNOTIFY hNotify)
{
    TRACE_ENTER(1);
    DWORD dwReady = VistaFunctionsReady();
    if (dwReady != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwReady);
    }
    auto pUnregister = ProcAs<UnregisterPowerSettingNotificationFunc>(
        GetProc(m_hUser32, "UnregisterPowerSettingNotification"));
    if (pUnregister == nullptr) {
        return TRACE_LEAVE(ERROR_PROC_NOT_FOUND);
    }
    if (!pUnregister(hNotify)) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in UnregisterPowerSettingNotification(). code:%u", dwError);
        return TRACE_LEAVE(dwError);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CPowMan::GetActivePowerPlanName(LPWSTR lpName, DWORD cchName, const GUID* pSchemeGuid)
{
    TRACE_ENTER(1);
    if (lpName == nullptr) {
        return TRACE_NULL_ARGUMENT(lpName);
    }
    if (cchName == 0) {
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    DWORD dwReady = VistaFunctionsReady();
    if (dwReady != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwReady);
    }
    auto pGetActive = ProcAs<PowerGetActiveSchemeFunc>(GetProc(m_hPowrProf, "PowerGetActiveScheme"));
    auto pReadName = ProcAs<PowerReadFriendlyNameFunc>(GetProc(m_hPowrProf, "PowerReadFriendlyName"));
    if (pGetActive == nullptr || pReadName == nullptr) {
        return TRACE_LEAVE(ERROR_PROC_NOT_FOUND);
    }

    GUID* pActive = nullptr;
    const GUID* pScheme = pSchemeGuid;
    if (pScheme == nullptr) {
        DWORD dwResult = pGetActive(nullptr, &pActive);
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"Error in PowerGetActiveScheme(). code:%u", dwResult);
            return TRACE_LEAVE(dwResult);
        }
        pScheme = pActive;
    }

    DWORD dwResult = ERROR_SUCCESS;
    DWORD cbName = 0;
    dwResult = pReadName(nullptr, pScheme, nullptr, nullptr, nullptr, &cbName);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in PowerReadFriendlyName(Acquire buf size). code:%u", dwResult);
    } else {
        // One character more than asked for, so that an unterminated answer still ends.
        DWORD cchBuf = cbName / sizeof(WCHAR) + 1;
        LPWSTR lpBuf = static_cast<LPWSTR>(LocalAlloc(LPTR, cchBuf * sizeof(WCHAR)));
        if (lpBuf == nullptr) {
            TRACE(0, L"Failed in allocating memory. (lpName)");
            dwResult = ERROR_NOT_ENOUGH_MEMORY;
        } else {
            DWORD cbRead = cbName;
            dwResult = pReadName(nullptr, pScheme, nullptr, nullptr, reinterpret_cast<PUCHAR>(lpBuf), &cbRead);
            if (dwResult != ERROR_SUCCESS) {
                TRACE(0, L"Error in PowerReadFriendlyName(). code:%u", dwResult);
            } else {
                lpBuf[cchBuf - 1] = L'\0';
                TRACE(1, L"PowerPlanName: %s", lpBuf);
                StringCchCopyNW(lpName, cchName, lpBuf, cbName / sizeof(WCHAR));
            }
            LocalFree(lpBuf);
        }
    }
    if (pActive != nullptr) {
        LocalFree(pActive);
    }
    return TRACE_LEAVE(dwResult);
}
