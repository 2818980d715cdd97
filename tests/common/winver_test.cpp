// CWinVer: the relations against the Windows the prefix reports, and the emulation seam
// through which tests reach the code paths of Windows XP.
#include <windows.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "WinVer.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

// Set by the test's arguments: the version the prefix was set to ("6.1").
DWORD ExpectedVersion(DWORD* pdwMinor)
{
    const char* lpValue = std::getenv("QUO_EXPECT_WINVER");
    unsigned int uMajor = 0;
    unsigned int uMinor = 0;
    if (lpValue == nullptr || sscanf(lpValue, "%u.%u", &uMajor, &uMinor) != 2) {
        return 0;
    }
    *pdwMinor = uMinor;
    return uMajor;
}

DWORD Relation(DWORD dwRunMajor, DWORD dwRunMinor, DWORD dwMajor, DWORD dwMinor)
{
    DWORD dwRun = dwRunMajor * 100 + dwRunMinor;
    DWORD dwAsked = dwMajor * 100 + dwMinor;
    return (dwRun == dwAsked) ? WINVER_EQUAL : (dwRun < dwAsked) ? WINVER_OLDER : WINVER_NEWER;
}

TEST(WinVerReal, RelationsMatchThePrefixVersion)
{
    DWORD dwMinor = 0;
    DWORD dwMajor = ExpectedVersion(&dwMinor);
    ASSERT_NE(0u, dwMajor) << "run with QUO_EXPECT_WINVER set to the prefix's version";
    CWinVer::ClearEmulatedVersion();
    CWinVer winver;
    EXPECT_EQ(Relation(dwMajor, dwMinor, 5, 1), winver.IsWinXP());
    EXPECT_EQ(Relation(dwMajor, dwMinor, 6, 0), winver.IsWinVS());
    EXPECT_EQ(Relation(dwMajor, dwMinor, 6, 1), winver.IsWin7());
}

TEST(WinVerSeam, EmulatedWindowsXP)
{
    CWinVer::SetEmulatedVersion(5, 1);
    CWinVer winver;
    EXPECT_EQ(WINVER_EQUAL, winver.IsWinXP());
    EXPECT_EQ(WINVER_OLDER, winver.IsWinVS());
    EXPECT_EQ(WINVER_OLDER, winver.IsWin7());
    EXPECT_EQ(WINVER_NEWER, winver.CompareVersion(5, 0));
    CWinVer::ClearEmulatedVersion();
}

TEST(WinVerSeam, EmulatedVersionsAroundXP)
{
    CWinVer winver;
    CWinVer::SetEmulatedVersion(5, 2);  // a 64-bit Windows XP
    EXPECT_EQ(WINVER_NEWER, winver.IsWinXP());
    EXPECT_EQ(WINVER_OLDER, winver.IsWinVS());
    CWinVer::SetEmulatedVersion(6, 1);
    EXPECT_EQ(WINVER_NEWER, winver.IsWinXP());
    EXPECT_EQ(WINVER_NEWER, winver.IsWinVS());
    EXPECT_EQ(WINVER_EQUAL, winver.IsWin7());
    CWinVer::ClearEmulatedVersion();
}

QUO_TEST_CHILD(report_xp_relation)
{
    return static_cast<int>(CWinVer().IsWinXP());
}

TEST(WinVerSeam, EnvironmentVariableEmulatesInAChildProcess)
{
    SetEnvironmentVariableW(L"QUO_EMULATE_WINVER", L"5.1");
    DWORD dwEmulated = RunChild(L"report_xp_relation");
    SetEnvironmentVariableW(L"QUO_EMULATE_WINVER", L"5.x");
    DWORD dwMalformed = RunChild(L"report_xp_relation");
    SetEnvironmentVariableW(L"QUO_EMULATE_WINVER", nullptr);
    DWORD dwReal = RunChild(L"report_xp_relation");
    EXPECT_EQ(WINVER_EQUAL, dwEmulated);
    // A malformed value is ignored: the prefix's Windows is later than XP.
    EXPECT_EQ(WINVER_NEWER, dwMalformed);
    EXPECT_EQ(WINVER_NEWER, dwReal);
}

}  // namespace
