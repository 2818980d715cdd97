// QUOLog.dll as the service and the viewer use it: the result codes of the exports, a
// second writer in another process, the raw file written through the library, the read
// position across restarts, recovery, a writer and a reader hammering the same files,
// and writers killed while writing.
//
// Runs on a clean machine with the product's own key and folder. This process never
// loads the library (its data shared between processes would outlive a killed writer);
// child processes of this executable load it and call its exports by ordinal.
#include <windows.h>

#include <strsafe.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "CSVOperator.h"
#include "FolderTree.h"
#include "LogTestSupport.h"
#include "NamedMutex.h"
#include "QuoLogCore.h"
#include "ScopedHandle.h"
#include "TempLog.h"

using namespace logtest;
using testsupport::CChildProcess;
using testsupport::RunChild;

namespace {

const wchar_t kProductKey[] = L"Software\\ZAV\\QUOViewer\\QUOLog";

std::wstring ProductRoot()
{
    return testsupport::CommonAppDataFolder() + L"\\ZAV";
}

std::wstring ProductLogDir()
{
    return ProductRoot() + L"\\QUOViewer";
}

// The exports of QUOLog.dll, loaded at run time and found by ordinal.
class CQuoLogDll {
public:
    typedef DWORD(WINAPI* InitializeFunc)(DWORD, DWORD, DWORD, DWORD);
    typedef DWORD(WINAPI* WriteFunc)(const QuoLogData*);
    typedef DWORD(WINAPI* ReadFunc)(DWORD, const SYSTEMTIME*, QuoLogRead*, DWORD, QuoLogRead*);
    typedef void(WINAPI* FinalizeFunc)();
    typedef DWORD(WINAPI* NoArgFunc)();

    bool Load()
    {
        m_hModule = LoadLibraryW(L"QUOLog.dll");
        if (m_hModule == nullptr) {
            return false;
        }
        Initialize = Proc<InitializeFunc>(1);
        Write = Proc<WriteFunc>(2);
        Read = Proc<ReadFunc>(3);
        Finalize = Proc<FinalizeFunc>(4);
        Recovery = Proc<NoArgFunc>(5);
        CopyPksReg = Proc<NoArgFunc>(6);
        return Initialize && Write && Read && Finalize && Recovery && CopyPksReg;
    }

    InitializeFunc Initialize = nullptr;
    WriteFunc Write = nullptr;
    ReadFunc Read = nullptr;
    FinalizeFunc Finalize = nullptr;
    NoArgFunc Recovery = nullptr;
    NoArgFunc CopyPksReg = nullptr;

private:
    template <typename Func>
    Func Proc(WORD wOrdinal)
    {
        return reinterpret_cast<Func>(reinterpret_cast<void (*)()>(GetProcAddress(m_hModule, MAKEINTRESOURCEA(wOrdinal))));
    }
    HMODULE m_hModule = nullptr;
};

// "name value" lines that a child leaves for the test.
class CResultFile {
public:
    explicit CResultFile(const std::wstring& path) : m_out(testsupport::Narrow(path)) {}
    void Put(const char* name, DWORD value) { m_out << name << ' ' << value << std::endl; }

private:
    std::ofstream m_out;
};

std::map<std::string, DWORD> ReadResults(const std::wstring& path)
{
    std::map<std::string, DWORD> results;
    std::ifstream in(testsupport::Narrow(path));
    std::string name;
    DWORD value = 0;
    while (in >> name >> value) {
        results[name] = value;
    }
    return results;
}

std::wstring TempFilePath(const wchar_t* prefix)
{
    wchar_t szFolder[MAX_PATH];
    GetTempPathW(ARRAYSIZE(szFolder), szFolder);
    return std::wstring(szFolder) + testsupport::UniqueName(prefix) + L".txt";
}

HANDLE OpenNamedEvent(const std::wstring& name)
{
    return OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, name.c_str());
}

// A manual-reset event that children reach by name.
class CTestEvent {
public:
    explicit CTestEvent(const wchar_t* prefix) : m_name(L"Local\\" + testsupport::UniqueName(prefix))
    {
        m_h.Reset(CreateEventW(nullptr, TRUE, FALSE, m_name.c_str()));
    }
    const std::wstring& Name() const { return m_name; }
    HANDLE Get() const { return m_h.Get(); }

private:
    std::wstring m_name;
    CScopedKernelHandle m_h;
};

