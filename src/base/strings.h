#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace auralith {

// Folds ASCII letters only; every other byte, including the bytes of
// multibyte characters, stays as it is.
char AsciiLower(char c);
std::string AsciiLower(std::string_view text);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

// Byte-wise comparison with ASCII letters folded: <0, 0 or >0.
int CompareIgnoreAsciiCase(std::string_view a, std::string_view b);

// Replaces every occurrence of `from` (non-empty) by `to` in one left-to-right
// pass that does not rescan inserted text.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

bool StartsWith(std::string_view text, std::string_view prefix);
bool EndsWith(std::string_view text, std::string_view suffix);

// Decimal text of a number, as printf's %d / %u / %lld would give it.
std::string ToDecimal(std::int64_t value);

}  // namespace auralith

namespace auralith {

// The integer a text begins with, as a dialog's range check reads it:
// leading blanks skipped, an optional sign, then decimal digits; 0 when no
// digit follows. Saturates far outside the 32-bit range instead of wrapping.
std::int64_t LeadingInteger(std::string_view text);

}  // namespace auralith
