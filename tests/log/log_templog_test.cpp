// CTempLog, the raw log: the line format byte for byte, delayed writing, the read
// position in the registry, and retention. Day changes and records kept while the raw
// file refuses them are checked through CQuoLog (log_keep).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "LogTestSupport.h"
#include "QuoLogCore.h"
#include "TempLog.h"

using namespace logtest;
using testsupport::FileExists;

namespace {

std::wstring Today()
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    wchar_t sz[16];
    CQuoLog::FormatDate(st, sz, ARRAYSIZE(sz));
    return sz;
}

size_t CountLines(const std::wstring& path)
{
    return testsupport::ReadUtf16Lines(path).size();
}

class TempLogTest : public ::testing::Test, protected CLogInstance {
protected:
    TempLogTest() : CLogInstance(L"temp") {}
    // A writer instance without its worker: the tests drive the raw log themselves.
    void Open(DWORD dwInterval, DWORD bDelay, DWORD dwDelayTime)
    {
        ASSERT_EQ(0u, CLogInstance::Open(QUOLOG_MODE_WRITER, dwInterval, bDelay, dwDelayTime));
        temp = quoLog->GetTempLog();
    }

    DWORD Write(DWORD status, const SYSTEMTIME& st, DWORD seed = 1)
    {
        QuoLogData r = MakeRecord(status, seed);
        return temp->WriteLog(&r, &st, nullptr);
    }

    CTempLog* temp = nullptr;
};

// Text fields filled to their last character, without a terminator, are written whole
// and no further (a plan cut at 128 characters, a user name at 256); a line that does
// not fit the caller's buffer gives 122. (How commas, quotes and line breaks in a text
// are written: log_dll.)
TEST_F(TempLogTest, FieldsWithoutATerminatorAreWrittenWholeAndNoFurther)
{
    Open(5000, 0, 0);
    QuoLogData r = MakeRecord(QUOLOG_POWER_FROM_S3S4, 7);
    std::fill(std::begin(r.szPowerPlan), std::end(r.szPowerPlan), L'P');
    std::fill(std::begin(r.szMonitorName1), std::end(r.szMonitorName1), L'M');
    std::fill(std::begin(r.szUserName), std::end(r.szUserName), L'U');
    wchar_t szLine[CTempLog::kLineChars];
    SYSTEMTIME st = MakeTime(2012, 7, 10, 9, 5, 3, 7);
    ASSERT_EQ(0u, temp->FormatQuoLog(&r, &st, szLine, ARRAYSIZE(szLine)));
    EXPECT_EQ(L"2012/07/10,09:05:03.007,0,2,10007,2007,1,80,40007,307,\"" + std::wstring(128, L'P')
                  + L"\",5,2,7,1,\"" + std::wstring(33, L'M') + L"\",2,4,\"\",0,0,3,\""
                  + std::wstring(256, L'U') + L"\"\r\n",
              szLine);
    EXPECT_EQ(122u, temp->FormatQuoLog(&r, &st, szLine, 100));
}

// Interval 1000 and delay 60000: 59 lines stay buffered, the 60th flushes them all;
// TO_S3S4 and END always flush.
TEST_F(TempLogTest, DelayedWritesFlushWhenTheBufferHoldsDelayTimeByIntervalLines)
{
    Open(1000, 1, 60000);
    SYSTEMTIME st = MakeTime(2012, 7, 10, 9, 59);
    auto next = [&](DWORD status) {
        CQuoLog::OffsetMinute(&st, 1);
        return Write(status, st, st.wMinute);
    };
    for (int i = 0; i < 59; ++i) {
        ASSERT_EQ(0u, next(QUOLOG_POWER_S0));
    }
    EXPECT_FALSE(FileExists(place.RawPath(L"20120710")));
    ASSERT_EQ(0u, next(QUOLOG_POWER_S0));
    EXPECT_EQ(60u, CountLines(place.RawPath(L"20120710")));
    ASSERT_EQ(0u, next(QUOLOG_POWER_S0));
    EXPECT_EQ(60u, CountLines(place.RawPath(L"20120710")));
    ASSERT_EQ(0u, next(QUOLOG_POWER_TO_S3S4));
    EXPECT_EQ(62u, CountLines(place.RawPath(L"20120710")));
    ASSERT_EQ(0u, next(QUOLOG_POWER_FROM_S3S4));
    ASSERT_EQ(0u, next(QUOLOG_POWER_END));
    EXPECT_EQ(64u, CountLines(place.RawPath(L"20120710")));
    ASSERT_EQ(0u, next(QUOLOG_POWER_START));
    ASSERT_EQ(0u, temp->WriteLog(nullptr, nullptr, nullptr));
    EXPECT_EQ(65u, CountLines(place.RawPath(L"20120710")));
}

TEST_F(TempLogTest, ADelayShorterThanTheIntervalWritesEveryRecordAndTheBufferIsBounded)
{
    Open(1000, 1, 500);
    ASSERT_EQ(0u, Write(QUOLOG_POWER_S0, MakeTime(2012, 7, 10, 10, 0)));
    EXPECT_EQ(1u, CountLines(place.RawPath(L"20120710")));

    Open(1, 1, 0xFFFFFFFF);
    for (DWORD i = 1; i < CTempLog::kMaxBufferedLines; ++i) {
        ASSERT_EQ(0u, Write(QUOLOG_POWER_S0, MakeTime(2012, 7, 12, 10, 0, static_cast<WORD>(i / 1000),
                                                      static_cast<WORD>(i % 1000)), i));
    }
    EXPECT_FALSE(FileExists(place.RawPath(L"20120712")));
    ASSERT_EQ(0u, Write(QUOLOG_POWER_S0, MakeTime(2012, 7, 12, 10, 30)));
    EXPECT_EQ(CTempLog::kMaxBufferedLines, CountLines(place.RawPath(L"20120712")));
}

