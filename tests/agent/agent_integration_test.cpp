// The session agent quoviewerd.exe as a user session runs it, on a simulated desktop.
//
// AgentWithService runs it against the real service: waiting for the service, the
// single instance, registration and unregistration as the service sees them, also of a
// killed agent. AgentStandIn runs it against a stand-in: a service named quomonsv that
// only runs, while this test process serves the pipes in the service's place, so that
// every command the agent sends is seen exactly and every command it handles is sent on
// cue; that is also how the agent's Windows XP paths are reached (the service itself,
// started by the service manager, cannot be told to emulate Windows XP).
#include <cwchar>
#include <memory>

#include "IntegrationSupport.h"
#include "MainWnd.h"
#include "Service.h"
#include "SimSetting.h"
#include "WinVer.h"

using namespace integ;

namespace {

const wchar_t kAgentInitialized[] = L"CMainWnd -- Initialized.";
// Every Wine process runs in session 1; another id makes the agent's session inactive.
const DWORD kOwnSession = 1;
const DWORD kOtherSession = 2;
const wchar_t kUpdateLevel[] = L"QuoApiUpdateActiveQuoLevel";
const wchar_t kUpdateMonitors[] = L"QuoApiUpdateMonitorInfo";
const wchar_t kWatchScheme[] = L"QuoApiInitializeWatchActiveScheme";

const wchar_t kBalancedScheme[] = L"{381b4222-f694-41f0-9685-ff5bb260df2e}";
const wchar_t kPowerSaverScheme[] = L"{a1841308-3541-4fab-bc81-f71556f20b4a}";
// A scheme of our own that bears the power saver's name.
const wchar_t kTwinScheme[] = L"{5a560051-554f-4a50-8c41-4e0000000099}";

// Starts an agent with env added to its environment.
void StartAgent(CProcess* pAgent, const std::vector<std::wstring>& env = {})
{
    ASSERT_TRUE(pAgent->StartProgram(ProgramPath(L"quoviewerd.exe"), {}, env));
}

// Sends a message to the agent's hidden window and waits for it to be handled.
void SendToAgent(const CProcess& agent, UINT uMsg, WPARAM wParam)
{
    HWND hWnd = FindProcessWindow(agent.Id(), L"QUOViewerTool_MW_Class");
    ASSERT_NE(nullptr, hWnd) << "the agent has no window";
    DWORD_PTR dwResult = 0;
    EXPECT_NE(0, SendMessageTimeoutW(hWnd, uMsg, wParam, 0, SMTO_NORMAL, kWait, &dwResult));
}

// The handle the service gives a new client: the smallest free one, so it tells how
// many clients are registered before it.
DWORD NextClientHandle()
{
    CTestClient client;
    EXPECT_EQ(0u, client.Connect());
    return client.Handle();
}

// ---------------------------------------------------------------------------------
// Against the real service

class AgentWithService : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(0u, StartWinmgmt()) << "winmgmt does not run";
        SetDword(kDevInfoKey, L"Interval", 1000);
    }

    void TearDown() override { RemoveService(); }

    // Runs end, after which the service drops its only client: the next one is the first.
    // (Not waited for by the trace: the probe client's own unregistration is traced the
    // same way, and may be traced after its unregistration has been answered.)
    static void ExpectDroppedBy(const std::function<void()>& end)
    {
        end();
        EXPECT_TRUE(testsupport::WaitUntil([] { return NextClientHandle() == 1; }, kWait, 200));
    }

    CTraceFile m_trace{L"agent_with_service.log"};
};

