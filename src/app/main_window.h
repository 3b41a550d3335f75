// The main window TfMain: its controls, the program state it owns, and the services the
// features use (drawing a subtitle, running a long job, reporting errors).
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings.h"
#include "core/context.h"
#include "core/host.h"
#include "core/version.h"
#include "render/composer.h"

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTextBrowser;
class QToolButton;

namespace vantrel::app {

class GlyphsPage;
class ImageView;
class LinkLabel;
class LogPane;
class PageTabs;
class RadioGroup;
class ScrollBox;
class ScrollingMemo;
class StatusPanels;
class TIntEdit;
class TUpDown;

class TfMain : public QMainWindow, public Host {
    Q_OBJECT
public:
    static constexpr const char* kVersion = kVersionText;

    explicit TfMain(QWidget* parent = nullptr);
    ~TfMain() override;

    // The program's state, passed to every operation of the core.
    Program prog;
    Options opt;
    MessageLog msg{*this};
    Context ctx{prog, opt, msg};

    // Viewer drag state.
    bool dragging = false;
    uint8_t dragSlot = 0;
    int lastX = 0;
    int lastY = 0;

    // What DrawSub takes from the window: the view mode (kept equal to cbFull) and the
    // bitmap writer's step for saving mode.
    DrawSubView drawView;

    // Where settings are kept; tests point it at a file of their own.
    std::function<std::unique_ptr<QSettings>()> settingsStore = openUserSettings;
    // The folder that must hold the glyph atlas file; the program's own folder by default.
    QString programFolder;

    // ---- Controls, named as the program names them (objectName is the same) ----
    // Top row
    QLineEdit* eSUPfile;
    QToolButton* bbSUP;
    QPushButton* bReadSUP;
    // Pages
    PageTabs* PageControl;
    QWidget* tsStatus;
    QWidget* tsSRT;
    QWidget* tsImage;
    QWidget* tsOptions;
    QWidget* tsAbout;
    GlyphsPage* tsGlyphs;   // the learned glyphs of the stream (glyphs_page.h)
    // Status page
    LogPane* reMessage;
    QCheckBox* cbAutoClear;
    QPushButton* bClear;
    // SRT page
    QPlainTextEdit* mSRT;
    QLabel* lSRTfile;
    QPushButton* bSaveSRT;
    QPushButton* bOpenSRT;
    // Image page
    QSplitter* spImage;
    ScrollBox* sbImage;
    ImageView* Image;
    QWidget* pSub;
    QLabel* lStartEnd;
    QLabel* lForced;   // "Forced" beside the times of a forced subtitle
    QLabel* lArea;
    QLabel* lArea2;
    QLabel* lMaxline;
    TIntEdit* ieSubs;
    TUpDown* udSubs;
    QPlainTextEdit* mSubtext;
    QCheckBox* cbLock;
    QWidget* pOCR;
    RadioGroup* rgFont;
    QPushButton* bOCR;
    QPushButton* bPrev;
    QPushButton* bNext;
    QCheckBox* cbFull;
    // Options page: Image
    QCheckBox* cbBack;
    QLineEdit* eBackground;
    QToolButton* bbBackground;
    QCheckBox* cbBorders;
    QCheckBox* cbPalette;
    QCheckBox* cbOCR;
    QCheckBox* cbBMP;
    QCheckBox* cbPNG;
    QCheckBox* cb720p;
    QCheckBox* cbBDN;
    // Options page: General
    QCheckBox* cbAutoRead;
    QCheckBox* cbDetails;
    QLabel* lWorkDir;
    QLineEdit* eWorkDir;
    QToolButton* bbWorkdir;
    QCheckBox* cbForced;
    QCheckBox* cbForcedOnly;   // export, OCR all and picture saving take forced subtitles only
    // Options page: OCR
    TIntEdit* ieCutLevel;
    TIntEdit* ieMUL;
    TIntEdit* ieDIV;
    TIntEdit* ieSpaceWidth;
    TIntEdit* ieSpaceWmin;
    QCheckBox* cbTags;
    QComboBox* coLang;
    QComboBox* coOcrEngine;   // the learned engine or the rule engine ("OcrEngine")
    QComboBox* coOcrLang;     // the learned engine's language, a Tesseract code as item data ("OcrLang")
    // Options page: Stream exp., SRT, Frame
    RadioGroup* rgFormat;
    TIntEdit* ieLastLine;
    TIntEdit* ieLineSpc;
    TIntEdit* ieSpacing;
    TIntEdit* ieMaxColor;
    QComboBox* coLetters;
    QComboBox* coSrtEncoding;
    RadioGroup* rgFrame;
    RadioGroup* rgDrop;
    // About page
    ScrollingMemo* mChangelog;
    QTextBrowser* reAbout;
    // Bottom row
    QPushButton* bSaveBMP;
    QPushButton* bOCRall;
    LinkLabel* WebLink;
    QProgressBar* ProgressBar;
    QPushButton* bCancel;
    QPushButton* bExport;
    StatusPanels* statusPanels;   // objectName "StatusBar"

