#include "CBitmapTabCtrl.h"

#include <commctrl.h>

#include <algorithm>

#include "CMemDC.h"
#include "GdiHandle.h"
#include "OwnerDraw.h"

namespace {

const COLORREF kPageColor = RGB(255, 255, 255);
const COLORREF kOutlineColor = RGB(50, 130, 0);
const size_t kTabTextChars = 256;
// NONCLIENTMETRICSW without iPaddedBorderWidth: the size Windows XP knows.
const UINT kNonClientMetricsSize = 500;

void GradientRect(HDC hDC, const RECT& rc, COLORREF crTop, COLORREF crBottom)
{
    TRIVERTEX vertices[2] = {};
    vertices[0].x = rc.left;
    vertices[0].y = rc.top;
    vertices[0].Red = static_cast<COLOR16>(GetRValue(crTop) << 8);
    vertices[0].Green = static_cast<COLOR16>(GetGValue(crTop) << 8);
    vertices[0].Blue = static_cast<COLOR16>(GetBValue(crTop) << 8);
    vertices[1].x = rc.right;
    vertices[1].y = rc.bottom;
    vertices[1].Red = static_cast<COLOR16>(GetRValue(crBottom) << 8);
    vertices[1].Green = static_cast<COLOR16>(GetGValue(crBottom) << 8);
    vertices[1].Blue = static_cast<COLOR16>(GetBValue(crBottom) << 8);
    GRADIENT_RECT rect = {0, 1};
    GradientFill(hDC, vertices, 2, &rect, 1, GRADIENT_FILL_RECT_V);
}

void Line(HDC hDC, int x1, int y1, int x2, int y2)
{
    MoveToEx(hDC, x1, y1, nullptr);
    LineTo(hDC, x2, y2);
}

}  // namespace

RECT CBitmapTabCtrl::DrawnTabRect(const RECT& rcTab, bool bSelected)
{
    RECT rc = rcTab;
    if (bSelected) {
        rc.left -= 2;
        rc.right += 1;
        rc.top -= 2;
    }
    return rc;
}

std::vector<POINT> CBitmapTabCtrl::BuildOutline(const std::vector<RECT>& tabs, int nSelected, const RECT& rcPage)
{
    std::vector<POINT> points;
    points.reserve(kOutlinePoints);
    points.push_back({rcPage.left, rcPage.bottom});
    points.push_back({rcPage.left, rcPage.top});
    for (size_t i = 0; i < tabs.size() && points.size() < kOutlinePoints - 4; ++i) {
        RECT rc = DrawnTabRect(tabs[i], static_cast<int>(i) == nSelected);
        points.push_back({rc.left, rc.top + 2});
        points.push_back({rc.left + 2, rc.top});
        points.push_back({rc.right - 2, rc.top});
        points.push_back({rc.right, rc.top + 2});
    }
    while (points.size() < kOutlinePoints - 4) {
        points.push_back(points.back());
    }
    POINT last = points.back();
    points.push_back({last.x, rcPage.top});
    points.push_back({rcPage.right, rcPage.top});
    points.push_back({rcPage.right, rcPage.bottom});
    points.push_back({rcPage.left, rcPage.bottom});
    return points;
}

int CBitmapTabCtrl::InsertItem(int nItem, LPCWSTR lpszText)
{
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<LPWSTR>(lpszText);
    return static_cast<int>(SendMessageW(m_hWnd, TCM_INSERTITEMW, nItem, reinterpret_cast<LPARAM>(&item)));
}

int CBitmapTabCtrl::GetCurSel() const
{
    return static_cast<int>(SendMessageW(m_hWnd, TCM_GETCURSEL, 0, 0));
}

int CBitmapTabCtrl::GetItemCount() const
{
    return static_cast<int>(SendMessageW(m_hWnd, TCM_GETITEMCOUNT, 0, 0));
}

BOOL CBitmapTabCtrl::GetItemRect(int nItem, RECT* pRect) const
{
    return static_cast<BOOL>(SendMessageW(m_hWnd, TCM_GETITEMRECT, nItem, reinterpret_cast<LPARAM>(pRect)));
}

std::vector<RECT> CBitmapTabCtrl::TabRects() const
{
    std::vector<RECT> tabs;
    int nCount = GetItemCount();
    for (int i = 0; i < nCount; ++i) {
        RECT rc = {};
        GetItemRect(i, &rc);
        tabs.push_back(rc);
    }
    return tabs;
}

RECT CBitmapTabCtrl::PageRect(const std::vector<RECT>& tabs) const
{
    RECT rc = {};
    GetClientRect(m_hWnd, &rc);
    if (!tabs.empty()) {
        rc.top = tabs.front().bottom;
    }
    return rc;
}

void CBitmapTabCtrl::UpdateRegion()
{
    std::vector<RECT> tabs = TabRects();
    std::vector<POINT> outline = BuildOutline(tabs, GetCurSel(), PageRect(tabs));
    // Only a new outline is set: setting a region repaints the window.
    bool bSame = outline.size() == m_region.size() &&
                 std::equal(outline.begin(), outline.end(), m_region.begin(),
                            [](const POINT& a, const POINT& b) { return a.x == b.x && a.y == b.y; });
    if (bSame) {
        return;
    }
    m_region = outline;
    HRGN hRgn = CreatePolygonRgn(m_region.data(), static_cast<int>(m_region.size()), WINDING);
    if (hRgn != nullptr && SetWindowRgn(m_hWnd, hRgn, TRUE) == 0) {
        DeleteObject(hRgn);
    }
}

