// The log analysis pane as a real window under Xvfb, on a clean machine whose log folder
// holds a known month of logs totalized by the log library itself: each view reads the
// fixture's bars through QUOLog.dll and shows them at the heights the layout gives
// (judged on the pixels the screen shows), with their labels and totals; navigation
// stops at the past limit and at today; the refresh minute redraws without user action.
// The clock is the pane's seam, never waited for. Screenshots of every view for both
// product lines go to the build's screenshots folder.
#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "CQVChildDlgLog.h"
#include "LogColorTables.h"
#include "LogMonthFixture.h"
#include "QuoLog.h"
#include "QuoViewer_Common.h"
#include "ViewerTestSupport.h"
#include "resource.h"

using namespace viewertest;

namespace {

SYSTEMTIME g_stNow = {};

void WINAPI FakeLocalTime(LPSYSTEMTIME lpTime)
{
    *lpTime = g_stNow;
}

SYSTEMTIME At(WORD wMonth, WORD wDay, WORD wHour, WORD wMinute)
{
    SYSTEMTIME st = MakeDate(kFixtureYear, wMonth, wDay);
    st.wHour = wHour;
    st.wMinute = wMinute;
    return st;
}

class LogPaneTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_bBuilt = BuildFixtureMonth();
        integ::SetDword(L"Software\\ZAV\\QUOViewer\\LogAnalyze", L"PastLimitDateYear", kFixtureYear);
    }

    // Opens the pane for the product line with the clock at stNow.
    void Open(DWORD cnrType, const SYSTEMTIME& stNow = At(3, 31, 12, 0))
    {
        ASSERT_TRUE(s_bBuilt);
        g_stNow = stNow;
        hParent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 700, 400, nullptr,
                                  nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, hParent);
        pane.reset(new CQVChildDlgLog);
        QVRootConfig config = MakeQVRootConfig();
        config.cnrType = cnrType;
        config.dwOSVersion = QV_OS_7;
        pane->SetQVRootConfig(&config);
        pane->SetLocalTimeFunc(FakeLocalTime);
        ASSERT_EQ(0u, pane->Create(hParent));
        RECT rc = {};
        GetWindowRect(pane->GetSafeHwnd(), &rc);
        SetWindowPos(hParent, HWND_TOP, 0, 0, rc.right - rc.left, rc.bottom - rc.top, SWP_SHOWWINDOW);
        ShowWindow(pane->GetSafeHwnd(), SW_SHOW);
    }
    void TearDown() override { Close(); }
    void Close()
    {
        if (pane && pane->GetSafeHwnd() != nullptr) {
            pane->DestroyWindow();
        }
        pane.reset();
        QUOLogFinalize();  // as the main dialog does when it closes
        if (hParent != nullptr) {
            DestroyWindow(hParent);
            hParent = nullptr;
        }
    }

    void Show(DWORD dwMode) { ASSERT_EQ(0u, pane->Apply(&dwMode)); }
    std::wstring Text(int nId) const { return WindowText(pane->GetDlgItem(nId)); }
    bool Visible(int nId) const { return IsWindowVisible(pane->GetDlgItem(nId)) != FALSE; }
    bool Enabled(int nId) const { return IsWindowEnabled(pane->GetDlgItem(nId)) != FALSE; }
    void Click(int nId) { SendMessageW(pane->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), 0); }
    void Tick() { SendMessageW(pane->GetSafeHwnd(), WM_TIMER, CQVChildDlgLog::kRefreshTimerId, 0); }

    // The bars the screen shows in the histogram: for every bar with energy, its
    // columns carry the bar's shading from the bottom up to the height the layout gives,
    // and the plot's background right above it (the QUO part between). Returns how many
    // bars are drawn.
    size_t ExpectBarsOnScreen()
    {
        CCapture capture;
        HWND hGraph = pane->GetDlgItem(IDC_STATIC_LOG_GRAPH);
        EXPECT_TRUE(capture.Grab(hGraph));
        const CQVImage* pImage = pane->GetImage();
        const std::vector<QVLogBar>& bars = pane->GetPeriodData().bars;
        const RECT& rc = pImage->Layout().rcBars;
        const QVHistogramSettings settings;
        size_t nDrawn = 0;
        for (size_t i = 0; i < bars.size(); ++i) {
            const QVSpan span = LogBarSpan(rc.left, rc.right - rc.left, i, bars.size());
            const QVBarHeights h =
                LogBarHeights(rc.bottom - rc.top, bars[i].dEnergyWh, bars[i].dQuoWh, pImage->Scale().dRange);
            const int x = span.nLeft + 1 + (span.nRight - span.nLeft - 2) * 35 / 100;  // the brightest column
            const COLORREF crBottom = capture.At(x, rc.bottom - 1);
            if (h.nEnergy == 0) {
                EXPECT_TRUE(crBottom == settings.dwBgColor || crBottom == settings.dwGridColor) << "bar " << i;
                continue;
            }
            ++nDrawn;
            EXPECT_EQ(settings.dwFgColor, crBottom) << "bar " << i;
            EXPECT_EQ(settings.dwFgColor, capture.At(x, rc.bottom - h.nEnergy)) << "bar " << i;
            if (h.nQuo > 0) {
                EXPECT_EQ(settings.dwQuoFgColor, capture.At(x, rc.bottom - h.nEnergy - 1)) << "bar " << i;
            }
            const COLORREF crAbove = capture.At(x, rc.bottom - h.nEnergy - h.nQuo - 1);
            EXPECT_TRUE(crAbove == settings.dwBgColor || crAbove == settings.dwGridColor) << "bar " << i;
        }
        return nDrawn;
    }

    static bool s_bBuilt;
    HWND hParent = nullptr;
    std::unique_ptr<CQVChildDlgLog> pane;
};

