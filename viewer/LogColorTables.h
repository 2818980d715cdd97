// The colours of the day view's bands: one entry per power plan name and one per power
// state, built from defaults and overridden from the registry.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>

// The three colours of a band segment: fill, background and label text.
struct QVBandColors {
    COLORREF crFg = RGB(240, 240, 240);
    COLORREF crBg = RGB(0, 0, 0);
    COLORREF crLabel = RGB(0, 0, 0);
};

// Power plan name → colours. A plan not in the table is drawn with the default colours.
typedef std::map<std::wstring, QVBandColors> QVPlanColorTable;

// Power states of the band: 0 none, 1 on AC, 2 on battery, 3 charging.
const size_t kQVPowerStates = 4;
struct QVStateColorTable {
    QVBandColors states[kQVPowerStates];
};

// Loads string resource nId into *pText; false when it cannot.
typedef std::function<bool(UINT nId, std::wstring* pText)> QVStringLoader;

// The built-in plan table, the names taken from the string table through loader. 8 when
// the table cannot be allocated; a name that does not load is traced and left out.
DWORD InitColorPowerPlan(const QVStringLoader& loader, QVPlanColorTable* pTable);
// The built-in state table.
DWORD InitColorPowerState(QVStateColorTable* pTable);

// Reads the overrides below lpLogAnalyzeKey (relative to HKEY_LOCAL_MACHINE):
// PowerPlan\FgColor, PowerPlan\BgColor and PowerPlan\LabelColor hold one DWORD per plan
// name (names not yet in the table are added); PowerState\FgColor, ...\BgColor and
// ...\LabelColor one DWORD per state, named by stateNames (states 0..3). Values of
// another type or size are skipped; a missing key leaves its slot as it was. 87 for a
// null argument, else 0.
DWORD ReadColorOverrides(LPCWSTR lpLogAnalyzeKey, const std::wstring (&stateNames)[kQVPowerStates],
                         QVPlanColorTable* pPlanTable, QVStateColorTable* pStateTable);