void CBitmapTabCtrl::DrawBackground(HDC hDC)
{
    RECT rcClient = {};
    GetClientRect(m_hWnd, &rcClient);
    CBrushHandle white(CreateSolidBrush(kPageColor));
    FillRect(hDC, &rcClient, white.Get());
    std::vector<RECT> tabs = TabRects();
    int nSelected = GetCurSel();
    for (size_t i = 0; i < tabs.size(); ++i) {
        if (static_cast<int>(i) == nSelected) {
            continue;
        }
        RECT rcTop = tabs[i];
        rcTop.bottom = rcTop.top + (tabs[i].bottom - tabs[i].top) / 2;
        RECT rcBottom = tabs[i];
        rcBottom.top = rcTop.bottom;
        GradientRect(hDC, rcTop, RGB(237, 237, 237), RGB(233, 233, 233));
        GradientRect(hDC, rcBottom, RGB(223, 223, 223), RGB(221, 221, 221));
    }
}

void CBitmapTabCtrl::DrawTabs(HDC hDC)
{
    NONCLIENTMETRICSW ncm = {};
    ncm.cbSize = kNonClientMetricsSize;
    CFontHandle font;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, kNonClientMetricsSize, &ncm, 0)) {
        font.Reset(CreateFontIndirectW(&ncm.lfMenuFont));
    }
    CSelectObject selectFont(hDC, font ? font.Get() : GetStockObject(DEFAULT_GUI_FONT));
    int nOldMode = SetBkMode(hDC, TRANSPARENT);
    std::vector<RECT> tabs = TabRects();
    int nSelected = GetCurSel();
    for (size_t i = 0; i < tabs.size(); ++i) {
        WCHAR szText[kTabTextChars] = {};
        TCITEMW item = {};
        item.mask = TCIF_TEXT;
        item.pszText = szText;
        item.cchTextMax = ARRAYSIZE(szText);
        SendMessageW(m_hWnd, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
        RECT rcText = tabs[i];
        if (static_cast<int>(i) == nSelected) {
            OffsetRect(&rcText, 0, -2);
        }
        DrawTextW(hDC, szText, -1, &rcText, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    SetBkMode(hDC, nOldMode);

    CPenHandle pen(CreatePen(PS_SOLID, 1, kOutlineColor));
    CSelectObject selectPen(hDC, pen.Get());
    for (size_t i = 0; i < tabs.size(); ++i) {
        bool bSelected = static_cast<int>(i) == nSelected;
        bool bNextSelected = static_cast<int>(i + 1) == nSelected;
        bool bPreviousSelected = i > 0 && static_cast<int>(i - 1) == nSelected;
        RECT rc = DrawnTabRect(tabs[i], bSelected);
        if (bPreviousSelected) {
            Line(hDC, rc.left + 4, rc.top, rc.right - 1, rc.top);
        } else {
            Line(hDC, rc.left, rc.bottom, rc.left, rc.top + 2);
            LineTo(hDC, rc.left + 2, rc.top);
            LineTo(hDC, rc.right - 1, rc.top);
        }
        if (!bNextSelected) {
            Line(hDC, rc.right - 1, rc.top + 1, rc.right - 1, rc.bottom);
            Line(hDC, rc.right, rc.top + 2, rc.right, rc.bottom);
        }
    }
    // The page frame, open under the selected tab.
    RECT rcClient = {};
    GetClientRect(m_hWnd, &rcClient);
    RECT rcPage = PageRect(tabs);
    int nTop = rcPage.top;
    int nLeft = rcClient.left;
    int nRight = rcClient.right - 1;
    int nBottom = rcClient.bottom - 1;
    if (nSelected >= 0 && static_cast<size_t>(nSelected) < tabs.size()) {
        RECT rcSel = DrawnTabRect(tabs[nSelected], true);
        Line(hDC, rcSel.left + 1, nTop, nLeft, nTop);
        LineTo(hDC, nLeft, nBottom - 3);
        LineTo(hDC, nLeft + 2, nBottom - 1);
        LineTo(hDC, nRight - 2, nBottom - 1);
        LineTo(hDC, nRight, nBottom - 3);
        LineTo(hDC, nRight, nTop + 2);
        LineTo(hDC, nRight - 2, nTop);
        LineTo(hDC, rcSel.right - 1, nTop);
    } else {
        Line(hDC, nLeft, nTop, nLeft, nBottom);
        LineTo(hDC, nRight, nBottom);
        LineTo(hDC, nRight, nTop);
        LineTo(hDC, nLeft, nTop);
    }
}

LRESULT CBitmapTabCtrl::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_ERASEBKGND:
        UpdateRegion();
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT ps = {};
        HDC hDC = BeginPaint(m_hWnd, &ps);
        if (hDC != nullptr) {
            RECT rcClient = {};
            GetClientRect(m_hWnd, &rcClient);
            CMemDC memDC(hDC, rcClient);
            DrawBackground(memDC.GetDC());
            DrawTabs(memDC.GetDC());
        }
        EndPaint(m_hWnd, &ps);
        return 0;
    }
    case WM_DRAWBACKGROUND: {
        HDC hDC = reinterpret_cast<HDC>(wParam);
        HWND hWndChild = reinterpret_cast<HWND>(lParam);
        RECT rc = {};
        GetClientRect(hWndChild, &rc);
        CBrushHandle white(CreateSolidBrush(kPageColor));
        FillRect(hDC, &rc, white.Get());
        return TRUE;
    }
    default:
        return Default(uMsg, wParam, lParam);
    }
}
