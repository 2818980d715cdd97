// CPipeSv and CPipeCl: the control pipe's answers case by case, client handles, the
// names a registration may give, stale and vanished sessions, the data pipe's check of
// senders, and clients in processes of their own.
#include <windows.h>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "PipeCl.h"
#include "PipeCmd.h"
#include "PipeSv.h"
#include "PipeTestSupport.h"
#include "TestSupport.h"

using namespace testsupport;
using namespace pipetest;

namespace {

// A client process: registers, counts the PIPECMD_NOTIFY_SYSINFO it receives and keeps
// the level of the last one.
struct CChildClient {
    CPipeCl client;
    std::atomic<LONG> lReceived{0};
    std::atomic<DWORD> dwLastLevel{0};

    static void OnEvent(LPVOID lpData, PipeEvent* pPipeEvent)
    {
        CChildClient* pThis = static_cast<CChildClient*>(lpData);
        if (pPipeEvent->dwEvent != PIPEEVENT_RECEIVED) {
            return;
        }
        QVPipeCmdNotifySysInfo cmd = {};
        if (pThis->client.GetReceivedData(&cmd, sizeof(cmd)) == sizeof(cmd) && cmd.dwCmd == PIPECMD_NOTIFY_SYSINFO) {
            pThis->dwLastLevel = cmd.byQuoLevel;
            ++pThis->lReceived;
        }
    }

    // 0, or the exit code that tells why the registration failed.
    int Register(const std::wstring& suffix)
    {
        DWORD dwClientId = 0xDEADBEEF;
        if (client.Initialize(CPipeCl::kModeReceiveAndSend, suffix.c_str(), &dwClientId, OnEvent, this, nullptr) != 0) {
            return 101;
        }
        return (dwClientId == 0 || dwClientId != client.GetClientHandle()) ? 102 : 0;
    }
};

HANDLE OpenNamedEvent(const std::wstring& name)
{
    return OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, name.c_str());
}

// args: suffix, ready event, quit event. Registers, signals ready, waits for quit,
// unregisters; exits with the number of messages received.
QUO_TEST_CHILD(client_hold)
{
    CChildClient child;
    int nFailure = child.Register(args[0]);
    if (nFailure != 0) {
        return nFailure;
    }
    HANDLE hReady = OpenNamedEvent(args[1]);
    HANDLE hQuit = OpenNamedEvent(args[2]);
    SetEvent(hReady);
    if (WaitForSingleObject(hQuit, 60000) != WAIT_OBJECT_0) {
        return 103;
    }
    child.client.Finalize(nullptr);
    CloseHandle(hReady);
    CloseHandle(hQuit);
    return child.lReceived.load();
}

// args: suffix. Registers, waits for one PIPECMD_NOTIFY_SYSINFO and answers with a
// PIPECMD_SWITCH_FUNCTION carrying the level it received.
QUO_TEST_CHILD(client_exchange)
{
    CChildClient child;
    int nFailure = child.Register(args[0]);
    if (nFailure != 0) {
        return nFailure;
    }
    if (!WaitUntil([&] { return child.lReceived.load() > 0; }, 20000)) {
        return 104;
    }
    PipeCmdSwitchFunction cmd = {PIPECMD_SWITCH_FUNCTION, child.dwLastLevel.load()};
    DWORD dwAck = 0xDEADBEEF;
    if (child.client.Send(&cmd, sizeof(cmd), &dwAck, nullptr) != 0 || dwAck != 0) {
        return 105;
    }
    child.client.Finalize(nullptr);
    return 0;
}

struct CServerFixture {
    std::wstring suffix = UniqueName(L"ps");
    CEventLog log;  // outlives the server, whose threads call it
    CPipeSv server;

    DWORD Start()
    {
        log.pReceiver = &server;
        return server.Initialize(suffix.c_str(), CEventLog::Callback, &log);
    }

    DWORD Ctrl(const std::vector<BYTE>& request)
    {
        DWORD dwAck = 0xDEADBEEF;
        DWORD dwResult = RawExchange(CtrlPipeName(suffix), request, &dwAck);
        return (dwResult == ERROR_SUCCESS) ? dwAck : 0xBAD00000 | dwResult;
    }

    DWORD Register(DWORD dwId) { return Ctrl(ConnectRequest(ClientPipeName(suffix, dwId))); }

