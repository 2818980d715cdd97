// The totalization in-process, in places of its own: raw lines written as the service
// writes them, totalized at chosen moments, and the daily and yearly files checked line
// for line against figures worked out by hand (the default sample of RawSample: 50, 10
// and 1 mWh of PC, display and saved energy in 5 s); and the peak-shift charge
// prevention: the library's copy of the tool's settings read into a window and a date
// range, the prevented time taken out of a period in each of its cases, and a sleep
// whose charge gain is spread only over the time charging was allowed.
#include <gtest/gtest.h>

#include <thread>

#include "FolderTree.h"
#include "LogTestSupport.h"
#include "NamedMutex.h"
#include "TotalizeLog.h"

using namespace logtest;

namespace {

// A time of 2012/07/10.
SYSTEMTIME At(WORD h, WORD m, WORD s = 0, WORD ms = 0)
{
    return MakeTime(2012, 7, 10, h, m, s, ms);
}

RawSample Idle()
{
    RawSample s;
    s.cpu = 5;
    s.input = QUOLOG_STATE_OFF;
    s.hdd = 5;
    return s;
}

// A writer whose read positions start at 2012/07/10, line 0.
class TotalizeTest : public ::testing::Test, protected CLogInstance {
protected:
    TotalizeTest() : CLogInstance(L"totalize") {}
    void SetUp() override { StartAt(L"2012/07/10"); }
    void StartAt(const wchar_t* lpDay)
    {
        place.StartPositionsAt(lpDay);
        ASSERT_EQ(0u, Open());
    }
    void Add(const SYSTEMTIME& t, const RawSample& s = RawSample()) { AddRaw(place.LogDir(), t, s); }
    // Default samples 5 s apart from h:m on, on the given plans.
    void AddOnPlans(WORD h, WORD m, const std::vector<const wchar_t*>& plans)
    {
        RawSample s;
        for (size_t i = 0; i < plans.size(); ++i) {
            s.plan = plans[i];
            Add(At(h, m, static_cast<WORD>(5 * i)), s);
        }
    }
    DWORD One(const SYSTEMTIME& now) { return Totalizer().TotalizeQuoLogOne(now, nullptr); }
    DWORD Two(const SYSTEMTIME& now) { return Totalizer().TotalizeQuoLogTwo(now, nullptr); }
    std::wstring DailyPath(WORD y, WORD m, WORD d) { return place.DailyPath(MakeTime(y, m, d)); }
    std::vector<std::wstring> Daily(WORD y, WORD m, WORD d) { return ReadUtf16Lines(DailyPath(y, m, d)); }
    std::wstring YearlyPath(WORD y) { return place.YearlyPath(y); }
    // "LastWriteDay#LastWriteLine".
    std::wstring Position()
    {
        return RegString(place.RegPath(), L"LastWriteDay") + L"#"
            + std::to_wstring(RegDword(place.RegPath(), L"LastWriteLine"));
    }
};

// Worked examples, run by run: the raw lines added before a run, the moment it runs,
// its answer, the daily file of 2012/07/10 after it and the read position (when given).
struct RunStep {
    std::vector<std::pair<SYSTEMTIME, RawSample>> add;
    SYSTEMTIME now;
    DWORD dwResult;
    std::vector<std::wstring> daily;
    const wchar_t* lpPosition;
};

}  // namespace

