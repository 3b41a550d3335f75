// Text correction: the I/l replacement tables.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/context.h"
#include "core/subtitle.h"

namespace vantrel {

// One replacement: every occurrence of `from` becomes `to`. A pair with an empty `from`
// is an unused slot.
struct ReplPair {
    std::string from;
    std::string to;
};

// 100 slots, applied in slot order (slot 1 is index 0).
inline constexpr int kReplSlots = 100;
using ReplTable = std::array<ReplPair, kReplSlots>;

// Table 0 is the general table; table k >= 1 belongs to item k of the language list
// ("N/A", "English"), so only table 1 holds pairs.
inline constexpr int kReplTables = 4;
const std::array<ReplTable, kReplTables>& replTables();

// Replaces every occurrence of `from` in `text` by `to`, searching from the start again
// after each replacement. A pattern that starts or ends with a space also matches at the
// start or end of the text; one space at each end of the result is removed.
void repl(std::string_view from, std::string_view to, std::string& text);

// Applies every used pair of one table, in slot order. Table numbers out of range do nothing.
void applyTable(int table, std::string& text);

// The correction of freshly recognised text: the general table, then the table of the
// chosen language (coLang item index) when it is above 0.
void applyReplacements(std::string& text, int coLang);

// Asked before a newly chosen language is applied to the loaded table.
inline constexpr std::string_view kApplyDictionaryQuestion = "Do you want to apply the dictionary now?";

// The language choice changed to item `k`: when k > 0 and the table is not empty, asks
// through the host and on Yes applies table k to every record's text (locked ones too).
// Returns true when texts were changed.
bool coLangChange(Context& ctx, int k);

}  // namespace vantrel
