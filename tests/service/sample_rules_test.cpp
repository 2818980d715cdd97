// The decoding and rounding rules of a sample: raw driver readings, wattage bounds,
// battery status, external-display keys and levels, level answers, reduction power.
#include <windows.h>

#include <gtest/gtest.h>

#include "QuoLevel.h"
#include "QuoLog.h"
#include "SampleRules.h"

using namespace samplerules;

namespace {

TEST(SampleRules, Linear11WithExponentMinusOneIsHalfWatts)
{
    double dWatts = -1.0;
    EXPECT_EQ(0u, DecodeLinear11(0xF8C8, &dWatts));
    EXPECT_DOUBLE_EQ(100.0, dWatts);
    EXPECT_EQ(0u, DecodeLinear11(0xF800, &dWatts));
    EXPECT_DOUBLE_EQ(0.0, dWatts);
    EXPECT_EQ(0u, DecodeLinear11(0xFFFF, &dWatts));  // the mantissa is unsigned
    EXPECT_DOUBLE_EQ(1023.5, dWatts);
    EXPECT_EQ(0u, DecodeLinear11(0x1234F801, &dWatts));  // only the low word's bits count
    EXPECT_DOUBLE_EQ(0.5, dWatts);

    dWatts = -1.0;
    EXPECT_EQ(13u, DecodeLinear11(0x08C8, &dWatts));
    EXPECT_EQ(13u, DecodeLinear11(0xF7FF, &dWatts));  // exponent -2
    EXPECT_EQ(13u, DecodeLinear11(0x0000, &dWatts));
    EXPECT_DOUBLE_EQ(-1.0, dWatts);
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

TEST(SampleRules, WattsToMilliwattsRoundsAndBoundsBeforeRounding)
{
    DWORD dwMilliwatts = 7;
    EXPECT_EQ(0u, WattsToMilliwatts(12.3456, &dwMilliwatts));
    EXPECT_EQ(12346u, dwMilliwatts);
    EXPECT_EQ(0u, WattsToMilliwatts(199.9, &dwMilliwatts));
    EXPECT_EQ(199900u, dwMilliwatts);
    EXPECT_EQ(0u, WattsToMilliwatts(0.0, &dwMilliwatts));
    EXPECT_EQ(0u, dwMilliwatts);
    EXPECT_EQ(0u, WattsToMilliwatts(0.0004, &dwMilliwatts));
    EXPECT_EQ(0u, dwMilliwatts);
    EXPECT_EQ(0u, WattsToMilliwatts(0.0005, &dwMilliwatts));
    EXPECT_EQ(1u, dwMilliwatts);
    // Just below the bound rounds up to it: the bound applies to the watts read.
    EXPECT_EQ(0u, WattsToMilliwatts(199.9999, &dwMilliwatts));
    EXPECT_EQ(200000u, dwMilliwatts);

    dwMilliwatts = 7;
    EXPECT_EQ(13u, WattsToMilliwatts(200.0, &dwMilliwatts));
    EXPECT_EQ(13u, WattsToMilliwatts(-0.1, &dwMilliwatts));
    EXPECT_EQ(13u, WattsToMilliwatts(1e300, &dwMilliwatts));
    EXPECT_EQ(13u, WattsToMilliwatts(std::numeric_limits<double>::quiet_NaN(), &dwMilliwatts));
    EXPECT_EQ(7u, dwMilliwatts);
}

TEST(SampleRules, BatteryStatusFromLineFlagAndPeakShift)
{
    const BYTE kCharging = 0x08;
    EXPECT_EQ(static_cast<DWORD>(QUOLOG_BATTERY_DC), BatteryStatusFrom(0, kCharging, PKS_NOT_IN_FORCE));
    EXPECT_EQ(static_cast<DWORD>(QUOLOG_BATTERY_UNKNOWN), BatteryStatusFrom(255, 0, PKS_NOT_IN_FORCE));
    EXPECT_EQ(static_cast<DWORD>(QUOLOG_BATTERY_CHARGING), BatteryStatusFrom(1, kCharging | 0x01, PKS_NOT_IN_FORCE));
    EXPECT_EQ(static_cast<DWORD>(QUOLOG_BATTERY_AC), BatteryStatusFrom(1, 0x01, PKS_NOT_IN_FORCE));
    // Peak shift in force: an AC-connected notebook runs from its battery.
    EXPECT_EQ(static_cast<DWORD>(QUOLOG_BATTERY_DC), BatteryStatusFrom(1, kCharging, PKS_IN_FORCE));
    EXPECT_EQ(static_cast<DWORD>(QUOLOG_BATTERY_AC), BatteryStatusFrom(1, 0x01, PKS_UNKNOWN));
    // Any other known line status counts as online.
    EXPECT_EQ(static_cast<DWORD>(QUOLOG_BATTERY_AC), BatteryStatusFrom(2, 0, PKS_NOT_IN_FORCE));
}

TEST(SampleRules, PeakShiftFromThePowerStateWord)
{
    EXPECT_EQ(static_cast<DWORD>(PKS_NOT_IN_FORCE), PksStatusFromPowerState(0x2));
    EXPECT_EQ(static_cast<DWORD>(PKS_NOT_IN_FORCE), PksStatusFromPowerState(0xFFFFFFFF));
    EXPECT_EQ(static_cast<DWORD>(PKS_IN_FORCE), PksStatusFromPowerState(0));
    EXPECT_EQ(static_cast<DWORD>(PKS_IN_FORCE), PksStatusFromPowerState(0xFFFFFFFD));
}

TEST(SampleRules, ExternalDisplayValueNames)
{
    EXPECT_STREQ(L"Watt_Level05", ExtDisplayValueName(4, QUOLOG_STATE_ON));
    EXPECT_STREQ(L"Watt_Level01", ExtDisplayValueName(0, QUOLOG_STATE_ON));
    EXPECT_STREQ(L"Watt_Level10", ExtDisplayValueName(9, QUOLOG_STATE_ON));
    EXPECT_EQ(nullptr, ExtDisplayValueName(10, QUOLOG_STATE_ON));
    EXPECT_EQ(nullptr, ExtDisplayValueName(0xFFFFFFFF, QUOLOG_STATE_ON));
    EXPECT_STREQ(L"Watt_Level00", ExtDisplayValueName(7, QUOLOG_STATE_OFF));
    EXPECT_EQ(nullptr, ExtDisplayValueName(QUOMONITOR_LEVEL_NONE_1, QUOLOG_STATE_ON));
    EXPECT_EQ(nullptr, ExtDisplayValueName(QUOMONITOR_LEVEL_NONE_2, QUOLOG_STATE_OFF));
    EXPECT_EQ(nullptr, ExtDisplayValueName(3, QUOLOG_STATE_UNKNOWN));
}

TEST(SampleRules, DisplayLevelsAsPercent)
{
    EXPECT_EQ(10u, DisplayLevelPercent(0));
    EXPECT_EQ(50u, DisplayLevelPercent(4));
    EXPECT_EQ(100u, DisplayLevelPercent(9));
    EXPECT_EQ(0u, DisplayLevelPercent(QUOMONITOR_LEVEL_NONE_1));
    EXPECT_EQ(0u, DisplayLevelPercent(QUOMONITOR_LEVEL_NONE_2));
}

TEST(SampleRules, LevelLibraryAnswers)
{
    DWORD dwLevel = 99;
    EXPECT_EQ(1608u, QuoLevelResult(0xF001, &dwLevel));
    EXPECT_EQ(30u, QuoLevelResult(0xF002, &dwLevel));
    EXPECT_EQ(50u, QuoLevelResult(0xF003, &dwLevel));
    EXPECT_EQ(99u, dwLevel);
    EXPECT_EQ(0u, QuoLevelResult(3, &dwLevel));
    EXPECT_EQ(3u, dwLevel);
    EXPECT_EQ(0u, QuoLevelResult(0, &dwLevel));
    EXPECT_EQ(0u, dwLevel);
    EXPECT_EQ(0u, QuoLevelResult(0xF004, &dwLevel));  // not a failure answer: passed on
    EXPECT_EQ(0xF004u, dwLevel);
}

TEST(SampleRules, ReductionPowerOfThePlans)
{
    const DWORD AC = QUOLOG_BATTERY_AC;
    const DWORD DC = QUOLOG_BATTERY_DC;
    EXPECT_EQ(3000u, ReductionWatt(true, L"QUO", L"QUO", L"", 3000, 0, AC));
    EXPECT_EQ(0u, ReductionWatt(true, L"QUO", L"QUO", L"", 3000, 0, DC));
    EXPECT_EQ(3000u, ReductionWatt(true, L"QUO", L"QUO", L"", 3000, 0, QUOLOG_BATTERY_CHARGING));
    EXPECT_EQ(0u, ReductionWatt(false, L"QUO", L"QUO", L"", 3000, 0, AC));
    EXPECT_EQ(0u, ReductionWatt(true, L"quo", L"QUO", L"", 3000, 0, AC));
    EXPECT_EQ(1500u, ReductionWatt(true, L"Super", L"QUO", L"Super", 3000, 1500, AC));
    EXPECT_EQ(0u, ReductionWatt(false, L"Super", L"QUO", L"Super", 3000, 1500, AC));
    EXPECT_EQ(0u, ReductionWatt(true, L"Balanced", L"QUO", L"Super", 3000, 1500, AC));
    // A plan without a name is never a reduction plan, also when none is configured.
    EXPECT_EQ(0u, ReductionWatt(true, L"", L"", L"", 3000, 1500, AC));
    EXPECT_EQ(0u, ReductionWatt(true, L"", L"QUO", L"", 3000, 1500, AC));
}

}  // namespace
