#include "CQVChildDlgRealtime.h"

#include <shellapi.h>

#include "CWinApp.h"
#include "Reg.h"
#include "ResString.h"
#include "Trace.h"
#include "resource.h"

static const WCHAR REGENTRY_LAUNCHPATHPMC[] = L"LaunchPathPMC";

CQVChildDlgRealtime::CQVChildDlgRealtime() : CQVBaseChildDlgRealtime(IDD_QVCHILDDLG_REALTIME, 0 /* no title */) {}

CQVChildDlgRealtime::~CQVChildDlgRealtime() = default;

DWORD CQVChildDlgRealtime::Create(HWND hWndParent)
{
    TRACE_ENTER(1);
    DWORD dwResult = CreateFromTemplate(hWndParent);
    if (dwResult != 0) {
        TRACE(0, L"Fail to CQVBaseChildDlg::Create().");
    }
    return TRACE_LEAVE(dwResult);
}

void CQVChildDlgRealtime::InitializeToolButton()
{
    TRACE_ENTER(1);
    EnableWindow(GetDlgItem(IDC_BTN_RT_QUOTOOL), FALSE);
    WCHAR szSetting[MAX_PATH] = {};
    DWORD cch = ARRAYSIZE(szSetting);
    CReg cReg;
    DWORD dwResult = cReg.OpenKey(REGKEY_PATH_QUOVIEWER, KEY_READ);
    if (dwResult == ERROR_SUCCESS) {
        dwResult = cReg.QueryStringValue(REGENTRY_LAUNCHPATHPMC, szSetting, &cch);
    }
    if (dwResult != ERROR_SUCCESS) {
        TRACE(1, L"LaunchPathPMC not read. code:%u", dwResult);
        TRACE_LEAVE_VOID();
        return;
    }
    RtParseLaunchPath(szSetting, m_strToolPath, m_strToolArgs);
    const DWORD dwAttributes =
        m_strToolPath.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(m_strToolPath.c_str());
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        EnableWindow(GetDlgItem(IDC_BTN_RT_QUOTOOL), TRUE);
    }
    TRACE(1, L"Tool path:%s arguments:%s", m_strToolPath.c_str(), m_strToolArgs.c_str());
    TRACE_LEAVE_VOID();
}

void CQVChildDlgRealtime::ShowModelTexts()
{
    const bool bConsumer = (m_stRootConfig.cnrType == CNR_CONSUMER);
    ShowControl(IDC_STATIC_RT_LEGEND, bConsumer);
    ShowControl(IDC_STATIC_RT_NOTES, !bConsumer);
    ShowControl(IDC_STATIC_RT_MARK4, bConsumer);
    ShowControl(IDC_STATIC_RT_GRAPH_HEAD, bConsumer);
    SetDlgItemTextW(m_hWnd, IDC_STATIC_RT_ABOUT_TEXT,
                    LoadResString(bConsumer ? IDS_ABOUT_TEXT_CONSUMER : IDS_ABOUT_TEXT_COMMERCIAL).c_str());
    SetDlgItemTextW(m_hWnd, IDC_STATIC_RT_ABOUT_HEAD,
                    LoadResString(bConsumer ? IDS_ABOUT_HEAD_CONSUMER : IDS_ABOUT_HEAD_COMMERCIAL).c_str());
    ShowControl(IDC_STATIC_RT_BANNER, TRUE);
    const UINT nPlanHead = (m_stRootConfig.dwOSVersion == QV_OS_XP) ? IDS_POWERSCHEME_HEAD_XP : IDS_POWERPLAN_HEAD;
    SetDlgItemTextW(m_hWnd, IDC_STATIC_RT_PLAN_HEAD, LoadResString(nPlanHead).c_str());
}