    DWORD Data(DWORD dwClientHandle, const std::vector<BYTE>& payload)
    {
        DWORD dwAck = 0xDEADBEEF;
        DWORD dwResult = RawExchange(DataPipeName(suffix),
                                     Frame(dwClientHandle, static_cast<DWORD>(payload.size()), payload.data(),
                                           static_cast<DWORD>(payload.size())),
                                     &dwAck);
        return (dwResult == ERROR_SUCCESS) ? dwAck : 0xBAD00000 | dwResult;
    }

    // The handles of the events dwEvent once there are nCount of them (events follow
    // their ACK), or after a second when there are fewer.
    std::vector<DWORD> Handles(DWORD dwEvent, size_t nCount = 0)
    {
        log.WaitForCount(dwEvent, nCount, 5000);
        std::vector<DWORD> handles;
        for (const auto& r : log.Records()) {
            if (r.dwEvent == dwEvent) {
                handles.push_back(r.dwClientHandle);
            }
        }
        return handles;
    }
};

const DWORD kNoAck = 0xBAD00000;

bool IsNoAck(DWORD dwAnswer)
{
    return (dwAnswer & 0xFFF00000) == kNoAck;
}

TEST(PipeServer, InitializeRefusesNullArgumentsAndASecondStart)
{
    CServerFixture f;
    CEventLog log;
    EXPECT_EQ(87u, f.server.Initialize(nullptr, CEventLog::Callback, &log));
    EXPECT_EQ(87u, f.server.Initialize(f.suffix.c_str(), nullptr, &log));
    EXPECT_EQ(87u, f.server.Initialize(f.suffix.c_str(), CEventLog::Callback, nullptr));
    EXPECT_FALSE(PipeExists(CtrlPipeName(f.suffix)));
    ASSERT_EQ(0u, f.Start());
    EXPECT_TRUE(PipeExists(CtrlPipeName(f.suffix)));
    EXPECT_TRUE(PipeExists(DataPipeName(f.suffix)));
    EXPECT_EQ(231u, f.Start());
    EXPECT_EQ(1u, f.Register(1)) << "still serving";
    f.server.Finalize(nullptr);
    EXPECT_FALSE(PipeExists(CtrlPipeName(f.suffix)));
    EXPECT_FALSE(PipeExists(DataPipeName(f.suffix)));
    EXPECT_EQ(0u, f.server.GetClientCount());
    f.server.Finalize(nullptr);
    EXPECT_EQ(0u, f.log.Count(PIPEEVENT_DISCONNECTED)) << "finalising reports nothing";
}

TEST(PipeServer, ControlPipeAnswersEachRequestAsAgreed)
{
    CServerFixture f;
    ASSERT_EQ(0u, f.Start());
    // Fewer than 8 bytes.
    EXPECT_EQ(5u, f.Ctrl({0, 0, 0, 0, 9}));
    // CONNECT without a usable name.
    EXPECT_EQ(0u, f.Ctrl(Frame(PIPEREQUEST_CONNECT, 0)));
    EXPECT_EQ(0u, f.Ctrl(Frame(PIPEREQUEST_CONNECT, 1, "\0", 1)));
    EXPECT_EQ(0u, f.Ctrl(ConnectRequest(L"")));
    // CLOSE of a handle that is not registered, and of the two that never are.
    EXPECT_EQ(4u, f.Ctrl(CloseRequest(7)));
    EXPECT_EQ(4u, f.Ctrl(CloseRequest(0)));
    EXPECT_EQ(4u, f.Ctrl(CloseRequest(0xFFFFFFFF)));
    // CLOSE of another size, announced or actual.
    BYTE eight[8] = {1};
    EXPECT_EQ(5u, f.Ctrl(Frame(PIPEREQUEST_CLOSE, 8, eight, 8)));
    EXPECT_EQ(5u, f.Ctrl(Frame(PIPEREQUEST_CLOSE, 4, eight, 8)));
    EXPECT_EQ(5u, f.Ctrl(Frame(PIPEREQUEST_CLOSE, 4, eight, 2)));
    // Unknown request codes.
    EXPECT_EQ(5u, f.Ctrl(Frame(1, 4, eight, 4)));
    EXPECT_EQ(5u, f.Ctrl(Frame(9, 0)));

    EXPECT_EQ(1u, f.Register(0x1234abcd));
    EXPECT_EQ(1u, f.server.GetClientCount());
    EXPECT_EQ(std::vector<DWORD>{1}, f.Handles(PIPEEVENT_CONNECTED, 1));
    EXPECT_EQ(0u, f.Ctrl(CloseRequest(1)));
    EXPECT_EQ(0u, f.server.GetClientCount());
    EXPECT_EQ(std::vector<DWORD>{1}, f.Handles(PIPEEVENT_DISCONNECTED, 1));
    EXPECT_EQ(4u, f.Ctrl(CloseRequest(1))) << "closed once only";
    // Served one after the other: an event of any request above would be here by now.
    EXPECT_EQ(2u, f.log.Records().size()) << "no event for the refused requests";
}

