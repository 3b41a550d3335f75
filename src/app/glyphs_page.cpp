// The Glyphs page and the user's glyph library in the window.
#include "app/glyphs_page.h"

#include <QComboBox>
#include <algorithm>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/bindings.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "app/widgets.h"
#include "ocr/correction.h"
#include "ocr/learned/glyphs.h"
#include "ocr/learned/library.h"
#include "ocr/learned/relabel.h"
#include "render/decoder.h"
#include "render/palette.h"

namespace vantrel::app {
namespace {

constexpr int kImagePage = 2;
// Glyph pictures are scaled up to about this height, by whole pixels.
constexpr int kPictureHeight = 40;

enum Column { kRank, kPicture, kLabel, kUses, kNaming, kColumns };

QPushButton* pageButton(const char* name, const char* caption, QWidget* parent) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

// A glyph's bitmap black on white, scaled by whole pixels so the shape stays sharp.
QPixmap glyphPicture(const ReviewGlyph& g) {
    if (g.width <= 0 || g.height <= 0) return {};
    QImage img(g.width, g.height, QImage::Format_Grayscale8);
    for (int y = 0; y < g.height; ++y) {
        uchar* row = img.scanLine(y);
        for (int x = 0; x < g.width; ++x)
            row[x] = g.bits[static_cast<size_t>(y) * static_cast<size_t>(g.width) + static_cast<size_t>(x)] ? 0 : 255;
    }
    const int scale = std::clamp(kPictureHeight / g.height, 1, 8);
    return QPixmap::fromImage(img.scaled(g.width * scale, g.height * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation));
}

QTableWidgetItem* numberItem(qlonglong value) {
    auto* item = new QTableWidgetItem;
    item->setData(Qt::DisplayRole, value);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

QTableWidgetItem* textItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

// The picture of one line of subtitle `place.subtitle` as the learned reading saw it (ink
// black on white), cut the way the reading cut it, with the glyph at `place` framed in red.
// `frame` gets the glyph's box in the picture. A null picture when the subtitle or its line
// is not there (the stream changed, the table is of another kind). Platform errors propagate.
QPixmap glyphInLine(Context& ctx, const GlyphPlace& place, QRect& frame) {
    Program& prog = ctx.prog;
    const int32_t index = place.subtitle - 1;
    if (index < 0 || static_cast<size_t>(index) >= prog.Subs.size() || prog.streamFile.empty()) return {};
    if (prog.SubKind != kBluRayKind && prog.SubKind != kHdDvdKind) return {};
    // The palette belongs to the subtitle the viewer shows; it is put back afterwards.
    struct KeepPalette {
        PaletteState& pal;
        PaletteState kept;
        ~KeepPalette() { pal = kept; }
    } keepPalette{prog.pal, prog.pal};
    setpal(ctx, index);
    const TSUP& sub = prog.Subs[static_cast<size_t>(index)];
    // The windows top to bottom and their lines in that order, as the reading numbers them.
    std::vector<int> windows;
    for (int s = 0; s < (prog.SubKind == kBluRayKind ? kSlots : 1); ++s)
        if (sub.obj[static_cast<size_t>(s)].partLen[0] != 0) windows.push_back(s);
    std::sort(windows.begin(), windows.end(),
              [&](int a, int b) { return sub.obj[static_cast<size_t>(a)].y1 < sub.obj[static_cast<size_t>(b)].y1; });
    int32_t lineIndex = 0;
    for (int s : windows) {
        PixelData data;
        loadSlot(prog.streamFile, sub.obj[static_cast<size_t>(s)], data);
        IndexPlane plane;
        if (!decodeSlotPlane(ctx, index, s, data, plane)) continue;
        const InkMask mask = inkMask(plane.pixels, plane.width, plane.height, prog.pal);
        ClusterTable clusters;
        const std::vector<TextLine> lines = cutLines(mask, clusters);
        if (place.line >= lineIndex + static_cast<int32_t>(lines.size())) {
            lineIndex += static_cast<int32_t>(lines.size());
            continue;
        }
        const TextLine& line = lines[static_cast<size_t>(place.line - lineIndex)];
        if (place.position < 0 || static_cast<size_t>(place.position) >= line.glyphs.size()) return {};
        const Glyph& g = line.glyphs[static_cast<size_t>(place.position)];
        // The line with a little room above and below.
        const int top = std::max(0, line.top - 4);
        const int bottom = std::min(mask.height - 1, line.bottom + 4);
        QImage img(mask.width, bottom - top + 1, QImage::Format_RGB32);
        for (int y = top; y <= bottom; ++y) {
            auto* row = reinterpret_cast<QRgb*>(img.scanLine(y - top));
            for (int x = 0; x < mask.width; ++x) row[x] = mask.at(x, y) ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
        }
        frame = QRect(QPoint(g.left, g.top), QPoint(g.right, g.bottom));
        const QRect drawn = frame.translated(0, -top).adjusted(-2, -2, 2, 2);
        for (int x = drawn.left(); x <= drawn.right(); ++x)
            for (int y : {drawn.top(), drawn.bottom()})
                if (img.rect().contains(x, y)) img.setPixel(x, y, qRgb(255, 0, 0));
        for (int y = drawn.top(); y <= drawn.bottom(); ++y)
            for (int x : {drawn.left(), drawn.right()})
                if (img.rect().contains(x, y)) img.setPixel(x, y, qRgb(255, 0, 0));
        return QPixmap::fromImage(img);
    }
    return {};
}

QString labelText(const ReviewGlyph& g) {
    QString text = g.known ? subtitleTextToQt(g.label) : QStringLiteral("?");
    if (g.italic == 1) text += QStringLiteral("  (italic)");
    if (g.italic == 0) text += QStringLiteral("  (upright)");
    return text;
}

}  // namespace

GlyphsPage::GlyphsPage(TfMain& w) : w_(w) {
    setObjectName(QStringLiteral("tsGlyphs"));
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(4, 4, 4, 4);
    lGlyphs = new QLabel(this);
    lGlyphs->setObjectName(QStringLiteral("lGlyphs"));
    lGlyphs->setWordWrap(true);
    v->addWidget(lGlyphs);

    auto* split = new QSplitter(Qt::Vertical, this);
    tGlyphs = new QTableWidget(0, kColumns, split);
    tGlyphs->setObjectName(QStringLiteral("tGlyphs"));
    tGlyphs->setHorizontalHeaderLabels(
        {QStringLiteral("Doubt"), QStringLiteral("Glyph"), QStringLiteral("Label"), QStringLiteral("Uses"),
         QStringLiteral("Named by")});
    tGlyphs->setSelectionBehavior(QAbstractItemView::SelectRows);
    tGlyphs->setSelectionMode(QAbstractItemView::SingleSelection);
    tGlyphs->setIconSize(QSize(96, kPictureHeight + 8));
    tGlyphs->verticalHeader()->hide();
    tGlyphs->horizontalHeader()->setStretchLastSection(true);
    tGlyphs->horizontalHeader()->setSortIndicator(kRank, Qt::AscendingOrder);
    tGlyphs->setToolTip(QStringLiteral("The most doubtful glyphs first; click a heading to sort by it"));
    lbGlyphUses = new QListWidget(split);
    lbGlyphUses->setObjectName(QStringLiteral("lbGlyphUses"));
    lbGlyphUses->setToolTip(QStringLiteral("The subtitles using the glyph; double-click to show one"));
    lGlyphLine = new QLabel(split);
    lGlyphLine->setObjectName(QStringLiteral("lGlyphLine"));
    lGlyphLine->setAlignment(Qt::AlignCenter);
    lGlyphLine->setMinimumHeight(24);
    lGlyphLine->setToolTip(QStringLiteral("The selected glyph framed in its line"));
    split->addWidget(tGlyphs);
    split->addWidget(lbGlyphUses);
    split->addWidget(lGlyphLine);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    split->setStretchFactor(2, 1);
    v->addWidget(split, 1);

    auto* edit = new QHBoxLayout;
    edit->addWidget(new QLabel(QStringLiteral("Label:"), this));
    eGlyphLabel = new QLineEdit(this);
    eGlyphLabel->setObjectName(QStringLiteral("eGlyphLabel"));
    eGlyphLabel->setMaxLength(static_cast<int>(kMaxGlyphLabel));
    eGlyphLabel->setToolTip(QStringLiteral("What the glyph reads as: one to eight characters"));
    edit->addWidget(eGlyphLabel, 1);
    coGlyphItalic = new QComboBox(this);
    coGlyphItalic->setObjectName(QStringLiteral("coGlyphItalic"));
    coGlyphItalic->addItems({QStringLiteral("Italic by word"), QStringLiteral("Italic"), QStringLiteral("Upright")});
    edit->addWidget(coGlyphItalic);
    bRelabel = pageButton("bRelabel", "Relabel", this);
    bRelabel->setToolTip(QStringLiteral("Changes every subtitle that uses the glyph (locked ones keep their text)"));
    bConfirmGlyph = pageButton("bConfirmGlyph", "Confirm", this);
    bConfirmGlyph->setToolTip(QStringLiteral("Keeps the label as it is in your glyph library"));
    bUndoRelabel = pageButton("bUndoRelabel", "Undo", this);
    edit->addWidget(bRelabel);
    edit->addWidget(bConfirmGlyph);
    edit->addWidget(bUndoRelabel);
    v->addLayout(edit);

    auto* lib = new QHBoxLayout;
    bExportGlyphs = pageButton("bExportGlyphs", "Export library...", this);
    bImportGlyphs = pageButton("bImportGlyphs", "Import library...", this);
    lib->addStretch(1);
    lib->addWidget(bExportGlyphs);
    lib->addWidget(bImportGlyphs);
    v->addLayout(lib);

    connect(tGlyphs, &QTableWidget::itemSelectionChanged, this, [this] {
        showUses();
        const int32_t id = selectedGlyph();
        const GlyphReview& review = w_.prog.glyphs.review;
        if (id < 0) return;
        const ReviewGlyph& g = review.glyphs[static_cast<size_t>(id)];
        eGlyphLabel->setText(g.known ? subtitleTextToQt(g.label) : QString());
        coGlyphItalic->setCurrentIndex(g.italic == 1 ? 1 : (g.italic == 0 ? 2 : 0));
    });
    connect(lbGlyphUses, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item) showInLine(item->data(Qt::UserRole).toInt());
    });
    connect(lbGlyphUses, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        const int n = item->data(Qt::UserRole).toInt();
        if (refused()) return;
        w_.guarded([&] { w_.showSubtitle(n); });
        w_.PageControl->setCurrentIndex(kImagePage);
    });
    connect(eGlyphLabel, &QLineEdit::returnPressed, this, [this] { relabel(); });
    connect(bRelabel, &QPushButton::clicked, this, [this] { relabel(); });
    connect(bConfirmGlyph, &QPushButton::clicked, this, [this] { confirm(); });
    connect(bUndoRelabel, &QPushButton::clicked, this, [this] { undo(); });
    connect(bExportGlyphs, &QPushButton::clicked, this, [this] { exportLibrary(); });
    connect(bImportGlyphs, &QPushButton::clicked, this, [this] { importLibrary(); });
    refresh();
}

