#include "MainWnd.h"

#include <strsafe.h>

#include "ConsoleSession.h"
#include "PipeCmd.h"
#include "PwrScheme.h"
#include "QuoLevel.h"
#include "StackLock.h"
#include "Trace.h"
#include "WinVer.h"

const WCHAR kAgentWindowClass[] = L"QUOViewerTool_MW_Class";

CMainWnd* CMainWnd::m_pMainWnd = nullptr;

namespace {

const WCHAR kPipeSuffix[] = L"QUOViewer";

}  // namespace

CMainWnd::CMainWnd()
    : m_bInitialized(FALSE), m_PipeCl(), m_hWnd(nullptr), m_bIsWinXP(0), m_bWatchingScheme(false),
      m_szPowPlan(), m_csPowPlan(),
      m_bActiveSession(0)
{
    InitializeCriticalSection(&m_csPowPlan);
    m_bActiveSession = IsActiveSession() ? 1 : 0;
}

CMainWnd::~CMainWnd()
{
    Finalize();
    if (m_pMainWnd == this) {
        m_pMainWnd = nullptr;
    }
    DeleteCriticalSection(&m_csPowPlan);
}

DWORD CMainWnd::RegisterWndClass(HINSTANCE hInstance)
{
    TRACE_ENTER(1);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = kAgentWindowClass;
    if (RegisterClassExW(&wc) == 0) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in RegisterClassEx(). (code:%u)", dwError);
        return TRACE_LEAVE(dwError);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CMainWnd::Initialize(HINSTANCE hInstance)
{
    TRACE_ENTER(1);
    m_pMainWnd = this;
    m_bIsWinXP = CWinVer().IsXPFamily() ? 1 : 0;

    DWORD dwResult = RegisterWndClass(hInstance);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in RegisterWndClass(). (code:%u)", dwResult);
        return TRACE_LEAVE(dwResult);
    }
    m_hWnd = CreateWindowExW(0, kAgentWindowClass, L"", 0, 0, 0, 0, 0, nullptr, nullptr, hInstance, nullptr);
    if (m_hWnd == nullptr) {
        dwResult = GetLastError();
        TRACE(0, L"Error in CreateWindow(). (code:%u)", dwResult);
        return TRACE_LEAVE(dwResult);
    }
    DWORD dwClientId = 0;
    dwResult = m_PipeCl.Initialize(CPipeCl::kModeReceiveAndSend, kPipeSuffix, &dwClientId, OnRcv, this, nullptr);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_PipeCl.Initialize(). code:%u", dwResult);
        DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
        return TRACE_LEAVE(dwResult);
    }
    if (m_bIsWinXP) {
        m_bWatchingScheme = (QuoApiInitializeWatchActiveScheme() != FALSE);
        if (!m_bWatchingScheme) {
            TRACE(0, L"Error in QuoApiInitializeWatchActiveScheme().");
        }
        SendPipe_UpdateQuolevel();
    }
    dwResult = StartTimer();
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in SetTimer(). code:%u", dwResult);
        Finalize();
        DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
        return TRACE_LEAVE(dwResult);
    }
    TRACE(0, L"CMainWnd -- Initialized.");
    m_bInitialized = TRUE;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CMainWnd::StartTimer()
{
    return (SetTimer(m_hWnd, kTimerId, kTimerIntervalMs, nullptr) != 0) ? ERROR_SUCCESS : GetLastError();
}

void CMainWnd::Finalize()
{
    TRACE_ENTER(1);
    if (m_bWatchingScheme) {
        m_bWatchingScheme = false;
        if (!QuoApiFinalizeWatchActiveScheme()) {
            TRACE(0, L"Error in QuoApiFinalizeWatchActiveScheme().");
        }
    }
    m_PipeCl.Finalize(nullptr);
    if (m_bInitialized) {
        TRACE(0, L"CMainWnd -- Finalized.");
    }
    m_bInitialized = FALSE;
    TRACE_LEAVE_VOID();
}

