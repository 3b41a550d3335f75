// Integer edits and the up-down buttons bound to them.
#pragma once

#include <QLineEdit>
#include <QWidget>

class QToolButton;

namespace vantrel::app {

// An edit for whole numbers: typing accepts only "0".."9", "+", "-", backspace and Enter;
// any other character is refused with the warning sound. The value is the text read as a
// decimal integer, 0 when it is not a valid number.
class TIntEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TIntEdit(QWidget* parent = nullptr);

    int value() const;
    void setValue(int v);

    // The decimal value of a text: optional sign, digits, nothing else; 0 otherwise.
    static int parse(const QString& text);

signals:
    // The text changed (typed or set); the new value.
    void valueChanged(int value);
    // Up and down arrow keys, for a bound up-down control.
    void stepRequested(int delta);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// Up and down arrow buttons that step the value of an associated integer edit between a
// minimum and a maximum.
class TUpDown : public QWidget {
    Q_OBJECT
public:
    explicit TUpDown(QWidget* parent = nullptr);

    void setAssociate(TIntEdit* edit);
    void setMinimum(int v) { min_ = v; }
    void setMaximum(int v) { max_ = v; }
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    // Sets the position and writes it into the associated edit (its change handler runs).
    void setPosition(int v);
    int position() const;
    void step(int delta);

private:
    TIntEdit* edit_ = nullptr;
    QToolButton* up_;
    QToolButton* down_;
    int min_ = 0;
    int max_ = 100;
};

}  // namespace vantrel::app
