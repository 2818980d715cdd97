// CQuoLog in-process, in places of its own: the "LogDir" setting, reader and writer
// modes with the shared writer flag, the last record's time, the worker's requests and
// timed path, recovery with its backup and rollback, and the peak-shift settings copy.
#include <windows.h>

#include <gtest/gtest.h>

#include "FolderTree.h"
#include "LogTestSupport.h"
#include "NamedMutex.h"
#include "QuoLogCore.h"
#include "ScopedHandle.h"
#include "TempLog.h"

using namespace logtest;
using testsupport::FileExists;

namespace {

bool KeyExists(const std::wstring& key)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(hKey);
    return true;
}

std::vector<std::wstring> NamesIn(const std::wstring& folder, const std::wstring& pattern)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstFileW(Join(folder, pattern).c_str(), &fd);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            if (wcscmp(fd.cFileName, L".") != 0 && wcscmp(fd.cFileName, L"..") != 0) {
                names.push_back(fd.cFileName);
            }
        } while (FindNextFileW(hFind, &fd));
        FindClose(hFind);
    }
    return names;
}

// The lines of a log file, read under the file lock as the library reads them.
size_t LockedLineCount(const std::wstring& lockName, const std::wstring& path)
{
    CNamedMutex lock;
    if (lock.Initialize(lockName.c_str(), 3000) != ERROR_SUCCESS || lock.Lock(nullptr) != ERROR_SUCCESS) {
        return 0;
    }
    size_t n = testsupport::ReadUtf16Lines(path).size();
    lock.Unlock();
    return n;
}

// Waits up to 5 s for a log file to hold n lines.
bool WaitForLines(const std::wstring& lockName, const std::wstring& path, size_t n)
{
    for (int i = 0; i < 100; ++i) {
        if (LockedLineCount(lockName, path) == n) {
            return true;
        }
        Sleep(50);
    }
    return false;
}

class CoreTest : public ::testing::Test {
protected:
    DWORD Open(DWORD dwMode, BOOL bRunWorker = FALSE, DWORD bDelay = 0)
    {
        quoLog.reset(new CQuoLog(place.Env(bRunWorker)));
        return quoLog->mQUOLogInitialize(dwMode, 1000, bDelay, 60000);
    }
    std::wstring RawPath(const wchar_t* day) { return Join(place.LogDir(), std::wstring(L"QUOLogRaw") + day + L".csv"); }
    DWORD WriteAt(DWORD status, const SYSTEMTIME& st)
    {
        QuoLogData r = MakeRecord(status);
        return quoLog->WriteAt(&r, st);
    }

    CLogTestPlace place{L"core"};
    std::unique_ptr<CQuoLog> quoLog;
};

TEST_F(CoreTest, LogDirSplitsIntoTwoFolderNamesOrKeepsTheDefaults)
{
    CQuoLog q(place.Env());
    EXPECT_TRUE(q.DivideString(L"Alpha\\Beta\\Gamma", L'\\'));
    EXPECT_STREQ(L"Alpha", q.GetDirName1());
    EXPECT_STREQ(L"Beta", q.GetDirName2());
    std::wstring longest(31, L'n');
    EXPECT_TRUE(q.DivideString((longest + L"\\" + longest).c_str(), L'\\'));
    EXPECT_EQ(longest, q.GetDirName2());
    const wchar_t* refused[] = {L"Alpha\\..",        L"..\\Beta",  L"NoSeparator", L"Alpha\\",   L"\\Beta",
                                L"C:\\Beta",         L"Al|pha\\B", L"Alpha\\.",    L"Alpha\\B.", L"NUL\\Beta",
                                L"Alpha\\com1.txt"};
    for (const wchar_t* value : refused) {
        EXPECT_FALSE(q.DivideString(value, L'\\')) << testsupport::Narrow(value);
        EXPECT_STREQ(L"ZAV", q.GetDirName1());
        EXPECT_STREQ(L"QUOViewer", q.GetDirName2());
    }
    std::wstring tooLong(32, L'x');
    EXPECT_FALSE(q.DivideString((L"Alpha\\" + tooLong).c_str(), L'\\'));
    EXPECT_STREQ(L"ZAV", q.GetDirName1());
    EXPECT_STREQ(L"QUOViewer", q.GetDirName2());
    EXPECT_FALSE(q.DivideString((tooLong + L"\\Beta").c_str(), L'\\'));
    EXPECT_STREQ(L"QUOViewer", q.GetDirName2());
}

