// The live plot's geometry: snapping, registry values, scrolling, the bounded series
// and the polylines with gaps, colour changes and clipping at the top edge.
#include <gtest/gtest.h>

#include "RtPlotGeometry.h"

namespace {

const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kBlue = RGB(0, 0, 255);

// A plot with the default axes whose client area is 630 × 260 pixels with a 30-pixel
// label column: canvas 820 high, data 600 × 800 from (30, 10), 10 pixels per interval,
// 4 pixels per watt.
struct DefaultPlot {
    RtPlotAxes axes = RtPlotDefaultAxes();
    RECT rcCanvas = RtPlotCanvas(RECT{0, 0, 630, 260}, axes);
    RECT rcData = RtPlotDataRect(rcCanvas, 30);
    double dScale = RtPlotScale(rcData, axes.dMaxRange);

    std::vector<RtPlotPolyline> Lines(std::initializer_list<double> values, size_t nBlueFrom = 99) const
    {
        std::deque<RtPlotPoint> points;
        for (double d : values) {
            points.push_back(RtPlotPoint{d, points.size() >= nBlueFrom ? kBlue : kRed});
        }
        return RtPlotBuildPolylines(points, rcData, axes.nXNum, axes.dMaxRange, dScale);
    }
};

TEST(RtPlotGeometry, SnapShrinksToTheGridHalfFromEachSide)
{
    const struct { int nWidth, nHeight, nMax, nVisible; RECT rcExpected; } cases[] = {
        {600, 270, 200, 65, {15, 5, 585, 265}},   // 570 % 60 = 30, 270 % 13 = 10
        {637, 260, 200, 65, {3, 0, 633, 260}},    // 607 % 60 = 7: the odd pixel from the right
        {630, 261, 200, 200, {0, 0, 630, 260}},   // step 4000 / gcd(200, 4000) = 20
        {600, 263, 150, 65, {15, 1, 585, 261}},   // 975 / gcd(150, 975) = 13
    };
    for (const auto& c : cases) {
        const RtPlotAxes axes = {60, double(c.nMax), c.nVisible};
        const RECT rcClient = {0, 0, c.nWidth, c.nHeight};
        const RECT rc = RtPlotSnapWindow(rcClient, rcClient, 30, axes);
        EXPECT_TRUE(EqualRect(&c.rcExpected, &rc)) << c.nWidth << "x" << c.nHeight << ": " << rc.left << ","
                                                   << rc.top << "," << rc.right << "," << rc.bottom;
    }
}

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

TEST(RtPlotGeometry, TheSeriesKeepsSixtyOnePointsAndEveryTwentyWattsHasALabel)
{
    std::deque<RtPlotPoint> points;
    for (int i = 0; i < 70; ++i) {
        RtPlotAppendPoint(points, RtPlotDefaultAxes().nXNum + 1, RtPlotPoint{double(i), kRed});
    }
    ASSERT_EQ(61u, points.size());
    EXPECT_EQ(9.0, points.front().dValue);
    std::vector<int> labels;
    for (const RtPlotGridLine& line : RtPlotHorizontalLines(800, RtPlotDefaultAxes(), 2)) {
        if (line.bLabel) {
            labels.push_back(line.nWatt);
            EXPECT_EQ(line.nWatt * 4, line.nY);
        }
    }
    EXPECT_EQ((std::vector<int>{0, 20, 40, 60, 80, 100, 120, 140, 160, 180, 200}), labels);
    WCHAR szLabel[16];
    RtPlotMaxLabelText(199.5, szLabel, ARRAYSIZE(szLabel));
    EXPECT_STREQ(L"200", szLabel);
}

TEST(RtPlotGeometry, GapsAndColourChangesSplitTheLine)
{
    DefaultPlot plot;
    EXPECT_TRUE(plot.Lines({-1, -1, -1, -1}).empty());
    auto lines = plot.Lines({10, 20, -1, 30, 40, -1, 50});
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(2u, lines[0].points.size());
    EXPECT_EQ(2u, lines[1].points.size());
    EXPECT_EQ(810 - 120, lines[1].points[0].y);

    lines = plot.Lines({10, 20, 30, 40}, 2);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(kRed, lines[0].crColor);
    EXPECT_EQ(3u, lines[0].points.size());
    EXPECT_EQ(kBlue, lines[1].crColor);
    ASSERT_EQ(2u, lines[1].points.size());
    EXPECT_EQ(lines[0].points.back().x, lines[1].points.front().x) << "the line stays continuous";
    EXPECT_EQ(630, lines[1].points.back().x);
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
