#include "PipeSv.h"

#include <strsafe.h>

#include <cwchar>
#include <memory>
#include <new>
#include <utility>

#include "StackLock.h"
#include "Trace.h"

namespace {

const WCHAR kDataPipePrefix[] = L"\\\\.\\pipe\\datapipe_";
const WCHAR kCtrlPipePrefix[] = L"\\\\.\\pipe\\ctrlpipe_";

bool IsLowerHexDigit(WCHAR ch)
{
    return (ch >= L'0' && ch <= L'9') || (ch >= L'a' && ch <= L'f');
}

// A send that failed this way means the client's receive pipe is gone.
bool IsVanished(DWORD dwResult)
{
    return dwResult == ERROR_FILE_NOT_FOUND || dwResult == ERROR_INVALID_HANDLE;
}

}  // namespace

CPipeSv::CPipeSv() : m_lpOwnerFunc(nullptr), m_lpOwnerData(nullptr), m_pSessionList(nullptr), m_dwClientCount(0)
{
    InitializeCriticalSection(&m_csSessions);
}

CPipeSv::~CPipeSv()
{
    Finalize(nullptr);
    DeleteCriticalSection(&m_csSessions);
}

DWORD CPipeSv::Initialize(LPCWSTR lpszSuffix, LPPIPE_EVENT_FUNC lpFunc, LPVOID lpData)
{
    TRACE_ENTER(2);
    if (lpszSuffix == nullptr) {
        return TRACE_NULL_ARGUMENT(lpszSuffix);
    }
    if (lpFunc == nullptr) {
        return TRACE_NULL_ARGUMENT(lpFunc);
    }
    if (lpData == nullptr) {
        return TRACE_NULL_ARGUMENT(lpData);
    }
    TRACE(2, L"this: %08X", static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(this)));
    if (m_CtrlPipe.IsInitialized()) {
        return TRACE_LEAVE(ERROR_PIPE_BUSY);
    }
    WCHAR szDataPipe[MAX_PATH];
    WCHAR szCtrlPipe[MAX_PATH];
    if (FAILED(StringCchPrintfW(szDataPipe, ARRAYSIZE(szDataPipe), L"%s%s", kDataPipePrefix, lpszSuffix))
        || FAILED(StringCchPrintfW(szCtrlPipe, ARRAYSIZE(szCtrlPipe), L"%s%s", kCtrlPipePrefix, lpszSuffix))) {
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    // Stored before either pipe listens: no event may find it missing.
    m_lpOwnerFunc = lpFunc;
    m_lpOwnerData = lpData;
    // Both pipes are the server's own: a program that holds either name stops the start.
    DWORD dwResult = CPipeRecv::Initialize(szDataPipe, OnDataRecv, this, CPipe::kInstanceOwned);
    if (dwResult == ERROR_SUCCESS) {
        dwResult = m_CtrlPipe.Initialize(CPipe::kModeReceive, szCtrlPipe, OnCtrlRecv, this, CPipe::kInstanceOwned);
    }
    if (dwResult != ERROR_SUCCESS) {
        Finalize(nullptr);
    }
    return TRACE_LEAVE(dwResult);
}

BOOL CPipeSv::IsClientPipeName(LPCWSTR lpszPipeName) const
{
    if (lpszPipeName == nullptr) {
        return FALSE;
    }
    LPCWSTR lpszDataPipe = GetPipeName();
    size_t cchDataPipe = wcslen(lpszDataPipe);
    if (cchDataPipe == 0 || wcsncmp(lpszPipeName, lpszDataPipe, cchDataPipe) != 0) {
        return FALSE;
    }
    LPCWSTR lpszId = lpszPipeName + cchDataPipe;
    for (size_t i = 0; i < kClientPipeIdDigits; ++i) {
        if (!IsLowerHexDigit(lpszId[i])) {
            return FALSE;
        }
    }
    return lpszId[kClientPipeIdDigits] == L'\0';
}

DWORD CPipeSv::OnCtrlRecv(LPVOID lpData)
{
    TRACE_ENTER(2);
    if (lpData == nullptr) {
        return TRACE_NULL_ARGUMENT(lpData);
    }
    return TRACE_LEAVE(static_cast<CPipeSv*>(lpData)->HandleControlRequest());
}

