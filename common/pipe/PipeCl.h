// The client side of the service's messaging, used by the agent and the viewer. It
// creates the client's own receive pipe (\\.\pipe\datapipe_<suffix> followed by the
// process id as eight lower-case hexadecimal digits), registers it with the service
// over \\.\pipe\ctrlpipe_<suffix>, sends commands to \\.\pipe\datapipe_<suffix> with
// its client handle in every DataHdr, accepts messages only from the service, and
// unregisters when it is finalised.
//
// The owner's function gets PIPEEVENT_RECEIVED on the own pipe's receive thread for
// every message of the service; it copies the payload with GetReceivedData during the
// call.
#pragma once

#include <windows.h>

#include "Pipe.h"
#include "PipeRecv.h"

class CPipeCl : public CPipeRecv {
public:
    static constexpr DWORD kModeSendOnly = 0;
    static constexpr DWORD kModeReceiveAndSend = 1;

    CPipeCl();
    ~CPipeCl() override;

    // Mode 1 creates the own receive pipe (lpFunc and lpData required) and registers it;
    // mode 0 only sends. *lpdwClientID receives the client handle the service gave: 0
    // when it refused the registration (then every Send gets 5). 0; 87 for a bad
    // argument; 231 when already initialised; 2 when the service's pipes do not exist;
    // else the error of the failed step (the object is then finalised and may be
    // initialised again).
    DWORD Initialize(DWORD dwMode, LPCWSTR lpszSuffix, LPDWORD lpdwClientID, LPPIPE_EVENT_FUNC lpFunc, LPVOID lpData,
                     HANDLE hAbort);

    // Sends DataHdr {client handle, nLen} and the nLen bytes of lpBuf to the service.
    // The transport's error when the message did not travel (2 when the service is
    // gone); 5 when the service answered with another ACK than 0 or 1 (the ACK is in
    // *lpdwRetCode); 87 for a null argument; else 0.
    DWORD Send(LPCVOID lpBuf, DWORD nLen, LPDWORD lpdwRetCode, HANDLE hAbort);

    DWORD GetClientHandle() const { return m_dwClientHandle; }

    // Unregisters (its outcome is ignored) and closes every pipe. Repeatable; never
    // from the owner's function.
    void Finalize(HANDLE hAbort);

private:
    static void OnDataRecv(LPVOID lpData, PipeEvent* pPipeEvent);

    CPipe m_CtrlPipe;
    CPipe m_DataPipe;
    DWORD m_dwClientHandle;
    LPPIPE_EVENT_FUNC m_lpOwnerFunc;
    LPVOID m_lpOwnerData;
};
