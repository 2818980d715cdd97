// CCSVOperator and the folder operations: the file format (byte-order mark, whole
// lines, torn last lines), walking, reading and cutting, the file lock, and the
// protected folders.
#include <windows.h>

#include <sddl.h>

#include <thread>

#include <gtest/gtest.h>

#include "CSVOperator.h"
#include "FolderTree.h"
#include "LogTestSupport.h"

using namespace logtest;

namespace {

class CTestCSV : public CCSVOperator {
public:
    using CCSVOperator::AppendLines;
    using CCSVOperator::InitializeCSV;
};

class CsvTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(0u, csv.InitializeCSV(place.LockName().c_str(), &place.lRecovery)); }

    std::wstring PathOf(const std::wstring& name) { return Join(place.Base(), name); }

    CLogTestPlace place{L"csv"};
    CTestCSV csv;
};

// Two days of raw lines: 2012/07/10 10:00, 10:29:59, 10:30, 11:00 and 2012/07/11 00:10.
std::wstring SampleLines()
{
    return RawLine(MakeTime(2012, 7, 10, 10, 0), 1) + RawLine(MakeTime(2012, 7, 10, 10, 29, 59, 999), 1)
        + RawLine(MakeTime(2012, 7, 10, 10, 30), 3) + RawLine(MakeTime(2012, 7, 10, 11, 0), 2)
        + RawLine(MakeTime(2012, 7, 11, 0, 10), 1);
}

