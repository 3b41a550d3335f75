// Lines and their formats in a QTextDocument, one block per line.
#include "app/log_pane.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "app/qt_text.h"
#include "core/encoding.h"

namespace vantrel::app {
namespace {

QColor toQColor(Color c) { return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF)); }

// Decodes a piece of a line the way the whole line is decoded (UTF-8, or Windows-1252 for
// a line that is no valid UTF-8).
QString decodePiece(std::string_view piece, bool utf8) {
    if (utf8) return QString::fromUtf8(piece.data(), static_cast<qsizetype>(piece.size()));
    const std::string converted = cp1252ToUtf8(piece);
    return QString::fromUtf8(converted.data(), static_cast<qsizetype>(converted.size()));
}

}  // namespace

LogPane::LogPane(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QTextEdit::WidgetWidth);
    QFont f = font();
    f.setPointSize(kDefaultPoints);
    document()->setDefaultFont(f);
}

QTextCharFormat LogPane::defaultFormat() const {
    QTextCharFormat f;
    f.setFontWeight(QFont::Normal);
    f.setFontItalic(false);
    f.setFontUnderline(false);
    f.setFontPointSize(kDefaultPoints);
    // The active colour: lines logged while a job has the window disabled stay black.
    f.setForeground(palette().color(QPalette::Active, QPalette::Text));
    return f;
}

void LogPane::startLine() {
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    if (lines_ > 0) c.insertBlock();
    ++lines_;
}

void LogPane::appendLine(const LogLine& line) {
    startLine();
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    const std::string& text = line.text;
    const bool utf8 = validUtf8(text);
    const QTextCharFormat plain = defaultFormat();
    // Runs come in order and do not overlap; the gaps between them are plain.
    size_t pos = 0;
    for (const LogRun& run : line.runs) {
        if (run.start < pos || run.start >= text.size()) continue;
        const size_t length = std::min(run.length, text.size() - run.start);
        if (run.start > pos) c.insertText(decodePiece(std::string_view(text).substr(pos, run.start - pos), utf8), plain);
        QTextCharFormat f = plain;
        if (run.bold) f.setFontWeight(QFont::Bold);
        f.setFontItalic(run.italic);
        f.setFontUnderline(run.underline);
        f.setFontPointSize(run.size);
        if (!run.windowText) f.setForeground(toQColor(run.color));
        c.insertText(decodePiece(std::string_view(text).substr(run.start, length), utf8), f);
        pos = run.start + length;
    }
    if (pos < text.size()) c.insertText(decodePiece(std::string_view(text).substr(pos), utf8), plain);
    c.setBlockCharFormat(plain);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void LogPane::replaceLastLine(std::string_view text) {
    if (lines_ == 0) {
        appendLine(LogLine{std::string(text), {}});
        return;
    }
    QTextCursor c(document()->lastBlock());
    c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    c.insertText(toQt(text), defaultFormat());
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void LogPane::clearLines() {
    document()->clear();
    lines_ = 0;
}

QString LogPane::lineText(int i) const {
    if (i < 0 || i >= lines_) return {};
    return document()->findBlockByNumber(i).text();
}

}  // namespace vantrel::app
