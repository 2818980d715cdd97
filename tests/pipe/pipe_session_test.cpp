// CPipeSv and CPipeCl: the control pipe's answers case by case, client handles, the
// names a registration may give, stale sessions, the data pipe's check of senders, the
// client's own pipe and the ACKs of its sends; the live sample command. (A message sent
// to one client reaching that client is the service controller's NoSampleFollowsASwitchOff;
// a vanished client dropped at the next send is the agent's test against the service.)
#include <gtest/gtest.h>

#include "PipeTestSupport.h"

using namespace testsupport;
using namespace pipetest;

namespace {

struct CServerFixture {
    std::wstring suffix = UniqueName(L"ps");
    CEventLog log;  // outlives the server, whose threads call it
    CPipeSv server;

    DWORD Start()
    {
        log.pReceiver = &server;
        return server.Initialize(suffix.c_str(), CEventLog::Callback, &log);
    }

    DWORD Ctrl(const std::vector<BYTE>& request) { return Ack(CtrlPipeName(suffix), request); }
    DWORD Register(DWORD dwId) { return Ctrl(ConnectRequest(ClientPipeName(suffix, dwId))); }
    DWORD Data(DWORD dwClientHandle, const std::vector<BYTE>& payload)
    {
        return Ack(DataPipeName(suffix), Frame(dwClientHandle, payload));
    }

