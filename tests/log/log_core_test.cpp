// CQuoLog in-process, in places of its own: the "LogDir" setting, reader and writer
// modes with the shared writer flag, the last record's time, the worker's requests and
// timed path, recovery with its backup and rollback, and the peak-shift settings copy.
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "FolderTree.h"
#include "LogTestSupport.h"
#include "NamedMutex.h"

using namespace logtest;

namespace {

bool KeyExists(const std::wstring& key)
{
    HKEY hKey = nullptr;
    const bool bExists = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &hKey) == ERROR_SUCCESS;
    CScopedRegKey owner(hKey);
    return bExists;
}

// Whether a log file, read under the file lock as the library reads it, comes to hold
// n lines within 10 s.
bool ComesToHoldLines(const std::wstring& lockName, const std::wstring& path, size_t n)
{
    return WaitUntil(
        [&] {
            CNamedMutex lock;
            bool bHolds = false;
            if (lock.Initialize(lockName.c_str(), 3000) == ERROR_SUCCESS && lock.Lock(nullptr) == ERROR_SUCCESS) {
                bHolds = ReadUtf16Lines(path).size() == n;
                lock.Unlock();
            }
            return bHolds;
        },
        10000);
}

class CoreTest : public ::testing::Test, protected CLogInstance {
protected:
    CoreTest() : CLogInstance(L"core") {}
    DWORD Open(DWORD dwMode, BOOL bRunWorker = FALSE, DWORD bDelay = 0)
    {
        return CLogInstance::Open(dwMode, 1000, bDelay, 60000, bRunWorker);
    }
    DWORD WriteAt(DWORD status, const SYSTEMTIME& st)
    {
        QuoLogData r = MakeRecord(status);
        return quoLog->WriteAt(&r, st);
    }
};

// A component longer than 31 characters, an empty one, "." and "..", characters a
// folder name cannot hold, a trailing dot, device names: all keep both defaults.
TEST_F(CoreTest, LogDirSplitsIntoTwoFolderNamesOrKeepsTheDefaults)
{
    CQuoLog q(place.Env());
    EXPECT_TRUE(q.DivideString(L"Alpha\\Beta\\Gamma", L'\\'));
    EXPECT_STREQ(L"Alpha", q.GetDirName1());
    EXPECT_STREQ(L"Beta", q.GetDirName2());
    std::wstring longest(31, L'n');
    EXPECT_TRUE(q.DivideString((longest + L"\\" + longest).c_str(), L'\\'));
    EXPECT_EQ(longest, q.GetDirName2());
    const std::wstring tooLong(32, L'x');
    const std::wstring refused[] = {L"Alpha\\..", L"..\\Beta",  L"NoSeparator", L"Alpha\\",        L"\\Beta",
                                    L"C:\\Beta",  L"Al|pha\\B", L"Alpha\\.",   L"Alpha\\B.",      L"NUL\\Beta",
                                    L"Alpha\\com1.txt", L"Alpha\\" + tooLong, tooLong + L"\\Beta"};
    for (const std::wstring& value : refused) {
        EXPECT_FALSE(q.DivideString(value.c_str(), L'\\')) << Narrow(value);
        EXPECT_STREQ(L"ZAV", q.GetDirName1());
        EXPECT_STREQ(L"QUOViewer", q.GetDirName2());
    }
}

