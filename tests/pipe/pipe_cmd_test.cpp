// The command records on the wire and the live sample built from a record's values.
#include <windows.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "PipeCmd.h"

namespace {

double WattAt263(const QVPipeCmdNotifySysInfo& cmd)
{
    double dWatt = 0;
    memcpy(&dWatt, reinterpret_cast<const BYTE*>(&cmd) + 263, sizeof(dWatt));
    return dWatt;
}

TEST(PipeCmd, NotifySysInfoCarriesTheSampleAtItsFixedOffsets)
{
    QVPipeCmdNotifySysInfo cmd;
    memset(&cmd, 0xCC, sizeof(cmd));
    BuildNotifySysInfo(&cmd, 3, L"\u30d0\u30e9\u30f3\u30b9", 12345, 2000, 3, 87);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&cmd);
    EXPECT_EQ(1u, bytes[0]);
    EXPECT_EQ(0u, bytes[1] | bytes[2] | bytes[3]);
    EXPECT_EQ(3u, bytes[4]);
    EXPECT_EQ(0x30D0, bytes[5] | (bytes[6] << 8)) << "the plan name starts at 5";
    EXPECT_EQ(0u, bytes[13] | bytes[14]) << "terminated";
    EXPECT_EQ(0u, bytes[15]) << "the rest of the name field is cleared";
    EXPECT_DOUBLE_EQ(14.345, WattAt263(cmd));
    EXPECT_EQ(3u, bytes[271]);
    EXPECT_EQ(87u, bytes[272]);
}

TEST(PipeCmd, OutOfRangeValuesBecomeZeroAndThePercentKeepsItsLowByte)
{
    QVPipeCmdNotifySysInfo cmd;
    for (DWORD dwLevel : {0u, 6u, 7u, 0xFFFFFFFFu}) {
        BuildNotifySysInfo(&cmd, dwLevel, L"", 0, 0, 1, 0);
        EXPECT_EQ(0u, cmd.byQuoLevel) << dwLevel;
    }
    for (DWORD dwLevel : {1u, 5u}) {
        BuildNotifySysInfo(&cmd, dwLevel, L"", 0, 0, 1, 0);
        EXPECT_EQ(dwLevel, cmd.byQuoLevel);
    }
    for (DWORD dwStatus : {0u, 4u, 0x101u}) {
        BuildNotifySysInfo(&cmd, 1, L"", 0, 0, dwStatus, 0);
        EXPECT_EQ(0u, cmd.byBatteryStatus) << dwStatus;
    }
    BuildNotifySysInfo(&cmd, 1, L"", 0, 0, 2, 0x1FF);
    EXPECT_EQ(2u, cmd.byBatteryStatus);
    EXPECT_EQ(0xFFu, cmd.byBatteryLifePercent);
    // Two large readings do not wrap around 32 bits.
    BuildNotifySysInfo(&cmd, 1, nullptr, 0xFFFFFFFFu, 1000, 2, 0);
    EXPECT_DOUBLE_EQ(4294968.295, WattAt263(cmd));
    EXPECT_EQ(L'\0', cmd.szPowerPlan[0]);
}

TEST(PipeCmd, LongPlanNameIsCutTo128CharactersAndTerminated)
{
    QVPipeCmdNotifySysInfo cmd;
    std::wstring longName(300, L'p');
    BuildNotifySysInfo(&cmd, 2, longName.c_str(), 1, 2, 1, 50);
    WCHAR szName[PIPECMD_POWPLAN_CHARS];
    memcpy(szName, reinterpret_cast<const BYTE*>(&cmd) + 5, sizeof(szName));
    EXPECT_EQ(std::wstring(128, L'p'), std::wstring(szName));
    EXPECT_DOUBLE_EQ(0.003, WattAt263(cmd)) << "the fields after the name are intact";
    EXPECT_EQ(50u, cmd.byBatteryLifePercent);
}

}  // namespace
