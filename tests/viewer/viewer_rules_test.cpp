// The viewer's rules that need no window: the root configuration read from the
// registry, the Windows version mapping, the tab labels, the dialog font substitution
// of the Windows XP family, and which pipe records the main dialog takes.
#include <windows.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "CDialogTemplate.h"
#include "PipeCmd.h"
#include "QVPipeRecord.h"
#include "QVRootConfig.h"
#include "TabLabels.h"
#include "TestSupport.h"
#include "WinVer.h"
#include "resource.h"

namespace {

const DWORD kUnset = 0xDEADBEEF;

QVRootConfig Sentinel()
{
    return QVRootConfig{kUnset, kUnset, kUnset, kUnset};
}

struct RootConfigCase {
    const wchar_t* lpName;
    // Values written below the key: name, type, data.
    std::vector<std::tuple<const wchar_t*, DWORD, std::vector<BYTE>>> values;
    DWORD dwResult;
    DWORD cnrType;
    DWORD dwLoggingState;
};

std::vector<BYTE> DwordBytes(DWORD dwValue)
{
    const BYTE* p = reinterpret_cast<const BYTE*>(&dwValue);
    return std::vector<BYTE>(p, p + sizeof(dwValue));
}

TEST(ViewerRootConfig, ReadsCnrFlagAndFunctionWithTheirDefaults)
{
    const std::vector<BYTE> kText = {'1', 0, 0, 0};
    const std::vector<RootConfigCase> cases = {
        {L"nothing set", {}, ERROR_FILE_NOT_FOUND, CNR_COMMERCIAL, 1},
        {L"consumer", {{L"CnrFlag", REG_DWORD, DwordBytes(1)}}, ERROR_FILE_NOT_FOUND, CNR_CONSUMER, 1},
        {L"commercial", {{L"CnrFlag", REG_DWORD, DwordBytes(2)}}, ERROR_FILE_NOT_FOUND, CNR_COMMERCIAL, 1},
        {L"zero flag", {{L"CnrFlag", REG_DWORD, DwordBytes(0)}}, ERROR_FILE_NOT_FOUND, CNR_COMMERCIAL, 1},
        {L"flag as text", {{L"CnrFlag", REG_SZ, kText}}, ERROR_FILE_NOT_FOUND, CNR_COMMERCIAL, 1},
        {L"flag of 8 bytes", {{L"CnrFlag", REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0}}}, ERROR_FILE_NOT_FOUND,
         CNR_COMMERCIAL, 1},
        {L"logging off", {{L"CnrFlag", REG_DWORD, DwordBytes(1)}, {L"Function", REG_DWORD, DwordBytes(0)}}, 0,
         CNR_CONSUMER, 0},
        {L"logging on", {{L"Function", REG_DWORD, DwordBytes(1)}}, 0, CNR_COMMERCIAL, 1},
        {L"function as text", {{L"Function", REG_SZ, kText}}, ERROR_INVALID_DATA, CNR_COMMERCIAL, 1},
    };
    for (const RootConfigCase& c : cases) {
        SCOPED_TRACE(testsupport::Narrow(c.lpName));
        testsupport::CTestRegKey key(L"viewerroot");
        for (const auto& value : c.values) {
            key.SetRaw(L"", std::get<0>(value), std::get<1>(value), std::get<2>(value).data(),
                       static_cast<DWORD>(std::get<2>(value).size()));
        }
        QVRootConfig config = Sentinel();
        EXPECT_EQ(c.dwResult, ReadRegRootConfig(key.Path().c_str(), &config));
        EXPECT_EQ(c.cnrType, config.cnrType);
        EXPECT_EQ(c.dwLoggingState, config.dwLoggingState);
        EXPECT_EQ(kUnset, config.dwOSVersion);
        EXPECT_EQ(kUnset, config.dwPCType);

        QVRootConfig cnrOnly = Sentinel();
        EXPECT_EQ(0u, ReadRegCnrType(key.Path().c_str(), &cnrOnly));
        EXPECT_EQ(c.cnrType, cnrOnly.cnrType);
        EXPECT_EQ(kUnset, cnrOnly.dwLoggingState);
    }
}

