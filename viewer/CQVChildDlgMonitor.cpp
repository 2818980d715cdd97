#include "CQVChildDlgMonitor.h"

#include "GdiHandle.h"
#include "Reg.h"
#include "ResString.h"
#include "Trace.h"
#include "resource.h"

static const UINT_PTR MONITOR_TIMER_ID = 1;
static const UINT PLAN_NAME_CHARS = MAX_PATH;
static const WCHAR REGENTRY_INTERVAL[] = L"Interval";
static const int LEGEND_BOX_IDS[] = {IDC_STATIC_MON_BOX1, IDC_STATIC_MON_BOX2, IDC_STATIC_MON_BOX3,
                                     IDC_STATIC_MON_BOX4};

// Consumer models are exactly those of "CnrFlag" 1, in the settings, the legend and the
// colours alike (as in the window title).
static bool IsConsumer(DWORD cnrType)
{
    return cnrType == CNR_CONSUMER;
}

CQVChildDlgMonitor::CQVChildDlgMonitor()
    : CQVBaseChildDlgRealtime(IDD_QVCHILDDLG_MONITOR, IDS_MONITOR_PANE_TITLE),
      m_stSysInfo(),
      m_plot(),
      m_colors(MonDefaultPlanColors()),
      m_names(),
      m_crLegendBoxes(),
      m_uElapse(MON_DEFAULT_INTERVAL_MS)
{
}

CQVChildDlgMonitor::~CQVChildDlgMonitor() = default;

DWORD CQVChildDlgMonitor::Create(HWND hWndParent)
{
    TRACE_ENTER(1);
    DWORD dwResult = CreateFromTemplate(hWndParent);
    if (dwResult != 0) {
        TRACE(0, L"Fail to CQVBaseChildDlg::Create().");
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CQVChildDlgMonitor::Apply(const void* pData)
{
    TRACE_ENTER(1);
    if (pData == nullptr) {
        return TRACE_NULL_ARGUMENT(pData);
    }
    CopyMemory(&m_stSysInfo, pData, sizeof(m_stSysInfo));
    return TRACE_LEAVE(CQVBaseChildDlgRealtime::Apply(pData));
}

void CQVChildDlgMonitor::ReadColor(CReg& cReg, LPCWSTR lpszName, COLORREF* pColor)
{
    TRACE_FUNCTION();
    DWORD dwValue = 0;
    if (cReg.QueryDWORDValue(lpszName, &dwValue) == ERROR_SUCCESS) {
        *pColor = dwValue;
    }
    TRACE(1, L"%s:(%u,%u,%u)", lpszName, GetRValue(*pColor), GetGValue(*pColor), GetBValue(*pColor));
}

void CQVChildDlgMonitor::ReadPlanName(CReg& cReg, LPCWSTR lpszName, std::wstring* pName)
{
    TRACE_FUNCTION();
    WCHAR szName[PLAN_NAME_CHARS] = {};
    DWORD cch = ARRAYSIZE(szName);
    if (cReg.QueryStringValue(lpszName, szName, &cch) == ERROR_SUCCESS) {
        *pName = szName;
    }
    TRACE(1, L"%s:%s", lpszName, pName->c_str());
}

void CQVChildDlgMonitor::ReadPlanNamePair(CReg& cReg, LPCWSTR lpszName, std::wstring* pFirst, std::wstring* pSecond)
{
    TRACE_FUNCTION();
    WCHAR szNames[PLAN_NAME_CHARS] = {};
    DWORD cch = ARRAYSIZE(szNames);
    if (cReg.QueryMultiStringValue(lpszName, szNames, &cch) == ERROR_SUCCESS) {
        SplitMultiStrToTwoStr(szNames, cch, *pFirst, *pSecond);
    }
    TRACE(1, L"%s:1st:%s", lpszName, pFirst->c_str());
    TRACE(1, L"%s:2nd:%s", lpszName, pSecond->c_str());
}

void CQVChildDlgMonitor::GetRegConfigMonitorAnalyze()
{
    TRACE_ENTER(1);
    const struct {
        UINT nID;
        std::wstring* pName;
        LPCWSTR lpszError;
    } defaults[] = {
        {IDS_POWERPLAN_VELIO, &m_names.strCnr1Fst,
         L"Error in m_strPlanNameCnr1FstPart.LoadString(IDS_POWERPLAN_VELIO)."},
        {IDS_POWERPLAN_QUO, &m_names.strCnr2Fst, L"Error in m_strPlanNameCnr2FstPart.LoadString(IDS_POWERPLAN_QUO)."},
        {IDS_POWERPLAN_KOUSEINOU, &m_names.strCml1, L"Error in m_strPlanNameCml1.LoadString(IDS_POWERPLAN_KOUSEINOU)."},
        {IDS_POWERPLAN_STANDARD, &m_names.strCml2, L"Error in m_strPlanNameCml2.LoadString(IDS_POWERPLAN_STANDARD)."},
        {IDS_POWERPLAN_QUO, &m_names.strCml3, L"Error in m_strPlanNameCml3.LoadString(IDS_POWERPLAN_QUO)."},
    };
    for (const auto& entry : defaults) {
        *entry.pName = LoadResString(entry.nID);
        if (entry.pName->empty()) {
            TRACE(0, L"%s", entry.lpszError);
        }
    }

    CReg cReg;
    const DWORD dwResult = cReg.OpenKey(REGKEY_PATH_MONITORANALYZE, KEY_READ);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in cReg.OpenKey():%u", dwResult);
        TRACE_LEAVE_VOID();
        return;
    }
    if (IsConsumer(m_stRootConfig.cnrType)) {
        ReadColor(cReg, L"FgColorCnr1", &m_colors.crCnr1);
        ReadColor(cReg, L"FgColorCnr2", &m_colors.crCnr2);
        ReadColor(cReg, L"FgColorCnr0", &m_colors.crCnr0);
        ReadPlanNamePair(cReg, L"PlanNameCnr1", &m_names.strCnr1Fst, &m_names.strCnr1Snd);
        ReadPlanNamePair(cReg, L"PlanNameCnr2", &m_names.strCnr2Fst, &m_names.strCnr2Snd);
    } else {
        ReadColor(cReg, L"FgColorCml1", &m_colors.crCml1);
        ReadColor(cReg, L"FgColorCml2", &m_colors.crCml2);
        ReadColor(cReg, L"FgColorCml3", &m_colors.crCml3);
        ReadColor(cReg, L"FgColorCml0", &m_colors.crCml0);
        ReadPlanName(cReg, L"PlanNameCml1", &m_names.strCml1);
        ReadPlanName(cReg, L"PlanNameCml2", &m_names.strCml2);
        ReadPlanName(cReg, L"PlanNameCml3", &m_names.strCml3);
    }
    TRACE_LEAVE_VOID();
}

void CQVChildDlgMonitor::ReadInterval()
{
    TRACE_ENTER(1);
    DWORD dwValue = 0;
    CReg cReg;
    DWORD dwResult = cReg.OpenKey(REGKEY_PATH_DEVINFO, KEY_READ);
    if (dwResult == ERROR_SUCCESS) {
        dwResult = cReg.QueryDWORDValue(REGENTRY_INTERVAL, &dwValue);
    }
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"QueryDWORDValue(REGENTRY_INTERVAL) is failed. code:%u", dwResult);
    } else if (dwValue == 0) {
        TRACE(0, L"QueryDWORDValue(REGENTRY_INTERVAL) is failed. Invalid value:%u", dwValue);
    }
    m_uElapse = MonTimerInterval(dwResult, dwValue);
    TRACE(1, L"uElapse:%u", m_uElapse);
    TRACE_LEAVE_VOID();
}

