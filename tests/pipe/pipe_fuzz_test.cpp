// Fuzz: random, truncated, over-large and stalled frames (hundreds, or with QUO_SOAK=1
// thousands) on both pipes of
// a server while well-formed clients register, send and receive. Every frame whose
// answer is determined must get that answer, the owner must see only well-sized
// payloads from registered clients, and the well-formed clients must be served
// throughout.
#include <cstdio>
#include <random>

#include <gtest/gtest.h>

#include "PipeTestSupport.h"

using namespace testsupport;
using namespace pipetest;

namespace {

const int kFramesPerFuzzer = SoakRun() ? 600 : 60;
const int kStallsPerPipe = SoakRun() ? 8 : 2;
const DWORD kAckWaitMs = 10000;
// What may come back for a frame, besides an ACK value.
const DWORD kExpectAnything = 0xA0000000;  // fire and forget, or the outcome depends on the moment
const DWORD kExpectHangUp = 0xA0000001;    // no ACK: the server drops the connection

struct CFrame {
    std::vector<BYTE> bytes;
    DWORD dwExpect;
    bool bReadAck;  // false: hang up right after writing
};

std::atomic<LONG> g_lMismatches{0};

// Counts a frame that did not get its answer; the first ten are printed.
void Mismatch(const CFrame& frame, DWORD dwResult, DWORD dwAck)
{
    if (++g_lMismatches <= 10) {
        printf("  mismatch: %zu bytes, expect %lx, result %lu, ack %lx\n", frame.bytes.size(), frame.dwExpect,
               dwResult, dwAck);
    }
}

std::vector<BYTE> RandomBytes(std::mt19937& rng, size_t cbMax)
{
    std::vector<BYTE> bytes(rng() % (cbMax + 1));
    for (auto& b : bytes) {
        b = static_cast<BYTE>(rng());
    }
    return bytes;
}

std::vector<BYTE> PartOfAHeader(std::mt19937& rng)
{
    std::vector<BYTE> bytes = RandomBytes(rng, sizeof(DataHdr) - 2);
    bytes.push_back(static_cast<BYTE>(rng()));
    return bytes;
}

std::vector<BYTE> FrameOf(DWORD dwFirst, DWORD dwDataSize, const std::vector<BYTE>& payload)
{
    return Frame(dwFirst, dwDataSize, payload.data(), static_cast<DWORD>(payload.size()));
}

// A data-pipe sender that cannot be registered.
DWORD ForeignHandle(std::mt19937& rng)
{
    DWORD dwHandle = rng();
    return (dwHandle >= 1 && dwHandle <= CPipeSv::kMaxClients) ? 0 : dwHandle;
}

CFrame DataFrame(std::mt19937& rng)
{
    switch (rng() % 7) {
    case 0:  // garbage of any length, then gone
        return {RandomBytes(rng, 1100), kExpectAnything, false};
    case 1: {  // announced more than it sends, then gone
        DWORD dwSize = 1 + rng() % PIPECMD_MAX_SIZE;
        return {FrameOf(rng(), dwSize, RandomBytes(rng, dwSize - 1)), kExpectAnything, false};
    }
    case 2: {  // announced more than any command
        DWORD dwSize = PIPECMD_MAX_SIZE + 1 + rng() % (0xFFFFFFFFu - PIPECMD_MAX_SIZE);
        if (rng() % 4 == 0) {
            dwSize = (rng() % 2) ? 0x80000000u : 0xFFFFFFFFu;
        }
        return {FrameOf(ForeignHandle(rng), dwSize, RandomBytes(rng, 600)), kExpectHangUp, true};
    }
    case 3: {  // complete, from a stranger
        std::vector<BYTE> payload = RandomBytes(rng, PIPECMD_MAX_SIZE);
        return {Frame(ForeignHandle(rng), payload), PIPEACK_REJECTED, true};
    }
    case 4: {  // complete, with a handle that may be registered: delivered or not
        std::vector<BYTE> payload = RandomBytes(rng, PIPECMD_MAX_SIZE);
        return {Frame(1 + rng() % CPipeSv::kMaxClients, payload), kExpectAnything, true};
    }
    case 5:  // part of a header, then gone
        return {PartOfAHeader(rng), kExpectAnything, false};
    default:  // a complete frame whose sender never reads the ACK
        return {Frame(0, 4, "\x04\0\0\0", 4), kExpectAnything, false};
    }
}

CFrame CtrlFrame(std::mt19937& rng)
{
    switch (rng() % 6) {
    case 0: {  // garbage of any length, then gone
        // Garbage that happens to form a real CLOSE request could close a well-formed
        // client: that is a request, not fuzz.
        std::vector<BYTE> bytes = RandomBytes(rng, 1100);
        DWORD header[2] = {};
        if (bytes.size() >= sizeof(header)) {
            memcpy(header, bytes.data(), sizeof(header));
        }
        if (header[0] == PIPEREQUEST_CLOSE && header[1] == sizeof(DWORD)) {
            bytes[4] = 5;
        }
        return {bytes, kExpectAnything, false};
    }
    case 1:  // fewer bytes than a header
        return {PartOfAHeader(rng), PIPEACK_BAD_REQUEST, true};
    case 2: {  // an unknown request code
        DWORD dwCode = rng();
        dwCode = (dwCode == PIPEREQUEST_CONNECT || dwCode == PIPEREQUEST_CLOSE) ? 0x77 : dwCode;
        return {FrameOf(dwCode, rng(), RandomBytes(rng, 1024)), PIPEACK_BAD_REQUEST, true};
    }
    case 3: {  // a CONNECT whose name is no client's
        std::vector<BYTE> payload = RandomBytes(rng, 1024);
        DWORD dwSize = (rng() % 2) ? static_cast<DWORD>(payload.size()) : rng();
        return {FrameOf(PIPEREQUEST_CONNECT, dwSize, payload), PIPEACK_REFUSED, true};
    }
    case 4: {  // a CLOSE of another size
        std::vector<BYTE> payload = RandomBytes(rng, 1024);
        payload.resize(payload.size() == sizeof(DWORD) ? 5 : payload.size());
        return {Frame(PIPEREQUEST_CLOSE, payload), PIPEACK_BAD_REQUEST, true};
    }
    default:  // nothing at all
        return {{}, kExpectAnything, false};
    }
}

// Sends a frame on a connection of its own and checks the answer it expects.
void Play(const std::wstring& pipe, const CFrame& frame)
{
    CScopedFileHandle h(RawOpen(pipe, 30000));
    if (!h.IsValid()) {
        Mismatch(frame, GetLastError(), 0);
        return;
    }
    std::vector<BYTE> bytes(frame.bytes);
    DWORD dwWrite = bytes.empty() ? 0 : RawTransfer(h.Get(), true, bytes.data(), static_cast<DWORD>(bytes.size()), kAckWaitMs);
    DWORD dwRead = ERROR_NOT_READY, dwAck = 0xDEADBEEF, dwDone = 0;
    if (frame.bReadAck && dwWrite == ERROR_SUCCESS) {
        dwRead = RawTransfer(h.Get(), false, &dwAck, sizeof(dwAck), kAckWaitMs, &dwDone);
    }
    bool bAck = dwRead == ERROR_SUCCESS && dwDone == sizeof(dwAck);
    // An over-large frame may also fail while being written, once the server hung up.
    bool bAsExpected = frame.dwExpect == kExpectAnything || !frame.bReadAck
                       || (frame.dwExpect == kExpectHangUp ? (dwWrite != ERROR_SUCCESS && dwWrite != ERROR_TIMEOUT)
                                                                 || IsHangUp(dwRead)
                                                           : bAck && dwAck == frame.dwExpect);
    if (!bAsExpected) {
        Mismatch(frame, dwWrite != ERROR_SUCCESS ? dwWrite : dwRead, dwAck);
    }
}

// The server's owner: counts the commands it receives, and those of a wrong size or
// from a handle no client can have.
struct COwner {
    CPipeSv server;
    std::atomic<LONG> lCommands{0}, lBadCommands{0};

