// CPipeRecv: the verdict as ACK before delivery, messages that never reach the owner
// (rejected, header only, over-large, incomplete, late), and the payload that is
// readable only on the receive thread during the owner's call.
#include <windows.h>

#include <thread>

#include <gtest/gtest.h>

#include "PipeCmd.h"
#include "PipeRecv.h"
#include "PipeTestSupport.h"
#include "TestSupport.h"

using namespace testsupport;
using namespace pipetest;

namespace {

struct CReceiverFixture {
    std::wstring name = L"\\\\.\\pipe\\" + UniqueName(L"pr");
    CEventLog log;  // outlives the receiver, whose thread calls it
    CPipeRecv receiver;

    DWORD Start()
    {
        log.pReceiver = &receiver;
        return receiver.Initialize(name.c_str(), CEventLog::Callback, &log);
    }
};

std::vector<BYTE> Payload(DWORD cb)
{
    std::vector<BYTE> bytes(cb);
    for (DWORD i = 0; i < cb; ++i) {
        bytes[i] = static_cast<BYTE>(i * 7 + 1);
    }
    return bytes;
}

// A missing name (87) and a second start (231) are refused; after Finalize the pipe is
// gone until the receiver starts again.
TEST(PipeRecv, InitializeAndFinalize)
{
    CReceiverFixture f;
    EXPECT_EQ(87u, f.receiver.Initialize(nullptr, CEventLog::Callback, &f.log));
    ASSERT_EQ(0u, f.Start());
    EXPECT_EQ(231u, f.receiver.Initialize(f.name.c_str(), CEventLog::Callback, &f.log));
    f.receiver.Finalize(nullptr);
    DWORD dwAck = 0;
    EXPECT_EQ(2u, RawExchange(f.name, Frame(1, 0), &dwAck));
    ASSERT_EQ(0u, f.Start());
    EXPECT_EQ(0u, RawExchange(f.name, Frame(1, 0), &dwAck));
}

// The owner's verdict goes back as the ACK; only "accepted" with a payload delivers.
TEST(PipeRecv, VerdictIsTheAckAndOnlyAcceptedPayloadsAreDelivered)
{
    CReceiverFixture f;
    ASSERT_EQ(0u, f.Start());
    const struct {
        DWORD dwVerdict;
        DWORD cbPayload;
    } cases[] = {{PIPEACK_REJECTED, 8}, {9, 8}, {PIPEACK_ACCEPTED, 0}, {PIPEACK_REJECTED, 0}};
    for (const auto& c : cases) {
        f.log.dwVerdict = c.dwVerdict;
        DWORD dwAck = 0xDEADBEEF;
        ASSERT_EQ(0u, RawExchange(f.name, Frame(3, Payload(c.cbPayload)), &dwAck));
        EXPECT_EQ(c.dwVerdict, dwAck) << "payload of " << c.cbPayload;
    }
    Sleep(200);
    EXPECT_EQ(4u, f.log.Count(PIPEEVENT_VALIDATE));
    EXPECT_EQ(0u, f.log.Count(PIPEEVENT_RECEIVED));

    // Without an owner function every sender is rejected.
    CReceiverFixture ownerless;
    ASSERT_EQ(0u, ownerless.receiver.Initialize(ownerless.name.c_str(), nullptr, nullptr));
    DWORD dwAck = 0;
    ASSERT_EQ(0u, RawExchange(ownerless.name, Frame(0, 4, "abcd", 4), &dwAck));
    EXPECT_EQ(4u, dwAck);
}

TEST(PipeRecv, OverLargeAnnouncementEndsTheConnectionWithoutAck)
{
    CReceiverFixture f;
    ASSERT_EQ(0u, f.Start());
    DWORD dwAck = 0xDEADBEEF;
    ULONGLONG ullStart = GetTickCount64();
    EXPECT_TRUE(IsHangUp(RawExchange(f.name, Frame(1, 0x80000000u), &dwAck)));
    // Refused at once, not after waiting for 2 GiB that never come.
    EXPECT_LT(GetTickCount64() - ullStart, 1000u);
    EXPECT_TRUE(IsHangUp(RawExchange(f.name, Frame(1, 0xFFFFFFFFu), &dwAck)));
    // One byte more than the largest command.
    EXPECT_TRUE(IsHangUp(RawExchange(f.name, Frame(1, Payload(PIPECMD_MAX_SIZE + 1)), &dwAck)));
    EXPECT_EQ(0xDEADBEEFu, dwAck);
    EXPECT_EQ(0u, f.log.Count(PIPEEVENT_RECEIVED));
}

// A message written in pieces is delivered whole; one that never completes (its
// sender hangs up, or goes silent until the connection's time is up) never is.
TEST(PipeRecv, OnlyCompleteMessagesAreDelivered)
{
    CReceiverFixture f;
    ASSERT_EQ(0u, f.Start());
    std::vector<BYTE> payload = Payload(100);
    std::vector<BYTE> whole = Frame(2, payload);
    HANDLE h = RawOpen(f.name);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    const size_t cuts[] = {0, 3, 8, 20, whole.size()};
    for (size_t i = 0; i + 1 < ARRAYSIZE(cuts); ++i) {
        ASSERT_EQ(0u, RawTransfer(h, true, whole.data() + cuts[i], static_cast<DWORD>(cuts[i + 1] - cuts[i]), 1000));
        Sleep(150);
    }
    DWORD dwAck = 0xDEADBEEF;
    EXPECT_EQ(0u, RawTransfer(h, false, &dwAck, sizeof(dwAck), 5000));
    EXPECT_EQ(0u, dwAck);
    CloseHandle(h);
    ASSERT_TRUE(f.log.WaitForCount(PIPEEVENT_RECEIVED, 1, 5000));
    EXPECT_EQ(payload, f.log.Records().back().payload);

    std::vector<BYTE> part = Frame(1, 200, payload.data(), 100);
    const std::vector<BYTE> halfHeader = {1, 0, 0, 0};
    const struct {
        const std::vector<BYTE>& bytes;
        bool bHangUp;
    } incomplete[] = {{part, true}, {halfHeader, false}, {part, false}};
    for (const auto& c : incomplete) {
        h = RawOpen(f.name);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        std::vector<BYTE> bytes(c.bytes);
        ASSERT_EQ(0u, RawTransfer(h, true, bytes.data(), static_cast<DWORD>(bytes.size()), 1000));
        if (!c.bHangUp) {
            EXPECT_TRUE(IsHangUp(RawTransfer(h, false, &dwAck, sizeof(dwAck), 10000))) << bytes.size() << " bytes";
        }
        CloseHandle(h);
    }
    // And the receiver goes on serving.
    ASSERT_EQ(0u, RawExchange(f.name, Frame(1, payload), &dwAck));
    ASSERT_TRUE(f.log.WaitForCount(PIPEEVENT_RECEIVED, 2, 5000));
    EXPECT_EQ(2u, f.log.Count(PIPEEVENT_RECEIVED));
    EXPECT_EQ(1u, f.log.Records().back().dwClientHandle);
}

// An accepted message is acknowledged, then delivered whole; its payload is readable
// only on the receive thread during the owner's call.
TEST(PipeRecv, AcceptedMessageIsAcknowledgedThenDeliveredWhole)
{
    CReceiverFixture f;
    DWORD dwShort = 0xFFFF, dwOtherThread = 0xFFFF, dwNull = 0xFFFF;
    BYTE shortBuf[8] = {};
    f.log.onReceived = [&](const CEventLog::Record&) {
        dwShort = f.receiver.GetReceivedData(shortBuf, 4);
        dwNull = f.receiver.GetReceivedData(nullptr, 4);
        std::thread([&] {
            BYTE buf[PIPECMD_MAX_SIZE];
            dwOtherThread = f.receiver.GetReceivedData(buf, sizeof(buf));
        }).join();
    };
    ASSERT_EQ(0u, f.Start());
    std::vector<BYTE> payload = Payload(PIPECMD_MAX_SIZE);
    DWORD dwAck = 0xDEADBEEF;
    ASSERT_EQ(0u, RawExchange(f.name, Frame(17, payload), &dwAck));
    EXPECT_EQ(0u, dwAck);
    ASSERT_TRUE(f.log.WaitForCount(PIPEEVENT_RECEIVED, 1, 5000));
    auto records = f.log.Records();
    ASSERT_EQ(2u, records.size());
    for (DWORD i = 0; i < 2; ++i) {
        EXPECT_EQ(i == 0 ? PIPEEVENT_VALIDATE : PIPEEVENT_RECEIVED, records[i].dwEvent);
        EXPECT_EQ(17u, records[i].dwClientHandle);
        EXPECT_EQ(PIPECMD_MAX_SIZE, records[i].dwDataSize);
    }
    EXPECT_EQ(payload, records[1].payload);

    EXPECT_EQ(4u, dwShort);
    EXPECT_EQ(0, memcmp(shortBuf, payload.data(), 4));
    EXPECT_EQ(0u, shortBuf[4]) << "nothing beyond nBufLen";
    EXPECT_EQ(0u, dwNull);
    EXPECT_EQ(0u, dwOtherThread);
    // After the call the payload is gone, on every thread.
    BYTE buf[PIPECMD_MAX_SIZE];
    EXPECT_EQ(0u, f.receiver.GetReceivedData(buf, sizeof(buf)));
}

}  // namespace
