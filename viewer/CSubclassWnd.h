// A control of a dialog subclassed by an object of ours (SetWindowSubclass with the
// object as reference data): its messages go to the virtual WindowProc, whose default
// passes them on. The subclass ends with the window or the object.
#pragma once
#include <windows.h>

class CSubclassWnd {
public:
    CSubclassWnd();
    virtual ~CSubclassWnd();
    CSubclassWnd(const CSubclassWnd&) = delete;
    CSubclassWnd& operator=(const CSubclassWnd&) = delete;

    // FALSE when the window is missing, already subclassed by this object, or the
    // subclass cannot be installed.
    BOOL Subclass(HWND hWnd);
    BOOL SubclassDlgItem(int nID, HWND hWndParent) { return Subclass(::GetDlgItem(hWndParent, nID)); }
    void Unsubclass();
    HWND GetSafeHwnd() const { return m_hWnd; }

protected:
    virtual LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam);
    // The control's own handling of a message.
    LRESULT Default(UINT uMsg, WPARAM wParam, LPARAM lParam);
    // Invalidates the control's rectangle in its parent, so that a transparent control
    // is drawn again over the parent's background.
    void InvalidateInParent() const;

    HWND m_hWnd;

private:
    static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR uIdSubclass,
                                         DWORD_PTR dwRefData);
};
