// The base of every pane of the main dialog: a child dialog made from its template
// (with the dialog font of Windows XP put in on that family), with a title, a tooltip,
// its own copy of the root configuration and the utilities the panes share. Enter and
// Esc never close a pane; its statics and its own background are transparent over the
// picture behind it.
#pragma once
#include <windows.h>

#include <string>

#include "CDialog.h"
#include "CToolTipCtrl.h"
#include "QVRootConfig.h"

class CQVBaseChildDlg : public CDialog {
public:
    // nIDTitle 0: the pane has no title.
    CQVBaseChildDlg(UINT nIDTemplate, UINT nIDTitle);
    ~CQVBaseChildDlg() override;

    // Creates the pane inside hWndParent; the base creates nothing and returns 0.
    virtual DWORD Create(HWND hWndParent);
    // The pane's title from the string table (empty without one).
    virtual LPCWSTR GetTitle();
    // Hands a record to the pane; the base ignores it. 87 for null.
    virtual DWORD Apply(const void* pData);
    // Stores the logging state in the pane's configuration: 0 or 1, else 87.
    virtual DWORD SetLoggingState(DWORD dwState);

    DWORD SetQVRootConfig(const QVRootConfig* pConfig);
    const QVRootConfig& GetQVRootConfig() const { return m_stRootConfig; }
    const std::wstring& GetFontName() const { return m_strFontName; }

protected:
    // Creates the window from the template (the framework's create, with the font of
    // this Windows), records the face in m_strFontName. 0 or the creation's error.
    DWORD CreateFromTemplate(HWND hWndParent);

    INT_PTR DialogProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    BOOL OnCommand(WORD wID, WORD wCode, HWND hWndCtl) override;

    // A control's rectangle in the pane's client coordinates; FALSE without it.
    BOOL GetControlRect(int nID, RECT* pRect) const;
    // Moves a control's top-left corner to (x, y) of the pane, keeping its size.
    BOOL MoveControl(int nID, int x, int y);
    void ShowControl(int nID, BOOL bShow);
    // Sets a control's text only when it differs, then invalidates the control's area
    // of the pane so that its transparent text is drawn again over the background.
    BOOL SetDlgItemTextIfChanged(int nID, LPCWSTR lpszText);

    UINT m_nIDTitle;
    std::wstring m_strTitle;
    CToolTipCtrl m_ToolTip;
    std::wstring m_strFontName;
    QVRootConfig m_stRootConfig;
    RECT m_rect;
};
