// The rule for the table's commands, the digests of unsaved work and the kept open table.
#include "core/table_state.h"

#include <utility>

namespace vantrel {
namespace {

// FNV-1a over the bytes of each value added.
class Digest {
public:
    void add(const void* data, size_t size) {
        const auto* b = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < size; ++i) {
            value_ ^= b[i];
            value_ *= 0x100000001b3ULL;
        }
    }
    template <typename T>
    void addValue(T v) {
        add(&v, sizeof v);
    }
    void addText(const std::string& s) {
        addValue(s.size());
        add(s.data(), s.size());
    }
    uint64_t value() const { return value_; }

private:
    uint64_t value_ = 0xcbf29ce484222325ULL;
};

}  // namespace

TableCommands tableCommands(TableKind kind, size_t subtitles) {
    TableCommands t;
    if (subtitles == 0) return t;
    t.saveBitmaps = true;
    t.exportStream = true;
    t.ocr = kind == kHdDvdKind || kind == kBluRayKind;
    return t;
}

void allowTableCommands(Program& p) {
    const TableCommands t = tableCommands(p.SubKind, p.Subs.size());
    p.controls.bSaveBMP = t.saveBitmaps;
    p.controls.bExport = t.exportStream;
    p.controls.bOCRall = t.ocr;
}

uint64_t textsDigest(const std::vector<TSUP>& subs) {
    Digest d;
    d.addValue(subs.size());
    for (const TSUP& s : subs) {
        d.addText(s.text);
        d.addValue(static_cast<uint8_t>(s.font));
        d.addValue(s.locked);
    }
    return d.value();
}

uint64_t layoutDigest(const std::vector<TSUP>& subs) {
    Digest d;
    d.addValue(subs.size());
    for (const TSUP& s : subs)
        for (const TSUPObject& o : s.obj) {
            d.addValue(o.x1);
            d.addValue(o.y1);
            d.addValue(o.x2);
            d.addValue(o.y2);
        }
    return d.value();
}

void markTextsSaved(Program& p) { p.saved.texts = textsDigest(p.Subs); }
void markLayoutSaved(Program& p) { p.saved.layout = layoutDigest(p.Subs); }
void markTableSaved(Program& p) {
    markTextsSaved(p);
    markLayoutSaved(p);
}

bool unsavedWork(const Program& p) {
    if (p.Subs.empty()) return false;
    return textsDigest(p.Subs) != p.saved.texts || layoutDigest(p.Subs) != p.saved.layout;
}

OpenTable keepOpenTable(const Program& p) {
    OpenTable t;
    t.Subs = p.Subs;
    t.BaseName = p.BaseName;
    t.streamFile = p.streamFile;
    t.openedFile = p.openedFile;
    t.extractedStream = p.extractedStream;
    t.tableLanguage = p.tableLanguage;
    t.languageFromName = p.languageFromName;
    t.streamSize = p.streamSize;
    t.streamModified = p.streamModified;
    t.truncated = p.truncated;
    t.CurSub = p.CurSub;
    t.SubKind = p.SubKind;
    t.video = p.video;
    t.palLinks = p.palLinks;
    t.review = p.glyphs.review;
    t.controls = p.controls;
    t.srtDirty = p.srtDirty;
    t.saved = p.saved;
    return t;
}

void restoreOpenTable(Program& p, OpenTable&& t) {
    p.Subs = std::move(t.Subs);
    p.BaseName = std::move(t.BaseName);
    p.streamFile = std::move(t.streamFile);
    p.openedFile = std::move(t.openedFile);
    p.eSUPfile = p.streamFile.empty() ? std::string() : p.openedFile.empty() ? p.streamFile : p.openedFile;
    // The copy the table reads from, which the failed load left in place.
    p.extractedStream = std::move(t.extractedStream);
    p.tableLanguage = std::move(t.tableLanguage);
    p.languageFromName = t.languageFromName;
    p.streamSize = t.streamSize;
    p.streamModified = t.streamModified;
    p.truncated = t.truncated;
    p.CurSub = t.CurSub;
    p.SubKind = t.SubKind;
    p.video = t.video;
    p.palLinks = std::move(t.palLinks);
    p.glyphs.review = std::move(t.review);
    // The job controls as the open table had them; what only a running load shows stays put.
    const ControlStates now = p.controls;
    p.controls = t.controls;
    p.controls.ProgressBar = now.ProgressBar;
    p.controls.WebLink = now.WebLink;
    p.controls.bCancel = now.bCancel;
    p.controls.mSRT = now.mSRT;
    p.srtDirty = t.srtDirty;
    p.saved = t.saved;
}

}  // namespace vantrel