TEST_F(TotalizeTest, WorkedExamples)
{
    const RawSample s0;
    const std::wstring slot1000 = L"2012/07/10,10:00:00.000,5,0,0,50,10,5,0,0,\"Balanced\",5,\"\",0,0,0,1";
    const std::wstring slot1030 = L"2012/07/10,10:30:00.000,5,0,0,50,10,5,0,0,\"Balanced\",5,\"\",0,0,0,1";
    const std::pair<const char*, std::vector<RunStep>> examples[] = {
        // Samples either side of half past fall into two slots, each written once the
        // clock leaves it; the open slot's line is read again; nothing new gives 87.
        {"two slots",
         {{{{At(10, 29, 59), s0}, {At(10, 30), s0}}, At(10, 30, 0, 500), 0, {slot1000}, L"2012/07/10#1"},
          {{}, At(11, 0), 0, {slot1000, slot1030}, L"2012/07/10#2"},
          {{}, At(11, 30), 87, {slot1000, slot1030}, L"2012/07/10#2"}}},
        // A newest line that begins a sleep or a power-off totalizes nothing.
        {"the newest line begins a sleep or a power-off",
         {{{{At(10, 0), s0}, {At(10, 31), s0}, {At(10, 40), Status(QUOLOG_POWER_TO_S3S4)}}, At(11, 0), 995, {},
           L"2012/07/10#0"},
          {{{At(10, 45), Status(QUOLOG_POWER_FROM_S3S4)}, {At(10, 50), Status(QUOLOG_POWER_TO_S5)}}, At(11, 0), 995, {},
           L"2012/07/10#0"}}},
        // 900 s asleep inside one slot: its whole gain at once, 200 mWh x 1.5 = 300 on
        // top of two samples' 100.
        {"a sleep inside one slot",
         {{{{At(10, 0), s0}, {At(10, 5), Status(QUOLOG_POWER_TO_S3S4)}, {At(10, 20), Status(QUOLOG_POWER_FROM_S3S4, 40200)},
            {At(10, 20, 5), s0}},
           At(10, 30), 0, {L"2012/07/10,10:00:00.000,10,900,0,400,20,10,0,0,\"\",900,\"Balanced\",10,0,0,2"}, nullptr}}},
        // Suspended, then started anew (the battery ran out, or the hibernation was
        // discarded): no resume record will come, and the sleep counts as a power-off.
        {"a sleep ended by a fresh start",
         {{{{At(10, 5), Status(QUOLOG_POWER_TO_S3S4)}, {At(10, 15), Status(QUOLOG_POWER_START)}, {At(10, 15, 5), s0}},
           At(10, 30), 0, {L"2012/07/10,10:00:00.000,5,0,605,50,10,5,0,0,\"\",605,\"Balanced\",5,0,0,1"},
           L"2012/07/10#3"}}},
        // A power-off from 10:10:00 to the first sample after the next start at 11:20:05,
        // 4205 s with a charge gain of 100 mWh: 1200, 1800 and 1205 s with shares of 28,
        // 42 and 28 mWh, times 1.5. A run before that sample finds the off period open:
        // its slot stays unwritten and the read position at the slot's first line.
        {"a power-off across three slots, open at the end of a run",
         {{{{At(10, 0), s0}, {At(10, 10), Status(QUOLOG_POWER_TO_S5)}, {At(10, 10, 1), Status(QUOLOG_POWER_END)},
            {At(11, 20), Status(QUOLOG_POWER_START, 40100)}},
           At(11, 20, 1), 0, {}, L"2012/07/10#0"},
          {{{At(11, 20, 5), Status(QUOLOG_POWER_S0, 40100)}},
           At(11, 30), 0,
           {L"2012/07/10,10:00:00.000,5,0,1200,92,10,5,0,0,\"\",1200,\"Balanced\",5,0,0,1",
            L"2012/07/10,10:30:00.000,0,0,1800,63,0,0,0,0,\"\",1800,\"\",0,0,0,0",
            L"2012/07/10,11:00:00.000,5,0,1205,92,10,5,0,0,\"\",1205,\"Balanced\",5,0,0,1"},
           L"2012/07/10#5"}}},
    };
    for (const auto& example : examples) {
        SCOPED_TRACE(example.first);
        quoLog.reset();
        foldertree::DeleteTree(place.LogDir().c_str());
        StartAt(L"2012/07/10");
        for (const RunStep& run : example.second) {
            for (const auto& line : run.add) {
                Add(line.first, line.second);
            }
            EXPECT_EQ(run.dwResult, One(run.now));
            EXPECT_EQ(run.daily, Daily(2012, 7, 10));
            if (run.lpPosition != nullptr) {
                EXPECT_EQ(run.lpPosition, Position());
            }
        }
    }
}

