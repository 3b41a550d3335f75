// Building the main window's controls and the Host side of the window (log, status, progress).
#include "app/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QShortcut>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/about_text.h"
#include "app/bindings.h"
#include "app/glyphs_page.h"
#include "app/image_view.h"
#include "app/int_edit.h"
#include "app/log_pane.h"
#include "app/qt_text.h"
#include "app/widgets.h"
#include "ocr/learned/languages.h"

namespace vantrel::app {
namespace {

template <class W>
W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QPushButton* button(const char* name, const char* caption, QWidget* parent) {
    return named(new QPushButton(QString::fromLatin1(caption), parent), name);
}

QCheckBox* check(const char* name, const char* caption, QWidget* parent, const char* hint = nullptr) {
    auto* cb = named(new QCheckBox(QString::fromLatin1(caption), parent), name);
    if (hint) cb->setToolTip(QString::fromLatin1(hint));
    return cb;
}

TIntEdit* intEdit(const char* name, QWidget* parent, const char* hint = nullptr, int width = 48) {
    auto* e = named(new TIntEdit(parent), name);
    if (hint) e->setToolTip(QString::fromLatin1(hint));
    e->setFixedWidth(width);
    return e;
}

QToolButton* folderButton(const char* name, QWidget* parent, const char* hint = nullptr) {
    auto* b = named(new QToolButton(parent), name);
    b->setIcon(parent->style()->standardIcon(QStyle::SP_DirOpenIcon));
    if (hint) b->setToolTip(QString::fromLatin1(hint));
    return b;
}

QLabel* label(const char* caption, QWidget* parent) { return new QLabel(QString::fromLatin1(caption), parent); }

}  // namespace

TfMain::TfMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("fMain"));
    // The window is laid out for 8-point text, as the log's default.
    QFont f = font();
    f.setPointSize(8);
    setFont(f);
    programFolder = QCoreApplication::applicationDirPath();
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->setSpacing(4);

    // Top row: the stream file, the open button and the load button.
    auto* top = new QHBoxLayout;
    eSUPfile = named(new QLineEdit(central), "eSUPfile");
    eSUPfile->setToolTip(QStringLiteral("Open a subtitle stream"));
    bbSUP = folderButton("bbSUP", central, "Open a subtitle stream");
    bbSUP->setEnabled(false);
    bReadSUP = button("bReadSUP", "Read S&UP", central);
    bReadSUP->setDefault(true);
    bReadSUP->setEnabled(false);
    top->addWidget(eSUPfile, 1);
    top->addWidget(bbSUP);
    top->addWidget(bReadSUP);
    layout->addLayout(top);

    PageControl = named(new PageTabs(central), "PageControl");
    PageControl->addTab(buildStatusPage(), QStringLiteral("S&tatus"));
    PageControl->addTab(buildSrtPage(), QStringLiteral("&SRT"));
    PageControl->addTab(buildImagePage(), QStringLiteral("&Image"));
    PageControl->addTab(buildOptionsPage(), QStringLiteral("&Options"));
    PageControl->addTab(buildAboutPage(), QStringLiteral("&About"));
    tsGlyphs = new GlyphsPage(*this);
    PageControl->addTab(tsGlyphs, QStringLiteral("&Glyphs"));
    PageControl->setEnabled(false);
    layout->addWidget(PageControl, 1);
    layout->addWidget(buildBottomRow());

    statusPanels = named(new StatusPanels(central), "StatusBar");
    layout->addWidget(statusPanels);
    setCentralWidget(central);
    setMinimumSize(475, 563);
    resize(opt.Width, opt.Height);

    connect(PageControl, &QTabWidget::currentChanged, this, [this](int i) { PageControlChange(i); });
    eSUPfile->installEventFilter(this);
    // The next and previous subtitle from anywhere in the window. In a text field
    // Ctrl+Right and Ctrl+Left keep moving by words; the page keys always step.
    const std::pair<QKeySequence, int> steps[] = {{QKeySequence(Qt::Key_PageDown), 1},
                                                  {QKeySequence(Qt::CTRL | Qt::Key_Right), 1},
                                                  {QKeySequence(Qt::Key_PageUp), -1},
                                                  {QKeySequence(Qt::CTRL | Qt::Key_Left), -1}};
    for (const auto& [keys, delta] : steps) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, [this, d = delta] { stepSubtitle(d); });
    }
    connect(eSUPfile, &QLineEdit::textChanged, this, [this](const QString& t) { prog.eSUPfile = nativePath(t); });
    connect(bReadSUP, &QPushButton::clicked, this, [this] { bReadSUPClick(); });
    connect(bbSUP, &QToolButton::clicked, this, [this] { bbSUPClick(); });
    connect(bOpenSRT, &QPushButton::clicked, this, [this] { bOpenSRTClick(); });
    connect(bClear, &QPushButton::clicked, this, [this] { bClearClick(); });
    connect(bCancel, &QPushButton::clicked, this, [this] { bCancelClick(); });
    connect(bbWorkdir, &QToolButton::clicked, this, [this] { bbWorkdirClick(); });
    connect(bbBackground, &QToolButton::clicked, this, [this] { bbBackgroundClick(); });
    connect(WebLink, &LinkLabel::clicked, this, [this] { openReadme(); });

    // Viewer
    connect(ieSubs, &TIntEdit::valueChanged, this, [this] {
        if (!settingControls_) ieSubsChange();
    });
    connect(cbFull, &QCheckBox::clicked, this, [this] { cbFullClick(); });
    connect(sbImage, &ScrollBox::resized, this, [this] { sbImageResize(); });
    connect(Image, &ImageView::mousePressed, this, [this](QPoint p, Qt::MouseButton b) { ImageMouseDown(p, b); });
    connect(Image, &ImageView::mouseMoved, this, [this](QPoint p) { ImageMouseMove(p); });
    connect(Image, &ImageView::mouseReleased, this, [this](QPoint p, Qt::MouseButton b) { ImageMouseUp(p, b); });
    connect(Image, &ImageView::doubleClicked, this, [this](QPoint p) { ImageDblClick(p); });
    // The side panel keeps the font and lock states the user set, for the next drawing.
    connect(rgFont, &RadioGroup::itemIndexChanged, this, [this](int i) { prog.panel.rgFont = i; });
    connect(cbLock, &QCheckBox::toggled, this, [this](bool on) { prog.panel.cbLock = on; });
    connect(spImage, &QSplitter::splitterMoved, this, [this] { subHeight_ = pSub->height(); });

    bindOptions();
    applyControls();

    bindOcr(*this);
    bindExport(*this);
    bindBitmaps(*this);
    bindSrt(*this);
}

