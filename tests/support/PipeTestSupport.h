// Helpers of the pipe tests: raw peers that speak the wire format as any local program
// could (well-formed or not), and a recorder for the events an owner receives.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "PipeCl.h"
#include "PipeCmd.h"
#include "PipeSv.h"
#include "ScopedHandle.h"
#include "TestSupport.h"

namespace pipetest {

inline std::wstring DataPipeName(const std::wstring& suffix) { return L"\\\\.\\pipe\\datapipe_" + suffix; }
inline std::wstring CtrlPipeName(const std::wstring& suffix) { return L"\\\\.\\pipe\\ctrlpipe_" + suffix; }
// A receive-pipe name of the form clients build, with id as its eight hex digits.
std::wstring ClientPipeName(const std::wstring& suffix, DWORD dwId);

// DataHdr {dwFirst, dwDataSize} followed by the given payload bytes.
std::vector<BYTE> Frame(DWORD dwFirst, DWORD dwDataSize, const void* lpPayload = nullptr, DWORD cbPayload = 0);
// DataHdr {dwFirst, size of payload} followed by payload.
inline std::vector<BYTE> Frame(DWORD dwFirst, const std::vector<BYTE>& payload)
{
    return Frame(dwFirst, static_cast<DWORD>(payload.size()), payload.data(), static_cast<DWORD>(payload.size()));
}
// A CONNECT request carrying name and its terminator.
std::vector<BYTE> ConnectRequest(const std::wstring& name);
inline std::vector<BYTE> CloseRequest(DWORD dwClientHandle)
{
    return Frame(PIPEREQUEST_CLOSE, sizeof(DWORD), &dwClientHandle, sizeof(DWORD));
}

// Opens a connection to pipe, waiting up to dwWaitMs while it is busy; the handle is
// overlapped. INVALID_HANDLE_VALUE with the last error on failure.
HANDLE RawOpen(const std::wstring& pipe, DWORD dwWaitMs = 15000);

// Reads or writes on an overlapped handle, waiting at most dwTimeoutMs. 0 and the count;
// ERROR_TIMEOUT; or the system error.
DWORD RawTransfer(HANDLE h, bool bWrite, void* lpBuf, DWORD cb, DWORD dwTimeoutMs, DWORD* pdwDone = nullptr);

// Whether a read failed because the other side closed (109) or disconnected (233), also
// as Ack's kNoAck | error.
bool IsHangUp(DWORD dwResult);

// Writes bytes to pipe as one message and waits up to dwAckTimeoutMs for a four-byte
// ACK. 0 with the ACK in *pdwAck (which may hold part of one on failure); ERROR_TIMEOUT
// when none came; 109 or 233 when the receiver hung up without one; the open's error.
DWORD RawExchange(const std::wstring& pipe, const std::vector<BYTE>& bytes, DWORD* pdwAck,
                  DWORD dwAckTimeoutMs = 10000);

// What Ack answers when no ACK came: kNoAck | the error.
constexpr DWORD kNoAck = 0xBAD00000;
// The ACK of bytes written to pipe as one message (RawExchange), or kNoAck | the error.
DWORD Ack(const std::wstring& pipe, const std::vector<BYTE>& bytes);

using testsupport::WaitUntil;

// Whether a pipe of that name exists (WaitNamedPipe does not fail with 2).
inline bool PipeExists(const std::wstring& pipe)
{
    return WaitNamedPipeW(pipe.c_str(), 1) || GetLastError() != ERROR_FILE_NOT_FOUND;
}

// A pipe of one instance that accepts a connection (a client may connect before the
// server listens) and never reads nor answers: a receiver that stalls whoever sends to it.
class CMutePipe {
public:
    explicit CMutePipe(const std::wstring& name)
        : m_pipe(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, 0, 1, 1024, 1024, 1000, nullptr))
    {
    }

    bool IsValid() const { return m_pipe.IsValid(); }

private:
    CScopedFileHandle m_pipe;
};

// Records what an owner's function receives. For PIPEEVENT_VALIDATE it answers with
// dwVerdict; for PIPEEVENT_RECEIVED it copies the payload from pReceiver.
class CEventLog {
public:
    struct Record {
        DWORD dwEvent;
        DWORD dwClientHandle;
        DWORD dwDataSize;
        std::vector<BYTE> payload;
    };

    static void Callback(LPVOID lpData, PipeEvent* pPipeEvent);

    CPipeRecv* pReceiver = nullptr;
    DWORD dwVerdict = PIPEACK_ACCEPTED;
    // Called for PIPEEVENT_RECEIVED after the copy, still inside the owner's function.
    std::function<void(const Record&)> onReceived;

    std::vector<Record> Records();
    size_t Count(DWORD dwEvent);
    bool WaitForCount(DWORD dwEvent, size_t nCount, DWORD dwTimeoutMs);

private:
    std::mutex m_mutex;
    std::vector<Record> m_records;
};

// A client with a receive pipe of its own that counts the PIPECMD_NOTIFY_SYSINFO it
// receives.
struct CCountingClient {
    CPipeCl client;
    std::atomic<LONG> lSysInfo{0};

    // Registers with the service of that suffix: 0, or the error; a refused
    // registration is ERROR_ACCESS_DENIED.
    DWORD Register(const std::wstring& suffix);

private:
    static void OnEvent(LPVOID lpData, PipeEvent* pPipeEvent);
};

}  // namespace pipetest
