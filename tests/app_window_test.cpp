// The main window on the offscreen platform: start-up, loading and its control states, the
// log pane's formats, closing and cancelling, long jobs, drops.
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QTextBrowser>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QToolButton>

#include <filesystem>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/image_view.h"
#include "app/int_edit.h"
#include "app/log_pane.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "app/widgets.h"
#include "core/job.h"
#include "platform/files.h"
#include "support/qt_app.h"
#include "support/test_window.h"
#include "support/run_command.h"
#include "support/stream_builder.h"

using namespace vantrel;
using namespace vantrel::app;
using namespace vantrel::testing;

namespace {

const Bytes kRle(20, 0x01);

// Two display sets with one object each, each followed by a clearing set.
Bytes twoSubtitles() {
    PgsBuilder b;
    for (uint32_t start : {90000u, 450000u}) {
        b.pcs(start, {{0, 0, 100, 900}});
        b.wds(start, {{0, 100, 900, 600, 80}});
        b.pds(start, {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}});
        b.ods(start, 0, true, true, kRle, 600, 80);
        b.end(start);
        b.pcs(start + 90000, {});
        b.wds(start + 90000, {{0, 100, 900, 600, 80}});
        b.end(start + 90000);
    }
    return b.bytes();
}

class WindowTest : public WindowFixture {
protected:
    void SetUp() override { openWindow(false); }
    void addAtlas() const {
        QFile f(dir.filePath(QStringLiteral("abc.png")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    std::string stream(const char* name = "movie.en.sup") const { return writeTempFile(name, twoSubtitles()); }
};

QString q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

namespace {

// Formats of the characters of a log line, one entry per character.
struct CharFormat {
    QChar ch;
    QTextCharFormat format;
};
std::vector<CharFormat> formatsOf(const LogPane& pane, int line) {
    std::vector<CharFormat> out;
    const QTextBlock block = pane.document()->findBlockByNumber(line);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment f = it.fragment();
        for (QChar c : f.text()) out.push_back({c, f.charFormat()});
    }
    return out;
}

}  // namespace

TEST_F(WindowTest, StartUpWithoutArguments) {
    w->startUp({});
    EXPECT_EQ(w->windowTitle(), "Vantrel v0.53b2");
    EXPECT_EQ(w->applicationTitle(), "Vantrel");
    EXPECT_EQ(w->PageControl->currentIndex(), 0);
    EXPECT_TRUE(w->PageControl->isEnabled());
    EXPECT_TRUE(w->bbSUP->isEnabled());
    EXPECT_FALSE(w->bReadSUP->isEnabled());
    for (QPushButton* b : {w->bSaveBMP, w->bOCRall, w->bExport, w->bCancel, w->bOpenSRT}) {
        SCOPED_TRACE(b->objectName().toStdString());
        EXPECT_FALSE(b->isEnabled());
    }
    // No glyph atlas beside the program: two lines and SRT import disabled.
    const QString atlas = QDir::toNativeSeparators(QDir(dir.path()).filePath("abc.png"));
    EXPECT_EQ(w->lines(), QStringList({atlas + " not found!", "You cannot import .srt files without it.", ""}));
    EXPECT_EQ(w->PageControl->tabText(0), "S&tatus");
    EXPECT_EQ(w->PageControl->tabText(4), "&About");
}

TEST_F(WindowTest, StartUpWithAtlasEnablesSrtImport) {
    addAtlas();
    w->startUp({});
    EXPECT_TRUE(w->lines().isEmpty());
    EXPECT_TRUE(w->bOpenSRT->isEnabled());
}

TEST_F(WindowTest, StartUpLoadsTheFileNamedOnTheCommandLineBeforeTheAtlasCheck) {
    const std::string file = stream();
    w->startUp({q(file)});
    const QStringList lines = w->lines();
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines[0], q(file) + " loading");
    EXPECT_EQ(lines[1], "Blu-ray presentation graphics found.");
    EXPECT_EQ(lines[2], "2 subtitles loaded.");
    EXPECT_EQ(lines[3], "");
    EXPECT_TRUE(lines[4].endsWith(" not found!"));
    EXPECT_EQ(w->prog.Subs.size(), 2u);
    EXPECT_EQ(w->prog.BaseName, "movie.en");
    EXPECT_TRUE(w->bReadSUP->isEnabled());
    EXPECT_TRUE(w->bSaveBMP->isEnabled());
    EXPECT_TRUE(w->bExport->isEnabled());
    EXPECT_TRUE(w->bOCRall->isEnabled());
    EXPECT_FALSE(w->bCancel->isEnabled());
    EXPECT_FALSE(w->ProgressBar->isVisibleTo(w.get()));
    EXPECT_TRUE(w->WebLink->isVisibleTo(w.get()));
    EXPECT_EQ(w->ieSubs->value(), 1);
    // Subtitle 1 is drawn and its side panel shown.
    EXPECT_EQ(w->prog.CurSub, 0);
    EXPECT_EQ(w->lStartEnd->text(), "00:00:01,000 - 00:00:02,000");
    EXPECT_EQ(w->lMaxline->text(), "/ 2");
    EXPECT_EQ(w->PageControl->currentWidget(), w->tsImage);   // the work goes on at the picture
    EXPECT_TRUE(w->ieSubs->isEnabled());
    EXPECT_EQ(w->udSubs->maximum(), 2);
    w->udSubs->step(1);
    EXPECT_EQ(w->prog.CurSub, 1);
    EXPECT_EQ(w->lStartEnd->text(), "00:00:05,000 - 00:00:06,000");
    w->udSubs->step(1);   // stops at the last subtitle
    EXPECT_EQ(w->ieSubs->value(), 2);
    EXPECT_EQ(w->applicationTitle(), "Vantrel");
}

TEST_F(WindowTest, StartUpWithTwoArgumentsLoadsNothing) {
    addAtlas();
    w->startUp({q(stream()), q(stream())});
    EXPECT_TRUE(w->prog.Subs.empty());
    EXPECT_TRUE(w->lines().isEmpty());
    EXPECT_FALSE(w->bReadSUP->isEnabled());
}

// A failed load with no table open before: nothing that works on a table can be pressed.
TEST_F(WindowTest, ControlStatesAfterALoadWithoutSubtitles) {
    addAtlas();
    w->startUp({});
    w->eSUPfile->setText(q(writeTempFile("junk.sup", Bytes{'X', 'Y', 0, 0})));
    w->bReadSUPClick();
    EXPECT_TRUE(w->prog.Subs.empty());
    EXPECT_EQ(w->ieSubs->value(), 0);
    for (QPushButton* b : {w->bSaveBMP, w->bExport, w->bOCRall, w->bOCR, w->bPrev, w->bNext, w->bSaveSRT}) {
        SCOPED_TRACE(b->objectName().toStdString());
        EXPECT_FALSE(b->isEnabled());
        b->click();   // a disabled button does nothing; neither may the command
        settle();
    }
    EXPECT_TRUE(w->statusPanels->bar().errorBadge);
    EXPECT_TRUE(w->lines().contains("Unsupported file format."));
    EXPECT_FALSE(w->lines().contains("Done."));
    EXPECT_EQ(w->beeps, 1);
}

// Every way a load can fail, over an open stream with recognised text: the stream that was
// open stays, with its texts, its view and its commands, and the file field names it again.
TEST_F(WindowTest, AFailedLoadKeepsTheOpenStream) {
    addAtlas();
    w->startUp({});
    const QString good = q(stream());
    PgsBuilder composition;
    composition.pcs(0, {}).end(0);
    Bytes laterMarker = twoSubtitles();
    laterMarker.insert(laterMarker.end(), {'X', 'Y', 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0});
    struct Case {
        const char* name;
        QString file;
        const char* logged;   // the line that says why the file was not loaded; null: a message box
    };
    const Case cases[] = {
        {"unsupported format", q(writeTempFile("junk.sup", Bytes{'X', 'Y', 0, 0})), "Unsupported file format."},
        {"shorter than a marker", q(writeTempFile("tiny.sup", Bytes{'P'})), "Unsupported file format."},
        {"format error inside the stream", q(writeTempFile("broken.sup", laterMarker)), nullptr},
        {"a stream without subtitles", q(writeTempFile("empty.sup", composition.bytes())), nullptr},
        {"a file that cannot be opened", QDir(dir.path()).filePath("missing.sup"), nullptr},
    };
    const QList<QPushButton*> commands = {w->bSaveBMP, w->bOCRall, w->bExport, w->bOCR, w->bNext, w->bSaveSRT};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        w->eSUPfile->setText(good);
        w->bReadSUPClick();
        ASSERT_EQ(w->prog.Subs.size(), 2u);
        w->showSubtitle(2);
        w->bOCR->click();                  // recognised once, so the SRT text has lines to save
        w->prog.Subs[1].text = "Fixed by hand";
        w->PageControl->setCurrentIndex(1);
        w->PageControl->setCurrentIndex(0);
        const QString srt = w->mSRT->toPlainText();
        ASSERT_TRUE(srt.contains("Fixed by hand"));

        w->errors.clear();
        w->questions.clear();
        const int before = w->reMessage->lineCount();
        w->eSUPfile->setText(c.file);
        w->bReadSUPClick();
        EXPECT_EQ(w->questions.size(), 1u);   // the hand fix was not saved
        ASSERT_EQ(w->prog.Subs.size(), 2u);
        EXPECT_EQ(w->prog.Subs[1].text, "Fixed by hand");
        EXPECT_EQ(w->prog.streamFile, good.toStdString());
        EXPECT_EQ(w->eSUPfile->text(), good);
        EXPECT_EQ(w->prog.BaseName, "movie.en");
        EXPECT_EQ(w->lMaxline->text(), "/ 2");
        EXPECT_EQ(w->ieSubs->value(), 2);
        EXPECT_EQ(w->lStartEnd->text(), "00:00:05,000 - 00:00:06,000");
        EXPECT_EQ(w->mSubtext->toPlainText(), "Fixed by hand");
        EXPECT_EQ(w->mSRT->toPlainText(), srt);
        for (QPushButton* b : commands) {
            SCOPED_TRACE(b->objectName().toStdString());
            EXPECT_TRUE(b->isEnabled() || b == w->bNext);
        }
        const QStringList lines = w->lines().mid(before);
        if (c.logged) {
            EXPECT_TRUE(lines.contains(c.logged)) << lines.join(QLatin1Char(10)).toStdString();
        }
        const bool opened = !c.file.endsWith("missing.sup");
        EXPECT_EQ(w->errors.isEmpty(), opened);
        EXPECT_TRUE(lines.contains("The subtitles loaded before stay open: " + good)) << lines.join('\n').toStdString();
        // The kept stream is still the one the pictures come from.
        w->showSubtitle(1);
        EXPECT_EQ(w->lStartEnd->text(), "00:00:01,000 - 00:00:02,000");
        EXPECT_TRUE(w->errors.isEmpty() || !opened);
    }
}

