#include "Log.h"

#include <shlobj.h>
#include <strsafe.h>

#include "Reg.h"
#include "ScopedHandle.h"
#include "TraceFileSecurity.h"

CLog g_Log;

namespace {

const WCHAR kDefaultFileName[] = L"default.log";
const WCHAR kMutexBaseName[] = L"clog_mutex_name";
const WCHAR kValueFileName[] = L"filename";
const WCHAR kValueLogForm[] = L"logform";
const WCHAR kValueLogLevel[] = L"loglevel";
const WCHAR kValueDbgPort[] = L"dbgport";
const BYTE kByteOrderMark[] = {0xFF, 0xFE};

// A file name may name an existing sub-folder of the common application data folder but
// never climb out of it.
bool ClimbsOutOfFolder(LPCWSTR lpFileName)
{
    return wcsstr(lpFileName, L"..\\") != nullptr || wcsstr(lpFileName, L"../") != nullptr;
}

}  // namespace

CLog::CLog()
    : m_bInit(FALSE),
      m_dwLogForm(TRACE_FORM_SHORT),
      m_dwLogLevel(1),
      m_dwDbgPort(0),
      m_szFileName(),
      m_Mutex(),
      m_dwFileAttributes(FILE_FLAG_WRITE_THROUGH | FILE_ATTRIBUTE_HIDDEN)
{
}

CLog::~CLog()
{
    Finalize();
}

void CLog::ReadConfiguration(LPCWSTR lpKeyPath)
{
    m_dwLogForm = 0;
    m_dwLogLevel = 0;
    m_dwDbgPort = 0;

    CReg reg;
    if (reg.OpenKey(lpKeyPath, KEY_READ) != ERROR_SUCCESS) {
        return;
    }
    WCHAR szFileName[kFileNameChars];
    DWORD cchFileName = ARRAYSIZE(szFileName);
    if (reg.QueryStringValue(kValueFileName, szFileName, &cchFileName) == ERROR_SUCCESS) {
        StringCchCopyW(m_szFileName, ARRAYSIZE(m_szFileName), szFileName);
    }
    reg.QueryDWORDValue(kValueLogForm, &m_dwLogForm);
    reg.QueryDWORDValue(kValueLogLevel, &m_dwLogLevel);
    reg.QueryDWORDValue(kValueDbgPort, &m_dwDbgPort);
    reg.CloseKey();
}

DWORD CLog::Initialize(LPCWSTR lpKeyPath)
{
    if (m_bInit) {
        return ERROR_SUCCESS;
    }
    StringCchCopyW(m_szFileName, ARRAYSIZE(m_szFileName), kDefaultFileName);
    if (lpKeyPath != nullptr) {
        ReadConfiguration(lpKeyPath);
    }
    if (ClimbsOutOfFolder(m_szFileName)) {
        StringCchCopyW(m_szFileName, ARRAYSIZE(m_szFileName), kDefaultFileName);
    }

    WCHAR szMutexName[MAX_PATH];
    HRESULT hr = (lpKeyPath != nullptr)
        ? StringCchPrintfW(szMutexName, ARRAYSIZE(szMutexName), L"%s_%s", kMutexBaseName, lpKeyPath)
        : StringCchCopyW(szMutexName, ARRAYSIZE(szMutexName), kMutexBaseName);
    if (FAILED(hr)) {
        return ERROR_INVALID_PARAMETER;
    }
    DWORD dwResult = m_Mutex.Initialize(szMutexName, kMutexTimeout);
    if (dwResult != ERROR_SUCCESS) {
        return dwResult;
    }
    m_bInit = TRUE;
    return ERROR_SUCCESS;
}

void CLog::Finalize()
{
    m_Mutex.Finalize();
    m_bInit = FALSE;
}

bool CLog::IsEnabled(DWORD dwLevel) const
{
    return m_bInit && dwLevel <= m_dwLogLevel
        && (m_dwLogForm == TRACE_FORM_SHORT || m_dwLogForm == TRACE_FORM_LONG);
}

