#include "CQVChildDlgLog.h"

#include "Trace.h"
#include "resource.h"

CQVChildDlgLog::CQVChildDlgLog() : CQVBaseChildDlg(IDD_QVCHILDDLG_LOG, IDS_LOG_PANE_TITLE), m_nLogMode(1) {}

CQVChildDlgLog::~CQVChildDlgLog() = default;

DWORD CQVChildDlgLog::Create(HWND hWndParent)
{
    TRACE_ENTER(1);
    DWORD dwResult = CreateFromTemplate(hWndParent);
    if (dwResult != 0) {
        TRACE(0, L"Fail to CQVBaseChildDlg::Create().");
    }
    TRACE_RETURN(dwResult);
}

DWORD CQVChildDlgLog::Apply(const void* pData)
{
    TRACE_ENTER(1);
    TRACE_CHECK_NULL(pData);
    CopyMemory(&m_nLogMode, pData, sizeof(m_nLogMode));
    UpdateLogGraph();
    TRACE_RETURN(0);
}

void CQVChildDlgLog::UpdateLogGraph()
{
    if (m_hWnd != nullptr) {
        InvalidateRect(m_hWnd, nullptr, TRUE);
    }
}
