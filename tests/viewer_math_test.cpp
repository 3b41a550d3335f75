// The viewer's geometry: fitting, picking, moving and centring a subtitle's rectangle.
#include <gtest/gtest.h>

#include "render/viewer_math.h"
#include "support/stream_builder.h"

using namespace vantrel;
using vantrel::testing::slotRect;


TEST(ViewerMath, FitImageKeepsTheAspectAndCentres) {
    struct Case {
        int boxW, boxH;
        FitRect expected;
    };
    const Case cases[] = {
        {962, 1002, {1, 231, 960, 540}},   // narrow box: full width, centred vertically
        {2002, 542, {521, 1, 960, 540}},   // wide box: full height, centred horizontally
        {1922, 1082, {1, 1, 1920, 1080}},  // exact
        {1, 1, {1, 1, 0, 0}},              // smaller than its border
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.boxW);
        const FitRect r = FitImage(1920, 1080, c.boxW, c.boxH, true);
        EXPECT_EQ(r.left, c.expected.left);
        EXPECT_EQ(r.top, c.expected.top);
        EXPECT_EQ(r.width, c.expected.width);
        EXPECT_EQ(r.height, c.expected.height);
    }
    const FitRect plain = FitImage(0, 0, 100, 50, true);   // no picture: the whole box
    EXPECT_EQ(plain.width, 98);
    EXPECT_EQ(plain.height, 48);
}

TEST(ViewerMath, HitTestExcludesBordersAndPrefersSlotOne) {
    TSUP s;
    s.obj[0] = slotRect(100, 900, 700, 980);
    s.obj[1] = slotRect(600, 950, 800, 1000);
    EXPECT_EQ(hitTest(s, 100, 950), 0);   // border column x1
    EXPECT_EQ(hitTest(s, 101, 950), 1);
    EXPECT_EQ(hitTest(s, 650, 960), 2);   // both hold: slot 1
    EXPECT_EQ(hitTest(s, 50, 50), 0);
}

TEST(ViewerMath, MovesStopAtTheScreenEdgesAndKeepTheSize) {
    struct Case {
        const char* name;
        int dx, dy;
        int x1, y1, x2, y2;
    };
    const Case cases[] = {
        {"right", 5000, 0, 1619, 900, 1919, 980},
        {"left", -5000, 0, 0, 900, 300, 980},
        {"up", 0, -5000, 100, 0, 400, 80},
        {"down", 0, 5000, 100, 999, 400, 1079},
        {"inside", 10, -20, 110, 880, 410, 960},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TSUPObject o = slotRect(100, 900, 400, 980);
        moveSlot(o, c.dx, c.dy);
        EXPECT_EQ(o.x1, c.x1);
        EXPECT_EQ(o.y1, c.y1);
        EXPECT_EQ(o.x2, c.x2);
        EXPECT_EQ(o.y2, c.y2);
    }
    // A rectangle wider than the screen never wraps below 0.
    TSUPObject wide = slotRect(0, 0, 1920, 1080);
    moveSlot(wide, -3, -3);
    EXPECT_EQ(wide.x1, 0);
    EXPECT_EQ(wide.x2, 1920);
}

TEST(ViewerMath, DoubleClickCentresOnTheLastLine) {
    TSUPObject o = slotRect(10, 20, 10 + 1081, 120);
    centreSlot(o, 1010);
    EXPECT_EQ(o.x1, 420);
    EXPECT_EQ(o.x2, 1501);
    EXPECT_EQ(o.y1, 910);
    EXPECT_EQ(o.y2, 1010);
    EXPECT_EQ(areaText(o), "(420, 910) - (1501, 1010)  1081x100");

    TSUPObject tall = slotRect(0, 0, 400, 1050);
    centreSlot(tall, 1010);
    EXPECT_EQ(tall.y1, 0);   // would lie above row 0
    EXPECT_EQ(tall.y2, 1010);
}
