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

// The relations of a Windows dwMajor.dwMinor to XP, Vista, 7 and 2000.
void ExpectRelations(DWORD dwMajor, DWORD dwMinor)
{
    auto relation = [&](DWORD dwAskedMajor, DWORD dwAskedMinor) {
        DWORD dwRun = dwMajor * 100 + dwMinor;
        DWORD dwAsked = dwAskedMajor * 100 + dwAskedMinor;
        return (dwRun == dwAsked) ? WINVER_EQUAL : (dwRun < dwAsked) ? WINVER_OLDER : WINVER_NEWER;
    };
    CWinVer winver;
    EXPECT_EQ(relation(5, 1), winver.IsWinXP()) << dwMajor << "." << dwMinor;
    EXPECT_EQ(relation(6, 0), winver.IsWinVS()) << dwMajor << "." << dwMinor;
    EXPECT_EQ(relation(6, 1), winver.IsWin7()) << dwMajor << "." << dwMinor;
    EXPECT_EQ(relation(5, 0), winver.CompareVersion(5, 0)) << dwMajor << "." << dwMinor;
}

// QUO_EXPECT_WINVER is the version the prefix was set to ("6.1").
TEST(WinVerReal, RelationsMatchThePrefixVersion)
{
    const char* lpValue = std::getenv("QUO_EXPECT_WINVER");
    unsigned int uMajor = 0;
    unsigned int uMinor = 0;
    ASSERT_TRUE(lpValue != nullptr && sscanf(lpValue, "%u.%u", &uMajor, &uMinor) == 2)
        << "run with QUO_EXPECT_WINVER set to the prefix's version";
    CWinVer::ClearEmulatedVersion();
    ExpectRelations(uMajor, uMinor);
}

TEST(WinVerSeam, EmulatedVersions)
{
    const DWORD versions[][2] = {{5, 1}, {5, 2}, {6, 1}, {10, 0}};
    for (const auto& version : versions) {
        CWinVer::SetEmulatedVersion(version[0], version[1]);
        ExpectRelations(version[0], version[1]);
    }
    CWinVer::ClearEmulatedVersion();
}

QUO_TEST_CHILD(report_xp_relation)
{
    return static_cast<int>(CWinVer().IsWinXP());
}

// The variable emulates in a child process; a malformed value is ignored (the prefix's
// Windows is later than XP).
TEST(WinVerSeam, EnvironmentVariableEmulatesInAChildProcess)
{
    SetEnvironmentVariableW(L"QUO_EMULATE_WINVER", L"5.1");
    DWORD dwEmulated = RunChild(L"report_xp_relation");
    SetEnvironmentVariableW(L"QUO_EMULATE_WINVER", L"5.x");
    DWORD dwMalformed = RunChild(L"report_xp_relation");
    SetEnvironmentVariableW(L"QUO_EMULATE_WINVER", nullptr);
    DWORD dwReal = RunChild(L"report_xp_relation");
    EXPECT_EQ(WINVER_EQUAL, dwEmulated);
    EXPECT_EQ(WINVER_NEWER, dwMalformed);
    EXPECT_EQ(WINVER_NEWER, dwReal);
}

}  // namespace
