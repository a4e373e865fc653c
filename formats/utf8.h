#pragma once
// Strict UTF-8: the shortest form of each code point from U+0000 to
// U+10FFFF, surrogates (U+D800 to U+DFFF) excluded. The installer's script
// reader and the package builder both decode through here, so a text one
// accepts the other accepts too. Needs no Windows API.

#include <cstddef>
#include <string>
#include <string_view>

namespace utf8 {

// Decodes the code point that starts at byte `at` of `text` into `point`
// and moves `at` past its bytes. False, with `at` and `point` unchanged, when
// no valid sequence starts there: a lone continuation byte, C0, C1 or F5 to
// FF, an overlong form, a surrogate, a point past U+10FFFF, a sequence cut
// short by the end of `text`, or `at` at or past that end.
bool DecodeCodePoint(std::string_view text, std::size_t& at, char32_t& point);

// True when the whole of `text` is valid UTF-8; the empty text is.
bool IsValid(std::string_view text);

// Appends the UTF-8 form of `point`, a code point DecodeCodePoint accepts
// (at most U+10FFFF, no surrogate), to `out`: one to four bytes.
void AppendCodePoint(std::string& out, char32_t point);

}  // namespace utf8
