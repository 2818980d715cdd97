// pipe_probe.exe [--timeout MS]: registers with the running service as a pipe client, as
// the viewer does, waits for the live sample the service sends every new client
// (PIPECMD_NOTIFY_SYSINFO), prints its power of PC and displays in watts ("%.3f") and
// unregisters. For tools/fleet-demo.sh. Exit codes: 0 a sample came, 1 bad arguments,
// 2 the service refused or is not there, 3 no sample within the time-out (default 10 s).
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "PipeCl.h"
#include "PipeCmd.h"
#include "ScopedHandle.h"

namespace {

const DWORD kDefaultTimeoutMs = 10000;

struct CProbe {
    CPipeCl client;
    CScopedKernelHandle hReceived;
    double dWatt = 0.0;
};

// On the client's receive thread: keeps the first live sample.
void OnEvent(LPVOID lpData, PipeEvent* pEvent)
{
    CProbe* pProbe = static_cast<CProbe*>(lpData);
    if (pEvent->dwEvent != PIPEEVENT_RECEIVED || pEvent->dwDataSize != sizeof(QVPipeCmdNotifySysInfo)) {
        return;
    }
    QVPipeCmdNotifySysInfo info;
    if (pProbe->client.GetReceivedData(&info, sizeof(info)) != sizeof(info) || info.dwCmd != PIPECMD_NOTIFY_SYSINFO
        || WaitForSingleObject(pProbe->hReceived.Get(), 0) == WAIT_OBJECT_0) {
        return;
    }
    pProbe->dWatt = info.dWatt;
    SetEvent(pProbe->hReceived.Get());
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    DWORD dwTimeoutMs = kDefaultTimeoutMs;
    if (argc == 3 && wcscmp(argv[1], L"--timeout") == 0) {
        wchar_t* pEnd = nullptr;
        dwTimeoutMs = wcstoul(argv[2], &pEnd, 10);
        if (pEnd == argv[2] || *pEnd != L'\0') {
            argc = 0;
        }
    }
    if (argc != 1 && argc != 3) {
        fwprintf(stderr, L"usage: pipe_probe [--timeout MS]\n");
        return 1;
    }
    CProbe probe;
    probe.hReceived.Reset(CreateEventW(nullptr, TRUE /* manual reset */, FALSE, nullptr));
    if (!probe.hReceived.IsValid()) {
        fwprintf(stderr, L"cannot create an event: %lu\n", GetLastError());
        return 2;
    }
    DWORD dwHandle = 0;
    DWORD dwResult = probe.client.Initialize(CPipeCl::kModeReceiveAndSend, L"QUOViewer", &dwHandle, OnEvent, &probe,
                                             nullptr);
    if (dwResult != ERROR_SUCCESS || dwHandle == 0) {
        fwprintf(stderr, L"the service took no registration: %lu\n", dwResult);
        return 2;
    }
    bool bReceived = WaitForSingleObject(probe.hReceived.Get(), dwTimeoutMs) == WAIT_OBJECT_0;
    probe.client.Finalize(nullptr);
    if (!bReceived) {
        fwprintf(stderr, L"no sample within %lu ms\n", dwTimeoutMs);
        return 3;
    }
    printf("%.3f\n", probe.dWatt);
    return 0;
}