TEST(PipeServer, RegistrationAcceptsOnlyReceivePipeNamesOfClients)
{
    CServerFixture f;
    ASSERT_EQ(0u, f.Start());
    std::wstring data = DataPipeName(f.suffix);
    const std::wstring foreign[] = {
        L"\\\\.\\pipe\\impostor",
        CtrlPipeName(f.suffix),
        data,
        data + L"0000abc",
        data + L"0000abcde",
        data + L"0000ABCD",
        data + L"0000abcg",
        data + L"-000abcd",
        ClientPipeName(f.suffix + L"x", 0x1234),
        L"\\\\.\\PIPE\\datapipe_" + f.suffix + L"0000abcd",
        L"\\\\server\\pipe\\datapipe_" + f.suffix + L"0000abcd",
        data + L"0000abcd\\..\\x",
    };
    for (const auto& name : foreign) {
        EXPECT_EQ(0u, f.Ctrl(ConnectRequest(name))) << Narrow(name);
        EXPECT_FALSE(f.server.IsClientPipeName(name.c_str())) << Narrow(name);
    }
    // A name without its terminator within the request.
    std::wstring good = ClientPipeName(f.suffix, 0x42);
    DWORD cbNoTerminator = static_cast<DWORD>(good.size() * sizeof(wchar_t));
    EXPECT_EQ(0u, f.Ctrl(Frame(PIPEREQUEST_CONNECT, cbNoTerminator, good.c_str(), cbNoTerminator)));
    // The terminator sent but not announced.
    EXPECT_EQ(0u, f.Ctrl(Frame(PIPEREQUEST_CONNECT, cbNoTerminator, good.c_str(), cbNoTerminator + 2)));
    EXPECT_EQ(0u, f.server.GetClientCount());

    EXPECT_TRUE(f.server.IsClientPipeName(good.c_str()));
    EXPECT_EQ(1u, f.Ctrl(ConnectRequest(good)));
    EXPECT_EQ(2u, f.Register(0xffffffff));
    EXPECT_EQ((std::vector<DWORD>{1, 2}), f.Handles(PIPEEVENT_CONNECTED, 2));
}

TEST(PipeServer, HandlesAreTheSmallestFreeAndAHundredAndFirstClientIsRefused)
{
    CServerFixture f;
    ASSERT_EQ(0u, f.Start());
    EXPECT_EQ(1u, f.Register(1));
    EXPECT_EQ(2u, f.Register(2));
    EXPECT_EQ(3u, f.Register(3));
    EXPECT_EQ(0u, f.Ctrl(CloseRequest(2)));
    EXPECT_EQ(2u, f.Register(4));
    for (DWORD dwId = 5; dwId <= 101; ++dwId) {
        ASSERT_EQ(dwId - 1, f.Register(dwId));
    }
    EXPECT_EQ(100u, f.server.GetClientCount());
    EXPECT_EQ(0u, f.Register(102)) << "the 101st";
    EXPECT_EQ(100u, f.server.GetClientCount());
    EXPECT_EQ(0u, f.Ctrl(CloseRequest(57)));
    EXPECT_EQ(57u, f.Register(103));
    EXPECT_EQ(101u, f.Handles(PIPEEVENT_CONNECTED, 101).size()) << "none for the refused one";
}

