// The realtime and live wattage panes' rules: power source texts, leaves above level
// five, the tool's setting, plan colours, the legend, the timer and the two-name
// multi-string.
#include <gtest/gtest.h>

#include "MonitorRules.h"
#include "RealtimeRules.h"

namespace {

// (On battery and charging, on screen: viewer_live_notebook.)
TEST(RealtimeRules, PowerSourceTextAndLeaves)
{
    const RtPowerSourceStrings strings = {L"AC電源：\u3000", L"バッテリ：残り\u3000", L"AC電源：充電中\u3000", L"不明"};
    const struct { DWORD dwPCType; BYTE bySource; DWORD dwPercent; const wchar_t* lpExpected; } cases[] = {
        {0, RT_POWER_SOURCE_BATTERY, 37, L"AC電源"},  // no battery in the PC
        {1, RT_POWER_SOURCE_AC, 0, L"AC電源"},        // AC at 0 %: no percentage
        {1, RT_POWER_SOURCE_AC, 100, L"AC電源：\u3000100%"},
        {1, 0, 50, L"不明"},
        {1, 9, 50, L"不明"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::wstring(c.lpExpected), RtPowerSourceText(c.dwPCType, c.bySource, c.dwPercent, strings))
            << c.dwPCType << "/" << int(c.bySource) << "/" << c.dwPercent;
    }
    // A level above five from the pipe shows five green leaves.
    for (int i = 0; i < RT_LEAF_COUNT; ++i) {
        EXPECT_TRUE(RtLeafIsGreen(i, 7)) << i;
    }
}

TEST(RealtimeRules, LaunchPathSetting)
{
    const struct { const wchar_t* lpSetting; bool bSlash; const wchar_t* lpPath; const wchar_t* lpArgs; } cases[] = {
        {L"C:\\Tool\\pmc.exe /start", true, L"C:\\Tool\\pmc.exe", L"/start"},
        {L"  C:\\a b\\t.exe /x /y \t", true, L"C:\\a b\\t.exe", L"/x /y"},
        {L"/only", true, L"", L"/only"},
        {L"C:\\Tool\\pmc.exe", false, L"", L""},
        {L"", false, L"", L""},
    };
    for (const auto& c : cases) {
        std::wstring strPath = L"sentinel";
        std::wstring strArgs = L"sentinel";
        EXPECT_EQ(c.bSlash, RtParseLaunchPath(c.lpSetting, strPath, strArgs)) << c.lpSetting;
        EXPECT_EQ(c.lpPath, strPath) << c.lpSetting;
        EXPECT_EQ(c.lpArgs, strArgs) << c.lpSetting;
    }
}

// (Both models' colour of "QUO" and of a plan they do not name, on screen:
// viewer_screens.)
TEST(MonitorRules, PlanColourLegendAndTimer)
{
    const MonPlanColors colors = MonDefaultPlanColors();
    const MonPlanNames names = {L"Velio", L"省電力", L"QUO", L"", L"高性能", L"標準", L"QUO"};
    const struct { DWORD dwCnr; const wchar_t* lpPlan; COLORREF crExpected; } cases[] = {
        {MON_CNR_CONSUMER, L"Velio", colors.crCnr1},
        {MON_CNR_CONSUMER, L"省電力", colors.crCnr1},  // either name of plan 1
        {MON_CNR_CONSUMER, L"", colors.crCnr2},        // the empty second name of plan 2
        {MON_CNR_CONSUMER, L"quo", colors.crCnr0},     // exact comparison
        {0, L"QUO", colors.crCml3},                    // only a consumer model is one
        {MON_CNR_COMMERCIAL, L"高性能", colors.crCml1},
        {MON_CNR_COMMERCIAL, L"標準", colors.crCml2},
        {MON_CNR_COMMERCIAL, L"", colors.crCml0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.crExpected, MonPlanColor(c.dwCnr, c.lpPlan, colors, names)) << c.dwCnr << " " << c.lpPlan;
    }
    EXPECT_EQ(L"電源プラン:Velio", MonConsumerLegend(L"電源プラン:", L"Velio", L"/", L""));
    EXPECT_EQ(L"電源プラン:Velio/省電力", MonConsumerLegend(L"電源プラン:", L"Velio", L"/", L"省電力"));
    // "Interval" 0 or unreadable: the default 5 s, never a timer that fires at once.
    EXPECT_EQ(1000u, MonTimerInterval(ERROR_SUCCESS, 1000));
    EXPECT_EQ(5000u, MonTimerInterval(ERROR_SUCCESS, 0));
    EXPECT_EQ(5000u, MonTimerInterval(ERROR_FILE_NOT_FOUND, 1000));
}

TEST(MonitorRules, SplitMultiStrToTwoStr)
{
    const struct {
        const wchar_t* lpBuf;  // nullptr for a null buffer
        DWORD cch;
        BOOL bResult;
        const wchar_t* lpFirst;
        const wchar_t* lpSecond;
    } cases[] = {
        {L"Velio\0省電力\0", 11, TRUE, L"Velio", L"省電力"},
        {L"A\0B\0C\0", 7, TRUE, L"A", L"B"},
        {L"QUO\0", 5, TRUE, L"QUO", L"keep"},  // no second string: left as it was
        {L"\0", 2, TRUE, L"", L"keep"},
        {L"A\0B", 4, FALSE, L"keep", L"keep"},  // no double terminator within size - 1
        {L"A\0B\0", 4, FALSE, L"keep", L"keep"},
        {L"A\0\0", 0, FALSE, L"keep", L"keep"},  // size 0
        {nullptr, 8, FALSE, L"keep", L"keep"},
    };
    for (const auto& c : cases) {
        std::wstring strFirst = L"keep";
        std::wstring strSecond = L"keep";
        EXPECT_EQ(c.bResult, SplitMultiStrToTwoStr(c.lpBuf, c.cch, strFirst, strSecond)) << c.cch;
        EXPECT_EQ(c.lpFirst, strFirst) << c.cch;
        EXPECT_EQ(c.lpSecond, strSecond) << c.cch;
    }
}

}  // namespace
