// CReg and CRegEx against Wine's registry: opening walks, typed reads with their sizes
// and untouched out-parameters, argument checks, enumeration and the sub-key search.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "Reg.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

class RegTest : public ::testing::Test {
protected:
    // Path of a sub-key of this test's own key, relative to HKEY_LOCAL_MACHINE.
    std::wstring Sub(const std::wstring& sub) const { return m_key.Path() + L"\\" + sub; }

    CTestRegKey m_key{L"reg"};
};

TEST_F(RegTest, OpenKeyThenOpenSubKeyRelativeToIt)
{
    m_key.SetDword(L"QUOViewer", L"Interval", 1000);
    m_key.SetDword(L"QUOViewer\\DbgLog", L"logform", 2);
    CReg reg;
    ASSERT_EQ(0u, reg.OpenKey(Sub(L"QUOViewer").c_str(), KEY_READ));
    DWORD dwValue = 0;
    EXPECT_EQ(0u, reg.QueryDWORDValue(L"Interval", &dwValue));
    EXPECT_EQ(1000u, dwValue);
    ASSERT_EQ(0u, reg.OpenKey(L"DbgLog", KEY_READ));
    EXPECT_EQ(0u, reg.QueryDWORDValue(L"logform", &dwValue));
    EXPECT_EQ(2u, dwValue);
    EXPECT_EQ(2u, reg.QueryDWORDValue(L"Interval", &dwValue));
    EXPECT_EQ(0u, reg.CloseKey());
    EXPECT_EQ(nullptr, reg.GetKey());
    EXPECT_EQ(0u, reg.CloseKey());
}

TEST_F(RegTest, FailedOpenLeavesTheOpenKeyAsItWas)
{
    m_key.SetDword(L"A", L"Value", 5);
    m_key.CreateSub(L"A\\B");
    CReg reg;
    ASSERT_EQ(0u, reg.OpenKey(Sub(L"A").c_str(), KEY_READ));
    HKEY hBefore = reg.GetKey();
    EXPECT_EQ(2u, reg.OpenKey(L"B\\Missing\\C", KEY_READ));
    EXPECT_EQ(hBefore, reg.GetKey());
    DWORD dwValue = 0;
    EXPECT_EQ(0u, reg.QueryDWORDValue(L"Value", &dwValue));
    EXPECT_EQ(5u, dwValue);
}

TEST_F(RegTest, OpenKeyArguments)
{
    CReg reg;
    EXPECT_EQ(87u, reg.OpenKey(nullptr, KEY_READ));
    std::wstring tooLong(260, L'k');
    EXPECT_EQ(1627u, reg.OpenKey(tooLong.c_str(), KEY_READ));
    // A path that starts with a backslash opens nothing.
    EXPECT_EQ(87u, reg.OpenKey((L"\\" + m_key.Path()).c_str(), KEY_READ));
    EXPECT_EQ(87u, reg.OpenKey(L"", KEY_READ));
    EXPECT_EQ(nullptr, reg.GetKey());
}

TEST_F(RegTest, EmptyComponentEndsTheWalk)
{
    m_key.SetDword(L"A", L"Value", 9);
    CReg reg;
    ASSERT_EQ(0u, reg.OpenKey((Sub(L"A") + L"\\\\Ignored").c_str(), KEY_READ));
    DWORD dwValue = 0;
    EXPECT_EQ(0u, reg.QueryDWORDValue(L"Value", &dwValue));
    EXPECT_EQ(9u, dwValue);
}

TEST_F(RegTest, OnlyTheLastComponentGetsTheAccessAsked)
{
    m_key.CreateSub(L"A");
    CReg reader;
    ASSERT_EQ(0u, reader.OpenKey(Sub(L"A").c_str(), KEY_READ));
    EXPECT_EQ(5u, reader.SetDWORDValue(L"Value", 1));
    CReg writer;
    ASSERT_EQ(0u, writer.OpenKey(Sub(L"A").c_str(), KEY_READ | KEY_SET_VALUE));
    EXPECT_EQ(0u, writer.SetDWORDValue(L"Value", 1));
}

