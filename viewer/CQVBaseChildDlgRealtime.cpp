#include "CQVBaseChildDlgRealtime.h"

#include <strsafe.h>

#include "Trace.h"

CQVBaseChildDlgRealtime::CQVBaseChildDlgRealtime(UINT nIDTemplate, UINT nIDTitle)
    : CQVBaseChildDlg(nIDTemplate, nIDTitle),
      m_dwBatteryLifePercent(0),
      m_szPowerPlan(),
      m_byBatteryStatus(0),
      m_byQuoLevel(0)
{
}

CQVBaseChildDlgRealtime::~CQVBaseChildDlgRealtime() = default;

DWORD CQVBaseChildDlgRealtime::Apply(const void* pData)
{
    TRACE_ENTER(1);
    TRACE_CHECK_NULL(pData);
    QVPipeCmdNotifySysInfo info;
    CopyMemory(&info, pData, sizeof(info));
    m_dwBatteryLifePercent = info.byBatteryLifePercent;
    m_byBatteryStatus = info.byBatteryStatus;
    m_byQuoLevel = info.byQuoLevel;
    // The field may arrive without its terminator: copy at most its characters.
    WCHAR szPlan[PIPECMD_POWPLAN_CHARS + 1] = {};
    CopyMemory(szPlan, info.szPowerPlan, sizeof(info.szPowerPlan));
    StringCchCopyW(m_szPowerPlan, ARRAYSIZE(m_szPowerPlan), szPlan);
    TRACE_RETURN(UpdateGraphRealtime());
}

DWORD CQVBaseChildDlgRealtime::UpdateItem()
{
    return 0;
}

DWORD CQVBaseChildDlgRealtime::UpdateGraphRealtime()
{
    TRACE_ENTER(1);
    DWORD dwResult = UpdateItem();
    if (dwResult != 0) {
        TRACE(0, L"Fail to UpdateItem(). dwRet: %08x.", dwResult);
        TRACE(0, L"Fail to UpdateGraph(). dwRet: %08x.", dwResult);
    }
    TRACE_RETURN(dwResult);
}
