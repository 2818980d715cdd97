#include "QuoLogCore.h"

#include <new>
#include <string>
#include <vector>

#include <shlobj.h>
#include <strsafe.h>

#include "FolderTree.h"
#include "Reg.h"
#include "StackLock.h"
#include "TempLog.h"
#include "Thread.h"
#include "TotalizeLog.h"
#include "Trace.h"

namespace {

const WCHAR kDefaultDirName1[] = L"ZAV";
const WCHAR kDefaultDirName2[] = L"QUOViewer";
const WCHAR kTandoraExe[] = L"Tandora\\Tandora.exe";
const WCHAR kScratchPrefix[] = L"RecoveryBackup";
const DWORD kScratchAttempts = 16;
const size_t kRegStringChars = MAX_PATH + 1;
const DWORD kTimerMargin = 50;  // ms after the start of a minute

// A name that a folder of the log path may have: 1..31 characters, not "." or "..",
// no character a file name cannot hold, no trailing dot or blank, no device name.
bool IsValidDirName(LPCWSTR lpName, size_t cchName)
{
    if (cchName == 0 || cchName >= CQuoLog::kDirNameChars) {
        return false;
    }
    for (size_t i = 0; i < cchName; ++i) {
        if (lpName[i] < L' ' || wcschr(L"<>:\"/\\|?*", lpName[i]) != nullptr) {
            return false;
        }
    }
    if (lpName[cchName - 1] == L'.' || lpName[cchName - 1] == L' ') {
        return false;
    }
    static const WCHAR* const kDevices[] = {L"CON",  L"PRN",  L"AUX",  L"NUL",  L"COM1", L"COM2", L"COM3",
                                            L"COM4", L"COM5", L"COM6", L"COM7", L"COM8", L"COM9", L"LPT1",
                                            L"LPT2", L"LPT3", L"LPT4", L"LPT5", L"LPT6", L"LPT7", L"LPT8",
                                            L"LPT9"};
    for (LPCWSTR lpDevice : kDevices) {
        size_t cchDevice = wcslen(lpDevice);
        if (_wcsnicmp(lpName, lpDevice, cchDevice) == 0 && (cchName == cchDevice || lpName[cchDevice] == L'.')) {
            return false;
        }
    }
    return true;
}

DWORD MsUntilNextMinute(const SYSTEMTIME& stNow)
{
    DWORD dwIntoMinute = stNow.wSecond * 1000u + stNow.wMilliseconds;
    return (dwIntoMinute < CQuoLog::kTimerPeriod ? CQuoLog::kTimerPeriod - dwIntoMinute : 0) + kTimerMargin;
}

}  // namespace

CQuoLog::CQuoLog(const QuoLogEnvironment& env)
    : m_dwMode(0),
      m_szDirName1(),
      m_szDirName2(),
      m_szLogDir(),
      m_bFirstWrite(TRUE),
      m_szLastItemTime(),
      m_pThread(),
      m_pTempLog(),
      m_pTotalizeLog(),
      m_Env(env),
      m_bHoldsWriterFlag(FALSE),
      m_RegistryPositions(env.lpRegKeyPath)
{
    InitializeCriticalSection(&m_csLock);
    StringCchCopyW(m_szDirName1, ARRAYSIZE(m_szDirName1), kDefaultDirName1);
    StringCchCopyW(m_szDirName2, ARRAYSIZE(m_szDirName2), kDefaultDirName2);
}

CQuoLog::~CQuoLog()
{
    Finalize();
    m_pThread.reset();
    m_pTotalizeLog.reset();
    m_pTempLog.reset();
    DeleteCriticalSection(&m_csLock);
}

BOOL CQuoLog::DivideString(LPCWSTR lpValue, WCHAR chSeparator)
{
    TRACE_ENTER(1);
    StringCchCopyW(m_szDirName1, ARRAYSIZE(m_szDirName1), kDefaultDirName1);
    StringCchCopyW(m_szDirName2, ARRAYSIZE(m_szDirName2), kDefaultDirName2);
    if (lpValue == nullptr) {
        return TRACE_LEAVE_VALUE(FALSE);
    }
    LPCWSTR lpFirstEnd = wcschr(lpValue, chSeparator);
    if (lpFirstEnd == nullptr) {
        TRACE(0, L"LogDir \"%s\" has no second component: the defaults stay.", lpValue);
        return TRACE_LEAVE_VALUE(FALSE);
    }
    LPCWSTR lpSecond = lpFirstEnd + 1;
    LPCWSTR lpSecondEnd = wcschr(lpSecond, chSeparator);
    size_t cchFirst = static_cast<size_t>(lpFirstEnd - lpValue);
    size_t cchSecond = (lpSecondEnd != nullptr) ? static_cast<size_t>(lpSecondEnd - lpSecond) : wcslen(lpSecond);
    if (!IsValidDirName(lpValue, cchFirst) || !IsValidDirName(lpSecond, cchSecond)
        || (cchFirst == 2 && wcsncmp(lpValue, L"..", 2) == 0) || (cchSecond == 2 && wcsncmp(lpSecond, L"..", 2) == 0)) {
        TRACE(0, L"LogDir \"%s\" is no valid folder pair: the defaults stay.", lpValue);
        return TRACE_LEAVE_VALUE(FALSE);
    }
    StringCchCopyNW(m_szDirName1, ARRAYSIZE(m_szDirName1), lpValue, cchFirst);
    StringCchCopyNW(m_szDirName2, ARRAYSIZE(m_szDirName2), lpSecond, cchSecond);
    return TRACE_LEAVE_VALUE(TRUE);
}