TEST(PipeServer, ReceivePipeRegisteredAgainReplacesItsStaleSession)
{
    CServerFixture f;
    ASSERT_EQ(0u, f.Start());
    EXPECT_EQ(1u, f.Register(0x10));
    EXPECT_EQ(2u, f.Register(0x20));
    EXPECT_EQ(3u, f.Register(0x30));
    // The process that had id 0x20 ended without unregistering; a new one got its id.
    EXPECT_EQ(2u, f.Register(0x20));
    EXPECT_EQ(3u, f.server.GetClientCount());
    EXPECT_EQ((std::vector<DWORD>{1, 2, 3, 2}), f.Handles(PIPEEVENT_CONNECTED, 4));
    EXPECT_EQ(std::vector<DWORD>{2}, f.Handles(PIPEEVENT_DISCONNECTED, 1));
    // The stale session is reported gone before the new one is announced.
    auto records = f.log.Records();
    ASSERT_EQ(5u, records.size());
    EXPECT_EQ(static_cast<DWORD>(PIPEEVENT_DISCONNECTED), records[3].dwEvent);
    // The old session is gone for good: one close empties the name's slot.
    EXPECT_EQ(0u, f.Ctrl(CloseRequest(2)));
    EXPECT_EQ(2u, f.server.GetClientCount());
    // With the list full, a name registered again still gets its slot back.
    for (DWORD dwId = 0x100; f.server.GetClientCount() < CPipeSv::kMaxClients; ++dwId) {
        ASSERT_NE(0u, f.Register(dwId));
    }
    EXPECT_EQ(3u, f.Register(0x30));
    EXPECT_EQ(CPipeSv::kMaxClients, f.server.GetClientCount());
}

TEST(PipeServer, DataPipeAcceptsRegisteredSendersOnly)
{
    CTraceCapture trace(0);
    CServerFixture f;
    ASSERT_EQ(0u, f.Start());
    std::vector<BYTE> command = {PIPECMD_UPDATE_QUOLEVEL, 0, 0, 0};
    EXPECT_EQ(4u, f.Data(0, command));
    EXPECT_EQ(4u, f.Data(57, command));
    ASSERT_EQ(1u, f.Register(0x77));
    EXPECT_EQ(4u, f.Data(2, command));
    EXPECT_EQ(0u, f.Data(1, command));
    ASSERT_TRUE(f.log.WaitForCount(PIPEEVENT_RECEIVED, 1, 5000));
    EXPECT_TRUE(IsNoAck(f.Data(1, std::vector<BYTE>(PIPECMD_MAX_SIZE + 1))));
    DWORD dwAck = 0;
    EXPECT_TRUE(IsHangUp(RawExchange(DataPipeName(f.suffix), Frame(1, 0x80000000u), &dwAck)));
    EXPECT_EQ(0u, f.Ctrl(CloseRequest(1)));
    EXPECT_EQ(4u, f.Data(1, command)) << "no longer registered";
    Sleep(200);

    auto records = f.log.Records();
    size_t nReceived = 0;
    for (const auto& r : records) {
        EXPECT_NE(static_cast<DWORD>(PIPEEVENT_VALIDATE), r.dwEvent) << "the owner never validates";
        if (r.dwEvent == PIPEEVENT_RECEIVED) {
            ++nReceived;
            EXPECT_EQ(1u, r.dwClientHandle);
            EXPECT_EQ(command, r.payload);
        }
    }
    EXPECT_EQ(1u, nReceived);
    EXPECT_TRUE(trace.Contains(L"Invalid Client:57"));
}

TEST(PipeServer, SendRefusesUnknownHandlesAndNullArguments)
{
    CServerFixture f;
    ASSERT_EQ(0u, f.Start());
    PipeCmd cmd = {PIPECMD_UPDATE_EXTDSPINFO};
    DWORD dwAck = 0;
    EXPECT_EQ(6u, f.server.Send(1, &cmd, sizeof(cmd), &dwAck, nullptr));
    EXPECT_EQ(87u, f.server.Send(1, nullptr, sizeof(cmd), &dwAck, nullptr));
    EXPECT_EQ(87u, f.server.Send(1, &cmd, sizeof(cmd), nullptr, nullptr));
    EXPECT_EQ(87u, f.server.SendAll(nullptr, sizeof(cmd), &dwAck, nullptr));
    EXPECT_EQ(0u, f.server.SendAll(&cmd, sizeof(cmd), &dwAck, nullptr)) << "nobody to send to";
}

