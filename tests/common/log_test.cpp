// The trace log: registry configuration, both line forms, levels, the file's byte-order
// mark, security and attributes, truncation, writers in several processes, and the
// "Class::Method" names the trace macros derive from the compiler's signatures (the long
// form's layout is the writers' test).
#include <windows.h>

#include <sddl.h>

#include <regex>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "Trace.h"
#include "TraceFileSecurity.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

const std::wstring kStamp = LR"(\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\])";

const std::wstring kDefaultPath = CommonAppDataFolder() + L"\\default.log";

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

    std::wstring Text() const { return ReadUtf16Text(FilePath()); }

    void TearDown() override
    {
        DeleteFileIfExists(FilePath());
        DeleteFileIfExists(kDefaultPath);
    }

    CTestRegKey m_key{L"log"};
    std::wstring m_fileName = UniqueName(L"trace") + L".log";
};

// LocalSystem, Administrators and Users may read and write the trace file (still
// generic rights in a descriptor that was built), inherited by containers.
TEST(TraceFileSecurity, GrantsSystemAdministratorsAndUsers)
{
    CTraceFileSecurity security;
    LPSECURITY_ATTRIBUTES pSa = security.Get();
    ASSERT_NE(nullptr, pSa);
    EXPECT_FALSE(pSa->bInheritHandle);
    // Both as the system writes them (Wine orders the rights letters differently).
    auto daclText = [](PSECURITY_DESCRIPTOR pSd) {
        LPWSTR lpSddl = nullptr;
        ConvertSecurityDescriptorToStringSecurityDescriptorW(pSd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &lpSddl,
                                                             nullptr);
        std::wstring text = (lpSddl != nullptr) ? lpSddl : L"(none)";
        LocalFree(lpSddl);
        return text;
    };
    PSECURITY_DESCRIPTOR pExpected = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:(A;CI;GRGW;;;SY)(A;CI;GRGW;;;BA)(A;CI;GRGW;;;BU)", SDDL_REVISION_1, &pExpected, nullptr));
    EXPECT_EQ(daclText(pExpected), daclText(pSa->lpSecurityDescriptor));
    LocalFree(pExpected);
}

// The short form at level 1: a second Initialize keeps the configuration; lines above the
// level, or without function or format, are skipped; the byte-order mark comes once and
// every line ends in CR LF without terminator; the file is hidden; the caller's last
// error is kept; a message cut at 1023 characters keeps its stamp and loses its CR LF
// (the next stamp follows the last 'x' directly); nothing is written after Finalize.
TEST_F(LogTest, ShortFormLevelsAndTheFile)
{
    Configure(TRACE_FORM_SHORT, 1);
    CLog log;
    ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
    ASSERT_EQ(0u, log.Initialize(nullptr));
    SetLastError(0xdeadbeef);
    log.Trace(0, L"CFoo::Bar", 12, L"Value %s %u", L"wide", 42u);
    EXPECT_EQ(0xdeadbeefu, GetLastError());
    log.Trace(1, L"F", 1, L"one");
    log.Trace(2, L"F", 1, L"two");
    log.Trace(0xFFFFFFFF, L"F", 1, L"huge");
    log.Trace(0, nullptr, 1, L"no function");
    log.Trace(0, L"F", 1, nullptr);
    log.Trace(0, L"F", 1, L"%s", std::wstring(3000, L'x').c_str());
    log.Trace(0, L"F", 1, L"after");
    std::wstring text = Text();
    std::wsmatch match;
    EXPECT_TRUE(std::regex_match(text, match, std::wregex(L"\uFEFF" + kStamp + L" Value wide 42\r\n" + kStamp
                                                           + L" one\r\n(" + kStamp + L" x+)" + kStamp + L" after\r\n")))
        << Narrow(text.substr(0, 200));
    EXPECT_EQ(1023, match[1].length()) << "a long message is cut and loses its CR LF";

    DWORD dwAttributes = GetFileAttributesW(FilePath().c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, dwAttributes);
    EXPECT_TRUE(dwAttributes & FILE_ATTRIBUTE_HIDDEN);
    log.Finalize();
    log.Trace(0, L"F", 1, L"after Finalize");
    EXPECT_EQ(text, Text());
}

// No file without a usable form (0, 3, or one stored as text), nor without the DbgLog key.
TEST_F(LogTest, NoFileWithoutAUsableConfiguration)
{
    for (int nCase = 0; nCase < 3; ++nCase) {
        Configure(nCase == 0 ? 0 : 3, 5);
        if (nCase == 2) {
            m_key.SetString(L"DbgLog", L"logform", L"1");
        }
        CLog log;
        ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
        log.Trace(0, L"F", 1, L"line");
        EXPECT_FALSE(FileExists(FilePath())) << "case " << nCase;
    }
    CLog log;
    ASSERT_EQ(0u, log.Initialize((m_key.Path() + L"\\NoSuchKey").c_str()));
    log.Trace(0, L"F", 1, L"line");
    EXPECT_FALSE(FileExists(kDefaultPath));
    EXPECT_FALSE(log.IsEnabled(0));
}

