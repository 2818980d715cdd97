// A static control that shows a bitmap with a transparent colour (the colour of the
// bitmap's top-left pixel), used for the power-level leaves. It keeps the bitmap it is
// given through STM_SETIMAGE / STM_SETICON (it does not own it) and draws it through the
// reflected WM_DRAWITEM; the control needs SS_OWNERDRAW.
#pragma once
#include <windows.h>

#include "CSubclassWnd.h"

class CQVStatic : public CSubclassWnd {
public:
    CQVStatic();
    HBITMAP GetBitmap() const { return m_hBmp; }

protected:
    LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    // Stores hNew (null changes nothing) and repaints when it differs; the previous handle.
    HANDLE SetImage(HANDLE hNew);
    void DrawItem(const DRAWITEMSTRUCT* lpDrawItemStruct);

    HBITMAP m_hBmp;
};