// A film with several subtitle tracks asks which one to load; the track names the outputs
// and the OCR language. A file that fails to load afterwards leaves the film in the file
// field, not the copy its track is read from.
TEST_F(WindowTest, AFilmWithSeveralTracksAsksWhichOne) {
    const std::string sup = stream("track.sup");
    const std::string film = (std::filesystem::path(sup).parent_path() / "Mon film.mkv").string();
    const CommandResult mux = runCommand(
        "/usr/bin/env", {"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-copyts", "-i", sup, "-i", sup, "-map", "0",
                         "-map", "1", "-c", "copy", "-metadata:s:s:0", "language=fre", "-metadata:s:s:1", "language=eng",
                         "-disposition:s:1", "forced", film});
    if (mux.status != 0) GTEST_SKIP() << "no ffmpeg command to make a film: " << mux.err;
    w->startUp({});
    struct Case {
        int answer;
        const char* baseName;   // null: nothing loaded
        const char* language;
    };
    const Case cases[] = {{1, "Mon film.eng.forced", "eng"}, {0, "Mon film.fre", "fra"}, {-1, nullptr, "fra"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        w->trackLists.clear();
        w->nextTrack = c.answer;
        w->eSUPfile->setText(q(film));
        w->bReadSUPClick();
        ASSERT_EQ(w->trackLists.size(), 1u);
        const QStringList& tracks = w->trackLists[0];
        ASSERT_EQ(tracks.size(), 2);
        EXPECT_TRUE(tracks[0].contains("fre")) << tracks[0].toStdString();
        EXPECT_TRUE(tracks[1].startsWith("[forced] ")) << tracks[1].toStdString();
        EXPECT_EQ(w->proposedTrack, 0);
        EXPECT_EQ(w->prog.Subs.size(), 2u);
        EXPECT_EQ(w->prog.BaseName, c.baseName ? c.baseName : "Mon film.fre");
        EXPECT_EQ(w->opt.ocrLanguage, c.language);
        if (!c.baseName) {
            EXPECT_TRUE(w->lines().contains("No subtitle track of Mon film.mkv was chosen: nothing loaded."));
        }
    }
    EXPECT_TRUE(w->lines().contains("OCR language fra from the track"));
    w->eSUPfile->setText(q(writeTempFile("junk.sup", Bytes{'X', 'Y', 0, 0})));
    w->bReadSUPClick();
    EXPECT_EQ(w->prog.BaseName, "Mon film.fre");
    EXPECT_EQ(w->eSUPfile->text(), q(film));
    EXPECT_EQ(w->outputFolder(), std::filesystem::path(film).parent_path().string());
    // The settings keep the user's language, not the one the track gave.
    {
        QSettings store(dir.filePath(QStringLiteral("kept.ini")), QSettings::IniFormat);
        EXPECT_TRUE(RegWrite(store, w->opt));
        EXPECT_EQ(store.value(QStringLiteral("OcrLang")).toString(), QStringLiteral("eng"));
    }

    // A language the user picks holds: the next track does not change it.
    w->opt.ocrLanguageChosen = true;
    w->opt.ocrLanguage = "deu";
    w->nextTrack = 1;
    w->eSUPfile->setText(q(film));
    w->bReadSUPClick();
    EXPECT_EQ(w->prog.BaseName, "Mon film.eng.forced");
    EXPECT_EQ(w->opt.ocrLanguage, "deu");
}

// Enter in a field of a page ends that field's input: it never reads the stream again. A
// reload over texts that were not saved asks first, and No keeps them.
TEST_F(WindowTest, EnterInAFieldNeverReloadsAndAReloadAsksBeforeLosingWork) {
    addAtlas();
    w->startUp({});
    w->eSUPfile->setText(q(stream()));
    QTest::keyClick(w->eSUPfile, Qt::Key_Return);
    ASSERT_EQ(w->prog.Subs.size(), 2u);
    ASSERT_TRUE(w->bReadSUP->isEnabled());
    w->prog.Subs[0].text = "Fixed by hand";
    QApplication::setActiveWindow(w.get());
    auto loads = [this] { return w->lines().filter(" loading").size(); };
    ASSERT_EQ(loads(), 1);
    w->PageControl->setCurrentWidget(w->tsImage);
    for (QLineEdit* field : std::initializer_list<QLineEdit*>{w->ieSubs, w->ieCutLevel, w->ieSpacing, w->eWorkDir}) {
        SCOPED_TRACE(field->objectName().toStdString());
        w->PageControl->setCurrentWidget(field == w->ieSubs ? w->tsImage : w->tsOptions);
        field->setFocus();
        settle();
        QTest::keyClick(field, Qt::Key_Return);
        QTest::keyClick(field, Qt::Key_Enter);
        settle();
        EXPECT_EQ(loads(), 1);
        EXPECT_TRUE(w->questions.empty());
        EXPECT_EQ(w->prog.Subs[0].text, "Fixed by hand");
    }
    EXPECT_EQ(w->ieSubs->value(), 1);

    // The button itself: asked, and No keeps the table as it is.
    w->answer = false;
    w->bReadSUP->click();
    ASSERT_EQ(w->questions.size(), 1u);
    EXPECT_EQ(w->questions[0], "The open subtitles have changes that are not saved (texts, fixes or places). "
                               "Lose them and load the file?");
    EXPECT_EQ(loads(), 1);
    EXPECT_EQ(w->prog.Subs[0].text, "Fixed by hand");
    // Yes reads it again; a table as loaded asks nothing.
    w->answer = true;
    w->bReadSUP->click();
    EXPECT_EQ(loads(), 2);
    EXPECT_NE(w->prog.Subs[0].text, "Fixed by hand");
    w->bReadSUP->click();
    EXPECT_EQ(loads(), 3);
    EXPECT_EQ(w->questions.size(), 2u);
}

// A path typed into the file field and Enter: loaded once, and the Image page shows its
// first subtitle. A typed name that does not exist gets the load's own error.
TEST_F(WindowTest, EnterInTheFileFieldLoadsWhatItNames) {
    addAtlas();
    w->startUp({});
    ASSERT_FALSE(w->bReadSUP->isEnabled());
    const QString file = q(stream());
    w->eSUPfile->setText(file);
    QTest::keyClick(w->eSUPfile, Qt::Key_Return);
    ASSERT_EQ(w->prog.Subs.size(), 2u);
    EXPECT_EQ(w->lines().filter(" loading").size(), 1);
    EXPECT_TRUE(w->bReadSUP->isEnabled());
    EXPECT_EQ(w->PageControl->currentWidget(), w->tsImage);
    EXPECT_EQ(w->prog.CurSub, 0);

    w->eSUPfile->setText(QDir(dir.path()).filePath("typo.sup"));
    QTest::keyClick(w->eSUPfile, Qt::Key_Enter);
    ASSERT_EQ(w->errors.size(), 1);
    EXPECT_TRUE(w->errors[0].startsWith("Cannot open file")) << w->errors[0].toStdString();
    EXPECT_FALSE(w->bReadSUP->isEnabled());
    EXPECT_EQ(w->prog.Subs.size(), 2u);
}

// A stream cut inside its last object: what it holds is loaded, and the log says so.
TEST_F(WindowTest, ACutStreamLoadsWithAWarning) {
    addAtlas();
    w->startUp({});
    Bytes bytes = twoSubtitles();
    PgsBuilder last;
    last.pcs(900000, {{0, 0, 100, 900}}).ods(900000, 0, true, true, Bytes(100, 1), 600, 80);
    const Bytes third = last.bytes();
    bytes.insert(bytes.end(), third.begin(), third.end());
    bytes.resize(bytes.size() - 60);   // inside the third subtitle's object
    w->eSUPfile->setText(q(writeTempFile("cut.sup", bytes)));
    w->bReadSUPClick();
    EXPECT_EQ(w->prog.Subs.size(), 3u);
    EXPECT_TRUE(w->errors.isEmpty());
    const QStringList lines = w->lines();
    const qsizetype loaded = lines.indexOf("3 subtitles loaded.");
    ASSERT_GE(loaded, 1) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[loaded - 1], "The stream ends inside a segment at byte 426: the last subtitle may be incomplete.");
    for (const CharFormat& c : formatsOf(*w->reMessage, static_cast<int>(loaded - 1)))
        EXPECT_EQ(c.format.foreground().color(), QColor(255, 0, 0));
    EXPECT_TRUE(w->bExport->isEnabled());
}

