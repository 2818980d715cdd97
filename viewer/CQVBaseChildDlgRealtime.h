// The base of the panes fed with the service's live records (PIPECMD_NOTIFY_SYSINFO):
// it keeps the fields the panes show from the last record, the leaf pictures and the
// fonts of the texts, and has the pane update its items. Records arrive on the GUI
// thread (the main dialog posts them there).
#pragma once
#include <windows.h>

#include <map>
#include <string>

#include "CQVBaseChildDlg.h"
#include "GdiHandle.h"
#include "PipeCmd.h"

class CQVBaseChildDlgRealtime : public CQVBaseChildDlg {
public:
    CQVBaseChildDlgRealtime(UINT nIDTemplate, UINT nIDTitle);
    ~CQVBaseChildDlgRealtime() override;

    // pData: a QVPipeCmdNotifySysInfo (273 bytes). Stores its fields and updates the
    // pane. 87 for null.
    DWORD Apply(const void* pData) override;

protected:
    // The pane's start: loads the leaf pictures, makes the fonts of the texts and the
    // tooltip whose text for the plan name (1011) is asked for on demand. 0, or 8 when
    // a leaf picture cannot be loaded (the leaves then stay blank).
    DWORD Initialize();
    // Shows the stored fields; the base shows nothing.
    virtual DWORD UpdateItem();
    DWORD UpdateGraphRealtime();
    // Answers the tooltip's question for the plan name; FALSE for other notifications.
    BOOL OnNotify(NMHDR* pNMHDR, LRESULT* pResult) override;

    DWORD m_dwBatteryLifePercent;
    WCHAR m_szPowerPlan[MAX_PATH];
    BYTE m_byBatteryStatus;
    BYTE m_byQuoLevel;
    CBitmapHandle m_BmpGreenLeaf;
    CBitmapHandle m_BmpGrayLeaf;

    // Gives a one-line text control of the headings' font a smaller font when its text
    // does not fit at the headings' size (the dialog units leave some texts too narrow
    // at 96 DPI), and the headings' font again when it fits.
    void FitTextFont(int nID);

private:
    void CreateFonts();

    // The four fonts of the texts: headings, bullet marks, the plan name, descriptions.
    CFontHandle m_fonts[4];
    // Smaller heading fonts of the controls whose text did not fit, by control id.
    std::map<int, CFontHandle> m_fittedFonts;
    // The text each control's font was last chosen for: an unchanged text keeps its font.
    std::map<int, std::wstring> m_fittedTexts;
    WCHAR m_szTipText[MAX_PATH];
};
