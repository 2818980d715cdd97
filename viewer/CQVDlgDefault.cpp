#include "CQVDlgDefault.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <new>

#include "CQVChildDlgLog.h"
#include "CQVChildDlgMonitor.h"
#include "CQVChildDlgRealtime.h"
#include "CWinApp.h"
#include "FontFace.h"
#include "GdiHandle.h"
#include "OwnerDraw.h"
#include "PipeCmd.h"
#include "QuoLog.h"
#include "QVPipeRecord.h"
#include "ResString.h"
#include "TabLabels.h"
#include "Trace.h"
#include "resource.h"

const WCHAR CQVDlgDefault::kLoggingButtonMutex[] = L"MutexLoggingButton";

namespace {

// The dialog's picture, loaded once per process, and the same stretched to the
// dialog's client size (made again when that size changes).
struct Background {
    CBitmapHandle picture;
    SIZE pictureSize = {};
    CBitmapHandle stretched;
    SIZE stretchedSize = {};
};

Background& TheBackground()
{
    static Background background;
    return background;
}

// The picture stretched to cx by cy; null when it cannot be made.
HBITMAP StretchedBackground(HDC hDC, int cx, int cy)
{
    Background& bg = TheBackground();
    if (!bg.picture) {
        bg.picture.Reset(static_cast<HBITMAP>(LoadImageW(CWinApp::GetInstanceHandle(),
                                                         MAKEINTRESOURCEW(IDB_BMP_BACKGROUND), IMAGE_BITMAP, 0, 0,
                                                         LR_CREATEDIBSECTION)));
        BITMAP bm = {};
        if (!bg.picture || GetObjectW(bg.picture.Get(), sizeof(bm), &bm) == 0) {
            return nullptr;
        }
        bg.pictureSize = {bm.bmWidth, bm.bmHeight};
    }
    if (bg.stretched && bg.stretchedSize.cx == cx && bg.stretchedSize.cy == cy) {
        return bg.stretched.Get();
    }
    CBitmapHandle stretched(CreateCompatibleBitmap(hDC, cx, cy));
    CCompatibleDC srcDC(hDC);
    CCompatibleDC dstDC(hDC);
    if (!stretched || srcDC.Get() == nullptr || dstDC.Get() == nullptr) {
        return nullptr;
    }
    {
        CSelectObject selectSrc(srcDC.Get(), bg.picture.Get());
        CSelectObject selectDst(dstDC.Get(), stretched.Get());
        SetStretchBltMode(dstDC.Get(), HALFTONE);
        SetBrushOrgEx(dstDC.Get(), 0, 0, nullptr);
        StretchBlt(dstDC.Get(), 0, 0, cx, cy, srcDC.Get(), 0, 0, bg.pictureSize.cx, bg.pictureSize.cy, SRCCOPY);
    }
    bg.stretched = std::move(stretched);
    bg.stretchedSize = {cx, cy};
    return bg.stretched.Get();
}

}  // namespace

CQVDlgDefault::CQVDlgDefault()
    : CQVDlgRealtime(IDD_QVDLG_DEFAULT), m_pChildDlgLog(nullptr), m_pChildDlgMonitor(nullptr)
{
}

CQVDlgDefault::~CQVDlgDefault()
{
    DestroyLogChildDialog();
}

INT_PTR CQVDlgDefault::DoModal()
{
    if (m_stRootConfig.dwOSVersion == QV_OS_XP) {
        return CDialog::DoModal(nullptr, GetDialogFontFace(m_stRootConfig.dwOSVersion).c_str());
    }
    return CDialog::DoModal(nullptr, nullptr);
}

