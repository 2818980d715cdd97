#include "TotalizeLog.h"

#include <algorithm>
#include <string>
#include <vector>

#include <strsafe.h>

#include "FolderTree.h"
#include "QuoLogCore.h"
#include "Reg.h"
#include "ScopedHandle.h"
#include "Trace.h"

namespace {

bool IsYearFolderName(LPCWSTR lpName)
{
    if (wcslen(lpName) != 4) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        if (lpName[i] < L'0' || lpName[i] > L'9') {
            return false;
        }
    }
    return true;
}

}  // namespace

CTotalizeLog::CTotalizeLog(CQuoLog& owner) : m_Owner(owner), m_szLastItemTime() {}

CTotalizeLog::~CTotalizeLog()
{
    Finalize();
}

DWORD CTotalizeLog::Initialize(DWORD dwMode)
{
    TRACE_ENTER(2);
    const QuoLogEnvironment& env = m_Owner.GetEnvironment();
    if (dwMode == QUOLOG_MODE_WRITER) {
        CReg reg;
        WCHAR szDay[ARRAYSIZE(m_szLastItemTime)] = L"";
        DWORD cchDay = ARRAYSIZE(szDay);
        SYSTEMTIME stDay;
        if (reg.OpenKey(env.lpRegKeyPath, KEY_READ) == ERROR_SUCCESS
            && reg.QueryStringValue(REGENTRY_LASTWRITEDAY2, szDay, &cchDay) == ERROR_SUCCESS
            && CQuoLog::ConvertStrToDate(szDay, &stDay)) {
            CQuoLog::FormatDate(stDay, m_szLastItemTime, ARRAYSIZE(m_szLastItemTime));
        } else {
            GetLocalTime(&stDay);
            SetLastItemTime(stDay);
        }
        TRACE(2, L"LastWriteDay2:%s", m_szLastItemTime);
    }
    TRACE_RETURN(InitializeCSV(env.lpLockName, env.lpRecovery));
}

void CTotalizeLog::Finalize()
{
    FinalizeCSV();
}

DWORD CTotalizeLog::SetLastItemTime(const SYSTEMTIME& stDay)
{
    TRACE_ENTER(2);
    CQuoLog::FormatDate(stDay, m_szLastItemTime, ARRAYSIZE(m_szLastItemTime));
    CReg reg;
    DWORD dwResult = reg.CreateKey(m_Owner.GetEnvironment().lpRegKeyPath, KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (dwResult == ERROR_SUCCESS) {
        dwResult = reg.SetStringValue(REGENTRY_LASTWRITEDAY2, m_szLastItemTime, ARRAYSIZE(m_szLastItemTime));
    }
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in writing %s. code:%u", REGENTRY_LASTWRITEDAY2, dwResult);
    }
    TRACE_RETURN(dwResult);
}

DWORD CTotalizeLog::TotalizeQuoLogOne(const SYSTEMTIME& stNow, HANDLE hAbort)
{
    TRACE_ENTER(1);
    (void)stNow;
    (void)hAbort;
    TRACE(0, L"Totalization into the daily logs is not built yet: nothing was totalized.");
    TRACE_RETURN(ERROR_CALL_NOT_IMPLEMENTED);
}

DWORD CTotalizeLog::TotalizeQuoLogTwo(const SYSTEMTIME& stNow, HANDLE hAbort)
{
    TRACE_ENTER(1);
    (void)stNow;
    (void)hAbort;
    TRACE(0, L"Totalization into the yearly logs is not built yet: nothing was folded.");
    TRACE_RETURN(ERROR_CALL_NOT_IMPLEMENTED);
}

DWORD CTotalizeLog::GetPksBattChrgPrvntInfo()
{
    TRACE_ENTER(1);
    TRACE(0, L"QUOLOG:PKS_REG: reading the peak-shift settings is not built yet.");
    TRACE_RETURN(ERROR_CALL_NOT_IMPLEMENTED);
}