bool LogPaneTest::s_bBuilt = false;

// The month's sums of the fixture's days: energy, energy saved, hours running.
struct MonthSums {
    MonthSums()
    {
        for (WORD d = 1; d <= 31; ++d) {
            dWh += FixtureDayWh(d);
            dQuoWh += FixtureDayQuoWh(d);
            nHours += FixtureDayHours(d);
        }
    }
    double dWh = 0.0;
    double dQuoWh = 0.0;
    int nHours = 0;
};

// What the pane read through the log library against the fixture, for the view of wDay:
// the bars' labels and energies (the month's also the energy saved); in the day view the
// sleep state of each running hour and its power state band (AC, on the 15th battery);
// the hours running of a day, and the month's (and its year's) totals.
void ExpectTheFixturesPeriod(const QVLogPeriodData& data, DWORD dwMode, WORD wDay, const MonthSums& month)
{
    const std::vector<QVLogBar>& bars = data.bars;
    const WORD wSunday = static_cast<WORD>(wDay - DayOfWeekOf(MakeDate(kFixtureYear, kFixtureMonth, wDay)));
    const int nHours = FixtureDayHours(wDay);
    QVStateColorTable states;
    InitColorPowerState(&states);
    for (WORD n = 0; n < bars.size(); ++n) {
        SCOPED_TRACE(n);
        // The label: the hour, the day of the month, or the month.
        const WORD wLabel =
            static_cast<WORD>((dwMode == QV_LOGMODE_DAY) ? n : (dwMode == QV_LOGMODE_WEEK) ? wSunday + n : n + 1);
        EXPECT_EQ(std::to_wstring(wLabel), bars[n].strLabel);
        if (dwMode == QV_LOGMODE_DAY) {
            const bool bRuns = n >= 9 && n < 9 + nHours;
            EXPECT_NEAR(bRuns ? FixtureDayWh(wDay) / nHours : 0.0, bars[n].dEnergyWh, 0.001);
            EXPECT_EQ(bRuns, !bars[n].strSleepState.empty());
            if (bRuns) {
                EXPECT_EQ(states.states[wDay == 15 ? 2 : 1].crFg, bars[n].stateBand.colors.crFg);
            }
        } else if (dwMode == QV_LOGMODE_YEAR) {
            EXPECT_NEAR((wLabel == kFixtureMonth) ? month.dWh : 0.0, bars[n].dEnergyWh, 0.01);
        } else {
            EXPECT_NEAR(FixtureDayWh(wLabel), bars[n].dEnergyWh, 0.001);
            if (dwMode == QV_LOGMODE_MONTH) {
                EXPECT_NEAR(FixtureDayQuoWh(wLabel), bars[n].dQuoWh, 0.001);
            }
        }
    }
    if (dwMode == QV_LOGMODE_DAY) {
        EXPECT_EQ(static_cast<UINT>(nHours), data.totals.nRunHours);
    } else if (dwMode != QV_LOGMODE_WEEK) {
        EXPECT_NEAR(month.dWh, data.totals.dTotalWh, 0.01);
        EXPECT_NEAR(month.dQuoWh, data.totals.dQuoWh, 0.01);
        EXPECT_EQ(static_cast<UINT>(month.nHours), data.totals.nRunHours);
    }
}

