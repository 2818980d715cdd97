#include "CSubclassWnd.h"

#include <commctrl.h>

namespace {
// One subclass id for every object of ours; the object is the reference data.
const UINT_PTR kSubclassId = 0x5156;  // "QV"
}

CSubclassWnd::CSubclassWnd() : m_hWnd(nullptr) {}

CSubclassWnd::~CSubclassWnd()
{
    Unsubclass();
}

BOOL CSubclassWnd::Subclass(HWND hWnd)
{
    if (hWnd == nullptr || m_hWnd != nullptr) {
        return FALSE;
    }
    if (!SetWindowSubclass(hWnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        return FALSE;
    }
    m_hWnd = hWnd;
    return TRUE;
}

void CSubclassWnd::Unsubclass()
{
    if (m_hWnd != nullptr) {
        RemoveWindowSubclass(m_hWnd, SubclassProc, kSubclassId);
        m_hWnd = nullptr;
    }
}

LRESULT CSubclassWnd::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return Default(uMsg, wParam, lParam);
}

LRESULT CSubclassWnd::Default(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return DefSubclassProc(m_hWnd, uMsg, wParam, lParam);
}

void CSubclassWnd::InvalidateInParent() const
{
    HWND hWndParent = GetParent(m_hWnd);
    RECT rc = {};
    if (hWndParent == nullptr || !GetWindowRect(m_hWnd, &rc)) {
        return;
    }
    MapWindowPoints(nullptr, hWndParent, reinterpret_cast<POINT*>(&rc), 2);
    InvalidateRect(hWndParent, &rc, TRUE);
}

LRESULT CALLBACK CSubclassWnd::SubclassProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR /*uIdSubclass*/, DWORD_PTR dwRefData)
{
    CSubclassWnd* pWnd = reinterpret_cast<CSubclassWnd*>(dwRefData);
    if (uMsg == WM_NCDESTROY) {
        pWnd->Unsubclass();
        return DefSubclassProc(hWnd, uMsg, wParam, lParam);
    }
    return pWnd->WindowProc(uMsg, wParam, lParam);
}