TEST_F(TotalizeTest, ASleepOpenAcrossRunsKeepsItsFirstSlotUnwrittenUntilTheResume)
{
    // A sample taken after the suspend record but before the PC slept moves the slot on;
    // the read position must still not pass the suspend record.
    Add(At(10, 0, 0));
    Add(At(10, 29, 0), Status(QUOLOG_POWER_TO_S3S4));
    Add(At(10, 30, 1));
    ASSERT_EQ(0u, One(At(11, 0)));
    EXPECT_EQ(1u, Daily(2012, 7, 10).size());
    EXPECT_EQ(L"2012/07/10#0", Position());  // not past the suspend record
    Add(At(11, 29, 0), Status(QUOLOG_POWER_FROM_S3S4));
    ASSERT_EQ(0u, One(At(11, 30)));
    // The whole hour asleep: the stray sample's slot takes the sleep from 10:29 on.
    EXPECT_EQ(std::vector<std::wstring>({L"0", L"1860", L"1740"}), Column(Daily(2012, 7, 10), 3));
    EXPECT_EQ(L"2012/07/10#4", Position());
}

TEST_F(TotalizeTest, AmongPlansWithEqualTimeTheOneMetFirstLeads)
{
    AddOnPlans(10, 0, {L"A", L"B", L"B", L"A"});
    AddOnPlans(10, 30, {L"B", L"A", L"C", L"C"});
    ASSERT_EQ(0u, One(At(11, 0)));
    std::vector<std::wstring> lines = Daily(2012, 7, 10);
    ASSERT_EQ(2u, lines.size());
    std::vector<std::wstring> first = CsvCells(lines[0]);
    std::vector<std::wstring> second = CsvCells(lines[1]);
    EXPECT_EQ(std::vector<std::wstring>({L"A", L"10", L"B", L"10"}),
              std::vector<std::wstring>(first.begin() + 10, first.begin() + 14));
    EXPECT_EQ(std::vector<std::wstring>({L"C", L"10", L"B", L"5"}),
              std::vector<std::wstring>(second.begin() + 10, second.begin() + 14));
}

TEST_F(TotalizeTest, ReductionPlanTimeCountsTheQuoPlanByDefaultAndTheNamedPlansOtherwise)
{
    // A sample without a plan name is in no reduction plan, although the second plan's
    // name is empty too.
    AddOnPlans(10, 0, {L"QUO", L"quo", L"QUO", L""});
    ASSERT_EQ(0u, One(At(10, 30)));
    place.Reg().SetString(L"Viewer", L"ReductionWattPlanName", L"Eco");
    place.Reg().SetString(L"Viewer", L"ReductionWattPlanName2", L"Super");
    ASSERT_EQ(0u, Open());
    AddOnPlans(10, 30, {L"Eco", L"QUO", L"Super", L""});
    ASSERT_EQ(0u, One(At(11, 0)));
    EXPECT_EQ(std::vector<std::wstring>({L"10", L"10"}), Column(Daily(2012, 7, 10), 15));
}

// With a threshold of one minute: 12 idle samples (60 s) of 43.2 W, then a busy one,
// count 12 x 43200 x 5000 / 3600000 = 720 mWh; 11 (55 s) are too short. Two hours idle
// at 200 W, 1440 x 200000 x 5000 / 3600000 = 400000 mWh, are credited whole to the slot
// of the busy sample that ends the run.
TEST_F(TotalizeTest, AnIdleRunCountsItsEnergyOnceItHasLastedTheThresholdWithoutOverflow)
{
    place.Reg().SetDword(L"", L"IdleTimeThreshold", 1);
    ASSERT_EQ(0u, Open());
    for (WORD wSecond = 0; wSecond < 60; wSecond += 5) {
        Add(At(10, 0, wSecond), Idle());
    }
    Add(At(10, 1, 0));
    for (WORD wSecond = 5; wSecond < 60; wSecond += 5) {
        Add(At(10, 1, wSecond), Idle());
    }
    Add(At(10, 2, 0));
    RawSample heavy = Idle();
    heavy.pc = 180000;
    heavy.mon = 20000;
    for (int i = 0; i < 1440; ++i) {
        SYSTEMTIME t = At(10, 30);
        CQuoLog::OffsetMinute(&t, i / 12);
        t.wSecond = static_cast<WORD>((i % 12) * 5);
        Add(t, heavy);
    }
    Add(At(12, 30, 0));
    ASSERT_EQ(0u, One(At(13, 0)));
    EXPECT_EQ(std::vector<std::wstring>({L"720", L"0", L"0", L"0", L"0", L"400000"}), Column(Daily(2012, 7, 10), 14));
}

