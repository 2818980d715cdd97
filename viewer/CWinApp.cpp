#include "CWinApp.h"

namespace {
HINSTANCE g_hInstance = nullptr;
}

CWinApp::CWinApp() = default;

CWinApp::~CWinApp() = default;

int CWinApp::Run(HINSTANCE hInstance)
{
    g_hInstance = hInstance;
    return InitInstance() ? 1 : 0;
}

HINSTANCE CWinApp::GetInstanceHandle()
{
    return (g_hInstance != nullptr) ? g_hInstance : GetModuleHandleW(nullptr);
}
