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
        return TRACE_LEAVE(ERROR_INSUFFICIENT_BUFFER);
    }
    DWORD dwResult = CreateRealtimeChildDialog(hWndParent);
    if (dwResult != 0) {
        return TRACE_LEAVE(dwResult);
    }
    if (m_stRootConfig.dwLoggingState == 0) {
        ClearRealtimeData();
    }
    return TRACE_LEAVE(0);
}

DWORD CQVDlgRealtime::CreateRealtimeChildDialog(HWND hWndParent)
{
    TRACE_ENTER(1);
    m_pChildDlgRealtime = new (std::nothrow) CQVChildDlgRealtime();
    if (m_pChildDlgRealtime == nullptr) {
        TRACE(0, L"m_pChildDlgRealtime is NULL.");
        EndDialog(IDCANCEL);
        return TRACE_LEAVE(ERROR_NOT_ENOUGH_MEMORY);
    }
    m_pChildDlgRealtime->SetQVRootConfig(&m_stRootConfig);
    return TRACE_LEAVE(AddChildDialog(m_pChildDlgRealtime, hWndParent));
}

DWORD CQVDlgRealtime::DestroyRealtimeChildDlg()
{
    TRACE_ENTER(1);
    DWORD dwResult = 0;
    if (!DestroyOwnedPane(m_pChildDlgRealtime)) {
        TRACE(0, L"Fail to destroy realtime window.");
        dwResult = ERROR_INVALID_WINDOW_HANDLE;
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CQVDlgRealtime::ClearRealtimeData()
{
    QVPipeCmdNotifySysInfo zero = {};
    return SetRealtimeData(&zero);
}

DWORD CQVDlgRealtime::SetRealtimeData(const void* pData)
{
    TRACE_ENTER(1);
    if (pData == nullptr) {
        return TRACE_NULL_ARGUMENT(pData);
    }
    if (m_pChildDlgRealtime == nullptr) {
        TRACE(0, L"%s is NULL.", L"m_pChildDlgRealtime");
        return TRACE_LEAVE(ERROR_INSUFFICIENT_BUFFER);
    }
    QVPipeCmdNotifySysInfo info = {};
    if (m_stRootConfig.dwLoggingState != 0) {
        CopyMemory(&info, pData, sizeof(info));
    }
    return TRACE_LEAVE(ApplyRealtimeData(&info));
}

DWORD CQVDlgRealtime::ApplyRealtimeData(const void* pData)
{
    return m_pChildDlgRealtime->Apply(pData);
}

DWORD CQVDlgRealtime::SetLoggingState(DWORD dwState)
{
    TRACE_ENTER(1);
    if (dwState != 0 && dwState != 1) {
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    m_stRootConfig.dwLoggingState = dwState;
    return TRACE_LEAVE(ClearRealtimeData());
}

DWORD CQVDlgRealtime::Finalize()
{
    TRACE_ENTER(1);
    ClosePipeConnection();
    return TRACE_LEAVE(DestroyRealtimeChildDlg());
}