class CRawReader : public CCSVOperator {
public:
    DWORD Open() { return InitializeCSV(QUOLOG_FILE_LOCK_NAME, &m_lRecovery); }

private:
    volatile LONG m_lRecovery = 0;
};

// One whole raw line as the library writes it: 23 cells, a valid time.
bool ParseRawLine(const CCSVOperator::LineTable& table, DWORD dwLine, SYSTEMTIME* pTime, std::wstring* pPlan)
{
    auto it = table.find(dwLine);
    if (it == table.end() || it->second.size() != 23) {
        return false;
    }
    std::wstring stamp = it->second.at(1) + L"," + it->second.at(2);
    return CQuoLog::ConvertStrToSystime(stamp.c_str(), pTime) && CCSVOperator::GetString(table, dwLine, 11, *pPlan);
}

// Every raw file of the product's log directory, oldest first: all lines whole and
// well formed, their times strictly increasing. The plan names in order.
::testing::AssertionResult CheckRawLog(CRawReader& reader, std::vector<std::wstring>* pPlans)
{
    SYSTEMTIME stPrevious = MakeTime(1601, 1, 1);
    for (const std::wstring& name : CTempLog::ListRawFiles(ProductLogDir().c_str())) {
        std::wstring path = Join(ProductLogDir(), name);
        CCSVOperator::LineTable table;
        DWORD dwResult = reader.ReadCSV(path.c_str(), 1, table, nullptr);
        if (dwResult == ERROR_FILE_NOT_FOUND || dwResult == ERROR_INVALID_PARAMETER) {
            continue;  // no line yet
        }
        if (dwResult != ERROR_SUCCESS) {
            return ::testing::AssertionFailure() << "reading " << testsupport::Narrow(name) << " gave " << dwResult;
        }
        for (DWORD i = 1; i <= table.size(); ++i) {
            SYSTEMTIME st;
            std::wstring plan;
            if (!ParseRawLine(table, i, &st, &plan)) {
                return ::testing::AssertionFailure() << "line " << i << " of " << testsupport::Narrow(name) << " is broken";
            }
            if (CQuoLog::CompareTime(st, stPrevious) <= 0) {
                return ::testing::AssertionFailure() << "line " << i << " of " << testsupport::Narrow(name) << " is not later";
            }
            stPrevious = st;
            if (pPlans != nullptr) {
                pPlans->push_back(plan);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// ----- Child roles: each loads the library itself. -----

QUO_TEST_CHILD(dll_codes)
{
    CResultFile out(args.at(0));
    CQuoLogDll dll;
    if (!dll.Load()) {
        return 1;
    }
    QuoLogData record = MakeRecord(QUOLOG_POWER_S0);
    SYSTEMTIME st;
    GetLocalTime(&st);
    QuoLogRead rows[QUOLOG_DAY_ROWS];
    QuoLogRead total;
    out.Put("write_before_init", dll.Write(&record));
    out.Put("read_before_init", dll.Read(QUOLOG_READ_DAY, &st, rows, QUOLOG_DAY_ROWS, &total));
    out.Put("recovery_before_init", dll.Recovery());
    dll.Finalize();
    out.Put("copypks_without_instance", dll.CopyPksReg());
    out.Put("init_interval_0", dll.Initialize(QUOLOG_MODE_READER, 0, 0, 0));
    out.Put("init_delay_0", dll.Initialize(QUOLOG_MODE_WRITER, 1000, 1, 0));
    out.Put("init_mode_3", dll.Initialize(3, 1000, 0, 0));
    out.Put("init_reader", dll.Initialize(QUOLOG_MODE_READER, 1000, 0, 0));
    out.Put("init_again", dll.Initialize(QUOLOG_MODE_READER, 1000, 0, 0));
    out.Put("write_null", dll.Write(nullptr));
    out.Put("write_on_reader", dll.Write(&record));
    out.Put("recovery_on_reader", dll.Recovery());
    out.Put("read_null_time", dll.Read(QUOLOG_READ_DAY, nullptr, rows, QUOLOG_DAY_ROWS, &total));
    out.Put("read_null_rows", dll.Read(QUOLOG_READ_DAY, &st, nullptr, QUOLOG_DAY_ROWS, &total));
    out.Put("read_null_total", dll.Read(QUOLOG_READ_DAY, &st, rows, QUOLOG_DAY_ROWS, nullptr));
    dll.Finalize();
    out.Put("write_after_finalize", dll.Write(&record));
    out.Put("init_writer", dll.Initialize(QUOLOG_MODE_WRITER, 1000, 0, 0));
    out.Put("init_writer_again", dll.Initialize(QUOLOG_MODE_WRITER, 1000, 0, 0));
    dll.Finalize();
    return 0;
}

// Opens a writer (or reader, args[0] "reader"), signals args[1], waits for args[2].
QUO_TEST_CHILD(dll_hold)
{
    CQuoLogDll dll;
    if (!dll.Load()) {
        return 1;
    }
    DWORD dwMode = (args.at(0) == L"reader") ? QUOLOG_MODE_READER : QUOLOG_MODE_WRITER;
    DWORD dwResult = dll.Initialize(dwMode, 1000, 0, 0);
    CScopedKernelHandle ready(OpenNamedEvent(args.at(1)));
    CScopedKernelHandle release(OpenNamedEvent(args.at(2)));
    SetEvent(ready.Get());
    if (dwResult == ERROR_SUCCESS) {
        WaitForSingleObject(release.Get(), 60000);
        dll.Finalize();
    }
    return static_cast<int>(dwResult);
}

// Opens a writer (args[0] 1: delayed, interval 10 ms, delay 30 ms), writes args[1]
// records a few ms apart, each with its number as plan name, and finalises. Exit code:
// the first failing result, or 0.
QUO_TEST_CHILD(dll_write)
{
    CQuoLogDll dll;
    if (!dll.Load()) {
        return 1;
    }
    bool bDelayed = args.at(0) == L"1";
    DWORD dwResult = dll.Initialize(QUOLOG_MODE_WRITER, 10, bDelayed ? 1 : 0, bDelayed ? 30 : 0);
    if (dwResult != ERROR_SUCCESS) {
        return static_cast<int>(dwResult);
    }
    DWORD dwCount = static_cast<DWORD>(_wtoi(args.at(1).c_str()));
    DWORD dwFirstError = 0;
    for (DWORD i = 1; i <= dwCount; ++i) {
        QuoLogData record = MakeRecord(QUOLOG_POWER_S0, i, std::to_wstring(i));
        DWORD dw = dll.Write(&record);
        if (dw != ERROR_SUCCESS && dwFirstError == 0) {
            dwFirstError = dw;
        }
        Sleep(2);
    }
    dll.Finalize();
    return static_cast<int>(dwFirstError);
}

// Writes START, a sample whose strings need care, and TO_S3S4; then finalises.
QUO_TEST_CHILD(dll_write_samples)
{
    CQuoLogDll dll;
    if (!dll.Load() || dll.Initialize(QUOLOG_MODE_WRITER, 5000, 0, 0) != ERROR_SUCCESS) {
        return 1;
    }
    DWORD statuses[] = {QUOLOG_POWER_START, QUOLOG_POWER_S0, QUOLOG_POWER_TO_S3S4};
    DWORD dwFirstError = 0;
    for (DWORD status : statuses) {
        QuoLogData record = MakeRecord(status, 1, L"Plan,one \"quoted\"", L"name\r\nsecond");
        DWORD dw = dll.Write(&record);
        dwFirstError = (dwFirstError != 0) ? dwFirstError : dw;
        Sleep(5);
    }
    dll.Finalize();
    return static_cast<int>(dwFirstError);
}

// A writer that writes one sample, recovers, and writes another.
QUO_TEST_CHILD(dll_write_recover_write)
{
    CResultFile out(args.at(0));
    CQuoLogDll dll;
    if (!dll.Load() || dll.Initialize(QUOLOG_MODE_WRITER, 5000, 0, 0) != ERROR_SUCCESS) {
        return 1;
    }
    QuoLogData record = MakeRecord(QUOLOG_POWER_S0);
    out.Put("write_before", dll.Write(&record));
    out.Put("recovery", dll.Recovery());
    Sleep(5);
    out.Put("write_after", dll.Write(&record));
    dll.Finalize();
    return 0;
}

// A writer that signals args[1] when ready, waits for args[2], then signals args[3] and
// recovers while a second thread writes 500 ms later.
QUO_TEST_CHILD(dll_recover_while_locked)
{
    CResultFile out(args.at(0));
    CQuoLogDll dll;
    if (!dll.Load() || dll.Initialize(QUOLOG_MODE_WRITER, 5000, 0, 0) != ERROR_SUCCESS) {
        return 1;
    }
    CScopedKernelHandle ready(OpenNamedEvent(args.at(1)));
    CScopedKernelHandle go(OpenNamedEvent(args.at(2)));
    CScopedKernelHandle recovering(OpenNamedEvent(args.at(3)));
    SetEvent(ready.Get());
    WaitForSingleObject(go.Get(), 60000);
    SetEvent(recovering.Get());
    DWORD dwWrite = 0;
    std::thread writer([&] {
        Sleep(500);
        QuoLogData record = MakeRecord(QUOLOG_POWER_S0);
        dwWrite = dll.Write(&record);
    });
    out.Put("recovery", dll.Recovery());
    writer.join();
    out.Put("write_during_recovery", dwWrite);
    dll.Finalize();
    return 0;
}

// A reader that waits for args[0], then reads 500 ms later. Exit code: the read's result.
QUO_TEST_CHILD(dll_read_after)
{
    CQuoLogDll dll;
    if (!dll.Load() || dll.Initialize(QUOLOG_MODE_READER, 1000, 0, 0) != ERROR_SUCCESS) {
        return 1;
    }
    CScopedKernelHandle recovering(OpenNamedEvent(args.at(0)));
    WaitForSingleObject(recovering.Get(), 60000);
    Sleep(500);
    SYSTEMTIME st;
    GetLocalTime(&st);
    QuoLogRead rows[QUOLOG_DAY_ROWS];
    QuoLogRead total;
    DWORD dwResult = dll.Read(QUOLOG_READ_DAY, &st, rows, QUOLOG_DAY_ROWS, &total);
    dll.Finalize();
    return static_cast<int>(dwResult);
}

// Writes records until killed, each numbered in its plan name from args[0] on.
QUO_TEST_CHILD(dll_write_until_killed)
{
    CQuoLogDll dll;
    if (!dll.Load() || dll.Initialize(QUOLOG_MODE_WRITER, 10, 1, 30) != ERROR_SUCCESS) {
        return 1;
    }
    CScopedKernelHandle ready(OpenNamedEvent(args.at(1)));
    SetEvent(ready.Get());
    for (DWORD i = static_cast<DWORD>(_wtoi(args.at(0).c_str()));; ++i) {
        QuoLogData record = MakeRecord(i % 7 == 0 ? QUOLOG_POWER_TO_S3S4 : QUOLOG_POWER_S0, i, std::to_wstring(i));
        dll.Write(&record);
        Sleep(1);
    }
}

// For args[0] seconds: writes numbered records (delayed, a flush every 3) 5 ms apart.
QUO_TEST_CHILD(dll_hammer_writer)
{
    CResultFile out(args.at(1));
    CQuoLogDll dll;
    if (!dll.Load() || dll.Initialize(QUOLOG_MODE_WRITER, 10, 1, 30) != ERROR_SUCCESS) {
        return 1;
    }
    ULONGLONG ullEnd = GetTickCount64() + 1000ULL * static_cast<ULONGLONG>(_wtoi(args.at(0).c_str()));
    DWORD dwWritten = 0;
    DWORD dwFailed = 0;
    while (GetTickCount64() < ullEnd) {
        QuoLogData record = MakeRecord(QUOLOG_POWER_S0, dwWritten + 1, std::to_wstring(dwWritten + 1));
        if (dll.Write(&record) == ERROR_SUCCESS) {
            ++dwWritten;
        } else {
            ++dwFailed;
        }
        Sleep(5);
    }
    dll.Finalize();
    out.Put("written", dwWritten);
    out.Put("failed", dwFailed);
    return 0;
}

// For args[0] seconds: reads every raw file under the file lock, as the library does,
// and checks what it sees. Does not load the library.
QUO_TEST_CHILD(dll_hammer_reader)
{
    CResultFile out(args.at(1));
    CRawReader reader;
    if (reader.Open() != ERROR_SUCCESS) {
        return 1;
    }
    ULONGLONG ullEnd = GetTickCount64() + 1000ULL * static_cast<ULONGLONG>(_wtoi(args.at(0).c_str()));
    DWORD dwReads = 0;
    DWORD dwBroken = 0;
    size_t nMostLines = 0;
    while (GetTickCount64() < ullEnd) {
        std::vector<std::wstring> plans;
        if (!CheckRawLog(reader, &plans)) {
            ++dwBroken;
        }
        for (size_t i = 0; i < plans.size(); ++i) {
            if (plans[i] != std::to_wstring(i + 1)) {
                ++dwBroken;
                break;
            }
        }
        if (plans.size() < nMostLines) {
            ++dwBroken;  // lines never disappear
        }
        nMostLines = std::max(nMostLines, plans.size());
        ++dwReads;
        Sleep(10);
    }
    out.Put("reads", dwReads);
    out.Put("broken", dwBroken);
    out.Put("lines", static_cast<DWORD>(nMostLines));
    return 0;
}

// ----- The tests -----

class QuoLogDll : public ::testing::Test {
protected:
    void SetUp() override
    {
        foldertree::DeleteTree(ProductRoot().c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductKey);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kProductKey);
        ASSERT_EQ(0u, reader.Open());
    }

    std::wstring RawPathOf(const SYSTEMTIME& st)
    {
        wchar_t sz[MAX_PATH];
        StringCchPrintfW(sz, ARRAYSIZE(sz), L"%s\\QUOLogRaw%04u%02u%02u.csv", ProductLogDir().c_str(), st.wYear, st.wMonth,
                         st.wDay);
        return sz;
    }

    CRawReader reader;
};

TEST_F(QuoLogDll, EveryExportAnswersWithItsCode)
{
    std::wstring results = TempFilePath(L"codes");
    ASSERT_EQ(0u, RunChild(L"dll_codes", {results}));
    std::map<std::string, DWORD> r = ReadResults(results);
    DeleteFileW(results.c_str());
    const std::map<std::string, DWORD> expected = {
        {"write_before_init", 21},  {"read_before_init", 21},   {"recovery_before_init", 21},
        {"copypks_without_instance", 0}, {"init_interval_0", 87}, {"init_delay_0", 87},
        {"init_mode_3", 87},        {"init_reader", 0},         {"init_again", 1247},
        {"write_null", 87},         {"write_on_reader", 5},     {"recovery_on_reader", 5},
        {"read_null_time", 87},     {"read_null_rows", 87},     {"read_null_total", 87},
        {"write_after_finalize", 21}, {"init_writer", 0},       {"init_writer_again", 1247}};
    EXPECT_EQ(expected, r);
}

TEST_F(QuoLogDll, ASecondWriterProcessGets5UntilTheFirstHasFinalised)
{
    CTestEvent ready(L"ready");
    CTestEvent release(L"release");
    CChildProcess holder;
    ASSERT_TRUE(holder.Start(L"dll_hold", {L"writer", ready.Name(), release.Name()}));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready.Get(), 30000));
    EXPECT_EQ(5u, RunChild(L"dll_write", {L"0", L"1"}));
    // Readers come and go beside the writer.
    CTestEvent readerReady(L"readerready");
    CChildProcess readerHolder;
    ASSERT_TRUE(readerHolder.Start(L"dll_hold", {L"reader", readerReady.Name(), release.Name()}));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(readerReady.Get(), 30000));
    SetEvent(release.Get());
    EXPECT_EQ(0u, readerHolder.Wait(30000));
    EXPECT_EQ(0u, holder.Wait(30000));
    EXPECT_EQ(0u, RunChild(L"dll_write", {L"0", L"1"}));
}

