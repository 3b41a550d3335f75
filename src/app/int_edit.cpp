// Integer edit key filtering and up-down stepping.
#include "app/int_edit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <limits>

namespace vantrel::app {

TIntEdit::TIntEdit(QWidget* parent) : QLineEdit(parent) {
    setText(QStringLiteral("0"));
    connect(this, &QLineEdit::textChanged, this, [this](const QString& t) { emit valueChanged(parse(t)); });
}

int TIntEdit::parse(const QString& text) {
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok, 10);
    if (!ok || text.isEmpty() || text.front().isSpace() || text.back().isSpace()) return 0;
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return 0;
    return static_cast<int>(v);
}

int TIntEdit::value() const { return parse(text()); }

void TIntEdit::setValue(int v) { setText(QString::number(v)); }

void TIntEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
        emit stepRequested(event->key() == Qt::Key_Up ? 1 : -1);
        event->accept();
        return;
    }
    // Navigation and editing keys carry no character; shortcuts (copy, paste) pass too.
    const QString t = event->text();
    const bool shortcut = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (!t.isEmpty() && !shortcut) {
        const QChar c = t.front();
        const bool allowed = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('+') ||
                             c == QLatin1Char('-') || c == QLatin1Char('\b') || c == QLatin1Char('\r') ||
                             c == QLatin1Char('\n') || event->key() == Qt::Key_Backspace ||
                             event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
                             event->key() == Qt::Key_Delete || event->key() == Qt::Key_Tab ||
                             event->key() == Qt::Key_Backtab || event->key() == Qt::Key_Escape;
        if (!allowed) {
            QApplication::beep();
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
    // Enter ends the input of this field (its value is already applied) and goes no
    // further: the window's default button would read the stream again.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) event->accept();
}

TUpDown::TUpDown(QWidget* parent) : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton* b : {up_, down_}) {
        b->setArrowType(b == up_ ? Qt::UpArrow : Qt::DownArrow);
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setFixedSize(16, 11);
        layout->addWidget(b);
    }
    connect(up_, &QToolButton::clicked, this, [this] { step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
}

void TUpDown::setAssociate(TIntEdit* edit) {
    edit_ = edit;
    connect(edit, &TIntEdit::stepRequested, this, &TUpDown::step);
}

int TUpDown::position() const { return edit_ ? edit_->value() : min_; }

void TUpDown::setPosition(int v) {
    if (edit_) edit_->setValue(v);
}

void TUpDown::step(int delta) {
    if (!edit_ || !edit_->isEnabled() || max_ < min_) return;
    int v = position() + delta;
    if (v < min_) v = min_;
    if (v > max_) v = max_;
    if (v != position() || edit_->text() != QString::number(v)) setPosition(v);
}

}  // namespace vantrel::app
