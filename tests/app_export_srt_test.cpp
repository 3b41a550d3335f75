// The window's stream export, SRT import and text editing.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/widgets.h"
#include "platform/files.h"
#include "stream/load.h"
#include "ocr_stream.h"
#include "support/qt_app.h"
#include "support/stream_builder.h"
#include "support/test_window.h"
#include "support/recording_host.h"
#include "support/session.h"

using namespace vantrel;
using namespace vantrel::app;
using namespace vantrel::testing;

namespace {

class FeatureTest : public WindowFixture {
protected:
    void SetUp() override {
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());   // outputs must not land in the current folder
        openWindow(false);
    }
    void TearDown() override {
        WindowFixture::TearDown();
        QDir::setCurrent(previous);
    }

    QString previous;
};

Bytes twoSubtitles() {
    PgsBuilder b;
    for (uint32_t start : {90000u, 450000u}) {
        b.pcs(start, {{0, 0, 100, 900}});
        b.wds(start, {{0, 100, 900, 4, 2}});
        b.pds(start, {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}});
        b.ods(start, 0, true, true, {0x01, 0x01, 0x00, 0x82, 0x00, 0x00, 0x00, 0x84, 0x01, 0x00, 0x00}, 4, 2);
        b.end(start);
        b.pcs(start + 90000, {});
        b.end(start + 90000);
    }
    return b.bytes();
}

}  // namespace

// Without an output folder the stream goes next to its source, not into the current folder,
// and the log names it with its full path.
TEST_F(FeatureTest, ExportWritesTheStreamAndRestoresTheWindow) {
    const QString source = QString::fromStdString(writeTempFile("movie.en.sup", twoSubtitles()));
    w->eSUPfile->setText(source);
    w->bReadSUPClick();
    ASSERT_EQ(w->prog.Subs.size(), 2u);
    ASSERT_TRUE(w->bExport->isEnabled());
    w->bExport->click();
    settle();
    const QString out = QDir(QFileInfo(source).absolutePath()).filePath(QStringLiteral("movie.en.BD.23.976.sup"));
    ASSERT_TRUE(QFileInfo::exists(out));
    EXPECT_FALSE(QFileInfo::exists(QDir(dir.path()).filePath(QStringLiteral("movie.en.BD.23.976.sup"))));
    EXPECT_TRUE(w->lines().contains(QStringLiteral("Exporting subtitle stream: ") + out));
    EXPECT_FALSE(w->prog.Busy);
    EXPECT_FALSE(w->prog.ExportingBD);
    EXPECT_TRUE(w->bExport->isEnabled());
    EXPECT_FALSE(w->bCancel->isEnabled());
    EXPECT_TRUE(w->errors.isEmpty());
    const QStringList lines = w->lines();
    EXPECT_TRUE(lines.contains(QStringLiteral("Done."))) << lines.join('\n').toStdString();

    // The written stream loads back with both subtitles.
    vantrel::testing::TestSession session;
    auto& [host, msg, prog, opt, ctx] = session;
    prog.eSUPfile = out.toStdString();
    EXPECT_EQ(Load(ctx), LoadResult::Loaded);
    EXPECT_EQ(prog.Subs.size(), 2u);
}

TEST_F(FeatureTest, SrtImportAndEditing) {
    QFile atlas(QDir(dir.path()).filePath(QStringLiteral("abc.png")));
    ASSERT_TRUE(atlas.open(QIODevice::WriteOnly));
    atlas.close();
    w->startUp({});
    const std::string srt = "1\n00:00:01,000 --> 00:00:02,000\nHello\n\n2\n00:00:03,000 --> 00:00:04,000\nWorld\n";
    w->nextFile = QString::fromStdString(writeTempFile("film.srt", Bytes(srt.begin(), srt.end())));
    w->bOpenSRTClick();
    settle();
    ASSERT_EQ(w->prog.Subs.size(), 2u);
    EXPECT_EQ(w->prog.SubKind, 3);
    EXPECT_FALSE(w->prog.Busy);
    EXPECT_TRUE(w->errors.isEmpty());
    EXPECT_TRUE(w->mSRT->toPlainText().startsWith(QStringLiteral("1\n00:00:01,000 --> 00:00:02,000\nHello")));
    EXPECT_EQ(w->lSRTfile->text(), w->nextFile);
    EXPECT_TRUE(w->bExport->isEnabled());

    // Subtitle 1 is shown; typing locks it, the box follows.
    ASSERT_EQ(w->prog.CurSub, 0);
    EXPECT_EQ(w->mSubtext->toPlainText(), QStringLiteral("Hello"));
    EXPECT_FALSE(w->cbLock->isChecked());
    w->mSubtext->setPlainText(QStringLiteral("Hello there"));
    EXPECT_EQ(w->prog.Subs[0].text, "Hello there");
    EXPECT_EQ(w->prog.Subs[0].locked, 1);
    EXPECT_TRUE(w->cbLock->isChecked());
    w->cbLock->click();
    EXPECT_EQ(w->prog.Subs[0].locked, 0);
    // Showing a subtitle fills the editor without locking its text.
    w->showSubtitle(2);
    EXPECT_EQ(w->mSubtext->toPlainText(), QStringLiteral("World"));
    EXPECT_EQ(w->prog.Subs[1].locked, 0);
    EXPECT_FALSE(w->cbLock->isChecked());
}