// A reader creates nothing (what it may not do: log_dll's table); the writer creates
// the folders "LogDir" names; one writer at a time, and only the owner clears the flag.
TEST_F(CoreTest, ReaderAndWriterModesAndTheSharedWriterFlag)
{
    ASSERT_EQ(0u, Open(QUOLOG_MODE_READER));
    EXPECT_EQ(place.LogDir(), quoLog->GetLogDir());
    EXPECT_FALSE(FileExists(Join(place.Base(), L"ZAV")));
    EXPECT_EQ(0, place.lWriter);

    place.Reg().SetString(L"", L"LogDir", L"Maker\\Logs\\Ignored");
    ASSERT_EQ(0u, Open(QUOLOG_MODE_WRITER));
    EXPECT_EQ(Join(place.Base(), L"Maker\\Logs"), quoLog->GetLogDir());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(quoLog->GetLogDir()));
    EXPECT_EQ(1, place.lWriter);
    EXPECT_EQ(5u, CQuoLog(place.Env()).mQUOLogInitialize(QUOLOG_MODE_WRITER, 1000, 0, 0));
    EXPECT_EQ(1, place.lWriter);
    quoLog->Finalize();
    EXPECT_EQ(0, place.lWriter);
    // Finalised again, the former writer must not take the flag from the writer now.
    CQuoLog next(place.Env());
    ASSERT_EQ(0u, next.mQUOLogInitialize(QUOLOG_MODE_WRITER, 1000, 0, 0));
    quoLog->Finalize();
    EXPECT_EQ(1, place.lWriter);
    next.Finalize();

    place.Reg().SetDword(L"", L"LogDir", 5);  // the wrong type keeps the defaults
    ASSERT_EQ(0u, Open(QUOLOG_MODE_WRITER));
    EXPECT_EQ(place.LogDir(), quoLog->GetLogDir());
    quoLog.reset();
    // A writer whose folder cannot be made gives the flag back.
    place.Reg().SetString(L"", L"LogDir", L"Other\\Logs");
    WriteUtf16File(Join(place.Base(), L"Other"), L"a file, not a folder");
    EXPECT_EQ(foldertree::kErrorLinkRefused, Open(QUOLOG_MODE_WRITER));
    EXPECT_EQ(0, place.lWriter);
}

TEST_F(CoreTest, OnlyRecordsLaterThanTheNewestOneAreWritten)
{
    MakeFolders(place.LogDir());
    WriteUtf16File(place.RawPath(L"20120709"), RawLine(MakeTime(2012, 7, 9, 22, 0), 1) + RawLine(MakeTime(2012, 7, 9, 23, 0), 6));
    WriteUtf16File(place.RawPath(L"20120710"), L"");  // a newer file that a crash left empty
    ASSERT_EQ(0u, Open(QUOLOG_MODE_WRITER));
    EXPECT_STREQ(L"2012/07/09,23:00:00.000", quoLog->GetLastItemTime());
    EXPECT_EQ(0u, WriteAt(QUOLOG_POWER_START, MakeTime(2012, 7, 9, 23, 0)));
    EXPECT_EQ(0u, WriteAt(QUOLOG_POWER_START, MakeTime(2012, 7, 9, 12, 0)));
    EXPECT_EQ(2u, ReadUtf16Lines(place.RawPath(L"20120709")).size());
    EXPECT_EQ(0u, WriteAt(QUOLOG_POWER_START, MakeTime(2012, 7, 9, 23, 0, 0, 1)));
    EXPECT_EQ(0u, WriteAt(QUOLOG_POWER_S0, MakeTime(2012, 7, 9, 23, 0, 0, 1)));
    std::vector<std::wstring> lines = ReadUtf16Lines(place.RawPath(L"20120709"));
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(L"2012/07/09,23:00:00.001,0,5,", lines[2].substr(0, 28));
    EXPECT_STREQ(L"2012/07/09,23:00:00.001", quoLog->GetLastItemTime());
    EXPECT_EQ(87u, quoLog->WriteAt(nullptr, MakeTime(2012, 7, 10)));

    foldertree::DeleteTree(place.LogDir().c_str());
    ASSERT_EQ(0u, Open(QUOLOG_MODE_WRITER));
    EXPECT_STREQ(L"", quoLog->GetLastItemTime());
}

