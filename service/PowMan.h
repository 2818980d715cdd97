// Power-setting notifications and the active power plan's name, through the power
// functions of Windows Vista and later, loaded at run time so that the service still
// starts on Windows XP.
#pragma once

#include <windows.h>

class CPowMan {
public:
    CPowMan();
    ~CPowMan();

    CPowMan(const CPowMan&) = delete;
    CPowMan& operator=(const CPowMan&) = delete;

    // Loads User32.dll and PowrProf.dll.
    DWORD Initialize();
    void Finalize();

    // RegisterPowerSettingNotification; 1150 before Windows Vista. 0 also when the
    // system answered no handle.
    DWORD RegisterPowerEvent(HPOWERNOTIFY* phNotify, HANDLE hRecipient, LPCGUID pSetting, DWORD dwFlags);
    DWORD UnregisterPowerEvent(HPOWERNOTIFY hNotify);

    // The friendly name of pSchemeGuid (null: the active scheme) into lpName of cchName
    // characters, cut to fit and terminated. 1150 before Windows Vista.
    DWORD GetActivePowerPlanName(LPWSTR lpName, DWORD cchName, const GUID* pSchemeGuid);

private:
    FARPROC GetProc(HMODULE hModule, LPCSTR lpName);
    // 0 when the Vista power functions may be called: 21 before Initialize, 1150 before
    // Windows Vista.
    DWORD VistaFunctionsReady() const;

    bool m_bInitialized;
    HMODULE m_hUser32;
    HMODULE m_hPowrProf;
    bool m_bIsVistaOrLater;
};
