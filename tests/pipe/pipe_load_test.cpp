// Load: client processes coming and going (some dying without a word) while the server
// sends to all of them every 100 ms: 10 at a time for a few seconds, or with
// QUO_SOAK=1 (the soak label) 50 at a time for half a minute. No registration may be
// lost, nothing may crash, and the server's open handles and threads must not grow. The
// server runs in this process: its handles are counted by asking for each handle value's
// flags (GetProcessHandleCount answers 0 under Wine), its threads in a snapshot.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <memory>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "PipeTestSupport.h"

using namespace testsupport;
using namespace pipetest;

namespace {

const bool kSoak = SoakRun();
const DWORD kClients = kSoak ? 50 : 10;
// The load lasts at least kLoadMs and until kMinStarts clients came and went; a slow
// machine takes longer to start processes, so the count, not the clock, ends it, up to
// kMaxLoadMs.
const DWORD kLoadMs = kSoak ? 30000 : 4000;
const DWORD kMaxLoadMs = 5 * kLoadMs;
const DWORD kSendIntervalMs = 100;
const DWORD kMinLifetimeMs = 2000;
const DWORD kMaxLifetimeMs = kSoak ? 8000 : 4000;
const DWORD kMinStarts = (kSoak ? 4 : 2) * kClients;
// Exit code of a client that ended itself without unregistering, as a crash would.
const int kDiedOnPurpose = 77;

// This process's open handles: the handle values the system answers for (every value
// is a multiple of four; the test's few hundred handles lie far below the bound).
ULONG_PTR CountHandles()
{
    ULONG_PTR nHandles = 0;
    for (ULONG_PTR uValue = 4; uValue < 0x40000; uValue += 4) {
        DWORD dwFlags = 0;
        nHandles += GetHandleInformation(reinterpret_cast<HANDLE>(uValue), &dwFlags) ? 1 : 0;
    }
    return nHandles;
}

// This process's threads.
size_t CountThreads()
{
    CScopedFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    size_t nThreads = 0;
    for (BOOL bMore = Thread32First(snapshot.Get(), &entry); bMore; bMore = Thread32Next(snapshot.Get(), &entry)) {
        nThreads += (entry.th32OwnerProcessID == GetCurrentProcessId()) ? 1 : 0;
    }
    return nThreads;
}

// The server and what its owner's function counted.
struct CLoadServer {
    CPipeSv server;
    std::mutex mutex;
    std::set<DWORD> live;
    DWORD dwConnected = 0, dwDisconnected = 0, dwReceived = 0, dwErrors = 0;
    std::atomic<bool> bSending{true};
    DWORD dwRounds = 0;
    std::thread sender;

    // Serves and sends to all every kSendIntervalMs until stopped.
    DWORD Start(const std::wstring& suffix)
    {
        DWORD dwResult = server.Initialize(suffix.c_str(), OnEvent, this);
        if (dwResult == ERROR_SUCCESS) {
            sender = std::thread([this] {
                for (; bSending; ++dwRounds, Sleep(kSendIntervalMs)) {
                    QVPipeCmdNotifySysInfo cmd;
                    BuildNotifySysInfo(&cmd, 1 + dwRounds % 5, L"load", 10000 + dwRounds, 500, 1, 80);
                    DWORD dwAck = 0;
                    server.SendAll(&cmd, sizeof(cmd), &dwAck, nullptr);
                }
            });
        }
        return dwResult;
    }

    ~CLoadServer() { Stop(); }

    void Stop()
    {
        bSending = false;
        if (sender.joinable()) {
            sender.join();
        }
        server.Finalize(nullptr);
    }

