// Shows the shared foundation at work on this machine: switches tracing on in the
// registry, then traces from the main thread and a worker thread, takes the trace mutex,
// and reports the Windows version relations and where the trace file is.
#include <windows.h>

#include <cstdio>

#include "Log.h"
#include "Reg.h"
#include "Thread.h"
#include "Trace.h"
#include "WinVer.h"

namespace {

const WCHAR kDbgLogKey[] = L"Software\\ZAV\\QUOViewer\\DbgLog";
const UINT WM_DEMO_WORK = WM_APP + 1;

struct CDemoWorker {
    CThread thread;
    LONG lHandled = 0;
};

DWORD DemoWorker(LPVOID lpData)
{
    TRACE_ENTER(1);
    CDemoWorker* pWorker = static_cast<CDemoWorker*>(lpData);
    HANDLE hTerminate = pWorker->thread.GetTerminateEvent();
    for (;;) {
        DWORD dwWait = MsgWaitForMultipleObjects(1, &hTerminate, FALSE, INFINITE, QS_ALLPOSTMESSAGE);
        if (dwWait != WAIT_OBJECT_0 + 1) {
            break;
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_DEMO_WORK) {
                TRACE(0, L"Work item %u handled.", static_cast<UINT>(msg.wParam));
                ++pWorker->lHandled;
            }
        }
    }
    TRACE_RETURN(ERROR_SUCCESS);
}

DWORD EnableTracing()
{
    CReg reg;
    DWORD dwResult = reg.CreateKey(kDbgLogKey, KEY_ALL_ACCESS);
    if (dwResult != ERROR_SUCCESS) {
        return dwResult;
    }
    const WCHAR szFileName[] = L"quoviewer-demo.log";
    if ((dwResult = reg.SetStringValue(L"filename", szFileName, ARRAYSIZE(szFileName))) != ERROR_SUCCESS
        || (dwResult = reg.SetDWORDValue(L"logform", TRACE_FORM_LONG)) != ERROR_SUCCESS
        || (dwResult = reg.SetDWORDValue(L"loglevel", 2)) != ERROR_SUCCESS) {
        return dwResult;
    }
    return ERROR_SUCCESS;
}

}  // namespace

int wmain()
{
    TRACE_FUNCTION();
    DWORD dwResult = EnableTracing();
    if (dwResult != ERROR_SUCCESS) {
        fwprintf(stderr, L"cannot write HKLM\\%ls (error %lu)\n", kDbgLogKey, dwResult);
        return 1;
    }
    g_Log.Initialize(kDbgLogKey);
    TRACE(0, L"========== WELCOME (foundation_demo) ==========");

    CWinVer winver;
    wprintf(L"Windows relations: XP %lu, Vista %lu, 7 %lu (1 equal, 2 newer, 4 older)\n", winver.IsWinXP(),
            winver.IsWinVS(), winver.IsWin7());

    CDemoWorker worker;
    dwResult = worker.thread.Initialize(DemoWorker, &worker);
    if (dwResult != ERROR_SUCCESS) {
        fwprintf(stderr, L"worker thread did not start (error %lu)\n", dwResult);
        return 1;
    }
    for (UINT i = 1; i <= 3; ++i) {
        worker.thread.PostMsg(WM_DEMO_WORK, i, 0);
    }
    for (int n = 0; n < 200 && worker.lHandled < 3; ++n) {
        Sleep(10);
    }
    worker.thread.Finalize();
    wprintf(L"Worker thread handled %ld work items.\n", worker.lHandled);

    WCHAR szPath[MAX_PATH];
    if (g_Log.GetFilePath(szPath, ARRAYSIZE(szPath)) == ERROR_SUCCESS) {
        wprintf(L"Trace file: %ls\n", szPath);
    }
    TRACE(0, L"========== GOODBYE (foundation_demo) ==========");
    g_Log.Finalize();
    return 0;
}
