// An idle program built as the service is (the same compiler, flags and runtime): the
// baseline of tools/bench-service.sh for the service's working set. It waits for the
// given number of seconds, then ends.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    const unsigned long ulSeconds = (argc == 2) ? std::wcstoul(argv[1], nullptr, 10) : 60;
    Sleep(ulSeconds * 1000);
    return 0;
}
