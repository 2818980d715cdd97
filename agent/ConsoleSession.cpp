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
    if (pbActive == nullptr) {
        return TRACE_NULL_ARGUMENT(pbActive);
    }
    DWORD dwSessionId = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &dwSessionId)) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in ProcessIdToSessionId(). (code:%u)", dwError);
        return TRACE_LEAVE(dwError);
    }
    *pbActive = (dwSessionId == ActiveConsoleSessionId()) ? TRUE : FALSE;
    return TRACE_LEAVE(ERROR_SUCCESS);
}