TEST_F(CoreTest, TheWriterCreatesTheLogDirectoryNamedByLogDir)
{
    place.Reg().SetString(L"", L"LogDir", L"Maker\\Logs\\Ignored");
    ASSERT_EQ(0u, Open(QUOLOG_MODE_WRITER));
    EXPECT_EQ(Join(place.Base(), L"Maker\\Logs"), quoLog->GetLogDir());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(quoLog->GetLogDir()));
    quoLog.reset();
    place.Reg().SetDword(L"", L"LogDir", 5);  // the wrong type keeps the defaults
    ASSERT_EQ(0u, Open(QUOLOG_MODE_WRITER));
    EXPECT_EQ(place.LogDir(), quoLog->GetLogDir());
}

TEST_F(CoreTest, AReaderCreatesNothingAndCannotWriteOrRecover)
{
    ASSERT_EQ(0u, Open(QUOLOG_MODE_READER));
    EXPECT_EQ(place.LogDir(), quoLog->GetLogDir());
    EXPECT_FALSE(FileExists(Join(place.Base(), L"ZAV")));
    EXPECT_EQ(0, place.lWriter);
    EXPECT_EQ(5u, WriteAt(QUOLOG_POWER_S0, MakeTime(2012, 7, 10, 10, 0)));
    EXPECT_EQ(5u, quoLog->RecoveryAt(MakeTime(2012, 7, 10, 10, 0)));
    EXPECT_EQ(nullptr, quoLog->GetTempLog());
    EXPECT_EQ(87u, Open(3));
}

TEST_F(CoreTest, OneWriterAtATimeAndAFailedWriterLeavesTheFlagToItsOwner)
{
    ASSERT_EQ(0u, Open(QUOLOG_MODE_WRITER));
    EXPECT_EQ(1, place.lWriter);
    {
        CQuoLog second(place.Env());
        EXPECT_EQ(5u, second.mQUOLogInitialize(QUOLOG_MODE_WRITER, 1000, 0, 0));
    }
    EXPECT_EQ(1, place.lWriter);
    quoLog->Finalize();
    EXPECT_EQ(0, place.lWriter);
    quoLog->Finalize();

    // A writer whose folder cannot be made gives the flag back.
    place.Reg().SetString(L"", L"LogDir", L"Other\\Logs");
    WriteUtf16File(Join(place.Base(), L"Other"), L"a file, not a folder");
    EXPECT_EQ(foldertree::kErrorLinkRefused, Open(QUOLOG_MODE_WRITER));
    EXPECT_EQ(0, place.lWriter);
}

