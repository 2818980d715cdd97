#include "WineDifferences.h"

namespace winediff {

bool RunningOnWine()
{
    HMODULE hNtdll = GetModuleHandleW(L"ntdll.dll");
    return hNtdll != nullptr && GetProcAddress(hNtdll, "wine_get_version") != nullptr;
}

}  // namespace winediff
