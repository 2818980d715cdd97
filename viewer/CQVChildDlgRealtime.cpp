#include "CQVChildDlgRealtime.h"

#include "ResString.h"
#include "Trace.h"
#include "resource.h"

CQVChildDlgRealtime::CQVChildDlgRealtime() : CQVBaseChildDlgRealtime(IDD_QVCHILDDLG_REALTIME, 0 /* no title */) {}

CQVChildDlgRealtime::~CQVChildDlgRealtime() = default;

DWORD CQVChildDlgRealtime::Create(HWND hWndParent)
{
    TRACE_ENTER(1);
    DWORD dwResult = CreateFromTemplate(hWndParent);
    if (dwResult != 0) {
        TRACE(0, L"Fail to CQVBaseChildDlg::Create().");
    }
    TRACE_RETURN(dwResult);
}

BOOL CQVChildDlgRealtime::OnInitDialog()
{
    bool bConsumer = (m_stRootConfig.cnrType != CNR_COMMERCIAL);
    ShowControl(IDC_STATIC_RT_LEGEND, bConsumer);
    ShowControl(IDC_STATIC_RT_NOTES, !bConsumer);
    ShowControl(IDC_STATIC_RT_MARK4, bConsumer);
    ShowControl(IDC_STATIC_RT_GRAPH_HEAD, bConsumer);
    SetDlgItemTextW(m_hWnd, IDC_STATIC_RT_ABOUT_TEXT,
                    LoadResString(bConsumer ? IDS_ABOUT_TEXT_CONSUMER : IDS_ABOUT_TEXT_COMMERCIAL).c_str());
    SetDlgItemTextW(m_hWnd, IDC_STATIC_RT_ABOUT_HEAD,
                    LoadResString(bConsumer ? IDS_ABOUT_HEAD_CONSUMER : IDS_ABOUT_HEAD_COMMERCIAL).c_str());
    ShowControl(IDC_STATIC_RT_BANNER, TRUE);
    SetDlgItemTextW(m_hWnd, IDC_STATIC_RT_PLAN_HEAD,
                    LoadResString((m_stRootConfig.dwOSVersion == QV_OS_XP) ? IDS_POWERSCHEME_HEAD_XP
                                                                           : IDS_POWERPLAN_HEAD)
                        .c_str());
    return TRUE;
}

DWORD CQVChildDlgRealtime::UpdateItem()
{
    SetDlgItemTextIfChanged(IDC_STATIC_RT_POWERPLAN,
                            (m_szPowerPlan[0] != L'\0') ? m_szPowerPlan : LoadResString(IDS_UNKNOWN).c_str());
    return 0;
}
