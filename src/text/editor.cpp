// The text editor of the shown subtitle: typing, leaving the editor, the lock box.
#include "text/srt_reader.h"

#include <algorithm>

#include "text/atlas.h"
#include "text/srt_layout.h"

namespace vantrel {

using namespace srt_layout;

namespace {

TSUP* current(Program& p) {
    if (p.CurSub < 0 || static_cast<size_t>(p.CurSub) >= p.Subs.size()) return nullptr;
    return &p.Subs[static_cast<size_t>(p.CurSub)];
}

}  // namespace

void mSubtextChange(Context& ctx, const std::vector<std::string>& editorLines) {
    Program& p = ctx.prog;
    TSUP* s = current(p);
    if (!s) return;
    s->text = LinesToTxt(editorLines);
    s->lineCount = linesOf(s->text);
    s->locked = 1;
    p.panel.cbLock = true;
    p.srtDirty = true;
}

void mSubtextExit(Context& ctx, const std::vector<std::string>& editorLines) {
    Program& p = ctx.prog;
    TSUP* s = current(p);
    if (p.SubKind != kSrtKind || !s) return;
    s->text = LinesToTxt(editorLines);
    s->lineCount = linesOf(s->text);
    const std::vector<std::string> lines = TxtToLines(s->text);
    int widest = 0;
    for (size_t k = 0; k < lines.size(); ++k)
        widest = std::max<int>(widest, DrawLine(ctx, trimmed(lines[k]), static_cast<uint8_t>(k), nullptr, false));
    centre(s->obj[0], pictureWidth(p), widest);
    ctx.host().displaySubtitle(p.CurSub + 1);
}

void cbLockClick(Context& ctx, bool checked) {
    if (TSUP* s = current(ctx.prog)) s->locked = checked ? 1 : 0;
}

}  // namespace vantrel
