// CWinVer: the relations against the Windows the prefix reports. (The emulation seam
// through which tests reach the code paths of Windows XP is the viewer's version test,
// ViewerOSVersion, and the agent's Windows XP tests, which emulate it in a child.)
#include <algorithm>
#include <cstdlib>
#include <iterator>

#include <gtest/gtest.h>

#include "WinVer.h"

namespace {

const DWORD E = WINVER_EQUAL, N = WINVER_NEWER, O = WINVER_OLDER;

// QUO_EXPECT_WINVER is the version the prefix was set to ("6.1"). Its relations to XP,
// Vista, 7 and 2000, and whether it is of the XP family (64-bit XP is 5.2), are written
// out for each version a prefix runs.
TEST(WinVerReal, RelationsMatchThePrefixVersion)
{
    const char* lpValue = std::getenv("QUO_EXPECT_WINVER");
    unsigned int uMajor = 0, uMinor = 0;
    ASSERT_TRUE(lpValue != nullptr && sscanf(lpValue, "%u.%u", &uMajor, &uMinor) == 2)
        << "run with QUO_EXPECT_WINVER set to the prefix's version";
    SCOPED_TRACE(lpValue);
    const struct { DWORD dwMajor, dwMinor, dwXP, dwVista, dw7, dw2000; } table[] = {
        {5, 2, N, O, O, N}, {6, 0, N, E, O, N}, {6, 1, N, N, E, N}, {10, 0, N, N, N, N}};
    const auto* pRow = std::find_if(std::begin(table), std::end(table),
                                    [&](const auto& r) { return r.dwMajor == uMajor && r.dwMinor == uMinor; });
    ASSERT_NE(std::end(table), pRow) << "the version is not in the table";
    CWinVer::ClearEmulatedVersion();
    CWinVer winver;
    EXPECT_EQ(pRow->dwXP, winver.IsWinXP());
    EXPECT_EQ(pRow->dwVista, winver.IsWinVS());
    EXPECT_EQ(pRow->dw7, winver.IsWin7());
    EXPECT_EQ(pRow->dw2000, winver.CompareVersion(5, 0));
    EXPECT_EQ(uMajor == 5, winver.IsXPFamily());
}

}  // namespace
