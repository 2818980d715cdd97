// The Windows service framework: registration with the service control manager, the
// service main function, the control handler that turns controls into virtual calls,
// status reporting and the terminate event on which the main loop waits. One service
// object per process; the monitoring logic lives in a derived class.
#pragma once

#include <windows.h>

#include "ScopedHandle.h"

class CService {
public:
    static const size_t kNameChars = 256;
    static const size_t kDescriptionChars = 1024;
    static const size_t kDependencyBytes = 2048;
    // Start() and Stop() give up waiting for the service after this long.
    static const DWORD kControlWaitLimit = 120000;

    CService();
    virtual ~CService();

    CService(const CService&) = delete;
    CService& operator=(const CService&) = delete;

    // Names and dependency list (wide strings, each terminated, ended by an empty one)
    // of the service; 87 for a null string.
    DWORD Initialize(LPCWSTR lpszServiceName, LPCWSTR lpszDisplayName, LPCWSTR lpszDescription,
                     const BYTE* lpDependencies, DWORD cbDependencies);
    void Finalize();

    // Handles the command-line switches. TRUE when a switch was handled or the
    // arguments were bad (*lpdwRet is then the process's exit code); FALSE when the
    // process was started by the service control manager.
    BOOL ArgCheck(int nArgc, LPWSTR* lpszArgv, LPDWORD lpdwRet);

    // Service control manager operations; Win32 error codes.
    DWORD Register(LPCWSTR lpszPath, BOOL bDelayedStart);
    DWORD Unregister();
    DWORD Start();
    DWORD Stop();

    // Runs the service dispatcher until the service has stopped. 183 when another
    // instance holds the single-instance mutex.
    DWORD ServiceEntry();

    DWORD SetServiceStatus(DWORD dwCurrentState, DWORD dwWin32ExitCode, DWORD dwWaitHint);
    static HANDLE GetTerminateEvent() { return m_hTerminateEvent; }
    static void TerminateMainLoop();

    static void WINAPI ServiceMain(DWORD dwArgc, LPWSTR* lpszArgv);
    static DWORD WINAPI ServiceHandler(DWORD dwControl, DWORD dwEventType, LPVOID lpEventData, LPVOID lpContext);

protected:
    virtual DWORD OnStop();
    virtual DWORD OnPause();
    virtual DWORD OnContinue();
    virtual DWORD OnInterrogate();
    virtual DWORD OnShutdown();
    virtual DWORD OnParamChange();
    virtual DWORD OnNetbindAdd();
    virtual DWORD OnNetbindRemove();
    virtual DWORD OnNetbindEnable();
    virtual DWORD OnNetbindDisable();
    virtual DWORD OnDeviceEvent(DWORD dwEventType, LPVOID lpEventData);
    virtual DWORD OnHardwareProfileChange(DWORD dwEventType, LPVOID lpEventData);
    virtual DWORD OnPowerEvent(DWORD dwEventType, LPVOID lpEventData);
    virtual DWORD OnSessionChange(DWORD dwEventType, LPVOID lpEventData);
    virtual DWORD OnUnknownEvent(DWORD dwControl, DWORD dwEventType);
    virtual DWORD OnPreShutdown();
    virtual DWORD OnTimeChange();
    virtual DWORD OnTriggerEvent();
    virtual void MainLoop(DWORD dwArgc, LPWSTR* lpszArgv);
    virtual DWORD BeforeMainLoop(SERVICE_STATUS_HANDLE hServiceStatus);
    virtual void AfterMainLoop(SERVICE_STATUS_HANDLE hServiceStatus);

    static WCHAR m_szServiceName[kNameChars];
    static CService* m_lpObj;
    static SERVICE_STATUS m_ServiceStatus;
    static SERVICE_STATUS_HANDLE m_hServiceStatus;
    static HANDLE m_hTerminateEvent;

private:
    // Opens the service manager and this service with full access.
    DWORD OpenOwnService(CScopedScHandle* pScm, CScopedScHandle* pService);
    // Waits until the service reports dwWanted or stops; see Start() and Stop().
    DWORD WaitForState(SC_HANDLE hService, DWORD dwWanted);

    WCHAR m_szDisplayName[kNameChars];
    WCHAR m_szDescription[kDescriptionChars];
    BYTE m_byDependencies[kDependencyBytes];
    BOOL m_bInitialized;
};
