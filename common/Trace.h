// The one way every function of the system traces: each line carries the function's
// own "Class::Method" name and the source line of the statement. The macros only trace;
// every return stays written at the call.
//
//   DWORD CFoo::Bar(LPCWSTR lpName)
//   {
//       TRACE_ENTER(2);                          // "Enter" at level 2
//       if (lpName == nullptr) {
//           return TRACE_NULL_ARGUMENT(lpName);  // "lpName is NULL." and 87
//       }
//       TRACE(0, L"Error in X(). code:%u", dwError);
//       return TRACE_LEAVE(dwResult);            // "Exit retval:..." or "Exit - Error! retval:..."
//   }
#pragma once

#include <windows.h>

#include "Log.h"

// "Class::Method" taken from the compiler's decorated function signature.
class CTraceFunctionName {
public:
    static const size_t kNameChars = 128;

    explicit CTraceFunctionName(const char* lpPrettyFunction);
    LPCWSTR Get() const { return m_szName; }

private:
    WCHAR m_szName[kNameChars];
};

// Traces "Enter" when made and the exit line when the function leaves through it.
class CTraceScope {
public:
    CTraceScope(DWORD dwLevel, LPCWSTR lpFunc, int nLine);
    ~CTraceScope();

    CTraceScope(const CTraceScope&) = delete;
    CTraceScope& operator=(const CTraceScope&) = delete;

    // Traces "Exit retval:%08x" for 0, "Exit - Error! retval:%08x" otherwise; returns dwResult.
    DWORD Leave(DWORD dwResult, int nLine);
    // Traces "Exit retval:%08x" whatever the value: for results that are not error codes.
    DWORD LeaveValue(DWORD dwValue, int nLine);
    // Traces "Exit".
    void LeaveVoid(int nLine);
    // Traces "Exit - Error!" for a function without result that gives up.
    void LeaveError(int nLine);

private:
    DWORD m_dwLevel;
    LPCWSTR m_lpFunc;
    int m_nLine;
    bool m_bLeft;
};

#define TRACE_FUNCTION() static const CTraceFunctionName quo_trace_func_(__PRETTY_FUNCTION__)
#define TRACE_FUNC_NAME() (quo_trace_func_.Get())

#define TRACE_ENTER(level) \
    TRACE_FUNCTION();      \
    CTraceScope quo_trace_scope_((level), TRACE_FUNC_NAME(), __LINE__)

#define TRACE(level, ...) g_Log.Trace((level), TRACE_FUNC_NAME(), __LINE__, __VA_ARGS__)

// The exit line of the function, traced where it returns; the first two give the value
// to return: `return TRACE_LEAVE(dwResult);`, `TRACE_LEAVE_VOID(); return;`. A function
// that ends without one traces "Exit" at its end.
#define TRACE_LEAVE(result) quo_trace_scope_.Leave((result), __LINE__)
#define TRACE_LEAVE_VALUE(value) quo_trace_scope_.LeaveValue((value), __LINE__)
#define TRACE_LEAVE_VOID() quo_trace_scope_.LeaveVoid(__LINE__)
#define TRACE_LEAVE_ERROR() quo_trace_scope_.LeaveError(__LINE__)

// An object used before it was initialised: "Not initialized." at level 0 and the exit
// line; gives 21.
#define TRACE_NOT_READY() (TRACE(0, L"Not initialized."), TRACE_LEAVE(ERROR_NOT_READY))

// A null pointer argument: "<name> is NULL." at level 0 and the exit line; gives 87.
#define TRACE_NULL_ARGUMENT(param) (TRACE(0, L"%s is NULL.", L"" #param), TRACE_LEAVE(ERROR_INVALID_PARAMETER))

// The same for a function without result: "<name> is NULL.", then "Exit - Error!".
#define TRACE_NULL_ARGUMENT_VOID(param) (TRACE(0, L"%s is NULL.", L"" #param), TRACE_LEAVE_ERROR())
