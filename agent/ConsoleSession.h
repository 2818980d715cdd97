// Whether this process runs in the active console session.
//
// On a real machine that is the comparison of the process's session with the one
// attached to the console. Under Wine every process shares one session that is always
// the console's, so tests name a registry key in the environment variable
// QUO_CONSOLE_SESSION_KEY of the agent they start; its DWORD "ActiveConsoleSession" then
// stands for the console's session id, read at every check.
#pragma once

#include <windows.h>

// TRUE in *pbActive when the process's session is the active console session.
DWORD IsInActiveConsoleSession(LPBOOL pbActive);