TEST_F(FeatureTest, EditorShowsAndKeepsEveryLetter) {
    QFile atlas(QDir(dir.path()).filePath(QStringLiteral("abc.png")));
    ASSERT_TRUE(atlas.open(QIODevice::WriteOnly));
    atlas.close();
    w->startUp({});
    // UTF-8: "Straße „à“ œuvre …", then "Ã©", which is Windows-1252 text that happens to
    // look like the UTF-8 of "é" once converted.
    const std::string srt = "1\n00:00:01,000 --> 00:00:02,000\nStra\xC3\x9F" "e \xE2\x80\x9E\xC3\xA0\xE2\x80\x9C \xC5\x93uvre \xE2\x80\xA6\n\n"
                            "2\n00:00:03,000 --> 00:00:04,000\n\xC3\x83\xC2\xA9\n";
    w->nextFile = QString::fromStdString(writeTempFile("langues.srt", Bytes(srt.begin(), srt.end())));
    w->bOpenSRTClick();
    settle();
    ASSERT_EQ(w->prog.Subs.size(), 2u);
    EXPECT_EQ(w->prog.Subs[0].text, "Straße „à“ œuvre …");
    EXPECT_EQ(w->mSubtext->toPlainText(), QString::fromUtf8("Stra\xC3\x9F" "e \xE2\x80\x9E\xC3\xA0\xE2\x80\x9C \xC5\x93uvre \xE2\x80\xA6"));
    EXPECT_TRUE(w->mSRT->toPlainText().contains(QString::fromUtf8("\xC5\x93uvre")));

    w->mSubtext->setPlainText(QString::fromUtf8("\xC3\x87" "a va \xE2\x80\x93 tr\xC3\xA8s bien \xE2\x82\xAC"));
    EXPECT_EQ(w->prog.Subs[0].text, "Ça va – très bien €");

    w->showSubtitle(2);
    EXPECT_EQ(w->prog.Subs[1].text, "Ã©");
    EXPECT_EQ(w->mSubtext->toPlainText(), QString::fromUtf8("\xC3\x83\xC2\xA9"));
    // Letters of other scripts are kept as typed, and the SRT preview shows them.
    w->mSubtext->setPlainText(QStringLiteral("Zażółć gęślą jaźń\nСъешь ещё, Ωμέγα"));
    EXPECT_EQ(w->prog.Subs[1].text, "Zażółć gęślą jaźń|Съешь ещё, Ωμέγα");

    // The stored setting follows the encoding list.
    w->coSrtEncoding->setCurrentIndex(1);
    EXPECT_EQ(w->opt.coSrtEncoding, 1);
}

// Pictures, the SRT dialogs and exports work in the source's folder unless an output folder
// is set; the log names what was written with its full path.
TEST_F(FeatureTest, OutputsGoNextToTheSource) {
    const QString source = QString::fromStdString(writeTempFile("film.sup", twoSubtitles()));
    const QString folder = QFileInfo(source).absolutePath();
    w->eSUPfile->setText(source);
    w->bReadSUPClick();
    ASSERT_EQ(w->prog.Subs.size(), 2u);

    w->bSaveBMP->click();
    settle();
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/film.sup.bitmaps/line0001.png")).isFile());
    EXPECT_TRUE(w->lines().contains(QStringLiteral("Saving subpicture bitmaps to ") + folder +
                                    QStringLiteral("/film.sup.bitmaps/")))
        << w->lines().join('\n').toStdString();

    w->PageControl->setCurrentWidget(w->tsSRT);
    ASSERT_TRUE(w->bSaveSRT->isEnabled());
    w->answer = false;   // the texts are placeholders; not recognised first
    w->bSaveSRT->click();
    EXPECT_EQ(w->dialogProposed, folder + QStringLiteral("/film.srt"));
    w->bOpenSRTClick();
    EXPECT_EQ(w->dialogFolder, folder);

    // An output folder set by the user wins.
    const QString out = QDir(dir.path()).filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    w->eWorkDir->setText(out);
    w->bExport->click();
    settle();
    EXPECT_TRUE(QFileInfo(out + QStringLiteral("/film.BD.23.976.sup")).isFile());
    EXPECT_FALSE(QFileInfo(folder + QStringLiteral("/film.BD.23.976.sup")).exists());
    w->bSaveSRT->click();
    EXPECT_EQ(w->dialogProposed, out + QStringLiteral("/film.srt"));
}

