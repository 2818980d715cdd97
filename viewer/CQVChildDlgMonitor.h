// The Monitor pane: the pane of tab 0: the live wattage plot coloured by power plan, with its legend.
#pragma once
#include <windows.h>

#include "CQVBaseChildDlgRealtime.h"

class CQVChildDlgMonitor : public CQVBaseChildDlgRealtime {
public:
    CQVChildDlgMonitor();
    ~CQVChildDlgMonitor() override;

    DWORD Create(HWND hWndParent) override;
};
