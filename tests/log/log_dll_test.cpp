// QUOLog.dll as the service and the viewer use it: the result codes of the exports, the
// raw file written through the library, the read position across restarts, the worker's
// fold, recovery, a writer and a reader hammering the same files, and writers killed
// while writing. (A second writer process: the service's integration run, whose second
// copy the library refuses.)
//
// Runs on a clean machine with the product's own key and folder. This process never
// loads the library (its data shared between processes would outlive a killed writer);
// child processes of this executable load it and call its exports by ordinal.
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "CSVOperator.h"
#include "FolderTree.h"
#include "LogTestSupport.h"
#include "NamedMutex.h"
#include "TempLog.h"

using namespace logtest;
using testsupport::CChildProcess;

namespace {

const wchar_t kProductKey[] = L"Software\\ZAV\\QUOViewer\\QUOLog";
// Strings that need care in a raw line: a comma, quotes, a line break.
const wchar_t kPlan[] = L"Plan,one \"quoted\"";
const wchar_t kUser[] = L"name\r\nsecond";

const std::wstring kLogDir = testsupport::CommonAppDataFolder() + L"\\ZAV\\QUOViewer";

void SetProductString(const wchar_t* name, const std::wstring& value)
{
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kProductKey, name, REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

class CRawReader : public CCSVOperator {
public:
    DWORD Open() { return InitializeCSV(QUOLOG_FILE_LOCK_NAME, &m_lRecovery); }

private:
    volatile LONG m_lRecovery = 0;
};

// Every raw file of the product's log directory, oldest first: all lines whole (23
// cells, a valid time), their times strictly increasing. The plan names in order.
::testing::AssertionResult CheckRawLog(CRawReader& reader, std::vector<std::wstring>* pPlans)
{
    SYSTEMTIME stPrevious = MakeTime(1601, 1, 1);
    for (const std::wstring& name : CTempLog::ListRawFiles(kLogDir.c_str())) {
        CCSVOperator::LineTable table;
        DWORD dwResult = reader.ReadCSV(Join(kLogDir, name).c_str(), 1, table, nullptr);
        if (dwResult == ERROR_FILE_NOT_FOUND || dwResult == ERROR_INVALID_PARAMETER) {
            continue;  // no line yet
        }
        if (dwResult != ERROR_SUCCESS) {
            return ::testing::AssertionFailure() << "reading " << Narrow(name) << " gave " << dwResult;
        }
        for (const auto& line : table) {
            SYSTEMTIME st;
            std::wstring plan;
            if (line.second.size() != 23 || !CQuoLog::ConvertStrToSystime((line.second.at(1) + L"," + line.second.at(2)).c_str(), &st)
                || !CCSVOperator::GetString(table, line.first, 11, plan)) {
                return ::testing::AssertionFailure() << "line " << line.first << " of " << Narrow(name) << " is broken";
            }
            if (CQuoLog::CompareTime(st, stPrevious) <= 0) {
                return ::testing::AssertionFailure() << "line " << line.first << " of " << Narrow(name) << " is not later";
            }
            stPrevious = st;
            if (pPlans != nullptr) {
                pPlans->push_back(plan);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// ----- Child roles: each loads the library itself and leaves its figures, one a
// line, in the file args[0]. -----

// One step of a script against the library; its result code. A record written is
// followed by a short pause, so that the next one is later.
class CScript {
public:
    explicit CScript(CQuoLogDll& dll) : m_dll(dll) {}
    ~CScript()
    {
        if (m_later.joinable()) {
            m_later.join();
        }
    }

    DWORD Step(const std::wstring& step)
    {
        const size_t nColon = step.find(L':');
        const std::wstring arg = (nColon == std::wstring::npos) ? L"" : step.substr(nColon + 1);
        SYSTEMTIME now;
        GetLocalTime(&now);
        QuoLogRead rows[QUOLOG_DAY_ROWS];
        QuoLogRead total;
        auto write = [this](DWORD status) {
            QuoLogData record = MakeRecord(status, 1, kPlan, kUser);
            DWORD dwResult = m_dll.Write(&record);
            Sleep(5);
            return dwResult;
        };
        const std::map<std::wstring, std::function<DWORD()>> verbs = {
            {L"init", [&] {  // init:MODE,INTERVAL,DELAYED,DELAY
                 DWORD v[4] = {};
                 swscanf(arg.c_str(), L"%lu,%lu,%lu,%lu", &v[0], &v[1], &v[2], &v[3]);
                 return m_dll.Initialize(v[0], v[1], v[2], v[3]);
             }},
            {L"START", [&] { return write(QUOLOG_POWER_START); }},
            {L"S0", [&] { return write(QUOLOG_POWER_S0); }},
            {L"TO_S3S4", [&] { return write(QUOLOG_POWER_TO_S3S4); }},
            {L"write-null", [&] { return m_dll.Write(nullptr); }},
            {L"read", [&] { return m_dll.Read(QUOLOG_READ_DAY, &now, rows, QUOLOG_DAY_ROWS, &total); }},
            {L"read-null-time", [&] { return m_dll.Read(QUOLOG_READ_DAY, nullptr, rows, QUOLOG_DAY_ROWS, &total); }},
            {L"read-null-rows", [&] { return m_dll.Read(QUOLOG_READ_DAY, &now, nullptr, QUOLOG_DAY_ROWS, &total); }},
            {L"read-null-total", [&] { return m_dll.Read(QUOLOG_READ_DAY, &now, rows, QUOLOG_DAY_ROWS, nullptr); }},
            {L"recover", [&] { return m_dll.Recovery(); }},
            {L"finalize", [&] { m_dll.Finalize(); return 0ul; }},
            {L"S0-later", [&] {  // a write from another thread, 500 ms later
                 m_later = std::thread([this] {
                     Sleep(500);
                     m_dwLater = m_dll.Write(&m_record);
                 });
                 return 0ul;
             }},
            {L"join", [&] { m_later.join(); return m_dwLater; }},
            {L"signal", [&] {
                 CScopedKernelHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, arg.c_str()));
                 return SetEvent(event.Get()) ? 0ul : GetLastError();
             }},
            {L"wait", [&] {
                 CScopedKernelHandle event(OpenEventW(SYNCHRONIZE, FALSE, arg.c_str()));
                 return WaitForSingleObject(event.Get(), 60000);
             }},
            {L"sleep", [&] { Sleep(static_cast<DWORD>(_wtoi(arg.c_str()))); return 0ul; }},
        };
        auto verb = verbs.find(step.substr(0, nColon));
        return (verb == verbs.end()) ? ERROR_INVALID_FUNCTION : verb->second();
    }

private:
    CQuoLogDll& m_dll;
    const QuoLogData m_record = MakeRecord(QUOLOG_POWER_S0);
    std::thread m_later;
    DWORD m_dwLater = 0;
};

const wchar_t kReader[] = L"init:1,1000,0,0";
const wchar_t kWriter[] = L"init:2,5000,0,0";
const wchar_t kDelayedWriter[] = L"init:2,10,1,30";  // interval 10 ms, flush every 3 records

// Runs the steps args[1..] and leaves the result of each.
QUO_TEST_CHILD(dll_script)
{
    CQuoLogDll dll;
    if (!dll.Load()) {
        return 1;
    }
    std::ofstream out(Narrow(args.at(0)));
    CScript script(dll);
    for (size_t i = 1; i < args.size(); ++i) {
        out << script.Step(args[i]) << std::endl;
    }
    return 0;
}

// Writes records numbered in their plan names from args[1] on, every 7th a TO_S3S4, a
// few ms apart, delayed with a flush every 3; sets the event args[3] once it writes.
// For args[2] seconds, then leaves the number written and the number of failed writes;
// or, with 0, until killed.
QUO_TEST_CHILD(dll_numbered_writer)
{
    CQuoLogDll dll;
    if (!dll.Load() || dll.Initialize(QUOLOG_MODE_WRITER, 10, 1, 30) != ERROR_SUCCESS) {
        return 1;
    }
    SetEvent(CScopedKernelHandle(OpenEventW(EVENT_MODIFY_STATE, FALSE, args.at(3).c_str())).Get());
    const DWORD dwFirst = static_cast<DWORD>(_wtoi(args.at(1).c_str()));
    const ULONGLONG ullSeconds = static_cast<ULONGLONG>(_wtoi(args.at(2).c_str()));
    const ULONGLONG ullEnd = GetTickCount64() + 1000 * ullSeconds;
    DWORD dwFailed = 0;
    DWORD i = dwFirst;
    for (; ullSeconds == 0 || GetTickCount64() < ullEnd; ++i) {
        QuoLogData record = MakeRecord(i % 7 == 0 ? QUOLOG_POWER_TO_S3S4 : QUOLOG_POWER_S0, i, std::to_wstring(i));
        dwFailed += (dll.Write(&record) == ERROR_SUCCESS) ? 0 : 1;
        Sleep(3);
    }
    dll.Finalize();
    std::ofstream(Narrow(args.at(0))) << i - dwFirst << "\n" << dwFailed << std::endl;
    return 0;
}

// For args[1] seconds: reads every raw file under the file lock, as the library does,
// about every 10 ms; each read must show whole lines numbered 1, 2... and never fewer
// than before. Leaves the number of reads, of broken reads and the most lines seen.
// Does not load the library.
QUO_TEST_CHILD(dll_hammer_reader)
{
    CRawReader reader;
    if (reader.Open() != ERROR_SUCCESS) {
        return 1;
    }
    ULONGLONG ullEnd = GetTickCount64() + 1000ULL * static_cast<ULONGLONG>(_wtoi(args.at(1).c_str()));
    DWORD dwReads = 0;
    DWORD dwBroken = 0;
    size_t nMostLines = 0;
    for (; GetTickCount64() < ullEnd; ++dwReads) {
        std::vector<std::wstring> plans;
        bool bWhole = CheckRawLog(reader, &plans) && plans.size() >= nMostLines;
        for (size_t i = 0; bWhole && i < plans.size(); ++i) {
            bWhole = plans[i] == std::to_wstring(i + 1);
        }
        dwBroken += bWhole ? 0 : 1;
        nMostLines = std::max(nMostLines, plans.size());
        Sleep(10);
    }
    std::ofstream(Narrow(args.at(0))) << dwReads << "\n" << dwBroken << "\n" << nMostLines << std::endl;
    return 0;
}

// ----- The tests -----

// A child role started with a file of its own for its figures.
class CChildRun {
public:
    CChildRun() : m_path(testsupport::CommonAppDataFolder() + L"\\" + testsupport::UniqueName(L"figures") + L".txt") {}
    ~CChildRun() { DeleteFileW(m_path.c_str()); }

    bool Start(const wchar_t* role, std::vector<std::wstring> args)
    {
        args.insert(args.begin(), m_path);
        return m_child.Start(role, args);
    }
    // The figures once the child has ended with 0; none otherwise.
    std::vector<DWORD> Figures(DWORD dwTimeoutMs = 60000)
    {
        std::vector<DWORD> figures;
        if (m_child.Wait(dwTimeoutMs) == 0) {
            std::ifstream in(Narrow(m_path));
            for (DWORD value = 0; in >> value;) {
                figures.push_back(value);
            }
        }
        return figures;
    }
    CChildProcess& Child() { return m_child; }

private:
    std::wstring m_path;
    CChildProcess m_child;
};

std::vector<DWORD> RunScript(const std::vector<std::wstring>& steps)
{
    CChildRun run;
    return run.Start(L"dll_script", steps) ? run.Figures() : std::vector<DWORD>();
}

class QuoLogDll : public ::testing::Test {
protected:
    void SetUp() override
    {
        foldertree::DeleteTree((testsupport::CommonAppDataFolder() + L"\\ZAV").c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductKey);
        ASSERT_EQ(0u, reader.Open());
    }

    CRawReader reader;
};

TEST_F(QuoLogDll, EveryExportAnswersWithItsCode)
{
    // The answers before any start and a reader's refusal to write are those of
    // quolog_bind_probe; the kinds and row counts Read refuses those of log_read.
    const std::pair<std::wstring, DWORD> steps[] = {
        {L"finalize", 0},         {L"init:1,0,0,0", 87},   {L"init:2,1000,1,0", 87}, {L"init:3,1000,0,0", 87},
        {kReader, 0},             {kReader, 1247},         {L"write-null", 87},      {L"recover", 5},
        {L"read-null-time", 87},  {L"read-null-rows", 87}, {L"read-null-total", 87}, {L"read", 2},
        {L"finalize", 0},         {L"S0", 21},             {kWriter, 0},             {kWriter, 1247},
        {L"finalize", 0}};
    std::vector<std::wstring> script;
    for (const auto& step : steps) {
        script.push_back(step.first);
    }
    std::vector<DWORD> results = RunScript(script);
    ASSERT_EQ(ARRAYSIZE(steps), results.size());
    for (size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(steps[i].second, results[i]) << "step " << i << ": " << Narrow(steps[i].first);
    }
}

// Immediate and then delayed writing, each in a process of its own: each line byte for
// byte after its time stamp (a comma becomes a blank, CR LF two blanks, quotes stay),
// and the read position (2012/07/10, line 17) kept across both restarts.
TEST_F(QuoLogDll, TheRawFileHoldsEachRecordAsOneWholeLineAndTheReadPositionSurvivesRestarts)
{
    SetProductString(L"LastWriteDay", L"2012/07/10");
    DWORD dwLine = 17;
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kProductKey, L"LastWriteLine", REG_DWORD, &dwLine, sizeof(dwLine));
    const std::vector<DWORD> allZero(5, 0);
    EXPECT_EQ(allZero, RunScript({kWriter, L"START", L"S0", L"TO_S3S4", L"finalize"}));
    EXPECT_EQ(allZero, RunScript({kDelayedWriter, L"START", L"S0", L"TO_S3S4", L"finalize"}));
    EXPECT_EQ(L"2012/07/10", RegString(kProductKey, L"LastWriteDay"));
    EXPECT_EQ(17u, RegDword(kProductKey, L"LastWriteLine"));

    std::vector<std::wstring> lines;
    for (const std::wstring& name : CTempLog::ListRawFiles(kLogDir.c_str())) {
        for (const std::wstring& line : ReadUtf16Lines(Join(kLogDir, name))) {
            lines.push_back(line.substr(23));
        }
    }
    const std::wstring tail = L",10001,2001,1,80,40001,301,\"Plan one \"quoted\"\",5,2,7,1,\"LCD\",2,4,\"\",0,0,3,\"name  second\"";
    EXPECT_EQ(std::vector<std::wstring>({L",0,5" + tail, L",5000,1" + tail, L",0,3" + tail, L",0,5" + tail,
                                         L",10,1" + tail, L",0,3" + tail}),
              lines);
    EXPECT_TRUE(CheckRawLog(reader, nullptr));
}

TEST_F(QuoLogDll, TheFirstSampleMakesTheWorkerFoldTheDaysBeforeTodayIntoTheYearlyLog)
{
    SYSTEMTIME today;
    GetLocalTime(&today);
    SYSTEMTIME yesterday;
    ASSERT_TRUE(CQuoLog::OffsetDay(&today, &yesterday, -1));
    wchar_t szToday[16];
    wchar_t szYesterday[16];
    CQuoLog::FormatDate(today, szToday, ARRAYSIZE(szToday));
    CQuoLog::FormatDate(yesterday, szYesterday, ARRAYSIZE(szYesterday));
    std::wstring yearDir = Join(kLogDir, std::to_wstring(yesterday.wYear));
    MakeFolders(yearDir);
    std::wstring daily = Join(yearDir, L"QuoLogDaily" + DayName(yesterday) + L".csv");
    WriteUtf16File(daily, std::wstring(szYesterday) + L",10:00:00.000,1800,0,0,5000,1000,1800,0,0,\"QUO\",1800,\"\",0,0,1800,9\r\n");
    SetProductString(L"LastWriteDay", szToday);
    SetProductString(L"LastWriteDay2", szYesterday);
    std::wstring yearly = Join(kLogDir, L"QuoLogYearly" + std::to_wstring(yesterday.wYear) + L".csv");

    CTestEvent release(L"release");
    CChildRun writer;
    ASSERT_TRUE(writer.Start(L"dll_script", {kWriter, L"S0", L"wait:" + release.Name(), L"finalize"}));
    WaitUntil([&] { return FileExists(yearly); }, 20000);
    SetEvent(release.Get());
    EXPECT_EQ(std::vector<DWORD>({0, 0, 0, 0}), writer.Figures());
    EXPECT_EQ(std::vector<std::wstring>(
                  {std::wstring(szYesterday) + L",00:00:00.000,1800,0,0,5000,1000,1800,0,0,\"QUO\",1800,\"\",0,0,1800,9"}),
              ReadUtf16Lines(yearly));
    EXPECT_EQ(szToday, RegString(kProductKey, L"LastWriteDay2"));
}

// A raw file dated tomorrow (the clock was set back). First a recovery that cannot take
// the file lock, held here: meanwhile a reader process's read and a write from another
// thread of the writer get 170, the recovery's own wait ends with 170, and its rollback
// puts the file back. Then a recovery that runs: the record before it is dropped with
// 0, tomorrow's file goes, the record after it is written, no scratch folder is left.
TEST_F(QuoLogDll, RecoveryAfterTheClockWasSetBack)
{
    SYSTEMTIME tomorrow;
    GetLocalTime(&tomorrow);
    ASSERT_TRUE(CQuoLog::OffsetDay(&tomorrow, &tomorrow, 1));
    tomorrow.wHour = 8;
    MakeFolders(kLogDir);
    const std::wstring future = RawLine(tomorrow, QUOLOG_POWER_S0);
    const std::wstring futurePath = Join(kLogDir, L"QUOLogRaw" + DayName(tomorrow) + L".csv");
    WriteUtf16File(futurePath, future);

    CTestEvent ready(L"ready");
    CTestEvent go(L"go");
    CTestEvent recovering(L"recovering");
    CChildRun readerRun;
    ASSERT_TRUE(readerRun.Start(L"dll_script", {kReader, L"wait:" + recovering.Name(), L"sleep:500", L"read", L"finalize"}));
    CChildRun writer;
    ASSERT_TRUE(writer.Start(L"dll_script", {kWriter, L"signal:" + ready.Name(), L"wait:" + go.Name(),
                                             L"signal:" + recovering.Name(), L"S0-later", L"recover", L"join", L"finalize"}));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready.Get(), 30000));
    CNamedMutex lock;
    ASSERT_EQ(0u, lock.Initialize(QUOLOG_FILE_LOCK_NAME, 0));
    ASSERT_EQ(0u, lock.Lock(nullptr));
    SetEvent(go.Get());
    EXPECT_EQ(std::vector<DWORD>({0, 0, 0, 170, 0}), readerRun.Figures(30000));
    Sleep(4000 - 500);
    lock.Unlock();
    EXPECT_EQ(std::vector<DWORD>({0, 0, 0, 0, 0, 170, 170, 0}), writer.Figures(30000));
    EXPECT_EQ(L"\uFEFF" + future, ReadUtf16Text(futurePath));

    EXPECT_EQ(std::vector<DWORD>({0, 0, 0, 0, 0}), RunScript({kWriter, L"S0", L"recover", L"S0", L"finalize"}));
    EXPECT_FALSE(FileExists(futurePath));
    std::vector<std::wstring> plans;
    EXPECT_TRUE(CheckRawLog(reader, &plans));
    EXPECT_EQ(1u, plans.size());
    EXPECT_TRUE(NamesIn(kLogDir, L"RecoveryBackup*").empty());
}

// Both processes must end (no deadlock); the final log holds exactly 1..N in order. Five
// seconds in the suite, half a minute with the soak label.
TEST_F(QuoLogDll, AWriterAndAReaderHammerTheSameFiles)
{
    const DWORD dwSeconds = testsupport::SoakRun() ? 30 : 5;
    CTestEvent writing(L"writing");
    CChildRun writer;
    CChildRun readerRun;
    ASSERT_TRUE(writer.Start(L"dll_numbered_writer", {L"1", std::to_wstring(dwSeconds), writing.Name()}));
    ASSERT_TRUE(readerRun.Start(L"dll_hammer_reader", {std::to_wstring(dwSeconds)}));
    std::vector<DWORD> w = writer.Figures(120000);
    std::vector<DWORD> r = readerRun.Figures(120000);
    ASSERT_EQ(2u, w.size()) << "the writer did not end: a deadlock?";
    ASSERT_EQ(3u, r.size()) << "the reader did not end: a deadlock?";
    EXPECT_GT(w[0], dwSeconds * 33);
    EXPECT_EQ(0u, w[1]);
    EXPECT_GT(r[0], dwSeconds * 5 / 3);
    EXPECT_EQ(0u, r[1]);
    EXPECT_GT(r[2], 0u);
    std::vector<std::wstring> plans;
    ASSERT_TRUE(CheckRawLog(reader, &plans));
    ASSERT_EQ(w[0], plans.size());
    for (size_t i = 0; i < plans.size(); ++i) {
        ASSERT_EQ(std::to_wstring(i + 1), plans[i]) << "line " << i + 1;
    }
    printf("hammer: %lu records written, %lu reads\n", w[0], r[0]);
}

// A writer killed at a random point, and in every second round half a line appended as
// a crash mid-write leaves it: readers skip it, and the next writer starts, cuts it and
// writes. All files end in CR LF and times increase strictly across the whole log.
TEST_F(QuoLogDll, WritersKilledWhileWritingLeaveFilesTheNextStartReads)
{
    std::mt19937 random(GetTickCount());
    std::uniform_int_distribution<DWORD> delay(50, 600);
    for (int round = 0; round < 8; ++round) {
        CTestEvent ready(L"killready");
        CChildRun victim;
        ASSERT_TRUE(victim.Start(L"dll_numbered_writer", {std::to_wstring(round * 100000 + 1), L"0", ready.Name()}));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready.Get(), 30000));
        Sleep(delay(random));
        victim.Child().Kill();
        if (round % 2 == 1) {
            std::vector<std::wstring> names = CTempLog::ListRawFiles(kLogDir.c_str());
            ASSERT_FALSE(names.empty());
            std::wstring path = Join(kLogDir, names.back());
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            CScopedFileHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(file.IsValid());
            const wchar_t torn[] = L"2099/12/31,23:5";
            DWORD cb = 0;
            WriteFile(file.Get(), torn, sizeof(torn) - sizeof(wchar_t) + 1, &cb, nullptr);
            file.Reset();
            ASSERT_TRUE(CheckRawLog(reader, nullptr)) << "round " << round << ": the torn line must be skipped";
        }
        ASSERT_EQ(std::vector<DWORD>(5, 0), RunScript({kDelayedWriter, L"S0", L"S0", L"S0", L"finalize"})) << round;
        ASSERT_TRUE(CheckRawLog(reader, nullptr)) << "round " << round;
    }
    std::vector<std::wstring> plans;
    ASSERT_TRUE(CheckRawLog(reader, &plans));
    EXPECT_GT(plans.size(), 8u * 3u);
    for (const std::wstring& name : CTempLog::ListRawFiles(kLogDir.c_str())) {
        std::wstring text = ReadUtf16Text(Join(kLogDir, name));
        EXPECT_EQ(L"\r\n", text.substr(text.size() - 2)) << Narrow(name);
        EXPECT_EQ(std::wstring::npos, text.find(L"2099/12/31")) << Narrow(name);
    }
}

}  // namespace
