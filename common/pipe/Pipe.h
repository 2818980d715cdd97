// One end of a one-way named-pipe channel with acknowledgement, and the frame every
// message of the system travels in.
//
// A receiving end (mode 1) owns one pipe instance and a receive thread that serves the
// connections one after the other: for each it calls the owner's function, which reads
// the message with Receive/ReceiveExact and answers with SendAck. A sending end (mode 2)
// opens a new connection for every message, writes it in one write, waits for the
// four-byte ACK and closes the connection again.
//
// Every connection is bounded in time on both sides, so that a peer that stalls (sends
// a header and then nothing, never reads its ACK, never answers) costs a few seconds
// and never blocks an end for ever.
#pragma once

#include <windows.h>

#include "NamedMutex.h"
#include "Thread.h"

#pragma pack(push, 1)
// The header in front of every payload. On a data pipe the first field is the sender's
// client handle (0 when the service sends); on a control pipe it is the request code.
struct DataHdr {
    DWORD dwClientHandle;
    DWORD dwDataSize;  // payload bytes that follow
};
#pragma pack(pop)
static_assert(sizeof(DataHdr) == 8, "DataHdr is 8 bytes on the wire");

// Request codes of a control pipe (the first field of DataHdr there).
enum : DWORD {
    PIPEREQUEST_CONNECT = 0,  // payload: the client's receive-pipe name, UTF-16 with terminator
    PIPEREQUEST_CLOSE = 2,    // payload: the client handle (DWORD)
};

// Called on the receive thread once per incoming connection; the result is ignored.
typedef DWORD (*LPPIPE_CONNECTION_FUNC)(LPVOID lpData);

class CPipe {
public:
    // m_dwMode.
    static constexpr DWORD kModeReceive = 1;
    static constexpr DWORD kModeSend = 2;

    // Values the sender's result field holds while a send is under way: a failed send
    // leaves kRetcodeWriting (the write failed) or kRetcodeWaitingAck (no ACK came).
    static constexpr DWORD kRetcodeWriting = 2;
    static constexpr DWORD kRetcodeWaitingAck = 3;

    // Pipe instance of a receiving end.
    static constexpr DWORD kMaxInstances = 100;
    static constexpr DWORD kBufferSize = 1024;
    static constexpr DWORD kDefaultTimeout = 1000;

    // Sending end: tries to open a busy pipe at least kConnectTries times and for at
    // least kConnectTries * kBusyWait ms, each busy try followed by a wait of up to
    // kBusyWait ms for a free instance.
    static constexpr DWORD kConnectTries = 10;
    static constexpr DWORD kBusyWait = 1000;
    // The abort event of a send is looked at this often while it waits for an instance.
    static constexpr DWORD kBusyWaitSlice = 100;

    // A receiving end gives each connection this long for all its reads and the ACK;
    // a connection that takes longer is dropped without ACK.
    static constexpr DWORD kConnectionTimeout = 3000;
    // A sending end waits this long for its message to be taken and the ACK to arrive.
    static constexpr DWORD kAckTimeout = 5000;
    // The pipe-end lock is waited for at most this long: longer than any legitimate
    // holder keeps it (kConnectTries busy waits plus kAckTimeout), so only a process
    // that squats the machine-wide mutex makes a wait fail (170).
    static constexpr DWORD kLockTimeout = 30000;
    // A receiving end whose listen fails waits this long before listening again.
    static constexpr DWORD kListenRetryPause = 1000;

    // Payload of a control request: at most this many bytes.
    static constexpr DWORD kMaxRequestData = 1024;

    CPipe();
    virtual ~CPipe();

    CPipe(const CPipe&) = delete;
    CPipe& operator=(const CPipe&) = delete;

    // How a receiving end creates its pipe instance.
    enum Instance : DWORD {
        // Any account of any session may connect, read, write and add instances: a
        // client's own receive pipe, which the service must reach.
        kInstanceShared = 0,
        // The first instance of the name or none (183 when the name exists already):
        // local users may connect, read and write, only SYSTEM and Administrators may
        // add instances. The service's pipes, which no user may squat or join.
        kInstanceOwned = 1,
    };

    // Mode 1: creates the pipe instance lpszPipeName as dwInstance says and starts the
    // receive thread, which calls lpFunc(lpData) for every connection. Mode 2: only
    // prepares; every Send connects anew. 0; 231 when already initialised; 87 for a null
    // or over-long name, another mode, or mode 1 without lpFunc; else the error of the
    // failed step (the object is then finalised).
    DWORD Initialize(DWORD dwMode, LPCWSTR lpszPipeName, LPPIPE_CONNECTION_FUNC lpFunc, LPVOID lpData,
                     Instance instance = kInstanceShared);

