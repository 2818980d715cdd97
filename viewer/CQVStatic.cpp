#include "CQVStatic.h"

#include "GdiHandle.h"
#include "OwnerDraw.h"
#include "Trace.h"

CQVStatic::CQVStatic() : m_hBmp(nullptr) {}

HANDLE CQVStatic::SetImage(HANDLE hNew)
{
    if (hNew == nullptr) {
        return nullptr;
    }
    HANDLE hOld = m_hBmp;
    if (hNew != hOld) {
        m_hBmp = static_cast<HBITMAP>(hNew);
        InvalidateInParent();
    }
    return hOld;
}

LRESULT CQVStatic::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case STM_SETICON:
        return reinterpret_cast<LRESULT>(SetImage(reinterpret_cast<HANDLE>(wParam)));
    case STM_SETIMAGE:
        return reinterpret_cast<LRESULT>(SetImage(reinterpret_cast<HANDLE>(lParam)));
    case STM_GETICON:
    case STM_GETIMAGE:
        return reinterpret_cast<LRESULT>(m_hBmp);
    case WM_REFLECT_DRAWITEM:
        DrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_ERASEBKGND:
        return TRUE;
    default:
        return Default(uMsg, wParam, lParam);
    }
}

void CQVStatic::DrawItem(const DRAWITEMSTRUCT* lpDrawItemStruct)
{
    TRACE_ENTER(2);
    if (lpDrawItemStruct == nullptr) {
        TRACE_NULL_ARGUMENT_VOID(lpDrawItemStruct);
        return;
    }
    HBITMAP hBmp = m_hBmp;
    if (hBmp == nullptr) {
        TRACE_NULL_ARGUMENT_VOID(hBmp);
        return;
    }
    if (lpDrawItemStruct->hDC == nullptr) {
        TRACE(0, L"%s is NULL.", L"lpDrawItemStruct->hDC");
        TRACE_LEAVE_ERROR();
        return;
    }
    BITMAP bm = {};
    CCompatibleDC memDC(lpDrawItemStruct->hDC);
    if (memDC.Get() == nullptr || GetObjectW(hBmp, sizeof(bm), &bm) == 0) {
        TRACE_LEAVE_ERROR();
        return;
    }
    CSelectObject select(memDC.Get(), hBmp);
    COLORREF crTransparent = GetPixel(memDC.Get(), 0, 0);
    const RECT& rc = lpDrawItemStruct->rcItem;
    TransparentBlt(lpDrawItemStruct->hDC, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, memDC.Get(), 0, 0,
                   bm.bmWidth, bm.bmHeight, crTransparent);
    TRACE_LEAVE_VOID();
}
