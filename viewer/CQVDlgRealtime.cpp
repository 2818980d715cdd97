#include "CQVDlgRealtime.h"

#include <new>

#include "CQVChildDlgRealtime.h"
#include "PipeCmd.h"
#include "Trace.h"
#include "resource.h"

CQVDlgRealtime::CQVDlgRealtime(UINT nIDTemplate) : CQVBaseDlg(nIDTemplate), m_pChildDlgRealtime(nullptr) {}

CQVDlgRealtime::~CQVDlgRealtime()
{
    DestroyRealtimeChildDlg();
}

DWORD CQVDlgRealtime::Initialize()
{
    return InitializeRealtimeDialog();
}

DWORD CQVDlgRealtime::InitializeRealtimeDialog()
{
    TRACE_ENTER(1);
    g_Log.Initialize(REGKEY_PATH_DBGLOG);
    HWND hWndParent = GetDlgItem(IDC_REALTIME_ANALYZE);
    if (hWndParent == nullptr) {
        TRACE(0, L"Fail to GetDlgItem(IDC_REALTIME_ANALYZE).");
        TRACE_RETURN(ERROR_INSUFFICIENT_BUFFER);
    }
    DWORD dwResult = CreateRealtimeChildDialog(hWndParent);
    if (dwResult != 0) {
        TRACE_RETURN(dwResult);
    }
    if (m_stRootConfig.dwLoggingState == 0) {
        ClearRealtimeData();
    }
    TRACE_RETURN(0);
}

DWORD CQVDlgRealtime::CreateRealtimeChildDialog(HWND hWndParent)
{
    TRACE_ENTER(1);
    m_pChildDlgRealtime = new (std::nothrow) CQVChildDlgRealtime();
    if (m_pChildDlgRealtime == nullptr) {
        TRACE(0, L"m_pChildDlgRealtime is NULL.");
        EndDialog(IDCANCEL);
        TRACE_RETURN(ERROR_NOT_ENOUGH_MEMORY);
    }
    m_pChildDlgRealtime->SetQVRootConfig(&m_stRootConfig);
    TRACE_RETURN(AddChildDialog(m_pChildDlgRealtime, hWndParent));
}

DWORD CQVDlgRealtime::DestroyRealtimeChildDlg()
{
    TRACE_ENTER(1);
    DWORD dwResult = 0;
    if (!DestroyOwnedPane(m_pChildDlgRealtime)) {
        TRACE(0, L"Fail to destroy realtime window.");
        dwResult = ERROR_INVALID_WINDOW_HANDLE;
    }
    TRACE_RETURN(dwResult);
}

DWORD CQVDlgRealtime::ClearRealtimeData()
{
    QVPipeCmdNotifySysInfo zero = {};
    return SetRealtimeData(&zero);
}

DWORD CQVDlgRealtime::SetRealtimeData(const void* pData)
{
    TRACE_ENTER(1);
    TRACE_CHECK_NULL(pData);
    if (m_pChildDlgRealtime == nullptr) {
        TRACE(0, L"%s is NULL.", L"m_pChildDlgRealtime");
        TRACE_RETURN(ERROR_INSUFFICIENT_BUFFER);
    }
    QVPipeCmdNotifySysInfo info = {};
    if (m_stRootConfig.dwLoggingState != 0) {
        CopyMemory(&info, pData, sizeof(info));
    }
    TRACE_RETURN(ApplyRealtimeData(&info));
}

DWORD CQVDlgRealtime::ApplyRealtimeData(const void* pData)
{
    return m_pChildDlgRealtime->Apply(pData);
}

DWORD CQVDlgRealtime::SetLoggingState(DWORD dwState)
{
    TRACE_ENTER(1);
    if (dwState != 0 && dwState != 1) {
        TRACE_RETURN(ERROR_INVALID_PARAMETER);
    }
    m_stRootConfig.dwLoggingState = dwState;
    TRACE_RETURN(ClearRealtimeData());
}

DWORD CQVDlgRealtime::Finalize()
{
    TRACE_ENTER(1);
    ClosePipeConnection();
    TRACE_RETURN(DestroyRealtimeChildDlg());
}