// While the service is installed but stopped, the agent keeps polling for it; a second
// agent leaves at once with 0. Once the service runs, the waiting agent registers as its
// first client, the second never does. Closing the window unregisters it. A killed agent
// cannot unregister, and the service drops it when a send to it fails. (Display updates
// and logging off are the stand-in's tests.)
TEST_F(AgentWithService, WaitsForTheServiceThenRegistersWhileASecondCopyLeaves)
{
    ASSERT_EQ(0u, RunQuomonsv({L"/INSTALL", QuomonsvCommandLine()}));
    size_t nMark = m_trace.Count();
    CProcess agent;
    StartAgent(&agent);
    ASSERT_TRUE(
        testsupport::WaitUntil([&] { return m_trace.Find(nMark, agent.Id(), L"Waiting ... (").size() >= 4; }, kWait));
    CProcess second;
    StartAgent(&second);
    EXPECT_EQ(0u, second.Wait(kWait));
    EXPECT_TRUE(agent.IsRunning());

    ASSERT_EQ(0u, RunStartSwitch());
    EXPECT_TRUE(m_trace.WaitFor(nMark, agent.Id(), kAgentInitialized));
    EXPECT_EQ(2u, NextClientHandle());
    ExpectDroppedBy([&] { SendToAgent(agent, WM_CLOSE, 0); });
    EXPECT_EQ(0u, agent.Wait(kWait));

    CProcess killed;
    nMark = m_trace.Count();
    StartAgent(&killed);
    ASSERT_TRUE(m_trace.WaitFor(nMark, killed.Id(), kAgentInitialized));
    EXPECT_EQ(2u, NextClientHandle());
    ExpectDroppedBy([&] { killed.Kill(); });
}

// ---------------------------------------------------------------------------------
// Against a stand-in for the service

// The stand-in's service: the product's service framework, whose own main loop only
// waits to be stopped.
class CStandInService : public CService {
public:
    DWORD Initialize()
    {
        static const WCHAR kNoDependencies[] = L"\0";
        return CService::Initialize(kServiceName, L"stand-in", L"", reinterpret_cast<const BYTE*>(kNoDependencies),
                                    sizeof(kNoDependencies));
    }

protected:
    DWORD OnStop() override
    {
        TerminateMainLoop();
        return ERROR_SUCCESS;
    }
};

QUO_TEST_CHILD(StandInService)
{
    CStandInService service;
    return (service.Initialize() == ERROR_SUCCESS) ? static_cast<int>(service.ServiceEntry()) : 1;
}

// The pipes of the service, served by this process.
class CStandInServer {
public:
    CStandInServer() { m_log.pReceiver = &m_PipeSv; }
    ~CStandInServer() { m_PipeSv.Finalize(nullptr); }

    DWORD Start() { return m_PipeSv.Initialize(kPipeSuffix, pipetest::CEventLog::Callback, &m_log); }
    pipetest::CEventLog& Log() { return m_log; }
    size_t Mark() { return m_log.Records().size(); }

    DWORD Send(DWORD dwClientHandle, const void* lpData, DWORD cb)
    {
        DWORD dwRetCode = 0;
        return m_PipeSv.Send(dwClientHandle, lpData, cb, &dwRetCode, nullptr);
    }

    // Sends a command of its code alone and returns once the client has handled it.
    void SendCode(DWORD dwClientHandle, DWORD dwCmd)
    {
        EXPECT_EQ(0u, Send(dwClientHandle, &dwCmd, sizeof(dwCmd)));
        Flush(dwClientHandle);
    }

    // Returns once the client has handled every command sent before: it serves one
    // message at a time and takes the next (a sample, which it ignores) only then.
    void Flush(DWORD dwClientHandle)
    {
        QVPipeCmdNotifySysInfo sample = {};
        sample.dwCmd = PIPECMD_NOTIFY_SYSINFO;
        EXPECT_EQ(0u, Send(dwClientHandle, &sample, sizeof(sample)));
    }

    // Waits for the first event dwEvent from record nFrom on, of client dwClientHandle (0:
    // any); that client's handle, or 0 when none came in time.
    DWORD WaitForEvent(size_t nFrom, DWORD dwEvent, DWORD dwClientHandle = 0)
    {
        DWORD dwFound = 0;
        testsupport::WaitUntil([&] {
            std::vector<pipetest::CEventLog::Record> records = m_log.Records();
            for (size_t i = nFrom; i < records.size() && dwFound == 0; ++i) {
                bool bOfClient = dwClientHandle == 0 || records[i].dwClientHandle == dwClientHandle;
                dwFound = (records[i].dwEvent == dwEvent && bOfClient) ? records[i].dwClientHandle : 0;
            }
            return dwFound != 0;
        }, kWait);
        return dwFound;
    }