void CQVChildDlgMonitor::SetLegend()
{
    if (IsConsumer(m_stRootConfig.cnrType)) {
        const std::wstring strCaption = LoadResString(IDS_LEGEND_POWERPLAN);
        const std::wstring strSeparator = LoadResString(IDS_PLAN_NAME_SEPARATOR);
        SetDlgItemTextW(m_hWnd, IDC_STATIC_MON_LEGEND1,
                        MonConsumerLegend(strCaption, m_names.strCnr1Fst, strSeparator, m_names.strCnr1Snd).c_str());
        SetDlgItemTextW(m_hWnd, IDC_STATIC_MON_LEGEND2,
                        MonConsumerLegend(strCaption, m_names.strCnr2Fst, strSeparator, m_names.strCnr2Snd).c_str());
        SetDlgItemTextW(m_hWnd, IDC_STATIC_MON_LEGEND3, LoadResString(IDS_LEGEND_OTHER_PLANS).c_str());
        ShowControl(IDC_STATIC_MON_BOX4, FALSE);
        ShowControl(IDC_STATIC_MON_LEGEND4, FALSE);
        m_crLegendBoxes[0] = m_colors.crCnr1;
        m_crLegendBoxes[1] = m_colors.crCnr2;
        m_crLegendBoxes[2] = m_colors.crCnr0;
        ShowControl(IDC_STATIC_MON_NOTES, TRUE);
    } else {
        SetDlgItemTextW(m_hWnd, IDC_STATIC_MON_LEGEND1, m_names.strCml1.c_str());
        SetDlgItemTextW(m_hWnd, IDC_STATIC_MON_LEGEND2, m_names.strCml2.c_str());
        SetDlgItemTextW(m_hWnd, IDC_STATIC_MON_LEGEND3, m_names.strCml3.c_str());
        SetDlgItemTextW(m_hWnd, IDC_STATIC_MON_LEGEND4, LoadResString(IDS_LEGEND_OTHER).c_str());
        m_crLegendBoxes[0] = m_colors.crCml1;
        m_crLegendBoxes[1] = m_colors.crCml2;
        m_crLegendBoxes[2] = m_colors.crCml3;
        m_crLegendBoxes[3] = m_colors.crCml0;
        ShowControl(IDC_STATIC_MON_NOTES, FALSE);
    }
}

