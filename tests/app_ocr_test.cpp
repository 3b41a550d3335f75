// The window's OCR commands: OCR of all with its ways out, the language list after a guess,
// the single OCR, the font group and the error navigation.
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <gtest/gtest.h>

#include "app/image_view.h"
#include "app/int_edit.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "app/widgets.h"
#include "ocr/correction.h"
#include "ocr_stream.h"
#include "support/ft_streams.h"
#include "support/qt_app.h"
#include "support/test_window.h"

using namespace vantrel;
using namespace vantrel::app;
using namespace vantrel::testing;

namespace {

// The window state a long job changes, as seen while it runs and after it.
struct WindowState {
    bool busy, imageHidden, pagesEnabled, ocrAll, cancel, next, prev, progress;
    int page;
};

WindowState stateOf(const TestWindow& w) {
    return {w.prog.Busy,           w.Image->isHidden(),    w.PageControl->isEnabled(),
            w.bOCRall->isEnabled(), w.bCancel->isEnabled(), w.bNext->isEnabled(),
            w.bPrev->isEnabled(),   !w.ProgressBar->isHidden(), w.PageControl->currentIndex()};
}

class OcrWindowTest : public WindowFixture {
protected:
    // These streams are drawn for the rule engine's shapes.
    void SetUp() override {
        WindowFixture::SetUp();
        w->opt.ocrEngine = kOcrRules;
    }
    void load(const std::string& path) {
        w->eSUPfile->setText(QString::fromStdString(path));
        w->bReadSUPClick();
        settle();
    }
    bool logged(const char* line) const { return w->lines().contains(QString::fromLatin1(line)); }

};

}  // namespace