// A registered pipe that does not exist (its process ended without unregistering) is
// dropped at the first send, with a disconnected event on the sending thread.
TEST(PipeServer, SessionWhosePipeIsGoneIsDroppedAtTheNextSend)
{
    CServerFixture f;
    ASSERT_EQ(0u, f.Start());
    ASSERT_EQ(1u, f.Register(0x51));
    ASSERT_EQ(2u, f.Register(0x52));
    ASSERT_TRUE(f.log.WaitForCount(PIPEEVENT_CONNECTED, 2, 5000));
    PipeCmd cmd = {PIPECMD_UPDATE_EXTDSPINFO};
    DWORD dwAck = 0;
    EXPECT_EQ(2u, f.server.Send(2, &cmd, sizeof(cmd), &dwAck, nullptr));
    EXPECT_EQ(1u, f.server.GetClientCount());
    auto records = f.log.Records();
    ASSERT_EQ(PIPEEVENT_DISCONNECTED, records.back().dwEvent);
    EXPECT_EQ(2u, records.back().dwClientHandle);
    EXPECT_EQ(GetCurrentThreadId(), records.back().dwThreadId);
    EXPECT_EQ(2u, f.server.Send(PIPE_ALL_CLIENTS, &cmd, sizeof(cmd), &dwAck, nullptr));
    EXPECT_EQ(0u, f.server.GetClientCount());
    EXPECT_EQ((std::vector<DWORD>{2, 1}), f.Handles(PIPEEVENT_DISCONNECTED));
}

// A send to a client that takes its time holds no lock that registrations need.
TEST(PipeServer, RegistrationsGoOnWhileASendWaitsForASlowClient)
{
    CServerFixture f;
    ASSERT_EQ(0u, f.Start());
    std::wstring slowPipe = ClientPipeName(f.suffix, 0x5105);
    HANDLE hSlow = CreateNamedPipeW(slowPipe.c_str(), PIPE_ACCESS_DUPLEX, 0, 1, 1024, 1024, 1000, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hSlow);
    ASSERT_EQ(1u, f.Ctrl(ConnectRequest(slowPipe)));
    HANDLE hDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread slow([&] {
        ConnectNamedPipe(hSlow, nullptr);
        WaitForSingleObject(hDone, 30000);
        DisconnectNamedPipe(hSlow);
    });
    DWORD dwSendResult = 0;
    std::thread sender([&] {
        PipeCmd cmd = {PIPECMD_UPDATE_EXTDSPINFO};
        DWORD dwAck = 0;
        dwSendResult = f.server.SendAll(&cmd, sizeof(cmd), &dwAck, nullptr);
    });
    Sleep(300);  // the send is now waiting for the slow client's ACK
    ULONGLONG ullStart = GetTickCount64();
    EXPECT_EQ(2u, f.Register(0x5106));
    EXPECT_EQ(0u, f.Ctrl(CloseRequest(2)));
    EXPECT_EQ(1u, f.server.GetClientCount());
    EXPECT_LT(GetTickCount64() - ullStart, 2000u);
    sender.join();
    EXPECT_EQ(1460u, dwSendResult) << "the slow client kept the send waiting";
    EXPECT_EQ(1u, f.server.GetClientCount()) << "a late client is not a vanished one";
    SetEvent(hDone);
    slow.join();
    CloseHandle(hDone);
    CloseHandle(hSlow);
}