// A slot whose write meets a passing fault (the daily file held by another program:
// 32) stops the run before that slot, with the read position kept; the next run
// writes it.
TEST_F(TotalizeTest, ASlotThatCouldNotBeWrittenForAPassingReasonIsWrittenNextTime)
{
    Add(At(10, 0));
    Add(At(10, 30));
    Add(At(11, 0));
    MakeFolders(Join(place.LogDir(), L"2012"));
    CScopedFileHandle held = HoldWithoutSharing(DailyPath(2012, 7, 10), CREATE_NEW);
    ASSERT_TRUE(held.IsValid());
    EXPECT_EQ(32u, One(At(11, 30)));
    held.Reset();
    EXPECT_EQ(L"2012/07/10#0", Position());
    ASSERT_EQ(0u, One(At(11, 30)));
    EXPECT_EQ(3u, Daily(2012, 7, 10).size());
    EXPECT_EQ(L"2012/07/10#3", Position());
}

// A daily file that refuses its line in eight runs in a row (a folder in its place: 5)
// is given up: that line and the next ones of its file are skipped and the read
// position goes on, while the other days' files are written as usual.
TEST_F(TotalizeTest, ADailyFileThatKeepsRefusingItsLinesIsGivenUpAfterEightRuns)
{
    Add(At(10, 0));
    Add(At(10, 30));
    MakeFolders(DailyPath(2012, 7, 10));
    for (DWORD dwRun = 1; dwRun < CTotalizeLog::kMaxRefusedRuns; ++dwRun) {
        ASSERT_EQ(5u, One(At(11, 30))) << dwRun;
        EXPECT_EQ(L"2012/07/10#0", Position());
    }
    ASSERT_EQ(0u, One(At(11, 30)));
    EXPECT_EQ(L"2012/07/10#2", Position());
    Add(MakeTime(2012, 7, 11, 0, 10));
    ASSERT_EQ(0u, One(MakeTime(2012, 7, 11, 0, 40)));
    EXPECT_EQ(1u, Daily(2012, 7, 11).size());
}

// A raw file between the read position and today that cannot be read for a moment
// (held by another program: 32) ends the run before its day: the day before is
// totalized, the read position does not pass the day, and the next run reads it.
TEST_F(TotalizeTest, ARawFileThatCannotBeReadForAMomentEndsTheRunBeforeItsDay)
{
    Add(At(23, 0));
    Add(MakeTime(2012, 7, 11, 9, 0));
    Add(MakeTime(2012, 7, 12, 9, 0));
    CScopedFileHandle held = HoldWithoutSharing(place.RawPath(L"20120711"));
    ASSERT_TRUE(held.IsValid());
    EXPECT_EQ(32u, One(MakeTime(2012, 7, 12, 10, 0)));
    EXPECT_EQ(1u, Daily(2012, 7, 10).size());
    EXPECT_EQ(L"2012/07/10#1", Position());
    held.Reset();
    ASSERT_EQ(0u, One(MakeTime(2012, 7, 12, 10, 0)));
    EXPECT_EQ(1u, Daily(2012, 7, 11).size());
    EXPECT_EQ(1u, Daily(2012, 7, 12).size());
    EXPECT_EQ(L"2012/07/12#1", Position());
}

class FoldTest : public TotalizeTest {
protected:
    void SetUp() override
    {
        TotalizeTest::SetUp();
        MakeFolders(Join(place.LogDir(), L"2012"));
        WriteUtf16File(DailyPath(2012, 7, 10), kDay10);
        WriteUtf16File(DailyPath(2012, 7, 12),
                       L"2012/07/12,08:00:00.000,1800,0,0,100,20,1800,0,0,\"A\",1800,\"\",0,0,0,0\r\n");
    }

    const std::wstring kDay10 = L"2012/07/10,10:00:00.000,1800,0,0,100,20,1800,0,0,\"A\",1000,\"B\",800,5,600,7\r\n"
                                L"2012/07/10,10:30:00.000,900,900,0,60,10,0,900,0,\"\",900,\"B\",900,0,0,3\r\n";
    const std::wstring kFolded10 = L"2012/07/10,00:00:00.000,2700,900,0,160,30,1800,900,0,\"B\",1700,\"A\",1000,5,600,10";
    const std::wstring kFolded12 = L"2012/07/12,00:00:00.000,1800,0,0,100,20,1800,0,0,\"A\",1800,\"\",0,0,0,0";
};

