// The viewer's application object: one viewer on the machine, none while the service
// does not run, the root configuration, then the main dialog until it closes.
#pragma once
#include <windows.h>

#include "Battery.h"
#include "CWinApp.h"
#include "QVRootConfig.h"

class CQuoViewerApp : public CWinApp {
public:
    CQuoViewerApp();
    ~CQuoViewerApp() override;

    // Names of the machine-wide identity of the viewer.
    static const WCHAR kMutexName[];
    static const WCHAR kWindowClass[];
    static const WCHAR kServiceName[];

    DWORD Initialize();
    DWORD Finalize();
    DWORD InitRootConfig();
    DWORD GetRegRootConfig();
    DWORD GetRegCnrCmlConfig();
    // Whether service lpszName runs: 0 with *pbRunning set, else the service manager's
    // error (traced).
    static DWORD GetServiceStatus(LPCWSTR lpszName, BOOL* pbRunning);

protected:
    // The whole life of the viewer; always FALSE.
    BOOL InitInstance() override;

private:
    // Everything InitInstance does between opening and closing the trace log.
    void RunViewer();
    // Shows the running viewer's window; the process then ends.
    static void RestoreRunningViewer();
    // The message box that says the service is not running yet.
    void ShowServiceNotRunning();
    BOOL RegisterWindowClass();
    void ReleaseMutex();
    // Runs the main dialog with the root configuration.
    void RunMainDialog();

    QVRootConfig m_stRootConfig;
    CBattery m_Battery;
    HANDLE m_hMutex;
};