    // ---- Start-up and the window's own handlers ----
    // Runs once, when the window is first shown; `args` are the command-line arguments
    // without the program name.
    void startUp(const QStringList& args);
    void bReadSUPClick();
    // Enter in the file field: a typed ".srt" file is imported, anything else loaded.
    void eSUPfileEnter();
    // Steps to the next (+1) or previous (-1) subtitle; the keys for it work on every page.
    void stepSubtitle(int delta);
    void bbSUPClick();
    void bOpenSRTClick();
    void bClearClick();
    void bCancelClick();
    void bbWorkdirClick();
    void bbBackgroundClick();
    void dropFiles(const QStringList& paths);
    void PageControlChange(int index);
    void LineDataChange();

    // ---- Viewer ----
    void ieSubsChange();
    void cbFullClick();
    void sbImageResize();
    void ImageMouseDown(QPoint p, Qt::MouseButton button);
    void ImageMouseMove(QPoint p);
    void ImageMouseUp(QPoint p, Qt::MouseButton button);
    void ImageDblClick(QPoint p);

    // ---- Services for the features ----
    // DrawSub(n) and shows the result: the picture and the side panel. Errors propagate
    // (what was drawn before is shown).
    void drawSub(int n);
    // Shows the display picture and the side panel data (prog.panel) as they are, without
    // drawing: after an OCR, which draws its overlay and fills the panel itself.
    void showPanel();
    // Moves the navigator to subtitle n and draws it (n < 1 clears the display).
    void showSubtitle(int n);
    // The record the viewer shows, or null while the table is empty or CurSub is out of range.
    TSUP* currentRecord();
    // Applies prog.controls (enabled and shown states of the job controls) to the widgets.
    void applyControls();
    // Runs fn; a PlatformError or other exception is shown in a message box. False on error.
    bool guarded(const std::function<void()>& fn);
    // Shows the SRT text (prog.mSRT) and the imported file's name (prog.lSRTfile) on the SRT page.
    void showSrtPage();
    // Imports an SRT file when no load or job runs and the glyph atlas is there.
    void importSrt(const QString& path);
    bool atlasFound() const { return atlasFound_; }
    QString atlasPath() const;
    // Where exports, pictures and saved SRT files go, as a file system name without a
    // trailing separator: the output folder when one is set, else the folder of the stream
    // or SRT file the table came from (the current folder before anything was loaded).
    std::string outputFolder() const;
    // The application title (task-bar caption).
    QString applicationTitle() const { return appTitle_; }

    // ---- Host ----
    void appendLogLine(const LogLine& line) override;
    void replaceLastLogLine(std::string_view text) override;
    void clearLog() override;
    void setStatus(const StatusBar& bar) override;
    void setProgress(int position, int maximum) override;
    void setTitle(std::string_view title) override;
    int textWidth(std::string_view text, bool bold) override;
    void pumpMessages() override;
    bool confirm(std::string_view question) override;
    void beep() override;
    void controlsChanged(const ControlStates& states) override;
    void displaySubtitle(int number) override;
    void jobStarted(const JobSetup& job) override;
    void jobEnded(const JobSetup& job) override;

    // Dialogs; tests replace them.
    virtual QString chooseOpenFile(const QString& title, std::string_view filter, const QString& folder);
    virtual QString chooseFolder(const QString& title, const QString& folder);
    // A save dialog proposing `proposed` (a full path); returns the chosen file or "".
    virtual QString chooseSaveFile(const QString& title, std::string_view filter, const QString& proposed,
                                   const QString& defaultSuffix);
    virtual void showError(const QString& message);
    // The subtitle track to load from a film holding several: `tracks` as listed, the one
    // at `proposed` selected. Returns the chosen position, -1 when the user cancelled.
    virtual int chooseTrack(const QString& file, const QStringList& tracks, int proposed);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Before a load: a film with more than one subtitle track asks which one (prog.track).
    // False when the user cancelled: nothing is loaded.
    bool askTrack();
    QWidget* buildStatusPage();
    QWidget* buildSrtPage();
    QWidget* buildImagePage();
    QWidget* buildOptionsPage();
    QWidget* buildAboutPage();
    QWidget* buildBottomRow();
    void bindOptions();
    void applyOptions();
    void applyGeometry();
    void storeGeometry();
    void dragStep(QPoint p);
    void logAtlasMissing();
    void reportUnsavedSettings(const QSettings& store);
    void openReadme();
    QString readmePath() const;
    void centreSubtitle();
    bool refuseWhileWorking();
    // True when nothing unsaved is in the table, or the user agrees to lose it.
    bool mayReplaceTable();

    std::vector<std::function<void()>> optionsToWidgets_;
    QString appTitle_;
    QDialog* readme_ = nullptr;
    bool started_ = false;
    bool atlasFound_ = false;
    bool closeAfterLoad_ = false;
    bool settingsReported_ = false;   // the settings file was found unwritable and said so
    bool settingControls_ = false;
    int subHeight_ = 126;
};

}  // namespace vantrel::app
