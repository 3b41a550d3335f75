// The window's bitmap saving: pictures and scripts in the output folder, and the window
// put back after a completed, a cancelled and a failed run.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/int_edit.h"
#include "app/main_window.h"
#include "app/widgets.h"
#include "ocr_stream.h"
#include "pictures/scripts.h"
#include "support/qt_app.h"
#include "support/test_window.h"

using namespace vantrel;
using namespace vantrel::app;
using namespace vantrel::testing;

namespace {

QString readText(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromLatin1(f.readAll());
}

using BitmapWindowTest = WindowFixture;

}  // namespace

TEST_F(BitmapWindowTest, SavesIntoTheOutputFolderAndRestoresTheWindow) {
    enum class Way { Completed, Cancelled, FolderBlocked };
    struct Case {
        const char* name;
        Way way;
        int pictures;   // subtitles whose files exist afterwards
    };
    const Case cases[] = {
        {"completed", Way::Completed, 3},
        // Cancel during the first pump: subtitle 1 is saved, the scripts get their tails.
        {"cancelled", Way::Cancelled, 1},
        // A file where the output folder should be: nothing can be written.
        {"folder cannot be made", Way::FolderBlocked, 0},
    };
    const std::string stream = barsStream("film.sup", 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString out = QDir(dir.path()).filePath(QString::fromLatin1(c.name));
        const QString folder = QDir(out).filePath(QStringLiteral("film.sup.bitmaps"));
        ASSERT_TRUE(QDir().mkpath(out));
        if (c.way == Way::FolderBlocked) {
            QFile blocker(folder);
            ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        }
        w->eSUPfile->setText(QString::fromStdString(stream));
        w->bReadSUPClick();
        settle();
        ASSERT_EQ(w->prog.Subs.size(), 3u);
        w->eWorkDir->setText(out);
        w->cbBMP->setChecked(true);
        w->cbPNG->setChecked(true);
        w->cbBDN->setChecked(true);
        w->showSubtitle(2);
        w->PageControl->setCurrentIndex(2);
        w->msg.clear();
        w->errors.clear();
        bool savingDuring = false, busyDuring = false, pagesDuring = true, saveDuring = true, cancelDuring = false;
        int pageDuring = -1;
        w->onPump = [&] {
            savingDuring = w->prog.SavingPics;
            busyDuring = w->prog.Busy;
            pagesDuring = w->PageControl->isEnabled();
            pageDuring = w->PageControl->currentIndex();
            saveDuring = w->bSaveBMP->isEnabled();
            cancelDuring = w->bCancel->isEnabled();
            if (c.way == Way::Cancelled) w->bCancel->click();
        };

        ASSERT_TRUE(w->bSaveBMP->isEnabled());
        const bool readBefore = w->bReadSUP->isEnabled();
        w->bSaveBMP->click();
        settle();

        for (int n = 1; n <= 3; ++n) {
            SCOPED_TRACE(n);
            const QString base = QDir(folder).filePath(QStringLiteral("line000%1").arg(n));
            EXPECT_EQ(QFile::exists(base + QStringLiteral(".png")), n <= c.pictures);
            EXPECT_EQ(QFile::exists(base + QStringLiteral(".bmp")), n <= c.pictures);
        }
        if (c.pictures > 0) {
            const QImage png(QDir(folder).filePath(QStringLiteral("line0001.png")));
            EXPECT_EQ(png.size(), QSize(1920, 1080));
            EXPECT_EQ(png.format(), QImage::Format_Indexed8);
            EXPECT_EQ(QImage(QDir(folder).filePath(QStringLiteral("line0001.bmp"))).size(), QSize(1920, 1080));
            // The scripts are closed with their tails, cancelled or not.
            const QString bdn = readText(QDir(folder).filePath(QString::fromLatin1(kBdnFile)));
            EXPECT_TRUE(bdn.trimmed().endsWith(QStringLiteral("</BDN>"))) << bdn.toStdString();
            EXPECT_EQ(bdn.count(QStringLiteral("<Event ")), c.pictures);
            EXPECT_TRUE(QFile::exists(QDir(folder).filePath(QString::fromLatin1(kScenaristFile))));
        }

        EXPECT_EQ(w->errors.size(), c.way == Way::FolderBlocked ? 1 : 0) << w->errors.join('\n').toStdString();
        const QStringList lines = w->lines();
        EXPECT_EQ(lines.contains(QStringLiteral("Done.")), c.way == Way::Completed) << lines.join('\n').toStdString();
        if (c.way != Way::FolderBlocked) {
            EXPECT_TRUE(savingDuring);
            EXPECT_TRUE(busyDuring);
            EXPECT_FALSE(pagesDuring);
            EXPECT_EQ(pageDuring, 0);
            EXPECT_FALSE(saveDuring);
            EXPECT_TRUE(cancelDuring);
            EXPECT_TRUE(lines.contains(QStringLiteral("Saving subpicture bitmaps to ") + folder + QLatin1Char('/')))
                << lines.join('\n').toStdString();
            // Subtitle 1 is shown again.
            EXPECT_EQ(w->ieSubs->value(), 1);
            EXPECT_EQ(w->prog.CurSub, 0);
        }

        EXPECT_FALSE(w->prog.Busy);
        EXPECT_FALSE(w->prog.Cancel);
        EXPECT_FALSE(w->prog.SavingPics);
        EXPECT_TRUE(w->bSaveBMP->isEnabled());
        EXPECT_TRUE(w->bOCRall->isEnabled());
        EXPECT_TRUE(w->bExport->isEnabled());
        EXPECT_EQ(w->bReadSUP->isEnabled(), readBefore);
        EXPECT_FALSE(w->bCancel->isEnabled());
        EXPECT_TRUE(w->ProgressBar->isHidden());
        EXPECT_FALSE(w->WebLink->isHidden());
        EXPECT_TRUE(w->PageControl->isEnabled());
        EXPECT_EQ(w->applicationTitle(), QStringLiteral("Vantrel"));
    }
}