namespace {

// The mnemonic letters of a page: its own buttons, the rows above and below the pages and
// the page tabs, all of which take Alt+letter while the page is shown.
QStringList mnemonicsOf(const TfMain& w, int page) {
    QStringList keys;
    auto add = [&keys](const QString& caption) {
        const QKeySequence k = QKeySequence::mnemonic(caption);
        if (!k.isEmpty()) keys << k.toString() + " (" + caption + ")";
    };
    for (int i = 0; i < w.PageControl->count(); ++i) add(w.PageControl->tabText(i));
    for (const QAbstractButton* b : {static_cast<QAbstractButton*>(w.bReadSUP), static_cast<QAbstractButton*>(w.bSaveBMP),
                                      static_cast<QAbstractButton*>(w.bOCRall), static_cast<QAbstractButton*>(w.bCancel),
                                      static_cast<QAbstractButton*>(w.bExport)})
        add(b->text());
    for (const QAbstractButton* b : w.PageControl->widget(page)->findChildren<QAbstractButton*>()) add(b->text());
    return keys;
}

}  // namespace

TEST_F(WindowTest, EveryMnemonicIsUniqueOnItsPage) {
    w->startUp({});
    for (int page = 0; page < w->PageControl->count(); ++page) {
        SCOPED_TRACE(w->PageControl->tabText(page).toStdString());
        const QStringList keys = mnemonicsOf(*w, page);
        QStringList letters;
        for (const QString& k : keys) letters << k.section(' ', 0, 0);
        for (const QString& letter : letters)
            EXPECT_EQ(letters.count(letter), 1) << letter.toStdString() << " in " << keys.join(", ").toStdString();
    }
}

