// Smoke test of the simulated QuoLevel.dll, linked by name through the product's import
// library as the service and the agent link it: it answers the level the registry holds
// and reports a change from a thread of its own.
#include <atomic>

#include <gtest/gtest.h>

#include "QuoLevel.h"
#include "SimSetting.h"
#include "TestSupport.h"

namespace {

struct CChanges {
    std::atomic<LONG> lLevelChanges{0};
    std::atomic<bool> bOnCallersThread{false};
    DWORD dwCaller = GetCurrentThreadId();

    static BOOL WINAPI Callback(DWORD dwEvent, LPVOID lParam)
    {
        auto* pThis = static_cast<CChanges*>(lParam);
        pThis->lLevelChanges += (dwEvent == QUOLEVEL_LEVEL_CHANGE) ? 1 : 0;
        pThis->bOnCallersThread = pThis->bOnCallersThread || GetCurrentThreadId() == pThis->dwCaller;
        return TRUE;
    }
};

TEST(QuoLevelLibrary, AnswersTheLevelAndReportsItsChange)
{
    CChanges changes;
    ASSERT_TRUE(QuoApiInitializeSrv());
    ASSERT_TRUE(QuoApiRegisterCallback(CChanges::Callback, &changes));
    EXPECT_EQ(3u, QuoApiGetActiveQuoLevel()) << "the default level";
    bool bReported;
    {
        CSimSetting level(L"QuoLevel", L"Level", 4);
        bReported = testsupport::WaitUntil([&] { return changes.lLevelChanges.load() == 1; }, 30000);
        EXPECT_EQ(4u, QuoApiGetActiveQuoLevel());
    }
    // Stopped before the recorder goes away, whatever the outcome.
    QuoApiFinalizeSrv();
    EXPECT_TRUE(bReported);
    EXPECT_FALSE(changes.bOnCallersThread.load());
}

}  // namespace
