#include "Trace.h"

#include <cstring>

namespace {

// Position of the '(' that opens the parameter list of a decorated signature, or -1.
// "operator()" is skipped so that its own parentheses are not taken for the list.
int FindParameterList(const char* lpSig)
{
    int nDepth = 0;
    for (int i = 0; lpSig[i] != '\0'; ++i) {
        char c = lpSig[i];
        if (c == '<') {
            ++nDepth;
        } else if (c == '>' && nDepth > 0) {
            --nDepth;
        } else if (c == '(' && nDepth == 0) {
            if (i >= 8 && std::strncmp(lpSig + i - 8, "operator", 8) == 0 && lpSig[i + 1] == ')') {
                ++i;
                continue;
            }
            return i;
        }
    }
    return -1;
}

}  // namespace

CTraceFunctionName::CTraceFunctionName(const char* lpPrettyFunction) : m_szName()
{
    int nEnd = FindParameterList(lpPrettyFunction);
    if (nEnd < 0) {
        nEnd = static_cast<int>(std::strlen(lpPrettyFunction));
    }
    // The name starts after the last blank outside template arguments (the blank that
    // ends the return type), and after any '*' or '&' of that type.
    int nStart = nEnd;
    int nDepth = 0;
    while (nStart > 0) {
        char c = lpPrettyFunction[nStart - 1];
        if (c == '>') {
            ++nDepth;
        } else if (c == '<' && nDepth > 0) {
            --nDepth;
        } else if (nDepth == 0 && (c == ' ' || c == '*' || c == '&')) {
            break;
        }
        --nStart;
    }
    // Helpers in unnamed namespaces are named without it.
    static const char kAnonymous[] = "{anonymous}::";
    const int nAnonymous = static_cast<int>(sizeof(kAnonymous) - 1);
    while (nEnd - nStart > nAnonymous && std::strncmp(lpPrettyFunction + nStart, kAnonymous, nAnonymous) == 0) {
        nStart += nAnonymous;
    }
    size_t cch = 0;
    for (int i = nStart; i < nEnd && cch + 1 < kNameChars; ++i) {
        m_szName[cch++] = static_cast<WCHAR>(static_cast<unsigned char>(lpPrettyFunction[i]));
    }
    m_szName[cch] = L'\0';
}

CTraceScope::CTraceScope(DWORD dwLevel, LPCWSTR lpFunc, int nLine)
    : m_dwLevel(dwLevel), m_lpFunc(lpFunc), m_nLine(nLine), m_bLeft(false)
{
    g_Log.Trace(m_dwLevel, m_lpFunc, nLine, L"Enter");
}

CTraceScope::~CTraceScope()
{
    if (!m_bLeft) {
        g_Log.Trace(m_dwLevel, m_lpFunc, m_nLine, L"Exit");
    }
}

DWORD CTraceScope::Leave(DWORD dwResult, int nLine)
{
    m_bLeft = true;
    if (dwResult == ERROR_SUCCESS) {
        g_Log.Trace(m_dwLevel, m_lpFunc, nLine, L"Exit retval:%08x", dwResult);
    } else {
        g_Log.Trace(m_dwLevel, m_lpFunc, nLine, L"Exit - Error! retval:%08x", dwResult);
    }
    return dwResult;
}

DWORD CTraceScope::LeaveValue(DWORD dwValue, int nLine)
{
    m_bLeft = true;
    g_Log.Trace(m_dwLevel, m_lpFunc, nLine, L"Exit retval:%08x", dwValue);
    return dwValue;
}

void CTraceScope::LeaveVoid(int nLine)
{
    m_bLeft = true;
    g_Log.Trace(m_dwLevel, m_lpFunc, nLine, L"Exit");
}

void CTraceScope::LeaveError(int nLine)
{
    m_bLeft = true;
    g_Log.Trace(m_dwLevel, m_lpFunc, nLine, L"Exit - Error!");
}
