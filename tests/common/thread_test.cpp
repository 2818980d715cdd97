// CThread: start handshake, message queue ready at start, results, termination and the
// forced end of a thread that ignores its terminate event; CStackLock.
#include <atomic>
#include <future>

#include <gtest/gtest.h>

#include "StackLock.h"
#include "TestSupport.h"
#include "Thread.h"
#include "WineDifferences.h"

namespace {

const UINT WM_TEST_PING = WM_APP + 1;

struct CWorker {
    CThread thread;
    std::atomic<LONG> lMessages{0};
    std::atomic<LONG> lTicks{0};
};

// A well-behaved worker: counts WM_TEST_PING messages until its terminate event is set.
DWORD MessageWorker(LPVOID lpData)
{
    CWorker* pWorker = static_cast<CWorker*>(lpData);
    HANDLE hTerminate = pWorker->thread.GetTerminateEvent();
    for (;;) {
        if (MsgWaitForMultipleObjects(1, &hTerminate, FALSE, INFINITE, QS_ALLPOSTMESSAGE) == WAIT_OBJECT_0) {
            return 7;
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            pWorker->lMessages += (msg.message == WM_TEST_PING);
        }
    }
}

// A worker that never looks at its terminate event.
DWORD StubbornWorker(LPVOID lpData)
{
    for (;;) {
        ++static_cast<CWorker*>(lpData)->lTicks;
        Sleep(10);
    }
}

// Null arguments start nothing (87), posting before a start is not ready (21), a second
// start while running is refused (1247); after Terminate (repeatable) the id is kept,
// posting fails with the system's error, and the thread starts again.
TEST(Thread, ResultsAndLifeCycle)
{
    CWorker worker;
    testsupport::ExpectResults({{87, worker.thread.Initialize(MessageWorker, nullptr)},
                                {87, worker.thread.Initialize(nullptr, &worker)},
                                {21, worker.thread.PostMsg(WM_TEST_PING, 0, 0)}});
    ASSERT_EQ(0u, worker.thread.Initialize(MessageWorker, &worker));
    DWORD dwId = worker.thread.GetThreadId();
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_INITIALIZED), worker.thread.Initialize(MessageWorker, &worker));
    worker.thread.Terminate();
    EXPECT_EQ(nullptr, worker.thread.GetTerminateEvent());
    EXPECT_EQ(dwId, worker.thread.GetThreadId());
    EXPECT_EQ(winediff::PostToEndedThreadError(), worker.thread.PostMsg(WM_TEST_PING, 0, 0));
    worker.thread.Terminate();
    worker.thread.Finalize();
    ASSERT_EQ(0u, worker.thread.Initialize(MessageWorker, &worker));
    EXPECT_EQ(0u, worker.thread.PostMsg(WM_TEST_PING, 0, 0));
}

// The thread runs, its queue ready, before Initialize returns: a message posted at once
// arrives. Repeated, because a queue created late loses the message only now and then.
TEST(Thread, ReceivesAMessagePostedRightAfterInitialize)
{
    for (int i = 0; i < 50; ++i) {
        CWorker worker;
        ASSERT_EQ(0u, worker.thread.Initialize(MessageWorker, &worker));
        ASSERT_EQ(0u, worker.thread.PostMsg(WM_TEST_PING, 0, 0)) << "round " << i;
        testsupport::WaitUntil([&] { return worker.lMessages.load() != 0; }, 1000, 2);
        EXPECT_EQ(1, worker.lMessages.load()) << "round " << i;
        worker.thread.Finalize();
    }
}

// Given its 5000 ms, then ended.
TEST(Thread, ThreadIgnoringItsTerminateEventIsForcedToEnd)
{
    CWorker worker;
    ASSERT_EQ(0u, worker.thread.Initialize(StubbornWorker, &worker));
    ULONGLONG ullStart = GetTickCount64();
    worker.thread.Terminate();
    EXPECT_GE(GetTickCount64() - ullStart, 4900u);
    LONG lTicks = worker.lTicks.load();
    Sleep(100);
    EXPECT_EQ(lTicks, worker.lTicks.load()) << "the thread still runs";
}

// The section is held for the lock's scope and left at its end.
TEST(StackLock, HoldsTheSectionForItsScope)
{
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    auto enteredByAnotherThread = [&cs] {
        return std::async(std::launch::async, [&cs] {
                   bool bEntered = TryEnterCriticalSection(&cs) != FALSE;
                   if (bEntered) {
                       LeaveCriticalSection(&cs);
                   }
                   return bEntered;
               }).get();
    };
    {
        CStackLock lock(&cs);
        EXPECT_FALSE(enteredByAnotherThread());
    }
    EXPECT_TRUE(enteredByAnotherThread());
    DeleteCriticalSection(&cs);
}

}  // namespace
