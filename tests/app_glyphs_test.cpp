// The Glyphs page: the doubt order, relabel with the SRT page following, undo, and the glyph
// library beside the settings with its export and import.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <gtest/gtest.h>

#include "app/glyphs_page.h"
#include "app/main_window.h"
#include "app/widgets.h"
#include "ocr/learned/library.h"
#include "support/glyph_review_fixture.h"
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
    EXPECT_EQ(w->prog.Subs[0].text, "a\xE9 c|\xE9");
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
