#include "CTransBmpButton.h"

#include <algorithm>

#include "CWinApp.h"
#include "OwnerDraw.h"
#include "Trace.h"

namespace {
HBITMAP LoadBitmapById(UINT nID)
{
    return (nID == 0) ? nullptr : LoadBitmapW(CWinApp::GetInstanceHandle(), MAKEINTRESOURCEW(nID));
}
}  // namespace

CTransBmpButton::CTransBmpButton() : m_crTransparent(RGB(0, 0, 0)), m_dwHoverState(1) {}

BOOL CTransBmpButton::LoadBitmaps(UINT nIDNormal, UINT nIDSelected, UINT nIDFocus, UINT nIDDisabled)
{
    m_BmpNormal.Reset(LoadBitmapById(nIDNormal));
    m_BmpSelected.Reset(LoadBitmapById(nIDSelected));
    m_BmpFocus.Reset(LoadBitmapById(nIDFocus));
    m_BmpDisabled.Reset(LoadBitmapById(nIDDisabled));
    return m_BmpNormal ? TRUE : FALSE;
}

void CTransBmpButton::MakeRound()
{
    RECT rc = {};
    if (m_hWnd == nullptr || !GetClientRect(m_hWnd, &rc)) {
        return;
    }
    int nSide = std::min(rc.right - rc.left, rc.bottom - rc.top);
    HRGN hRgn = CreateEllipticRgn(0, 0, nSide + 1, nSide + 1);
    if (hRgn != nullptr && SetWindowRgn(m_hWnd, hRgn, TRUE) == 0) {
        DeleteObject(hRgn);  // the window did not take it
    }
    SetWindowPos(m_hWnd, nullptr, 0, 0, nSide, nSide, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CTransBmpButton::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_LBUTTONDBLCLK:
        return Default(WM_LBUTTONDOWN, wParam, lParam);
    case WM_ERASEBKGND:
        return TRUE;
    case WM_REFLECT_DRAWITEM:
        DrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    default:
        return Default(uMsg, wParam, lParam);
    }
}

void CTransBmpButton::DrawItem(const DRAWITEMSTRUCT* lpDrawItemStruct)
{
    TRACE_ENTER(2);
    if (lpDrawItemStruct == nullptr) {
        TRACE_NULL_ARGUMENT_VOID(lpDrawItemStruct);
        return;
    }
    UINT uState = lpDrawItemStruct->itemState;
    HBITMAP hBmp = m_BmpNormal.Get();
    if ((uState & ODS_SELECTED) && m_BmpSelected) {
        hBmp = m_BmpSelected.Get();
    } else if ((uState & ODS_FOCUS) && m_BmpFocus) {
        hBmp = m_BmpFocus.Get();
    } else if ((uState & ODS_DISABLED) && m_BmpDisabled) {
        hBmp = m_BmpDisabled.Get();
    } else if (m_dwHoverState == 0 && m_BmpFocus) {
        hBmp = m_BmpFocus.Get();
    }
    HDC hDC = lpDrawItemStruct->hDC;
    BITMAP bm = {};
    if (hBmp == nullptr || GetObjectW(hBmp, sizeof(bm), &bm) == 0) {
        TRACE_LEAVE_ERROR();
        return;
    }
    CCompatibleDC memDC(hDC);
    CSelectObject select(memDC.Get(), hBmp);
    if (!select.Succeeded()) {
        TRACE(0, L"Fail to memDC.SelectObject().");
        TRACE_LEAVE_ERROR();
        return;
    }
    const RECT& rc = lpDrawItemStruct->rcItem;
    int cx = rc.right - rc.left;
    int cy = rc.bottom - rc.top;
    TransparentBlt(hDC, rc.left, rc.top, cx, cy, memDC.Get(), 0, 0, bm.bmWidth, bm.bmHeight, m_crTransparent);
    if (!m_strCaption.empty()) {
        SIZE size = {};
        GetTextExtentPoint32W(hDC, m_strCaption.c_str(), static_cast<int>(m_strCaption.size()), &size);
        int nOldMode = SetBkMode(hDC, TRANSPARENT);
        TextOutW(hDC, rc.left + (cx - size.cx) / 2, rc.top + (cy - size.cy) / 2, m_strCaption.c_str(),
                 static_cast<int>(m_strCaption.size()));
        SetBkMode(hDC, nOldMode);
    }
    TRACE_LEAVE_VOID();
}