TEST(PipeServer, ClientProcessThatDiesIsDroppedAtTheNextSend)
{
    CServerFixture f;
    ASSERT_EQ(0u, f.Start());
    std::wstring readyA = UniqueName(L"ps.readyA"), readyB = UniqueName(L"ps.readyB"), quit = UniqueName(L"ps.quit");
    HANDLE hReadyA = CreateEventW(nullptr, TRUE, FALSE, readyA.c_str());
    HANDLE hReadyB = CreateEventW(nullptr, TRUE, FALSE, readyB.c_str());
    HANDLE hQuit = CreateEventW(nullptr, TRUE, FALSE, quit.c_str());
    CChildProcess survivor, victim;
    ASSERT_TRUE(survivor.Start(L"client_hold", {f.suffix, readyA, quit}));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hReadyA, 20000));
    ASSERT_TRUE(victim.Start(L"client_hold", {f.suffix, readyB, quit}));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hReadyB, 20000));
    ASSERT_EQ((std::vector<DWORD>{1, 2}), f.Handles(PIPEEVENT_CONNECTED, 2));
    DWORD dwVictimPipeId = GetProcessId(victim.Handle());
    EXPECT_TRUE(PipeExists(ClientPipeName(f.suffix, dwVictimPipeId)));
    EXPECT_TRUE(PipeExists(ClientPipeName(f.suffix, GetProcessId(survivor.Handle()))));

    victim.Kill();
    EXPECT_FALSE(PipeExists(ClientPipeName(f.suffix, dwVictimPipeId)));
    QVPipeCmdNotifySysInfo cmd;
    BuildNotifySysInfo(&cmd, 3, L"plan", 1000, 0, 1, 50);
    DWORD dwAck = 0xDEADBEEF;
    EXPECT_EQ(2u, f.server.SendAll(&cmd, sizeof(cmd), &dwAck, nullptr));
    EXPECT_EQ(std::vector<DWORD>{2}, f.Handles(PIPEEVENT_DISCONNECTED));
    EXPECT_EQ(1u, f.server.GetClientCount());
    EXPECT_EQ(6u, f.server.Send(2, &cmd, sizeof(cmd), &dwAck, nullptr));
    dwAck = 0xDEADBEEF;
    EXPECT_EQ(0u, f.server.SendAll(&cmd, sizeof(cmd), &dwAck, nullptr));
    EXPECT_EQ(0u, dwAck);
    EXPECT_EQ(0u, f.server.Send(1, &cmd, sizeof(cmd), &dwAck, nullptr));

    SetEvent(hQuit);
    EXPECT_EQ(3u, survivor.Wait(20000)) << "the survivor received every message";
    EXPECT_EQ((std::vector<DWORD>{2, 1}), f.Handles(PIPEEVENT_DISCONNECTED, 2)) << "it unregistered";
    EXPECT_EQ(0u, f.server.GetClientCount());
    CloseHandle(hReadyA);
    CloseHandle(hReadyB);
    CloseHandle(hQuit);
}

TEST(PipeClient, ClientsInTwoProcessesHaveTheirOwnPipesAndHandles)
{
    CServerFixture f;
    ASSERT_EQ(0u, f.Start());
    CChildProcess first, second;
    ASSERT_TRUE(first.Start(L"client_exchange", {f.suffix}));
    ASSERT_TRUE(second.Start(L"client_exchange", {f.suffix}));
    ASSERT_TRUE(f.log.WaitForCount(PIPEEVENT_CONNECTED, 2, 20000));
    // Each client learns its own handle as the level: the answer proves where it went.
    for (DWORD dwHandle : f.Handles(PIPEEVENT_CONNECTED)) {
        QVPipeCmdNotifySysInfo cmd;
        BuildNotifySysInfo(&cmd, dwHandle, L"plan", 1000, 0, 1, 50);
        DWORD dwAck = 0xDEADBEEF;
        EXPECT_EQ(0u, f.server.Send(dwHandle, &cmd, sizeof(cmd), &dwAck, nullptr));
        EXPECT_EQ(0u, dwAck);
    }
    EXPECT_EQ(0u, first.Wait(20000));
    EXPECT_EQ(0u, second.Wait(20000));
    EXPECT_EQ((std::vector<DWORD>{1, 2}), f.Handles(PIPEEVENT_CONNECTED));
    size_t nAnswers = 0;
    for (const auto& r : f.log.Records()) {
        if (r.dwEvent == PIPEEVENT_RECEIVED) {
            ++nAnswers;
            ASSERT_EQ(sizeof(PipeCmdSwitchFunction), r.payload.size());
            PipeCmdSwitchFunction answer;
            memcpy(&answer, r.payload.data(), sizeof(answer));
            EXPECT_EQ(static_cast<DWORD>(PIPECMD_SWITCH_FUNCTION), answer.dwCmd);
            EXPECT_EQ(r.dwClientHandle, answer.dwFunction);
        }
    }
    EXPECT_EQ(2u, nAnswers);
    EXPECT_TRUE(f.log.WaitForCount(PIPEEVENT_DISCONNECTED, 2, 5000));
    EXPECT_EQ(0u, f.server.GetClientCount());
}