TEST_F(QuoLogDll, TheRawFileHoldsOneWholeLinePerRecord)
{
    ASSERT_EQ(0u, RunChild(L"dll_write_samples"));
    std::vector<std::wstring> names = CTempLog::ListRawFiles(ProductLogDir().c_str());
    ASSERT_FALSE(names.empty());
    std::vector<std::wstring> lines;
    for (const std::wstring& name : names) {
        std::wstring path = Join(ProductLogDir(), name);
        EXPECT_TRUE(HasSingleBom(path));
        EXPECT_NE(0u, GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
        EXPECT_EQ(0u, (testsupport::ReadFileBytes(path).size() - 2) % 2);
        for (const std::wstring& line : testsupport::ReadUtf16Lines(path)) {
            lines.push_back(line);
        }
    }
    ASSERT_EQ(3u, lines.size());
    const std::wstring tail = L",10001,2001,1,80,40001,301,\"Plan one \"quoted\"\",5,2,7,1,\"LCD\",2,4,\"\",0,0,3,\"name  second\"";
    EXPECT_EQ(L",0,5" + tail, lines[0].substr(23));
    EXPECT_EQ(L",5000,1" + tail, lines[1].substr(23));
    EXPECT_EQ(L",0,3" + tail, lines[2].substr(23));
    EXPECT_TRUE(CheckRawLog(reader, nullptr));
}

TEST_F(QuoLogDll, TheReadPositionSurvivesARestart)
{
    HKEY hKey = nullptr;
    ASSERT_EQ(0, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr));
    const wchar_t day[] = L"2012/07/10";
    DWORD dwLine = 17;
    RegSetValueExW(hKey, L"LastWriteDay", 0, REG_SZ, reinterpret_cast<const BYTE*>(day), sizeof(day));
    RegSetValueExW(hKey, L"LastWriteLine", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwLine), sizeof(dwLine));
    RegCloseKey(hKey);
    ASSERT_EQ(0u, RunChild(L"dll_write", {L"0", L"2"}));
    ASSERT_EQ(0u, RunChild(L"dll_write", {L"1", L"2"}));
    EXPECT_EQ(day, RegString(kProductKey, L"LastWriteDay"));
    EXPECT_EQ(17u, RegDword(kProductKey, L"LastWriteLine"));
    std::vector<std::wstring> plans;
    EXPECT_TRUE(CheckRawLog(reader, &plans));
    EXPECT_EQ(4u, plans.size());
}

