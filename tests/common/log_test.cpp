// The trace log: registry configuration, both line forms, levels, the file's byte-order
// mark, DACL and attributes, truncation, the mutex, and writers in several processes.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Log.h"
#include "NamedMutex.h"
#include "Trace.h"
#include "TraceFileSecurity.h"
#include "TestSupport.h"
#include "WineDifferences.h"

using namespace testsupport;

namespace {

const std::wstring kStamp = LR"(\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\])";

class LogTest : public ::testing::Test {
protected:
    std::wstring KeyPath() const { return m_key.Path() + L"\\DbgLog"; }

    // Configures the DbgLog key with a file of this test's own.
    void Configure(DWORD dwForm, DWORD dwLevel)
    {
        m_key.SetString(L"DbgLog", L"filename", m_fileName);
        m_key.SetDword(L"DbgLog", L"logform", dwForm);
        m_key.SetDword(L"DbgLog", L"loglevel", dwLevel);
    }

    std::wstring FilePath() const { return CommonAppDataFolder() + L"\\" + m_fileName; }

    std::vector<std::wstring> Lines() const { return ReadUtf16Lines(FilePath()); }

    void TearDown() override { DeleteFileIfExists(FilePath()); }

    CTestRegKey m_key{L"log"};
    std::wstring m_fileName = UniqueName(L"trace") + L".log";
};

TEST_F(LogTest, ShortFormWritesStampAndMessage)
{
    Configure(TRACE_FORM_SHORT, 2);
    CLog log;
    ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
    log.Trace(0, L"CFoo::Bar", 12, L"Value %s %u", L"wide", 42u);

    auto lines = Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_TRUE(std::regex_match(lines[0], std::wregex(kStamp + L" Value wide 42"))) << Narrow(lines[0]);
}

TEST_F(LogTest, LongFormCarriesIdsFunctionAndLine)
{
    Configure(TRACE_FORM_LONG, 2);
    CLog log;
    ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
    log.Trace(1, L"CThread::Initialize", 120, L"Enter");

    wchar_t szIds[32];
    swprintf(szIds, 32, L"[%08X][%08X]", GetCurrentProcessId(), GetCurrentThreadId());
    auto lines = Lines();
    ASSERT_EQ(1u, lines.size());
    ASSERT_EQ(0u, lines[0].find(L"[")) << Narrow(lines[0]);
    std::wstring body = lines[0].substr(25);
    EXPECT_EQ(std::wstring(szIds) + L"[CThread::Initialize][120] Enter", body);
    EXPECT_TRUE(std::regex_match(lines[0].substr(0, 25), std::wregex(kStamp)));
}

TEST_F(LogTest, LevelsAboveTheConfiguredOneAreSkipped)
{
    Configure(TRACE_FORM_SHORT, 1);
    CLog log;
    ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
    log.Trace(0, L"F", 1, L"zero");
    log.Trace(1, L"F", 1, L"one");
    log.Trace(2, L"F", 1, L"two");
    log.Trace(0xFFFFFFFF, L"F", 1, L"huge");

    auto lines = Lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_NE(std::wstring::npos, lines[0].find(L" zero"));
    EXPECT_NE(std::wstring::npos, lines[1].find(L" one"));
}

TEST_F(LogTest, NothingIsWrittenWithoutAUsableForm)
{
    for (DWORD dwForm : {0u, 3u}) {
        Configure(dwForm, 5);
        CLog log;
        ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
        log.Trace(0, L"F", 1, L"line");
        EXPECT_FALSE(FileExists(FilePath())) << "logform " << dwForm;
    }
    // A form stored as text is not taken: tracing stays off.
    m_key.SetString(L"DbgLog", L"logform", L"1");
    CLog log;
    ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
    log.Trace(0, L"F", 1, L"line");
    EXPECT_FALSE(FileExists(FilePath()));
}

TEST_F(LogTest, MissingKeyWritesNoFile)
{
    CLog log;
    std::wstring missing = m_key.Path() + L"\\NoSuchKey";
    ASSERT_EQ(0u, log.Initialize(missing.c_str()));
    log.Trace(0, L"F", 1, L"line");
    EXPECT_FALSE(FileExists(CommonAppDataFolder() + L"\\default.log"));
    EXPECT_FALSE(log.IsEnabled(0));
}

TEST_F(LogTest, ByteOrderMarkOnlyAtTheStartOfTheFile)
{
    Configure(TRACE_FORM_SHORT, 0);
    CLog log;
    ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
    log.Trace(0, L"F", 1, L"first");
    log.Trace(0, L"F", 1, L"second");

    auto bytes = ReadFileBytes(FilePath());
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(0xFF, bytes[0]);
    EXPECT_EQ(0xFE, bytes[1]);
    size_t nMarks = 0;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        nMarks += (bytes[i] == 0xFF && bytes[i + 1] == 0xFE);
    }
    EXPECT_EQ(1u, nMarks);
    // Lines end in CR LF, no terminator is written.
    EXPECT_EQ('\n', bytes[bytes.size() - 2]);
    EXPECT_EQ(0, bytes[bytes.size() - 1]);
    EXPECT_EQ(2u, Lines().size());
}

