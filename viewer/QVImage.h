// CQVImage draws the log analysis pane's histogram into an off-screen bitmap the size of
// its control and copies it onto the control when the pane paints: background, Y grid
// and labels, one bar per QVLogBar (energy with the QUO energy stacked on top), the X
// labels and, in the day view, the power plan and power state bands (runs of equal
// text merged). It owns the tooltips over bars (ids from 1), state band segments (ids
// from 101) and plan band segments (ids from 201) in the pane's tooltip control.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "LogBars.h"
#include "LogGraphMath.h"

// What the pane hands to the image besides the bars.
struct QVHistogramSettings {
    COLORREF dwFgColor = RGB(250, 150, 0);      // energy part of a bar
    COLORREF dwQuoFgColor = RGB(158, 239, 59);  // QUO part of a bar
    COLORREF dwBgColor = RGB(0, 0, 0);          // plot background
    COLORREF dwGridColor = RGB(0, 80, 0);
    COLORREF dwLabelColor = RGB(0, 0, 0);       // axis labels
    COLORREF dwBandLabelColor = RGB(0, 0, 0);   // band frames and dividers
    COLORREF dwAreaColor = GetSysColor(COLOR_BTNFACE);  // around the plot
    QVLogMinRanges minRanges;
    // Bar tooltip formats: "%.0f" of the QUO energy, then of the energy (consumer), or
    // of the energy alone (other models).
    std::wstring strBarTipConsumer;
    std::wstring strBarTipCommercial;
};

// Tooltip ids of the kinds of tips.
const UINT kQVBarTipFirst = 1;
const UINT kQVStateTipFirst = 101;
const UINT kQVPlanTipFirst = 201;
// Band kinds of DrawCombineLabel and DelToolTipDaily.
const int kQVBandPowerPlan = 3;
const int kQVBandPowerState = 4;

class CQVImage {
public:
    CQVImage();
    ~CQVImage();
    CQVImage(const CQVImage&) = delete;
    CQVImage& operator=(const CQVImage&) = delete;

    // Takes the control's client rectangle and makes the memory bitmap; lpFontName is
    // the face of every text drawn (at most 31 characters are kept). 87 for a null
    // window, 8 when the bitmap cannot be made.
    DWORD Initialize(HWND hWnd, LPCWSTR lpFontName);
    // Releases the bitmap and DC; safe to repeat.
    DWORD Finalize();

    // (Re)creates the memory DC and a bitmap of rc's size compatible with hDC, and fills
    // it. 8 on failure.
    DWORD SetMemDC(HDC hDC, const RECT& rc);
    // Fills rc of the memory DC with cr. 87 without a memory DC.
    DWORD FillBgColor(const RECT& rc, COLORREF cr);
    // Copies the bitmap onto hWnd's DC at its update region (call while painting hWnd,
    // with the DC of BeginPaint). 87 without a memory DC or window.
    DWORD Update(HWND hWnd, HDC hPaintDC, const RECT& rcUpdate);

    // Lays out and draws the whole histogram for the view: the plot, grid, bars, labels
    // and, in the day view, the bands; the tips go to hTip, with tool rectangles in the
    // client coordinates of hTipOwner. 87 for more than 48 bars.
    DWORD DrawLogGraph(DWORD dwMode, DWORD dwCnrType, const std::vector<QVLogBar>& bars,
                       const QVHistogramSettings& settings, HWND hTipOwner, HWND hTip);

    // The parts of DrawLogGraph, in the memory DC's coordinates.
    DWORD DrawHistogram(const RECT& rc, const QVHistogramSettings& settings, const std::vector<QVLogBar>& bars,
                        const QVLogYScale& scale, DWORD dwCnrType, HWND hTipOwner, HWND hTip);
    DWORD DrawHorizontalGradation(const RECT& rc, COLORREF cr, int nPeak, int nStrength, bool bDarken);
    DWORD DrawYLabels(const RECT& rc, const QVHistogramSettings& settings, const QVLogYScale& scale);
    DWORD DrawHLabel(const RECT& rc, const QVHistogramSettings& settings, const std::vector<QVLogBar>& bars,
                     DWORD dwMode);
    DWORD DrawCombineLabel(const RECT& rc, const QVHistogramSettings& settings, const std::vector<QVLogBar>& bars,
                           int nKind, HWND hTipOwner, HWND hTip);
    void DelToolTipDaily(int nKind, HWND hTipOwner, HWND hTip);

    HDC MemDC() const { return m_hMemDC; }
    const RECT& ClientRect() const { return m_rcClient; }
    // The layout and scale of the last DrawLogGraph.
    const QVLogGraphLayout& Layout() const { return m_layout; }
    const QVLogYScale& Scale() const { return m_scale; }

private:
    // A font of nSize points at the screen's dpi; the caller deletes it.
    HFONT CreateWorkFont(int nSize) const;
    void AddTip(HWND hTipOwner, HWND hTip, UINT nId, const RECT& rc, const std::wstring& strText);
    void DelTip(HWND hTipOwner, HWND hTip, UINT nId);
    void DelBarTips(HWND hTipOwner, HWND hTip);

    HDC m_hMemDC;
    HBITMAP m_hBitmap;
    HGDIOBJ m_hOldBitmap;
    RECT m_rcClient;
    HWND m_hWnd;
    WCHAR m_strFontName[LF_FACESIZE];
    UINT m_nPrevPPTipNum;
    UINT m_nPrevPSTipNum;
    UINT m_nPrevBarTipNum;
    QVLogGraphLayout m_layout;
    QVLogYScale m_scale;
};