    // Receiving end, inside the connection function: one read of up to nBufLen bytes
    // into lpBuf, the count in *lpdwRead. 0; 21 when not initialised; 87 for a null
    // argument; 6 without pipe instance; 1460 when the connection's time is up; 995
    // when hAbort is set; the lock's error; else the system error. On failure the
    // client is disconnected.
    DWORD Receive(LPVOID lpBuf, DWORD nBufLen, LPDWORD lpdwRead, HANDLE hAbort);

    // Receiving end: reads until exactly nLen bytes have arrived (a peer may deliver a
    // message in pieces). 0, or the error of the read that failed; a peer that hangs
    // up early gives 109.
    DWORD ReceiveExact(LPVOID lpBuf, DWORD nLen, HANDLE hAbort);

    // Receiving end: writes the four bytes of dwAck and waits, within the connection's
    // time, until the sender has taken them and hung up. 0; 21; 6; 1460 when the
    // sender did not hang up in time; the lock's or the system's error (the client is
    // then disconnected).
    DWORD SendAck(DWORD dwAck, HANDLE hAbort);

    // Sending end: connects, writes the nLen bytes of lpBuf in one write, waits for the
    // ACK and closes. *lpdwRetcode becomes kRetcodeWriting before the write,
    // kRetcodeWaitingAck before the ACK is read, and the ACK on success. 0; 21; 87;
    // 2 when the pipe does not exist; 231 when it stayed busy; 1460 when the receiver
    // did not answer in time; 995 when hAbort was set, also while the send waited for
    // a busy pipe; the lock's or the system's error. The ACK's meaning is the caller's.
    DWORD Send(LPCVOID lpBuf, DWORD nLen, LPDWORD lpdwRetcode, HANDLE hAbort);

    // Sending end: sends DataHdr {dwFirst, nLen} followed by the nLen bytes of lpBuf
    // (lpBuf may be null when nLen is 0), as Send does. 8 when the message cannot be
    // allocated; 87 for a null lpdwRetcode or a length that overflows.
    DWORD SendFrame(DWORD dwFirst, LPCVOID lpBuf, DWORD nLen, LPDWORD lpdwRetcode, HANDLE hAbort);

    // Sending end of a control pipe: sends request dwRequest whose payload is lpszName
    // with its terminator, or the four bytes of dwParam when lpszName is null.
    // *lpdwRetCode is 0 unless an ACK arrived. 87 also for a name whose payload would
    // exceed kMaxRequestData bytes.
    DWORD SendRequest(DWORD dwRequest, LPCWSTR lpszName, DWORD dwParam, LPDWORD lpdwRetCode, HANDLE hAbort);

    // The receive thread's terminate event: connection functions pass it as hAbort.
    HANDLE GetTerminateEvent() const { return m_Thread.GetTerminateEvent(); }

    LPCWSTR GetPipeName() const { return m_szPipeName; }
    BOOL IsInitialized() const { return m_bInit != 0; }

    // The pipe mode of a receiving end's instance on the running Windows: byte type
    // and read mode, blocking, and remote clients refused where Windows knows the flag
    // (Vista and later).
    static DWORD GetInstancePipeMode();
    // The flags with which a sending end opens the pipe: overlapped, and the receiving
    // end may identify the sender but never act in its name.
    static DWORD GetSendingEndOpenFlags();

    // Ends the receive thread, closes every handle and clears the object; operations
    // running concurrently end with 21. Must not be called from the connection
    // function. Repeatable.
    void Finalize(HANDLE hAbort = nullptr);

private:
    DWORD Create(Instance instance);
    // Whether a pipe of this end's name exists.
    bool NameIsTaken() const;
    DWORD ReceiveStart();
    // Opens a connection, retrying a busy pipe; 995 when hAbort is set meanwhile.
    DWORD Connect(HANDLE hAbort);
    // Waits up to kBusyWait ms for a free instance: 0, or 995 when hAbort is set.
    DWORD WaitForFreeInstance(HANDLE hAbort);
    // Whether the pipe-end lock is held for a live end: 0, the lock's error, or 21 when
    // the end was finalised while this thread waited for it.
    DWORD LiveEnd(const CNamedMutexLock& lock) const;
    void Close();
    DWORD WaitForHangUp(HANDLE hAbort);
    DWORD RemainingConnectionTime() const;
    static DWORD ReceiveLoop(LPVOID lpData);
    void ServeConnections(HANDLE hConnectEvent);
    void CancelPendingConnect(OVERLAPPED* pOverlapped);

    HANDLE m_hPipe;
    HANDLE m_hClient;
    WCHAR m_szPipeName[MAX_PATH];
    DWORD m_dwMode;
    LPPIPE_CONNECTION_FUNC m_lpFunc;
    LPVOID m_lpData;
    CThread m_Thread;
    CNamedMutex m_Lock;
    volatile LONG m_bInit;
    // When the connection being served must be done (receiving end, receive thread only).
    ULONGLONG m_ullConnectionDeadline;
};