TEST_F(CoreTest, OnlyRecordsLaterThanTheNewestOneAreWritten)
{
    MakeFolders(place.LogDir());
    WriteUtf16File(RawPath(L"20120709"), RawLine(MakeTime(2012, 7, 9, 22, 0), 1) + RawLine(MakeTime(2012, 7, 9, 23, 0), 6));
    WriteUtf16File(RawPath(L"20120710"), L"");  // a newer file that a crash left empty
    ASSERT_EQ(0u, Open(QUOLOG_MODE_WRITER));
    EXPECT_STREQ(L"2012/07/09,23:00:00.000", quoLog->GetLastItemTime());
    EXPECT_EQ(0u, WriteAt(QUOLOG_POWER_START, MakeTime(2012, 7, 9, 23, 0)));
    EXPECT_EQ(0u, WriteAt(QUOLOG_POWER_START, MakeTime(2012, 7, 9, 12, 0)));
    EXPECT_EQ(2u, testsupport::ReadUtf16Lines(RawPath(L"20120709")).size());
    EXPECT_EQ(0u, WriteAt(QUOLOG_POWER_START, MakeTime(2012, 7, 9, 23, 0, 0, 1)));
    EXPECT_EQ(0u, WriteAt(QUOLOG_POWER_S0, MakeTime(2012, 7, 9, 23, 0, 0, 1)));
    std::vector<std::wstring> lines = testsupport::ReadUtf16Lines(RawPath(L"20120709"));
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(L"2012/07/09,23:00:00.001,0,5,", lines[2].substr(0, 28));
    EXPECT_STREQ(L"2012/07/09,23:00:00.001", quoLog->GetLastItemTime());
    EXPECT_EQ(87u, quoLog->WriteAt(nullptr, MakeTime(2012, 7, 10)));

    foldertree::DeleteTree(place.LogDir().c_str());
    ASSERT_EQ(0u, Open(QUOLOG_MODE_WRITER));
    EXPECT_STREQ(L"", quoLog->GetLastItemTime());
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
    EXPECT_TRUE(WaitForLines(place.LockName(), RawPath(L"20120710"), 2));
    ASSERT_EQ(0u, WriteAt(QUOLOG_POWER_S0, MakeTime(2012, 7, 10, 10, 0, 2)));
    Sleep(500);
    EXPECT_EQ(2u, LockedLineCount(place.LockName(), RawPath(L"20120710")));
    ASSERT_EQ(0u, WriteAt(QUOLOG_POWER_FROM_S3S4, MakeTime(2012, 7, 10, 10, 0, 3)));
    EXPECT_TRUE(WaitForLines(place.LockName(), RawPath(L"20120710"), 4));
    ASSERT_EQ(0u, WriteAt(QUOLOG_POWER_S0, MakeTime(2012, 7, 10, 10, 0, 4)));
    quoLog->Finalize();
    EXPECT_EQ(5u, testsupport::ReadUtf16Lines(RawPath(L"20120710")).size());
}

TEST_F(CoreTest, TheTimedPathFlushesAtMinutesZeroAndThirtyOnly)
{
    ASSERT_EQ(0u, Open(QUOLOG_MODE_WRITER, FALSE, 1 /* delayed */));
    ASSERT_EQ(0u, WriteAt(QUOLOG_POWER_S0, MakeTime(2012, 7, 10, 10, 16)));
    quoLog->OnTimer(MakeTime(2012, 7, 10, 10, 17), nullptr);
    EXPECT_FALSE(FileExists(RawPath(L"20120710")));
    place.lRecovery = 1;
    quoLog->OnTimer(MakeTime(2012, 7, 10, 10, 30), nullptr);
    EXPECT_FALSE(FileExists(RawPath(L"20120710")));
    place.lRecovery = 0;
    quoLog->OnTimer(MakeTime(2012, 7, 10, 10, 30), nullptr);
    EXPECT_EQ(1u, testsupport::ReadUtf16Lines(RawPath(L"20120710")).size());
    ASSERT_EQ(0u, WriteAt(QUOLOG_POWER_S0, MakeTime(2012, 7, 10, 23, 59)));
    quoLog->OnTimer(MakeTime(2012, 7, 11, 0, 0), nullptr);
    EXPECT_EQ(2u, testsupport::ReadUtf16Lines(RawPath(L"20120710")).size());
}

