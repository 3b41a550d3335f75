// Painting the picture, mouse positions in picture pixels, fit and full placement.
#include "app/image_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "render/viewer_math.h"

namespace vantrel::app {

ImageView::ImageView(QWidget* parent) : QWidget(parent) {
    image_ = QImage(kScreenWidth, kScreenHeight, QImage::Format_RGB32);
    image_.fill(Qt::black);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ImageView::setPicture(const RgbImage& picture) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() < static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height)) {
        image_ = QImage(kScreenWidth, kScreenHeight, QImage::Format_RGB32);
        image_.fill(Qt::black);
    } else {
        if (image_.width() != picture.width || image_.height() != picture.height)
            image_ = QImage(picture.width, picture.height, QImage::Format_RGB32);
        // Colour values hold red in the low byte; QImage's RGB32 holds blue there.
        for (int y = 0; y < picture.height; ++y) {
            auto* row = reinterpret_cast<QRgb*>(image_.scanLine(y));
            const Color* src = picture.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(picture.width);
            for (int x = 0; x < picture.width; ++x) {
                const Color c = src[x];
                row[x] = 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
            }
        }
    }
    update();
}

void ImageView::drawLine(int x1, int y1, int x2, int y2, QColor color) {
    QPainter p(&image_);
    p.setPen(QPen(color, 1));
    p.drawLine(x1, y1, x2, y2);
    update();
}

QPoint ImageView::toPicture(QPointF widgetPos) const {
    const QPoint p = widgetPos.toPoint();
    return QPoint(vantrel::toPicture(p.x(), width(), image_.width()), vantrel::toPicture(p.y(), height(), image_.height()));
}

void ImageView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (size() == image_.size()) {
        p.drawImage(0, 0, image_);
    } else {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(rect(), image_);
    }
}

void ImageView::mousePressEvent(QMouseEvent* event) { emit mousePressed(toPicture(event->position()), event->button()); }

void ImageView::mouseMoveEvent(QMouseEvent* event) { emit mouseMoved(toPicture(event->position())); }

void ImageView::mouseReleaseEvent(QMouseEvent* event) { emit mouseReleased(toPicture(event->position()), event->button()); }

void ImageView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit doubleClicked(toPicture(event->position()));
    // The second press of a double click is a press as well.
    emit mousePressed(toPicture(event->position()), event->button());
}

ScrollBox::ScrollBox(QWidget* parent) : QAbstractScrollArea(parent) {
    // A wheel notch or an arrow key moves 20 pixels per line, as picture viewers do; the
    // bars' own step of 1 pixel makes the wheel crawl over a 1920x1080 picture.
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(20);
    QPalette pal = viewport()->palette();
    pal.setColor(QPalette::Window, QColor(0x3A, 0x6E, 0xA5));
    pal.setColor(QPalette::Base, QColor(0x3A, 0x6E, 0xA5));
    viewport()->setPalette(pal);
    viewport()->setAutoFillBackground(true);
    setFrameShape(QFrame::NoFrame);
}

void ScrollBox::setImage(ImageView* image) {
    image_ = image;
    image->setParent(viewport());
    placeImage();
}

void ScrollBox::setFit(bool fit) {
    fit_ = fit;
    const Qt::ScrollBarPolicy policy = fit ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn;
    setHorizontalScrollBarPolicy(policy);
    setVerticalScrollBarPolicy(policy);
    placeImage();
}

void ScrollBox::setVerticalPosition(int y) { verticalScrollBar()->setValue(y); }

void ScrollBox::centreOn(const QRect& area) {
    if (fit_ || !image_ || area.isEmpty()) return;
    updateRanges();
    const QSize view = viewport()->size();
    // Subtitle text is centred in its window, which may be as wide as the screen.
    const int x = area.center().x() - view.width() / 2;
    const int y = area.height() <= view.height() ? area.center().y() - view.height() / 2 : area.top() - 10;
    horizontalScrollBar()->setValue(x);
    verticalScrollBar()->setValue(y);
    placeImage();
}

void ScrollBox::fitImage() {
    if (!image_) return;
    const QImage& pic = image_->picture();
    const FitRect r = FitImage(pic.width(), pic.height(), viewport()->width(), viewport()->height(), true);
    image_->setGeometry(r.left, r.top, r.width, r.height);
}

void ScrollBox::updateRanges() {
    if (!image_) return;
    const QSize full = image_->picture().size();
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, full.width() - view.width()));
    horizontalScrollBar()->setPageStep(view.width());
    verticalScrollBar()->setRange(0, std::max(0, full.height() - view.height()));
    verticalScrollBar()->setPageStep(view.height());
}

void ScrollBox::placeImage() {
    if (!image_) return;
    if (fit_) {
        horizontalScrollBar()->setRange(0, 0);
        verticalScrollBar()->setRange(0, 0);
        fitImage();
        return;
    }
    updateRanges();
    const QSize full = image_->picture().size();
    image_->setGeometry(-horizontalScrollBar()->value(), -verticalScrollBar()->value(), full.width(), full.height());
}

void ScrollBox::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    placeImage();
    emit resized();
}

void ScrollBox::scrollContentsBy(int, int) {
    if (!fit_) placeImage();
}

}  // namespace vantrel::app
