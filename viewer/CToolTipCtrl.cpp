#include "CToolTipCtrl.h"

#include <commctrl.h>

#include "CWinApp.h"

CToolTipCtrl::CToolTipCtrl() : m_hWnd(nullptr), m_hWndOwner(nullptr) {}

CToolTipCtrl::~CToolTipCtrl()
{
    Destroy();
}

DWORD CToolTipCtrl::Create(HWND hWndOwner)
{
    if (hWndOwner == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (m_hWnd != nullptr) {
        return ERROR_ALREADY_INITIALIZED;
    }
    m_hWnd = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hWndOwner, nullptr,
                             CWinApp::GetInstanceHandle(), nullptr);
    if (m_hWnd == nullptr) {
        return GetLastError();
    }
    m_hWndOwner = hWndOwner;
    return 0;
}

BOOL CToolTipCtrl::AddTool(UINT_PTR nToolId, const RECT& rcTool, LPWSTR lpszText)
{
    if (m_hWnd == nullptr) {
        return FALSE;
    }
    TTTOOLINFOW ti = {};
    ti.cbSize = sizeof(ti);
    ti.hwnd = m_hWndOwner;
    ti.uId = nToolId;
    ti.rect = rcTool;
    ti.hinst = CWinApp::GetInstanceHandle();
    ti.lpszText = lpszText;
    return SendMessageW(m_hWnd, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti)) != 0;
}

BOOL CToolTipCtrl::AddControlTool(int nCtlId, LPWSTR lpszText)
{
    HWND hWndCtl = GetDlgItem(m_hWndOwner, nCtlId);
    RECT rc = {};
    if (hWndCtl == nullptr || !GetWindowRect(hWndCtl, &rc)) {
        return FALSE;
    }
    MapWindowPoints(nullptr, m_hWndOwner, reinterpret_cast<POINT*>(&rc), 2);
    return AddTool(static_cast<UINT_PTR>(nCtlId), rc, lpszText);
}

void CToolTipCtrl::SetToolRect(UINT_PTR nToolId, const RECT& rcTool)
{
    if (m_hWnd == nullptr) {
        return;
    }
    TTTOOLINFOW ti = {};
    ti.cbSize = sizeof(ti);
    ti.hwnd = m_hWndOwner;
    ti.uId = nToolId;
    ti.rect = rcTool;
    SendMessageW(m_hWnd, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&ti));
}

void CToolTipCtrl::SetMaxTipWidth(int nWidth)
{
    if (m_hWnd != nullptr) {
        SendMessageW(m_hWnd, TTM_SETMAXTIPWIDTH, 0, nWidth);
    }
}

void CToolTipCtrl::RelayEvent(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (m_hWnd == nullptr) {
        return;
    }
    MSG msg = {};
    msg.hwnd = m_hWndOwner;
    msg.message = uMsg;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetMessageTime();
    DWORD dwPos = GetMessagePos();
    msg.pt.x = static_cast<short>(LOWORD(dwPos));
    msg.pt.y = static_cast<short>(HIWORD(dwPos));
    SendMessageW(m_hWnd, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
}

void CToolTipCtrl::Destroy()
{
    if (m_hWnd != nullptr) {
        DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
    }
    m_hWndOwner = nullptr;
}
