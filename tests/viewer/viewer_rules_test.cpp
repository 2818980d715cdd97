// The viewer's rules that need no window: the root configuration read from the
// registry, the Windows version mapping, the dialog font substitution of the Windows XP
// family, and which pipe records the main dialog takes.
#include <algorithm>

#include <gtest/gtest.h>

#include "CDialogTemplate.h"
#include "PipeCmd.h"
#include "QVPipeRecord.h"
#include "QVRootConfig.h"
#include "TestSupport.h"
#include "WinVer.h"
#include "resource.h"

namespace {

// "CnrFlag" and "Function" of each type (none, DWORD, text, 8 bytes): the configuration
// read from them, the other fields untouched; a missing key leaves it as it was.
TEST(ViewerRootConfig, ReadsCnrFlagAndFunctionWithTheirDefaults)
{
    const DWORD kUnset = 0xDEADBEEF;
    const DWORD kText = L'1';  // "1" as REG_SZ
    const struct {
        DWORD dwFlagType, dwFlag, dwFunctionType, dwFunction;
        DWORD dwResult, cnrType, dwLoggingState;
    } cases[] = {
        {REG_NONE, 0, REG_NONE, 0, ERROR_FILE_NOT_FOUND, CNR_COMMERCIAL, 1},
        {REG_DWORD, 1, REG_NONE, 0, ERROR_FILE_NOT_FOUND, CNR_CONSUMER, 1},
        {REG_DWORD, 0, REG_NONE, 0, ERROR_FILE_NOT_FOUND, CNR_COMMERCIAL, 1},
        {REG_DWORD, 2, REG_NONE, 0, ERROR_FILE_NOT_FOUND, CNR_COMMERCIAL, 1},
        {REG_SZ, kText, REG_NONE, 0, ERROR_FILE_NOT_FOUND, CNR_COMMERCIAL, 1},
        {REG_BINARY, 1, REG_NONE, 0, ERROR_FILE_NOT_FOUND, CNR_COMMERCIAL, 1},
        {REG_DWORD, 1, REG_DWORD, 0, 0, CNR_CONSUMER, 0},
        {REG_NONE, 0, REG_DWORD, 1, 0, CNR_COMMERCIAL, 1},
        {REG_NONE, 0, REG_SZ, kText, ERROR_INVALID_DATA, CNR_COMMERCIAL, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.dwFlagType) + " " + std::to_string(c.dwFunctionType));
        testsupport::CTestRegKey key(L"viewerroot");
        const ULONGLONG values[] = {c.dwFlag, c.dwFunction};
        const DWORD types[] = {c.dwFlagType, c.dwFunctionType};
        const wchar_t* names[] = {L"CnrFlag", L"Function"};
        for (int i = 0; i < 2; ++i) {
            if (types[i] != REG_NONE) {
                key.SetRaw(L"", names[i], types[i], &values[i], types[i] == REG_BINARY ? 8 : 4);
            }
        }
        QVRootConfig config = {kUnset, kUnset, kUnset, kUnset};
        EXPECT_EQ(c.dwResult, ReadRegRootConfig(key.Path().c_str(), &config));
        EXPECT_EQ(c.cnrType, config.cnrType);
        EXPECT_EQ(c.dwLoggingState, config.dwLoggingState);
        EXPECT_EQ(kUnset, config.dwOSVersion);
        EXPECT_EQ(kUnset, config.dwPCType);

        QVRootConfig cnrOnly = {kUnset, kUnset, kUnset, kUnset};
        EXPECT_EQ(0u, ReadRegCnrType(key.Path().c_str(), &cnrOnly));
        EXPECT_EQ(c.cnrType, cnrOnly.cnrType);
        EXPECT_EQ(kUnset, cnrOnly.dwLoggingState);
    }
    QVRootConfig config = MakeQVRootConfig();
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ReadRegRootConfig(L"Software\\ZAVTest\\NoSuchKey", &config));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ReadRegCnrType(L"Software\\ZAVTest\\NoSuchKey", &config));
    EXPECT_EQ(1u, config.dwLoggingState);
    EXPECT_EQ(0u, config.cnrType);
}

TEST(ViewerOSVersion, TheXPFamilyIsMajorVersionFive)
{
    // Major, minor, what the viewer makes of it.
    const DWORD cases[][3] = {{5, 0, QV_OS_XP}, {5, 1, QV_OS_XP},    {5, 2, QV_OS_XP},    {6, 0, QV_OS_VISTA},
                              {6, 1, QV_OS_7},  {6, 2, QV_OS_OTHER}, {6, 3, QV_OS_OTHER}, {10, 0, QV_OS_OTHER}};
    for (const auto& c : cases) {
        CWinVer::SetEmulatedVersion(c[0], c[1]);
        CWinVer winVer;
        EXPECT_EQ(c[2], DetectOSVersion(&winVer)) << c[0] << "." << c[1];
    }
    CWinVer::ClearEmulatedVersion();
    EXPECT_EQ(static_cast<DWORD>(QV_OS_OTHER), OSVersionFromRelations(WINVER_UNKNOWN, WINVER_UNKNOWN));
}

// The face of a dialog made from a template, and how many controls it has.
std::pair<std::wstring, int> MadeDialog(const CDialogTemplate& dlgTemplate)
{
    // The panes' templates are child dialogs: they need a parent.
    HWND hParent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
    HWND hDlg = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), dlgTemplate.Get(), hParent,
                                           [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    LOGFONTW lf = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hDlg, WM_GETFONT, 0, 0)), sizeof(lf), &lf);
    int nControls = 0;
    for (HWND h = GetWindow(hDlg, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT)) {
        ++nControls;
    }
    DestroyWindow(hDlg);
    DestroyWindow(hParent);
    return {lf.lfFaceName, nControls};
}