// Both product lines: each view's bars, read and drawn, and its period (a day with one
// running hour on battery and a Sunday without a log among them); CO2 on the consumer
// models' month and year; no QUO figures on the commercial models. (The units' texts are
// for the screenshots.)
TEST_F(LogPaneTest, EveryViewShowsItsBarsLabelsAndTotals)
{
    const MonthSums month;
    const struct {
        DWORD dwMode;
        WORD wDay;
        size_t nSlots;
        size_t nDrawn;
        const wchar_t* lpName;
        const wchar_t* lpPeriod;
    } views[] = {
        {QV_LOGMODE_DAY, 14, 24, 3, L"log_day", L"2012 年 3 月 14 日"},
        {QV_LOGMODE_DAY, 15, 24, 1, L"log_day_battery", L"2012 年 3 月 15 日"},
        {QV_LOGMODE_DAY, 18, 24, 0, L"log_day_without_log", L"2012 年 3 月 18 日"},
        {QV_LOGMODE_WEEK, 14, 7, 6, L"log_week", L"2012年3月11日～2012年3月17日"},
        {QV_LOGMODE_MONTH, 14, 31, 27, L"log_month", L"2012年3月"},
        {QV_LOGMODE_YEAR, 14, 12, 1, L"log_year", L"2012年"},
    };
    for (DWORD cnrType : {CNR_COMMERCIAL, CNR_CONSUMER}) {
        const bool bConsumer = cnrType == CNR_CONSUMER;
        Open(cnrType);
        for (const auto& view : views) {
            SCOPED_TRACE(std::to_string(cnrType) + " " + std::to_string(view.dwMode) + " " + std::to_string(view.wDay));
            g_stNow = At(3, view.wDay, 12, 0);
            Show(view.dwMode);
            Click(IDC_BTN_LOG_DATE);
            ASSERT_EQ(view.nSlots, pane->GetPeriodData().bars.size());
            ExpectTheFixturesPeriod(pane->GetPeriodData(), view.dwMode, view.wDay, month);
            EXPECT_EQ(view.nDrawn, ExpectBarsOnScreen());
            EXPECT_EQ(view.lpPeriod, Text(IDC_BTN_LOG_DATE));
            EXPECT_EQ(bConsumer && view.dwMode >= QV_LOGMODE_MONTH, Visible(IDC_STATIC_LOG_CO2_LABEL));
            EXPECT_EQ(bConsumer, !Text(IDC_STATIC_LOG_QUO_VALUE).empty());
            EXPECT_EQ(bConsumer, !Text(IDC_STATIC_LOG_QUOTIME_LABEL).empty());
            SaveScreenshot(hParent, (view.lpName + std::wstring(bConsumer ? L"_consumer" : L"_commercial")).c_str());
        }
        EXPECT_EQ(bConsumer, Visible(IDC_STATIC_LOG_RUN_LABEL_CNR));
        EXPECT_EQ(!bConsumer, Visible(IDC_STATIC_LOG_RUN_LABEL_CML));
        if (!bConsumer) {
            Close();
        }
    }
    // The year of March alone: its totals are the month's, CO2 included.
    const DWORD dwAverage = TenthsHalfUp(month.dWh / month.nHours);
    const DWORD dwCO2 = CO2Tenths(month.dQuoWh, DefaultCO2Factor());
    EXPECT_EQ(std::to_wstring(static_cast<int>(RoundHalfUp(month.dWh))), Text(IDC_STATIC_LOG_TOTAL_VALUE));
    EXPECT_EQ(std::to_wstring(month.nHours), Text(IDC_STATIC_LOG_RUN_VALUE));
    EXPECT_EQ(std::to_wstring(dwAverage / 10), Text(IDC_STATIC_LOG_AVERAGE_VALUE));
    EXPECT_EQ(std::to_wstring(dwAverage % 10), Text(IDC_STATIC_LOG_AVERAGE_TENTH));
    EXPECT_EQ(std::to_wstring(static_cast<int>(RoundHalfUp(month.dQuoWh))), Text(IDC_STATIC_LOG_QUO_VALUE));
    EXPECT_EQ(std::to_wstring(dwCO2 / 10), Text(IDC_STATIC_LOG_CO2_VALUE));
    EXPECT_EQ(std::to_wstring(dwCO2 % 10), Text(IDC_STATIC_LOG_CO2_TENTH));
}