    // The first plan name the client sent from record nFrom on; "<none>" when none came.
    std::wstring WaitForPlan(size_t nFrom)
    {
        pipetest::CEventLog::Record record = WaitForCommand(m_log, nFrom, PIPECMD_ACTIVE_POWERPLAN);
        if (record.payload.empty()) {
            return L"<none>";
        }
        PipeCmdActivePowPlan plan = CommandAs<PipeCmdActivePowPlan>(record);
        return std::wstring(plan.szPowPlan, wcsnlen(plan.szPowPlan, PIPECMD_POWPLAN_CHARS));
    }

    // Asks the client for its plan and waits for the answer.
    std::wstring RequestPlan(DWORD dwClientHandle)
    {
        size_t nMark = Mark();
        PipeCmdActivePowPlan request = {PIPECMD_ACTIVE_POWERPLAN, L""};
        EXPECT_EQ(0u, Send(dwClientHandle, &request, sizeof(request)));
        return WaitForPlan(nMark);
    }

private:
    CPipeSv m_PipeSv;
    pipetest::CEventLog m_log;
};

class AgentStandIn : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_trace = std::make_unique<CTraceFile>(L"agent_standin.log");
        CStandInService service;
        ASSERT_EQ(0u, service.Initialize());
        ASSERT_EQ(0u, service.Register((L"\"" + testsupport::ThisExePath() + L"\" --child StandInService").c_str(), FALSE));
        ASSERT_EQ(0u, service.Start());
        s_server = std::make_unique<CStandInServer>();
        ASSERT_EQ(0u, s_server->Start());
    }

    static void TearDownTestSuite()
    {
        s_server.reset();
        // The prefix is the suite's own: a stop answered late on a loaded machine (1053)
        // is no failure of the agent.
        CStandInService service;
        service.Initialize();
        service.Unregister();
        s_trace.reset();
    }

    void SetUp() override { SetSession(kOwnSession); }

    // Starts an agent in the session of m_session, with env added; its client handle.
    DWORD StartAgentInSession(CProcess* pAgent, const std::vector<std::wstring>& env)
    {
        std::vector<std::wstring> agentEnv = env;
        agentEnv.push_back(L"QUO_CONSOLE_SESSION_KEY=" + m_session.Path());
        size_t nMark = s_server->Mark();
        StartAgent(pAgent, agentEnv);
        return s_server->WaitForEvent(nMark, PIPEEVENT_CONNECTED);
    }

    void SetSession(DWORD dwSessionId) { m_session.SetDword(L"", L"ActiveConsoleSession", dwSessionId); }

    // Makes dwSession the active one and sends the agent dwCmd: lpFunction of the level
    // library is then called dwAdded times more.
    void ExpectCallsAfter(DWORD dwClient, DWORD dwSession, DWORD dwCmd, const wchar_t* lpFunction, DWORD dwAdded)
    {
        DWORD dwBefore = QuoLevelCalls(lpFunction);
        SetSession(dwSession);
        s_server->SendCode(dwClient, dwCmd);
        EXPECT_EQ(dwBefore + dwAdded, QuoLevelCalls(lpFunction)) << "session " << dwSession << ", command " << dwCmd;
    }

    // Sends the agent's window uMsg: the agent ends with 0 and unregisters.
    static void ExpectEndsAndUnregisters(CProcess& agent, UINT uMsg, WPARAM wParam, DWORD dwClient)
    {
        size_t nMark = s_server->Mark();
        SendToAgent(agent, uMsg, wParam);
        EXPECT_EQ(0u, agent.Wait(kWait));
        EXPECT_NE(0u, s_server->WaitForEvent(nMark, PIPEEVENT_DISCONNECTED, dwClient));
    }

    static std::unique_ptr<CTraceFile> s_trace;
    static std::unique_ptr<CStandInServer> s_server;
    testsupport::CTestRegKey m_session{L"agentsession"};
};

std::unique_ptr<CTraceFile> AgentStandIn::s_trace;
std::unique_ptr<CStandInServer> AgentStandIn::s_server;