// The next and previous subtitle keys reach the viewer from any control, a text editor
// included, and Tab leaves the subtitle's text editor.
TEST_F(WindowTest, SubtitleKeysWorkFromAnywhere) {
    addAtlas();
    w->startUp({q(stream())});
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    struct Case {
        const char* name;
        QWidget* from;
        int key;
        Qt::KeyboardModifiers modifiers;
        int expected;   // CurSub afterwards
    };
    const Case cases[] = {
        {"PageDown in the subtitle text", w->mSubtext, Qt::Key_PageDown, Qt::NoModifier, 1},
        {"PageDown at the last subtitle", w->mSubtext, Qt::Key_PageDown, Qt::NoModifier, 1},
        {"PageUp in the log", w->reMessage, Qt::Key_PageUp, Qt::NoModifier, 0},
        {"Ctrl+Right on a button", w->bExport, Qt::Key_Right, Qt::ControlModifier, 1},
        {"Ctrl+Left in the picture", w->sbImage, Qt::Key_Left, Qt::ControlModifier, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.from == w->reMessage) w->PageControl->setCurrentWidget(w->tsStatus);
        c.from->setFocus();
        QTest::keyClick(c.from, static_cast<Qt::Key>(c.key), c.modifiers);
        EXPECT_EQ(w->prog.CurSub, c.expected);
        EXPECT_EQ(w->ieSubs->value(), c.expected + 1);
        EXPECT_EQ(w->PageControl->currentWidget(), w->tsImage);
    }

    w->mSubtext->setFocus();
    ASSERT_TRUE(w->mSubtext->hasFocus());
    const QString text = w->mSubtext->toPlainText();
    QTest::keyClick(w->mSubtext, Qt::Key_Tab);
    EXPECT_FALSE(w->mSubtext->hasFocus());
    EXPECT_EQ(w->mSubtext->toPlainText(), text);
}