TfMain::~TfMain() = default;

QWidget* TfMain::buildStatusPage() {
    tsStatus = named(new QWidget, "tsStatus");
    auto* v = new QVBoxLayout(tsStatus);
    v->setContentsMargins(4, 4, 4, 4);
    reMessage = named(new LogPane(tsStatus), "reMessage");
    v->addWidget(reMessage, 1);
    auto* row = new QHBoxLayout;
    // Alt+U and Alt+C belong to "Read S&UP" and "O&CR all", which every page shows.
    cbAutoClear = check("cbAutoClear", "Auto clea&r", tsStatus);
    bClear = button("bClear", "C&lear", tsStatus);
    row->addWidget(cbAutoClear);
    row->addStretch(1);
    row->addWidget(bClear);
    v->addLayout(row);
    return tsStatus;
}

QWidget* TfMain::buildSrtPage() {
    tsSRT = named(new QWidget, "tsSRT");
    auto* v = new QVBoxLayout(tsSRT);
    v->setContentsMargins(4, 4, 4, 4);
    // The SRT text is built from the subtitles each time the page opens, and "Save SRT"
    // writes what the subtitles hold: typing here would be lost, so the page only shows it.
    mSRT = named(new QPlainTextEdit(tsSRT), "mSRT");
    mSRT->setLineWrapMode(QPlainTextEdit::NoWrap);
    mSRT->setReadOnly(true);
    auto* hint = named(new QLabel(QStringLiteral("The SRT text of the subtitles, as \"Save SRT\" writes it. "
                                                 "Edit a text on the Image page, below its picture."),
                                  tsSRT),
                       "lSRThint");
    hint->setWordWrap(true);
    v->addWidget(hint);
    v->addWidget(mSRT, 1);
    auto* row = new QHBoxLayout;
    lSRTfile = named(new QLabel(tsSRT), "lSRTfile");
    bOpenSRT = button("bOpenSRT", "Open S&RT", tsSRT);
    bSaveSRT = button("bSaveSRT", "Sa&ve SRT", tsSRT);
    bOpenSRT->setEnabled(false);
    bSaveSRT->setEnabled(false);
    row->addWidget(lSRTfile, 1);
    row->addWidget(bOpenSRT);
    row->addWidget(bSaveSRT);
    v->addLayout(row);
    return tsSRT;
}

