// The live plot: a scrolling wattage graph whose newest point is at the right edge. The
// canvas is taller than the window ("MaxWatt" against "VisibleMaxWatt"); the vertical
// scroll bar chooses the part in view. Settings are read once at creation; the
// geometry comes from the pure functions of RtPlotGeometry.h.
#pragma once
#include <windows.h>

#include <string>

#include "CGrid.h"
#include "CSeries.h"
#include "RtPlotGeometry.h"

class CRtPlot {
public:
    CRtPlot();
    ~CRtPlot();
    CRtPlot(const CRtPlot&) = delete;
    CRtPlot& operator=(const CRtPlot&) = delete;

    // The face of the Y labels; set before Create (the stock GUI font's face when empty).
    void SetFontName(LPCWSTR lpszFontName);
    // Reads the settings, creates the window (WS_VSCROLL and WS_TABSTOP added to dwStyle)
    // and snaps its size to the grid. 0, or the error of creating the window.
    DWORD Create(DWORD dwStyle, const RECT& rect, HWND hWndParent, UINT nID);
    void Destroy();

    // Appends a point (watts, negative for none) in the colour of its plan. The first
    // point of the process brings its height into view.
    void AddPoint(double dValue, COLORREF crColor);
    // Has the window repainted.
    void Invalidate();

    // Draws the part of the canvas in view onto hDC at the client's origin.
    void Draw(HDC hDC) const;

    HWND GetSafeHwnd() const { return m_hWnd; }
    const RtPlotAxes& GetAxes() const { return m_axes; }

private:
    static LRESULT CALLBACK StaticWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam);

    void ReadSettings();
    // The width of the widest Y label in the label font.
    int MeasureLabelWidth() const;
    // Snaps the window, then lays out the canvas, the data area and the scroll bar.
    void Layout();
    void ApplyScroll();
    void OnPaint();
    void OnVScroll(int nCode);

    HWND m_hWnd;
    RtPlotAxes m_axes;
    double m_dScale;
    COLORREF m_plotBgCr;
    std::wstring m_strFontName;
    int m_nLogPixelsY;
    RECT m_rcClient;
    RECT m_rcCanvas;
    RECT m_rcData;
    int m_nLabelWidth;
    RtPlotScroll m_view;
    CSeries m_series;
    CGrid m_grid;

    // Whether a point was added in this process yet (the view follows only the first).
    static bool s_bPointAdded;
};