// A stored place partly or wholly off the screens comes back onto the screen it overlaps
// most; a place inside a screen stays.
TEST(WindowPlace, KeepOnScreen) {
    const QList<QRect> screens = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    struct Case {
        const char* name;
        QRect stored;
        QRect placed;
    };
    const Case cases[] = {
        {"inside the first screen", QRect(366, 200, 501, 563), QRect(366, 200, 501, 563)},
        {"inside the second screen", QRect(2000, 100, 501, 563), QRect(2000, 100, 501, 563)},
        {"over the right edge of the second", QRect(3000, 100, 501, 563), QRect(2699, 100, 501, 563)},
        {"across both, mostly on the first", QRect(1700, 100, 300, 563), QRect(1620, 100, 300, 563)},
        {"above and left of everything", QRect(-900, -50, 501, 563), QRect(0, 0, 501, 563)},
        {"far away: the first screen", QRect(9000, 9000, 501, 563), QRect(1419, 517, 501, 563)},
        {"taller than the screen", QRect(100, 100, 501, 1400), QRect(100, 0, 501, 1080)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(keepOnScreen(c.stored, screens), c.placed);
    }
    EXPECT_EQ(keepOnScreen(QRect(5, 5, 10, 10), {}), QRect(5, 5, 10, 10));
}

TEST_F(WindowTest, AStoredPlaceOffTheScreenIsMovedBack) {
    {
        QSettings ini(QDir(dir.path()).filePath("Quillon.ini"), QSettings::IniFormat);
        ini.setValue("Left", 20000);
        ini.setValue("Top", -3000);
    }
    w->startUp({});
    settle();
    const QRect screen = w->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(w->frameGeometry())) << w->frameGeometry().x() << "," << w->frameGeometry().y();
}

