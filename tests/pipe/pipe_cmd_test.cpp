// The live sample built from a record's values.
#include <windows.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "PipeCmd.h"

namespace {

TEST(PipeCmd, NotifySysInfoKeepsValuesInRangeAndComputesTheWatts)
{
    const std::wstring longName(300, L'p');
    const struct {
        DWORD dwLevel;
        const wchar_t* lpPlan;
        DWORD dwPC, dwMon, dwStatus, dwPercent;
        BYTE byLevel;
        std::wstring plan;
        double dWatt;
        BYTE byStatus, byPercent;
    } cases[] = {
        {3, L"\u30d0\u30e9\u30f3\u30b9", 12345, 2000, 3, 87, 3, L"\u30d0\u30e9\u30f3\u30b9", 14.345, 3, 87},
        {1, L"", 0, 0, 1, 0, 1, L"", 0.0, 1, 0},
        {5, L"x", 0, 0, 1, 0, 5, L"x", 0.0, 1, 0},
        {0, L"x", 0, 0, 0, 0, 0, L"x", 0.0, 0, 0},
        {6, L"x", 0, 0, 4, 0, 0, L"x", 0.0, 0, 0},
        {0xFFFFFFFF, L"x", 0, 0, 0x101, 0, 0, L"x", 0.0, 0, 0},
        // The percent keeps its low byte.
        {1, L"x", 0, 0, 2, 0x1FF, 1, L"x", 0.0, 2, 0xFF},
        // Two large readings do not wrap around 32 bits; no plan is an empty one.
        {1, nullptr, 0xFFFFFFFF, 1000, 2, 0, 1, L"", 4294968.295, 2, 0},
        // A long plan name is cut to 128 characters, the fields after it intact.
        {2, longName.c_str(), 1, 2, 1, 50, 2, std::wstring(128, L'p'), 0.003, 1, 50},
    };
    for (const auto& c : cases) {
        QVPipeCmdNotifySysInfo cmd;
        memset(&cmd, 0xCC, sizeof(cmd));
        BuildNotifySysInfo(&cmd, c.dwLevel, c.lpPlan, c.dwPC, c.dwMon, c.dwStatus, c.dwPercent);
        SCOPED_TRACE(testing::Message() << "level " << c.dwLevel << ", status " << c.dwStatus << ", watts " << c.dWatt);
        DWORD dwCmd = cmd.dwCmd;
        EXPECT_EQ(static_cast<DWORD>(PIPECMD_NOTIFY_SYSINFO), dwCmd);
        EXPECT_EQ(c.byLevel, cmd.byQuoLevel);
        WCHAR szPlan[PIPECMD_POWPLAN_CHARS];
        memcpy(szPlan, cmd.szPowerPlan, sizeof(szPlan));
        EXPECT_EQ(c.plan, std::wstring(szPlan));
        for (size_t i = c.plan.size(); i < PIPECMD_POWPLAN_CHARS; ++i) {
            EXPECT_EQ(L'\0', szPlan[i]) << "the rest of the name field is cleared, at " << i;
        }
        double dWatt = cmd.dWatt;
        EXPECT_DOUBLE_EQ(c.dWatt, dWatt);
        EXPECT_EQ(c.byStatus, cmd.byBatteryStatus);
        EXPECT_EQ(c.byPercent, cmd.byBatteryLifePercent);
    }
}

}  // namespace