namespace {

QString fileText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

}  // namespace

// "Save SRT" before any OCR: the placeholders are named and the OCR is offered first. The
// proposed name keeps the language part of the stream's name.
TEST_F(FeatureTest, SavingBeforeTheOcrOffersToRunIt) {
    w->startUp({});
    w->opt.ocrEngine = kOcrRules;
    // Bars the rule engine reads as "l l".
    const QString fr = QString::fromStdString(barsStream("movie.fr.sup", 2));
    const QString en = QString::fromStdString(barsStream("movie.en.sup", 2));
    const QString out = QDir(dir.path()).filePath(QStringLiteral("saved.srt"));
    w->eSUPfile->setText(fr);
    w->bReadSUPClick();
    ASSERT_EQ(w->prog.Subs.size(), 2u);
    w->PageControl->setCurrentWidget(w->tsSRT);
    w->nextSaveFile = out;

    // No: saved as it is, after the warning.
    w->answer = false;
    w->bSaveSRT->click();
    settle();
    ASSERT_EQ(w->questions.size(), 1u);
    EXPECT_EQ(w->questions[0], "2 of 2 subtitles are not recognised yet: the SRT file would hold \"line 1\", "
                               "\"line 2\" ... in place of their text. Run \"OCR all\" first?");
    EXPECT_TRUE(w->dialogProposed.endsWith(QStringLiteral("/movie.fr.srt"))) << w->dialogProposed.toStdString();
    EXPECT_TRUE(fileText(out).contains(QStringLiteral("line 1")));

    // Yes: the OCR runs, then the file holds what it read.
    w->answer = true;
    w->PageControl->setCurrentWidget(w->tsSRT);
    w->bSaveSRT->click();
    settle();
    ASSERT_EQ(w->questions.size(), 2u);
    for (const TSUP& s : w->prog.Subs) EXPECT_EQ(s.text, "l l");
    const QString saved = fileText(out);
    EXPECT_FALSE(saved.contains(QStringLiteral("line 1"))) << saved.toStdString();
    EXPECT_EQ(QString(saved).replace(QStringLiteral("\r\n"), QStringLiteral("\n")), w->mSRT->toPlainText() + "\n");

    // Recognised: nothing to ask. Nothing unsaved either: a reload asks nothing.
    w->bSaveSRT->click();
    EXPECT_EQ(w->questions.size(), 2u);
    w->eSUPfile->setText(en);
    w->bReadSUPClick();
    EXPECT_EQ(w->questions.size(), 2u);
    w->nextSaveFile.clear();
    w->answer = false;
    w->bSaveSRT->click();
    EXPECT_TRUE(w->dialogProposed.endsWith(QStringLiteral("/movie.en.srt"))) << w->dialogProposed.toStdString();
}

// The SRT page shows the text "Save SRT" writes and takes no typing: texts are edited on the
// Image page, and the page says so.
TEST_F(FeatureTest, TheSrtPageShowsWhatIsSavedAndSaysWhereToEdit) {
    w->startUp({});
    w->eSUPfile->setText(QString::fromStdString(writeTempFile("film.sup", twoSubtitles())));
    w->bReadSUPClick();
    w->prog.Subs[0].font = kFontNormal;
    w->showSubtitle(1);
    w->mSubtext->setPlainText(QStringLiteral("Typed on the Image page"));
    w->PageControl->setCurrentWidget(w->tsSRT);
    EXPECT_TRUE(w->mSRT->isReadOnly());
    const auto* hint = w->tsSRT->findChild<QLabel*>(QStringLiteral("lSRThint"));
    ASSERT_NE(hint, nullptr);
    EXPECT_TRUE(hint->text().contains(QStringLiteral("Image page")));
    EXPECT_TRUE(w->mSRT->toPlainText().contains(QStringLiteral("Typed on the Image page")));
    QTest::keyClicks(w->mSRT, QStringLiteral("lost"));
    EXPECT_FALSE(w->mSRT->toPlainText().contains(QStringLiteral("lost")));

    const QString out = QDir(dir.path()).filePath(QStringLiteral("film.srt"));
    w->nextSaveFile = out;
    w->answer = false;
    w->bSaveSRT->click();
    EXPECT_EQ(fileText(out).replace(QStringLiteral("\r\n"), QStringLiteral("\n")), w->mSRT->toPlainText() + "\n");
}