TEST_F(QuoLogDll, RecordsBeforeTheNewestAreDroppedUntilARecoveryCutsTheFutureAway)
{
    SYSTEMTIME today;
    GetLocalTime(&today);
    SYSTEMTIME tomorrow;
    ASSERT_TRUE(CQuoLog::OffsetDay(&today, &tomorrow, 1));
    tomorrow.wHour = 8;
    MakeFolders(ProductLogDir());
    WriteUtf16File(RawPathOf(tomorrow), RawLine(tomorrow, QUOLOG_POWER_S0));

    std::wstring results = TempFilePath(L"recover");
    ASSERT_EQ(0u, RunChild(L"dll_write_recover_write", {results}));
    std::map<std::string, DWORD> r = ReadResults(results);
    DeleteFileW(results.c_str());
    EXPECT_EQ(0u, r["write_before"]);
    EXPECT_EQ(0u, r["recovery"]);
    EXPECT_EQ(0u, r["write_after"]);
    EXPECT_FALSE(testsupport::FileExists(RawPathOf(tomorrow)));
    // The record before the recovery was dropped, the one after it written.
    std::vector<std::wstring> plans;
    EXPECT_TRUE(CheckRawLog(reader, &plans));
    EXPECT_EQ(1u, plans.size());
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstFileW(Join(ProductLogDir(), L"RecoveryBackup*").c_str(), &fd);
    EXPECT_EQ(INVALID_HANDLE_VALUE, hFind);
    if (hFind != INVALID_HANDLE_VALUE) {
        FindClose(hFind);
    }
}

