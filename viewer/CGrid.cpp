#include "CGrid.h"

#include <strsafe.h>

#include "GdiHandle.h"
#include "Reg.h"
#include "Trace.h"

static const WCHAR REGENTRY_GRIDBGCOLOR[] = L"GridBgColor";
static const WCHAR REGENTRY_VERTIZGRIDCOLOR[] = L"VertizGridColor";
static const WCHAR REGENTRY_HORIZGRIDCOLOR[] = L"HorizGridColor";
static const WCHAR REGENTRY_GRIDYAXISNUMFREQ[] = L"GridYAxisNumFreq";

static LOGPEN SolidPen(COLORREF crColor)
{
    LOGPEN pen = {};
    pen.lopnStyle = PS_SOLID;
    pen.lopnWidth.x = 1;
    pen.lopnColor = crColor;
    return pen;
}

CGrid::CGrid()
    : m_bgColor(RGB(0, 0, 0)),
      logHorizPen(SolidPen(RGB(0, 80, 0))),
      logVertiPen(SolidPen(RGB(0, 50, 0))),
      m_nNumFreq(2),
      m_strFontName()
{
}

void CGrid::ReadSettings(CReg* pReg, LPCWSTR lpszFontName)
{
    TRACE_ENTER(1);
    DWORD dwValue = 0;
    if (pReg != nullptr && pReg->QueryDWORDValue(REGENTRY_GRIDBGCOLOR, &dwValue) == ERROR_SUCCESS) {
        m_bgColor = dwValue;
    }
    TRACE(1, L"m_bgColor:RGB(%u,%u,%u)", GetRValue(m_bgColor), GetGValue(m_bgColor), GetBValue(m_bgColor));
    if (pReg != nullptr && pReg->QueryDWORDValue(REGENTRY_VERTIZGRIDCOLOR, &dwValue) == ERROR_SUCCESS) {
        logVertiPen.lopnColor = dwValue;
    }
    TRACE(1, L"logVertiPen.lopnColor:RGB(%u,%u,%u)", GetRValue(logVertiPen.lopnColor),
          GetGValue(logVertiPen.lopnColor), GetBValue(logVertiPen.lopnColor));
    if (pReg != nullptr && pReg->QueryDWORDValue(REGENTRY_HORIZGRIDCOLOR, &dwValue) == ERROR_SUCCESS) {
        logHorizPen.lopnColor = dwValue;
    }
    TRACE(1, L"logHorizPen.lopnColor:RGB(%u,%u,%u)", GetRValue(logHorizPen.lopnColor),
          GetGValue(logHorizPen.lopnColor), GetBValue(logHorizPen.lopnColor));
    if (pReg != nullptr && pReg->QueryDWORDValue(REGENTRY_GRIDYAXISNUMFREQ, &dwValue) == ERROR_SUCCESS &&
        static_cast<int>(dwValue) > 0) {
        m_nNumFreq = static_cast<int>(dwValue);
    }
    TRACE(1, L"m_nNumFreq:%d", m_nNumFreq);
    m_strFontName = (lpszFontName != nullptr) ? lpszFontName : L"";
    TRACE(1, L"m_strFontName:%s", m_strFontName.c_str());
    TRACE_LEAVE_VOID();
}

void CGrid::Draw(HDC hDC, const RECT& rcCanvas, const RECT& rcData, const RtPlotAxes& axes, int nLogPixelsY) const
{
    DrawFrame(hDC, rcData);
    DrawVerticalLines(hDC, rcData, axes);
    DrawHorizontalLines(hDC, rcCanvas, rcData, axes, nLogPixelsY);
}

void CGrid::DrawFrame(HDC hDC, const RECT& rcData) const
{
    CBrushHandle brush(CreateSolidBrush(m_bgColor));
    if (brush) {
        FillRect(hDC, &rcData, brush.Get());
    }
    CSelectObject selectPen(hDC, GetStockObject(BLACK_PEN));
    MoveToEx(hDC, rcData.left, rcData.top, nullptr);
    LineTo(hDC, rcData.right, rcData.top);
    MoveToEx(hDC, rcData.left, rcData.top, nullptr);
    LineTo(hDC, rcData.left, rcData.bottom);
    MoveToEx(hDC, rcData.right, rcData.top, nullptr);
    LineTo(hDC, rcData.right, rcData.bottom);
    MoveToEx(hDC, rcData.left, rcData.bottom, nullptr);
    LineTo(hDC, rcData.right + 1, rcData.bottom);
}

void CGrid::DrawVerticalLines(HDC hDC, const RECT& rcData, const RtPlotAxes& axes) const
{
    CPenHandle pen(CreatePenIndirect(&logVertiPen));
    if (!pen) {
        return;
    }
    CSelectObject selectPen(hDC, pen.Get());
    for (int x : RtPlotVerticalLines(rcData.right - rcData.left, axes.nXNum)) {
        MoveToEx(hDC, rcData.left + x, rcData.bottom - 1, nullptr);
        LineTo(hDC, rcData.left + x, rcData.top);
    }
}

void CGrid::DrawHorizontalLines(HDC hDC, const RECT& rcCanvas, const RECT& rcData, const RtPlotAxes& axes,
                                int nLogPixelsY) const
{
    CPenHandle pen(CreatePenIndirect(&logHorizPen));
    CFontHandle font(CreateFontW(-RtPlotLabelFontHeight(nLogPixelsY), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                 DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 DEFAULT_PITCH | FF_DONTCARE, m_strFontName.c_str()));
    if (!pen || !font) {
        return;
    }
    CSelectObject selectFont(hDC, font.Get());
    SIZE sizeA = {};
    GetTextExtentPoint32W(hDC, L"a", 1, &sizeA);
    SetBkMode(hDC, TRANSPARENT);
    SetTextColor(hDC, RGB(0, 0, 0));
    const int nDataHeight = rcData.bottom - rcData.top;
    for (const RtPlotGridLine& line : RtPlotHorizontalLines(nDataHeight, axes, m_nNumFreq)) {
        const int y = rcData.bottom - line.nY;
        if (line.bLabel) {
            WCHAR szLabel[16];
            StringCchPrintfW(szLabel, ARRAYSIZE(szLabel), L"%d", line.nWatt);
            RECT rcLabel = {rcCanvas.left, y - sizeA.cy / 2, rcData.left - 1, y + sizeA.cy / 2};
            DrawTextW(hDC, szLabel, -1, &rcLabel, DT_RIGHT | DT_BOTTOM | DT_SINGLELINE | DT_NOCLIP);
        }
        if (line.nY > 0) {
            CSelectObject selectPen(hDC, (line.nY == nDataHeight) ? GetStockObject(BLACK_PEN) : pen.Get());
            MoveToEx(hDC, rcData.left + 1, y, nullptr);
            LineTo(hDC, rcData.right, y);
        }
    }
}