QWidget* TfMain::buildImagePage() {
    tsImage = named(new QWidget, "tsImage");
    auto* v = new QVBoxLayout(tsImage);
    v->setContentsMargins(0, 0, 0, 0);
    spImage = named(new QSplitter(Qt::Vertical, tsImage), "spImage");
    spImage->setChildrenCollapsible(false);
    sbImage = named(new ScrollBox(spImage), "sbImage");
    Image = named(new ImageView, "Image");
    sbImage->setImage(Image);
    spImage->addWidget(sbImage);

    pSub = named(new QWidget(spImage), "pSub");
    pSub->setMinimumHeight(60);
    auto* h = new QHBoxLayout(pSub);
    h->setContentsMargins(4, 2, 4, 2);
    auto* left = new QVBoxLayout;
    left->setSpacing(1);
    lStartEnd = named(new QLabel(pSub), "lStartEnd");
    lArea = named(new QLabel(pSub), "lArea");
    lArea2 = named(new QLabel(pSub), "lArea2");
    lStartEnd->setMinimumWidth(170);
    lForced = named(new QLabel(QStringLiteral("Forced"), pSub), "lForced");
    lForced->setVisible(false);
    auto* times = new QHBoxLayout;
    times->addWidget(lStartEnd);
    times->addWidget(lForced);
    times->addStretch(1);
    left->addLayout(times);
    left->addWidget(lArea);
    left->addWidget(lArea2);
    auto* nav = new QHBoxLayout;
    nav->setSpacing(1);
    ieSubs = intEdit("ieSubs", pSub, nullptr, 44);
    ieSubs->setValue(1);
    ieSubs->setEnabled(false);
    udSubs = named(new TUpDown(pSub), "udSubs");
    udSubs->setAssociate(ieSubs);
    udSubs->setMinimum(1);
    udSubs->setMaximum(0);
    lMaxline = named(new QLabel(pSub), "lMaxline");
    cbLock = check("cbLock", "Lock", pSub);
    nav->addWidget(ieSubs);
    nav->addWidget(udSubs);
    nav->addSpacing(4);
    nav->addWidget(lMaxline);
    nav->addStretch(1);
    nav->addWidget(cbLock);
    left->addLayout(nav);
    left->addStretch(1);
    h->addLayout(left);

    mSubtext = named(new QPlainTextEdit(pSub), "mSubtext");
    mSubtext->setLineWrapMode(QPlainTextEdit::NoWrap);
    mSubtext->setEnabled(false);
    // Subtitle text holds no tabs: Tab moves on to the next control.
    mSubtext->setTabChangesFocus(true);
    h->addWidget(mSubtext, 1);

    pOCR = named(new QWidget(pSub), "pOCR");
    auto* ocr = new QHBoxLayout(pOCR);
    ocr->setContentsMargins(0, 0, 0, 0);
    // Alt+A, Alt+U and Alt+T open pages or load: "Auto" has no key, "Italic" takes L.
    rgFont = named(new RadioGroup(QStringLiteral("Font"), {QStringLiteral("&Normal"), QStringLiteral("Auto"),
                                                           QStringLiteral("Ita&lic")},
                                  pOCR),
                   "rgFont");
    rgFont->setItemIndex(1);
    rgFont->setEnabled(false);
    ocr->addWidget(rgFont);
    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(2);
    bOCR = button("bOCR", "OCR", pOCR);
    bOCR->setToolTip(QStringLiteral("Convert bitmap to text"));
    bPrev = button("bPrev", "&Prev", pOCR);
    bPrev->setToolTip(QStringLiteral("Jump to the previous error"));
    bNext = button("bNext", "Ne&xt", pOCR);
    bNext->setToolTip(QStringLiteral("Jump to the next error"));
    for (QPushButton* b : {bOCR, bPrev, bNext}) {
        b->setEnabled(false);
        b->setFixedWidth(56);
        buttons->addWidget(b);
    }
    cbFull = check("cbFull", "FS", pOCR, "Fullscreen");
    cbFull->setChecked(true);
    buttons->addWidget(cbFull);
    buttons->addStretch(1);
    ocr->addLayout(buttons);
    h->addWidget(pOCR);

    spImage->addWidget(pSub);
    spImage->setStretchFactor(0, 1);
    spImage->setStretchFactor(1, 0);
    v->addWidget(spImage);
    return tsImage;
}

