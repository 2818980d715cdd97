#include "OwnerDraw.h"

BOOL ReflectDrawItem(WPARAM wParam, LPARAM lParam)
{
    const DRAWITEMSTRUCT* pDrawItem = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (pDrawItem == nullptr || pDrawItem->CtlType == ODT_MENU || pDrawItem->hwndItem == nullptr) {
        return FALSE;
    }
    return SendMessageW(pDrawItem->hwndItem, WM_REFLECT_DRAWITEM, wParam, lParam) != 0;
}

BOOL DrawParentBackground(HWND hWndChild, HDC hDC)
{
    for (HWND hWnd = GetParent(hWndChild); hWnd != nullptr; hWnd = GetParent(hWnd)) {
        if (SendMessageW(hWnd, WM_DRAWBACKGROUND, reinterpret_cast<WPARAM>(hDC),
                         reinterpret_cast<LPARAM>(hWndChild)) != 0) {
            return TRUE;
        }
        if ((GetWindowLongPtrW(hWnd, GWL_STYLE) & WS_CHILD) == 0) {
            break;
        }
    }
    return FALSE;
}
