// Owner drawing: a dialog hands WM_DRAWITEM back to the control it concerns as
// WM_REFLECT_DRAWITEM, so that a control class draws itself.
#pragma once
#include <windows.h>

// The reflected WM_DRAWITEM: wParam and lParam as in WM_DRAWITEM; a control that draws
// answers TRUE.
const UINT WM_REFLECT_DRAWITEM = WM_USER + 0x1C00 + WM_DRAWITEM;

// Asks the control of a WM_DRAWITEM to draw itself; TRUE when it did.
BOOL ReflectDrawItem(WPARAM wParam, LPARAM lParam);

// Asks the ancestors of hWndChild, nearest first, to paint what lies behind the child
// into hDC (in the child's client coordinates); the first ancestor that answers
// WM_DRAWBACKGROUND with TRUE did. FALSE when none did.
BOOL DrawParentBackground(HWND hWndChild, HDC hDC);

// Sent by DrawParentBackground: wParam the HDC, lParam the child window. An ancestor
// that paints its background behind the child answers TRUE.
const UINT WM_DRAWBACKGROUND = WM_USER + 0x1C00 + 0x0200;
