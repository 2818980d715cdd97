// The numbers of the log analysis pane without windows: the Y scale and grid, bar
// geometry, the rounding of the totals, the CO2 estimate, the merging of half hours into
// hours, the bands of the day view and the shading of a bar.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "LogBars.h"
#include "LogGraphMath.h"
#include "LogPaneView.h"
#include "QuoViewer_Common.h"

namespace {

QuoLogRead Row(WORD wHour, WORD wMinute, ULONGLONG ullPCmWh, const wchar_t* lpPlan1 = L"", DWORD dwPlan1Time = 0,
               const wchar_t* lpPlan2 = L"", DWORD dwPlan2Time = 0)
{
    QuoLogRead row = {};
    row.stTime = {2012, 5, 0, 9, wHour, wMinute, 0, 0};
    row.ullPCEnergy = ullPCmWh;
    row.dwS0Time = dwPlan1Time + dwPlan2Time;
    row.dwACTime = row.dwS0Time;
    wcsncpy_s(row.szPowerPlan1, lpPlan1, _TRUNCATE);
    row.dwPowerPlan1Time = dwPlan1Time;
    wcsncpy_s(row.szPowerPlan2, lpPlan2, _TRUNCATE);
    row.dwPowerPlan2Time = dwPlan2Time;
    return row;
}

QVLogBar Bar(double dEnergyWh, double dQuoWh = 0.0, const wchar_t* lpPlan = L"")
{
    QVLogBar bar;
    bar.dEnergyWh = dEnergyWh;
    bar.dQuoWh = dQuoWh;
    bar.planBand.strText = lpPlan;
    return bar;
}

TEST(LogGraphMath, YScaleRoundsUpToFiveUnitsOfTheSecondDigitAndKeepsTheMinimum)
{
    struct Case {
        double dMax, dMin, dRange, dStep;
        int nLines;
        std::vector<int> drawn;
    } cases[] = {
        {345.0, 100.0, 350.0, 50.0, 7, {2, 4, 6}},
        {350.0, 100.0, 400.0, 50.0, 8, {2, 4, 6, 8}},
        {80.0, 100.0, 100.0, 10.0, 10, {2, 4, 6, 8, 10}},
        {1234.0, 1200.0, 1500.0, 200.0, 7, {2, 4, 6}},
        {30000.0, 24000.0, 35000.0, 5000.0, 7, {2, 4, 6}},
        {0.0, 0.0, 100.0, 10.0, 10, {2, 4, 6, 8, 10}},
        {0.0, 300.0, 300.0, 50.0, 6, {1, 2, 3, 4, 5, 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dMax);
        const QVLogYScale scale = ComputeLogYScale(c.dMax, c.dMin);
        EXPECT_DOUBLE_EQ(c.dRange, scale.dRange);
        EXPECT_DOUBLE_EQ(c.dStep, scale.dStep);
        EXPECT_EQ(c.nLines, scale.nLines);
        std::vector<int> drawn;
        for (int k = 1; k <= scale.nLines; ++k) {
            if (IsGridLineDrawn(k, scale.nLines)) {
                drawn.push_back(k);
            }
        }
        EXPECT_EQ(c.drawn, drawn);
    }
    const int strides[][3] = {{16, 18, 1}, {18, 18, 2}, {30, 14, 3}, {10, 0, 1}};
    for (const auto& stride : strides) {
        EXPECT_EQ(static_cast<size_t>(stride[2]), LogLabelStride(stride[0], stride[1])) << stride[0] << " " << stride[1];
    }
    QVLogMinRanges ranges;
    EXPECT_DOUBLE_EQ(24000.0, ranges.ForMode(QV_LOGMODE_YEAR));
    EXPECT_DOUBLE_EQ(100.0, ranges.ForMode(7));
}

TEST(LogGraphMath, BarsGetTwoPixelsAtLeastAndNothingWithoutEnergy)
{
    const RECT rc = {10, 20, 10 + 240, 20 + 200};
    std::vector<QVLogBar> bars = {Bar(0.1), Bar(0.0), Bar(50.0, 25.0), Bar(0.6)};
    std::vector<QVBarRects> rects;
    ASSERT_EQ(0u, LayoutHistogramBars(rc, bars, 100.0, &rects));
    ASSERT_EQ(4u, rects.size());
    EXPECT_TRUE(rects[0].bShown);
    EXPECT_EQ(2, rects[0].rcEnergy.bottom - rects[0].rcEnergy.top);
    EXPECT_EQ(220, rects[0].rcEnergy.bottom);
    EXPECT_EQ(11, rects[0].rcEnergy.left);
    EXPECT_EQ(69, rects[0].rcEnergy.right);
    EXPECT_FALSE(rects[1].bShown);
    EXPECT_EQ(120, rects[2].rcEnergy.top);   // 50 of 100 Wh over 200 pixels
    EXPECT_EQ(120, rects[2].rcQuo.bottom);   // the QUO part stands on the energy part
    EXPECT_EQ(70, rects[2].rcQuo.top);
    EXPECT_EQ(2, rects[3].rcEnergy.bottom - rects[3].rcEnergy.top);  // 1 pixel is raised to 2, not 3

    std::vector<QVLogBar> tooMany(kQVMaxLogBars + 1, Bar(10.0));
    EXPECT_EQ(87u, LayoutHistogramBars(rc, tooMany, 100.0, &rects));
    EXPECT_TRUE(rects.empty());
}

TEST(LogGraphMath, TotalsRoundHalfUp)
{
    EXPECT_EQ(123u, TenthsHalfUp(12.25));
    EXPECT_EQ(122u, TenthsHalfUp(12.24));
    EXPECT_DOUBLE_EQ(3.0, RoundHalfUp(2.5));
    EXPECT_DOUBLE_EQ(2.0, RoundHalfUp(2.49));

    QuoLogRead stat = {};
    stat.dwS0Time = 5399;
    stat.ullPCEnergy = 20000;
    stat.ullMonEnergy = 4500;
    stat.ullReductPlanTime = 5400;
    stat.ullReductEnergy = 1500;
    QVLogTotals totals = ComputeLogTotals(stat);
    EXPECT_EQ(1u, totals.nRunHours);
    EXPECT_EQ(2u, totals.nQuoHours);
    EXPECT_DOUBLE_EQ(24.5, totals.dTotalWh);
    EXPECT_DOUBLE_EQ(24.5, totals.dAverageWh);
    EXPECT_DOUBLE_EQ(1.5, totals.dQuoWh);
    stat.dwS0Time = 5400;
    EXPECT_DOUBLE_EQ(12.25, ComputeLogTotals(stat).dAverageWh);
    stat.dwS0Time = 1799;
    EXPECT_DOUBLE_EQ(0.0, ComputeLogTotals(stat).dAverageWh);
}

TEST(LogGraphMath, CO2IsShownOnMonthAndYearOfConsumerModelsOnly)
{
    EXPECT_EQ(41u, CO2Tenths(10000.0, DefaultCO2Factor()));
    EXPECT_EQ(50u, CO2Tenths(10000.0, 500 / 1000.0));
    const DWORD modes[] = {QV_LOGMODE_DAY, QV_LOGMODE_WEEK, QV_LOGMODE_MONTH, QV_LOGMODE_YEAR};
    const bool consumer[] = {false, false, true, true};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(consumer[i], IsCO2Shown(modes[i], CNR_CONSUMER)) << modes[i];
        EXPECT_FALSE(IsCO2Shown(modes[i], CNR_COMMERCIAL)) << modes[i];
    }
}

TEST(LogPaneView, TheControlsShowRoundedTotalsAndCO2OnlyWhereItBelongs)
{
    QVLogPaneTexts texts;
    texts.strPrevious = L"P";
    texts.strFollowing = L"F";
    texts.strUnit[0] = L"d";
    texts.strUnit[3] = L"y";
    texts.strWeekLabel = L"%d/%d/%d-%d/%d/%d";
    texts.strDayLabel = L"%d.%d.%d";
    texts.strMonthUnit = L"mo";
    texts.strOpen = L"(";
    texts.strClose = L")";
    QVLogTotals totals;
    totals.dTotalWh = 24.5;
    totals.nRunHours = 2;
    totals.dAverageWh = 12.25;
    totals.dQuoWh = 10000.0;
    totals.nQuoHours = 7;
    const SYSTEMTIME today = MakeDate(2012, 3, 31);
    const SYSTEMTIME limit = DefaultPastLimitDate();
    QVLogPaneView view;
    ASSERT_EQ(0u, BuildLogPaneView(QV_LOGMODE_YEAR, MakeDate(2012, 3, 14), limit, today, CNR_CONSUMER, totals,
                                   DefaultCO2Factor(), texts, &view));
    EXPECT_EQ(L"Py", view.strPreviousButton);
    EXPECT_EQ(L"25", view.strTotalWh);
    EXPECT_EQ(L"12", view.strAverage);
    EXPECT_EQ(L"3", view.strAverageTenth);
    EXPECT_EQ(L"10000", view.strQuoWh);
    EXPECT_EQ(L"7", view.strQuoHours);
    EXPECT_TRUE(view.bCO2Shown);
    EXPECT_EQ(L"4", view.strCO2);
    EXPECT_EQ(L"1", view.strCO2Tenth);
    EXPECT_EQ(L"(mo)", view.strXUnit);
    EXPECT_TRUE(view.bPreviousEnabled);
    EXPECT_FALSE(view.bFollowingEnabled);

    totals.dAverageWh = 12.24;
    ASSERT_EQ(0u, BuildLogPaneView(QV_LOGMODE_WEEK, MakeDate(2012, 2, 29), limit, today, CNR_CONSUMER, totals,
                                   DefaultCO2Factor(), texts, &view));
    EXPECT_EQ(L"2012/2/26-2012/3/3", view.strPeriod);
    EXPECT_EQ(L"2", view.strAverageTenth);
    EXPECT_FALSE(view.bCO2Shown);
    EXPECT_EQ(L"", view.strCO2);
    ASSERT_EQ(0u, BuildLogPaneView(QV_LOGMODE_MONTH, today, limit, today, CNR_COMMERCIAL, totals,
                                   DefaultCO2Factor(), texts, &view));
    EXPECT_FALSE(view.bCO2Shown);
    EXPECT_FALSE(view.bQuoShown);
    EXPECT_EQ(L"", view.strQuoWh);
    ASSERT_EQ(0u, BuildLogPaneView(QV_LOGMODE_DAY, limit, limit, today, CNR_CONSUMER, totals, DefaultCO2Factor(),
                                   texts, &view));
    EXPECT_EQ(L"2009.1.1", view.strPeriod);
    EXPECT_EQ(L"Pd", view.strPreviousButton);
    EXPECT_FALSE(view.bPreviousEnabled);
}

TEST(LogBars, HalfHoursMergeIntoHoursWithTheirLongestPlan)
{
    std::vector<QuoLogRead> rows;
    for (WORD i = 0; i < 48; ++i) {
        rows.push_back(Row(i / 2, (i % 2) ? 30 : 0, 1000));
    }
    rows[20] = Row(10, 0, 7000, L"B", 600, L"A", 300);
    rows[21] = Row(10, 30, 8000, L"A", 600, L"C", 900);
    rows[22] = Row(11, 0, 1000, L"B", 900);
    rows[23] = Row(11, 30, 1000, L"A", 900);
    rows.push_back(Row(23, 0, 5000));  // a row without a partner is kept alone

    std::vector<QuoLogRead> hours(rows.size());
    DWORD dwHours = 0;
    ASSERT_EQ(0u, MergeLogDataArray(rows.data(), static_cast<DWORD>(rows.size()), hours.data(), &dwHours));
    ASSERT_EQ(25u, dwHours);
    EXPECT_EQ(10, hours[10].stTime.wHour);
    EXPECT_EQ(0, hours[10].stTime.wMinute);
    EXPECT_EQ(15000u, hours[10].ullPCEnergy);
    EXPECT_EQ(2400u, hours[10].dwS0Time);
    EXPECT_STREQ(L"A", hours[10].szPowerPlan1);   // 900 s of A against 900 of C: the first name stays
    EXPECT_EQ(900u, hours[10].dwPowerPlan1Time);
    EXPECT_STREQ(L"A", hours[11].szPowerPlan1);   // ties keep the name first in order
    EXPECT_EQ(2000u, hours[0].ullPCEnergy);
    EXPECT_EQ(5000u, hours[24].ullPCEnergy);
    EXPECT_EQ(87u, MergeLogDataArray(rows.data(), 48, nullptr, &dwHours));
}

TEST(LogBars, BarsTakeStatesPlansColoursAndLabels)
{
    QVBarTexts texts;
    texts.sleep[1] = L"S0";
    texts.sleep[2] = L"S3/S4";
    texts.sleep[3] = L"S5";
    texts.state[1] = L"AC";
    texts.state[2] = L"DC";
    texts.state[3] = L"CH";
    QVPlanColorTable plans;
    plans[L"Known"].crFg = RGB(1, 2, 3);
    QVStateColorTable states;
    InitColorPowerState(&states);

    QuoLogRead rows[4] = {Row(0, 0, 3000, L"Known", 1800), Row(1, 0, 0, L"Other", 900), {}, Row(3, 0, 500)};
    rows[0].ullReductEnergy = 1500;
    rows[1].dwACTime = 0;
    rows[1].dwDCTime = 900;
    rows[1].dwChargeTime = 900;   // equal times: battery comes first
    rows[3].dwS5Time = 1800;      // powered off most of the slot: no bands
    std::vector<QVLogBar> bars;
    ASSERT_EQ(0u, BuildLogBars(QV_LOGMODE_MONTH, rows, 4, texts, plans, states, &bars));
    ASSERT_EQ(4u, bars.size());
    EXPECT_EQ(L"9", bars[0].strLabel);
    EXPECT_DOUBLE_EQ(3.0, bars[0].dEnergyWh);
    EXPECT_DOUBLE_EQ(1.5, bars[0].dQuoWh);
    EXPECT_EQ(RGB(1, 2, 3), bars[0].planBand.colors.crFg);
    EXPECT_EQ(L"AC", bars[0].stateBand.strText);
    EXPECT_EQ(L"DC", bars[1].stateBand.strText);
    EXPECT_EQ(RGB(211, 193, 255), bars[1].stateBand.colors.crFg);
    EXPECT_EQ(RGB(240, 240, 240), bars[1].planBand.colors.crFg);  // a plan of no table
    EXPECT_EQ(L"", bars[2].strLabel);                             // a row without a date
    EXPECT_EQ(L"", bars[2].strSleepState);
    EXPECT_EQ(L"S5", bars[3].strSleepState);
    EXPECT_EQ(L"", bars[3].planBand.strText);

    ASSERT_EQ(0u, BuildLogBars(QV_LOGMODE_DAY, rows, 4, texts, plans, states, &bars));
    EXPECT_EQ(L"3", bars[3].strLabel);
}

TEST(LogBars, EqualBandTextsFormOneSegment)
{
    const std::vector<QVLogBar> bars = {Bar(1, 0, L"A"), Bar(1, 0, L"B"), Bar(1, 0, L"B"), Bar(1, 0, L"B"),
                                        Bar(1, 0, L"A"), Bar(1, 0, L"")};
    std::vector<QVBandSegment> segments;
    ASSERT_EQ(0u, CombineBandSegments(bars, &QVLogBar::planBand, &segments));
    const size_t expected[][2] = {{0, 0}, {1, 3}, {4, 4}, {5, 5}};
    ASSERT_EQ(4u, segments.size());
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(expected[i][0], segments[i].nFirst);
        EXPECT_EQ(expected[i][1], segments[i].nLast);
    }
}

