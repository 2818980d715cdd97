// The six exports of QUOLog.dll, the data all processes that load it share, and the
// process's one instance.
#include <memory>
#include <new>

#include "QuoLog.h"
#include "QuoLogCore.h"
#include "QuoLogEnv.h"
#include "Trace.h"
#include "VistaFunctions.h"

// Shared by every process that loads the library: the section is mapped shared, so a
// second writer in another process sees the first one's flag.
volatile LONG g_bRecovery __attribute__((section(".quoshr"), shared)) = 0;
volatile LONG g_bWriter __attribute__((section(".quoshr"), shared)) = 0;
volatile LONG g_lRefCounter __attribute__((section(".quoshr"), shared)) = 0;

// This process's instance.
CQuoLog* g_pQuoLog = nullptr;
HINSTANCE g_hModule = nullptr;

namespace {

// Initialize and Finalize take it exclusively, the other exports shared: an instance
// is never destroyed while another thread of the process is inside it. The instance's
// own lock serialises the shared users. On Windows XP the shared users take turns too.
CReadWriteLock g_InstanceLock;

class CInstanceScope {
public:
    explicit CInstanceScope(bool bExclusive) : m_bExclusive(bExclusive)
    {
        if (m_bExclusive) {
            g_InstanceLock.AcquireExclusive();
        } else {
            g_InstanceLock.AcquireShared();
        }
    }
    ~CInstanceScope()
    {
        if (m_bExclusive) {
            g_InstanceLock.ReleaseExclusive();
        } else {
            g_InstanceLock.ReleaseShared();
        }
    }
    CInstanceScope(const CInstanceScope&) = delete;
    CInstanceScope& operator=(const CInstanceScope&) = delete;

private:
    bool m_bExclusive;
};

QuoLogEnvironment ProductEnvironment()
{
    QuoLogEnvironment env = {};
    env.lpRegKeyPath = REGKEY_PATH_QUOLOG;
    env.lpPksSourcePath = REGKEY_PATH_TANDORA_SOURCE;
    env.lpLockName = QUOLOG_FILE_LOCK_NAME;
    env.lpRecovery = &g_bRecovery;
    env.lpWriter = &g_bWriter;
    env.bRunWorker = TRUE;
    env.lpViewerKeyPath = REGKEY_PATH_QUOVIEWER;
    env.hStringModule = g_hModule;
    env.lpWriterMarkName = QUOLOG_WRITER_MARK_NAME;
    return env;
}

// Runs an export's body; no exception leaves the library.
template <typename Body>
DWORD Guarded(Body body)
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_INTERNAL_ERROR;
    }
}

}  // namespace

