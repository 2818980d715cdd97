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

TEST(PipeRecv, NullNameIsRefused)
{
    CPipeRecv receiver;
    EXPECT_EQ(87u, receiver.Initialize(nullptr, CEventLog::Callback, nullptr));
}

TEST(PipeRecv, AcceptedMessageIsAcknowledgedThenDeliveredWhole)
{
    CReceiverFixture f;
    ASSERT_EQ(0u, f.Start());
    std::vector<BYTE> payload = Payload(PIPECMD_MAX_SIZE);
    DWORD dwAck = 0xDEADBEEF;
    ASSERT_EQ(0u, RawExchange(f.name, Frame(17, PIPECMD_MAX_SIZE, payload.data(), PIPECMD_MAX_SIZE), &dwAck));
    EXPECT_EQ(0u, dwAck);
    ASSERT_TRUE(f.log.WaitForCount(PIPEEVENT_RECEIVED, 1, 5000));
    auto records = f.log.Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(static_cast<DWORD>(PIPEEVENT_VALIDATE), records[0].dwEvent);
    EXPECT_EQ(17u, records[0].dwClientHandle);
    EXPECT_EQ(PIPECMD_MAX_SIZE, records[0].dwDataSize);
    EXPECT_EQ(static_cast<DWORD>(PIPEEVENT_RECEIVED), records[1].dwEvent);
    EXPECT_EQ(17u, records[1].dwClientHandle);
    EXPECT_EQ(PIPECMD_MAX_SIZE, records[1].dwDataSize);
    EXPECT_EQ(payload, records[1].payload);
}

TEST(PipeRecv, RejectedSenderGetsAck4AndNothingIsDelivered)
{
    CReceiverFixture f;
    f.log.dwVerdict = PIPEACK_REJECTED;
    ASSERT_EQ(0u, f.Start());
    std::vector<BYTE> payload = Payload(8);
    DWORD dwAck = 0;
    ASSERT_EQ(0u, RawExchange(f.name, Frame(3, 8, payload.data(), 8), &dwAck));
    EXPECT_EQ(4u, dwAck);
    // A verdict other than "accepted" delivers nothing either.
    f.log.dwVerdict = 9;
    ASSERT_EQ(0u, RawExchange(f.name, Frame(3, 8, payload.data(), 8), &dwAck));
    EXPECT_EQ(9u, dwAck);
    Sleep(200);
    EXPECT_EQ(2u, f.log.Count(PIPEEVENT_VALIDATE));
    EXPECT_EQ(0u, f.log.Count(PIPEEVENT_RECEIVED));
}

TEST(PipeRecv, WithoutOwnerFunctionEverySenderIsRejected)
{
    std::wstring name = L"\\\\.\\pipe\\" + UniqueName(L"pr.noowner");
    CPipeRecv receiver;
    ASSERT_EQ(0u, receiver.Initialize(name.c_str(), nullptr, nullptr));
    DWORD dwAck = 0;
    ASSERT_EQ(0u, RawExchange(name, Frame(0, 4, "abcd", 4), &dwAck));
    EXPECT_EQ(4u, dwAck);
}

TEST(PipeRecv, HeaderOnlyMessageGetsTheVerdictAndIsNotDelivered)
{
    CReceiverFixture f;
    ASSERT_EQ(0u, f.Start());
    DWORD dwAck = 0xDEADBEEF;
    ASSERT_EQ(0u, RawExchange(f.name, Frame(5, 0), &dwAck));
    EXPECT_EQ(0u, dwAck);
    f.log.dwVerdict = PIPEACK_REJECTED;
    ASSERT_EQ(0u, RawExchange(f.name, Frame(5, 0), &dwAck));
    EXPECT_EQ(4u, dwAck);
    Sleep(200);
    EXPECT_EQ(0u, f.log.Count(PIPEEVENT_RECEIVED));
}

TEST(PipeRecv, OverLargeAnnouncementEndsTheConnectionWithoutAck)
{
    CTraceCapture trace(0);
    CReceiverFixture f;
    ASSERT_EQ(0u, f.Start());
    DWORD dwAck = 0xDEADBEEF;
    ULONGLONG ullStart = GetTickCount64();
    EXPECT_TRUE(IsHangUp(RawExchange(f.name, Frame(1, 0x80000000u), &dwAck)));
    // Refused at once, not after waiting for 2 GiB that never come.
    EXPECT_LT(GetTickCount64() - ullStart, 1000u);
    EXPECT_TRUE(IsHangUp(RawExchange(f.name, Frame(1, 0xFFFFFFFFu), &dwAck)));
    // One byte more than the largest command.
    std::vector<BYTE> payload = Payload(PIPECMD_MAX_SIZE + 1);
    EXPECT_TRUE(IsHangUp(RawExchange(f.name, Frame(1, PIPECMD_MAX_SIZE + 1, payload.data(), PIPECMD_MAX_SIZE + 1),
                                     &dwAck)));
    EXPECT_EQ(0xDEADBEEFu, dwAck);
    EXPECT_EQ(0u, f.log.Count(PIPEEVENT_RECEIVED));
    EXPECT_TRUE(trace.Contains(L" Data size is integer overflow. DataHdr.dwDataSize=2147483648"));
    EXPECT_TRUE(trace.Contains(L" Data size is too large. DataHdr.dwDataSize=274"));
}

