// The maker's power-saving level library QuoLevel.dll: the functions the service and the
// agent call, linked by name through the import library made from QuoLevel.def.
// The library itself is not part of the system; this header is its interface.
#pragma once

#include <windows.h>

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Events passed to the registered callback.
#define QUOLEVEL_MONITOR_CHANGE        1  // the external displays changed
#define QUOLEVEL_REQUEST_MONITORUPDATE 2  // the session agents should refresh the displays
#define QUOLEVEL_LEVEL_CHANGE          3  // the power-saving level changed

// Answers of QuoApiGetActiveQuoLevel that are failures rather than levels.
#define QUOLEVEL_ERROR_UNKNOWN_LEVEL   0xF001
#define QUOLEVEL_ERROR_READ_FAULT      0xF002
#define QUOLEVEL_ERROR_NOT_SUPPORTED   0xF003

// Display levels of QuoMonitorEntry that are not one of the ten brightness steps.
#define QUOMONITOR_LEVEL_NONE_1        0xF021
#define QUOMONITOR_LEVEL_NONE_2        0xF022

#define QUOMONITOR_NAME_CHARS          33
#define QUOMONITOR_COUNT               2

// One display: its name, NUL-terminated, and its brightness level (0 to 9, or one of
// the QUOMONITOR_LEVEL_NONE values).
typedef struct QuoMonitorEntry {
    WCHAR szMonitorName[QUOMONITOR_NAME_CHARS];
    DWORD dwLevel;
} QuoMonitorEntry;

// The displays known to the library; an empty first name means no external display.
typedef struct QuoMonitorInfo {
    QuoMonitorEntry Monitor[QUOMONITOR_COUNT];
} QuoMonitorInfo;

#ifdef __cplusplus
#define QUOLEVEL_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define QUOLEVEL_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif
QUOLEVEL_STATIC_ASSERT(sizeof(QuoMonitorEntry) == 72, "QuoMonitorEntry is 72 bytes");
QUOLEVEL_STATIC_ASSERT(offsetof(QuoMonitorEntry, szMonitorName) == 0, "name at +0");
QUOLEVEL_STATIC_ASSERT(offsetof(QuoMonitorEntry, dwLevel) == 68, "level at +68");
QUOLEVEL_STATIC_ASSERT(sizeof(QuoMonitorInfo) == 144, "QuoMonitorInfo is 144 bytes");
QUOLEVEL_STATIC_ASSERT(offsetof(QuoMonitorInfo, Monitor[1]) == 72, "second display at +72");
#undef QUOLEVEL_STATIC_ASSERT

// The callback registered with QuoApiRegisterCallback, called on a thread of the library
// with one of the QUOLEVEL_ events and the context given at registration.
typedef BOOL (WINAPI *QUOLEVEL_CALLBACK)(DWORD dwEvent, LPVOID lParam);

// Starts the library for the service; FALSE when it cannot work.
BOOL WINAPI QuoApiInitializeSrv(void);
// Registers the one callback of the service and its context; FALSE on failure.
BOOL WINAPI QuoApiRegisterCallback(QUOLEVEL_CALLBACK pFunc, LPVOID lParam);
// Stops the library for the service; no callback is called after it returns.
void WINAPI QuoApiFinalizeSrv(void);
// The active power-saving level (1 to 5, 0 unknown) or a QUOLEVEL_ERROR_ value.
DWORD WINAPI QuoApiGetActiveQuoLevel(void);
// Fills a zeroed QuoMonitorInfo; 0 when filled, else an error code.
DWORD WINAPI QuoApiGetCurrentMonitorInfo(QuoMonitorInfo* pInfo);
// Starts and stops following the active power scheme.
BOOL WINAPI QuoApiInitializeWatchActiveScheme(void);
BOOL WINAPI QuoApiFinalizeWatchActiveScheme(void);
// Asked by the session agent: refresh the displays, refresh the level.
BOOL WINAPI QuoApiUpdateMonitorInfo(void);
BOOL WINAPI QuoApiUpdateActiveQuoLevel(void);

#ifdef __cplusplus
}
#endif
