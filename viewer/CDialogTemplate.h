// A dialog template copied into memory from the resources, so that its font can be
// replaced before the dialog is created from it (the dialogs' own face is missing on
// Windows XP). Only extended templates (DIALOGEX) with DS_SETFONT carry a font.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

class CDialogTemplate {
public:
    // Copies template nID of hInstance. 0, 1813 (ERROR_RESOURCE_TYPE_NOT_FOUND) /
    // 1812 when there is none, or the loader's error.
    DWORD Load(HINSTANCE hInstance, UINT nID);
    // Replaces the font face (the point size stays). 0; 13 when the template is not an
    // extended template with a font or is cut short; 87 for a null or empty face.
    DWORD SetFontFace(LPCWSTR lpszFace);
    // The face and point size the template names; 13 as above.
    DWORD GetFont(std::wstring* pFace, WORD* pwPointSize) const;
    // The template as the dialog functions take it; null before Load.
    LPCDLGTEMPLATEW Get() const;
    const std::vector<BYTE>& Bytes() const { return m_bytes; }
    void Assign(const BYTE* lpData, size_t cbData) { m_bytes.assign(lpData, lpData + cbData); }

private:
    // Offsets of the face string and of the first control; false when the template
    // has no font or is cut short.
    bool FindFont(size_t* pFaceOffset, size_t* pFaceEnd, size_t* pItemsOffset) const;

    std::vector<BYTE> m_bytes;
};

// The face name of the stock default GUI font ("MS Shell Dlg" and the like).
std::wstring GetDefaultGuiFontFace();
