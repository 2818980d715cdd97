// The log analysis pane's histogram.
#include "QVImage.h"

#include <commctrl.h>
#include <math.h>
#include <stdio.h>

#include <algorithm>
#include <strsafe.h>

#include "Trace.h"

namespace {

const int kLabelFontSize = 18;
const int kGradationPeak = 35;
const int kGradationStrength = 80;
const int kBandTextMargin = 4;
const double kLabelSample = 24000.0;  // the widest Y label

std::wstring Format1(LPCWSTR lpFormat, double d)
{
    WCHAR sz[256];
    StringCchPrintfW(sz, ARRAYSIZE(sz), lpFormat, d);  // a text that does not fit is cut
    return sz;
}

std::wstring Format2(LPCWSTR lpFormat, double d1, double d2)
{
    WCHAR sz[256];
    StringCchPrintfW(sz, ARRAYSIZE(sz), lpFormat, d1, d2);  // a text that does not fit is cut
    return sz;
}

// Selects a GDI object into a DC for one scope.
class CSelect {
public:
    CSelect(HDC hDC, HGDIOBJ hObj) : m_hDC(hDC), m_hOld(SelectObject(hDC, hObj)) {}
    ~CSelect() { SelectObject(m_hDC, m_hOld); }
    CSelect(const CSelect&) = delete;
    CSelect& operator=(const CSelect&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};

// Deletes a GDI object at the end of a scope.
class CGdiObject {
public:
    explicit CGdiObject(HGDIOBJ hObj) : m_hObj(hObj) {}
    ~CGdiObject()
    {
        if (m_hObj != nullptr) {
            DeleteObject(m_hObj);
        }
    }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    HGDIOBJ Get() const { return m_hObj; }

private:
    HGDIOBJ m_hObj;
};

void DrawLine(HDC hDC, COLORREF cr, int x0, int y0, int x1, int y1)
{
    CGdiObject pen(CreatePen(PS_SOLID, 1, cr));
    if (pen.Get() == nullptr) {
        return;
    }
    CSelect select(hDC, pen.Get());
    MoveToEx(hDC, x0, y0, nullptr);
    LineTo(hDC, x1, y1);
}

void FillSolid(HDC hDC, const RECT& rc, COLORREF cr)
{
    const COLORREF crOld = SetBkColor(hDC, cr);
    ExtTextOutW(hDC, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
    SetBkColor(hDC, crOld);
}

}  // namespace

CQVImage::CQVImage()
    : m_hMemDC(nullptr), m_hBitmap(nullptr), m_hOldBitmap(nullptr), m_rcClient(), m_hWnd(nullptr), m_strFontName(),
      m_nPrevPPTipNum(kQVPlanTipFirst), m_nPrevPSTipNum(kQVStateTipFirst), m_nPrevBarTipNum(kQVBarTipFirst)
{
}

CQVImage::~CQVImage()
{
    TRACE_FUNCTION();
    const DWORD dwRet = Finalize();
    if (dwRet != ERROR_SUCCESS) {
        TRACE(0, L"Fail to Finalize(). dwRet: %08x.", dwRet);
    }
}

DWORD CQVImage::Initialize(HWND hWnd, LPCWSTR lpFontName)
{
    TRACE_ENTER(1);
    if (hWnd == nullptr) {
        return TRACE_NULL_ARGUMENT(hWnd);
    }
    StringCchCopyW(m_strFontName, ARRAYSIZE(m_strFontName), (lpFontName != nullptr) ? lpFontName : L"");
    TRACE(1, L"m_strFontName:%s", m_strFontName);
    RECT rc = {};
    if (!GetClientRect(hWnd, &rc)) {
        const DWORD dwError = GetLastError();
        return TRACE_LEAVE(dwError);
    }
    HDC hDC = GetDC(hWnd);
    const DWORD dwRet = SetMemDC(hDC, rc);
    if (hDC != nullptr) {
        ReleaseDC(hWnd, hDC);
    }
    if (dwRet == ERROR_SUCCESS) {
        m_hWnd = hWnd;
    }
    return TRACE_LEAVE(dwRet);
}

DWORD CQVImage::Finalize()
{
    TRACE_ENTER(2);
    if (m_hMemDC != nullptr) {
        if (m_hOldBitmap != nullptr) {
            SelectObject(m_hMemDC, m_hOldBitmap);
        }
        DeleteDC(m_hMemDC);
    }
    if (m_hBitmap != nullptr) {
        DeleteObject(m_hBitmap);
    }
    m_hMemDC = nullptr;
    m_hBitmap = nullptr;
    m_hOldBitmap = nullptr;
    m_hWnd = nullptr;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQVImage::SetMemDC(HDC hDC, const RECT& rc)
{
    TRACE_ENTER(2);
    Finalize();
    const int cx = std::max<int>(rc.right - rc.left, 1);
    const int cy = std::max<int>(rc.bottom - rc.top, 1);
    HDC hMemDC = CreateCompatibleDC(hDC);
    HBITMAP hBitmap = (hMemDC != nullptr) ? CreateCompatibleBitmap((hDC != nullptr) ? hDC : hMemDC, cx, cy) : nullptr;
    if (hBitmap == nullptr) {
        if (hMemDC != nullptr) {
            DeleteDC(hMemDC);
        }
        TRACE(0, L"Fail to create the memory bitmap.");
        return TRACE_LEAVE(ERROR_NOT_ENOUGH_MEMORY);
    }
    m_hMemDC = hMemDC;
    m_hBitmap = hBitmap;
    m_hOldBitmap = SelectObject(m_hMemDC, m_hBitmap);
    m_rcClient = {0, 0, cx, cy};
    SetBkMode(m_hMemDC, TRANSPARENT);
    return TRACE_LEAVE(FillBgColor(m_rcClient, GetSysColor(COLOR_BTNFACE)));
}

DWORD CQVImage::FillBgColor(const RECT& rc, COLORREF cr)
{
    TRACE_ENTER(2);
    if (m_hMemDC == nullptr) {
        return TRACE_NULL_ARGUMENT(m_hMemDC);
    }
    FillSolid(m_hMemDC, rc, cr);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQVImage::Update(HWND hWnd, HDC hPaintDC, const RECT& rcUpdate)
{
    TRACE_ENTER(2);
    if (m_hMemDC == nullptr) {
        return TRACE_NULL_ARGUMENT(m_hMemDC);
    }
    if (hWnd == nullptr) {
        return TRACE_NULL_ARGUMENT(hWnd);
    }
    if (hPaintDC == nullptr) {
        return TRACE_NULL_ARGUMENT(hPaintDC);
    }
    RECT rcClip = {};
    if (GetClipBox(hPaintDC, &rcClip) != NULLREGION && !IsRectEmpty(&rcUpdate)) {
        BitBlt(hPaintDC, rcUpdate.left, rcUpdate.top, rcUpdate.right - rcUpdate.left, rcUpdate.bottom - rcUpdate.top,
               m_hMemDC, rcUpdate.left, rcUpdate.top, SRCCOPY);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

HFONT CQVImage::CreateWorkFont(int nSize) const
{
    double dFactor = 1.0;
    HDC hScreen = GetDC(nullptr);
    if (hScreen != nullptr) {
        dFactor = GetDeviceCaps(hScreen, LOGPIXELSY) / 96.0;
        ReleaseDC(nullptr, hScreen);
    }
    LOGFONTW lf = {};
    lf.lfHeight = WorkFontHeight(nSize, dFactor);  // a cell height
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    StringCchCopyW(lf.lfFaceName, ARRAYSIZE(lf.lfFaceName), m_strFontName);
    return CreateFontIndirectW(&lf);
}

DWORD CQVImage::DrawLogGraph(DWORD dwMode, DWORD dwCnrType, const std::vector<QVLogBar>& bars,
                             const QVHistogramSettings& settings, HWND hTipOwner, HWND hTip)
{
    TRACE_ENTER(1);
    if (m_hMemDC == nullptr) {
        return TRACE_NULL_ARGUMENT(m_hMemDC);
    }
    FillBgColor(m_rcClient, settings.dwAreaColor);

    SIZE szLabel = {};
    {
        CGdiObject font(CreateWorkFont(kLabelFontSize));
        CSelect select(m_hMemDC, font.Get() != nullptr ? font.Get() : GetStockObject(DEFAULT_GUI_FONT));
        const std::wstring strSample = Format1(L"%.f", kLabelSample);
        GetTextExtentPoint32W(m_hMemDC, strSample.c_str(), static_cast<int>(strSample.size()), &szLabel);
    }
    m_layout = ComputeLogGraphLayout(m_rcClient, szLabel, dwMode);
    m_scale = ComputeLogYScale(MaxBarWh(bars), settings.minRanges.ForMode(dwMode));

    DWORD dwRet = DrawHistogram(m_layout.rcBars, settings, bars, m_scale, dwCnrType, hTipOwner, hTip);
    if (dwRet != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwRet);
    }
    DrawYLabels(m_layout.rcYLabels, settings, m_scale);
    dwRet = DrawHLabel(m_layout.rcXLabels, settings, bars, dwMode);
    if (dwRet != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwRet);
    }
    if (!IsRectEmpty(&m_layout.rcPlanBand)) {
        dwRet = DrawCombineLabel(m_layout.rcPlanBand, settings, bars, kQVBandPowerPlan, hTipOwner, hTip);
        if (dwRet == ERROR_SUCCESS) {
            dwRet = DrawCombineLabel(m_layout.rcStateBand, settings, bars, kQVBandPowerState, hTipOwner, hTip);
        }
    } else {
        DelToolTipDaily(kQVBandPowerPlan, hTipOwner, hTip);
        DelToolTipDaily(kQVBandPowerState, hTipOwner, hTip);
    }
    return TRACE_LEAVE(dwRet);
}

DWORD CQVImage::DrawHistogram(const RECT& rc, const QVHistogramSettings& settings, const std::vector<QVLogBar>& bars,
                              const QVLogYScale& scale, DWORD dwCnrType, HWND hTipOwner, HWND hTip)
{
    TRACE_ENTER(1);
    if (m_hMemDC == nullptr) {
        return TRACE_NULL_ARGUMENT(m_hMemDC);
    }
    std::vector<QVBarRects> rects;
    const DWORD dwRet = LayoutHistogramBars(rc, bars, scale.dRange, &rects);
    if (dwRet != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwRet);
    }
    DelBarTips(hTipOwner, hTip);
    FillSolid(m_hMemDC, rc, settings.dwBgColor);

    const int nHeight = rc.bottom - rc.top;
    for (int k = 1; k <= scale.nLines; ++k) {
        if (IsGridLineDrawn(k, scale.nLines)) {
            const int y = LogGraphValueY(rc.bottom, nHeight, k * scale.dStep, scale.dRange);
            DrawLine(m_hMemDC, settings.dwGridColor, rc.left, y, rc.right, y);
        }
    }
    for (size_t i = 0; i < rects.size(); ++i) {
        if (!rects[i].bShown) {
            continue;
        }
        DrawHorizontalGradation(rects[i].rcEnergy, settings.dwFgColor, kGradationPeak, kGradationStrength, true);
        if (!IsRectEmpty(&rects[i].rcQuo)) {
            DrawHorizontalGradation(rects[i].rcQuo, settings.dwQuoFgColor, kGradationPeak, kGradationStrength, true);
        }
        const std::wstring strTip =
            (dwCnrType == CNR_CONSUMER)
                ? Format2(settings.strBarTipConsumer.c_str(), RoundHalfUp(bars[i].dQuoWh), RoundHalfUp(bars[i].dEnergyWh))
                : Format1(settings.strBarTipCommercial.c_str(), RoundHalfUp(bars[i].dEnergyWh));
        RECT rcTip = rects[i].rcSlot;
        rcTip.top = std::min(rects[i].rcEnergy.top, IsRectEmpty(&rects[i].rcQuo) ? rcTip.bottom : rects[i].rcQuo.top);
        AddTip(hTipOwner, hTip, m_nPrevBarTipNum++, rcTip, strTip);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQVImage::DrawHorizontalGradation(const RECT& rc, COLORREF cr, int nPeak, int nStrength, bool bDarken)
{
    TRACE_ENTER(2);
    if (m_hMemDC == nullptr) {
        return TRACE_NULL_ARGUMENT(m_hMemDC);
    }
    const std::vector<COLORREF> columns = GradationColumns(rc.right - rc.left, cr, nPeak, nStrength, bDarken);
    for (size_t i = 0; i < columns.size(); ++i) {
        const RECT rcColumn = {rc.left + static_cast<LONG>(i), rc.top, rc.left + static_cast<LONG>(i) + 1, rc.bottom};
        FillSolid(m_hMemDC, rcColumn, columns[i]);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQVImage::DrawYLabels(const RECT& rc, const QVHistogramSettings& settings, const QVLogYScale& scale)
{
    TRACE_ENTER(2);
    if (m_hMemDC == nullptr) {
        return TRACE_NULL_ARGUMENT(m_hMemDC);
    }
    CGdiObject font(CreateWorkFont(kLabelFontSize));
    CSelect select(m_hMemDC, font.Get() != nullptr ? font.Get() : GetStockObject(DEFAULT_GUI_FONT));
    SetTextColor(m_hMemDC, settings.dwLabelColor);
    TEXTMETRICW tm = {};
    GetTextMetricsW(m_hMemDC, &tm);
    const int nHeight = rc.bottom - rc.top;
    for (int k = 0; k <= scale.nLines; ++k) {
        // A label only where a grid line is drawn: labels of every step overlap.
        if (k != 0 && !IsGridLineDrawn(k, scale.nLines)) {
            continue;
        }
        const double dValue = floor(k * scale.dStep * 10.0 + 0.5) / 10.0;
        const int y = LogGraphValueY(rc.bottom, nHeight, k * scale.dStep, scale.dRange);
        RECT rcText = {rc.left, y - tm.tmHeight / 2, rc.right - 4, y - tm.tmHeight / 2 + tm.tmHeight};
        std::wstring strText = Format1(L"%.f", dValue);
        DrawTextW(m_hMemDC, strText.c_str(), -1, &rcText, DT_RIGHT | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQVImage::DrawHLabel(const RECT& rc, const QVHistogramSettings& settings, const std::vector<QVLogBar>& bars,
                           DWORD dwMode)
{
    TRACE_ENTER(2);
    if (m_hMemDC == nullptr) {
        return TRACE_NULL_ARGUMENT(m_hMemDC);
    }
    if (bars.size() > kQVMaxLogBars) {
        TRACE(0, L"Invalid data count. uGraphCount: %d.", static_cast<int>(bars.size()));
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    CGdiObject font(CreateWorkFont(kLabelFontSize));
    CSelect select(m_hMemDC, font.Get() != nullptr ? font.Get() : GetStockObject(DEFAULT_GUI_FONT));
    SetTextColor(m_hMemDC, settings.dwLabelColor);
    const bool bDay = dwMode == QV_LOGMODE_DAY || dwMode > QV_LOGMODE_YEAR;
    std::vector<SIZE> extents(bars.size());
    int nMaxWidth = 0;
    for (size_t i = 0; i < bars.size(); ++i) {
        GetTextExtentPoint32W(m_hMemDC, bars[i].strLabel.c_str(), static_cast<int>(bars[i].strLabel.size()), &extents[i]);
        nMaxWidth = std::max<int>(nMaxWidth, extents[i].cx);
    }
    const int nSlotWidth = bars.empty() ? 0 : (rc.right - rc.left) / static_cast<int>(bars.size());
    const size_t nStride = LogLabelStride(nMaxWidth, nSlotWidth);
    for (size_t i = 0; i < bars.size(); i += nStride) {
        const QVSpan span = LogBarSpan(rc.left, rc.right - rc.left, i, bars.size());
        RECT rcText = {span.nLeft, rc.top, span.nRight, rc.bottom};
        UINT uFormat = DT_BOTTOM | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;
        if (bDay) {
            OffsetRect(&rcText, -extents[i].cx / 2, 0);
            rcText.right = std::max<LONG>(rcText.right, rcText.left + extents[i].cx);
            uFormat |= DT_LEFT;
        } else {
            if (extents[i].cx > rcText.right - rcText.left) {  // wider than its slot: centred over it
                rcText.left = (span.nLeft + span.nRight - extents[i].cx) / 2;
                rcText.right = rcText.left + extents[i].cx;
            }
            uFormat |= DT_CENTER;
        }
        DrawTextW(m_hMemDC, bars[i].strLabel.c_str(), -1, &rcText, uFormat);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQVImage::DrawCombineLabel(const RECT& rc, const QVHistogramSettings& settings,
                                 const std::vector<QVLogBar>& bars, int nKind, HWND hTipOwner, HWND hTip)
{
    TRACE_ENTER(2);
    if (m_hMemDC == nullptr) {
        return TRACE_NULL_ARGUMENT(m_hMemDC);
    }
    if (bars.size() > kQVMaxLogBars) {
        TRACE(0, L"Invalid data count. uGraphCount: %d.", static_cast<int>(bars.size()));
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    DelToolTipDaily(nKind, hTipOwner, hTip);
    QVBand QVLogBar::*band = (nKind == kQVBandPowerPlan) ? &QVLogBar::planBand : &QVLogBar::stateBand;
    std::vector<QVBandSegment> segments;
    const DWORD dwRet = CombineBandSegments(bars, band, &segments);
    if (dwRet != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwRet);
    }
    CGdiObject font(CreateWorkFont(kLabelFontSize));
    CSelect select(m_hMemDC, font.Get() != nullptr ? font.Get() : GetStockObject(DEFAULT_GUI_FONT));
    UINT& nNextTip = (nKind == kQVBandPowerPlan) ? m_nPrevPPTipNum : m_nPrevPSTipNum;
    const int nWidth = rc.right - rc.left;
    for (const QVBandSegment& segment : segments) {
        const QVBand& first = bars[segment.nFirst].*band;
        const RECT rcSegment = {LogBarSpan(rc.left, nWidth, segment.nFirst, bars.size()).nLeft, rc.top,
                                LogBarSpan(rc.left, nWidth, segment.nLast, bars.size()).nRight, rc.bottom};
        FillSolid(m_hMemDC, rcSegment, first.colors.crFg);
        DrawLine(m_hMemDC, settings.dwBandLabelColor, rcSegment.left, rcSegment.top, rcSegment.left, rcSegment.bottom);

        RECT rcText = rcSegment;
        InflateRect(&rcText, -kBandTextMargin, 0);
        SetTextColor(m_hMemDC, first.colors.crLabel);
        SIZE sz = {};
        GetTextExtentPoint32W(m_hMemDC, first.strText.c_str(), static_cast<int>(first.strText.size()), &sz);
        SIZE szFirst = {};
        GetTextExtentPoint32W(m_hMemDC, first.strText.c_str(), first.strText.empty() ? 0 : 1, &szFirst);
        if (szFirst.cx > rcText.right - rcText.left) {
            // Not even one character fits: the segment's tooltip tells its text.
        } else if (sz.cx <= rcText.right - rcText.left) {
            DrawTextW(m_hMemDC, first.strText.c_str(), -1, &rcText, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        } else {
            RECT rcCalc = rcText;
            DrawTextW(m_hMemDC, first.strText.c_str(), -1, &rcCalc, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
            const int nTextHeight = rcCalc.bottom - rcCalc.top;
            rcText.top = std::max<LONG>(rcText.top, rcText.top + ((rcText.bottom - rcText.top) - nTextHeight) / 2);
            DrawTextW(m_hMemDC, first.strText.c_str(), -1, &rcText, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
        }
        AddTip(hTipOwner, hTip, nNextTip++, rcSegment, first.strText);
    }
    {
        CGdiObject pen(CreatePen(PS_SOLID, 1, settings.dwBandLabelColor));
        CSelect selectPen(m_hMemDC, pen.Get() != nullptr ? pen.Get() : GetStockObject(BLACK_PEN));
        CSelect selectBrush(m_hMemDC, GetStockObject(NULL_BRUSH));
        Rectangle(m_hMemDC, rc.left, rc.top, rc.right, rc.bottom);
    }
    if (nKind == kQVBandPowerPlan) {
        TRACE(2, L"Add \"POWERPLAN_DATA\". m_nPrevPPTipNum=%u.", m_nPrevPPTipNum);
    } else {
        TRACE(2, L"Add \"POWERSTATE_DATA\". m_nPrevPSTipNum=%u.", m_nPrevPSTipNum);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CQVImage::DelToolTipDaily(int nKind, HWND hTipOwner, HWND hTip)
{
    TRACE_ENTER(2);
    if (nKind == kQVBandPowerPlan) {
        while (m_nPrevPPTipNum > kQVPlanTipFirst) {
            DelTip(hTipOwner, hTip, --m_nPrevPPTipNum);
        }
        TRACE(2, L"Delete \"POWERPLAN_DATA\". m_nPrevPPTipNum=%u.", m_nPrevPPTipNum);
    } else {
        while (m_nPrevPSTipNum > kQVStateTipFirst) {
            DelTip(hTipOwner, hTip, --m_nPrevPSTipNum);
        }
        TRACE(2, L"Delete \"POWERSTATE_DATA\". m_nPrevPSTipNum=%u.", m_nPrevPSTipNum);
    }
    TRACE_LEAVE_VOID();
}

void CQVImage::DelBarTips(HWND hTipOwner, HWND hTip)
{
    while (m_nPrevBarTipNum > kQVBarTipFirst) {
        DelTip(hTipOwner, hTip, --m_nPrevBarTipNum);
    }
}

void CQVImage::AddTip(HWND hTipOwner, HWND hTip, UINT nId, const RECT& rc, const std::wstring& strText)
{
    if (hTip == nullptr || hTipOwner == nullptr) {
        return;
    }
    TOOLINFOW ti = {};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.uFlags = TTF_SUBCLASS;
    ti.hwnd = hTipOwner;
    ti.uId = nId;
    ti.rect = rc;
    // The image's coordinates are those of its control; the tips live in the owner's.
    if (m_hWnd != nullptr && m_hWnd != hTipOwner) {
        MapWindowPoints(m_hWnd, hTipOwner, reinterpret_cast<POINT*>(&ti.rect), 2);
    }
    ti.lpszText = const_cast<LPWSTR>(strText.c_str());
    SendMessageW(hTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void CQVImage::DelTip(HWND hTipOwner, HWND hTip, UINT nId)
{
    if (hTip == nullptr || hTipOwner == nullptr) {
        return;
    }
    TOOLINFOW ti = {};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.hwnd = hTipOwner;
    ti.uId = nId;
    SendMessageW(hTip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}
