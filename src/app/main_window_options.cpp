// The Options page bound to the stored options, and the window geometry.
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QLineEdit>
#include <QSplitter>
#include <climits>

#include "app/int_edit.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "app/widgets.h"
#include "render/palette.h"

namespace vantrel::app {
namespace {

constexpr int kNormal = 0;
constexpr int kMinimized = 1;
constexpr int kMaximized = 2;

}  // namespace

void TfMain::bindOptions() {
    // Each control writes its option as it changes, so the core always reads the current
    // value; after the settings are read the controls are set from the options.
    auto flag = [this](QCheckBox* cb, bool Options::*field) {
        cb->setChecked(opt.*field);
        connect(cb, &QCheckBox::toggled, this, [this, field](bool on) { opt.*field = on; });
        optionsToWidgets_.push_back([this, cb, field] { cb->setChecked(opt.*field); });
    };
    // An integer edit with an optional clamp: a value outside [lo, hi] is set back to the
    // nearest bound. An empty or sign-only text is input in progress and is left alone.
    auto integer = [this](TIntEdit* e, int Options::*field, int lo = INT_MIN, int hi = INT_MAX,
                          std::function<void()> changed = {}) {
        e->setValue(opt.*field);
        connect(e, &TIntEdit::valueChanged, this, [this, e, field, lo, hi, changed](int v) {
            const QString t = e->text();
            const bool partial = t.isEmpty() || t == QLatin1String("-") || t == QLatin1String("+");
            if (!partial && (v < lo || v > hi)) {
                e->setValue(std::clamp(v, lo, hi));
                return;
            }
            opt.*field = partial ? std::clamp(0, lo, hi) : v;
            if (changed) changed();
        });
        connect(e, &QLineEdit::editingFinished, this, [e, lo, hi] {
            if (e->value() < lo || e->value() > hi) e->setValue(std::clamp(e->value(), lo, hi));
        });
        optionsToWidgets_.push_back([this, e, field] { e->setValue(opt.*field); });
    };
    auto text = [this](QLineEdit* e, std::string Options::*field) {
        connect(e, &QLineEdit::textChanged, this, [this, field](const QString& t) { opt.*field = nativePath(t); });
        optionsToWidgets_.push_back([this, e, field] { e->setText(displayPath(opt.*field)); });
    };
    // An item index; a stored index that names no item falls back to the first item.
    auto choice = [this](RadioGroup* g, int Options::*field) {
        g->setItemIndex(opt.*field);
        connect(g, &RadioGroup::itemIndexChanged, this, [this, field](int i) { opt.*field = i; });
        optionsToWidgets_.push_back([this, g, field] {
            if (opt.*field < 0 || opt.*field >= g->count()) opt.*field = 0;
            g->setItemIndex(opt.*field);
        });
    };
    auto list = [this](QComboBox* c, int Options::*field) {
        c->setCurrentIndex(opt.*field);
        connect(c, &QComboBox::currentIndexChanged, this, [this, field](int i) {
            if (i >= 0) opt.*field = i;
        });
        optionsToWidgets_.push_back([this, c, field] {
            if (opt.*field < 0 || opt.*field >= c->count()) opt.*field = 0;
            c->setCurrentIndex(opt.*field);
        });
    };

    text(eBackground, &Options::eBackground);
    flag(cbBack, &Options::cbBack);
    flag(cbBorders, &Options::cbBorders);
    flag(cbPalette, &Options::cbPalette);
    flag(cbDetails, &Options::cbDetails);
    flag(cbAutoRead, &Options::cbAutoRead);
    flag(cbAutoClear, &Options::cbAutoClear);
    flag(cbBDN, &Options::cbBDN);
    text(eWorkDir, &Options::eWorkDir);
    flag(cbBMP, &Options::cbBMP);
    flag(cbPNG, &Options::cbPNG);
    integer(ieMUL, &Options::ieMUL, 1);
    integer(ieDIV, &Options::ieDIV, 1);
    integer(ieLastLine, &Options::ieLastLine, INT_MIN, INT_MAX, [this] { LineDataChange(); });
    integer(ieLineSpc, &Options::ieLineSpc, INT_MIN, INT_MAX, [this] { LineDataChange(); });
    integer(ieSpacing, &Options::ieSpacing);
    integer(ieCutLevel, &Options::ieCutLevel, 1, 255,
            [this] { prog.pal.cutThreshold = cutThresholdFor(opt.ieCutLevel); });
    flag(cbTags, &Options::cbTags);
    list(coLang, &Options::coLang);
    list(coOcrEngine, &Options::ocrEngine);
    // The language list stores the item's code. A stored code the list does not offer (set
    // on the command line) gets an item of its own, so showing the window keeps it.
    auto codeItem = [this] {
        const QString code = QString::fromStdString(opt.ocrLanguage);
        int i = coOcrLang->findData(code);
        if (i < 0 && !code.isEmpty()) {
            coOcrLang->addItem(code, code);
            i = coOcrLang->count() - 1;
        }
        if (i < 0) {
            i = 0;
            opt.ocrLanguage = coOcrLang->itemData(0).toString().toStdString();
        }
        coOcrLang->setCurrentIndex(i);
    };
    codeItem();
    // A language picked here holds over the one a track carries: a change to another
    // language than the options hold, or a pick of any item in the list.
    connect(coOcrLang, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (i < 0) return;
        const std::string code = coOcrLang->itemData(i).toString().toStdString();
        if (code != opt.ocrLanguage) opt.ocrLanguageChosen = true;
        opt.ocrLanguage = code;
    });
    connect(coOcrLang, &QComboBox::activated, this, [this](int) { opt.ocrLanguageChosen = true; });
    optionsToWidgets_.push_back(codeItem);
    integer(ieSpaceWidth, &Options::ieSpaceWidth);
    integer(ieSpaceWmin, &Options::ieSpaceWmin);
    choice(rgFormat, &Options::rgFormat);
    choice(rgFrame, &Options::rgFrame);
    // A rate the user picks wins over the one a stream carries.
    connect(rgFrame, &RadioGroup::itemClicked, this, [this](int) { opt.frameChosen = true; });
    list(coLetters, &Options::coLetters);
    list(coSrtEncoding, &Options::coSrtEncoding);
    integer(ieMaxColor, &Options::ieMaxColor, 0, 255);
    flag(cb720p, &Options::cb720p);
    flag(cbOCR, &Options::cbOCR);
    flag(cbForced, &Options::cbForced);
    flag(cbForcedOnly, &Options::cbForcedOnly);
}

