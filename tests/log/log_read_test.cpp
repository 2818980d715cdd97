// QUOLogRead's questions in-process, by a reader instance of a place of its own: the
// half-hour rows of a day, the days of a week or month and the months of a year, read
// from daily and yearly files written by hand, with "today" chosen by the test.
#include <gtest/gtest.h>

#include <numeric>

#include "LogTestSupport.h"

using namespace logtest;

namespace {

class ReadTest : public ::testing::Test, protected CLogInstance {
protected:
    ReadTest() : CLogInstance(L"read") {}
    void SetUp() override
    {
        ASSERT_EQ(0u, Open(QUOLOG_MODE_READER));
        MakeFolders(Join(place.LogDir(), L"2012"));
    }
    void Yearly(WORD y, const std::wstring& text)
    {
        WriteUtf16File(Join(place.LogDir(), L"QuoLogYearly" + std::to_wstring(y) + L".csv"), text);
    }
    void Daily(const wchar_t* lpName, const std::wstring& text)
    {
        WriteUtf16File(Join(place.LogDir(), std::wstring(L"2012\\QuoLogDaily") + lpName + L".csv"), text);
    }
    DWORD Read(DWORD dwKind, const SYSTEMTIME& st, DWORD dwCount, const SYSTEMTIME& today)
    {
        rows.assign(dwCount + 1, QuoLogRead());
        rows[dwCount].dwS0Time = kGuard;  // one record past the caller's rows
        total = QuoLogRead();
        return quoLog->ReadAt(dwKind, &st, rows.data(), dwCount, &total, today);
    }
    // The S0 times of the first n rows.
    std::vector<DWORD> S0(size_t n)
    {
        std::vector<DWORD> times;
        for (size_t i = 0; i < n; ++i) {
            times.push_back(rows[i].dwS0Time);
        }
        return times;
    }

    static constexpr DWORD kGuard = 0xFEEDFACE;
    std::vector<QuoLogRead> rows;
    QuoLogRead total;
};

}  // namespace

TEST_F(ReadTest, ADayGivesItsHalfHourSlotsByTheirOwnTime)
{
    const SYSTEMTIME day = MakeTime(2012, 7, 10, 15, 20, 7);
    EXPECT_EQ(2u, Read(QUOLOG_READ_DAY, day, 48, MakeTime(2012, 7, 9)));  // tomorrow
    EXPECT_EQ(2u, Read(QUOLOG_READ_DAY, day, 48, MakeTime(2012, 7, 11)));  // no daily file
    EXPECT_EQ(kGuard, rows[48].dwS0Time);

    Daily(L"20120710", TotalsLine(MakeTime(2012, 7, 10, 0, 0), 100, 5) + TotalsLine(MakeTime(2012, 7, 10, 10, 30), 1800, 500, L"A", 1800)
                           + L"2012/07/10,25:00:00.000,9,0,0,9,0,0,0,0,\"X\",9,\"\",0,0,0,0\r\n"
                           + TotalsLine(MakeTime(2012, 7, 10, 23, 30), 60, 20, L"B", 60));
    ASSERT_EQ(0u, Read(QUOLOG_READ_DAY, day, 50, MakeTime(2012, 7, 11)));
    EXPECT_EQ(100u, rows[0].dwS0Time);
    EXPECT_EQ(1800u, rows[21].dwS0Time);  // 10:30, the odd row
    EXPECT_EQ(60u, rows[47].dwS0Time);
    std::vector<DWORD> s0 = S0(50);
    EXPECT_EQ(1960u, std::accumulate(s0.begin(), s0.end(), 0u));  // the line of hour 25 went nowhere
    EXPECT_EQ(0, rows[48].stTime.wYear);  // rows past the day stay zeroed
    EXPECT_EQ(kGuard, rows[50].dwS0Time);
    EXPECT_EQ(1960u, total.dwS0Time);
    EXPECT_STREQ(L"A", total.szPowerPlan1);
    EXPECT_EQ(1800u, total.dwPowerPlan1Time);
    EXPECT_STREQ(L"B", total.szPowerPlan2);
    EXPECT_EQ(15, total.stTime.wHour);  // the question's own time
    EXPECT_EQ(7, total.stTime.wSecond);

    // The answer is that of the last line that filled a row: a last line without a valid
    // time changes nothing, and a file without any gives 2, never 13.
    const std::wstring broken = L"2012/07/10,99:00:00.000,9,0,0,9,0,0,0,0,\"X\",9,\"\",0,0,0,0\r\n";
    Daily(L"20120710", TotalsLine(MakeTime(2012, 7, 10, 10, 0), 100, 5) + broken);
    ASSERT_EQ(0u, Read(QUOLOG_READ_DAY, day, 48, MakeTime(2012, 7, 11)));
    EXPECT_EQ(100u, total.dwS0Time);
    Daily(L"20120710", broken + L"garbage\r\n");
    EXPECT_EQ(2u, Read(QUOLOG_READ_DAY, day, 48, MakeTime(2012, 7, 11)));
    Daily(L"20120710", TotalsLine(MakeTime(2012, 7, 10, 10, 0), 100, 5) + L"2012/07/10,10:30:00.000,7\r\n");
    EXPECT_EQ(2u, Read(QUOLOG_READ_DAY, day, 48, MakeTime(2012, 7, 11)));  // its plans are missing
    EXPECT_EQ(107u, total.dwS0Time);
}

