// A message receiver on a receiving pipe end: for every connection it reads one message
// (DataHdr and payload), asks its owner whether the sender is acceptable, answers the
// sender with that verdict as ACK, and only then hands the message to the owner. There
// is no queue: messages are delivered one at a time on the receive thread.
#pragma once

#include <windows.h>

#include <memory>

#include "Pipe.h"

// Events handed to owners.
enum : DWORD {
    PIPEEVENT_CONNECTED = 0,     // a client registered (server only)
    PIPEEVENT_DISCONNECTED = 1,  // a client unregistered or vanished (server only)
    PIPEEVENT_VALIDATE = 2,      // a message arrived: set dwResult to 0 to accept the sender
    PIPEEVENT_RECEIVED = 3,      // an accepted message: copy it with GetReceivedData now
};

// ACK verdicts of a message receiver.
enum : DWORD {
    PIPEACK_ACCEPTED = 0,
    PIPEACK_REJECTED = 4,
};

// Built on the stack of the thread that raises the event; valid only during the call.
struct PipeEvent {
    DWORD dwEvent;
    DWORD dwClientHandle;  // VALIDATE, RECEIVED: the first field of the message's DataHdr;
                           // CONNECTED, DISCONNECTED: the client handle concerned
    DWORD dwDataSize;      // VALIDATE, RECEIVED: DataHdr.dwDataSize; otherwise 0
    DWORD dwResult;        // VALIDATE: the owner's verdict, preset to PIPEACK_REJECTED
};

typedef void (*LPPIPE_EVENT_FUNC)(LPVOID lpData, PipeEvent* pPipeEvent);

class CPipeRecv {
public:
    CPipeRecv();
    virtual ~CPipeRecv();

    CPipeRecv(const CPipeRecv&) = delete;
    CPipeRecv& operator=(const CPipeRecv&) = delete;

    // Starts receiving on lpszPipeName, its instance created as instance says (CPipe::
    // Instance); lpFunc(lpData, event) gets PIPEEVENT_VALIDATE
    // and PIPEEVENT_RECEIVED on the receive thread (lpFunc may be null: every sender is
    // then rejected). 0, 87 for a null name, or the pipe's error.
    DWORD Initialize(LPCWSTR lpszPipeName, LPPIPE_EVENT_FUNC lpFunc, LPVOID lpData,
                     CPipe::Instance instance = CPipe::kInstanceShared);

    // Copies the payload of the message being delivered into lpBuf; the number of bytes
    // copied, at most nBufLen. 0 for a null lpBuf, when called on another thread than
    // the receive thread, or outside a PIPEEVENT_RECEIVED call.
    DWORD GetReceivedData(LPVOID lpBuf, DWORD nBufLen);

    // Stops receiving and clears the object. Repeatable; never from the owner's function.
    void Finalize(HANDLE hAbort);

protected:
    LPCWSTR GetPipeName() const { return m_Pipe.GetPipeName(); }

private:
    static DWORD OnDataRecv(LPVOID lpData);
    DWORD ReceiveMessage();
    void FreeReceivedData();

    LPPIPE_EVENT_FUNC m_lpFunc;
    LPVOID m_lpData;
    CPipe m_Pipe;
    std::unique_ptr<BYTE[]> m_RecvData;
    DWORD m_dwRecvDataSize;
    DWORD m_dwRecvThreadId;
};