void CQVChildDlgMonitor::CreatePlot()
{
    TRACE_ENTER(1);
    RECT rcClient = {};
    RECT rcBox = {};
    RECT rcUnit = {};
    GetClientRect(m_hWnd, &rcClient);
    GetControlRect(IDC_STATIC_MON_BOX1, &rcBox);
    GetControlRect(IDC_STATIC_MON_UNIT, &rcUnit);
    const int nUnitHeight = rcUnit.bottom - rcUnit.top;
    const RECT rcPlot = MonPlotRect(rcClient, rcBox.top, nUnitHeight);
    m_plot.SetFontName(m_strFontName.c_str());
    const DWORD dwResult = m_plot.Create(WS_CHILD | WS_VISIBLE | WS_BORDER, rcPlot, m_hWnd, IDC_RTPLOT);
    if (dwResult != 0) {
        TRACE(0, L"Fail to create the plot. dwRet: %08x.", dwResult);
        TRACE_LEAVE_ERROR();
        return;
    }
    RECT rcCreated = {};
    GetWindowRect(m_plot.GetSafeHwnd(), &rcCreated);
    MapWindowPoints(HWND_DESKTOP, m_hWnd, reinterpret_cast<POINT*>(&rcCreated), 2);
    MoveControl(IDC_STATIC_MON_UNIT, rcCreated.left, rcCreated.top - nUnitHeight);
    TRACE_LEAVE_VOID();
}

BOOL CQVChildDlgMonitor::OnInitDialog()
{
    TRACE_ENTER(1);
    m_ToolTip.Create(m_hWnd);
    GetRegConfigMonitorAnalyze();
    ReadInterval();
    SetLegend();
    CreatePlot();
    if (SetTimer(m_hWnd, MONITOR_TIMER_ID, m_uElapse, nullptr) == 0) {
        TRACE(0, L"Fail to SetTimer(). dwRet: %08x.", GetLastError());
    }
    return TRACE_LEAVE_VALUE(TRUE);
}

void CQVChildDlgMonitor::OnDestroy()
{
    KillTimer(m_hWnd, MONITOR_TIMER_ID);
    m_plot.Destroy();
    CQVBaseChildDlgRealtime::OnDestroy();
}

void CQVChildDlgMonitor::OnTimerTick()
{
    if (m_stRootConfig.dwLoggingState == 0) {
        m_stSysInfo.dWatt = MON_GAP_VALUE;
    }
    WCHAR szPlan[PIPECMD_POWPLAN_CHARS + 1] = {};
    CopyMemory(szPlan, m_stSysInfo.szPowerPlan, sizeof(m_stSysInfo.szPowerPlan));
    const COLORREF crColor = MonPlanColor(m_stRootConfig.cnrType, szPlan, m_colors, m_names);
    m_plot.AddPoint(m_stSysInfo.dWatt, crColor);
    m_plot.Invalidate();
}

BOOL CQVChildDlgMonitor::DrawLegendBox(const DRAWITEMSTRUCT* pDrawItem)
{
    for (size_t i = 0; i < ARRAYSIZE(LEGEND_BOX_IDS); ++i) {
        if (static_cast<int>(pDrawItem->CtlID) == LEGEND_BOX_IDS[i]) {
            CBrushHandle brush(CreateSolidBrush(m_crLegendBoxes[i]));
            if (IsWindowVisible(pDrawItem->hwndItem) && brush) {
                FillRect(pDrawItem->hDC, &pDrawItem->rcItem, brush.Get());
            }
            return TRUE;
        }
    }
    return FALSE;
}

INT_PTR CQVChildDlgMonitor::DialogProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_TIMER:
        if (wParam == MONITOR_TIMER_ID) {
            OnTimerTick();
            return TRUE;
        }
        break;
    case WM_DRAWITEM:
        if (lParam != 0 && DrawLegendBox(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) {
            SetMsgResult(TRUE);
            return TRUE;
        }
        break;
    default:
        break;
    }
    return CQVBaseChildDlgRealtime::DialogProc(uMsg, wParam, lParam);
}