// The file lock held a moment longer than its time-out while the writer starts: the
// newest raw file is read again rather than passed over for the day before, whose
// older time would let records in that are not later than the newest one.
TEST_F(CoreTest, TheNewestRawFileIsReadAgainWhenItsLockTimesOutAtStart)
{
    MakeFolders(place.LogDir());
    WriteUtf16File(place.RawPath(L"20120709"), RawLine(MakeTime(2012, 7, 9, 10, 0), 1));
    WriteUtf16File(place.RawPath(L"20120710"), RawLine(MakeTime(2012, 7, 10, 12, 0), 1));
    CNamedMutex lock;
    ASSERT_EQ(0u, lock.Initialize(place.LockName().c_str(), 0));
    ASSERT_EQ(0u, lock.Lock(nullptr));
    DWORD dwOpen = 0xFFFFFFFF;
    std::thread opener([&] { dwOpen = Open(QUOLOG_MODE_WRITER); });
    Sleep(CCSVOperator::kLockTimeout + 500);
    lock.Unlock();
    opener.join();
    ASSERT_EQ(0u, dwOpen);
    EXPECT_STREQ(L"2012/07/10,12:00:00.000", quoLog->GetLastItemTime());
    EXPECT_EQ(0u, WriteAt(QUOLOG_POWER_S0, MakeTime(2012, 7, 10, 11, 0)));
    EXPECT_EQ(1u, ReadUtf16Lines(place.RawPath(L"20120710")).size());
}

TEST_F(CoreTest, TheFirstRunningSampleAndEveryResumeMakeTheWorkerFlush)
{
    // Keep away from minutes 0 and 30, when the worker flushes on its own.
    SYSTEMTIME now;
    GetLocalTime(&now);
    if ((now.wMinute == 29 || now.wMinute == 59) && now.wSecond >= 50) {
        Sleep((61 - now.wSecond) * 1000);
    }
    ASSERT_EQ(0u, Open(QUOLOG_MODE_WRITER, TRUE /* worker */, 1 /* delayed */));
    ASSERT_EQ(0u, WriteAt(QUOLOG_POWER_START, MakeTime(2012, 7, 10, 10, 0, 0)));
    ASSERT_EQ(0u, WriteAt(QUOLOG_POWER_S0, MakeTime(2012, 7, 10, 10, 0, 1)));
    EXPECT_TRUE(ComesToHoldLines(place.LockName(), place.RawPath(L"20120710"), 2));
    ASSERT_EQ(0u, WriteAt(QUOLOG_POWER_S0, MakeTime(2012, 7, 10, 10, 0, 2)));
    ASSERT_EQ(0u, WriteAt(QUOLOG_POWER_FROM_S3S4, MakeTime(2012, 7, 10, 10, 0, 3)));
    EXPECT_TRUE(ComesToHoldLines(place.LockName(), place.RawPath(L"20120710"), 4));
    ASSERT_EQ(0u, WriteAt(QUOLOG_POWER_S0, MakeTime(2012, 7, 10, 10, 0, 4)));
    quoLog->Finalize();
    EXPECT_EQ(5u, ReadUtf16Lines(place.RawPath(L"20120710")).size());
}

TEST_F(CoreTest, TheTimedPathFlushesAtMinutesZeroAndThirtyOnly)
{
    ASSERT_EQ(0u, Open(QUOLOG_MODE_WRITER, FALSE, 1 /* delayed */));
    ASSERT_EQ(0u, WriteAt(QUOLOG_POWER_S0, MakeTime(2012, 7, 10, 10, 16)));
    quoLog->OnTimer(MakeTime(2012, 7, 10, 10, 17), nullptr);
    EXPECT_FALSE(FileExists(place.RawPath(L"20120710")));
    place.lRecovery = 1;
    quoLog->OnTimer(MakeTime(2012, 7, 10, 10, 30), nullptr);
    EXPECT_FALSE(FileExists(place.RawPath(L"20120710")));
    place.lRecovery = 0;
    quoLog->OnTimer(MakeTime(2012, 7, 10, 10, 30), nullptr);
    EXPECT_EQ(1u, ReadUtf16Lines(place.RawPath(L"20120710")).size());
    ASSERT_EQ(0u, WriteAt(QUOLOG_POWER_S0, MakeTime(2012, 7, 10, 23, 59)));
    quoLog->OnTimer(MakeTime(2012, 7, 11, 0, 0), nullptr);
    EXPECT_EQ(2u, ReadUtf16Lines(place.RawPath(L"20120710")).size());
}