LRESULT CALLBACK CMainWnd::MainWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    TRACE_FUNCTION();
    CMainWnd* pThis = m_pMainWnd;
    if (pThis == nullptr) {
        TRACE(0, L"m_pMainWnd is NULL.");
        TRACE(0, L"Exit - Error!");
        return DefWindowProcW(hWnd, uMsg, wParam, lParam);
    }
    switch (uMsg) {
    case WM_TIMER:
        pThis->OnTimer(wParam);
        return 0;
    case WM_ENDSESSION:
        if (wParam) {
            TRACE(0, L"WM_ENDSESSION. Close.");
            PostMessageW(hWnd, WM_CLOSE, 0, 0);
        }
        return 0;
    case WM_CLOSE:
        KillTimer(hWnd, kTimerId);
        DestroyWindow(hWnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hWnd, uMsg, wParam, lParam);
    }
}

void CMainWnd::OnTimer(UINT_PTR uTimerId)
{
    TRACE_ENTER(2);
    if (uTimerId != kTimerId || !m_bIsWinXP) {
        TRACE_LEAVE_VOID();
        return;
    }
    WCHAR szPlan[kPlanNameChars] = L"";
    CPwrScheme scheme;
    DWORD dwResult = scheme.GetActivePowPlanName(szPlan, ARRAYSIZE(szPlan));
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in PowScheme.GetActivePowPlanName(). (code:%u)", dwResult);
        TRACE_LEAVE_VOID();
        return;
    }
    {
        CStackLock lock(&m_csPowPlan);
        if (lstrcmpW(szPlan, m_szPowPlan) == 0) {
            TRACE_LEAVE_VOID();
            return;
        }
        HRESULT hr = StringCchCopyW(m_szPowPlan, ARRAYSIZE(m_szPowPlan), szPlan);
        if (FAILED(hr)) {
            TRACE(0, L"Error in StringCchCopy(). (code:%ld)", hr);
            TRACE_LEAVE_VOID();
            return;
        }
    }
    if (IsActiveSession()) {
        dwResult = SendPipe_ActivePowPlan(szPlan);
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"Error in SendPipe_ActivePowPlan(). (code:%u)", dwResult);
        }
    }
    TRACE_LEAVE_VOID();
}

bool CMainWnd::IsActiveSession()
{
    BOOL bActive = FALSE;
    return IsInActiveConsoleSession(&bActive) == ERROR_SUCCESS && bActive;
}

void CMainWnd::OnRcv(LPVOID lpMyObj, PipeEvent* pPipeEvent)
{
    TRACE_ENTER(1);
    if (lpMyObj == nullptr) {
        TRACE_NULL_ARGUMENT_VOID(lpMyObj);
        return;
    }
    CMainWnd* pThis = static_cast<CMainWnd*>(lpMyObj);
    if (pPipeEvent == nullptr) {
        TRACE_NULL_ARGUMENT_VOID(pPipeEvent);
        return;
    }
    switch (pPipeEvent->dwEvent) {
    case PIPEEVENT_CONNECTED:
        TRACE(0, L"PIPEEVENT_CONNECTED");
        break;
    case PIPEEVENT_DISCONNECTED:
        TRACE(0, L"PIPEEVENT_DISCONNECTED");
        break;
    case PIPEEVENT_RECEIVED: {
        TRACE(0, L"PIPEEVENT_RECEIVED");
        BYTE buffer[PIPECMD_MAX_SIZE];
        DWORD dwSize = 0;
        DWORD dwCmd = 0;
        if (ReceiveCommand(&pThis->m_PipeCl, pPipeEvent, buffer, &dwSize, &dwCmd) != ERROR_SUCCESS) {
            break;
        }
        switch (dwCmd) {
        case PIPECMD_ACTIVE_POWERPLAN:
            TRACE(0, L"PIPECMD_ACTIVE_POWERPLAN");
            pThis->OnPipeCmdActivePowPlan();
            break;
        case PIPECMD_UPDATE_EXTDSPINFO:
            TRACE(0, L"PIPECMD_UPDATE_EXTDSPINFO");
            pThis->OnPipeCmdUpdateExtDspInfo();
            break;
        case PIPECMD_UPDATE_QUOLEVEL:
            TRACE(0, L"PIPECMD_UPDATE_QUOLEVEL");
            pThis->OnPipeCmdUpdateQuolevel();
            break;
        default:
            TRACE(0, L"Unknown Command.");
            break;
        }
        break;
    }
    default:
        TRACE(0, L"Unknown Event.");
        break;
    }
    TRACE_LEAVE_VOID();
}

