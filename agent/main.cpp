// quoviewerd.exe: the session agent. One runs in every user session; it waits for the
// monitoring service, registers with it and works for it inside the session.
#include <windows.h>

#include "Log.h"
#include "MainWnd.h"
#include "ServiceWait.h"
#include "Trace.h"

namespace {

const WCHAR kDbgLogKey[] = L"Software\\ZAV\\QUOViewer\\DbgLog";
// A session-local name: one agent per session.
const WCHAR kMutexName[] = L"QUOViewerTool_MW_Mutex";
const WCHAR kServiceName[] = L"quomonsv";

}  // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int)
{
    TRACE_FUNCTION();
    g_Log.Initialize(kDbgLogKey);
    TRACE(0, L"========== WELCOME (quoviewerd) ==========");

    HANDLE hMutex = CreateMutexW(nullptr, FALSE, kMutexName);
    if (hMutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(hMutex);
        TRACE(0, L"Already exists.");
        TRACE(0, L"========== GOODBYE (quoviewerd) ERROR_ALREADY_EXISTS ==========");
        g_Log.Finalize();
        return 0;
    }

    DWORD dwResult = WaitForService(kServiceName, 0 /* without limit */);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in WaitForService(%s). code:%u", kServiceName, dwResult);
        TRACE(0, L"========== GOODBYE (quoviewerd) WaitForService() Failed ==========");
        if (hMutex != nullptr) {
            CloseHandle(hMutex);
        }
        g_Log.Finalize();
        return 0;
    }

    int nExitCode = 0;
    {
        CMainWnd mainWnd;
        dwResult = mainWnd.Initialize(hInstance);
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"Error in MainWnd.Initialize(). (code:%u)", dwResult);
            if (hMutex != nullptr) {
                CloseHandle(hMutex);
            }
            TRACE(0, L"========== GOODBYE (quoviewerd) Initialize() Failed ==========");
            g_Log.Finalize();
            return 0;
        }
        MSG msg;
        BOOL bRet;
        while ((bRet = GetMessageW(&msg, nullptr, 0, 0)) != 0 && bRet != -1) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (bRet == 0) {
            nExitCode = static_cast<int>(msg.wParam);
        }
        mainWnd.Finalize();
    }
    if (hMutex != nullptr) {
        CloseHandle(hMutex);
    }
    TRACE(0, L"========== GOODBYE (quoviewerd) ==========");
    g_Log.Finalize();
    return nExitCode;
}
