// The main dialog's tab control, painted entirely by us: white selected tab and page,
// grey gradient on the other tabs, green outlines with cut corners, and a window region
// that follows the tabs' outline so the dialog's picture shows around them. Its panes
// (child windows) ask it for their background with WM_DRAWBACKGROUND: the white page.
#pragma once
#include <windows.h>

#include <vector>

#include "CSubclassWnd.h"

class CBitmapTabCtrl : public CSubclassWnd {
public:
    // Points of the outline polygon: four for each of five tabs, six for the page.
    static const size_t kOutlinePoints = 26;

    // The outline of tabs (their rectangles, left to right) over the page rectangle
    // below them, the selected tab (-1 none) 2 pixels taller, 2 wider on the left and
    // 1 on the right, each tab's top corners cut by 2 pixels. Always kOutlinePoints
    // points; missing tabs repeat the last tab's corner.
    static std::vector<POINT> BuildOutline(const std::vector<RECT>& tabs, int nSelected, const RECT& rcPage);
    // A tab's rectangle as drawn: the selected one enlarged as in the outline.
    static RECT DrawnTabRect(const RECT& rcTab, bool bSelected);

    // Inserts tab nItem with text lpszText; its index or -1.
    int InsertItem(int nItem, LPCWSTR lpszText);
    int GetCurSel() const;
    int GetItemCount() const;
    BOOL GetItemRect(int nItem, RECT* pRect) const;

protected:
    LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    std::vector<RECT> TabRects() const;
    RECT PageRect(const std::vector<RECT>& tabs) const;
    void UpdateRegion();
    void DrawBackground(HDC hDC);
    void DrawTabs(HDC hDC);

    std::vector<POINT> m_region;
};
