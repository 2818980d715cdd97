// The Realtime pane: the left pane of the main dialog: the power plan, the power source and battery, the power-saving level as five leaves, the product texts.
#pragma once
#include <windows.h>

#include "CQVBaseChildDlgRealtime.h"

class CQVChildDlgRealtime : public CQVBaseChildDlgRealtime {
public:
    CQVChildDlgRealtime();
    ~CQVChildDlgRealtime() override;

    DWORD Create(HWND hWndParent) override;

protected:
    // The texts of the product line and of the Windows version.
    BOOL OnInitDialog() override;
    // The plan name of the last record ("不明" when empty).
    DWORD UpdateItem() override;
};