TEST(WindowCommandLine, HelpAndVersionAnswerWithoutAWindow) {
    struct Case {
        std::vector<std::string> args;
        std::optional<int> status;
        const char* out;   // start of the standard output
        const char* err;   // start of the error output
    };
    const Case cases[] = {
        {{"--help"}, 0, "Usage: vantrel [FILE]\n", ""},
        {{"-h"}, 0, "Usage: vantrel [FILE]\n", ""},
        {{"--version"}, 0, "Vantrel 0.53b2\n", ""},
        {{"movie.sup", "--version"}, 0, "Vantrel 0.53b2\n", ""},
        {{"--frobnicate"}, 2, "", "vantrel: unknown option --frobnicate\nUsage: vantrel [FILE]"},
        {{"movie.sup"}, std::nullopt, "", ""},
        {{}, std::nullopt, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::string("no arguments") : c.args[0]);
        std::ostringstream out, err;
        EXPECT_EQ(answerCommandLine(c.args, out, err), c.status);
        EXPECT_EQ(out.str().rfind(c.out, 0), 0u) << out.str();
        EXPECT_EQ(err.str().rfind(c.err, 0), 0u) << err.str();
    }
}

TEST_F(WindowTest, ReadMeOpensTheReadMeShippedWithTheProgram) {
    w->startUp({});
    QFile readme(QDir(dir.path()).filePath("README.md"));
    ASSERT_TRUE(readme.open(QIODevice::WriteOnly));
    readme.write("# Vantrel\n\nThe main job.\n");
    readme.close();
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), w->WebLink->mapToGlobal(QPointF(2, 2)),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w->WebLink, &release);
    const auto* text = w->findChild<QTextBrowser*>("readmeText");
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->isVisible());
    EXPECT_TRUE(text->toPlainText().contains("The main job.")) << text->toPlainText().toStdString();
}


TEST_F(WindowTest, LogLinesCarryTheirFormats) {
    w->msg.log("first line");
    w->msg.log("[re]Unsupported file format.[/re]");
    w->msg.log("a [b]b[/b] c");
    w->msg.log("x [1,2] - [3,4]");
    w->msg.log("[s2][u]Big[/u][/s2]");
    EXPECT_EQ(w->lines(), QStringList({"first line", "Unsupported file format.", "a b c", "x  - ", "Big"}));

    for (const CharFormat& c : formatsOf(*w->reMessage, 1)) EXPECT_EQ(c.format.foreground().color(), QColor(255, 0, 0));
    const auto bold = formatsOf(*w->reMessage, 2);
    ASSERT_EQ(bold.size(), 5u);
    for (size_t i = 0; i < bold.size(); ++i) EXPECT_EQ(bold[i].format.fontWeight() == QFont::Bold, i == 2) << i;
    // Tags do not nest: the outer size tag covers "[u]Big" as text, which is cut to "Big".
    for (const CharFormat& c : formatsOf(*w->reMessage, 4)) EXPECT_EQ(c.format.fontPointSize(), 12);

    // A line logged while a job has the pages disabled keeps the normal text colour.
    w->PageControl->setEnabled(false);
    w->msg.log("during a job");
    w->PageControl->setEnabled(true);
    for (const CharFormat& c : formatsOf(*w->reMessage, 5))
        EXPECT_EQ(c.format.foreground().color(), w->reMessage->palette().color(QPalette::Active, QPalette::Text));
    w->msg.logn("Big");

    // slog2 with an empty text empties panel 1 and the last line.
    w->msg.slog2("Ready", "");
    EXPECT_EQ(w->statusPanels->bar().panel[1].text, " ");
    EXPECT_EQ(w->lines().last(), "");
    EXPECT_EQ(w->lines().size(), 6);
    w->bClearClick();
    EXPECT_EQ(w->reMessage->lineCount(), 0);
}

