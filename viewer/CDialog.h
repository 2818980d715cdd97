// A dialog of the viewer: modal or child, always created from a template copied into
// memory (so that its font can be replaced). The object is found from its window
// through DWLP_USER, set at WM_INITDIALOG, so any number of dialogs live side by side;
// messages go to the virtual DialogProc, whose default calls the handlers below.
#pragma once
#include <windows.h>

#include <string>

class CDialog {
public:
    explicit CDialog(UINT nIDTemplate);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally from its template; lpszFontFace (may be null: keep the
    // template's) replaces the template's font face. The value given to EndDialog, or
    // -1 when the template cannot be loaded or the dialog not created.
    INT_PTR DoModal(HWND hWndParent, LPCWSTR lpszFontFace);
    // Creates the dialog as a child window of hWndParent. 0, or the error of loading
    // the template or of creating the window.
    DWORD CreateIndirect(HWND hWndParent, LPCWSTR lpszFontFace);
    BOOL DestroyWindow();
    void EndDialog(INT_PTR nResult);

    HWND GetSafeHwnd() const { return m_hWnd; }
    UINT GetTemplateId() const { return m_nIDTemplate; }
    HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    // The face name the template names (before any replacement).
    std::wstring GetTemplateFontFace() const;

    // The object of a dialog window created by this class, or null.
    static CDialog* FromHandle(HWND hWnd);

protected:
    // Every message of the dialog; TRUE when handled (the message result is then set
    // with SetMsgResult where the message has one).
    virtual INT_PTR DialogProc(UINT uMsg, WPARAM wParam, LPARAM lParam);

    virtual BOOL OnInitDialog() { return TRUE; }
    // WM_COMMAND; TRUE when handled.
    virtual BOOL OnCommand(WORD wID, WORD wCode, HWND hWndCtl);
    // WM_NOTIFY; TRUE when handled, with the notification's result in *pResult.
    virtual BOOL OnNotify(NMHDR* pNMHDR, LRESULT* pResult);
    virtual void OnDestroy() {}

    void SetMsgResult(LRESULT lResult);

    HWND m_hWnd;

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    // Loads the template and replaces its face when one is given.
    DWORD PrepareTemplate(LPCWSTR lpszFontFace, class CDialogTemplate* pTemplate) const;

    UINT m_nIDTemplate;
    bool m_bModal;
};
