#include "CQVBaseDlg.h"

#include <new>
#include <string>

#include <strsafe.h>

#include "CQVBaseChildDlg.h"
#include "CWinApp.h"
#include "PipeCmd.h"
#include "QVPipeRecord.h"
#include "ResString.h"
#include "Trace.h"
#include "resource.h"

namespace {

const WCHAR kPipeSuffix[] = L"QUOViewer";

}  // namespace

CQVBaseDlg::CQVBaseDlg(UINT nIDTemplate)
    : CDialog(nIDTemplate),
      m_stRootConfig(MakeQVRootConfig()),
      m_hIcon(nullptr),
      m_hIconSmall(nullptr),
      m_hWndRecords(nullptr)
{
}

CQVBaseDlg::~CQVBaseDlg()
{
    ClosePipeConnection();
    if (m_hIcon != nullptr) {
        DestroyIcon(m_hIcon);
    }
    if (m_hIconSmall != nullptr) {
        DestroyIcon(m_hIconSmall);
    }
}

DWORD CQVBaseDlg::SetQVRootConfig(const QVRootConfig* pConfig)
{
    TRACE_ENTER(1);
    if (pConfig == nullptr) {
        return TRACE_NULL_ARGUMENT(pConfig);
    }
    m_stRootConfig = *pConfig;
    return TRACE_LEAVE(0);
}

