// quolog.exe, the administration tool, run as a program on a clean machine (it reads
// the product's registry key and takes the product's file lock): its arguments and exit
// codes, its state file, a sleep across midnight totalized and folded through it and
// read back as csv and json, and its refusal to work beside a writer of QUOLog.dll.
#include <gtest/gtest.h>

#include <fstream>

#include "FolderTree.h"
#include "LogTestSupport.h"
#include "NamedMutex.h"

using namespace logtest;

namespace {

void WriteText(const std::wstring& path, const std::string& text)
{
    std::ofstream(Narrow(path), std::ios::binary) << text;
}

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override { MakeFolders(dir); }
    void TearDown() override { foldertree::DeleteTree(dir.c_str()); }
    void AddRaw(const SYSTEMTIME& t, const RawSample& sample = RawSample()) { logtest::AddRaw(dir, t, sample); }
    ToolRun Totalize(const wchar_t* lpNow, bool bTwo = false)
    {
        return RunQuolog(bTwo ? std::vector<std::wstring>{L"totalize", L"--dir", dir, L"--now", lpNow, L"--two"}
                            : std::vector<std::wstring>{L"totalize", L"--dir", dir, L"--now", lpNow});
    }
    std::wstring StatePath() const { return Join(dir, L"quolog.state"); }

    std::wstring dir = testsupport::CommonAppDataFolder() + L"\\ZAVTest\\" + testsupport::UniqueName(L"cli");
};

std::string State(const char* lpDay, unsigned line, const char* lpDay2)
{
    return std::string("# quolog read positions of this log folder\r\nLastWriteDay=") + lpDay + "\r\nLastWriteLine="
        + std::to_string(line) + "\r\nLastWriteDay2=" + lpDay2 + "\r\n";
}

}  // namespace

// Bad arguments exit with 1 and a message on the error output only, before any work.
TEST_F(ToolTest, BadArgumentsGetAMessageAndExitCode1)
{
    EXPECT_EQ(0u, RunQuolog({L"--help"}).dwExitCode);
    const std::wstring now = L"2012/07/10,10:00:00.000";
    const std::vector<std::vector<std::wstring>> bad = {
        {}, {L"frobnicate"}, {L"totalize", L"--dir", dir},
        {L"totalize", L"--dir", dir, L"--now", L"2012/07/10 10:00:00"},
        {L"totalize", L"--dir", dir, L"--now", L"2012/02/30,10:00:00.000"},
        {L"totalize", L"--dir", dir, L"--now", now, L"--interval", L"0"},
        {L"totalize", L"--dir", dir, L"--now", now, L"--interval", L"5s"},
        {L"totalize", L"--dir", dir, L"--now", now, L"--dir", dir},
        {L"totalize", L"--dir", dir, L"--now", now, L"--format", L"csv"},
        {L"totalize", L"--dir", dir, L"--now", now, L"extra"},
        {L"read", L"day", L"2012/07/10"}, {L"read", L"hour", L"2012/07/10", L"--dir", dir},
        {L"read", L"day", L"2012/7/10", L"--dir", dir}, {L"read", L"month", L"2012/02/30", L"--dir", dir},
        {L"read", L"day", L"2012/07/10", L"--dir", dir, L"--format", L"xml"},
        {L"read", L"day", L"2012/07/10", L"--dir", dir, L"--today"},
        {L"read", L"day", L"2012/07/10", L"--dir", dir, L"--two"},
    };
    for (const auto& args : bad) {
        ToolRun run = RunQuolog(args);
        EXPECT_EQ(1u, run.dwExitCode) << run.err;
        EXPECT_FALSE(run.err.empty());
        EXPECT_TRUE(run.out.empty()) << run.err;
    }
    EXPECT_FALSE(FileExists(StatePath()));
    EXPECT_EQ(2u, RunQuolog({L"read", L"day", L"2012/07/10", L"--dir", dir + L"\\nowhere"}).dwExitCode);
}

