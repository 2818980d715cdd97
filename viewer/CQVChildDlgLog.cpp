#include "CQVChildDlgLog.h"

#include <commctrl.h>

#include <new>

#include "LogPeriod.h"
#include "QuoLog.h"
#include "QuoViewer_Common.h"
#include "ResString.h"
#include "Trace.h"
#include "resource.h"

namespace {

const WCHAR kLogAnalyzeMutex[] = L"MutexLogAnalyze";
const DWORD kPaintLockMs = 1000;

// The log library's reader instance: interval and delayed writing do not matter to it.
const DWORD kReaderInterval = 1000;

bool LoadInto(UINT nId, std::wstring* pText)
{
    *pText = LoadResString(nId);
    return !pText->empty();
}

}  // namespace

LRESULT CQVDateButton::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_MOUSEMOVE && !m_bTracking) {
        TRACKMOUSEEVENT tme = {sizeof(tme), TME_LEAVE, m_hWnd, 0};
        m_bTracking = TrackMouseEvent(&tme) != FALSE;
        SetHoverState(0);
        InvalidateRect(m_hWnd, nullptr, FALSE);
    } else if (uMsg == WM_MOUSELEAVE) {
        m_bTracking = false;
        SetHoverState(1);
        InvalidateRect(m_hWnd, nullptr, FALSE);
    }
    return CTransBmpButton::WindowProc(uMsg, wParam, lParam);
}

CQVChildDlgLog::CQVChildDlgLog()
    : CQVBaseChildDlg(IDD_QVCHILDDLG_LOG, IDS_LOG_PANE_TITLE), m_stCurrentDate(), m_nLogMode(QV_LOGMODE_DAY),
      m_pfnLocalTime(GetLocalTime), m_settings(DefaultLogPaneSettings()), m_bTimer(false)
{
    GetLocalTime(&m_stCurrentDate);
}

CQVChildDlgLog::~CQVChildDlgLog() = default;

