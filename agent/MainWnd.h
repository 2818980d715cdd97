// The session agent's hidden window: it holds the connection to the service, polls the
// session's power scheme on Windows XP, and carries the service's display and level
// requests into the session through the level library.
#pragma once

#include <windows.h>

#include "PipeCl.h"
#include "PipeRecv.h"

class CMainWnd {
public:
    static const UINT_PTR kTimerId = 1;
    static const UINT kTimerIntervalMs = 1000;
    static const size_t kPlanNameChars = 129;

    CMainWnd();
    virtual ~CMainWnd();

    CMainWnd(const CMainWnd&) = delete;
    CMainWnd& operator=(const CMainWnd&) = delete;

    // Creates the window, registers with the service and starts the timer.
    DWORD Initialize(HINSTANCE hInstance);
    void Finalize();

    HWND GetWindow() const { return m_hWnd; }

protected:
    // Starts the window's timer: 0 or the system error.
    virtual DWORD StartTimer();

private:
    static LRESULT CALLBACK MainWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    static void OnRcv(LPVOID lpMyObj, PipeEvent* pPipeEvent);

    DWORD RegisterWndClass(HINSTANCE hInstance);
    void OnTimer(UINT_PTR uTimerId);
    // Whether the agent's session is the active console session (false when unknown).
    bool IsActiveSession();
    void OnPipeCmdActivePowPlan();
    void OnPipeCmdUpdateExtDspInfo();
    void OnPipeCmdUpdateQuolevel();
    DWORD SendPipe_ActivePowPlan(LPCWSTR lpszPowPlan);
    DWORD SendPipe_UpdateQuolevel();
    DWORD SendCommand(const void* lpCmd, DWORD cbCmd, LPCWSTR lpszName);

    static CMainWnd* m_pMainWnd;

    BOOL m_bInitialized;
    CPipeCl m_PipeCl;
    HWND m_hWnd;
    BYTE m_bIsWinXP;
    // The level library watches the scheme for this agent: its finalize is owed.
    bool m_bWatchingScheme;
    // Written by the window's thread, read by the pipe's receive thread.
    WCHAR m_szPowPlan[kPlanNameChars];
    CRITICAL_SECTION m_csPowPlan;
    BYTE m_bActiveSession;
};

extern const WCHAR kAgentWindowClass[];