TEST_F(QuoLogDll, DuringARecoveryWritesAndReadsAnswer170)
{
    SYSTEMTIME today;
    GetLocalTime(&today);
    SYSTEMTIME tomorrow;
    ASSERT_TRUE(CQuoLog::OffsetDay(&today, &tomorrow, 1));
    MakeFolders(ProductLogDir());
    std::wstring future = RawLine(tomorrow, QUOLOG_POWER_S0);
    WriteUtf16File(RawPathOf(tomorrow), future);

    CTestEvent ready(L"ready");
    CTestEvent go(L"go");
    CTestEvent recovering(L"recovering");
    std::wstring results = TempFilePath(L"busy");
    CChildProcess readerChild;
    ASSERT_TRUE(readerChild.Start(L"dll_read_after", {recovering.Name()}));
    CChildProcess writer;
    ASSERT_TRUE(writer.Start(L"dll_recover_while_locked", {results, ready.Name(), go.Name(), recovering.Name()}));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready.Get(), 30000));
    // The file lock held here makes the recovery wait, and so last.
    CNamedMutex lock;
    ASSERT_EQ(0u, lock.Initialize(QUOLOG_FILE_LOCK_NAME, 0));
    ASSERT_EQ(0u, lock.Lock(nullptr));
    SetEvent(go.Get());
    EXPECT_EQ(170u, readerChild.Wait(30000));
    Sleep(4000 - 500);
    lock.Unlock();
    EXPECT_EQ(0u, writer.Wait(30000));
    std::map<std::string, DWORD> r = ReadResults(results);
    DeleteFileW(results.c_str());
    EXPECT_EQ(170u, r["write_during_recovery"]);
    EXPECT_EQ(170u, r["recovery"]);  // its own wait for the file lock timed out
    // The failed recovery put the file back.
    EXPECT_EQ(future, ReadUtf16Text(RawPathOf(tomorrow)));
}

