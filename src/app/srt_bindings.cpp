// SRT import and the text editor of the shown subtitle.
#include <QCheckBox>
#include <QEvent>
#include <QPlainTextEdit>

#include "app/bindings.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "core/job.h"
#include "text/srt_reader.h"

namespace vantrel::app {
namespace {

std::vector<std::string> editorLines(const TfMain& w) {
    std::vector<std::string> lines;
    for (const QString& line : w.mSubtext->toPlainText().split(QLatin1Char('\n'))) lines.push_back(fromQt(line));
    return lines;
}

// Leaving the editor places an SRT-made subtitle again.
class EditorExit : public QObject {
public:
    explicit EditorExit(TfMain& w) : QObject(&w), w_(w) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusOut && !w_.prog.Busy)
            w_.guarded([this] { mSubtextExit(w_.ctx, editorLines(w_)); });
        return QObject::eventFilter(watched, event);
    }

private:
    TfMain& w_;
};

}  // namespace

void bindSrt(TfMain& w) {
    QObject::connect(w.mSubtext, &QPlainTextEdit::textChanged, &w, [&w] {
        if (!w.currentRecord()) return;
        mSubtextChange(w.ctx, editorLines(w));
        // setChecked sends no click: the box follows without calling its handler.
        w.cbLock->setChecked(w.prog.panel.cbLock);
    });
    w.mSubtext->installEventFilter(new EditorExit(w));
    // Only a click by the user changes the record; the viewer sets the box without one.
    QObject::connect(w.cbLock, &QCheckBox::clicked, &w, [&w](bool checked) { cbLockClick(w.ctx, checked); });
}

void openSrtFile(TfMain& w, const std::string& fileName) {
    if (refuseWhileWorking(w.ctx)) return;
    w.prog.BaseName = fileName;
    w.guarded([&] { importSrt(w.ctx, fileName); });
    w.showSrtPage();
}

}  // namespace vantrel::app