// One control connection: a single read of the request, then its ACK, then the event.
DWORD CPipeSv::HandleControlRequest()
{
    TRACE_ENTER(2);
    HANDLE hAbort = m_CtrlPipe.GetTerminateEvent();
    DWORD request[kMaxRequestSize / sizeof(DWORD)] = {};
    DWORD dwRead = 0;
    DWORD dwResult = m_CtrlPipe.Receive(request, sizeof(request), &dwRead, hAbort);
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    if (dwRead < sizeof(DataHdr)) {
        m_CtrlPipe.SendAck(PIPEACK_BAD_REQUEST, hAbort);
        return TRACE_LEAVE(ERROR_BAD_FORMAT);
    }
    const DWORD dwDataSize = request[1];
    const DWORD dwPayloadRead = dwRead - static_cast<DWORD>(sizeof(DataHdr));
    switch (request[0]) {
    case PIPEREQUEST_CONNECT:
        TRACE(2, L"PIPEREQUEST_CONNECT");
        ConnectClient(reinterpret_cast<LPCWSTR>(&request[2]), dwDataSize, dwPayloadRead, hAbort);
        break;
    case PIPEREQUEST_CLOSE:
        TRACE(2, L"PIPEREQUEST_CLOSE");
        if (dwDataSize == sizeof(DWORD) && dwPayloadRead == sizeof(DWORD)) {
            CloseClient(request[2], hAbort);
        } else {
            m_CtrlPipe.SendAck(PIPEACK_BAD_REQUEST, hAbort);
        }
        break;
    default:
        TRACE(0, L"UNKNOWN");
        m_CtrlPipe.SendAck(PIPEACK_BAD_REQUEST, hAbort);
        break;
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

// A registration: the name must end within both the announced size and the bytes that
// came. ACK with the new client handle, or PIPEACK_REFUSED.
void CPipeSv::ConnectClient(LPCWSTR lpszName, DWORD dwDataSize, DWORD dwPayloadRead, HANDLE hAbort)
{
    DWORD cbName = (dwDataSize < dwPayloadRead) ? dwDataSize : dwPayloadRead;
    size_t cchName = 0;
    DWORD dwClientHandle = 0;
    if (dwDataSize >= sizeof(WCHAR) && SUCCEEDED(StringCchLengthW(lpszName, cbName / sizeof(WCHAR), &cchName))
        && CreateSession(lpszName, &dwClientHandle, hAbort) == ERROR_SUCCESS) {
        m_CtrlPipe.SendAck(dwClientHandle, hAbort);
        Notify_Connected(dwClientHandle);
    } else {
        m_CtrlPipe.SendAck(PIPEACK_REFUSED, hAbort);
    }
}

// An unregistration: ACK PIPEACK_CLOSED, PIPEACK_NO_SUCH_CLIENT or PIPEACK_CLOSE_FAILED.
void CPipeSv::CloseClient(DWORD dwClientHandle, HANDLE hAbort)
{
    DWORD dwResult = CloseSession(dwClientHandle, hAbort);
    if (dwResult == ERROR_SUCCESS) {
        m_CtrlPipe.SendAck(PIPEACK_CLOSED, hAbort);
        Notify_Disconnected(dwClientHandle);
    } else {
        m_CtrlPipe.SendAck((dwResult == ERROR_INVALID_HANDLE) ? PIPEACK_NO_SUCH_CLIENT : PIPEACK_CLOSE_FAILED, hAbort);
    }
}

void CPipeSv::OnDataRecv(LPVOID lpData, PipeEvent* pPipeEvent)
{
    TRACE_ENTER(2);
    if (lpData == nullptr) {
        TRACE_NULL_ARGUMENT_VOID(lpData);
        return;
    }
    if (pPipeEvent == nullptr) {
        TRACE_NULL_ARGUMENT_VOID(pPipeEvent);
        return;
    }
    CPipeSv* pThis = static_cast<CPipeSv*>(lpData);
    if (pPipeEvent->dwEvent == PIPEEVENT_VALIDATE) {
        bool bRegistered;
        {
            CStackLock lock(&pThis->m_csSessions);
            bRegistered = pThis->LookupClientHandle(pPipeEvent->dwClientHandle) != nullptr;
        }
        pPipeEvent->dwResult = bRegistered ? PIPEACK_ACCEPTED : PIPEACK_REJECTED;
        if (!bRegistered) {
            TRACE(0, L"Invalid Client:%d", pPipeEvent->dwClientHandle);
        }
        TRACE_LEAVE_VOID();
        return;
    }
    pPipeEvent->dwResult = 0;
    if (pThis->m_lpOwnerFunc != nullptr) {
        pThis->m_lpOwnerFunc(pThis->m_lpOwnerData, pPipeEvent);
    }
    TRACE_LEAVE_VOID();
}

DWORD CPipeSv::send_hdr_data(CPipe* pPipe, LPCVOID lpBuf, DWORD nLen, LPDWORD lpdwRetCode, HANDLE hAbort)
{
    TRACE_ENTER(2);
    if (pPipe == nullptr) {
        return TRACE_NULL_ARGUMENT(pPipe);
    }
    if (lpBuf == nullptr) {
        return TRACE_NULL_ARGUMENT(lpBuf);
    }
    if (lpdwRetCode == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwRetCode);
    }
    return TRACE_LEAVE(pPipe->SendFrame(0 /* sent by the server */, lpBuf, nLen, lpdwRetCode, hAbort));
}

DWORD CPipeSv::Send(DWORD dwClientHandle, LPCVOID lpBuf, DWORD nLen, LPDWORD lpdwRetcode, HANDLE hAbort)
{
    TRACE_ENTER(2);
    if (lpBuf == nullptr) {
        return TRACE_NULL_ARGUMENT(lpBuf);
    }
    if (lpdwRetcode == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwRetcode);
    }
    if (dwClientHandle == PIPE_ALL_CLIENTS) {
        return TRACE_LEAVE(SendAll(lpBuf, nLen, lpdwRetcode, hAbort));
    }
    PipeSession* pSession;
    {
        CStackLock lock(&m_csSessions);
        pSession = LookupClientHandle(dwClientHandle);
        if (pSession != nullptr) {
            ++pSession->lRefCount;
        }
    }
    if (pSession == nullptr) {
        TRACE(0, L"No session for ClientHandle = %u.", dwClientHandle);
        return TRACE_LEAVE(ERROR_INVALID_HANDLE);
    }
    DWORD dwResult = SendToSession(pSession, lpBuf, nLen, lpdwRetcode, hAbort);
    ReleaseSession(pSession, hAbort);
    return TRACE_LEAVE(dwResult);
}

