// The Glyphs page: every distinct glyph of the last learned reading, the most doubtful first,
// with its bitmap, label, uses and how it was named; relabelling one changes every subtitle
// that uses it. Also the user's glyph library beside the settings, and its export and import.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace vantrel::app {

class TfMain;

class GlyphsPage : public QWidget {
public:
    explicit GlyphsPage(TfMain& w);

    // Lists the glyphs again from the program's review, keeping the selection.
    void refresh();
    // The glyph of the selected row, or -1.
    int32_t selectedGlyph() const;
    void selectGlyph(int32_t glyph);

    // The buttons' actions.
    void relabel();
    void confirm();
    void undo();
    void exportLibrary();
    void importLibrary();

    QTableWidget* tGlyphs;        // columns: doubt rank, bitmap, label, uses, named by
    QListWidget* lbGlyphUses;     // the subtitles using the selected glyph
    QLineEdit* eGlyphLabel;
    QComboBox* coGlyphItalic;     // each word decides / italic / upright
    QPushButton* bRelabel;
    QPushButton* bConfirmGlyph;
    QPushButton* bUndoRelabel;
    QPushButton* bExportGlyphs;
    QPushButton* bImportGlyphs;
    QLabel* lGlyphs;              // totals and where the library is kept
    QLabel* lGlyphLine;           // the selected glyph framed in its line

    // The box of the glyph framed in lGlyphLine, in the coordinates of the picture of its
    // subtitle's window (corners inclusive); empty when none is shown.
    QRect shownFrame() const { return glyphFrame_; }

private:
    void showUses();
    // Shows the selected glyph framed in its line: at its first place in subtitle
    // `subtitle`, or at its first place of all for 0.
    void showInLine(int32_t subtitle);
    void showLibrary();
    // After a relabel (keepRow: the selection stays on its row) or its undo: the shown
    // subtitle's editor, the SRT text, the list.
    void textsChanged(const std::vector<int32_t>& changed, bool keepRow);
    // Lists the glyphs again at the same scroll position; keepRow selects the row that was
    // selected, else the glyph that was.
    void relist(bool keepRow);
    bool refused();

    TfMain& w_;
    QRect glyphFrame_;
};

// Loads the user's glyph library, kept beside the settings file `settingsFile`. A damaged or
// foreign file is reported and left as it is: the library then starts empty and is not saved.
void loadUserGlyphLibrary(TfMain& w, const QString& settingsFile);

}  // namespace vantrel::app
