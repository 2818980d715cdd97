#include "FontFace.h"

#include <strsafe.h>

#include "CDialogTemplate.h"
#include "QVRootConfig.h"
#include "ResString.h"
#include "Trace.h"
#include "resource.h"

std::wstring GetFontFaceName()
{
    TRACE_FUNCTION();
    std::wstring face = LoadResString(IDS_FONT_FACE);
    if (face.empty()) {
        TRACE(0, L"LoadString() is failed. code=%d", static_cast<int>(GetLastError()));
        face = GetDefaultGuiFontFace();
    }
    TRACE(1, L"strFontFace:%s", face.c_str());
    return face;
}

std::wstring GetDialogFontFace(DWORD dwOSVersion)
{
    return (dwOSVersion == QV_OS_XP) ? GetDefaultGuiFontFace() : GetFontFaceName();
}

HFONT CreatePointFont(LPCWSTR lpszFace, int nPoints, int nWeight)
{
    HDC hDC = GetDC(nullptr);
    int nLogPixelsY = (hDC != nullptr) ? GetDeviceCaps(hDC, LOGPIXELSY) : 96;
    if (hDC != nullptr) {
        ReleaseDC(nullptr, hDC);
    }
    LOGFONTW lf = {};
    lf.lfHeight = -MulDiv(nPoints, nLogPixelsY, 72);
    lf.lfWeight = nWeight;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    if (lpszFace != nullptr) {
        StringCchCopyW(lf.lfFaceName, ARRAYSIZE(lf.lfFaceName), lpszFace);
    }
    return CreateFontIndirectW(&lf);
}
