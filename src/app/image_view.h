// The viewer's picture control and the scroll box that holds it.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QWidget>

#include "core/pictures.h"

namespace vantrel::app {

// Shows a picture stretched over the control (fit view) or at full size. Mouse positions
// are reported in picture coordinates, so a drag in fit view moves by picture pixels.
class ImageView : public QWidget {
    Q_OBJECT
public:
    explicit ImageView(QWidget* parent = nullptr);

    void setPicture(const RgbImage& picture);
    const QImage& picture() const { return image_; }
    // Draws 1-pixel lines straight into the shown picture (cleared by the next setPicture).
    void drawLine(int x1, int y1, int x2, int y2, QColor color);
    QPoint toPicture(QPointF widgetPos) const;

signals:
    void mousePressed(QPoint picturePos, Qt::MouseButton button);
    void mouseMoved(QPoint picturePos);
    void mouseReleased(QPoint picturePos, Qt::MouseButton button);
    void doubleClicked(QPoint picturePos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage image_;
};

// Holds the picture control: fitted and centred without scroll bars, or at full size with
// both scroll bars.
class ScrollBox : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit ScrollBox(QWidget* parent = nullptr);

    void setImage(ImageView* image);
    // Fit view (true) or full resolution (false).
    void setFit(bool fit);
    bool fit() const { return fit_; }
    void setVerticalPosition(int y);
    // At full size: scrolls so that `area` (picture pixels) is in the middle of the box; an
    // area taller than the box shows its top with a margin of 10 pixels.
    void centreOn(const QRect& area);
    // Sizes and centres the picture control in the box (fit view).
    void fitImage();

signals:
    void resized();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void updateRanges();
    void placeImage();

    ImageView* image_ = nullptr;
    bool fit_ = true;
};

}  // namespace vantrel::app
