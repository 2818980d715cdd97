// The commands that the service, the agent and the viewer exchange as payloads of pipe
// messages. Every record starts with its command code and is packed without gaps,
// little-endian; strings are UTF-16 with their terminator inside the field.
#pragma once

#include <windows.h>

#include <cstddef>

#include "PipeRecv.h"

enum : DWORD {
    PIPECMD_NOTIFY_SYSINFO = 1,     // service -> clients: the live sample
    PIPECMD_SWITCH_FUNCTION = 2,    // viewer -> service, service -> clients: measuring on or off
    PIPECMD_ACTIVE_POWERPLAN = 3,   // service -> clients (request), agent -> service (plan name)
    PIPECMD_UPDATE_EXTDSPINFO = 4,  // service -> clients
    PIPECMD_UPDATE_QUOLEVEL = 6,    // service -> clients, agent -> service (Windows XP only)
};

// Characters of a power plan name field, terminator included.
const size_t PIPECMD_POWPLAN_CHARS = 129;

#pragma pack(push, 1)

// Commands that carry nothing but their code (PIPECMD_UPDATE_EXTDSPINFO,
// PIPECMD_UPDATE_QUOLEVEL); also the leading field every record shares.
struct PipeCmd {
    DWORD dwCmd;
};

struct QVPipeCmdNotifySysInfo {
    DWORD dwCmd;                              // PIPECMD_NOTIFY_SYSINFO
    BYTE byQuoLevel;                          // power-saving level 1 to 5, 0 for any other
    WCHAR szPowerPlan[PIPECMD_POWPLAN_CHARS]; // active power plan
    double dWatt;                             // PC and display power in watts
    BYTE byBatteryStatus;                     // 1 AC, 2 battery, 3 charging, 0 for any other
    BYTE byBatteryLifePercent;                // low byte of the battery percentage
};

struct PipeCmdSwitchFunction {
    DWORD dwCmd;       // PIPECMD_SWITCH_FUNCTION
    DWORD dwFunction;  // 1 measuring and recording on, 0 off
};

struct PipeCmdActivePowPlan {
    DWORD dwCmd;                            // PIPECMD_ACTIVE_POWERPLAN
    WCHAR szPowPlan[PIPECMD_POWPLAN_CHARS]; // a plan name; all zero in a request
};

#pragma pack(pop)

static_assert(sizeof(PipeCmd) == 4, "dwCmd-only commands are 4 bytes");
static_assert(sizeof(QVPipeCmdNotifySysInfo) == 273, "PIPECMD_NOTIFY_SYSINFO is 273 bytes");
static_assert(offsetof(QVPipeCmdNotifySysInfo, byQuoLevel) == 4, "byQuoLevel at 4");
static_assert(offsetof(QVPipeCmdNotifySysInfo, szPowerPlan) == 5, "szPowerPlan at 5");
static_assert(offsetof(QVPipeCmdNotifySysInfo, dWatt) == 263, "dWatt at 263, unaligned");
static_assert(offsetof(QVPipeCmdNotifySysInfo, byBatteryStatus) == 271, "byBatteryStatus at 271");
static_assert(offsetof(QVPipeCmdNotifySysInfo, byBatteryLifePercent) == 272, "byBatteryLifePercent at 272");
static_assert(sizeof(PipeCmdSwitchFunction) == 8, "PIPECMD_SWITCH_FUNCTION is 8 bytes");
static_assert(offsetof(PipeCmdSwitchFunction, dwFunction) == 4, "dwFunction at 4");
static_assert(sizeof(PipeCmdActivePowPlan) == 262, "PIPECMD_ACTIVE_POWERPLAN is 262 bytes");
static_assert(offsetof(PipeCmdActivePowPlan, szPowPlan) == 4, "szPowPlan at 4");

// The largest command: no receiver accepts a longer payload.
const DWORD PIPECMD_MAX_SIZE = sizeof(QVPipeCmdNotifySysInfo);
static_assert(sizeof(PipeCmdActivePowPlan) <= PIPECMD_MAX_SIZE && sizeof(PipeCmdSwitchFunction) <= PIPECMD_MAX_SIZE,
              "PIPECMD_MAX_SIZE covers every command");

// Fills *pCmd with the live sample: the level when it is 1 to 5 (else 0), the plan name
// (cut to 128 characters; empty when null), (dwPCWatt + dwMonWatt) / 1000 watts, the
// battery status when it is 1, 2 or 3 (else 0) and the low byte of the percentage.
void BuildNotifySysInfo(QVPipeCmdNotifySysInfo* pCmd, DWORD dwQuoLevel, LPCWSTR lpszPowerPlan, DWORD dwPCWatt,
                        DWORD dwMonWatt, DWORD dwBatteryStatus, DWORD dwBatteryLifePercent);

// The receiving steps of the service and the agent for a PIPEEVENT_RECEIVED: the size
// must hold a command code and at most the largest command; the payload is copied into
// lpBuf (PIPECMD_MAX_SIZE bytes) and its code read. 0 with *lpdwSize and *lpdwCmd set;
// 13 for a size out of bounds, 30 when the payload could not be copied (both traced).
DWORD ReceiveCommand(CPipeRecv* pRecv, const PipeEvent* pEvent, LPBYTE lpBuf, LPDWORD lpdwSize, LPDWORD lpdwCmd);
