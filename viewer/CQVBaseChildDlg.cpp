#include "CQVBaseChildDlg.h"

#include "FontFace.h"
#include "OwnerDraw.h"
#include "ResString.h"
#include "Trace.h"

CQVBaseChildDlg::CQVBaseChildDlg(UINT nIDTemplate, UINT nIDTitle)
    : CDialog(nIDTemplate), m_nIDTitle(nIDTitle), m_stRootConfig(MakeQVRootConfig()), m_rect()
{
}

CQVBaseChildDlg::~CQVBaseChildDlg() = default;

DWORD CQVBaseChildDlg::Create(HWND /*hWndParent*/)
{
    return 0;
}

LPCWSTR CQVBaseChildDlg::GetTitle()
{
    if (m_strTitle.empty() && m_nIDTitle != 0) {
        m_strTitle = LoadResString(m_nIDTitle);
    }
    return m_strTitle.c_str();
}

DWORD CQVBaseChildDlg::Apply(const void* pData)
{
    TRACE_ENTER(1);
    if (pData == nullptr) {
        return TRACE_NULL_ARGUMENT(pData);
    }
    return TRACE_LEAVE(0);
}

DWORD CQVBaseChildDlg::SetLoggingState(DWORD dwState)
{
    TRACE_ENTER(1);
    if (dwState != 0 && dwState != 1) {
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    m_stRootConfig.dwLoggingState = dwState;
    return TRACE_LEAVE(0);
}

DWORD CQVBaseChildDlg::SetQVRootConfig(const QVRootConfig* pConfig)
{
    TRACE_ENTER(1);
    if (pConfig == nullptr) {
        return TRACE_NULL_ARGUMENT(pConfig);
    }
    m_stRootConfig = *pConfig;
    return TRACE_LEAVE(0);
}

DWORD CQVBaseChildDlg::CreateFromTemplate(HWND hWndParent)
{
    TRACE_ENTER(1);
    DWORD dwResult = 0;
    if (m_stRootConfig.dwOSVersion == QV_OS_XP) {
        m_strFontName = GetDialogFontFace(m_stRootConfig.dwOSVersion);
        TRACE(1, L"m_strFontName:%s", m_strFontName.c_str());
        dwResult = CreateIndirect(hWndParent, m_strFontName.c_str());
        if (dwResult != 0) {
            TRACE(0, L"Fail to CreateIndirect(). dwRet: %08x.", dwResult);
        }
    } else {
        m_strFontName = GetFontFaceName();
        TRACE(1, L"m_strFontName:%s", m_strFontName.c_str());
        dwResult = CreateIndirect(hWndParent, nullptr);
        if (dwResult != 0) {
            TRACE(0, L"Fail to Create(). dwRet: %08x.", dwResult);
        }
    }
    if (dwResult == 0) {
        GetClientRect(m_hWnd, &m_rect);
    }
    return TRACE_LEAVE(dwResult);
}

BOOL CQVBaseChildDlg::OnCommand(WORD wID, WORD wCode, HWND hWndCtl)
{
    if (wID == IDOK || wID == IDCANCEL) {
        return TRUE;
    }
    return CDialog::OnCommand(wID, wCode, hWndCtl);
}

INT_PTR CQVBaseChildDlg::DialogProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_MOUSEMOVE:
        m_ToolTip.RelayEvent(uMsg, wParam, lParam);
        return FALSE;
    case WM_ERASEBKGND:
        if (!DrawParentBackground(m_hWnd, reinterpret_cast<HDC>(wParam))) {
            RECT rc = {};
            GetClientRect(m_hWnd, &rc);
            FillRect(reinterpret_cast<HDC>(wParam), &rc, GetSysColorBrush(COLOR_3DFACE));
        }
        SetMsgResult(TRUE);
        return TRUE;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORDLG:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
    case WM_DESTROY:
        m_ToolTip.Destroy();
        return CDialog::DialogProc(uMsg, wParam, lParam);
    default:
        return CDialog::DialogProc(uMsg, wParam, lParam);
    }
}

BOOL CQVBaseChildDlg::GetControlRect(int nID, RECT* pRect) const
{
    HWND hWndCtl = GetDlgItem(nID);
    if (hWndCtl == nullptr || pRect == nullptr || !GetWindowRect(hWndCtl, pRect)) {
        return FALSE;
    }
    MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(pRect), 2);
    return TRUE;
}

BOOL CQVBaseChildDlg::MoveControl(int nID, int x, int y)
{
    RECT rc = {};
    if (!GetControlRect(nID, &rc)) {
        return FALSE;
    }
    return SetWindowPos(GetDlgItem(nID), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CQVBaseChildDlg::ShowControl(int nID, BOOL bShow)
{
    HWND hWndCtl = GetDlgItem(nID);
    if (hWndCtl != nullptr) {
        ShowWindow(hWndCtl, bShow ? SW_SHOW : SW_HIDE);
    }
}

BOOL CQVBaseChildDlg::SetDlgItemTextIfChanged(int nID, LPCWSTR lpszText)
{
    HWND hWndCtl = GetDlgItem(nID);
    if (hWndCtl == nullptr || lpszText == nullptr) {
        return FALSE;
    }
    int cch = GetWindowTextLengthW(hWndCtl);
    std::wstring current(static_cast<size_t>(cch) + 1, L'\0');
    GetWindowTextW(hWndCtl, &current[0], cch + 1);
    current.resize(static_cast<size_t>(cch));
    if (current == lpszText) {
        return TRUE;
    }
    SetWindowTextW(hWndCtl, lpszText);
    RECT rc = {};
    if (GetControlRect(nID, &rc)) {
        InvalidateRect(m_hWnd, &rc, TRUE);
    }
    return TRUE;
}
