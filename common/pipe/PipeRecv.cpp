#include "PipeRecv.h"

#include <new>
#include <utility>

#include "PipeCmd.h"
#include "Trace.h"

namespace {

const DWORD kLargestSignedSize = 0x7FFFFFFF;

}  // namespace

CPipeRecv::CPipeRecv()
    : m_lpFunc(nullptr), m_lpData(nullptr), m_RecvData(), m_dwRecvDataSize(0), m_dwRecvThreadId(0)
{
}

CPipeRecv::~CPipeRecv()
{
    Finalize(nullptr);
}

DWORD CPipeRecv::Initialize(LPCWSTR lpszPipeName, LPPIPE_EVENT_FUNC lpFunc, LPVOID lpData, CPipe::Instance instance)
{
    TRACE_ENTER(2);
    if (lpszPipeName == nullptr) {
        return TRACE_NULL_ARGUMENT(lpszPipeName);
    }
    if (m_Pipe.IsInitialized()) {
        return TRACE_LEAVE(ERROR_PIPE_BUSY);
    }
    // Stored before the pipe listens, so that no message arriving at once is refused.
    m_lpFunc = lpFunc;
    m_lpData = lpData;
    DWORD dwResult = m_Pipe.Initialize(CPipe::kModeReceive, lpszPipeName, OnDataRecv, this, instance);
    if (dwResult != ERROR_SUCCESS) {
        m_lpFunc = nullptr;
        m_lpData = nullptr;
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CPipeRecv::OnDataRecv(LPVOID lpData)
{
    TRACE_ENTER(2);
    if (lpData == nullptr) {
        return TRACE_NULL_ARGUMENT(lpData);
    }
    return TRACE_LEAVE(static_cast<CPipeRecv*>(lpData)->ReceiveMessage());
}

// One connection: header, verdict, payload, ACK, delivery. A message that is malformed,
// incomplete, too large or late never reaches the owner and gets no ACK.
DWORD CPipeRecv::ReceiveMessage()
{
    TRACE_ENTER(2);
    m_dwRecvThreadId = GetCurrentThreadId();
    HANDLE hAbort = m_Pipe.GetTerminateEvent();

    DataHdr hdr = {};
    DWORD dwResult = m_Pipe.ReceiveExact(&hdr, sizeof(hdr), hAbort);
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }

    PipeEvent validate = {PIPEEVENT_VALIDATE, hdr.dwClientHandle, hdr.dwDataSize, PIPEACK_REJECTED};
    if (m_lpFunc != nullptr) {
        m_lpFunc(m_lpData, &validate);
    }
    DWORD dwVerdict = validate.dwResult;
    if (dwVerdict == PIPEACK_REJECTED) {
        TRACE(0, L"Invalid Client!");
    }

    if (hdr.dwDataSize == 0) {
        m_Pipe.SendAck(dwVerdict, hAbort);
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    if (hdr.dwDataSize > kLargestSignedSize) {
        TRACE(0, L" Data size is integer overflow. DataHdr.dwDataSize=%lu", hdr.dwDataSize);
        return TRACE_LEAVE(ERROR_BUFFER_OVERFLOW);
    }
    // No command is larger: a bigger announcement is refused like an overflowing one
    // rather than making this process allocate what any local user asks for.
    if (hdr.dwDataSize > PIPECMD_MAX_SIZE) {
        TRACE(0, L" Data size is too large. DataHdr.dwDataSize=%lu", hdr.dwDataSize);
        return TRACE_LEAVE(ERROR_BUFFER_OVERFLOW);
    }

    std::unique_ptr<BYTE[]> payload(new (std::nothrow) BYTE[hdr.dwDataSize]());
    if (!payload) {
        return TRACE_LEAVE(ERROR_NOT_ENOUGH_MEMORY);
    }
    dwResult = m_Pipe.ReceiveExact(payload.get(), hdr.dwDataSize, hAbort);
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }

    // The sender is released here, before the owner sees the message.
    m_Pipe.SendAck(dwVerdict, hAbort);

    m_RecvData = std::move(payload);
    m_dwRecvDataSize = hdr.dwDataSize;
    if (dwVerdict == PIPEACK_ACCEPTED && m_lpFunc != nullptr) {
        TRACE(2, L"Call callback-function.");
        PipeEvent received = {PIPEEVENT_RECEIVED, hdr.dwClientHandle, hdr.dwDataSize, 0};
        m_lpFunc(m_lpData, &received);
    } else {
        TRACE(2, L"Callback function is not ready!!");
    }
    FreeReceivedData();
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CPipeRecv::GetReceivedData(LPVOID lpBuf, DWORD nBufLen)
{
    TRACE_ENTER(2);
    if (lpBuf == nullptr) {
        TRACE(0, L"%s is NULL.", L"lpBuf");
        return TRACE_LEAVE_VALUE(0);
    }
    if (GetCurrentThreadId() != m_dwRecvThreadId) {
        TRACE(0, L"Different Thread!!");
        return TRACE_LEAVE_VALUE(0);
    }
    if (!m_RecvData) {
        TRACE(0, L"No Data!");
        return TRACE_LEAVE_VALUE(0);
    }
    DWORD dwCopy = m_dwRecvDataSize;
    if (nBufLen < dwCopy) {
        TRACE(0, L"nBufLen is too few!");
        dwCopy = nBufLen;
    }
    CopyMemory(lpBuf, m_RecvData.get(), dwCopy);
    return TRACE_LEAVE_VALUE(dwCopy);
}

void CPipeRecv::FreeReceivedData()
{
    m_RecvData.reset();
    m_dwRecvDataSize = 0;
}

void CPipeRecv::Finalize(HANDLE hAbort)
{
    TRACE_ENTER(2);
    m_Pipe.Finalize(hAbort);
    FreeReceivedData();
    m_lpFunc = nullptr;
    m_lpData = nullptr;
    m_dwRecvThreadId = 0;
    TRACE_LEAVE_VOID();
}
