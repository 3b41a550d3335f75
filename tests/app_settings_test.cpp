// Settings persistence: first start, round trip, the maximised-window rule, wrong kinds, a
// file that cannot be written.
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <unistd.h>

#include "app/qt_text.h"
#include "app/settings.h"
#include "support/qt_app.h"
#include "support/test_window.h"

using namespace vantrel;
using namespace vantrel::app;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { vantrel::testing::qtApp(); }
    QString iniPath() const { return dir.filePath(QStringLiteral("Quillon.ini")); }
    std::unique_ptr<QSettings> store() const {
        return std::make_unique<QSettings>(iniPath(), QSettings::IniFormat);
    }
    void writeIni(const char* text) const {
        QFile f(iniPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    QTemporaryDir dir;
};

// Every stored value of two option sets compared by its stored text.
void expectSameOptions(const Options& a, const Options& b) {
    for (const SettingValue& v : settingValues()) {
        SCOPED_TRACE(v.name);
        EXPECT_EQ(getSetting(a, v), getSetting(b, v));
    }
}

}  // namespace

TEST_F(SettingsTest, FirstStartKeepsDefaultsAndWritesEveryValue) {
    Options loaded;
    RegRead(*store(), loaded);
    expectSameOptions(loaded, Options{});

    RegWrite(*store(), loaded);
    auto s = store();
    EXPECT_EQ(s->allKeys().size(), static_cast<qsizetype>(settingValues().size()));
    EXPECT_EQ(s->value("AutoRead").toString(), "1");
    EXPECT_EQ(s->value("CutLevel").toString(), "145");
    EXPECT_EQ(s->value("Height").toString(), QString::number(Options{}.Height));
}

TEST_F(SettingsTest, ValuesReadBackAsWritten) {
    Options written;
    written.WindowState = 0;
    written.Top = 12;
    written.Left = -40;
    written.Width = 900;
    written.Height = 700;
    written.SubHeight = 200;
    written.eBackground = nativePath(QStringLiteral("/pictures/back, dark \u00e9t\u00e9.bmp"));
    written.cbBack = true;
    written.cbAutoRead = false;
    written.cbPNG = false;
    written.eWorkDir = "/out/put";
    written.ieCutLevel = 200;
    written.coLang = 1;
    written.rgFrame = 3;
    written.ieMaxColor = 255;
    written.cbForced = false;
    written.cbBDN = true;
    RegWrite(*store(), written);

    Options loaded;
    RegRead(*store(), loaded);
    expectSameOptions(loaded, written);
}

TEST_F(SettingsTest, MaximisedWindowKeepsTheNormalGeometry) {
    Options normal;
    normal.Top = 10;
    normal.Left = 20;
    normal.Width = 800;
    normal.Height = 600;
    RegWrite(*store(), normal);

    Options maximised = normal;
    maximised.WindowState = 2;
    maximised.Top = 0;
    maximised.Left = 0;
    maximised.Width = 1920;
    maximised.Height = 1050;
    RegWrite(*store(), maximised);

    Options loaded;
    RegRead(*store(), loaded);
    EXPECT_EQ(loaded.WindowState, 2);
    EXPECT_EQ(loaded.Top, 10);
    EXPECT_EQ(loaded.Left, 20);
    EXPECT_EQ(loaded.Width, 800);
    EXPECT_EQ(loaded.Height, 600);
}