TEST_F(OcrWindowTest, OcrAllRestoresTheWindowOnEveryWayOut) {
    enum class Way { Completed, Cancelled, StreamGone };
    struct Case {
        const char* name;
        Way way;
        const char* firstText;   // subtitle 1 after the batch
        const char* lastText;    // subtitle 3 after the batch
    };
    const Case cases[] = {
        {"completed", Way::Completed, "l l", "l l"},
        // Cancel during the first pump: subtitle 1 is finished, the rest stays.
        {"cancelled", Way::Cancelled, "l l", "line 3"},
        {"stream deleted after loading", Way::StreamGone, "line 1", "line 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = barsStream(std::string("all_") + std::to_string(static_cast<int>(c.way)) + ".sup", 3);
        load(path);
        ASSERT_EQ(w->prog.Subs.size(), 3u);
        ASSERT_TRUE(w->bOCRall->isEnabled());
        w->msg.clear();
        w->errors.clear();
        if (c.way == Way::StreamGone) std::remove(path.c_str());
        // Read SUP follows the file field, not the batch.
        const bool readBefore = w->bReadSUP->isEnabled();
        WindowState during{};
        w->onPump = [&] {
            during = stateOf(*w);
            if (c.way == Way::Cancelled) w->bCancel->click();
        };

        w->bOCRall->click();
        settle();

        EXPECT_TRUE(during.busy);
        EXPECT_TRUE(during.imageHidden);
        EXPECT_FALSE(during.pagesEnabled);
        EXPECT_EQ(during.page, 0);
        EXPECT_FALSE(during.ocrAll);
        EXPECT_TRUE(during.cancel);
        EXPECT_FALSE(during.next);
        EXPECT_FALSE(during.prev);
        EXPECT_TRUE(during.progress);

        EXPECT_EQ(w->prog.Subs[0].text, c.firstText);
        EXPECT_EQ(w->prog.Subs[2].text, c.lastText);
        EXPECT_EQ(w->errors.size(), c.way == Way::StreamGone ? 1 : 0) << w->errors.join('\n').toStdString();
        EXPECT_EQ(logged("Done."), c.way == Way::Completed) << w->lines().join('\n').toStdString();
        EXPECT_EQ(logged("Cancelled."), c.way == Way::Cancelled);

        const WindowState after = stateOf(*w);
        EXPECT_FALSE(after.busy);
        EXPECT_FALSE(after.imageHidden);
        EXPECT_TRUE(after.pagesEnabled);
        EXPECT_EQ(after.page, 2);
        EXPECT_TRUE(after.ocrAll);
        EXPECT_FALSE(after.cancel);
        EXPECT_FALSE(after.progress);
        EXPECT_TRUE(after.next);
        EXPECT_FALSE(w->prog.Cancel);
        EXPECT_FALSE(w->prog.ocrRunning);
        EXPECT_TRUE(w->bSaveBMP->isEnabled());
        EXPECT_TRUE(w->bExport->isEnabled());
        EXPECT_EQ(w->bReadSUP->isEnabled(), readBefore);
        EXPECT_FALSE(w->mSRT->isHidden());
        EXPECT_FALSE(w->WebLink->isHidden());
        EXPECT_EQ(w->applicationTitle(), QStringLiteral("Vantrel"));
        if (c.way != Way::StreamGone) {
            // Subtitle 1 is shown again, with its text in the editor.
            EXPECT_EQ(w->ieSubs->value(), 1);
            EXPECT_EQ(w->prog.CurSub, 0);
            EXPECT_EQ(w->mSubtext->toPlainText(), QString::fromLatin1(c.firstText));
        }
    }
}

TEST_F(OcrWindowTest, EnglishGuessShowsInTheListWithoutAsking) {
    load(barsStream("english.sup", 3));
    ASSERT_EQ(w->coLang->currentIndex(), 0);
    // Subtitle 2 was recognised earlier: English dialogue, whose letters name the language.
    TSUP& earlier = w->prog.Subs[1];
    earlier.font = kFontNormal;
    for (size_t k = 0; k < 6; ++k) earlier.text += (k ? "|" : "") + corpus("eng")[k];
    earlier.lineCount = 6;
    earlier.charCount = static_cast<int32_t>(earlier.text.size());

    w->bOCRall->click();
    settle();
    EXPECT_TRUE(logged("It seems to be in English.")) << w->lines().join('\n').toStdString();
    EXPECT_EQ(w->opt.coLang, 1);
    EXPECT_EQ(w->coLang->currentIndex(), 1);
    EXPECT_TRUE(w->questions.empty());
    EXPECT_EQ(w->prog.Subs[0].text, "l l");

    // The user's own choice asks, then applies the table to every text.
    std::string expected = "l l";
    applyTable(1, expected);
    ASSERT_NE(expected, "l l");
    w->prog.srtDirty = false;
    w->coLang->setCurrentIndex(0);
    w->coLang->setCurrentIndex(1);
    EXPECT_TRUE(w->questions.empty());
    Q_EMIT w->coLang->activated(1);
    ASSERT_EQ(w->questions.size(), 1u);
    EXPECT_EQ(w->questions[0], kApplyDictionaryQuestion);
    EXPECT_EQ(w->prog.Subs[0].text, expected);
    EXPECT_EQ(w->prog.Subs[2].text, expected);
    EXPECT_TRUE(w->prog.srtDirty);
    EXPECT_EQ(w->mSubtext->toPlainText(), toQt(expected));
}

TEST_F(OcrWindowTest, SingleOcrAndFontGroup) {
    load(barsStream("single.sup", 2));
    w->showSubtitle(2);
    w->prog.srtDirty = false;
    ASSERT_TRUE(w->bOCR->isEnabled());
    w->bOCR->click();
    EXPECT_EQ(w->prog.Subs[1].text, "l l");
    EXPECT_EQ(w->prog.Subs[1].font, 0);
    EXPECT_EQ(w->mSubtext->toPlainText(), QStringLiteral("l l"));
    EXPECT_EQ(w->rgFont->itemIndex(), 0);
    EXPECT_TRUE(w->prog.srtDirty);
    EXPECT_FALSE(w->prog.ocrRunning);
    EXPECT_EQ(w->ieSubs->value(), 2);

    // Once drawn with its decided mode, a pick in the group stores the mode and recognises
    // again.
    w->showSubtitle(2);
    ASSERT_TRUE(w->rgFont->isEnabled());
    w->prog.Subs[1].text = "stale";
    w->rgFont->item(2)->click();
    EXPECT_EQ(w->prog.Subs[1].font, 2);
    EXPECT_NE(w->prog.Subs[1].text, "stale");
    EXPECT_EQ(w->rgFont->itemIndex(), 2);
    EXPECT_EQ(w->mSubtext->toPlainText(), toQt(w->prog.Subs[1].text));

    // The viewer sets the group for subtitle 1 without a recognition.
    w->showSubtitle(1);
    EXPECT_EQ(w->prog.Subs[0].font, 4);
    EXPECT_EQ(w->prog.Subs[0].text, "line 1");
    EXPECT_EQ(w->prog.Subs[0].lineCount, 0);
}

TEST_F(OcrWindowTest, NextAndPrevLandOnErrors) {
    load(barsStream("jumps.sup", 4));
    for (size_t i : {0u, 1u, 3u}) w->prog.Subs[i].ocrOK = 1;   // only subtitle 3 has errors
    w->showSubtitle(1);
    w->PageControl->setCurrentIndex(0);
    ASSERT_TRUE(w->bNext->isEnabled());

    w->bNext->click();
    EXPECT_EQ(w->ieSubs->value(), 3);
    EXPECT_EQ(w->prog.CurSub, 2);
    EXPECT_EQ(w->prog.Subs[2].text, "l l");
    EXPECT_EQ(w->prog.Subs[2].ocrOK, 1);
    EXPECT_EQ(w->mSubtext->toPlainText(), QStringLiteral("l l"));
    EXPECT_EQ(w->PageControl->currentIndex(), 2);
    EXPECT_TRUE(w->bPrev->isEnabled());
    EXPECT_TRUE(w->bNext->isEnabled());

    // No error after 3: nothing moves, the image page is shown.
    w->PageControl->setCurrentIndex(0);
    w->bNext->click();
    EXPECT_EQ(w->ieSubs->value(), 3);
    EXPECT_EQ(w->PageControl->currentIndex(), 2);

    w->prog.Subs[0].ocrOK = 0;
    w->bPrev->click();
    EXPECT_EQ(w->ieSubs->value(), 1);
    EXPECT_EQ(w->prog.CurSub, 0);
    EXPECT_EQ(w->prog.Subs[0].text, "l l");
    EXPECT_FALSE(w->bPrev->isEnabled());
    EXPECT_TRUE(w->errors.isEmpty());
}

// The engine and language controls set the stored options, the single OCR reads with the
// engine and language they name, and the log says what the learned engine's teacher read.
TEST_F(OcrWindowTest, EngineAndLanguageControls) {
    load(barsStream("engine.sup", 2));
    struct Case {
        const char* name;
        int engineItem;
        const char* languageItem;
        int engine;
        const char* code;
    };
    const Case cases[] = {
        {"rules", 1, "English", kOcrRules, "eng"},
        {"learned, French", 0, "French", kOcrLearned, "fra"},
        {"learned, German", 0, "German", kOcrLearned, "deu"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        w->coOcrEngine->setCurrentIndex(c.engineItem);
        w->coOcrLang->setCurrentIndex(w->coOcrLang->findText(QString::fromLatin1(c.languageItem)));
        EXPECT_EQ(w->opt.ocrEngine, c.engine);
        EXPECT_EQ(w->opt.ocrLanguage, c.code);

        w->msg.clear();
        w->showSubtitle(2);
        w->bOCR->click();
        const std::string log = w->lines().join('\n').toStdString();
        const bool learned = c.engine == kOcrLearned;
        EXPECT_EQ(log.find(std::string("Learned OCR (") + c.code + "): ") != std::string::npos, learned) << log;
        EXPECT_EQ(log.find(" lines holding ") != std::string::npos, learned) << log;
        EXPECT_EQ(log.find("Using the rule engine instead.") != std::string::npos, false) << log;
        if (!learned) {
            EXPECT_EQ(w->prog.Subs[1].text, "l l");
        }
    }

    // Both are stored with the settings; a code the list does not offer (given on the
    // command line) is kept and shown as it is.
    auto reopen = [this] {
        w->close();
        w.reset();
        settle();
        openWindow();
    };
    reopen();
    EXPECT_EQ(w->opt.ocrEngine, kOcrLearned);
    EXPECT_EQ(w->opt.ocrLanguage, "deu");
    EXPECT_EQ(w->coOcrEngine->currentIndex(), 0);
    EXPECT_EQ(w->coOcrLang->currentText(), QStringLiteral("German"));
    w->opt.ocrLanguage = "chi_sim";
    reopen();
    EXPECT_EQ(w->opt.ocrLanguage, "chi_sim");
    EXPECT_EQ(w->coOcrLang->currentText(), QStringLiteral("chi_sim"));
}