// The DACL of the trace file, in order: LocalSystem, Administrators, Users, each with
// read and write (still generic in a descriptor that was built, mapped to file rights
// in one that Windows stored), inherited by containers.
void ExpectTraceFileDacl(PACL pDacl, bool bGenericRights)
{
    ASSERT_NE(nullptr, pDacl);
    ASSERT_EQ(3u, pDacl->AceCount);
    const wchar_t* expectedSids[] = {L"S-1-5-18", L"S-1-5-32-544", L"S-1-5-32-545"};
    for (DWORD i = 0; i < 3; ++i) {
        ACCESS_ALLOWED_ACE* pAce = nullptr;
        ASSERT_TRUE(GetAce(pDacl, i, reinterpret_cast<LPVOID*>(&pAce)));
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, pAce->Header.AceType);
        EXPECT_EQ(CONTAINER_INHERIT_ACE, pAce->Header.AceFlags);
        LPWSTR lpSid = nullptr;
        ASSERT_TRUE(ConvertSidToStringSidW(&pAce->SidStart, &lpSid));
        EXPECT_STREQ(expectedSids[i], lpSid);
        LocalFree(lpSid);
        if (bGenericRights) {
            EXPECT_EQ(static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE), pAce->Mask);
        } else {
            EXPECT_EQ(static_cast<DWORD>(FILE_GENERIC_READ | FILE_GENERIC_WRITE), pAce->Mask);
        }
    }
}

TEST(TraceFileSecurity, GrantsSystemAdministratorsAndUsers)
{
    CTraceFileSecurity security;
    LPSECURITY_ATTRIBUTES pSa = security.Get();
    ASSERT_NE(nullptr, pSa);
    EXPECT_EQ(sizeof(SECURITY_ATTRIBUTES), pSa->nLength);
    EXPECT_FALSE(pSa->bInheritHandle);
    BOOL bPresent = FALSE;
    BOOL bDefaulted = TRUE;
    PACL pDacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(pSa->lpSecurityDescriptor, &bPresent, &pDacl, &bDefaulted));
    EXPECT_TRUE(bPresent);
    ExpectTraceFileDacl(pDacl, true);
    ACL_SIZE_INFORMATION size = {};
    ASSERT_TRUE(GetAclInformation(pDacl, &size, sizeof(size), AclSizeInformation));
    EXPECT_EQ(0u, size.AclBytesFree);  // sized exactly: SIDs plus 32 bytes
}

TEST_F(LogTest, FileIsHiddenAndCreatedWithItsOwnSecurity)
{
    Configure(TRACE_FORM_SHORT, 0);
    CLog log;
    ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
    log.Trace(0, L"F", 1, L"line");

    DWORD dwAttributes = GetFileAttributesW(FilePath().c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, dwAttributes);
    EXPECT_TRUE(dwAttributes & FILE_ATTRIBUTE_HIDDEN);
    if (!winediff::KeepsFileSecurityDescriptors()) {
        return;
    }
    PACL pDacl = nullptr;
    PSECURITY_DESCRIPTOR pSd = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, GetNamedSecurityInfoW(FilePath().c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                                   nullptr, nullptr, &pDacl, nullptr, &pSd));
    ExpectTraceFileDacl(pDacl, false);
    LocalFree(pSd);
}

TEST_F(LogTest, LongMessageIsCutAndKeepsItsStamp)
{
    Configure(TRACE_FORM_SHORT, 0);
    CLog log;
    ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
    std::wstring message(3000, L'x');
    log.Trace(0, L"F", 1, L"%s", message.c_str());
    log.Trace(0, L"F", 1, L"after");

    auto bytes = ReadFileBytes(FilePath());
    std::wstring text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        text += static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
    }
    // The cut line lost its CR LF: the next stamp follows the last 'x' directly.
    std::wsmatch match;
    ASSERT_TRUE(std::regex_match(text, match, std::wregex(L"(" + kStamp + L" x+)(" + kStamp + L" after\r\n)")))
        << Narrow(text.substr(0, 80));
    EXPECT_EQ(1023u, match[1].length());
}

