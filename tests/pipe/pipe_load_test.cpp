// Load: 50 client processes at a time, coming and going (some dying without a word),
// while the server sends to all of them every 100 ms for a minute. No registration may
// be lost, nothing may crash, and the server's open handles must not grow. They are
// counted twice: as Windows handles (NtQuerySystemInformation, which Wine answers from
// its handle tables; GetProcessHandleCount answers 0 under Wine), and under Wine as the
// open file descriptors of the server's Unix process. Under Wine 8 pipes, events and
// mutexes hold no descriptor in the process, so the second count catches what does:
// threads (four each) and files.
#include <windows.h>
#include <winternl.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>

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

const DWORD kClients = 50;
const DWORD kLoadMs = 60000;
const DWORD kSendIntervalMs = 100;
const DWORD kMinLifetimeMs = 2000;
const DWORD kMaxLifetimeMs = 12000;
// Exit code of a client that ended itself without unregistering, as a crash would.
const int kDiedOnPurpose = 77;

// ---- Measuring a process from outside ----

// Open handles of the process with Windows id dwPid; 0 when they cannot be listed.
ULONG_PTR CountWindowsHandles(DWORD dwPid)
{
    struct HandleEntry {
        PVOID Object;
        ULONG_PTR UniqueProcessId;
        ULONG_PTR HandleValue;
        ULONG GrantedAccess;
        USHORT CreatorBackTraceIndex;
        USHORT ObjectTypeIndex;
        ULONG HandleAttributes;
        ULONG Reserved;
    };
    struct HandleInformation {
        ULONG_PTR NumberOfHandles;
        ULONG_PTR Reserved;
        HandleEntry Handles[1];
    };
    const ULONG kSystemExtendedHandleInformation = 64;
    typedef NTSTATUS(NTAPI * QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<BYTE> buffer(1 << 20);
    for (;;) {
        ULONG cbNeeded = 0;
        NTSTATUS status = query(kSystemExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                                &cbNeeded);
        if (status == static_cast<NTSTATUS>(0xC0000004) /* STATUS_INFO_LENGTH_MISMATCH */) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0) {
            return 0;
        }
        break;
    }
    auto* pInfo = reinterpret_cast<HandleInformation*>(buffer.data());
    ULONG_PTR nCount = 0;
    for (ULONG_PTR i = 0; i < pInfo->NumberOfHandles; ++i) {
        nCount += (pInfo->Handles[i].UniqueProcessId == dwPid) ? 1 : 0;
    }
    return nCount;
}

