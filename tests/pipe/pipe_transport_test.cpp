// CPipe: both ends, the ACK, the busy retries, the time bounds that
// keep a stalled peer from blocking an end, and what the instance and the sending
// connection allow the other side. (Messages, requests and their ACKs travelling are the
// client's tests in pipe_session; an owned instance refusing a taken name is the service
// integration test's.)
#include "SecurityAttributes.h"
#include "WinVer.h"

#include <gtest/gtest.h>

#include "PipeTestSupport.h"

using namespace testsupport;
using namespace pipetest;

namespace {

std::wstring UniquePipe(const wchar_t* lpTag)
{
    return L"\\\\.\\pipe\\" + UniqueName(lpTag);
}

// A receiving end that reads four-byte messages and acknowledges each with 0.
struct CEchoReceiver {
    CPipe pipe;
    std::atomic<LONG> lMessages{0};

    DWORD Listen(const std::wstring& name)
    {
        return pipe.Initialize(CPipe::kModeReceive, name.c_str(), OnConnection, this);
    }

    static DWORD OnConnection(LPVOID lpData)
    {
        CEchoReceiver* pThis = static_cast<CEchoReceiver*>(lpData);
        HANDLE hAbort = pThis->pipe.GetTerminateEvent();
        BYTE message[4];
        DWORD dwResult = pThis->pipe.ReceiveExact(message, sizeof(message), hAbort);
        pThis->lMessages += (dwResult == ERROR_SUCCESS) ? 1 : 0;
        return (dwResult == ERROR_SUCCESS) ? pThis->pipe.SendAck(0, hAbort) : dwResult;
    }
};

// Sends four bytes through a new sending end: its result, the ACK in *pdwRetcode.
DWORD SendOnce(const std::wstring& name, DWORD* pdwRetcode)
{
    CPipe sender;
    DWORD dwResult = sender.Initialize(CPipe::kModeSend, name.c_str(), nullptr, nullptr);
    return (dwResult != ERROR_SUCCESS) ? dwResult : sender.Send("\1\2\3\4", 4, pdwRetcode, nullptr);
}

// Bad arguments start nothing (87), an end not started sends nothing (21), a started end
// refuses a second start (231); Finalize ends the receive thread through its terminate
// event, and the end can listen again.
TEST(PipeTransport, InitializeAndFinalize)
{
    std::wstring name = UniquePipe(L"pt.init");
    CEchoReceiver receiver;
    CPipe bad;
    DWORD dwRetcode = 0;
    std::wstring tooLong = L"\\\\.\\pipe\\" + std::wstring(MAX_PATH, L'x');
    ExpectResults({{87, bad.Initialize(CPipe::kModeReceive, nullptr, CEchoReceiver::OnConnection, &receiver)},
                   {87, bad.Initialize(3, name.c_str(), CEchoReceiver::OnConnection, &receiver)},
                   {87, bad.Initialize(CPipe::kModeReceive, name.c_str(), nullptr, nullptr)},
                   {87, bad.Initialize(CPipe::kModeSend, tooLong.c_str(), nullptr, nullptr)},
                   {21, bad.Send("abcd", 4, &dwRetcode, nullptr)},
                   {21, bad.SendRequest(PIPEREQUEST_CLOSE, nullptr, 1, &dwRetcode, nullptr)}});
    EXPECT_FALSE(PipeExists(name));

    ASSERT_EQ(0u, receiver.Listen(name));
    EXPECT_TRUE(PipeExists(name));
    EXPECT_EQ(231u, receiver.Listen(name));
    CPipe sender;
    ASSERT_EQ(0u, sender.Initialize(CPipe::kModeSend, name.c_str(), nullptr, nullptr));
    EXPECT_EQ(231u, sender.Initialize(CPipe::kModeSend, name.c_str(), nullptr, nullptr));
    // A name longer than a control request holds is refused before anything travels.
    EXPECT_EQ(87u, sender.SendRequest(PIPEREQUEST_CONNECT, std::wstring(512, L'n').c_str(), 0, &dwRetcode, nullptr));

    ULONGLONG ullStart = GetTickCount64();
    receiver.pipe.Finalize();
    EXPECT_LT(GetTickCount64() - ullStart, 2000u) << "not forced";
    EXPECT_FALSE(PipeExists(name));
    EXPECT_FALSE(receiver.pipe.IsInitialized());
    ASSERT_EQ(0u, receiver.Listen(name));
    EXPECT_TRUE(PipeExists(name));
}

// A busy pipe fails after ten tries. (A missing one failing at once is the agent's
// polling for the service in agent_with_service; an abort ending the tries is the
// service's StopEndsASendToAClientThatNeverAnswers.)
TEST(PipeTransport, ABusyPipeFailsAfterTenTries)
{
    // One instance, taken by a client that never leaves.
    std::wstring name = UniquePipe(L"pt.busy");
    CMutePipe busy(name);
    CScopedFileHandle squatter(RawOpen(name, 1000));
    ASSERT_TRUE(busy.IsValid() && squatter.IsValid());
    DWORD dwRetcode = 0;
    ULONGLONG ullStart = GetTickCount64();
    EXPECT_EQ(231u, SendOnce(name, &dwRetcode));
    ULONGLONG ullElapsed = GetTickCount64() - ullStart;
    EXPECT_GE(ullElapsed, 9000u);
    EXPECT_LT(ullElapsed, 15000u);
}

// A sender that never reads its ACK nor hangs up holds the receiving end only for the
// connection's time; the next sender is then served. (One that stops part-way through
// its message is the receiver's and the fuzz test's.)
TEST(PipeTransport, AStalledSenderHoldsTheReceiverOnlyForTheConnectionTime)
{
    std::wstring name = UniquePipe(L"pt.stall");
    CEchoReceiver receiver;
    ASSERT_EQ(0u, receiver.Listen(name));
    CScopedFileHandle lazy(RawOpen(name));
    ASSERT_TRUE(lazy.IsValid());
    BYTE message[4] = {1, 2, 3, 4};
    ASSERT_EQ(0u, RawTransfer(lazy.Get(), true, message, sizeof(message), 1000));
    ASSERT_TRUE(WaitUntil([&] { return receiver.lMessages.load() == 1; }, 5000));
    DWORD dwRetcode = 0xDEADBEEF;
    ULONGLONG ullStart = GetTickCount64();
    EXPECT_EQ(0u, SendOnce(name, &dwRetcode));
    EXPECT_LT(GetTickCount64() - ullStart, CPipe::kConnectionTimeout + 3000);
    EXPECT_EQ(0u, dwRetcode);
    EXPECT_EQ(2, receiver.lMessages.load());
}

// The CreateNamedPipeW this program imports, while the stand-in below replaces it.
decltype(&CreateNamedPipeW) g_createNamedPipe = nullptr;

// Windows XP refuses PIPE_REJECT_REMOTE_CLIENTS as an invalid parameter; Wine takes it.
// Put into this program's import table, this refuses it the XP way while XP is emulated.
HANDLE WINAPI CreateNamedPipeAsXp(LPCWSTR lpName, DWORD dwOpenMode, DWORD dwPipeMode, DWORD nMaxInstances,
                                  DWORD cbOut, DWORD cbIn, DWORD dwTimeout, LPSECURITY_ATTRIBUTES lpSa)
{
    if (CWinVer().IsXPFamily() && (dwPipeMode & PIPE_REJECT_REMOTE_CLIENTS) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return g_createNamedPipe(lpName, dwOpenMode, dwPipeMode, nMaxInstances, cbOut, cbIn, dwTimeout, lpSa);
}

// Replaces the address of pOld in this program's import table by pNew; whether it was there.
bool PatchImport(void* pOld, void* pNew)
{
    BYTE* pBase = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* pNt = reinterpret_cast<IMAGE_NT_HEADERS*>(pBase + reinterpret_cast<IMAGE_DOS_HEADER*>(pBase)->e_lfanew);
    DWORD dwImports = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* pDesc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(pBase + dwImports); pDesc->Name != 0; ++pDesc) {
        for (auto* pSlot = reinterpret_cast<void**>(pBase + pDesc->FirstThunk); *pSlot != nullptr; ++pSlot) {
            DWORD dwOldProtect = 0;
            if (*pSlot == pOld && VirtualProtect(pSlot, sizeof(*pSlot), PAGE_READWRITE, &dwOldProtect)) {
                *pSlot = pNew;
                VirtualProtect(pSlot, sizeof(*pSlot), dwOldProtect, &dwOldProtect);
                return true;
            }
        }
    }
    return false;
}

// From Vista on the receiving end refuses remote clients; on Windows XP, which refuses
// the flag, it makes its instance without it. Each way it serves a local sender.
TEST(PipeTransport, ReceivingEndRefusesRemoteClientsFromVistaOn)
{
    g_createNamedPipe = &CreateNamedPipeW;
    ASSERT_TRUE(PatchImport(reinterpret_cast<void*>(g_createNamedPipe), reinterpret_cast<void*>(&CreateNamedPipeAsXp)));
    for (DWORD dwMajor : {5u, 6u}) {
        CWinVer::SetEmulatedVersion(dwMajor, 2);
        std::wstring name = UniquePipe(L"pt.remote");
        CScopedFileHandle probe(
            CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_REJECT_REMOTE_CLIENTS, 1, 64, 64, 0, nullptr));
        EXPECT_EQ(dwMajor == 5, !probe.IsValid()) << "the stand-in refuses the flag the XP way";
        probe.Reset();
        CEchoReceiver receiver;
            EXPECT_EQ(0u, receiver.Listen(name)) << "Windows " << dwMajor;
        EXPECT_EQ(dwMajor >= 6, (CPipe::GetInstancePipeMode() & PIPE_REJECT_REMOTE_CLIENTS) != 0);
        EXPECT_EQ(0u, Ack(name, {1, 2, 3, 4}));
        receiver.pipe.Finalize();
        CWinVer::ClearEmulatedVersion();
    }
    PatchImport(reinterpret_cast<void*>(&CreateNamedPipeAsXp), reinterpret_cast<void*>(g_createNamedPipe));
}