TEST_F(RegTest, CreateKeyAndDeleteKey)
{
    CReg reg;
    ASSERT_EQ(0u, reg.OpenKey(m_key.Path().c_str(), KEY_ALL_ACCESS));
    EXPECT_EQ(87u, reg.CreateKey(nullptr, KEY_ALL_ACCESS));
    ASSERT_EQ(0u, reg.CreateKey(L"New", KEY_ALL_ACCESS));
    EXPECT_EQ(0u, reg.SetDWORDValue(L"Inside", 3));
    EXPECT_EQ(0u, reg.CreateKey(L"Child", KEY_ALL_ACCESS));
    reg.CloseKey();

    CReg check;
    ASSERT_EQ(0u, check.OpenKey(Sub(L"New").c_str(), KEY_ALL_ACCESS));
    DWORD dwValue = 0;
    EXPECT_EQ(0u, check.QueryDWORDValue(L"Inside", &dwValue));
    EXPECT_EQ(3u, dwValue);
    EXPECT_EQ(87u, check.DeleteKey(nullptr));
    EXPECT_EQ(0u, check.DeleteKey(L"Child"));
    EXPECT_EQ(2u, check.DeleteKey(L"Child"));
}

TEST_F(RegTest, QueryDWORDValueChecksTheType)
{
    m_key.SetString(L"", L"Text", L"12");
    DWORD dwFour = 4;
    m_key.SetRaw(L"", L"Binary", REG_BINARY, &dwFour, sizeof(dwFour));
    m_key.SetDword(L"", L"Number", 0x12345678);
    CReg reg;
    ASSERT_EQ(0u, reg.OpenKey(m_key.Path().c_str(), KEY_READ));
    DWORD dwValue = 0xdeadbeef;
    EXPECT_EQ(13u, reg.QueryDWORDValue(L"Text", &dwValue));
    EXPECT_EQ(0xdeadbeefu, dwValue);
    EXPECT_EQ(13u, reg.QueryDWORDValue(L"Binary", &dwValue));
    EXPECT_EQ(0xdeadbeefu, dwValue);
    EXPECT_EQ(2u, reg.QueryDWORDValue(L"Missing", &dwValue));
    EXPECT_EQ(0xdeadbeefu, dwValue);
    EXPECT_EQ(87u, reg.QueryDWORDValue(nullptr, &dwValue));
    EXPECT_EQ(87u, reg.QueryDWORDValue(L"Number", nullptr));
    EXPECT_EQ(0u, reg.QueryDWORDValue(L"Number", &dwValue));
    EXPECT_EQ(0x12345678u, dwValue);
}

TEST_F(RegTest, QueryStringValueSizesAndTypes)
{
    m_key.SetString(L"", L"Text", L"abc");
    m_key.SetDword(L"", L"Number", 1);
    CReg reg;
    ASSERT_EQ(0u, reg.OpenKey(m_key.Path().c_str(), KEY_READ));

    DWORD cch = 0xdeadbeef;
    EXPECT_EQ(0u, reg.QueryStringValue(L"Text", nullptr, &cch));
    EXPECT_EQ(4u, cch);

    WCHAR szBuf[8];
    cch = ARRAYSIZE(szBuf);
    EXPECT_EQ(0u, reg.QueryStringValue(L"Text", szBuf, &cch));
    EXPECT_STREQ(L"abc", szBuf);
    EXPECT_EQ(4u, cch);

    cch = 2;
    EXPECT_EQ(234u, reg.QueryStringValue(L"Text", szBuf, &cch));

    cch = ARRAYSIZE(szBuf);
    EXPECT_EQ(13u, reg.QueryStringValue(L"Number", szBuf, &cch));
    EXPECT_EQ(2u, cch);  // the DWORD's four bytes
    EXPECT_EQ(2u, reg.QueryStringValue(L"Missing", szBuf, &cch));
    EXPECT_EQ(87u, reg.QueryStringValue(nullptr, szBuf, &cch));
    EXPECT_EQ(87u, reg.QueryStringValue(L"Text", szBuf, nullptr));
}

TEST_F(RegTest, StringStoredWithoutTerminatorIsReturnedTerminated)
{
    m_key.SetRaw(L"", L"Bare", REG_SZ, L"abc", 3 * sizeof(WCHAR));
    CReg reg;
    ASSERT_EQ(0u, reg.OpenKey(m_key.Path().c_str(), KEY_READ));

    DWORD cch = 0;
    EXPECT_EQ(0u, reg.QueryStringValue(L"Bare", nullptr, &cch));
    EXPECT_EQ(4u, cch);

    // Exactly the stored characters but no room for the terminator: refused, and
    // nothing is written past the buffer.
    struct {
        WCHAR szBuf[3];
        WCHAR guard[2];
    } guarded;
    guarded.guard[0] = 0x5A5A;
    guarded.guard[1] = 0x5A5A;
    cch = ARRAYSIZE(guarded.szBuf);
    EXPECT_EQ(234u, reg.QueryStringValue(L"Bare", guarded.szBuf, &cch));
    EXPECT_EQ(0x5A5A, guarded.guard[0]);

    WCHAR szBuf[4];
    for (auto& c : szBuf) {
        c = L'#';
    }
    cch = ARRAYSIZE(szBuf);
    EXPECT_EQ(0u, reg.QueryStringValue(L"Bare", szBuf, &cch));
    EXPECT_STREQ(L"abc", szBuf);
    EXPECT_EQ(4u, cch);
}