TEST_F(WindowTest, CloseIsRefusedWhileBusy) {
    w->startUp({});
    w->msg.log("working");
    w->prog.Busy = true;
    w->answer = false;
    w->close();
    EXPECT_TRUE(w->isVisible());
    ASSERT_EQ(w->questions.size(), 1u);
    EXPECT_EQ(w->questions[0], "Are you sure to stop?");
    EXPECT_FALSE(w->prog.Cancel);

    w->answer = true;
    w->close();
    EXPECT_TRUE(w->isVisible());   // refused even after Yes
    EXPECT_TRUE(w->prog.Cancel);
    EXPECT_EQ(w->lines().mid(w->lines().size() - 2), QStringList({"Cancelled.", ""}));

    // Not busy: bCancel only sets Cancel, and closing works.
    w->prog.Busy = false;
    w->prog.Cancel = false;
    w->bCancelClick();
    EXPECT_TRUE(w->prog.Cancel);
    EXPECT_EQ(w->questions.size(), 2u);
    w->close();
    EXPECT_FALSE(w->isVisible());
}

TEST_F(WindowTest, CloseDuringALoadWaitsForTheLoadToEnd) {
    addAtlas();
    w->startUp({});
    w->eSUPfile->setText(q(stream()));
    // The first pump comes after the first END segment: a second load, a drop and a close
    // arrive there.
    w->onPump = [this] {
        w->bReadSUPClick();
        w->dropFiles({q(stream("other.sup"))});
        w->close();
        EXPECT_TRUE(w->isVisible());
    };
    w->bReadSUPClick();
    EXPECT_EQ(w->beeps, 2);
    EXPECT_FALSE(w->isVisible());
    // The load stopped at the END segment during which the close came.
    EXPECT_EQ(w->prog.Subs.size(), 1u);
    EXPECT_FALSE(w->prog.Loading);
}

TEST_F(WindowTest, LongJobRestoresTheWindowOnEveryWayOut) {
    addAtlas();
    w->startUp({q(stream())});
    const JobSetup job{&Program::SavingPics, true, true};
    const int beeps = w->beeps;
    try {
        JobScope scope(w->ctx, job);
        EXPECT_TRUE(w->prog.Busy && w->prog.SavingPics);
        EXPECT_TRUE(w->bCancel->isEnabled());
        EXPECT_FALSE(w->bReadSUP->isEnabled());
        EXPECT_FALSE(w->bSaveBMP->isEnabled());
        EXPECT_FALSE(w->PageControl->isEnabled());
        EXPECT_TRUE(w->Image->isHidden());
        // A second job is refused with a beep.
        EXPECT_TRUE(refuseWhileWorking(w->ctx));
        w->prog.controls.bSaveBMP = false;
        throw PlatformError("Cannot create file \"x.bmp\". Permission denied");
    } catch (const PlatformError&) {
    }
    EXPECT_EQ(w->beeps, beeps + 1);
    EXPECT_FALSE(w->prog.Busy || w->prog.Cancel || w->prog.SavingPics);
    EXPECT_TRUE(w->bSaveBMP->isEnabled());
    EXPECT_FALSE(w->bCancel->isEnabled());
    EXPECT_TRUE(w->PageControl->isEnabled());
    EXPECT_FALSE(w->ProgressBar->isVisibleTo(w.get()));
    EXPECT_FALSE(w->Image->isHidden());
    EXPECT_EQ(w->applicationTitle(), "Vantrel");

    {
        JobScope scope(w->ctx, job);
        w->prog.Cancel = true;
        EXPECT_TRUE(scope.cancelled());
    }
    EXPECT_FALSE(w->prog.Cancel);
    w->close();
    EXPECT_FALSE(w->isVisible());
}

