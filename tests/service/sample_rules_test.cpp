// The decoding and rounding rules of a sample: raw driver readings, wattage bounds,
// battery status, external-display keys and levels, level answers, reduction power.
#include <windows.h>

#include <limits>

#include <gtest/gtest.h>

#include "QuoLevel.h"
#include "QuoLog.h"
#include "SampleRules.h"

using namespace samplerules;

namespace {

// Exponent -1 gives half watts from the unsigned mantissa of the low word; any other
// exponent is refused with the output untouched. (100 W and a refused reading through
// the service: service_integration, service_ctrl.)
TEST(SampleRules, Linear11WithExponentMinusOneIsHalfWatts)
{
    const struct {
        DWORD dwRaw;
        DWORD dwResult;
        double dWatts;
    } cases[] = {{0xF800, 0, 0.0},   {0xFFFF, 0, 1023.5},  {0x1234F801, 0, 0.5},
                 {0xF7FF, 13, -1.0}, {0x0000, 13, -1.0}};
    for (const auto& c : cases) {
        double dWatts = -1.0;
        EXPECT_EQ(c.dwResult, DecodeLinear11(c.dwRaw, &dWatts)) << std::hex << c.dwRaw;
        EXPECT_DOUBLE_EQ(c.dWatts, dWatts) << std::hex << c.dwRaw;
    }
}

TEST(SampleRules, CoefficientTextMustBeAUsableNumber)
{
    double dCoefficient = 1.0;
    EXPECT_TRUE(ParseGwatCoefficient(L"0.25", &dCoefficient));
    EXPECT_DOUBLE_EQ(0.25, dCoefficient);
    EXPECT_TRUE(ParseGwatCoefficient(L"-2", &dCoefficient));
    EXPECT_DOUBLE_EQ(-2.0, dCoefficient);
    for (const wchar_t* lpText : {L"0", L"abc", L"1e999", L"-1e999", L"", L"nan"}) {
        dCoefficient = 1.0;
        EXPECT_FALSE(ParseGwatCoefficient(lpText, &dCoefficient)) << lpText;
        EXPECT_DOUBLE_EQ(1.0, dCoefficient) << lpText;
    }
}

// Rounded to the nearest milliwatt; the bound applies to the watts read, so just below
// 200 W rounds up to 200000. Out of bounds is refused with the output untouched.
TEST(SampleRules, WattsToMilliwattsRoundsAndBoundsBeforeRounding)
{
    const struct {
        double dWatts;
        DWORD dwResult;
        DWORD dwMilliwatts;
    } cases[] = {{12.3456, 0, 12346},  {199.9, 0, 199900}, {0.0, 0, 0},       {0.0004, 0, 0},
                 {0.0005, 0, 1},       {199.9999, 0, 200000}, {200.0, 13, 7}, {-0.1, 13, 7},
                 {1e300, 13, 7},       {std::numeric_limits<double>::quiet_NaN(), 13, 7}};
    for (const auto& c : cases) {
        DWORD dwMilliwatts = 7;
        EXPECT_EQ(c.dwResult, WattsToMilliwatts(c.dWatts, &dwMilliwatts)) << c.dWatts;
        EXPECT_EQ(c.dwMilliwatts, dwMilliwatts) << c.dWatts;
    }
}

// Unknown for an unknown line; any other known line status counts as online; peak shift
// in force when bit 1 of the driver's word is clear. (Off the line, charging, AC and peak
// shift through the service on the simulated notebook: service_integration_notebook.)
TEST(SampleRules, BatteryStatusFromLineFlagAndPeakShift)
{
    EXPECT_EQ(static_cast<DWORD>(QUOLOG_BATTERY_UNKNOWN), BatteryStatusFrom(255, 0, PKS_NOT_IN_FORCE));
    EXPECT_EQ(static_cast<DWORD>(QUOLOG_BATTERY_AC), BatteryStatusFrom(1, 0x01, PKS_UNKNOWN));
    EXPECT_EQ(static_cast<DWORD>(QUOLOG_BATTERY_AC), BatteryStatusFrom(2, 0, PKS_NOT_IN_FORCE));
    EXPECT_EQ(static_cast<DWORD>(PKS_NOT_IN_FORCE), PksStatusFromPowerState(0xFFFFFFFF));
    EXPECT_EQ(static_cast<DWORD>(PKS_IN_FORCE), PksStatusFromPowerState(0xFFFFFFFD));
}

// The external display's value name and the display level as the record keeps it, at
// their bounds (level 4 on and off through the controller: service_ctrl).
TEST(SampleRules, ExternalDisplayValueNamesAndLevels)
{
    EXPECT_STREQ(L"Watt_Level01", ExtDisplayValueName(0, QUOLOG_STATE_ON));
    EXPECT_STREQ(L"Watt_Level10", ExtDisplayValueName(9, QUOLOG_STATE_ON));
    EXPECT_EQ(nullptr, ExtDisplayValueName(10, QUOLOG_STATE_ON));
    EXPECT_EQ(nullptr, ExtDisplayValueName(0xFFFFFFFF, QUOLOG_STATE_ON));
    EXPECT_EQ(nullptr, ExtDisplayValueName(QUOMONITOR_LEVEL_NONE_1, QUOLOG_STATE_ON));
    EXPECT_EQ(nullptr, ExtDisplayValueName(QUOMONITOR_LEVEL_NONE_2, QUOLOG_STATE_OFF));
    EXPECT_EQ(nullptr, ExtDisplayValueName(3, QUOLOG_STATE_UNKNOWN));

    EXPECT_EQ(10u, DisplayLevelPercent(0));
    EXPECT_EQ(100u, DisplayLevelPercent(9));
    EXPECT_EQ(0u, DisplayLevelPercent(QUOMONITOR_LEVEL_NONE_1));
    EXPECT_EQ(0u, DisplayLevelPercent(QUOMONITOR_LEVEL_NONE_2));
}

// The failure answers map to their errors with the level untouched; anything else,
// 0xF004 too, is the level.
TEST(SampleRules, LevelLibraryAnswers)
{
    const struct {
        DWORD dwAnswer;
        DWORD dwResult;
        DWORD dwLevel;
    } cases[] = {{0xF001, 1608, 99}, {0xF002, 30, 99}, {0xF003, 50, 99}, {3, 0, 3}, {0, 0, 0}, {0xF004, 0, 0xF004}};
    for (const auto& c : cases) {
        DWORD dwLevel = 99;
        EXPECT_EQ(c.dwResult, QuoLevelResult(c.dwAnswer, &dwLevel)) << std::hex << c.dwAnswer;
        EXPECT_EQ(c.dwLevel, dwLevel) << std::hex << c.dwAnswer;
    }
}

// (The QUO plan's 3000 mW and another plan's none through the controller: service_ctrl.)
TEST(SampleRules, ReductionPowerOfThePlans)
{
    const DWORD AC = QUOLOG_BATTERY_AC;
    const DWORD DC = QUOLOG_BATTERY_DC;
    EXPECT_EQ(0u, ReductionWatt(true, L"QUO", L"QUO", L"", 3000, 0, DC));
    EXPECT_EQ(3000u, ReductionWatt(true, L"QUO", L"QUO", L"", 3000, 0, QUOLOG_BATTERY_CHARGING));
    EXPECT_EQ(0u, ReductionWatt(false, L"QUO", L"QUO", L"", 3000, 0, AC));
    EXPECT_EQ(0u, ReductionWatt(true, L"quo", L"QUO", L"", 3000, 0, AC));
    EXPECT_EQ(1500u, ReductionWatt(true, L"Super", L"QUO", L"Super", 3000, 1500, AC));
    EXPECT_EQ(0u, ReductionWatt(false, L"Super", L"QUO", L"Super", 3000, 1500, AC));
    // A plan without a name is never a reduction plan, also when none is configured.
    EXPECT_EQ(0u, ReductionWatt(true, L"", L"", L"", 3000, 1500, AC));
    EXPECT_EQ(0u, ReductionWatt(true, L"", L"QUO", L"", 3000, 1500, AC));
}

}  // namespace
