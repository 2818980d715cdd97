// The simulated QuoLevel.dll, linked by name through the product's import library as the
// service and the agent link it: its answers and failures come from the registry, and
// its callback reports changes from a thread of its own.
#include <windows.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "QuoLevel.h"
#include "SimSetting.h"

namespace {

const wchar_t kLevelKey[] = L"QuoLevel";

// Records the events a callback receives, with the thread that delivered each.
class CEventRecorder {
public:
    static BOOL WINAPI Callback(DWORD dwEvent, LPVOID lParam)
    {
        auto* pThis = static_cast<CEventRecorder*>(lParam);
        std::lock_guard<std::mutex> lock(pThis->m_mutex);
        pThis->m_events.push_back({dwEvent, GetCurrentThreadId()});
        return TRUE;
    }

    // True once dwEvent has been received nCount times, waiting up to 30 s (long enough
    // for a loaded machine; a passing test never waits for it).
    bool WaitFor(DWORD dwEvent, size_t nCount = 1)
    {
        for (ULONGLONG ullEnd = GetTickCount64() + 30000; Count(dwEvent) < nCount; Sleep(10)) {
            if (GetTickCount64() > ullEnd) {
                return false;
            }
        }
        return true;
    }

    size_t Count(DWORD dwEvent)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::count_if(m_events.begin(), m_events.end(), [&](const Event& e) { return e.dwEvent == dwEvent; });
    }

    bool AllOnOtherThreads()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::none_of(m_events.begin(), m_events.end(),
                            [](const Event& e) { return e.dwThread == GetCurrentThreadId(); });
    }

private:
    struct Event {
        DWORD dwEvent;
        DWORD dwThread;
    };
    std::mutex m_mutex;
    std::vector<Event> m_events;
};

TEST(QuoLevelLibrary, ChangesFireTheirEventsOnALibraryThread)
{
    CEventRecorder recorder;
    ASSERT_TRUE(QuoApiInitializeSrv());
    ASSERT_TRUE(QuoApiRegisterCallback(CEventRecorder::Callback, &recorder));
    EXPECT_EQ(3u, QuoApiGetActiveQuoLevel()) << "the default level";
    CSimSetting level(kLevelKey, L"Level", 4);
    EXPECT_TRUE(recorder.WaitFor(QUOLEVEL_LEVEL_CHANGE));
    EXPECT_EQ(4u, QuoApiGetActiveQuoLevel());
    level.Set(5);
    EXPECT_TRUE(recorder.WaitFor(QUOLEVEL_LEVEL_CHANGE, 2));
    EXPECT_EQ(5u, QuoApiGetActiveQuoLevel());
    EXPECT_EQ(0u, recorder.Count(QUOLEVEL_MONITOR_CHANGE));

    CSimSetting name(kLevelKey, L"Monitor1Name", std::wstring(L"ZAV-EXT 23"));
    EXPECT_TRUE(recorder.WaitFor(QUOLEVEL_MONITOR_CHANGE));
    CSimSetting request(kLevelKey, L"MonitorUpdateRequest", 1);
    EXPECT_TRUE(recorder.WaitFor(QUOLEVEL_REQUEST_MONITORUPDATE));
    EXPECT_EQ(2u, recorder.Count(QUOLEVEL_LEVEL_CHANGE));
    EXPECT_TRUE(recorder.AllOnOtherThreads());
    // Stopped before the settings are restored and the recorder goes away.
    QuoApiFinalizeSrv();
}

TEST(QuoLevelLibrary, NoCallbackAfterFinalize)
{
    CEventRecorder first, later;
    ASSERT_TRUE(QuoApiInitializeSrv());
    ASSERT_TRUE(QuoApiRegisterCallback(CEventRecorder::Callback, &first));
    QuoApiFinalizeSrv();
    ASSERT_TRUE(QuoApiInitializeSrv());
    ASSERT_TRUE(QuoApiRegisterCallback(CEventRecorder::Callback, &later));
    bool bDelivered;
    {
        CSimSetting level(kLevelKey, L"Level", 2);
        bDelivered = later.WaitFor(QUOLEVEL_LEVEL_CHANGE);
    }
    // Stopped before the recorders go away, whatever the outcome.
    QuoApiFinalizeSrv();
    EXPECT_TRUE(bDelivered);
    // The first callback would have seen the same change.
    EXPECT_EQ(0u, first.Count(QUOLEVEL_LEVEL_CHANGE));
}