QWidget* TfMain::buildOptionsPage() {
    tsOptions = named(new QWidget, "tsOptions");
    auto* grid = new QGridLayout(tsOptions);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setSpacing(4);

    // Image: the viewer's background, guide lines and palette strip; what bitmaps are saved.
    auto* gImage = named(new QGroupBox(QStringLiteral("Image"), tsOptions), "gbImage");
    auto* gi = new QGridLayout(gImage);
    gi->setVerticalSpacing(2);
    cbBack = check("cbBack", "Background image", gImage);
    eBackground = named(new QLineEdit(gImage), "eBackground");
    bbBackground = folderButton("bbBackground", gImage, "Open background image");
    cbBorders = check("cbBorders", "Subtitle borders", gImage);
    cbPalette = check("cbPalette", "Palette on bitmap", gImage);
    cbOCR = check("cbOCR", "OCR", gImage, "Black and white only for OCR");
    cbBMP = check("cbBMP", "BMP", gImage);
    cbPNG = check("cbPNG", "PNG", gImage);
    cb720p = check("cb720p", "720p", gImage, "Reduce the resolution of the png output to 1280x720");
    cbBDN = check("cbBDN", "Scenarist exp", gImage, "Export BDN and SCN files to Scenarist");
    auto* back = new QHBoxLayout;
    back->addWidget(cbBack);
    back->addWidget(eBackground, 1);
    back->addWidget(bbBackground);
    gi->addLayout(back, 0, 0, 1, 4);
    gi->addWidget(cbBorders, 1, 0, 1, 2);
    gi->addWidget(cbPalette, 1, 2, 1, 2);
    gi->addWidget(cbBMP, 2, 0);
    gi->addWidget(cbPNG, 2, 1);
    gi->addWidget(cb720p, 2, 2);
    gi->addWidget(cbOCR, 2, 3);
    gi->addWidget(cbBDN, 3, 0, 1, 2);
    grid->addWidget(gImage, 0, 0, 1, 2);

    // General: loading and the output folder.
    auto* gGeneral = named(new QGroupBox(QStringLiteral("General"), tsOptions), "gbGeneral");
    auto* gg = new QGridLayout(gGeneral);
    gg->setVerticalSpacing(2);
    cbAutoRead = check("cbAutoRead", "Auto read", gGeneral);
    cbDetails = check("cbDetails", "Detailed info", gGeneral);
    lWorkDir = named(label("Output folder", gGeneral), "lWorkDir");
    eWorkDir = named(new QLineEdit(gGeneral), "eWorkDir");
    bbWorkdir = folderButton("bbWorkdir", gGeneral);
    cbForced = check("cbForced", "Forced", gGeneral);
    cbForced->setVisible(false);
    cbForcedOnly = check("cbForcedOnly", "Forced only", gGeneral);
    gg->addWidget(cbAutoRead, 0, 0);
    gg->addWidget(cbDetails, 0, 1);
    gg->addWidget(cbForcedOnly, 0, 2);
    auto* work = new QHBoxLayout;
    work->addWidget(lWorkDir);
    work->addWidget(eWorkDir, 1);
    work->addWidget(bbWorkdir);
    gg->addLayout(work, 1, 0, 1, 3);
    gg->setColumnStretch(2, 1);
    grid->addWidget(gGeneral, 1, 0, 1, 2);

    // OCR
    auto* gOcr = named(new QGroupBox(QStringLiteral("OCR"), tsOptions), "gbOCR");
    auto* go = new QGridLayout(gOcr);
    go->setVerticalSpacing(2);
    ieCutLevel = intEdit("ieCutLevel", gOcr, "The cut level for OCRing", 40);
    ieMUL = intEdit("ieMUL", gOcr, "The multiplier for the letter skew of italic font style", 30);
    ieDIV = intEdit("ieDIV", gOcr, "The divider for the letter skew of italic font style", 30);
    ieSpaceWidth = intEdit("ieSpaceWidth", gOcr, "The normal space width in pixels", 30);
    ieSpaceWmin = intEdit("ieSpaceWmin", gOcr, "The space width in pixels before 'j'", 30);
    cbTags = check("cbTags", "Insert tags (<i></i>)", gOcr);
    coLang = named(new QComboBox(gOcr), "coLang");
    coLang->addItems({QStringLiteral("N/A"), QStringLiteral("English")});
    // Item indexes are the values of Options::ocrEngine.
    coOcrEngine = named(new QComboBox(gOcr), "coOcrEngine");
    coOcrEngine->addItems({QStringLiteral("Learned"), QStringLiteral("Rules")});
    coOcrEngine->setToolTip(QStringLiteral("Learned: reads any font, learning the stream's glyphs with Tesseract. "
                                           "Rules: the fixed shape rules"));
    coOcrLang = named(new QComboBox(gOcr), "coOcrLang");
    for (const OcrLanguage& l : kOcrLanguages) coOcrLang->addItem(QString::fromLatin1(l.name), QString::fromLatin1(l.code));
    coOcrLang->setToolTip(QStringLiteral("The language the learned engine reads"));
    auto pair = [gOcr](QWidget* a, const char* between, QWidget* b) {
        auto* h = new QHBoxLayout;
        h->setSpacing(3);
        h->addWidget(a);
        h->addWidget(label(between, gOcr));
        h->addWidget(b);
        h->addStretch(1);
        return h;
    };
    go->addWidget(label("Level", gOcr), 0, 0);
    go->addWidget(ieCutLevel, 0, 1, Qt::AlignLeft);
    go->addWidget(label("Italic skew", gOcr), 1, 0);
    go->addLayout(pair(ieMUL, "/", ieDIV), 1, 1);
    go->addWidget(label("Space width", gOcr), 2, 0);
    go->addLayout(pair(ieSpaceWidth, "j:", ieSpaceWmin), 2, 1);
    go->addWidget(label("Language", gOcr), 3, 0);
    go->addWidget(coLang, 3, 1, Qt::AlignLeft);
    go->addWidget(cbTags, 4, 0, 1, 2);
    go->addWidget(label("Engine", gOcr), 5, 0);
    go->addWidget(coOcrEngine, 5, 1, Qt::AlignLeft);
    go->addWidget(label("OCR language", gOcr), 6, 0);
    go->addWidget(coOcrLang, 6, 1, Qt::AlignLeft);
    go->setColumnStretch(1, 1);
    grid->addWidget(gOcr, 2, 0);

    // SRT: how imported text is placed and drawn.
    auto* gSrt = named(new QGroupBox(QStringLiteral("SRT"), tsOptions), "gbSRT");
    auto* gs = new QGridLayout(gSrt);
    gs->setVerticalSpacing(2);
    ieLastLine = intEdit("ieLastLine", gSrt, "The base of the last line (y coordinate from the top)", 40);
    ieLineSpc = intEdit("ieLineSpc", gSrt, "Space between the lines", 40);
    ieSpacing = intEdit("ieSpacing", gSrt, nullptr, 40);
    ieMaxColor = intEdit("ieMaxColor", gSrt, "The brightness of the letters", 40);
    coLetters = named(new QComboBox(gSrt), "coLetters");
    coLetters->addItem(QStringLiteral("Default"));
    // The encoding SRT files are saved in; reading finds out by itself.
    coSrtEncoding = named(new QComboBox(gSrt), "coSrtEncoding");
    coSrtEncoding->addItems({QStringLiteral("UTF-8"), QStringLiteral("Windows-1252")});
    gs->addWidget(label("Last line", gSrt), 0, 0);
    gs->addWidget(ieLastLine, 0, 1, Qt::AlignLeft);
    gs->addWidget(label("Line spacing", gSrt), 1, 0);
    gs->addWidget(ieLineSpc, 1, 1, Qt::AlignLeft);
    gs->addWidget(label("Spacing", gSrt), 2, 0);
    gs->addWidget(ieSpacing, 2, 1, Qt::AlignLeft);
    gs->addWidget(label("Color", gSrt), 3, 0);
    gs->addWidget(ieMaxColor, 3, 1, Qt::AlignLeft);
    gs->addWidget(label("Letters", gSrt), 4, 0);
    gs->addWidget(coLetters, 4, 1, Qt::AlignLeft);
    gs->addWidget(label("Encoding", gSrt), 5, 0);
    gs->addWidget(coSrtEncoding, 5, 1, Qt::AlignLeft);
    gs->setColumnStretch(1, 1);
    grid->addWidget(gSrt, 2, 1);

    // Stream export
    rgFormat = named(new RadioGroup(QStringLiteral("Stream exp."), {QStringLiteral("Blu-ray"), QStringLiteral("HD DVD")},
                                    tsOptions),
                     "rgFormat");
    grid->addWidget(rgFormat, 3, 0);

    // Frame rate and drop-frame choice
    auto* gFrame = named(new QGroupBox(QStringLiteral("Frame"), tsOptions), "gbFrame");
    auto* gf = new QHBoxLayout(gFrame);
    gf->setContentsMargins(4, 4, 4, 4);
    rgFrame = named(new RadioGroup(QString(),
                                   {QStringLiteral("23.976"), QStringLiteral("24"), QStringLiteral("25"),
                                    QStringLiteral("29.97"), QStringLiteral("50"), QStringLiteral("59.94")},
                                   gFrame, 2),
                    "rgFrame");
    rgDrop = named(new RadioGroup(QString(), {QStringLiteral("Drop"), QStringLiteral("Non-drop")}, gFrame), "rgDrop");
    rgDrop->setItemIndex(1);
    gf->addWidget(rgFrame);
    gf->addWidget(rgDrop);
    gf->addStretch(1);
    grid->addWidget(gFrame, 3, 1);

    grid->setRowStretch(4, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    return tsOptions;
}

QWidget* TfMain::buildAboutPage() {
    tsAbout = named(new QWidget, "tsAbout");
    auto* v = new QVBoxLayout(tsAbout);
    v->setContentsMargins(4, 4, 4, 4);
    reAbout = named(new QTextBrowser(tsAbout), "reAbout");
    reAbout->setOpenLinks(false);
    reAbout->setHtml(aboutText());
    connect(reAbout, &QTextBrowser::anchorClicked, this, [this] { openReadme(); });
    mChangelog = named(new ScrollingMemo(tsAbout), "mChangelog");
    mChangelog->setPlainText(changelogText());
    mChangelog->setMaximumHeight(110);
    v->addWidget(reAbout, 1);
    v->addWidget(mChangelog);
    return tsAbout;
}

QWidget* TfMain::buildBottomRow() {
    auto* row = new QWidget;
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    bSaveBMP = button("bSaveBMP", "Save &bitmaps", row);
    bOCRall = button("bOCRall", "O&CR all", row);
    WebLink = named(new LinkLabel(QStringLiteral("Read me"), row), "WebLink");
    WebLink->setToolTip(QStringLiteral("If you like this software don't forget to donate me. :-)"));
    ProgressBar = named(new QProgressBar(row), "ProgressBar");
    ProgressBar->setTextVisible(false);
    ProgressBar->setFixedWidth(120);
    ProgressBar->setVisible(false);
    bCancel = button("bCancel", "Cancel", row);
    bExport = button("bExport", "&Export sup", row);
    for (QPushButton* b : {bSaveBMP, bOCRall, bCancel, bExport}) b->setEnabled(false);
    h->addWidget(bSaveBMP);
    h->addWidget(bOCRall);
    h->addStretch(1);
    // The progress bar takes the link's place while a job runs.
    h->addWidget(WebLink);
    h->addWidget(ProgressBar);
    h->addStretch(1);
    h->addWidget(bCancel);
    h->addWidget(bExport);
    return row;
}

// ---- Host ----

void TfMain::appendLogLine(const LogLine& line) { reMessage->appendLine(line); }

void TfMain::replaceLastLogLine(std::string_view text) { reMessage->replaceLastLine(text); }

void TfMain::clearLog() { reMessage->clearLines(); }

void TfMain::setStatus(const StatusBar& bar) {
    statusPanels->setBar(bar);
    statusPanels->repaint();
}

void TfMain::setProgress(int position, int maximum) {
    ProgressBar->setRange(0, std::max(0, maximum));
    ProgressBar->setValue(std::clamp(position, 0, std::max(0, maximum)));
}

void TfMain::setTitle(std::string_view title) {
    appTitle_ = toQt(title);
    setWindowIconText(appTitle_);
}

int TfMain::textWidth(std::string_view text, bool bold) {
    return QFontMetrics(statusPanels->statusFont(bold)).horizontalAdvance(toQt(text));
}

void TfMain::pumpMessages() { QCoreApplication::processEvents(); }

bool TfMain::confirm(std::string_view question) {
    return QMessageBox::question(this, appTitle_.isEmpty() ? windowTitle() : appTitle_, toQt(question),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TfMain::beep() { QApplication::beep(); }

void TfMain::controlsChanged(const ControlStates& states) {
    if (&states != &prog.controls) prog.controls = states;
    applyControls();
}

void TfMain::applyControls() {
    const ControlStates& c = prog.controls;
    // While a job runs, nothing that starts another job can be pressed; without a table
    // (after a failed load) nothing that works on one can.
    const bool idle = !prog.Busy;
    const bool table = !prog.Subs.empty();
    bReadSUP->setEnabled(c.bReadSUP && idle);
    ProgressBar->setVisible(c.ProgressBar);
    WebLink->setVisible(c.WebLink);
    bCancel->setEnabled(c.bCancel);
    mSRT->setVisible(c.mSRT);
    bSaveBMP->setEnabled(c.bSaveBMP && idle && table);
    bExport->setEnabled(c.bExport && idle && table);
    bOCRall->setEnabled(c.bOCRall && idle && table);
    if (!table) {
        bPrev->setEnabled(false);
        bNext->setEnabled(false);
    }
    bOpenSRT->setEnabled(atlasFound_ && idle);
    udSubs->setMaximum(c.udSubsMax);
    if (ieSubs->value() != c.ieSubs || ieSubs->text() != QString::number(c.ieSubs)) {
        settingControls_ = true;
        ieSubs->setValue(c.ieSubs);
        settingControls_ = false;
    }
}

}  // namespace vantrel::app
