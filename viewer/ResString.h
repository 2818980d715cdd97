// Strings of the module's string table.
#pragma once
#include <windows.h>

#include <string>

// The string nID of the program's string table; empty when there is none (the last
// error then tells why).
std::wstring LoadResString(UINT nID);

// printf-style formatting into a string of at most cchMax characters (cut to fit).
std::wstring FormatString(size_t cchMax, LPCWSTR lpFormat, ...);
