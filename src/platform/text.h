// Text encodings. Inside the program every text is CP932 (Shift-JIS as the
// games' data files store it); at the edges (file names, window title,
// dialogs, logs read by people) it is UTF-8. Conversion goes through iconv
// "CP932", never "SHIFT_JIS", which turns 0x5C into a yen sign.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plat {

// Lead byte of a double-byte CP932 character: 0x81..0x9F, 0xE0..0xFC.
bool IsCp932LeadByte(uint8_t b);
// Trail byte: 0x40..0x7E, 0x80..0xFC.
bool IsCp932TrailByte(uint8_t b);

// Bytes that cannot be converted become '?' (U+FFFD is not representable in
// CP932); `lossless` (when given) tells whether every byte converted.
std::string Cp932ToUtf8(std::string_view cp932, bool* lossless = nullptr);
std::string Utf8ToCp932(std::string_view utf8, bool* lossless = nullptr);

// The Unicode code point of one CP932 character: a single byte (`trail`
// unused), or a lead byte and its trail byte. 0 for a code with no
// character: a lone lead byte, 0x80, 0xA0, 0xFD..0xFF, an undefined pair,
// and the user-defined area (no font here has glyphs for it). Half-width
// katakana 0xA1..0xDF give U+FF61..U+FF9F. Any thread; each code is
// converted once and kept.
uint32_t Cp932Codepoint(uint8_t lead, uint8_t trail);

// A text written in UTF-8 in the source, converted to CP932 once and kept for
// the rest of the run. Safe to call from static initialisers (no reliance on
// other globals). The pointer stays valid until exit.
const std::string& Sjis(const char* utf8Literal);

// UTF-8 text as a message on a terminal may print it: each character as it
// is, but each control character (ASCII's and DEL, which move a terminal's
// cursor or start its commands, and U+0080..U+009F) and each byte that
// starts no well-formed UTF-8 character as \xNN; with `doubleBackslashes`,
// a backslash as \\, so that a name printed so reads apart from every other
// name. No text can then start a line of a message of its own.
std::string ShownOnTerminal(std::string_view utf8, bool doubleBackslashes);

}  // namespace plat
