// An owner-drawn push button made of four bitmaps (normal, selected, focus, disabled)
// blitted with a transparent colour, optionally round, with a caption centred over the
// picture. The focus bitmap doubles as the hover picture (SetHoverState 0). A double
// click counts as a second click. The control needs BS_OWNERDRAW.
#pragma once
#include <windows.h>

#include <string>

#include "CSubclassWnd.h"
#include "GdiHandle.h"

class CTransBmpButton : public CSubclassWnd {
public:
    CTransBmpButton();

    // Loads the bitmaps by id (0: none). FALSE when the normal one cannot be loaded.
    BOOL LoadBitmaps(UINT nIDNormal, UINT nIDSelected, UINT nIDFocus, UINT nIDDisabled);
    void SetTransparentColor(COLORREF crTransparent) { m_crTransparent = crTransparent; }
    // 0: the pointer is over the button; 1: normal.
    void SetHoverState(DWORD dwState) { m_dwHoverState = dwState; }
    void SetCaption(const std::wstring& caption) { m_strCaption = caption; }
    // Makes the button a circle of the smaller of its width and height.
    void MakeRound();

protected:
    LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    void DrawItem(const DRAWITEMSTRUCT* lpDrawItemStruct);

    CBitmapHandle m_BmpNormal;
    CBitmapHandle m_BmpSelected;
    CBitmapHandle m_BmpFocus;
    CBitmapHandle m_BmpDisabled;
    COLORREF m_crTransparent;
    std::wstring m_strCaption;
    DWORD m_dwHoverState;
};
