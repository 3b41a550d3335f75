// The Glyphs page: the doubt order, relabel with the SRT page following, undo, and the glyph
// library beside the settings with its export and import.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <gtest/gtest.h>

#include "app/glyphs_page.h"
#include "app/main_window.h"
#include "app/widgets.h"
#include "ocr/learned/library.h"
#include "support/glyph_review_fixture.h"
#include "support/render_support.h"
#include "support/stream_builder.h"
#include "support/test_window.h"

using namespace vantrel;
using namespace vantrel::app;

namespace {

class GlyphsWindowTest : public vantrel::testing::WindowFixture {
protected:
    QString libraryFile() const { return QDir(dir.path()).filePath(QStringLiteral("glyph-library.txt")); }
    QByteArray fileText(const QString& name) const {
        QFile f(name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    GlyphsPage& showPage() {
        w->PageControl->setCurrentWidget(w->tsGlyphs);
        return *w->tsGlyphs;
    }
};

const std::string U = vantrel::testing::kUnknownText;

TEST_F(GlyphsWindowTest, RelabelChangesEverySubtitleTheSrtPageFollowsAndUndoRestores) {
    vantrel::testing::fillGlyphReview(w->prog, {"a", "", "c"}, {"ab c|b", "ba", "c"});
    w->prog.Subs[1].locked = 1;
    GlyphsPage& page = showPage();
    ASSERT_EQ(page.tGlyphs->rowCount(), 3);
    EXPECT_EQ(page.tGlyphs->item(0, 2)->text(), QStringLiteral("?"));   // the unknown glyph comes first
    EXPECT_EQ(page.tGlyphs->item(0, 4)->text(), QStringLiteral("unknown"));
    page.selectGlyph(1);
    ASSERT_EQ(page.lbGlyphUses->count(), 2);
    EXPECT_TRUE(page.lbGlyphUses->item(1)->text().endsWith(QStringLiteral("(locked)")));

    page.eGlyphLabel->setText(QStringLiteral("\u00e9"));
    page.bRelabel->click();
    EXPECT_EQ(w->prog.Subs[0].text, "aé c|é");
    EXPECT_EQ(w->prog.Subs[1].text, U + "a");   // locked
    EXPECT_TRUE(w->mSRT->toPlainText().contains(QStringLiteral("a\u00e9 c"))) << w->mSRT->toPlainText().toStdString();
    EXPECT_EQ(page.tGlyphs->item(page.tGlyphs->rowCount() - 1, 4)->text(), QStringLiteral("user"));
    // Remembered beside the settings, keyed by the bitmap.
    EXPECT_TRUE(fileText(libraryFile()).contains("glyph 4 4 0 -1 C000 \xC3\xA9\n")) << fileText(libraryFile()).toStdString();

    ASSERT_TRUE(page.bUndoRelabel->isEnabled());
    page.bUndoRelabel->click();
    EXPECT_EQ(w->prog.Subs[0].text, "a" + U + " c|" + U);
    EXPECT_FALSE(w->mSRT->toPlainText().contains(QStringLiteral("\u00e9")));
    EXPECT_FALSE(page.bUndoRelabel->isEnabled());
    EXPECT_FALSE(fileText(libraryFile()).contains("C000"));
}

// Relabelling walks down the list: the relabelled glyph moves away, the row stays selected
// (now the next glyph) and the list stays where it was scrolled to.
TEST_F(GlyphsWindowTest, RelabelKeepsThePlaceInTheList) {
    vantrel::testing::fillGlyphReview(w->prog, std::vector<std::string>(16, ""), {"abcdefgh", "ijklmnop"});
    GlyphsPage& page = showPage();
    w->resize(600, 600);
    vantrel::testing::settle();
    QScrollBar* scroll = page.tGlyphs->verticalScrollBar();
    ASSERT_GT(scroll->maximum(), 0);
    page.tGlyphs->selectRow(8);
    scroll->setValue(scroll->maximum() / 2);
    const int where = scroll->value();
    const int32_t first = page.selectedGlyph();
    for (const char* label : {"x", "y"}) {
        SCOPED_TRACE(label);
        const int32_t glyph = page.selectedGlyph();
        page.eGlyphLabel->setText(QString::fromLatin1(label));
        page.bRelabel->click();
        EXPECT_EQ(w->prog.glyphs.review.glyphs[static_cast<size_t>(glyph)].label, label);
        EXPECT_EQ(page.tGlyphs->currentRow(), 8);
        EXPECT_NE(page.selectedGlyph(), glyph);
        EXPECT_EQ(page.tGlyphs->item(8, 2)->text(), QStringLiteral("?"));   // the next one to name
        EXPECT_EQ(scroll->value(), where);
    }
    EXPECT_NE(page.selectedGlyph(), first);
}

// A selected glyph is shown framed in its line: the second block of ink of a one-line
// picture for the glyph read second, and the first for the one read first.
TEST_F(GlyphsWindowTest, ASelectedGlyphIsFramedInItsLine) {
    using namespace vantrel::testing;
    IndexPicture pic{40, 20, std::vector<uint8_t>(800, 0)};
    auto block = [&pic](int x1, int x2) {
        for (int y = 5; y <= 14; ++y)
            for (int x = x1; x <= x2; ++x) pic.pixels[static_cast<size_t>(y * pic.width + x)] = 1;
    };
    block(4, 9);
    block(20, 27);
    PgsBuilder b;
    b.pcs(90000, {{0, 0, 100, 900}});
    b.wds(90000, {{0, 100, 900, 40, 20}});
    b.pds(90000, {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}});
    b.ods(90000, 0, true, true, bluRayRle(pic), 40, 20);
    b.end(90000);
    b.pcs(180000, {});
    b.end(180000);
    w->eSUPfile->setText(QString::fromStdString(writeTempFile("blocks.sup", b.bytes())));
    w->bReadSUPClick();
    ASSERT_EQ(w->prog.Subs.size(), 1u);
    fillGlyphReview(w->prog, {"", ""}, {"ab"});
    GlyphsPage& page = showPage();

    page.selectGlyph(1);
    EXPECT_EQ(page.shownFrame(), QRect(QPoint(20, 5), QPoint(27, 14)));
    ASSERT_FALSE(page.lGlyphLine->pixmap().isNull());
    const QImage shown = page.lGlyphLine->pixmap().toImage();
    EXPECT_EQ(shown.pixelColor(18, 3 + 5 - 4), QColor(255, 0, 0));   // the frame, two pixels out
    EXPECT_EQ(shown.pixelColor(22, 8), QColor(0, 0, 0));              // ink
    page.selectGlyph(0);
    EXPECT_EQ(page.shownFrame(), QRect(QPoint(4, 5), QPoint(9, 14)));
    // A place the picture does not have shows nothing.
    w->prog.glyphs.review.glyphs[0].places[0].position = 7;
    page.selectGlyph(1);
    page.selectGlyph(0);
    EXPECT_TRUE(page.shownFrame().isNull());
}

TEST_F(GlyphsWindowTest, DamagedLibraryIsReportedAndNeverOverwritten) {
    w->close();
    w.reset();
    {
        QFile f(libraryFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("VANTREL GLYPH LIBRARY\nversion 7\nend 0\n");
    }
    openWindow();
    EXPECT_TRUE(w->lines().join(QLatin1Char('\n')).contains(QStringLiteral("of version 7")))
        << w->lines().join(QLatin1Char('\n')).toStdString();
    vantrel::testing::fillGlyphReview(w->prog, {"a"}, {"a"});
    GlyphsPage& page = showPage();
    page.selectGlyph(0);
    page.eGlyphLabel->setText(QStringLiteral("o"));
    page.bRelabel->click();
    EXPECT_EQ(w->prog.Subs[0].text, "o");
    EXPECT_EQ(fileText(libraryFile()), QByteArray("VANTREL GLYPH LIBRARY\nversion 7\nend 0\n"));
}

TEST_F(GlyphsWindowTest, ExportSharesAndImportRefusesForeignFiles) {
    vantrel::testing::fillGlyphReview(w->prog, {"a", "b"}, {"ab"});
    GlyphsPage& page = showPage();
    page.selectGlyph(0);
    page.bConfirmGlyph->click();
    ASSERT_EQ(w->prog.glyphs.library.glyphs.size(), 1u);

    const QString shared = QDir(dir.path()).filePath(QStringLiteral("series.txt"));
    w->nextSaveFile = shared;
    page.bExportGlyphs->click();
    GlyphLibrary back;
    back.path = shared.toStdString();
    loadGlyphLibrary(back);
    ASSERT_EQ(back.glyphs.size(), 1u);
    EXPECT_EQ(back.glyphs[0].label, "a");

    const QString foreign = QDir(dir.path()).filePath(QStringLiteral("foreign.txt"));
    {
        QFile f(foreign);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\x89PNG\r\n");
    }
    w->nextFile = foreign;
    page.bImportGlyphs->click();
    ASSERT_EQ(w->errors.size(), 1);
    EXPECT_TRUE(w->errors[0].contains(QStringLiteral("is no Vantrel glyph library"))) << w->errors[0].toStdString();
    EXPECT_EQ(w->prog.glyphs.library.glyphs.size(), 1u);

    // A shared library adds its glyphs to the user's own.
    putLibraryGlyph(back, {3, 3, 0, std::vector<uint8_t>(9, 1), "#", -1});
    exportGlyphLibrary(back, shared.toStdString());
    w->nextFile = shared;
    page.bImportGlyphs->click();
    EXPECT_EQ(w->prog.glyphs.library.glyphs.size(), 2u);
    GlyphLibrary saved;
    saved.path = libraryFile().toStdString();
    loadGlyphLibrary(saved);
    EXPECT_EQ(saved.glyphs.size(), 2u);
}

}  // namespace