    // The handles of the events dwEvent once there are nCount of them (events follow
    // their ACK), or after five seconds when there are fewer.
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

// Bad arguments (87) and a second start (231) are refused, a send to nobody registered
// finds nobody (6); Finalize closes both pipes and reports no client gone.
TEST(PipeServer, InitializeSendArgumentsAndFinalize)
{
    CServerFixture f;
    PipeCmd cmd = {PIPECMD_UPDATE_EXTDSPINFO};
    DWORD dwAck = 0;
    ExpectResults({{87, f.server.Initialize(nullptr, CEventLog::Callback, &f.log)},
                   {87, f.server.Initialize(f.suffix.c_str(), nullptr, &f.log)},
                   {87, f.server.Initialize(f.suffix.c_str(), CEventLog::Callback, nullptr)}, {0, f.Start()},
                   {231, f.Start()}, {6, f.server.Send(1, &cmd, sizeof(cmd), &dwAck, nullptr)},
                   {87, f.server.Send(1, nullptr, sizeof(cmd), &dwAck, nullptr)},
                   {87, f.server.Send(1, &cmd, sizeof(cmd), nullptr, nullptr)},
                   {87, f.server.SendAll(nullptr, sizeof(cmd), &dwAck, nullptr)},
                   {0, f.server.SendAll(&cmd, sizeof(cmd), &dwAck, nullptr)}});
    EXPECT_EQ(1u, f.Register(1)) << "serving";
    f.server.Finalize(nullptr);
    EXPECT_FALSE(PipeExists(CtrlPipeName(f.suffix)));
    EXPECT_FALSE(PipeExists(DataPipeName(f.suffix)));
    EXPECT_EQ(0u, f.server.GetClientCount());
    EXPECT_EQ(0u, f.log.Count(PIPEEVENT_DISCONNECTED)) << "finalising reports nothing";
}

// Every refused request gets its ACK and raises no event; a CONNECT is accepted only
// with a receive-pipe name of this server's clients, terminated within the request.
// (Unknown codes and CLOSEs of another size are the fuzz test's.)
TEST(PipeServer, ControlPipeAnswersEachRequestAsAgreed)
{
    CServerFixture f;
    ASSERT_EQ(0u, f.Start());
    BYTE eight[8] = {1};
    std::wstring data = DataPipeName(f.suffix), good = ClientPipeName(f.suffix, 0x42);
    DWORD cbNoTerminator = static_cast<DWORD>(good.size() * sizeof(wchar_t));
    struct Case {
        std::string what;
        std::vector<BYTE> request;
        DWORD dwAck;
    };
    std::vector<Case> cases = {
        {"fewer than 8 bytes, the first four a CONNECT", {0, 0, 0, 0, 9}, 5},
        {"CONNECT of 0 bytes", Frame(PIPEREQUEST_CONNECT, 0), 0},
        {"CONNECT of 1 byte", Frame(PIPEREQUEST_CONNECT, 1, "\0", 1), 0},
        {"CONNECT without terminator", Frame(PIPEREQUEST_CONNECT, cbNoTerminator, good.c_str(), cbNoTerminator), 0},
        {"CONNECT with terminator not announced",
         Frame(PIPEREQUEST_CONNECT, cbNoTerminator, good.c_str(), cbNoTerminator + 2), 0},
        {"CLOSE of an unknown handle", CloseRequest(7), 4},
        {"CLOSE of 0", CloseRequest(0), 4},
        {"CLOSE of 0xFFFFFFFF", CloseRequest(0xFFFFFFFF), 4},
        {"CLOSE announcing 4, sending 8", Frame(PIPEREQUEST_CLOSE, 4, eight, 8), 5},
        {"CLOSE announcing 4, sending 2", Frame(PIPEREQUEST_CLOSE, 4, eight, 2), 5},
    };
    for (const std::wstring& name :
         {std::wstring(), std::wstring(L"\\\\.\\pipe\\impostor"), CtrlPipeName(f.suffix), data, data + L"0000abc",
          data + L"0000abcde", data + L"0000ABCD", data + L"0000abcg", data + L"-000abcd",
          ClientPipeName(f.suffix + L"x", 0x1234), L"\\\\.\\PIPE\\datapipe_" + f.suffix + L"0000abcd",
          L"\\\\server\\pipe\\datapipe_" + f.suffix + L"0000abcd", data + L"0000abcd\\..\\x"}) {
        cases.push_back({"CONNECT of \"" + Narrow(name) + "\"", ConnectRequest(name), 0});
    }
    for (const auto& c : cases) {
        EXPECT_EQ(c.dwAck, f.Ctrl(c.request)) << c.what;
    }
    EXPECT_EQ(0u, f.server.GetClientCount());

    EXPECT_EQ(1u, f.Ctrl(ConnectRequest(good)));
    EXPECT_EQ(2u, f.Register(0xffffffff));
    EXPECT_EQ(2u, f.server.GetClientCount());
    EXPECT_EQ((std::vector<DWORD>{1, 2}), f.Handles(PIPEEVENT_CONNECTED, 2));
    EXPECT_EQ(0u, f.Ctrl(CloseRequest(1)));
    EXPECT_EQ(1u, f.server.GetClientCount());
    EXPECT_EQ(std::vector<DWORD>{1}, f.Handles(PIPEEVENT_DISCONNECTED, 1));
    EXPECT_EQ(4u, f.Ctrl(CloseRequest(1))) << "closed once only";
    // Served one after the other: an event of any request above would be here by now.
    EXPECT_EQ(3u, f.log.Records().size()) << "no event for the refused requests";
}

// Handles are the smallest free; the 101st client is refused with handle 0, and a
// client so refused is denied every send and closes nobody. A name registered again
// (its process ended without unregistering, a new one got its id) replaces its stale
// session, also with the list full.
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
    EXPECT_EQ(100u, f.server.GetClientCount()) << "handle 0 closes nobody";
    EXPECT_EQ(0u, f.Ctrl(CloseRequest(57)));
    EXPECT_EQ(57u, f.Register(103));