    static void OnEvent(LPVOID lpData, PipeEvent* pPipeEvent)
    {
        COwner* pThis = static_cast<COwner*>(lpData);
        if (pPipeEvent->dwEvent != PIPEEVENT_RECEIVED) {
            return;
        }
        ++pThis->lCommands;
        BYTE payload[PIPECMD_MAX_SIZE + 16];
        DWORD dwCopied = pThis->server.GetReceivedData(payload, sizeof(payload));
        if (pPipeEvent->dwDataSize == 0 || pPipeEvent->dwDataSize > PIPECMD_MAX_SIZE
            || dwCopied != pPipeEvent->dwDataSize || pPipeEvent->dwClientHandle == 0
            || pPipeEvent->dwClientHandle > CPipeSv::kMaxClients) {
            ++pThis->lBadCommands;
        }
    }
};

TEST(PipeFuzz, ServerKeepsServingWellFormedClientsUnderMalformedTraffic)
{
    std::wstring suffix = UniqueName(L"fuzz");
    std::wstring ctrlPipe = CtrlPipeName(suffix), dataPipe = DataPipeName(suffix);
    COwner owner;
    ASSERT_EQ(0u, owner.server.Initialize(suffix.c_str(), COwner::OnEvent, &owner));
    CCountingClient good;
    ASSERT_EQ(0u, good.Register(suffix));

    // Two fuzzers and one staller on each pipe.
    std::vector<std::thread> fuzzers;
    for (int i = 0; i < 6; ++i) {
        fuzzers.emplace_back([&, i] {
            std::mt19937 rng(1000 + i);
            bool bCtrl = (i % 2) == 0;
            for (int n = 0; i < 4 && n < kFramesPerFuzzer; ++n) {
                Play(bCtrl ? ctrlPipe : dataPipe, bCtrl ? CtrlFrame(rng) : DataFrame(rng));
            }
            // A stall starts a message and then says nothing: dropped without ACK once the
            // connection's time is up. It holds its pipe's one instance: others get a moment
            // in between.
            for (int n = 0; i >= 4 && n < kStallsPerPipe; ++n, Sleep(500)) {
                Play(bCtrl ? ctrlPipe : dataPipe,
                     {bCtrl ? std::vector<BYTE>() : Frame(0, 1 + rng() % PIPECMD_MAX_SIZE), kExpectHangUp, true});
            }
        });
    }

    // Well-formed traffic all along: the server sends to all, the good client sends
    // commands, and registrations come and go on the control pipe.
    std::atomic<bool> bFuzzing{true};
    std::atomic<LONG> lRounds{0}, lGoodSends{0}, lGoodFailures{0}, lRegistrations{0}, lRegistrationFailures{0};
    std::thread sender([&] {
        for (; bFuzzing; ++lRounds, Sleep(100)) {
            QVPipeCmdNotifySysInfo cmd;
            BuildNotifySysInfo(&cmd, 2, L"fuzz", 5000, 0, 1, 90);
            DWORD dwAck = 0;
            owner.server.SendAll(&cmd, sizeof(cmd), &dwAck, nullptr);
        }
    });
    std::thread commander([&] {
        for (; bFuzzing; Sleep(50)) {
            PipeCmdSwitchFunction cmd = {PIPECMD_SWITCH_FUNCTION, 1};
            DWORD dwAck = 0xDEADBEEF;
            bool bSent = good.client.Send(&cmd, sizeof(cmd), &dwAck, nullptr) == ERROR_SUCCESS && dwAck == 0;
            ++(bSent ? lGoodSends : lGoodFailures);
        }
    });
    std::thread registrar([&] {
        for (DWORD dwId = 0x5000; bFuzzing; ++dwId, Sleep(50)) {
            DWORD dwHandle = 0, dwClosed = 0xDEADBEEF;
            DWORD dwOpen = RawExchange(ctrlPipe, ConnectRequest(ClientPipeName(suffix, dwId)), &dwHandle, 30000);
            DWORD dwClose = (dwOpen == ERROR_SUCCESS && dwHandle != 0)
                                ? RawExchange(ctrlPipe, CloseRequest(dwHandle), &dwClosed, 30000)
                                : 0xFFFF;
            // No pipe stands behind the name: a send of the server may drop the session
            // first, and the close then finds no such client (4).
            bool bOk = dwOpen == ERROR_SUCCESS && dwHandle != 0 && dwHandle != good.client.GetClientHandle()
                       && dwClose == 0 && (dwClosed == 0 || dwClosed == 4);
            ++(bOk ? lRegistrations : lRegistrationFailures);
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

    printf("fuzz frames %d, stalls %d, mismatches %ld; owner got %ld commands; good client: %ld sends "
           "(%ld failed), %ld/%ld messages; registrations %ld (%ld failed)\n",
           4 * kFramesPerFuzzer, 2 * kStallsPerPipe, g_lMismatches.load(), owner.lCommands.load(), lGoodSends.load(),
           lGoodFailures.load(), lSysInfoDuringFuzz, lRounds.load(), lRegistrations.load(),
           lRegistrationFailures.load());
    EXPECT_EQ(0, g_lMismatches.load());
    EXPECT_EQ(0, owner.lBadCommands.load());
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