BOOL CQVDlgDefault::OnInitDialog()
{
    TRACE_ENTER(1);
    CQVBaseDlg::OnInitDialog();
    // The picture is painted behind the panes by the panes themselves (through
    // WM_DRAWBACKGROUND): the dialog and the placeholder of the realtime pane must not
    // paint over their children.
    for (HWND hWnd : {m_hWnd, GetDlgItem(IDC_REALTIME_ANALYZE)}) {
        if (hWnd != nullptr) {
            SetWindowLongPtrW(hWnd, GWL_STYLE, GetWindowLongPtrW(hWnd, GWL_STYLE) | WS_CLIPCHILDREN);
        }
    }
    SetWindowTextW(m_hWnd, LoadResString(ProductNameStringId(m_stRootConfig.cnrType)).c_str());
    DWORD dwResult = m_MutexLoggingButton.Initialize(kLoggingButtonMutex, 0);
    if (dwResult != 0) {
        TRACE(0, L"Fail to create MutexLoggingButton. dwRet: %08x.", dwResult);
    }
    dwResult = Initialize();
    if (dwResult != 0) {
        TRACE(0, L"Fail to Initialize(). dwRet: %08x.", dwResult);
    }
    return TRACE_LEAVE_VALUE(TRUE);
}

DWORD CQVDlgDefault::Initialize()
{
    TRACE_ENTER(1);
    DWORD dwResult = InitializeRealtimeDialog();
    if (dwResult == 0) {
        dwResult = InitializeDefaultDialog();
    }
    if (dwResult == 0) {
        dwResult = CreatePipeConnection(CQVBaseDlg::OnRecv);
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CQVDlgDefault::InitializeDefaultDialog()
{
    TRACE_ENTER(1);
    HWND hWndTab = GetDlgItem(IDC_TAB_LOG_ANALYZE);
    if (!m_TabCtrl.Subclass(hWndTab)) {
        TRACE(0, L"Fail to subclass the tab control.");
        return TRACE_LEAVE(1);
    }
    SetWindowLongPtrW(hWndTab, GWL_STYLE, GetWindowLongPtrW(hWndTab, GWL_STYLE) | WS_CLIPCHILDREN);
    DWORD dwResult = CreateLogChildDialog(hWndTab);
    if (dwResult != 0) {
        TRACE(0, L"Fail to AddTabSheet(). dwRet: %08d.", dwResult);
        return TRACE_LEAVE(1);
    }
    SelectCurrentTab();
    return TRACE_LEAVE(0);
}

DWORD CQVDlgDefault::CreateLogChildDialog(HWND hWndParent)
{
    TRACE_ENTER(1);
    m_pChildDlgLog = new (std::nothrow) CQVChildDlgLog();
    m_pChildDlgMonitor = new (std::nothrow) CQVChildDlgMonitor();
    if (m_pChildDlgLog == nullptr || m_pChildDlgMonitor == nullptr) {
        DestroyLogChildDialog();
        TRACE(0, L"Exit - Error! retval:%08x", ERROR_NOT_ENOUGH_MEMORY);
        EndDialog(IDCANCEL);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    m_pChildDlgMonitor->SetQVRootConfig(&m_stRootConfig);
    DWORD dwResult = AddMonitorTabSheet(m_pChildDlgMonitor, hWndParent);
    if (dwResult != 0) {
        return TRACE_LEAVE(dwResult);
    }
    m_pChildDlgLog->SetQVRootConfig(&m_stRootConfig);
    dwResult = AddTabSheet(m_pChildDlgLog, hWndParent);
    if (dwResult != 0) {
        return TRACE_LEAVE(dwResult);
    }
    dwResult = SetLoggingState(m_stRootConfig.dwLoggingState);
    if (dwResult != 0) {
        TRACE(0, L"Fail to SetLoggingState(%d).", static_cast<int>(m_stRootConfig.dwLoggingState));
        return TRACE_LEAVE(dwResult);
    }
    EnableThemeDialogTexture(m_pChildDlgLog->GetSafeHwnd(), ETDT_ENABLETAB);
    return TRACE_LEAVE(0);
}

DWORD CQVDlgDefault::AddMonitorTabSheet(CQVBaseChildDlg* pDialog, HWND hWndParent)
{
    TRACE_ENTER(1);
    TRACE(1, L"Create");
    DWORD dwResult = CreateTabPane(pDialog, hWndParent);
    if (dwResult != 0) {
        return TRACE_LEAVE(dwResult);
    }
    m_TabCtrl.InsertItem(kMonitorTab, BuildTabLabel(kMonitorTab, pDialog->GetTitle()).c_str());
    PlaceTabPane(pDialog, kMonitorTab, 2);
    return TRACE_LEAVE(0);
}

DWORD CQVDlgDefault::AddTabSheet(CQVBaseChildDlg* pDialog, HWND hWndParent)
{
    TRACE_ENTER(1);
    TRACE(1, L"Create");
    DWORD dwResult = CreateTabPane(pDialog, hWndParent);
    if (dwResult != 0) {
        return TRACE_LEAVE(dwResult);
    }
    for (int nTab = 1; nTab < kTabCount; ++nTab) {
        m_TabCtrl.InsertItem(nTab, BuildTabLabel(nTab, pDialog->GetTitle()).c_str());
    }
    PlaceTabPane(pDialog, m_TabCtrl.GetCurSel(), 3);
    return TRACE_LEAVE(0);
}

DWORD CQVDlgDefault::CreateTabPane(CQVBaseChildDlg* pDialog, HWND hWndParent)
{
    DWORD dwResult = pDialog->Create(hWndParent);
    if (dwResult == 0) {
        m_pTabPanes.push_back(pDialog);
    }
    return dwResult;
}

void CQVDlgDefault::PlaceTabPane(CQVBaseChildDlg* pDialog, int nItem, int nEdges)
{
    RECT rcItem = {};
    m_TabCtrl.GetItemRect(nItem, &rcItem);
    RECT rc = {};
    GetClientRect(pDialog->GetSafeHwnd(), &rc);
    OffsetRect(&rc, 2 * GetSystemMetrics(SM_CXEDGE), (rcItem.bottom - rcItem.top) + nEdges * GetSystemMetrics(SM_CYEDGE));
    SetWindowPos(pDialog->GetSafeHwnd(), nullptr, rc.left, rc.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

DWORD CQVDlgDefault::DestroyLogChildDialog()
{
    TRACE_ENTER(1);
    DWORD dwResult = 0;
    m_pTabPanes.clear();
    if (!DestroyOwnedPane(m_pChildDlgLog)) {
        TRACE(0, L"Fail to destroy log window.");
        dwResult = ERROR_INVALID_WINDOW_HANDLE;
    }
    if (!DestroyOwnedPane(m_pChildDlgMonitor)) {
        TRACE(0, L"Fail to destroy monitor window.");
        dwResult = ERROR_INVALID_WINDOW_HANDLE;
    }
    return TRACE_LEAVE(dwResult);
}

void CQVDlgDefault::SelectCurrentTab()
{
    for (CQVBaseChildDlg* pPane : m_pTabPanes) {
        ShowWindow(pPane->GetSafeHwnd(), SW_HIDE);
    }
    int nTab = m_TabCtrl.GetCurSel();
    if (nTab == kMonitorTab) {
        if (m_pChildDlgMonitor != nullptr) {
            ShowWindow(m_pChildDlgMonitor->GetSafeHwnd(), SW_SHOW);
        }
    } else if (nTab > 0 && nTab < kTabCount) {
        DWORD dwMode = static_cast<DWORD>(nTab);
        SetLogData(&dwMode);
        if (m_pChildDlgLog != nullptr) {
            ShowWindow(m_pChildDlgLog->GetSafeHwnd(), SW_SHOW);
        }
    }
    if (m_pChildDlgLog != nullptr) {
        m_pChildDlgLog->UpdateLogGraph();
    }
    InvalidateRect(m_TabCtrl.GetSafeHwnd(), nullptr, TRUE);
}

void CQVDlgDefault::OnTcnSelchangeTabLogAnalyze(NMHDR* pNMHDR, LRESULT* pResult)
{
    TRACE_ENTER(1);
    if (pNMHDR == nullptr) {
        TRACE_NULL_ARGUMENT_VOID(pNMHDR);
        return;
    }
    if (pResult == nullptr) {
        TRACE_NULL_ARGUMENT_VOID(pResult);
        return;
    }
    SelectCurrentTab();
    *pResult = 0;
    TRACE_LEAVE_VOID();
}

DWORD CQVDlgDefault::SetLogData(const void* pData)
{
    TRACE_ENTER(1);
    if (pData == nullptr) {
        return TRACE_NULL_ARGUMENT(pData);
    }
    if (m_pChildDlgLog == nullptr) {
        return TRACE_LEAVE(ERROR_INSUFFICIENT_BUFFER);
    }
    return TRACE_LEAVE(m_pChildDlgLog->Apply(pData));
}

DWORD CQVDlgDefault::ApplyRealtimeData(const void* pData)
{
    DWORD dwResult = CQVDlgRealtime::ApplyRealtimeData(pData);
    if (m_pChildDlgMonitor != nullptr) {
        m_pChildDlgMonitor->Apply(pData);
    }
    return dwResult;
}

DWORD CQVDlgDefault::SetLoggingState(DWORD dwState)
{
    TRACE_ENTER(1);
    DWORD dwResult = (m_pChildDlgLog != nullptr) ? m_pChildDlgLog->SetLoggingState(dwState) : 0;
    if (dwResult == 0 && m_pChildDlgMonitor != nullptr) {
        dwResult = m_pChildDlgMonitor->SetLoggingState(dwState);
    }
    if (dwResult != 0) {
        return TRACE_LEAVE(dwResult);
    }
    SetDlgItemTextW(m_hWnd, IDC_BTN_LOGGING, LoadResString((dwState == 1) ? IDS_LOGGING_STOP : IDS_LOGGING_START).c_str());
    m_stRootConfig.dwLoggingState = dwState;
    return TRACE_LEAVE(ClearRealtimeData());
}

void CQVDlgDefault::OnPipeRecord(const BYTE* lpRecord, DWORD cbRecord)
{
    TRACE_ENTER(1);
    DWORD dwCmd = 0;
    CopyMemory(&dwCmd, lpRecord, sizeof(dwCmd));
    if (dwCmd == PIPECMD_NOTIFY_SYSINFO) {
        TRACE(1, L"PIPECMD_NOTIFY_SYSINFO");
    } else if (dwCmd == PIPECMD_SWITCH_FUNCTION) {
        TRACE(1, L"PIPECMD_SWITCH_FUNCTION");
    }
    DWORD dwResult = 0;
    switch (ClassifyRecord(lpRecord, cbRecord)) {
    case QVRECORD_NOTIFY_SYSINFO:
        dwResult = SetRealtimeData(lpRecord);
        if (dwResult != 0) {
            TRACE(0, L"Fail to SetRealtimeData(). dwRet: %08x.", dwResult);
        }
        break;
    case QVRECORD_SWITCH_FUNCTION: {
        PipeCmdSwitchFunction cmd = {};
        CopyMemory(&cmd, lpRecord, sizeof(cmd));
        dwResult = SetLoggingState(cmd.dwFunction);
        if (dwResult != 0) {
            TRACE(0, L"Fail to SetLoggingState(). dwRet: %08x.", dwResult);
        }
        break;
    }
    case QVRECORD_WRONG_SIZE:
        TRACE(0, L"Recieved data is invalid data size. dwDataSize: %d.", static_cast<int>(cbRecord));
        break;
    default:
        TRACE(0, L"Unknown command.");
        break;
    }
    TRACE_LEAVE_VOID();
}

void CQVDlgDefault::OnBnClickedBtnLogging()
{
    TRACE_ENTER(1);
    CNamedMutexLock lock(m_MutexLoggingButton, nullptr);
    DWORD dwResult = SendPipeSwitchLoggingState((m_stRootConfig.dwLoggingState == 1) ? 0 : 1);
    if (dwResult != 0) {
        TRACE(0, L"Fail to SendPipeSwitchLoggingState(). dwRet: %08x.", dwResult);
    }
    TRACE_LEAVE_VOID();
}

void CQVDlgDefault::OnBnClickedBtnHelp()
{
    if (ShowHelp() != 0) {
        TRACE_FUNCTION();
        TRACE(0, L"Fail to ShowHelp");
    }
}

BOOL CQVDlgDefault::OnCommand(WORD wID, WORD wCode, HWND hWndCtl)
{
    if (wCode == BN_CLICKED && wID == IDC_BTN_LOGGING) {
        OnBnClickedBtnLogging();
        return TRUE;
    }
    if (wCode == BN_CLICKED && wID == IDC_BTN_HELP) {
        OnBnClickedBtnHelp();
        return TRUE;
    }
    return CQVDlgRealtime::OnCommand(wID, wCode, hWndCtl);
}

BOOL CQVDlgDefault::OnNotify(NMHDR* pNMHDR, LRESULT* pResult)
{
    if (pNMHDR != nullptr && pNMHDR->idFrom == IDC_TAB_LOG_ANALYZE && pNMHDR->code == TCN_SELCHANGE) {
        OnTcnSelchangeTabLogAnalyze(pNMHDR, pResult);
        return TRUE;
    }
    return CQVDlgRealtime::OnNotify(pNMHDR, pResult);
}

DWORD CQVDlgDefault::Finalize()
{
    TRACE_ENTER(1);
    DWORD dwResult = CQVDlgRealtime::Finalize();
    DWORD dwLogResult = DestroyLogChildDialog();
    if (dwResult == 0) {
        dwResult = dwLogResult;
    }
    // The log pane opened the log library as a reader; closing what was not opened is
    // harmless.
    QUOLogFinalize();
    m_MutexLoggingButton.Finalize();
    return TRACE_LEAVE(dwResult);
}

void CQVDlgDefault::OnDestroy()
{
    DWORD dwResult = Finalize();
    if (dwResult != 0) {
        TRACE_FUNCTION();
        TRACE(0, L"Fail to Finalize. dwRet: %08x", dwResult);
    }
}

BOOL CQVDlgDefault::DrawBackgroundBehind(HDC hDC, HWND hWndChild)
{
    RECT rcClient = {};
    GetClientRect(m_hWnd, &rcClient);
    HBITMAP hBmp = StretchedBackground(hDC, rcClient.right, rcClient.bottom);
    if (hBmp == nullptr) {
        return FALSE;
    }
    POINT ptOrigin = {0, 0};
    if (hWndChild != nullptr) {
        MapWindowPoints(hWndChild, m_hWnd, &ptOrigin, 1);
    }
    CCompatibleDC memDC(hDC);
    CSelectObject select(memDC.Get(), hBmp);
    return BitBlt(hDC, -ptOrigin.x, -ptOrigin.y, rcClient.right, rcClient.bottom, memDC.Get(), 0, 0, SRCCOPY);
}

BOOL CQVDlgDefault::OnEraseBkgnd(HDC hDC)
{
    return DrawBackgroundBehind(hDC, nullptr);
}

void CQVDlgDefault::OnPaint()
{
    PAINTSTRUCT ps = {};
    HDC hDC = BeginPaint(m_hWnd, &ps);
    if (hDC != nullptr && IsIconic(m_hWnd) && m_hIcon != nullptr) {
        RECT rc = {};
        GetClientRect(m_hWnd, &rc);
        DrawIcon(hDC, (rc.right - GetSystemMetrics(SM_CXICON) + 1) / 2, (rc.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2,
                 m_hIcon);
    }
    EndPaint(m_hWnd, &ps);
}

INT_PTR CQVDlgDefault::DialogProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_ERASEBKGND:
        if (OnEraseBkgnd(reinterpret_cast<HDC>(wParam))) {
            SetMsgResult(TRUE);
            return TRUE;
        }
        return FALSE;
    case WM_DRAWBACKGROUND:
        SetMsgResult(DrawBackgroundBehind(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
        return TRUE;
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
    case WM_PAINT:
        OnPaint();
        return TRUE;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(m_hIcon);
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == 0x10) {
            return TRUE;
        }
        return FALSE;
    default:
        return CQVDlgRealtime::DialogProc(uMsg, wParam, lParam);
    }
}
