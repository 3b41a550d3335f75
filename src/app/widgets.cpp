// Painting and behaviour of the window's own controls.
#include "app/widgets.h"

#include <QEnterEvent>
#include <QGridLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QScrollBar>

#include "app/qt_text.h"

namespace vantrel::app {

RadioGroup::RadioGroup(const QString& title, const QStringList& items, QWidget* parent, int columns)
    : QGroupBox(title, parent), group_(new QButtonGroup(this)) {
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(6, title.isEmpty() ? 2 : 6, 6, 2);
    layout->setSpacing(2);
    const int perColumn = (static_cast<int>(items.size()) + columns - 1) / std::max(1, columns);
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        group_->addButton(b, i);
        layout->addWidget(b, i % std::max(1, perColumn), i / std::max(1, perColumn));
    }
    if (title.isEmpty()) setFlat(true);
    connect(group_, &QButtonGroup::idClicked, this, &RadioGroup::itemClicked);
    connect(group_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on) emit itemIndexChanged(id);
    });
}

int RadioGroup::itemIndex() const { return group_->checkedId(); }

void RadioGroup::setItemIndex(int index) {
    if (index < 0 || index >= count()) {
        group_->setExclusive(false);
        if (QAbstractButton* b = group_->checkedButton()) b->setChecked(false);
        group_->setExclusive(true);
        return;
    }
    group_->button(index)->setChecked(true);
}

int RadioGroup::count() const { return static_cast<int>(group_->buttons().size()); }

QAbstractButton* RadioGroup::item(int index) const { return group_->button(index); }

namespace {

QFont tabFont(const QFont& base) {
    QFont f = base;
    f.setBold(true);
    f.setPointSize(8);
    return f;
}

// Caption without its "&" and the index of the accelerator letter in it (-1 for none).
QString stripMnemonic(const QString& caption, int& accelerator) {
    QString out;
    accelerator = -1;
    for (int i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size()) {
            ++i;
            if (caption[i] != QLatin1Char('&') && accelerator < 0) accelerator = static_cast<int>(out.size());
        }
        out += caption[i];
    }
    return out;
}

}  // namespace

PageTabBar::PageTabBar(QWidget* parent) : QTabBar(parent) {
    setDrawBase(false);
    setExpanding(false);
    setFont(tabFont(font()));
}

QSize PageTabBar::tabSizeHint(int index) const {
    int accelerator = -1;
    const QString caption = stripMnemonic(tabText(index), accelerator);
    const QFontMetrics fm(tabFont(font()));
    return QSize(fm.horizontalAdvance(caption) + 24, std::max(22, fm.height() + 9));
}

void PageTabBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QFont f = tabFont(font());
    p.setFont(f);
    const QFontMetrics fm(f);
    const QColor face = palette().color(QPalette::Button);
    for (int i = 0; i < count(); ++i) {
        const QRect r = tabRect(i);
        const bool active = i == currentIndex();
        p.fillRect(r, face);
        int accelerator = -1;
        const QString caption = stripMnemonic(tabText(i), accelerator);
        const QColor text = active ? activeText() : inactiveText();
        const int textLeft = r.left() + (r.width() - fm.horizontalAdvance(caption)) / 2;
        const int textTop = r.top() + 4;
        p.setPen(isTabEnabled(i) && isEnabled() ? text : palette().color(QPalette::Disabled, QPalette::WindowText));
        p.drawText(QPoint(textLeft, textTop + fm.ascent()), caption);
        if (!active && accelerator >= 0) {
            const int x = textLeft + fm.horizontalAdvance(caption.left(accelerator));
            const int w = fm.horizontalAdvance(caption.at(accelerator));
            p.drawLine(x, r.top() + 16, x + w - 2, r.top() + 16);
        }
        p.fillRect(QRect(r.left() + 4, r.top() + 2, r.width() - 8, 3), active ? activeStrip() : face);
    }
}

PageTabs::PageTabs(QWidget* parent) : QTabWidget(parent) { setTabBar(new PageTabBar(this)); }

StatusPanels::StatusPanels(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QFont StatusPanels::statusFont(bool bold) const {
    QFont f = font();
    f.setBold(bold);
    return f;
}

QSize StatusPanels::sizeHint() const {
    return QSize(200, std::max(20, QFontMetrics(statusFont(true)).height() + 8));
}

void StatusPanels::setBar(const StatusBar& bar) {
    bar_ = bar;
    setToolTip(toQt(bar.hint));
    update();
}

void StatusPanels::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QFont f = statusFont(bar_.bold);
    p.setFont(f);
    const QFontMetrics fm(f);
    const int w0 = std::max(0, bar_.panel[0].width);
    const QRect r0(0, 0, w0, height());
    const QRect r1(w0 + 2, 0, std::max(0, width() - w0 - 2), height());
    const int baseline = (height() - fm.height()) / 2 + fm.ascent();
    if (bar_.errorBadge) {
        p.fillRect(r0, QColor(255, 0, 0));
        p.setPen(QColor(255, 255, 0));
        p.drawText(QPoint(10, 5 + fm.ascent()), QStringLiteral("ERROR"));
    } else {
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(QPoint(r0.left(), baseline), fm.elidedText(toQt(bar_.panel[0].text), Qt::ElideRight, r0.width()));
    }
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(w0, 2, w0, height() - 3);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(QPoint(r1.left(), baseline), fm.elidedText(toQt(bar_.panel[1].text), Qt::ElideRight, r1.width()));
}

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setCursor(Qt::PointingHandCursor);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 0xCC));
    setPalette(pal);
}

void LinkLabel::enterEvent(QEnterEvent* event) {
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    QLabel::enterEvent(event);
}

void LinkLabel::leaveEvent(QEvent* event) {
    QFont f = font();
    f.setUnderline(false);
    setFont(f);
    QLabel::leaveEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
    QLabel::mouseReleaseEvent(event);
}

ScrollingMemo::ScrollingMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    viewport()->setMouseTracking(true);
    viewport()->installEventFilter(this);
}

bool ScrollingMemo::eventFilter(QObject* watched, QEvent* event) {
    if (watched == viewport() && event->type() == QEvent::MouseMove) {
        const int y = static_cast<QMouseEvent*>(event)->position().toPoint().y();
        const int half = height() / 2;
        QScrollBar* bar = verticalScrollBar();
        if (y >= 0 && y <= half - 5) bar->setValue(bar->value() - 1);
        else if (y >= half + 5 && y <= height()) bar->setValue(bar->value() + 1);
    }
    return QPlainTextEdit::eventFilter(watched, event);
}

}  // namespace vantrel::app