TEST_F(ReadTest, BadKindsCountsAndTimesGive87)
{
    const SYSTEMTIME st = MakeTime(2012, 7, 10);
    const SYSTEMTIME today = MakeTime(2012, 8, 1);
    // July has 31 days, February 2012 has 29.
    testsupport::ExpectResults(
        {{87, Read(1, st, 48, today)}, {87, Read(6, st, 48, today)}, {87, Read(QUOLOG_READ_DAY, st, 47, today)},
         {87, Read(QUOLOG_READ_WEEK, st, 6, today)}, {87, Read(QUOLOG_READ_MONTH, st, 30, today)},
         {87, Read(QUOLOG_READ_MONTH, MakeTime(2012, 2, 10), 28, today)}, {87, Read(QUOLOG_READ_YEAR, st, 11, today)},
         {87, Read(QUOLOG_READ_DAY, MakeTime(2012, 13, 1), 48, today)},
         {87, Read(QUOLOG_READ_DAY, MakeTime(2012, 2, 32), 48, today)},
         {87, Read(QUOLOG_READ_WEEK, MakeTime(2012, 2, 0), 7, today)},
         {87, Read(QUOLOG_READ_DAY, MakeTime(2012, 2, 1, 24), 48, today)}});
    EXPECT_EQ(kGuard, rows[48].dwS0Time);
}

// A day 1..31 that the month lacks is a question like any other: its day has no daily
// file (2), its week is that of the day it carries into, its month and year are read.
TEST_F(ReadTest, ADayTheMonthLacksIsAskedAboutLikeAnyOther)
{
    Yearly(2012, TotalsLine(MakeTime(2012, 2, 26), 1, 0) + TotalsLine(MakeTime(2012, 2, 29), 2, 0)
                     + TotalsLine(MakeTime(2012, 3, 1), 4, 0));
    const SYSTEMTIME feb30 = MakeTime(2012, 2, 30);
    const SYSTEMTIME today = MakeTime(2012, 4, 1);
    EXPECT_EQ(2u, Read(QUOLOG_READ_DAY, feb30, 48, today));
    EXPECT_EQ(0, CQuoLog::CompareDate(rows[47].stTime, MakeTime(2012, 2, 30)));
    ASSERT_EQ(0u, Read(QUOLOG_READ_WEEK, feb30, 7, today));  // Sunday 02/26 to Saturday 03/03
    EXPECT_EQ(std::vector<DWORD>({1, 0, 0, 2, 4, 0, 0}), S0(7));
    ASSERT_EQ(0u, Read(QUOLOG_READ_MONTH, feb30, 29, today));
    EXPECT_EQ(2u, rows[28].dwS0Time);
    EXPECT_EQ(0, CQuoLog::CompareDate(rows[28].stTime, MakeTime(2012, 2, 29)));
    EXPECT_EQ(3u, total.dwS0Time);
    ASSERT_EQ(0u, Read(QUOLOG_READ_YEAR, feb30, 12, today));
    EXPECT_EQ(7u, total.dwS0Time);
}