TEST_F(WindowTest, DroppingAStreamWithoutAutoReadKeepsTheLoadedOne) {
    w->startUp({});
    w->cbAutoRead->setChecked(false);
    const std::string first = stream();
    w->eSUPfile->setText(q(first));
    w->bReadSUPClick();
    ASSERT_EQ(w->prog.Subs.size(), 2u);

    const std::string other = writeTempFile("other.SUP", Bytes{'P', 'G'});
    w->dropFiles({q(other), q(first)});
    EXPECT_EQ(w->eSUPfile->text(), q(other));
    EXPECT_EQ(w->prog.eSUPfile, other);
    EXPECT_EQ(w->prog.streamFile, first);
    EXPECT_EQ(w->prog.Subs.size(), 2u);
    EXPECT_TRUE(w->bReadSUP->isEnabled());
    // A film or a VobSub index dropped goes to the stream field as well.
    for (const char* name : {"film.mkv", "film.IDX"}) {
        const std::string film = writeTempFile(name, Bytes{'x'});
        w->dropFiles({q(film)});
        EXPECT_EQ(w->eSUPfile->text(), q(film));
    }

    // An SRT file while the glyph atlas is missing: refused with the start-up lines.
    w->cbAutoRead->setChecked(true);
    const int before = w->reMessage->lineCount();
    w->dropFiles({q(writeTempFile("film.srt", Bytes{'1'}))});
    EXPECT_EQ(w->reMessage->lineCount(), before + 3);
    EXPECT_TRUE(w->lines()[before].endsWith(" not found!"));
    EXPECT_EQ(w->prog.BaseName, "movie.en");
}

TEST_F(WindowTest, ChoosingAStreamEnablesReadOnlyWhenItExists) {
    w->startUp({});
    w->cbAutoRead->setChecked(false);
    w->nextFile = QDir(dir.path()).filePath("missing.SUP");
    w->bbSUPClick();
    EXPECT_EQ(w->dialogTitle, "Open subtitle stream (SUP)");
    EXPECT_EQ(w->dialogFilter,
              "All supported format (SUP, SRT, films, VobSub)|*.sup; *.srt; *.mkv; *.mka; *.mks; *.m2ts; *.mts; *.ts; "
              "*.mp4; *.m4v; *.vob; *.mpg; *.idx; *.sub|SUP (DVD/HD DVD/BD)|*.sup|SubRip SRT|*.srt|Films (MKV, M2TS, TS, "
              "MP4)|*.mkv; *.mka; *.mks; *.m2ts; *.mts; *.ts; *.mp4; *.m4v; *.vob; *.mpg|VobSub (IDX/SUB)|*.idx; *.sub|All|*.*");
    EXPECT_EQ(w->eSUPfile->text(), w->nextFile);
    EXPECT_FALSE(w->bReadSUP->isEnabled());

    w->nextFile = q(stream());
    w->cbAutoRead->setChecked(true);
    w->bbSUPClick();
    EXPECT_TRUE(w->bReadSUP->isEnabled());
    EXPECT_EQ(w->prog.Subs.size(), 2u);
}

TEST_F(WindowTest, OptionsPersistThroughTheWindow) {
    w->startUp({});
    w->cbAutoRead->setChecked(false);
    w->ieCutLevel->setText("300");   // set back to 255
    w->ieDIV->setText("0");          // set back to 1
    w->rgFrame->item(3)->click();
    w->coLang->setCurrentIndex(1);
    w->eWorkDir->setText("/tmp/out");
    EXPECT_EQ(w->ieCutLevel->text(), "255");
    EXPECT_EQ(w->opt.ieDIV, 1);
    EXPECT_EQ(w->prog.pal.cutThreshold, 255u * 0x010101u);
    w->showMaximized();
    settle();
    w->close();

    auto again = std::make_unique<TestWindow>(dir.path());
    again->show();
    again->startUp({});
    settle();
    EXPECT_FALSE(again->cbAutoRead->isChecked());
    EXPECT_EQ(again->ieCutLevel->value(), 255);
    EXPECT_EQ(again->rgFrame->itemIndex(), 3);
    EXPECT_EQ(again->opt.rgFrame, 3);
    EXPECT_EQ(again->coLang->currentIndex(), 1);
    EXPECT_EQ(again->eWorkDir->text(), "/tmp/out");
    EXPECT_TRUE(again->isMaximized());
    again->close();
}

TEST(IntEdit, AcceptsDigitsAndSignsOnly) {
    qtApp();
    TIntEdit e;
    EXPECT_EQ(e.text(), "0");
    e.clear();
    for (const char* key : {"1", "a", "2", " ", "-"}) {
        QKeyEvent press(QEvent::KeyPress, key[0] == '-' ? Qt::Key_Minus : Qt::Key_A, Qt::NoModifier,
                        QString::fromLatin1(key));
        QApplication::sendEvent(&e, &press);
    }
    EXPECT_EQ(e.text(), "12-");
    struct Case {
        const char* text;
        int value;
    };
    for (const Case& c : {Case{"12", 12}, Case{"+5", 5}, Case{"-7", -7}, Case{"-", 0}, Case{"", 0},
                          Case{"1a", 0}, Case{" 3", 0}, Case{"99999999999", 0}}) {
        SCOPED_TRACE(c.text);
        e.setText(c.text);
        EXPECT_EQ(e.value(), c.value);
    }
}
