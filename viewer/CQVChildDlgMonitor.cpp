#include "CQVChildDlgMonitor.h"

#include "Trace.h"
#include "resource.h"

CQVChildDlgMonitor::CQVChildDlgMonitor() : CQVBaseChildDlgRealtime(IDD_QVCHILDDLG_MONITOR, IDS_MONITOR_PANE_TITLE) {}

CQVChildDlgMonitor::~CQVChildDlgMonitor() = default;

DWORD CQVChildDlgMonitor::Create(HWND hWndParent)
{
    TRACE_ENTER(1);
    DWORD dwResult = CreateFromTemplate(hWndParent);
    if (dwResult != 0) {
        TRACE(0, L"Fail to CQVBaseChildDlg::Create().");
    }
    TRACE_RETURN(dwResult);
}
