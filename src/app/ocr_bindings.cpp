// The window's OCR commands and the SRT text page.
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/bindings.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "platform/files.h"
#include "text/srt_writer.h"

namespace vantrel::app {
namespace {

void bSaveSRTClick(TfMain& w) {
    const QString folder = toQt(w.opt.eWorkDir);
    const QString proposed = toQt(CutExt(fileNameOnly(w.prog.BaseName)) + ".srt");
    QFileDialog dialog(&w, QStringLiteral("Save subtitle to SubRip (SRT) format"),
                       folder.isEmpty() ? proposed : folder + QLatin1Char('/') + proposed,
                       dialogFilter("SRT (subrip)|*.srt"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("srt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString file = dialog.selectedFiles().first();
    if (file.isEmpty()) return;
    w.guarded([&] { saveSrt(w.ctx, nativePath(file)); });
}

}  // namespace

// The OCR buttons (bOCR, bOCRall, bPrev, bNext), rgFont and coLang get their handlers here.
void bindOcr(TfMain& w) {
    QObject::connect(w.bSaveSRT, &QPushButton::clicked, &w, [&w] { bSaveSRTClick(w); });
    // The SRT text can be saved once it holds a line.
    QObject::connect(w.mSRT, &QPlainTextEdit::textChanged, &w,
                     [&w] { w.bSaveSRT->setEnabled(!w.mSRT->toPlainText().isEmpty()); });
}

void SUP2Srt(TfMain& w) {
    vantrel::SUP2Srt(w.ctx);
    w.showSrtPage();
}

}  // namespace vantrel::app
