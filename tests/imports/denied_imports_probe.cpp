// A program that imports three denied functions (of Windows 8, of Vista and a power
// function), so that the import check can be seen to fail on it. It is never run.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0602
#include <windows.h>

#include <powrprof.h>

int main()
{
    FILETIME ft;
    GetSystemTimePreciseAsFileTime(&ft);
    GetTickCount64();
    GUID* pScheme = nullptr;
    PowerGetActiveScheme(nullptr, &pScheme);
    return 0;
}
