// The writer never works through a link: log folders, year folders and raw files that
// are symbolic or hard links are refused, and a recovery leaves what they point to
// alone. The folders come from link-fixture.sh (QUO_LINK_FIXTURE).
#include <gtest/gtest.h>

#include "FolderTree.h"
#include "LogTestSupport.h"
#include "TotalizeLog.h"

using namespace logtest;

namespace {

class LinkRefusal : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t sz[MAX_PATH] = L"";
        ASSERT_NE(0u, GetEnvironmentVariableW(L"QUO_LINK_FIXTURE", sz, ARRAYSIZE(sz))) << "run through link-fixture.sh";
        fixture = sz;
        target = Join(fixture, L"target");
    }

    // A writer whose base folder is the fixture's folder `base`.
    DWORD OpenWriter(const wchar_t* base)
    {
        baseFolder = Join(fixture, base);
        QuoLogEnvironment env = place.Env();
        env.lpBaseFolder = baseFolder.c_str();
        quoLog.reset(new CQuoLog(env));
        return quoLog->mQUOLogInitialize(QUOLOG_MODE_WRITER, 1000, 0, 0);
    }

    const std::vector<std::wstring> kTargetNames = {L"hard.csv", L"marker.csv"};
    CLogTestPlace place{L"link"};
    std::wstring fixture, target, baseFolder;
    std::unique_ptr<CQuoLog> quoLog;
};

TEST_F(LinkRefusal, ALinkedLogFolderStopsTheWriter)
{
    EXPECT_EQ(foldertree::kErrorLinkRefused, OpenWriter(L"base1"));
    EXPECT_EQ(0, place.lWriter);
    EXPECT_EQ(foldertree::kErrorLinkRefused, OpenWriter(L"base2"));
    EXPECT_EQ(0, place.lWriter);
    EXPECT_EQ(kTargetNames, NamesIn(target));
}

TEST_F(LinkRefusal, ALinkedYearFolderIsNeitherWrittenNorFollowedByARecovery)
{
    ASSERT_EQ(0u, OpenWriter(L"base3"));
    SYSTEMTIME day = MakeTime(2012, 7, 10);
    wchar_t szPath[MAX_PATH];
    SetLastError(0);
    EXPECT_FALSE(quoLog->GetLogFullPath(CCSVOperator::LOG_KIND_DAILY, &day, szPath, ARRAYSIZE(szPath), TRUE));
    EXPECT_EQ(foldertree::kErrorLinkRefused, GetLastError());
    std::wstring scratch = Join(baseFolder, L"scratch");
    MakeFolders(scratch);
    EXPECT_EQ(foldertree::kErrorLinkRefused,
              quoLog->GetTotalizeLog()->DeleteIllegalDailyData(quoLog->GetLogDir(), scratch.c_str(), MakeTime(2012, 7, 10)));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Join(quoLog->GetLogDir(), L"2013").c_str()));
    EXPECT_EQ(kTargetNames, NamesIn(target));
    EXPECT_EQ(ReadFileBytes(Join(target, L"marker.csv")).size(), 2u);
}

TEST_F(LinkRefusal, ALinkedRawFileIsNotWritten)
{
    for (const wchar_t* base : {L"base4", L"base5"}) {
        ASSERT_EQ(0u, OpenWriter(base)) << Narrow(base);
        QuoLogData record = MakeRecord(QUOLOG_POWER_S0);
        EXPECT_EQ(foldertree::kErrorLinkRefused, quoLog->WriteAt(&record, MakeTime(2012, 7, 10, 10, 0)))
            << Narrow(base);
        quoLog.reset();
    }
    EXPECT_EQ(2u, ReadFileBytes(Join(target, L"marker.csv")).size());
    EXPECT_EQ(2u, ReadFileBytes(Join(target, L"hard.csv")).size());
}

// The writer remembers the raw file it checked; a link put in its place later (by
// link-fixture.sh, on "ready") is another file and is refused all the same.
TEST_F(LinkRefusal, ARawFileSwappedForALinkIsNotWritten)
{
    ASSERT_EQ(0u, OpenWriter(L"base6"));
    QuoLogData record = MakeRecord(QUOLOG_POWER_S0);
    ASSERT_EQ(0u, quoLog->WriteAt(&record, MakeTime(2012, 7, 10, 10, 0)));
    WriteUtf16File(Join(baseFolder, L"ready"), L"");
    std::wstring swapped = Join(baseFolder, L"swapped");
    ASSERT_TRUE(WaitUntil([&] { return GetFileAttributesW(swapped.c_str()) != INVALID_FILE_ATTRIBUTES; }, 30000));
    EXPECT_EQ(foldertree::kErrorLinkRefused, quoLog->WriteAt(&record, MakeTime(2012, 7, 10, 10, 1)));
    EXPECT_EQ(2u, ReadFileBytes(Join(target, L"marker.csv")).size());
}

}  // namespace