BOOL CTotalizeLog::CopyLogDir(LPCWSTR lpSource, LPCWSTR lpDestParent)
{
    return foldertree::CopyTree(lpSource, lpDestParent) == ERROR_SUCCESS;
}

DWORD CTotalizeLog::DeleteIllegalYearlyData(LPCWSTR lpLogDir, LPCWSTR lpBackupDir, const SYSTEMTIME& stStart)
{
    TRACE_ENTER(2);
    TRACE_RETURN(RepeatDeleteFile(lpLogDir, lpBackupDir, stStart, LOG_KIND_YEARLY));
}

DWORD CTotalizeLog::DeleteIllegalDailyData(LPCWSTR lpLogDir, LPCWSTR lpBackupDir, const SYSTEMTIME& stStart)
{
    TRACE_ENTER(2);
    TRACE_CHECK_NULL(lpLogDir);
    TRACE_CHECK_NULL(lpBackupDir);
    WCHAR szStartYear[8];
    StringCchPrintfW(szStartYear, ARRAYSIZE(szStartYear), L"%04u", stStart.wYear);
    WCHAR szPattern[MAX_PATH];
    if (FAILED(StringCchPrintfW(szPattern, ARRAYSIZE(szPattern), L"%s\\????", lpLogDir))) {
        TRACE_RETURN(ERROR_INVALID_PARAMETER);
    }
    std::vector<std::wstring> later;
    {
        WIN32_FIND_DATAW fd;
        CScopedFindHandle find(FindFirstFileW(szPattern, &fd));
        if (find.IsValid()) {
            do {
                if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                    && (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && IsYearFolderName(fd.cFileName)
                    && wcscmp(fd.cFileName, szStartYear) > 0) {
                    later.emplace_back(fd.cFileName);
                }
            } while (FindNextFileW(find.Get(), &fd));
        }
    }
    std::sort(later.begin(), later.end());
    for (const std::wstring& year : later) {
        WCHAR szYearDir[MAX_PATH];
        StringCchPrintfW(szYearDir, ARRAYSIZE(szYearDir), L"%s\\%s", lpLogDir, year.c_str());
        CFileLockScope lock(m_FileLock, nullptr);
        if (lock.Result() != ERROR_SUCCESS) {
            TRACE_RETURN(lock.Result());
        }
        if (!CopyLogDir(szYearDir, lpBackupDir)) {
            TRACE(0, L"CopyDailyFile Failed name is %s.Error: 0x%x.", szYearDir, GetLastError());
            TRACE_RETURN(ERROR_WRITE_FAULT);
        }
        if (!CQuoLog::DeleteDir(szYearDir)) {
            TRACE(0, L"DeleteIllegalDailyData Failed name is %s.Error: 0x%x.", szYearDir, GetLastError());
            TRACE_RETURN(ERROR_WRITE_FAULT);
        }
    }
    WCHAR szYearDir[MAX_PATH];
    WCHAR szBackupYearDir[MAX_PATH];
    if (FAILED(StringCchPrintfW(szYearDir, ARRAYSIZE(szYearDir), L"%s\\%s", lpLogDir, szStartYear))
        || FAILED(StringCchPrintfW(szBackupYearDir, ARRAYSIZE(szBackupYearDir), L"%s\\%s", lpBackupDir, szStartYear))) {
        TRACE_RETURN(ERROR_INVALID_PARAMETER);
    }
    DWORD dwAttributes = GetFileAttributesW(szYearDir);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES || (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        TRACE_RETURN(ERROR_SUCCESS);
    }
    if ((dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        TRACE(0, L"Refused: %s is a link.", szYearDir);
        TRACE_RETURN(foldertree::kErrorLinkRefused);
    }
    TRACE_RETURN(RepeatDeleteFile(szYearDir, szBackupYearDir, stStart, LOG_KIND_DAILY));
}