// Every template names the dialog face at 9 points; the substitution changes the face,
// keeps the size, and leaves every control's bytes as they were: the dialog Windows
// makes from it has the new face and every control.
TEST(ViewerDialogTemplate, FontSubstitutionKeepsSizeAndControls)
{
    for (UINT nId : {IDD_QVCHILDDLG_LOG, IDD_QVDLG_DEFAULT, IDD_QVCHILDDLG_REALTIME, IDD_QVCHILDDLG_MONITOR}) {
        for (const wchar_t* lpFace : {L"Tahoma", L"MS Shell Dlg 2", L"A"}) {
            SCOPED_TRACE(std::to_string(nId) + " " + testsupport::Narrow(lpFace));
            CDialogTemplate original;
            ASSERT_EQ(0u, original.Load(GetModuleHandleW(nullptr), nId));
            std::wstring face;
            WORD wPoints = 0;
            ASSERT_EQ(0u, original.GetFont(&face, &wPoints));
            EXPECT_EQ(L"メイリオ", face);
            EXPECT_EQ(9, wPoints);

            CDialogTemplate changed;
            changed.Assign(original.Bytes().data(), original.Bytes().size());
            ASSERT_EQ(0u, changed.SetFontFace(lpFace));
            ASSERT_EQ(0u, changed.GetFont(&face, &wPoints));
            EXPECT_EQ(lpFace, face);
            EXPECT_EQ(9, wPoints);
            // The controls follow the face, DWORD-aligned, unchanged.
            const size_t kTail = 64;
            EXPECT_EQ(0u, (changed.Bytes().size() - original.Bytes().size()) % 4);
            EXPECT_TRUE(std::equal(original.Bytes().end() - kTail, original.Bytes().end(),
                                   changed.Bytes().end() - kTail));
            // The main dialog's template names a window class only the viewer registers.
            if (std::wstring(lpFace) == L"Tahoma" && nId != IDD_QVDLG_DEFAULT) {
                const auto made = MadeDialog(changed);
                EXPECT_EQ(L"Tahoma", made.first);
                EXPECT_EQ(MadeDialog(original).second, made.second);
                EXPECT_GT(made.second, 0);
            }
        }
    }
}

TEST(ViewerDialogTemplate, RefusesWhatIsNoExtendedTemplateWithAFont)
{
    CDialogTemplate dlgTemplate;
    ASSERT_EQ(0u, dlgTemplate.Load(GetModuleHandleW(nullptr), IDD_QVDLG_DEFAULT));
    std::vector<BYTE> bytes = dlgTemplate.Bytes();
    // Cut in the header, cut before the end of the face, no DS_SETFONT, a plain template.
    std::vector<std::vector<BYTE>> broken = {std::vector<BYTE>(bytes.begin(), bytes.begin() + 20),
                                             std::vector<BYTE>(bytes.begin(), bytes.begin() + 90), bytes, bytes};
    broken[2][12] &= static_cast<BYTE>(~DS_SETFONT);
    broken[3][2] = 0;  // no 0xFFFF signature: a DLGTEMPLATE
    for (size_t i = 0; i < broken.size(); ++i) {
        CDialogTemplate bad;
        bad.Assign(broken[i].data(), broken[i].size());
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), bad.SetFontFace(L"Tahoma")) << i;
        EXPECT_EQ(broken[i], bad.Bytes()) << i;
    }
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), dlgTemplate.SetFontFace(L""));
}

TEST(ViewerPipeRecord, SizesAndCommandsTheDialogTakes)
{
    const struct {
        DWORD dwSize;
        bool bAccepted;
    } sizes[] = {{3, false}, {4, true}, {0x7FFFFFFF, true}, {0x80000000, false}};
    for (const auto& c : sizes) {
        EXPECT_EQ(c.bAccepted, IsAcceptedRecordSize(c.dwSize)) << c.dwSize;
    }
    const struct { DWORD dwCmd; DWORD cb; QVRecordKind kind; } records[] = {
        {PIPECMD_NOTIFY_SYSINFO, 273, QVRECORD_NOTIFY_SYSINFO}, {PIPECMD_NOTIFY_SYSINFO, 274, QVRECORD_WRONG_SIZE},
        {PIPECMD_SWITCH_FUNCTION, 8, QVRECORD_SWITCH_FUNCTION}, {PIPECMD_SWITCH_FUNCTION, 12, QVRECORD_WRONG_SIZE},
        {PIPECMD_SWITCH_FUNCTION, 7, QVRECORD_WRONG_SIZE},      {PIPECMD_ACTIVE_POWERPLAN, 262, QVRECORD_UNKNOWN},
        {5, 273, QVRECORD_UNKNOWN},                             {PIPECMD_NOTIFY_SYSINFO, 3, QVRECORD_UNKNOWN},
    };
    for (const auto& c : records) {
        std::vector<BYTE> record(std::max<DWORD>(c.cb, sizeof(DWORD)), 0);
        CopyMemory(record.data(), &c.dwCmd, sizeof(c.dwCmd));
        EXPECT_EQ(c.kind, ClassifyRecord(record.data(), c.cb)) << c.dwCmd << " of " << c.cb;
    }
    EXPECT_EQ(QVRECORD_UNKNOWN, ClassifyRecord(nullptr, 273));
}

}  // namespace
