// The run-time bindings of Vista's functions and their Windows XP ways, which the
// emulated Windows XP reaches on the test machine.
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "VistaFunctions.h"
#include "WinVer.h"

namespace {

const DWORD kBlockedSpan = 300;  // how long a waiter is watched for not getting a lock
const DWORD kWait = 10000;

// Runs each case once the Vista way and once the Windows XP way.
class VistaFunctions : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        if (GetParam()) {
            CWinVer::SetEmulatedVersion(5, 2);
        }
    }
    void TearDown() override { CWinVer::ClearEmulatedVersion(); }
};

INSTANTIATE_TEST_SUITE_P(Ways, VistaFunctions, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "WindowsXP" : "Vista"; });

// Readings across two wraps, one of them from a thread that read just before the latest
// reading was stored: each counts from the same start.
TEST(TickCount, WrapsOfTheThirtyTwoBitCounterAreCounted)
{
    const struct { DWORD dwTick; ULONGLONG ullExtended; } readings[] = {
        {0xFFFFFF00u, 0xFFFFFF00ull},  {0xFFFFFFF0u, 0xFFFFFFF0ull},  {0x00000010u, 0x100000010ull},
        {0xFFFFFFF8u, 0xFFFFFFF8ull},  {0x00000020u, 0x100000020ull}, {0x80000000u, 0x180000000ull},
        {0xFFFFFFFFu, 0x1FFFFFFFFull}, {0x00000005u, 0x200000005ull},
    };
    volatile LONG64 llState = 0;
    for (const auto& reading : readings) {
        EXPECT_EQ(reading.ullExtended, vista::ExtendTickCount(reading.dwTick, &llState)) << std::hex << reading.dwTick;
    }
}

TEST_P(VistaFunctions, OrdinalComparisonIgnoresCaseOnly)
{
    const struct { const wchar_t* lpLeft; const wchar_t* lpRight; bool bEqual; } cases[] = {
        {L"C:\\ProgramData\\ZAV\\QUOLogRaw20120710.csv", L"c:\\programdata\\zav\\quolograw20120710.CSV", true},
        {L"\u00c4\u0416", L"\u00e4\u0436", true},  // Latin and Cyrillic letters
        {L"", L"", true},
        {L"abc", L"abcd", false},
        {L"abcd", L"abc", false},
        {L"\u00df", L"SS", false},  // no linguistic expansion
        {L"a\u0308", L"\u00e4", false},  // no normalisation
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.bEqual, vista::EqualOrdinalIgnoreCase(c.lpLeft, c.lpRight)) << testing::PrintToString(c.lpLeft);
    }
}

// Readers share the lock the Vista way and take turns the XP way; a writer waits for a
// reader either way and gets the lock once the reader lets go.
TEST_P(VistaFunctions, ReadWriteLockExcludesTheWriter)
{
    CReadWriteLock lock;
    EXPECT_EQ(!GetParam(), lock.SharesReaders());
    lock.AcquireShared();
    std::atomic<bool> bReaderIn{false}, bWriterIn{false};
    std::thread reader([&] {
        lock.AcquireShared();
        bReaderIn = true;
        lock.ReleaseShared();
    });
    EXPECT_EQ(lock.SharesReaders(), testsupport::WaitUntil([&] { return bReaderIn.load(); },
                                                           lock.SharesReaders() ? kWait : kBlockedSpan));
    std::thread writer([&] {
        lock.AcquireExclusive();
        bWriterIn = true;
        lock.ReleaseExclusive();
    });
    EXPECT_FALSE(testsupport::WaitUntil([&] { return bWriterIn.load(); }, kBlockedSpan));
    lock.ReleaseShared();
    reader.join();
    writer.join();
    EXPECT_TRUE(bReaderIn && bWriterIn);
}

// A path too long to look at counts as one through a link. (The final path and the
// folders' check each way are the log library's link tests, log_links and log_links_xp64.)
TEST(ReparsePoints, APathTooLongToCheckCountsAsALink)
{
    EXPECT_TRUE(vista::PathHasReparsePoint((L"C:\\" + std::wstring(MAX_PATH, L'x')).c_str()));
}

}  // namespace