DWORD CallCount(const wchar_t* lpFunction)
{
    DWORD dwCount = 0, cbCount = sizeof(dwCount);
    RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\ZAVSim\\QuoLevelCalls", lpFunction, RRF_RT_REG_DWORD, nullptr,
                 &dwCount, &cbCount);
    return dwCount;
}

// The failure switches, and every call counted, failed or not.
TEST(QuoLevelLibrary, FailuresComeFromTheRegistryAndEveryCallIsCounted)
{
    DWORD dwUpdates = CallCount(L"QuoApiUpdateMonitorInfo");
    DWORD dwLevels = CallCount(L"QuoApiGetActiveQuoLevel");
    {
        CSimSetting fail(kLevelKey, L"FailInitializeSrv", 1);
        EXPECT_FALSE(QuoApiInitializeSrv());
    }
    CEventRecorder recorder;
    EXPECT_FALSE(QuoApiRegisterCallback(CEventRecorder::Callback, &recorder)) << "registered before initialising";
    ASSERT_TRUE(QuoApiInitializeSrv());
    EXPECT_FALSE(QuoApiRegisterCallback(nullptr, &recorder));
    {
        CSimSetting fail(kLevelKey, L"FailRegisterCallback", 1);
        EXPECT_FALSE(QuoApiRegisterCallback(CEventRecorder::Callback, &recorder));
    }
    for (DWORD dwAnswer : {QUOLEVEL_ERROR_UNKNOWN_LEVEL, QUOLEVEL_ERROR_READ_FAULT, QUOLEVEL_ERROR_NOT_SUPPORTED}) {
        CSimSetting level(kLevelKey, L"Level", dwAnswer);
        EXPECT_EQ(dwAnswer, QuoApiGetActiveQuoLevel());
    }
    {
        CSimSetting fail(kLevelKey, L"FailWatchActiveScheme", 1);
        EXPECT_FALSE(QuoApiInitializeWatchActiveScheme());
        EXPECT_FALSE(QuoApiFinalizeWatchActiveScheme());
        CSimSetting failUpdate(kLevelKey, L"FailUpdate", 1);
        EXPECT_FALSE(QuoApiUpdateMonitorInfo());
        EXPECT_FALSE(QuoApiUpdateActiveQuoLevel());
    }
    EXPECT_TRUE(QuoApiInitializeWatchActiveScheme());
    EXPECT_TRUE(QuoApiFinalizeWatchActiveScheme());
    EXPECT_TRUE(QuoApiUpdateMonitorInfo());
    EXPECT_TRUE(QuoApiUpdateActiveQuoLevel());
    QuoApiFinalizeSrv();
    QuoApiFinalizeSrv();
    EXPECT_EQ(dwUpdates + 2, CallCount(L"QuoApiUpdateMonitorInfo"));
    EXPECT_EQ(dwLevels + 3, CallCount(L"QuoApiGetActiveQuoLevel"));
}

TEST(QuoLevelLibrary, MonitorInformation)
{
    QuoMonitorInfo info;
    memset(&info, 0xCC, sizeof(info));
    ASSERT_EQ(0u, QuoApiGetCurrentMonitorInfo(&info));
    EXPECT_EQ(L'\0', info.Monitor[0].szMonitorName[0]) << "no displays by default";
    EXPECT_EQ(L'\0', info.Monitor[1].szMonitorName[0]);

    CSimSetting name1(kLevelKey, L"Monitor1Name", std::wstring(40, L'M'));
    CSimSetting level1(kLevelKey, L"Monitor1Level", 4);
    CSimSetting name2(kLevelKey, L"Monitor2Name", std::wstring(L"ZAV-EXT 23"));
    CSimSetting level2(kLevelKey, L"Monitor2Level", QUOMONITOR_LEVEL_NONE_1);
    ASSERT_EQ(0u, QuoApiGetCurrentMonitorInfo(&info));
    EXPECT_EQ(std::wstring(QUOMONITOR_NAME_CHARS - 1, L'M'), info.Monitor[0].szMonitorName);
    EXPECT_EQ(4u, info.Monitor[0].dwLevel);
    EXPECT_STREQ(L"ZAV-EXT 23", info.Monitor[1].szMonitorName);
    EXPECT_EQ(static_cast<DWORD>(QUOMONITOR_LEVEL_NONE_1), info.Monitor[1].dwLevel);

    CSimSetting error(kLevelKey, L"MonitorInfoError", ERROR_NOT_READY);
    QuoMonitorInfo untouched = {};
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), QuoApiGetCurrentMonitorInfo(&untouched));
    EXPECT_EQ(L'\0', untouched.Monitor[0].szMonitorName[0]);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), QuoApiGetCurrentMonitorInfo(nullptr));
}

}  // namespace