TEST_F(SettingsTest, ValueOfTheWrongKindIsSkipped) {
    writeIni("[General]\n"
             "CutLevel=abc\n"          // text for an integer
             "Tags=yes\n"              // text for a flag
             "Width=1.5\n"             // not a whole number
             "LastLine=1, 2\n"         // a list
             "Height=99999999999\n"    // out of range
             "Backpic=\"a, b.bmp\"\n"  // quoted text with a comma
             "Frame=3\n"
             "OCR=1\n");
    Options loaded;
    RegRead(*store(), loaded);
    const Options defaults;
    EXPECT_EQ(loaded.ieCutLevel, defaults.ieCutLevel);
    EXPECT_EQ(loaded.cbTags, defaults.cbTags);
    EXPECT_EQ(loaded.Width, defaults.Width);
    EXPECT_EQ(loaded.ieLastLine, defaults.ieLastLine);
    EXPECT_EQ(loaded.Height, defaults.Height);
    // The values after the bad ones still load.
    EXPECT_EQ(loaded.eBackground, "a, b.bmp");
    EXPECT_EQ(loaded.rgFrame, 3);
    EXPECT_TRUE(loaded.cbOCR);
}

TEST(DialogFilter, ConvertsPairsToQtFilters) {
    EXPECT_EQ(dialogFilter("All supported format (SUP, SRT)|*.sup; *.srt|SUP (DVD/HD DVD/BD)|*.sup|SubRip SRT|*.srt|All|*.*"),
              QStringLiteral("All supported format (SUP, SRT) (*.sup *.srt);;SUP (DVD/HD DVD/BD) (*.sup);;"
                             "SubRip SRT (*.srt);;All (*.*)"));
    EXPECT_EQ(dialogFilter("BMP image (*.bmp)|*.bmp"), QStringLiteral("BMP image (*.bmp)"));
}

// A settings file in a place that takes no file is found before a save and fails the save;
// a writable place is neither.
TEST_F(SettingsTest, AFileThatCannotBeWrittenIsFoundAndFailsToSave) {
    struct Case {
        const char* name;
        QString path;
        bool writable;
        bool needsNonRoot;   // root writes into a read-only folder all the same
    };
    const QDir base(dir.path());
    ASSERT_TRUE(base.mkdir(QStringLiteral("folder.ini")));
    ASSERT_TRUE(base.mkdir(QStringLiteral("locked")));
    ASSERT_TRUE(QFile::setPermissions(base.filePath(QStringLiteral("locked")),
                                      QFile::ReadOwner | QFile::ExeOwner));
    writeIni("[General]\n");
    const Case cases[] = {
        {"a folder in place of the file", base.filePath(QStringLiteral("folder.ini")), false, false},
        {"a path under a file", iniPath() + QStringLiteral("/more/Quillon.ini"), false, false},
        {"a read-only folder", base.filePath(QStringLiteral("locked/Quillon.ini")), false, true},
        {"an existing file", iniPath(), true, false},
        {"folders still to make", base.filePath(QStringLiteral("new/folders/Quillon.ini")), true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsNonRoot && geteuid() == 0) continue;
        QSettings store(c.path, QSettings::IniFormat);
        EXPECT_EQ(settingsWriteProblem(store).isEmpty(), c.writable) << settingsWriteProblem(store).toStdString();
        EXPECT_EQ(RegWrite(store, Options{}), c.writable);
    }
    QFile::setPermissions(base.filePath(QStringLiteral("locked")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

namespace {

// A window whose settings file is a folder.
class UnwritableSettingsWindow : public vantrel::testing::WindowFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Quillon.ini")));
        openWindow();
    }
    int reportLines() const {
        int n = 0;
        for (const QString& line : w->lines()) n += line.startsWith(QStringLiteral("Settings cannot be saved to ")) ? 1 : 0;
        return n;
    }
};

}  // namespace

// Start-up says it once, in the log and in a message; closing (the save) adds nothing.
TEST_F(UnwritableSettingsWindow, IsReportedOnceAtStartUp) {
    ASSERT_EQ(w->errors.size(), 1);
    EXPECT_TRUE(w->errors[0].contains(QStringLiteral("Quillon.ini: ")));
    EXPECT_EQ(reportLines(), 1);
    w->close();
    vantrel::testing::settle();
    EXPECT_EQ(w->errors.size(), 1);
    EXPECT_EQ(reportLines(), 1);
}