void CMainWnd::OnPipeCmdActivePowPlan()
{
    TRACE_ENTER(1);
    if (IsActiveSession()) {
        WCHAR szPlan[kPlanNameChars];
        {
            CStackLock lock(&m_csPowPlan);
            StringCchCopyW(szPlan, ARRAYSIZE(szPlan), m_szPowPlan);
        }
        DWORD dwResult = SendPipe_ActivePowPlan(szPlan);
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"Error in SendPipe_ActivePowPlan(). (code:%u)", dwResult);
        }
    }
    TRACE_LEAVE_VOID();
}

void CMainWnd::OnPipeCmdUpdateExtDspInfo()
{
    TRACE_ENTER(1);
    if (IsActiveSession() && !QuoApiUpdateMonitorInfo()) {
        TRACE(0, L"Error in QuoApiUpdateMonitorInfo().");
    }
    TRACE_LEAVE_VOID();
}

void CMainWnd::OnPipeCmdUpdateQuolevel()
{
    TRACE_ENTER(1);
    if (!m_bIsWinXP) {
        TRACE_LEAVE_VOID();
        return;
    }
    bool bActive = IsActiveSession();
    if (bActive && !m_bActiveSession && !QuoApiUpdateActiveQuoLevel()) {
        TRACE(0, L"Error in QuoApiUpdateActiveQuoLevel().");
    }
    m_bActiveSession = bActive ? 1 : 0;
    TRACE_LEAVE_VOID();
}

DWORD CMainWnd::SendCommand(const void* lpCmd, DWORD cbCmd, LPCWSTR lpszName)
{
    TRACE_ENTER(1);
    DWORD dwRetCode = 0;
    DWORD dwResult = m_PipeCl.Send(lpCmd, cbCmd, &dwRetCode, nullptr);
    if (dwResult == ERROR_SUCCESS) {
        TRACE(0, L"Succeeded in sending pipe data (%s).", lpszName);
    } else {
        TRACE(0, L"Failed in sending pipe data (%s). (code:%u)", lpszName, dwResult);
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CMainWnd::SendPipe_ActivePowPlan(LPCWSTR lpszPowPlan)
{
    TRACE_ENTER(1);
    if (lpszPowPlan == nullptr) {
        return TRACE_NULL_ARGUMENT(lpszPowPlan);
    }
    PipeCmdActivePowPlan cmd = {};
    cmd.dwCmd = PIPECMD_ACTIVE_POWERPLAN;
    StringCchCopyW(cmd.szPowPlan, ARRAYSIZE(cmd.szPowPlan), lpszPowPlan);
    return TRACE_LEAVE(SendCommand(&cmd, sizeof(cmd), L"PIPECMD_ACTIVE_POWERPLAN"));
}

DWORD CMainWnd::SendPipe_UpdateQuolevel()
{
    TRACE_ENTER(1);
    PipeCmd cmd = {PIPECMD_UPDATE_QUOLEVEL};
    return TRACE_LEAVE(SendCommand(&cmd, sizeof(cmd), L"PIPECMD_UPDATE_QUOLEVEL"));
}