DWORD CPipeSv::SendAll(LPCVOID lpBuf, DWORD nLen, LPDWORD lpdwRetcode, HANDLE hAbort)
{
    TRACE_ENTER(2);
    if (lpBuf == nullptr) {
        return TRACE_NULL_ARGUMENT(lpBuf);
    }
    if (lpdwRetcode == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwRetcode);
    }
    // A snapshot, each node held by a reference: the list stays free for registrations
    // and closes while the messages travel.
    PipeSession* sessions[kMaxClients];
    DWORD dwSessions = 0;
    {
        CStackLock lock(&m_csSessions);
        for (PipeSession* p = m_pSessionList; p != nullptr && dwSessions < kMaxClients; p = p->pNext) {
            ++p->lRefCount;
            sessions[dwSessions++] = p;
        }
    }
    DWORD dwLastError = ERROR_SUCCESS;
    for (DWORD i = 0; i < dwSessions; ++i) {
        DWORD dwResult = SendToSession(sessions[i], lpBuf, nLen, lpdwRetcode, hAbort);
        if (dwResult != ERROR_SUCCESS) {
            dwLastError = dwResult;
        }
        if (dwResult == ERROR_OPERATION_ABORTED) {
            break;  // the sender is asked to end: the other clients are not tried
        }
    }
    for (DWORD i = 0; i < dwSessions; ++i) {
        ReleaseSession(sessions[i], hAbort);
    }
    return TRACE_LEAVE(dwLastError);
}