void CQVChildDlgRealtime::LayoutPictures()
{
    RECT rcPane = {};
    RECT rcLeaf = {};
    GetClientRect(m_hWnd, &rcPane);
    if (GetControlRect(IDC_STATIC_RT_LEAF1, &rcLeaf)) {
        RECT rcLeaves[RT_LEAF_COUNT];
        RtLayoutLeaves(rcPane.right, rcLeaf.bottom - rcLeaf.top, rcLeaf.top, rcLeaves);
        for (int i = 0; i < RT_LEAF_COUNT; ++i) {
            SetWindowPos(GetDlgItem(IDC_STATIC_RT_LEAF1 + i), nullptr, rcLeaves[i].left, rcLeaves[i].top,
                         rcLeaves[i].right - rcLeaves[i].left, rcLeaves[i].bottom - rcLeaves[i].top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    for (int nID : {IDC_STATIC_RT_BANNER, IDC_STATIC_RT_LEGEND}) {
        RECT rc = {};
        if (GetControlRect(nID, &rc)) {
            const RECT rcCentred = RtCenterHorizontally(rc, rcPane.right);
            MoveControl(nID, rcCentred.left, rcCentred.top);
        }
    }
}

BOOL CQVChildDlgRealtime::OnInitDialog()
{
    TRACE_ENTER(1);
    m_sourceStrings = {LoadResString(IDS_SOURCE_AC), LoadResString(IDS_SOURCE_BATTERY),
                       LoadResString(IDS_SOURCE_CHARGING), LoadResString(IDS_UNKNOWN)};
    InitializeToolButton();
    for (int i = 0; i < RT_LEAF_COUNT; ++i) {
        m_Leaves[i].SubclassDlgItem(IDC_STATIC_RT_LEAF1 + i, m_hWnd);
    }
    ShowModelTexts();
    if (Initialize() != 0) {
        TRACE(0, L"Fail to Initialize.");
    }
    LayoutPictures();
    UpdateGraphRealtime();
    return TRACE_LEAVE_VALUE(TRUE);
}

void CQVChildDlgRealtime::LaunchTool()
{
    TRACE_ENTER(1);
    SHELLEXECUTEINFOW sei = {};
    sei.cbSize = sizeof(sei);
    sei.hwnd = m_hWnd;
    sei.lpFile = m_strToolPath.c_str();
    sei.lpParameters = m_strToolArgs.c_str();
    sei.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&sei)) {
        TRACE(0, L"Fail to ShellExecuteEx(). dwRet: %08x.", GetLastError());
    }
    TRACE_LEAVE_VOID();
}

BOOL CQVChildDlgRealtime::OnCommand(WORD wID, WORD wCode, HWND hWndCtl)
{
    if (wID == IDC_BTN_RT_QUOTOOL && wCode == BN_CLICKED) {
        LaunchTool();
        return TRUE;
    }
    return CQVBaseChildDlgRealtime::OnCommand(wID, wCode, hWndCtl);
}

DWORD CQVChildDlgRealtime::UpdateItem()
{
    TRACE_ENTER(1);
    SetDlgItemTextIfChanged(IDC_STATIC_RT_POWERPLAN, RtPlanText(m_szPowerPlan, m_sourceStrings.strUnknown).c_str());
    SetDlgItemTextIfChanged(IDC_STATIC_RT_POWERSOURCE,
                            RtPowerSourceText(m_stRootConfig.dwPCType, m_byBatteryStatus, m_dwBatteryLifePercent,
                                              m_sourceStrings)
                                .c_str());
    FitTextFont(IDC_STATIC_RT_POWERSOURCE);

    for (int i = 0; i < RT_LEAF_COUNT; ++i) {
        const bool bGreen = RtLeafIsGreen(i, m_byQuoLevel);
        HWND hWndLeaf = GetDlgItem(IDC_STATIC_RT_LEAF1 + i);
        HBITMAP hBmp = bGreen ? m_BmpGreenLeaf.Get() : m_BmpGrayLeaf.Get();
        if (hWndLeaf == nullptr || hBmp == nullptr) {
            TRACE(0, bGreen ? L"ICON_QUO error. pStatic = 0x%X, m_BmpGreenLeaf = 0x%X"
                            : L"ICON_QUO error. pStatic = 0x%X, m_BmpGrayLeaf = 0x%X",
                  static_cast<UINT>(reinterpret_cast<UINT_PTR>(hWndLeaf)),
                  static_cast<UINT>(reinterpret_cast<UINT_PTR>(hBmp)));
            continue;
        }
        SendMessageW(hWndLeaf, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(hBmp));
    }
    return TRACE_LEAVE(0);
}

BOOL CQVChildDlgRealtime::DrawPicture(const DRAWITEMSTRUCT* pDrawItem)
{
    UINT nBitmap = 0;
    if (pDrawItem->CtlID == IDC_STATIC_RT_BANNER) {
        nBitmap = IDB_BMP_BANNER;
    } else if (pDrawItem->CtlID == IDC_STATIC_RT_LEGEND) {
        nBitmap = IDB_BMP_LEGEND;
    } else {
        return FALSE;
    }
    CBitmapHandle bitmap(LoadBitmapW(CWinApp::GetInstanceHandle(), MAKEINTRESOURCEW(nBitmap)));
    CCompatibleDC memDC(pDrawItem->hDC);
    BITMAP bm = {};
    if (!bitmap || memDC.Get() == nullptr || GetObjectW(bitmap.Get(), sizeof(bm), &bm) == 0) {
        return TRUE;
    }
    CSelectObject select(memDC.Get(), bitmap.Get());
    const RECT& rc = pDrawItem->rcItem;
    const int nOldMode = SetStretchBltMode(pDrawItem->hDC, HALFTONE);
    SetBrushOrgEx(pDrawItem->hDC, 0, 0, nullptr);
    StretchBlt(pDrawItem->hDC, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, memDC.Get(), 0, 0,
               bm.bmWidth, bm.bmHeight, SRCCOPY);
    SetStretchBltMode(pDrawItem->hDC, nOldMode);
    return TRUE;
}

INT_PTR CQVChildDlgRealtime::DialogProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_DRAWITEM && lParam != 0 && DrawPicture(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) {
        SetMsgResult(TRUE);
        return TRUE;
    }
    return CQVBaseChildDlgRealtime::DialogProc(uMsg, wParam, lParam);
}