TEST(PipeRecv, IncompleteMessagesAreNeverDelivered)
{
    CReceiverFixture f;
    ASSERT_EQ(0u, f.Start());
    std::vector<BYTE> payload = Payload(100);

    // The sender hangs up after part of the payload.
    HANDLE h = RawOpen(f.name);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    std::vector<BYTE> part = Frame(1, 200, payload.data(), 100);
    ASSERT_EQ(0u, RawTransfer(h, true, part.data(), static_cast<DWORD>(part.size()), 1000));
    CloseHandle(h);

    // Half a header, then silence: dropped when the connection's time is up.
    h = RawOpen(f.name);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    BYTE half[4] = {1, 0, 0, 0};
    ASSERT_EQ(0u, RawTransfer(h, true, half, sizeof(half), 1000));
    DWORD dwAck = 0;
    EXPECT_TRUE(IsHangUp(RawTransfer(h, false, &dwAck, sizeof(dwAck), 10000)));
    CloseHandle(h);

    // A header and part of the payload, then silence.
    h = RawOpen(f.name);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    ASSERT_EQ(0u, RawTransfer(h, true, part.data(), static_cast<DWORD>(part.size()), 1000));
    EXPECT_TRUE(IsHangUp(RawTransfer(h, false, &dwAck, sizeof(dwAck), 10000)));
    CloseHandle(h);

    EXPECT_EQ(0u, f.log.Count(PIPEEVENT_RECEIVED));
    // And the receiver goes on serving.
    ASSERT_EQ(0u, RawExchange(f.name, Frame(1, 100, payload.data(), 100), &dwAck));
    ASSERT_TRUE(f.log.WaitForCount(PIPEEVENT_RECEIVED, 1, 5000));
    EXPECT_EQ(payload, f.log.Records().back().payload);
}

TEST(PipeRecv, MessageArrivingInPiecesIsDeliveredWhole)
{
    CReceiverFixture f;
    ASSERT_EQ(0u, f.Start());
    std::vector<BYTE> payload = Payload(40);
    std::vector<BYTE> frame = Frame(2, 40, payload.data(), 40);
    HANDLE h = RawOpen(f.name);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    const size_t cuts[] = {0, 3, 8, 20, frame.size()};
    for (size_t i = 0; i + 1 < ARRAYSIZE(cuts); ++i) {
        ASSERT_EQ(0u, RawTransfer(h, true, frame.data() + cuts[i], static_cast<DWORD>(cuts[i + 1] - cuts[i]), 1000));
        Sleep(150);
    }
    DWORD dwAck = 0xDEADBEEF;
    EXPECT_EQ(0u, RawTransfer(h, false, &dwAck, sizeof(dwAck), 5000));
    EXPECT_EQ(0u, dwAck);
    CloseHandle(h);
    ASSERT_TRUE(f.log.WaitForCount(PIPEEVENT_RECEIVED, 1, 5000));
    EXPECT_EQ(payload, f.log.Records().back().payload);
}

TEST(PipeRecv, PayloadIsReadableOnlyOnTheReceiveThreadDuringTheCall)
{
    CTraceCapture trace(0);
    CReceiverFixture f;
    DWORD dwShort = 0xFFFF;
    BYTE shortBuf[8] = {};
    DWORD dwOtherThread = 0xFFFF;
    DWORD dwNull = 0xFFFF;
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
    DWORD dwAck = 0;
    ASSERT_EQ(0u, RawExchange(f.name, Frame(1, PIPECMD_MAX_SIZE, payload.data(), PIPECMD_MAX_SIZE), &dwAck));
    ASSERT_TRUE(f.log.WaitForCount(PIPEEVENT_RECEIVED, 1, 5000));
    EXPECT_EQ(4u, dwShort);
    EXPECT_EQ(0, memcmp(shortBuf, payload.data(), 4));
    EXPECT_EQ(0u, shortBuf[4]) << "nothing beyond nBufLen";
    EXPECT_EQ(0u, dwNull);
    EXPECT_EQ(0u, dwOtherThread);
    EXPECT_TRUE(trace.Contains(L"nBufLen is too few!"));
    EXPECT_TRUE(trace.Contains(L"Different Thread!!"));

    // After the call the payload is gone, on every thread.
    BYTE buf[PIPECMD_MAX_SIZE];
    EXPECT_EQ(0u, f.receiver.GetReceivedData(buf, sizeof(buf)));
}

TEST(PipeRecv, FinalizeStopsReceivingAndCanBeRepeated)
{
    CReceiverFixture f;
    ASSERT_EQ(0u, f.Start());
    EXPECT_EQ(231u, f.receiver.Initialize(f.name.c_str(), CEventLog::Callback, &f.log));
    f.receiver.Finalize(nullptr);
    f.receiver.Finalize(nullptr);
    EXPECT_FALSE(PipeExists(f.name));
    DWORD dwAck = 0;
    EXPECT_EQ(2u, RawExchange(f.name, Frame(1, 0), &dwAck));
    ASSERT_EQ(0u, f.Start());
    EXPECT_EQ(0u, RawExchange(f.name, Frame(1, 0), &dwAck));
}

}  // namespace
