// The colours of the day view's bands.
#include "LogColorTables.h"

#include <new>
#include <strsafe.h>

#include "QuoLog.h"
#include "Reg.h"
#include "Trace.h"

namespace {

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kBlack = RGB(0, 0, 0);

// One built-in plan: the string that names it, its fill and its label colour.
struct PlanDefault {
    UINT nNameId;
    COLORREF crFg;
    COLORREF crLabel;
};

const PlanDefault kPlanDefaults[] = {
    {165, RGB(71, 102, 255), kWhite},   // high performance (XP)
    {164, RGB(71, 102, 255), kWhite},   // high performance
    {173, RGB(143, 143, 255), kWhite},  // meeting room (presentation)
    {168, RGB(184, 179, 255), kBlack},  // standard
    {166, RGB(184, 179, 255), kBlack},  // balanced
    {170, RGB(184, 212, 254), kBlack},  // office
    {171, RGB(179, 255, 241), kBlack},  // airplane
    {172, RGB(193, 255, 203), kBlack},  // QUO
    {167, RGB(193, 255, 203), kBlack},  // power saver
    {182, RGB(255, 255, 171), kBlack},  // user setting
    {183, RGB(240, 240, 240), kBlack},  // unknown
    {174, RGB(133, 133, 255), kWhite},  // home
    {175, RGB(133, 133, 255), kWhite},  // home or office desk
    {176, RGB(143, 143, 255), kWhite},  // presentation
    {169, RGB(184, 179, 255), kBlack},  // maker's own plan
    {177, RGB(184, 179, 255), kBlack},  // always on
    {178, RGB(179, 255, 241), kBlack},  // hotel
    {179, RGB(193, 255, 203), kBlack},  // portable/laptop
    {180, RGB(193, 255, 203), kBlack},  // max battery
    {181, RGB(193, 255, 203), kBlack},  // minimal power management
};

const COLORREF kStateFg[kQVPowerStates] = {
    RGB(240, 240, 240),  // no state
    RGB(255, 223, 197),  // AC
    RGB(211, 193, 255),  // battery
    RGB(254, 225, 144),  // charging
};

// The three colour slots and the sub-key that overrides each.
enum ColorSlot { SLOT_FG, SLOT_BG, SLOT_LABEL };
struct SlotKey {
    ColorSlot slot;
    LPCWSTR lpName;
};
const SlotKey kSlotKeys[] = {{SLOT_FG, L"FgColor"}, {SLOT_BG, L"BgColor"}, {SLOT_LABEL, L"LabelColor"}};

COLORREF& Slot(QVBandColors& colors, ColorSlot slot)
{
    switch (slot) {
    case SLOT_BG:
        return colors.crBg;
    case SLOT_LABEL:
        return colors.crLabel;
    default:
        return colors.crFg;
    }
}

// Opens lpKey\lpGroup\lpSlot for reading; false (traced) when it is missing.
bool OpenSlotKey(CReg& reg, LPCWSTR lpKey, LPCWSTR lpGroup, LPCWSTR lpSlot)
{
    TRACE_FUNCTION();
    WCHAR szPath[CReg::kPathChars];
    if (FAILED(StringCchPrintfW(szPath, ARRAYSIZE(szPath), L"%s\\%s\\%s", lpKey, lpGroup, lpSlot))) {
        return false;
    }
    const DWORD dwRet = reg.OpenKey(szPath, KEY_READ);
    if (dwRet != ERROR_SUCCESS) {
        TRACE(1, L"Error in OpenKey(%s). code:%u", szPath, dwRet);
        return false;
    }
    return true;
}

// Every DWORD value of the slot key of the plans, added to or replacing table entries.
DWORD ReadPlanSlot(LPCWSTR lpKey, const SlotKey& slotKey, QVPlanColorTable* pTable)
{
    TRACE_FUNCTION();
    CReg reg;
    if (!OpenSlotKey(reg, lpKey, L"PowerPlan", slotKey.lpName)) {
        return ERROR_SUCCESS;
    }
    for (DWORD dwIndex = 0;; ++dwIndex) {
        WCHAR szRegName[QUOLOG_POWERPLAN_CHARS] = {};
        DWORD cchName = ARRAYSIZE(szRegName);
        DWORD dwType = 0;
        DWORD dwValue = 0;
        DWORD cbValue = sizeof(dwValue);
        const DWORD dwRet = reg.EnumValue(dwIndex, szRegName, &cchName, &dwType,
                                          reinterpret_cast<LPBYTE>(&dwValue), &cbValue);
        // 234: a name longer than any plan name or a value larger than a DWORD, not ours.
        if (dwRet != ERROR_SUCCESS && dwRet != ERROR_MORE_DATA) {
            break;
        }
        if (dwRet != ERROR_SUCCESS || dwType != REG_DWORD || cbValue != sizeof(DWORD)) {
            continue;
        }
        TRACE(1, L"szRegName:[%d]:%s", static_cast<int>(dwIndex), szRegName);
        try {
            Slot((*pTable)[szRegName], slotKey.slot) = dwValue;
        } catch (const std::bad_alloc&) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    return ERROR_SUCCESS;
}

void ReadStateSlot(LPCWSTR lpKey, const SlotKey& slotKey, const std::wstring (&stateNames)[kQVPowerStates],
                   QVStateColorTable* pTable)
{
    CReg reg;
    if (!OpenSlotKey(reg, lpKey, L"PowerState", slotKey.lpName)) {
        return;
    }
    for (size_t i = 0; i < kQVPowerStates; ++i) {
        DWORD dwValue = 0;
        if (!stateNames[i].empty() && reg.QueryDWORDValue(stateNames[i].c_str(), &dwValue) == ERROR_SUCCESS) {
            Slot(pTable->states[i], slotKey.slot) = dwValue;
        }
    }
}

}  // namespace

DWORD InitColorPowerPlan(const QVStringLoader& loader, QVPlanColorTable* pTable)
{
    TRACE_ENTER(1);
    if (pTable == nullptr) {
        return TRACE_NULL_ARGUMENT(pTable);
    }
    try {
        pTable->clear();
        for (const PlanDefault& plan : kPlanDefaults) {
            std::wstring strName;
            if (!loader || !loader(plan.nNameId, &strName) || strName.empty()) {
                TRACE(0, L"LoadString() is failed. id=%u", plan.nNameId);
                continue;
            }
            QVBandColors colors;
            colors.crFg = plan.crFg;
            colors.crLabel = plan.crLabel;
            (*pTable)[strName] = colors;
        }
    } catch (const std::bad_alloc&) {
        return TRACE_LEAVE(ERROR_NOT_ENOUGH_MEMORY);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD InitColorPowerState(QVStateColorTable* pTable)
{
    TRACE_ENTER(1);
    if (pTable == nullptr) {
        return TRACE_NULL_ARGUMENT(pTable);
    }
    for (size_t i = 0; i < kQVPowerStates; ++i) {
        pTable->states[i] = QVBandColors();
        pTable->states[i].crFg = kStateFg[i];
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD ReadColorOverrides(LPCWSTR lpLogAnalyzeKey, const std::wstring (&stateNames)[kQVPowerStates],
                         QVPlanColorTable* pPlanTable, QVStateColorTable* pStateTable)
{
    TRACE_ENTER(1);
    if (lpLogAnalyzeKey == nullptr) {
        return TRACE_NULL_ARGUMENT(lpLogAnalyzeKey);
    }
    if (pPlanTable == nullptr) {
        return TRACE_NULL_ARGUMENT(pPlanTable);
    }
    if (pStateTable == nullptr) {
        return TRACE_NULL_ARGUMENT(pStateTable);
    }
    for (const SlotKey& slotKey : kSlotKeys) {
        const DWORD dwRet = ReadPlanSlot(lpLogAnalyzeKey, slotKey, pPlanTable);
        if (dwRet != ERROR_SUCCESS) {
            return TRACE_LEAVE(dwRet);
        }
        ReadStateSlot(lpLogAnalyzeKey, slotKey, stateNames, pStateTable);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}
