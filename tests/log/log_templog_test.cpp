// CTempLog, the raw log: the line format byte for byte, delayed writing, the read
// position in the registry, and retention; and records kept while the raw file refuses
// them: a writer instance whose raw file is held open by another handle (no reading
// either) or given a second name, a hard link, which the writer refuses to write
// through (reading still works), for a while, compared with the same records written
// without a failure.
#include <gtest/gtest.h>

#include <algorithm>

#include "LogTestSupport.h"
#include "TempLog.h"

using namespace logtest;

namespace {

std::wstring Today()
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    wchar_t sz[16];
    CQuoLog::FormatDate(st, sz, ARRAYSIZE(sz));
    return sz;
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
    for (int i = 0; i < 59; ++i) {
        CQuoLog::OffsetMinute(&st, 1);
        ASSERT_EQ(0u, Write(QUOLOG_POWER_S0, st, st.wMinute));
    }
    EXPECT_FALSE(FileExists(place.RawPath(L"20120710")));
    // Each record written a minute after the one before, and the lines in the file after
    // it (0: not looked at); a write of no record at the end flushes the buffer.
    const std::pair<DWORD, size_t> steps[] = {{QUOLOG_POWER_S0, 60}, {QUOLOG_POWER_S0, 60}, {QUOLOG_POWER_TO_S3S4, 62},
                                              {QUOLOG_POWER_FROM_S3S4, 0}, {QUOLOG_POWER_END, 64}, {QUOLOG_POWER_START, 0}};
    for (const auto& step : steps) {
        CQuoLog::OffsetMinute(&st, 1);
        ASSERT_EQ(0u, Write(step.first, st, st.wMinute)) << step.first;
        if (step.second != 0) {
            EXPECT_EQ(step.second, ReadUtf16Lines(place.RawPath(L"20120710")).size()) << step.first;
        }
    }
    ASSERT_EQ(0u, temp->WriteLog(nullptr, nullptr, nullptr));
    EXPECT_EQ(65u, ReadUtf16Lines(place.RawPath(L"20120710")).size());
}

TEST_F(TempLogTest, ADelayShorterThanTheIntervalWritesEveryRecordAndTheBufferIsBounded)
{
    Open(1000, 1, 500);
    ASSERT_EQ(0u, Write(QUOLOG_POWER_S0, MakeTime(2012, 7, 10, 10, 0)));
    EXPECT_EQ(1u, ReadUtf16Lines(place.RawPath(L"20120710")).size());

    Open(1, 1, 0xFFFFFFFF);
    for (DWORD i = 1; i < CTempLog::kMaxBufferedLines; ++i) {
        ASSERT_EQ(0u, Write(QUOLOG_POWER_S0, MakeTime(2012, 7, 12, 10, 0, static_cast<WORD>(i / 1000),
                                                      static_cast<WORD>(i % 1000)), i));
    }
    EXPECT_FALSE(FileExists(place.RawPath(L"20120712")));
    ASSERT_EQ(0u, Write(QUOLOG_POWER_S0, MakeTime(2012, 7, 12, 10, 30)));
    EXPECT_EQ(CTempLog::kMaxBufferedLines, ReadUtf16Lines(place.RawPath(L"20120712")).size());
}

// A day that is no date, with a line of some other day: the position starts again at
// today's first line, not at line 17 (which would skip today's first lines), and is
// stored. (A position read from the registry and kept: log_dll.)
TEST_F(TempLogTest, AReadPositionWithoutAValidDayStartsAtTodaysFirstLine)
{
    place.Reg().SetString(L"", L"LastWriteDay", L"garbage");
    place.Reg().SetDword(L"", L"LastWriteLine", 17);
    Open(5000, 0, 0);
    EXPECT_EQ(Today(), temp->GetLastItemTime());
    EXPECT_EQ(Today(), RegString(place.RegPath(), L"LastWriteDay"));
    EXPECT_EQ(0u, temp->GetLastWriteLine());
    EXPECT_EQ(0u, RegDword(place.RegPath(), L"LastWriteLine"));
}

// Raw files of 07/10, 07/11 and 07/12.
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
        WriteUtf16File(place.RawPath(L"20120711"), RawLine(MakeTime(2012, 7, 11, 8, 0), 1));
    }
};

// With the default "RawLogLeaveNum", 2.
TEST_F(RetentionTest, RetentionKeepsTheNewestFilesAndNeverTheLastOne)
{
    WriteUtf16File(Join(place.LogDir(), L"QUOLogRaw-notes.csv"), L"x\r\n");
    temp->DeleteLogFile(place.LogDir().c_str(), nullptr);
    EXPECT_FALSE(FileExists(place.RawPath(L"20120710")));
    EXPECT_TRUE(FileExists(place.RawPath(L"20120711")));
    EXPECT_TRUE(FileExists(place.RawPath(L"20120712")));
    EXPECT_TRUE(FileExists(Join(place.LogDir(), L"QUOLogRaw-notes.csv")));

    place.Reg().SetDword(L"", L"RawLogLeaveNum", 0);
    Open(5000, 0, 0);
    temp->DeleteLogFile(place.LogDir().c_str(), nullptr);
    EXPECT_FALSE(FileExists(place.RawPath(L"20120711")));
    EXPECT_TRUE(FileExists(place.RawPath(L"20120712")));
}

