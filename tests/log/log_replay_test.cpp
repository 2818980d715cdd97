// A generated week of raw lines (a minute apart, with plan changes, idle spells, battery
// states, a sleep and a power-off every day) totalized twice in places of their own:
// step by step, two hours and one midnight fold at a time, as the worker does while the
// PC runs; and as one backlog, the whole week in one call and one fold. The daily and
// yearly files of both must be the same, byte for byte.
#include <gtest/gtest.h>

#include <map>

#include "LogTestSupport.h"
#include "TotalizeLog.h"

using namespace logtest;

namespace {

class CReplay : public CLogInstance {
public:
    explicit CReplay(const wchar_t* lpName) : CLogInstance(lpName)
    {
        place.StartPositionsAt(L"2012/07/09");
        EXPECT_EQ(0u, Open(QUOLOG_MODE_WRITER, 60000));
        MakeFolders(place.LogDir());
        for (WORD wDay = 9; wDay < 16; ++wDay) {
            std::wstring text;
            for (WORD m = 0; m < 24 * 60; ++m) {
                const WORD h = m / 60;
                RawSample s;
                s.status = (m == 12 * 60) ? QUOLOG_POWER_TO_S3S4 : (m == 13 * 60 + 7) ? QUOLOG_POWER_FROM_S3S4
                         : (m == 19 * 60) ? QUOLOG_POWER_TO_S5 : (m == 20 * 60 + 41) ? QUOLOG_POWER_START
                                                                                   : QUOLOG_POWER_S0;
                if (s.status == QUOLOG_POWER_S0 && ((h == 12 && m > 12 * 60) || (h == 13 && m < 13 * 60 + 7)
                                                    || (m > 19 * 60 && m < 20 * 60 + 41))) {
                    continue;  // asleep or off
                }
                s.pc = 20000 + (m * 37 + wDay) % 9000;
                s.capacity = 30000 + m * 3;
                s.battery = (h / 3) % 3;
                s.plan = (m / 50) % 3 == 0 ? L"QUO" : (m / 50) % 3 == 1 ? L"Balanced" : L"Saver";
                // Idle spells stay within the steps: a run forgets an idle spell it has not
                // seen end, so one across a step would count in the backlog only.
                if (m % 120 >= 30 && m % 120 < 70) {
                    s.cpu = 3;
                    s.hdd = 1;
                    s.input = QUOLOG_STATE_OFF;
                }
                text += RawLine(MakeTime(2012, 7, wDay, h, m % 60, m % 7, m % 1000), s);
            }
            WriteUtf16File(Join(place.LogDir(), L"QUOLogRaw" + DayName(MakeTime(2012, 7, wDay)) + L".csv"), text);
        }
    }
    // Every daily and yearly file's bytes, by name.
    std::map<std::wstring, std::vector<unsigned char>> Files()
    {
        std::map<std::wstring, std::vector<unsigned char>> files;
        for (const std::wstring& name : NamesIn(Join(place.LogDir(), L"2012"), L"QuoLogDaily*.csv")) {
            files[name] = ReadFileBytes(Join(Join(place.LogDir(), L"2012"), name));
        }
        files[L"yearly"] = ReadFileBytes(Join(place.LogDir(), L"QuoLogYearly2012.csv"));
        return files;
    }
};

}  // namespace

TEST(ReplayTest, AWeekTotalizedStepByStepAndAsOneBacklogWritesTheSameFiles)
{
    CReplay steps(L"replay-steps");
    for (WORD wDay = 9; wDay < 16; ++wDay) {
        for (WORD h = 2; h <= 24; h += 2) {
            const SYSTEMTIME now = (h < 24) ? MakeTime(2012, 7, wDay, h, 0, 3) : MakeTime(2012, 7, wDay + 1, 0, 0, 3);
            const DWORD dwOne = steps.Totalizer().TotalizeQuoLogOne(now, nullptr);
            ASSERT_TRUE(dwOne == 0 || dwOne == ERROR_OPERATION_ABORTED) << wDay << " " << h << ": " << dwOne;
        }
        ASSERT_EQ(0u, steps.Totalizer().TotalizeQuoLogTwo(MakeTime(2012, 7, wDay + 1, 0, 0, 3), nullptr));
    }
    CReplay backlog(L"replay-backlog");
    ASSERT_EQ(0u, backlog.Totalizer().TotalizeQuoLogOne(MakeTime(2012, 7, 16, 0, 0, 3), nullptr));
    ASSERT_EQ(0u, backlog.Totalizer().TotalizeQuoLogTwo(MakeTime(2012, 7, 16, 0, 0, 3), nullptr));

    const auto expected = steps.Files();
    ASSERT_EQ(8u, expected.size());  // seven days and the year
    for (const std::wstring& name : NamesIn(Join(steps.place.LogDir(), L"2012"), L"QuoLogDaily*.csv")) {
        EXPECT_EQ(48u, ReadUtf16Lines(Join(Join(steps.place.LogDir(), L"2012"), name)).size()) << Narrow(name);
    }
    EXPECT_EQ(7u, ReadUtf16Lines(Join(steps.place.LogDir(), L"QuoLogYearly2012.csv")).size());
    const auto actual = backlog.Files();
    for (const auto& file : expected) {
        EXPECT_TRUE(actual.count(file.first) == 1 && actual.at(file.first) == file.second) << Narrow(file.first);
    }
}