TEST_F(FoldTest, DaysWithADailyFileBecomeOneYearlyLineEachAndDaysThatCannotBeFoldedArePassedOver)
{
    WriteUtf16File(DailyPath(2012, 7, 13), L"");                                        // the mark alone
    WriteUtf16File(DailyPath(2012, 7, 14), L"no date,00:00:00.000,1,1,1\r\n");          // no date
    WriteUtf16File(DailyPath(2012, 7, 15), L"2012/07/15,00:00:00.000,1,0,0,0,0,0,0,0"); // a torn line
    ASSERT_EQ(0u, Two(MakeTime(2012, 7, 16, 0, 0)));
    EXPECT_EQ(std::vector<std::wstring>({kFolded10, kFolded12}), ReadUtf16Lines(YearlyPath(2012)));
    EXPECT_EQ(L"2012/07/16", RegString(place.RegPath(), L"LastWriteDay2"));

    // Folding the same days again adds nothing.
    place.Reg().SetString(L"", L"LastWriteDay2", L"2012/07/01");
    ASSERT_EQ(0u, Open());
    ASSERT_EQ(0u, Two(MakeTime(2012, 7, 16, 0, 0)));
    EXPECT_EQ(std::vector<std::wstring>({kFolded10, kFolded12}), ReadUtf16Lines(YearlyPath(2012)));
}

TEST_F(FoldTest, ADayThatCouldNotBeReadForAPassingReasonIsFoldedNextTime)
{
    CNamedMutex lock;  // the file lock held here while another thread folds
    ASSERT_EQ(0u, lock.Initialize(place.LockName().c_str(), 0));
    ASSERT_EQ(0u, lock.Lock(nullptr));
    DWORD dwHeld = 0;
    std::thread([&] { dwHeld = Two(MakeTime(2012, 7, 16, 0, 0)); }).join();
    EXPECT_EQ(170u, dwHeld);
    lock.Unlock();
    EXPECT_EQ(L"2012/07/10", RegString(place.RegPath(), L"LastWriteDay2"));
    EXPECT_FALSE(FileExists(YearlyPath(2012)));
    ASSERT_EQ(0u, Two(MakeTime(2012, 7, 16, 0, 0)));
    EXPECT_EQ(std::vector<std::wstring>({kFolded10, kFolded12}), ReadUtf16Lines(YearlyPath(2012)));
}

TEST_F(FoldTest, AYearlyFileThatKeepsRefusingItsLinesIsGivenUpAfterEightRuns)
{
    MakeFolders(YearlyPath(2012));
    for (DWORD dwRun = 1; dwRun < CTotalizeLog::kMaxRefusedRuns; ++dwRun) {
        ASSERT_EQ(5u, Two(MakeTime(2012, 7, 16, 0, 0))) << dwRun;
        EXPECT_EQ(L"2012/07/10", RegString(place.RegPath(), L"LastWriteDay2"));
    }
    ASSERT_EQ(0u, Two(MakeTime(2012, 7, 16, 0, 0)));
    EXPECT_EQ(L"2012/07/16", RegString(place.RegPath(), L"LastWriteDay2"));
}

TEST_F(TotalizeTest, ATotalizeRequestFoldsTheDaysAndDropsTheOldestRawFiles)
{
    StartAt(L"2012/07/08");
    Add(MakeTime(2012, 7, 8, 12, 0));
    Add(MakeTime(2012, 7, 9, 12, 0));
    Add(At(0, 5));
    CQuoLog::TotalizeResults results = quoLog->Totalize(At(0, 30), nullptr, TRUE, FALSE);
    EXPECT_EQ(0u, results.dwOne);
    EXPECT_EQ(0u, results.dwTwo);
    EXPECT_EQ(std::vector<std::wstring>({L"2012/07/08", L"2012/07/09"}), Column(ReadUtf16Lines(YearlyPath(2012)), 0));
    EXPECT_EQ(std::vector<std::wstring>({L"QUOLogRaw20120709.csv", L"QUOLogRaw20120710.csv"}),
              NamesIn(place.LogDir(), L"QUOLogRaw*"));
}

// A plan with no time is never chosen.
TEST(TotalizeRules, APlanWithNoTimeIsNeverChosen)
{
    PowerPlanTable plans;
    CTotalizeLog::UpdatePlanInfo(plans, L"Zero", 0);
    CTotalizeLog::UpdatePlanInfo(plans, L"Only", 7);
    PowerPlanInfo top[2];
    CTotalizeLog::FindMaxPowerPlan(plans, top);
    EXPECT_STREQ(L"Only", top[0].szName);
    EXPECT_STREQ(L"", top[1].szName);
    EXPECT_EQ(0u, top[1].dwTime);
}

