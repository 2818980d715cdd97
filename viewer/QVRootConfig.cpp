#include "QVRootConfig.h"

#include "Reg.h"
#include "Trace.h"
#include "resource.h"

const WCHAR REGKEY_PATH_QUOVIEWER[] = L"Software\\ZAV\\QUOViewer";
const WCHAR REGKEY_PATH_DBGLOG[] = L"Software\\ZAV\\QUOViewer\\DbgLog";
const WCHAR REGENTRY_CNRFLAG[] = L"CnrFlag";
const WCHAR REGENTRY_FUNCTION[] = L"Function";

QVRootConfig MakeQVRootConfig()
{
    QVRootConfig config = {};
    config.dwLoggingState = 1;
    return config;
}

namespace {

// Opens the product key for reading; its error, traced.
DWORD OpenProductKey(CReg* pReg, LPCWSTR lpKeyPath)
{
    TRACE_FUNCTION();
    DWORD dwResult = pReg->OpenKey(lpKeyPath, KEY_READ);
    if (dwResult != 0) {
        TRACE(0, L"Fail to OpenKey(). dwRet: %08x.", dwResult);
    }
    return dwResult;
}

void ReadCnrType(CReg* pReg, QVRootConfig* pConfig)
{
    pConfig->cnrType = CNR_COMMERCIAL;
    DWORD dwValue = 0;
    if (pReg->QueryDWORDValue(REGENTRY_CNRFLAG, &dwValue) == 0 && dwValue == CNR_CONSUMER) {
        pConfig->cnrType = CNR_CONSUMER;
    }
}

}  // namespace

DWORD ReadRegCnrType(LPCWSTR lpKeyPath, QVRootConfig* pConfig)
{
    TRACE_ENTER(1);
    if (lpKeyPath == nullptr) {
        return TRACE_NULL_ARGUMENT(lpKeyPath);
    }
    if (pConfig == nullptr) {
        return TRACE_NULL_ARGUMENT(pConfig);
    }
    CReg reg;
    DWORD dwResult = OpenProductKey(&reg, lpKeyPath);
    if (dwResult != 0) {
        return TRACE_LEAVE(dwResult);
    }
    ReadCnrType(&reg, pConfig);
    TRACE(1, (pConfig->cnrType == CNR_CONSUMER) ? L"m_stRootConfig.cnrType:CNR_CONSUMER"
                                               : L"m_stRootConfig.cnrType:CNR_COMMERCIAL");
    return TRACE_LEAVE(0);
}

DWORD ReadRegRootConfig(LPCWSTR lpKeyPath, QVRootConfig* pConfig)
{
    TRACE_ENTER(1);
    if (lpKeyPath == nullptr) {
        return TRACE_NULL_ARGUMENT(lpKeyPath);
    }
    if (pConfig == nullptr) {
        return TRACE_NULL_ARGUMENT(pConfig);
    }
    CReg reg;
    DWORD dwResult = OpenProductKey(&reg, lpKeyPath);
    if (dwResult != 0) {
        return TRACE_LEAVE(dwResult);
    }
    ReadCnrType(&reg, pConfig);
    TRACE(1, L"cnrType:%u", pConfig->cnrType);
    pConfig->dwLoggingState = 1;
    DWORD dwValue = 0;
    dwResult = reg.QueryDWORDValue(REGENTRY_FUNCTION, &dwValue);
    if (dwResult == 0) {
        pConfig->dwLoggingState = dwValue;
    }
    TRACE(1, L"dwLoggingState:%u", pConfig->dwLoggingState);
    return TRACE_LEAVE(dwResult);
}

DWORD OSVersionFromRelations(DWORD dwRelationToVista, DWORD dwRelationToWin7)
{
    if (dwRelationToVista == WINVER_OLDER) {
        return QV_OS_XP;
    }
    if (dwRelationToVista == WINVER_EQUAL) {
        return QV_OS_VISTA;
    }
    if (dwRelationToWin7 == WINVER_EQUAL || dwRelationToWin7 == WINVER_OLDER) {
        return QV_OS_7;
    }
    return QV_OS_OTHER;
}

DWORD DetectOSVersion(CWinVer* pWinVer)
{
    TRACE_ENTER(1);
    DWORD dwOSVersion = OSVersionFromRelations(pWinVer->IsWinVS(), pWinVer->IsWin7());
    switch (dwOSVersion) {
    case QV_OS_XP:
        TRACE(1, L"OS Version:Windows XP");
        break;
    case QV_OS_VISTA:
        TRACE(1, L"OS Version:Windows Vista");
        break;
    case QV_OS_7:
        TRACE(1, L"OS Version:Windows 7");
        break;
    default:
        TRACE(1, L"OS Version:Unknown");
        break;
    }
    return TRACE_LEAVE_VALUE(dwOSVersion);
}

UINT ProductNameStringId(DWORD cnrType)
{
    return (cnrType == CNR_CONSUMER) ? IDS_PRODUCT_CONSUMER : IDS_PRODUCT_COMMERCIAL;
}
