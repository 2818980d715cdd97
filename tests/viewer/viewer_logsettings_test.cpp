// The log analysis pane's settings and band colours from a throwaway registry key laid
// out as the viewer's own: the values when present, ill-typed values ignored (the
// defaults kept), and the plan and state colour overrides.
#include <gtest/gtest.h>

#include "LogPaneSettings.h"
#include "QuoViewer_Common.h"
#include "TestSupport.h"

namespace {

const SYSTEMTIME kToday = MakeDate(2026, 12, 7);
const std::wstring kStateNames[kQVPowerStates] = {L"不明", L"AC動作中", L"バッテリ使用中", L"充電中"};

class LogSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::map<UINT, std::wstring> names = {{166, L"バランス"}, {165, L"高性能"}, {183, L"不明"}};
        // Only three names load: the other built-in plans are left out.
        ASSERT_EQ(0u, InitColorPowerPlan(
                          [&](UINT nId, std::wstring* pText) {
                              const auto it = names.find(nId);
                              if (it == names.end()) {
                                  return false;
                              }
                              *pText = it->second;
                              return true;
                          },
                          &plans));
        ASSERT_EQ(0u, InitColorPowerState(&states));
    }

    DWORD Read() { return ReadLogPaneSettings(reg.Path().c_str(), kToday, kStateNames, &settings, &plans, &states); }

    testsupport::CTestRegKey reg{L"ViewerLogSettings"};
    QVLogPaneSettings settings = DefaultLogPaneSettings();
    QVPlanColorTable plans;
    QVStateColorTable states;
};

TEST_F(LogSettingsTest, ValuesOfTheRightTypeOverrideTheDefaults)
{
    reg.SetDword(L"LogAnalyze", L"CO2Factor", 500);
    reg.SetDword(L"LogAnalyze", L"FgColor", RGB(1, 2, 3));
    reg.SetString(L"LogAnalyze", L"BgColor", L"red");
    const ULONGLONG ullWide = RGB(9, 9, 9);
    reg.SetRaw(L"LogAnalyze", L"QuoFgColor", REG_DWORD, &ullWide, sizeof(ullWide));
    reg.SetDword(L"LogAnalyze", L"PastLimitDateYear", 2020);
    reg.SetDword(L"", L"GraphRefreshDelay", 5);
    reg.SetDword(L"DevInfo", L"MaxWhDaily", 250);
    reg.SetString(L"DevInfo", L"MaxWhYearly", L"1");
    ASSERT_EQ(0u, Read());
    EXPECT_DOUBLE_EQ(0.5, settings.dCO2Factor);
    EXPECT_EQ(RGB(1, 2, 3), settings.dwFgColor);
    EXPECT_EQ(RGB(0, 0, 0), settings.dwBgColor);
    EXPECT_EQ(RGB(158, 239, 59), settings.dwQuoFgColor);
    EXPECT_EQ(2020, settings.stPastLimitSysTime.wYear);
    EXPECT_EQ(5u, settings.dwGraphRefreshDelay);
    EXPECT_DOUBLE_EQ(250.0, settings.minRanges.dMaxWhDaily);
    EXPECT_DOUBLE_EQ(24000.0, settings.minRanges.dMaxWhYearly);

    reg.SetDword(L"LogAnalyze", L"PastLimitDateYear", 2040);
    ASSERT_EQ(0u, Read());
    EXPECT_EQ(2026, settings.stPastLimitSysTime.wYear);
}

TEST_F(LogSettingsTest, BandColoursAreOverriddenAndNewPlansAdded)
{
    reg.SetDword(L"LogAnalyze\\PowerPlan\\FgColor", L"バランス", RGB(10, 20, 30));
    reg.SetDword(L"LogAnalyze\\PowerPlan\\LabelColor", L"自作プラン", RGB(1, 1, 1));
    reg.SetString(L"LogAnalyze\\PowerPlan\\BgColor", L"高性能", L"blue");
    reg.SetDword(L"LogAnalyze\\PowerState\\FgColor", L"不明", RGB(5, 5, 5));
    reg.SetDword(L"LogAnalyze\\PowerState\\LabelColor", L"充電中", RGB(7, 7, 7));
    reg.SetDword(L"LogAnalyze\\PowerState\\BgColor", L"S0", RGB(8, 8, 8));
    ASSERT_EQ(0u, Read());
    EXPECT_EQ(RGB(10, 20, 30), plans[L"バランス"].crFg);
    EXPECT_EQ(RGB(0, 0, 0), plans[L"バランス"].crLabel);
    EXPECT_EQ(RGB(0, 0, 0), plans[L"高性能"].crBg);
    EXPECT_EQ(4u, plans.size());  // the three names that loaded and the new one
    ASSERT_EQ(1u, plans.count(L"自作プラン"));
    EXPECT_EQ(RGB(1, 1, 1), plans[L"自作プラン"].crLabel);
    EXPECT_EQ(RGB(240, 240, 240), plans[L"自作プラン"].crFg);
    EXPECT_EQ(RGB(5, 5, 5), states.states[0].crFg);
    EXPECT_EQ(RGB(7, 7, 7), states.states[3].crLabel);
    for (const QVBandColors& state : states.states) {
        EXPECT_EQ(RGB(0, 0, 0), state.crBg);
    }
    EXPECT_EQ(87u, ReadLogPaneSettings(nullptr, kToday, kStateNames, &settings, &plans, &states));
}

}  // namespace
