// CReg and CRegEx against Wine's registry: opening walks, typed reads with their sizes
// and untouched out-parameters, writes that refuse what does not fit the type, and the
// sub-key search.
#include <gtest/gtest.h>

#include "Reg.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

class RegTest : public ::testing::Test {
protected:
    // Path of a sub-key of this test's own key, relative to HKEY_LOCAL_MACHINE.
    std::wstring Sub(const std::wstring& sub) const { return m_key.Path() + L"\\" + sub; }

    // Opens this test's own key with the access asked.
    void Open(CReg& reg, REGSAM sam) { ASSERT_EQ(0u, reg.OpenKey(m_key.Path().c_str(), sam)); }

    CTestRegKey m_key{L"reg"};
};

// Missing names, buffers and sizes, and data that does not fit its type (a QWORD of 4
// bytes, a DWORD of 3, a string without terminator within its bound) are refused (87)
// and write nothing.
TEST_F(RegTest, BadArgumentsAreRefusedAndWriteNothing)
{
    CReg reg;
    Open(reg, KEY_ALL_ACCESS);
    DWORD dwValue = 1, dwType = 0, cch = 8;
    WCHAR szBuf[8];
    const BYTE* lpValue = reinterpret_cast<const BYTE*>(&dwValue);
    const std::wstring root = m_key.Path();
    const DWORD results[] = {
        CReg().OpenKey(nullptr, KEY_READ), CReg().OpenKey((L"\\" + root).c_str(), KEY_READ),
        CReg().OpenKey(L"", KEY_READ), reg.CreateKey(nullptr, KEY_ALL_ACCESS), reg.DeleteKey(nullptr),
        reg.EnumKey(0, nullptr, &cch, nullptr), reg.EnumKey(0, szBuf, nullptr, nullptr),
        reg.EnumValue(0, szBuf, &cch, nullptr, nullptr, nullptr), reg.EnumValue(0, nullptr, &cch, &dwType, nullptr, nullptr),
        reg.QueryValue(nullptr, &dwType, nullptr, &cch), reg.QueryValue(L"Q", nullptr, nullptr, &cch),
        reg.QueryDWORDValue(nullptr, &dwValue), reg.QueryDWORDValue(L"N", nullptr),
        reg.QueryStringValue(nullptr, szBuf, &cch), reg.QueryStringValue(L"T", szBuf, nullptr),
        reg.SetValue(L"Q", REG_QWORD, lpValue, 4), reg.SetValue(L"D", REG_DWORD, lpValue, 3),
        reg.SetValue(L"B", REG_DWORD_BIG_ENDIAN, lpValue, 2), reg.SetValue(nullptr, REG_DWORD, lpValue, 4),
        reg.SetValue(L"N", REG_BINARY, nullptr, 0), reg.SetDWORDValue(nullptr, 1),
        reg.SetStringValue(L"S", L"abc", 0), reg.SetStringValue(L"S", L"abc", 3),
        reg.SetStringValue(nullptr, L"abc", 10), reg.SetStringValue(L"S", nullptr, 10),
        CRegEx().FindSubKeyValue(nullptr, root.c_str(), L"Power", &dwValue),
        CRegEx().FindSubKeyValue(L"A", nullptr, L"Power", &dwValue),
        CRegEx().FindSubKeyValue(L"A", root.c_str(), nullptr, &dwValue),
        CRegEx().FindSubKeyValue(L"A", root.c_str(), L"Power", nullptr),
    };
    for (size_t i = 0; i < ARRAYSIZE(results); ++i) {
        EXPECT_EQ(87u, results[i]) << "case " << i;
    }
    for (const wchar_t* lpName : {L"Q", L"D", L"B", L"N", L"S"}) {
        EXPECT_EQ(2u, reg.QueryValue(lpName, &dwType, nullptr, nullptr)) << Narrow(lpName);
    }
}

// A walk opens relative to the key opened last, ends at an empty component, and when it
// fails part-way leaves the open key as it was. (Enumeration, creating and deleting keys
// pass the system's answers through; the log library's settings copy uses them.)
TEST_F(RegTest, OpenKeyWalks)
{
    m_key.SetDword(L"A", L"Value", 5);
    m_key.SetDword(L"A\\B", L"Inner", 2);
    CReg reg;
    EXPECT_EQ(1627u, reg.OpenKey(std::wstring(260, L'k').c_str(), KEY_READ));
    EXPECT_EQ(nullptr, reg.GetKey());
    ASSERT_EQ(0u, reg.OpenKey((Sub(L"A") + L"\\\\Ignored").c_str(), KEY_READ));
    HKEY hBefore = reg.GetKey();
    EXPECT_EQ(2u, reg.OpenKey(L"B\\Missing\\C", KEY_READ));
    EXPECT_EQ(hBefore, reg.GetKey());
    DWORD dwValue = 0;
    EXPECT_EQ(0u, reg.QueryDWORDValue(L"Value", &dwValue));
    EXPECT_EQ(5u, dwValue);
    ASSERT_EQ(0u, reg.OpenKey(L"B", KEY_READ));
    EXPECT_EQ(0u, reg.QueryDWORDValue(L"Inner", &dwValue));
    EXPECT_EQ(2u, dwValue);
    EXPECT_EQ(0u, reg.CloseKey());
    EXPECT_EQ(nullptr, reg.GetKey());
}

