// service_probe.exe [SERVICE]: what Windows reports about a running service's process
// (default "quomonsv"): its process id, CPU times and memory, one "name=value" a line,
// for tools/bench-service.sh. Exit code 0, or the error that stopped the probe.
#include <windows.h>
#include <psapi.h>

#include <cstdio>

#include "ScopedHandle.h"

namespace {

ULONGLONG Milliseconds(const FILETIME& ft)
{
    return ((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 10000;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    LPCWSTR lpService = (argc > 1) ? argv[1] : L"quomonsv";
    CScopedScHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CScopedScHandle service(OpenServiceW(scm.Get(), lpService, SERVICE_QUERY_STATUS));
    SERVICE_STATUS_PROCESS status = {};
    DWORD cbNeeded = 0;
    if (!service.IsValid() || !QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO,
                                                    reinterpret_cast<LPBYTE>(&status), sizeof(status), &cbNeeded)) {
        DWORD dwError = GetLastError();
        fwprintf(stderr, L"cannot query the service %ls: %lu\n", lpService, dwError);
        return static_cast<int>(dwError);
    }
    if (status.dwCurrentState != SERVICE_RUNNING) {
        fwprintf(stderr, L"the service %ls does not run\n", lpService);
        return ERROR_SERVICE_NOT_ACTIVE;
    }
    CScopedKernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, status.dwProcessId));
    if (!process.IsValid()) {
        DWORD dwError = GetLastError();
        fwprintf(stderr, L"cannot open process %lu: %lu\n", status.dwProcessId, dwError);
        return static_cast<int>(dwError);
    }
    wprintf(L"pid=%lu\n", status.dwProcessId);
    FILETIME ftCreation, ftExit, ftKernel, ftUser;
    if (GetProcessTimes(process.Get(), &ftCreation, &ftExit, &ftKernel, &ftUser)) {
        wprintf(L"kernel_ms=%llu\nuser_ms=%llu\n", Milliseconds(ftKernel), Milliseconds(ftUser));
    } else {
        wprintf(L"times_error=%lu\n", GetLastError());
    }
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    if (GetProcessMemoryInfo(process.Get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters))) {
        wprintf(L"working_set_kb=%llu\npeak_working_set_kb=%llu\nprivate_kb=%llu\n",
                static_cast<ULONGLONG>(counters.WorkingSetSize / 1024),
                static_cast<ULONGLONG>(counters.PeakWorkingSetSize / 1024),
                static_cast<ULONGLONG>(counters.PrivateUsage / 1024));
    } else {
        wprintf(L"memory_error=%lu\n", GetLastError());
    }
    DWORD dwHandles = 0;
    if (GetProcessHandleCount(process.Get(), &dwHandles)) {
        wprintf(L"handles=%lu\n", dwHandles);
    }
    return 0;
}
