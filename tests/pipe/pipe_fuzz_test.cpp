// Fuzz: thousands of random, truncated, over-large and stalled frames on both pipes of
// a server while well-formed clients register, send and receive. Every frame whose
// answer is determined must get that answer, the owner must see only well-sized
// payloads from registered clients, and the well-formed clients must be served
// throughout.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "PipeCl.h"
#include "PipeCmd.h"
#include "PipeSv.h"
#include "PipeTestSupport.h"
#include "TestSupport.h"

using namespace testsupport;
using namespace pipetest;

namespace {

const int kFramesPerFuzzer = 900;
const int kStallsPerPipe = 8;
const DWORD kAckWaitMs = 10000;

// What may come back for a frame.
enum Expect {
    kExpectAnything,      // fire and forget, or the outcome depends on the moment
    kExpectHangUp,        // no ACK: the server drops the connection
    kExpectAck4,          // rejected sender on the data pipe
    kExpectAck5,          // malformed control request
    kExpectAck0,          // refused registration
};

struct CFrame {
    std::vector<BYTE> bytes;
    Expect expect;
    bool bReadAck;  // false: hang up right after writing
};

struct CStats {
    std::atomic<LONG> lFrames{0};
    std::atomic<LONG> lStalls{0};
    std::atomic<LONG> lMismatches{0};
    std::mutex mutex;
    std::vector<std::string> samples;