// Logs written up to 2012/07/11 08:00 while the clock now says 2012/07/10 10:40.
class RecoveryTest : public CoreTest {
protected:
    void SetUp() override
    {
        logDir = place.LogDir();
        MakeFolders(Join(logDir, L"2012"));
        MakeFolders(Join(logDir, L"2013"));
        raw09 = RawLine(MakeTime(2012, 7, 9, 23, 0), 1);
        raw10 = RawLine(MakeTime(2012, 7, 10, 10, 0), 1) + RawLine(MakeTime(2012, 7, 10, 10, 20), 1)
            + RawLine(MakeTime(2012, 7, 10, 10, 45), 1) + RawLine(MakeTime(2012, 7, 10, 11, 0), 1);
        daily10 = TotalsLine(MakeTime(2012, 7, 10, 9, 30)) + TotalsLine(MakeTime(2012, 7, 10, 10, 0))
            + TotalsLine(MakeTime(2012, 7, 10, 10, 30)) + TotalsLine(MakeTime(2012, 7, 10, 11, 0));
        yearly12 = TotalsLine(MakeTime(2012, 7, 9)) + TotalsLine(MakeTime(2012, 7, 10)) + TotalsLine(MakeTime(2012, 7, 11));
        WriteUtf16File(RawPath(L"20120709"), raw09);
        WriteUtf16File(RawPath(L"20120710"), raw10);
        WriteUtf16File(RawPath(L"20120711"), RawLine(MakeTime(2012, 7, 11, 8, 0), 1));
        WriteUtf16File(Join(logDir, L"2012\\QuoLogDaily20120709.csv"), TotalsLine(MakeTime(2012, 7, 9, 23, 30)));
        WriteUtf16File(Join(logDir, L"2012\\QuoLogDaily20120710.csv"), daily10);
        WriteUtf16File(Join(logDir, L"2012\\QuoLogDaily20120711.csv"), TotalsLine(MakeTime(2012, 7, 11, 7, 30)));
        WriteUtf16File(Join(logDir, L"2013\\QuoLogDaily20130101.csv"), TotalsLine(MakeTime(2013, 1, 1)));
        WriteUtf16File(Join(logDir, L"QuoLogYearly2012.csv"), yearly12);
        WriteUtf16File(Join(logDir, L"QuoLogYearly2013.csv"), TotalsLine(MakeTime(2013, 1, 1)));
        place.Reg().SetString(L"", L"LastWriteDay", L"2012/07/11");
        place.Reg().SetDword(L"", L"LastWriteLine", 1);
        place.Reg().SetString(L"", L"LastWriteDay2", L"2012/07/11");
    }

    const SYSTEMTIME now = MakeTime(2012, 7, 10, 10, 40);
    std::wstring logDir, raw09, raw10, daily10, yearly12;
};

TEST_F(RecoveryTest, CutsEveryLogBackToNowAndResetsTheReadPositions)
{
    ASSERT_EQ(0u, Open(QUOLOG_MODE_WRITER, TRUE /* worker answers the request */));
    EXPECT_STREQ(L"2012/07/11,08:00:00.000", quoLog->GetLastItemTime());
    ASSERT_EQ(0u, quoLog->RecoveryAt(now));

    EXPECT_EQ(raw09, ReadUtf16Text(RawPath(L"20120709")));
    EXPECT_EQ(RawLine(MakeTime(2012, 7, 10, 10, 0), 1) + RawLine(MakeTime(2012, 7, 10, 10, 20), 1),
              ReadUtf16Text(RawPath(L"20120710")));
    EXPECT_FALSE(FileExists(RawPath(L"20120711")));
    EXPECT_TRUE(FileExists(Join(logDir, L"2012\\QuoLogDaily20120709.csv")));
    EXPECT_EQ(TotalsLine(MakeTime(2012, 7, 10, 9, 30)) + TotalsLine(MakeTime(2012, 7, 10, 10, 0)),
              ReadUtf16Text(Join(logDir, L"2012\\QuoLogDaily20120710.csv")));
    EXPECT_FALSE(FileExists(Join(logDir, L"2012\\QuoLogDaily20120711.csv")));
    EXPECT_FALSE(FileExists(Join(logDir, L"2013")));
    EXPECT_EQ(TotalsLine(MakeTime(2012, 7, 9)), ReadUtf16Text(Join(logDir, L"QuoLogYearly2012.csv")));
    EXPECT_FALSE(FileExists(Join(logDir, L"QuoLogYearly2013.csv")));
    EXPECT_TRUE(NamesIn(logDir, L"RecoveryBackup*").empty());

    // The last totalized slot, 10:00, ends at 10:30: two raw lines lie before it.
    EXPECT_EQ(2u, RegDword(place.RegPath(), L"LastWriteLine"));
    EXPECT_EQ(L"2012/07/10", RegString(place.RegPath(), L"LastWriteDay"));
    EXPECT_EQ(L"2012/07/10", RegString(place.RegPath(), L"LastWriteDay2"));
    EXPECT_STREQ(L"2012/07/10,10:40:00.000", quoLog->GetLastItemTime());
    EXPECT_EQ(0, place.lRecovery);

    EXPECT_EQ(0u, WriteAt(QUOLOG_POWER_S0, MakeTime(2012, 7, 10, 10, 40, 1)));
    EXPECT_EQ(3u, testsupport::ReadUtf16Lines(RawPath(L"20120710")).size());
    // Nothing later than the clock is left: a second recovery changes nothing.
    ASSERT_EQ(0u, quoLog->RecoveryAt(MakeTime(2012, 7, 10, 10, 41)));
    EXPECT_EQ(3u, testsupport::ReadUtf16Lines(RawPath(L"20120710")).size());
    EXPECT_EQ(2u, RegDword(place.RegPath(), L"LastWriteLine"));
}