TEST(ViewerRootConfig, MissingKeyLeavesTheConfigurationAsItWas)
{
    QVRootConfig config = MakeQVRootConfig();
    const wchar_t kMissing[] = L"Software\\ZAVTest\\NoSuchViewerKey";
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ReadRegRootConfig(kMissing, &config));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, static_cast<int>(ReadRegCnrType(kMissing, &config)));
    EXPECT_EQ(1u, config.dwLoggingState);
    EXPECT_EQ(0u, config.cnrType);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), ReadRegRootConfig(kMissing, nullptr));
    // Whatever the flag, only a consumer model is named "タロメ".
    EXPECT_EQ(static_cast<UINT>(IDS_PRODUCT_COMMERCIAL), ProductNameStringId(0));
    EXPECT_EQ(static_cast<UINT>(IDS_PRODUCT_CONSUMER), ProductNameStringId(CNR_CONSUMER));
    EXPECT_EQ(static_cast<UINT>(IDS_PRODUCT_COMMERCIAL), ProductNameStringId(CNR_COMMERCIAL));
}

TEST(ViewerOSVersion, TheXPFamilyIsMajorVersionFive)
{
    const struct {
        DWORD dwMajor;
        DWORD dwMinor;
        DWORD dwOSVersion;
    } cases[] = {
        {5, 0, QV_OS_XP}, {5, 1, QV_OS_XP}, {5, 2, QV_OS_XP}, {6, 0, QV_OS_VISTA},
        {6, 1, QV_OS_7},  {6, 2, QV_OS_OTHER}, {6, 3, QV_OS_OTHER}, {10, 0, QV_OS_OTHER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.dwMajor) + "." + std::to_string(c.dwMinor));
        CWinVer::SetEmulatedVersion(c.dwMajor, c.dwMinor);
        CWinVer winVer;
        EXPECT_EQ(c.dwOSVersion, DetectOSVersion(&winVer));
    }
    CWinVer::ClearEmulatedVersion();
    EXPECT_EQ(static_cast<DWORD>(QV_OS_OTHER), OSVersionFromRelations(WINVER_UNKNOWN, WINVER_UNKNOWN));
}

TEST(ViewerTabs, FiveLabelsOfWordAndPaneTitle)
{
    const wchar_t* kExpected[] = {L"現在 (消費電力)", L"日 (消費電力量)", L"週 (消費電力量)", L"月 (消費電力量)",
                                  L"年 (消費電力量)"};
    const wchar_t* kTitles[] = {L"消費電力", L"消費電力量", L"消費電力量", L"消費電力量", L"消費電力量"};
    for (int nTab = 0; nTab < kTabCount; ++nTab) {
        EXPECT_EQ(kExpected[nTab], BuildTabLabel(nTab, kTitles[nTab])) << nTab;
    }
    EXPECT_EQ(L"", BuildTabLabel(kTabCount, L"x"));
    EXPECT_EQ(L"", BuildTabLabel(-1, L"x"));
}

// Every template names the dialog face at 9 points; the substitution changes the face,
// keeps the size, and leaves every control's bytes as they were.
TEST(ViewerDialogTemplate, FontSubstitutionKeepsSizeAndControls)
{
    const wchar_t* kFaces[] = {L"Tahoma", L"MS Shell Dlg 2", L"A"};
    for (UINT nId : {IDD_QVCHILDDLG_LOG, IDD_QVDLG_DEFAULT, IDD_QVCHILDDLG_REALTIME, IDD_QVCHILDDLG_MONITOR}) {
        for (const wchar_t* lpFace : kFaces) {
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
        }
    }
}

