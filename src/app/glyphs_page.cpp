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
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/bindings.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "app/widgets.h"
#include "ocr/correction.h"
#include "ocr/learned/library.h"
#include "ocr/learned/relabel.h"

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
    split->addWidget(tGlyphs);
    split->addWidget(lbGlyphUses);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
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

void GlyphsPage::refresh() {
    const int32_t selected = selectedGlyph();
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
    if (selected >= 0 && static_cast<size_t>(selected) < review.glyphs.size()) selectGlyph(selected);
    else showUses();
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

void GlyphsPage::showUses() {
    lbGlyphUses->clear();
    const int32_t id = selectedGlyph();
    const bool any = id >= 0;
    bRelabel->setEnabled(any);
    bConfirmGlyph->setEnabled(any && w_.prog.glyphs.review.glyphs[static_cast<size_t>(id)].known);
    if (!any) return;
    for (int32_t n : subtitlesUsing(w_.prog.glyphs.review, id)) {
        if (n < 1 || static_cast<size_t>(n) > w_.prog.Subs.size()) continue;
        const TSUP& sub = w_.prog.Subs[static_cast<size_t>(n - 1)];
        QString text = QString::number(n) + QStringLiteral(": ") + subtitleTextToQt(sub.text);
        if (sub.locked) text += QStringLiteral("  (locked)");
        auto* item = new QListWidgetItem(text, lbGlyphUses);
        item->setData(Qt::UserRole, n);
    }
}

bool GlyphsPage::refused() {
    if (!w_.prog.Busy && !w_.prog.Loading) return false;
    w_.beep();
    return true;
}

void GlyphsPage::textsChanged(const std::vector<int32_t>& changed) {
    if (const TSUP* sub = w_.currentRecord()) {
        const int32_t shown = w_.prog.CurSub + 1;
        if (std::find(changed.begin(), changed.end(), shown) != changed.end()) {
            w_.prog.panel.editorLines = TxtToLines(sub->text);
            w_.showPanel();
        }
    }
    // The SRT page follows at once.
    refreshSrtPage(w_);
    refresh();
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
    textsChanged(r.changed);
}

void GlyphsPage::confirm() {
    if (refused()) return;
    if (confirmGlyph(w_.ctx, selectedGlyph())) refresh();
}

void GlyphsPage::undo() {
    if (refused()) return;
    textsChanged(undoRelabel(w_.ctx));
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