const wchar_t kSetting[] = L"Tandora\\Setting";
const wchar_t kRandom[] = L"Tandora\\PeakShiftPattern\\Random";
const wchar_t kForecast[] = L"Tandora\\PeakShiftPattern\\Forecast";

// A writer of its own with the copy of the peak-shift tool's settings below its key.
class PeakShiftTest : public TotalizeTest {
protected:
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
    EXPECT_EQ(9000u, CTotalizeLog::CalcSecCount(At(13, 30), MakeTime(2011, 1, 1, 11, 0)));
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

    const struct { const wchar_t* lpName; const wchar_t* lpValue; DWORD dwResult; } broken[] = {
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
        EXPECT_EQ(entry.dwResult, Totalizer().GetPksBattChrgPrvntInfo()) << Narrow(entry.lpValue);
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
    EXPECT_EQ(0u, Prevented(At(10, 0), At(11, 0)));

    place.Reg().SetDword(kSetting, L"UseRandomPeakShift", 0);
    place.Reg().SetDword(kSetting, L"UseEFPeakShift", 1);
    ASSERT_EQ(0u, Totalizer().GetPksBattChrgPrvntInfo());
    EXPECT_EQ(0u, Prevented(At(20, 0), At(21, 0)));

    // The non-charge span of the pattern, joined with its peak-shift window.
    place.Reg().SetDword(kSetting, L"UseNonChargeSpan", 1);
    place.Reg().SetString(kForecast, L"NonChargeStartTime", L"20:30:00");
    place.Reg().SetString(kForecast, L"NonChargeEndTime", L"22:00:00");
    ASSERT_EQ(0u, Totalizer().GetPksBattChrgPrvntInfo());
    EXPECT_EQ(0u, Prevented(At(20, 0), At(22, 0)));
    EXPECT_EQ(3600u, Prevented(At(19, 0), At(22, 0)));
    place.Reg().SetDword(kSetting, L"UsePeakShift", 0);
    ASSERT_EQ(0u, Totalizer().GetPksBattChrgPrvntInfo());
    EXPECT_EQ(1800u, Prevented(At(20, 0), At(22, 0)));
}

TEST_F(PeakShiftTest, ASleepSpreadsItsGainOnlyOverTheTimeChargingWasAllowed)
{
    // Asleep 12:00 to 18:00 with charging prevented 13:00 to 16:00: 10800 s remain,
    // so each of the six slots outside the window gets 1800 x 300 / 10800 = 50 mWh,
    // times 1.5; all 450 mWh are credited.
    Add(At(12, 0), Status(QUOLOG_POWER_TO_S3S4));
    Add(At(18, 0), Status(QUOLOG_POWER_FROM_S3S4, 40300));
    Add(At(18, 0, 5));
    CopyInForce();
    ASSERT_EQ(0u, Totalizer().GetPksBattChrgPrvntInfo());
    ASSERT_EQ(0u, One(At(18, 30)));
    std::vector<std::wstring> energies = Column(Daily(2012, 7, 10), 5);
    ASSERT_EQ(13u, energies.size());
    energies.pop_back();  // the slot of the sample after the resume
    EXPECT_EQ(std::vector<std::wstring>({L"75", L"75", L"0", L"0", L"0", L"0", L"0", L"0", L"75", L"75", L"75", L"75"}),
              energies);
    EXPECT_TRUE(Totalizer().IsPksEnabled());
}

TEST_F(PeakShiftTest, APeriodThatReachesTheNextDayEndsThePreventionForTheRun)
{
    Add(At(23, 0), Status(QUOLOG_POWER_TO_S3S4));
    Add(MakeTime(2012, 7, 11, 1, 0), Status(QUOLOG_POWER_FROM_S3S4));
    CopyInForce();
    ASSERT_EQ(0u, Totalizer().GetPksBattChrgPrvntInfo());
    ASSERT_EQ(0u, One(MakeTime(2012, 7, 11, 1, 30)));
    EXPECT_FALSE(Totalizer().IsPksEnabled());
}
