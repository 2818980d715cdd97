// The live plot's geometry: snapping, canvas, scale, scrolling, point slots and the
// polylines with colour changes, gaps and clipping at the top edge.
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
    RECT rcClient = {0, 0, 630, 260};
    RECT rcCanvas = RtPlotCanvas(rcClient, axes);
    RECT rcData = RtPlotDataRect(rcCanvas, 30);
    double dScale = RtPlotScale(rcData, axes.dMaxRange);

    std::vector<RtPlotPolyline> Lines(const std::deque<RtPlotPoint>& points) const
    {
        return RtPlotBuildPolylines(points, rcData, axes.nXNum, axes.dMaxRange, dScale);
    }
};

std::deque<RtPlotPoint> Points(std::initializer_list<double> values, COLORREF cr = kRed)
{
    std::deque<RtPlotPoint> points;
    for (double d : values) {
        points.push_back(RtPlotPoint{d, cr});
    }
    return points;
}

TEST(RtPlotGeometry, DefaultsKeepSixtyOnePointsAndLabelEveryTwentyWatts)
{
    DefaultPlot plot;
    EXPECT_EQ(20, RtPlotYDivisions(plot.axes.dMaxRange));
    EXPECT_EQ(820, plot.rcCanvas.bottom);
    EXPECT_EQ(810, plot.rcData.bottom);
    EXPECT_EQ(30, plot.rcData.left);
    EXPECT_EQ(630, plot.rcData.right);
    EXPECT_DOUBLE_EQ(4.0, plot.dScale);

    std::deque<RtPlotPoint> points;
    for (int i = 0; i < 70; ++i) {
        RtPlotAppendPoint(points, plot.axes.nXNum + 1, RtPlotPoint{double(i), kRed});
    }
    ASSERT_EQ(61u, points.size());
    EXPECT_EQ(9.0, points.front().dValue);

    std::vector<int> labels;
    for (const RtPlotGridLine& line : RtPlotHorizontalLines(800, plot.axes, 2)) {
        if (line.bLabel) {
            labels.push_back(line.nWatt);
            EXPECT_EQ(line.nWatt * 4, line.nY);
        }
    }
    ASSERT_EQ(11u, labels.size());
    EXPECT_EQ(20, labels[1]);
    EXPECT_EQ(200, labels.back());
    EXPECT_EQ(59u, RtPlotVerticalLines(600, 60).size());

    WCHAR szLabel[16];
    RtPlotMaxLabelText(199.5, szLabel, ARRAYSIZE(szLabel));
    EXPECT_STREQ(L"200", szLabel);
}

