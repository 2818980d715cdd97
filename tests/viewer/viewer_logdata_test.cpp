// The log analysis pane's data on a clean machine: a known month of raw logs totalized
// by the log library, read back as the pane reads it (a reader instance of QUOLog.dll)
// for a day, a week, the month and the year: the bars, their labels, bands and totals.
#include <windows.h>

#include <gtest/gtest.h>

#include "LogMonthFixture.h"
#include "LogPeriodData.h"
#include "QuoLog.h"
#include "QuoViewer_Common.h"

using namespace viewertest;

namespace {

class LogDataTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_bBuilt = BuildFixtureMonth();
        s_dwInit = QUOLogInitialize(QUOLOG_MODE_READER, 1000, 0, 0);
    }
    static void TearDownTestSuite() { QUOLogFinalize(); }

    void SetUp() override
    {
        ASSERT_TRUE(s_bBuilt);
        ASSERT_EQ(0u, s_dwInit);
        texts.sleep[1] = L"S0";
        texts.state[1] = L"AC";
        texts.state[2] = L"DC";
        plans[L"QUO"].crFg = RGB(193, 255, 203);
        InitColorPowerState(&states);
    }

    QVLogPeriodData Read(DWORD dwMode, WORD wDay, WORD wMonth = kFixtureMonth)
    {
        QVLogPeriodData data;
        EXPECT_EQ(0u, UpdateLogData(dwMode, MakeDate(kFixtureYear, wMonth, wDay), texts, plans, states, &data));
        return data;
    }

    static bool s_bBuilt;
    static DWORD s_dwInit;
    QVBarTexts texts;
    QVPlanColorTable plans;
    QVStateColorTable states;
};

bool LogDataTest::s_bBuilt = false;
DWORD LogDataTest::s_dwInit = 0;

// The month: one bar per day with the day's energies; the week from Sunday the 11th;
// the year: March holds the month's total, the other months nothing.
TEST_F(LogDataTest, TheMonthWeekAndYearHaveTheLibrarysTotals)
{
    const QVLogPeriodData month = Read(QV_LOGMODE_MONTH, 20);
    EXPECT_EQ(0u, month.dwReadResult);
    ASSERT_EQ(31u, month.bars.size());
    double dTotal = 0.0;
    double dQuo = 0.0;
    int nHours = 0;
    for (WORD d = 1; d <= 31; ++d) {
        EXPECT_EQ(std::to_wstring(d), month.bars[d - 1].strLabel);
        EXPECT_NEAR(FixtureDayWh(d), month.bars[d - 1].dEnergyWh, 0.001) << d;
        EXPECT_NEAR(FixtureDayQuoWh(d), month.bars[d - 1].dQuoWh, 0.001) << d;
        dTotal += FixtureDayWh(d);
        dQuo += FixtureDayQuoWh(d);
        nHours += FixtureDayHours(d);
    }
    EXPECT_NEAR(dTotal, month.totals.dTotalWh, 0.01);
    EXPECT_NEAR(dQuo, month.totals.dQuoWh, 0.01);
    EXPECT_EQ(static_cast<UINT>(nHours), month.totals.nRunHours);
    EXPECT_NEAR(dTotal / nHours, month.totals.dAverageWh, 0.001);

    const QVLogPeriodData week = Read(QV_LOGMODE_WEEK, 14);
    ASSERT_EQ(7u, week.bars.size());
    for (WORD i = 0; i < 7; ++i) {
        EXPECT_EQ(std::to_wstring(11 + i), week.bars[i].strLabel);
        EXPECT_NEAR(FixtureDayWh(11 + i), week.bars[i].dEnergyWh, 0.001);
    }
    const QVLogPeriodData year = Read(QV_LOGMODE_YEAR, 1, 7);
    ASSERT_EQ(12u, year.bars.size());
    for (WORD m = 1; m <= 12; ++m) {
        EXPECT_EQ(std::to_wstring(m), year.bars[m - 1].strLabel);
        EXPECT_NEAR((m == kFixtureMonth) ? dTotal : 0.0, year.bars[m - 1].dEnergyWh, 0.01) << m;
    }
    EXPECT_NEAR(dTotal, year.totals.dTotalWh, 0.01);
}

// The 14th runs 3 hours: 9 on one plan, 10 and 11 on "QUO", on AC (the 15th on battery);
// the 18th, a Sunday, has no log and still its 24 hours.
TEST_F(LogDataTest, ADayHasTwentyFourHoursWithTheirPlansAndStates)
{
    const QVLogPeriodData data = Read(QV_LOGMODE_DAY, 14);
    ASSERT_EQ(24u, data.bars.size());
    for (WORD h = 0; h < 24; ++h) {
        const bool bRuns = h >= 9 && h < 12;
        EXPECT_EQ(std::to_wstring(h), data.bars[h].strLabel);
        EXPECT_NEAR(bRuns ? FixtureDayWh(14) / 3 : 0.0, data.bars[h].dEnergyWh, 0.001) << h;
        EXPECT_EQ(bRuns ? L"S0" : L"", data.bars[h].strSleepState) << h;
    }
    EXPECT_EQ(RGB(193, 255, 203), data.bars[10].planBand.colors.crFg);
    std::vector<QVBandSegment> segments;
    ASSERT_EQ(0u, CombineBandSegments(data.bars, &QVLogBar::planBand, &segments));
    ASSERT_EQ(4u, segments.size());  // 0-8 empty, 9, 10-11 "QUO", 12-23 empty
    EXPECT_EQ(L"QUO", data.bars[10].planBand.strText);
    EXPECT_EQ(10u, segments[2].nFirst);
    EXPECT_EQ(11u, segments[2].nLast);
    EXPECT_EQ(3u, data.totals.nRunHours);
    EXPECT_EQ(L"AC", data.bars[9].stateBand.strText);
    EXPECT_EQ(L"DC", Read(QV_LOGMODE_DAY, 15).bars[9].stateBand.strText);

    const QVLogPeriodData sunday = Read(QV_LOGMODE_DAY, 18);
    EXPECT_EQ(2u, sunday.dwReadResult);
    ASSERT_EQ(24u, sunday.bars.size());
    EXPECT_EQ(L"23", sunday.bars[23].strLabel);
    EXPECT_EQ(0.0, sunday.bars[10].dEnergyWh);
    EXPECT_EQ(0.0, sunday.totals.dTotalWh);
    EXPECT_EQ(0u, sunday.totals.nRunHours);
}

}  // namespace