TEST_F(RegTest, QueryMultiStringValue)
{
    const WCHAR multi[] = L"one\0two\0";
    m_key.SetRaw(L"", L"Multi", REG_MULTI_SZ, multi, sizeof(multi));
    m_key.SetRaw(L"", L"BareMulti", REG_MULTI_SZ, L"one\0two", 7 * sizeof(WCHAR));
    m_key.SetString(L"", L"Text", L"abc");
    CReg reg;
    ASSERT_EQ(0u, reg.OpenKey(m_key.Path().c_str(), KEY_READ));

    DWORD cch = 0;
    EXPECT_EQ(0u, reg.QueryMultiStringValue(L"Multi", nullptr, &cch));
    EXPECT_EQ(9u, cch);
    WCHAR szBuf[16];
    cch = ARRAYSIZE(szBuf);
    ASSERT_EQ(0u, reg.QueryMultiStringValue(L"BareMulti", szBuf, &cch));
    EXPECT_EQ(9u, cch);
    EXPECT_EQ(0, memcmp(szBuf, L"one\0two\0", 9 * sizeof(WCHAR)));
    cch = ARRAYSIZE(szBuf);
    EXPECT_EQ(13u, reg.QueryMultiStringValue(L"Text", szBuf, &cch));
}

TEST_F(RegTest, SetValueArgumentChecksWriteNothing)
{
    CReg reg;
    ASSERT_EQ(0u, reg.OpenKey(m_key.Path().c_str(), KEY_ALL_ACCESS));
    DWORD dwValue = 1;
    EXPECT_EQ(87u, reg.SetValue(L"Q", REG_QWORD, reinterpret_cast<BYTE*>(&dwValue), 4));
    EXPECT_EQ(87u, reg.SetValue(L"D", REG_DWORD, reinterpret_cast<BYTE*>(&dwValue), 3));
    EXPECT_EQ(87u, reg.SetValue(L"B", REG_DWORD_BIG_ENDIAN, reinterpret_cast<BYTE*>(&dwValue), 2));
    EXPECT_EQ(87u, reg.SetValue(nullptr, REG_DWORD, reinterpret_cast<BYTE*>(&dwValue), 4));
    EXPECT_EQ(87u, reg.SetValue(L"N", REG_BINARY, nullptr, 0));
    EXPECT_EQ(87u, reg.SetDWORDValue(nullptr, 1));
    DWORD dwType = 0;
    for (const wchar_t* lpName : {L"Q", L"D", L"B", L"N"}) {
        EXPECT_EQ(2u, reg.QueryValue(lpName, &dwType, nullptr, nullptr)) << Narrow(lpName);
    }
    ULONGLONG ullValue = 0x1122334455667788ull;
    EXPECT_EQ(0u, reg.SetValue(L"Q", REG_QWORD, reinterpret_cast<BYTE*>(&ullValue), 8));
    DWORD cb = 0;
    EXPECT_EQ(0u, reg.QueryValue(L"Q", &dwType, nullptr, &cb));
    EXPECT_EQ(static_cast<DWORD>(REG_QWORD), dwType);
    EXPECT_EQ(8u, cb);
    EXPECT_EQ(87u, reg.QueryValue(nullptr, &dwType, nullptr, &cb));
    EXPECT_EQ(87u, reg.QueryValue(L"Q", nullptr, nullptr, &cb));
}

TEST_F(RegTest, SetStringValueWritesTheTerminator)
{
    CReg reg;
    ASSERT_EQ(0u, reg.OpenKey(m_key.Path().c_str(), KEY_ALL_ACCESS));
    EXPECT_EQ(87u, reg.SetStringValue(L"S", L"abc", 0));
    EXPECT_EQ(87u, reg.SetStringValue(L"S", L"abc", 3));  // no terminator within 3
    EXPECT_EQ(87u, reg.SetStringValue(nullptr, L"abc", 10));
    EXPECT_EQ(87u, reg.SetStringValue(L"S", nullptr, 10));
    ASSERT_EQ(0u, reg.SetStringValue(L"S", L"abc", 4));
    DWORD dwType = 0;
    DWORD cb = 0;
    EXPECT_EQ(0u, reg.QueryValue(L"S", &dwType, nullptr, &cb));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), dwType);
    EXPECT_EQ(8u, cb);
}

