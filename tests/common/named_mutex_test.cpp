// CNamedMutex and the shared security attributes: names, waits and abort. Sharing
// between processes shows in the trace log's writers (common_log); a mutex abandoned by
// a killed holder is taken by the next, as the log library's killed writers show
// (log_dll_killed).
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "NamedMutex.h"
#include "SecurityAttributes.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

// The name lies in the Global\ namespace, its backslashes and dots made '$'; bad
// arguments (87) and a mutex not set up (21) are refused.
TEST(NamedMutex, NamesAndArguments)
{
    WCHAR szName[MAX_PATH];
    ASSERT_EQ(0u, CNamedMutex::BuildName(L"clog_mutex_name_Software\\ZAV\\DbgLog.x", szName, MAX_PATH));
    EXPECT_STREQ(L"Global\\clog_mutex_name_Software$ZAV$DbgLog$x", szName);
    CNamedMutex mutex;
    std::wstring longName(MAX_PATH - 7, L'n');  // one character too many with "Global\"
    ExpectResults({{21, mutex.Lock(nullptr)}, {21, mutex.Unlock()},
                   {87, mutex.Initialize(nullptr, 100)},
                   {87, mutex.Initialize(longName.c_str(), 100)},
                   {21, mutex.Lock(nullptr)},
                   {0, mutex.Initialize(longName.substr(1).c_str(), 100)}});
}

// Two objects of one name share the Global\ mutex: the second waits its time-out (170),
// gets it once released, and only the owner may release it.
TEST(NamedMutex, SharedByNameWithTimeOutAndOwner)
{
    std::wstring name = UniqueName(L"nm.share");
    CNamedMutex first;
    CNamedMutex second;
    ASSERT_EQ(0u, first.Initialize(name.c_str(), 200));
    ASSERT_EQ(0u, second.Initialize(name.c_str(), 200));

    ASSERT_EQ(0u, first.Lock(nullptr));
    DWORD dwOther = 0;
    std::thread([&] { dwOther = second.Lock(nullptr); }).join();
    EXPECT_EQ(170u, dwOther);
    EXPECT_EQ(0u, first.Unlock());
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), first.Unlock());
    std::thread([&] {
        dwOther = second.Lock(nullptr);
        second.Unlock();
    }).join();
    EXPECT_EQ(0u, dwOther);
}

// A time-out of 0 waits without limit, until the abort event ends the wait with 995.
TEST(NamedMutex, AbortEventEndsAnEndlessWaitWith995)
{
    std::wstring name = UniqueName(L"nm.abort");
    CNamedMutex holder;
    CNamedMutex waiter;
    ASSERT_EQ(0u, holder.Initialize(name.c_str(), 0));
    ASSERT_EQ(0u, waiter.Initialize(name.c_str(), 0));
    ASSERT_EQ(0u, holder.Lock(nullptr));
    HANDLE hAbort = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<DWORD> dwResult{0xdeadbeef};
    std::thread thread([&] { dwResult = waiter.Lock(hAbort); });
    Sleep(300);
    EXPECT_EQ(0xdeadbeefu, dwResult.load());
    SetEvent(hAbort);
    thread.join();
    EXPECT_EQ(995u, dwResult.load());
    EXPECT_EQ(0u, holder.Unlock());
    CloseHandle(hAbort);
}

// Every account, whatever its session, may open what is made with these attributes.
TEST(SecurityAttributes, NullDaclDescriptorForEveryone)
{
    SECURITY_ATTRIBUTES sa;
    ASSERT_EQ(0u, CreateSecurityAttributes(&sa));
    BOOL bPresent = FALSE, bDefaulted = TRUE;
    PACL pDacl = reinterpret_cast<PACL>(1);
    ASSERT_TRUE(GetSecurityDescriptorDacl(sa.lpSecurityDescriptor, &bPresent, &pDacl, &bDefaulted));
    EXPECT_TRUE(bPresent && pDacl == nullptr && !bDefaulted && !sa.bInheritHandle);
    FreeSecurityAttributes(&sa);
}

}  // namespace
