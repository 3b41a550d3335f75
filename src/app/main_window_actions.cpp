// The window's own operations: start-up, loading, file choice and drops, cancelling and
// closing, long jobs, and the dialogs.
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
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
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>
#include <QUrl>

#include <optional>

#include "app/bindings.h"
#include "app/glyphs_page.h"
#include "app/image_view.h"
#include "app/int_edit.h"
#include "app/log_pane.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "app/widgets.h"
#include "core/job.h"
#include "core/log_names.h"
#include "core/table_state.h"
#include "ocr/table_language.h"
#include "platform/files.h"
#include "stream/load.h"
#include "text/atlas.h"

namespace vantrel::app {
namespace {

constexpr std::string_view kSupFilter =
    "All supported format (SUP, SRT, films, VobSub)|*.sup; *.srt; *.mkv; *.mka; *.mks; *.m2ts; *.mts; *.ts; *.mp4; *.m4v; "
    "*.vob; *.mpg; *.idx; *.sub|SUP (DVD/HD DVD/BD)|*.sup|SubRip SRT|*.srt|"
    "Films (MKV, M2TS, TS, MP4)|*.mkv; *.mka; *.mks; *.m2ts; *.mts; *.ts; *.mp4; *.m4v; *.vob; *.mpg|"
    "VobSub (IDX/SUB)|*.idx; *.sub|All|*.*";
constexpr std::string_view kSrtFilter = "SRT (SubRip subtitle)|*.srt";
constexpr std::string_view kBackgroundFilter = "BMP image (*.bmp)|*.bmp";
constexpr int kStatusPage = 0;
constexpr int kImagePage = 2;

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
        loadUserGlyphLibrary(*this, store->fileName());
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
    {
        std::unique_ptr<QSettings> store = settingsStore();
        if (!settingsWriteProblem(*store).isEmpty()) reportUnsavedSettings(*store);
    }
    // A stream from the command line opens at its first picture; otherwise the log shows
    // what start-up found.
    PageControl->setCurrentIndex(prog.Subs.empty() ? kStatusPage : kImagePage);
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

std::string TfMain::outputFolder() const {
    if (!opt.eWorkDir.empty()) {
        const QString work = QDir::cleanPath(QDir::current().absoluteFilePath(displayPath(opt.eWorkDir)));
        return nativePath(work);
    }
    // Beside the file the user opened: a container's track is read from a temporary copy.
    const std::string& source = prog.SubKind == kSrtKind       ? prog.BaseName
                                : !prog.openedFile.empty()     ? prog.openedFile
                                : prog.eSUPfile.empty()        ? prog.streamFile
                                                               : prog.eSUPfile;
    if (source.empty()) return nativePath(QDir::currentPath());
    return nativePath(QFileInfo(displayPath(source)).absolutePath());
}

// A settings file that cannot be written is said once a session: a log line and a message,
// at start-up or at the first save that fails; later failed saves add nothing.
void TfMain::reportUnsavedSettings(const QSettings& store) {
    if (settingsReported_) return;
    settingsReported_ = true;
    QString reason = settingsWriteProblem(store);
    if (reason.isEmpty()) reason = QStringLiteral("The file could not be written.");
    const QString file = QDir::toNativeSeparators(store.fileName());
    msg.log("[re]Settings cannot be saved to " + logName(nativePath(file)) + ": " +
            logEscaped(fromQt(reason)) + "[/re]");
    showError(QStringLiteral("Settings cannot be saved to %1: %2").arg(file, reason));
}

void TfMain::logAtlasMissing() {
    msg.log(fromQt(QDir::toNativeSeparators(atlasPath())) + " not found!");
    msg.log2("You cannot import .srt files without it.");
}

void TfMain::LineDataChange() { fillLineY(prog, opt); }

// ---- Loading ----

bool TfMain::refuseWhileWorking() { return vantrel::refuseWhileWorking(ctx); }

bool TfMain::mayReplaceTable() {
    if (!unsavedWork(prog)) return true;
    return confirm("The open subtitles have changes that are not saved (texts, fixes or places). "
                   "Lose them and load the file?");
}

void TfMain::bReadSUPClick() {
    if (refuseWhileWorking()) return;
    if (!mayReplaceTable()) return;
    // The log names the stream with its full path, whatever was typed.
    if (!eSUPfile->text().isEmpty()) prog.eSUPfile = nativePath(QFileInfo(eSUPfile->text()).absoluteFilePath());
    if (!askTrack()) return;
    // A file that turns out to hold no subtitles (unsupported, malformed, empty) leaves the
    // subtitles that were open in place.
    std::optional<OpenTable> open;
    if (!prog.Subs.empty()) open = keepOpenTable(prog);
    LoadResult result = LoadResult::Loaded;
    const bool ran = guarded([this, &result] { result = Load(ctx); });
    // A file that could not be opened never touched the table; a read error keeps what the
    // new stream gave, unless it gave nothing.
    const bool failed = ran ? result == LoadResult::Unsupported || result == LoadResult::FormatError ||
                                  result == LoadResult::NoSubtitles
                            : prog.Subs.empty() || (open && prog.streamFile == open->streamFile);
    if (failed && open) {
        restoreOpenTable(prog, std::move(*open));
        msg.log2("The subtitles loaded before stay open: " + logName(prog.streamFile.empty() ? prog.BaseName
                                                                                           : prog.eSUPfile));
        eSUPfile->setText(displayPath(prog.eSUPfile));
        applyControls();
        guarded([this] { showSubtitle(prog.CurSub + 1); });
    } else if (prog.Subs.empty()) {
        // No table: the SRT text of the one before must not be saved.
        prog.mSRT.clear();
        showSrtPage();
    } else if (!closeAfterLoad_) {
        // After a load with subtitles the work goes on at the first picture.
        PageControl->setCurrentIndex(kImagePage);
    }
    if (!prog.Subs.empty() && !(failed && open)) {
        // The OCR reads the language of the track, unless the user picked one.
        useTableLanguage(ctx);
        for (const auto& f : optionsToWidgets_) f();
    }
    if (!(failed && open)) markTableSaved(prog);
    reMessage->update();
    if (closeAfterLoad_) {
        closeAfterLoad_ = false;
        close();
    }
}

void TfMain::eSUPfileEnter() {
    if (refuseWhileWorking()) return;
    const QString file = eSUPfile->text().trimmed();
    if (file.isEmpty()) return;
    if (upperExtension(file) == QLatin1String(".SRT")) {
        importSrt(file);
        return;
    }
    // As after a choice in the dialog; a name that does not exist gets the load's own error.
    prog.controls.bReadSUP = QFileInfo(file).isFile();
    applyControls();
    bReadSUPClick();
}

void TfMain::bbSUPClick() {
    if (refuseWhileWorking()) return;
    const QString folder = eSUPfile->text().isEmpty() ? QString() : QFileInfo(eSUPfile->text()).absolutePath();
    const QString file = chooseOpenFile(QStringLiteral("Open subtitle stream (SUP)"), kSupFilter, folder);
    if (file.isEmpty()) return;
    const QString ext = upperExtension(file);
    if (ext == QLatin1String(".SRT")) {
        importSrt(file);
    } else {
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
    const QString file = chooseOpenFile(QStringLiteral("Open SubRip subtile (SRT)"), kSrtFilter, displayPath(outputFolder()));
    if (!file.isEmpty()) importSrt(file);
}

void TfMain::importSrt(const QString& path) {
    if (refuseWhileWorking()) return;
    if (!atlasFound_) {
        logAtlasMissing();
        return;
    }
    if (!mayReplaceTable()) return;
    openSrtFile(*this, nativePath(path));
    markTableSaved(prog);
}

void TfMain::dropFiles(const QStringList& paths) {
    if (paths.isEmpty() || refuseWhileWorking()) return;
    const QString& path = paths.first();
    const QString ext = upperExtension(path);
    // Streams, films and VobSub pairs load through the stream field; SRT files import.
    static const QStringList kLoaded = {QStringLiteral(".SUP"), QStringLiteral(".MKV"), QStringLiteral(".MKA"),
                                        QStringLiteral(".MKS"), QStringLiteral(".M2TS"), QStringLiteral(".MTS"),
                                        QStringLiteral(".TS"),  QStringLiteral(".MP4"), QStringLiteral(".M4V"),
                                        QStringLiteral(".VOB"), QStringLiteral(".MPG"), QStringLiteral(".IDX"),
                                        QStringLiteral(".SUB")};
    if (kLoaded.contains(ext)) {
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
    if (index == 1 && prog.srtDirty) refreshSrtPage(*this);
    if (index == 2) cbFullClick();
    if (PageControl->widget(index) == tsGlyphs) tsGlyphs->refresh();
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
        if (!RegWrite(*store, opt)) reportUnsavedSettings(*store);
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
    // bReadSUP is the default button of the top row: Enter that no control took loads the
    // stream. Enter on a page (a number field, a check box) never reloads: the fields take
    // it as the end of their input.
    const QWidget* focus = focusWidget();
    const bool onPage = focus && PageControl->isAncestorOf(focus);
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && bReadSUP->isEnabled() && !onPage) {
        bReadSUPClick();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

bool TfMain::eventFilter(QObject* watched, QEvent* event) {
    // Enter in the file field loads what it names; the key goes no further, so the default
    // button does not load it a second time.
    if (watched == eSUPfile && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            eSUPfileEnter();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- Long jobs ----

// While a core job runs the window hides the picture when the job asks, shows the log on
// a locked page control and keeps the navigation buttons still.
void TfMain::jobStarted(const JobSetup& job) {
    if (job.hideViewer) Image->hide();
    bPrev->setEnabled(false);
    bNext->setEnabled(false);
    setProgress(0, 100);
    if (job.showLog) {
        PageControl->setCurrentIndex(0);
        PageControl->setEnabled(false);
    }
}

void TfMain::jobEnded(const JobSetup& /*job*/) {
    Image->show();
    PageControl->setEnabled(true);
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

QString TfMain::chooseSaveFile(const QString& title, std::string_view filter, const QString& proposed,
                               const QString& defaultSuffix) {
    QFileDialog dialog(this, title, proposed, dialogFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
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

QString TfMain::readmePath() const {
    // Shipped beside the program (the build tree) or in the installed documentation; a
    // program run from inside the source tree finds the tree's own copy a few folders up.
    const QDir program(programFolder);
    for (const QString& candidate : {program.filePath(QStringLiteral("README.md")),
                                     program.filePath(QStringLiteral("../share/doc/vantrel/README.md"))})
        if (QFileInfo(candidate).isFile()) return QDir::cleanPath(candidate);
    QDir dir(programFolder);
    for (int up = 0; up < 4 && dir.cdUp(); ++up) {
        const QString readme = dir.filePath(QStringLiteral("README.md"));
        if (QFileInfo(readme).isFile()) return readme;
    }
    return {};
}

void TfMain::openReadme() {
    // Shown in a window of the program's own, so it opens whether or not the desktop has a
    // viewer for Markdown files.
    const QString path = readmePath();
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        msg.log2("README.md not found beside the program.");
        return;
    }
    if (!readme_) {
        readme_ = new QDialog(this);
        readme_->setObjectName(QStringLiteral("readme"));
        readme_->setWindowTitle(QStringLiteral("Vantrel - Read me"));
        readme_->resize(640, 600);
        auto* text = new QTextBrowser(readme_);
        text->setObjectName(QStringLiteral("readmeText"));
        text->setOpenExternalLinks(true);
        auto* layout = new QVBoxLayout(readme_);
        layout->addWidget(text);
    }
    readme_->findChild<QTextBrowser*>()->setMarkdown(QString::fromUtf8(file.readAll()));
    readme_->show();
    readme_->raise();
}

}  // namespace vantrel::app
