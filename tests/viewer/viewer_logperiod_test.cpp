// The calendar of the log analysis pane: date steps by days, months and years, the
// periods of each view, navigation clamped to [past limit, today], the enabling of the
// navigation buttons and the refresh minutes. "Today" is chosen by each case.
#include <gtest/gtest.h>

#include "LogGraphMath.h"
#include "LogPeriod.h"
#include "QuoViewer_Common.h"

namespace {

::testing::AssertionResult IsDate(const SYSTEMTIME& st, WORD y, WORD m, WORD d)
{
    if (st.wYear == y && st.wMonth == m && st.wDay == d) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << st.wYear << "-" << st.wMonth << "-" << st.wDay << " instead of " << y
                                         << "-" << m << "-" << d;
}

const SYSTEMTIME kToday = MakeDate(2026, 12, 7);

TEST(ViewerCalendar, DaysAndMonthsStepOverMonthEndsAndLeapDays)
{
    SYSTEMTIME out = {};
    SYSTEMTIME src = MakeDate(2011, 12, 31);
    src.wHour = 13;
    ASSERT_EQ(0u, GetSpanTimeDate(1, &src, &out));
    EXPECT_TRUE(IsDate(out, 2012, 1, 1));
    EXPECT_EQ(13, out.wHour);
    EXPECT_EQ(0, out.wDayOfWeek);

    // From y-m-d, n months: ey-em-ed.
    const int months[][7] = {
        {2011, 1, 31, 1, 2011, 2, 28}, {2012, 1, 31, 1, 2012, 2, 29}, {2000, 1, 31, 1, 2000, 2, 29},
        {2100, 1, 31, 1, 2100, 2, 28}, {2011, 12, 15, 1, 2012, 1, 15}, {2012, 1, 15, -1, 2011, 12, 15},
        {2012, 3, 31, -1, 2012, 2, 29}, {2012, 5, 31, -13, 2011, 4, 30},
    };
    for (const auto& c : months) {
        SYSTEMTIME from = MakeDate(WORD(c[0]), WORD(c[1]), WORD(c[2]));
        ASSERT_EQ(0u, GetSpanTimeMonth(c[3], &from, &out));
        EXPECT_TRUE(IsDate(out, WORD(c[4]), WORD(c[5]), WORD(c[6])));
    }
    src.wMonth = 13;
    EXPECT_EQ(1359u, GetSpanTimeMonth(1, &src, &out));
    EXPECT_EQ(1359u, GetSpanTimeDate(1, &src, &out));
}

// Whether the date is shown on kToday with that limit.
bool Shown(SYSTEMTIME stDate, const SYSTEMTIME* pLimit)
{
    return IsValidDateOn(&stDate, pLimit, kToday) != FALSE;
}

TEST(ViewerCalendar, AnInvalidDateIsNotShownAndAnInvalidLimitIsThisYear)
{
    // The limits themselves are pinned by the navigation and button tables below.
    const SYSTEMTIME invalid = MakeDate(2020, 2, 30);
    EXPECT_FALSE(Shown(invalid, nullptr));
    // An invalid limit becomes 1 January of this year.
    EXPECT_TRUE(Shown(MakeDate(2026, 1, 1), &invalid));
    EXPECT_FALSE(Shown(MakeDate(2025, 12, 31), &invalid));
    EXPECT_FALSE(IsValidDateOn(nullptr, nullptr, kToday));
}

TEST(LogPeriod, YearStepsCrossTwentyNinthFebruaryBothWays)
{
    // From y-m-d, one year back (-1) or on (1): ey-em-ed.
    const int cases[][7] = {
        {2011, 3, 1, 1, 2012, 3, 1},  {2012, 2, 29, 1, 2013, 2, 28}, {2012, 1, 10, 1, 2013, 1, 10},
        {2012, 3, 1, 1, 2013, 3, 1},  {2012, 3, 1, -1, 2011, 3, 1},  {2012, 2, 29, -1, 2011, 2, 28},
        {2013, 2, 15, -1, 2012, 2, 15}, {2013, 3, 1, -1, 2012, 3, 1},
    };
    const SYSTEMTIME limit = DefaultPastLimitDate();
    for (const auto& c : cases) {
        SYSTEMTIME out = {};
        ASSERT_EQ(0u, ChangeLogDate(QV_LOGMODE_YEAR, c[3], MakeDate(WORD(c[0]), WORD(c[1]), WORD(c[2])), limit, kToday,
                                    &out));
        EXPECT_TRUE(IsDate(out, WORD(c[4]), WORD(c[5]), WORD(c[6]))) << c[0] << "-" << c[1] << "-" << c[2] << " " << c[3];
    }
}

TEST(LogPeriod, NavigationStaysWithinThePastLimitAndToday)
{
    const SYSTEMTIME limit = MakeDate(2020, 1, 1);
    struct Case { DWORD dwMode; int nDirection; SYSTEMTIME from; WORD ey, em, ed; } cases[] = {
        {QV_LOGMODE_DAY, -1, MakeDate(2020, 1, 1), 2020, 1, 1},
        {QV_LOGMODE_DAY, 1, kToday, 2026, 12, 7},
        {QV_LOGMODE_WEEK, -1, MakeDate(2020, 1, 5), 2020, 1, 1},
        {QV_LOGMODE_WEEK, 1, MakeDate(2026, 12, 2), 2026, 12, 7},
        {QV_LOGMODE_MONTH, 1, MakeDate(2026, 1, 31), 2026, 2, 28},
        {QV_LOGMODE_MONTH, 1, MakeDate(2026, 11, 30), 2026, 12, 7},
        {QV_LOGMODE_YEAR, -1, MakeDate(2020, 6, 1), 2020, 1, 1},
        {QV_LOGMODE_DAY, -1, MakeDate(2030, 1, 1), 2026, 12, 6},   // an unshowable start is today
        {9, -1, MakeDate(2024, 3, 1), 2024, 2, 29},
    };
    for (const Case& c : cases) {
        SYSTEMTIME out = {};
        ASSERT_EQ(0u, ChangeLogDate(c.dwMode, c.nDirection, c.from, limit, kToday, &out));
        EXPECT_TRUE(IsDate(out, c.ey, c.em, c.ed)) << "mode " << c.dwMode;
    }
}

TEST(LogPeriod, ButtonsAreEnabledOnlyTowardsShowableDates)
{
    const SYSTEMTIME limit = DefaultPastLimitDate();
    struct Case { DWORD dwMode; SYSTEMTIME current; bool bPrevious, bFollowing; } cases[] = {
        {QV_LOGMODE_DAY, MakeDate(2009, 1, 1), false, true},
        {QV_LOGMODE_DAY, MakeDate(2009, 1, 2), true, true},
        {QV_LOGMODE_DAY, kToday, true, false},
        {QV_LOGMODE_WEEK, MakeDate(2009, 1, 3), false, true},   // the week of the limit
        {QV_LOGMODE_WEEK, MakeDate(2026, 12, 5), true, true},   // last week, today follows
        {QV_LOGMODE_WEEK, MakeDate(2026, 12, 6), true, false},
        {QV_LOGMODE_MONTH, MakeDate(2009, 1, 31), false, true},
        {QV_LOGMODE_MONTH, MakeDate(2026, 12, 1), true, false},
        {QV_LOGMODE_YEAR, MakeDate(2009, 12, 31), false, true},
        {QV_LOGMODE_YEAR, MakeDate(2026, 1, 1), true, false},
    };
    for (const Case& c : cases) {
        const QVNavButtons buttons = GetNavButtons(c.dwMode, c.current, limit, kToday);
        EXPECT_EQ(c.bPrevious, buttons.bPrevious) << "mode " << c.dwMode << " day " << c.current.wDay;
        EXPECT_EQ(c.bFollowing, buttons.bFollowing) << "mode " << c.dwMode << " day " << c.current.wDay;
    }
    EXPECT_FALSE(GetNavButtons(QV_LOGMODE_YEAR, MakeDate(2020, 5, 5), PastLimitForYear(2020, kToday), kToday).bPrevious);
    EXPECT_TRUE(IsDate(PastLimitForYear(2040, kToday), 2026, 1, 1));
    EXPECT_TRUE(IsDate(PastLimitForYear(0, kToday), 2026, 1, 1));
}

TEST(LogPeriod, TheGraphRefreshesAtTheDelayAfterEachHalfHour)
{
    // Minute, delay, whether the pane redraws.
    const int cases[][3] = {{1, 1, 1}, {31, 1, 1}, {0, 1, 0}, {2, 1, 0}, {30, 1, 0}, {59, 1, 0}, {35, 5, 1}};
    for (const auto& c : cases) {
        EXPECT_EQ(c[2] != 0, IsLogRefreshMinute(WORD(c[0]), DWORD(c[1]))) << c[0] << " " << c[1];
    }
}

}  // namespace