TEST_F(QuoLogDll, AWriterAndAReaderHammerTheSameFilesForAMinute)
{
    std::wstring writerResults = TempFilePath(L"hw");
    std::wstring readerResults = TempFilePath(L"hr");
    CChildProcess writer;
    CChildProcess readerChild;
    ASSERT_TRUE(writer.Start(L"dll_hammer_writer", {L"60", writerResults}));
    ASSERT_TRUE(readerChild.Start(L"dll_hammer_reader", {L"60", readerResults}));
    EXPECT_EQ(0u, writer.Wait(120000)) << "the writer did not end: a deadlock?";
    EXPECT_EQ(0u, readerChild.Wait(120000)) << "the reader did not end: a deadlock?";
    std::map<std::string, DWORD> w = ReadResults(writerResults);
    std::map<std::string, DWORD> r = ReadResults(readerResults);
    DeleteFileW(writerResults.c_str());
    DeleteFileW(readerResults.c_str());
    EXPECT_EQ(0u, w["failed"]);
    EXPECT_GT(w["written"], 1000u);
    EXPECT_EQ(0u, r["broken"]);
    EXPECT_GT(r["reads"], 50u);
    EXPECT_GT(r["lines"], 0u);
    std::vector<std::wstring> plans;
    ASSERT_TRUE(CheckRawLog(reader, &plans));
    ASSERT_EQ(w["written"], plans.size());
    for (size_t i = 0; i < plans.size(); ++i) {
        ASSERT_EQ(std::to_wstring(i + 1), plans[i]) << "line " << i + 1;
    }
    printf("hammer: %lu records written, %lu reads\n", w["written"], r["reads"]);
}