BOOL CQVBaseDlg::OnInitDialog()
{
    HINSTANCE hInstance = CWinApp::GetInstanceHandle();
    m_hIcon = static_cast<HICON>(LoadImageW(hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                            GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    m_hIconSmall = static_cast<HICON>(LoadImageW(hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIconSmall));
    return TRUE;
}

DWORD CQVBaseDlg::CreatePipeConnection(LPPIPE_EVENT_FUNC pFunc)
{
    TRACE_ENTER(1);
    if (pFunc == nullptr) {
        return TRACE_NULL_ARGUMENT(pFunc);
    }
    m_hWndRecords = m_hWnd;
    DWORD dwClientId = 0;
    DWORD dwResult = m_PipeCl.Initialize(CPipeCl::kModeReceiveAndSend, kPipeSuffix, &dwClientId, pFunc, this, nullptr);
    if (dwResult != 0) {
        TRACE(0, L"Fail to initialize pipe client. dwRet: %08x.", dwResult);
    }
    return TRACE_LEAVE(dwResult);
}

void CQVBaseDlg::ClosePipeConnection()
{
    m_PipeCl.Finalize(nullptr);
    m_hWndRecords = nullptr;
    // The receive thread has ended: free what it posted and nobody took.
    HWND hWnd = m_hWnd;
    if (hWnd == nullptr) {
        return;
    }
    MSG msg = {};
    while (PeekMessageW(&msg, hWnd, WM_QV_PIPE_RECORD, WM_QV_PIPE_RECORD, PM_REMOVE)) {
        delete[] reinterpret_cast<BYTE*>(msg.lParam);
    }
}

void CQVBaseDlg::OnRecv(LPVOID lpData, PipeEvent* pPipeEvent)
{
    TRACE_ENTER(1);
    if (lpData == nullptr) {
        TRACE_NULL_ARGUMENT_VOID(lpData);
        return;
    }
    if (pPipeEvent == nullptr) {
        TRACE_NULL_ARGUMENT_VOID(pPipeEvent);
        return;
    }
    CQVBaseDlg* pThis = static_cast<CQVBaseDlg*>(lpData);
    DWORD dwDataSize = pPipeEvent->dwDataSize;
    if (!IsAcceptedRecordSize(dwDataSize)) {
        TRACE(0, L"Recieved data is invalid data size. dwDataSize: %lu.", dwDataSize);
        TRACE_LEAVE_ERROR();
        return;
    }
    if (pPipeEvent->dwEvent != PIPEEVENT_RECEIVED) {
        TRACE_LEAVE_VOID();
        return;
    }
    BYTE* lpRecord = new (std::nothrow) BYTE[dwDataSize];
    if (lpRecord == nullptr) {
        TRACE(0, L"Exit - Error! retval:%08x", ERROR_NOT_ENOUGH_MEMORY);
        return;
    }
    if (pThis->m_PipeCl.GetReceivedData(lpRecord, dwDataSize) != dwDataSize) {
        delete[] lpRecord;
        TRACE(0, L"Fail to GetReceivedData().");
        TRACE_LEAVE_ERROR();
        return;
    }
    HWND hWnd = pThis->m_hWndRecords;
    if (hWnd == nullptr ||
        !PostMessageW(hWnd, WM_QV_PIPE_RECORD, dwDataSize, reinterpret_cast<LPARAM>(lpRecord))) {
        delete[] lpRecord;
    }
    TRACE_LEAVE_VOID();
}

void CQVBaseDlg::OnPipeRecord(const BYTE* /*lpRecord*/, DWORD /*cbRecord*/) {}

DWORD CQVBaseDlg::SendPipeSwitchLoggingState(DWORD dwState)
{
    TRACE_ENTER(1);
    if (dwState != 0 && dwState != 1) {
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    PipeCmdSwitchFunction cmd = {PIPECMD_SWITCH_FUNCTION, dwState};
    DWORD dwRetCode = 0;
    DWORD dwResult = m_PipeCl.Send(&cmd, sizeof(cmd), &dwRetCode, nullptr);
    if (dwResult == 0) {
        m_stRootConfig.dwLoggingState = dwState;
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CQVBaseDlg::AddChildDialog(CQVBaseChildDlg* pDialog, HWND hWndParent)
{
    TRACE_ENTER(1);
    if (pDialog == nullptr) {
        return TRACE_NULL_ARGUMENT(pDialog);
    }
    DWORD dwResult = pDialog->Create(hWndParent);
    if (dwResult != 0 || pDialog->GetSafeHwnd() == nullptr) {
        DWORD dwError = (dwResult != 0) ? dwResult : GetLastError();
        TRACE(0, L"Fail to allocate child dialog. dwRet: %08x.", dwError);
        return TRACE_LEAVE((dwError != 0) ? dwError : ERROR_CANNOT_MAKE);
    }
    RECT rc = {};
    GetClientRect(hWndParent, &rc);
    SetWindowPos(pDialog->GetSafeHwnd(), nullptr, 0, 0, rc.right, rc.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(pDialog->GetSafeHwnd(), SW_SHOW);
    return TRACE_LEAVE(0);
}

DWORD CQVBaseDlg::ShowHelp()
{
    TRACE_ENTER(1);
    WCHAR szPath[MAX_PATH] = {};
    DWORD cch = GetModuleFileNameW(nullptr, szPath, ARRAYSIZE(szPath));
    if (cch == 0 || cch >= ARRAYSIZE(szPath)) {
        return TRACE_LEAVE(ERROR_FILE_NOT_FOUND);
    }
    LPWSTR lpSlash = wcsrchr(szPath, L'\\');
    if (lpSlash != nullptr) {
        lpSlash[1] = L'\0';
    }
    if (FAILED(StringCchCatW(szPath, ARRAYSIZE(szPath), LoadResString(IDS_HELP_FILE).c_str()))) {
        TRACE(0, L"Help file path too long.");
        return TRACE_LEAVE(0);
    }
    HWND hWndHelp = m_HtmlHelp.DisplayTopic(GetDesktopWindow(), szPath);
    if (hWndHelp != nullptr) {
        ShowWindow(hWndHelp, SW_SHOWNORMAL);
    } else {
        TRACE(1, L"No help window: %s", szPath);
    }
    return TRACE_LEAVE(0);
}

INT_PTR CQVBaseDlg::DialogProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_HELP:
        if (ShowHelp() != 0) {
            TRACE_FUNCTION();
            TRACE(0, L"Fail to ShowHelp");
        }
        SetMsgResult(1);
        return TRUE;
    case WM_QV_PIPE_RECORD: {
        BYTE* lpRecord = reinterpret_cast<BYTE*>(lParam);
        OnPipeRecord(lpRecord, static_cast<DWORD>(wParam));
        delete[] lpRecord;
        return TRUE;
    }
    default:
        return CDialog::DialogProc(uMsg, wParam, lParam);
    }
}
