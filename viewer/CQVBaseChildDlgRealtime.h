// The base of the panes fed with the service's live records (PIPECMD_NOTIFY_SYSINFO):
// it keeps the fields the panes show from the last record and has the pane update its
// items.
#pragma once
#include <windows.h>

#include "CQVBaseChildDlg.h"
#include "PipeCmd.h"

class CQVBaseChildDlgRealtime : public CQVBaseChildDlg {
public:
    CQVBaseChildDlgRealtime(UINT nIDTemplate, UINT nIDTitle);
    ~CQVBaseChildDlgRealtime() override;

    // pData: a QVPipeCmdNotifySysInfo (273 bytes). Stores its fields and updates the
    // pane. 87 for null.
    DWORD Apply(const void* pData) override;

protected:
    // Shows the stored fields; the base shows nothing.
    virtual DWORD UpdateItem();
    DWORD UpdateGraphRealtime();

    DWORD m_dwBatteryLifePercent;
    WCHAR m_szPowerPlan[MAX_PATH];
    BYTE m_byBatteryStatus;
    BYTE m_byQuoLevel;
};