std::string ReadWholeFile(const std::wstring& path)
{
    std::vector<unsigned char> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// The Unix process (seen through the Z: drive) whose command line holds token; 0 when
// there is none. A Windows program cannot ask Wine for it, and /proc/self would name
// the wineserver, which opens files for its clients.
DWORD FindUnixPid(const std::wstring& token)
{
    std::string needle = Narrow(token);
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstFileW(L"Z:\\proc\\*", &fd);
    if (hFind == INVALID_HANDLE_VALUE) {
        return 0;
    }
    DWORD dwFound = 0;
    do {
        wchar_t* pEnd = nullptr;
        unsigned long ulPid = wcstoul(fd.cFileName, &pEnd, 10);
        if (ulPid == 0 || *pEnd != L'\0') {
            continue;
        }
        std::string cmdline = ReadWholeFile(std::wstring(L"Z:\\proc\\") + fd.cFileName + L"\\cmdline");
        if (cmdline.find(needle) != std::string::npos && cmdline.find("load_server") != std::string::npos) {
            dwFound = static_cast<DWORD>(ulPid);
        }
    } while (dwFound == 0 && FindNextFileW(hFind, &fd));
    FindClose(hFind);
    return dwFound;
}

// Open file descriptors of Unix process dwUnixPid; -1 when its folder cannot be read.
int CountUnixFds(DWORD dwUnixPid)
{
    wchar_t szPattern[64];
    swprintf(szPattern, ARRAYSIZE(szPattern), L"Z:\\proc\\%lu\\fd\\*", dwUnixPid);
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstFileW(szPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE) {
        return -1;
    }
    int nCount = 0;
    do {
        if (wcscmp(fd.cFileName, L".") != 0 && wcscmp(fd.cFileName, L"..") != 0) {
            ++nCount;
        }
    } while (FindNextFileW(hFind, &fd));
    FindClose(hFind);
    return nCount;
}

// ---- The server process ----

struct CLoadServer {
    CPipeSv server;
    std::mutex mutex;
    std::set<DWORD> live;
    DWORD dwConnected = 0;
    DWORD dwDisconnected = 0;
    DWORD dwReceived = 0;
    DWORD dwErrors = 0;

    static void OnEvent(LPVOID lpData, PipeEvent* pPipeEvent)
    {
        CLoadServer* pThis = static_cast<CLoadServer*>(lpData);
        BYTE payload[PIPECMD_MAX_SIZE];
        DWORD cbPayload = 0;
        if (pPipeEvent->dwEvent == PIPEEVENT_RECEIVED) {
            cbPayload = pThis->server.GetReceivedData(payload, sizeof(payload));
        }
        std::lock_guard<std::mutex> lock(pThis->mutex);
        switch (pPipeEvent->dwEvent) {
        case PIPEEVENT_CONNECTED:
            ++pThis->dwConnected;
            // A handle handed out twice would break every later exchange of both clients.
            pThis->dwErrors += pThis->live.insert(pPipeEvent->dwClientHandle).second ? 0 : 1;
            break;
        case PIPEEVENT_DISCONNECTED:
            ++pThis->dwDisconnected;
            pThis->dwErrors += (pThis->live.erase(pPipeEvent->dwClientHandle) == 1) ? 0 : 1;
            break;
        case PIPEEVENT_RECEIVED: {
            ++pThis->dwReceived;
            PipeCmdSwitchFunction cmd = {};
            memcpy(&cmd, payload, (cbPayload < sizeof(cmd)) ? cbPayload : sizeof(cmd));
            bool bWellFormed = cbPayload == sizeof(cmd) && cmd.dwCmd == PIPECMD_SWITCH_FUNCTION
                               && pThis->live.count(pPipeEvent->dwClientHandle) == 1;
            pThis->dwErrors += bWellFormed ? 0 : 1;
            break;
        }
        default:
            ++pThis->dwErrors;
            break;
        }
    }
};

// args: suffix, ready event, stop event, result file. Serves and sends to all every
// 100 ms until stopped, then writes its counts.
QUO_TEST_CHILD(load_server)
{
    CLoadServer state;
    if (state.server.Initialize(args[0].c_str(), CLoadServer::OnEvent, &state) != ERROR_SUCCESS) {
        return 20;
    }
    HANDLE hReady = OpenEventW(EVENT_MODIFY_STATE, FALSE, args[1].c_str());
    HANDLE hStop = OpenEventW(SYNCHRONIZE, FALSE, args[2].c_str());
    SetEvent(hReady);
    DWORD dwRounds = 0;
    while (WaitForSingleObject(hStop, kSendIntervalMs) == WAIT_TIMEOUT) {
        QVPipeCmdNotifySysInfo cmd;
        BuildNotifySysInfo(&cmd, 1 + dwRounds % 5, L"load", 10000 + dwRounds, 500, 1, 80);
        DWORD dwAck = 0;
        state.server.SendAll(&cmd, sizeof(cmd), &dwAck, nullptr);
        ++dwRounds;
    }
    DWORD dwClientsLeft = state.server.GetClientCount();
    state.server.Finalize(nullptr);

    FILE* pFile = _wfopen(args[3].c_str(), L"w");
    if (pFile == nullptr) {
        return 21;
    }
    std::lock_guard<std::mutex> lock(state.mutex);
    fprintf(pFile, "connected=%lu\ndisconnected=%lu\nreceived=%lu\nerrors=%lu\nclients_left=%lu\nrounds=%lu\n",
            state.dwConnected, state.dwDisconnected, state.dwReceived, state.dwErrors, dwClientsLeft, dwRounds);
    fclose(pFile);
    CloseHandle(hReady);
    CloseHandle(hStop);
    return 0;
}

// ---- A client process ----

// args: suffix, registered event, lifetime in ms, "exit" or "die". Registers, receives
// for its lifetime, sends one command, then unregisters or ends abruptly.
QUO_TEST_CHILD(load_client)
{
    struct CState {
        CPipeCl client;
        std::atomic<LONG> lReceived{0};
        static void OnEvent(LPVOID lpData, PipeEvent* pPipeEvent)
        {
            CState* pThis = static_cast<CState*>(lpData);
            QVPipeCmdNotifySysInfo cmd = {};
            if (pPipeEvent->dwEvent == PIPEEVENT_RECEIVED
                && pThis->client.GetReceivedData(&cmd, sizeof(cmd)) == sizeof(cmd)
                && cmd.dwCmd == PIPECMD_NOTIFY_SYSINFO) {
                ++pThis->lReceived;
            }
        }
    } state;
    DWORD dwLifetime = static_cast<DWORD>(_wtoi(args[2].c_str()));
    DWORD dwClientId = 0;
    DWORD dwResult = state.client.Initialize(CPipeCl::kModeReceiveAndSend, args[0].c_str(), &dwClientId,
                                             CState::OnEvent, &state, nullptr);
    if (dwResult != ERROR_SUCCESS) {
        return 10;
    }
    if (dwClientId == 0) {
        return 11;
    }
    HANDLE hRegistered = OpenEventW(EVENT_MODIFY_STATE, FALSE, args[1].c_str());
    SetEvent(hRegistered);
    CloseHandle(hRegistered);

    Sleep(dwLifetime / 2);
    PipeCmdSwitchFunction cmd = {PIPECMD_SWITCH_FUNCTION, 1};
    DWORD dwAck = 0xDEADBEEF;
    if (state.client.Send(&cmd, sizeof(cmd), &dwAck, nullptr) != ERROR_SUCCESS) {
        return 12;
    }
    Sleep(dwLifetime - dwLifetime / 2);
    if (state.lReceived.load() == 0) {
        return 13;
    }
    if (args[3] == L"die") {
        TerminateProcess(GetCurrentProcess(), kDiedOnPurpose);
    }
    state.client.Finalize(nullptr);
    return 0;
}

// ---- The test ----

struct CClientRun {
    CChildProcess process;
    HANDLE hRegistered = nullptr;
    bool bDies = false;
    ~CClientRun()
    {
        if (hRegistered != nullptr) {
            CloseHandle(hRegistered);
        }
    }
};

struct CServerFigures {
    ULONG_PTR nHandles;
    int nFds;
};

std::map<std::string, unsigned long> ReadResults(const std::wstring& path)
{
    std::map<std::string, unsigned long> results;
    std::string text = ReadWholeFile(path);
    size_t nPos = 0;
    while (nPos < text.size()) {
        size_t nEnd = text.find('\n', nPos);
        std::string line = text.substr(nPos, nEnd - nPos);
        size_t nEq = line.find('=');
        if (nEq != std::string::npos) {
            results[line.substr(0, nEq)] = strtoul(line.c_str() + nEq + 1, nullptr, 10);
        }
        nPos = (nEnd == std::string::npos) ? text.size() : nEnd + 1;
    }
    return results;
}

TEST(PipeLoad, FiftyClientsComingAndGoingForAMinute)
{
    std::wstring suffix = UniqueName(L"load");
    std::wstring ready = UniqueName(L"load.ready"), stop = UniqueName(L"load.stop");
    HANDLE hReady = CreateEventW(nullptr, TRUE, FALSE, ready.c_str());
    HANDLE hStop = CreateEventW(nullptr, TRUE, FALSE, stop.c_str());
    wchar_t szTemp[MAX_PATH];
    GetTempPathW(ARRAYSIZE(szTemp), szTemp);
    std::wstring resultFile = std::wstring(szTemp) + UniqueName(L"load") + L".txt";

    CChildProcess serverProcess;
    ASSERT_TRUE(serverProcess.Start(L"load_server", {suffix, ready, stop, resultFile}));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hReady, 20000));
    DWORD dwServerPid = GetProcessId(serverProcess.Handle());
    DWORD dwUnixPid = winediff::RunningOnWine() ? FindUnixPid(suffix) : 0;
    if (winediff::RunningOnWine()) {
        ASSERT_NE(0u, dwUnixPid) << "the server's Unix process";
    }
    auto measure = [&] {
        return CServerFigures{CountWindowsHandles(dwServerPid), dwUnixPid ? CountUnixFds(dwUnixPid) : 0};
    };

    std::mt19937 random(20240601);
    std::vector<std::unique_ptr<CClientRun>> running;
    DWORD dwStarted = 0, dwExited = 0, dwDied = 0, dwFailed = 0;
    std::map<DWORD, DWORD> failures;  // exit code -> count
    auto startClient = [&] {
        auto run = std::make_unique<CClientRun>();
        std::wstring registered = UniqueName(L"load.reg");
        run->hRegistered = CreateEventW(nullptr, TRUE, FALSE, registered.c_str());
        DWORD dwLifetime = kMinLifetimeMs + random() % (kMaxLifetimeMs - kMinLifetimeMs);
        run->bDies = (random() % 4) == 0;
        if (!run->process.Start(L"load_client", {suffix, registered, std::to_wstring(dwLifetime),
                                                 run->bDies ? L"die" : L"exit"})) {
            ++dwFailed;
            return;
        }
        ++dwStarted;
        running.push_back(std::move(run));
    };
    auto reap = [&] {
        for (size_t i = 0; i < running.size();) {
            DWORD dwCode = running[i]->process.Wait(0);
            if (dwCode == 0xFFFFFFFF) {
                ++i;
                continue;
            }
            bool bExpected = running[i]->bDies ? (dwCode == kDiedOnPurpose) : (dwCode == 0);
            if (bExpected) {
                ++(running[i]->bDies ? dwDied : dwExited);
            } else {
                ++dwFailed;
                ++failures[dwCode];
            }
            running.erase(running.begin() + i);
        }
    };

    // A first wave makes the server allocate whatever it keeps for good.
    for (int i = 0; i < 5; ++i) {
        startClient();
    }
    ASSERT_TRUE(WaitUntil([&] { reap(); return running.empty(); }, kMaxLifetimeMs + 20000));
    Sleep(1000);
    CServerFigures baseline = measure();
    CServerFigures peak = baseline;

    ULONGLONG ullStart = GetTickCount64();
    ULONGLONG ullNextSample = ullStart;
    while (GetTickCount64() - ullStart < kLoadMs) {
        reap();
        while (running.size() < kClients) {
            startClient();
        }
        if (GetTickCount64() >= ullNextSample) {
            CServerFigures now = measure();
            peak.nHandles = std::max(peak.nHandles, now.nHandles);
            peak.nFds = std::max(peak.nFds, now.nFds);
            ullNextSample += 5000;
        }
        Sleep(50);
    }
    ASSERT_TRUE(WaitUntil([&] { reap(); return running.empty(); }, kMaxLifetimeMs + 30000))
        << running.size() << " clients still running";
    // Sessions of clients that died are dropped at the next send, within 100 ms.
    Sleep(2000);
    CServerFigures end = measure();

    SetEvent(hStop);
    ASSERT_EQ(0u, serverProcess.Wait(60000)) << "the server ended cleanly";
    auto results = ReadResults(resultFile);
    DeleteFileIfExists(resultFile);

    printf("clients started %lu (exited %lu, died %lu, failed %lu); server: connected %lu, disconnected %lu, "
           "commands %lu, send rounds %lu\n",
           dwStarted, dwExited, dwDied, dwFailed, results["connected"], results["disconnected"],
           results["received"], results["rounds"]);
    printf("server handles: baseline %llu, peak %llu, end %llu; Unix fds: baseline %d, peak %d, end %d\n",
           static_cast<unsigned long long>(baseline.nHandles), static_cast<unsigned long long>(peak.nHandles),
           static_cast<unsigned long long>(end.nHandles), baseline.nFds, peak.nFds, end.nFds);
    for (const auto& failure : failures) {
        printf("client exit code %lu: %lu times\n", failure.first, failure.second);
    }

    EXPECT_EQ(0u, dwFailed);
    EXPECT_GT(dwDied, 0u);
    EXPECT_GT(dwStarted, 4 * kClients) << "clients came and went";
    // Every client registered (else it failed above) and the server saw each once.
    EXPECT_EQ(dwStarted, results["connected"]);
    EXPECT_EQ(dwStarted, results["disconnected"]);
    EXPECT_EQ(dwExited + dwDied, results["received"]) << "one command per client";
    EXPECT_EQ(0u, results["errors"]);
    EXPECT_EQ(0u, results["clients_left"]);
    EXPECT_GT(results["rounds"], kLoadMs / kSendIntervalMs / 4);
    ASSERT_NE(0u, baseline.nHandles) << "the handles can be counted";
    EXPECT_LE(end.nHandles, baseline.nHandles + 5);
    if (winediff::RunningOnWine()) {
        ASSERT_GT(baseline.nFds, 0);
        EXPECT_LE(end.nFds, baseline.nFds + 5);
    }
    CloseHandle(hReady);
    CloseHandle(hStop);
}

}  // namespace
