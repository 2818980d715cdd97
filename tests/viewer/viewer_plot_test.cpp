// The live plot's geometry: registry values, scrolling, the bounded series and the
// clipping of the line at the top edge. (Its gaps, colours and steps are judged on the
// screen by viewer_live and viewer_screens.)
#include <gtest/gtest.h>

#include "RtPlotGeometry.h"

namespace {

const COLORREF kRed = RGB(255, 0, 0);

// A plot with the default axes whose client area is 630 × 260 pixels with a 30-pixel
// label column: canvas 820 high, data 600 × 800 from (30, 10), 10 pixels per interval,
// 4 pixels per watt.
struct DefaultPlot {
    RtPlotAxes axes = RtPlotDefaultAxes();
    RECT rcCanvas = RtPlotCanvas(RECT{0, 0, 630, 260}, axes);
    RECT rcData = RtPlotDataRect(rcCanvas, 30);
    double dScale = RtPlotScale(rcData, axes.dMaxRange);

    std::vector<RtPlotPolyline> Lines(std::initializer_list<double> values) const
    {
        std::deque<RtPlotPoint> points;
        for (double d : values) {
            points.push_back(RtPlotPoint{d, kRed});
        }
        return RtPlotBuildPolylines(points, rcData, axes.nXNum, axes.dMaxRange, dScale);
    }
};

TEST(RtPlotGeometry, RegistryValuesThatBreakTheGeometryAreRefused)
{
    EXPECT_FALSE(RtPlotAcceptXIntervals(0));
    EXPECT_TRUE(RtPlotAcceptXIntervals(30));
    EXPECT_FALSE(RtPlotAcceptMaxWatt(9));
    EXPECT_TRUE(RtPlotAcceptMaxWatt(100));
    EXPECT_FALSE(RtPlotAcceptMaxWatt(0xFFFFFFFF));
    EXPECT_FALSE(RtPlotAcceptVisibleMaxWatt(0));
    EXPECT_FALSE(RtPlotAcceptVisibleMaxWatt(0x80000000));
}

TEST(RtPlotGeometry, ScrollingStaysOnTheCanvas)
{
    DefaultPlot plot;
    const RtPlotScroll view = RtPlotInitialScroll(820, 260, plot.axes);
    EXPECT_TRUE(view.bEnabled);
    EXPECT_EQ(560, view.nPos) << "0 W in view";
    const int steps[][3] = {{SB_LINEDOWN, 0, 560},       {SB_LINEUP, 0, 550},          {SB_PAGEUP, 0, 290},
                            {SB_PAGEUP, 0, 30},          {SB_PAGEUP, 0, 0},            {SB_THUMBTRACK, 9999, 560},
                            {SB_THUMBPOSITION, 123, 123}, {SB_ENDSCROLL, 5, 123}};
    RtPlotScroll current = view;
    for (const auto& s : steps) {
        current = RtPlotScrollBy(current, s[0], s[1], 820);
        EXPECT_EQ(s[2], current.nPos) << "code " << s[0];
        EXPECT_EQ(820 - s[2], current.nOffset);
    }
    // The first point is centred: 100 W lies 400 pixels above the data bottom (810).
    EXPECT_EQ(280, RtPlotScrollToValue(view, 100.0, plot.rcCanvas, plot.rcData, plot.dScale).nPos);
    EXPECT_EQ(0, RtPlotScrollToValue(view, 500.0, plot.rcCanvas, plot.rcData, plot.dScale).nPos);

    // A visible maximum at or above the maximum: no scrolling, the whole data area in view.
    for (int nVisible : {200, 400}) {
        const RtPlotAxes axes = {60, 200.0, nVisible};
        const RECT rcCanvas = RtPlotCanvas(RECT{0, 0, 600, 260}, axes);
        const RECT rcData = RtPlotDataRect(rcCanvas, 30);
        const RtPlotScroll fixed = RtPlotInitialScroll(rcCanvas.bottom, 260, axes);
        EXPECT_FALSE(fixed.bEnabled) << nVisible;
        EXPECT_LE(fixed.nPos, rcData.top) << nVisible;
        EXPECT_GE(fixed.nPos + 260, rcData.bottom) << nVisible;
        EXPECT_EQ(fixed.nPos, RtPlotScrollBy(fixed, SB_PAGEDOWN, 0, rcCanvas.bottom).nPos);
        EXPECT_EQ(fixed.nPos, RtPlotScrollToValue(fixed, 150.0, rcCanvas, rcData, 1.0).nPos);
    }
}

TEST(RtPlotGeometry, TheSeriesKeepsSixtyOnePoints)
{
    std::deque<RtPlotPoint> points;
    for (int i = 0; i < 70; ++i) {
        RtPlotAppendPoint(points, RtPlotDefaultAxes().nXNum + 1, RtPlotPoint{double(i), kRed});
    }
    ASSERT_EQ(61u, points.size());
    EXPECT_EQ(9.0, points.front().dValue);
}

TEST(RtPlotGeometry, AValueAboveTheMaximumIsClippedAtTheTopEdge)
{
    EXPECT_EQ(5, RtPlotCrossingX(0, 100, 10, -100, 0));
    EXPECT_EQ(10, RtPlotCrossingX(0, 50, 10, 50, 0));

    DefaultPlot plot;
    // 190 W, 250 W, 190 W: up to the top edge and back down from it.
    const auto lines = plot.Lines({190, 250, 190});
    ASSERT_EQ(2u, lines.size());
    ASSERT_EQ(2u, lines[0].points.size());
    ASSERT_EQ(2u, lines[1].points.size());
    EXPECT_EQ(10, lines[0].points[1].y);
    EXPECT_EQ(10, lines[1].points[0].y);
    // From y 50 at x 610 to y -190 at x 620: the top (10) is crossed 1/6 of the way,
    // rounded towards the point above; back in the same way towards x 630.
    EXPECT_EQ(612, lines[0].points[1].x);
    EXPECT_EQ(628, lines[1].points[0].x);
    EXPECT_TRUE(plot.Lines({250, 300, 1e300}).empty());
}

}  // namespace