void GlyphsPage::refresh() { relist(false); }

void GlyphsPage::relist(bool keepRow) {
    const int32_t selected = selectedGlyph();
    const int selectedRow = tGlyphs->currentRow();
    const int scroll = tGlyphs->verticalScrollBar()->value();
    const GlyphReview& review = w_.prog.glyphs.review;
    tGlyphs->setSortingEnabled(false);
    tGlyphs->clearContents();
    tGlyphs->setRowCount(static_cast<int>(review.glyphs.size()));
    int row = 0;
    int64_t unknown = 0;
    for (int32_t id : glyphsByDoubt(review)) {
        const ReviewGlyph& g = review.glyphs[static_cast<size_t>(id)];
        if (!g.known) ++unknown;
        QTableWidgetItem* rank = numberItem(row + 1);
        rank->setData(Qt::UserRole, id);
        tGlyphs->setItem(row, kRank, rank);
        QTableWidgetItem* picture = textItem(QString());
        picture->setData(Qt::DecorationRole, glyphPicture(g));
        tGlyphs->setItem(row, kPicture, picture);
        tGlyphs->setItem(row, kLabel, textItem(labelText(g)));
        tGlyphs->setItem(row, kUses, numberItem(static_cast<qlonglong>(g.places.size())));
        tGlyphs->setItem(row, kNaming, textItem(QString::fromLatin1(glyphNamingName(g.naming))));
        ++row;
    }
    tGlyphs->setSortingEnabled(true);
    tGlyphs->resizeRowsToContents();
    tGlyphs->resizeColumnToContents(kPicture);
    const bool any = !review.glyphs.empty();
    lGlyphs->setText(any ? QStringLiteral("%1 glyphs, %2 unknown, from the last learned OCR.")
                               .arg(review.glyphs.size())
                               .arg(unknown)
                         : QStringLiteral("No glyphs yet: \"OCR all\" with the learned engine lists them here."));
    showLibrary();
    bUndoRelabel->setEnabled(!review.undo.empty());
    // The list stays where the user is: a relabelled glyph is no longer doubtful and moves
    // down the list, so after a relabel the row it left (now the next glyph to look at) is
    // selected; otherwise the same glyph stays selected. The list is not scrolled to it.
    if (keepRow && selectedRow >= 0 && tGlyphs->rowCount() > 0) {
        tGlyphs->selectRow(std::min(selectedRow, tGlyphs->rowCount() - 1));
    } else if (selected >= 0 && static_cast<size_t>(selected) < review.glyphs.size()) {
        selectGlyph(selected);
    } else {
        showUses();
    }
    tGlyphs->verticalScrollBar()->setValue(scroll);
}

