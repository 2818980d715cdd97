// The viewer's root configuration: the logging state, the Windows version, whether the
// PC has a battery and which product line it is. The application builds it once; every
// dialog and pane holds a copy.
#pragma once
#include <windows.h>

#include "WinVer.h"

// Product lines ("CnrFlag").
enum : DWORD {
    CNR_CONSUMER = 1,
    CNR_COMMERCIAL = 2,
};

// Windows versions of dwOSVersion.
enum : DWORD {
    QV_OS_OTHER = 0,  // newer, or not recognised
    QV_OS_XP = 1,     // the Windows XP family (5.1 and the 64-bit 5.2)
    QV_OS_VISTA = 2,
    QV_OS_7 = 3,
};

// dwPCType.
enum : DWORD {
    QV_PC_WITHOUT_BATTERY = 0,
    QV_PC_WITH_BATTERY = 1,
};

struct QVRootConfig {
    DWORD dwLoggingState;  // 1 the service measures and records, 0 stopped
    DWORD dwOSVersion;     // QV_OS_*
    DWORD dwPCType;        // QV_PC_*
    DWORD cnrType;         // CNR_CONSUMER, CNR_COMMERCIAL; 0 before the registry is read
};

// The product key of the viewer's settings below HKEY_LOCAL_MACHINE.
extern const WCHAR REGKEY_PATH_QUOVIEWER[];
extern const WCHAR REGKEY_PATH_DBGLOG[];
extern const WCHAR REGENTRY_CNRFLAG[];
extern const WCHAR REGENTRY_FUNCTION[];

// The configuration as constructed: logging on, everything else 0.
QVRootConfig MakeQVRootConfig();

// Reads "CnrFlag" below lpKeyPath into cnrType: 1 gives CNR_CONSUMER, any other value,
// a missing value or one that is no 4-byte DWORD gives CNR_COMMERCIAL. The key's open
// error (leaving *pConfig untouched), else 0.
DWORD ReadRegCnrType(LPCWSTR lpKeyPath, QVRootConfig* pConfig);

// ReadRegCnrType, then "Function" into dwLoggingState (1 when missing or unreadable).
// The key's open error; else the result of reading "Function".
DWORD ReadRegRootConfig(LPCWSTR lpKeyPath, QVRootConfig* pConfig);

// dwOSVersion from the running Windows compared with Vista (6.0) and 7 (6.1): older
// than Vista is the XP family (major version 5), then Vista, 7, and QV_OS_OTHER.
DWORD OSVersionFromRelations(DWORD dwRelationToVista, DWORD dwRelationToWin7);
DWORD DetectOSVersion(CWinVer* pWinVer);

// The string id of the product name: "タロメ" for consumer models, "ヌボラ" otherwise.
UINT ProductNameStringId(DWORD cnrType);