DWORD CLog::GetFilePath(LPWSTR szPath, size_t cchPath) const
{
    WCHAR szFolder[MAX_PATH];
    HRESULT hr;
    if (SHGetSpecialFolderPathW(nullptr, szFolder, CSIDL_COMMON_APPDATA, FALSE /* do not create */)) {
        hr = StringCchPrintfW(szPath, cchPath, L"%s\\%s", szFolder, m_szFileName);
    } else {
        hr = StringCchPrintfW(szPath, cchPath, L".\\%s", m_szFileName);
    }
    return SUCCEEDED(hr) ? ERROR_SUCCESS : ERROR_FILENAME_EXCED_RANGE;
}

void CLog::Trace(DWORD dwLevel, LPCWSTR lpFunc, int nLine, LPCWSTR lpFormat, ...)
{
    va_list args;
    va_start(args, lpFormat);
    TraceV(dwLevel, lpFunc, nLine, lpFormat, args);
    va_end(args);
}

void CLog::TraceV(DWORD dwLevel, LPCWSTR lpFunc, int nLine, LPCWSTR lpFormat, va_list args)
{
    if (!m_bInit || dwLevel > m_dwLogLevel || lpFunc == nullptr || lpFormat == nullptr) {
        return;
    }
    DWORD dwLastError = GetLastError();

    // Each buffer cuts what does not fit; a cut line may lose its CR LF.
    WCHAR szMessage[kMessageChars];
    StringCchVPrintfW(szMessage, ARRAYSIZE(szMessage), lpFormat, args);

    WCHAR szBody[kBodyChars];
    if (m_dwLogForm == TRACE_FORM_SHORT) {
        StringCchPrintfW(szBody, ARRAYSIZE(szBody), L" %s", szMessage);
    } else if (m_dwLogForm == TRACE_FORM_LONG) {
        StringCchPrintfW(szBody, ARRAYSIZE(szBody), L"[%08X][%08X][%s][%d] %s",
                         GetCurrentProcessId(), GetCurrentThreadId(), lpFunc, nLine, szMessage);
    } else {
        return;
    }

    SYSTEMTIME st;
    GetLocalTime(&st);
    WCHAR szStamp[kStampChars];
    StringCchPrintfW(szStamp, ARRAYSIZE(szStamp), L"[%d/%02d/%02d %02d:%02d:%02d.%03d]",
                     st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);

    WCHAR szLine[kLineChars];
    StringCchPrintfW(szLine, ARRAYSIZE(szLine), L"%s%s\r\n", szStamp, szBody);

    if (m_dwDbgPort != 0) {
        OutputDebugStringW(szLine);
    }
    AppendLine(szLine);
    SetLastError(dwLastError);
}

void CLog::AppendLine(LPCWSTR lpLine)
{
    WCHAR szPath[MAX_PATH];
    if (GetFilePath(szPath, ARRAYSIZE(szPath)) != ERROR_SUCCESS) {
        return;
    }

    // Whatever the wait gives, the line is still written: the exclusive open below keeps
    // an unserialised writer from interleaving with another.
    CNamedMutexLock lock(m_Mutex, nullptr);
    {
        CTraceFileSecurity security;
        CScopedFileHandle file(CreateFileW(szPath, GENERIC_READ | GENERIC_WRITE, 0 /* no sharing */,
                                           security.Get(), OPEN_ALWAYS, m_dwFileAttributes, nullptr));
        if (file.IsValid()) {
            LARGE_INTEGER zero = {};
            LARGE_INTEGER end = {};
            if (SetFilePointerEx(file.Get(), zero, &end, FILE_END)) {
                DWORD cbWritten = 0;
                if (end.QuadPart == 0) {
                    WriteFile(file.Get(), kByteOrderMark, sizeof(kByteOrderMark), &cbWritten, nullptr);
                }
                size_t cchLine = 0;
                StringCchLengthW(lpLine, kLineChars, &cchLine);
                WriteFile(file.Get(), lpLine, static_cast<DWORD>(cchLine * sizeof(WCHAR)), &cbWritten, nullptr);
            }
        }
    }
}