// Logs written up to 2012/07/11 08:00 while the clock now says 2012/07/10 10:40, with
// files of earlier days and a raw file of a foreign name beside them.
class RecoveryTest : public CoreTest {
protected:
    void SetUp() override
    {
        MakeFolders(Join(place.LogDir(), L"2012"));
        MakeFolders(Join(place.LogDir(), L"2013"));
        const std::wstring day11 = RawLine(MakeTime(2012, 7, 11, 8, 0), 1);
        before = {
            {L"QUOLogRaw20120709.csv", RawLine(MakeTime(2012, 7, 9, 23, 0), 1)},
            {L"QUOLogRaw20120710.csv", RawLine(MakeTime(2012, 7, 10, 10, 0), 1) + RawLine(MakeTime(2012, 7, 10, 10, 20), 1)
                                           + RawLine(MakeTime(2012, 7, 10, 10, 45), 1) + RawLine(MakeTime(2012, 7, 10, 11, 0), 1)},
            {L"QUOLogRaw20120711.csv", day11},
            {L"QUOLogRawNotADate.csv", day11},
            {L"2012\\QuoLogDaily20120709.csv", TotalsLine(MakeTime(2012, 7, 9, 23, 30))},
            {L"2012\\QuoLogDaily20120710.csv", TotalsLine(MakeTime(2012, 7, 10, 9, 30)) + TotalsLine(MakeTime(2012, 7, 10, 10, 0))
                                                   + TotalsLine(MakeTime(2012, 7, 10, 10, 30)) + TotalsLine(MakeTime(2012, 7, 10, 11, 0))},
            {L"2012\\QuoLogDaily20120711.csv", TotalsLine(MakeTime(2012, 7, 11, 7, 30))},
            {L"2013\\QuoLogDaily20130101.csv", TotalsLine(MakeTime(2013, 1, 1))},
            {L"QuoLogYearly2011.csv", TotalsLine(MakeTime(2011, 1, 1))},
            {L"QuoLogYearly2012.csv", TotalsLine(MakeTime(2012, 7, 9)) + TotalsLine(MakeTime(2012, 7, 10)) + TotalsLine(MakeTime(2012, 7, 11))},
            {L"QuoLogYearly2013.csv", TotalsLine(MakeTime(2013, 1, 1))},
        };
        for (const auto& file : before) {
            WriteUtf16File(Join(place.LogDir(), file.first), file.second);
        }
        place.StartPositionsAt(L"2012/07/11");
        place.Reg().SetDword(L"", L"LastWriteLine", 1);
    }
    // Every file of `before` holds what `expected` says, or is gone when it is not there.
    void ExpectFiles(const std::map<std::wstring, std::wstring>& expected)
    {
        for (const auto& file : before) {
            std::wstring path = Join(place.LogDir(), file.first);
            if (expected.count(file.first) == 0) {
                EXPECT_FALSE(FileExists(path)) << Narrow(file.first);
            } else {
                EXPECT_EQ(L"\uFEFF" + expected.at(file.first), ReadUtf16Text(path)) << Narrow(file.first);
            }
        }
        EXPECT_TRUE(NamesIn(place.LogDir(), L"RecoveryBackup*").empty());
        EXPECT_EQ(0, place.lRecovery);
    }

    const SYSTEMTIME now = MakeTime(2012, 7, 10, 10, 40);
    std::map<std::wstring, std::wstring> before;
};

