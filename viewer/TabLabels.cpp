#include "TabLabels.h"

#include "ResString.h"
#include "resource.h"

UINT TabLabelStringId(int nTab)
{
    static const UINT kLabelIds[kTabCount] = {IDS_TAB_NOW, IDS_TAB_DAY, IDS_TAB_WEEK, IDS_TAB_MONTH, IDS_TAB_YEAR};
    return (nTab >= 0 && nTab < kTabCount) ? kLabelIds[nTab] : 0;
}

std::wstring BuildTabLabel(int nTab, LPCWSTR lpszPaneTitle)
{
    UINT nID = TabLabelStringId(nTab);
    if (nID == 0) {
        return std::wstring();
    }
    return LoadResString(nID) + LoadResString(IDS_TAB_TITLE_OPEN) + (lpszPaneTitle ? lpszPaneTitle : L"") +
           LoadResString(IDS_TAB_TITLE_CLOSE);
}
