// Load: client processes coming and going (some dying without a word) while the server
// sends to all of them every 100 ms: 10 at a time for a few seconds, or with
// QUO_SOAK=1 (the soak label) 50 at a time for half a minute. No
// registration may be lost, nothing may crash, and the server's open handles must not
// grow. They are counted twice: as Windows handles (NtQuerySystemInformation, which
// Wine answers from its handle tables; GetProcessHandleCount answers 0 under Wine), and
// under Wine as the open file descriptors of the server's Unix process. Under Wine 8
// pipes, events and mutexes hold no descriptor in the process, so the second count
// catches what does: threads (four each) and files.
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "PipeCl.h"
#include "PipeCmd.h"
#include "PipeSv.h"
#include "PipeTestSupport.h"
#include "TestSupport.h"
#include "WineDifferences.h"

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

// Open handles of the process with Windows id dwPid; 0 when they cannot be listed.
ULONG_PTR CountWindowsHandles(DWORD dwPid)
{
    struct Entry {
        PVOID Object;
        ULONG_PTR UniqueProcessId, HandleValue;
        ULONG GrantedAccess;
        USHORT CreatorBackTraceIndex, ObjectTypeIndex;
        ULONG HandleAttributes, Reserved;
    };
    struct Information {
        ULONG_PTR NumberOfHandles, Reserved;
        Entry Handles[1];
    };
    const ULONG kSystemExtendedHandleInformation = 64;
    const NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
    typedef NTSTATUS(NTAPI * QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<BYTE> buffer(1 << 20);
    ULONG cbNeeded = 0;
    NTSTATUS status;
    while ((status = query(kSystemExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                           &cbNeeded)) == kInfoLengthMismatch) {
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) {
        return 0;
    }
    auto* pInfo = reinterpret_cast<Information*>(buffer.data());
    return std::count_if(pInfo->Handles, pInfo->Handles + pInfo->NumberOfHandles,
                         [&](const Entry& e) { return e.UniqueProcessId == dwPid; });
}

// The Unix process of the load server whose command line holds token; empty when there
// is none. A Windows program cannot ask Wine for it, and /proc/self would name the
// wineserver, which opens files for its clients.
std::wstring FindUnixProcess(const std::wstring& token)
{
    for (const auto& pid : NamesIn(L"Z:\\proc")) {
        if (pid.find_first_not_of(L"0123456789") != std::wstring::npos) {
            continue;
        }
        std::vector<unsigned char> bytes = ReadFileBytes(L"Z:\\proc\\" + pid + L"\\cmdline");
        std::string cmdline(bytes.begin(), bytes.end());
        if (cmdline.find(Narrow(token)) != std::string::npos && cmdline.find("load_server") != std::string::npos) {
            return L"Z:\\proc\\" + pid;
        }
    }
    return L"";
}

// What the server process counted, written to a file at its end.
struct CServerResults {
    DWORD dwConnected, dwDisconnected, dwReceived, dwErrors, dwClientsLeft, dwRounds;
};

struct CLoadServer {
    CPipeSv server;
    std::mutex mutex;
    std::set<DWORD> live;
    CServerResults results = {};

    static void OnEvent(LPVOID lpData, PipeEvent* pPipeEvent)
    {
        CLoadServer* pThis = static_cast<CLoadServer*>(lpData);
        PipeCmdSwitchFunction cmd = {};
        DWORD cbPayload = 0;
        if (pPipeEvent->dwEvent == PIPEEVENT_RECEIVED) {
            cbPayload = pThis->server.GetReceivedData(&cmd, sizeof(cmd));
        }
        std::lock_guard<std::mutex> lock(pThis->mutex);
        CServerResults& r = pThis->results;
        DWORD dwHandle = pPipeEvent->dwClientHandle;
        switch (pPipeEvent->dwEvent) {
        case PIPEEVENT_CONNECTED:
            // A handle handed out twice would break every later exchange of both clients.
            ++r.dwConnected;
            r.dwErrors += pThis->live.insert(dwHandle).second ? 0 : 1;
            break;
        case PIPEEVENT_DISCONNECTED:
            ++r.dwDisconnected;
            r.dwErrors += (pThis->live.erase(dwHandle) == 1) ? 0 : 1;
            break;
        case PIPEEVENT_RECEIVED:
            ++r.dwReceived;
            r.dwErrors += (pPipeEvent->dwDataSize == sizeof(cmd) && cbPayload == sizeof(cmd)
                           && cmd.dwCmd == PIPECMD_SWITCH_FUNCTION && pThis->live.count(dwHandle) == 1)
                              ? 0
                              : 1;
            break;
        default:
            ++r.dwErrors;
        }
    }
};

// args: suffix, stop event, result file. Serves and sends to all every 100 ms until
// stopped, then writes its counts.
QUO_TEST_CHILD(load_server)
{
    CLoadServer state;
    if (state.server.Initialize(args[0].c_str(), CLoadServer::OnEvent, &state) != ERROR_SUCCESS) {
        return 20;
    }
    HANDLE hStop = OpenEventW(SYNCHRONIZE, FALSE, args[1].c_str());
    DWORD dwRounds = 0;
    for (; WaitForSingleObject(hStop, kSendIntervalMs) == WAIT_TIMEOUT; ++dwRounds) {
        QVPipeCmdNotifySysInfo cmd;
        BuildNotifySysInfo(&cmd, 1 + dwRounds % 5, L"load", 10000 + dwRounds, 500, 1, 80);
        DWORD dwAck = 0;
        state.server.SendAll(&cmd, sizeof(cmd), &dwAck, nullptr);
    }
    DWORD dwClientsLeft = state.server.GetClientCount();
    state.server.Finalize(nullptr);
    CloseHandle(hStop);
    state.results.dwClientsLeft = dwClientsLeft;
    state.results.dwRounds = dwRounds;
    FILE* pFile = _wfopen(args[2].c_str(), L"wb");
    bool bWritten = pFile != nullptr && fwrite(&state.results, sizeof(state.results), 1, pFile) == 1;
    return (pFile != nullptr && fclose(pFile) == 0 && bWritten) ? 0 : 21;
}

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
    std::wstring stop = UniqueName(L"load.stop");
    HANDLE hStop = CreateEventW(nullptr, TRUE, FALSE, stop.c_str());
    std::wstring resultFile = CommonAppDataFolder() + L"\\" + UniqueName(L"load") + L".bin";

    CChildProcess serverProcess;
    ASSERT_TRUE(serverProcess.Start(L"load_server", {suffix, stop, resultFile}));
    ASSERT_TRUE(WaitUntil([&] { return PipeExists(CtrlPipeName(suffix)); }, 20000)) << "the server serves";
    DWORD dwServerPid = GetProcessId(serverProcess.Handle());
    std::wstring unixProcess = winediff::RunningOnWine() ? FindUnixProcess(suffix) : L"";
    ASSERT_TRUE(!winediff::RunningOnWine() || !unixProcess.empty()) << "the server's Unix process";
    struct CFigures {
        ULONG_PTR nHandles;
        size_t nFds;
    };
    auto measure = [&] {
        return CFigures{CountWindowsHandles(dwServerPid),
                        unixProcess.empty() ? 0 : NamesIn(unixProcess + L"\\fd").size()};
    };

    // A client that fails to register, to receive or to send exits with a code that
    // says which.
    std::mt19937 random(20240601);
    std::vector<std::unique_ptr<CClientRun>> running;
    DWORD dwStarted = 0, dwExited = 0, dwDied = 0, dwFailed = 0;
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
            if (dwCode == (running[i]->bDies ? kDiedOnPurpose : 0)) {
                ++(running[i]->bDies ? dwDied : dwExited);
            } else {
                ++dwFailed;
                ADD_FAILURE() << "client exit code " << dwCode;
            }
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
    CFigures baseline = measure();
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
    CFigures end = measure();

    SetEvent(hStop);
    ASSERT_EQ(0u, serverProcess.Wait(60000)) << "the server ended cleanly";
    std::vector<unsigned char> bytes = ReadFileBytes(resultFile);
    DeleteFileIfExists(resultFile);
    CServerResults r = {};
    ASSERT_EQ(sizeof(r), bytes.size());
    memcpy(&r, bytes.data(), sizeof(r));

    printf("clients started %lu (exited %lu, died %lu, failed %lu); server: connected %lu, disconnected %lu, "
           "commands %lu, send rounds %lu\n",
           dwStarted, dwExited, dwDied, dwFailed, r.dwConnected, r.dwDisconnected, r.dwReceived, r.dwRounds);
    printf("server handles: baseline %llu, end %llu; Unix fds: baseline %zu, end %zu\n",
           static_cast<unsigned long long>(baseline.nHandles), static_cast<unsigned long long>(end.nHandles),
           baseline.nFds, end.nFds);

    EXPECT_EQ(0u, dwFailed);
    EXPECT_GT(dwDied, 0u);
    EXPECT_GT(dwStarted, kMinStarts) << "clients came and went";
    // Every client registered (else it failed above) and the server saw each once.
    EXPECT_EQ(dwStarted, r.dwConnected);
    EXPECT_EQ(dwStarted, r.dwDisconnected);
    EXPECT_EQ(dwExited + dwDied, r.dwReceived) << "one command per client";
    EXPECT_EQ(0u, r.dwErrors);
    EXPECT_EQ(0u, r.dwClientsLeft);
    EXPECT_GT(r.dwRounds, kLoadMs / kSendIntervalMs / 4);
    ASSERT_NE(0u, baseline.nHandles) << "the handles can be counted";
    EXPECT_LE(end.nHandles, baseline.nHandles + 5);
    if (winediff::RunningOnWine()) {
        ASSERT_GT(baseline.nFds, 0u);
        EXPECT_LE(end.nFds, baseline.nFds + 5);
    }
    CloseHandle(hStop);
}

}  // namespace