TEST(LogGraphMath, BarShadingIsBrightestAtItsPeakAndDarkerTowardsTheEdges)
{
    const std::vector<COLORREF> columns = GradationColumns(20, RGB(250, 150, 0), 35, 80, true);
    ASSERT_EQ(20u, columns.size());
    EXPECT_EQ(RGB(250, 150, 0), columns[7]);
    EXPECT_EQ(RGB(250, 150, 0), columns[8]);
    for (size_t x = 1; x < columns.size(); ++x) {
        const bool bLeftOfPeak = x <= 7;
        const int nBefore = GetRValue(columns[x - 1]);
        const int nAfter = GetRValue(columns[x]);
        if (x != 8) {
            EXPECT_TRUE(bLeftOfPeak ? nBefore < nAfter : nBefore > nAfter) << x;
        }
    }
    EXPECT_EQ(RGB(9, 9, 9), GradationColumns(1, RGB(9, 9, 9), 35, 80, true)[0]);
    EXPECT_TRUE(GradationColumns(0, RGB(9, 9, 9), 35, 80, true).empty());
    EXPECT_EQ(23, WorkFontHeight(18, 1.25));
}

TEST(LogGraphMath, DayLayoutLeavesTwoBandsUnderTheBars)
{
    const RECT rc = {0, 0, 650, 200};
    const QVLogGraphLayout day = ComputeLogGraphLayout(rc, SIZE{40, 18}, QV_LOGMODE_DAY);
    EXPECT_EQ(44, day.rcBars.left);
    EXPECT_EQ(13, day.rcBars.top);
    EXPECT_EQ(178, day.rcStateBand.bottom);
    EXPECT_EQ(158, day.rcStateBand.top);
    EXPECT_EQ(138, day.rcPlanBand.top);
    EXPECT_EQ(136, day.rcBars.bottom);
    const QVLogGraphLayout month = ComputeLogGraphLayout(rc, SIZE{0, 0}, QV_LOGMODE_MONTH);
    EXPECT_EQ(178, month.rcBars.bottom);
    EXPECT_EQ(28, month.rcBars.left);
    EXPECT_TRUE(IsRectEmpty(&month.rcPlanBand));
}

}  // namespace
