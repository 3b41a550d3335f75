// The viewer in the window: dragging and double-clicking a subtitle, in picture pixels.
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QScrollBar>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/image_view.h"
#include "app/int_edit.h"
#include "app/main_window.h"
#include "app/widgets.h"
#include "render/viewer_math.h"
#include "support/qt_app.h"
#include "support/stream_builder.h"
#include "support/test_window.h"

using namespace vantrel;
using namespace vantrel::app;
using namespace vantrel::testing;

namespace {

Bytes oneSubtitle() {
    PgsBuilder b;
    b.pcs(90000, {{0, 0, 100, 900}});
    b.wds(90000, {{0, 100, 900, 600, 80}});
    b.pds(90000, {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}});
    b.ods(90000, 0, true, true, Bytes(20, 0x01), 600, 80);
    b.end(90000);
    return b.bytes();
}

void mouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(pos), target->mapToGlobal(QPointF(pos)), button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &e);
}

class ViewerTest : public WindowFixture {
protected:
    void SetUp() override {
        openWindow(true, {QString::fromStdString(writeTempFile("one.sup", oneSubtitle()))});
        w->resize(900, 760);
        w->PageControl->setCurrentIndex(2);
        settle();
    }
    // The widget position that shows picture pixel (x, y).
    QPoint at(int x, int y) const {
        return QPoint(x * w->Image->width() / 1920 + 1, y * w->Image->height() / 1080 + 1);
    }

};

}  // namespace

TEST_F(ViewerTest, DragInFitViewMovesByPicturePixelsAndStopsAtTheEdges) {
    ASSERT_TRUE(w->cbFull->isChecked());
    ASSERT_LT(w->Image->width(), 1920);   // scaled down
    const TSUPObject start = w->prog.Subs[0].obj[0];
    ASSERT_EQ(start.x1, 100);
    ASSERT_EQ(start.y1, 900);

    const QPoint press = at(300, 940);
    mouse(w->Image, QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    ASSERT_TRUE(w->dragging);
    const QPoint moved = press + QPoint(50, -20);
    mouse(w->Image, QEvent::MouseMove, moved, Qt::NoButton, Qt::LeftButton);
    const TSUPObject& o = w->prog.Subs[0].obj[0];
    const int dx = w->Image->toPicture(QPointF(moved)).x() - w->Image->toPicture(QPointF(press)).x();
    const int dy = w->Image->toPicture(QPointF(moved)).y() - w->Image->toPicture(QPointF(press)).y();
    EXPECT_GT(dx, 50);   // picture pixels, more than the widget moved
    EXPECT_EQ(o.x1, start.x1 + dx);
    EXPECT_EQ(o.y1, start.y1 + dy);
    EXPECT_EQ(o.x2 - o.x1, 600);
    EXPECT_EQ(w->lArea->text().toStdString(), areaText(o));

    // Far beyond the right and top edges.
    mouse(w->Image, QEvent::MouseMove, moved + QPoint(3000, -3000), Qt::NoButton, Qt::LeftButton);
    mouse(w->Image, QEvent::MouseButtonRelease, moved + QPoint(3000, -3000), Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(w->dragging);
    EXPECT_EQ(o.x2, 1919);
    EXPECT_EQ(o.x1, 1319);
    EXPECT_EQ(o.y1, 0);
    EXPECT_EQ(o.y2, 80);
}

TEST_F(ViewerTest, MouseAndDoubleClickDoNothingWithoutASubtitle) {
    w->prog.Subs.clear();
    mouse(w->Image, QEvent::MouseButtonPress, at(300, 940), Qt::LeftButton, Qt::LeftButton);
    EXPECT_FALSE(w->dragging);
    w->ImageDblClick(at(300, 940));
    w->prog.CurSub = 5;
    w->ImageMouseMove(at(300, 940));
    EXPECT_TRUE(w->errors.isEmpty());
}

TEST_F(ViewerTest, DoubleClickPutsTheSubtitleOnTheLastLine) {
    w->ieLastLine->setValue(1000);
    w->ImageDblClick(at(300, 940));
    const TSUPObject& o = w->prog.Subs[0].obj[0];
    EXPECT_EQ(o.x1, 660);
    EXPECT_EQ(o.x2, 1260);
    EXPECT_EQ(o.y1, 920);
    EXPECT_EQ(o.y2, 1000);
}

TEST_F(ViewerTest, FullViewShowsThePictureAtItsSize) {
    w->cbFull->click();
    settle();
    EXPECT_EQ(w->Image->size(), QSize(1920, 1080));
    // Scrolled down towards the subtitle (rows 900 to 980), as far as the bar goes.
    const QScrollBar* bar = w->sbImage->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), std::min(bar->maximum(), 940 - w->sbImage->viewport()->height() / 2));
    EXPECT_EQ(w->Image->y(), -bar->value());
    // A press at picture coordinates is the same as the widget position now.
    EXPECT_EQ(w->Image->toPicture(QPointF(150, 950)), QPoint(150, 950));
    w->cbFull->click();
    settle();
    EXPECT_LT(w->Image->width(), 1920);
}

// At full size the subtitle lands in the middle of the box, across as well as down, as far
// as the picture's edges allow. A window as wide as the screen shows its middle, where the
// text is; one taller than the box shows its top.
TEST_F(ViewerTest, FullViewCentresTheSubtitle) {
    struct Case {
        const char* name;
        TSUPObject area;
        QPoint expected;   // picture pixel expected at the box's top-left corner; -1: centred
    };
    const Case cases[] = {
        {"in the middle of the picture", slotRect(900, 400, 1500, 480), QPoint(-1, -1)},
        {"at the bottom right", slotRect(1800, 1000, 1919, 1079), QPoint(-2, -2)},
        {"as wide as the screen", slotRect(0, 1001, 1920, 1056), QPoint(-1, -2)},
        {"taller than the box", slotRect(900, 100, 1500, 1000), QPoint(-1, 90)},
    };
    const QWidget* view = w->sbImage->viewport();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!w->cbFull->isChecked()) w->cbFull->click();
        w->prog.Subs[0].obj[0] = c.area;
        w->cbFull->click();
        settle();
        ASSERT_FALSE(w->cbFull->isChecked());
        const QPoint corner(-w->Image->x(), -w->Image->y());   // picture pixel at the box's corner
        const QPoint middle = QRect(QPoint(c.area.x1, c.area.y1), QPoint(c.area.x2 - 1, c.area.y2 - 1)).center();
        const QPoint far(1920 - view->width(), 1080 - view->height());
        const int x = c.expected.x() == -1 ? middle.x() - view->width() / 2 : c.expected.x() == -2 ? far.x() : c.expected.x();
        const int y = c.expected.y() == -1 ? middle.y() - view->height() / 2 : c.expected.y() == -2 ? far.y() : c.expected.y();
        EXPECT_EQ(corner, QPoint(x, y));
    }
}

// A wheel notch scrolls the full-size picture by lines of 20 pixels, not by single pixels.
TEST_F(ViewerTest, WheelStepsLikeOtherViewers) {
    w->cbFull->click();
    settle();
    QScrollBar* bar = w->sbImage->verticalScrollBar();
    bar->setValue(0);
    QWheelEvent notch(QPointF(10, 10), w->Image->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w->sbImage->viewport(), &notch);
    EXPECT_EQ(bar->value(), 20 * QApplication::wheelScrollLines());
    EXPECT_EQ(w->Image->y(), -bar->value());
}