TEST_F(RecoveryTest, AFailingStepRestoresEveryFileFromTheBackup)
{
    ASSERT_EQ(0u, Open(QUOLOG_MODE_WRITER));
    // The raw file of 07/11 cannot be backed up while it is open without sharing.
    CScopedFileHandle held(CreateFileW(RawPath(L"20120711").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.IsValid());
    EXPECT_EQ(29u, quoLog->RecoveryAt(now));
    held.Reset();

    EXPECT_EQ(raw10, ReadUtf16Text(RawPath(L"20120710")));
    EXPECT_TRUE(FileExists(RawPath(L"20120711")));
    EXPECT_EQ(daily10, ReadUtf16Text(Join(logDir, L"2012\\QuoLogDaily20120710.csv")));
    EXPECT_TRUE(FileExists(Join(logDir, L"2012\\QuoLogDaily20120711.csv")));
    EXPECT_TRUE(FileExists(Join(logDir, L"2013\\QuoLogDaily20130101.csv")));
    EXPECT_EQ(yearly12, ReadUtf16Text(Join(logDir, L"QuoLogYearly2012.csv")));
    EXPECT_TRUE(FileExists(Join(logDir, L"QuoLogYearly2013.csv")));
    EXPECT_TRUE(NamesIn(logDir, L"RecoveryBackup*").empty());
    EXPECT_EQ(1u, RegDword(place.RegPath(), L"LastWriteLine"));
    EXPECT_EQ(L"2012/07/11", RegString(place.RegPath(), L"LastWriteDay"));
    EXPECT_STREQ(L"2012/07/11,08:00:00.000", quoLog->GetLastItemTime());
    EXPECT_EQ(0, place.lRecovery);
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
        const BYTE blob[] = {1, 2, 3};
        place.Reg().SetRaw(L"Source\\Setting", L"Blob", REG_BINARY, blob, sizeof(blob));
        place.Reg().SetString(L"Source\\PeakShiftPattern\\Forecast", L"StartTime", L"13:00:00");
    }
    std::wstring Copy(const wchar_t* sub) { return place.RegPath() + L"\\Tandora\\" + sub; }

    std::wstring source;
    QuoLogEnvironment env;
};

TEST_F(PeakShiftCopyTest, CopiesDwordAndStringValuesOfTheThreeKeys)
{
    place.Reg().SetDword(L"Source\\PeakShiftPattern\\Random", L"UseRandom", 1);
    ASSERT_EQ(0u, CQuoLog::mQUOLogCopyPksReg(env));
    EXPECT_EQ(2u, RegDword(Copy(L"Setting"), L"BPMC"));
    EXPECT_EQ(L"2012/07/01", RegString(Copy(L"Setting"), L"StartDate"));
    EXPECT_EQ(L"13:00:00", RegString(Copy(L"PeakShiftPattern\\Forecast"), L"StartTime"));
    EXPECT_EQ(1u, RegDword(Copy(L"PeakShiftPattern\\Random"), L"UseRandom"));
    DWORD cb = 0;
    EXPECT_NE(0, RegGetValueW(HKEY_LOCAL_MACHINE, Copy(L"Setting").c_str(), L"Blob", RRF_RT_ANY, nullptr, nullptr, &cb));
}

TEST_F(PeakShiftCopyTest, AMissingSourceGives266AndTheOthersAreStillCopied)
{
    EXPECT_EQ(266u, CQuoLog::mQUOLogCopyPksReg(env));
    EXPECT_EQ(2u, RegDword(Copy(L"Setting"), L"BPMC"));
    EXPECT_EQ(L"13:00:00", RegString(Copy(L"PeakShiftPattern\\Forecast"), L"StartTime"));
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