    static void OnEvent(LPVOID lpData, PipeEvent* pPipeEvent)
    {
        CLoadServer* pThis = static_cast<CLoadServer*>(lpData);
        PipeCmdSwitchFunction cmd = {};
        DWORD dwEvent = pPipeEvent->dwEvent, dwHandle = pPipeEvent->dwClientHandle;
        DWORD cbPayload = (dwEvent == PIPEEVENT_RECEIVED) ? pThis->server.GetReceivedData(&cmd, sizeof(cmd)) : 0;
        std::lock_guard<std::mutex> lock(pThis->mutex);
        bool bOk = false;
        if (dwEvent == PIPEEVENT_CONNECTED) {
            // A handle handed out twice would break every later exchange of both clients.
            ++pThis->dwConnected;
            bOk = pThis->live.insert(dwHandle).second;
        } else if (dwEvent == PIPEEVENT_DISCONNECTED) {
            ++pThis->dwDisconnected;
            bOk = pThis->live.erase(dwHandle) == 1;
        } else if (dwEvent == PIPEEVENT_RECEIVED) {
            ++pThis->dwReceived;
            bOk = pPipeEvent->dwDataSize == sizeof(cmd) && cbPayload == sizeof(cmd)
                  && cmd.dwCmd == PIPECMD_SWITCH_FUNCTION && pThis->live.count(dwHandle) == 1;
        }
        pThis->dwErrors += bOk ? 0 : 1;
    }
};

// args: suffix, lifetime in ms, "exit" or "die". Registers, receives for its lifetime,
// sends one command, then unregisters or ends abruptly.
QUO_TEST_CHILD(load_client)
{
    CCountingClient counter;
    DWORD dwLifetime = static_cast<DWORD>(_wtoi(args[1].c_str()));
    if (counter.Register(args[0]) != ERROR_SUCCESS) {
        return 10;
    }
    Sleep(dwLifetime / 2);
    PipeCmdSwitchFunction cmd = {PIPECMD_SWITCH_FUNCTION, 1};
    DWORD dwAck = 0xDEADBEEF;
    if (counter.client.Send(&cmd, sizeof(cmd), &dwAck, nullptr) != ERROR_SUCCESS) {
        return 12;
    }
    Sleep(dwLifetime - dwLifetime / 2);
    if (counter.lSysInfo.load() == 0) {
        return 13;
    }
    if (args[2] == L"die") {
        TerminateProcess(GetCurrentProcess(), kDiedOnPurpose);
    }
    counter.client.Finalize(nullptr);
    return 0;
}

struct CClientRun {
    CChildProcess process;
    bool bDies = false;
};

TEST(PipeLoad, ClientsComingAndGoingLoseNothingAndLeakNothing)
{
    std::wstring suffix = UniqueName(L"load");
    CLoadServer server;
    ASSERT_EQ(0u, server.Start(suffix));
    auto measure = [] { return std::make_pair(CountHandles(), CountThreads()); };

    // A client that fails to register, to receive or to send exits with a code that
    // says which.
    std::mt19937 random(20240601);
    std::vector<std::unique_ptr<CClientRun>> running;
    DWORD dwStarted = 0, dwExited = 0, dwDied = 0;
    auto startClient = [&] {
        auto run = std::make_unique<CClientRun>();
        DWORD dwLifetime = kMinLifetimeMs + random() % (kMaxLifetimeMs - kMinLifetimeMs);
        run->bDies = (random() % 4) == 0;
        bool bStarted =
            run->process.Start(L"load_client", {suffix, std::to_wstring(dwLifetime), run->bDies ? L"die" : L"exit"});
        EXPECT_TRUE(bStarted);
        if (bStarted) {
            ++dwStarted;
            running.push_back(std::move(run));
        }
        return bStarted;
    };
    auto reap = [&] {
        for (size_t i = 0; i < running.size();) {
            DWORD dwCode = running[i]->process.Wait(0);
            if (dwCode == 0xFFFFFFFF) {
                ++i;
                continue;
            }
            EXPECT_EQ(running[i]->bDies ? kDiedOnPurpose : 0, static_cast<int>(dwCode)) << "the client's exit code";
            ++(running[i]->bDies ? dwDied : dwExited);
            running.erase(running.begin() + i);
        }
        return running.empty();
    };

    // A first wave makes the server allocate whatever it keeps for good.
    for (int i = 0; i < 5; ++i) {
        startClient();
    }
    ASSERT_TRUE(WaitUntil(reap, kMaxLifetimeMs + 20000));
    Sleep(1000);
    auto baseline = measure();
    auto loading = [&](ULONGLONG ullElapsed) {
        return ullElapsed < kLoadMs || (dwStarted <= kMinStarts && ullElapsed < kMaxLoadMs);
    };
    for (ULONGLONG ullStart = GetTickCount64(); loading(GetTickCount64() - ullStart); Sleep(50)) {
        reap();
        while (running.size() < kClients && startClient()) {
        }
    }
    ASSERT_TRUE(WaitUntil(reap, kMaxLifetimeMs + 30000)) << running.size() << " clients still running";
    // Sessions of clients that died are dropped at the next send, within 100 ms.
    Sleep(2000);
    auto end = measure();
    DWORD dwClientsLeft = server.server.GetClientCount();
    server.Stop();
    const CLoadServer& r = server;

    printf("clients started %lu (exited %lu, died %lu); server: connected %lu, disconnected %lu, commands %lu, "
           "send rounds %lu\n",
           dwStarted, dwExited, dwDied, r.dwConnected, r.dwDisconnected, r.dwReceived, r.dwRounds);
    printf("handles: baseline %llu, end %llu; threads: baseline %zu, end %zu\n",
           static_cast<unsigned long long>(baseline.first), static_cast<unsigned long long>(end.first),
           baseline.second, end.second);

    EXPECT_GT(dwDied, 0u);
    EXPECT_GT(dwStarted, kMinStarts) << "clients came and went";
    // Every client registered (else it failed above) and the server saw each once.
    EXPECT_EQ(dwStarted, r.dwConnected);
    EXPECT_EQ(dwStarted, r.dwDisconnected);
    EXPECT_EQ(dwExited + dwDied, r.dwReceived) << "one command per client";
    EXPECT_EQ(0u, r.dwErrors);
    EXPECT_EQ(0u, dwClientsLeft);
    EXPECT_GT(r.dwRounds, kLoadMs / kSendIntervalMs / 4);
    ASSERT_NE(0u, baseline.first) << "the handles can be counted";
    EXPECT_LE(end.first, baseline.first + 5);
    ASSERT_GT(baseline.second, 0u) << "the threads can be counted";
    EXPECT_LE(end.second, baseline.second + 5);
}

}  // namespace
