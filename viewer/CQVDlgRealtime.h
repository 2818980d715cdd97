// The realtime layer of the main dialog: it owns the left pane (CQVChildDlgRealtime,
// inside the placeholder control 1008) and feeds it the live records.
#pragma once
#include <windows.h>

#include "CQVBaseDlg.h"

class CQVChildDlgRealtime;

class CQVDlgRealtime : public CQVBaseDlg {
public:
    explicit CQVDlgRealtime(UINT nIDTemplate);
    ~CQVDlgRealtime() override;

    // pData: a QVPipeCmdNotifySysInfo; zeroed first while logging is stopped. 122 without
    // the realtime pane.
    virtual DWORD SetRealtimeData(const void* pData);
    virtual DWORD SetLoggingState(DWORD dwState);
    // Closes the pipe and destroys the panes; 1359 when a window fails to be destroyed.
    virtual DWORD Finalize();
    virtual DWORD Initialize();

protected:
    DWORD InitializeRealtimeDialog();
    DWORD CreateRealtimeChildDialog(HWND hWndParent);
    DWORD DestroyRealtimeChildDlg();
    DWORD ClearRealtimeData();
    // Applies a live record to the panes that show live data.
    virtual DWORD ApplyRealtimeData(const void* pData);

    CQVChildDlgRealtime* m_pChildDlgRealtime;
};
