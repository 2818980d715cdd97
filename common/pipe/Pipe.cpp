#include "Pipe.h"

#include <strsafe.h>

#include <memory>
#include <new>

#include "ScopedHandle.h"
#include "SecurityAttributes.h"
#include "Trace.h"
#include "VistaFunctions.h"
#include "WinVer.h"

namespace {

// A sending end reads and writes but asks for no right to create pipe instances, which
// GENERIC_WRITE would include (FILE_APPEND_DATA): the service's pipes grant no user that.
const DWORD kSendingEndAccess = GENERIC_READ | FILE_WRITE_DATA;

DWORD RemainingUntil(ULONGLONG ullDeadline)
{
    ULONGLONG ullNow = vista::TickCount64();
    return (ullNow >= ullDeadline) ? 0 : static_cast<DWORD>(ullDeadline - ullNow);
}

// One overlapped read or write on hFile, waited for up to dwTimeout ms or until
// hAbort (may be null) is set. An operation that does not finish in time is cancelled
// and waited for, so that lpBuf is no longer in use when this returns. 0 with the byte
// count in *lpdwDone; 1460 on time-out; 995 when hAbort was set; else the system error.
DWORD TransferWithin(HANDLE hFile, bool bWrite, LPVOID lpBuf, DWORD nLen, DWORD dwTimeout, HANDLE hAbort,
                     LPDWORD lpdwDone)
{
    *lpdwDone = 0;
    if (dwTimeout == 0) {
        return ERROR_TIMEOUT;
    }
    CScopedKernelHandle hEvent(CreateEventW(nullptr, TRUE /* manual reset */, FALSE /* not set */, nullptr));
    if (!hEvent.IsValid()) {
        return GetLastError();
    }
    OVERLAPPED ov = {};
    ov.hEvent = hEvent.Get();
    BOOL bDone = bWrite ? WriteFile(hFile, lpBuf, nLen, nullptr, &ov) : ReadFile(hFile, lpBuf, nLen, nullptr, &ov);
    DWORD dwOutcome = ERROR_SUCCESS;
    if (!bDone) {
        DWORD dwError = GetLastError();
        if (dwError != ERROR_IO_PENDING) {
            return dwError;
        }
        HANDLE handles[] = {hEvent.Get(), hAbort};
        DWORD dwWait = WaitForMultipleObjects((hAbort != nullptr) ? 2 : 1, handles, FALSE /* any */, dwTimeout);
        if (dwWait == WAIT_TIMEOUT) {
            dwOutcome = ERROR_TIMEOUT;
        } else if (dwWait == WAIT_OBJECT_0 + 1) {
            dwOutcome = ERROR_OPERATION_ABORTED;
        } else if (dwWait != WAIT_OBJECT_0) {
            dwOutcome = GetLastError();
        }
        if (dwOutcome != ERROR_SUCCESS) {
            vista::CancelOwnIo(hFile, &ov);
        }
    }
    DWORD dwDone = 0;
    if (!GetOverlappedResult(hFile, &ov, &dwDone, TRUE /* wait: a cancelled operation must end first */)) {
        DWORD dwError = GetLastError();
        return (dwOutcome != ERROR_SUCCESS) ? dwOutcome : dwError;
    }
    // An operation that completed while being cancelled still counts.
    *lpdwDone = dwDone;
    return ERROR_SUCCESS;
}

// Reads or writes all nLen bytes before ullDeadline. 0, or the error of the transfer
// that failed; a read that reaches the end of the connection early gives 109.
DWORD TransferAllBefore(HANDLE hFile, bool bWrite, LPBYTE lpBuf, DWORD nLen, ULONGLONG ullDeadline, HANDLE hAbort)
{
    DWORD dwTotal = 0;
    while (dwTotal < nLen) {
        DWORD dwDone = 0;
        DWORD dwResult = TransferWithin(hFile, bWrite, lpBuf + dwTotal, nLen - dwTotal, RemainingUntil(ullDeadline),
                                        hAbort, &dwDone);
        if (dwResult != ERROR_SUCCESS) {
            return dwResult;
        }
        dwTotal += dwDone;
    }
    return ERROR_SUCCESS;
}

bool IsHangUp(DWORD dwError)
{
    return dwError == ERROR_BROKEN_PIPE || dwError == ERROR_PIPE_NOT_CONNECTED || dwError == ERROR_NO_DATA;
}

}  // namespace

