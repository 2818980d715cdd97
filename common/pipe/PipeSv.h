// The service's side of the messaging. It owns two well-known pipes named with a
// suffix that all programs share and a list of sessions, one per registered client:
//
//   \\.\pipe\ctrlpipe_<suffix>  registration (PIPEREQUEST_CONNECT) and unregistration
//                               (PIPEREQUEST_CLOSE) of clients, answered on the spot;
//   \\.\pipe\datapipe_<suffix>  commands from registered clients (the base receiver).
//
// A registered client is known by its client handle (1 to kMaxClients, the smallest
// free number) and by its own receive pipe, \\.\pipe\datapipe_<suffix> followed by
// eight lower-case hexadecimal digits; the server sends to a client by connecting to
// that pipe.
//
// The owner's function receives, each on the thread that raises it:
//   PIPEEVENT_RECEIVED      a command from a registered client (data pipe's receive
//                           thread); copy it with GetReceivedData during the call;
//   PIPEEVENT_CONNECTED     a client registered (control pipe's receive thread);
//   PIPEEVENT_DISCONNECTED  a client unregistered or was replaced (control pipe's
//                           receive thread), or vanished (the thread that called Send
//                           or SendAll).
// The owner never sees PIPEEVENT_VALIDATE: only registered senders are accepted.
#pragma once

#include <windows.h>

#include <memory>

#include "Pipe.h"
#include "PipeRecv.h"

// ACK values of the control pipe besides a new client handle.
enum : DWORD {
    PIPEACK_REFUSED = 0,           // CONNECT refused
    PIPEACK_CLOSED = 0,            // CLOSE done
    PIPEACK_NO_SUCH_CLIENT = 4,    // CLOSE of an unknown handle
    PIPEACK_BAD_REQUEST = 5,       // short read, wrong CLOSE size, unknown request code
    PIPEACK_CLOSE_FAILED = 0xFFFFFFFF,
};

// The client handle that Send understands as "every client".
const DWORD PIPE_ALL_CLIENTS = 0xFFFFFFFF;

// One registered client. The list and the reference count are guarded by the server's
// session lock; a sender holds a reference while it uses pPipe outside that lock.
struct PipeSession {
    std::unique_ptr<CPipe> pPipe;  // sending end to the client's receive pipe
    DWORD dwClientHandle;   // 1 to kMaxClients
    PipeSession* pPrev;
    PipeSession* pNext;
    LONG lRefCount;         // the list's reference while linked, plus one per sender
    BOOL bLinked;
};

class CPipeSv : public CPipeRecv {
public:
    static constexpr DWORD kMaxClients = 100;
    // A control request: DataHdr and at most CPipe::kMaxRequestData bytes, one read.
    static constexpr DWORD kMaxRequestSize = sizeof(DataHdr) + CPipe::kMaxRequestData;
    // The hexadecimal digits after the data pipe's name in a client's pipe name.
    static constexpr size_t kClientPipeIdDigits = 8;

    CPipeSv();
    ~CPipeSv() override;

    // Creates both pipes for lpszSuffix and starts serving; lpFunc(lpData, event) is the
    // owner's function (see above). 0; 87 for a null argument or a suffix too long for
    // a pipe name; 183 when another program holds either pipe's name (both are created
    // as CPipe::kInstanceOwned); else the error of the pipe that failed (the object is
    // finalised).
    DWORD Initialize(LPCWSTR lpszSuffix, LPPIPE_EVENT_FUNC lpFunc, LPVOID lpData);

    // Sends DataHdr {0, nLen} and the nLen bytes of lpBuf to one client, or to every
    // client for PIPE_ALL_CLIENTS (SendAll). A client whose receive pipe is gone (2, 6)
    // loses its session and is reported with PIPEEVENT_DISCONNECTED on this thread. 0
    // or the send's error, 6 for an unknown handle, 87 for a null argument; the ACK is in
    // *lpdwRetcode.
    DWORD Send(DWORD dwClientHandle, LPCVOID lpBuf, DWORD nLen, LPDWORD lpdwRetcode, HANDLE hAbort);

    // Sends to every client in registration order, dropping vanished ones as Send does.
    // The session list is not locked while a message travels, so registrations go on.
    // 0, or the last nonzero result.
    DWORD SendAll(LPCVOID lpBuf, DWORD nLen, LPDWORD lpdwRetcode, HANDLE hAbort);

    DWORD GetClientCount();

    // Whether lpszPipeName is a receive-pipe name of the form clients build, the only
    // names a registration may give.
    BOOL IsClientPipeName(LPCWSTR lpszPipeName) const;

    // Closes both pipes and every session; no events are reported. Repeatable; not while
    // another thread is in Send or SendAll.
    void Finalize(HANDLE hAbort);

private:
    static DWORD OnCtrlRecv(LPVOID lpData);
    static void OnDataRecv(LPVOID lpData, PipeEvent* pPipeEvent);
    static DWORD send_hdr_data(CPipe* pPipe, LPCVOID lpBuf, DWORD nLen, LPDWORD lpdwRetCode, HANDLE hAbort);

    DWORD HandleControlRequest();
    void ConnectClient(LPCWSTR lpszName, DWORD dwDataSize, DWORD dwPayloadRead, HANDLE hAbort);
    void CloseClient(DWORD dwClientHandle, HANDLE hAbort);
    DWORD CreateSession(LPCWSTR lpszPipeName, LPDWORD lpdwClientHandle, HANDLE hAbort);
    DWORD CloseSession(DWORD dwClientHandle, HANDLE hAbort);
    void CloseAllSession(HANDLE hAbort);
    DWORD SendToSession(PipeSession* pSession, LPCVOID lpBuf, DWORD nLen, LPDWORD lpdwRetcode, HANDLE hAbort);

    // Session list helpers; the caller holds m_csSessions.
    PipeSession* LookupClientHandle(DWORD dwClientHandle);
    PipeSession* LookupPipeName(LPCWSTR lpszPipeName);
    DWORD SmallestFreeClientHandle();
    // Links pSession at the end of the list as dwClientHandle.
    void Append(PipeSession* pSession, DWORD dwClientHandle);
    void Unlink(PipeSession* pSession);

    void ReleaseSession(PipeSession* pSession, HANDLE hAbort);
    void Notify_Connected(DWORD dwClientHandle);
    void Notify_Disconnected(DWORD dwClientHandle);

    CPipe m_CtrlPipe;
    LPPIPE_EVENT_FUNC m_lpOwnerFunc;
    LPVOID m_lpOwnerData;
    PipeSession* m_pSessionList;
    DWORD m_dwClientCount;
    CRITICAL_SECTION m_csSessions;
};
