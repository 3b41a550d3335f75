// The window's OCR commands and the SRT text page.
#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/bindings.h"
#include "app/image_view.h"
#include "app/int_edit.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "app/widgets.h"
#include "core/table_state.h"
#include "ocr/correction.h"
#include "ocr/ocr_batch.h"
#include "platform/files.h"
#include "text/srt_writer.h"

namespace vantrel::app {
namespace {

constexpr int kImagePage = 2;

void bOCRallClick(TfMain& w);

// The SRT file proposed for a table: its base name with only a stream or SRT extension cut,
// so "movie.en.sup" and "movie.fr.sup" keep their language part.
QString srtFileName(const std::string& baseName) {
    QString name = toQt(fileNameOnly(baseName));
    for (const QLatin1String ext : {QLatin1String(".sup"), QLatin1String(".srt")})
        if (name.endsWith(ext, Qt::CaseInsensitive)) name.chop(ext.size());
    return name + QStringLiteral(".srt");
}

// The recognition commands work only on tables whose pictures the OCR reads.
bool recognisable(const TfMain& w) { return tableCommands(w.prog.SubKind, w.prog.Subs.size()).ocr; }

// Before "OCR all" the texts are the readers' placeholders ("line 1" ...): saving them
// writes an SRT file without a word of the film. Says so and offers to recognise first.
void offerOcrBeforeSaving(TfMain& w) {
    if (!recognisable(w) || w.prog.Busy) return;
    size_t waiting = 0;
    for (const TSUP& s : w.prog.Subs) waiting += awaitsOcr(s) ? 1 : 0;
    if (waiting == 0) return;
    const std::string question = std::to_string(waiting) + " of " + std::to_string(w.prog.Subs.size()) +
                                 " subtitles are not recognised yet: the SRT file would hold \"line 1\", "
                                 "\"line 2\" ... in place of their text. Run \"OCR all\" first?";
    if (w.confirm(question)) bOCRallClick(w);
}

void bSaveSRTClick(TfMain& w) {
    offerOcrBeforeSaving(w);
    if (w.prog.Busy) return;
    // What is written is the SRT text of the table as it is now.
    if (w.prog.srtDirty) refreshSrtPage(w);
    const QString folder = displayPath(w.outputFolder());
    const QString proposed = srtFileName(w.prog.BaseName);
    const QString file = w.chooseSaveFile(QStringLiteral("Save subtitle to SubRip (SRT) format"), "SRT (subrip)|*.srt",
                                          folder + QLatin1Char('/') + proposed, QStringLiteral("srt"));
    if (file.isEmpty()) return;
    if (w.guarded([&] { saveSrt(w.ctx, nativePath(file)); })) markTextsSaved(w.prog);
}

// The OCR commands share the picture and the stream with the long jobs: none of them runs
// while a job or a load does.
bool refuse(TfMain& w) {
    if (!w.prog.Busy && !w.prog.Loading) return false;
    w.beep();
    return true;
}

// What the commands that draw and recognise one subtitle take from the window.
OcrCommandView commandView(TfMain& w) {
    w.drawView.cbFull = w.cbFull->isChecked();
    OcrCommandView view;
    view.draw = w.drawView;
    view.imageVisible = !w.Image->isHidden();
    return view;
}

// Prev and Next follow the shown number, as stepping through the subtitles does.
void updateNavigation(TfMain& w) {
    if (!recognisable(w)) return;
    const int n = w.ieSubs->value();
    w.bPrev->setEnabled(n > 1);
    w.bNext->setEnabled(n < static_cast<int>(w.prog.Subs.size()));
}

// Puts what an OCR left behind on the window: the two-tone picture with its overlay, the
// editor lines, the font group and the number box.
void showOcrResult(TfMain& w) {
    w.applyControls();
    w.showPanel();
    updateNavigation(w);
}

void bOCRClick(TfMain& w) {
    if (refuse(w)) return;
    const int n = w.ieSubs->value();
    w.guarded([&] { vantrel::bOCRClick(w.ctx, n, commandView(w)); });
    showOcrResult(w);
}

void rgFontClick(TfMain& w, int index) {
    if (refuse(w)) return;
    const int n = w.ieSubs->value();
    bool recognised = false;
    const bool ok = w.guarded([&] { recognised = vantrel::rgFontClick(w.ctx, n, index, commandView(w)); });
    if (recognised || !ok) showOcrResult(w);
}

using JumpCommand = int32_t (*)(Context&, int32_t, const OcrCommandView&);

void jump(TfMain& w, JumpCommand command) {
    if (refuse(w)) return;
    const int n = w.ieSubs->value();
    int32_t target = 0;
    const bool ok = w.guarded([&] { target = command(w.ctx, n, commandView(w)); });
    if (target != 0 || !ok) showOcrResult(w);
    w.PageControl->setCurrentIndex(kImagePage);
}

void coLangChange(TfMain& w, int k) {
    // The choice itself is stored by the options binding; the texts of a table that a job
    // or a load is working on are left alone.
    if (w.prog.Busy || w.prog.Loading) return;
    if (!vantrel::coLangChange(w.ctx, k)) return;
    w.prog.srtDirty = true;
    if (const TSUP* sub = w.currentRecord()) {
        w.prog.panel.editorLines = TxtToLines(sub->text);
        w.showPanel();
    }
}

void bOCRallClick(TfMain& w) {
    if (refuse(w)) return;
    w.drawView.cbFull = w.cbFull->isChecked();
    OcrBatchView view;
    view.draw = w.drawView;
    OcrBatchResult result;
    w.guarded([&] { result = ocrAll(w.ctx, view); });
    if (result.refused) {
        w.beep();
        return;
    }
    // The work goes on at the pictures, from the first one.
    w.PageControl->setCurrentIndex(kImagePage);
    if (recognisable(w)) w.bNext->setEnabled(true);
    // An English guess chose the English table; the list shows it without asking to apply it.
    if (w.coLang->currentIndex() != w.opt.coLang) w.coLang->setCurrentIndex(w.opt.coLang);
}

}  // namespace

void bindOcr(TfMain& w) {
    QObject::connect(w.bSaveSRT, &QPushButton::clicked, &w, [&w] { bSaveSRTClick(w); });
    // The SRT text can be saved once it holds a line.
    QObject::connect(w.mSRT, &QPlainTextEdit::textChanged, &w,
                     [&w] { w.bSaveSRT->setEnabled(!w.mSRT->toPlainText().isEmpty()); });

    QObject::connect(w.bOCR, &QPushButton::clicked, &w, [&w] { bOCRClick(w); });
    QObject::connect(w.bOCRall, &QPushButton::clicked, &w, [&w] { bOCRallClick(w); });
    QObject::connect(w.bNext, &QPushButton::clicked, &w, [&w] { jump(w, &vantrel::bNextClick); });
    QObject::connect(w.bPrev, &QPushButton::clicked, &w, [&w] { jump(w, &vantrel::bPrevClick); });
    // Only the user's picks: the viewer and the OCR set the group without a click.
    QObject::connect(w.rgFont, &RadioGroup::itemClicked, &w, [&w](int index) { rgFontClick(w, index); });
    QObject::connect(w.coLang, &QComboBox::activated, &w, [&w](int k) { coLangChange(w, k); });
}

void refreshSrtPage(TfMain& w) {
    vantrel::SUP2Srt(w.ctx);
    w.showSrtPage();
}

}  // namespace vantrel::app
