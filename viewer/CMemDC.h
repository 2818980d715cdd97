// Double-buffered painting: drawing goes to an off-screen bitmap of the target's
// rectangle, which is copied onto the target in one blit when the object goes.
#pragma once
#include <windows.h>

#include "GdiHandle.h"

class CMemDC {
public:
    // rcTarget is in the target DC's logical coordinates; the memory DC uses the same
    // coordinates. When the off-screen bitmap cannot be made, drawing goes straight to
    // the target.
    CMemDC(HDC hTargetDC, const RECT& rcTarget);
    ~CMemDC();
    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

    HDC GetDC() const { return (m_hMemDC != nullptr) ? m_hMemDC : m_hTargetDC; }

private:
    HDC m_hTargetDC;
    RECT m_rcTarget;
    HDC m_hMemDC;
    CBitmapHandle m_Bitmap;
    HGDIOBJ m_hOldBitmap;
};
