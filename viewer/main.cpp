// quoviewer.exe: the viewer's entry point.
#include <windows.h>

#include "CQuoViewerApp.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPWSTR /*lpCmdLine*/, int /*nCmdShow*/)
{
    CQuoViewerApp app;
    return app.Run(hInstance);
}