    void Mismatch(const char* lpWhat, const CFrame& frame, DWORD dwResult, DWORD dwAck)
    {
        ++lMismatches;
        std::lock_guard<std::mutex> lock(mutex);
        if (samples.size() < 10) {
            char szLine[160];
            snprintf(szLine, sizeof(szLine), "%s: %zu bytes, expect %d, result %lu, ack %lu", lpWhat,
                     frame.bytes.size(), static_cast<int>(frame.expect), dwResult, dwAck);
            samples.push_back(szLine);
        }
    }
};

std::vector<BYTE> RandomBytes(std::mt19937& rng, size_t cb)
{
    std::vector<BYTE> bytes(cb);
    for (auto& b : bytes) {
        b = static_cast<BYTE>(rng());
    }
    return bytes;
}

// Garbage that happens to form a real CLOSE request (code 2, four bytes of handle) could
// close a well-formed client: that is a request, not fuzz.
void Defuse(std::vector<BYTE>& bytes)
{
    DWORD header[2] = {};
    if (bytes.size() >= sizeof(header)) {
        memcpy(header, bytes.data(), sizeof(header));
        if (header[0] == PIPEREQUEST_CLOSE && header[1] == sizeof(DWORD)) {
            bytes[4] = 5;
        }
    }
}

DWORD RandomSize(std::mt19937& rng, DWORD dwMax)
{
    return rng() % (dwMax + 1);
}

// A data-pipe frame from a sender that cannot be registered.
DWORD ForeignHandle(std::mt19937& rng)
{
    DWORD dwHandle = rng();
    return (dwHandle >= 1 && dwHandle <= CPipeSv::kMaxClients) ? 0 : dwHandle;
}

CFrame DataFrame(std::mt19937& rng)
{
    switch (rng() % 7) {
    case 0:  // garbage of any length, then gone
        return {RandomBytes(rng, RandomSize(rng, 1100)), kExpectAnything, false};
    case 1: {  // announced more than it sends, then gone
        DWORD dwSize = 1 + RandomSize(rng, PIPECMD_MAX_SIZE - 1);
        std::vector<BYTE> payload = RandomBytes(rng, rng() % dwSize);
        return {Frame(rng(), dwSize, payload.data(), static_cast<DWORD>(payload.size())), kExpectAnything, false};
    }
    case 2: {  // announced more than any command
        DWORD dwSize = PIPECMD_MAX_SIZE + 1 + rng() % (0xFFFFFFFFu - PIPECMD_MAX_SIZE);
        if (rng() % 4 == 0) {
            dwSize = (rng() % 2) ? 0x80000000u : 0xFFFFFFFFu;
        }
        std::vector<BYTE> payload = RandomBytes(rng, RandomSize(rng, 600));
        return {Frame(ForeignHandle(rng), dwSize, payload.data(), static_cast<DWORD>(payload.size())),
                kExpectHangUp, true};
    }
    case 3: {  // complete, from a stranger
        DWORD dwSize = RandomSize(rng, PIPECMD_MAX_SIZE);
        std::vector<BYTE> payload = RandomBytes(rng, dwSize);
        return {Frame(ForeignHandle(rng), dwSize, payload.data(), dwSize), kExpectAck4, true};
    }
    case 4: {  // complete, with a handle that may be registered: delivered or not
        DWORD dwSize = RandomSize(rng, PIPECMD_MAX_SIZE);
        std::vector<BYTE> payload = RandomBytes(rng, dwSize);
        return {Frame(1 + rng() % CPipeSv::kMaxClients, dwSize, payload.data(), dwSize), kExpectAnything, true};
    }
    case 5:  // part of a header, then gone
        return {RandomBytes(rng, 1 + rng() % 7), kExpectAnything, false};
    default:  // a complete frame whose sender never reads the ACK
        return {Frame(0, 4, "\x04\0\0\0", 4), kExpectAnything, false};
    }
}

CFrame CtrlFrame(std::mt19937& rng)
{
    CFrame frame;
    switch (rng() % 6) {
    case 0:  // garbage of any length, then gone
        frame = {RandomBytes(rng, RandomSize(rng, 1100)), kExpectAnything, false};
        break;
    case 1:  // fewer bytes than a header
        frame = {RandomBytes(rng, 1 + rng() % 7), kExpectAck5, true};
        break;
    case 2: {  // an unknown request code
        DWORD dwCode = rng();
        if (dwCode == PIPEREQUEST_CONNECT || dwCode == PIPEREQUEST_CLOSE) {
            dwCode = 0x77;
        }
        std::vector<BYTE> payload = RandomBytes(rng, RandomSize(rng, 1024));
        frame = {Frame(dwCode, rng(), payload.data(), static_cast<DWORD>(payload.size())), kExpectAck5, true};
        break;
    }
    case 3: {  // a CONNECT whose name is no client's
        std::vector<BYTE> payload = RandomBytes(rng, RandomSize(rng, 1024));
        DWORD dwSize = (rng() % 2) ? static_cast<DWORD>(payload.size()) : rng();
        frame = {Frame(PIPEREQUEST_CONNECT, dwSize, payload.data(), static_cast<DWORD>(payload.size())), kExpectAck0,
                 true};
        break;
    }
    case 4: {  // a CLOSE of another size
        std::vector<BYTE> payload = RandomBytes(rng, RandomSize(rng, 1024));
        if (payload.size() == 4) {
            payload.push_back(0);
        }
        frame = {Frame(PIPEREQUEST_CLOSE, static_cast<DWORD>(payload.size()), payload.data(),
                       static_cast<DWORD>(payload.size())),
                 kExpectAck5, true};
        break;
    }
    default:  // nothing at all
        frame = {{}, kExpectAnything, false};
        break;
    }
    Defuse(frame.bytes);
    return frame;
}

void Play(const std::wstring& pipe, CFrame& frame, CStats& stats)
{
    HANDLE h = RawOpen(pipe, 30000);
    if (h == INVALID_HANDLE_VALUE) {
        stats.Mismatch("open", frame, GetLastError(), 0);
        return;
    }
    ++stats.lFrames;
    DWORD dwResult = ERROR_SUCCESS;
    if (!frame.bytes.empty()) {
        dwResult = RawTransfer(h, true, frame.bytes.data(), static_cast<DWORD>(frame.bytes.size()), kAckWaitMs);
    }
    if (!frame.bReadAck) {
        CloseHandle(h);
        return;
    }
    DWORD dwAck = 0xDEADBEEF;
    DWORD dwDone = 0;
    if (dwResult == ERROR_SUCCESS) {
        dwResult = RawTransfer(h, false, &dwAck, sizeof(dwAck), kAckWaitMs, &dwDone);
    }
    CloseHandle(h);
    bool bAck = dwResult == ERROR_SUCCESS && dwDone == sizeof(dwAck);
    switch (frame.expect) {
    case kExpectHangUp:
        // An over-large frame may also fail while being written, once the server hung up.
        if (bAck || dwResult == ERROR_TIMEOUT) {
            stats.Mismatch("hang-up", frame, dwResult, dwAck);
        }
        break;
    case kExpectAck4:
    case kExpectAck5:
    case kExpectAck0: {
        DWORD dwWanted = (frame.expect == kExpectAck4) ? 4 : (frame.expect == kExpectAck5) ? 5 : 0;
        if (!bAck || dwAck != dwWanted) {
            stats.Mismatch("ack", frame, dwResult, dwAck);
        }
        break;
    }
    case kExpectAnything:
        break;
    }
}

// A sender that starts a message and then says nothing: dropped without ACK once the
// connection's time is up.
void Stall(const std::wstring& pipe, bool bCtrl, std::mt19937& rng, CStats& stats)
{
    HANDLE h = RawOpen(pipe, 30000);
    if (h == INVALID_HANDLE_VALUE) {
        return;
    }
    CFrame frame = {bCtrl ? std::vector<BYTE>() : Frame(0, 1 + rng() % PIPECMD_MAX_SIZE), kExpectHangUp, true};
    if (!frame.bytes.empty()) {
        RawTransfer(h, true, frame.bytes.data(), static_cast<DWORD>(frame.bytes.size()), kAckWaitMs);
    }
    DWORD dwAck = 0;
    DWORD dwResult = RawTransfer(h, false, &dwAck, sizeof(dwAck), kAckWaitMs);
    if (!IsHangUp(dwResult)) {
        stats.Mismatch("stall", frame, dwResult, dwAck);
    }
    ++stats.lStalls;
    CloseHandle(h);
}

struct COwner {
    CPipeSv server;
    std::atomic<LONG> lReceived{0};
    std::atomic<LONG> lBadPayloads{0};

