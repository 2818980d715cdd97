#include "FolderTree.h"

#include <sddl.h>
#include <strsafe.h>

#include "ScopedHandle.h"
#include "Trace.h"

namespace foldertree {

const WCHAR kFolderSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";

namespace {

bool IsDotEntry(LPCWSTR lpName)
{
    return wcscmp(lpName, L".") == 0 || wcscmp(lpName, L"..") == 0;
}

DWORD JoinPath(LPWSTR szOut, size_t cchOut, LPCWSTR lpFolder, LPCWSTR lpName)
{
    return SUCCEEDED(StringCchPrintfW(szOut, cchOut, L"%s\\%s", lpFolder, lpName)) ? ERROR_SUCCESS
                                                                                   : ERROR_FUNCTION_FAILED;
}

// Keeps the first error of a series of steps that all run.
void KeepFirst(DWORD& dwFirst, DWORD dwResult)
{
    if (dwFirst == ERROR_SUCCESS) {
        dwFirst = dwResult;
    }
}

}  // namespace

bool IsReparsePoint(LPCWSTR lpPath)
{
    DWORD dwAttributes = GetFileAttributesW(lpPath);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

namespace {

DWORD CreateFolderWithDescriptor(LPCWSTR lpPath, bool bAcceptExisting)
{
    TRACE_ENTER(2);
    if (lpPath == nullptr) {
        return TRACE_NULL_ARGUMENT(lpPath);
    }
    PSECURITY_DESCRIPTOR pSd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kFolderSddl, SDDL_REVISION_1, &pSd, nullptr)) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in ConvertStringSecurityDescriptorToSecurityDescriptor(). code:%u", dwError);
        return TRACE_LEAVE(dwError);
    }
    CScopedLocalMem sd(pSd);
    SECURITY_ATTRIBUTES sa = {sizeof(sa), pSd, FALSE};
    if (CreateDirectoryW(lpPath, &sa)) {
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    DWORD dwError = GetLastError();
    if (dwError != ERROR_ALREADY_EXISTS || !bAcceptExisting) {
        TRACE(0, L"Error in CreateDirectory(%s). code:%u", lpPath, dwError);
        return TRACE_LEAVE(dwError);
    }
    DWORD dwAttributes = GetFileAttributesW(lpPath);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES || (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0
        || (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        TRACE(0, L"Refused: %s is a link or no folder. attributes:%08x", lpPath, dwAttributes);
        return TRACE_LEAVE(kErrorLinkRefused);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

}  // namespace

DWORD CreateProtectedFolder(LPCWSTR lpPath)
{
    return CreateFolderWithDescriptor(lpPath, true);
}

DWORD CreateNewProtectedFolder(LPCWSTR lpPath)
{
    return CreateFolderWithDescriptor(lpPath, false);
}

DWORD CheckPlainFile(LPCWSTR lpPath)
{
    DWORD dwAttributes = GetFileAttributesW(lpPath);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES) {
        DWORD dwError = GetLastError();
        return (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND) ? ERROR_SUCCESS : dwError;
    }
    if ((dwAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        return kErrorLinkRefused;
    }
    return ERROR_SUCCESS;
}

DWORD CopyTree(LPCWSTR lpSource, LPCWSTR lpDestParent)
{
    TRACE_ENTER(2);
    if (lpSource == nullptr) {
        return TRACE_NULL_ARGUMENT(lpSource);
    }
    if (lpDestParent == nullptr) {
        return TRACE_NULL_ARGUMENT(lpDestParent);
    }
    LPCWSTR lpName = wcsrchr(lpSource, L'\\');
    lpName = (lpName != nullptr) ? lpName + 1 : lpSource;
    WCHAR szDest[MAX_PATH];
    WCHAR szPattern[MAX_PATH];
    if (JoinPath(szDest, ARRAYSIZE(szDest), lpDestParent, lpName) != ERROR_SUCCESS
        || JoinPath(szPattern, ARRAYSIZE(szPattern), lpSource, L"*") != ERROR_SUCCESS) {
        return TRACE_LEAVE(ERROR_FUNCTION_FAILED);
    }
    DWORD dwResult = CreateProtectedFolder(szDest);
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    WIN32_FIND_DATAW fd;
    CScopedFindHandle find(FindFirstFileW(szPattern, &fd));
    if (!find.IsValid()) {
        DWORD dwError = GetLastError();
        return TRACE_LEAVE(dwError == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : dwError);
    }
    do {
        if (IsDotEntry(fd.cFileName) || (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            continue;
        }
        WCHAR szChild[MAX_PATH];
        if (JoinPath(szChild, ARRAYSIZE(szChild), lpSource, fd.cFileName) != ERROR_SUCCESS) {
            KeepFirst(dwResult, ERROR_FUNCTION_FAILED);
            continue;
        }
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            KeepFirst(dwResult, CopyTree(szChild, szDest));
            continue;
        }
        WCHAR szTarget[MAX_PATH];
        if (JoinPath(szTarget, ARRAYSIZE(szTarget), szDest, fd.cFileName) != ERROR_SUCCESS) {
            KeepFirst(dwResult, ERROR_FUNCTION_FAILED);
        } else if (!CopyFileW(szChild, szTarget, FALSE /* replace */)) {
            DWORD dwError = GetLastError();
            TRACE(0, L"Error in CopyFile(%s). code:%u", szChild, dwError);
            KeepFirst(dwResult, dwError);
        }
    } while (FindNextFileW(find.Get(), &fd));
    return TRACE_LEAVE(dwResult);
}

DWORD MergeTreeInto(LPCWSTR lpSource, LPCWSTR lpDest)
{
    TRACE_ENTER(2);
    if (lpSource == nullptr) {
        return TRACE_NULL_ARGUMENT(lpSource);
    }
    if (lpDest == nullptr) {
        return TRACE_NULL_ARGUMENT(lpDest);
    }
    DWORD dwResult = CreateProtectedFolder(lpDest);
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    WCHAR szPattern[MAX_PATH];
    if (JoinPath(szPattern, ARRAYSIZE(szPattern), lpSource, L"*") != ERROR_SUCCESS) {
        return TRACE_LEAVE(ERROR_FUNCTION_FAILED);
    }
    WIN32_FIND_DATAW fd;
    CScopedFindHandle find(FindFirstFileW(szPattern, &fd));
    if (!find.IsValid()) {
        DWORD dwError = GetLastError();
        return TRACE_LEAVE(dwError == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : dwError);
    }
    do {
        if (IsDotEntry(fd.cFileName) || (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            continue;
        }
        WCHAR szChild[MAX_PATH];
        WCHAR szTarget[MAX_PATH];
        if (JoinPath(szChild, ARRAYSIZE(szChild), lpSource, fd.cFileName) != ERROR_SUCCESS
            || JoinPath(szTarget, ARRAYSIZE(szTarget), lpDest, fd.cFileName) != ERROR_SUCCESS) {
            KeepFirst(dwResult, ERROR_FUNCTION_FAILED);
            continue;
        }
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            DWORD dwMerge = MergeTreeInto(szChild, szTarget);
            KeepFirst(dwResult, dwMerge);
            if (dwMerge == ERROR_SUCCESS) {
                RemoveDirectoryW(szChild);
            }
        } else if (!MoveFileExW(szChild, szTarget, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
            DWORD dwError = GetLastError();
            TRACE(0, L"Error in MoveFileEx(%s). code:%u", szChild, dwError);
            KeepFirst(dwResult, dwError);
        }
    } while (FindNextFileW(find.Get(), &fd));
    return TRACE_LEAVE(dwResult);
}

DWORD DeleteTree(LPCWSTR lpPath)
{
    TRACE_ENTER(2);
    if (lpPath == nullptr) {
        return TRACE_NULL_ARGUMENT(lpPath);
    }
    DWORD dwAttributes = GetFileAttributesW(lpPath);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES) {
        DWORD dwError = GetLastError();
        return TRACE_LEAVE((dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND) ? ERROR_SUCCESS : dwError);
    }
    bool bFolder = (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    DWORD dwResult = ERROR_SUCCESS;
    if (bFolder && (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        WCHAR szPattern[MAX_PATH];
        if (JoinPath(szPattern, ARRAYSIZE(szPattern), lpPath, L"*") != ERROR_SUCCESS) {
            return TRACE_LEAVE(ERROR_FUNCTION_FAILED);
        }
        WIN32_FIND_DATAW fd;
        CScopedFindHandle find(FindFirstFileW(szPattern, &fd));
        if (find.IsValid()) {
            do {
                if (IsDotEntry(fd.cFileName)) {
                    continue;
                }
                WCHAR szChild[MAX_PATH];
                if (JoinPath(szChild, ARRAYSIZE(szChild), lpPath, fd.cFileName) != ERROR_SUCCESS) {
                    KeepFirst(dwResult, ERROR_FUNCTION_FAILED);
                    continue;
                }
                KeepFirst(dwResult, DeleteTree(szChild));
            } while (FindNextFileW(find.Get(), &fd));
        }
    }
    if ((dwAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesW(lpPath, dwAttributes & ~FILE_ATTRIBUTE_READONLY);
    }
    if (!(bFolder ? RemoveDirectoryW(lpPath) : DeleteFileW(lpPath))) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in deleting %s. code:%u", lpPath, dwError);
        KeepFirst(dwResult, dwError);
    }
    return TRACE_LEAVE(dwResult);
}

}  // namespace foldertree
