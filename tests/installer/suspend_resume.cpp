// Stands in for the installed service across a suspend and resume, which Wine never
// delivers to a service: run while the installed service is stopped, the service's own
// controller samples, is told of the suspend, stays asleep without a tick, is told of
// the resume and samples again. Its records are those the service writes on these
// events, in the same log.
//
//   suspend_resume.exe SECONDS_AWAKE SECONDS_ASLEEP
// Exit code: 0, 87 for bad arguments, or the controller's start-up error.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "ServiceCtrl.h"

namespace {

const DWORD kTickMs = 1000;

void Sample(CServiceCtrl& ctrl, DWORD dwSeconds)
{
    for (DWORD i = 0; i < dwSeconds; ++i) {
        ctrl.OnTimer(0);
        Sleep(kTickMs);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        fwprintf(stderr, L"usage: suspend_resume SECONDS_AWAKE SECONDS_ASLEEP\n");
        return ERROR_INVALID_PARAMETER;
    }
    DWORD dwAwake = wcstoul(argv[1], nullptr, 10);
    DWORD dwAsleep = wcstoul(argv[2], nullptr, 10);
    CServiceCtrl ctrl;
    DWORD dwResult = ctrl.InitializeEx();
    if (dwResult == ERROR_SUCCESS) {
        dwResult = ctrl.BeforeMainLoop(nullptr);
        if (dwResult == ERROR_SUCCESS) {
            Sample(ctrl, dwAwake);
            ctrl.OnPowerEvent(PBT_APMSUSPEND, nullptr);
            Sleep(dwAsleep * 1000);
            ctrl.OnPowerEvent(PBT_APMRESUMEAUTOMATIC, nullptr);
            ctrl.OnPowerEvent(PBT_APMRESUMESUSPEND, nullptr);
            Sample(ctrl, dwAwake);
        }
        // As the service does: the END record and the log flushed, also after a failure.
        ctrl.AfterMainLoop(nullptr);
    }
    ctrl.FinalizeEx();
    if (dwResult != ERROR_SUCCESS) {
        fwprintf(stderr, L"suspend_resume: the controller did not start (%lu)\n", dwResult);
    }
    return static_cast<int>(dwResult);
}
