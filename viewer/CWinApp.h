// The application object: one per process, it holds the module's instance handle and
// runs the program's whole life in InitInstance.
#pragma once
#include <windows.h>

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Stores the instance handle and runs InitInstance; the process's exit code.
    int Run(HINSTANCE hInstance);

    // The instance handle of the program (the module of the running executable before
    // Run).
    static HINSTANCE GetInstanceHandle();

protected:
    // The program's life; its result becomes the exit code (FALSE: 0).
    virtual BOOL InitInstance() = 0;
};
