#include "CMemDC.h"

CMemDC::CMemDC(HDC hTargetDC, const RECT& rcTarget)
    : m_hTargetDC(hTargetDC), m_rcTarget(rcTarget), m_hMemDC(nullptr), m_hOldBitmap(nullptr)
{
    int cx = rcTarget.right - rcTarget.left;
    int cy = rcTarget.bottom - rcTarget.top;
    if (cx <= 0 || cy <= 0) {
        return;
    }
    HDC hMemDC = CreateCompatibleDC(hTargetDC);
    if (hMemDC == nullptr) {
        return;
    }
    m_Bitmap.Reset(CreateCompatibleBitmap(hTargetDC, cx, cy));
    if (!m_Bitmap) {
        DeleteDC(hMemDC);
        return;
    }
    m_hMemDC = hMemDC;
    m_hOldBitmap = SelectObject(m_hMemDC, m_Bitmap.Get());
    SetWindowOrgEx(m_hMemDC, rcTarget.left, rcTarget.top, nullptr);
}

CMemDC::~CMemDC()
{
    if (m_hMemDC == nullptr) {
        return;
    }
    BitBlt(m_hTargetDC, m_rcTarget.left, m_rcTarget.top, m_rcTarget.right - m_rcTarget.left,
           m_rcTarget.bottom - m_rcTarget.top, m_hMemDC, m_rcTarget.left, m_rcTarget.top, SRCCOPY);
    SelectObject(m_hMemDC, m_hOldBitmap);
    DeleteDC(m_hMemDC);
}