TEST_F(QuoLogDll, WritersKilledWhileWritingLeaveFilesTheNextStartReads)
{
    std::mt19937 random(GetTickCount());
    std::uniform_int_distribution<DWORD> delay(50, 600);
    DWORD dwNext = 1;
    for (int round = 0; round < 8; ++round) {
        CTestEvent ready(L"killready");
        CChildProcess victim;
        ASSERT_TRUE(victim.Start(L"dll_write_until_killed", {std::to_wstring(dwNext), ready.Name()}));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready.Get(), 30000));
        Sleep(delay(random));
        victim.Kill();
        dwNext += 100000;
        if (round % 2 == 1) {
            // What a crash in the middle of a write leaves: half a line.
            std::vector<std::wstring> names = CTempLog::ListRawFiles(ProductLogDir().c_str());
            ASSERT_FALSE(names.empty());
            std::wstring path = Join(ProductLogDir(), names.back());
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            HANDLE hFile = CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
            const wchar_t torn[] = L"2099/12/31,23:5";
            DWORD cb = 0;
            WriteFile(hFile, torn, sizeof(torn) - sizeof(wchar_t) + 1, &cb, nullptr);
            CloseHandle(hFile);
            ASSERT_TRUE(CheckRawLog(reader, nullptr)) << "round " << round << ": the torn line must be skipped";
        }
        ASSERT_EQ(0u, RunChild(L"dll_write", {L"1", L"3"})) << "round " << round;
        ASSERT_TRUE(CheckRawLog(reader, nullptr)) << "round " << round;
    }
    std::vector<std::wstring> plans;
    ASSERT_TRUE(CheckRawLog(reader, &plans));
    EXPECT_GT(plans.size(), 8u * 3u);
    for (const std::wstring& name : CTempLog::ListRawFiles(ProductLogDir().c_str())) {
        std::wstring text = ReadUtf16Text(Join(ProductLogDir(), name));
        EXPECT_EQ(L"\r\n", text.substr(text.size() - 2)) << testsupport::Narrow(name);
        EXPECT_EQ(std::wstring::npos, text.find(L"2099/12/31")) << testsupport::Narrow(name);
    }
}

}  // namespace