// The receiving end of a message may learn who sent it but never act in its name.
TEST(PipeTransport, SendingEndAllowsIdentificationOnly)
{
    const DWORD dwSqos = SECURITY_SQOS_PRESENT | SECURITY_CONTEXT_TRACKING | SECURITY_EFFECTIVE_ONLY | SECURITY_DELEGATION;
    EXPECT_EQ(static_cast<DWORD>(SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION), CPipe::GetSendingEndOpenFlags() & dwSqos);
    EXPECT_NE(0u, CPipe::GetSendingEndOpenFlags() & FILE_FLAG_OVERLAPPED);
}

// The service's pipes: no network logon; SYSTEM and Administrators may do anything; the
// other accounts may open them as a sending end does (read, write) but not create an
// instance.
TEST(PipeTransport, OwnedInstancesGrantUsersNoNewInstance)
{
    SECURITY_ATTRIBUTES sa = {};
    ASSERT_EQ(0u, CreateServicePipeSecurityAttributes(&sa));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD dwRevision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(sa.lpSecurityDescriptor, &control, &dwRevision));
    EXPECT_NE(0, control & SE_DACL_PROTECTED) << "no entry is inherited";
    BOOL bPresent = FALSE, bDefaulted = FALSE;
    PACL pDacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(sa.lpSecurityDescriptor, &bPresent, &pDacl, &bDefaulted));
    ASSERT_TRUE(bPresent && pDacl != nullptr) << "a null DACL lets everybody in";

    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    ACCESS_MASK sendingEnd = GENERIC_READ | FILE_WRITE_DATA;
    MapGenericMask(&sendingEnd, &mapping);
    const ACCESS_MASK kForbidden = FILE_CREATE_PIPE_INSTANCE | WRITE_DAC | WRITE_OWNER | DELETE;
    const struct {
        WELL_KNOWN_SID_TYPE sid;
        BYTE byType;
        bool bFull;  // else: a sending end may open it, but no user adds an instance or changes the pipe
    } expected[] = {{WinNetworkSid, ACCESS_DENIED_ACE_TYPE, true},
                    {WinLocalSystemSid, ACCESS_ALLOWED_ACE_TYPE, true},
                    {WinBuiltinAdministratorsSid, ACCESS_ALLOWED_ACE_TYPE, true},
                    {WinAuthenticatedUserSid, ACCESS_ALLOWED_ACE_TYPE, false}};
    ASSERT_EQ(ARRAYSIZE(expected), pDacl->AceCount);
    for (DWORD i = 0; i < pDacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* pAce = nullptr;  // the denied entry has the same layout
        ASSERT_TRUE(GetAce(pDacl, i, reinterpret_cast<LPVOID*>(&pAce)));
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD cbSid = sizeof(sid);
        ASSERT_TRUE(CreateWellKnownSid(expected[i].sid, nullptr, sid, &cbSid));
        EXPECT_TRUE(EqualSid(sid, &pAce->SidStart)) << "entry " << i;
        EXPECT_EQ(expected[i].byType, pAce->Header.AceType) << "entry " << i;
        EXPECT_TRUE(expected[i].bFull ? pAce->Mask == FILE_ALL_ACCESS
                                      : (pAce->Mask & sendingEnd) == sendingEnd && (pAce->Mask & kForbidden) == 0)
            << "entry " << i << std::hex << ": " << pAce->Mask;
    }
    FreeSecurityAttributes(&sa);
}

}  // namespace
