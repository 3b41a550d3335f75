// The window's own kinds of controls: radio groups, the page control with owner-drawn tabs,
// the two-panel status bar, the link label and the changelog memo.
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QWidget>

#include "core/host.h"

namespace vantrel::app {

// A group of radio buttons addressed by item index; the title may be empty.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& title, const QStringList& items, QWidget* parent = nullptr, int columns = 1);

    int itemIndex() const;
    // Selects an item without running the click handlers; -1 selects none.
    void setItemIndex(int index);
    int count() const;
    QAbstractButton* item(int index) const;

signals:
    // The user picked an item.
    void itemClicked(int index);
    // The selection changed, by the user or by setItemIndex.
    void itemIndexChanged(int index);

private:
    QButtonGroup* group_;
};

// Tabs drawn by the window: button-face background, bold captions in dark blue (active) or
// grey-blue, an orange strip on the active tab, the accelerator underlined by hand on the others.
class PageTabBar : public QTabBar {
    Q_OBJECT
public:
    explicit PageTabBar(QWidget* parent = nullptr);

    static QColor activeText() { return QColor(0, 0, 0x88); }
    static QColor inactiveText() { return QColor(0x66, 0x66, 0x99); }
    static QColor activeStrip() { return QColor(0xFF, 0xBB, 0); }

protected:
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
    void paintEvent(QPaintEvent* event) override;
};

class PageTabs : public QTabWidget {
    Q_OBJECT
public:
    explicit PageTabs(QWidget* parent = nullptr);
};

// Status bar with two panels; panel 0 turns into a red "ERROR" badge.
class StatusPanels : public QWidget {
    Q_OBJECT
public:
    explicit StatusPanels(QWidget* parent = nullptr);

    void setBar(const StatusBar& bar);
    const StatusBar& bar() const { return bar_; }
    QFont statusFont(bool bold) const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    StatusBar bar_;
};

// A label that acts as a link: hand cursor, underlined while the mouse is over it.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(const QString& text, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A read-only memo that scrolls one line up or down while the mouse rests in its upper or
// lower half.
class ScrollingMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit ScrollingMemo(QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace vantrel::app