// On 64-bit Windows XP (5.2), at start the agent watches the scheme through the level
// library and asks once for a level update. Asked before it has read any plan, it
// answers with an empty name. The session's scheme is polled every second and each new name reported once: another
// scheme of the same name sends nothing. A session that is not the active one reports
// nothing and answers nothing, but the agent keeps the name for when it is active again.
// The level is updated only when the session has become active since the last request.
// Closing ends the watch and unregisters.
TEST_F(AgentStandIn, OnWindowsXpReportsTheSchemeAndUpdatesTheLevelWhenItsSessionBecomesActive)
{
    CStandInServer& server = *s_server;
    CSimSetting active(L"PowerSchemes", L"Active", L"{00000000-0000-0000-0000-000000000000}");
    DWORD dwWatches = QuoLevelCalls(kWatchScheme);
    size_t nTrace = s_trace->Count();
    size_t nMark = server.Mark();
    CProcess agent;
    DWORD dwClient = StartAgentInSession(&agent, {L"QUO_EMULATE_WINVER=5.2"});
    ASSERT_NE(0u, dwClient);
    pipetest::CEventLog::Record update = WaitForCommand(server.Log(), nMark, PIPECMD_UPDATE_QUOLEVEL);
    EXPECT_EQ(sizeof(DWORD), update.payload.size());
    EXPECT_EQ(dwClient, update.dwClientHandle);
    EXPECT_EQ(dwWatches + 1, QuoLevelCalls(kWatchScheme));
    EXPECT_TRUE(s_trace->WaitFor(nTrace, agent.Id(), L"Error in PowScheme.GetActivePowPlanName()"));
    EXPECT_EQ(L"", server.RequestPlan(dwClient));

    nMark = server.Mark();
    CSimSetting balanced(L"PowerSchemes", L"Active", kBalancedScheme);
    EXPECT_EQ(L"バランス", server.WaitForPlan(nMark));
    nMark = server.Mark();
    CSimSetting saver(L"PowerSchemes", L"Active", kPowerSaverScheme);
    EXPECT_EQ(L"省電力", server.WaitForPlan(nMark));
    CSimSetting twinName(std::wstring(L"PowerSchemes\\") + kTwinScheme, L"FriendlyName", L"省電力");
    CSimSetting twinIndex(std::wstring(L"PowerSchemes\\") + kTwinScheme, L"Index", 9);
    nTrace = s_trace->Count();
    CSimSetting twin(L"PowerSchemes", L"Active", kTwinScheme);
    Sleep(kQuietSpan);
    EXPECT_EQ(1u, Commands(server.Log(), nMark, PIPECMD_ACTIVE_POWERPLAN).size());
    EXPECT_TRUE(s_trace->Find(nTrace, agent.Id(), L"Error in PowScheme.GetActivePowPlanName()").empty());

    SetSession(kOtherSession);
    nMark = server.Mark();
    CSimSetting high(L"PowerSchemes", L"Active", L"{8c5e7fda-e8bf-4a96-9a85-aa6e25226d6e}");
    PipeCmdActivePowPlan request = {PIPECMD_ACTIVE_POWERPLAN, L""};
    EXPECT_EQ(0u, server.Send(dwClient, &request, sizeof(request)));
    Sleep(kQuietSpan);
    server.Flush(dwClient);
    EXPECT_TRUE(Commands(server.Log(), nMark, PIPECMD_ACTIVE_POWERPLAN).empty());
    SetSession(kOwnSession);
    EXPECT_EQ(L"高パフォーマンス", server.RequestPlan(dwClient));

    ExpectCallsAfter(dwClient, kOwnSession, PIPECMD_UPDATE_QUOLEVEL, kUpdateLevel, 0);    // active before and now
    ExpectCallsAfter(dwClient, kOtherSession, PIPECMD_UPDATE_QUOLEVEL, kUpdateLevel, 0);  // not active
    ExpectCallsAfter(dwClient, kOwnSession, PIPECMD_UPDATE_QUOLEVEL, kUpdateLevel, 1);    // has just become active
    ExpectCallsAfter(dwClient, kOwnSession, PIPECMD_UPDATE_QUOLEVEL, kUpdateLevel, 0);    // still active

    DWORD dwFinalized = QuoLevelCalls(L"QuoApiFinalizeWatchActiveScheme");
    ExpectEndsAndUnregisters(agent, WM_CLOSE, 0, dwClient);
    EXPECT_EQ(dwFinalized + 1, QuoLevelCalls(L"QuoApiFinalizeWatchActiveScheme"));
}