void GlyphsPage::showLibrary() {
    const GlyphLibrary& lib = w_.prog.glyphs.library;
    QString text = lGlyphs->text().section(QLatin1Char('\n'), 0, 0);
    text += QLatin1Char('\n');
    text += lib.path.empty() ? QStringLiteral("Glyph library: %1 glyphs, not saved.").arg(lib.glyphs.size())
                             : QStringLiteral("Glyph library: %1 glyphs in %2")
                                   .arg(lib.glyphs.size())
                                   .arg(displayPath(lib.path));
    lGlyphs->setText(text);
}

int32_t GlyphsPage::selectedGlyph() const {
    const int row = tGlyphs->currentRow();
    const QList<QTableWidgetItem*> items = tGlyphs->selectedItems();
    if (row < 0 || items.isEmpty()) return -1;
    const QTableWidgetItem* rank = tGlyphs->item(row, kRank);
    return rank ? rank->data(Qt::UserRole).toInt() : -1;
}

void GlyphsPage::selectGlyph(int32_t glyph) {
    for (int row = 0; row < tGlyphs->rowCount(); ++row) {
        const QTableWidgetItem* rank = tGlyphs->item(row, kRank);
        if (rank && rank->data(Qt::UserRole).toInt() == glyph) {
            tGlyphs->selectRow(row);
            tGlyphs->scrollToItem(rank);
            return;
        }
    }
}

