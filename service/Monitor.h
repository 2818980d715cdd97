// The display's power state on Windows XP, read from the device \\.\LCD.
#pragma once

#include <windows.h>

class CMonitor {
public:
    CMonitor();
    ~CMonitor();

    CMonitor(const CMonitor&) = delete;
    CMonitor& operator=(const CMonitor&) = delete;

    // Opens \\.\LCD for the object's life.
    DWORD Initialize();
    void Finalize();

    // TRUE in *lpbOn when the display is powered.
    DWORD GetPowerStatus(LPBOOL lpbOn);

private:
    bool m_bInitialized;
    HANDLE m_hLCD;
};
