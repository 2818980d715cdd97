#include "CQVBaseChildDlgRealtime.h"

#include <commctrl.h>
#include <strsafe.h>

#include "CWinApp.h"
#include "FontFace.h"
#include "RealtimeRules.h"
#include "ResString.h"
#include "Trace.h"
#include "resource.h"

namespace {

// The fonts of the texts and the controls that take each.
struct TextFont {
    int nPoints;
    int nWeight;
    int nControls[4];
};
const TextFont TEXT_FONTS[4] = {
    {12, 520, {IDC_STATIC_RT_PLAN_HEAD, IDC_STATIC_RT_POWERSOURCE, IDC_STATIC_RT_ABOUT_HEAD, IDC_STATIC_RT_GRAPH_HEAD}},
    {12, 0, {IDC_STATIC_RT_MARK1, IDC_STATIC_RT_MARK2, IDC_STATIC_RT_MARK3, IDC_STATIC_RT_MARK4}},
    {12, 800, {IDC_STATIC_RT_POWERPLAN, 0, 0, 0}},
    {10, 0, {IDC_STATIC_RT_ABOUT_TEXT, IDC_STATIC_RT_NOTES, 0, 0}},
};

}  // namespace

CQVBaseChildDlgRealtime::CQVBaseChildDlgRealtime(UINT nIDTemplate, UINT nIDTitle)
    : CQVBaseChildDlg(nIDTemplate, nIDTitle),
      m_dwBatteryLifePercent(0),
      m_szPowerPlan(),
      m_byBatteryStatus(0),
      m_byQuoLevel(0),
      m_szTipText()
{
}

CQVBaseChildDlgRealtime::~CQVBaseChildDlgRealtime() = default;

DWORD CQVBaseChildDlgRealtime::Apply(const void* pData)
{
    TRACE_ENTER(1);
    if (pData == nullptr) {
        return TRACE_NULL_ARGUMENT(pData);
    }
    QVPipeCmdNotifySysInfo info;
    CopyMemory(&info, pData, sizeof(info));
    m_dwBatteryLifePercent = info.byBatteryLifePercent;
    m_byBatteryStatus = info.byBatteryStatus;
    m_byQuoLevel = info.byQuoLevel;
    // The field may arrive without its terminator: copy at most its characters.
    WCHAR szPlan[PIPECMD_POWPLAN_CHARS + 1] = {};
    CopyMemory(szPlan, info.szPowerPlan, sizeof(info.szPowerPlan));
    StringCchCopyW(m_szPowerPlan, ARRAYSIZE(m_szPowerPlan), szPlan);
    if (m_hWnd == nullptr) {
        // Shown by the first update once the pane has its window.
        return TRACE_LEAVE(0);
    }
    return TRACE_LEAVE(UpdateGraphRealtime());
}

