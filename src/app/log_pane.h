// The message log: a rich-text list of lines with bold, italic, underline, size and colour runs.
#pragma once

#include <QTextEdit>
#include <string_view>

#include "core/host.h"

namespace vantrel::app {

class LogPane : public QTextEdit {
    Q_OBJECT
public:
    explicit LogPane(QWidget* parent = nullptr);

    void appendLine(const LogLine& line);
    // Replaces the last line by plain text in the default format (adds a line to an empty log).
    void replaceLastLine(std::string_view text);
    void clearLines();
    int lineCount() const { return lines_; }
    // The visible text of line i (0-based).
    QString lineText(int i) const;

    static constexpr int kDefaultPoints = 8;

private:
    void startLine();
    QTextCharFormat defaultFormat() const;

    int lines_ = 0;
};

}  // namespace vantrel::app