// The caller holds a reference on pSession.
DWORD CPipeSv::SendToSession(PipeSession* pSession, LPCVOID lpBuf, DWORD nLen, LPDWORD lpdwRetcode, HANDLE hAbort)
{
    TRACE_ENTER(2);
    DWORD dwResult = send_hdr_data(pSession->pPipe.get(), lpBuf, nLen, lpdwRetcode, hAbort);
    if (!IsVanished(dwResult)) {
        return TRACE_LEAVE(dwResult);
    }
    TRACE(0, L"Client vanished. (ClientHandle = %u, code:%u)", pSession->dwClientHandle, dwResult);
    bool bDropped = false;
    {
        CStackLock lock(&m_csSessions);
        if (pSession->bLinked) {
            Unlink(pSession);
            bDropped = true;
        }
    }
    // Closed by someone else meanwhile: they report it.
    if (bDropped) {
        DWORD dwClientHandle = pSession->dwClientHandle;
        ReleaseSession(pSession, hAbort);
        Notify_Disconnected(dwClientHandle);
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CPipeSv::CreateSession(LPCWSTR lpszPipeName, LPDWORD lpdwClientHandle, HANDLE hAbort)
{
    TRACE_ENTER(2);
    if (lpszPipeName == nullptr) {
        return TRACE_NULL_ARGUMENT(lpszPipeName);
    }
    if (lpdwClientHandle == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwClientHandle);
    }
    *lpdwClientHandle = 0;
    if (!IsClientPipeName(lpszPipeName)) {
        TRACE(0, L"Refused pipe name:%s", lpszPipeName);
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    std::unique_ptr<PipeSession> session(new (std::nothrow) PipeSession());
    std::unique_ptr<CPipe> pipe(new (std::nothrow) CPipe);
    if (!session || !pipe) {
        return TRACE_LEAVE(ERROR_NOT_ENOUGH_MEMORY);
    }
    DWORD dwResult = pipe->Initialize(CPipe::kModeSend, lpszPipeName, nullptr, nullptr);
    if (dwResult != ERROR_SUCCESS) {
        pipe->Finalize(hAbort);
        return TRACE_LEAVE(dwResult);
    }
    session->pPipe = std::move(pipe);
    session->lRefCount = 1;
    // From here the node is reference-counted: ReleaseSession frees it.
    PipeSession* pSession = session.release();

    PipeSession* pStale;
    DWORD dwClientHandle;
    {
        CStackLock lock(&m_csSessions);
        // A receive pipe registered again belongs to a new process that was given the
        // id of one that ended without unregistering: that session is stale.
        pStale = LookupPipeName(lpszPipeName);
        if (pStale != nullptr) {
            Unlink(pStale);
        }
        dwClientHandle = SmallestFreeClientHandle();
        if (dwClientHandle != 0) {
            Append(pSession, dwClientHandle);
        }
    }
    if (pStale != nullptr) {
        DWORD dwStaleHandle = pStale->dwClientHandle;
        TRACE(0, L"Replaced stale session. (ClientHandle = %u)", dwStaleHandle);
        ReleaseSession(pStale, hAbort);
        Notify_Disconnected(dwStaleHandle);
    }
    if (dwClientHandle == 0) {
        TRACE(0, L"Too many clients.");
        ReleaseSession(pSession, hAbort);
        return TRACE_LEAVE(ERROR_PIPE_BUSY);
    }
    *lpdwClientHandle = dwClientHandle;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CPipeSv::CloseSession(DWORD dwClientHandle, HANDLE hAbort)
{
    TRACE_ENTER(2);
    PipeSession* pSession = nullptr;
    if (dwClientHandle != 0 && dwClientHandle != PIPE_ALL_CLIENTS) {
        CStackLock lock(&m_csSessions);
        pSession = LookupClientHandle(dwClientHandle);
        if (pSession != nullptr) {
            Unlink(pSession);
        }
    }
    if (pSession == nullptr) {
        return TRACE_LEAVE(ERROR_INVALID_HANDLE);
    }
    ReleaseSession(pSession, hAbort);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CPipeSv::CloseAllSession(HANDLE hAbort)
{
    TRACE_ENTER(2);
    PipeSession* pDetached;
    {
        CStackLock lock(&m_csSessions);
        pDetached = m_pSessionList;
        for (PipeSession* p = pDetached; p != nullptr; p = p->pNext) {
            p->bLinked = FALSE;
        }
        m_pSessionList = nullptr;
        m_dwClientCount = 0;
    }
    while (pDetached != nullptr) {
        PipeSession* pNext = pDetached->pNext;
        ReleaseSession(pDetached, hAbort);
        pDetached = pNext;
    }
    TRACE_LEAVE_VOID();
}

PipeSession* CPipeSv::LookupClientHandle(DWORD dwClientHandle)
{
    for (PipeSession* p = m_pSessionList; p != nullptr; p = p->pNext) {
        if (p->dwClientHandle == dwClientHandle) {
            return p;
        }
    }
    return nullptr;
}

PipeSession* CPipeSv::LookupPipeName(LPCWSTR lpszPipeName)
{
    for (PipeSession* p = m_pSessionList; p != nullptr; p = p->pNext) {
        if (wcscmp(p->pPipe->GetPipeName(), lpszPipeName) == 0) {
            return p;
        }
    }
    return nullptr;
}

DWORD CPipeSv::SmallestFreeClientHandle()
{
    bool used[kMaxClients + 1] = {};
    for (PipeSession* p = m_pSessionList; p != nullptr; p = p->pNext) {
        used[p->dwClientHandle] = true;
    }
    for (DWORD dwHandle = 1; dwHandle <= kMaxClients; ++dwHandle) {
        if (!used[dwHandle]) {
            return dwHandle;
        }
    }
    return 0;
}

void CPipeSv::Append(PipeSession* pSession, DWORD dwClientHandle)
{
    pSession->dwClientHandle = dwClientHandle;
    pSession->bLinked = TRUE;
    pSession->pPrev = nullptr;
    pSession->pNext = nullptr;
    if (m_pSessionList == nullptr) {
        m_pSessionList = pSession;
    } else {
        PipeSession* pLast = m_pSessionList;
        while (pLast->pNext != nullptr) {
            pLast = pLast->pNext;
        }
        pLast->pNext = pSession;
        pSession->pPrev = pLast;
    }
    ++m_dwClientCount;
}

void CPipeSv::Unlink(PipeSession* pSession)
{
    if (pSession->pPrev != nullptr) {
        pSession->pPrev->pNext = pSession->pNext;
    } else {
        m_pSessionList = pSession->pNext;
    }
    if (pSession->pNext != nullptr) {
        pSession->pNext->pPrev = pSession->pPrev;
    }
    pSession->pPrev = nullptr;
    pSession->pNext = nullptr;
    pSession->bLinked = FALSE;
    --m_dwClientCount;
}

// Drops one reference; the last one finalises the session's pipe and frees the node.
void CPipeSv::ReleaseSession(PipeSession* pSession, HANDLE hAbort)
{
    bool bLast;
    {
        CStackLock lock(&m_csSessions);
        bLast = (--pSession->lRefCount == 0);
    }
    if (bLast) {
        pSession->pPipe->Finalize(hAbort);
        delete pSession;
    }
}

void CPipeSv::Notify_Connected(DWORD dwClientHandle)
{
    if (m_lpOwnerFunc != nullptr) {
        PipeEvent event = {PIPEEVENT_CONNECTED, dwClientHandle, 0, 0};
        m_lpOwnerFunc(m_lpOwnerData, &event);
    }
}

void CPipeSv::Notify_Disconnected(DWORD dwClientHandle)
{
    if (m_lpOwnerFunc != nullptr) {
        PipeEvent event = {PIPEEVENT_DISCONNECTED, dwClientHandle, 0, 0};
        m_lpOwnerFunc(m_lpOwnerData, &event);
    }
}

DWORD CPipeSv::GetClientCount()
{
    CStackLock lock(&m_csSessions);
    return m_dwClientCount;
}

void CPipeSv::Finalize(HANDLE hAbort)
{
    TRACE_ENTER(2);
    // Registrations stop first, so that no session is created after the list is emptied.
    m_CtrlPipe.Finalize(hAbort);
    CPipeRecv::Finalize(hAbort);
    CloseAllSession(hAbort);
    m_lpOwnerFunc = nullptr;
    m_lpOwnerData = nullptr;
    TRACE_LEAVE_VOID();
}