TEST_F(ToolTest, TheStateFileStartsAtTheDateOfNowAndKeepsTheReadPositions)
{
    AddRaw(MakeTime(2012, 7, 9, 23, 0));  // before the new state file's start: not read
    AddRaw(MakeTime(2012, 7, 10, 10, 0, 0));
    AddRaw(MakeTime(2012, 7, 10, 10, 0, 5));
    ToolRun run = Totalize(L"2012/07/10,10:45:00.000");
    EXPECT_EQ(0u, run.dwExitCode) << run.err;
    EXPECT_EQ("TotalizeQuoLogOne: 0\r\n", run.out);
    EXPECT_EQ(State("2012/07/10", 2, "2012/07/10"), ReadText(StatePath()));
    EXPECT_EQ(std::vector<std::wstring>({L"2012/07/10,10:00:00.000,10,0,0,100,20,10,0,0,\"Balanced\",10,\"\",0,0,0,2"}),
              ReadUtf16Lines(Join(dir, L"2012\\QuoLogDaily20120710.csv")));
    EXPECT_FALSE(FileExists(Join(dir, L"2012\\QuoLogDaily20120709.csv")));

    // Nothing new: the step's answer is printed, and the command still ran.
    run = Totalize(L"2012/07/10,11:00:00.000", true);
    EXPECT_EQ(0u, run.dwExitCode);
    EXPECT_EQ("TotalizeQuoLogOne: 87\r\nTotalizeQuoLogTwo: not run\r\n", run.out);

    // A file edited by hand (LF line ends, a comment) is read; a broken one is refused
    // and left as it is.
    WriteText(StatePath(), "# moved back\nLastWriteDay=2012/07/10\nLastWriteLine=1\nLastWriteDay2=2012/07/10\n");
    run = Totalize(L"2012/07/10,11:00:00.000");
    EXPECT_EQ("TotalizeQuoLogOne: 0\r\n", run.out);
    EXPECT_EQ(State("2012/07/10", 2, "2012/07/10"), ReadText(StatePath()));
    EXPECT_EQ(1u, ReadUtf16Lines(Join(dir, L"2012\\QuoLogDaily20120710.csv")).size());  // not written twice

    const std::string broken[] = {
        "LastWriteDay=2012/07/10\r\nLastWriteLine=two\r\nLastWriteDay2=2012/07/10\r\n",
        "LastWriteDay=2012/07/10\r\nLastWriteLine=2\r\n",
        "LastWriteDay=2012/02/30\r\nLastWriteLine=2\r\nLastWriteDay2=2012/07/10\r\n",
        "LastWriteDay=2012/07/10\r\nLastWriteLine=2\r\nLastWriteDay2=2012/07/10\r\nLastWriteLine=3\r\n",
        "LastWriteDay=2012/07/10\r\nLastWriteLine=2\r\nLastWriteDay2=2012/07/10\r\nColour=blue\r\n",
        "LastWriteDay=2012/07/10\r\nLastWriteLine=99999999999\r\nLastWriteDay2=2012/07/10\r\n",
    };
    for (const std::string& text : broken) {
        WriteText(StatePath(), text);
        run = Totalize(L"2012/07/10,11:30:00.000");
        EXPECT_EQ(2u, run.dwExitCode) << text;
        EXPECT_EQ(text, ReadText(StatePath()));
    }
}

TEST_F(ToolTest, ASleepAcrossMidnightTotalizedFoldedAndReadBack)
{
    AddRaw(MakeTime(2012, 7, 10, 22, 9, 55));
    AddRaw(MakeTime(2012, 7, 10, 22, 10, 0), Status(QUOLOG_POWER_TO_S3S4, 40000));
    ToolRun run = Totalize(L"2012/07/10,22:20:00.000");
    EXPECT_EQ("TotalizeQuoLogOne: 995\r\n", run.out);  // asleep: nothing yet
    AddRaw(MakeTime(2012, 7, 11, 1, 5, 0), Status(QUOLOG_POWER_FROM_S3S4, 40300));
    AddRaw(MakeTime(2012, 7, 11, 1, 5, 5));
    run = Totalize(L"2012/07/11,01:30:00.000");
    EXPECT_EQ("TotalizeQuoLogOne: 0\r\n", run.out);
    AddRaw(MakeTime(2012, 7, 11, 23, 59, 55));
    run = Totalize(L"2012/07/12,00:00:00.000", true);
    EXPECT_EQ("TotalizeQuoLogOne: 0\r\nTotalizeQuoLogTwo: 0\r\n", run.out);
    EXPECT_EQ(State("2012/07/11", 3, "2012/07/12"), ReadText(StatePath()));
    EXPECT_EQ(std::vector<std::wstring>({
                  L"2012/07/10,00:00:00.000,5,6600,0,329,10,5,0,0,\"\",6600,\"Balanced\",5,0,0,1",
                  L"2012/07/11,00:00:00.000,10,3900,0,264,20,10,0,0,\"\",3900,\"Balanced\",10,0,0,2",
              }),
              ReadUtf16Lines(Join(dir, L"QuoLogYearly2012.csv")));

    run = RunQuolog({L"read", L"day", L"2012/07/11", L"--dir", dir, L"--today", L"2012/07/12"});
    EXPECT_EQ(0u, run.dwExitCode);
    std::vector<std::string> lines;
    for (size_t nPos = 0; nPos < run.out.size();) {
        size_t nEnd = run.out.find("\r\n", nPos);
        lines.push_back(run.out.substr(nPos, nEnd - nPos));
        nPos = (nEnd == std::string::npos) ? run.out.size() : nEnd + 2;
    }
    ASSERT_EQ(50u, lines.size());
    EXPECT_EQ("result,0", lines[0]);
    EXPECT_EQ("2012/07/11,00:00:00.000,0,1800,0,76,0,0,0,0,\"\",1800,\"\",0,0,0,0", lines[1]);
    EXPECT_EQ("2012/07/11,01:00:00.000,5,300,0,62,10,5,0,0,\"\",300,\"Balanced\",5,0,0,1", lines[3]);
    EXPECT_EQ("2012/07/11,01:30:00.000,0,0,0,0,0,0,0,0,\"\",0,\"\",0,0,0,0", lines[4]);
    EXPECT_EQ("2012/07/11,23:30:00.000,5,0,0,50,10,5,0,0,\"Balanced\",5,\"\",0,0,0,1", lines[48]);
    EXPECT_EQ("total,2012/07/11,00:00:00.000,10,3900,0,264,20,10,0,0,\"\",3900,\"Balanced\",10,0,0,2", lines[49]);

    run = RunQuolog({L"read", L"week", L"2012/07/11", L"--dir", dir, L"--today", L"2012/07/12", L"--format", L"json"});
    EXPECT_EQ(0u, run.dwExitCode);
    EXPECT_EQ(0u, run.out.find("{\"result\": 0, \"rows\": [\n  {\"stTime\": \"2012/07/08 00:00:00.000\", \"dwS0Time\": 0,"));
    EXPECT_NE(std::string::npos,
              run.out.find(",\n  {\"stTime\": \"2012/07/10 00:00:00.000\", \"dwS0Time\": 5, \"dwS3S4Time\": 6600, "
                           "\"dwS5Time\": 0, \"ullPCEnergy\": 329, \"ullMonEnergy\": 10, \"dwACTime\": 5, "
                           "\"dwDCTime\": 0, \"dwChargeTime\": 0, \"szPowerPlan1\": \"\", \"dwPowerPlan1Time\": 6600, "
                           "\"szPowerPlan2\": \"Balanced\", \"dwPowerPlan2Time\": 5, \"ullIdleEnergy\": 0, "
                           "\"ullReductPlanTime\": 0, \"ullReductEnergy\": 1},\n"));
    EXPECT_NE(std::string::npos,
              run.out.find("\n], \"total\": {\"stTime\": \"2012/07/11 00:00:00.000\", \"dwS0Time\": 15, "
                           "\"dwS3S4Time\": 10500, \"dwS5Time\": 0, \"ullPCEnergy\": 593,"));
    EXPECT_EQ("}\n", run.out.substr(run.out.size() - 2));
}