// Later raw, daily and yearly files and the whole later year folder go; the start day's
// files are cut: raw at 10:40, daily at its half-hour slot, yearly at the day.
TEST_F(RecoveryTest, CutsEveryLogBackToNowAndResetsTheReadPositions)
{
    ASSERT_EQ(0u, Open(QUOLOG_MODE_WRITER, TRUE /* worker answers the request */));
    EXPECT_STREQ(L"2012/07/11,08:00:00.000", quoLog->GetLastItemTime());
    ASSERT_EQ(0u, quoLog->RecoveryAt(now));
    std::map<std::wstring, std::wstring> expected = before;
    expected[L"QUOLogRaw20120710.csv"] = RawLine(MakeTime(2012, 7, 10, 10, 0), 1) + RawLine(MakeTime(2012, 7, 10, 10, 20), 1);
    expected[L"2012\\QuoLogDaily20120710.csv"] = TotalsLine(MakeTime(2012, 7, 10, 9, 30)) + TotalsLine(MakeTime(2012, 7, 10, 10, 0));
    expected[L"QuoLogYearly2012.csv"] = TotalsLine(MakeTime(2012, 7, 9));
    for (const wchar_t* gone : {L"QUOLogRaw20120711.csv", L"2012\\QuoLogDaily20120711.csv", L"2013\\QuoLogDaily20130101.csv",
                                L"QuoLogYearly2013.csv"}) {
        expected.erase(gone);
    }
    ExpectFiles(expected);
    EXPECT_FALSE(FileExists(Join(place.LogDir(), L"2013")));

    // The last totalized slot, 10:00, ends at 10:30: two raw lines lie before it.
    EXPECT_EQ(2u, RegDword(place.RegPath(), L"LastWriteLine"));
    EXPECT_EQ(L"2012/07/10", RegString(place.RegPath(), L"LastWriteDay"));
    EXPECT_EQ(L"2012/07/10", RegString(place.RegPath(), L"LastWriteDay2"));
    EXPECT_STREQ(L"2012/07/10,10:40:00.000", quoLog->GetLastItemTime());

    EXPECT_EQ(0u, WriteAt(QUOLOG_POWER_S0, MakeTime(2012, 7, 10, 10, 40, 1)));
    EXPECT_EQ(3u, ReadUtf16Lines(place.RawPath(L"20120710")).size());
    // Nothing later than the clock is left: a second recovery changes nothing.
    ASSERT_EQ(0u, quoLog->RecoveryAt(MakeTime(2012, 7, 10, 10, 41)));
    EXPECT_EQ(3u, ReadUtf16Lines(place.RawPath(L"20120710")).size());
    EXPECT_EQ(2u, RegDword(place.RegPath(), L"LastWriteLine"));
}

// The raw step fails (29) on a file held open without sharing, after the yearly and
// daily steps have cut and deleted: every file is back byte for byte, and the read
// positions are unchanged.
TEST_F(RecoveryTest, AFailingStepRestoresEveryFileFromTheBackup)
{
    ASSERT_EQ(0u, Open(QUOLOG_MODE_WRITER));
    CScopedFileHandle held = HoldWithoutSharing(place.RawPath(L"20120711"));
    ASSERT_TRUE(held.IsValid());
    EXPECT_EQ(29u, quoLog->RecoveryAt(now));
    held.Reset();
    ExpectFiles(before);
    EXPECT_EQ(1u, RegDword(place.RegPath(), L"LastWriteLine"));
    EXPECT_EQ(L"2012/07/11", RegString(place.RegPath(), L"LastWriteDay"));
    EXPECT_STREQ(L"2012/07/11,08:00:00.000", quoLog->GetLastItemTime());
}