DWORD CQVChildDlgLog::Create(HWND hWndParent)
{
    TRACE_ENTER(1);
    DWORD dwResult = CreateFromTemplate(hWndParent);
    if (dwResult != 0) {
        TRACE(0, L"Fail to CQVBaseChildDlg::Create().");
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CQVChildDlgLog::Apply(const void* pData)
{
    TRACE_ENTER(1);
    if (pData == nullptr) {
        return TRACE_NULL_ARGUMENT(pData);
    }
    CopyMemory(&m_nLogMode, pData, sizeof(m_nLogMode));
    return TRACE_LEAVE(UpdateLogGraph());
}

void CQVChildDlgLog::SetLocalTimeFunc(LocalTimeFunc pfnLocalTime)
{
    m_pfnLocalTime = (pfnLocalTime != nullptr) ? pfnLocalTime : GetLocalTime;
}

SYSTEMTIME CQVChildDlgLog::Today() const
{
    SYSTEMTIME st = {};
    m_pfnLocalTime(&st);
    return st;
}

BOOL CQVChildDlgLog::OnInitDialog()
{
    TRACE_ENTER(1);
    m_stCurrentDate = Today();
    if (m_ToolTip.Create(m_hWnd) == 0) {
        RECT rcGraph = {};
        GetClientRect(GetDlgItem(IDC_STATIC_LOG_GRAPH), &rcGraph);
        m_ToolTip.SetMaxTipWidth((rcGraph.right - rcGraph.left) / 2);
    }
    m_btnPrevious.SubclassDlgItem(IDC_BTN_PREVIOUS_DATE, m_hWnd);
    m_btnPrevious.LoadBitmaps(IDB_BMP_PREVIOUS_NORMAL, IDB_BMP_PREVIOUS_PRESSED, IDB_BMP_PREVIOUS_FOCUS,
                              IDB_BMP_PREVIOUS_DISABLED);
    m_btnFollowing.SubclassDlgItem(IDC_BTN_FOLLOWING_DATE, m_hWnd);
    m_btnFollowing.LoadBitmaps(IDB_BMP_FOLLOWING_NORMAL, IDB_BMP_FOLLOWING_PRESSED, IDB_BMP_FOLLOWING_FOCUS,
                               IDB_BMP_FOLLOWING_DISABLED);
    for (CQVDateButton* pButton : {&m_btnPrevious, &m_btnFollowing}) {
        pButton->SetTransparentColor(RGB(0, 0, 0));
        pButton->MakeRound();
    }

    DWORD dwRet = m_MutexLogAnalyze.Initialize(kLogAnalyzeMutex, kPaintLockMs);
    if (dwRet != ERROR_SUCCESS) {
        TRACE(0, L"Fail to create MutexLogAnalyze. dwRet: %08x.", dwRet);
    }
    dwRet = QUOLogInitialize(QUOLOG_MODE_READER, kReaderInterval, FALSE, 0);
    if (dwRet != ERROR_SUCCESS) {
        TRACE(0, L"Fail to QUOLogInitialize(). dwRet: %08x.", dwRet);
    }

    if (InitializeChildDlgLog() != ERROR_SUCCESS) {
        return TRACE_LEAVE_VALUE(FALSE);
    }
    m_bTimer = SetTimer(m_hWnd, kRefreshTimerId, kRefreshTimerMs, nullptr) != 0;
    SetStaticLabels();
    return TRACE_LEAVE_VALUE(TRUE);
}

DWORD CQVChildDlgLog::InitializeChildDlgLog()
{
    TRACE_ENTER(1);
    HWND hGraph = GetDlgItem(IDC_STATIC_LOG_GRAPH);
    if (hGraph == nullptr) {
        const DWORD dwError = GetLastError();
        return TRACE_LEAVE(dwError != ERROR_SUCCESS ? dwError : ERROR_INVALID_WINDOW_HANDLE);
    }
    m_pImgLogGraph.reset(new (std::nothrow) CQVImage());
    if (!m_pImgLogGraph) {
        TRACE(0, L"Fail to allocate m_pImgLogGraph.");
        return TRACE_LEAVE(ERROR_NOT_ENOUGH_MEMORY);
    }
    DWORD dwRet = m_pImgLogGraph->Initialize(hGraph, m_strFontName.c_str());
    if (dwRet != ERROR_SUCCESS) {
        m_pImgLogGraph.reset();
        return TRACE_LEAVE(dwRet);
    }
    m_data = QVLogPeriodData();
    dwRet = InitColorPowerPlan(LoadInto, &m_planColors);
    if (dwRet != ERROR_SUCCESS) {
        TRACE(0, L"Fail to InitColorPowerPlan(). dwRet: %08x.", dwRet);
        return TRACE_LEAVE(dwRet);
    }
    dwRet = InitColorPowerState(&m_stateColors);
    if (dwRet != ERROR_SUCCESS) {
        TRACE(0, L"Fail to InitColorPowerState(). dwRet: %08x.", dwRet);
        return TRACE_LEAVE(dwRet);
    }
    LoadTexts();
    const std::wstring stateNames[kQVPowerStates] = {LoadResString(IDS_UNKNOWN), m_barTexts.state[1],
                                                     m_barTexts.state[2], m_barTexts.state[3]};
    dwRet = ReadLogPaneSettings(REGKEY_PATH_QUOVIEWER, Today(), stateNames, &m_settings, &m_planColors,
                                &m_stateColors);
    if (dwRet != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwRet);
    }
    m_histogram.dwFgColor = m_settings.dwFgColor;
    m_histogram.dwQuoFgColor = m_settings.dwQuoFgColor;
    m_histogram.dwBgColor = m_settings.dwBgColor;
    m_histogram.dwGridColor = m_settings.dwGridColor;
    m_histogram.dwLabelColor = m_settings.dwLabelColor;
    m_histogram.minRanges = m_settings.minRanges;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CQVChildDlgLog::LoadTexts()
{
    m_barTexts.sleep[QV_SLEEP_S0] = LoadResString(IDS_SLEEP_S0);
    m_barTexts.sleep[QV_SLEEP_S3S4] = LoadResString(IDS_SLEEP_S3S4);
    m_barTexts.sleep[QV_SLEEP_S5] = LoadResString(IDS_SLEEP_S5);
    m_barTexts.state[QV_POWER_AC] = LoadResString(IDS_STATE_AC);
    m_barTexts.state[QV_POWER_DC] = LoadResString(IDS_STATE_BATTERY);
    m_barTexts.state[QV_POWER_CHARGE] = LoadResString(IDS_STATE_CHARGING);

    m_texts.strPrevious = LoadResString(IDS_PREVIOUS);
    m_texts.strFollowing = LoadResString(IDS_FOLLOWING);
    m_texts.strUnit[0] = LoadResString(IDS_TAB_DAY);
    m_texts.strUnit[1] = LoadResString(IDS_TAB_WEEK);
    m_texts.strUnit[2] = LoadResString(IDS_TAB_MONTH);
    m_texts.strUnit[3] = LoadResString(IDS_TAB_YEAR);
    m_texts.strDayLabel = LoadResString(IDS_DATE_DAY);
    m_texts.strWeekLabel = LoadResString(IDS_DATE_WEEK);
    m_texts.strMonthLabel = LoadResString(IDS_DATE_MONTH);
    m_texts.strYearLabel = LoadResString(IDS_DATE_YEAR);
    m_texts.strHourUnit = LoadResString(IDS_UNIT_HOUR_OF_DAY);
    m_texts.strDayUnit = m_texts.strUnit[0];
    m_texts.strMonthUnit = m_texts.strUnit[2];
    m_texts.strOpen = LoadResString(IDS_PAREN_OPEN);
    m_texts.strClose = LoadResString(IDS_PAREN_CLOSE);
    m_texts.strWh = LoadResString(IDS_UNIT_WH);

    m_histogram.strBarTipConsumer = LoadResString(IDS_TIP_CONSUMER);
    m_histogram.strBarTipCommercial = LoadResString(IDS_TIP_COMMERCIAL);
}

void CQVChildDlgLog::SetStaticLabels()
{
    const bool bConsumer = m_stRootConfig.cnrType == CNR_CONSUMER;
    const std::wstring strWh = LoadResString(IDS_UNIT_WH);
    const std::wstring strHours = LoadResString(IDS_UNIT_HOURS);
    const std::wstring strPoint = LoadResString(IDS_DECIMAL_POINT);
    SetDlgItemTextW(m_hWnd, IDC_STATIC_LOG_TOTAL_LABEL, LoadResString(IDS_LOG_TOTAL).c_str());
    SetDlgItemTextW(m_hWnd, IDC_STATIC_LOG_TOTAL_UNIT, strWh.c_str());
    ShowControl(bConsumer ? IDC_STATIC_LOG_RUN_LABEL_CML : IDC_STATIC_LOG_RUN_LABEL_CNR, FALSE);
    SetDlgItemTextW(m_hWnd, bConsumer ? IDC_STATIC_LOG_RUN_LABEL_CNR : IDC_STATIC_LOG_RUN_LABEL_CML,
                    LoadResString(IDS_LOG_RUNTIME).c_str());
    SetDlgItemTextW(m_hWnd, IDC_STATIC_LOG_RUN_UNIT,
                    (bConsumer ? strHours + LoadResString(IDS_NOTE_MARK) : strHours).c_str());
    SetDlgItemTextW(m_hWnd, IDC_STATIC_LOG_AVERAGE_LABEL, LoadResString(IDS_LOG_AVERAGE).c_str());
    SetDlgItemTextW(m_hWnd, IDC_STATIC_LOG_AVERAGE_POINT, strPoint.c_str());
    SetDlgItemTextW(m_hWnd, IDC_STATIC_LOG_AVERAGE_UNIT, strWh.c_str());
    SetDlgItemTextW(m_hWnd, IDC_STATIC_LOG_QUO_LABEL, bConsumer ? LoadResString(IDS_LOG_QUO_REDUCTION).c_str() : L"");
    SetDlgItemTextW(m_hWnd, IDC_STATIC_LOG_QUO_UNIT, bConsumer ? strWh.c_str() : L"");
    SetDlgItemTextW(m_hWnd, IDC_STATIC_LOG_CO2_LABEL, LoadResString(IDS_LOG_CO2).c_str());
    SetDlgItemTextW(m_hWnd, IDC_STATIC_LOG_CO2_POINT, strPoint.c_str());
    SetDlgItemTextW(m_hWnd, IDC_STATIC_LOG_CO2_UNIT, LoadResString(IDS_UNIT_KG).c_str());
    SetDlgItemTextW(m_hWnd, IDC_STATIC_LOG_QUOTIME_LABEL, bConsumer ? LoadResString(IDS_LOG_QUO_TIME).c_str() : L"");
    SetDlgItemTextW(m_hWnd, IDC_STATIC_LOG_QUOTIME_UNIT, bConsumer ? strHours.c_str() : L"");
    if (!bConsumer) {
        SetDlgItemTextW(m_hWnd, IDC_STATIC_LOG_QUO_VALUE, L"");
        SetDlgItemTextW(m_hWnd, IDC_STATIC_LOG_QUOTIME_VALUE, L"");
    }
}

DWORD CQVChildDlgLog::UpdateLogGraph()
{
    TRACE_ENTER(1);
    DWORD dwRet = UpdateLogData(m_nLogMode);
    if (dwRet != ERROR_SUCCESS) {
        TRACE(0, L"Fail to UpdateLogData(). dwRet: %08x.", dwRet);
        return TRACE_LEAVE(dwRet);
    }
    dwRet = UpdateGraphLog();
    if (dwRet != ERROR_SUCCESS) {
        TRACE(0, L"Fail to UpdateGraphLog(). dwRet: %08x.", dwRet);
        return TRACE_LEAVE(dwRet);
    }
    dwRet = UpdateItem();
    if (dwRet != ERROR_SUCCESS) {
        TRACE(0, L"Fail to UpdateItem(). dwRet: %08x.", dwRet);
        return TRACE_LEAVE(dwRet);
    }
    if (m_hWnd != nullptr) {
        RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQVChildDlgLog::UpdateLogData(DWORD dwMode)
{
    TRACE_ENTER(1);
    // Without the library (it failed to open) the read answers 21 and the pane shows an
    // empty period.
    return TRACE_LEAVE(::UpdateLogData(dwMode, m_stCurrentDate, m_barTexts, m_planColors, m_stateColors, &m_data));
}

DWORD CQVChildDlgLog::UpdateGraphLog()
{
    TRACE_ENTER(1);
    if (m_pImgLogGraph == nullptr) {
        return TRACE_NULL_ARGUMENT(m_pImgLogGraph);
    }
    return TRACE_LEAVE(m_pImgLogGraph->DrawLogGraph(m_nLogMode, m_stRootConfig.cnrType, m_data.bars, m_histogram,
                                              GetDlgItem(IDC_STATIC_LOG_GRAPH), m_ToolTip.GetSafeHwnd()));
}

DWORD CQVChildDlgLog::UpdateItem()
{
    TRACE_ENTER(1);
    QVLogPaneView view;
    const DWORD dwRet = BuildLogPaneView(m_nLogMode, m_stCurrentDate, m_settings.stPastLimitSysTime, Today(),
                                         m_stRootConfig.cnrType, m_data.totals, m_settings.dCO2Factor, m_texts, &view);
    if (dwRet != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwRet);
    }
    m_btnPrevious.SetCaption(view.strPreviousButton);
    m_btnFollowing.SetCaption(view.strFollowingButton);
    EnableWindow(GetDlgItem(IDC_BTN_PREVIOUS_DATE), view.bPreviousEnabled);
    EnableWindow(GetDlgItem(IDC_BTN_FOLLOWING_DATE), view.bFollowingEnabled);
    InvalidateRect(GetDlgItem(IDC_BTN_PREVIOUS_DATE), nullptr, FALSE);
    InvalidateRect(GetDlgItem(IDC_BTN_FOLLOWING_DATE), nullptr, FALSE);
    SetDlgItemTextIfChanged(IDC_BTN_LOG_DATE, view.strPeriod.c_str());

    SetDlgItemTextIfChanged(IDC_STATIC_LOG_TOTAL_VALUE, view.strTotalWh.c_str());
    SetDlgItemTextIfChanged(IDC_STATIC_LOG_RUN_VALUE, view.strRunHours.c_str());
    SetDlgItemTextIfChanged(IDC_STATIC_LOG_AVERAGE_VALUE, view.strAverage.c_str());
    SetDlgItemTextIfChanged(IDC_STATIC_LOG_AVERAGE_TENTH, view.strAverageTenth.c_str());
    if (view.bQuoShown) {
        SetDlgItemTextIfChanged(IDC_STATIC_LOG_QUO_VALUE, view.strQuoWh.c_str());
        SetDlgItemTextIfChanged(IDC_STATIC_LOG_QUOTIME_VALUE, view.strQuoHours.c_str());
    }
    for (int nId : {IDC_STATIC_LOG_CO2_LABEL, IDC_STATIC_LOG_CO2_POINT, IDC_STATIC_LOG_CO2_UNIT}) {
        ShowControl(nId, view.bCO2Shown ? TRUE : FALSE);
    }
    SetDlgItemTextIfChanged(IDC_STATIC_LOG_CO2_VALUE, view.strCO2.c_str());
    SetDlgItemTextIfChanged(IDC_STATIC_LOG_CO2_TENTH, view.strCO2Tenth.c_str());
    SetDlgItemTextIfChanged(IDC_STATIC_LOG_Y_UNIT, view.strYUnit.c_str());
    SetDlgItemTextIfChanged(IDC_STATIC_LOG_X_UNIT, view.strXUnit.c_str());
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CQVChildDlgLog::ChangeLogDate(int nDirection)
{
    TRACE_ENTER(1);
    SYSTEMTIME stDate = {};
    const DWORD dwRet =
        ::ChangeLogDate(m_nLogMode, nDirection, m_stCurrentDate, m_settings.stPastLimitSysTime, Today(), &stDate);
    if (dwRet != ERROR_SUCCESS) {
        TRACE(0, nDirection < 0 ? L"Fail to ChangeLogDate(DATE_PREVIOUS). dwRet: %08x."
                                : L"Fail to ChangeLogDate(DATE_FOLLOWING). dwRet: %08x.",
              dwRet);
        TRACE_LEAVE_ERROR();
        return;
    }
    m_stCurrentDate = stDate;
    const DWORD dwUpdate = UpdateLogGraph();
    if (dwUpdate != ERROR_SUCCESS) {
        TRACE(0, L"Fail to UpdateLogGraph(). dwRet: %08x.", dwUpdate);
    }
    TRACE_LEAVE_VOID();
}

void CQVChildDlgLog::OnBnClickedLogDate()
{
    TRACE_ENTER(1);
    const SYSTEMTIME stToday = Today();
    if (!IsValidDateOn(&stToday, &m_settings.stPastLimitSysTime, stToday)) {
        TRACE(0, L"LocalTime is invalid.");
    }
    m_stCurrentDate = MakeDate(stToday.wYear, stToday.wMonth, stToday.wDay);
    const DWORD dwUpdate = UpdateLogGraph();
    if (dwUpdate != ERROR_SUCCESS) {
        TRACE(0, L"Fail to UpdateLogGraph(). dwRet: %08x.", dwUpdate);
    }
    TRACE_LEAVE_VOID();
}

void CQVChildDlgLog::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent != kRefreshTimerId) {
        return;
    }
    const SYSTEMTIME stNow = Today();
    if (IsLogRefreshMinute(stNow.wMinute, m_settings.dwGraphRefreshDelay)) {
        UpdateLogGraph();
    }
}

void CQVChildDlgLog::OnDrawGraph(const DRAWITEMSTRUCT* pDrawItem)
{
    if (!m_pImgLogGraph) {
        return;
    }
    CNamedMutexLock lock(m_MutexLogAnalyze, nullptr);
    m_pImgLogGraph->Update(pDrawItem->hwndItem, pDrawItem->hDC, pDrawItem->rcItem);
}

BOOL CQVChildDlgLog::OnCommand(WORD wID, WORD wCode, HWND hWndCtl)
{
    if (wCode == BN_CLICKED) {
        switch (wID) {
        case IDC_BTN_PREVIOUS_DATE:
            ChangeLogDate(-1);
            return TRUE;
        case IDC_BTN_FOLLOWING_DATE:
            ChangeLogDate(1);
            return TRUE;
        case IDC_BTN_LOG_DATE:
            OnBnClickedLogDate();
            return TRUE;
        default:
            break;
        }
    }
    return CQVBaseChildDlg::OnCommand(wID, wCode, hWndCtl);
}

INT_PTR CQVChildDlgLog::DialogProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        return TRUE;
    case WM_DRAWITEM:
        if (wParam == IDC_STATIC_LOG_GRAPH) {
            OnDrawGraph(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            SetMsgResult(TRUE);
            return TRUE;
        }
        return CQVBaseChildDlg::DialogProc(uMsg, wParam, lParam);
    default:
        return CQVBaseChildDlg::DialogProc(uMsg, wParam, lParam);
    }
}

void CQVChildDlgLog::OnDestroy()
{
    TRACE_ENTER(1);
    if (m_bTimer) {
        KillTimer(m_hWnd, kRefreshTimerId);
        m_bTimer = false;
    }
    m_pImgLogGraph.reset();
    m_MutexLogAnalyze.Finalize();
    TRACE_LEAVE_VOID();
}
