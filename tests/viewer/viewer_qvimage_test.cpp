// The histogram image refuses more bars than a day has half hours: nothing drawn, no
// tooltip left behind. What it draws is judged on screen by viewer_logpane.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <vector>

#include "QVImage.h"

namespace {

TEST(QVImage, FortyNineBarsDrawNothing)
{
    HWND hOwner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 650, 228, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, hOwner);
    HWND hTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0, hOwner,
                                nullptr, nullptr, nullptr);
    CQVImage image;
    ASSERT_EQ(0u, image.Initialize(hOwner, L"IPAGothic"));
    QVHistogramSettings settings;
    QVLogBar bar;
    bar.dEnergyWh = 50.0;
    EXPECT_EQ(87u, image.DrawLogGraph(QV_LOGMODE_DAY, CNR_CONSUMER, std::vector<QVLogBar>(49, bar), settings, hOwner,
                                      hTip));
    const RECT& rc = image.ClientRect();
    for (int x = rc.left; x < rc.right; x += 3) {
        for (int y = rc.top; y < rc.bottom; y += 3) {
            ASSERT_EQ(settings.dwAreaColor, GetPixel(image.MemDC(), x, y)) << x << "," << y;
        }
    }
    EXPECT_EQ(0, SendMessageW(hTip, TTM_GETTOOLCOUNT, 0, 0));
    image.Finalize();
    DestroyWindow(hTip);
    DestroyWindow(hOwner);
}

}  // namespace