TEST(RtPlotGeometry, SnapShrinksToTheGridHalfFromEachSide)
{
    struct Case {
        int nWidth, nHeight, nLabel, nMax, nVisible;
        RECT rcExpected;
    };
    const Case cases[] = {
        {600, 270, 30, 200, 65, {15, 5, 585, 265}},   // 570 % 60 = 30, 270 % 13 = 10
        {637, 260, 30, 200, 65, {3, 0, 633, 260}},    // 607 % 60 = 7: the odd pixel from the right
        {630, 261, 30, 200, 200, {0, 0, 630, 260}},   // step 4000 / gcd(200, 4000) = 20
        {600, 263, 30, 150, 65, {15, 1, 585, 261}},   // 975 / gcd(150, 975) = 13
    };
    for (const Case& c : cases) {
        RtPlotAxes axes = {60, double(c.nMax), c.nVisible};
        const RECT rcClient = {0, 0, c.nWidth, c.nHeight};
        const RECT rc = RtPlotSnapWindow(rcClient, rcClient, c.nLabel, axes);
        EXPECT_EQ(c.rcExpected.left, rc.left) << c.nWidth << "x" << c.nHeight;
        EXPECT_EQ(c.rcExpected.top, rc.top) << c.nWidth << "x" << c.nHeight;
        EXPECT_EQ(c.rcExpected.right, rc.right) << c.nWidth << "x" << c.nHeight;
        EXPECT_EQ(c.rcExpected.bottom, rc.bottom) << c.nWidth << "x" << c.nHeight;
        const int nDataHeight = (rc.bottom - rc.top) * c.nMax / c.nVisible;
        EXPECT_EQ(0, nDataHeight % RtPlotYDivisions(axes.dMaxRange)) << "whole pixels per division";
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
    EXPECT_EQ(819, view.nMax);
    EXPECT_EQ(560, view.nPos) << "0 W in view";
    EXPECT_EQ(260, view.nOffset);

    struct Step {
        int nCode, nThumb, nPos;
    };
    const Step steps[] = {
        {SB_LINEDOWN, 0, 560}, {SB_LINEUP, 0, 550}, {SB_PAGEUP, 0, 290}, {SB_PAGEUP, 0, 30},
        {SB_PAGEUP, 0, 0},     {SB_THUMBTRACK, 9999, 560}, {SB_THUMBPOSITION, 123, 123}, {SB_ENDSCROLL, 5, 123},
    };
    RtPlotScroll current = view;
    for (const Step& s : steps) {
        current = RtPlotScrollBy(current, s.nCode, s.nThumb, 820);
        EXPECT_EQ(s.nPos, current.nPos) << "code " << s.nCode;
        EXPECT_EQ(820 - s.nPos, current.nOffset);
    }

    // The first point is centred: 100 W lies 400 pixels above the data bottom (810).
    EXPECT_EQ(280, RtPlotScrollToValue(view, 100.0, plot.rcCanvas, plot.rcData, plot.dScale).nPos);
    EXPECT_EQ(560, RtPlotScrollToValue(view, 0.0, plot.rcCanvas, plot.rcData, plot.dScale).nPos);
    EXPECT_EQ(0, RtPlotScrollToValue(view, 500.0, plot.rcCanvas, plot.rcData, plot.dScale).nPos);
}

TEST(RtPlotGeometry, VisibleMaxAtOrAboveMaxDisablesScrolling)
{
    for (int nVisible : {200, 400}) {
        RtPlotAxes axes = {60, 200.0, nVisible};
        const RECT rcCanvas = RtPlotCanvas(RECT{0, 0, 600, 260}, axes);
        const int nCanvas = rcCanvas.bottom;
        const RtPlotScroll view = RtPlotInitialScroll(nCanvas, 260, axes);
        EXPECT_FALSE(view.bEnabled) << nVisible;
        // The whole data area lies inside the client area.
        const RECT rcData = RtPlotDataRect(rcCanvas, 30);
        EXPECT_LE(view.nPos, rcData.top) << nVisible;
        EXPECT_GE(view.nPos + 260, rcData.bottom) << nVisible;
        EXPECT_EQ(view.nPos, RtPlotScrollBy(view, SB_PAGEDOWN, 0, nCanvas).nPos);
        EXPECT_EQ(view.nPos, RtPlotScrollToValue(view, 150.0, rcCanvas, rcData, 1.0).nPos);
    }
}

TEST(RtPlotGeometry, PointsAreRightAlignedOneStepApart)
{
    DefaultPlot plot;
    // Three points: the newest at the right edge (630), steps of 600 / 60 = 10.
    EXPECT_EQ(630, RtPlotPointPixel(2, 3, 0.0, plot.rcData, 60, 4.0).x);
    EXPECT_EQ(610, RtPlotPointPixel(0, 3, 0.0, plot.rcData, 60, 4.0).x);
    EXPECT_EQ(30, RtPlotPointPixel(0, 61, 0.0, plot.rcData, 60, 4.0).x);
    EXPECT_EQ(810 - 50, RtPlotPointPixel(0, 1, 12.6, plot.rcData, 60, 4.0).y);
}

TEST(RtPlotGeometry, NegativeValuesDrawNothing)
{
    DefaultPlot plot;
    EXPECT_TRUE(plot.Lines(Points({-1, -1, -1, -1})).empty());

    const auto lines = plot.Lines(Points({10, 20, -1, 30, 40, -1, 50}));
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(2u, lines[0].points.size());
    EXPECT_EQ(2u, lines[1].points.size());
    EXPECT_EQ(810 - 120, lines[1].points[0].y);
}

TEST(RtPlotGeometry, ColourChangeStartsANewPolylineAtThatPoint)
{
    DefaultPlot plot;
    std::deque<RtPlotPoint> points = Points({10, 20, 30, 40});
    points[2].crColor = kBlue;
    points[3].crColor = kBlue;
    const auto lines = plot.Lines(points);
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
    const auto lines = plot.Lines(Points({190, 250, 190}));
    ASSERT_EQ(2u, lines.size());
    ASSERT_EQ(2u, lines[0].points.size());
    ASSERT_EQ(2u, lines[1].points.size());
    EXPECT_EQ(10, lines[0].points[1].y);
    EXPECT_EQ(10, lines[1].points[0].y);
    // From y 50 at x 610 to y -190 at x 620: the top (10) is crossed 1/6 of the way,
    // rounded towards the point above; back in the same way towards x 630.
    EXPECT_EQ(612, lines[0].points[1].x);
    EXPECT_EQ(628, lines[1].points[0].x);

    EXPECT_TRUE(plot.Lines(Points({250, 300, 1e300})).empty());
}

}  // namespace