    static void OnEvent(LPVOID lpData, PipeEvent* pPipeEvent)
    {
        COwner* pThis = static_cast<COwner*>(lpData);
        if (pPipeEvent->dwEvent != PIPEEVENT_RECEIVED) {
            return;
        }
        ++pThis->lReceived;
        BYTE payload[PIPECMD_MAX_SIZE + 16];
        DWORD dwCopied = pThis->server.GetReceivedData(payload, sizeof(payload));
        if (pPipeEvent->dwDataSize == 0 || pPipeEvent->dwDataSize > PIPECMD_MAX_SIZE
            || dwCopied != pPipeEvent->dwDataSize || pPipeEvent->dwClientHandle == 0
            || pPipeEvent->dwClientHandle > CPipeSv::kMaxClients) {
            ++pThis->lBadPayloads;
        }
    }
};

struct CGoodClient {
    CPipeCl client;
    std::atomic<LONG> lSysInfo{0};
    static void OnEvent(LPVOID lpData, PipeEvent* pPipeEvent)
    {
        CGoodClient* pThis = static_cast<CGoodClient*>(lpData);
        QVPipeCmdNotifySysInfo cmd = {};
        if (pPipeEvent->dwEvent == PIPEEVENT_RECEIVED
            && pThis->client.GetReceivedData(&cmd, sizeof(cmd)) == sizeof(cmd)
            && cmd.dwCmd == PIPECMD_NOTIFY_SYSINFO) {
            ++pThis->lSysInfo;
        }
    }
};

TEST(PipeFuzz, ServerKeepsServingWellFormedClientsUnderMalformedTraffic)
{
    std::wstring suffix = UniqueName(L"fuzz");
    COwner owner;
    ASSERT_EQ(0u, owner.server.Initialize(suffix.c_str(), COwner::OnEvent, &owner));
    CGoodClient good;
    DWORD dwGoodHandle = 0;
    ASSERT_EQ(0u, good.client.Initialize(CPipeCl::kModeReceiveAndSend, suffix.c_str(), &dwGoodHandle,
                                         CGoodClient::OnEvent, &good, nullptr));
    ASSERT_NE(0u, dwGoodHandle);

    CStats stats;
    std::atomic<bool> bFuzzing{true};
    std::vector<std::thread> fuzzers;
    for (int i = 0; i < 4; ++i) {
        bool bCtrl = (i % 2) == 0;
        fuzzers.emplace_back([&, bCtrl, i] {
            std::mt19937 rng(1000 + i);
            std::wstring pipe = bCtrl ? CtrlPipeName(suffix) : DataPipeName(suffix);
            for (int n = 0; n < kFramesPerFuzzer; ++n) {
                CFrame frame = bCtrl ? CtrlFrame(rng) : DataFrame(rng);
                Play(pipe, frame, stats);
            }
        });
    }
    for (int i = 0; i < 2; ++i) {
        bool bCtrl = i == 0;
        fuzzers.emplace_back([&, bCtrl, i] {
            std::mt19937 rng(2000 + i);
            std::wstring pipe = bCtrl ? CtrlPipeName(suffix) : DataPipeName(suffix);
            for (int n = 0; n < kStallsPerPipe; ++n) {
                Stall(pipe, bCtrl, rng, stats);
                Sleep(500);
            }
        });
    }

    // Well-formed traffic all along: the server sends to all, the good client sends
    // commands, and registrations come and go on the control pipe.
    std::atomic<LONG> lRounds{0}, lGoodSends{0}, lGoodFailures{0};
    std::atomic<LONG> lRegistrations{0}, lRegistrationFailures{0};
    std::thread sender([&] {
        while (bFuzzing) {
            QVPipeCmdNotifySysInfo cmd;
            BuildNotifySysInfo(&cmd, 2, L"fuzz", 5000, 0, 1, 90);
            DWORD dwAck = 0;
            owner.server.SendAll(&cmd, sizeof(cmd), &dwAck, nullptr);
            ++lRounds;
            Sleep(100);
        }
    });
    std::thread commander([&] {
        while (bFuzzing) {
            PipeCmdSwitchFunction cmd = {PIPECMD_SWITCH_FUNCTION, 1};
            DWORD dwAck = 0xDEADBEEF;
            bool bSent = good.client.Send(&cmd, sizeof(cmd), &dwAck, nullptr) == ERROR_SUCCESS && dwAck == 0;
            ++(bSent ? lGoodSends : lGoodFailures);
            Sleep(50);
        }
    });
    std::thread registrar([&] {
        for (DWORD dwId = 0x5000; bFuzzing; ++dwId) {
            DWORD dwHandle = 0;
            DWORD dwClosed = 0xDEADBEEF;
            DWORD dwOpen = RawExchange(CtrlPipeName(suffix), ConnectRequest(ClientPipeName(suffix, dwId)), &dwHandle,
                                       30000);
            DWORD dwClose = (dwOpen == ERROR_SUCCESS && dwHandle != 0)
                                ? RawExchange(CtrlPipeName(suffix), CloseRequest(dwHandle), &dwClosed, 30000)
                                : 0xFFFF;
            // No pipe stands behind the name: a send of the server may drop the session
            // first, and the close then finds no such client (4).
            bool bOk = dwOpen == ERROR_SUCCESS && dwHandle != 0 && dwHandle != dwGoodHandle && dwClose == 0
                       && (dwClosed == 0 || dwClosed == 4);
            ++(bOk ? lRegistrations : lRegistrationFailures);
            Sleep(50);
        }
    });

    for (auto& t : fuzzers) {
        t.join();
    }
    bFuzzing = false;
    sender.join();
    commander.join();
    registrar.join();
    LONG lSysInfoDuringFuzz = good.lSysInfo.load();

    printf("fuzz frames %ld, stalls %ld, mismatches %ld; owner got %ld commands; good client: %ld sends "
           "(%ld failed), %ld/%ld messages; registrations %ld (%ld failed)\n",
           stats.lFrames.load(), stats.lStalls.load(), stats.lMismatches.load(), owner.lReceived.load(),
           lGoodSends.load(), lGoodFailures.load(), lSysInfoDuringFuzz, lRounds.load(),
           lRegistrations.load(), lRegistrationFailures.load());
    for (const auto& sample : stats.samples) {
        printf("  %s\n", sample.c_str());
    }

    EXPECT_GE(stats.lFrames.load(), 4 * kFramesPerFuzzer);
    EXPECT_EQ(2 * kStallsPerPipe, stats.lStalls.load());
    EXPECT_EQ(0, stats.lMismatches.load());
    EXPECT_EQ(0, owner.lBadPayloads.load());
    EXPECT_EQ(0, lGoodFailures.load());
    EXPECT_GT(lGoodSends.load(), 10);
    EXPECT_EQ(0, lRegistrationFailures.load());
    EXPECT_GT(lRegistrations.load(), 10);
    EXPECT_GE(lSysInfoDuringFuzz, lRounds.load() / 2) << "its own pipe was never attacked";

    // Afterwards everything works as before, and only the good client is registered.
    EXPECT_EQ(1u, owner.server.GetClientCount());
    PipeCmdSwitchFunction cmd = {PIPECMD_SWITCH_FUNCTION, 0};
    DWORD dwAck = 0xDEADBEEF;
    EXPECT_EQ(0u, good.client.Send(&cmd, sizeof(cmd), &dwAck, nullptr));
    EXPECT_EQ(0u, dwAck);
    good.client.Finalize(nullptr);
    EXPECT_TRUE(WaitUntil([&] { return owner.server.GetClientCount() == 0; }, 5000));
}

}  // namespace
