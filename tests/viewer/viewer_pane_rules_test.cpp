// The realtime and live wattage panes' rules: power source texts, leaves, the tool's
// setting, plan colours, legends, ticks and the two-name multi-string.
#include <gtest/gtest.h>

#include "MonitorRules.h"
#include "RealtimeRules.h"

namespace {

const RtPowerSourceStrings kSourceStrings = {L"AC電源：\u3000", L"バッテリ：残り\u3000", L"AC電源：充電中\u3000",
                                             L"不明"};

TEST(RealtimeRules, PowerSourceText)
{
    struct Case {
        DWORD dwPCType;
        BYTE bySource;
        DWORD dwPercent;
        const wchar_t* lpExpected;
    };
    const Case cases[] = {
        {0, RT_POWER_SOURCE_BATTERY, 37, L"AC電源"},            // no battery in the PC
        {1, RT_POWER_SOURCE_AC, 0, L"AC電源"},                  // AC at 0 %: no percentage
        {1, RT_POWER_SOURCE_AC, 100, L"AC電源：\u3000100%"},
        {1, RT_POWER_SOURCE_BATTERY, 37, L"バッテリ：残り\u300037%"},
        {1, RT_POWER_SOURCE_CHARGING, 5, L"AC電源：充電中\u30005%"},
        {1, 0, 50, L"不明"},
        {1, 9, 50, L"不明"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(std::wstring(c.lpExpected), RtPowerSourceText(c.dwPCType, c.bySource, c.dwPercent, kSourceStrings))
            << c.dwPCType << "/" << int(c.bySource) << "/" << c.dwPercent;
    }
}

TEST(RealtimeRules, LeavesFollowTheLevel)
{
    const struct {
        BYTE byLevel;
        int nGreen;
    } cases[] = {{0, 0}, {3, 3}, {5, 5}, {7, 5}};
    for (const auto& c : cases) {
        int nGreen = 0;
        for (int i = 0; i < RT_LEAF_COUNT; ++i) {
            if (RtLeafIsGreen(i, c.byLevel)) {
                EXPECT_EQ(i, nGreen) << "green leaves come first";
                ++nGreen;
            }
        }
        EXPECT_EQ(c.nGreen, nGreen) << int(c.byLevel);
    }
    EXPECT_EQ(L"不明", RtPlanText(L"", L"不明"));
    EXPECT_EQ(L"QUO", RtPlanText(L"QUO", L"不明"));
}

TEST(RealtimeRules, LaunchPathSetting)
{
    struct Case {
        const wchar_t* lpSetting;
        bool bSlash;
        const wchar_t* lpPath;
        const wchar_t* lpArgs;
    };
    const Case cases[] = {
        {L"C:\\Tool\\pmc.exe /start", true, L"C:\\Tool\\pmc.exe", L"/start"},
        {L"  C:\\a b\\t.exe /x /y \t", true, L"C:\\a b\\t.exe", L"/x /y"},
        {L"/only", true, L"", L"/only"},
        {L"C:\\Tool\\pmc.exe", false, L"", L""},
        {L"", false, L"", L""},
    };
    for (const Case& c : cases) {
        std::wstring strPath = L"sentinel";
        std::wstring strArgs = L"sentinel";
        EXPECT_EQ(c.bSlash, RtParseLaunchPath(c.lpSetting, strPath, strArgs)) << c.lpSetting;
        EXPECT_EQ(c.lpPath, strPath) << c.lpSetting;
        EXPECT_EQ(c.lpArgs, strArgs) << c.lpSetting;
    }
}

TEST(RealtimeRules, LayoutCentresAndFits)
{
    RECT rc[RT_LEAF_COUNT];
    RtLayoutLeaves(200, 20, 40, rc);
    EXPECT_EQ(50, rc[0].left);
    EXPECT_EQ(150, rc[4].right);
    EXPECT_EQ(60, rc[4].bottom);
    EXPECT_EQ(12, RtFittedPoints(12, 176, 190, 8));
    EXPECT_EQ(11, RtFittedPoints(12, 198, 190, 8));  // 12 * 190 / 198 = 11.5
    EXPECT_EQ(8, RtFittedPoints(12, 600, 190, 8));
    const RECT rcCentred = RtCenterHorizontally(RECT{5, 10, 135, 20}, 142);
    EXPECT_EQ(6, rcCentred.left);
    EXPECT_EQ(136, rcCentred.right);
    EXPECT_EQ(10, rcCentred.top);
}

TEST(MonitorRules, PlanColourOfConsumerAndCommercialModels)
{
    const MonPlanColors colors = MonDefaultPlanColors();
    MonPlanNames names;
    names.strCnr1Fst = L"Velio";
    names.strCnr1Snd = L"省電力";
    names.strCnr2Fst = L"QUO";
    names.strCml1 = L"高性能";
    names.strCml2 = L"標準";
    names.strCml3 = L"QUO";
    struct Case {
        DWORD dwCnr;
        const wchar_t* lpPlan;
        COLORREF crExpected;
    };
    const Case cases[] = {
        {MON_CNR_CONSUMER, L"Velio", colors.crCnr1},
        {MON_CNR_CONSUMER, L"省電力", colors.crCnr1},   // either name of plan 1
        {MON_CNR_CONSUMER, L"QUO", colors.crCnr2},
        {MON_CNR_CONSUMER, L"", colors.crCnr2},         // the empty second name of plan 2
        {MON_CNR_CONSUMER, L"quo", colors.crCnr0},      // exact comparison
        {0, L"QUO", colors.crCml3},                     // only a consumer model is one
        {MON_CNR_COMMERCIAL, L"高性能", colors.crCml1},
        {MON_CNR_COMMERCIAL, L"標準", colors.crCml2},
        {MON_CNR_COMMERCIAL, L"QUO", colors.crCml3},
        {MON_CNR_COMMERCIAL, L"Velio", colors.crCml0},
        {MON_CNR_COMMERCIAL, L"", colors.crCml0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.crExpected, MonPlanColor(c.dwCnr, c.lpPlan, colors, names)) << c.dwCnr << " " << c.lpPlan;
    }
    EXPECT_EQ(RGB(163, 73, 164), colors.crCml0);
}

TEST(MonitorRules, LegendTickAndPlace)
{
    EXPECT_EQ(L"電源プラン:Velio", MonConsumerLegend(L"電源プラン:", L"Velio", L"/", L""));
    EXPECT_EQ(L"電源プラン:Velio/省電力", MonConsumerLegend(L"電源プラン:", L"Velio", L"/", L"省電力"));

    EXPECT_EQ(MON_GAP_VALUE, MonTickValue(0, 42.5));
    EXPECT_EQ(42.5, MonTickValue(1, 42.5));

    EXPECT_EQ(1000u, MonTimerInterval(ERROR_SUCCESS, 1000));
    EXPECT_EQ(5000u, MonTimerInterval(ERROR_SUCCESS, 0));
    EXPECT_EQ(5000u, MonTimerInterval(ERROR_FILE_NOT_FOUND, 1000));

    // Bottom 296, shrunk by 700 / 70 and 296 / 70, then 14 pixels for "(W)".
    const RECT rc = MonPlotRect(RECT{0, 0, 700, 350}, 300, 14);
    EXPECT_EQ(10, rc.left);
    EXPECT_EQ(18, rc.top);
    EXPECT_EQ(690, rc.right);
    EXPECT_EQ(292, rc.bottom);
}

TEST(MonitorRules, SplitMultiStrToTwoStr)
{
    struct Case {
        const wchar_t* lpBuf;   // nullptr for a null buffer
        DWORD cch;
        BOOL bResult;
        const wchar_t* lpFirst;
        const wchar_t* lpSecond;
    };
    const Case cases[] = {
        {L"Velio\0省電力\0", 11, TRUE, L"Velio", L"省電力"},
        {L"A\0B\0C\0", 7, TRUE, L"A", L"B"},
        {L"QUO\0", 5, TRUE, L"QUO", L"keep"},      // no second string: left as it was
        {L"\0", 2, TRUE, L"", L"keep"},
        {L"A\0B", 4, FALSE, L"keep", L"keep"},      // no double terminator within size - 1
        {L"A\0B\0", 4, FALSE, L"keep", L"keep"},
        {L"A\0\0", 0, FALSE, L"keep", L"keep"},     // size 0
        {nullptr, 8, FALSE, L"keep", L"keep"},
    };
    for (const Case& c : cases) {
        std::wstring strFirst = L"keep";
        std::wstring strSecond = L"keep";
        EXPECT_EQ(c.bResult, SplitMultiStrToTwoStr(c.lpBuf, c.cch, strFirst, strSecond)) << c.cch;
        EXPECT_EQ(c.lpFirst, strFirst) << c.cch;
        EXPECT_EQ(c.lpSecond, strSecond) << c.cch;
    }
}

}  // namespace
