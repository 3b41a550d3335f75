// The viewer page: stepping through subtitles, fit and full view, the side panel, and moving
// a subtitle with the mouse.
#include <QSignalBlocker>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>

#include "app/image_view.h"
#include "app/int_edit.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "render/viewer_math.h"
#include "app/widgets.h"

namespace vantrel::app {
namespace {

// Guide-line colour of the picked rectangle: yellow.
const QColor kPressColor(255, 255, 0);

}  // namespace

TSUP* TfMain::currentRecord() {
    if (prog.CurSub < 0 || static_cast<size_t>(prog.CurSub) >= prog.Subs.size()) return nullptr;
    return &prog.Subs[static_cast<size_t>(prog.CurSub)];
}

void TfMain::drawSub(int n) {
    drawView.cbFull = cbFull->isChecked();
    try {
        DrawSub(ctx, n, drawView);
    } catch (...) {
        showPanel();
        throw;
    }
    showPanel();
}

void TfMain::showPanel() {
    Image->setPicture(prog.pics.display);
    if (sbImage->fit()) sbImage->fitImage();
    const SidePanel& p = prog.panel;
    // The editor is filled without its change signal: only typing edits the record.
    const QSignalBlocker quietEditor(mSubtext);
    lStartEnd->setText(toQt(p.lStartEnd));
    lForced->setVisible(p.forced);
    lArea->setText(toQt(p.lArea));
    lMaxline->setText(toQt(p.lMaxline));
    lArea2->setText(toQt(p.lArea2));
    ieSubs->setEnabled(p.ieSubsEnabled);
    mSubtext->setEnabled(p.mSubtextEnabled);
    QStringList lines;
    for (const std::string& line : p.editorLines) lines << subtitleTextToQt(line);
    if (mSubtext->toPlainText() != lines.join(QLatin1Char('\n'))) mSubtext->setPlainText(lines.join(QLatin1Char('\n')));
    rgFont->setEnabled(p.rgFontEnabled);
    rgFont->setItemIndex(p.rgFont);
    cbLock->setChecked(p.cbLock);
    bOCR->setEnabled(p.bOCREnabled);
    if (sbImage->fit()) sbImage->setVerticalPosition(p.scrollY);
    else centreSubtitle();
}

void TfMain::showSubtitle(int n) {
    if (n < 1) {
        guarded([this] { drawSub(0); });
        return;
    }
    settingControls_ = true;
    ieSubs->setValue(n);
    settingControls_ = false;
    ieSubsChange();
}

void TfMain::displaySubtitle(int number) { showSubtitle(number); }

void TfMain::ieSubsChange() {
    const int v = ieSubs->value();
    prog.controls.ieSubs = v;
    // While a load builds the table, the navigator may still count the previous one.
    const int count = static_cast<int>(prog.Subs.size());
    if (v > 0 && v <= udSubs->maximum() && v <= count) guarded([this, v] { drawSub(v); });
    if (prog.SubKind != kDvdKind) {
        bPrev->setEnabled(v > 1);
        bNext->setEnabled(v < count);
    }
}

void TfMain::cbFullClick() {
    sbImage->setFit(cbFull->isChecked());
    if (!cbFull->isChecked()) centreSubtitle();
}

void TfMain::centreSubtitle() {
    const TSUP* s = currentRecord();
    if (!s) return;
    // At full size the subtitle is in the middle of the box, across as well as down; at the
    // window's usual size a picture scrolled only down shows an empty corner.
    QRect area;
    for (const TSUPObject& o : s->obj)
        if (o.x2 > o.x1 && o.y2 > o.y1) area |= QRect(QPoint(o.x1, o.y1), QPoint(o.x2 - 1, o.y2 - 1));
    sbImage->centreOn(area);
}

void TfMain::stepSubtitle(int delta) {
    if (prog.Busy || prog.Loading || prog.Subs.empty()) return;
    const int count = std::min(static_cast<int>(prog.Subs.size()), udSubs->maximum());
    const int next = std::clamp(ieSubs->value() + delta, 1, std::max(1, count));
    if (PageControl->isEnabled()) PageControl->setCurrentWidget(tsImage);
    if (next != ieSubs->value() || prog.CurSub != next - 1) showSubtitle(next);
}

void TfMain::sbImageResize() {
    if (cbFull->isChecked()) sbImage->fitImage();
}

void TfMain::ImageMouseDown(QPoint p, Qt::MouseButton button) {
    if (button != Qt::LeftButton) return;
    const TSUP* s = currentRecord();
    if (!s) return;
    const int hit = hitTest(*s, p.x(), p.y());
    if (hit == 0) return;
    lastX = p.x();
    lastY = p.y();
    dragging = true;
    dragSlot = static_cast<uint8_t>(hit - 1);
    // The guide lines of the picked rectangle, drawn into the shown picture.
    const TSUPObject& o = s->obj[dragSlot];
    const int x1 = o.x1, x2 = o.x2, y1 = o.y1, y2 = o.y2;
    Image->drawLine(x1 - 10, y1, x2 + 9, y1, kPressColor);
    Image->drawLine(x2 - 1, y1 - 10, x2 - 1, y2 + 9, kPressColor);
    Image->drawLine(x1 - 10, y2 - 1, x2 + 9, y2 - 1, kPressColor);
    Image->drawLine(x1, y1 - 10, x1, y2 + 9, kPressColor);
}

void TfMain::ImageMouseMove(QPoint p) {
    const TSUP* s = currentRecord();
    Image->setCursor(s && hitTest(*s, p.x(), p.y()) != 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
    if (dragging) dragStep(p);
}

void TfMain::dragStep(QPoint p) {
    TSUP* s = currentRecord();
    if (!s) return;
    const int dx = p.x() - lastX;
    const int dy = p.y() - lastY;
    lastX = p.x();
    lastY = p.y();
    TSUPObject& slot = s->obj[dragSlot];
    moveSlot(slot, dx, dy);
    lArea->setText(toQt(areaText(slot)));
    lArea->repaint();
}

void TfMain::ImageMouseUp(QPoint p, Qt::MouseButton button) {
    if (button != Qt::LeftButton || !dragging) return;
    dragStep(p);
    if (currentRecord()) guarded([this] { drawSub(prog.CurSub + 1); });
    dragging = false;
}

void TfMain::ImageDblClick(QPoint) {
    TSUP* s = currentRecord();
    if (!s) return;
    TSUPObject& slot = s->obj[dragSlot];
    centreSlot(slot, opt.ieLastLine);
    lArea->setText(toQt(areaText(slot)));
    lArea->repaint();
    guarded([this] { drawSub(prog.CurSub + 1); });
}

}  // namespace vantrel::app
