// The window's own operations: start-up, loading, file choice and drops, cancelling and
// closing, long jobs, and the dialogs.
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QLabel>
#include <QToolButton>
#include <QUrl>

#include "app/bindings.h"
#include "app/image_view.h"
#include "app/int_edit.h"
#include "app/log_pane.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "app/widgets.h"
#include "platform/files.h"
#include "stream/load.h"
#include "text/atlas.h"

namespace vantrel::app {
namespace {

constexpr std::string_view kSupFilter =
    "All supported format (SUP, SRT)|*.sup; *.srt|SUP (DVD/HD DVD/BD)|*.sup|SubRip SRT|*.srt|All|*.*";
constexpr std::string_view kSrtFilter = "SRT (SubRip subtitle)|*.srt";
constexpr std::string_view kBackgroundFilter = "BMP image (*.bmp)|*.bmp";

QString upperExtension(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot).toUpper();
}

}  // namespace

// ---- Start-up ----

void TfMain::startUp(const QStringList& args) {
    if (started_) return;
    started_ = true;
    setWindowTitle(QStringLiteral("Vantrel v") + QString::fromLatin1(kVersion));
    prog.pics.ensureAllocated();
    LineDataChange();
    // The About text and the program-wide tables are built in.
    {
        std::unique_ptr<QSettings> store = settingsStore();
        RegRead(*store, opt);
    }
    applyGeometry();
    applyOptions();
    PageControl->setEnabled(true);
    bbSUP->setEnabled(true);

    // One argument naming an existing file loads it; with any other single argument the
    // load runs on the empty file field and only marks the SRT text stale.
    if (args.size() == 1) {
        if (QFileInfo(args[0]).isFile()) {
            eSUPfile->setText(args[0]);
            prog.controls.bReadSUP = true;
            applyControls();
        }
        bReadSUPClick();
    }

    // The glyph atlas file must lie beside the program; the "Default" letters themselves
    // are built in.
    atlasFound_ = QFileInfo(atlasPath()).isFile();
    if (atlasFound_) guarded([] { builtinAtlas(); });
    else logAtlasMissing();
    applyControls();

    setTitle("Vantrel");
    PageControl->setCurrentIndex(0);
    dragging = false;
    dragSlot = 0;
    lastX = lastY = 0;
}

QString TfMain::atlasPath() const {
    // Every index names the one letter set there is.
    std::string_view name = letterSetFileName(opt.coLetters);
    if (name.empty()) name = letterSetFileName(0);
    return QDir(programFolder).filePath(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
}

void TfMain::logAtlasMissing() {
    msg.log(fromQt(QDir::toNativeSeparators(atlasPath())) + " not found!");
    msg.log2("You cannot import .srt files without it.");
}

void TfMain::LineDataChange() { fillLineY(prog, opt); }

// ---- Loading ----

bool TfMain::refuseWhileWorking() {
    if (!prog.Loading && !prog.Busy) return false;
    beep();
    return true;
}

void TfMain::bReadSUPClick() {
    if (refuseWhileWorking()) return;
    guarded([this] { Load(ctx); });
    reMessage->update();
    if (closeAfterLoad_) {
        closeAfterLoad_ = false;
        close();
    }
}

void TfMain::bbSUPClick() {
    if (refuseWhileWorking()) return;
    const QString folder = eSUPfile->text().isEmpty() ? QString() : QFileInfo(eSUPfile->text()).absolutePath();
    const QString file = chooseOpenFile(QStringLiteral("Open subtitle stream (SUP)"), kSupFilter, folder);
    if (file.isEmpty()) return;
    const QString ext = upperExtension(file);
    if (ext == QLatin1String(".SRT")) {
        importSrt(file);
    } else if (ext == QLatin1String(".SUP")) {
        eSUPfile->setText(file);
        prog.controls.bReadSUP = QFileInfo(file).isFile();
        applyControls();
        if (opt.cbAutoRead) bReadSUPClick();
        prog.lSRTfile.clear();
        lSRTfile->clear();
    }
}

void TfMain::bOpenSRTClick() {
    if (refuseWhileWorking()) return;
    const QString file = chooseOpenFile(QStringLiteral("Open SubRip subtile (SRT)"), kSrtFilter, QString());
    if (!file.isEmpty()) importSrt(file);
}

void TfMain::importSrt(const QString& path) {
    if (refuseWhileWorking()) return;
    if (!atlasFound_) {
        logAtlasMissing();
        return;
    }
    ReadSRT(*this, nativePath(path));
}

void TfMain::dropFiles(const QStringList& paths) {
    if (paths.isEmpty() || refuseWhileWorking()) return;
    const QString& path = paths.first();
    const QString ext = upperExtension(path);
    if (ext == QLatin1String(".SUP")) {
        eSUPfile->setText(path);
        // The dropped file can be loaded with the button as well.
        prog.controls.bReadSUP = QFileInfo(path).isFile();
        applyControls();
        if (opt.cbAutoRead) bReadSUPClick();
    } else if (ext == QLatin1String(".SRT")) {
        // Without "Auto read" the drop imports nothing, and the table keeps its base name.
        if (opt.cbAutoRead) importSrt(path);
    }
}

void TfMain::bClearClick() { msg.clear(); }

void TfMain::showSrtPage() {
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(prog.mSRT.size()));
    for (const std::string& line : prog.mSRT) lines << subtitleTextToQt(line);
    mSRT->setPlainText(lines.join(QLatin1Char('\n')));
    lSRTfile->setText(displayPath(prog.lSRTfile));
}

