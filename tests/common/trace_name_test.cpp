// The "Class::Method" names the trace macros derive from the compiler's signatures.
#include <gtest/gtest.h>

#include "Trace.h"

namespace {

std::wstring NameOf(const char* lpSignature)
{
    return CTraceFunctionName(lpSignature).Get();
}

TEST(TraceFunctionName, StripsReturnTypeAndParameters)
{
    EXPECT_EQ(L"CThread::Initialize", NameOf("DWORD CThread::Initialize(LPTHREAD_FUNC, LPVOID)"));
    EXPECT_EQ(L"CThread::ThreadProc", NameOf("static DWORD CThread::ThreadProc(LPVOID)"));
    EXPECT_EQ(L"wmain", NameOf("int wmain(int, wchar_t**)"));
    EXPECT_EQ(L"CPipe::CPipe", NameOf("CPipe::CPipe()"));
    EXPECT_EQ(L"CPipe::~CPipe", NameOf("virtual CPipe::~CPipe()"));
    EXPECT_EQ(L"CFoo::Get", NameOf("WCHAR* CFoo::Get() const"));
    EXPECT_EQ(L"CFoo::Ref", NameOf("const CBar& CFoo::Ref()"));
}

TEST(TraceFunctionName, TemplatesAndOperators)
{
    EXPECT_EQ(L"CFoo::Get", NameOf("std::map<int, long int> CFoo::Get(int)"));
    EXPECT_EQ(L"CBox<T>::Put", NameOf("void CBox<T>::Put(T) [with T = int]"));
    EXPECT_EQ(L"CFoo::operator()", NameOf("bool CFoo::operator()(int)"));
    EXPECT_EQ(L"Helper", NameOf("DWORD {anonymous}::Helper(DWORD)"));
    EXPECT_EQ(L"CSample::Run", NameOf("DWORD {anonymous}::CSample::Run(LPCWSTR)"));
}

TEST(TraceFunctionName, LongNamesAreCut)
{
    std::string signature = "void C" + std::string(300, 'x') + "::M()";
    std::wstring name = NameOf(signature.c_str());
    EXPECT_EQ(CTraceFunctionName::kNameChars - 1, name.size());
    EXPECT_EQ(L"Cxxx", name.substr(0, 4));
}

}  // namespace