void TfMain::applyOptions() {
    for (const auto& toWidget : optionsToWidgets_) toWidget();
}

void TfMain::applyGeometry() {
    // The normal geometry first, so that a maximised window restores to it later. The place
    // is checked against the screens there are now, title bar and frame included.
    const QSize frame = isVisible() ? frameGeometry().size() - size() : QSize(0, 0);
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) screens << screen->availableGeometry();
    const QRect stored(opt.Left, opt.Top, opt.Width + frame.width(), opt.Height + frame.height());
    const QRect placed = keepOnScreen(stored, screens);
    move(placed.topLeft());
    resize(opt.Width - (stored.width() - placed.width()), opt.Height - (stored.height() - placed.height()));
    subHeight_ = std::max(0, opt.SubHeight);
    const int total = spImage->height() > 0 ? spImage->height() : 400;
    spImage->setSizes({std::max(1, total - subHeight_), subHeight_});
    if (opt.WindowState == kMaximized) showMaximized();
    else if (opt.WindowState == kMinimized) showMinimized();
}

void TfMain::storeGeometry() {
    opt.WindowState = isMaximized() ? kMaximized : isMinimized() ? kMinimized : kNormal;
    if (opt.WindowState != kMaximized) {
        opt.Left = x();
        opt.Top = y();
        opt.Width = width();
        opt.Height = height();
    }
    opt.SubHeight = subHeight_;
}

}  // namespace vantrel::app
