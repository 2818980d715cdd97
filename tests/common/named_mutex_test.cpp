// CNamedMutex and the shared security attributes: names, waits, abort, abandonment and
// sharing between processes.
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "NamedMutex.h"
#include "SecurityAttributes.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

TEST(NamedMutex, NamesAndArguments)
{
    WCHAR szName[MAX_PATH];
    ASSERT_EQ(0u, CNamedMutex::BuildName(L"clog_mutex_name_Software\\ZAV\\QUOViewer\\DbgLog", szName, MAX_PATH));
    EXPECT_STREQ(L"Global\\clog_mutex_name_Software$ZAV$QUOViewer$DbgLog", szName);
    ASSERT_EQ(0u, CNamedMutex::BuildName(L"a.b\\c..d", szName, MAX_PATH));
    EXPECT_STREQ(L"Global\\a$b$c$$d", szName);

    CNamedMutex mutex;
    EXPECT_EQ(21u, mutex.Lock(nullptr));
    EXPECT_EQ(21u, mutex.Unlock());
    EXPECT_EQ(87u, mutex.Initialize(nullptr, 100));
    std::wstring longName(MAX_PATH - 7, L'n');  // one character too many with "Global\"
    EXPECT_EQ(87u, mutex.Initialize(longName.c_str(), 100));
    EXPECT_EQ(21u, mutex.Lock(nullptr));
    EXPECT_EQ(0u, mutex.Initialize(longName.substr(1).c_str(), 100));
    mutex.Finalize();
    mutex.Finalize();
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
    WCHAR szGlobal[MAX_PATH];
    CNamedMutex::BuildName(name.c_str(), szGlobal, MAX_PATH);
    HANDLE hOpened = OpenMutexW(SYNCHRONIZE, FALSE, szGlobal);
    EXPECT_NE(nullptr, hOpened);
    CloseHandle(hOpened);

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

TEST(NamedMutex, AbandonedMutexIsAcquired)
{
    std::wstring name = UniqueName(L"nm.abandon");
    CNamedMutex owner;
    CNamedMutex next;
    ASSERT_EQ(0u, owner.Initialize(name.c_str(), 1000));
    ASSERT_EQ(0u, next.Initialize(name.c_str(), 1000));
    std::thread([&] { ASSERT_EQ(0u, owner.Lock(nullptr)); }).join();  // ends holding it
    EXPECT_EQ(0u, next.Lock(nullptr));
    EXPECT_EQ(0u, next.Unlock());
}

// Holds the named mutex until the event named args[1] is set, after setting the event
// named args[2]. Args: mutex name, release event, ready event.
QUO_TEST_CHILD(mutex_holder)
{
    CNamedMutex mutex;
    if (mutex.Initialize(args.at(0).c_str(), 5000) != 0 || mutex.Lock(nullptr) != 0) {
        return 1;
    }
    HANDLE hRelease = OpenEventW(SYNCHRONIZE, FALSE, args.at(1).c_str());
    HANDLE hReady = OpenEventW(EVENT_MODIFY_STATE, FALSE, args.at(2).c_str());
    if (hRelease == nullptr || hReady == nullptr) {
        return 2;
    }
    SetEvent(hReady);
    WaitForSingleObject(hRelease, 60000);
    mutex.Unlock();
    CloseHandle(hRelease);
    CloseHandle(hReady);
    return 0;
}

TEST(NamedMutex, SerialisesProcesses)
{
    std::wstring name = UniqueName(L"nm.process");
    std::wstring releaseName = UniqueName(L"release");
    std::wstring readyName = UniqueName(L"ready");
    HANDLE hRelease = CreateEventW(nullptr, TRUE, FALSE, releaseName.c_str());
    HANDLE hReady = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
    CChildProcess child;
    ASSERT_TRUE(child.Start(L"mutex_holder", {name, releaseName, readyName}));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hReady, 30000));
    CNamedMutex mutex;
    ASSERT_EQ(0u, mutex.Initialize(name.c_str(), 200));
    EXPECT_EQ(170u, mutex.Lock(nullptr));
    SetEvent(hRelease);
    ASSERT_EQ(0u, child.Wait(30000));
    EXPECT_EQ(0u, mutex.Lock(nullptr));
    EXPECT_EQ(0u, mutex.Unlock());
    CloseHandle(hRelease);
    CloseHandle(hReady);
}

TEST(SecurityAttributes, NullDaclDescriptorForEveryone)
{
    EXPECT_EQ(87u, CreateSecurityAttributes(nullptr));
    SECURITY_ATTRIBUTES sa;
    memset(&sa, 0xA5, sizeof(sa));
    ASSERT_EQ(0u, CreateSecurityAttributes(&sa));
    EXPECT_EQ(24u, sa.nLength);
    EXPECT_FALSE(sa.bInheritHandle);
    BOOL bPresent = FALSE;
    BOOL bDefaulted = TRUE;
    PACL pDacl = reinterpret_cast<PACL>(1);
    ASSERT_TRUE(GetSecurityDescriptorDacl(sa.lpSecurityDescriptor, &bPresent, &pDacl, &bDefaulted));
    EXPECT_TRUE(bPresent);
    EXPECT_EQ(nullptr, pDacl);
    EXPECT_FALSE(bDefaulted);
    FreeSecurityAttributes(&sa);
    EXPECT_EQ(nullptr, sa.lpSecurityDescriptor);
}

}  // namespace