TEST_F(LogTest, FileNameThatClimbsOutFallsBackToDefault)
{
    const std::wstring defaultPath = CommonAppDataFolder() + L"\\default.log";
    for (const wchar_t* lpName : {L"..\\escape.log", L"sub\\..\\escape.log", L"../escape.log"}) {
        DeleteFileIfExists(defaultPath);
        m_key.SetString(L"DbgLog", L"filename", lpName);
        m_key.SetDword(L"DbgLog", L"logform", TRACE_FORM_SHORT);
        m_key.SetDword(L"DbgLog", L"loglevel", 0);
        CLog log;
        ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
        log.Trace(0, L"F", 1, L"line");
        EXPECT_TRUE(FileExists(defaultPath)) << Narrow(lpName);
        EXPECT_FALSE(FileExists(L"C:\\escape.log"));
    }
    DeleteFileIfExists(defaultPath);
}

TEST_F(LogTest, FileNameMayNameAnExistingSubFolder)
{
    std::wstring folder = CommonAppDataFolder() + L"\\" + UniqueName(L"sub");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    m_fileName = folder.substr(CommonAppDataFolder().size() + 1) + L"\\in_sub.log";
    Configure(TRACE_FORM_SHORT, 0);
    CLog log;
    ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
    log.Trace(0, L"F", 1, L"line");
    EXPECT_EQ(1u, Lines().size());
    DeleteFileIfExists(FilePath());
    RemoveDirectoryW(folder.c_str());
}

TEST_F(LogTest, OverlongOrMistypedFileNameCountsAsMissing)
{
    const std::wstring defaultPath = CommonAppDataFolder() + L"\\default.log";
    m_key.SetDword(L"DbgLog", L"logform", TRACE_FORM_SHORT);
    m_key.SetDword(L"DbgLog", L"loglevel", 0);
    for (int nCase = 0; nCase < 2; ++nCase) {
        DeleteFileIfExists(defaultPath);
        if (nCase == 0) {
            m_key.SetString(L"DbgLog", L"filename", std::wstring(261, L'n'));
        } else {
            m_key.SetDword(L"DbgLog", L"filename", 7);
        }
        CLog log;
        ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
        log.Trace(0, L"F", 1, L"line");
        EXPECT_TRUE(FileExists(defaultPath)) << "case " << nCase;
    }
    DeleteFileIfExists(defaultPath);
}

TEST_F(LogTest, DefaultsWithoutKeyPath)
{
    const std::wstring defaultPath = CommonAppDataFolder() + L"\\default.log";
    DeleteFileIfExists(defaultPath);
    CLog log;
    ASSERT_EQ(0u, log.Initialize(nullptr));
    EXPECT_TRUE(log.IsEnabled(1));
    EXPECT_FALSE(log.IsEnabled(2));
    log.Trace(1, L"F", 1, L"level one");
    log.Trace(2, L"F", 1, L"level two");
    auto lines = ReadUtf16Lines(defaultPath);
    ASSERT_EQ(1u, lines.size());
    EXPECT_TRUE(std::regex_match(lines[0], std::wregex(kStamp + L" level one")));

    HANDLE hMutex = OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\clog_mutex_name");
    EXPECT_NE(nullptr, hMutex);
    CloseHandle(hMutex);
    log.Finalize();
    DeleteFileIfExists(defaultPath);
}

TEST_F(LogTest, SecondInitializeKeepsTheFirstConfiguration)
{
    Configure(TRACE_FORM_SHORT, 0);
    CLog log;
    ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
    ASSERT_EQ(0u, log.Initialize(nullptr));
    log.Trace(1, L"F", 1, L"level one");
    log.Trace(0, L"F", 1, L"level zero");
    auto lines = Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::wstring::npos, lines[0].find(L"level zero"));
}

TEST_F(LogTest, MutexNameFollowsTheKeyPath)
{
    Configure(TRACE_FORM_SHORT, 0);
    CLog log;
    ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
    std::wstring name = L"Global\\clog_mutex_name_" + KeyPath();
    for (size_t i = 7; i < name.size(); ++i) {
        if (name[i] == L'\\' || name[i] == L'.') {
            name[i] = L'$';
        }
    }
    HANDLE hMutex = OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
    EXPECT_NE(nullptr, hMutex) << Narrow(name);
    CloseHandle(hMutex);
}

TEST_F(LogTest, FinalizeStopsTracing)
{
    Configure(TRACE_FORM_SHORT, 0);
    CLog log;
    ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
    log.Finalize();
    log.Finalize();
    log.Trace(0, L"F", 1, L"line");
    EXPECT_FALSE(FileExists(FilePath()));
}

TEST_F(LogTest, NullFunctionOrFormatWritesNothing)
{
    Configure(TRACE_FORM_SHORT, 0);
    CLog log;
    ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
    log.Trace(0, nullptr, 1, L"line");
    log.Trace(0, L"F", 1, nullptr);
    EXPECT_FALSE(FileExists(FilePath()));
}

