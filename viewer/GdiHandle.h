// Scoped GDI handles: a GDI object (pen, brush, font, bitmap, region) deleted when its
// owner goes, and an object selected into a DC for one scope.
#pragma once
#include <windows.h>

template <typename T>
class CGdiHandle {
public:
    CGdiHandle() = default;
    explicit CGdiHandle(T hObject) : m_hObject(hObject) {}
    ~CGdiHandle() { Reset(); }
    CGdiHandle(const CGdiHandle&) = delete;
    CGdiHandle& operator=(const CGdiHandle&) = delete;
    CGdiHandle(CGdiHandle&& other) noexcept : m_hObject(other.Release()) {}
    CGdiHandle& operator=(CGdiHandle&& other) noexcept
    {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }

    T Get() const { return m_hObject; }
    explicit operator bool() const { return m_hObject != nullptr; }
    // Deletes the object held, then holds hObject (which may be null).
    void Reset(T hObject = nullptr)
    {
        if (m_hObject != nullptr) {
            DeleteObject(m_hObject);
        }
        m_hObject = hObject;
    }
    T Release()
    {
        T hObject = m_hObject;
        m_hObject = nullptr;
        return hObject;
    }

private:
    T m_hObject = nullptr;
};

typedef CGdiHandle<HBITMAP> CBitmapHandle;
typedef CGdiHandle<HBRUSH> CBrushHandle;
typedef CGdiHandle<HFONT> CFontHandle;
typedef CGdiHandle<HPEN> CPenHandle;
typedef CGdiHandle<HRGN> CRgnHandle;

// Selects an object into a DC and puts the previous one back at the end of the scope.
class CSelectObject {
public:
    CSelectObject(HDC hDC, HGDIOBJ hObject) : m_hDC(hDC), m_hOld(SelectObject(hDC, hObject)) {}
    ~CSelectObject()
    {
        if (m_hOld != nullptr && m_hOld != HGDI_ERROR) {
            SelectObject(m_hDC, m_hOld);
        }
    }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;
    // False when the selection failed.
    bool Succeeded() const { return m_hOld != nullptr && m_hOld != HGDI_ERROR; }

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};

// A memory DC compatible with another, deleted at the end of the scope.
class CCompatibleDC {
public:
    explicit CCompatibleDC(HDC hDC) : m_hDC(CreateCompatibleDC(hDC)) {}
    ~CCompatibleDC()
    {
        if (m_hDC != nullptr) {
            DeleteDC(m_hDC);
        }
    }
    CCompatibleDC(const CCompatibleDC&) = delete;
    CCompatibleDC& operator=(const CCompatibleDC&) = delete;
    HDC Get() const { return m_hDC; }

private:
    HDC m_hDC;
};
