// The histogram image drawn into its memory bitmap on a window of its own, judged on
// pixels: every bar stands at the height and in the columns the layout gives, with its
// shading; the grid; the day view's bands merge equal plans into one segment with one
// tooltip; 49 bars draw nothing.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <vector>

#include "LogGraphMath.h"
#include "QVImage.h"

namespace {

class QVImageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        hOwner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 650, 228, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, hOwner);
        hTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0, hOwner,
                               nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, hTip);
        ASSERT_EQ(0u, image.Initialize(hOwner, L"IPAGothic"));
        settings.strBarTipConsumer = L"QUO %.0f Wh / %.0f Wh";
        settings.strBarTipCommercial = L"%.0fWh";
    }
    void TearDown() override
    {
        image.Finalize();
        DestroyWindow(hTip);
        DestroyWindow(hOwner);
    }

    COLORREF Pixel(int x, int y) { return GetPixel(image.MemDC(), x, y); }
    bool IsPlotBackground(COLORREF cr) const { return cr == settings.dwBgColor || cr == settings.dwGridColor; }

    // The ids of the tips in the tooltip control, by kind.
    std::vector<UINT> TipIds(UINT nFirst, UINT nLast)
    {
        std::vector<UINT> ids;
        const int nCount = static_cast<int>(SendMessageW(hTip, TTM_GETTOOLCOUNT, 0, 0));
        for (int i = 0; i < nCount; ++i) {
            TOOLINFOW ti = {};
            ti.cbSize = TTTOOLINFOW_V2_SIZE;
            if (SendMessageW(hTip, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(&ti)) && ti.uId >= nFirst &&
                ti.uId <= nLast) {
                ids.push_back(static_cast<UINT>(ti.uId));
            }
        }
        return ids;
    }

    // Checks that bar i stands in its columns at the height the layout gives.
    void ExpectBarDrawn(const std::vector<QVLogBar>& bars, size_t i)
    {
        const RECT& rc = image.Layout().rcBars;
        const QVSpan span = LogBarSpan(rc.left, rc.right - rc.left, i, bars.size());
        const QVBarHeights heights =
            LogBarHeights(rc.bottom - rc.top, bars[i].dEnergyWh, bars[i].dQuoWh, image.Scale().dRange);
        const std::vector<COLORREF> shade = GradationColumns(span.nRight - span.nLeft - 2, settings.dwFgColor, 35, 80, true);
        const std::vector<COLORREF> quoShade =
            GradationColumns(span.nRight - span.nLeft - 2, settings.dwQuoFgColor, 35, 80, true);
        for (int x = span.nLeft + 1; x < span.nRight - 1; ++x) {
            const size_t c = static_cast<size_t>(x - span.nLeft - 1);
            EXPECT_EQ(shade[c], Pixel(x, rc.bottom - 1)) << "bar " << i << " x " << x;
            EXPECT_EQ(shade[c], Pixel(x, rc.bottom - heights.nEnergy)) << "bar " << i << " x " << x;
            const int yAbove = rc.bottom - heights.nEnergy - 1;
            if (heights.nQuo > 0) {
                EXPECT_EQ(quoShade[c], Pixel(x, yAbove)) << "bar " << i;
            }
            EXPECT_TRUE(IsPlotBackground(Pixel(x, yAbove - heights.nQuo))) << "bar " << i;
        }
        EXPECT_NE(shade[0], Pixel(span.nLeft, rc.bottom - 1)) << "bar " << i << " keeps a gap";
    }

    HWND hOwner = nullptr;
    HWND hTip = nullptr;
    CQVImage image;
    QVHistogramSettings settings;
};

QVLogBar Bar(double dEnergyWh, double dQuoWh = 0.0, const wchar_t* lpPlan = L"", COLORREF crPlan = RGB(240, 240, 240))
{
    QVLogBar bar;
    bar.dEnergyWh = dEnergyWh;
    bar.dQuoWh = dQuoWh;
    bar.planBand.strText = lpPlan;
    bar.planBand.colors.crFg = crPlan;
    return bar;
}

