// Text correction: the replacement tables, their application, and the editor line conversion.
#include "ocr/correction.h"

namespace vantrel {

namespace {

void setSlot(ReplTable& table, int slot, std::string from, std::string to) {
    table[static_cast<size_t>(slot - 1)] = ReplPair{std::move(from), std::move(to)};
}

ReplTable buildGeneralTable() {
    ReplTable t;
    setSlot(t, 1, "''", "\"");
    setSlot(t, 2, ". .", "..");
    return t;
}

ReplTable buildEnglishTable() {
    ReplTable t;
    // An upper-case I read as l in short words, after a word start of each kind.
    static const std::array<std::pair<const char*, const char*>, 7> base = {{
        {"l ", "I "}, {"l'm", "I'm"}, {"l'd", "I'd"}, {"lt ", "It "},
        {"ls ", "Is "}, {"ln ", "In "}, {"lf ", "If "},
    }};
    static const std::array<std::pair<const char*, int>, 6> prefixes = {{
        {" ", 2}, {"|", 12}, {"-", 22}, {"<i>", 32}, {".", 42}, {"\"", 72},
    }};
    for (const auto& [prefix, first] : prefixes) {
        for (size_t i = 0; i < base.size(); ++i) {
            setSlot(t, first + static_cast<int>(i), std::string(prefix) + base[i].first,
                    std::string(prefix) + base[i].second);
        }
    }
    setSlot(t, 50, "l'll ", "I'll ");
    setSlot(t, 51, "l've ", "I've ");
    setSlot(t, 52, "lt's ", "It's ");
    setSlot(t, 53, "lsn't ", "Isn't ");
    setSlot(t, 54, "lt'll ", "It'll ");
    // "otherwise" whose touching "rw" stayed unrecognised (U+00B7 is the unknown-glyph mark).
    setSlot(t, 55, "the\xC2\xB7ise", "therwise");
    setSlot(t, 56, "lnter", "Inter");
    setSlot(t, 57, "lnside", "Inside");
    setSlot(t, 58, "lncredible", "Incredible");
    setSlot(t, 59, "lnstead", "Instead");
    setSlot(t, 60, "lrish", "Irish");
    setSlot(t, 61, "lreland", "Ireland");
    setSlot(t, 62, "lmagin", "Imagin");
    setSlot(t, 63, "lmage", "Image");
    setSlot(t, 64, "lnclud", "Includ");
    setSlot(t, 65, "lndian", "Indian");
    setSlot(t, 66, "lmperial", "Imperial");
    setSlot(t, 67, "lndependent", "Independent");
    setSlot(t, 68, "lnspect", "Inspect");
    return t;
}

}  // namespace

const std::array<ReplTable, kReplTables>& replTables() {
    static const std::array<ReplTable, kReplTables> tables = {buildGeneralTable(), buildEnglishTable(),
                                                              ReplTable{}, ReplTable{}};
    return tables;
}

void repl(std::string_view from, std::string_view to, std::string& text) {
    if (from.empty()) return;
    if (from.front() == ' ') text.insert(text.begin(), ' ');
    if (from.back() == ' ') text.push_back(' ');
    if (to.find(from) != std::string_view::npos) {
        // Restarting the search would find the replacement again and never end: replace
        // the occurrences of one left-to-right pass instead.
        std::string out;
        size_t pos = 0;
        for (size_t hit = text.find(from); hit != std::string::npos; hit = text.find(from, pos)) {
            out.append(text, pos, hit - pos);
            out.append(to);
            pos = hit + from.size();
        }
        out.append(text, pos, std::string::npos);
        text = std::move(out);
    } else {
        for (size_t hit = text.find(from); hit != std::string::npos; hit = text.find(from)) {
            text.replace(hit, from.size(), to);
        }
    }
    if (!text.empty() && text.front() == ' ') text.erase(text.begin());
    if (!text.empty() && text.back() == ' ') text.pop_back();
}

void applyTable(int table, std::string& text) {
    if (table < 0 || table >= kReplTables) return;
    for (const ReplPair& pair : replTables()[static_cast<size_t>(table)]) {
        if (!pair.from.empty()) repl(pair.from, pair.to, text);
    }
}

void applyReplacements(std::string& text, int coLang) {
    applyTable(0, text);
    if (coLang > 0) applyTable(coLang, text);
}

bool coLangChange(Context& ctx, int k) {
    if (k <= 0 || k >= kReplTables || ctx.prog.Subs.empty()) return false;
    if (!ctx.host().confirm(kApplyDictionaryQuestion)) return false;
    for (TSUP& sub : ctx.prog.Subs) applyTable(k, sub.text);
    return true;
}

}  // namespace vantrel
