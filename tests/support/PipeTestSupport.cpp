#include "PipeTestSupport.h"

#include <algorithm>

namespace pipetest {

std::wstring ClientPipeName(const std::wstring& suffix, DWORD dwId)
{
    wchar_t szId[16];
    swprintf(szId, ARRAYSIZE(szId), L"%08x", static_cast<unsigned>(dwId));
    return DataPipeName(suffix) + szId;
}

std::vector<BYTE> Frame(DWORD dwFirst, DWORD dwDataSize, const void* lpPayload, DWORD cbPayload)
{
    std::vector<BYTE> bytes(sizeof(DataHdr) + cbPayload);
    const DataHdr hdr = {dwFirst, dwDataSize};
    memcpy(bytes.data(), &hdr, sizeof(hdr));
    std::copy_n(static_cast<const BYTE*>(lpPayload), cbPayload, bytes.begin() + sizeof(hdr));
    return bytes;
}

std::vector<BYTE> ConnectRequest(const std::wstring& name)
{
    DWORD cb = static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t));
    return Frame(PIPEREQUEST_CONNECT, cb, name.c_str(), cb);
}

HANDLE RawOpen(const std::wstring& pipe, DWORD dwWaitMs)
{
    ULONGLONG ullEnd = GetTickCount64() + dwWaitMs;
    for (;;) {
        HANDLE h = CreateFileW(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            return h;
        }
        DWORD dwError = GetLastError();
        if (dwError != ERROR_PIPE_BUSY || GetTickCount64() >= ullEnd) {
            SetLastError(dwError);
            return INVALID_HANDLE_VALUE;
        }
        WaitNamedPipeW(pipe.c_str(), 200);
    }
}

DWORD RawTransfer(HANDLE h, bool bWrite, void* lpBuf, DWORD cb, DWORD dwTimeoutMs, DWORD* pdwDone)
{
    CScopedKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov = {};
    ov.hEvent = event.Get();
    BOOL bOk = bWrite ? WriteFile(h, lpBuf, cb, nullptr, &ov) : ReadFile(h, lpBuf, cb, nullptr, &ov);
    if (!bOk && GetLastError() != ERROR_IO_PENDING) {
        return GetLastError();
    }
    bool bTimedOut = WaitForSingleObject(ov.hEvent, dwTimeoutMs) != WAIT_OBJECT_0;
    if (bTimedOut) {
        CancelIoEx(h, &ov);
    }
    DWORD dwDone = 0;
    bOk = GetOverlappedResult(h, &ov, pdwDone != nullptr ? pdwDone : &dwDone, TRUE);
    return bOk ? ERROR_SUCCESS : bTimedOut ? ERROR_TIMEOUT : GetLastError();
}

bool IsHangUp(DWORD dwResult)
{
    dwResult &= ~kNoAck;
    return dwResult == ERROR_BROKEN_PIPE || dwResult == ERROR_PIPE_NOT_CONNECTED;
}

DWORD RawExchange(const std::wstring& pipe, const std::vector<BYTE>& bytes, DWORD* pdwAck, DWORD dwAckTimeoutMs)
{
    CScopedFileHandle h(RawOpen(pipe));
    DWORD dwDone = 0;
    DWORD dwResult = h.IsValid() ? RawTransfer(h.Get(), true, const_cast<BYTE*>(bytes.data()),
                                               static_cast<DWORD>(bytes.size()), dwAckTimeoutMs)
                                 : GetLastError();
    if (dwResult == ERROR_SUCCESS) {
        dwResult = RawTransfer(h.Get(), false, pdwAck, sizeof(DWORD), dwAckTimeoutMs, &dwDone);
    }
    return (dwResult == ERROR_SUCCESS && dwDone != sizeof(DWORD)) ? ERROR_INVALID_DATA : dwResult;
}

DWORD Ack(const std::wstring& pipe, const std::vector<BYTE>& bytes)
{
    DWORD dwAck = 0;
    DWORD dwResult = RawExchange(pipe, bytes, &dwAck);
    return (dwResult == ERROR_SUCCESS) ? dwAck : kNoAck | dwResult;
}

void CEventLog::Callback(LPVOID lpData, PipeEvent* pPipeEvent)
{
    CEventLog* pLog = static_cast<CEventLog*>(lpData);
    Record record = {pPipeEvent->dwEvent, pPipeEvent->dwClientHandle, pPipeEvent->dwDataSize, {}};
    if (pPipeEvent->dwEvent == PIPEEVENT_VALIDATE) {
        pPipeEvent->dwResult = pLog->dwVerdict;
    }
    if (pPipeEvent->dwEvent == PIPEEVENT_RECEIVED && pLog->pReceiver != nullptr) {
        record.payload.resize(pPipeEvent->dwDataSize);
        DWORD dwCopied = pLog->pReceiver->GetReceivedData(record.payload.data(), pPipeEvent->dwDataSize);
        record.payload.resize(dwCopied);
    }
    if (pPipeEvent->dwEvent == PIPEEVENT_RECEIVED && pLog->onReceived) {
        pLog->onReceived(record);
    }
    std::lock_guard<std::mutex> lock(pLog->m_mutex);
    pLog->m_records.push_back(std::move(record));
}

std::vector<CEventLog::Record> CEventLog::Records()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records;
}

size_t CEventLog::Count(DWORD dwEvent)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::count_if(m_records.begin(), m_records.end(), [&](const Record& r) { return r.dwEvent == dwEvent; });
}

bool CEventLog::WaitForCount(DWORD dwEvent, size_t nCount, DWORD dwTimeoutMs)
{
    return WaitUntil([&] { return Count(dwEvent) >= nCount; }, dwTimeoutMs);
}

DWORD CCountingClient::Register(const std::wstring& suffix)
{
    DWORD dwHandle = 0;
    DWORD dwResult =
        client.Initialize(CPipeCl::kModeReceiveAndSend, suffix.c_str(), &dwHandle, OnEvent, this, nullptr);
    return (dwResult == ERROR_SUCCESS && dwHandle == 0) ? ERROR_ACCESS_DENIED : dwResult;
}

void CCountingClient::OnEvent(LPVOID lpData, PipeEvent* pPipeEvent)
{
    CCountingClient* pThis = static_cast<CCountingClient*>(lpData);
    QVPipeCmdNotifySysInfo cmd = {};
    if (pPipeEvent->dwEvent == PIPEEVENT_RECEIVED && pThis->client.GetReceivedData(&cmd, sizeof(cmd)) == sizeof(cmd)
        && cmd.dwCmd == PIPECMD_NOTIFY_SYSINFO) {
        ++pThis->lSysInfo;
    }
}

}  // namespace pipetest
