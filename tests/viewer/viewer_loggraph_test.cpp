// The numbers of the log analysis pane without windows: the Y scale and grid, bar
// geometry, the rounding of the totals and the CO2 estimate, the merging of half hours
// into hours, and the bars' states and plans. (A bar's shading is judged on screen by
// viewer_logpane.)
#include <windows.h>

#include <gtest/gtest.h>

#include "LogBars.h"
#include "LogGraphMath.h"
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

QVLogBar Bar(double dEnergyWh, double dQuoWh = 0.0)
{
    QVLogBar bar;
    bar.dEnergyWh = dEnergyWh;
    bar.dQuoWh = dQuoWh;
    return bar;
}

TEST(LogGraphMath, YScaleRoundsUpToFiveUnitsOfTheSecondDigitAndKeepsTheMinimum)
{
    const struct { double dMax, dMin, dRange, dStep; int nLines; std::vector<int> drawn; } cases[] = {
        {345.0, 100.0, 350.0, 50.0, 7, {2, 4, 6}},        {350.0, 100.0, 400.0, 50.0, 8, {2, 4, 6, 8}},
        {80.0, 100.0, 100.0, 10.0, 10, {2, 4, 6, 8, 10}}, {1234.0, 1200.0, 1500.0, 200.0, 7, {2, 4, 6}},
        {30000.0, 24000.0, 35000.0, 5000.0, 7, {2, 4, 6}}, {0.0, 300.0, 300.0, 50.0, 6, {1, 2, 3, 4, 5, 6}},
        {0.0, 0.0, 100.0, 10.0, 10, {2, 4, 6, 8, 10}},
    };
    for (const auto& c : cases) {
        const QVLogYScale scale = ComputeLogYScale(c.dMax, c.dMin);
        EXPECT_DOUBLE_EQ(c.dRange, scale.dRange) << c.dMax;
        EXPECT_DOUBLE_EQ(c.dStep, scale.dStep) << c.dMax;
        EXPECT_EQ(c.nLines, scale.nLines) << c.dMax;
        std::vector<int> drawn;
        for (int k = 1; k <= scale.nLines; ++k) {
            if (IsGridLineDrawn(k, scale.nLines)) {
                drawn.push_back(k);
            }
        }
        EXPECT_EQ(c.drawn, drawn) << c.dMax;
    }
    // Labels wider than their slot: every second or third; a slot of 0 pixels: each.
    const int strides[][3] = {{16, 18, 1}, {18, 18, 2}, {30, 14, 3}, {10, 0, 1}};
    for (const auto& stride : strides) {
        EXPECT_EQ(size_t(stride[2]), LogLabelStride(stride[0], stride[1])) << stride[0] << " " << stride[1];
    }
    EXPECT_DOUBLE_EQ(24000.0, QVLogMinRanges().ForMode(QV_LOGMODE_YEAR));
    EXPECT_DOUBLE_EQ(100.0, QVLogMinRanges().ForMode(7));
    EXPECT_EQ(23, WorkFontHeight(18, 1.25));  // the labels' font at 120 DPI
}

TEST(LogGraphMath, BarsGetTwoPixelsAtLeastAndNothingWithoutEnergy)
{
    const RECT rc = {10, 20, 10 + 240, 20 + 200};
    std::vector<QVBarRects> rects;
    ASSERT_EQ(0u, LayoutHistogramBars(rc, {Bar(0.1), Bar(0.0), Bar(50.0, 25.0), Bar(0.6)}, 100.0, &rects));
    ASSERT_EQ(4u, rects.size());
    EXPECT_TRUE(rects[0].bShown);
    const RECT rcSmallest = {11, 218, 69, 220};
    EXPECT_TRUE(EqualRect(&rcSmallest, &rects[0].rcEnergy));
    EXPECT_FALSE(rects[1].bShown);
    EXPECT_EQ(120, rects[2].rcEnergy.top);   // 50 of 100 Wh over 200 pixels
    EXPECT_EQ(120, rects[2].rcQuo.bottom);   // the QUO part stands on the energy part
    EXPECT_EQ(70, rects[2].rcQuo.top);
    EXPECT_EQ(2, rects[3].rcEnergy.bottom - rects[3].rcEnergy.top);  // 1 pixel is raised to 2, not 3
    EXPECT_EQ(87u, LayoutHistogramBars(rc, std::vector<QVLogBar>(kQVMaxLogBars + 1, Bar(10.0)), 100.0, &rects));
    EXPECT_TRUE(rects.empty());
}

TEST(LogGraphMath, TotalsAndCO2RoundHalfUp)
{
    EXPECT_EQ(123u, TenthsHalfUp(12.25));
    EXPECT_EQ(122u, TenthsHalfUp(12.24));
    EXPECT_DOUBLE_EQ(3.0, RoundHalfUp(2.5));
    EXPECT_DOUBLE_EQ(2.0, RoundHalfUp(2.49));
    EXPECT_EQ(41u, CO2Tenths(10000.0, DefaultCO2Factor()));
    EXPECT_EQ(50u, CO2Tenths(10000.0, 500 / 1000.0));

    QuoLogRead stat = {};
    stat.dwS0Time = 5399;
    stat.ullPCEnergy = 20000;
    stat.ullMonEnergy = 4500;
    stat.ullReductPlanTime = 5400;
    stat.ullReductEnergy = 1500;
    const QVLogTotals totals = ComputeLogTotals(stat);
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
    EXPECT_STREQ(L"A", hours[10].szPowerPlan1);  // 900 s of A against 900 of C: the first name stays
    EXPECT_EQ(900u, hours[10].dwPowerPlan1Time);
    EXPECT_STREQ(L"A", hours[11].szPowerPlan1);  // ties keep the name first in order
    EXPECT_EQ(5000u, hours[24].ullPCEnergy);
}

TEST(LogBars, BarsTakeStatesPlansColoursAndLabels)
{
    const QVBarTexts texts = {{L"", L"", L"", L"S5"}, {L"", L"AC", L"DC", L"CH"}};
    QVPlanColorTable plans;
    QVStateColorTable states;
    InitColorPowerState(&states);

    QuoLogRead rows[4] = {Row(0, 0, 3000, L"Known", 1800), Row(1, 0, 0, L"Other", 900), {}, Row(3, 0, 500)};
    rows[1].dwACTime = 0;
    rows[1].dwDCTime = 900;
    rows[1].dwChargeTime = 900;  // equal times: battery comes first
    rows[3].dwS5Time = 1800;     // powered off most of the slot: no bands
    std::vector<QVLogBar> bars;
    ASSERT_EQ(0u, BuildLogBars(QV_LOGMODE_MONTH, rows, 4, texts, plans, states, &bars));
    ASSERT_EQ(4u, bars.size());
    EXPECT_EQ(L"AC", bars[0].stateBand.strText);
    EXPECT_EQ(L"DC", bars[1].stateBand.strText);
    EXPECT_EQ(RGB(211, 193, 255), bars[1].stateBand.colors.crFg);
    EXPECT_EQ(RGB(240, 240, 240), bars[1].planBand.colors.crFg);  // a plan of no table
    EXPECT_EQ(L"", bars[2].strLabel);                             // a row without a date
    EXPECT_EQ(L"", bars[2].strSleepState);
    EXPECT_EQ(L"S5", bars[3].strSleepState);
    EXPECT_EQ(L"", bars[3].planBand.strText);
}

}  // namespace
