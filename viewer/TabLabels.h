// The labels of the main dialog's five tabs: the tab's word, " (", the pane's title, ")".
#pragma once
#include <windows.h>

#include <string>

const int kTabCount = 5;
// Tab 0 shows the live wattage pane; tabs 1 to 4 the log pane in modes 1 to 4.
const int kMonitorTab = 0;

// The string id of tab nTab's word (142 現在, 103 日, 104 週, 105 月, 106 年); 0 past 4.
UINT TabLabelStringId(int nTab);
// The full label of tab nTab with the title of its pane.
std::wstring BuildTabLabel(int nTab, LPCWSTR lpszPaneTitle);
