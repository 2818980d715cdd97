#include "CQuoViewerApp.h"

#include <commctrl.h>

#include <memory>
#include <new>

#include "CQVDlgDefault.h"
#include "ResString.h"
#include "Trace.h"
#include "WinVer.h"
#include "resource.h"

const WCHAR CQuoViewerApp::kMutexName[] = L"QUOViewerTool_AP_Mutex";
const WCHAR CQuoViewerApp::kWindowClass[] = L"QUOViewerTool_AP_Class";
const WCHAR CQuoViewerApp::kServiceName[] = L"quomonsv";

namespace {
// The text of the refusal box (string 116 with the product name) has room for this.
const size_t kMessageChars = 512;
}

CQuoViewerApp::CQuoViewerApp() : m_stRootConfig(MakeQVRootConfig()), m_hMutex(nullptr) {}

CQuoViewerApp::~CQuoViewerApp()
{
    ReleaseMutex();
}

BOOL CQuoViewerApp::InitInstance()
{
    g_Log.Initialize(REGKEY_PATH_DBGLOG);
    RunViewer();
    g_Log.Finalize();
    return FALSE;
}

void CQuoViewerApp::RunViewer()
{
    TRACE_ENTER(1);
    m_hMutex = CreateMutexW(nullptr, FALSE, kMutexName);
    DWORD dwError = GetLastError();
    if (m_hMutex == nullptr && dwError != ERROR_ACCESS_DENIED) {
        TRACE(0, L"Fail to CreateMutex. dwRet: %08x.", dwError);
        TRACE_LEAVE_VOID();
        return;
    }
    if (dwError == ERROR_ALREADY_EXISTS || dwError == ERROR_ACCESS_DENIED) {
        RestoreRunningViewer();
        ReleaseMutex();
        TRACE(0, L"Already running.");
        TRACE_LEAVE_VOID();
        return;
    }

    BOOL bRunning = FALSE;
    DWORD dwResult = GetServiceStatus(kServiceName, &bRunning);
    if (dwResult != 0 || !bRunning) {
        TRACE(0, L"Fail to GetServiceStatus(). dwRet: %08x.", dwResult);
        ShowServiceNotRunning();
        ReleaseMutex();
        TRACE_LEAVE_VOID();
        return;
    }
    if (!RegisterWindowClass()) {
        ReleaseMutex();
        TRACE_LEAVE_VOID();
        return;
    }
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);

    dwResult = Initialize();
    if (dwResult != 0) {
        TRACE(0, L"Fail to Initialize(). dwRet: %08x.", dwResult);
        ReleaseMutex();
        TRACE_LEAVE_VOID();
        return;
    }
    dwResult = InitRootConfig();
    if (dwResult != 0) {
        TRACE(0, L"Fail to InitRootConfig(). dwRet: %08x.", dwResult);
    }
    RunMainDialog();
    Finalize();
    ReleaseMutex();
    TRACE_LEAVE_VOID();
}

void CQuoViewerApp::RunMainDialog()
{
    TRACE_ENTER(1);
    std::unique_ptr<CQVDlgDefault> pDialog(new (std::nothrow) CQVDlgDefault());
    if (!pDialog) {
        TRACE(0, L"Exit - Error! retval:%08x", ERROR_NOT_ENOUGH_MEMORY);
        TRACE_LEAVE_ERROR();
        return;
    }
    pDialog->SetQVRootConfig(&m_stRootConfig);
    INT_PTR nResult = pDialog->DoModal();
    if (nResult == -1) {
        TRACE(0, L"Fail to DoModal(). code:%u", GetLastError());
    }
    TRACE_LEAVE_VOID();
}

void CQuoViewerApp::RestoreRunningViewer()
{
    HWND hWnd = FindWindowW(kWindowClass, nullptr);
    if (hWnd != nullptr) {
        ShowWindow(hWnd, SW_SHOWNORMAL);
        SetForegroundWindow(hWnd);
    }
}

