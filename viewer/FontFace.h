// The face name of the viewer's own fonts.
#pragma once
#include <windows.h>

#include <string>

// String 187 ("メイリオ"); when it cannot be loaded, the face of the stock default GUI
// font. Every owner-drawn text that makes its own font takes its face from here.
std::wstring GetFontFaceName();

// The face a dialog uses on this Windows: the stock default GUI font's on the Windows
// XP family (which lacks the template's face), otherwise GetFontFaceName.
std::wstring GetDialogFontFace(DWORD dwOSVersion);

// A font of nPoints points (converted with the screen's vertical DPI) and weight
// nWeight in face lpszFace; null on failure.
HFONT CreatePointFont(LPCWSTR lpszFace, int nPoints, int nWeight);