DWORD CQuoLog::ReadLogDirSetting()
{
    TRACE_ENTER(1);
    CReg reg;
    DWORD dwResult = reg.OpenKey(m_Env.lpRegKeyPath, KEY_READ);
    WCHAR szValue[kRegStringChars];
    DWORD cchValue = ARRAYSIZE(szValue);
    if (dwResult == ERROR_SUCCESS) {
        dwResult = reg.QueryStringValue(REGENTRY_LOGDIR, szValue, &cchValue);
    }
    if (dwResult == ERROR_SUCCESS) {
        DivideString(szValue, L'\\');
    }
    TRACE(1, L"LogDir components: %s, %s", m_szDirName1, m_szDirName2);
    return TRACE_LEAVE(dwResult);
}

DWORD CQuoLog::GetBaseFolder(LPWSTR lpFolder, size_t cchFolder, BOOL bCreate) const
{
    if (m_Env.lpBaseFolder != nullptr) {
        return SUCCEEDED(StringCchCopyW(lpFolder, cchFolder, m_Env.lpBaseFolder)) ? ERROR_SUCCESS
                                                                                  : ERROR_PATH_NOT_FOUND;
    }
    WCHAR szFolder[MAX_PATH];
    if (!SHGetSpecialFolderPathW(nullptr, szFolder, CSIDL_COMMON_APPDATA, bCreate)
        || FAILED(StringCchCopyW(lpFolder, cchFolder, szFolder))) {
        return ERROR_PATH_NOT_FOUND;
    }
    return ERROR_SUCCESS;
}

DWORD CQuoLog::CreateLogDir()
{
    TRACE_ENTER(2);
    if (m_Env.lpLogDir != nullptr) {
        return TRACE_LEAVE(foldertree::CreateProtectedFolder(m_szLogDir));
    }
    WCHAR szBase[MAX_PATH];
    DWORD dwResult = GetBaseFolder(szBase, ARRAYSIZE(szBase), TRUE /* create */);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in getting the common application data folder.");
        return TRACE_LEAVE(dwResult);
    }
    WCHAR szDir1[MAX_PATH];
    WCHAR szDir2[MAX_PATH];
    if (FAILED(StringCchPrintfW(szDir1, ARRAYSIZE(szDir1), L"%s\\%s", szBase, m_szDirName1))
        || FAILED(StringCchPrintfW(szDir2, ARRAYSIZE(szDir2), L"%s\\%s\\%s", szBase, m_szDirName1, m_szDirName2))) {
        return TRACE_LEAVE(ERROR_FUNCTION_FAILED);
    }
    dwResult = foldertree::CreateProtectedFolder(szDir1);
    if (dwResult == ERROR_SUCCESS) {
        dwResult = foldertree::CreateProtectedFolder(szDir2);
    }
    return TRACE_LEAVE(dwResult);
}

