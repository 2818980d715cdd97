// CPipeRecv: messages that never reach the owner (empty, over-large, incomplete, late),
// a message written in pieces delivered whole, and the payload that is readable only on
// the receive thread during the owner's call. (The verdict as ACK is the client's ACK
// table in pipe_session; starting and finalising are the server's, which is a receiver.)
#include <gtest/gtest.h>

#include "PipeTestSupport.h"

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

// An empty message gets the verdict but reaches no owner; without an owner function every
// sender is rejected. An announcement larger than any command ends the connection
// without ACK, at once rather than after waiting for bytes that never come.
TEST(PipeRecv, EmptyOwnerlessAndOverLargeMessagesAreNotDelivered)
{
    CReceiverFixture f;
    ASSERT_EQ(0u, f.Start());
    EXPECT_EQ(0u, Ack(f.name, Frame(3, 0)));
    EXPECT_TRUE(IsHangUp(Ack(f.name, Frame(1, 0x80000000u))));
    EXPECT_TRUE(IsHangUp(Ack(f.name, Frame(1, Payload(PIPECMD_MAX_SIZE + 1))))) << "one byte more than the largest";
    CReceiverFixture ownerless;
    ASSERT_EQ(0u, ownerless.receiver.Initialize(ownerless.name.c_str(), nullptr, nullptr));
    EXPECT_EQ(4u, Ack(ownerless.name, Frame(0, 4, "abcd", 4)));
    Sleep(200);
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
    CScopedFileHandle h(RawOpen(f.name));
    ASSERT_TRUE(h.IsValid());
    const size_t cuts[] = {0, 3, 8, 20, whole.size()};
    for (size_t i = 0; i + 1 < ARRAYSIZE(cuts); ++i, Sleep(150)) {
        ASSERT_EQ(0u, RawTransfer(h.Get(), true, &whole[cuts[i]], static_cast<DWORD>(cuts[i + 1] - cuts[i]), 1000));
    }
    DWORD dwAck = 0xDEADBEEF;
    EXPECT_EQ(0u, RawTransfer(h.Get(), false, &dwAck, sizeof(dwAck), 5000));
    EXPECT_EQ(0u, dwAck);
    ASSERT_TRUE(f.log.WaitForCount(PIPEEVENT_RECEIVED, 1, 5000));
    EXPECT_EQ(payload, f.log.Records().back().payload);

    std::vector<BYTE> part = Frame(1, 200, payload.data(), 100);
    const struct {
        std::vector<BYTE> bytes;
        bool bHangUp;
    } incomplete[] = {{part, true}, {{1, 0, 0, 0}, false}, {part, false}};
    for (auto c : incomplete) {
        h.Reset(RawOpen(f.name));
        ASSERT_EQ(0u, RawTransfer(h.Get(), true, c.bytes.data(), static_cast<DWORD>(c.bytes.size()), 1000));
        if (!c.bHangUp) {
            EXPECT_TRUE(IsHangUp(RawTransfer(h.Get(), false, &dwAck, sizeof(dwAck), 10000))) << c.bytes.size();
        }
        h.Reset();
    }
    // And the receiver goes on serving.
    ASSERT_EQ(0u, Ack(f.name, Frame(1, payload)));
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
    EXPECT_EQ(0u, Ack(f.name, Frame(17, payload)));
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