TEST_F(LogPaneTest, TheDayViewMergesEqualPlansIntoOneTippedSegment)
{
    Open(CNR_CONSUMER, At(3, 14, 23, 0));
    Show(QV_LOGMODE_DAY);
    // One tip per segment of each band and one per drawn bar.
    HWND hTip = nullptr;
    for (HWND h = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr); h != nullptr;
         h = FindWindowExW(nullptr, h, TOOLTIPS_CLASSW, nullptr)) {
        if (GetWindow(h, GW_OWNER) == hParent) {  // a popup's owner is the top-level window
            hTip = h;
        }
    }
    ASSERT_NE(nullptr, hTip);
    EXPECT_EQ(3 + 4 + 3, SendMessageW(hTip, TTM_GETTOOLCOUNT, 0, 0));  // bars, plan segments, state segments
    CCapture capture;
    ASSERT_TRUE(capture.Grab(pane->GetDlgItem(IDC_STATIC_LOG_GRAPH)));
    const RECT& band = pane->GetImage()->Layout().rcPlanBand;
    const QVSpan hour11 = LogBarSpan(band.left, band.right - band.left, 11, 24);
    EXPECT_EQ(RGB(193, 255, 203), capture.At(hour11.nLeft, band.top + 2));  // no divider inside the segment
    Show(QV_LOGMODE_WEEK);
    EXPECT_EQ(6, SendMessageW(hTip, TTM_GETTOOLCOUNT, 0, 0));  // the drawn bars: no bands outside the day view
}

TEST_F(LogPaneTest, NavigationStopsAtThePastLimitAndAtToday)
{
    Open(CNR_CONSUMER);
    Show(QV_LOGMODE_MONTH);
    EXPECT_EQ(L"2012年3月", Text(IDC_BTN_LOG_DATE));
    EXPECT_FALSE(Enabled(IDC_BTN_FOLLOWING_DATE));
    Click(IDC_BTN_PREVIOUS_DATE);
    Click(IDC_BTN_PREVIOUS_DATE);
    EXPECT_EQ(L"2012年1月", Text(IDC_BTN_LOG_DATE));
    EXPECT_FALSE(Enabled(IDC_BTN_PREVIOUS_DATE));
    Click(IDC_BTN_PREVIOUS_DATE);  // a click that gets through anyway stays at the limit
    EXPECT_EQ(L"2012年1月", Text(IDC_BTN_LOG_DATE));
    EXPECT_EQ(0.0, pane->GetPeriodData().totals.dTotalWh);
    for (int i = 0; i < 3; ++i) {
        Click(IDC_BTN_FOLLOWING_DATE);
    }
    EXPECT_EQ(L"2012年3月", Text(IDC_BTN_LOG_DATE));
    EXPECT_FALSE(Enabled(IDC_BTN_FOLLOWING_DATE));
    EXPECT_TRUE(Enabled(IDC_BTN_PREVIOUS_DATE));
}

TEST_F(LogPaneTest, TheRefreshMinuteRedrawsWithoutUserAction)
{
    Open(CNR_CONSUMER, At(3, 30, 23, 40));
    Show(QV_LOGMODE_DAY);
    EXPECT_FALSE(Enabled(IDC_BTN_FOLLOWING_DATE));
    g_stNow = At(3, 31, 0, 0);  // a new day, but no refresh minute yet
    Tick();
    EXPECT_FALSE(Enabled(IDC_BTN_FOLLOWING_DATE));
    g_stNow = At(3, 31, 0, 1);
    Tick();
    EXPECT_TRUE(Enabled(IDC_BTN_FOLLOWING_DATE));
    EXPECT_EQ(L"2012 年 3 月 30 日", Text(IDC_BTN_LOG_DATE));  // the shown day stays
}

}  // namespace