void CQuoViewerApp::ShowServiceNotRunning()
{
    TRACE_ENTER(1);
    DWORD dwResult = GetRegCnrCmlConfig();
    if (dwResult != 0) {
        TRACE(0, L"Fail to GetRegCnrCmlConfig(). dwRet: %08x.", dwResult);
    }
    std::wstring title = LoadResString(ProductNameStringId(m_stRootConfig.cnrType));
    std::wstring text = FormatString(kMessageChars, LoadResString(IDS_SERVICE_NOT_RUNNING).c_str(), title.c_str());
    MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_OK);
    TRACE_LEAVE_VOID();
}

BOOL CQuoViewerApp::RegisterWindowClass()
{
    WNDCLASSW wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = DefDlgProcW;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.hInstance = GetInstanceHandle();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kWindowClass;
    return RegisterClassW(&wc) != 0;
}

void CQuoViewerApp::ReleaseMutex()
{
    if (m_hMutex != nullptr) {
        ::ReleaseMutex(m_hMutex);
        CloseHandle(m_hMutex);
        m_hMutex = nullptr;
    }
}

DWORD CQuoViewerApp::Initialize()
{
    return m_Battery.Initialize();
}

DWORD CQuoViewerApp::Finalize()
{
    m_Battery.Finalize();
    return 0;
}

DWORD CQuoViewerApp::GetRegRootConfig()
{
    return ReadRegRootConfig(REGKEY_PATH_QUOVIEWER, &m_stRootConfig);
}

DWORD CQuoViewerApp::GetRegCnrCmlConfig()
{
    return ReadRegCnrType(REGKEY_PATH_QUOVIEWER, &m_stRootConfig);
}

DWORD CQuoViewerApp::InitRootConfig()
{
    TRACE_ENTER(1);
    DWORD dwResult = GetRegRootConfig();
    if (dwResult != 0) {
        TRACE(0, L"Fail to GetRegRootConfig(). dwRet: %08x.", dwResult);
    }
    CWinVer winVer;
    m_stRootConfig.dwOSVersion = DetectOSVersion(&winVer);
    BOOL bBatteries = FALSE;
    m_Battery.HaveBatteries(&bBatteries);
    m_stRootConfig.dwPCType = bBatteries ? QV_PC_WITH_BATTERY : QV_PC_WITHOUT_BATTERY;
    TRACE(1, bBatteries ? L"PC Type:WithBatteryPC" : L"PC Type:WithoutBatteryPC");
    return TRACE_LEAVE(dwResult);
}

DWORD CQuoViewerApp::GetServiceStatus(LPCWSTR lpszName, BOOL* pbRunning)
{
    TRACE_ENTER(1);
    if (lpszName == nullptr) {
        return TRACE_NULL_ARGUMENT(lpszName);
    }
    if (pbRunning == nullptr) {
        return TRACE_NULL_ARGUMENT(pbRunning);
    }
    SC_HANDLE hManager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (hManager == nullptr) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Fail to OpenSCManager(). dwRet: %08x.", dwError);
        return TRACE_LEAVE(dwError);
    }
    SC_HANDLE hService = OpenServiceW(hManager, lpszName, SERVICE_QUERY_STATUS);
    if (hService == nullptr) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Fail to OpenService(). dwRet: %08x.", dwError);
        CloseServiceHandle(hManager);
        return TRACE_LEAVE(dwError);
    }
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(hService, &status)) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Fail to QueryServiceStatus(). dwRet: %08x.", dwError);
        CloseServiceHandle(hService);
        CloseServiceHandle(hManager);
        return TRACE_LEAVE(dwError);
    }
    *pbRunning = (status.dwCurrentState == SERVICE_RUNNING) ? TRUE : FALSE;
    TRACE(1, *pbRunning ? L"Service is running!" : L"Service is not running.");
    CloseServiceHandle(hService);
    CloseServiceHandle(hManager);
    return TRACE_LEAVE(0);
}
