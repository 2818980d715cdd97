// The peak-shift charge prevention: the library's copy of the tool's settings read into
// a window and a date range, the prevented time taken out of a period in each of its
// cases, and a sleep whose charge gain is spread only over the time charging was
// allowed.
#include <windows.h>

#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "QuoLogCore.h"
#include "TotalizeLog.h"

using namespace logtest;

namespace {

const wchar_t kSetting[] = L"Tandora\\Setting";
const wchar_t kRandom[] = L"Tandora\\PeakShiftPattern\\Random";
const wchar_t kForecast[] = L"Tandora\\PeakShiftPattern\\Forecast";

class PeakShiftTest : public ::testing::Test, protected CLogInstance {
protected:
    PeakShiftTest() : CLogInstance(L"pks") {}
    void SetUp() override
    {
        place.StartPositionsAt(L"2012/07/10");
        ASSERT_EQ(0u, Open());
    }
    // The copy of settings in force: charging prevented from 13:00 to 16:00 every day
    // from 2012/07/01 to 2012/07/31.
    void CopyInForce()
    {
        place.Reg().SetDword(kSetting, L"EnablePksOrProhibitionTime", 1);
        place.Reg().SetDword(kSetting, L"BPMC", 0x3);
        place.Reg().SetDword(kSetting, L"EnableS3S4S5ChargePrevention", 1);
        place.Reg().SetDword(kSetting, L"UseNonChargeSpan", 0);
        place.Reg().SetDword(kSetting, L"UsePeakShift", 1);
        place.Reg().SetString(kSetting, L"StartTime", L"13:00:00");
        place.Reg().SetString(kSetting, L"EndTime", L"16:00");
        place.Reg().SetString(kSetting, L"StartDate", L"2012/07/01");
        place.Reg().SetString(kSetting, L"EndDate", L"2012/07/31");
    }
    DWORD Prevented(const SYSTEMTIME& s, const SYSTEMTIME& e)
    {
        return Totalizer().CalculateBattChrgPrvntTime(s, e, CTotalizeLog::CalculateTime(s, e));
    }
};

}  // namespace

TEST_F(PeakShiftTest, ThePreventedWindowIsTakenOutOfAPeriodInEachCase)
{
    CopyInForce();
    ASSERT_EQ(0u, Totalizer().GetPksBattChrgPrvntInfo());
    ASSERT_TRUE(Totalizer().IsPksEnabled());
    auto t = [](WORD d, WORD h, WORD m = 0) { return MakeTime(2012, 7, d, h, m); };
    // Within one day.
    EXPECT_EQ(10800u, Prevented(t(10, 12), t(10, 18)));  // <4> the window inside: 21600 - 10800
    EXPECT_EQ(0u, Prevented(t(10, 14), t(10, 15)));      // <7> inside the window
    EXPECT_EQ(3600u, Prevented(t(10, 12), t(10, 14)));   // <5> 12:00-13:00 left
    EXPECT_EQ(7200u, Prevented(t(10, 14), t(10, 18)));   // <6> 16:00-18:00 left
    EXPECT_EQ(3600u, Prevented(t(10, 17), t(10, 18)));   // <2><3> after the window
    EXPECT_EQ(3600u, Prevented(t(10, 12), t(10, 13)));   // <2><3> up to its start
    EXPECT_EQ(21600u, Prevented(MakeTime(2012, 8, 1, 12), MakeTime(2012, 8, 1, 18)));  // <1> outside the range
    // Across midnight: only the window of the first day.
    EXPECT_EQ(32400u, Prevented(t(10, 22), t(11, 7)));   // <10> after the window
    EXPECT_EQ(75600u, Prevented(t(10, 10), t(11, 10)));  // <8> 86400 - 10800
    EXPECT_EQ(64800u, Prevented(t(10, 14), t(11, 10)));  // <9> 72000 less 14:00-16:00
    EXPECT_EQ(86400u, Prevented(MakeTime(2012, 6, 30, 10), MakeTime(2012, 7, 1, 10)));  // <11> starts outside
    // A period given backwards, and a window longer than the period given.
    EXPECT_EQ(500u, Totalizer().CalculateBattChrgPrvntTime(t(11, 10), t(10, 10), 500));  // <21>
    EXPECT_EQ(0u, Totalizer().CalculateBattChrgPrvntTime(t(10, 10), t(11, 10), 100));    // <8>, R > D
    EXPECT_EQ(9000u, CTotalizeLog::CalcSecCount(MakeTime(2012, 7, 10, 13, 30), MakeTime(2011, 1, 1, 11, 0)));
}

TEST_F(PeakShiftTest, SettingsThatAreOffOrBrokenLeaveThePreventionOff)
{
    EXPECT_EQ(2u, Totalizer().GetPksBattChrgPrvntInfo());  // no copy
    CopyInForce();
    place.Reg().SetDword(kSetting, L"EnablePksOrProhibitionTime", 0);
    EXPECT_EQ(0u, Totalizer().GetPksBattChrgPrvntInfo());  // switched off: no error
    EXPECT_FALSE(Totalizer().IsPksEnabled());
    CopyInForce();
    place.Reg().SetDword(kSetting, L"BPMC", 0x1);
    EXPECT_EQ(0u, Totalizer().GetPksBattChrgPrvntInfo());
    EXPECT_FALSE(Totalizer().IsPksEnabled());

    struct {
        const wchar_t* lpName;
        const wchar_t* lpValue;
        DWORD dwResult;
    } const broken[] = {
        {L"EndDate", L"2012/06/30", 1901},   // the range ends before it starts
        {L"EndTime", L"12:00:00", 1901},     // the window ends before it starts
        {L"StartTime", L"25:00:00", 1901},   // no such time
        {L"StartTime", L"13", 1627},         // no minutes
        {L"StartDate", L"2010/07/01", 13},   // a year the tool never writes
        {L"EndDate", L"2012/07", 1627},      // no day
        {L"StartTime", L"13:00:00.000000000000000000", 13},  // longer than the tool's texts
    };
    for (const auto& entry : broken) {
        CopyInForce();
        place.Reg().SetString(kSetting, entry.lpName, entry.lpValue);
        EXPECT_EQ(entry.dwResult, Totalizer().GetPksBattChrgPrvntInfo()) << testsupport::Narrow(entry.lpValue);
        EXPECT_FALSE(Totalizer().IsPksEnabled());
    }
    CopyInForce();
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, (place.RegPath() + L"\\" + kSetting).c_str(), L"StartDate");
    EXPECT_EQ(13u, Totalizer().GetPksBattChrgPrvntInfo());
    EXPECT_FALSE(Totalizer().IsPksEnabled());
}