BOOL CQuoLog::GetLogFullPath(DWORD dwKind, const SYSTEMTIME* lpDate, LPWSTR lpPath, size_t cchPath, BOOL bCreateDir)
{
    TRACE_FUNCTION();
    if (lpPath == nullptr || lpDate == nullptr || cchPath == 0) {
        TRACE(0, L"%s is NULL.", L"lpPath");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    HRESULT hr = E_FAIL;
    switch (dwKind) {
    case CCSVOperator::LOG_KIND_RAW:
        hr = StringCchPrintfW(lpPath, cchPath, L"%s\\%s%04u%02u%02u%s", m_szLogDir, CCSVOperator::kRawPrefix,
                              lpDate->wYear, lpDate->wMonth, lpDate->wDay, CCSVOperator::kCsvSuffix);
        break;
    case CCSVOperator::LOG_KIND_DAILY: {
        WCHAR szYearDir[MAX_PATH];
        hr = StringCchPrintfW(szYearDir, ARRAYSIZE(szYearDir), L"%s\\%04u", m_szLogDir, lpDate->wYear);
        if (SUCCEEDED(hr) && bCreateDir) {
            DWORD dwResult = foldertree::CreateProtectedFolder(szYearDir);
            if (dwResult != ERROR_SUCCESS) {
                SetLastError(dwResult);
                return FALSE;
            }
        }
        if (SUCCEEDED(hr)) {
            hr = StringCchPrintfW(lpPath, cchPath, L"%s\\%s%04u%02u%02u%s", szYearDir, CCSVOperator::kDailyPrefix,
                                  lpDate->wYear, lpDate->wMonth, lpDate->wDay, CCSVOperator::kCsvSuffix);
        }
        break;
    }
    case CCSVOperator::LOG_KIND_YEARLY:
        hr = StringCchPrintfW(lpPath, cchPath, L"%s\\%s%04u%s", m_szLogDir, CCSVOperator::kYearlyPrefix, lpDate->wYear,
                              CCSVOperator::kCsvSuffix);
        break;
    default:
        TRACE(0, L"Invalid kind: %u.", dwKind);
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (FAILED(hr)) {
        SetLastError(ERROR_FUNCTION_FAILED);
        return FALSE;
    }
    return TRUE;
}

DWORD CQuoLog::RestoreLastItemTime()
{
    TRACE_ENTER(1);
    m_szLastItemTime[0] = L'\0';
    std::vector<std::wstring> names = CTempLog::ListRawFiles(m_szLogDir);
    // The newest file whose last line holds a time: a file that a crash left without
    // a whole line does not hide the records of the day before. A file that cannot be
    // read for a passing reason (the lock held by a reader, another program holding
    // it) is tried again: an older file's time would let older records in.
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        WCHAR szPath[MAX_PATH];
        if (FAILED(StringCchPrintfW(szPath, ARRAYSIZE(szPath), L"%s\\%s", m_szLogDir, it->c_str()))) {
            continue;
        }
        WCHAR szLast[kTimeTextChars];
        DWORD dwResult = m_pTempLog->ReadLastLine(szPath, szLast, ARRAYSIZE(szLast), nullptr);
        for (DWORD dwAttempt = 1; dwAttempt < kRestoreAttempts && !CCSVOperator::IsLastingReadFault(dwResult)
             && dwResult != ERROR_SUCCESS;
             ++dwAttempt) {
            TRACE(0, L"Error in reading the last line of %s (code:%u): it is read again.", szPath, dwResult);
            dwResult = m_pTempLog->ReadLastLine(szPath, szLast, ARRAYSIZE(szLast), nullptr);
        }
        if (dwResult != ERROR_SUCCESS && !CCSVOperator::IsLastingReadFault(dwResult)) {
            TRACE(0, L"The last line of %s cannot be read. code:%u", szPath, dwResult);
            return TRACE_LEAVE(dwResult);
        }
        SYSTEMTIME st;
        if (dwResult == ERROR_SUCCESS && ConvertStrToSystime(szLast, &st)) {
            FormatLongTime(st, m_szLastItemTime, ARRAYSIZE(m_szLastItemTime));
            break;
        }
    }
    TRACE(1, L"Last item time: %s", m_szLastItemTime);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQuoLog::mQUOLogInitialize(DWORD dwMode, DWORD dwInterval, DWORD bDelayWrite, DWORD dwDelayTime)
{
    TRACE_ENTER(1);
    m_pTotalizeLog.reset(new (std::nothrow) CTotalizeLog(*this));
    if (m_pTotalizeLog == nullptr) {
        TRACE(0, L"QUOLOG: Cannot Allocate m_TotalizeLog!");
        return TRACE_LEAVE(ERROR_NOT_ENOUGH_MEMORY);
    }
    DWORD dwResult = m_pTotalizeLog->Initialize(dwMode);
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    m_dwMode = dwMode;
    ReadLogDirSetting();

    switch (dwMode) {
    case QUOLOG_MODE_READER:
    case QUOLOG_MODE_WRITER:
        break;
    default:
        TRACE(0, L"Invalid mode: %u.", dwMode);
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    if (dwMode == QUOLOG_MODE_WRITER) {
        if (InterlockedCompareExchange(m_Env.lpWriter, 1, 0) != 0) {
            TRACE(0, L"A writer exists already.");
            return TRACE_LEAVE(ERROR_ACCESS_DENIED);
        }
        m_bHoldsWriterFlag = TRUE;
        if (m_Env.lpWriterMarkName != nullptr) {
            // Existing already (left by a program that squats the name) is no failure:
            // the mark only tells others that a writer may be at work.
            m_hWriterMark.Reset(CreateEventW(nullptr, TRUE /* manual reset */, FALSE, m_Env.lpWriterMarkName));
            if (!m_hWriterMark.IsValid()) {
                TRACE(0, L"Error in CreateEvent(%s). code:%u", m_Env.lpWriterMarkName, GetLastError());
            }
        }
    }
    dwResult = SetLogDirectory(dwMode);
    if (dwResult == ERROR_SUCCESS && dwMode == QUOLOG_MODE_WRITER) {
        dwResult = InitializeWriter(dwInterval, bDelayWrite, dwDelayTime);
    }
    if (dwResult == ERROR_SUCCESS) {
        dwResult = CreateEvents();
    }
    if (dwResult == ERROR_SUCCESS && dwMode == QUOLOG_MODE_WRITER) {
        dwResult = StartWorker();
    }
    if (dwResult != ERROR_SUCCESS) {
        ReleaseWriterFlag();
    }
    TRACE(1, L"Log directory: %s", m_szLogDir);
    return TRACE_LEAVE(dwResult);
}

DWORD CQuoLog::SetLogDirectory(DWORD dwMode)
{
    TRACE_ENTER(1);
    if (m_Env.lpLogDir != nullptr) {
        if (FAILED(StringCchCopyW(m_szLogDir, ARRAYSIZE(m_szLogDir), m_Env.lpLogDir))) {
            return TRACE_LEAVE(ERROR_FUNCTION_FAILED);
        }
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    WCHAR szBase[MAX_PATH];
    DWORD dwResult = GetBaseFolder(szBase, ARRAYSIZE(szBase), dwMode == QUOLOG_MODE_WRITER);
    if (dwResult == ERROR_SUCCESS
        && FAILED(StringCchPrintfW(m_szLogDir, ARRAYSIZE(m_szLogDir), L"%s\\%s\\%s", szBase, m_szDirName1,
                                   m_szDirName2))) {
        dwResult = ERROR_FUNCTION_FAILED;
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CQuoLog::InitializeWriter(DWORD dwInterval, DWORD bDelayWrite, DWORD dwDelayTime)
{
    TRACE_ENTER(1);
    DWORD dwResult = CreateLogDir();
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    m_pTempLog.reset(new (std::nothrow) CTempLog(*this));
    if (m_pTempLog == nullptr) {
        TRACE(0, L"QUOLOG: Cannot Allocate m_TempLog!");
        return TRACE_LEAVE(ERROR_NOT_ENOUGH_MEMORY);
    }
    dwResult = m_pTempLog->Initialize();
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    m_pTempLog->SetInterval(dwInterval);
    m_pTempLog->SetDelayWrite(bDelayWrite != 0);
    m_pTempLog->SetDelayTime(dwDelayTime);
    return TRACE_LEAVE(RestoreLastItemTime());
}

DWORD CQuoLog::CreateEvents()
{
    TRACE_ENTER(1);
    CScopedKernelHandle* events[] = {&m_hTotalizeEvent, &m_hRecoveryEvent, &m_hRecoveryAckEvent};
    for (CScopedKernelHandle* pEvent : events) {
        pEvent->Reset(CreateEventW(nullptr, FALSE /* auto reset */, FALSE /* not set */, nullptr));
        if (!pEvent->IsValid()) {
            DWORD dwError = GetLastError();
            TRACE(0, L"QUOLOG: Cannot Create Event!");
            for (CScopedKernelHandle* pMade : events) {
                pMade->Reset();
            }
            return TRACE_LEAVE(dwError);
        }
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQuoLog::StartWorker()
{
    TRACE_ENTER(1);
    m_pThread.reset(new (std::nothrow) CThread());
    if (m_pThread == nullptr) {
        TRACE(0, L"QUOLOG: Cannot Allocate m_Thread!");
        return TRACE_LEAVE(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (!m_Env.bRunWorker) {
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    return TRACE_LEAVE(m_pThread->Initialize(ThreadProc, this));
}

void CQuoLog::ReleaseWriterFlag()
{
    if (m_bHoldsWriterFlag) {
        m_hWriterMark.Reset();
        InterlockedExchange(m_Env.lpWriter, 0);
        m_bHoldsWriterFlag = FALSE;
    }
}

bool CQuoLog::IsWorkerRunning() const
{
    return m_pThread != nullptr && m_pThread->GetThreadId() != 0;
}

void CQuoLog::Finalize()
{
    TRACE_ENTER(1);
    CStackLock lock(&m_csLock);
    // Runs from the destructor too: nothing may escape it.
    try {
        if (m_pTempLog != nullptr) {
            m_pTempLog->WriteLog(nullptr, nullptr, nullptr);
        }
    } catch (const std::bad_alloc&) {
        TRACE(0, L"Out of memory: the buffered lines are lost.");
    }
    if (m_pThread != nullptr) {
        m_pThread->Terminate();
        m_pThread->Finalize();
        m_pThread.reset();
    }
    ReleaseWriterFlag();
    TRACE_LEAVE_VOID();
}

DWORD CQuoLog::Write(const QuoLogData* pRecord)
{
    SYSTEMTIME stNow;
    GetLocalTime(&stNow);
    return WriteAt(pRecord, stNow);
}

DWORD CQuoLog::WriteAt(const QuoLogData* pRecord, const SYSTEMTIME& stNow)
{
    TRACE_ENTER(1);
    if (pRecord == nullptr) {
        return TRACE_NULL_ARGUMENT(pRecord);
    }
    if (m_dwMode != QUOLOG_MODE_WRITER || m_pTempLog == nullptr) {
        TRACE(0, L"Not a writer.");
        return TRACE_LEAVE(ERROR_ACCESS_DENIED);
    }
    CStackLock lock(&m_csLock);
    WCHAR szNow[kTimeTextChars];
    FormatLongTime(stNow, szNow, ARRAYSIZE(szNow));
    if (m_szLastItemTime[0] != L'\0') {
        SYSTEMTIME stLast;
        ConvertStrToSystime(m_szLastItemTime, &stLast);
        if (CompareTime(stNow, stLast) <= 0) {
            TRACE(1, L"Dropped: %s is not later than %s.", szNow, m_szLastItemTime);
            return TRACE_LEAVE(ERROR_SUCCESS);
        }
    }
    DWORD dwResult = m_pTempLog->WriteLog(pRecord, &stNow, nullptr);
    StringCchCopyW(m_szLastItemTime, ARRAYSIZE(m_szLastItemTime), szNow);
    if (dwResult == ERROR_SUCCESS
        && (pRecord->dwPowerStatus == QUOLOG_POWER_FROM_S3S4
            || (pRecord->dwPowerStatus == QUOLOG_POWER_S0 && m_bFirstWrite))) {
        SetEvent(m_hTotalizeEvent.Get());
        m_bFirstWrite = FALSE;
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CQuoLog::ThreadProc(LPVOID lpData)
{
    CQuoLog* pThis = static_cast<CQuoLog*>(lpData);
    return (pThis != nullptr) ? pThis->RunWorker() : ERROR_INVALID_PARAMETER;
}

DWORD CQuoLog::RunWorker()
{
    TRACE_ENTER(1);
    HANDLE hTerminate = m_pThread->GetTerminateEvent();
    HANDLE handles[] = {hTerminate, m_hTotalizeEvent.Get(), m_hRecoveryEvent.Get()};
    SYSTEMTIME stNow;
    GetLocalTime(&stNow);
    for (;;) {
        DWORD dwWait = WaitForMultipleObjects(ARRAYSIZE(handles), handles, FALSE /* any */, MsUntilNextMinute(stNow));
        GetLocalTime(&stNow);
        try {
            switch (dwWait) {
            case WAIT_OBJECT_0:
                return TRACE_LEAVE(ERROR_SUCCESS);
            case WAIT_OBJECT_0 + 1:
                OnTotalizeRequest(stNow, hTerminate);
                break;
            case WAIT_OBJECT_0 + 2:
                SetEvent(m_hRecoveryAckEvent.Get());
                break;
            case WAIT_TIMEOUT:
                OnTimer(stNow, hTerminate);
                break;
            default: {
                DWORD dwError = GetLastError();
                TRACE(0, L"Error in WaitForMultipleObjects(). code:%u", dwError);
                return TRACE_LEAVE(dwError);
            }
            }
        } catch (const std::bad_alloc&) {
            TRACE(0, L"Out of memory in the worker.");
        }
    }
}

void CQuoLog::OnTotalizeRequest(const SYSTEMTIME& stNow, HANDLE hAbort)
{
    TRACE_ENTER(1);
    if (*m_Env.lpRecovery != 0 || m_pTempLog == nullptr) {
        TRACE_LEAVE_VOID();
        return;
    }
    m_pTempLog->WriteLog(nullptr, nullptr, hAbort);
    BOOL bTandora = IsTandoraInstalled(m_Env);
    Totalize(stNow, hAbort, TRUE /* fold */, bTandora);
    if (bTandora) {
        DeletePksCopies();
    }
    TRACE_LEAVE_VOID();
}

void CQuoLog::OnTimer(const SYSTEMTIME& stNow, HANDLE hAbort)
{
    TRACE_ENTER(2);
    if ((stNow.wMinute != 0 && stNow.wMinute != 30) || *m_Env.lpRecovery != 0 || m_pTempLog == nullptr) {
        TRACE_LEAVE_VOID();
        return;
    }
    m_pTempLog->WriteLog(nullptr, nullptr, hAbort);
    Totalize(stNow, hAbort, stNow.wHour == 0 && stNow.wMinute == 0, FALSE /* no peak-shift refresh */);
    TRACE_LEAVE_VOID();
}

CQuoLog::TotalizeResults CQuoLog::Totalize(const SYSTEMTIME& stNow, HANDLE hAbort, BOOL bFold, BOOL bRefreshPks)
{
    TRACE_ENTER(1);
    TotalizeResults results = {kStepNotRun, kStepNotRun};
    if (m_pTempLog == nullptr) {
        TRACE(0, L"%s is NULL.", L"m_pTempLog");
        results.dwOne = ERROR_NOT_READY;
        return results;
    }
    if (bRefreshPks) {
        m_pTotalizeLog->GetPksBattChrgPrvntInfo();
    }
    // Records still waiting in memory for the raw file to take them are not on disk
    // yet: the totalization stops at the oldest, so that its slot and day stay open
    // until it is written.
    SYSTEMTIME stEnd = stNow;
    SYSTEMTIME stBuffered;
    if (m_pTempLog->GetOldestBufferedTime(&stBuffered) && CompareTime(stBuffered, stEnd) < 0) {
        TRACE(1, L"Records from %04u/%02u/%02u,%02u:%02u:%02u.%03u on are not written yet: the totalization stops there.",
              stBuffered.wYear, stBuffered.wMonth, stBuffered.wDay, stBuffered.wHour, stBuffered.wMinute,
              stBuffered.wSecond, stBuffered.wMilliseconds);
        stEnd = stBuffered;
    }
    results.dwOne = m_pTotalizeLog->TotalizeQuoLogOne(stEnd, hAbort);
    if (bFold && results.dwOne == ERROR_SUCCESS) {
        results.dwTwo = m_pTotalizeLog->TotalizeQuoLogTwo(stEnd, hAbort);
        m_pTempLog->DeleteLogFile(m_szLogDir, hAbort);
    }
    TRACE(1, L"TotalizeQuoLogOne: %u, TotalizeQuoLogTwo: %u", results.dwOne, results.dwTwo);
    return results;
}

DWORD CQuoLog::Recovery()
{
    SYSTEMTIME stNow;
    GetLocalTime(&stNow);
    return RecoveryAt(stNow);
}

DWORD CQuoLog::RecoveryAt(const SYSTEMTIME& stNow)
{
    TRACE_ENTER(1);
    if (m_dwMode != QUOLOG_MODE_WRITER || m_pTempLog == nullptr) {
        TRACE(0, L"Not a writer.");
        return TRACE_LEAVE(ERROR_ACCESS_DENIED);
    }
    CStackLock lock(&m_csLock);
    InterlockedExchange(m_Env.lpRecovery, 1);
    DWORD dwResult = ERROR_SUCCESS;
    if (IsWorkerRunning()) {
        // A stale acknowledge of an earlier request that timed out must not count.
        ResetEvent(m_hRecoveryAckEvent.Get());
        SetEvent(m_hRecoveryEvent.Get());
        DWORD dwWait = WaitForSingleObject(m_hRecoveryAckEvent.Get(), kRecoveryAckTimeout);
        if (dwWait == WAIT_TIMEOUT) {
            ResetEvent(m_hRecoveryEvent.Get());
            dwResult = ERROR_BUSY;
        } else if (dwWait == WAIT_FAILED) {
            dwResult = GetLastError();
        } else if (dwWait != WAIT_OBJECT_0) {
            dwResult = ERROR_OPERATION_ABORTED;
        }
    }
    if (dwResult == ERROR_SUCCESS) {
        dwResult = RecoverFiles(stNow);
    } else {
        TRACE(0, L"The worker did not answer. code:%u", dwResult);
    }
    InterlockedExchange(m_Env.lpRecovery, 0);
    return TRACE_LEAVE(dwResult);
}

DWORD CQuoLog::MakeScratchFolder(LPWSTR lpScratch, size_t cchScratch)
{
    TRACE_ENTER(1);
    DWORD dwResult = ERROR_ALREADY_EXISTS;
    for (DWORD dwAttempt = 0; dwAttempt < kScratchAttempts && dwResult == ERROR_ALREADY_EXISTS; ++dwAttempt) {
        if (FAILED(StringCchPrintfW(lpScratch, cchScratch, L"%s\\%s.%08x.%08x.%u", m_szLogDir, kScratchPrefix,
                                    GetCurrentProcessId(), GetTickCount(), dwAttempt))) {
            return TRACE_LEAVE(ERROR_FUNCTION_FAILED);
        }
        dwResult = foldertree::CreateNewProtectedFolder(lpScratch);
    }
    TRACE(1, L"Scratch folder: %s", lpScratch);
    return TRACE_LEAVE(dwResult);
}

DWORD CQuoLog::RecoverFiles(const SYSTEMTIME& stNow)
{
    TRACE_ENTER(1);
    WCHAR szBase[MAX_PATH];
    if (GetBaseFolder(szBase, ARRAYSIZE(szBase), TRUE /* create */) != ERROR_SUCCESS) {
        return TRACE_LEAVE(ERROR_PATH_NOT_FOUND);
    }
    SYSTEMTIME stLast;
    ConvertStrToSystime(m_szLastItemTime, &stLast);
    if (CompareTime(stNow, stLast) > 0) {
        TRACE(1, L"Nothing to recover: the last record (%s) is older.", m_szLastItemTime);
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    m_pTempLog->DiscardBuffer();
    WCHAR szScratch[MAX_PATH];
    DWORD dwResult = MakeScratchFolder(szScratch, ARRAYSIZE(szScratch));
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    dwResult = m_pTotalizeLog->DeleteIllegalYearlyData(m_szLogDir, szScratch, stNow);
    if (dwResult == ERROR_SUCCESS) {
        dwResult = m_pTotalizeLog->DeleteIllegalDailyData(m_szLogDir, szScratch, stNow);
    }
    if (dwResult == ERROR_SUCCESS) {
        dwResult = m_pTempLog->DeleteIllegalLogData(m_szLogDir, szScratch, stNow);
    }
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Recovery failed (code:%u): the backup is moved back.", dwResult);
        CNamedMutexLock fileLock(m_pTempLog->GetFileLock(), nullptr);
        if (!RollBackFile(szScratch, m_szLogDir)) {
            TRACE(0, L"Error in moving the backup back; it stays in %s.", szScratch);
        } else {
            DeleteDir(szScratch);
        }
        return TRACE_LEAVE(dwResult);
    }
    ResetReadPositions(stNow);
    if (!DeleteDir(szScratch)) {
        TRACE(0, L"Error in deleting %s.", szScratch);
        return TRACE_LEAVE(ERROR_WRITE_FAULT);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQuoLog::ResetReadPositions(const SYSTEMTIME& stNow)
{
    TRACE_ENTER(1);
    DWORD dwLines = 0;
    WCHAR szDaily[MAX_PATH];
    WCHAR szRaw[MAX_PATH];
    WCHAR szLast[kTimeTextChars];
    SYSTEMTIME stSlotEnd;
    if (GetLogFullPath(CCSVOperator::LOG_KIND_DAILY, &stNow, szDaily, ARRAYSIZE(szDaily), FALSE)
        && m_pTotalizeLog->ReadLastLine(szDaily, szLast, ARRAYSIZE(szLast), nullptr) == ERROR_SUCCESS
        && ConvertStrToSystime(szLast, &stSlotEnd) && OffsetMinute(&stSlotEnd, 30)
        && GetLogFullPath(CCSVOperator::LOG_KIND_RAW, &stNow, szRaw, ARRAYSIZE(szRaw), FALSE)) {
        WCHAR szSlotEnd[kTimeTextChars];
        FormatLongTime(stSlotEnd, szSlotEnd, ARRAYSIZE(szSlotEnd));
        if (m_pTempLog->GetLineAccordTime(szRaw, szSlotEnd, &dwLines) != ERROR_SUCCESS) {
            dwLines = 0;
        }
    }
    m_pTempLog->SetLastWriteLine(dwLines);
    m_pTempLog->SetLastItemTime(stNow);
    m_pTotalizeLog->SetLastItemTime(stNow);
    FormatLongTime(stNow, m_szLastItemTime, ARRAYSIZE(m_szLastItemTime));
    TRACE(1, L"Read positions: line %u of today; last item %s.", dwLines, m_szLastItemTime);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

BOOL CQuoLog::DeleteDir(LPCWSTR lpDir)
{
    return foldertree::DeleteTree(lpDir) == ERROR_SUCCESS;
}

BOOL CQuoLog::RollBackFile(LPCWSTR lpSourceDir, LPCWSTR lpDestDir)
{
    return foldertree::MergeTreeInto(lpSourceDir, lpDestDir) == ERROR_SUCCESS;
}

BOOL CQuoLog::IsTandoraInstalled(const QuoLogEnvironment& env)
{
    WCHAR szFolder[MAX_PATH];
    if (env.lpProgramFolder != nullptr) {
        if (FAILED(StringCchCopyW(szFolder, ARRAYSIZE(szFolder), env.lpProgramFolder))) {
            return FALSE;
        }
    } else if (!SHGetSpecialFolderPathW(nullptr, szFolder, CSIDL_PROGRAM_FILES, FALSE /* do not create */)) {
        return FALSE;
    }
    WCHAR szPath[MAX_PATH];
    if (FAILED(StringCchPrintfW(szPath, ARRAYSIZE(szPath), L"%s\\%s", szFolder, kTandoraExe))) {
        return FALSE;
    }
    return GetFileAttributesW(szPath) != INVALID_FILE_ATTRIBUTES;
}

DWORD CQuoLog::CopyRegKeyVal(LPCWSTR lpSrcPath, LPCWSTR lpDstPath)
{
    TRACE_ENTER(1);
    if (lpSrcPath == nullptr) {
        return TRACE_NULL_ARGUMENT(lpSrcPath);
    }
    if (lpDstPath == nullptr) {
        return TRACE_NULL_ARGUMENT(lpDstPath);
    }
    TRACE(1, L"SrcRegSubKey:[%s] DstRegSubKey:[%s]", lpSrcPath, lpDstPath);
    CReg src;
    DWORD dwResult = src.OpenKey(lpSrcPath, KEY_READ);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"ERROR::cSrcReg.OpenKey(%s):%lu", lpSrcPath, dwResult);
        return TRACE_LEAVE(dwResult);
    }
    CReg dst;
    dwResult = dst.CreateKey(lpDstPath, KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"ERROR::cDstReg.CreateKey(%s):%lu", lpDstPath, dwResult);
        return TRACE_LEAVE(dwResult);
    }
    for (DWORD dwIndex = 0;; ++dwIndex) {
        WCHAR szName[kRegStringChars];
        DWORD cchName = ARRAYSIZE(szName);
        WCHAR data[kRegStringChars];
        DWORD cbData = sizeof(data) - sizeof(WCHAR);
        DWORD dwType = REG_NONE;
        dwResult = src.EnumValue(dwIndex, szName, &cchName, &dwType, reinterpret_cast<LPBYTE>(data), &cbData);
        if (dwResult == ERROR_MORE_DATA) {
            // Too big for the buffer: a value of a type that is not copied is passed
            // over whatever its size; a longer string is an error.
            cchName = ARRAYSIZE(szName);
            if (src.EnumValue(dwIndex, szName, &cchName, &dwType, nullptr, nullptr) == ERROR_SUCCESS
                && dwType != REG_DWORD && dwType != REG_SZ) {
                continue;
            }
        }
        if (dwResult == ERROR_NO_MORE_ITEMS) {
            TRACE(1, L"cSrcReg.EnumValue():NO_MORE_ITEMS dwRegIndex=%lu", dwIndex);
            return TRACE_LEAVE(ERROR_SUCCESS);
        }
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"ERROR:cSrcReg.EnumValue(dwRegIndex=%lu) code=%lu", dwIndex, dwResult);
            return TRACE_LEAVE(dwResult);
        }
        if (dwType == REG_DWORD && cbData == sizeof(DWORD)) {
            DWORD dwValue = 0;
            CopyMemory(&dwValue, data, sizeof(dwValue));
            dwResult = dst.SetDWORDValue(szName, dwValue);
        } else if (dwType == REG_SZ) {
            data[cbData / sizeof(WCHAR)] = L'\0';
            dwResult = dst.SetStringValue(szName, data, ARRAYSIZE(data));
        }
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"Error in writing %s. code:%lu", szName, dwResult);
            return TRACE_LEAVE(dwResult);
        }
    }
}

DWORD CQuoLog::mQUOLogCopyPksReg(const QuoLogEnvironment& env)
{
    TRACE_ENTER(1);
    if (!IsTandoraInstalled(env)) {
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    TRACE(1, L"TandoraExist");
    DWORD dwResult = ERROR_SUCCESS;
    for (LPCWSTR lpSub : {REGKEY_SUB_PKS_SETTING, REGKEY_SUB_PKS_FORECAST, REGKEY_SUB_PKS_RANDOM}) {
        WCHAR szSrc[MAX_PATH];
        WCHAR szDst[MAX_PATH];
        DWORD dwCopy = ERROR_FUNCTION_FAILED;
        if (SUCCEEDED(StringCchPrintfW(szSrc, ARRAYSIZE(szSrc), L"%s\\%s", env.lpPksSourcePath, lpSub))
            && SUCCEEDED(StringCchPrintfW(szDst, ARRAYSIZE(szDst), L"%s\\%s\\%s", env.lpRegKeyPath,
                                          REGKEY_SUB_TANDORA_COPY, lpSub))) {
            dwCopy = CopyRegKeyVal(szSrc, szDst);
        }
        if (dwCopy != ERROR_SUCCESS) {
            TRACE(0, L"Error:CopyRegKeyVal(%s):code=%lu", szSrc, dwCopy);
            dwResult = ERROR_CANNOT_COPY;
        }
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CQuoLog::DeleteRegKey(LPCWSTR lpParentPath, LPCWSTR lpName)
{
    TRACE_ENTER(1);
    if (lpParentPath == nullptr) {
        return TRACE_NULL_ARGUMENT(lpParentPath);
    }
    if (lpName == nullptr) {
        return TRACE_NULL_ARGUMENT(lpName);
    }
    TRACE(1, L"QUOLOG: DeleteRegKey() [%s\\%s]", lpParentPath, lpName);
    CReg reg;
    DWORD dwResult = reg.OpenKey(lpParentPath, KEY_ALL_ACCESS);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"cReg.OpenKey(%s) Failed. code = %lu", lpParentPath, dwResult);
        return TRACE_LEAVE(dwResult);
    }
    dwResult = reg.DeleteKey(lpName);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error: cReg.DeleteKey(%s) Failed. code = %lu", lpName, dwResult);
    }
    return TRACE_LEAVE(dwResult);
}

void CQuoLog::DeletePksCopies()
{
    TRACE_ENTER(1);
    WCHAR szCopy[MAX_PATH];
    WCHAR szPattern[MAX_PATH];
    if (FAILED(StringCchPrintfW(szCopy, ARRAYSIZE(szCopy), L"%s\\%s", m_Env.lpRegKeyPath, REGKEY_SUB_TANDORA_COPY))
        || FAILED(StringCchPrintfW(szPattern, ARRAYSIZE(szPattern), L"%s\\%s", szCopy, REGKEY_SUB_PKS_PATTERN))) {
        TRACE_LEAVE_ERROR();
        return;
    }
    DeleteRegKey(szCopy, REGKEY_SUB_PKS_SETTING);
    DeleteRegKey(szPattern, L"Forecast");
    DeleteRegKey(szPattern, L"Random");
    DeleteRegKey(szCopy, REGKEY_SUB_PKS_PATTERN);
    DeleteRegKey(m_Env.lpRegKeyPath, REGKEY_SUB_TANDORA_COPY);
    TRACE_LEAVE_VOID();
}
