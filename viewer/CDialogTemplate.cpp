#include "CDialogTemplate.h"

#include <algorithm>
#include <cstring>

namespace {

const WORD kExtendedVersion = 1;
const WORD kExtendedSignature = 0xFFFF;
// DLGTEMPLATEEX up to and including cy: dlgVer, signature, helpID, exStyle, style,
// cDlgItems, x, y, cx, cy.
const size_t kHeaderBytes = 2 + 2 + 4 + 4 + 4 + 2 + 2 + 2 + 2 + 2;
const size_t kStyleOffset = 12;

// Reads a WORD at offset; false past the end.
bool ReadWord(const std::vector<BYTE>& bytes, size_t offset, WORD* pValue)
{
    if (offset + sizeof(WORD) > bytes.size()) {
        return false;
    }
    std::memcpy(pValue, &bytes[offset], sizeof(WORD));
    return true;
}

// Skips a sz_Or_Ord field (0x0000; 0xFFFF and an ordinal; or a terminated string).
bool SkipSzOrOrd(const std::vector<BYTE>& bytes, size_t* pOffset)
{
    WORD wFirst = 0;
    if (!ReadWord(bytes, *pOffset, &wFirst)) {
        return false;
    }
    if (wFirst == 0xFFFF) {
        *pOffset += 4;
        return *pOffset <= bytes.size();
    }
    for (;;) {
        WORD wChar = 0;
        if (!ReadWord(bytes, *pOffset, &wChar)) {
            return false;
        }
        *pOffset += 2;
        if (wChar == 0) {
            return true;
        }
    }
}

size_t AlignDword(size_t offset) { return (offset + 3) & ~static_cast<size_t>(3); }

}  // namespace

DWORD CDialogTemplate::Load(HINSTANCE hInstance, UINT nID)
{
    HRSRC hResource = FindResourceW(hInstance, MAKEINTRESOURCEW(nID), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    if (hResource == nullptr) {
        return GetLastError();
    }
    DWORD cbResource = SizeofResource(hInstance, hResource);
    HGLOBAL hGlobal = LoadResource(hInstance, hResource);
    const BYTE* lpData = (hGlobal != nullptr) ? static_cast<const BYTE*>(LockResource(hGlobal)) : nullptr;
    if (lpData == nullptr || cbResource == 0) {
        DWORD dwError = GetLastError();
        return (dwError != 0) ? dwError : ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    Assign(lpData, cbResource);
    return 0;
}

bool CDialogTemplate::FindFont(size_t* pFaceOffset, size_t* pFaceEnd, size_t* pItemsOffset) const
{
    WORD wVersion = 0;
    WORD wSignature = 0;
    if (!ReadWord(m_bytes, 0, &wVersion) || !ReadWord(m_bytes, 2, &wSignature) || wVersion != kExtendedVersion ||
        wSignature != kExtendedSignature || m_bytes.size() < kHeaderBytes) {
        return false;
    }
    DWORD dwStyle = 0;
    std::memcpy(&dwStyle, &m_bytes[kStyleOffset], sizeof(dwStyle));
    if ((dwStyle & DS_SETFONT) == 0) {
        return false;
    }
    size_t offset = kHeaderBytes;
    // Menu, window class, title.
    if (!SkipSzOrOrd(m_bytes, &offset) || !SkipSzOrOrd(m_bytes, &offset)) {
        return false;
    }
    for (;;) {
        WORD wChar = 0;
        if (!ReadWord(m_bytes, offset, &wChar)) {
            return false;
        }
        offset += 2;
        if (wChar == 0) {
            break;
        }
    }
    // Point size, weight, italic and charset.
    offset += 2 + 2 + 1 + 1;
    size_t faceOffset = offset;
    for (;;) {
        WORD wChar = 0;
        if (!ReadWord(m_bytes, offset, &wChar)) {
            return false;
        }
        offset += 2;
        if (wChar == 0) {
            break;
        }
    }
    *pFaceOffset = faceOffset;
    *pFaceEnd = offset;
    *pItemsOffset = std::min(AlignDword(offset), m_bytes.size());
    return true;
}

DWORD CDialogTemplate::GetFont(std::wstring* pFace, WORD* pwPointSize) const
{
    size_t faceOffset = 0;
    size_t faceEnd = 0;
    size_t itemsOffset = 0;
    if (pFace == nullptr || pwPointSize == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!FindFont(&faceOffset, &faceEnd, &itemsOffset)) {
        return ERROR_INVALID_DATA;
    }
    ReadWord(m_bytes, faceOffset - 6, pwPointSize);
    pFace->assign(reinterpret_cast<const WCHAR*>(&m_bytes[faceOffset]), (faceEnd - faceOffset) / 2 - 1);
    return 0;
}

DWORD CDialogTemplate::SetFontFace(LPCWSTR lpszFace)
{
    if (lpszFace == nullptr || lpszFace[0] == L'\0') {
        return ERROR_INVALID_PARAMETER;
    }
    size_t faceOffset = 0;
    size_t faceEnd = 0;
    size_t itemsOffset = 0;
    if (!FindFont(&faceOffset, &faceEnd, &itemsOffset)) {
        return ERROR_INVALID_DATA;
    }
    // The controls start on a DWORD boundary and keep their own alignment when the whole
    // block moves by a multiple of four bytes.
    std::vector<BYTE> result(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(faceOffset));
    const BYTE* lpFace = reinterpret_cast<const BYTE*>(lpszFace);
    result.insert(result.end(), lpFace, lpFace + (wcslen(lpszFace) + 1) * sizeof(WCHAR));
    result.resize(AlignDword(result.size()), 0);
    result.insert(result.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(itemsOffset), m_bytes.end());
    m_bytes.swap(result);
    return 0;
}

LPCDLGTEMPLATEW CDialogTemplate::Get() const
{
    return m_bytes.empty() ? nullptr : reinterpret_cast<LPCDLGTEMPLATEW>(m_bytes.data());
}

std::wstring GetDefaultGuiFontFace()
{
    LOGFONTW lf = {};
    if (GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf) == 0) {
        return L"MS Shell Dlg";
    }
    return lf.lfFaceName;
}