// Whatever "RawLogLeaveNum" says, a raw file from the read position's day on keeps its
// lines for the totalization.
TEST_F(RetentionTest, RetentionNeverDeletesAFileWhoseLinesAreNotTotalized)
{
    place.Reg().SetDword(L"", L"RawLogLeaveNum", 1);
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

// A writer (interval 1 s) whose read positions start at 2012/07/10, line 0.
struct Writer : CLogInstance {
    explicit Writer(const wchar_t* name, DWORD bDelay = 0) : CLogInstance(name)
    {
        place.StartPositionsAt(L"2012/07/10");
        dwInit = Open(QUOLOG_MODE_WRITER, 1000, bDelay, 60000);
    }
    DWORD Write(const SYSTEMTIME& t)
    {
        QuoLogData r = MakeRecord(QUOLOG_POWER_S0, t.wSecond + t.wMinute * 60u);
        return quoLog->WriteAt(&r, t);
    }
    std::wstring Raw(const wchar_t* lpDay) { return place.RawPath(lpDay); }
    std::vector<std::wstring> Daily() { return ReadUtf16Lines(place.DailyPath(MakeTime(2012, 7, 10))); }

    DWORD dwInit;
};

// Every whole line of a raw file has the 23 columns of a record.
void ExpectWellFormed(const std::wstring& path)
{
    std::wstring text = ReadUtf16Text(path);
    EXPECT_EQ(1u, text.find_first_not_of(L'\uFEFF'));
    EXPECT_EQ(L"\r\n", text.substr(text.size() - 2));
    for (const std::wstring& line : ReadUtf16Lines(path)) {
        EXPECT_EQ(23u, CsvCells(line).size()) << Narrow(line);
    }
}

// Samples every second from 09:59:50 and from 10:29:50, 21 each; the raw file, given a
// second name (a hard link the writer refuses to write through), refuses them from
// 10:29:55 to 10:30:05 and the worker totalizes at 10:30:01.5 meanwhile. Every record
// ends up in the file once, in order, and the half-hour totals are those of the same
// records written without a failure: the slot of the kept records stays open until
// they are on disk, while the slots before it are totalized and read as usual. (A raw
// file held open by another program: the service's integration run.)
TEST(KeepRecords, ARecordThatCannotBeAppendedIsWrittenLaterInOrderAndOnce)
{
    const SYSTEMTIME day = MakeTime(2012, 7, 10);
    std::vector<SYSTEMTIME> times;
    for (WORD wFirst : {9 * 60 + 59, 10 * 60 + 29}) {  // 09:59:50 and 10:29:50, then every second
        for (WORD wSecond = 50; wSecond <= 70; ++wSecond) {
            const WORD wMinute = static_cast<WORD>(wFirst + wSecond / 60);
            times.push_back(MakeTime(2012, 7, 10, wMinute / 60, wMinute % 60, wSecond % 60));
        }
    }
    const size_t nFailFrom = 26;   // 10:29:55
    const size_t nFailUntil = 37;  // 10:30:06, the first record written again
    const size_t nMidRun = 32;     // before 10:30:02
    const SYSTEMTIME stMidRun = MakeTime(2012, 7, 10, 10, 30, 1, 500);

    Writer reference(L"keepref");
    Writer writer(L"keep");
    ASSERT_EQ(0u, reference.dwInit);
    ASSERT_EQ(0u, writer.dwInit);
    const std::wstring link = writer.Raw(L"20120710") + L".link";
    for (size_t i = 0; i < times.size(); ++i) {
        if (i == nFailFrom) {
            ASSERT_TRUE(CreateHardLinkW(link.c_str(), writer.Raw(L"20120710").c_str(), nullptr));
        }
        if (i == nFailUntil) {
            ASSERT_TRUE(DeleteFileW(link.c_str()));
        }
        if (i == nMidRun) {
            reference.quoLog->Totalize(stMidRun, nullptr, FALSE, FALSE);
            writer.quoLog->Totalize(stMidRun, nullptr, FALSE, FALSE);
            std::vector<QuoLogRead> rows(48);
            QuoLogRead total;
            EXPECT_EQ(0u, writer.quoLog->ReadAt(QUOLOG_READ_DAY, &day, rows.data(), 48, &total, MakeTime(2012, 7, 11)));
            EXPECT_EQ(1u, writer.Daily().size());  // 09:30; 10:00 waits for its kept records
            EXPECT_EQ(10u, rows[19].dwS0Time);
        }
        ASSERT_EQ(0u, reference.Write(times[i]));
        EXPECT_EQ(i >= nFailFrom && i < nFailUntil, writer.Write(times[i]) != 0) << i;
    }
    EXPECT_EQ(0u, writer.quoLog->GetTempLog()->GetBufferedLineCount());
    EXPECT_EQ(ReadUtf16Text(reference.Raw(L"20120710")), ReadUtf16Text(writer.Raw(L"20120710")));
    EXPECT_EQ(times.size(), ReadUtf16Lines(writer.Raw(L"20120710")).size());
    ASSERT_EQ(0u, reference.quoLog->Totalize(MakeTime(2012, 7, 10, 11, 0, 1), nullptr, FALSE, FALSE).dwOne);
    ASSERT_EQ(0u, writer.quoLog->Totalize(MakeTime(2012, 7, 10, 11, 0, 1), nullptr, FALSE, FALSE).dwOne);
    EXPECT_EQ(3u, reference.Daily().size());
    EXPECT_EQ(reference.Daily(), writer.Daily());
}

// A buffer of four lines; the file of 07/10 refuses its lines from 23:59:58 on and
// never takes them again, while records of 07/11 arrive. The full buffer drops its
// oldest lines, those of 07/10, first, and then the lines of 07/11 go out: none of
// them is dropped, and both files stay whole lines.
TEST(KeepRecords, AFailureLongerThanTheBufferDropsOnlyTheOldestRecords)
{
    Writer writer(L"keepbound");
    ASSERT_EQ(0u, writer.dwInit);
    CTempLog* temp = writer.quoLog->GetTempLog();
    temp->SetMaxBufferedLines(4);
    ASSERT_EQ(0u, writer.Write(MakeTime(2012, 7, 10, 23, 59, 57)));
    CScopedFileHandle refusing = HoldWithoutSharing(writer.Raw(L"20120710"), OPEN_ALWAYS);
    ASSERT_TRUE(refusing.IsValid());
    EXPECT_EQ(32u, writer.Write(MakeTime(2012, 7, 10, 23, 59, 58)));
    EXPECT_EQ(32u, writer.Write(MakeTime(2012, 7, 10, 23, 59, 59)));
    for (WORD s = 0; s <= 4; ++s) {  // the 4th record of 07/11 pushes the last of 07/10 out
        EXPECT_EQ(s < 3 ? 32u : 0u, writer.Write(MakeTime(2012, 7, 11, 0, 0, s))) << s;
    }
    EXPECT_EQ(0u, temp->GetBufferedLineCount());
    refusing.Reset();
    ASSERT_EQ(0u, writer.Write(MakeTime(2012, 7, 11, 0, 0, 5)));
    EXPECT_EQ(std::vector<std::wstring>({L"2012/07/10,23:59:57.000"}), Stamps(writer.Raw(L"20120710")));
    EXPECT_EQ(std::vector<std::wstring>({L"2012/07/11,00:00:00.000", L"2012/07/11,00:00:01.000",
                                         L"2012/07/11,00:00:02.000", L"2012/07/11,00:00:03.000",
                                         L"2012/07/11,00:00:04.000", L"2012/07/11,00:00:05.000"}),
              Stamps(writer.Raw(L"20120711")));
    ExpectWellFormed(writer.Raw(L"20120710"));
    ExpectWellFormed(writer.Raw(L"20120711"));
}

// Delayed writing: a record of a new day first flushes the lines of the day before;
// when that fails the new day's records are still kept, behind them, and both days
// go out once the old file takes lines again.
TEST(KeepRecords, ANewDayIsKeptWhileTheDayBeforeCannotBeFlushed)
{
    Writer writer(L"keepday", 1 /* delayed */);
    ASSERT_EQ(0u, writer.dwInit);
    ASSERT_EQ(0u, writer.Write(MakeTime(2012, 7, 10, 23, 59, 58)));
    ASSERT_EQ(0u, writer.Write(MakeTime(2012, 7, 10, 23, 59, 59)));
    CScopedFileHandle refusing = HoldWithoutSharing(writer.Raw(L"20120710"), OPEN_ALWAYS);
    ASSERT_TRUE(refusing.IsValid());
    EXPECT_EQ(32u, writer.Write(MakeTime(2012, 7, 11, 0, 0, 0)));
    EXPECT_EQ(32u, writer.Write(MakeTime(2012, 7, 11, 0, 0, 1)));
    EXPECT_EQ(4u, writer.quoLog->GetTempLog()->GetBufferedLineCount());
    refusing.Reset();
    ASSERT_EQ(0u, writer.Write(MakeTime(2012, 7, 11, 0, 0, 2)));
    EXPECT_EQ(2u, ReadUtf16Lines(writer.Raw(L"20120710")).size());
    EXPECT_EQ(1u, writer.quoLog->GetTempLog()->GetBufferedLineCount());  // 00:00:02, buffered as usual
    writer.quoLog->Finalize();
    EXPECT_EQ(std::vector<std::wstring>({L"2012/07/11,00:00:00.000", L"2012/07/11,00:00:01.000",
                                         L"2012/07/11,00:00:02.000"}),
              Stamps(writer.Raw(L"20120711")));
}

}  // namespace
