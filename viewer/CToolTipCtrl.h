// A tooltip control of a window: tools are rectangles of the owner's client area (a
// control's rectangle), and the owner relays its mouse moves to it. A tool's text may be
// asked for on demand (LPSTR_TEXTCALLBACK: TTN_GETDISPINFO goes to the owner).
#pragma once
#include <windows.h>

class CToolTipCtrl {
public:
    CToolTipCtrl();
    ~CToolTipCtrl();
    CToolTipCtrl(const CToolTipCtrl&) = delete;
    CToolTipCtrl& operator=(const CToolTipCtrl&) = delete;

    // 0 or the error of creating the control.
    DWORD Create(HWND hWndOwner);
    // Adds tool nToolId over rcTool of the owner's client area; lpszText may be
    // LPSTR_TEXTCALLBACK. FALSE when it was not added.
    BOOL AddTool(UINT_PTR nToolId, const RECT& rcTool, LPWSTR lpszText);
    // A tool over the owner's control nCtlId, its id the control's.
    BOOL AddControlTool(int nCtlId, LPWSTR lpszText);
    // Moves a tool to a new rectangle (when its control moved).
    void SetToolRect(UINT_PTR nToolId, const RECT& rcTool);
    void SetMaxTipWidth(int nWidth);
    // Hands a mouse message of the owner to the control.
    void RelayEvent(UINT uMsg, WPARAM wParam, LPARAM lParam);
    void Destroy();
    HWND GetSafeHwnd() const { return m_hWnd; }

private:
    HWND m_hWnd;
    HWND m_hWndOwner;
};