void GlyphsPage::showInLine(int32_t subtitle) {
    glyphFrame_ = QRect();
    lGlyphLine->clear();
    const int32_t id = selectedGlyph();
    if (id < 0 || w_.prog.Busy || w_.prog.Loading) return;
    for (const GlyphPlace& place : w_.prog.glyphs.review.glyphs[static_cast<size_t>(id)].places) {
        if (subtitle > 0 && place.subtitle != subtitle) continue;
        QPixmap picture;
        QRect frame;
        // A stream that changed on disk or cannot be read shows nothing here; the viewer
        // reports it when the subtitle is drawn.
        try {
            picture = glyphInLine(w_.ctx, place, frame);
        } catch (const std::exception&) {
            return;
        }
        if (picture.isNull()) return;
        glyphFrame_ = frame;
        // Wide lines are shown whole, scaled down to the page's width.
        const int room = std::max(lGlyphLine->width() - 8, 200);
        lGlyphLine->setPixmap(picture.width() > room ? picture.scaledToWidth(room, Qt::SmoothTransformation) : picture);
        return;
    }
}

void GlyphsPage::showUses() {
    lbGlyphUses->clear();
    const int32_t id = selectedGlyph();
    const bool any = id >= 0;
    bRelabel->setEnabled(any);
    bConfirmGlyph->setEnabled(any && w_.prog.glyphs.review.glyphs[static_cast<size_t>(id)].known);
    if (!any) {
        showInLine(0);
        return;
    }
    for (int32_t n : subtitlesUsing(w_.prog.glyphs.review, id)) {
        if (n < 1 || static_cast<size_t>(n) > w_.prog.Subs.size()) continue;
        const TSUP& sub = w_.prog.Subs[static_cast<size_t>(n - 1)];
        QString text = QString::number(n) + QStringLiteral(": ") + subtitleTextToQt(sub.text);
        if (sub.locked) text += QStringLiteral("  (locked)");
        auto* item = new QListWidgetItem(text, lbGlyphUses);
        item->setData(Qt::UserRole, n);
    }
    showInLine(0);
}