TEST_F(PeakShiftTest, ThePatternKeyAndTheNonChargeSpanChooseTheWindow)
{
    CopyInForce();
    place.Reg().SetDword(kSetting, L"UseRandomPeakShift", 1);
    place.Reg().SetString(kRandom, L"StartTime", L"10:00:00");
    place.Reg().SetString(kRandom, L"EndTime", L"11:00:00");
    place.Reg().SetString(kForecast, L"StartTime", L"20:00:00");
    place.Reg().SetString(kForecast, L"EndTime", L"21:00:00");
    ASSERT_EQ(0u, Totalizer().GetPksBattChrgPrvntInfo());
    EXPECT_EQ(0u, Prevented(MakeTime(2012, 7, 10, 10, 0), MakeTime(2012, 7, 10, 11, 0)));

    place.Reg().SetDword(kSetting, L"UseRandomPeakShift", 0);
    place.Reg().SetDword(kSetting, L"UseEFPeakShift", 1);
    ASSERT_EQ(0u, Totalizer().GetPksBattChrgPrvntInfo());
    EXPECT_EQ(0u, Prevented(MakeTime(2012, 7, 10, 20, 0), MakeTime(2012, 7, 10, 21, 0)));

    // The non-charge span of the pattern, joined with its peak-shift window.
    place.Reg().SetDword(kSetting, L"UseNonChargeSpan", 1);
    place.Reg().SetString(kForecast, L"NonChargeStartTime", L"20:30:00");
    place.Reg().SetString(kForecast, L"NonChargeEndTime", L"22:00:00");
    ASSERT_EQ(0u, Totalizer().GetPksBattChrgPrvntInfo());
    EXPECT_EQ(0u, Prevented(MakeTime(2012, 7, 10, 20, 0), MakeTime(2012, 7, 10, 22, 0)));
    EXPECT_EQ(3600u, Prevented(MakeTime(2012, 7, 10, 19, 0), MakeTime(2012, 7, 10, 22, 0)));
    place.Reg().SetDword(kSetting, L"UsePeakShift", 0);
    ASSERT_EQ(0u, Totalizer().GetPksBattChrgPrvntInfo());
    EXPECT_EQ(1800u, Prevented(MakeTime(2012, 7, 10, 20, 0), MakeTime(2012, 7, 10, 22, 0)));
}

TEST_F(PeakShiftTest, ASleepSpreadsItsGainOnlyOverTheTimeChargingWasAllowed)
{
    // Asleep 12:00 to 18:00 with charging prevented 13:00 to 16:00: 10800 s remain,
    // so each of the six slots outside the window gets 1800 x 300 / 10800 = 50 mWh,
    // times 1.5; all 450 mWh are credited.
    AddRaw(place.LogDir(), MakeTime(2012, 7, 10, 12, 0), Status(QUOLOG_POWER_TO_S3S4));
    AddRaw(place.LogDir(), MakeTime(2012, 7, 10, 18, 0), Status(QUOLOG_POWER_FROM_S3S4, 40300));
    AddRaw(place.LogDir(), MakeTime(2012, 7, 10, 18, 0, 5));
    CopyInForce();
    ASSERT_EQ(0u, Totalizer().GetPksBattChrgPrvntInfo());
    ASSERT_EQ(0u, Totalizer().TotalizeQuoLogOne(MakeTime(2012, 7, 10, 18, 30), nullptr));
    std::vector<std::wstring> energies = Column(testsupport::ReadUtf16Lines(place.DailyPath(MakeTime(2012, 7, 10))), 5);
    ASSERT_EQ(13u, energies.size());
    energies.pop_back();  // the slot of the sample after the resume
    EXPECT_EQ(std::vector<std::wstring>({L"75", L"75", L"0", L"0", L"0", L"0", L"0", L"0", L"75", L"75", L"75", L"75"}),
              energies);
    EXPECT_TRUE(Totalizer().IsPksEnabled());
}

TEST_F(PeakShiftTest, APeriodThatReachesTheNextDayEndsThePreventionForTheRun)
{
    AddRaw(place.LogDir(), MakeTime(2012, 7, 10, 23, 0), Status(QUOLOG_POWER_TO_S3S4));
    AddRaw(place.LogDir(), MakeTime(2012, 7, 11, 1, 0), Status(QUOLOG_POWER_FROM_S3S4));
    CopyInForce();
    ASSERT_EQ(0u, Totalizer().GetPksBattChrgPrvntInfo());
    ASSERT_EQ(0u, Totalizer().TotalizeQuoLogOne(MakeTime(2012, 7, 11, 1, 30), nullptr));
    EXPECT_FALSE(Totalizer().IsPksEnabled());
}