// Typed reads check the type (13) and leave the output untouched on failure; string
// sizes count the terminator, also of a string stored without one, and a buffer of
// exactly the stored characters is refused without a write past its end.
TEST_F(RegTest, TypedReads)
{
    m_key.SetString(L"", L"Text", L"abc");
    m_key.SetDword(L"", L"Number", 0x12345678);
    m_key.SetRaw(L"", L"Binary", REG_BINARY, "four", 4);
    m_key.SetRaw(L"", L"BareMulti", REG_MULTI_SZ, L"one\0two", 7 * sizeof(WCHAR));
    m_key.SetRaw(L"", L"Bare", REG_SZ, L"abc", 3 * sizeof(WCHAR));
    CReg reg;
    Open(reg, KEY_READ);

    DWORD dwValue = 0xdeadbeef;
    ExpectResults({{13, reg.QueryDWORDValue(L"Text", &dwValue)}, {13, reg.QueryDWORDValue(L"Binary", &dwValue)},
                   {2, reg.QueryDWORDValue(L"Missing", &dwValue)}});
    EXPECT_EQ(0xdeadbeefu, dwValue);
    EXPECT_EQ(0u, reg.QueryDWORDValue(L"Number", &dwValue));
    EXPECT_EQ(0x12345678u, dwValue);

    WCHAR szBuf[16];
    DWORD cch = ARRAYSIZE(szBuf);
    ExpectResults({{13, reg.QueryStringValue(L"Number", szBuf, &cch)},
                   {13, reg.QueryMultiStringValue(L"Text", szBuf, &cch)}});
    for (const wchar_t* lpName : {L"Text", L"Bare"}) {
        cch = 0xdeadbeef;
        EXPECT_EQ(0u, reg.QueryStringValue(lpName, nullptr, &cch));
        EXPECT_EQ(4u, cch) << Narrow(lpName);
        struct {
            WCHAR szBuf[3];
            WCHAR guard;
        } guarded = {{}, 0x5A5A};
        cch = ARRAYSIZE(guarded.szBuf);
        EXPECT_EQ(234u, reg.QueryStringValue(lpName, guarded.szBuf, &cch));
        EXPECT_EQ(0x5A5A, guarded.guard);
        cch = ARRAYSIZE(szBuf);
        EXPECT_EQ(0u, reg.QueryStringValue(lpName, szBuf, &cch));
        EXPECT_STREQ(L"abc", szBuf);
    }
    cch = ARRAYSIZE(szBuf);
    ASSERT_EQ(0u, reg.QueryMultiStringValue(L"BareMulti", szBuf, &cch));
    EXPECT_EQ(9u, cch);
    EXPECT_EQ(0, memcmp(szBuf, L"one\0two\0", 9 * sizeof(WCHAR)));
}

// Strings get their terminator; only the last component of a walk gets the access asked.
TEST_F(RegTest, WritesAndAccess)
{
    m_key.SetDword(L"New", L"Value", 0);
    CReg reg;
    Open(reg, KEY_ALL_ACCESS);
    DWORD dwType = 0, cb = 0;
    ASSERT_EQ(0u, reg.SetStringValue(L"S", L"abc", 4));
    EXPECT_EQ(0u, reg.QueryValue(L"S", &dwType, nullptr, &cb));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), dwType);
    EXPECT_EQ(8u, cb);

    CReg reader;
    ASSERT_EQ(0u, reader.OpenKey(Sub(L"New").c_str(), KEY_READ));
    EXPECT_EQ(5u, reader.SetDWORDValue(L"Value", 1));
    CReg writer;
    ASSERT_EQ(0u, writer.OpenKey(Sub(L"New").c_str(), KEY_READ | KEY_SET_VALUE));
    EXPECT_EQ(0u, writer.SetDWORDValue(L"Value", 1));
}

// The value is read from the first sub-key whose name occurs in the string (case
// matters, a longer name never matches); the output is untouched without a match.
TEST_F(RegTest, FindSubKeyValue)
{
    m_key.SetDword(L"DspInfo\\ABC1234", L"Power", 11);
    m_key.SetDword(L"DspInfo\\XYZ9999", L"Power", 22);
    m_key.SetDword(L"DspInfo\\LONGERTHANTHESTRING", L"Power", 33);
    m_key.SetDword(L"DspInfo\\NOVALUE", L"Other", 0);
    const std::wstring root = Sub(L"DspInfo");
    CRegEx reg;
    DWORD dwValue = 0xdeadbeef;
    EXPECT_EQ(259u, reg.FindSubKeyValue(L"abc1234 LONGER", root.c_str(), L"Power", &dwValue));
    EXPECT_EQ(2u, reg.FindSubKeyValue(L"xNOVALUEx", root.c_str(), L"Power", &dwValue));  // the query's error
    EXPECT_EQ(2u, reg.FindSubKeyValue(L"ABC1234", Sub(L"Missing").c_str(), L"Power", &dwValue));
    EXPECT_EQ(0xdeadbeefu, dwValue);
    EXPECT_EQ(0u, reg.FindSubKeyValue(L"MONITOR\\XYZ9999\\{4d36e96e}", root.c_str(), L"Power", &dwValue));
    EXPECT_EQ(22u, dwValue);
    EXPECT_EQ(nullptr, reg.GetKey());
}

}  // namespace
