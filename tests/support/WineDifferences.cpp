#include "WineDifferences.h"

namespace winediff {

bool RunningOnWine()
{
    HMODULE hNtdll = GetModuleHandleW(L"ntdll.dll");
    return hNtdll != nullptr && GetProcAddress(hNtdll, "wine_get_version") != nullptr;
}

DWORD PostToEndedThreadError()
{
    return RunningOnWine() ? ERROR_INVALID_PARAMETER : ERROR_INVALID_THREAD_ID;
}

bool KeepsFileSecurityDescriptors()
{
    return !RunningOnWine();
}

DWORD DelayedAutoStartConfigError()
{
    return RunningOnWine() ? ERROR_INVALID_LEVEL : ERROR_SUCCESS;
}

DWORD TransientCreateProcessError()
{
    return RunningOnWine() ? ERROR_INTERNAL_ERROR : 0;
}

bool FileSymlinksAreReparsePoints()
{
    return !RunningOnWine();
}

UINT HelpTitleCodePage(UINT uFileCodePage)
{
    return RunningOnWine() ? GetACP() : uFileCodePage;
}

}  // namespace winediff