// The agent's window in this process, with a timer that cannot be set.
class CTimerlessMainWnd : public CMainWnd {
protected:
    DWORD StartTimer() override { return ERROR_NOT_ENOUGH_QUOTA; }
};

// On 64-bit Windows XP a start whose timer cannot be set fails, and still ends the level
// library's watch of the scheme that it began.
TEST_F(AgentStandIn, OnWindowsXpAStartWithoutTimerEndsTheWatchItBegan)
{
    CWinVer::SetEmulatedVersion(5, 2);
    DWORD dwWatches = QuoLevelCalls(kWatchScheme);
    DWORD dwFinalized = QuoLevelCalls(L"QuoApiFinalizeWatchActiveScheme");
    {
        CTimerlessMainWnd wnd;
        EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA), wnd.Initialize(GetModuleHandleW(nullptr)));
    }
    CWinVer::ClearEmulatedVersion();
    EXPECT_EQ(dwWatches + 1, QuoLevelCalls(kWatchScheme));
    EXPECT_EQ(dwFinalized + 1, QuoLevelCalls(L"QuoApiFinalizeWatchActiveScheme"));
}

// Its timer does nothing: a new scheme is not reported, requests are answered with the
// empty name it started with. A payload too short for a command and an unknown command
// are dropped, and the agent goes on answering (one larger than any command is refused
// by the receiver that the service's controller test feeds one). Level requests are
// ignored, also when the session has just become active; display updates reach the
// level library from the active session only. Nothing of Windows XP happens. A cancelled
// log-off changes nothing; logging off ends it and unregisters.
TEST_F(AgentStandIn, OnWindows7OnlyForwardsDisplayUpdatesFromTheActiveSession)
{
    CStandInServer& server = *s_server;
    CSimSetting balanced(L"PowerSchemes", L"Active", kBalancedScheme);
    DWORD dwWatches = QuoLevelCalls(kWatchScheme);
    size_t nStart = server.Mark();
    CProcess agent;
    DWORD dwClient = StartAgentInSession(&agent, {});
    ASSERT_NE(0u, dwClient);
    EXPECT_EQ(L"", server.RequestPlan(dwClient));
    size_t nMark = server.Mark();
    CSimSetting saver(L"PowerSchemes", L"Active", kPowerSaverScheme);
    Sleep(kQuietSpan);
    EXPECT_TRUE(Commands(server.Log(), nMark, PIPECMD_ACTIVE_POWERPLAN).empty());
    EXPECT_EQ(L"", server.RequestPlan(dwClient));

    nMark = server.Mark();
    const BYTE shortPayload[3] = {PIPECMD_ACTIVE_POWERPLAN, 0, 0};
    EXPECT_EQ(0u, server.Send(dwClient, shortPayload, sizeof(shortPayload)));
    server.SendCode(dwClient, 5);
    EXPECT_EQ(L"", server.RequestPlan(dwClient));
    EXPECT_EQ(1u, Commands(server.Log(), nMark, PIPECMD_ACTIVE_POWERPLAN).size());

    ExpectCallsAfter(dwClient, kOtherSession, PIPECMD_UPDATE_QUOLEVEL, kUpdateLevel, 0);
    ExpectCallsAfter(dwClient, kOwnSession, PIPECMD_UPDATE_QUOLEVEL, kUpdateLevel, 0);  // has just become active
    ExpectCallsAfter(dwClient, kOwnSession, PIPECMD_UPDATE_EXTDSPINFO, kUpdateMonitors, 1);
    ExpectCallsAfter(dwClient, kOtherSession, PIPECMD_UPDATE_EXTDSPINFO, kUpdateMonitors, 0);

    EXPECT_TRUE(Commands(server.Log(), nStart, PIPECMD_UPDATE_QUOLEVEL).empty());
    EXPECT_EQ(dwWatches, QuoLevelCalls(kWatchScheme));
    SetSession(kOwnSession);
    SendToAgent(agent, WM_ENDSESSION, FALSE);  // a cancelled log-off: it stays, registered
    EXPECT_EQ(L"", server.RequestPlan(dwClient));
    ExpectEndsAndUnregisters(agent, WM_ENDSESSION, TRUE, dwClient);
}

}  // namespace