TEST_F(QVImageTest, MonthBarsStandAtTheirHeightsWithTheirQuoPartOnTop)
{
    std::vector<QVLogBar> bars;
    for (int d = 1; d <= 31; ++d) {
        bars.push_back((d % 7 == 4) ? Bar(0.0) : Bar(40.0 * (d % 5 + 1), 3.0 * (d % 3)));
    }
    ASSERT_EQ(0u, image.DrawLogGraph(QV_LOGMODE_MONTH, CNR_CONSUMER, bars, settings, hOwner, hTip));
    EXPECT_DOUBLE_EQ(1200.0, image.Scale().dRange);  // the month's minimum range wins
    for (size_t i = 0; i < bars.size(); ++i) {
        if (bars[i].dEnergyWh > 0.0) {
            ExpectBarDrawn(bars, i);
        }
    }
    EXPECT_EQ(27u, TipIds(kQVBarTipFirst, kQVStateTipFirst - 1).size());  // no tip over an empty day
    EXPECT_TRUE(TipIds(kQVStateTipFirst, 1000).empty());

    // The grid: 1200 in steps of 200 gives 6 lines, all drawn, between the bars.
    const RECT& rc = image.Layout().rcBars;
    const int y = LogGraphValueY(rc.bottom, rc.bottom - rc.top, 1000.0, 1200.0);
    EXPECT_EQ(settings.dwGridColor, Pixel(rc.left + 1, y));
}

TEST_F(QVImageTest, TheDayViewMergesEqualPlansIntoOneSegmentWithOneTip)
{
    const COLORREF crQuo = RGB(193, 255, 203);
    std::vector<QVLogBar> bars(24, Bar(0.0));
    bars[9] = Bar(30.0, 2.0, L"Balanced", RGB(184, 179, 255));
    bars[10] = Bar(345.0, 0.0, L"QUO", crQuo);
    bars[11] = Bar(0.1, 0.0, L"QUO", crQuo);
    for (size_t i : {12, 13, 14}) {
        bars[i] = Bar(20.0, 0.0, L"QUO", crQuo);
    }
    for (int nRound = 0; nRound < 2; ++nRound) {  // drawing again replaces the tips
        ASSERT_EQ(0u, image.DrawLogGraph(QV_LOGMODE_DAY, CNR_COMMERCIAL, bars, settings, hOwner, hTip));
    }
    EXPECT_DOUBLE_EQ(350.0, image.Scale().dRange);
    for (size_t i : {9, 10, 11, 12, 13, 14}) {
        ExpectBarDrawn(bars, i);
    }
    const RECT& band = image.Layout().rcPlanBand;
    const int yMid = (band.top + band.bottom) / 2;
    const QVSpan hour10 = LogBarSpan(band.left, band.right - band.left, 10, 24);
    const QVSpan hour11 = LogBarSpan(band.left, band.right - band.left, 11, 24);
    EXPECT_EQ(RGB(0, 0, 0), Pixel(hour10.nLeft, yMid));         // a segment starts
    EXPECT_EQ(crQuo, Pixel(hour11.nLeft, band.top + 2));        // no divider inside it
    EXPECT_EQ(4u, TipIds(kQVPlanTipFirst, 1000).size());        // empty, 9, 10-14, empty
    EXPECT_EQ(1u, TipIds(kQVStateTipFirst, kQVPlanTipFirst - 1).size());
    EXPECT_EQ(6u, TipIds(kQVBarTipFirst, kQVStateTipFirst - 1).size());

    ASSERT_EQ(0u, image.DrawLogGraph(QV_LOGMODE_WEEK, CNR_COMMERCIAL, std::vector<QVLogBar>(7, Bar(10.0)),
                                     settings, hOwner, hTip));
    EXPECT_TRUE(TipIds(kQVStateTipFirst, 1000).empty());        // no bands outside the day view
}

TEST_F(QVImageTest, FortyNineBarsDrawNothing)
{
    const std::vector<QVLogBar> bars(49, Bar(50.0));
    EXPECT_EQ(87u, image.DrawLogGraph(QV_LOGMODE_DAY, CNR_CONSUMER, bars, settings, hOwner, hTip));
    const RECT& rc = image.ClientRect();
    for (int x = rc.left; x < rc.right; x += 3) {
        for (int y = rc.top; y < rc.bottom; y += 3) {
            ASSERT_EQ(settings.dwAreaColor, Pixel(x, y)) << x << "," << y;
        }
    }
    EXPECT_EQ(0, SendMessageW(hTip, TTM_GETTOOLCOUNT, 0, 0));
}

}  // namespace
