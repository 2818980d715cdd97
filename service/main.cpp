// quomonsv.exe: installs, removes, starts and stops itself with its command-line
// switches, and runs as the monitoring service when the service manager starts it.
#include <windows.h>

#include "Log.h"
#include "Reg.h"
#include "ServiceCtrl.h"
#include "ServiceWait.h"
#include "Trace.h"
#include "resource.h"

namespace {

const WCHAR kDbgLogKey[] = L"Software\\ZAV\\QUOViewer\\DbgLog";
const WCHAR kServiceName[] = L"quomonsv";
const WCHAR kDependedService[] = L"winmgmt";
// "winmgmt" and the empty string that ends the list.
const WCHAR kDependencies[] = L"winmgmt\0\0";
const WCHAR REGENTRY_SVWAITTIME[] = L"ServiceWaitTime";
const DWORD kDefaultServiceWaitTime = 60000;

DWORD ReadServiceWaitTime()
{
    TRACE_FUNCTION();
    DWORD dwSvWaitLimit = kDefaultServiceWaitTime;
    CReg reg;
    DWORD dwResult = reg.OpenKey(REGKEY_PATH_QUOVIEWER, KEY_READ);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in OpenKey(). code:%u", dwResult);
    } else if ((dwResult = reg.QueryDWORDValue(REGENTRY_SVWAITTIME, &dwSvWaitLimit)) != ERROR_SUCCESS) {
        TRACE(0, L"Error in QueryDWORDValue(REGENTRY_SVWAITTIME). code:%u", dwResult);
    }
    TRACE(0, L"dwSvWaitLimit:%u", dwSvWaitLimit);
    return dwSvWaitLimit;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    TRACE_FUNCTION();
    CServiceCtrl svc;
    WCHAR szDisplayName[CService::kNameChars] = L"";
    WCHAR szDescription[CService::kDescriptionChars] = L"";

    g_Log.Initialize(kDbgLogKey);
    TRACE(0, L"========== WELCOME (quomonsv) ==========");
    // Traced under the entry's own name, as its welcome is.
    auto sayGoodbye = [] {
        TRACE_FUNCTION();
        TRACE(0, L"========== GOODBYE (quomonsv) ==========");
        g_Log.Finalize();
    };

    HINSTANCE hInstance = GetModuleHandleW(nullptr);
    LoadStringW(hInstance, IDS_SERVICE_DISPLAYNAME, szDisplayName, ARRAYSIZE(szDisplayName));
    LoadStringW(hInstance, IDS_SERVICE_DESCRIPTION, szDescription, ARRAYSIZE(szDescription));
    svc.Initialize(kServiceName, szDisplayName, szDescription, reinterpret_cast<const BYTE*>(kDependencies),
                   sizeof(kDependencies));

    DWORD dwRet = ERROR_SUCCESS;
    if (svc.ArgCheck(argc, argv, &dwRet)) {
        TRACE(0, L"Svc.ArgCheck(%s). (retcode: %u)", (argc > 1) ? argv[1] : L"", dwRet);
        svc.Finalize();
        sayGoodbye();
        return static_cast<int>(dwRet);
    }

    DWORD dwSvWaitLimit = ReadServiceWaitTime();
    DWORD dwResult = WaitForService(kDependedService, dwSvWaitLimit);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in WaitForService(%s). code:%u", kDependedService, dwResult);
        svc.Finalize();
        sayGoodbye();
        return static_cast<int>(dwResult);
    }

    DWORD dwExitCode = svc.InitializeEx();
    if (dwExitCode == ERROR_SUCCESS) {
        dwExitCode = svc.ServiceEntry();
    }
    svc.FinalizeEx();
    svc.Finalize();
    sayGoodbye();
    return static_cast<int>(dwExitCode);
}