// The read position comes from the registry; a writer without one starts at today,
// line 0, and stores that; a day that is no date starts again today.
TEST_F(TempLogTest, TheReadPositionComesFromTheRegistryOrStartsToday)
{
    Open(5000, 0, 0);
    EXPECT_EQ(Today(), temp->GetLastItemTime());
    EXPECT_EQ(Today(), RegString(place.RegPath(), L"LastWriteDay"));
    EXPECT_EQ(0u, RegDword(place.RegPath(), L"LastWriteLine"));
    quoLog->Finalize();
    place.Reg().SetString(L"", L"LastWriteDay", L"2012/07/10");
    place.Reg().SetDword(L"", L"LastWriteLine", 17);
    Open(5000, 0, 0);
    EXPECT_STREQ(L"2012/07/10", temp->GetLastItemTime());
    EXPECT_EQ(17u, temp->GetLastWriteLine());
    quoLog->Finalize();
    // A broken day with a line of some other day: today from its first line, not from
    // line 17 (which would skip today's first lines).
    place.Reg().SetString(L"", L"LastWriteDay", L"garbage");
    Open(5000, 0, 0);
    EXPECT_EQ(Today(), temp->GetLastItemTime());
    EXPECT_EQ(Today(), RegString(place.RegPath(), L"LastWriteDay"));
    EXPECT_EQ(0u, temp->GetLastWriteLine());
    EXPECT_EQ(0u, RegDword(place.RegPath(), L"LastWriteLine"));
}

// Raw files of 07/10 and 07/12, none of 07/11.
class RetentionTest : public TempLogTest {
protected:
    void SetUp() override
    {
        Open(5000, 0, 0);
        MakeFolders(place.LogDir());
        WriteUtf16File(place.RawPath(L"20120710"), RawLine(MakeTime(2012, 7, 10, 22, 0), 5) + RawLine(MakeTime(2012, 7, 10, 22, 1), 1)
                                                  + RawLine(MakeTime(2012, 7, 10, 22, 2), 1) + RawLine(MakeTime(2012, 7, 10, 22, 3), 3));
        WriteUtf16File(place.RawPath(L"20120712"), RawLine(MakeTime(2012, 7, 12, 8, 0), 2) + RawLine(MakeTime(2012, 7, 12, 8, 1), 1)
                                                  + RawLine(MakeTime(2012, 7, 12, 8, 2, 0, 1), 1));
    }
};

// With the default "RawLogLeaveNum", 2.
TEST_F(RetentionTest, RetentionKeepsTheNewestFilesAndNeverTheLastOne)
{
    WriteUtf16File(place.RawPath(L"20120711"), RawLine(MakeTime(2012, 7, 11, 8, 0), 1));
    WriteUtf16File(Join(place.LogDir(), L"QUOLogRaw-notes.csv"), L"x\r\n");
    temp->DeleteLogFile(place.LogDir().c_str(), nullptr);
    EXPECT_FALSE(FileExists(place.RawPath(L"20120710")));
    EXPECT_TRUE(FileExists(place.RawPath(L"20120711")));
    EXPECT_TRUE(FileExists(place.RawPath(L"20120712")));
    EXPECT_TRUE(FileExists(Join(place.LogDir(), L"QUOLogRaw-notes.csv")));

    place.Reg().SetDword(L"", L"RawLogLeaveNum", 0);
    quoLog->Finalize();
    Open(5000, 0, 0);
    temp->DeleteLogFile(place.LogDir().c_str(), nullptr);
    EXPECT_FALSE(FileExists(place.RawPath(L"20120711")));
    EXPECT_TRUE(FileExists(place.RawPath(L"20120712")));
}

// Whatever "RawLogLeaveNum" says, a raw file from the read position's day on keeps its
// lines for the totalization.
TEST_F(RetentionTest, RetentionNeverDeletesAFileWhoseLinesAreNotTotalized)
{
    WriteUtf16File(place.RawPath(L"20120711"), RawLine(MakeTime(2012, 7, 11, 8, 0), 1));
    place.Reg().SetDword(L"", L"RawLogLeaveNum", 1);
    quoLog->Finalize();
    Open(5000, 0, 0);
    temp->SetLastItemTime(MakeTime(2012, 7, 10));
    temp->DeleteLogFile(place.LogDir().c_str(), nullptr);
    EXPECT_TRUE(FileExists(place.RawPath(L"20120710")));
    EXPECT_TRUE(FileExists(place.RawPath(L"20120711")));
    temp->SetLastItemTime(MakeTime(2012, 7, 11));
    temp->DeleteLogFile(place.LogDir().c_str(), nullptr);
    EXPECT_FALSE(FileExists(place.RawPath(L"20120710")));
    EXPECT_TRUE(FileExists(place.RawPath(L"20120711")));
    EXPECT_TRUE(FileExists(place.RawPath(L"20120712")));
}

}  // namespace