TEST(PipeClient, InitializeRefusesBadArgumentsAndLeavesNoPipeBehind)
{
    std::wstring suffix = UniqueName(L"pc.init");
    std::wstring ownPipe = ClientPipeName(suffix, GetCurrentProcessId());
    CEventLog log;
    CPipeCl client;
    DWORD dwClientId = 0xDEADBEEF;
    EXPECT_EQ(87u, client.Initialize(2, suffix.c_str(), &dwClientId, CEventLog::Callback, &log, nullptr));
    EXPECT_EQ(87u, client.Initialize(1, nullptr, &dwClientId, CEventLog::Callback, &log, nullptr));
    EXPECT_EQ(87u, client.Initialize(1, suffix.c_str(), nullptr, CEventLog::Callback, &log, nullptr));
    EXPECT_EQ(87u, client.Initialize(1, suffix.c_str(), &dwClientId, nullptr, &log, nullptr));
    EXPECT_EQ(87u, client.Initialize(1, suffix.c_str(), &dwClientId, CEventLog::Callback, nullptr, nullptr));
    EXPECT_FALSE(PipeExists(ownPipe));

    // No service.
    dwClientId = 0xDEADBEEF;
    EXPECT_EQ(2u, client.Initialize(1, suffix.c_str(), &dwClientId, CEventLog::Callback, &log, nullptr));
    EXPECT_EQ(0u, dwClientId);
    EXPECT_FALSE(PipeExists(ownPipe));

    // The same object registers once the service runs.
    CEventLog serverLog;
    CPipeSv server;
    ASSERT_EQ(0u, server.Initialize(suffix.c_str(), CEventLog::Callback, &serverLog));
    ASSERT_EQ(0u, client.Initialize(1, suffix.c_str(), &dwClientId, CEventLog::Callback, &log, nullptr));
    EXPECT_EQ(1u, dwClientId);
    EXPECT_TRUE(PipeExists(ownPipe));
    EXPECT_EQ(231u, client.Initialize(1, suffix.c_str(), &dwClientId, CEventLog::Callback, &log, nullptr));
    EXPECT_EQ(1u, server.GetClientCount()) << "a second Initialize leaves the registration alone";

    client.Finalize(nullptr);
    EXPECT_FALSE(PipeExists(ownPipe));
    EXPECT_EQ(0u, server.GetClientCount());
    EXPECT_EQ(1u, serverLog.Count(PIPEEVENT_DISCONNECTED));
    client.Finalize(nullptr);
    EXPECT_EQ(1u, serverLog.Count(PIPEEVENT_DISCONNECTED)) << "unregistered once";
}

TEST(PipeClient, OwnPipeAcceptsTheServiceOnly)
{
    CTraceCapture trace(0);
    CServerFixture f;
    ASSERT_EQ(0u, f.Start());
    CEventLog log;
    CPipeCl client;
    log.pReceiver = &client;
    DWORD dwClientId = 0;
    ASSERT_EQ(0u, client.Initialize(1, f.suffix.c_str(), &dwClientId, CEventLog::Callback, &log, nullptr));
    std::wstring ownPipe = ClientPipeName(f.suffix, GetCurrentProcessId());
    PipeCmd cmd = {PIPECMD_UPDATE_EXTDSPINFO};
    DWORD dwAck = 0xDEADBEEF;
    ASSERT_EQ(0u, RawExchange(ownPipe, Frame(3, sizeof(cmd), &cmd, sizeof(cmd)), &dwAck));
    EXPECT_EQ(4u, dwAck);
    ASSERT_EQ(0u, RawExchange(ownPipe, Frame(0, sizeof(cmd), &cmd, sizeof(cmd)), &dwAck));
    EXPECT_EQ(0u, dwAck);
    EXPECT_EQ(0u, f.server.Send(dwClientId, &cmd, sizeof(cmd), &dwAck, nullptr));
    ASSERT_TRUE(log.WaitForCount(PIPEEVENT_RECEIVED, 2, 5000));
    Sleep(100);
    for (const auto& r : log.Records()) {
        EXPECT_EQ(static_cast<DWORD>(PIPEEVENT_RECEIVED), r.dwEvent) << "the owner sees messages only";
        EXPECT_EQ(0u, r.dwClientHandle);
        EXPECT_EQ(std::vector<BYTE>({PIPECMD_UPDATE_EXTDSPINFO, 0, 0, 0}), r.payload);
    }
    EXPECT_EQ(2u, log.Records().size());
    EXPECT_TRUE(trace.Contains(L"Not Server:3"));
}

// A stand-in service that registers every client as handle 5 and answers every
// command with a chosen ACK.
struct CFakeService {
    CPipe ctrl;
    CPipe data;
    std::atomic<DWORD> dwDataAck{0};
    std::vector<BYTE> lastData;
    std::vector<BYTE> lastCtrl;