    EXPECT_EQ(3u, f.Register(3)) << "registered again with the list full";
    EXPECT_EQ(100u, f.server.GetClientCount());
    std::vector<DWORD> expected = {1, 2, 3, 2};
    for (DWORD dwHandle = 4; dwHandle <= 100; ++dwHandle) {
        expected.push_back(dwHandle);
    }
    expected.insert(expected.end(), {57, 3});
    EXPECT_EQ(expected, f.Handles(PIPEEVENT_CONNECTED, expected.size())) << "none for the refused ones";
    EXPECT_EQ((std::vector<DWORD>{2, 57, 3}), f.Handles(PIPEEVENT_DISCONNECTED, 3));
    // The stale session is reported gone before the new one is announced.
    auto records = f.log.Records();
    EXPECT_EQ(PIPEEVENT_DISCONNECTED, records[records.size() - 2].dwEvent);
    // And it is gone for good: one close empties the name's slot.
    EXPECT_EQ(0u, f.Ctrl(CloseRequest(3)));
    EXPECT_EQ(99u, f.server.GetClientCount());
}

TEST(PipeServer, DataPipeAcceptsRegisteredSendersOnly)
{
    CServerFixture f;
    ASSERT_EQ(0u, f.Start());
    std::vector<BYTE> command = {PIPECMD_UPDATE_QUOLEVEL, 0, 0, 0};
    EXPECT_EQ(4u, f.Data(57, command));
    ASSERT_EQ(1u, f.Register(0x77));
    EXPECT_EQ(4u, f.Data(2, command));
    EXPECT_EQ(0u, f.Data(1, command));
    EXPECT_EQ(std::vector<DWORD>{1}, f.Handles(PIPEEVENT_RECEIVED, 1));
    EXPECT_EQ(command, f.log.Records()[1].payload);
    EXPECT_EQ(0u, f.Ctrl(CloseRequest(1)));
    EXPECT_EQ(4u, f.Data(1, command)) << "no longer registered";
    Sleep(200);
    EXPECT_EQ(1u, f.log.Count(PIPEEVENT_RECEIVED));
    EXPECT_EQ(0u, f.log.Count(PIPEEVENT_VALIDATE)) << "the owner never validates";
}

// A client whose pipe accepts and never answers costs a send kAckTimeout, not its
// thread; the send holds no lock that registrations need meanwhile, and a late client
// is not a vanished one.
TEST(PipeServer, RegistrationsGoOnWhileASendWaitsForASlowClient)
{
    CServerFixture f;
    ASSERT_EQ(0u, f.Start());
    std::wstring slowPipe = ClientPipeName(f.suffix, 0x5105);
    CMutePipe slow(slowPipe);
    ASSERT_TRUE(slow.IsValid());
    ASSERT_EQ(1u, f.Ctrl(ConnectRequest(slowPipe)));
    DWORD dwSendResult = 0, dwRetcode = 0;
    ULONGLONG ullSendTime = 0;
    std::thread sender([&] {
        PipeCmd cmd = {PIPECMD_UPDATE_EXTDSPINFO};
        ULONGLONG ullStart = GetTickCount64();
        dwSendResult = f.server.SendAll(&cmd, sizeof(cmd), &dwRetcode, nullptr);
        ullSendTime = GetTickCount64() - ullStart;
    });
    Sleep(300);  // the send is now waiting for the slow client's ACK
    ULONGLONG ullStart = GetTickCount64();
    EXPECT_EQ(2u, f.Register(0x5106));
    EXPECT_EQ(0u, f.Ctrl(CloseRequest(2)));
    EXPECT_EQ(1u, f.server.GetClientCount());
    EXPECT_LT(GetTickCount64() - ullStart, 2000u);
    sender.join();
    EXPECT_EQ(1460u, dwSendResult);
    EXPECT_EQ(CPipe::kRetcodeWaitingAck, dwRetcode);
    EXPECT_GE(ullSendTime, CPipe::kAckTimeout - 500);
    EXPECT_LT(ullSendTime, CPipe::kAckTimeout + 3000);
    EXPECT_EQ(1u, f.server.GetClientCount());
}

// Initialize leaves nothing behind when it fails (bad arguments, no service); the
// client's own pipe then takes messages from the service only; Finalize unregisters once.
TEST(PipeClient, InitializeOwnPipeAndFinalize)
{
    std::wstring suffix = UniqueName(L"pc.init");
    std::wstring ownPipe = ClientPipeName(suffix, GetCurrentProcessId());
    CEventLog log;
    CPipeCl client;
    log.pReceiver = &client;
    DWORD dwClientId = 0xDEADBEEF;
    ExpectResults({{87, client.Initialize(2, suffix.c_str(), &dwClientId, CEventLog::Callback, &log, nullptr)},
                   {87, client.Initialize(1, nullptr, &dwClientId, CEventLog::Callback, &log, nullptr)},
                   {87, client.Initialize(1, suffix.c_str(), nullptr, CEventLog::Callback, &log, nullptr)},
                   {87, client.Initialize(1, suffix.c_str(), &dwClientId, nullptr, &log, nullptr)},
                   {87, client.Initialize(1, suffix.c_str(), &dwClientId, CEventLog::Callback, nullptr, nullptr)},
                   {2, client.Initialize(1, suffix.c_str(), &dwClientId, CEventLog::Callback, &log, nullptr)}});
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

    PipeCmd cmd = {PIPECMD_UPDATE_EXTDSPINFO};
    EXPECT_EQ(4u, Ack(ownPipe, Frame(3, sizeof(cmd), &cmd, sizeof(cmd))));
    EXPECT_EQ(0u, Ack(ownPipe, Frame(0, sizeof(cmd), &cmd, sizeof(cmd))));
    DWORD dwAck = 0xDEADBEEF;
    EXPECT_EQ(0u, server.Send(client.GetClientHandle(), &cmd, sizeof(cmd), &dwAck, nullptr));
    ASSERT_TRUE(log.WaitForCount(PIPEEVENT_RECEIVED, 2, 5000));
    Sleep(100);
    for (const auto& r : log.Records()) {
        EXPECT_EQ(PIPEEVENT_RECEIVED, r.dwEvent) << "the owner sees messages only";
        EXPECT_EQ(0u, r.dwClientHandle);
        EXPECT_EQ(std::vector<BYTE>({PIPECMD_UPDATE_EXTDSPINFO, 0, 0, 0}), r.payload);
    }
    EXPECT_EQ(2u, log.Records().size());

    client.Finalize(nullptr);
    EXPECT_FALSE(PipeExists(ownPipe));
    EXPECT_EQ(0u, server.GetClientCount());
    client.Finalize(nullptr);
    EXPECT_EQ(1u, serverLog.Count(PIPEEVENT_DISCONNECTED)) << "unregistered once";
}

// Send's result: 5 only when the service refused the message, the transport's error
// when it did not travel. The stand-in service answers every request with its owner's
// verdict: 5 registers the client as handle 5.
TEST(PipeClient, SendCountsAcks0And1AsDeliveredAndOthersAsDenied)
{
    std::wstring suffix = UniqueName(L"pc.ack");
    CEventLog ctrlLog, dataLog;
    CPipeRecv ctrl, data;
    ctrlLog.pReceiver = &ctrl;
    dataLog.pReceiver = &data;
    ctrlLog.dwVerdict = 5;
    ASSERT_EQ(0u, ctrl.Initialize(CtrlPipeName(suffix).c_str(), CEventLog::Callback, &ctrlLog));
    ASSERT_EQ(0u, data.Initialize(DataPipeName(suffix).c_str(), CEventLog::Callback, &dataLog));
    CPipeCl client;
    DWORD dwClientId = 0;
    ASSERT_EQ(0u, client.Initialize(0, suffix.c_str(), &dwClientId, nullptr, nullptr, nullptr));
    EXPECT_EQ(5u, dwClientId);
    ASSERT_EQ(1u, ctrlLog.Records().size());
    EXPECT_EQ(PIPEREQUEST_CONNECT, ctrlLog.Records()[0].dwClientHandle);
    EXPECT_EQ(sizeof(WCHAR), ctrlLog.Records()[0].dwDataSize) << "mode 0 registers without a pipe";

    PipeCmdSwitchFunction cmd = {PIPECMD_SWITCH_FUNCTION, 1};
    const struct {
        DWORD dwAck;
        DWORD dwResult;
    } cases[] = {{0, 0}, {1, 0}, {2, 5}, {3, 5}, {4, 5}, {0xFFFFFFFF, 5}};
    for (const auto& c : cases) {
        dataLog.dwVerdict = c.dwAck;
        DWORD dwRetCode = 0xDEADBEEF;
        EXPECT_EQ(c.dwResult, client.Send(&cmd, sizeof(cmd), &dwRetCode, nullptr)) << "ACK " << c.dwAck;
        EXPECT_EQ(c.dwAck, dwRetCode);
    }
    const std::vector<BYTE> payload(reinterpret_cast<BYTE*>(&cmd), reinterpret_cast<BYTE*>(&cmd + 1));
    for (const auto& r : dataLog.Records()) {
        EXPECT_EQ(5u, r.dwClientHandle) << "the handle rides in every header";
        EXPECT_TRUE(r.dwEvent != PIPEEVENT_RECEIVED || r.payload == payload);
    }

    data.Finalize(nullptr);
    EXPECT_EQ(1u, dataLog.Count(PIPEEVENT_RECEIVED)) << "only the accepted message reaches the owner";
    DWORD dwRetCode = 0xDEADBEEF;
    EXPECT_EQ(2u, client.Send(&cmd, sizeof(cmd), &dwRetCode, nullptr)) << "a service gone away is no denial";

    ctrlLog.dwVerdict = 0;
    client.Finalize(nullptr);
    ASSERT_TRUE(ctrlLog.WaitForCount(PIPEEVENT_RECEIVED, 1, 5000));
    EXPECT_EQ(PIPEREQUEST_CLOSE, ctrlLog.Records().back().dwClientHandle);
    EXPECT_EQ(std::vector<BYTE>({5, 0, 0, 0}), ctrlLog.Records().back().payload) << "unregistered with its handle";
}

// The live sample built from a record's values.
TEST(PipeCmd, NotifySysInfoKeepsValuesInRangeAndComputesTheWatts)
{
    const std::wstring longName(300, L'p');
    const struct {
        DWORD dwLevel;
        const wchar_t* lpPlan;
        DWORD dwPC, dwMon, dwStatus, dwPercent;
        BYTE byLevel;
        std::wstring plan;
        double dWatt;
        BYTE byStatus, byPercent;
    } cases[] = {
        {3, L"\u30d0\u30e9\u30f3\u30b9", 12345, 2000, 3, 87, 3, L"\u30d0\u30e9\u30f3\u30b9", 14.345, 3, 87},
        {1, L"", 0, 0, 1, 0, 1, L"", 0.0, 1, 0},
        {5, L"x", 0, 0, 1, 0, 5, L"x", 0.0, 1, 0},
        {0, L"x", 0, 0, 0, 0, 0, L"x", 0.0, 0, 0},
        {6, L"x", 0, 0, 4, 0, 0, L"x", 0.0, 0, 0},
        {0xFFFFFFFF, L"x", 0, 0, 0x101, 0, 0, L"x", 0.0, 0, 0},
        // The percent keeps its low byte.
        {1, L"x", 0, 0, 2, 0x1FF, 1, L"x", 0.0, 2, 0xFF},
        // Two large readings do not wrap around 32 bits; no plan is an empty one.
        {1, nullptr, 0xFFFFFFFF, 1000, 2, 0, 1, L"", 4294968.295, 2, 0},
        // A long plan name is cut to 128 characters, the fields after it intact.
        {2, longName.c_str(), 1, 2, 1, 50, 2, std::wstring(128, L'p'), 0.003, 1, 50},
    };
    for (const auto& c : cases) {
        QVPipeCmdNotifySysInfo cmd;
        memset(&cmd, 0xCC, sizeof(cmd));
        BuildNotifySysInfo(&cmd, c.dwLevel, c.lpPlan, c.dwPC, c.dwMon, c.dwStatus, c.dwPercent);
        SCOPED_TRACE(testing::Message() << "level " << c.dwLevel << ", status " << c.dwStatus << ", watts " << c.dWatt);
        EXPECT_EQ(static_cast<DWORD>(PIPECMD_NOTIFY_SYSINFO), static_cast<DWORD>(cmd.dwCmd));
        EXPECT_EQ(c.byLevel, cmd.byQuoLevel);
        WCHAR szPlan[PIPECMD_POWPLAN_CHARS];
        memcpy(szPlan, cmd.szPowerPlan, sizeof(szPlan));
        EXPECT_EQ(c.plan, std::wstring(szPlan));
        for (size_t i = c.plan.size(); i < PIPECMD_POWPLAN_CHARS; ++i) {
            EXPECT_EQ(L'\0', szPlan[i]) << "the rest of the name field is cleared, at " << i;
        }
        EXPECT_DOUBLE_EQ(c.dWatt, static_cast<double>(cmd.dWatt));
        EXPECT_EQ(c.byStatus, cmd.byBatteryStatus);
        EXPECT_EQ(c.byPercent, cmd.byBatteryLifePercent);
    }
}

}  // namespace