void TfMain::PageControlChange(int index) {
    if (index == 1 && prog.srtDirty) SUP2Srt(*this);
    if (index == 2) cbFullClick();
}

// ---- Cancelling and closing ----

void TfMain::bCancelClick() {
    if (!prog.Busy) {
        prog.Cancel = true;
        return;
    }
    if (confirm("Are you sure to stop?")) {
        prog.Cancel = true;
        msg.logn("Cancelled.");
        msg.log("");
    }
}

void TfMain::closeEvent(QCloseEvent* event) {
    if (prog.Busy) {
        bCancelClick();
        event->ignore();
        return;
    }
    if (prog.Loading) {
        // The load stops at its next safe point; the window closes once it has returned.
        prog.Cancel = true;
        closeAfterLoad_ = true;
        event->ignore();
        return;
    }
    prog.Cancel = true;
    storeGeometry();
    {
        std::unique_ptr<QSettings> store = settingsStore();
        RegWrite(*store, opt);
    }
    prog.pics.IndexImage = IndexedImage{};
    event->accept();
}

void TfMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    setAcceptDrops(true);
}

void TfMain::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TfMain::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    event->acceptProposedAction();
    dropFiles(paths);
}

void TfMain::keyPressEvent(QKeyEvent* event) {
    // bReadSUP is the default button: Enter that no control took loads the stream.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && bReadSUP->isEnabled()) {
        bReadSUPClick();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

// ---- Long jobs ----

TfMain::JobEnd TfMain::runJob(const JobSpec& job, const std::function<void()>& body) {
    if (refuseWhileWorking()) return JobEnd::Refused;
    const ControlStates before = prog.controls;
    prog.Cancel = false;
    prog.Busy = true;
    if (job.mode) prog.*job.mode = true;
    prog.controls.bCancel = true;
    prog.controls.ProgressBar = true;
    prog.controls.WebLink = false;
    if (job.hideViewer) {
        prog.controls.mSRT = false;
        Image->hide();
    }
    setProgress(0, 100);
    if (job.showLog) {
        PageControl->setCurrentIndex(0);
        PageControl->setEnabled(false);
    }
    applyControls();

    QString error;
    bool failed = false;
    try {
        body();
    } catch (const std::exception& e) {
        failed = true;
        error = toQt(e.what());
    } catch (...) {
        failed = true;
        error = QStringLiteral("Unknown error");
    }
    const bool cancelled = prog.Cancel;

    prog.Busy = false;
    prog.Cancel = false;
    if (job.mode) prog.*job.mode = false;
    prog.uiUpdating = false;
    if (failed) prog.controls = before;
    prog.controls.bCancel = false;
    prog.controls.ProgressBar = false;
    prog.controls.WebLink = true;
    prog.controls.mSRT = true;
    Image->show();
    PageControl->setEnabled(true);
    setTitle("Vantrel");
    applyControls();
    if (failed) {
        showError(error);
        return JobEnd::Failed;
    }
    return cancelled ? JobEnd::Cancelled : JobEnd::Completed;
}

bool TfMain::guarded(const std::function<void()>& fn) {
    try {
        fn();
        return true;
    } catch (const std::exception& e) {
        showError(toQt(e.what()));
    } catch (...) {
        showError(QStringLiteral("Unknown error"));
    }
    return false;
}

// ---- Dialogs ----

QString TfMain::chooseOpenFile(const QString& title, std::string_view filter, const QString& folder) {
    return QFileDialog::getOpenFileName(this, title, folder, dialogFilter(filter));
}

QString TfMain::chooseFolder(const QString& title, const QString& folder) {
    return QFileDialog::getExistingDirectory(this, title, folder);
}

void TfMain::showError(const QString& message) {
    QMessageBox::critical(this, appTitle_.isEmpty() ? windowTitle() : appTitle_, message);
}

void TfMain::bbWorkdirClick() {
    const QString folder = chooseFolder(QStringLiteral("Select a directory"), eWorkDir->text());
    if (!folder.isEmpty()) eWorkDir->setText(QDir::toNativeSeparators(folder));
}

void TfMain::bbBackgroundClick() {
    const QString file = chooseOpenFile(QStringLiteral("Open background image"), kBackgroundFilter,
                                        eBackground->text().isEmpty() ? QString()
                                                                      : QFileInfo(eBackground->text()).absolutePath());
    if (!file.isEmpty()) eBackground->setText(QDir::toNativeSeparators(file));
}

void TfMain::openReadme() {
    // The read-me lies in the source tree: beside the program or a few folders above it.
    QDir dir(programFolder);
    for (int up = 0; up < 4; ++up) {
        const QString readme = dir.filePath(QStringLiteral("README.md"));
        if (QFileInfo(readme).isFile()) {
            QDesktopServices::openUrl(QUrl::fromLocalFile(readme));
            return;
        }
        if (!dir.cdUp()) break;
    }
}

}  // namespace vantrel::app