class PeakShiftCopyTest : public CoreTest {
protected:
    void SetUp() override
    {
        source = place.RegPath() + L"\\Source";
        env = place.Env();
        env.lpPksSourcePath = source.c_str();
        MakeFolders(Join(place.Base(), L"Tandora"));
        WriteUtf16File(Join(place.Base(), L"Tandora\\Tandora.exe"), L"");
        place.Reg().SetDword(L"Source\\Setting", L"BPMC", 2);
        place.Reg().SetString(L"Source\\Setting", L"StartDate", L"2012/07/01");
        std::vector<BYTE> big(4096, 0x5A);
        place.Reg().SetRaw(L"Source\\Setting", L"BigBlob", REG_BINARY, big.data(), static_cast<DWORD>(big.size()));
        place.Reg().SetString(L"Source\\PeakShiftPattern\\Forecast", L"StartTime", L"13:00:00");
    }
    std::wstring Copy(const wchar_t* sub) { return place.RegPath() + L"\\Tandora\\" + sub; }

    std::wstring source;
    QuoLogEnvironment env;
};

// DWORD and string values of the three keys are copied; a value of another type is
// passed over whatever its size; a missing key gives 266 and the others are still
// copied; a string too long for the copy gives 266.
TEST_F(PeakShiftCopyTest, CopiesDwordAndStringValuesOfTheThreeKeys)
{
    EXPECT_EQ(266u, CQuoLog::mQUOLogCopyPksReg(env));  // no Random key
    EXPECT_EQ(2u, RegDword(Copy(L"Setting"), L"BPMC"));
    EXPECT_EQ(L"13:00:00", RegString(Copy(L"PeakShiftPattern\\Forecast"), L"StartTime"));

    place.Reg().SetDword(L"Source\\PeakShiftPattern\\Random", L"UseRandom", 1);
    ASSERT_EQ(0u, CQuoLog::mQUOLogCopyPksReg(env));
    EXPECT_EQ(2u, RegDword(Copy(L"Setting"), L"BPMC"));
    EXPECT_EQ(L"2012/07/01", RegString(Copy(L"Setting"), L"StartDate"));
    EXPECT_EQ(L"13:00:00", RegString(Copy(L"PeakShiftPattern\\Forecast"), L"StartTime"));
    EXPECT_EQ(1u, RegDword(Copy(L"PeakShiftPattern\\Random"), L"UseRandom"));
    DWORD cb = 0;
    EXPECT_NE(0, RegGetValueW(HKEY_LOCAL_MACHINE, Copy(L"Setting").c_str(), L"BigBlob", RRF_RT_ANY, nullptr, nullptr, &cb));

    place.Reg().SetString(L"Source\\PeakShiftPattern\\Random", L"StartTime", std::wstring(300, L'1'));
    EXPECT_EQ(266u, CQuoLog::mQUOLogCopyPksReg(env));
}

TEST_F(PeakShiftCopyTest, WithoutTheToolNothingIsCopiedAndATotalizeRequestDeletesTheCopies)
{
    place.Reg().SetDword(L"Source\\PeakShiftPattern\\Random", L"UseRandom", 1);
    ASSERT_EQ(0u, CQuoLog::mQUOLogCopyPksReg(env));
    quoLog.reset(new CQuoLog(env));
    ASSERT_EQ(0u, quoLog->mQUOLogInitialize(QUOLOG_MODE_WRITER, 1000, 0, 0));
    quoLog->OnTotalizeRequest(MakeTime(2012, 7, 10, 10, 0), nullptr);
    EXPECT_FALSE(KeyExists(place.RegPath() + L"\\Tandora"));
    EXPECT_TRUE(KeyExists(source + L"\\Setting"));

    testsupport::DeleteFileIfExists(Join(place.Base(), L"Tandora\\Tandora.exe"));
    EXPECT_EQ(0u, CQuoLog::mQUOLogCopyPksReg(env));
    EXPECT_FALSE(KeyExists(place.RegPath() + L"\\Tandora"));
}

}  // namespace
