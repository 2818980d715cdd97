// An idle program built as the service is (the same compiler, flags and runtime): the
// baseline of tools/bench-service.sh for the service's working set.
//
//   idle_program.exe [SECONDS [THREADS [DLL ...]]]
//
// It loads the DLLs named, starts THREADS more threads that wait, waits SECONDS
// (default 60) and ends. Under Wine every thread's stack costs about a megabyte of
// working set, and a DLL that needs the window system brings in the font libraries, so
// the baselines that explain the service's figure have its threads and its DLLs.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

DWORD WINAPI WaitForever(LPVOID)
{
    Sleep(INFINITE);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const unsigned long ulSeconds = (argc >= 2) ? std::wcstoul(argv[1], nullptr, 10) : 60;
    const unsigned long ulThreads = (argc >= 3) ? std::wcstoul(argv[2], nullptr, 10) : 0;
    for (int i = 3; i < argc; ++i) {
        if (LoadLibraryW(argv[i]) == nullptr) {
            std::fwprintf(stderr, L"idle_program: cannot load %ls (%lu)\n", argv[i], GetLastError());
            return 1;
        }
    }
    for (unsigned long i = 0; i < ulThreads && i < 64; ++i) {
        HANDLE hThread = CreateThread(nullptr, 0, WaitForever, nullptr, 0, nullptr);
        if (hThread != nullptr) {
            CloseHandle(hThread);
        }
    }
    Sleep(ulSeconds * 1000);
    return 0;
}
