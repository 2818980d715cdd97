#include "ConsoleSession.h"

#include "Reg.h"
#include "Trace.h"

namespace {

const WCHAR kSessionKeyVariable[] = L"QUO_CONSOLE_SESSION_KEY";
const WCHAR kActiveSessionValue[] = L"ActiveConsoleSession";

DWORD ActiveConsoleSessionId()
{
    WCHAR szKey[CReg::kPathChars];
    DWORD cch = GetEnvironmentVariableW(kSessionKeyVariable, szKey, ARRAYSIZE(szKey));
    if (cch == 0 || cch >= ARRAYSIZE(szKey)) {
        return WTSGetActiveConsoleSessionId();
    }
    DWORD dwSessionId = 0xFFFFFFFF;
    CReg reg;
    if (reg.OpenKey(szKey, KEY_READ) == ERROR_SUCCESS) {
        reg.QueryDWORDValue(kActiveSessionValue, &dwSessionId);
    }
    return dwSessionId;
}

}  // namespace

DWORD IsInActiveConsoleSession(LPBOOL pbActive)
{
    TRACE_ENTER(1);
    TRACE_CHECK_NULL(pbActive);
    DWORD dwSessionId = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &dwSessionId)) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in ProcessIdToSessionId(). (code:%u)", dwError);
        TRACE_RETURN(dwError);
    }
    *pbActive = (dwSessionId == ActiveConsoleSessionId()) ? TRUE : FALSE;
    TRACE_RETURN(ERROR_SUCCESS);
}