    static DWORD Serve(CPipe& pipe, std::vector<BYTE>& last, DWORD dwAck)
    {
        BYTE buf[1032];
        DWORD dwRead = 0;
        DWORD dwResult = pipe.Receive(buf, sizeof(buf), &dwRead, pipe.GetTerminateEvent());
        if (dwResult == ERROR_SUCCESS) {
            last.assign(buf, buf + dwRead);
            dwResult = pipe.SendAck(dwAck, pipe.GetTerminateEvent());
        }
        return dwResult;
    }
    static DWORD OnCtrl(LPVOID lpData)
    {
        CFakeService* pThis = static_cast<CFakeService*>(lpData);
        return Serve(pThis->ctrl, pThis->lastCtrl, 5);
    }
    static DWORD OnData(LPVOID lpData)
    {
        CFakeService* pThis = static_cast<CFakeService*>(lpData);
        return Serve(pThis->data, pThis->lastData, pThis->dwDataAck.load());
    }
};

TEST(PipeClient, SendCountsAcks0And1AsDeliveredAndOthersAsDenied)
{
    std::wstring suffix = UniqueName(L"pc.ack");
    CFakeService service;
    ASSERT_EQ(0u, service.ctrl.Initialize(1, CtrlPipeName(suffix).c_str(), CFakeService::OnCtrl, &service));
    ASSERT_EQ(0u, service.data.Initialize(1, DataPipeName(suffix).c_str(), CFakeService::OnData, &service));
    CPipeCl client;
    DWORD dwClientId = 0;
    ASSERT_EQ(0u, client.Initialize(0, suffix.c_str(), &dwClientId, nullptr, nullptr, nullptr));
    EXPECT_EQ(5u, dwClientId);
    EXPECT_EQ(ConnectRequest(L""), service.lastCtrl) << "mode 0 registers without a pipe";

    PipeCmdSwitchFunction cmd = {PIPECMD_SWITCH_FUNCTION, 1};
    const struct {
        DWORD dwAck;
        DWORD dwResult;
    } cases[] = {{0, 0}, {1, 0}, {2, 5}, {3, 5}, {4, 5}, {0xFFFFFFFF, 5}};
    for (const auto& c : cases) {
        service.dwDataAck = c.dwAck;
        DWORD dwRetCode = 0xDEADBEEF;
        EXPECT_EQ(c.dwResult, client.Send(&cmd, sizeof(cmd), &dwRetCode, nullptr)) << "ACK " << c.dwAck;
        EXPECT_EQ(c.dwAck, dwRetCode);
    }
    EXPECT_EQ(Frame(5, sizeof(cmd), &cmd, sizeof(cmd)), service.lastData) << "the handle rides in every header";

    // A service that has gone away: the transport's error, not a denial.
    service.data.Finalize();
    DWORD dwRetCode = 0xDEADBEEF;
    EXPECT_EQ(2u, client.Send(&cmd, sizeof(cmd), &dwRetCode, nullptr));
    EXPECT_EQ(87u, client.Send(nullptr, sizeof(cmd), &dwRetCode, nullptr));
    EXPECT_EQ(87u, client.Send(&cmd, sizeof(cmd), nullptr, nullptr));

    client.Finalize(nullptr);
    EXPECT_EQ(CloseRequest(5), service.lastCtrl) << "unregistered with its handle";
}

TEST(PipeClient, RefusedRegistrationGivesHandle0AndEverySendIsDenied)
{
    CServerFixture f;
    ASSERT_EQ(0u, f.Start());
    for (DWORD dwId = 1; dwId <= CPipeSv::kMaxClients; ++dwId) {
        ASSERT_EQ(dwId, f.Register(0x70000000 + dwId));
    }
    CEventLog log;
    CPipeCl client;
    DWORD dwClientId = 0xDEADBEEF;
    ASSERT_EQ(0u, client.Initialize(1, f.suffix.c_str(), &dwClientId, CEventLog::Callback, &log, nullptr));
    EXPECT_EQ(0u, dwClientId);
    PipeCmd cmd = {PIPECMD_UPDATE_QUOLEVEL};
    DWORD dwRetCode = 0;
    EXPECT_EQ(5u, client.Send(&cmd, sizeof(cmd), &dwRetCode, nullptr));
    EXPECT_EQ(4u, dwRetCode);
    client.Finalize(nullptr);
    EXPECT_EQ(CPipeSv::kMaxClients, f.server.GetClientCount()) << "handle 0 closes nobody";
}

}  // namespace