TEST_F(LogTest, TracingKeepsTheCallersLastError)
{
    Configure(TRACE_FORM_SHORT, 0);
    CLog log;
    ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
    SetLastError(0xdeadbeef);
    log.Trace(0, L"F", 1, L"line");
    EXPECT_EQ(0xdeadbeefu, GetLastError());
}

// Writes `lines` lines from each of `threads` threads, tagged so that the parent can
// tell every line apart. Args: key path, tag, threads, lines.
int WriteTaggedLines(const std::wstring& keyPath, const std::wstring& tag, int nThreads, int nLines)
{
    CLog log;
    if (log.Initialize(keyPath.c_str()) != 0) {
        return 1;
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < nThreads; ++t) {
        threads.emplace_back([&log, &tag, t, nLines] {
            for (int i = 0; i < nLines; ++i) {
                log.Trace(0, L"Writer::Run", __LINE__, L"%s-%d-%d %s", tag.c_str(), t, i,
                          L"abcdefghijklmnopqrstuvwxyz0123456789");
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    return 0;
}

QUO_TEST_CHILD(trace_writer)
{
    return WriteTaggedLines(args.at(0), args.at(1), _wtoi(args.at(2).c_str()), _wtoi(args.at(3).c_str()));
}

TEST_F(LogTest, ProcessesAndThreadsWritingAtOnceProduceWholeLines)
{
    Configure(TRACE_FORM_LONG, 0);
    const int nThreads = 4;
    const int nLines = 60;
    CChildProcess first;
    CChildProcess second;
    ASSERT_TRUE(first.Start(L"trace_writer", {KeyPath(), L"A", std::to_wstring(nThreads), std::to_wstring(nLines)}));
    ASSERT_TRUE(second.Start(L"trace_writer", {KeyPath(), L"B", std::to_wstring(nThreads), std::to_wstring(nLines)}));
    ASSERT_EQ(0, WriteTaggedLines(KeyPath(), L"C", nThreads, nLines));
    ASSERT_EQ(0u, first.Wait(120000));
    ASSERT_EQ(0u, second.Wait(120000));

    auto bytes = ReadFileBytes(FilePath());
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(0xFF, bytes[0]);
    EXPECT_EQ(0xFE, bytes[1]);
    std::wregex pattern(kStamp + LR"(\[[0-9A-F]{8}\]\[[0-9A-F]{8}\]\[Writer::Run\]\[\d+\] ([ABC]-\d-\d+) abcdefghijklmnopqrstuvwxyz0123456789)");
    std::set<std::wstring> seen;
    auto lines = Lines();
    for (const auto& line : lines) {
        std::wsmatch match;
        ASSERT_TRUE(std::regex_match(line, match, pattern)) << Narrow(line);
        EXPECT_TRUE(seen.insert(match[1]).second) << Narrow(line);
    }
    EXPECT_EQ(static_cast<size_t>(3 * nThreads * nLines), lines.size());
}

// The trace macros give each line the function's own "Class::Method" and line.
class CTracedSample {
public:
    DWORD Run(LPCWSTR lpName)
    {
        TRACE_ENTER(1);
        TRACE_CHECK_NULL(lpName);
        TRACE_RETURN(ERROR_SUCCESS);
    }
};

TEST_F(LogTest, TraceMacrosNameTheMethodAndFrameItsExit)
{
    Configure(TRACE_FORM_LONG, 2);
    ASSERT_EQ(0u, g_Log.Initialize(KeyPath().c_str()));
    CTracedSample sample;
    EXPECT_EQ(87u, sample.Run(nullptr));
    EXPECT_EQ(0u, sample.Run(L"x"));
    g_Log.Finalize();

    auto lines = Lines();
    ASSERT_EQ(5u, lines.size());
    std::vector<std::wstring> expected = {L"Enter", L"lpName is NULL.", L"Exit - Error! retval:00000057",
                                          L"Enter", L"Exit retval:00000000"};
    std::wregex pattern(kStamp + LR"(\[[0-9A-F]{8}\]\[[0-9A-F]{8}\]\[CTracedSample::Run\]\[(\d+)\] (.*))");
    std::vector<std::wstring> lineNumbers;
    for (size_t i = 0; i < 5; ++i) {
        std::wsmatch match;
        ASSERT_TRUE(std::regex_match(lines[i], match, pattern)) << Narrow(lines[i]);
        EXPECT_EQ(expected[i], match[2].str());
        lineNumbers.push_back(match[1]);
    }
    // The error and its exit line carry the line of the return.
    EXPECT_EQ(lineNumbers[1], lineNumbers[2]);
    EXPECT_NE(lineNumbers[0], lineNumbers[1]);
}

}  // namespace
