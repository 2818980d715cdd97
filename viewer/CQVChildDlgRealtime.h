// The Realtime pane: the left pane of the main dialog: the power plan, the power source
// and battery, the power-saving level as five leaves, the launcher of the QUO mode
// setting tool and the product texts.
#pragma once
#include <windows.h>

#include <string>

#include "CQVBaseChildDlgRealtime.h"
#include "CQVStatic.h"
#include "RealtimeRules.h"

class CQVChildDlgRealtime : public CQVBaseChildDlgRealtime {
public:
    CQVChildDlgRealtime();
    ~CQVChildDlgRealtime() override;

    DWORD Create(HWND hWndParent) override;

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WORD wID, WORD wCode, HWND hWndCtl) override;
    INT_PTR DialogProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    DWORD UpdateItem() override;

private:
    // Enables the tool button when "LaunchPathPMC" names an existing file.
    void InitializeToolButton();
    void ShowModelTexts();
    // Squares the leaves in one centred row and centres the banner and the legend picture.
    void LayoutPictures();
    void LaunchTool();
    // Draws the banner (1046) or the legend picture (1028); FALSE for other items.
    BOOL DrawPicture(const DRAWITEMSTRUCT* pDrawItem);

    CQVStatic m_Leaves[RT_LEAF_COUNT];
    // The texts of the power source line and "不明", loaded once.
    RtPowerSourceStrings m_sourceStrings;
    std::wstring m_strToolPath;
    std::wstring m_strToolArgs;
};
