// Waiting for a Windows service to run, as the monitoring service waits for "winmgmt"
// and the session agent for the monitoring service.
#pragma once

#include <windows.h>

// Polls the state of service lpSvName every 500 ms until it runs: 0 then, 1460 after
// dwLimitMs (0: no limit), 87 for a null name, else the service manager's error.
DWORD WaitForService(LPCWSTR lpSvName, DWORD dwLimitMs);
