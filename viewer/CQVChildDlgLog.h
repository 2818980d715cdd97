// The Log pane: the pane of tabs 1 to 4: the consumption of a day, week, month or year.
#pragma once
#include <windows.h>

#include "CQVBaseChildDlg.h"

class CQVChildDlgLog : public CQVBaseChildDlg {
public:
    CQVChildDlgLog();
    ~CQVChildDlgLog() override;

    DWORD Create(HWND hWndParent) override;
    // pData: { mode (DWORD): 1 day, 2 week, 3 month, 4 year }.
    DWORD Apply(const void* pData) override;
    // Redraws the histogram of the current mode.
    void UpdateLogGraph();
    DWORD GetLogMode() const { return m_nLogMode; }

private:
    DWORD m_nLogMode;
};