TEST_F(ReadTest, AWeekAcrossNewYearReadsBothYearlyFiles)
{
    Yearly(2012, TotalsLine(MakeTime(2012, 12, 29), 100, 0) + TotalsLine(MakeTime(2012, 12, 30), 1, 0)
                     + TotalsLine(MakeTime(2012, 12, 31), 2, 0));
    Yearly(2013, TotalsLine(MakeTime(2013, 1, 1), 4, 0) + TotalsLine(MakeTime(2013, 1, 5), 8, 0)
                     + TotalsLine(MakeTime(2013, 1, 6), 100, 0));
    ASSERT_EQ(0u, Read(QUOLOG_READ_WEEK, MakeTime(2013, 1, 2), 7, MakeTime(2013, 1, 10)));
    EXPECT_EQ(0, CQuoLog::CompareDate(rows[0].stTime, MakeTime(2012, 12, 30)));
    EXPECT_EQ(std::vector<DWORD>({1, 2, 4, 0, 0, 0, 8}), S0(7));
    EXPECT_EQ(0, CQuoLog::CompareDate(rows[3].stTime, MakeTime(2013, 1, 2)));
    EXPECT_EQ(15u, total.dwS0Time);
}

TEST_F(ReadTest, AMonthHasOneRowPerDayUpToYesterday)
{
    Yearly(2012, TotalsLine(MakeTime(2012, 6, 30), 100, 0) + TotalsLine(MakeTime(2012, 7, 1), 1, 0)
                     + TotalsLine(MakeTime(2012, 7, 1), 50, 0)  // a second line of a day is not read
                     + TotalsLine(MakeTime(2012, 7, 19), 2, 0) + TotalsLine(MakeTime(2012, 7, 20), 4, 0));
    ASSERT_EQ(0u, Read(QUOLOG_READ_MONTH, MakeTime(2012, 7, 5), 31, MakeTime(2012, 7, 20)));
    EXPECT_EQ(1u, rows[0].dwS0Time);
    EXPECT_EQ(2u, rows[18].dwS0Time);
    EXPECT_EQ(0u, rows[19].dwS0Time);
    EXPECT_EQ(0, CQuoLog::CompareDate(rows[30].stTime, MakeTime(2012, 7, 31)));  // dated, although after today
    EXPECT_EQ(3u, total.dwS0Time);

    ASSERT_EQ(0u, Read(QUOLOG_READ_MONTH, MakeTime(2012, 6, 5), 31, MakeTime(2012, 7, 20)));
    EXPECT_EQ(100u, rows[29].dwS0Time);
    EXPECT_EQ(0, rows[30].stTime.wYear);  // June has no 31st
    EXPECT_EQ(2u, Read(QUOLOG_READ_MONTH, MakeTime(2012, 5, 5), 31, MakeTime(2012, 7, 20)));
}

TEST_F(ReadTest, AYearHasOneRowPerMonthUpToYesterday)
{
    Yearly(2012, TotalsLine(MakeTime(2012, 1, 15), 1, 0, L"A", 1) + TotalsLine(MakeTime(2012, 6, 30), 2, 0)
                     + TotalsLine(MakeTime(2012, 7, 9), 4, 0, L"B", 4) + TotalsLine(MakeTime(2012, 7, 10), 8, 0)
                     + TotalsLine(MakeTime(2012, 12, 31), 16, 0));
    ASSERT_EQ(0u, Read(QUOLOG_READ_YEAR, MakeTime(2012, 3, 3), 12, MakeTime(2012, 7, 10)));
    EXPECT_EQ(std::vector<DWORD>({1, 0, 0, 0, 0, 2, 4, 0}), S0(8));
    EXPECT_STREQ(L"B", rows[6].szPowerPlan1);
    EXPECT_EQ(7u, total.dwS0Time);
    EXPECT_STREQ(L"B", total.szPowerPlan1);
    EXPECT_STREQ(L"A", total.szPowerPlan2);

    // On 1 January the new year has nothing yet; the old one is whole.
    Yearly(2013, TotalsLine(MakeTime(2013, 1, 1), 32, 0));
    EXPECT_EQ(2u, Read(QUOLOG_READ_YEAR, MakeTime(2013, 1, 1), 12, MakeTime(2013, 1, 1)));
    ASSERT_EQ(0u, Read(QUOLOG_READ_YEAR, MakeTime(2012, 1, 1), 12, MakeTime(2013, 1, 1)));
    EXPECT_EQ(16u, rows[11].dwS0Time);
    EXPECT_EQ(31u, total.dwS0Time);
    EXPECT_EQ(2u, Read(QUOLOG_READ_YEAR, MakeTime(2014, 1, 1), 12, MakeTime(2013, 1, 1)));
}
