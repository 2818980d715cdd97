// CWinVer: the relations against the Windows the prefix reports, and the emulation seam
// through which tests reach the code paths of Windows XP.
#include <algorithm>
#include <cstdlib>
#include <iterator>

#include <gtest/gtest.h>

#include "WinVer.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

const DWORD E = WINVER_EQUAL, N = WINVER_NEWER, O = WINVER_OLDER;

// The relations of a Windows major.minor to XP, Vista, 7 and 2000, and whether it is of
// the XP family (32-bit XP 5.1, 64-bit XP 5.2), written out for each version tested.
void ExpectRelations(DWORD dwMajor, DWORD dwMinor)
{
    const struct {
        DWORD dwMajor, dwMinor;
        DWORD dwXP, dwVista, dw7, dw2000;
    } table[] = {{5, 1, E, O, O, N}, {5, 2, N, O, O, N}, {6, 0, N, E, O, N},
                 {6, 1, N, N, E, N}, {10, 0, N, N, N, N}};
    const auto* pRow = std::find_if(std::begin(table), std::end(table),
                                    [&](const auto& r) { return r.dwMajor == dwMajor && r.dwMinor == dwMinor; });
    ASSERT_NE(std::end(table), pRow) << dwMajor << "." << dwMinor << " is not in the table";
    CWinVer winver;
    EXPECT_EQ(pRow->dwXP, winver.IsWinXP()) << dwMajor << "." << dwMinor;
    EXPECT_EQ(pRow->dwVista, winver.IsWinVS()) << dwMajor << "." << dwMinor;
    EXPECT_EQ(pRow->dw7, winver.IsWin7()) << dwMajor << "." << dwMinor;
    EXPECT_EQ(pRow->dw2000, winver.CompareVersion(5, 0)) << dwMajor << "." << dwMinor;
    EXPECT_EQ(dwMajor == 5, winver.IsXPFamily()) << dwMajor << "." << dwMinor;
}

// QUO_EXPECT_WINVER is the version the prefix was set to ("6.1").
TEST(WinVerReal, RelationsMatchThePrefixVersion)
{
    const char* lpValue = std::getenv("QUO_EXPECT_WINVER");
    unsigned int uMajor = 0, uMinor = 0;
    ASSERT_TRUE(lpValue != nullptr && sscanf(lpValue, "%u.%u", &uMajor, &uMinor) == 2)
        << "run with QUO_EXPECT_WINVER set to the prefix's version";
    CWinVer::ClearEmulatedVersion();
    ExpectRelations(uMajor, uMinor);
}

TEST(WinVerSeam, EmulatedVersions)
{
    for (const auto& version : {std::make_pair(5, 1), std::make_pair(5, 2), std::make_pair(6, 1), std::make_pair(10, 0)}) {
        CWinVer::SetEmulatedVersion(version.first, version.second);
        ExpectRelations(version.first, version.second);
        EXPECT_EQ(version.first == 5, CWinVer::IsEmulatingXPFamily()) << version.first << "." << version.second;
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