CPipe::CPipe()
    : m_hPipe(nullptr),
      m_hClient(nullptr),
      m_szPipeName(),
      m_dwMode(0),
      m_lpFunc(nullptr),
      m_lpData(nullptr),
      m_bInit(FALSE),
      m_ullConnectionDeadline(0)
{
}

CPipe::~CPipe()
{
    Finalize(nullptr);
}

DWORD CPipe::GetInstancePipeMode()
{
    DWORD dwMode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT;
    // Windows XP refuses the flag as an invalid parameter.
    if (!CWinVer().IsXPFamily()) {
        dwMode |= PIPE_REJECT_REMOTE_CLIENTS;
    }
    return dwMode;
}

DWORD CPipe::GetSendingEndOpenFlags()
{
    return FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
}

DWORD CPipe::Initialize(DWORD dwMode, LPCWSTR lpszPipeName, LPPIPE_CONNECTION_FUNC lpFunc, LPVOID lpData,
                        Instance instance)
{
    TRACE_ENTER(2);
    if (m_bInit || m_hPipe != nullptr || m_hClient != nullptr) {
        return TRACE_LEAVE(ERROR_PIPE_BUSY);
    }
    if (lpszPipeName == nullptr) {
        return TRACE_NULL_ARGUMENT(lpszPipeName);
    }
    if ((dwMode != kModeReceive && dwMode != kModeSend) || (dwMode == kModeReceive && lpFunc == nullptr)) {
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    if (FAILED(StringCchCopyW(m_szPipeName, ARRAYSIZE(m_szPipeName), lpszPipeName))) {
        m_szPipeName[0] = L'\0';
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }

    WCHAR szLockMutexName[MAX_PATH];
    if (FAILED(StringCchPrintfW(szLockMutexName, ARRAYSIZE(szLockMutexName),
                                (dwMode == kModeReceive) ? L"%ssv" : L"%scl", m_szPipeName))) {
        Finalize(nullptr);
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    TRACE(2, L"szLockMutexName:%s", szLockMutexName);
    DWORD dwResult = m_Lock.Initialize(szLockMutexName, kLockTimeout);
    if (dwResult != ERROR_SUCCESS) {
        Finalize(nullptr);
        return TRACE_LEAVE(dwResult);
    }
    TRACE(2, L"m_Lock.Initialize Success");

    m_dwMode = dwMode;
    if (dwMode == kModeReceive) {
        m_lpFunc = lpFunc;
        m_lpData = lpData;
        // Set before the thread runs, so that its first connection is served.
        InterlockedExchange(&m_bInit, TRUE);
        dwResult = Create(instance);
        if (dwResult == ERROR_SUCCESS) {
            dwResult = ReceiveStart();
        }
        if (dwResult != ERROR_SUCCESS) {
            Finalize(nullptr);
            return TRACE_LEAVE(dwResult);
        }
    }
    InterlockedExchange(&m_bInit, TRUE);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CPipe::Create(Instance instance)
{
    TRACE_ENTER(2);
    bool bOwned = (instance == kInstanceOwned);
    // The first-instance flag refuses a name that exists already (Windows answers 5).
    // Looking for the name first gives the same answer where the flag is not honoured
    // (Wine).
    DWORD dwError = (bOwned && NameIsTaken()) ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
    if (dwError == ERROR_SUCCESS) {
        SECURITY_ATTRIBUTES sa = {};
        DWORD dwResult = bOwned ? CreateServicePipeSecurityAttributes(&sa) : CreateSecurityAttributes(&sa);
        if (dwResult != ERROR_SUCCESS) {
            return TRACE_LEAVE(dwResult);
        }
        DWORD dwOpenMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (bOwned ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
        HANDLE hPipe = CreateNamedPipeW(m_szPipeName, dwOpenMode, GetInstancePipeMode(), kMaxInstances, kBufferSize,
                                        kBufferSize, kDefaultTimeout, &sa);
        dwError = GetLastError();
        FreeSecurityAttributes(&sa);
        if (hPipe != INVALID_HANDLE_VALUE) {
            m_hPipe = hPipe;
            TRACE(2, L"Created:%s", m_szPipeName);
            return TRACE_LEAVE(ERROR_SUCCESS);
        }
        TRACE(0, L"Error in CreateNamedPipe(). code:%u", dwError);
    }
    if (bOwned && (dwError == ERROR_ALREADY_EXISTS || dwError == ERROR_ACCESS_DENIED || dwError == ERROR_PIPE_BUSY)) {
        TRACE(0, L"%s exists already: another program holds the name.", m_szPipeName);
        return TRACE_LEAVE(ERROR_ALREADY_EXISTS);
    }
    return TRACE_LEAVE(ERROR_INVALID_HANDLE);
}

bool CPipe::NameIsTaken() const
{
    // An instance is free (TRUE), or all are busy: either way the name exists.
    return WaitNamedPipeW(m_szPipeName, 1) || GetLastError() == ERROR_SEM_TIMEOUT || GetLastError() == ERROR_PIPE_BUSY;
}

DWORD CPipe::ReceiveStart()
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(m_Thread.Initialize(ReceiveLoop, this));
}

DWORD CPipe::ReceiveLoop(LPVOID lpData)
{
    TRACE_ENTER(2);
    CPipe* pThis = static_cast<CPipe*>(lpData);
    if (pThis == nullptr) {
        TRACE(0, L"Null!");
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    CScopedKernelHandle hConnectEvent(CreateEventW(nullptr, TRUE /* manual reset */, FALSE /* not set */, nullptr));
    if (!hConnectEvent.IsValid()) {
        TRACE(0, L"Error in CreateEvent(). code:%u", GetLastError());
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    pThis->ServeConnections(hConnectEvent.Get());
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CPipe::CancelPendingConnect(OVERLAPPED* pOverlapped)
{
    vista::CancelOwnIo(m_hPipe, pOverlapped);
    DWORD dwIgnored = 0;
    GetOverlappedResult(m_hPipe, pOverlapped, &dwIgnored, TRUE /* wait until it has ended */);
}

// Listens for one connection after the other until the terminate event is set. A
// listen that fails at once is retried after a pause instead of ending the thread: a
// receiving end must not fall silent while its owner believes it serves.
void CPipe::ServeConnections(HANDLE hConnectEvent)
{
    TRACE_ENTER(2);
    HANDLE hTerminate = m_Thread.GetTerminateEvent();
    for (;;) {
        OVERLAPPED ov = {};
        ov.hEvent = hConnectEvent;
        ResetEvent(hConnectEvent);
        bool bPending = false;
        if (ConnectNamedPipe(m_hPipe, &ov)) {
            // Completed at once: a connection like any other.
            SetEvent(hConnectEvent);
        } else {
            DWORD dwError = GetLastError();
            if (dwError == ERROR_PIPE_CONNECTED) {
                TRACE(2, L"Already been accessed. Set event.");
                SetEvent(hConnectEvent);
            } else if (dwError == ERROR_IO_PENDING) {
                bPending = true;
            } else if (dwError == ERROR_NO_DATA) {
                // A client came and went before the listen began.
                DisconnectNamedPipe(m_hPipe);
                continue;
            } else {
                TRACE(0, L"Error in ConnectNamedPipe(). code:%u", dwError);
                DisconnectNamedPipe(m_hPipe);
                if (WaitForSingleObject(hTerminate, kListenRetryPause) != WAIT_TIMEOUT) {
                    TRACE(2, L"thread terminating event.");
                    break;
                }
                continue;
            }
        }

        HANDLE handles[] = {hTerminate, hConnectEvent};
        DWORD dwWait = WaitForMultipleObjects(ARRAYSIZE(handles), handles, FALSE /* any */, INFINITE);
        if (dwWait == WAIT_FAILED) {
            TRACE(0, L"Error in WaitForMultipleObjects(). code:%u", GetLastError());
            if (bPending) {
                CancelPendingConnect(&ov);
            }
            DisconnectNamedPipe(m_hPipe);
            break;
        }
        if (dwWait == WAIT_OBJECT_0) {
            TRACE(2, L"thread terminating event.");
            if (bPending) {
                CancelPendingConnect(&ov);
            }
            DisconnectNamedPipe(m_hPipe);
            break;
        }
        if (dwWait != WAIT_OBJECT_0 + 1) {
            TRACE(0, L"Unknown Code:%d", dwWait);
            if (bPending) {
                CancelPendingConnect(&ov);
            }
            DisconnectNamedPipe(m_hPipe);
            continue;
        }

        DWORD dwIgnored = 0;
        if (bPending && !GetOverlappedResult(m_hPipe, &ov, &dwIgnored, FALSE)) {
            TRACE(0, L"Error in ConnectNamedPipe(). code:%u", GetLastError());
            DisconnectNamedPipe(m_hPipe);
            continue;
        }
        m_ullConnectionDeadline = vista::TickCount64() + kConnectionTimeout;
        if (m_lpFunc != nullptr) {
            TRACE(2, L"Call callback-function.");
            m_lpFunc(m_lpData);
        } else {
            TRACE(2, L"Callback-function is not defined.");
        }
        DisconnectNamedPipe(m_hPipe);
    }
    TRACE_LEAVE_VOID();
}

DWORD CPipe::RemainingConnectionTime() const
{
    return RemainingUntil(m_ullConnectionDeadline);
}

DWORD CPipe::Receive(LPVOID lpBuf, DWORD nBufLen, LPDWORD lpdwRead, HANDLE hAbort)
{
    TRACE_ENTER(2);
    if (!m_bInit) {
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    if (lpBuf == nullptr) {
        return TRACE_NULL_ARGUMENT(lpBuf);
    }
    if (lpdwRead == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwRead);
    }
    if (m_hPipe == nullptr) {
        return TRACE_LEAVE(ERROR_INVALID_HANDLE);
    }
    CNamedMutexLock lock(m_Lock, hAbort);
    DWORD dwResult = LiveEnd(lock);
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    *lpdwRead = 0;
    TRACE(2, L"Read from %s.", m_szPipeName);
    dwResult = TransferWithin(m_hPipe, false /* read */, lpBuf, nBufLen, RemainingConnectionTime(), hAbort, lpdwRead);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in ReadFile(). code:%u", dwResult);
        DisconnectNamedPipe(m_hPipe);
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CPipe::ReceiveExact(LPVOID lpBuf, DWORD nLen, HANDLE hAbort)
{
    TRACE_ENTER(2);
    if (lpBuf == nullptr) {
        return TRACE_NULL_ARGUMENT(lpBuf);
    }
    LPBYTE lpBytes = static_cast<LPBYTE>(lpBuf);
    DWORD dwTotal = 0;
    while (dwTotal < nLen) {
        DWORD dwRead = 0;
        DWORD dwResult = Receive(lpBytes + dwTotal, nLen - dwTotal, &dwRead, hAbort);
        if (dwResult != ERROR_SUCCESS) {
            return TRACE_LEAVE(dwResult);
        }
        dwTotal += dwRead;
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

// Waits, within the connection's time, for the sender to hang up: it does so once it
// has read its ACK. Whatever else it still sends is read and dropped.
DWORD CPipe::WaitForHangUp(HANDLE hAbort)
{
    BYTE scratch[64];
    for (;;) {
        DWORD dwRead = 0;
        DWORD dwResult = TransferWithin(m_hPipe, false /* read */, scratch, sizeof(scratch),
                                        RemainingConnectionTime(), hAbort, &dwRead);
        if (IsHangUp(dwResult)) {
            return ERROR_SUCCESS;
        }
        if (dwResult != ERROR_SUCCESS) {
            return dwResult;
        }
    }
}

DWORD CPipe::SendAck(DWORD dwAck, HANDLE hAbort)
{
    TRACE_ENTER(2);
    if (!m_bInit) {
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    if (m_hPipe == nullptr) {
        return TRACE_LEAVE(ERROR_INVALID_HANDLE);
    }
    TRACE(2, L"Snd ACK to %s.", m_szPipeName);
    CNamedMutexLock lock(m_Lock, hAbort);
    DWORD dwResult = LiveEnd(lock);
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    dwResult = TransferAllBefore(m_hPipe, true /* write */, reinterpret_cast<LPBYTE>(&dwAck), sizeof(dwAck),
                                 m_ullConnectionDeadline, hAbort);
    if (dwResult == ERROR_SUCCESS) {
        dwResult = WaitForHangUp(hAbort);
    }
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in sending ACK. code:%u", dwResult);
        DisconnectNamedPipe(m_hPipe);
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CPipe::WaitForFreeInstance(HANDLE hAbort)
{
    for (DWORD dwWaited = 0; dwWaited < kBusyWait; dwWaited += kBusyWaitSlice) {
        if (hAbort != nullptr && WaitForSingleObject(hAbort, 0) == WAIT_OBJECT_0) {
            return ERROR_OPERATION_ABORTED;
        }
        // TRUE: an instance is free; any error but the time-out: the next open tells.
        if (WaitNamedPipeW(m_szPipeName, kBusyWaitSlice) || GetLastError() != ERROR_SEM_TIMEOUT) {
            return ERROR_SUCCESS;
        }
    }
    return ERROR_SUCCESS;
}

DWORD CPipe::Connect(HANDLE hAbort)
{
    TRACE_ENTER(2);
    if (m_hClient != nullptr) {
        return TRACE_LEAVE(ERROR_ALREADY_EXISTS);
    }
    // A wait for a free instance may end at once and the instance still go to another
    // program first: the tries then go on until they have taken their full time, so
    // that a pipe crowded by others does not use them up within milliseconds.
    ULONGLONG ullGiveUp = vista::TickCount64() + static_cast<ULONGLONG>(kConnectTries) * kBusyWait;
    for (DWORD dwTry = 1;; ++dwTry) {
        HANDLE hClient = CreateFileW(m_szPipeName, kSendingEndAccess, 0 /* no sharing */, nullptr, OPEN_EXISTING,
                                     GetSendingEndOpenFlags(), nullptr);
        if (hClient != INVALID_HANDLE_VALUE) {
            m_hClient = hClient;
            TRACE(2, L"Connected:%s", m_szPipeName);
            return TRACE_LEAVE(ERROR_SUCCESS);
        }
        DWORD dwError = GetLastError();
        if (dwError != ERROR_PIPE_BUSY) {
            return TRACE_LEAVE(dwError);
        }
        TRACE(2, L"ERROR_PIPE_BUSY");
        if (dwTry >= kConnectTries && vista::TickCount64() >= ullGiveUp) {
            return TRACE_LEAVE(ERROR_PIPE_BUSY);
        }
        DWORD dwWait = WaitForFreeInstance(hAbort);
        if (dwWait != ERROR_SUCCESS) {
            return TRACE_LEAVE(dwWait);
        }
    }
}

DWORD CPipe::Send(LPCVOID lpBuf, DWORD nLen, LPDWORD lpdwRetcode, HANDLE hAbort)
{
    TRACE_ENTER(2);
    if (!m_bInit) {
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    if (lpBuf == nullptr) {
        return TRACE_NULL_ARGUMENT(lpBuf);
    }
    if (lpdwRetcode == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwRetcode);
    }
    CNamedMutexLock lock(m_Lock, hAbort);
    DWORD dwResult = LiveEnd(lock);
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    dwResult = Connect(hAbort);
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    ULONGLONG ullDeadline = vista::TickCount64() + kAckTimeout;
    *lpdwRetcode = kRetcodeWriting;
    TRACE(2, L"Send to %s.", m_szPipeName);
    // The bytes are only read from; the transfer helper serves reads and writes alike.
    dwResult = TransferAllBefore(m_hClient, true /* write */, static_cast<LPBYTE>(const_cast<LPVOID>(lpBuf)), nLen,
                                 ullDeadline, hAbort);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in WriteFile(). code:%u", dwResult);
        Close();
        return TRACE_LEAVE(dwResult);
    }
    TRACE(2, L"wait for ACK...");
    *lpdwRetcode = kRetcodeWaitingAck;
    DWORD dwAck = 0;
    dwResult = TransferAllBefore(m_hClient, false /* read */, reinterpret_cast<LPBYTE>(&dwAck), sizeof(dwAck),
                                 ullDeadline, hAbort);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in ReadFile(). code:%u", dwResult);
        Close();
        return TRACE_LEAVE(dwResult);
    }
    *lpdwRetcode = dwAck;
    TRACE(2, L"Received ACK.");
    Close();
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CPipe::SendFrame(DWORD dwFirst, LPCVOID lpBuf, DWORD nLen, LPDWORD lpdwRetcode, HANDLE hAbort)
{
    TRACE_ENTER(2);
    if (lpdwRetcode == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwRetcode);
    }
    if ((lpBuf == nullptr && nLen != 0) || nLen > MAXDWORD - sizeof(DataHdr)) {
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    DWORD dwFrameLen = static_cast<DWORD>(sizeof(DataHdr)) + nLen;
    std::unique_ptr<BYTE[]> frame(new (std::nothrow) BYTE[dwFrameLen]);
    if (!frame) {
        return TRACE_LEAVE(ERROR_NOT_ENOUGH_MEMORY);
    }
    DataHdr hdr = {dwFirst, nLen};
    CopyMemory(frame.get(), &hdr, sizeof(hdr));
    if (nLen != 0) {
        CopyMemory(frame.get() + sizeof(hdr), lpBuf, nLen);
    }
    return TRACE_LEAVE(Send(frame.get(), dwFrameLen, lpdwRetcode, hAbort));
}

DWORD CPipe::SendRequest(DWORD dwRequest, LPCWSTR lpszName, DWORD dwParam, LPDWORD lpdwRetCode, HANDLE hAbort)
{
    TRACE_ENTER(2);
    if (!m_bInit) {
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    if (lpdwRetCode == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwRetCode);
    }
    *lpdwRetCode = 0;
    LPCVOID lpPayload = &dwParam;
    DWORD dwPayloadSize = sizeof(dwParam);
    if (lpszName != nullptr) {
        size_t cchName = 0;
        if (FAILED(StringCchLengthW(lpszName, kMaxRequestData / sizeof(WCHAR), &cchName))) {
            return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
        }
        lpPayload = lpszName;
        dwPayloadSize = static_cast<DWORD>((cchName + 1) * sizeof(WCHAR));
    }
    CNamedMutexLock lock(m_Lock, hAbort);
    DWORD dwResult = LiveEnd(lock);
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    DWORD dwAck = 0;
    dwResult = SendFrame(dwRequest, lpPayload, dwPayloadSize, &dwAck, hAbort);
    if (dwResult == ERROR_SUCCESS) {
        *lpdwRetCode = dwAck;
    }
    return TRACE_LEAVE(dwResult);
}

// No flush of the sending connection: on success the ACK proves the receiver has read
// the whole message, and on failure a flush would wait for a receiver that may never
// read.
void CPipe::Close()
{
    TRACE_ENTER(2);
    if (m_hPipe != nullptr) {
        CloseHandle(m_hPipe);
        m_hPipe = nullptr;
    }
    if (m_hClient != nullptr) {
        CloseHandle(m_hClient);
        m_hClient = nullptr;
    }
    TRACE_LEAVE_VOID();
}

DWORD CPipe::LiveEnd(const CNamedMutexLock& lock) const
{
    if (lock.Result() != ERROR_SUCCESS) {
        return lock.Result();
    }
    // Finalize may have run while this thread waited for the lock.
    return m_bInit ? ERROR_SUCCESS : ERROR_NOT_READY;
}

void CPipe::Finalize(HANDLE hAbort)
{
    TRACE_ENTER(2);
    InterlockedExchange(&m_bInit, FALSE);
    {
        CNamedMutexLock lock(m_Lock, hAbort);
        m_Thread.Terminate();
        Close();
        m_Thread.Finalize();
    }
    m_Lock.Finalize();
    m_szPipeName[0] = L'\0';
    m_dwMode = 0;
    m_lpFunc = nullptr;
    m_lpData = nullptr;
    m_ullConnectionDeadline = 0;
    TRACE_LEAVE_VOID();
}
