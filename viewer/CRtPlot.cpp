#include "CRtPlot.h"

#include <windowsx.h>

#include "CMemDC.h"
#include "GdiHandle.h"
#include "MonitorRules.h"
#include "Reg.h"
#include "Trace.h"

static const WCHAR RTPLOT_CLASS_NAME[] = L"QVRtPlot";
static const WCHAR REGENTRY_PLOTXAXISINTERVALS[] = L"PlotXAxisIntervals";
static const WCHAR REGENTRY_MAXWATT[] = L"MaxWatt";
static const WCHAR REGENTRY_VISIBLEMAXWATT[] = L"VisibleMaxWatt";
static const WCHAR REGENTRY_PLOTBGCOLOR[] = L"PlotBgColor";
// WM_VSCROLL messages one wheel notification posts.
static const int RTPLOT_WHEEL_LINES = 3;

bool CRtPlot::s_bPointAdded = false;

CRtPlot::CRtPlot()
    : m_hWnd(nullptr),
      m_axes(RtPlotDefaultAxes()),
      m_dScale(0.0),
      m_plotBgCr(RGB(255, 255, 255)),
      m_strFontName(),
      m_nLogPixelsY(96),
      m_rcClient(),
      m_rcCanvas(),
      m_rcData(),
      m_nLabelWidth(0),
      m_view(),
      m_series(),
      m_grid()
{
}

CRtPlot::~CRtPlot()
{
    Destroy();
}

void CRtPlot::SetFontName(LPCWSTR lpszFontName)
{
    m_strFontName = (lpszFontName != nullptr) ? lpszFontName : L"";
}

void CRtPlot::ReadSettings()
{
    TRACE_ENTER(1);
    CReg cDevInfo;
    DWORD dwResult = cDevInfo.OpenKey(REGKEY_PATH_DEVINFO, KEY_READ);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in OpenKey(REGKEY_PATH_DEVINFO). code:%u", dwResult);
    } else {
        DWORD dwValue = 0;
        if (cDevInfo.QueryDWORDValue(REGENTRY_PLOTXAXISINTERVALS, &dwValue) == ERROR_SUCCESS &&
            RtPlotAcceptXIntervals(dwValue)) {
            m_axes.nXNum = static_cast<int>(dwValue);
        }
        if (cDevInfo.QueryDWORDValue(REGENTRY_MAXWATT, &dwValue) == ERROR_SUCCESS && RtPlotAcceptMaxWatt(dwValue)) {
            m_axes.dMaxRange = dwValue;
        }
        if (cDevInfo.QueryDWORDValue(REGENTRY_VISIBLEMAXWATT, &dwValue) == ERROR_SUCCESS &&
            RtPlotAcceptVisibleMaxWatt(dwValue)) {
            m_axes.nVisibleMaxWatt = static_cast<int>(dwValue);
        }
    }
    TRACE(1, L"xAxis.nNum:%u", m_axes.nXNum);
    TRACE(1, L"yAxis.dMaxRange:%.1lf", m_axes.dMaxRange);
    TRACE(1, L"m_nVisibleMaxWatt:%d", m_axes.nVisibleMaxWatt);

    if (m_strFontName.empty()) {
        LOGFONTW lf = {};
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
        m_strFontName = lf.lfFaceName;
    }
    CReg cMonitor;
    const bool bMonitorKey = (cMonitor.OpenKey(REGKEY_PATH_MONITORANALYZE, KEY_READ) == ERROR_SUCCESS);
    DWORD dwColor = 0;
    if (bMonitorKey && cMonitor.QueryDWORDValue(REGENTRY_PLOTBGCOLOR, &dwColor) == ERROR_SUCCESS) {
        m_plotBgCr = dwColor;
    }
    TRACE(1, L"m_plotBgCr:RGB(%u,%u,%u)", GetRValue(m_plotBgCr), GetGValue(m_plotBgCr), GetBValue(m_plotBgCr));
    m_series.ReadSettings(bMonitorKey ? &cMonitor : nullptr);
    m_grid.ReadSettings(bMonitorKey ? &cMonitor : nullptr, m_strFontName.c_str());
    TRACE_LEAVE_VOID();
}

