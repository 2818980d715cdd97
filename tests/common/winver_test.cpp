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

// The relations of a Windows dwMajor.dwMinor to XP, Vista, 7 and 2000, and whether it
// is of the XP family (32-bit XP 5.1, 64-bit XP 5.2).
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
    EXPECT_EQ(dwMajor == 5, winver.IsXPFamily()) << dwMajor << "." << dwMinor;
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
        EXPECT_EQ(version[0] == 5, CWinVer::IsEmulatingXPFamily()) << version[0] << "." << version[1];
    }
    CWinVer::ClearEmulatedVersion();
}

QUO_TEST_CHILD(report_xp_family)
{
    return CWinVer().IsXPFamily() ? 1 : 0;
}

// The variable emulates in a child process, 64-bit XP as well as 32-bit XP; a malformed
// value is ignored (the prefix's Windows is later than XP).
TEST(WinVerSeam, EnvironmentVariableEmulatesInAChildProcess)
{
    const struct {
        const wchar_t* lpValue;
        DWORD dwXPFamily;
    } cases[] = {{L"5.1", 1}, {L"5.2", 1}, {L"5.x", 0}, {nullptr, 0}};
    for (const auto& c : cases) {
        SetEnvironmentVariableW(L"QUO_EMULATE_WINVER", c.lpValue);
        EXPECT_EQ(c.dwXPFamily, RunChild(L"report_xp_family")) << testing::PrintToString(c.lpValue);
    }
    SetEnvironmentVariableW(L"QUO_EMULATE_WINVER", nullptr);
}

}  // namespace