TEST_F(RegTest, EnumerationEndsWithNoMoreItems)
{
    m_key.SetDword(L"Parent\\One", L"V", 1);
    m_key.SetDword(L"Parent", L"First", 1);
    CReg reg;
    ASSERT_EQ(0u, reg.OpenKey(Sub(L"Parent").c_str(), KEY_READ));
    WCHAR szName[MAX_PATH];
    DWORD cch = ARRAYSIZE(szName);
    EXPECT_EQ(0u, reg.EnumKey(0, szName, &cch, nullptr));
    EXPECT_STREQ(L"One", szName);
    cch = ARRAYSIZE(szName);
    EXPECT_EQ(259u, reg.EnumKey(1, szName, &cch, nullptr));
    EXPECT_EQ(87u, reg.EnumKey(0, nullptr, &cch, nullptr));
    EXPECT_EQ(87u, reg.EnumKey(0, szName, nullptr, nullptr));

    DWORD dwType = 0;
    DWORD dwData = 0;
    DWORD cbData = sizeof(dwData);
    cch = ARRAYSIZE(szName);
    EXPECT_EQ(0u, reg.EnumValue(0, szName, &cch, &dwType, reinterpret_cast<BYTE*>(&dwData), &cbData));
    EXPECT_STREQ(L"First", szName);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), dwType);
    cch = ARRAYSIZE(szName);
    EXPECT_EQ(259u, reg.EnumValue(1, szName, &cch, &dwType, nullptr, nullptr));
    EXPECT_EQ(87u, reg.EnumValue(0, szName, &cch, nullptr, nullptr, nullptr));
    EXPECT_EQ(87u, reg.EnumValue(0, nullptr, &cch, &dwType, nullptr, nullptr));
}

TEST_F(RegTest, FindSubKeyValueReadsFromTheSubKeyNamedInTheString)
{
    m_key.SetDword(L"DspInfo\\ABC1234", L"Power", 11);
    m_key.SetDword(L"DspInfo\\XYZ9999", L"Power", 22);
    CRegEx reg;
    DWORD dwValue = 0xdeadbeef;
    EXPECT_EQ(0u, reg.FindSubKeyValue(L"MONITOR\\XYZ9999\\{4d36e96e}", Sub(L"DspInfo").c_str(), L"Power", &dwValue));
    EXPECT_EQ(22u, dwValue);
    EXPECT_EQ(nullptr, reg.GetKey());
}

TEST_F(RegTest, FindSubKeyValueWithoutMatch)
{
    m_key.SetDword(L"DspInfo\\ABC1234", L"Power", 11);
    m_key.SetDword(L"DspInfo\\LONGERTHANTHESTRING", L"Power", 33);
    m_key.CreateSub(L"DspInfo\\NOVALUE");
    CRegEx reg;
    DWORD dwValue = 0xdeadbeef;
    // Case matters, and a name longer than the string never matches.
    EXPECT_EQ(259u, reg.FindSubKeyValue(L"abc1234 LONGER", Sub(L"DspInfo").c_str(), L"Power", &dwValue));
    EXPECT_EQ(0xdeadbeefu, dwValue);
    // A matching key without the value gives the query's error.
    EXPECT_EQ(2u, reg.FindSubKeyValue(L"xNOVALUEx", Sub(L"DspInfo").c_str(), L"Power", &dwValue));
    EXPECT_EQ(0xdeadbeefu, dwValue);
    EXPECT_EQ(2u, reg.FindSubKeyValue(L"ABC1234", Sub(L"Missing").c_str(), L"Power", &dwValue));
    EXPECT_EQ(87u, reg.FindSubKeyValue(nullptr, Sub(L"DspInfo").c_str(), L"Power", &dwValue));
    EXPECT_EQ(87u, reg.FindSubKeyValue(L"ABC1234", nullptr, L"Power", &dwValue));
    EXPECT_EQ(87u, reg.FindSubKeyValue(L"ABC1234", Sub(L"DspInfo").c_str(), nullptr, &dwValue));
    EXPECT_EQ(87u, reg.FindSubKeyValue(L"ABC1234", Sub(L"DspInfo").c_str(), L"Power", nullptr));
}

}  // namespace