// Without a key path: "default.log", short lines up to level 1.
// A file name that climbs out of the folder, is too long or is no string also gives
// "default.log"; one naming an existing sub-folder is taken.
TEST_F(LogTest, DefaultFileAndFileNames)
{
    CLog defaults;
    ASSERT_EQ(0u, defaults.Initialize(nullptr));
    EXPECT_TRUE(defaults.IsEnabled(1));
    EXPECT_FALSE(defaults.IsEnabled(2));
    defaults.Trace(1, L"F", 1, L"level one");
    defaults.Trace(2, L"F", 1, L"level two");
    auto lines = ReadUtf16Lines(kDefaultPath);
    ASSERT_EQ(1u, lines.size());
    EXPECT_TRUE(std::regex_match(lines[0], std::wregex(kStamp + L" level one")));

    m_key.SetDword(L"DbgLog", L"logform", TRACE_FORM_SHORT);
    m_key.SetDword(L"DbgLog", L"loglevel", 0);
    const std::wstring names[] = {L"..\\escape.log", L"sub\\..\\escape.log", L"../escape.log", std::wstring(261, L'n')};
    for (size_t i = 0; i <= ARRAYSIZE(names); ++i) {
        DeleteFileIfExists(kDefaultPath);
        if (i < ARRAYSIZE(names)) {
            m_key.SetString(L"DbgLog", L"filename", names[i]);
        } else {
            m_key.SetDword(L"DbgLog", L"filename", 7);
        }
        CLog log;
        ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
        log.Trace(0, L"F", 1, L"line");
        EXPECT_TRUE(FileExists(kDefaultPath)) << "case " << i;
        EXPECT_FALSE(FileExists(L"C:\\escape.log")) << "case " << i;
    }

    std::wstring sub = UniqueName(L"sub");
    ASSERT_TRUE(CreateDirectoryW((CommonAppDataFolder() + L"\\" + sub).c_str(), nullptr));
    m_fileName = sub + L"\\in_sub.log";
    Configure(TRACE_FORM_SHORT, 0);
    CLog log;
    ASSERT_EQ(0u, log.Initialize(KeyPath().c_str()));
    log.Trace(0, L"F", 1, L"line");
    EXPECT_EQ(1u, Lines().size());
    DeleteFileIfExists(FilePath());
    RemoveDirectoryW((CommonAppDataFolder() + L"\\" + sub).c_str());
}

// Writes `lines` lines from each of `threads` threads, tagged so that the parent can
// tell every line apart.
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

// Args: key path, tag, threads, lines.
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

    EXPECT_EQ(0u, Text().find(L'\uFEFF'));
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

// The names the trace macros put on each line, derived from the compiler's signatures.
TEST(TraceFunctionName, FromTheCompilersSignatures)
{
    const struct { const char* lpSignature; const wchar_t* lpName; } cases[] = {
        {"DWORD CThread::Initialize(LPTHREAD_FUNC, LPVOID)", L"CThread::Initialize"},
        {"static DWORD CThread::ThreadProc(LPVOID)", L"CThread::ThreadProc"},
        {"int wmain(int, wchar_t**)", L"wmain"}, {"CPipe::CPipe()", L"CPipe::CPipe"},
        {"virtual CPipe::~CPipe()", L"CPipe::~CPipe"}, {"WCHAR* CFoo::Get() const", L"CFoo::Get"},
        {"const CBar& CFoo::Ref()", L"CFoo::Ref"}, {"std::map<int, long int> CFoo::Get(int)", L"CFoo::Get"},
        {"void CBox<T>::Put(T) [with T = int]", L"CBox<T>::Put"}, {"bool CFoo::operator()(int)", L"CFoo::operator()"},
        {"DWORD {anonymous}::Helper(DWORD)", L"Helper"}, {"DWORD {anonymous}::CSample::Run(LPCWSTR)", L"CSample::Run"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::wstring(c.lpName), CTraceFunctionName(c.lpSignature).Get()) << c.lpSignature;
    }
    // Long names are cut to the buffer.
    std::string signature = "void C" + std::string(300, 'x') + "::M()";
    std::wstring name = CTraceFunctionName(signature.c_str()).Get();
    EXPECT_EQ(CTraceFunctionName::kNameChars - 1, name.size());
    EXPECT_EQ(L"Cxxx", name.substr(0, 4));
}

}  // namespace
