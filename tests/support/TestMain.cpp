// Entry point of every test executable: runs GoogleTest, or a child role when started
// as `exe --child NAME args...`.
#include <cstdio>

#include <gtest/gtest.h>

#include "TestSupport.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc >= 3 && std::wstring(argv[1]) == L"--child") {
        std::vector<std::wstring> args(argv + 3, argv + argc);
        int nResult = RunRegisteredChild(argv[2], args);
        if (nResult == -1) {
            fwprintf(stderr, L"unknown child role %ls\n", argv[2]);
        }
        return nResult;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
