#include "ResString.h"

#include <cstdarg>
#include <vector>

#include <strsafe.h>

std::wstring LoadResString(UINT nID)
{
    LPCWSTR lpText = nullptr;
    // With a zero buffer size the string is not copied: the result points into the
    // resource, which is not terminated.
    int cch = LoadStringW(GetModuleHandleW(nullptr), nID, reinterpret_cast<LPWSTR>(&lpText), 0);
    if (cch <= 0 || lpText == nullptr) {
        return std::wstring();
    }
    return std::wstring(lpText, static_cast<size_t>(cch));
}

std::wstring FormatString(size_t cchMax, LPCWSTR lpFormat, ...)
{
    std::vector<WCHAR> buffer(cchMax + 1, L'\0');
    va_list args;
    va_start(args, lpFormat);
    // A result that does not fit is cut and terminated, which is what the callers want.
    StringCchVPrintfW(buffer.data(), buffer.size(), lpFormat, args);
    va_end(args);
    return std::wstring(buffer.data());
}