DWORD CQVBaseChildDlgRealtime::Initialize()
{
    TRACE_ENTER(1);
    DWORD dwResult = 0;
    const HINSTANCE hInstance = CWinApp::GetInstanceHandle();
    m_BmpGreenLeaf.Reset(LoadBitmapW(hInstance, MAKEINTRESOURCEW(IDB_BMP_LEAF_GREEN)));
    if (!m_BmpGreenLeaf) {
        TRACE(0, L"LoadBitmap(IDB_BMP_LEAF_GREEN) failed.");
        dwResult = ERROR_NOT_ENOUGH_MEMORY;
    }
    m_BmpGrayLeaf.Reset(LoadBitmapW(hInstance, MAKEINTRESOURCEW(IDB_BMP_LEAF_GRAY)));
    if (!m_BmpGrayLeaf) {
        TRACE(0, L"LoadBitmap(IDB_BMP_LEAF_GRAY) failed.");
        dwResult = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (dwResult != 0) {
        TRACE(0, L"Fail to Initialize.");
    }
    CreateFonts();
    if (m_ToolTip.Create(m_hWnd) == 0) {
        m_ToolTip.AddControlTool(IDC_STATIC_RT_POWERPLAN, LPSTR_TEXTCALLBACKW);
    }
    return TRACE_LEAVE(dwResult);
}

void CQVBaseChildDlgRealtime::CreateFonts()
{
    for (size_t i = 0; i < ARRAYSIZE(TEXT_FONTS); ++i) {
        m_fonts[i].Reset(CreatePointFont(m_strFontName.c_str(), TEXT_FONTS[i].nPoints, TEXT_FONTS[i].nWeight));
        if (!m_fonts[i]) {
            continue;
        }
        for (int nID : TEXT_FONTS[i].nControls) {
            HWND hWndCtl = (nID != 0) ? GetDlgItem(nID) : nullptr;
            if (hWndCtl != nullptr) {
                SendMessageW(hWndCtl, WM_SETFONT, reinterpret_cast<WPARAM>(m_fonts[i].Get()), FALSE);
            }
        }
    }
    for (int nID : TEXT_FONTS[0].nControls) {
        FitTextFont(nID);
    }
}

void CQVBaseChildDlgRealtime::FitTextFont(int nID)
{
    const TextFont& heading = TEXT_FONTS[0];
    HWND hWndCtl = GetDlgItem(nID);
    if (hWndCtl == nullptr || !m_fonts[0]) {
        return;
    }
    const int cch = GetWindowTextLengthW(hWndCtl);
    std::wstring text(static_cast<size_t>(cch) + 1, L'\0');
    GetWindowTextW(hWndCtl, &text[0], cch + 1);
    text.resize(static_cast<size_t>(cch));
    auto itFitted = m_fittedTexts.find(nID);
    if (itFitted != m_fittedTexts.end() && itFitted->second == text) {
        return;
    }
    m_fittedTexts[nID] = text;
    RECT rc = {};
    GetClientRect(hWndCtl, &rc);
    HDC hDC = GetDC(hWndCtl);
    if (hDC == nullptr) {
        return;
    }
    // Starts from the proportional estimate and steps down while the text is too wide.
    HFONT hFont = m_fonts[0].Get();
    CFontHandle fitted;
    SIZE size = {};
    {
        CSelectObject select(hDC, hFont);
        GetTextExtentPoint32W(hDC, text.c_str(), cch, &size);
    }
    int nPoints = RtFittedPoints(heading.nPoints, size.cx, rc.right, RT_MIN_FITTED_POINTS);
    while (nPoints < heading.nPoints) {
        fitted.Reset(CreatePointFont(m_strFontName.c_str(), nPoints, heading.nWeight));
        if (!fitted) {
            break;
        }
        CSelectObject select(hDC, fitted.Get());
        GetTextExtentPoint32W(hDC, text.c_str(), cch, &size);
        if (size.cx <= rc.right || nPoints <= RT_MIN_FITTED_POINTS) {
            hFont = fitted.Get();
            break;
        }
        --nPoints;
    }
    ReleaseDC(hWndCtl, hDC);
    if (reinterpret_cast<HFONT>(SendMessageW(hWndCtl, WM_GETFONT, 0, 0)) != hFont) {
        SendMessageW(hWndCtl, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), TRUE);
    }
    if (hFont == m_fonts[0].Get()) {
        m_fittedFonts.erase(nID);
    } else {
        m_fittedFonts[nID] = std::move(fitted);
    }
}

BOOL CQVBaseChildDlgRealtime::OnNotify(NMHDR* pNMHDR, LRESULT* pResult)
{
    if (pNMHDR->code == TTN_GETDISPINFOW) {
        NMTTDISPINFOW* pInfo = reinterpret_cast<NMTTDISPINFOW*>(pNMHDR);
        if (pInfo->hdr.idFrom == static_cast<UINT_PTR>(IDC_STATIC_RT_POWERPLAN)) {
            const std::wstring strTip = RtPlanText(m_szPowerPlan, LoadResString(IDS_UNKNOWN));
            StringCchCopyW(m_szTipText, ARRAYSIZE(m_szTipText), strTip.c_str());
            pInfo->lpszText = m_szTipText;
            *pResult = 0;
            return TRUE;
        }
    }
    return CQVBaseChildDlg::OnNotify(pNMHDR, pResult);
}

DWORD CQVBaseChildDlgRealtime::UpdateItem()
{
    return 0;
}

DWORD CQVBaseChildDlgRealtime::UpdateGraphRealtime()
{
    TRACE_ENTER(1);
    DWORD dwResult = UpdateItem();
    if (dwResult != 0) {
        TRACE(0, L"Fail to UpdateItem(). dwRet: %08x.", dwResult);
        TRACE(0, L"Fail to UpdateGraph(). dwRet: %08x.", dwResult);
    }
    return TRACE_LEAVE(dwResult);
}