// A pane made from a substituted template has every control of the original, at the
// same place, and uses the new face.
TEST(ViewerDialogTemplate, PaneFromSubstitutedTemplateHasItsControls)
{
    HWND hParent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, hParent);
    auto controls = [&](LPCDLGTEMPLATEW lpTemplate, std::wstring* pFace) {
        HWND hDlg = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), lpTemplate, hParent,
                                               [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
        std::vector<std::pair<int, RECT>> found;
        EXPECT_NE(nullptr, hDlg);
        if (hDlg == nullptr) {
            return found;
        }
        LOGFONTW lf = {};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hDlg, WM_GETFONT, 0, 0)), sizeof(lf), &lf);
        *pFace = lf.lfFaceName;
        for (HWND h = GetWindow(hDlg, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT)) {
            RECT rc = {};
            GetWindowRect(h, &rc);
            MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT*>(&rc), 2);
            found.emplace_back(GetDlgCtrlID(h), rc);
        }
        DestroyWindow(hDlg);
        return found;
    };
    CDialogTemplate original;
    ASSERT_EQ(0u, original.Load(GetModuleHandleW(nullptr), IDD_QVCHILDDLG_MONITOR));
    CDialogTemplate changed;
    changed.Assign(original.Bytes().data(), original.Bytes().size());
    ASSERT_EQ(0u, changed.SetFontFace(L"Tahoma"));
    std::wstring originalFace;
    std::wstring changedFace;
    auto before = controls(original.Get(), &originalFace);
    auto after = controls(changed.Get(), &changedFace);
    EXPECT_EQ(L"Tahoma", changedFace);
    ASSERT_EQ(10u, before.size());
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(before[i].first, after[i].first);
    }
    DestroyWindow(hParent);
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
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), dlgTemplate.SetFontFace(nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), dlgTemplate.SetFontFace(L""));
}

TEST(ViewerPipeRecord, SizesAndCommandsTheDialogTakes)
{
    const struct {
        DWORD dwSize;
        bool bAccepted;
    } sizes[] = {{0, false}, {3, false}, {4, true}, {273, true}, {0x7FFFFFFF, true}, {0x80000000, false},
                 {0xFFFFFFFF, false}};
    for (const auto& c : sizes) {
        EXPECT_EQ(c.bAccepted, IsAcceptedRecordSize(c.dwSize)) << c.dwSize;
    }
    const struct {
        DWORD dwCmd;
        DWORD cb;
        QVRecordKind kind;
    } records[] = {
        {PIPECMD_NOTIFY_SYSINFO, 273, QVRECORD_NOTIFY_SYSINFO},   {PIPECMD_NOTIFY_SYSINFO, 272, QVRECORD_WRONG_SIZE},
        {PIPECMD_NOTIFY_SYSINFO, 274, QVRECORD_WRONG_SIZE},       {PIPECMD_SWITCH_FUNCTION, 8, QVRECORD_SWITCH_FUNCTION},
        {PIPECMD_SWITCH_FUNCTION, 12, QVRECORD_WRONG_SIZE},       {PIPECMD_SWITCH_FUNCTION, 7, QVRECORD_WRONG_SIZE},
        {PIPECMD_ACTIVE_POWERPLAN, 262, QVRECORD_UNKNOWN},         {PIPECMD_UPDATE_QUOLEVEL, 4, QVRECORD_UNKNOWN},
        {5, 273, QVRECORD_UNKNOWN},                               {PIPECMD_NOTIFY_SYSINFO, 3, QVRECORD_UNKNOWN},
    };
    for (const auto& c : records) {
        std::vector<BYTE> record(std::max<DWORD>(c.cb, sizeof(DWORD)), 0);
        CopyMemory(record.data(), &c.dwCmd, sizeof(c.dwCmd));
        EXPECT_EQ(c.kind, ClassifyRecord(record.data(), c.cb)) << c.dwCmd << " of " << c.cb;
    }
    EXPECT_EQ(QVRECORD_UNKNOWN, ClassifyRecord(nullptr, 273));
}

}  // namespace
