#pragma once

#include <string>
#include <string_view>

namespace auralith {

// Texts are byte strings in the process's ANSI code page (UTF-8 on POSIX and
// on Windows with the UTF-8 manifest). These conversions are implemented per
// platform.

// Appends one code point in UTF-8.
void AppendUtf8(char32_t codePoint, std::string* out);

// UTF-16 to UTF-8; a surrogate without its partner becomes U+FFFD, as the
// system's own conversion would replace it.
std::string Utf16ToUtf8(std::u16string_view utf16);

// UTF-8 text (as tag libraries hand it out) to the ANSI code page. Characters
// the code page lacks become '?'.
std::string Utf8ToAnsi(std::string_view utf8);

// ANSI text to UTF-16, as the C library's multibyte-to-wide conversion does.
std::u16string AnsiToUtf16(std::string_view ansi);

#ifdef _WIN32
// The same as the system's wide characters: a path for its "W" functions, so
// that names the ANSI functions cannot spell still open.
std::wstring AnsiToWide(std::string_view ansi);
#endif

// Lower-cases a text the way the platform's multibyte-aware lower-casing does
// (used where letter case of non-ASCII letters matters, e.g. directories).
std::string AnsiLowerMultibyte(std::string_view ansi);

}  // namespace auralith