DWORD CRtPlot::Create(DWORD dwStyle, const RECT& rect, HWND hWndParent, UINT nID)
{
    TRACE_ENTER(1);
    if (hWndParent == nullptr) {
        return TRACE_NULL_ARGUMENT(hWndParent);
    }
    ReadSettings();

    const HINSTANCE hInstance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    if (!GetClassInfoExW(hInstance, RTPLOT_CLASS_NAME, &wc)) {
        wc.cbSize = sizeof(wc);
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = StaticWindowProc;
        wc.hInstance = hInstance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = RTPLOT_CLASS_NAME;
        if (RegisterClassExW(&wc) == 0) {
            const DWORD dwError = GetLastError();
            TRACE(0, L"Fail to RegisterClassEx(). dwRet: %08x.", dwError);
            return TRACE_LEAVE(dwError);
        }
    }
    HWND hWnd = CreateWindowExW(0, RTPLOT_CLASS_NAME, L"", dwStyle | WS_VSCROLL | WS_TABSTOP, rect.left, rect.top,
                                rect.right - rect.left, rect.bottom - rect.top, hWndParent,
                                reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)), hInstance, this);
    if (hWnd == nullptr) {
        const DWORD dwError = GetLastError();
        TRACE(0, L"Fail to CreateWindowEx(). dwRet: %08x.", dwError);
        return TRACE_LEAVE(dwError);
    }
    HDC hDC = GetDC(hWnd);
    if (hDC != nullptr) {
        m_nLogPixelsY = GetDeviceCaps(hDC, LOGPIXELSY);
        ReleaseDC(hWnd, hDC);
    }
    Layout();
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CRtPlot::Destroy()
{
    if (m_hWnd != nullptr) {
        DestroyWindow(m_hWnd);
    }
}

int CRtPlot::MeasureLabelWidth() const
{
    WCHAR szLabel[32];
    RtPlotMaxLabelText(m_axes.dMaxRange, szLabel, ARRAYSIZE(szLabel));
    SIZE size = {};
    HDC hDC = GetDC(m_hWnd);
    if (hDC == nullptr) {
        return RtPlotLabelWidth(0);
    }
    {
        CFontHandle font(CreateFontW(-RtPlotLabelFontHeight(m_nLogPixelsY), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                     DEFAULT_PITCH | FF_DONTCARE, m_strFontName.c_str()));
        CSelectObject selectFont(hDC, font ? static_cast<HGDIOBJ>(font.Get()) : GetStockObject(DEFAULT_GUI_FONT));
        GetTextExtentPoint32W(hDC, szLabel, lstrlenW(szLabel), &size);
    }
    ReleaseDC(m_hWnd, hDC);
    return RtPlotLabelWidth(size.cx);
}

void CRtPlot::Layout()
{
    m_nLabelWidth = MeasureLabelWidth();

    RECT rcWindow = {};
    GetWindowRect(m_hWnd, &rcWindow);
    MapWindowPoints(HWND_DESKTOP, GetParent(m_hWnd), reinterpret_cast<POINT*>(&rcWindow), 2);
    RECT rcClient = {};
    GetClientRect(m_hWnd, &rcClient);
    const RECT rcSnapped = RtPlotSnapWindow(rcWindow, rcClient, m_nLabelWidth, m_axes);
    MoveWindow(m_hWnd, rcSnapped.left, rcSnapped.top, rcSnapped.right - rcSnapped.left,
               rcSnapped.bottom - rcSnapped.top, FALSE);

    m_series.SetCapacity(static_cast<size_t>(m_axes.nXNum) + 1);
    GetClientRect(m_hWnd, &m_rcClient);
    m_rcCanvas = RtPlotCanvas(m_rcClient, m_axes);
    m_view = RtPlotInitialScroll(m_rcCanvas.bottom - m_rcCanvas.top, m_rcClient.bottom - m_rcClient.top, m_axes);
    ApplyScroll();
    m_rcData = RtPlotDataRect(m_rcCanvas, m_nLabelWidth);
    m_dScale = RtPlotScale(m_rcData, m_axes.dMaxRange);
}

void CRtPlot::ApplyScroll()
{
    SCROLLINFO si = {};
    si.cbSize = sizeof(si);
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    si.nMin = 0;
    si.nMax = m_view.nMax;
    si.nPage = m_view.bEnabled ? static_cast<UINT>(m_view.nPage) : static_cast<UINT>(m_view.nMax + 1);
    si.nPos = m_view.bEnabled ? m_view.nPos : 0;
    SetScrollInfo(m_hWnd, SB_VERT, &si, TRUE);
    EnableScrollBar(m_hWnd, SB_VERT, m_view.bEnabled ? ESB_ENABLE_BOTH : ESB_DISABLE_BOTH);
}