// A writer of QUOLog.dll until the event args[1] is set; sets args[0] once it is one.
QUO_TEST_CHILD(cli_dll_writer)
{
    CQuoLogDll dll;
    if (!dll.Load() || dll.Initialize(QUOLOG_MODE_WRITER, 5000, 0, 0) != ERROR_SUCCESS) {
        return 1;
    }
    SetEvent(CScopedKernelHandle(OpenEventW(EVENT_MODIFY_STATE, FALSE, args.at(0).c_str())).Get());
    WaitForSingleObject(CScopedKernelHandle(OpenEventW(SYNCHRONIZE, FALSE, args.at(1).c_str())).Get(), 60000);
    dll.Finalize();
    return 0;
}

// The tool takes the library's file lock (a read answers with its result, 170) and
// refuses to totalize beside a writer of the library.
TEST_F(ToolTest, TheToolTakesTheFileLockAndTotalizesOnlyWithoutAWriterOfTheLibrary)
{
    AddRaw(MakeTime(2012, 7, 10, 10, 0));
    ASSERT_EQ(0u, Totalize(L"2012/07/10,10:30:00.000").dwExitCode);
    {
        CNamedMutex lock;
        ASSERT_EQ(0u, lock.Initialize(L"QuoLogFileAccess", 3000));
        ASSERT_EQ(0u, lock.Lock(nullptr));
        ToolRun held = RunQuolog({L"read", L"day", L"2012/07/10", L"--dir", dir, L"--today", L"2012/07/11"});
        lock.Unlock();
        EXPECT_EQ(0u, held.dwExitCode);
        EXPECT_EQ(0u, held.out.find("result,170\r\n"));
    }
    AddRaw(MakeTime(2012, 7, 10, 10, 30));
    const std::string state = ReadText(StatePath());
    CTestEvent ready(L"cliReady");
    CTestEvent release(L"cliRelease");
    testsupport::CChildProcess writer;
    ASSERT_TRUE(writer.Start(L"cli_dll_writer", {ready.Name(), release.Name()}));
    HANDLE waits[] = {ready.Get(), writer.Handle()};
    ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, waits, FALSE, 30000));

    ToolRun run = Totalize(L"2012/07/10,11:00:00.000");
    EXPECT_EQ(3u, run.dwExitCode);
    EXPECT_EQ(state, ReadText(StatePath()));
    // Reading beside the writer is allowed.
    run = RunQuolog({L"read", L"day", L"2012/07/10", L"--dir", dir, L"--today", L"2012/07/11"});
    EXPECT_EQ(0u, run.dwExitCode);
    EXPECT_EQ(0u, run.out.find("result,0\r\n"));

    SetEvent(release.Get());
    EXPECT_EQ(0u, writer.Wait(30000));
    run = Totalize(L"2012/07/10,11:00:00.000");
    EXPECT_EQ(0u, run.dwExitCode);
    EXPECT_EQ("TotalizeQuoLogOne: 0\r\n", run.out);
}