extern "C" DWORD WINAPI QUOLogInitialize(DWORD dwMode, DWORD dwInterval, DWORD bDelayWrite, DWORD dwDelayTime)
{
    TRACE_ENTER(1);
    if (dwInterval == 0) {
        TRACE(0, L"Invalid dwInterval: %u.", dwInterval);
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    if (bDelayWrite != 0 && dwDelayTime == 0) {
        TRACE(0, L"Invalid dwDelayTime: %u.", dwDelayTime);
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    CInstanceScope scope(true);
    if (g_pQuoLog != nullptr) {
        TRACE(0, L"Already initialized.");
        return TRACE_LEAVE(ERROR_ALREADY_INITIALIZED);
    }
    DWORD dwResult = Guarded([&]() -> DWORD {
        // Destroyed, its writer role given back, on every path that does not keep it.
        std::unique_ptr<CQuoLog> pQuoLog(new (std::nothrow) CQuoLog(ProductEnvironment()));
        if (pQuoLog == nullptr) {
            TRACE(0, L"QUOLOG: Cannot Allocate g_QuoLog!");
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        DWORD dwInit = pQuoLog->mQUOLogInitialize(dwMode, dwInterval, bDelayWrite, dwDelayTime);
        if (dwInit == ERROR_SUCCESS) {
            g_pQuoLog = pQuoLog.release();
        }
        return dwInit;
    });
    if (dwResult == ERROR_SUCCESS) {
        LONG lCount = InterlockedIncrement(&g_lRefCounter);
        TRACE(0, L"QUOLOG: g_lRefCounter: %d.", lCount);
    }
    return TRACE_LEAVE(dwResult);
}

extern "C" DWORD WINAPI QUOLogWrite(const QuoLogData* pQuoLog)
{
    TRACE_ENTER(1);
    CInstanceScope scope(false);
    if (g_pQuoLog == nullptr) {
        TRACE(0, L"%s is NULL.", L"g_pQuoLog");
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    if (pQuoLog == nullptr) {
        return TRACE_NULL_ARGUMENT(pQuoLog);
    }
    if (g_bRecovery != 0) {
        return TRACE_LEAVE(ERROR_BUSY);
    }
    return TRACE_LEAVE(Guarded([&]() { return g_pQuoLog->Write(pQuoLog); }));
}

extern "C" DWORD WINAPI QUOLogRead(DWORD dwKind, const SYSTEMTIME* lpTime, QuoLogRead* pQuoLog, DWORD dwCount,
                                   QuoLogRead* pStatistics)
{
    TRACE_ENTER(1);
    CInstanceScope scope(false);
    if (g_pQuoLog == nullptr) {
        TRACE(0, L"%s is NULL.", L"g_pQuoLog");
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    if (lpTime == nullptr) {
        return TRACE_NULL_ARGUMENT(lpTime);
    }
    if (pQuoLog == nullptr) {
        return TRACE_NULL_ARGUMENT(pQuoLog);
    }
    if (pStatistics == nullptr) {
        return TRACE_NULL_ARGUMENT(pStatistics);
    }
    if (g_bRecovery != 0) {
        return TRACE_LEAVE(ERROR_BUSY);
    }
    return TRACE_LEAVE(Guarded([&]() { return g_pQuoLog->Read(dwKind, lpTime, pQuoLog, dwCount, pStatistics); }));
}

extern "C" void WINAPI QUOLogFinalize(void)
{
    TRACE_ENTER(1);
    CInstanceScope scope(true);
    if (g_pQuoLog == nullptr) {
        TRACE(0, L"%s is NULL.", L"g_pQuoLog");
        TRACE_LEAVE_VOID();
        return;
    }
    Guarded([]() {
        g_pQuoLog->Finalize();
        return ERROR_SUCCESS;
    });
    delete g_pQuoLog;
    g_pQuoLog = nullptr;
    LONG lCount = InterlockedDecrement(&g_lRefCounter);
    TRACE(0, L"QUOLOG: g_lRefCounter: %d.", lCount);
    TRACE_LEAVE_VOID();
}

extern "C" DWORD WINAPI QUOLogRecovery(void)
{
    TRACE_ENTER(1);
    CInstanceScope scope(false);
    if (g_pQuoLog == nullptr) {
        TRACE(0, L"%s is NULL.", L"g_pQuoLog");
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    return TRACE_LEAVE(Guarded([]() { return g_pQuoLog->Recovery(); }));
}

extern "C" DWORD WINAPI QUOLogCopyPksReg(void)
{
    TRACE_ENTER(1);
    return TRACE_LEAVE(Guarded([]() { return CQuoLog::mQUOLogCopyPksReg(ProductEnvironment()); }));
}

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved)
{
    switch (dwReason) {
    case DLL_PROCESS_ATTACH:
        g_hModule = hInstance;
        g_Log.Initialize(REGKEY_PATH_QUOLOG_DBGLOG);
        break;
    case DLL_PROCESS_DETACH:
        if (lpReserved == nullptr && g_pQuoLog != nullptr) {
            TRACE_FUNCTION();
            TRACE(0, L"Unloaded without QUOLogFinalize: the instance is left as it is.");
        }
        g_Log.Finalize();
        break;
    default:
        break;
    }
    return TRUE;
}