void CRtPlot::AddPoint(double dValue, COLORREF crColor)
{
    m_series.AddPoint(dValue, crColor);
    if (!s_bPointAdded) {
        s_bPointAdded = true;
        m_view = RtPlotScrollToValue(m_view, dValue, m_rcCanvas, m_rcData, m_dScale);
        if (m_hWnd != nullptr && m_view.bEnabled) {
            SetScrollPos(m_hWnd, SB_VERT, m_view.nPos, TRUE);
        }
    }
}

void CRtPlot::Invalidate()
{
    if (m_hWnd != nullptr) {
        InvalidateRect(m_hWnd, nullptr, FALSE);
    }
}

void CRtPlot::Draw(HDC hDC) const
{
    // Canvas row nPos lies at the client's top.
    POINT ptOldOrigin = {};
    SetWindowOrgEx(hDC, m_rcClient.left, m_rcClient.top + m_view.nPos, &ptOldOrigin);
    {
        RECT rcView = m_rcClient;
        OffsetRect(&rcView, 0, m_view.nPos);
        CMemDC memDC(hDC, rcView);
        HDC hDrawDC = memDC.GetDC();
        CBrushHandle background(CreateSolidBrush(m_plotBgCr));
        if (background) {
            FillRect(hDrawDC, &rcView, background.Get());
        }
        m_grid.Draw(hDrawDC, m_rcCanvas, m_rcData, m_axes, m_nLogPixelsY);
        m_series.DrawSeries(hDrawDC, m_rcData, m_axes, m_dScale);
    }
    SetWindowOrgEx(hDC, ptOldOrigin.x, ptOldOrigin.y, nullptr);
}

void CRtPlot::OnPaint()
{
    PAINTSTRUCT ps;
    HDC hDC = BeginPaint(m_hWnd, &ps);
    if (hDC != nullptr) {
        Draw(hDC);
    }
    EndPaint(m_hWnd, &ps);
}

void CRtPlot::OnVScroll(int nCode)
{
    SCROLLINFO si = {};
    si.cbSize = sizeof(si);
    si.fMask = SIF_TRACKPOS;
    GetScrollInfo(m_hWnd, SB_VERT, &si);
    const RtPlotScroll view = RtPlotScrollBy(m_view, nCode, si.nTrackPos, m_rcCanvas.bottom - m_rcCanvas.top);
    if (view.nPos != m_view.nPos) {
        m_view = view;
        SetScrollPos(m_hWnd, SB_VERT, m_view.nPos, TRUE);
        InvalidateRect(m_hWnd, nullptr, FALSE);
    }
}

LRESULT CALLBACK CRtPlot::StaticWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_NCCREATE) {
        const CREATESTRUCTW* pCreate = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        CRtPlot* pPlot = static_cast<CRtPlot*>(pCreate->lpCreateParams);
        pPlot->m_hWnd = hWnd;
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pPlot));
    }
    CRtPlot* pPlot = reinterpret_cast<CRtPlot*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (pPlot == nullptr) {
        return DefWindowProcW(hWnd, uMsg, wParam, lParam);
    }
    if (uMsg == WM_NCDESTROY) {
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
        pPlot->m_hWnd = nullptr;
        return DefWindowProcW(hWnd, uMsg, wParam, lParam);
    }
    return pPlot->WindowProc(uMsg, wParam, lParam);
}

LRESULT CRtPlot::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_VSCROLL:
        OnVScroll(LOWORD(wParam));
        return 0;
    case WM_KEYDOWN:
        return 0;
    case WM_RBUTTONDOWN:
        SetFocus(m_hWnd);
        return 0;
    case WM_MOUSEWHEEL: {
        const WPARAM wCode = (GET_WHEEL_DELTA_WPARAM(wParam) < 0) ? SB_LINEDOWN : SB_LINEUP;
        for (int i = 0; i < RTPLOT_WHEEL_LINES; ++i) {
            PostMessageW(m_hWnd, WM_VSCROLL, wCode, 0);
        }
        return 0;
    }
    default:
        return DefWindowProcW(m_hWnd, uMsg, wParam, lParam);
    }
}