// One byte-order mark, a hidden file; a torn last line (half a line, an odd byte, half
// a byte-order mark: what a crash may leave) is cut before appending.
TEST_F(CsvTest, AppendWritesOneMarkIntoAHiddenFileAndCutsATornLastLineFirst)
{
    std::wstring path = PathOf(L"a.csv");
    ASSERT_EQ(0u, csv.AppendLines(path.c_str(), L"one\r\n", nullptr));
    ASSERT_EQ(0u, csv.AppendLines(path.c_str(), L"two\r\n", nullptr));
    EXPECT_EQ(L"\uFEFFone\r\ntwo\r\n", ReadUtf16Text(path));
    EXPECT_NE(0u, GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    const struct { const wchar_t* lpText; bool bMark; std::vector<unsigned char> tail; const wchar_t* lpAfter; } torn[] = {
        {L"whole\r\n2012/07/10,10:4", true, {0x41}, L"\uFEFFwhole\r\nnext\r\n"},
        {L"2012/07/1", true, {}, L"\uFEFFnext\r\n"}, {L"", false, {0xFF}, L"\uFEFFnext\r\n"}};
    for (const auto& entry : torn) {
        WriteUtf16File(path, entry.lpText, entry.bMark, entry.tail);
        ASSERT_EQ(0u, csv.AppendLines(path.c_str(), L"next\r\n", nullptr));
        EXPECT_EQ(entry.lpAfter, ReadUtf16Text(path)) << Narrow(entry.lpText);
    }
}

TEST_F(CsvTest, AnOpenThatMeetsAnotherProgramsHandleIsTriedAgain)
{
    std::wstring path = PathOf(L"busy.csv");
    WriteUtf16File(path, L"one\r\n");
    HANDLE hOther = CreateFileW(path.c_str(), GENERIC_READ, 0 /* no sharing */, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hOther);
    std::thread closer([hOther] {
        Sleep(200);
        CloseHandle(hOther);
    });
    EXPECT_EQ(0u, csv.AppendLines(path.c_str(), L"two\r\n", nullptr));
    closer.join();
    EXPECT_EQ(L"\uFEFFone\r\ntwo\r\n", ReadUtf16Text(path));
}

TEST_F(CsvTest, ReadLastLineTakesTheStartOfTheLastWholeLine)
{
    std::wstring path = PathOf(L"last.csv");
    const std::pair<std::wstring, const wchar_t*> files[] = {
        {SampleLines() + L"2099/12/31,23:59", L"2012/07/11,00:10:00.000"},  // a torn line at the end
        // A last line longer than the tail the reader looks at first.
        {RawLine(MakeTime(2012, 7, 10, 9, 0), 1) + L"2012/07/10,09:30:00.000," + std::wstring(3000, L'y') + L"\r\n",
         L"2012/07/10,09:30:00.000"},
        {L"single\r\n", L"single"},
        {L"no whole line", L""}};
    for (const auto& file : files) {
        wchar_t sz[24];
        WriteUtf16File(path, file.first);
        ASSERT_EQ(0u, csv.ReadLastLine(path.c_str(), sz, ARRAYSIZE(sz), nullptr));
        EXPECT_STREQ(file.second, sz);
    }
    wchar_t sz[24];
    WriteUtf16File(path, L"");
    EXPECT_EQ(2u, csv.ReadLastLine(path.c_str(), sz, ARRAYSIZE(sz), nullptr));
    EXPECT_EQ(2u, csv.ReadLastLine(PathOf(L"missing.csv").c_str(), sz, ARRAYSIZE(sz), nullptr));
}

TEST_F(CsvTest, ReadCSVLoadsFromALineOnSkipsATornLineAndStopsForARecovery)
{
    std::wstring path = PathOf(L"read.csv");
    WriteUtf16File(path, SampleLines() + L"2012/07/11,00:20:00.000,5000,1");
    CCSVOperator::LineTable table;
    ASSERT_EQ(0u, csv.ReadCSV(path.c_str(), 3, table, nullptr));
    ASSERT_EQ(3u, table.size());
    EXPECT_EQ(L"10:30:00.000", table[1][2]);
    EXPECT_EQ(23u, table[1].size());
    // The cell values are read in every worked example of the totals; here the cells
    // that are not there.
    DWORD dw = 0;
    std::wstring text;
    EXPECT_FALSE(CCSVOperator::GetDWORD(table, 1, 24, &dw));
    EXPECT_FALSE(CCSVOperator::GetString(table, 4, 1, text));

    EXPECT_EQ(87u, csv.ReadCSV(path.c_str(), 6, table, nullptr));
    EXPECT_TRUE(table.empty());
    ASSERT_EQ(0u, csv.ReadCSV(path.c_str(), 5, table, nullptr));
    EXPECT_EQ(1u, table.size());
    EXPECT_EQ(2u, csv.ReadCSV(PathOf(L"missing.csv").c_str(), 1, table, nullptr));
    place.lRecovery = 1;  // reading stops once a recovery starts
    EXPECT_EQ(995u, csv.ReadCSV(path.c_str(), 1, table, nullptr));
    EXPECT_TRUE(table.empty());
}

TEST_F(CsvTest, CutRemovesTheLinesFromTheEndTimeOn)
{
    std::wstring path = PathOf(L"cut.csv");
    std::wstring longLine = L"2012/07/10,10:29:59.999," + std::wstring(1500, L'z') + L"\r\n";
    WriteUtf16File(path, RawLine(MakeTime(2012, 7, 10, 10, 0), 1) + longLine + RawLine(MakeTime(2012, 7, 10, 10, 30), 1)
                             + RawLine(MakeTime(2012, 7, 10, 11, 0), 1));
    ASSERT_EQ(0u, csv.CutIllegalCSVByDate(path.c_str(), MakeTime(2012, 7, 10, 10, 30)));
    EXPECT_EQ(L"\uFEFF" + RawLine(MakeTime(2012, 7, 10, 10, 0), 1) + longLine, ReadUtf16Text(path));
    // Nothing at or after the end time: only a torn last line goes.
    WriteUtf16File(path, RawLine(MakeTime(2012, 7, 10, 9, 0), 1), true, {0x32, 0x00, 0x30});
    ASSERT_EQ(0u, csv.CutIllegalCSVByDate(path.c_str(), MakeTime(2012, 7, 10, 10, 30)));
    EXPECT_EQ(L"\uFEFF" + RawLine(MakeTime(2012, 7, 10, 9, 0), 1), ReadUtf16Text(path));
    WriteUtf16File(path, L"");
    ASSERT_EQ(0u, csv.CutIllegalCSVByDate(path.c_str(), MakeTime(2000, 1, 1)));
    EXPECT_EQ(L"\uFEFF", ReadUtf16Text(path));
    EXPECT_EQ(0u, csv.CutIllegalCSVByDate(PathOf(L"missing.csv").c_str(), MakeTime(2000, 1, 1)));
    EXPECT_FALSE(FileExists(PathOf(L"missing.csv")));
}

// A wait for the file lock held elsewhere stops on its abort event. (A wait that times
// out with 170: log_dll's recovery and the fold that meets a held lock in log_totalize.)
TEST_F(CsvTest, AWaitForTheFileLockStopsOnItsAbortEvent)
{
    std::wstring path = PathOf(L"lock.csv");
    WriteUtf16File(path, SampleLines());
    CNamedMutex holder;
    ASSERT_EQ(0u, holder.Initialize(place.LockName().c_str(), 0));
    ASSERT_EQ(0u, holder.Lock(nullptr));
    CCSVOperator::LineTable table;
    DWORD dwAborted = 0;
    CScopedKernelHandle abort(CreateEventW(nullptr, TRUE, TRUE /* set */, nullptr));
    std::thread([&] { dwAborted = csv.ReadCSV(path.c_str(), 1, table, abort.Get()); }).join();
    EXPECT_EQ(995u, dwAborted);
    holder.Unlock();
}

// The files a recovery backs up and cuts are checked through CQuoLog (log_core); here
// a path that would overflow the tree walk's buffers.
TEST_F(CsvTest, RepeatDeleteFileRefusesAnOverlongPath)
{
    std::wstring src = PathOf(L"logs");
    std::wstring longPath = src + L"\\" + std::wstring(CCSVOperator::kMaxTreePathChars + 1 - src.size(), L'p');
    EXPECT_EQ(87u, csv.RepeatDeleteFile(longPath.c_str(), PathOf(L"backup").c_str(), MakeTime(2012, 7, 10),
                                        CCSVOperator::LOG_KIND_RAW));
}

TEST(FolderTree, FoldersAreMadeWithAProtectedDescriptorThatLetsUsersOnlyRead)
{
    PSECURITY_DESCRIPTOR pSd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(foldertree::kFolderSddl, SDDL_REVISION_1, &pSd, nullptr));
    CScopedLocalMem sd(pSd);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD dwRevision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(pSd, &control, &dwRevision));
    EXPECT_NE(0, control & SE_DACL_PROTECTED);
    BOOL bPresent = FALSE, bDefaulted = FALSE;
    PACL pAcl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(pSd, &bPresent, &pAcl, &bDefaulted) && bPresent && pAcl != nullptr);
    ASSERT_EQ(3u, pAcl->AceCount);
    const WELL_KNOWN_SID_TYPE sids[] = {WinLocalSystemSid, WinBuiltinAdministratorsSid, WinBuiltinUsersSid};
    for (DWORD i = 0; i < 3; ++i) {
        ACCESS_ALLOWED_ACE* pAce = nullptr;
        ASSERT_TRUE(GetAce(pAcl, i, reinterpret_cast<LPVOID*>(&pAce)));
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, pAce->Header.AceType);
        EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, pAce->Header.AceFlags);
        EXPECT_TRUE(IsWellKnownSid(&pAce->SidStart, sids[i]));
        bool bWrites = (pAce->Mask & (FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC)) != 0;
        EXPECT_EQ(i < 2, bWrites) << i;
        EXPECT_EQ(FILE_GENERIC_READ, pAce->Mask & FILE_GENERIC_READ);
    }
}

// Copying, merging and deleting trees are checked through a recovery and its rollback
// (log_core), a file where a folder should be through a writer's start (log_core).
TEST(FolderTree, ANewFolderMustNotExistYet)
{
    CLogTestPlace place(L"tree");
    std::wstring made = Join(place.Base(), L"made");
    EXPECT_EQ(0u, foldertree::CreateNewProtectedFolder(made.c_str()));
    EXPECT_EQ(183u, foldertree::CreateNewProtectedFolder(made.c_str()));
}

}  // namespace