bool GlyphsPage::refused() {
    if (!w_.prog.Busy && !w_.prog.Loading) return false;
    w_.beep();
    return true;
}

void GlyphsPage::textsChanged(const std::vector<int32_t>& changed, bool keepRow) {
    if (const TSUP* sub = w_.currentRecord()) {
        const int32_t shown = w_.prog.CurSub + 1;
        if (std::find(changed.begin(), changed.end(), shown) != changed.end()) {
            w_.prog.panel.editorLines = TxtToLines(sub->text);
            w_.showPanel();
        }
    }
    // The SRT page follows at once.
    refreshSrtPage(w_);
    relist(keepRow);
}

void GlyphsPage::relabel() {
    if (refused()) return;
    const int32_t id = selectedGlyph();
    if (id < 0) return;
    const ReviewGlyph& g = w_.prog.glyphs.review.glyphs[static_cast<size_t>(id)];
    std::string label = fromQt(eGlyphLabel->text());
    if (label.empty() && g.known) label = g.label;   // only the italic flag changes
    const int8_t italic = coGlyphItalic->currentIndex() == 1 ? 1 : (coGlyphItalic->currentIndex() == 2 ? 0 : -1);
    if (!validGlyphLabel(label)) {
        w_.showError(QStringLiteral("A label is one to eight characters, without \"|\"."));
        return;
    }
    const RelabelResult r = relabelGlyph(w_.ctx, id, label, italic);
    if (!r.done) return;
    w_.msg.log("Glyph relabelled as \"" + label + "\": " + std::to_string(r.changed.size()) + " subtitles changed" +
               (r.locked > 0 ? ", " + std::to_string(r.locked) + " locked ones kept." : "."));
    textsChanged(r.changed, true);
}

void GlyphsPage::confirm() {
    if (refused()) return;
    if (confirmGlyph(w_.ctx, selectedGlyph())) refresh();
}

void GlyphsPage::undo() {
    if (refused()) return;
    textsChanged(undoRelabel(w_.ctx), false);
}

void GlyphsPage::exportLibrary() {
    const QString proposed = displayPath(w_.outputFolder()) + QStringLiteral("/glyph-library.txt");
    const QString file = w_.chooseSaveFile(QStringLiteral("Export the glyph library"), "Glyph library|*.txt", proposed,
                                           QStringLiteral("txt"));
    if (file.isEmpty()) return;
    if (w_.guarded([&] { exportGlyphLibrary(w_.prog.glyphs.library, nativePath(file)); }))
        w_.msg.log(std::to_string(w_.prog.glyphs.library.glyphs.size()) + " glyphs exported to " + nativePath(file));
}

void GlyphsPage::importLibrary() {
    if (refused()) return;
    const QString file = w_.chooseOpenFile(QStringLiteral("Import a glyph library"), "Glyph library|*.txt",
                                           displayPath(w_.outputFolder()));
    if (file.isEmpty()) return;
    size_t n = 0;
    if (!w_.guarded([&] { n = importGlyphLibrary(w_.prog.glyphs.library, nativePath(file)); })) return;
    w_.msg.log(std::to_string(n) + " glyphs imported from " + nativePath(file));
    saveGlyphLibrary(w_.prog.glyphs.library, w_.msg);
    refresh();
}

void loadUserGlyphLibrary(TfMain& w, const QString& settingsFile) {
    GlyphLibrary& lib = w.prog.glyphs.library;
    lib.path = nativePath(QFileInfo(settingsFile).absolutePath() + QStringLiteral("/glyph-library.txt"));
    try {
        loadGlyphLibrary(lib);
    } catch (const std::exception& e) {
        // Saving would replace a file the user may still want: it stays as it is.
        w.msg.log(std::string(e.what()) + " It is left as it is; glyphs taught now are not saved.");
        lib.path.clear();
        lib.glyphs.clear();
        lib.index.clear();
    }
}

}  // namespace vantrel::app
